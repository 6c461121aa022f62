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

const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/";
const char *kSample = "Hamburgefonts";

std::unique_ptr<SDLSystem> start(TestPlatform &platform)
{
    static char name[] = "mirandol2";
    char *argv[] = {name, nullptr};
    return std::unique_ptr<SDLSystem>(new SDLSystem(&platform, 1, argv));
}

// What the core does with a font of the magazine.
void copyFont(SDLSystem &system, const char *name, const std::vector<uint8_t> &bytes)
{
    if (system.create_file(name, FILE_IN_TEMP | FILE_TRUNCATE | FILE_SCRATCH)) {
        system.write_file(bytes.data(), (int)bytes.size());
        system.close_file();
    }
    system.install_font(name, FILE_IN_TEMP);
}

// The back buffer's pixels after the sample text was drawn in the font.
std::string drawn(SDLSystem &system, SDLFont *font)
{
    SDL_Surface *s = system.backBuffer;
    SDL_FillRect(s, nullptr, 0);
    fontOutText(font, kSample, (int)strlen(kSample), 0, 0, 0xFFFFFF, s);
    return std::string((const char *)s->pixels, (size_t)s->pitch * s->h);
}

SDLFont *mapped(SDLSystem &system, const char *face)
{
    int ascent, descent;
    return (SDLFont *)system.create_font(face, 20, 0, 0, &ascent, &descent);
}

std::string config(const std::string &dir)
{
    std::string path = dir + "/mirandol2.conf";
    writeFile(path, std::string("showConfig=false\nmusic=false\nsoundEffects=false\nfontPaths=./\n"));
    return path;
}

} // namespace

TEST(TempFonts, MagazineFontsAndTheFallbackAreReadFromMemoryWhenTempCannotTakeThem)
{
    const std::vector<uint8_t> serif = readFile(kDejaVu + "DejaVuSerif.ttf"), sans = readFile(kDejaVu + "DejaVuSans.ttf");
    ASSERT_FALSE(serif.empty() || sans.empty());
    struct Case { const char *name; DiskKind kind; size_t room; bool oldCopy; };
    const Case cases[] = {{"roomy", DISK_ROOMY, 0, false},
                          {"file size limit", DISK_FILE_LIMIT, 100, false},
                          // A copy of another font from an earlier start is not taken for the magazine's.
                          {"file size limit, older copy", DISK_FILE_LIMIT, 100, true},
                          {"full tmpfs", DISK_TMPFS, 0, false}};
    std::string expectSerif, expectFallback;
    for (const Case &c : cases) {
        ScopedWorkDir work;
        std::string configPath = config(work.path());
        ScopedDisk disk(c.kind, c.room);
        if (!disk.available()) {
            std::cout << "[ SKIPPED  ] " << c.name << ": cannot be had here\n";
            continue;
        }
        writeFile("magazine.dat", std::string());
        if (c.oldCopy) {
            ASSERT_TRUE(mkdir("temp", 0755) == 0 && writeFile("temp/serif.ttf", sans));
        }
        disk.fill();
        TestPlatform platform(configPath);
        std::unique_ptr<SDLSystem> system = start(platform);
        copyFont(*system, "serif.ttf", serif);
        ASSERT_TRUE(system->init_display(256, 32)) << c.name;
        std::string withSerif = drawn(*system, mapped(*system, "dejavu serif"));
        std::string withFallback = drawn(*system, mapped(*system, "no such face"));
        if (c.kind == DISK_ROOMY) {
            // The reference: the magazine's font, and the fallback, which is another.
            SDLFont *direct = SDLFont::openFont((kDejaVu + "DejaVuSerif.ttf").c_str(), 20);
            EXPECT_EQ(withSerif, drawn(*system, direct));
            delete direct;
            EXPECT_NE(withFallback, withSerif);
            EXPECT_NE(withFallback, drawn(*system, nullptr));
            expectSerif = withSerif;
            expectFallback = withFallback;
        }
        EXPECT_TRUE(withSerif == expectSerif) << c.name;
        EXPECT_TRUE(withFallback == expectFallback) << c.name;
        disk.empty();
        // Nothing cut short, nothing written beside.
        std::vector<std::string> temp = {"fallback"}, fallback;
        if (c.kind == DISK_ROOMY || c.oldCopy)
            temp.push_back("serif.ttf");
        if (c.kind == DISK_ROOMY)
            fallback.push_back("default.ttf");
        EXPECT_EQ(listDirectory("temp"), temp) << c.name;
        EXPECT_EQ(listDirectory("temp/fallback"), fallback) << c.name;
        if (c.oldCopy) {
            EXPECT_TRUE(readFile("temp/serif.ttf") == sans);
        }
    }
}

TEST(TempFonts, ASecondStartRewritesNeitherUnchangedFontsNorAnUnchangedCache)
{
    const std::vector<uint8_t> serif = readFile(kDejaVu + "DejaVuSerif.ttf"), sans = readFile(kDejaVu + "DejaVuSans.ttf");
    ScopedWorkDir work;
    TestPlatform platform(config(work.path()));
    writeFile("magazine.dat", std::string());
    const std::string files[] = {"temp/serif.ttf", "temp/fallback/default.ttf", platform.fontCachePath()};
    // A file written again is a new file: another inode.
    auto stamps = [&] {
        std::vector<std::pair<ino_t, long>> out;
        for (const std::string &f : files) {
            struct stat st {};
            stat(f.c_str(), &st);
            out.emplace_back(st.st_ino, (long)st.st_mtim.tv_nsec);
        }
        return out;
    };
    auto run = [&](const std::vector<uint8_t> &font) { copyFont(*start(platform), "serif.ttf", font); };
    run(serif);
    auto first = stamps();
    for (const auto &s : first)
        ASSERT_NE(s.first, 0u);
    run(serif);
    EXPECT_EQ(stamps(), first);
    // A font of other bytes is written, and only that one.
    run(sans);
    auto third = stamps();
    EXPECT_NE(third[0], first[0]);
    EXPECT_EQ(std::vector<decltype(third)::value_type>(third.begin() + 1, third.end()),
              std::vector<decltype(first)::value_type>(first.begin() + 1, first.end()));
    EXPECT_TRUE(readFile("temp/serif.ttf") == sans);
    // A font folder that changed changes the cache.
    writeFile("more.txt", std::string("x"));
    run(sans);
    EXPECT_NE(stamps()[2], third[2]);
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
    };
    for (const Case &c : cases) {
        ScopedWorkDir work;
        if (c.old)
            writeFile("f", std::string(c.old));
        struct stat before {};
        stat("f", &before);
        std::string all;
        ScratchCopy copy;
        ASSERT_TRUE(copy.open("f"));
        for (const std::string &piece : c.pieces) {
            EXPECT_TRUE(copy.write(piece.data(), piece.size())) << c.name;
            all += piece;
        }
        EXPECT_EQ(copy.end(c.keep), c.keep) << c.name;
        struct stat after {};
        stat("f", &after);
        EXPECT_EQ(after.st_ino != before.st_ino, c.written) << c.name;
        EXPECT_EQ(readText("f"), c.keep ? all : std::string(c.old)) << c.name;
        EXPECT_EQ(listDirectory("."), std::vector<std::string>{"f"}) << c.name;
    }
}
