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

// The text of the link open as fd (O_PATH); false when it cannot be read.
static bool readLinkAt(int fd, std::string &text)
{
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t n = readlinkat(fd, "", buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if ((size_t)n < buffer.size()) {
            text.assign(buffer.data(), (size_t)n);
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

static int openStart(bool absolute)
{
    return ::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

WalkedPath::WalkedPath(WalkedPath &&other) noexcept
    : folder_(other.folder_), name_(std::move(other.name_)), text_(std::move(other.text_))
{
    other.folder_ = -1;
}

WalkedPath &WalkedPath::operator=(WalkedPath &&other) noexcept
{
    if (this != &other) {
        close();
        folder_ = other.folder_;
        name_ = std::move(other.name_);
        text_ = std::move(other.text_);
        other.folder_ = -1;
    }
    return *this;
}

void WalkedPath::close()
{
    if (folder_ >= 0)
        ::close(folder_);
    folder_ = -1;
    name_.clear();
    text_.clear();
}

bool WalkedPath::walk(const std::string &path)
{
    close();
    // The parts still to walk (the next one last), the folder reached so
    // far and its path, in which no link is left.
    std::vector<std::string> left;
    pushParts(path, left);
    bool absolute = !path.empty() && path[0] == '/';
    int folder = openStart(absolute);
    if (folder < 0)
        return false;
    std::string done = absolute ? "/" : "", name = ".";
    int links = 0, error = 0;
    while (!left.empty()) {
        std::string part = left.back();
        left.pop_back();
        std::string next = done.empty() ? part : done == "/" ? "/" + part : done + "/" + part;
        struct stat st;
        int fd = openat(folder, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 || fstat(fd, &st) != 0) {
            error = errno;
            if (fd >= 0)
                ::close(fd);
            if (error == ENOENT && left.empty()) {   // the last part need not exist
                name = part;
                done = next;
                error = 0;
            }
            break;
        }
        if (S_ISLNK(st.st_mode)) {
            // Checked and read on the link itself, as opened above.
            std::string text;
            error = !followable(st) ? EACCES : ++links > MAX_LINKS ? ELOOP : 0;
            errno = 0;
            if (!error && (!readLinkAt(fd, text) || text.empty()))
                error = errno ? errno : ENOENT;
            ::close(fd);
            if (error)
                break;
            // A relative link goes on from the folder it lies in.
            if (text[0] == '/') {
                ::close(folder);
                folder = openStart(true);
                if (folder < 0)
                    return false;
                done = "/";
                name = ".";
            }
            pushParts(text, left);
            continue;
        }
        if (left.empty()) {
            ::close(fd);
            name = part;
            done = next;
            break;
        }
        if (!S_ISDIR(st.st_mode)) {
            ::close(fd);
            error = ENOTDIR;
            break;
        }
        ::close(folder);
        folder = fd;
        done = next;
        name = ".";
    }
    if (error) {
        ::close(folder);
        errno = error;
        return false;
    }
    folder_ = folder;
    name_ = name;
    text_ = done;
    return true;
}

int openFolder(const std::string &path)
{
    WalkedPath at;
    if (!at.walk(path.empty() ? "." : path))
        return -1;
    return openat(at.folder(), at.name().c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The folder of path (its directory part, opened as it stands) and the
// directory part itself, for the path versions of the steps below.
static int openParent(const std::string &path, std::string &directory)
{
    directory = directoryOf(path);
    return ::open(directory.empty() ? "." : directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

void keepOwnerAndMode(int fd, const struct stat &old)
{
    // Not allowed to a user for someone else's file: the group, where it
    // is theirs, is still kept. Changing the owner clears set-id bits, so
    // the permissions come after.
    if (fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)!fchown(fd, (uid_t)-1, old.st_gid);
    fchmod(fd, old.st_mode & 07777);   // a file system without modes keeps its own
}

TargetKind targetKindAt(int folder, const std::string &name)
{
    struct stat st;
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? TargetKind::Absent : TargetKind::Refused;
    if (S_ISCHR(st.st_mode))
        return TargetKind::Device;
    // A file without any write bit was frozen on purpose: not even root
    // replaces it. Renaming over it would need only the folder's permission.
    if (S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 &&
        faccessat(folder, name.c_str(), W_OK, AT_EACCESS) == 0)
        return TargetKind::Replaceable;
    return TargetKind::Refused;
}

// The stream of fd, opened without blocking, when it is a regular file;
// else null with errno ENOENT (fd is closed).
static FILE *regularStream(int fd, const char *mode)
{
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

FILE *openRegularFile(const std::string &path, const char *mode)
{
    // Not blocking: a FIFO would wait for a writer here.
    return regularStream(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), mode);
}

FILE *openOwnRegularFile(const std::string &path, const char *mode)
{
    WalkedPath at;
    if (!at.walk(path)) {
        if (errno == EACCES)
            errno = ENOENT;   // not to be reached: as good as missing
        return nullptr;
    }
    return regularStream(openat(at.folder(), at.name().c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC),
                         mode);
}

bool isReplacementName(const std::string &name, long &writer)
{
    return markerOf(name, writer) != std::string::npos;
}

// The sweep of the open folder (see sweepReplacements).
static int sweepAt(int folder, const std::string &only)
{
    int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            close(fd);
        return 0;
    }
    std::vector<std::string> stale;
    while (struct dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        long writer = 0;
        size_t at = markerOf(name, writer);
        if (at == std::string::npos || (!only.empty() && !madeFor(name, at, only)) || writerRuns(writer))
            continue;
        stale.push_back(name);
    }
    closedir(dir);
    int removed = 0;
    for (const std::string &name : stale) {
        struct stat st;
        if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            unlinkat(folder, name.c_str(), 0) == 0)
            removed++;
    }
    return removed;
}

int sweepReplacements(const std::string &directory, const std::string &only)
{
    int folder = openFolder(directory);   // not through someone else's link
    if (folder < 0)
        return 0;
    int removed = sweepAt(folder, only);
    close(folder);
    return removed;
}

int sweepReplacementsOf(const std::string &path)
{
    WalkedPath at;
    return at.walk(path) ? sweepAt(at.folder(), at.name()) : 0;
}

ReplacingFile::ReplacingFile(ReplacingFile &&other) noexcept
    : stream_(other.stream_), at_(std::move(other.at_)), path_(std::move(other.path_)), target_(std::move(other.target_)),
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
        at_ = std::move(other.at_);
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

// A new name beside the file called base, one that isReplacementName
// knows. Cut short where base is long enough to make it too long (the
// sweep still knows whose it is: madeFor).
static std::string besideName(const std::string &base)
{
    std::string suffix = MARKER + std::to_string((long)getpid()) + "-" + std::to_string(s_counter++);
    return base.substr(0, NAME_MAX - suffix.size()) + suffix;
}

int createBesideAt(int folder, const std::string &base, unsigned mode, std::string &name)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        name = besideName(base);
        int fd = openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, (mode_t)mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

int createBeside(const std::string &target, unsigned mode, std::string &name)
{
    std::string directory;
    int folder = openParent(target, directory);
    if (folder < 0)
        return -1;
    int fd = createBesideAt(folder, target.substr(directory.size()), mode, name);
    int error = errno;
    close(folder);
    name = directory + name;
    errno = error;
    return fd;
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

bool keepAsideAt(int folder, const std::string &base, std::string &name)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        name = besideName(base);
        if (linkat(folder, base.c_str(), folder, name.c_str(), 0) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    // No second link to be had (a file system without them): a copy.
    int from = openat(folder, base.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (from < 0)
        return false;
    int to = fstat(from, &st) == 0 && S_ISREG(st.st_mode) ? createBesideAt(folder, base, 0600, name) : -1;
    bool ok = to >= 0 && copyBytes(from, to);
    if (to >= 0) {
        keepOwnerAndMode(to, st);
        ok = close(to) == 0 && ok;
        if (!ok)
            unlinkat(folder, name.c_str(), 0);
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
    // From here on every step acts in the folder as walked.
    if (!at_.walk(path))
        return nullptr;
    TargetKind kind = targetKindAt(at_.folder(), at_.name());
    if (kind == TargetKind::Refused) {
        at_.close();
        return nullptr;
    }
    path_ = path;
    target_ = at_.text();
    if (kind == TargetKind::Device)
        return openDevice();
    struct stat old;
    bool replacing = kind == TargetKind::Replaceable &&
                     fstatat(at_.folder(), at_.name().c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;

    // Without a file to take them from, the permissions a file made anew
    // gets; a replaced one's are set below, once nobody else can read the
    // empty file.
    std::string name;
    int fd = createBesideAt(at_.folder(), at_.name(), replacing ? 0600 : 0644, name);
    if (fd < 0)
        return nullptr;
    if (replacing)
        keepOwnerAndMode(fd, old);
    stream_ = fdopen(fd, "w+b");
    if (!stream_) {
        close(fd);
        unlinkat(at_.folder(), name.c_str(), 0);
        return nullptr;
    }
    temporary_ = name;
    return stream_;
}

FILE *ReplacingFile::openDevice()
{
    // Not blocking while opened (nor made the controlling terminal); the
    // kind is checked again on what was opened.
    int fd = openat(at_.folder(), at_.name().c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
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
    if (renameat(at_.folder(), temporary_.c_str(), at_.folder(), at_.name().c_str()) != 0) {
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
        unlinkat(at_.folder(), temporary_.c_str(), 0);
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
