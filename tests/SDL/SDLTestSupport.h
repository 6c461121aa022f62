// Helpers for the SDL layer's tests: a platform whose configuration file is
// chosen by the test, and an SDLSystem made in a fresh working directory.
#ifndef MIRANDOL_SDL_TEST_SUPPORT_H
#define MIRANDOL_SDL_TEST_SUPPORT_H

#include "LinuxPlatform.h"
#include "SDL_System.h"
#include "TestDirs.h"

#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The whole file as text ("" when it cannot be read).
inline std::string readText(const std::string &path)
{
    std::vector<uint8_t> data = readFile(path);
    return std::string(data.begin(), data.end());
}

// Whether body ends within the time and yields true. It runs in a child
// (with the default alarm action, whatever SDL set), so that a step that
// would wait for ever fails the test instead of stopping the run.
inline bool endsWithin(unsigned seconds, const std::function<bool()> &body)
{
    pid_t child = fork();
    if (child == 0) {
        signal(SIGALRM, SIG_DFL);
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        pthread_sigmask(SIG_UNBLOCK, &alarm, nullptr);
        ::alarm(seconds);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class TestPlatform : public LinuxPlatform {
public:
    explicit TestPlatform(const std::string &config) : config_(config) {}
    const char *configPath() override { return config_.c_str(); }

private:
    std::string config_;
};

// The configuration file holds the given text (no file when text is null);
// showConfig is off unless the text says otherwise. The directory holds an
// empty "magazine.dat", so the reader makes its folders and fallback font.
// make, when given, makes the system (a test's own kind of SDLSystem).
struct SystemFixture {
    using Maker = std::function<SDLSystem *(Platform *, int, char **)>;
    ScopedWorkDir dir;
    std::unique_ptr<TestPlatform> platform;
    std::unique_ptr<SDLSystem> system;

    explicit SystemFixture(const char *configText = "showConfig=false\nmusic=false\nsoundEffects=false\n",
                           std::vector<std::string> args = {}, const Maker &make = nullptr)
    {
        writeFile(dir.path() + "/magazine.dat", std::string());
        std::string path = dir.path() + "/mirandol2.conf";
        if (configText)
            writeFile(path, std::string(configText));
        platform.reset(new TestPlatform(path));
        args.insert(args.begin(), "mirandol2");
        argv_ = args;
        for (std::string &a : argv_)
            pointers_.push_back(&a[0]);
        pointers_.push_back(nullptr);
        if (make)
            system.reset(make(platform.get(), (int)argv_.size(), pointers_.data()));
        else
            system.reset(new SDLSystem(platform.get(), (int)argv_.size(), pointers_.data()));
    }

private:
    std::vector<std::string> argv_;
    std::vector<char *> pointers_;
};

#endif
