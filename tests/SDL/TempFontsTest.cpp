// The magazine's fonts and the fallback font in "temp/": read from memory
// when the folder cannot take them, never left cut short, and not written
// again when a start finds them unchanged.
#include <gtest/gtest.h>

#include "FullDisk.h"
#include "SDLFont.h"
#include "SDLTestSupport.h"
#include "ScratchFile.h"

#include <SDL.h>
#include <sys/stat.h>

#include <iostream>

namespace {

const std::vector<uint8_t> kSerif = readFile("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"),
                           kSans = readFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");

// A magazine's folder (its archive empty) with the reader's settings.
void magazineFolder()
{
    writeFile("magazine.dat", std::string());
    writeFile("mirandol2.conf", std::string("showConfig=false\nmusic=false\nsoundEffects=false\nfontPaths=./\n"));
}

// A start there, the font of the magazine copied and installed as the core does.
std::unique_ptr<SDLSystem> start(const std::vector<uint8_t> &serif)
{
    static char name[] = "mirandol2";
    char *argv[] = {name, nullptr};
    static TestPlatform platform("mirandol2.conf");
    std::unique_ptr<SDLSystem> system(new SDLSystem(&platform, 1, argv));
    if (system->create_file("serif.ttf", FILE_IN_TEMP | FILE_TRUNCATE | FILE_SCRATCH)) {
        system->write_file(serif.data(), (int)serif.size());
        system->close_file();
    }
    system->install_font("serif.ttf", FILE_IN_TEMP);
    return system;
}

// The back buffer's pixels after a text was drawn in the face.
std::string drawn(SDLSystem &system, const char *face)
{
    int ascent, descent;
    SDL_FillRect(system.backBuffer, nullptr, 0);
    system.out_text("Hamburgefonts", 13, 0, 0, 0xFFFFFF, system.create_font(face, 20, 0, 0, &ascent, &descent));
    return std::string((const char *)system.backBuffer->pixels, (size_t)system.backBuffer->pitch * system.backBuffer->h);
}

} // namespace

TEST(TempFonts, MagazineFontsAndTheFallbackAreReadFromMemoryWhenTempCannotTakeThem)
{
    struct Case { const char *name; DiskKind kind; size_t room; bool oldCopy; };
    const Case cases[] = {{"roomy", DISK_ROOMY, 0, false},
                          {"file size limit", DISK_FILE_LIMIT, 100, false},
                          // A copy of another font from an earlier start is not taken for the magazine's.
                          {"file size limit, older copy", DISK_FILE_LIMIT, 100, true},
                          {"full tmpfs", DISK_TMPFS, 0, false}};
    std::string serif, fallback;   // as drawn on the roomy disk
    for (const Case &c : cases) {
        ScopedWorkDir work;
        ScopedDisk disk(c.kind, c.room);
        if (!disk.available()) {
            std::cout << "[ SKIPPED  ] " << c.name << ": cannot be had here\n";
            continue;
        }
        magazineFolder();
        ASSERT_TRUE(!c.oldCopy || (mkdir("temp", 0755) == 0 && writeFile("temp/serif.ttf", kSans)));
        disk.fill();
        std::unique_ptr<SDLSystem> system = start(kSerif);
        ASSERT_TRUE(system->init_display(256, 32)) << c.name;
        if (c.kind == DISK_ROOMY) {
            serif = drawn(*system, "dejavu serif");
            fallback = drawn(*system, "no such face");
            EXPECT_NE(serif, fallback);
            EXPECT_NE(fallback, std::string(fallback.size(), '\0'));   // the fallback draws
        }
        EXPECT_TRUE(drawn(*system, "dejavu serif") == serif) << c.name;
        EXPECT_TRUE(drawn(*system, "no such face") == fallback) << c.name;
        disk.empty();
        // Nothing cut short, nothing left beside.
        bool roomy = c.kind == DISK_ROOMY;
        std::vector<std::string> temp = {"fallback"};
        if (roomy || c.oldCopy)
            temp.push_back("serif.ttf");
        EXPECT_EQ(listDirectory("temp"), temp) << c.name;
        EXPECT_EQ(listDirectory("temp/fallback").size(), roomy ? 1u : 0u) << c.name;
        EXPECT_TRUE(readFile("temp/serif.ttf") == (roomy ? kSerif : c.oldCopy ? kSans : std::vector<uint8_t>())) << c.name;
    }
}

TEST(TempFonts, ASecondStartRewritesNeitherUnchangedFontsNorAnUnchangedCache)
{
    ScopedWorkDir work;
    magazineFolder();
    // A file written again is a new file: another inode.
    auto inodes = [] {
        std::vector<ino_t> out;
        for (std::string f : {"temp/serif.ttf", "temp/fallback/default.ttf", ""}) {
            struct stat st {};
            stat(f.empty() ? TestPlatform("").fontCachePath() : f.c_str(), &st);
            out.push_back(st.st_ino);
        }
        return out;
    };
    start(kSerif);
    const std::vector<ino_t> first = inodes();
    start(kSerif);
    EXPECT_EQ(inodes(), first);
    // A font of other bytes is written, and only that one.
    start(kSans);
    std::vector<ino_t> third = inodes();
    EXPECT_EQ(std::make_pair(third[0] != first[0], third[1] == first[1] && third[2] == first[2]), std::make_pair(true, true));
    EXPECT_TRUE(readFile("temp/serif.ttf") == kSans);
    // A font folder that changed changes the cache.
    writeFile("more.txt", std::string("x"));
    start(kSans);
    EXPECT_NE(inodes()[2], third[2]);
}

TEST(TempFonts, AScratchCopyIsWrittenOnlyWhenItsBytesDiffer)
{
    struct Case { const char *name; const char *old; std::vector<std::string> pieces; bool keep; bool written; };
    const Case cases[] = {
        {"same bytes, one piece", "abcdef", {"abcdef"}, true, false},
        {"same bytes, in pieces", "abcdef", {"ab", "", "cdef"}, true, false},
        {"differs in a later piece", "abcdef", {"abc", "dXf"}, true, true},
        {"shorter", "abcdef", {"abc"}, true, true},
        {"longer", "abc", {"abc", "def"}, true, true},
        {"nothing written over a file", "abc", {}, true, true},
        {"no file before", nullptr, {"abc"}, true, true},
        {"not kept", "abc", {"xyz"}, false, false},
        {"empty, nothing written", "", {""}, true, false},
        {"empty, bytes written", "", {"", "a"}, true, true},
    };
    for (const Case &c : cases) {
        ScopedWorkDir work;
        struct stat before {}, after {};
        if (c.old)
            writeFile("f", std::string(c.old));
        stat("f", &before);
        std::string all;
        ScratchCopy copy;
        ASSERT_TRUE(copy.open("f"));
        for (const std::string &piece : c.pieces) {
            EXPECT_TRUE(copy.write(piece.data(), piece.size())) << c.name;
            all += piece;
        }
        EXPECT_EQ(copy.end(c.keep), c.keep) << c.name;
        stat("f", &after);
        EXPECT_EQ(after.st_ino != before.st_ino, c.written) << c.name;
        EXPECT_EQ(readText("f"), c.keep ? all : std::string(c.old)) << c.name;
        EXPECT_EQ(listDirectory("."), std::vector<std::string>{"f"}) << c.name;
    }
}

// A FIFO, a link to a device or a frozen file where a font copy goes is
// left as it is, like every other file the reader may not replace: the
// copy fails and the font is kept in memory instead.
TEST(TempFonts, ACopyLeavesWhatMayNotBeReplacedAsItIs)
{
    ScopedWorkDir dir;
    ASSERT_TRUE(writeFile("frozen.ttf", std::string("old")) && chmod("frozen.ttf", 0444) == 0);
    mkfifo("fifo.ttf", 0644);
    symlink("/dev/null", "device.ttf");
    const struct { const char *name; mode_t kind; } cases[] = {
        {"fifo.ttf", S_IFIFO}, {"device.ttf", S_IFLNK}, {"frozen.ttf", S_IFREG}};
    for (const auto &c : cases) {
        EXPECT_FALSE(writeScratchFile(c.name, "font", 4)) << c.name;
        struct stat st;
        EXPECT_TRUE(lstat(c.name, &st) == 0 && (st.st_mode & S_IFMT) == c.kind) << c.name;
    }
    EXPECT_EQ(readText("frozen.ttf"), "old");
    EXPECT_EQ(listDirectory(".").size(), 3u);   // nothing beside
}

TEST(TempFonts, TheFallbackDrawsWhateverTempHoldsLater)
{
    ScopedWorkDir work;
    magazineFolder();
    std::string before;
    {
        std::unique_ptr<SDLSystem> system = start(kSerif);
        ASSERT_TRUE(system->init_display(256, 32));
        before = drawn(*system, "no such face");
    }
    EXPECT_NE(before, std::string(before.size(), '\0'));
    // The copy on disk turned into something else after the start (a
    // folder swapped, a file cut short): the reader's fallback stays.
    std::unique_ptr<SDLSystem> system = start(kSerif);
    ASSERT_TRUE(system->init_display(256, 32));
    ASSERT_TRUE(writeFile("temp/fallback/default.ttf", std::string("not a font")));
    EXPECT_TRUE(drawn(*system, "no such face") == before);
}
