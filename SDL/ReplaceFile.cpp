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

// Whether a link may be followed: the user's own, or root's (as the
// system's protected links rule has it).
static bool followable(const struct stat &link)
{
    return link.st_uid == geteuid() || link.st_uid == 0;
}

// Appends the parts of path between its slashes, the last one first.
static void pushParts(const std::string &path, std::vector<std::string> &parts)
{
    for (size_t end = path.size(); end > 0;) {
        size_t slash = path.rfind('/', end - 1);
        size_t start = slash == std::string::npos ? 0 : slash + 1;
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        if (slash == std::string::npos)
            break;
        end = slash;
    }
}

std::string resolveLinks(const std::string &path)
{
    // The parts still to walk (the next one last) and the path walked so
    // far, in which no link is left.
    std::vector<std::string> left;
    pushParts(path, left);
    std::string done = !path.empty() && path[0] == '/' ? "/" : "";
    int links = 0;
    while (!left.empty()) {
        std::string next = done.empty() ? left.back() : done == "/" ? "/" + left.back() : done + "/" + left.back();
        left.pop_back();
        struct stat st;
        if (lstat(next.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            done = next;
            continue;
        }
        std::string text;
        if (!followable(st)) {
            errno = EACCES;
            return std::string();
        }
        if (++links > MAX_LINKS) {
            errno = ELOOP;
            return std::string();
        }
        if (!readLink(next, text) || text.empty())
            return std::string();
        // A relative link goes on from the folder it lies in.
        if (text[0] == '/')
            done = "/";
        pushParts(text, left);
    }
    return done;
}

TargetKind targetKind(const std::string &target)
{
    struct stat st;
    if (lstat(target.c_str(), &st) != 0)
        return errno == ENOENT ? TargetKind::Absent : TargetKind::Refused;
    if (S_ISCHR(st.st_mode))
        return TargetKind::Device;
    // A file without any write bit was frozen on purpose: not even root
    // replaces it. Renaming over it would need only the folder's permission.
    if (S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 &&
        faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0)
        return TargetKind::Replaceable;
    return TargetKind::Refused;
}

FILE *openRegularFile(const std::string &path, const char *mode)
{
    // Not blocking: a FIFO would wait for a writer here.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    int flags = fcntl(fd, F_GETFL);
    FILE *file = nullptr;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        file = fdopen(fd, mode);
    if (!file) {
        close(fd);
        errno = ENOENT;
    }
    return file;
}

bool isReplacementName(const std::string &name, long &writer)
{
    return markerOf(name, writer) != std::string::npos;
}

int sweepReplacements(const std::string &directory, const std::string &only)
{
    if (!directory.empty() && resolveLinks(directory).empty())
        return 0;   // not through someone else's link
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
      temporary_(std::move(other.temporary_)), device_(other.device_)
{
    other.stream_ = nullptr;
    other.temporary_.clear();
    other.device_ = false;
}

ReplacingFile &ReplacingFile::operator=(ReplacingFile &&other) noexcept
{
    if (this != &other) {
        discard();
        stream_ = other.stream_;
        path_ = std::move(other.path_);
        target_ = std::move(other.target_);
        temporary_ = std::move(other.temporary_);
        device_ = other.device_;
        other.stream_ = nullptr;
        other.temporary_.clear();
        other.device_ = false;
    }
    return *this;
}

// A new name beside target, one that isReplacementName knows. Cut short
// where the target's name is long enough to make it too long (the sweep
// still knows whose it is: madeFor).
static std::string besideName(const std::string &target)
{
    std::string directory = directoryOf(target);
    std::string base = target.substr(directory.size());
    std::string suffix = MARKER + std::to_string((long)getpid()) + "-" + std::to_string(s_counter++);
    return directory + base.substr(0, NAME_MAX - suffix.size()) + suffix;
}

int createBeside(const std::string &target, unsigned mode, std::string &name)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        name = besideName(target);
        int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, (mode_t)mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Copies the bytes of the open file from into the open file to.
static bool copyBytes(int from, int to)
{
    char block[65536];
    for (;;) {
        ssize_t n = read(from, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(to, block + done, (size_t)(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
    }
}

bool keepAside(const std::string &target, std::string &name)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        name = besideName(target);
        if (link(target.c_str(), name.c_str()) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    // No second link to be had (a file system without them): a copy.
    int from = ::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (from < 0)
        return false;
    int to = fstat(from, &st) == 0 && S_ISREG(st.st_mode) ? createBeside(target, 0600, name) : -1;
    bool ok = to >= 0 && copyBytes(from, to);
    if (to >= 0) {
        fchmod(to, st.st_mode & 07777);
        ok = close(to) == 0 && ok;
        if (!ok)
            unlink(name.c_str());
    }
    close(from);
    return ok;
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
    TargetKind kind = targetKind(target);
    if (kind == TargetKind::Refused)
        return nullptr;
    if (kind == TargetKind::Device)
        return openDevice(path, target);
    struct stat old;
    bool replacing = kind == TargetKind::Replaceable && stat(target.c_str(), &old) == 0;

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

FILE *ReplacingFile::openDevice(const std::string &path, const std::string &target)
{
    // Not blocking while opened (nor made the controlling terminal); the
    // kind is checked again on what was opened.
    int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        stream_ = fdopen(fd, "wb");
    if (!stream_) {
        close(fd);
        return nullptr;
    }
    path_ = path;
    target_ = target;
    device_ = true;
    return stream_;
}

bool ReplacingFile::finish()
{
    if (!stream_)
        return false;
    bool ok = fflush(stream_) == 0 && !ferror(stream_);
    // A device (/dev/null) cannot be synced, nor does it need to be.
    ok = (device_ || fsync(fileno(stream_)) == 0) && ok;
    ok = fclose(stream_) == 0 && ok;
    stream_ = nullptr;
    if (!ok)
        discard();
    return ok;
}

bool ReplacingFile::place()
{
    if (stream_)
        return false;
    if (device_) {
        device_ = false;   // written already
        return true;
    }
    if (temporary_.empty())
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
    device_ = false;
}

bool ReplacingFile::commit(bool keep)
{
    if (keep && finish() && place())
        return true;
    discard();
    return false;
}
