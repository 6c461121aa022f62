// Writing an archive beside the old one and renaming it over (see MagOutput.h).
#include "MagOutput.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "ReplaceFile.h"

namespace {

// What follows the name of the file replaced: MARKER, the writer's process
// id, "-" and a number telling apart the names tried.
const char MARKER[] = ".mkmag-new-";
const size_t MARKER_LENGTH = sizeof MARKER - 1;

// Bytes written between two looks for a quit signal.
const size_t CHUNK = 1 << 20;

const int QUIT_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// Makes the new file beside the file called base in the open folder
// (O_EXCL: never an existing file nor a link); -1 with errno set when none
// can be made. name is its bare name.
int createArchiveBeside(int folder, const std::string &base, mode_t mode, std::string &name)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string suffix = MARKER + std::to_string((long)getpid()) + "-" + std::to_string(attempt);
        // Cut short where the target's name is long enough to make it too long.
        name = base.substr(0, NAME_MAX - suffix.size()) + suffix;
        int fd = openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

sigset_t quitSignals()
{
    sigset_t quit;
    sigemptyset(&quit);
    for (int sig : QUIT_SIGNALS)
        sigaddset(&quit, sig);
    return quit;
}

// A quit signal held back and waiting, taken so that it does not end the
// process when let through; 0 when none (one the process ignores is taken
// and dropped).
int takeQuitSignal()
{
    sigset_t pending;
    if (sigpending(&pending) != 0)
        return 0;
    for (int sig : QUIT_SIGNALS) {
        if (sigismember(&pending, sig) != 1)
            continue;
        struct sigaction action;
        sigaction(sig, nullptr, &action);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, sig);
        const struct timespec now = {0, 0};
        sigtimedwait(&one, nullptr, &now);
        if (action.sa_handler != SIG_IGN)
            return sig;
    }
    return 0;
}

// Writes every byte to fd, looking for a quit signal after each chunk when
// asked: false with errno set, or with the signal in quit.
bool writeAll(int fd, const std::vector<uint8_t> &bytes, bool watch, int &quit)
{
    for (size_t done = 0; done < bytes.size();) {
        size_t size = bytes.size() - done < CHUNK ? bytes.size() - done : CHUNK;
        ssize_t n = write(fd, bytes.data() + done, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            errno = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += (size_t)n;
        if (watch && (quit = takeQuitSignal()) != 0)
            return false;
    }
    return true;
}

// A device or pipe, the file at (no link along the way), named by path:
// written into as it is. A quit signal ends the process meanwhile: a pipe
// nobody reads would wait for ever.
int writeInto(const std::string &path, const WalkedPath &at, const std::vector<uint8_t> &bytes, std::string &error)
{
    int quit = 0;
    sigset_t signals = quitSignals(), previous;
    sigprocmask(SIG_UNBLOCK, &signals, &previous);
    int fd = openat(at.folder(), at.name().c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    bool ok = fd >= 0 && writeAll(fd, bytes, false, quit);
    int saved = errno;
    if (fd >= 0 && close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (ok)
        return 0;
    error = "cannot write " + path + ": " + strerror(saved);
    return -1;
}

// The new file's part of magWriteWhole, with the quit signals held back:
// made, written, synced and renamed over the file at in the folder found.
int replaceWith(const std::string &path, const WalkedPath &at, const std::vector<uint8_t> &bytes,
                std::string &error)
{
    struct stat old;
    bool replacing = fstatat(at.folder(), at.name().c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    // A replaced file's owner and permissions are set below, once nobody
    // else can read the empty file.
    std::string name;
    int fd = createArchiveBeside(at.folder(), at.name(), replacing ? 0600 : 0644, name);
    if (fd < 0) {
        error = "cannot create a new file beside " + at.text() + ": " + strerror(errno);
        return -1;
    }
    if (replacing)
        keepOwnerAndMode(fd, old);
    int quit = 0;
    bool ok = writeAll(fd, bytes, true, quit) && fsync(fd) == 0;
    int saved = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && (quit = takeQuitSignal()) == 0) {
        if (renameat(at.folder(), name.c_str(), at.folder(), at.name().c_str()) == 0)
            return 0;
        saved = errno;
    }
    unlinkat(at.folder(), name.c_str(), 0);
    if (quit) {
        error = magStoppedText(quit, path, replacing);
        return quit;
    }
    error = "cannot write " + path + ": " + strerror(saved) +
            (replacing ? "; " + path + " is left as it was" : std::string());
    return -1;
}

} // namespace

int magWriteWhole(const std::string &path, const std::vector<uint8_t> &bytes, std::string &error)
{
    // The links first: one of another user's is never written through,
    // whatever it ends at. Every step then acts in the folder found.
    WalkedPath at;
    if (!at.walk(path)) {
        error = "cannot write " + path + ": " + strerror(errno);
        return -1;
    }
    struct stat st;
    bool existed = fstatat(at.folder(), at.name().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    sigset_t quit = quitSignals(), previous;
    sigprocmask(SIG_BLOCK, &quit, &previous);
    int result = takeQuitSignal();
    if (result != 0)
        error = magStoppedText(result, path, existed);
    else if (existed && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)))
        result = writeInto(path, at, bytes, error);
    else if (existed && !S_ISREG(st.st_mode))
        error = "cannot write " + path + ": not a regular file", result = -1;
    else
        result = replaceWith(path, at, bytes, error);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return result;
}

void magHoldQuitSignals()
{
    sigset_t quit = quitSignals();
    sigprocmask(SIG_BLOCK, &quit, nullptr);
}

int magTakeQuitSignal()
{
    return takeQuitSignal();
}

std::string magStoppedText(int signal, const std::string &path, bool existed)
{
    return std::string("stopped by signal ") + strsignal(signal) + ": " + path +
           (existed ? " is left as it was" : " was not written");
}

bool magIsUnfinishedName(const std::string &name)
{
    size_t at = name.rfind(MARKER);
    if (at == std::string::npos || at == 0)
        return false;
    size_t pid = at + MARKER_LENGTH, dash = name.find('-', pid);
    if (dash == std::string::npos || dash == pid || dash + 1 == name.size())
        return false;
    for (size_t i = pid; i < name.size(); i++)
        if (i != dash && (name[i] < '0' || name[i] > '9'))
            return false;
    return true;
}
