// SIGINT, SIGTERM and SIGHUP as a quit message, SIGXFSZ ignored (see
// QuitSignals.h). The handler only writes one byte to a pipe; a thread of
// its own turns that byte into the quit request, since posting its message
// takes a lock and allocates.
#include "QuitSignals.h"

#include "SDL_System.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

namespace {

int s_pipe[2] = {-1, -1};
volatile sig_atomic_t s_requested = 0;
struct timespec s_first;

// Milliseconds since the first request.
long sinceFirst()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - s_first.tv_sec) * 1000 + (now.tv_nsec - s_first.tv_nsec) / 1000000;
}

void onQuitSignal(int number)
{
    if (s_requested) {
        // timeout(1) and some shells deliver one request twice (to the
        // process and to its group): only a later one is a second request.
        if (sinceFirst() < 100)
            return;
        _exit(128 + number);
    }
    clock_gettime(CLOCK_MONOTONIC, &s_first);
    s_requested = 1;
    int saved = errno;
    char byte = (char)number;
    if (write(s_pipe[1], &byte, 1) < 0) {
        // Nothing else can be done from here.
    }
    errno = saved;
}

void *postQuit(void *argument)
{
    char byte;
    ssize_t n;
    while ((n = read(s_pipe[0], &byte, 1)) < 0 && errno == EINTR) {
    }
    if (n == 1)
        static_cast<SDLSystem *>(argument)->requestQuit();
    return nullptr;
}

} // namespace

void installQuitSignals()
{
    // Past the file size limit a write fails (EFBIG) instead of ending the
    // reader: the fonts are then read from memory and a file that must be
    // saved is kept whole and said to be unsaved, as on a full disk.
    signal(SIGXFSZ, SIG_IGN);
    if (s_pipe[0] >= 0 || pipe(s_pipe) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal hangs up: the reader ends as when asked to, with
    // the visits of the run kept. Under nohup the hang-up stays ignored.
    struct sigaction hangUp;
    if (sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN)
        sigaction(SIGHUP, &action, nullptr);
}

void catchQuitSignals(SDLSystem *system)
{
    static bool watching = false;
    if (!system || watching)
        return;
    installQuitSignals();
    if (s_pipe[0] < 0)
        return;
    pthread_t watcher;
    if (pthread_create(&watcher, nullptr, postQuit, system) != 0)
        return;
    pthread_detach(watcher);
    watching = true;
}

bool quitSignalled()
{
    return s_requested != 0;
}
