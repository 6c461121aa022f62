// Files replaced whole: what becomes of links and permissions, and which
// leftovers of a killed reader are swept.
#include <gtest/gtest.h>

#include "ReplaceFile.h"
#include "SDLTestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

mode_t modeOf(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool isLink(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The id of a process that has ended; when collect is false it is left
// for its parent (this test) to collect later.
long endedProcess(bool collect = true)
{
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    siginfo_t info;
    waitid(P_PID, (id_t)child, &info, WEXITED | (collect ? 0 : WNOWAIT));
    return (long)child;
}

} // namespace

TEST(ReplacingFile, LinksStayLinksAndTheReplacedFilesModeIsKept)
{
    ScopedWorkDir dir;
    mkdir("dotfiles", 0755);
    mkdir("other", 0755);
    mode_t mask = umask(022);
    umask(mask);
    const struct { const char *name, *link, *target; mode_t mode; } cases[] = {
        {"plain file", nullptr, "plain", 0600},
        {"relative link", "../dotfiles/rel", "dotfiles/rel", 0600},
        {"absolute link", "", "dotfiles/abs", 0640},
        {"chain of links", "../other/hop", "dotfiles/chained", 0600},
        {"link to no file yet", "../dotfiles/later", "dotfiles/later", 0},
        {"no file yet", nullptr, "new", 0},
    };
    symlink("../dotfiles/chained", "other/hop");
    mkdir("home", 0755);
    for (const auto &c : cases) {
        std::string path = c.link ? "home/" + std::string(c.name) : std::string(c.target);
        std::string link = c.link && !*c.link ? dir.path() + "/" + c.target : c.link ? c.link : "";
        if (c.link) {
            ASSERT_EQ(symlink(link.c_str(), path.c_str()), 0) << c.name;
        }
        if (c.mode) {
            ASSERT_TRUE(writeFile(c.target, std::string("old")));
            chmod(c.target, c.mode);
        }
        ReplacingFile file;
        FILE *f = file.open(path);
        ASSERT_NE(f, nullptr) << c.name;
        fputs("new", f);
        ASSERT_TRUE(file.commit(true)) << c.name;
        EXPECT_EQ(isLink(path), c.link != nullptr) << c.name;
        EXPECT_EQ(readText(c.target), "new") << c.name;
        EXPECT_EQ(modeOf(c.target), c.mode ? c.mode : 0644 & ~mask) << c.name;
    }
    // Nothing left beside any of them.
    EXPECT_EQ(listDirectory("dotfiles"), (std::vector<std::string>{"abs", "chained", "later", "rel"}));
    EXPECT_EQ(listDirectory("other"), std::vector<std::string>{"hop"});

    // A loop of links ends nowhere: nothing is written.
    symlink("loop2", "loop1");
    symlink("loop1", "loop2");
    ReplacingFile looped;
    EXPECT_EQ(looped.open("loop1"), nullptr);
}

TEST(ReplacingFile, SweepTakesOnlyWhatEndedReadersLeft)
{
    ScopedWorkDir dir;
    std::string ended = std::to_string(endedProcess());
    long uncollected = endedProcess(false);
    std::string running = std::to_string((long)getpid());
    const struct { std::string name; bool swept; } cases[] = {
        {"a.bmp.mirandol2-new-" + ended + "-0", true},
        {"b.bmp.mirandol2-new-" + std::to_string(uncollected) + "-0", true},
        {"visited.txt.mirandol2-new-" + ended + "-12", true},
        {"a.bmp.mirandol2-new-" + running + "-0", false},   // its writer still runs
        {"a.bmp.Ab12Cd", false},                             // like a temporary file, but not ours
        {"a.bmp.mirandol2-new-" + ended, false},
        {"a.bmp.mirandol2-new-" + ended + "-x", false},
        {"mirandol2-new-" + ended + "-0", false},
        {".mirandol2-new-" + ended + "-0", false},
        {"a.bmp.mirandol2-new-0-1", false},
        {"a.bmp", false},
    };
    mkdir("save", 0755);
    for (const auto &c : cases)
        writeFile("save/" + c.name, std::string("x"));
    mkdir(("save/b.htm.mirandol2-new-" + ended + "-1").c_str(), 0755);   // not a file: stays
    int swept = 0;
    for (const auto &c : cases)
        swept += c.swept;
    EXPECT_EQ(sweepReplacements("save/"), swept);
    for (const auto &c : cases)
        EXPECT_EQ(fileExists("save/" + c.name), !c.swept) << c.name;
    waitpid((pid_t)uncollected, nullptr, 0);

    // Sweeping for one name takes only its own.
    writeFile("settings.mirandol2-new-" + ended + "-3", std::string("x"));
    writeFile("settings_cache.mirandol2-new-" + ended + "-3", std::string("x"));
    symlink("settings.real", "link");
    writeFile("settings.real.mirandol2-new-" + ended + "-4", std::string("x"));
    EXPECT_EQ(sweepReplacementsOf("settings"), 1);
    EXPECT_EQ(sweepReplacementsOf("link"), 1);   // beside the link's file
    EXPECT_TRUE(fileExists("settings_cache.mirandol2-new-" + ended + "-3"));
}
