// What a killed reader left beside its files is swept at the next start,
// also below temp/ and for names cut short; a file size limit makes a write
// fail, never ends the reader; a FIFO by a packed font's name in temp/ does
// not stop it.
#include <gtest/gtest.h>

#include "ReplaceFile.h"
#include "SDLTestSupport.h"

#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

extern char **environ;

namespace {

// The process id of a child that has ended (and was collected); body runs
// in the child first.
std::string endedWriter(void (*body)(const void *) = nullptr, const void *argument = nullptr)
{
    pid_t child = fork();
    if (child == 0) {
        if (body)
            body(argument);
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return std::to_string(child);
}

// In the child: the new file createBeside makes for a name, left there as
// by a reader killed while writing it.
void leaveBeside(const void *target)
{
    std::string name;
    int fd = createBeside(*static_cast<const std::string *>(target), 0644, name);
    if (fd >= 0)
        close(fd);
}

} // namespace

// A leftover of a name so long that createBeside cut it short is still
// known as that name's, both by the sweep of one file's leftovers and by
// the sweep of the whole folder; a shorter name's, or one of another start,
// is not that file's.
TEST(Leftovers, NamesCutShortAreSweptAsTheirFilesOwn)
{
    ScopedWorkDir dir;
    const std::string longName(250, 'n');
    const struct { std::string target; bool cut; bool swept; } cases[] = {
        {longName, true, true},
        {longName.substr(0, 200), false, false},
        {"m" + longName.substr(1), true, false},
    };
    std::vector<std::string> left;
    for (const auto &c : cases) {
        std::vector<std::string> before = listDirectory(".");
        endedWriter(leaveBeside, &c.target);
        std::vector<std::string> after = listDirectory(".");
        ASSERT_EQ(after.size(), before.size() + 1) << c.target.size();
        for (const std::string &name : after)
            if (std::find(before.begin(), before.end(), name) == before.end())
                left.push_back(name);
        EXPECT_EQ(left.back().size() == NAME_MAX, c.cut) << left.back();
    }

    symlink(longName.c_str(), "settings");
    EXPECT_EQ(sweepReplacementsOf("settings"), 1);
    for (size_t i = 0; i < left.size(); i++)
        EXPECT_EQ(fileExists(left[i]), !cases[i].swept) << left[i];
    EXPECT_EQ(sweepReplacements(""), 2);
    EXPECT_EQ(listDirectory("."), std::vector<std::string>{"settings"});
}

// The fallback font is written in temp/fallback/: what a killed reader was
// writing there goes at the next start, what a running one writes and the
// user's own files stay.
TEST(Leftovers, FallbackFolderIsSweptAtStart)
{
    const std::string ended = endedWriter(), running = std::to_string(getpid());
    const struct { std::string name; bool swept; } cases[] = {
        {"default.ttf.mirandol2-new-" + ended + "-0", true},
        {"default.ttf.mirandol2-new-" + ended + "-7", true},
        {"default.ttf.mirandol2-new-" + running + "-0", false},
        {"default.ttf.mirandol2-new-x", false},
        {"notes.txt", false},
    };
    SystemFixture f("showConfig=false\nmusic=false\nsoundEffects=false\n", {},
                    [&](Platform *platform, int argc, char **argv) {
                        mkdir("temp", 0755);
                        mkdir("temp/fallback", 0755);
                        for (const auto &c : cases)
                            writeFile("temp/fallback/" + c.name, std::string("left"));
                        return new SDLSystem(platform, argc, argv);
                    });
    for (const auto &c : cases)
        EXPECT_EQ(fileExists("temp/fallback/" + c.name), !c.swept) << c.name;
    EXPECT_TRUE(fileExists("temp/fallback/default.ttf"));
}

namespace {

struct LimitedRun { bool exited; int status; int signal; std::string out, err; };

// Runs the built reader in dir (its settings in dir/../config) as a user
// would under `prlimit --fsize=limit`, with SIGXFSZ at its default, so
// that only the reader itself can keep the signal off. Its output goes
// through pipes, which the limit does not cut. Once the verbose log has
// shown the pointer twice (the page is up), SIGTERM asks it to quit; a
// reader still there after 30 s is killed.
LimitedRun runLimited(const std::string &dir, rlim_t limit)
{
    std::vector<std::string> environment = {"XDG_CONFIG_HOME=" + dir + "/../config", "SDL_VIDEODRIVER=dummy",
                                            "SDL_AUDIODRIVER=dummy"};
    for (char **e = environ; *e; e++)
        if (strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0 && strncmp(*e, "SDL_VIDEODRIVER=", 16) != 0 &&
            strncmp(*e, "SDL_AUDIODRIVER=", 16) != 0)
            environment.push_back(*e);
    std::vector<char *> envp;
    for (std::string &e : environment)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);
    const std::string program = M2_BINARY_DIR "/mirandol2";
    char *argv[] = {const_cast<char *>(program.c_str()), nullptr};

    int out[2], err[2];
    LimitedRun run = {false, -1, 0, "", ""};
    if (pipe(out) != 0 || pipe(err) != 0)
        return run;
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1]})
            close(fd);
        struct rlimit fsize = {limit, limit};
        if (chdir(dir.c_str()) != 0 || setrlimit(RLIMIT_FSIZE, &fsize) != 0)
            _exit(127);
        signal(SIGXFSZ, SIG_DFL);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *texts[2] = {&run.out, &run.err};
    bool asked = false, killed = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int open = 2; open > 0;) {
        poll(fds, 2, 100);
        if (!killed && std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            killed = true;
        }
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, (size_t)n);
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                open--;
            }
        }
        size_t shown = 0;
        for (size_t at = run.out.find("show_cursor\n"); at != std::string::npos; at = run.out.find("show_cursor\n", at + 1))
            shown++;
        if (!asked && shown >= 2) {
            kill(child, SIGTERM);
            asked = true;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    run.exited = WIFEXITED(status);
    run.status = run.exited ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return run;
}

// A magazine saying "Hello" in work/run, packed with the given extra
// files, and the reader's settings (verbose) in work/config.
void helloMagazine(const std::string &work, const std::vector<std::pair<std::string, std::vector<uint8_t>>> &extra = {})
{
    const std::string in = work + "/in";
    for (const std::string &dir : {work + "/config", work + "/run", in})
        mkdir(dir.c_str(), 0755);
    writeFile(work + "/config/mirandol2", std::string("verbose=true\nfullscreen=false\nshowConfig=false\n"
                                                      "music=false\nsoundEffects=false\n"));
    writeFile(in + "/config.txt", std::string("<scheme name=a><background theme=t></scheme><theme name=t></theme>"));
    writeFile(in + "/main.txt", std::string("<article scheme=a>Hello"));
    writeFile(in + "/background.jpg", std::string("not decoded"));
    for (const auto &file : extra)
        writeFile(in + "/" + file.first, file.second);
    std::string pack = "'" M2_BINARY_DIR "/mkmag' '" + work + "/run/magazine.dat' '" + in + "' > /dev/null 2>&1";
    ASSERT_EQ(system(pack.c_str()), 0);
}

} // namespace

// Under a file size limit the reader is never ended by SIGXFSZ: a first
// start under 100 KB (less than the fallback font) reads the fallback font
// from memory and shows its page; with the fonts already in temp/, a limit
// of 5 bytes keeps the old visited list whole, says so and ends with 1.
TEST(FileSizeLimit, WritesFailAndTheReaderEndsAsOnAFullDisk)
{
    ScopedWorkDir work;
    const std::string run = work.path() + "/run";
    helloMagazine(work.path());

    // Each start finds what the one before left.
    const std::string old = "old.txt\r\n";
    const struct {
        const char *name;
        rlim_t limit;
        bool oldList;   // temp/visited.txt holds old before the start
        int status;
        const char *err;
        std::string visited;
        bool fallbackWritten;
    } cases[] = {
        {"first start, 100 KB", 102400, false, 0, "", "main.txt\r\n", false},
        {"roomy", RLIM_INFINITY, true, 0, "", "main.txt\r\n", true},
        {"fonts there, 5 bytes", 5, true, 1, "Could not save the visited list\n", old, true},
    };
    for (const auto &c : cases) {
        if (c.oldList)
            writeFile(run + "/temp/visited.txt", old);
        LimitedRun r = runLimited(run, c.limit);
        EXPECT_TRUE(r.exited) << c.name << ": signal " << r.signal << "\n" << r.out.substr(0, 2000) << r.err;
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.err;
        size_t said = r.err.find("Could not");   // the notes on fonts and pictures aside
        EXPECT_EQ(said == std::string::npos ? "" : r.err.substr(said), c.err) << c.name;
        EXPECT_NE(r.out.find("out_text, 'Hello'"), std::string::npos) << c.name;
        EXPECT_EQ(readText(run + "/temp/visited.txt"), c.visited) << c.name;
        EXPECT_EQ(listDirectory(run + "/temp/fallback"),
                  c.fallbackWritten ? std::vector<std::string>{"default.ttf"} : std::vector<std::string>{})
            << c.name;
    }
}

// The reader ignores SIGXFSZ; a link program it starts has the signal at
// its default, as when started by hand.
TEST(FileSizeLimit, LinkProgramsGetTheSignalsDefault)
{
    struct sigaction previous;
    sigaction(SIGXFSZ, nullptr, &previous);
    signal(SIGXFSZ, SIG_IGN);   // as the reader has it

    ScopedWorkDir dir;
    const std::string script = dir.path() + "/ignored", record = dir.path() + "/ignored.txt";
    writeFile(script, "#!/bin/sh\nsed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status > '" + record + ".part'\nmv '" +
                          record + ".part' '" + record + "'\n");
    chmod(script.c_str(), 0755);
    std::string config = "showConfig=false\nmusic=false\nsoundEffects=false\nexternalLink=" + script + "\n";
    SystemFixture f(config.c_str());
    testing::internal::CaptureStdout();
    EXPECT_TRUE(f.system->open_link("x"));
    testing::internal::GetCapturedStdout();
    for (int i = 0; i < 3000 && !fileExists(record); i++)
        usleep(10000);
    unsigned long long mask = strtoull(readText(record).c_str(), nullptr, 16);
    EXPECT_TRUE(fileExists(record));
    EXPECT_EQ(mask & (1ull << (SIGXFSZ - 1)), 0u) << readText(record);
    sigaction(SIGXFSZ, &previous, nullptr);
}

// A FIFO in temp/ named like a packed font (as an older copy of it would
// be) is no font: it is not waited on, the page is drawn and one SIGTERM
// ends the reader.
TEST(TempFonts, AFifoNamedLikeAPackedFontDoesNotStopTheStart)
{
    ScopedWorkDir work;
    const std::string run = work.path() + "/run";
    helloMagazine(work.path(), {{"sans.ttf", readFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")}});
    ASSERT_EQ(mkdir((run + "/temp").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((run + "/temp/sans.ttf.old").c_str(), 0644), 0);
    LimitedRun r = runLimited(run, RLIM_INFINITY);
    EXPECT_TRUE(r.exited && r.status == 0) << "signal " << r.signal << "\n" << r.err;
    EXPECT_NE(r.out.find("install_font, 'sans.ttf'"), std::string::npos);
    EXPECT_NE(r.out.find("out_text, 'Hello'"), std::string::npos);
}
