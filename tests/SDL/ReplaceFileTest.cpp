// Files replaced whole: what becomes of links, owners and permissions,
// which kinds of file and whose links are refused (also when swapped in
// while the file is written), and which leftovers of a killed reader are
// swept.
#include <gtest/gtest.h>

#include "ReplaceFile.h"
#include "SDLTestSupport.h"
#include "ScratchFile.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <iostream>
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

namespace {

// Writes text through a ReplacingFile; true when it is in place.
bool replaceWith(const std::string &path, const char *text)
{
    ReplacingFile file;
    FILE *f = file.open(path);
    if (!f)
        return false;
    fputs(text, f);
    return file.commit(true);
}

mode_t kindOf(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

// A user id other than this one's and root's, for links planted by "someone else".
const uid_t OTHER_USER = 12345;

} // namespace

// A device at the end of the links is written into as it is (a full one
// fails the save), and stays a device; any other kind but a regular file is
// refused and stays as it was.
TEST(ReplacingFile, ADeviceIsWrittenIntoAndOtherKindsAreRefused)
{
    ScopedWorkDir dir;
    // Copies of /dev/null and /dev/full where devices may be made (never
    // the system's own: a replace step gone wrong must not take them).
    bool devices = mknod("null-copy", S_IFCHR | 0666, makedev(1, 3)) == 0 &&
                   mknod("full-copy", S_IFCHR | 0666, makedev(1, 7)) == 0;
    if (!devices)
        std::cout << "[ SKIPPED  ] devices: cannot be made here\n";
    symlink("null-copy", "to-null");
    symlink("full-copy", "to-full");
    mkfifo("fifo", 0644);
    symlink("fifo", "to-fifo");
    mkdir("folder", 0755);
    symlink("folder", "to-folder");
    const struct { const char *path, *end; mode_t kind; bool saved; } cases[] = {
        {"to-null", "null-copy", S_IFCHR, true},
        {"to-full", "full-copy", S_IFCHR, false},   // written into: no room
        {"to-fifo", "fifo", S_IFIFO, false},
        {"fifo", "fifo", S_IFIFO, false},
        {"to-folder", "folder", S_IFDIR, false},
    };
    for (const auto &c : cases) {
        if (!devices && c.kind == S_IFCHR)
            continue;
        EXPECT_TRUE(endsWithin(5, [&] { return replaceWith(c.path, "new") == c.saved; })) << c.path;
        EXPECT_EQ(kindOf(c.end), c.kind) << c.path;
        EXPECT_EQ(kindOf(c.path), strcmp(c.path, c.end) == 0 ? c.kind : (mode_t)S_IFLNK) << c.path;
    }
    EXPECT_EQ(listDirectory("folder"), std::vector<std::string>{});
    std::vector<std::string> left = listDirectory(".");
    for (const std::string &name : left) {
        long writer;
        EXPECT_FALSE(isReplacementName(name, writer)) << name;   // nothing made beside
    }
}

// A file without any write bit is frozen, also for root; one the user may
// not write is not replaced either: the save fails, the bytes stay.
TEST(ReplacingFile, AFrozenFileIsKeptByteForByte)
{
    ScopedWorkDir dir;
    const struct { const char *path, *link; mode_t mode; } cases[] = {
        {"frozen", nullptr, 0444},
        {"linked", "frozen-too", 0444},
        {"bare", nullptr, 0},
    };
    for (const auto &c : cases) {
        std::string file = c.link ? c.link : c.path;
        ASSERT_TRUE(writeFile(file, std::string("old\r\n")));
        chmod(file.c_str(), c.mode);
        if (c.link)
            symlink(c.link, c.path);
        EXPECT_FALSE(replaceWith(c.path, "new")) << c.path;
        EXPECT_EQ(readText(file), "old\r\n") << c.path;
    }
    EXPECT_EQ(listDirectory("."), (std::vector<std::string>{"bare", "frozen", "frozen-too", "linked"}));
}

// Links planted by another user, at the end of the path or on the way to
// it, are not followed: nothing is written where they point, nor through
// a folder link of theirs; the user's own and root's are followed.
TEST(ReplacingFile, ALinkOfSomeoneElseIsNotFollowed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a link to another user needs root";
    ScopedWorkDir dir;
    mkdir("real", 0755);
    ASSERT_TRUE(writeFile("real/settings", std::string("root's")));
    const struct { const char *link, *to, *path; uid_t owner; bool followed; } cases[] = {
        {"planted", "real/settings", "planted", OTHER_USER, false},
        {"folder", "real", "folder/settings", OTHER_USER, false},
        {"hop", "planted", "hop", 0, false},   // the second link of the chain is someone else's
        {"own", "real/settings", "own", 0, true},
    };
    for (const auto &c : cases) {
        symlink(c.to, c.link);
        ASSERT_EQ(lchown(c.link, c.owner, c.owner), 0) << c.link;
        EXPECT_EQ(replaceWith(c.path, "new"), c.followed) << c.path;
        EXPECT_EQ(readText("real/settings"), c.followed ? "new" : "root's") << c.path;
        WalkedPath walked;
        EXPECT_EQ(walked.walk(c.path), c.followed) << c.path;
    }
    EXPECT_EQ(listDirectory("real"), std::vector<std::string>{"settings"});
    // Nor are the sweep or a scratch copy let through such a folder.
    writeFile("real/x.mirandol2-new-999999999-0", std::string("x"));
    EXPECT_EQ(sweepReplacements("folder/"), 0);
    EXPECT_FALSE(writeScratchFile("folder/font.ttf", "font", 4));
    EXPECT_EQ(listDirectory("real"), (std::vector<std::string>{"settings", "x.mirandol2-new-999999999-0"}));
}

// A FIFO or a device where a file is read counts as missing, at once.
TEST(ReplacingFile, ReadingAFifoOrADeviceFindsNothingAndDoesNotWait)
{
    ScopedWorkDir dir;
    mkfifo("fifo", 0644);
    const struct { const char *path; bool found; } cases[] = {
        {"fifo", false}, {"/dev/null", false}, {"/dev/zero", false}, {"missing", false}, {".", false}};
    for (const auto &c : cases)
        EXPECT_TRUE(endsWithin(5, [&] {
            FILE *f = openRegularFile(c.path, "r");
            bool found = f != nullptr;
            if (f)
                fclose(f);
            return found == c.found && (found || errno == ENOENT);
        })) << c.path;
    writeFile("plain", std::string("text"));
    FILE *f = openRegularFile("plain", "r");
    ASSERT_NE(f, nullptr);
    char got[8] = {};
    EXPECT_EQ(fread(got, 1, sizeof got, f), 4u);
    fclose(f);
}

// The file kept aside is the very file (or a copy of it), under a name
// the sweep knows.
TEST(ReplacingFile, KeptAsideUnderASweepableName)
{
    ScopedWorkDir dir;
    writeFile("page.htm", std::string("old page"));
    std::string aside;
    ASSERT_TRUE(keepAsideAt(AT_FDCWD, "page.htm", aside));
    long writer = 0;
    EXPECT_TRUE(isReplacementName(aside, writer) && writer == (long)getpid()) << aside;
    EXPECT_EQ(readText(aside), "old page");
    EXPECT_TRUE(replaceWith("page.htm", "new page"));
    EXPECT_EQ(readText(aside), "old page");
    std::string none;
    EXPECT_FALSE(keepAsideAt(AT_FDCWD, "missing", none));
}

// Another user swaps their own real temp/ for their link to a private
// folder, over and over: what the reader writes there (a replaced file, a
// scratch copy) or sweeps lands in the real folder or nowhere, never in
// the private one.
TEST(ReplacingFile, AFolderSwappedForSomeoneElsesLinkLeadsNoWriteThrough)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "a folder and link of another user need root";
    ScopedWorkDir dir;
    chmod(".", 0777);
    mkdir("private", 0700);
    ASSERT_TRUE(writeFile("private/visited.txt", std::string("mine")));
    writeFile("private/visited.txt.mirandol2-new-999999999-0", std::string("mine too"));
    mkdir("temp", 0777);
    symlink((dir.path() + "/private").c_str(), "swap");
    ASSERT_TRUE(lchown("temp", OTHER_USER, OTHER_USER) == 0 && lchown("swap", OTHER_USER, OTHER_USER) == 0);
    pid_t swapper = fork();
    if (swapper == 0) {
        alarm(20);
        if (setresgid(OTHER_USER, OTHER_USER, OTHER_USER) == 0 && setresuid(OTHER_USER, OTHER_USER, OTHER_USER) == 0)
            for (;;)
                renameat2(AT_FDCWD, "temp", AT_FDCWD, "swap", RENAME_EXCHANGE);
        _exit(1);
    }
    for (int i = 0; i < 400; i++) {
        replaceWith("temp/visited.txt", "reader's");
        writeScratchFile("temp/font.ttf", "font", 4);
        sweepReplacements("temp/");
    }
    kill(swapper, SIGKILL);
    waitpid(swapper, nullptr, 0);
    EXPECT_EQ(listDirectory("private"),
              (std::vector<std::string>{"visited.txt", "visited.txt.mirandol2-new-999999999-0"}));
    EXPECT_EQ(readText("private/visited.txt"), "mine");
}

// A file that root replaces keeps its owner and group (as editors do):
// its owner can replace it again afterwards.
TEST(ReplacingFile, TheReplacedFilesOwnerAndGroupAreKept)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    ScopedWorkDir dir;
    ASSERT_TRUE(writeFile("visited.txt", std::string("old")));
    ASSERT_EQ(chown("visited.txt", OTHER_USER, OTHER_USER + 1), 0);
    chmod("visited.txt", 0640);
    ASSERT_TRUE(replaceWith("visited.txt", "new"));
    struct stat st;
    ASSERT_EQ(lstat("visited.txt", &st), 0);
    EXPECT_EQ(st.st_uid, OTHER_USER);
    EXPECT_EQ(st.st_gid, OTHER_USER + 1);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readText("visited.txt"), "new");
}
