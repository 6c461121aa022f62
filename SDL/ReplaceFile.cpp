// ReplacingFile: write beside, check, sync, rename over (see ReplaceFile.h).
#include "ReplaceFile.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <utility>
#include <vector>

namespace {

// What follows the name of the file replaced: MARKER, the writer's process
// id, "-" and a number counting this process's new files.
const char MARKER[] = ".mirandol2-new-";
const size_t MARKER_LENGTH = sizeof MARKER - 1;

// Links followed at most, as the system does for a path.
const int MAX_LINKS = 40;

std::atomic<unsigned> s_counter{0};

// The directory part of path with its trailing "/" ("" for a bare name).
std::string directoryOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The text of the link at path; false when it cannot be read.
bool readLink(const std::string &path, std::string &text)
{
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if ((size_t)n < buffer.size()) {
            text.assign(buffer.data(), (size_t)n);
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool allDigits(const std::string &text, size_t from, size_t to)
{
    if (from >= to)
        return false;
    for (size_t i = from; i < to; i++)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

// Where MARKER starts in a name a ReplacingFile makes (after at least one
// byte of the replaced name), or npos; writer is the process id in it.
size_t markerOf(const std::string &name, long &writer)
{
    size_t at = name.rfind(MARKER);
    if (at == std::string::npos || at == 0)
        return std::string::npos;
    size_t pidStart = at + MARKER_LENGTH;
    size_t dash = name.find('-', pidStart);
    // A process id fits in ten digits; a longer run is nobody's.
    if (dash == std::string::npos || dash - pidStart > 10 || !allDigits(name, pidStart, dash) ||
        !allDigits(name, dash + 1, name.size()))
        return std::string::npos;
    long long pid = atoll(name.c_str() + pidStart);
    if (pid <= 0 || pid > INT_MAX)
        return std::string::npos;
    writer = (long)pid;
    return at;
}

// Whether the new file name (MARKER at `at`) was made for the file called
// base: what precedes MARKER is base, or, in a name createBeside cut short
// to keep it within NAME_MAX, the start of base.
bool madeFor(const std::string &name, size_t at, const std::string &base)
{
    if (name.compare(0, at, base) == 0)
        return true;
    return name.size() == NAME_MAX && at < base.size() && base.compare(0, at, name, 0, at) == 0;
}

// Whether the process that made a new file still runs (this one included).
// A killed one that its parent has not yet collected has ended too.
bool writerRuns(long writer)
{
    if (writer == (long)getpid())
        return true;
    if (kill((pid_t)writer, 0) != 0 && errno != EPERM)
        return false;
    std::string stat = "/proc/" + std::to_string(writer) + "/stat";
    FILE *f = fopen(stat.c_str(), "r");
    if (!f)
        return true;
    // "PID (NAME) STATE ...": the name may hold anything, the state
    // follows its last ")".
    char line[512];
    size_t n = fread(line, 1, sizeof line - 1, f);
    fclose(f);
    line[n] = 0;
    const char *end = strrchr(line, ')');
    return !(end && end[1] == ' ' && end[2] == 'Z');
}

} // namespace

std::string resolveLinks(const std::string &path)
{
    std::string current = path;
    for (int links = 0; links <= MAX_LINKS; links++) {
        struct stat st;
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string text;
        if (!readLink(current, text) || text.empty())
            return std::string();
        current = text[0] == '/' ? text : directoryOf(current) + text;
    }
    errno = ELOOP;
    return std::string();
}

bool isReplacementName(const std::string &name, long &writer)
{
    return markerOf(name, writer) != std::string::npos;
}

int sweepReplacements(const std::string &directory, const std::string &only)
{
    DIR *dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir)
        return 0;
    std::vector<std::string> stale;
    while (struct dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        long writer = 0;
        size_t at = markerOf(name, writer);
        if (at == std::string::npos || (!only.empty() && !madeFor(name, at, only)) || writerRuns(writer))
            continue;
        stale.push_back(directory + name);
    }
    closedir(dir);
    int removed = 0;
    for (const std::string &path : stale) {
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) == 0)
            removed++;
    }
    return removed;
}

int sweepReplacementsOf(const std::string &path)
{
    std::string target = resolveLinks(path);
    if (target.empty())
        return 0;
    return sweepReplacements(directoryOf(target), target.substr(directoryOf(target).size()));
}

ReplacingFile::ReplacingFile(ReplacingFile &&other) noexcept
    : stream_(other.stream_), path_(std::move(other.path_)), target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_))
{
    other.stream_ = nullptr;
    other.temporary_.clear();
}

ReplacingFile &ReplacingFile::operator=(ReplacingFile &&other) noexcept
{
    if (this != &other) {
        discard();
        stream_ = other.stream_;
        path_ = std::move(other.path_);
        target_ = std::move(other.target_);
        temporary_ = std::move(other.temporary_);
        other.stream_ = nullptr;
        other.temporary_.clear();
    }
    return *this;
}

int createBeside(const std::string &target, unsigned mode, std::string &name)
{
    // Cut short where the target's name is long enough to make it too long
    // (the sweep still knows whose it is: madeFor).
    std::string directory = directoryOf(target);
    std::string base = target.substr(directory.size());
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string suffix = MARKER + std::to_string((long)getpid()) + "-" + std::to_string(s_counter++);
        name = directory + base.substr(0, NAME_MAX - suffix.size()) + suffix;
        int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, (mode_t)mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

ReplacingFile::~ReplacingFile()
{
    discard();
}

FILE *ReplacingFile::open(const std::string &path)
{
    discard();
    std::string target = resolveLinks(path);
    if (target.empty())
        return nullptr;
    struct stat old;
    bool replacing = stat(target.c_str(), &old) == 0;

    // Without a file to take them from, the permissions a file made anew
    // gets; a replaced one's are set below, once nobody else can read the
    // empty file.
    std::string name;
    int fd = createBeside(target, replacing ? 0600 : 0644, name);
    if (fd < 0)
        return nullptr;
    if (replacing)
        fchmod(fd, old.st_mode & 07777);   // a file system without modes keeps 0600
    stream_ = fdopen(fd, "w+b");
    if (!stream_) {
        close(fd);
        unlink(name.c_str());
        return nullptr;
    }
    path_ = path;
    target_ = target;
    temporary_ = name;
    return stream_;
}

bool ReplacingFile::finish()
{
    if (!stream_)
        return false;
    bool ok = fflush(stream_) == 0 && !ferror(stream_);
    ok = fsync(fileno(stream_)) == 0 && ok;
    ok = fclose(stream_) == 0 && ok;
    stream_ = nullptr;
    if (!ok)
        discard();
    return ok;
}

bool ReplacingFile::place()
{
    if (stream_ || temporary_.empty())
        return false;
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacingFile::discard()
{
    if (stream_)
        fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty())
        unlink(temporary_.c_str());
    temporary_.clear();
}

bool ReplacingFile::commit(bool keep)
{
    if (keep && finish() && place())
        return true;
    discard();
    return false;
}
