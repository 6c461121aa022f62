// Sleeping until there is something to do (see SDL_Wait.h).
#include "SDL_Wait.h"

#include <SDL/SDL.h>
#include <SDL/SDL_syswm.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace SDL_Wait {

namespace {

// The wake-up: a pipe the sleeper polls; a byte in it ends the sleep.
int s_wake[2] = {-1, -1};
std::once_flag s_wakeOnce;

void openWakePipe()
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    for (int fd : fds) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    s_wake[0] = fds[0];
    s_wake[1] = fds[1];
}

// The connection to the X server, when the display is one.
int displayConnection()
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) > 0 && info.subsystem == SDL_SYSWM_X11 && info.info.x11.display)
        return ConnectionNumber(info.info.x11.display);
#endif
    return -1;
}

typedef std::chrono::steady_clock Clock;

struct Timer {
    int id;
    uint32_t interval;
    Callback callback;
    void *param;
    Clock::time_point due;
};

// The timers and their thread; made on first use and never destroyed, so
// the thread can sleep on it until the process ends.
struct Timers {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Timer> list;
    int lastId = 0;
    bool started = false;

    void run()
    {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            if (list.empty()) {
                changed.wait(guard);
                continue;
            }
            auto next = std::min_element(list.begin(), list.end(),
                                         [](const Timer &a, const Timer &b) { return a.due < b.due; });
            // A copy: the list may change while the thread sleeps.
            const Clock::time_point due = next->due;
            if (Clock::now() < due) {
                changed.wait_until(guard, due);
                continue;
            }
            Timer fired = *next;
            guard.unlock();
            uint32_t again = fired.callback(fired.interval, fired.param);
            guard.lock();
            // The timer may have gone while its callback ran.
            for (auto it = list.begin(); it != list.end(); ++it) {
                if (it->id != fired.id)
                    continue;
                if (again == 0) {
                    list.erase(it);
                } else {
                    // A late timer goes on from now rather than catching up.
                    it->interval = again;
                    it->due = std::max(fired.due + std::chrono::milliseconds(again),
                                       Clock::now());
                }
                break;
            }
        }
    }
};

Timers &timers()
{
    static Timers *t = new Timers();
    return *t;
}

} // namespace

void wake()
{
    std::call_once(s_wakeOnce, openWakePipe);
    if (s_wake[1] < 0)
        return;
    char byte = 1;
    // A full pipe already holds a wake-up.
    if (write(s_wake[1], &byte, 1) < 0) {
    }
}

void sleep(int maxMs)
{
    std::call_once(s_wakeOnce, openWakePipe);
    struct pollfd fds[2];
    int count = 0;
    if (s_wake[0] >= 0)
        fds[count++] = {s_wake[0], POLLIN, 0};
    int display = displayConnection();
    if (display >= 0)
        fds[count++] = {display, POLLIN, 0};
    if (count == 0) {
        SDL_Delay((Uint32)(maxMs > 0 ? maxMs : 0));
        return;
    }
    if (poll(fds, (nfds_t)count, maxMs) > 0 && (fds[0].revents & POLLIN) && s_wake[0] >= 0) {
        char bytes[64];
        while (read(s_wake[0], bytes, sizeof bytes) > 0) {
        }
    }
}

int addTimer(uint32_t period, Callback callback, void *param)
{
    Timers &t = timers();
    std::lock_guard<std::mutex> guard(t.lock);
    if (!t.started) {
        try {
            std::thread([&t] { t.run(); }).detach();
        } catch (...) {
            return 0;
        }
        t.started = true;
    }
    if (period == 0)
        period = 1;
    int id = ++t.lastId;
    t.list.push_back(Timer{id, period, callback, param,
                           Clock::now() + std::chrono::milliseconds(period)});
    t.changed.notify_all();
    return id;
}

void removeTimer(int id)
{
    Timers &t = timers();
    std::lock_guard<std::mutex> guard(t.lock);
    for (auto it = t.list.begin(); it != t.list.end(); ++it)
        if (it->id == id) {
            t.list.erase(it);
            break;
        }
    t.changed.notify_all();
}

} // namespace SDL_Wait
