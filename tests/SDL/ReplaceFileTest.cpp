// Files replaced whole: what becomes of links and permissions, and which
// leftovers of a killed reader are swept.
#include <gtest/gtest.h>

#include "ReplaceFile.h"
#include "SDLTestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

// A chain of links and one to a file not yet there stay links; the file at
// their end takes the new bytes and keeps its mode; a file made anew gets
// 0644 less the umask. A loop of links ends nowhere: nothing is written.
TEST(ReplacingFile, LinksStayLinksAndTheReplacedFilesModeIsKept)
{
    ScopedWorkDir dir;
    mkdir("dots", 0755);
    symlink("chained", "dots/hop");
    mode_t mask = umask(022);
    umask(mask);
    const struct { const char *path, *link, *target; mode_t mode; } cases[] = {
        {"plain", nullptr, "plain", 0640},
        {"chain", "dots/hop", "dots/chained", 0600},
        {"dangling", "dots/later", "dots/later", 0},
        {"new", nullptr, "new", 0},
    };
    for (const auto &c : cases) {
        if (c.link)
            symlink(c.link, c.path);
        if (c.mode && writeFile(c.target, std::string("old")))
            chmod(c.target, c.mode);
        ReplacingFile file;
        FILE *f = file.open(c.path);
        ASSERT_NE(f, nullptr) << c.path;
        fputs("new", f);
        ASSERT_TRUE(file.commit(true)) << c.path;
        struct stat st;
        EXPECT_TRUE(lstat(c.path, &st) == 0 && S_ISLNK(st.st_mode) == (c.link != nullptr)) << c.path;
        EXPECT_TRUE(stat(c.target, &st) == 0 && (st.st_mode & 07777) == (c.mode ? c.mode : 0644 & ~mask)) << c.path;
        EXPECT_EQ(readText(c.target), "new") << c.path;
    }
    EXPECT_EQ(listDirectory("dots"), (std::vector<std::string>{"chained", "hop", "later"}));   // nothing beside
    symlink("loop", "loop");
    ReplacingFile looped;
    EXPECT_EQ(looped.open("loop"), nullptr);
}

// Only names a ReplacingFile makes, of writers that ended (also those their
// parent has not collected yet), are swept.
TEST(ReplacingFile, SweepTakesOnlyWhatEndedWritersLeft)
{
    ScopedWorkDir dir;
    std::string ended[2];
    pid_t uncollected = 0;
    for (int collect = 1; collect >= 0; collect--) {
        pid_t child = fork();
        if (child == 0)
            _exit(0);
        siginfo_t info;
        waitid(P_PID, (id_t)child, &info, WEXITED | (collect ? 0 : WNOWAIT));
        ended[collect] = std::to_string(child);
        uncollected = child;
    }
    const struct { std::string name; bool swept; } cases[] = {
        {"a.bmp.mirandol2-new-" + ended[1] + "-0", true},
        {"b.bmp.mirandol2-new-" + ended[0] + "-12", true},
        {"c.bmp.mirandol2-new-" + std::to_string(getpid()) + "-0", false},   // its writer runs
        {"a.bmp.Ab12Cd", false},
        {"a.bmp.mirandol2-new-" + ended[1], false},
        {".mirandol2-new-" + ended[1] + "-0", false},
        {"a.bmp.mirandol2-new-0-1", false},
    };
    for (const auto &c : cases)
        writeFile(c.name, std::string("x"));
    EXPECT_EQ(sweepReplacements(""), 2);
    for (const auto &c : cases)
        EXPECT_EQ(fileExists(c.name), !c.swept) << c.name;
    waitpid(uncollected, nullptr, 0);

    // Sweeping for one file takes only its own, beside the file its link names.
    symlink("settings", "link");
    writeFile("settings.mirandol2-new-" + ended[1] + "-3", std::string("x"));
    writeFile("settings_cache.mirandol2-new-" + ended[1] + "-3", std::string("x"));
    EXPECT_EQ(sweepReplacementsOf("link"), 1);
    EXPECT_TRUE(fileExists("settings_cache.mirandol2-new-" + ended[1] + "-3"));
}
