// Runs the built mkmag on folders an editor might give it.
#include <gtest/gtest.h>

#include "FullDisk.h"
#include "PictureWriters.h"
#include "TestDirs.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::pair<std::string, std::string>> Files;

std::string bytes(const std::vector<uint8_t> &data) { return std::string(data.begin(), data.end()); }

// A 4x4 picture: 24 bits, or with another depth written over the header's.
std::string picture(int bits = 24)
{
    std::string file = bytes(makeBMP(4, 4, std::vector<uint32_t>(16, 0x336699), 24));
    file[28] = (char)bits;
    return file;
}

// A magazine the reader opens: configuration, start article, the theme's picture.
const std::string kConfig = "<theme name=plain image=back.bmp><page x=8 y=8 height=60></theme>"
                            "<scheme name=plain><page width=60><background theme=plain></scheme>";
const Files kMagazine = {{"config.txt", kConfig}, {"main.txt", "<article scheme=plain>Hello"}, {"back.bmp", picture()}};

std::string text(const std::string &path)
{
    std::vector<uint8_t> data = readFile(path);
    return std::string(data.begin(), data.end());
}

// Runs a tool of the build in the current directory: its status and output.
int runTool(const std::string &tool, const std::string &args, std::string &out, std::string &err)
{
    int status = system(("'" M2_BINARY_DIR "/" + tool + "' " + args + " > out.txt 2> err.txt").c_str());
    out = text("out.txt");
    err = text("err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// How mkmag is hindered in runMkmag: a file-size limit of that many bytes
// (SIGXFSZ left to its default), a quit signal waiting from the start.
struct Hindrance {
    rlim_t fileLimit = RLIM_INFINITY;
    int pendingSignal = 0;
    long termAtKiB = 0;   // SIGTERM once mkmag holds that much memory (reading its input)
};

// The memory a process holds, in KiB (0 once it is gone).
long residentKiB(pid_t pid)
{
    std::string status = text("/proc/" + std::to_string(pid) + "/status");
    size_t at = status.find("VmRSS:");
    return at == std::string::npos ? 0 : atol(status.c_str() + at + 6);
}

// Runs the built mkmag with its standard error to errPath (standard output
// dropped) and ten seconds at most: the status as waitpid gives it, and the
// most memory it held in KiB.
int runMkmag(const std::vector<std::string> &args, const std::string &errPath, const Hindrance &h = Hindrance(),
             long *maxKiB = nullptr)
{
    const std::string tool = M2_BINARY_DIR "/mkmag";
    std::vector<char *> argv = {const_cast<char *>(tool.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), out = open("/dev/null", O_WRONLY);
        dup2(err, 2);
        dup2(out, 1);
        signal(SIGXFSZ, SIG_DFL);
        struct rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = h.fileLimit;
        setrlimit(RLIMIT_FSIZE, &limit);
        if (h.pendingSignal) {   // held back and waiting across the exec
            sigset_t held;
            sigemptyset(&held);
            sigaddset(&held, h.pendingSignal);
            sigprocmask(SIG_BLOCK, &held, nullptr);
            raise(h.pendingSignal);
        }
        alarm(10);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int status = -1;
    struct rusage usage {};
    for (bool sent = false; !sent && h.termAtKiB && wait4(pid, &status, WNOHANG, &usage) == 0; usleep(1000))
        if (residentKiB(pid) >= h.termAtKiB)
            sent = kill(pid, SIGTERM) == 0;
    wait4(pid, &status, 0, &usage);
    if (maxKiB)
        *maxKiB = usage.ru_maxrss;
    return status;
}

// The folder "in" (with an empty "sub") holding the files.
void makeFolder(Files files)
{
    mkdir("in", 0755);
    mkdir("in/sub", 0755);
    for (const auto &f : files)
        writeFile("in/" + f.first, f.second);
}

} // namespace

// Packing again in place packs the same two members: no archive goes in.
TEST(Mkmag, PackingTwiceInPlacePacksTheSameMembers)
{
    for (const char *output : {"in/magazine.dat", "in/issue.bin"}) {
        ScopedWorkDir dir;
        makeFolder({kMagazine[0], kMagazine[1], kMagazine[2], {"old.DAT", "an older issue"}});
        std::string listing[2], err;
        for (std::string &l : listing) {
            ASSERT_EQ(runTool("mkmag", std::string(output) + " in", l, err), 0) << output;
            runTool("magls", output, l, err);
        }
        EXPECT_EQ(listing[1], listing[0]) << output;
        EXPECT_EQ(std::count(listing[0].begin(), listing[0].end(), '\n'), 3) << listing[0];
    }
}

// An empty folder is refused; one the reader would not open is packed with
// a word of why, as is text in UTF-8, which it would read as Latin-1.
TEST(Mkmag, EmptyIncompleteAndUtf8FoldersAreReported)
{
    const std::string how = " is UTF-8, but the reader reads text as Latin-1 (ISO 8859-1); "
                            "convert it with: iconv -f UTF-8 -t LATIN1 in/";
    const struct { Files files; int status; std::vector<std::string> said; } cases[] = {
        {{}, 2, {"mkmag: in is empty: nothing to pack"}},
        {{{"old.dat", "x"}}, 2, {"mkmag: in holds only archives: nothing to pack"}},
        {{kMagazine[1], kMagazine[2]}, 0, {"mkmag: warning: no config.txt"}},
        {{{"config.txt", "<parameters main=Start.txt>" + kConfig}, kMagazine[1], kMagazine[2]}, 0,
         {"mkmag: warning: no start.txt,"}},
        {{kMagazine[0], kMagazine[1], kMagazine[2], {"latin1.txt", "caf\xe9"}, {"a.htm", "caf\xc3\xa9"},
          {"overlong.txt", "caf\xc0\xa9"}},
         0, {}},
        {{kMagazine[0], {"main.txt", "<article scheme=plain>caf\xc3\xa9"}, kMagazine[2], {"sub/b.TXT", "\xe2\x80\x94"}}, 0,
         {"mkmag: warning: main.txt" + how + "main.txt > in/main.txt.latin1 && mv in/main.txt.latin1 in/main.txt\n",
          "mkmag: warning: sub/b.TXT" + how + "sub/b.TXT > "}},
    };
    for (const auto &c : cases) {   // the messages expected in order, or none
        ScopedWorkDir dir;
        makeFolder(c.files);
        std::string out, err;
        EXPECT_EQ(runTool("mkmag", "out.dat in", out, err), c.status) << err;
        size_t at = 0;
        for (const std::string &s : c.said)
            EXPECT_NE(at = err.find(s, at), std::string::npos) << s << " in " << err;
        EXPECT_TRUE(!c.said.empty() || err.empty()) << err;
        for (const auto &f : c.files)   // stored as it was
            EXPECT_TRUE(c.status != 0 || text("out.dat").find(f.second) != std::string::npos) << f.first;
    }
}

// The reader's own folders at the top of the magazine's are left out, also
// when it has run there and saved an article; folders of those names deeper
// down belong to the magazine.
TEST(Mkmag, TheReadersTempAndSaveFoldersAreLeftOut)
{
    ScopedWorkDir dir;
    makeFolder(kMagazine);
    for (const char *folder : {"in/temp", "in/temp/fallback", "in/save", "in/sub/save"})
        mkdir(folder, 0755);
    Files written = {{"temp/fallback/default.ttf", "font"}, {"temp/visited.txt", "main.txt\r\n"},
                     {"save/main.htm", "<html>"}, {"save/back.bmp", picture()}, {"sub/save/kept.txt", "kept"}};
    for (const auto &f : written)
        writeFile("in/" + f.first, f.second);
    std::string out, err;
    ASSERT_EQ(runTool("mkmag", "in/issue.dat in", out, err), 0) << err;
    EXPECT_EQ(err, "") << err;
    runTool("magls", "in/issue.dat", out, err);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4) << out;
    EXPECT_NE(out.find(" sub/save/kept.txt"), std::string::npos) << out;
    EXPECT_EQ(out.find("temp"), std::string::npos) << out;
    EXPECT_EQ(out.find(" save/"), std::string::npos) << out;
}

// Each thing the reader would refuse or ignore is named with its fix; a
// magazine with pictures, a fitting mask and sounds gets no word.
TEST(Mkmag, WarnsOfWhatTheReaderRefuses)
{
    const std::string said = "mkmag: warning: ";
    std::string mask8 = bytes(makeBMP(2, 2, std::vector<uint32_t>(4, 0xFFFFFF), 8));
    std::string mask = bytes(makeMaskBMP(4, 4, std::vector<bool>(16, true)));
    const struct { const char *what; Files files; std::string warning; } cases[] = {
        {"32-bit BMP", {{"pic.bmp", picture(32)}},
         said + "pic.bmp: the reader cannot show this BMP: 32 bits per pixel (it reads 1, 4, 8 or 24); "
                "save it with: convert in/pic.bmp -type TrueColor BMP3:in/pic.bmp\n"},
        {"8-bit mask of another size", {{"pic.bmp", picture()}, {"pic.msk", mask8}},
         said + "pic.msk: the reader ignores this mask, so pic.bmp shows without transparency: 8 bits per "
                "pixel, not 1; it is 2x2, the picture 4x4; save it with: convert in/pic.msk -resize '4x4!' "
                "-monochrome BMP3:in/pic.msk\n"},
        {"unknown scheme", {{"main.txt", "<article scheme=plian>"}},
         said + "main.txt, the start article, names scheme \"plian\", which config.txt does not declare: "
                "the reader says \"No main article\"\n"},
        {"no article tag", {{"main.txt", "<artcle scheme=plain>"}},
         said + "main.txt, the start article, has no <article> tag: the reader says \"No main article\"\n"},
        {"missing theme picture", {{"config.txt", kConfig + "<theme name=more><button normal=Btn.bmp></theme>"}},
         said + "theme \"more\": <button normal=btn.bmp>: no such file in in/\n"},
        {"BMP over the reader's limit", {{"pic.bmp", bytes(makeBMP(16001, 8, std::vector<uint32_t>(16001 * 8, 0), 24))}},
         said + "pic.bmp is too large for the reader: 16001x8 pixels, over the limit of 33554432 pixels and 16000 a "
                "side; save it smaller with: convert in/pic.bmp -resize '16000x8!' -type TrueColor BMP3:in/pic.bmp\n"},
        {"JPEG over the reader's limit", {{"wide.jpg", bytes(makeJPEGOf(16400, 8, [](int, int) { return 0x336699u; }))}},
         said + "wide.jpg: the reader shows this JPEG only where it is drawn at most 8200x4 (by an img tag's width and "
                "height, or in a slide show): it is 16400x8 pixels, over the limit of 33554432 pixels and 16000 a side; "
                "to show it at any size, save it smaller with: convert in/wide.jpg -resize '16000x8!' in/wide.jpg\n"},
        {"progressive JPEG past the memory limit",
         {{"big.jpg", bytes(claimJPEGSize(makeJPEGOf(64, 64, [](int, int) { return 0x336699u; }, 90, true), 20000, 12500))}},
         said + "big.jpg is too large for the reader to decode within its memory limit: as a progressive JPEG of "
                "20000x12500 pixels it needs 716 MiB at any scale, over 512 MiB; save it as a baseline JPEG with: "
                "convert in/big.jpg -interlace none in/big.jpg\n"},
        {"missing theme background", {{"config.txt", kConfig + "<theme name=more image=gone.jpg></theme>"}},
         said + "theme \"more\": <theme image=gone.jpg>: no such file in in/\n"},
        {"sounds and a fitting mask", {{"back.msk", mask}, {"sounds/click.wav", "RIFF"}, {"music/song.MOD", "M.K."},
                                       {"a.ogg", "OggS"}},
         ""},
    };
    for (const auto &c : cases) {
        ScopedWorkDir dir;
        makeFolder(kMagazine);
        mkdir("in/sounds", 0755);
        mkdir("in/music", 0755);
        for (const auto &f : c.files)
            writeFile("in/" + f.first, f.second);
        std::string out, err;
        EXPECT_EQ(runTool("mkmag", "out.dat in", out, err), 0) << c.what;
        EXPECT_EQ(err, c.warning) << c.what;
    }
}

// Packing again in place that fails (a file-size limit, a full disk) or is
// stopped by a quit signal leaves the old archive byte for byte and nothing
// beside it, and says so.
TEST(Mkmag, AFailedPackingKeepsTheOldArchive)
{
    const struct { const char *what; DiskKind disk; bool limited; int signal; } cases[] = {
        {"file-size limit", DISK_ROOMY, true, 0},
        {"full tmpfs", DISK_TMPFS, false, 0},
        {"SIGTERM while writing", DISK_ROOMY, false, SIGTERM},
    };
    for (const auto &c : cases) {
        ScopedWorkDir dir;
        const std::string errPath = dir.path() + "/err.txt";
        ScopedDisk disk(c.disk);
        if (!disk.available()) {
            printf("[  SKIPPED ] %s: no tmpfs can be mounted here\n", c.what);
            continue;
        }
        makeFolder(kMagazine);
        ASSERT_EQ(runMkmag({"in/issue.dat", "in"}, errPath), 0) << c.what << ": " << text(errPath);
        std::vector<uint8_t> old = readFile("in/issue.dat");
        writeFile("in/sound.wav", std::string(8192, 'x'));
        std::vector<std::string> before = listDirectory("in");
        Hindrance h;
        if (c.limited)
            h.fileLimit = old.size();
        h.pendingSignal = c.signal;
        disk.fill();
        int status = runMkmag({"in/issue.dat", "in"}, errPath, h);
        disk.empty();
        EXPECT_TRUE(c.signal ? WIFSIGNALED(status) && WTERMSIG(status) == c.signal
                             : WIFEXITED(status) && WEXITSTATUS(status) == 1)
            << c.what << ": status " << status;
        EXPECT_EQ(readFile("in/issue.dat"), old) << c.what;
        EXPECT_EQ(listDirectory("in"), before) << c.what;
        std::string err = text(errPath);
        EXPECT_NE(err.find(c.signal ? "mkmag: stopped by signal " : "mkmag: cannot write in/issue.dat: "),
                  std::string::npos) << c.what << ": " << err;
        EXPECT_NE(err.find("in/issue.dat is left as it was\n"), std::string::npos) << c.what << ": " << err;
    }
}

// A quit signal while the input is still being read is said as one while
// writing is, and nothing is written.
TEST(Mkmag, AQuitSignalWhileReadingIsSaid)
{
    ScopedWorkDir dir;
    makeFolder(kMagazine);
    int fd = open("in/sound.wav", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(ftruncate(fd, 400 << 20), 0);
    close(fd);
    Hindrance h;
    h.termAtKiB = 64 * 1024;
    int status = runMkmag({"out.dat", "in"}, "err.txt", h);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(text("err.txt"), "mkmag: stopped by signal Terminated: out.dat was not written\n");
    EXPECT_FALSE(fileExists("out.dat"));
}

// A link to a folder already on the way down is skipped with a word, each
// one; links to files and to folders elsewhere are followed.
TEST(Mkmag, LinksBackUpAreSkippedWithAWord)
{
    typedef std::vector<std::pair<std::string, std::string>> Links;   // name in "in", what it names
    const struct { const char *what; Links links; std::vector<std::string> skipped, extra; } cases[] = {
        {"two links to the folder itself", {{"l1", "."}, {"l2", "."}}, {"in/l1", "in/l2"}, {}},
        {"a link to the folder above, deeper down", {{"sub/up", ".."}, {"sub/top", "../../in"}},
         {"in/sub/top", "in/sub/up"}, {}},
        {"links to a file and a folder elsewhere", {{"far", "../elsewhere"}, {"sub/file.txt", "../../elsewhere/x.txt"}},
         {}, {"far/x.txt", "sub/file.txt"}},
        {"a link from elsewhere back in", {{"far", "../elsewhere"}, {"../elsewhere/back", "../in"}},
         {"in/far/back"}, {"far/x.txt"}},
    };
    for (const auto &c : cases) {
        ScopedWorkDir dir;
        makeFolder(kMagazine);
        mkdir("elsewhere", 0755);
        writeFile("elsewhere/x.txt", "far away");
        for (const auto &l : c.links)
            ASSERT_EQ(symlink(l.second.c_str(), ("in/" + l.first).c_str()), 0) << l.first;
        ASSERT_EQ(runMkmag({"out.dat", "in"}, "err.txt"), 0) << c.what << ": " << text("err.txt");
        std::string said;
        for (const std::string &s : c.skipped)
            said += "mkmag: skipping " + s + ": a link back to a folder being packed\n";
        EXPECT_EQ(text("err.txt"), said) << c.what;
        std::string listing, err;
        runTool("magls", "out.dat", listing, err);
        for (const std::string &n : c.extra)
            EXPECT_NE(listing.find(" " + n + "\n"), std::string::npos) << c.what << ": " << n << " in " << listing;
        EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 3 + (long)c.extra.size()) << c.what << listing;
    }
}

// A file past the size an archive member may have is refused from its size,
// before a byte of it is read (a sparse 5 GiB file, read in no time).
TEST(Mkmag, WhatIsNoFileUnderDirIsSkippedWithAWord)
{
    ScopedWorkDir dir;
    makeFolder(kMagazine);
    ASSERT_EQ(mkfifo("in/pipe.txt", 0644), 0);
    ASSERT_EQ(symlink("gone.txt", "in/dangling.txt"), 0);
    ASSERT_EQ(runMkmag({"out.dat", "in"}, "err.txt"), 0) << text("err.txt");
    EXPECT_EQ(text("err.txt"), "mkmag: skipping in/dangling.txt: No such file or directory\n"
                               "mkmag: skipping in/pipe.txt: not a regular file\n");
}

TEST(Mkmag, AFileOverTheLimitIsRefusedFromItsSize)
{
    ScopedWorkDir dir;
    makeFolder(kMagazine);
    int fd = open("in/huge.wav", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(ftruncate(fd, 5LL << 30), 0);
    close(fd);
    long maxKiB = 0;
    int status = runMkmag({"out.dat", "in"}, "err.txt", Hindrance(), &maxKiB);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(text("err.txt"), "mkmag: name or file too long: in/huge.wav\n");
    EXPECT_LT(maxKiB, 256 * 1024);
    EXPECT_FALSE(fileExists("out.dat"));
}

// Files that together pass what an archive may hold are refused from their
// sizes, before any is read.
TEST(Mkmag, FilesTooLargeTogetherAreRefusedBeforeAnyIsRead)
{
    ScopedWorkDir dir;
    makeFolder(kMagazine);
    for (const char *name : {"in/a.ogg", "in/b.ogg", "in/c.ogg"}) {
        int fd = open(name, O_WRONLY | O_CREAT, 0644);
        ASSERT_EQ(ftruncate(fd, 700 << 20), 0);
        close(fd);
    }
    long maxKiB = 0;
    int status = runMkmag({"out.dat", "in"}, "err.txt", Hindrance(), &maxKiB);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(text("err.txt"), "mkmag: the archive would exceed 2 GiB\n");
    EXPECT_LT(maxKiB, 256 * 1024);
    EXPECT_FALSE(fileExists("out.dat"));
}

// A link named as the archive stays one, the file it ends at is replaced
// and keeps its permissions; what a killed run left beside an archive is
// never packed.
TEST(Mkmag, ReplacesTheFileALinkEndsAtAndLeavesOutLeftovers)
{
    ScopedWorkDir dir;
    makeFolder(kMagazine);
    mkdir("issues", 0755);
    writeFile("issues/real.dat", "an older archive");
    chmod("issues/real.dat", 0604);
    ASSERT_EQ(symlink("issues/real.dat", "link.dat"), 0);
    writeFile("in/issue.dat.mkmag-new-999999-0", "half an archive");
    writeFile("in/sub/inner.dat", "an archive in a folder");
    ASSERT_EQ(runMkmag({"link.dat", "in"}, "err.txt"), 0) << text("err.txt");
    EXPECT_EQ(text("err.txt"), "mkmag: leaving out issue.dat.mkmag-new-999999-0: an archive is never packed "
                               "into another\n"
                               "mkmag: leaving out sub/inner.dat: an archive is never packed into another\n");
    struct stat st;
    ASSERT_EQ(lstat("link.dat", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat("issues/real.dat", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(text("issues/real.dat").substr(0, 4), "Rar!");
    EXPECT_EQ(listDirectory("issues"), std::vector<std::string>{"real.dat"});
}

// Through a link of another user nothing is written, whatever it ends at (a
// pipe, a terminal); through the user's own the pipe is written into. A
// replaced archive keeps its owner and group.
TEST(Mkmag, AnotherUsersLinkIsNeverWrittenThroughAndOwnersAreKept)
{
    if (geteuid() != 0) {
        printf("[  SKIPPED ] only root gives a link to another user\n");
        return;
    }
    const uid_t other = 12345;
    const struct { const char *what; bool terminal; uid_t owner; int status; } cases[] = {
        {"their link to a pipe", false, other, 1},
        {"their link to a terminal", true, other, 1},
        {"my link to a pipe", false, 0, 0},
    };
    for (const auto &c : cases) {
        ScopedWorkDir dir;
        makeFolder(kMagazine);
        // Read without waiting, after mkmag ended: what reached the pipe or terminal.
        int reader = -1;
        std::string end = "pipe";
        if (c.terminal) {
            reader = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
            ASSERT_TRUE(reader >= 0 && grantpt(reader) == 0 && unlockpt(reader) == 0) << c.what;
            end = ptsname(reader);
            struct termios raw;
            int slave = open(end.c_str(), O_RDWR | O_NOCTTY);
            tcgetattr(slave, &raw);
            cfmakeraw(&raw);
            tcsetattr(slave, TCSANOW, &raw);
            close(slave);
        } else {
            ASSERT_EQ(mkfifo("pipe", 0666), 0);
            reader = open("pipe", O_RDONLY | O_NONBLOCK);
        }
        ASSERT_EQ(symlink(end.c_str(), "link.dat"), 0);
        ASSERT_EQ(lchown("link.dat", c.owner, c.owner), 0);
        int status = runMkmag({"link.dat", "in"}, "err.txt");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << c.what << ": " << status;
        EXPECT_EQ(text("err.txt"), c.status ? "mkmag: cannot write link.dat: Permission denied\n" : "") << c.what;
        char got[8] = {0};
        ssize_t n = read(reader, got, 4);
        EXPECT_EQ(n > 0 ? std::string(got, (size_t)n) : std::string(), c.status ? "" : "Rar!") << c.what;
        close(reader);
    }
    ScopedWorkDir dir;
    makeFolder(kMagazine);
    // Their link to a file being packed is no output of this run: that
    // file is not left out for it, nor said to be.
    ASSERT_EQ(symlink("in/main.txt", "link.dat"), 0);
    ASSERT_EQ(lchown("link.dat", other, other), 0);
    EXPECT_EQ(WEXITSTATUS(runMkmag({"link.dat", "in"}, "err.txt")), 1);
    EXPECT_EQ(text("err.txt"), "mkmag: cannot write link.dat: Permission denied\n");
    writeFile("theirs.dat", "an older archive");
    ASSERT_EQ(chown("theirs.dat", other, other + 1), 0);
    ASSERT_EQ(runMkmag({"theirs.dat", "in"}, "err.txt"), 0) << text("err.txt");
    struct stat st;
    ASSERT_EQ(stat("theirs.dat", &st), 0);
    EXPECT_EQ(std::make_pair(st.st_uid, st.st_gid), std::make_pair(other, other + 1));
    EXPECT_EQ(text("theirs.dat").substr(0, 4), "Rar!");
}
