// Font map: fallback font, override file, font cache sections, rescans.
#include "FontMapping.h"

#include "SDLTestSupport.h"
#include "TestDirs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/";

// Copies DejaVu fonts: {font file, destination}.
void copyFonts(const std::vector<std::pair<std::string, std::string>> &fonts)
{
    for (const auto &f : fonts) {
        std::vector<uint8_t> data = readFile(kDejaVu + f.first);
        ASSERT_TRUE(!data.empty() && writeFile(f.second, data)) << f.first;
    }
}

struct FontDirs {
    ScopedWorkDir work;
    FontLocations where;
    FontDirs()
    {
        for (const char *dir : {"temp", "config", "a", "b"})
            mkdir(dir, 0755);
        where.homeDir = "./";
        where.separator = "/";
        where.overridePath = work.path() + "/config/mirandol2_font_override";
        where.cachePath = work.path() + "/config/mirandol2_font_cache";
    }
};

std::vector<std::string> lines(const std::string &path)
{
    std::vector<std::string> out;
    readTextLines(path, out);
    return out;
}

} // namespace

TEST(FontMapping, CacheFileHasOneSectionPerDirectoryAndEarlierDirectoriesWin)
{
    FontDirs d;
    copyFonts({{"DejaVuSans.ttf", "a/DejaVuSans.ttf"}, {"DejaVuSans-Bold.ttf", "a/DejaVuSans-Bold.ttf"},
               {"DejaVuSans-BoldOblique.ttf", "a/DejaVuSans-BoldOblique.ttf"},
               {"DejaVuSerif.ttf", "b/DejaVuSerif.ttf"}, {"DejaVuSans.ttf", "b/Other.ttf"}});
    writeFile("a/readme.txt", std::string("not a font"));
    {
        FontMapping mapping(d.where);
        mapping.build("a/");
        mapping.build("b/");
        mapping.build("missing/");
        ASSERT_TRUE(mapping.writeCache());
        mapping.buildMap();
        EXPECT_STREQ(mapping.lookup("dejavu serif:0"), "b/DejaVuSerif.ttf");
        // The regular ("Book") face wins although the bold oblique one is
        // listed before it; the earlier directory wins over "b/".
        EXPECT_STREQ(mapping.lookup("dejavu sans:0"), "a/DejaVuSans.ttf");
    }
    EXPECT_EQ(listDirectory("config"), std::vector<std::string>{"mirandol2_font_cache"});   // nothing beside it
    auto checksum = [](std::vector<std::string> names) {
        return std::to_string((int32_t)FontMapping::dirChecksum(names));
    };
    std::vector<std::string> want = {
        "a/", checksum({"a/DejaVuSans-Bold.ttf", "a/DejaVuSans-BoldOblique.ttf", "a/DejaVuSans.ttf", "a/readme.txt"}),
        "dejavu sans:1=a/DejaVuSans-Bold.ttf", "dejavu sans:3=a/DejaVuSans-BoldOblique.ttf",
        "dejavu sans:0=a/DejaVuSans.ttf",
        "b/", checksum({"b/DejaVuSerif.ttf", "b/Other.ttf"}),
        "dejavu serif:0=b/DejaVuSerif.ttf", "dejavu sans:0=b/Other.ttf",
        "missing/", "0"};
    EXPECT_EQ(lines(d.where.cachePath), want);
    EXPECT_EQ(readFile(d.where.cachePath).back(), '\n');

    // A cache that cannot be written is reported on standard error; the map
    // is complete all the same.
    d.where.cachePath = d.work.path() + "/no/such/dir/cache";
    FontMapping unwritable(d.where);
    unwritable.build("a/");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(unwritable.writeCache());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not save the font cache\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    unwritable.buildMap();
    EXPECT_STREQ(unwritable.lookup("dejavu sans:0"), "a/DejaVuSans.ttf");
}

TEST(FontMapping, StyleNamesAndUnknownStyles)
{
    FontDirs d;
    // "ExtraLight" and "Condensed" are no known style: regular, but only
    // while no face of the family has a regular name.
    copyFonts({{"DejaVuSans-ExtraLight.ttf", "a/1.ttf"}, {"DejaVuSans.ttf", "a/2.ttf"},
               {"DejaVuSansCondensed.ttf", "b/1.ttf"}, {"DejaVuSerif-BoldItalic.ttf", "b/2.ttf"},
               {"DejaVuSans-Oblique.ttf", "b/3.ttf"}});
    FontMap a, b;
    FontMapping::addFontFile({"a/1.ttf", "a/2.ttf"}, a);
    FontMapping::addFontFile({"b/1.ttf", "b/2.ttf", "b/3.ttf", "b/missing.ttf", "b/"}, b);
    EXPECT_STREQ(a.get("dejavu sans:0"), "a/2.ttf");
    EXPECT_EQ(a.size(), 1u);
    EXPECT_STREQ(b.get("dejavu sans:0"), "b/1.ttf");
    EXPECT_STREQ(b.get("dejavu serif:3"), "b/2.ttf");
    EXPECT_STREQ(b.get("dejavu sans:2"), "b/3.ttf");
}

TEST(FontMapping, UnchangedDirectoryIsReadFromTheCacheAndARenamedOneIsRescanned)
{
    FontDirs d;
    copyFonts({{"DejaVuSans.ttf", "a/DejaVuSans.ttf"}});
    // A run of the reader over one font folder: the file it maps for DejaVu Sans.
    auto mapped = [&](const char *dir) {
        FontMapping mapping(d.where);
        mapping.build(dir);
        mapping.writeCache();
        mapping.buildMap();
        const char *file = mapping.lookup("dejavu sans:0");
        return std::string(file ? file : "");
    };
    EXPECT_EQ(mapped("a/"), "a/DejaVuSans.ttf");
    // Mark the cached section: an unchanged listing is taken from the cache.
    std::vector<std::string> cache = lines(d.where.cachePath);
    ASSERT_EQ(cache.size(), 3u);
    writeFile(d.where.cachePath, cache[0] + "\n" + cache[1] + "\ndejavu sans:0=from-cache.ttf\n");
    EXPECT_EQ(mapped("a/"), "from-cache.ttf");
    // A file given a new name changes the checksum: the directory is scanned.
    ASSERT_EQ(rename("a/DejaVuSans.ttf", "a/Sans.ttf"), 0);
    EXPECT_EQ(mapped("a/"), "a/Sans.ttf");
    // The folder itself renamed (and configured under its new name): no
    // section for it in the cache, so it is scanned; the old section is gone.
    ASSERT_EQ(rename("a", "c"), 0);
    EXPECT_EQ(mapped("c/"), "c/Sans.ttf");
    cache = lines(d.where.cachePath);
    ASSERT_FALSE(cache.empty());
    EXPECT_EQ(cache[0], "c/");
    for (const std::string &line : cache)
        EXPECT_EQ(line.find("a/"), std::string::npos) << line;
}

TEST(FontMapping, FallbackFontIsMappedFirstAndTheOverrideFileWins)
{
    FontDirs d;
    copyFonts({{"DejaVuSans.ttf", "a/DejaVuSans.ttf"}});
    std::string longPath = "/" + std::string(3000, 'x') + ".ttf";
    writeFile(d.where.overridePath, "# my fonts\ndejavu sans:0=/opt/fonts/Mine.ttf\nno equals sign here\n"
                                    "default:0=/opt/fonts/NotTheDefault.ttf\r\nfamily:0=" + longPath +
                                        "\nserif:2=/opt/a=b.ttf");
    FontMapping mapping(d.where);
    EXPECT_STREQ(mapping.lookup("family:0"), longPath.c_str());
    mapping.build("a/");
    mapping.buildMap();
    EXPECT_STREQ(mapping.lookup("dejavu sans:0"), "/opt/fonts/Mine.ttf");
    // The fallback font is written and mapped for every style before the override is read.
    EXPECT_EQ(mapping.fallbackPath(), "./temp/fallback/default.ttf");
    EXPECT_GT(readFile("temp/fallback/default.ttf").size(), 10000u);
    for (const char *key : {"default:0", "default:1", "default:2", "default:3"})
        EXPECT_STREQ(mapping.lookup(key), "./temp/fallback/default.ttf") << key;
    // Only the first "=" separates; a last line without a line end is whole.
    EXPECT_STREQ(mapping.lookup("serif:2"), "/opt/a=b.ttf");
    EXPECT_EQ(mapping.lookup("no equals sign here"), nullptr);
}

TEST(FontMapping, ChecksumWrapsAsUnsigned)
{
    std::vector<std::string> names = {std::string(70000, '\xFF')};
    uint64_t exact = 0;
    for (uint64_t i = 0; i < 70000; i++)
        exact += i * 255;
    EXPECT_EQ(FontMapping::dirChecksum(names), (uint32_t)exact);
}

TEST(FontMapping, InstallFontMapsMagazineFontsUnlessAlreadyMapped)
{
    FontDirs d;
    copyFonts({{"DejaVuSerif.ttf", "temp/magserif.ttf"}, {"DejaVuSans.ttf", "temp/magsans.ttf"}});
    FontMapping mapping(d.where);
    mapping.buildMap();
    EXPECT_EQ(mapping.installFont("magserif"), 1);
    EXPECT_STREQ(mapping.lookup("dejavu serif:0"), "./temp/magserif.ttf");
    EXPECT_EQ(mapping.installFont("nothing-like-it"), 0);
    EXPECT_EQ(mapping.installFont(".ttf"), 2);
    // A magazine font called "default.ttf" leaves the fallback as it was: a font FreeType reads.
    copyFonts({{"DejaVuSerif.ttf", "temp/default.ttf"}});
    EXPECT_EQ(mapping.installFont("default.ttf"), 1);
    FontMap probe;
    FontMapping::addFontFile({mapping.fallbackPath()}, probe);
    EXPECT_TRUE(probe.get("dejavu sans:0"));
    EXPECT_STREQ(mapping.lookup("dejavu serif:0"), "./temp/magserif.ttf");
}

// A FIFO where the override file or the font cache lies is read as missing,
// at once (nobody will ever write into it), and is not replaced: the cache
// is refused with its message and the map is complete all the same.
TEST(FontMapping, AFifoForTheCacheOrTheOverrideDoesNotWait)
{
    FontDirs d;
    copyFonts({{"DejaVuSans.ttf", "a/DejaVuSans.ttf"}});
    ASSERT_EQ(mkfifo(d.where.overridePath.c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(d.where.cachePath.c_str(), 0644), 0);
    EXPECT_TRUE(endsWithin(10, [&] {
        FontMapping fonts(d.where);
        fonts.build("a/");
        bool refused = !fonts.writeCache();
        fonts.buildMap();
        const char *mapped = fonts.lookup("dejavu sans:0");
        return refused && mapped && strcmp(mapped, "a/DejaVuSans.ttf") == 0;
    }));
    struct stat st;
    EXPECT_TRUE(lstat(d.where.cachePath.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

// A FIFO by a font's name is no font: a font folder's scan, the folders
// below the system font folder and the magazine's fonts in temp/ skip it
// at once (nobody will ever write into it) and map the fonts beside it.
TEST(FontMapping, AFifoAmongTheFontsIsNotWaitedOn)
{
    FontDirs d;
    for (const char *dir : {"sys", "sys/sub", "temp/serif.ttf.d"})
        mkdir(dir, 0755);
    copyFonts({{"DejaVuSans.ttf", "a/DejaVuSans.ttf"}, {"DejaVuSansMono.ttf", "sys/sub/mono.ttf"},
               {"DejaVuSerif.ttf", "temp/serif.ttf"}});
    for (const char *fifo : {"a/0.ttf", "sys/sub/0.ttf", "temp/serif.ttf.old"})
        ASSERT_EQ(mkfifo(fifo, 0644), 0);
    d.where.systemFontDir = "sys/";
    EXPECT_TRUE(endsWithin(10, [&] {
        FontMapping fonts(d.where);
        fonts.build("a/");
        fonts.build("sys/");
        fonts.buildMap();
        bool counted = fonts.installFont("serif.ttf") == 3;
        auto mapped = [&](const char *key, const char *path) {
            const char *m = fonts.lookup(key);
            return m && strcmp(m, path) == 0;
        };
        return counted && mapped("dejavu sans:0", "a/DejaVuSans.ttf") &&
               mapped("dejavu sans mono:0", "sys/sub/mono.ttf") &&
               mapped("dejavu serif:0", "./temp/serif.ttf");
    }));
}
