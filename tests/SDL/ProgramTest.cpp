// Runs the built reader as a user would, in a directory of its own.
#include <gtest/gtest.h>

#include "SDLTestSupport.h"
#include "TestDirs.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

namespace {

struct ReaderRun { int status; std::string out; std::string err; };

// The first Ctrl+C (or the signal named) goes once the verbose log has
// `count` lines matching `pattern`, the second (signals 2) 0.3 s later.
struct Interrupt { int signals; const char *pattern; int count; const char *name = "INT"; };

// prepare fills the reader's directory; without an interrupt the reader runs
// until it quits; inspect looks at the directory afterwards.
ReaderRun runReader(const std::string &args, const std::string &configText = "",
                    const std::function<void(const std::string &)> &prepare = nullptr,
                    const Interrupt &interrupt = {0, "", 0},
                    const std::function<void(const std::string &)> &inspect = nullptr)
{
    ScopedWorkDir dir;
    std::string config = dir.path() + "/config";
    mkdir(config.c_str(), 0755);
    if (!configText.empty())
        writeFile(config + "/mirandol2", configText);
    mkdir((dir.path() + "/run").c_str(), 0755);
    if (prepare)
        prepare(dir.path() + "/run");
    std::string command = "cd '" + dir.path() + "/run' && XDG_CONFIG_HOME='" + config +
                          "' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '" M2_BINARY_DIR
                          "/mirandol2' " + args + " > ../out 2> ../err";
    if (interrupt.signals) {
        // Waits for the log at most 40 s, however loaded the machine.
        writeFile(dir.path() + "/run.sh",
                  command + " & pid=$!\ni=0\n"
                            "while [ $i -lt 400 ] && kill -0 $pid 2>/dev/null && [ $(cat '" +
                      dir.path() + "/out' 2>/dev/null | grep -c '" + interrupt.pattern + "') -lt " +
                      std::to_string(interrupt.count) +
                      " ]; do\n  sleep 0.1; i=$((i + 1))\ndone\nkill -" + interrupt.name + " $pid\n" +
                      (interrupt.signals > 1 ? "sleep 0.3; kill -" + std::string(interrupt.name) + " $pid\n" : "") +
                      "wait $pid\n");
        command = "sh '" + dir.path() + "/run.sh'";
    }
    int status = system(command.c_str());
    ReaderRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readText(dir.path() + "/out");
    run.err = readText(dir.path() + "/err");
    if (inspect)
        inspect(dir.path() + "/run");
    return run;
}

const char *QUIET = "showConfig=false\nmusic=false\nsoundEffects=false\n";

// Packs the given files into "magazine.dat" in dir with the project's archive writer.
void packMagazine(const std::string &dir, const std::vector<std::pair<std::string, std::string>> &files)
{
    std::string in = dir + "/../in";
    mkdir(in.c_str(), 0755);
    for (const auto &f : files)
        writeFile(in + "/" + f.first, f.second);
    std::string command = "'" M2_BINARY_DIR "/mkmag' '" + dir + "/magazine.dat' '" + in + "' > /dev/null";
    ASSERT_EQ(system(command.c_str()), 0);
}

} // namespace

// Help goes to standard output and ends well; a bad option prints the usage
// on standard error and ends with 2.
TEST(Program, HelpAndBadOptionsPrintTheUsage)
{
    const std::string usage = "\t-h, -help\t\tthis text\n"
                              "\t-c, -config\t\tforce showing of configuration window\n"
                              "\t-s X, -song X\t\tplay song X instead of default music\n"
                              "\t-a X, -article X\tshow article X instead of default\n";
    for (const char *args : {"-h", "--help", "-x", "-s", "-a", "-c -song", "magazine.dat"}) {
        ReaderRun run = runReader(args, QUIET);
        bool help = strstr(args, "-h") != nullptr;
        EXPECT_EQ(run.status, help ? 0 : 2) << args;
        const std::string &shown = help ? run.out : run.err;
        ASSERT_GE(shown.size(), usage.size()) << args;
        EXPECT_EQ(shown.substr(shown.size() - usage.size()), usage) << args;
        if (!help) {
            EXPECT_EQ(run.out.find("this text"), std::string::npos) << args;
            continue;
        }
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("\nMirandol - e-Magazine Browser\nVersion 2.0.22\n"), std::string::npos);
        EXPECT_NE(run.out.find("\n\n\n" + usage), std::string::npos);
    }
}

// Start-up errors end with 1, their text last on standard error; a verbose
// configuration logs the operations on standard output. Without a magazine
// the reader's directory stays empty.
TEST(Program, StartupErrorsEndWithTheirText)
{
    const struct { bool verbose, magazine; std::string error; } cases[] = {
        {false, false, "No *.dat file\n"}, {false, true, "Cannot load configuration\n"}, {true, false, "No *.dat file\n"},
    };
    for (const auto &c : cases) {
        std::string config = (c.verbose ? "verbose=true\n" : "") + std::string(QUIET);
        std::vector<std::string> left;
        auto prepare = [&](const std::string &dir) {
            if (c.magazine)
                packMagazine(dir, {{"main.txt", "<article scheme=a>Hello"}});
        };
        ReaderRun run = runReader("", config, prepare, {0, "", 0}, [&](const std::string &dir) {
            for (const auto &e : std::filesystem::directory_iterator(dir))
                left.push_back(e.path().filename());
        });
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(c.magazine || left.empty()) << left[0];
        ASSERT_GE(run.err.size(), c.error.size());
        EXPECT_EQ(run.err.substr(run.err.size() - c.error.size()), c.error);
        if (!c.verbose && !c.magazine) {
            EXPECT_EQ(run.err, c.error);
        }
        for (const char *line : {"SDLSystem constructor\n", "is_ready()\n",
                                 "set_error_message : No *.dat file\nfind_one_file : *.dat\n"})
            EXPECT_EQ(run.out.find(line) != std::string::npos, c.verbose) << line;
    }
}

TEST(Program, ValidMagazineOpensTheDisplayAtItsClampedSize)
{
    // A magazine of one article, with the given parameters and files beside it.
    auto magazine = [](const char *parameters, std::vector<std::pair<std::string, std::string>> more) {
        more.push_back({"config.txt", std::string("<parameters ") + parameters + ">"
                                          "<scheme name=a><background theme=t></scheme><theme name=t></theme>"});
        more.push_back({"main.txt", "<article scheme=a>Hello"});
        return [=](const std::string &dir) { packMagazine(dir, more); };
    };
    const std::string config = std::string("verbose=true\nfullscreen=false\n") + QUIET;
    ReaderRun run = runReader("", config, magazine("width=5000 height=10", {{"background.jpg", "not decoded"}}),
                              // The start article is shown: the pointer is back after the fade in.
                              {1, "^show_cursor$", 2}, [](const std::string &dir) {
                                  // Ctrl+C ran the teardown, which writes the visited list.
                                  EXPECT_TRUE(fileExists(dir + "/temp/visited.txt"));
                              });
    EXPECT_NE(run.out.find("init_display, width: 2048 height: 200\n"), std::string::npos) << run.out;
    // Ended by Ctrl+C through the teardown, not by a start-up error.
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err.find("Cannot"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("stop_timer, msg: 39\n"), std::string::npos);

    // Ctrl+C during a long fade (the fade to black of a magazine that cannot
    // show its start article) cuts it short, and the reader ends through its
    // teardown, with its error, all the same.
    run = runReader("", config, magazine("fading=5000", {}), {1, "^flip, effect: 1, clear_flags: 2", 1},
                    [](const std::string &dir) { EXPECT_TRUE(fileExists(dir + "/temp/visited.txt")); });
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("No main article"), std::string::npos) << run.err;
}

// A start without settings writes the defaults, whose system font folder
// stands for the fonts Debian's packages keep in folders below it.
TEST(Program, FirstStartFindsTheSystemsPackagedFonts)
{
    const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf";
    if (!fileExists(font))
        GTEST_SKIP() << "fonts-dejavu-core is not installed";
    std::string cache;
    runReader("", "", nullptr, {0, "", 0},
              [&](const std::string &dir) { cache = readText(dir + "/../config/mirandol2_font_cache"); });
    EXPECT_NE(cache.find("\ndejavu serif:1=" + font + "\n"), std::string::npos) << cache;
}

// The files the reader keeps, as users keep them: a visited list linked from
// a folder of its own with its own permissions stays a link and gets the
// visits, also when the terminal hangs up; what a killed reader left in
// "save/" and "temp/" is swept, the user's files of like names are not.
TEST(Program, HangUpKeepsTheVisitsInTheLinkedListAndLeftoversAreSwept)
{
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    const std::string left = ".mirandol2-new-" + std::to_string(child) + "-0";
    const std::vector<std::string> userFiles = {"save/a.bmp.Ab12Cd", "temp/f.ttf.mirandol2-new-x"};
    auto prepare = [&](const std::string &dir) {
        packMagazine(dir, {{"config.txt", "<scheme name=a><background theme=t></scheme><theme name=t></theme>"},
                           {"main.txt", "<article scheme=a>Hello"}, {"background.jpg", "not decoded"}});
        for (const char *folder : {"/save", "/temp", "/../keep"})
            mkdir((dir + folder).c_str(), 0755);
        writeFile(dir + "/../keep/visited", std::string("old.txt\r\n"));
        chmod((dir + "/../keep/visited").c_str(), 0600);
        symlink("../../keep/visited", (dir + "/temp/visited.txt").c_str());
        for (const std::string &name : userFiles)
            writeFile(dir + "/" + name, std::string("mine"));
        writeFile(dir + "/save/a.bmp" + left, std::string("left"));
        writeFile(dir + "/temp/f.ttf" + left, std::string("left"));
    };
    const std::string config = std::string("verbose=true\nfullscreen=false\n") + QUIET;
    ReaderRun run = runReader("", config, prepare, {1, "^show_cursor$", 2, "HUP"}, [&](const std::string &dir) {
        struct stat st;
        EXPECT_TRUE(lstat((dir + "/temp/visited.txt").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        EXPECT_TRUE(stat((dir + "/../keep/visited").c_str(), &st) == 0 && (st.st_mode & 0777) == 0600);
        EXPECT_EQ(readText(dir + "/../keep/visited"), "main.txt\r\n");
        EXPECT_EQ(listDirectory(dir + "/../keep"), std::vector<std::string>{"visited"});
        for (const std::string &name : userFiles)
            EXPECT_EQ(readText(dir + "/" + name), "mine") << name;
        EXPECT_FALSE(fileExists(dir + "/save/a.bmp" + left) || fileExists(dir + "/temp/f.ttf" + left));
    });
    EXPECT_EQ(run.status, 0) << run.err;
}

// Settings that cannot be saved are said on standard error, and the reader
// ends with 1: here the first start's defaults, through a link to a folder
// that does not exist.
TEST(Program, UnsavedSettingsAreSaidAndEndWithOne)
{
    ReaderRun run = runReader("-h", "", [](const std::string &dir) {
        symlink("gone/mirandol2", (dir + "/../config/mirandol2").c_str());
    });
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Could not save the settings\n");
    EXPECT_NE(run.out.find("this text"), std::string::npos);
}
