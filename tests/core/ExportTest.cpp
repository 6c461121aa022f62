#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "Areas.h"
#include "Article.h"
#include "Export.h"
#include "FakeSystem.h"
#include "File.h"
#include "MagazineConfig.h"
#include "Markup.h"
#include "Playlist.h"
#include "LooseFiles.h"
#include "TestDirs.h"
#include "Theme.h"

namespace {

const char *const kConfig =
    "<fontstyle name=body face=\"DejaVu Serif\" size=12 color=00ff00>\r\n"
    "<scheme name=centred>\r\n<p align=c>\r\n</scheme>\r\n";

// Every tag the export translates, and what it becomes.
const char *const kSource =
    "<!-- lead -->\r\n<title x>\r\n<article scheme=centred title=\"T\">\r\n"
    "<p>One\r\n<p align=r>Two<p>Three\r\n"
    "<font size=12 color=ff0000>red</font>\r\n"
    "<font style=body color=1 face=\"DejaVu Sans Mono\">x</font>\r\n"
    "<link article=\"Dir\\Other.TXT\">go<link command=b>back</link>\r\n"
    "<imagemap file=Pics/Map.bmp align=l>\r\n<link article=x.txt>in map\r\n</imagemap>\r\n"
    "<table width=80% border><row><td width=50>c</table><space><unknown a=1>\r\n"
    "<img file=pics/a.bmp align=t><br><link article=z.txt>end";
const char *const kBody =
    "<!-- lead -->\r\n<title x>\r\n\r\n"
    "<p align=\"center\">One\r\n<p align=\"right\">Two<p align=\"right\">Three\r\n"
    "<font size=\"4\" color=\"#FF0000\">red</font>\r\n"
    "<font face=\"dejavu sans mono\" size=\"4\" color=\"#0000FF\">x</font>\r\n"
    "<a href=\"other.htm\">go</a>back\r\n"
    "<img src=\"map.bmp\" align=\"left\">\r\n"
    "<table width=80% border=\"1\"><tr><td width=\"50\">c</table><unknown a=1>\r\n"
    "<img src=\"a.bmp\" align=\"top\"><br><a href=\"z.htm\">end";

std::string text(const std::string &path)
{
    std::vector<uint8_t> b = readFile(path);
    return std::string(b.begin(), b.end());
}

struct ExportTest : ::testing::Test {
    ScopedWorkDir dir;
    FakeSystemScope scope;
    File *articleFile = nullptr;
    Article *article = nullptr;
    StatusbarArea *status = new StatusbarArea(AreaPlacement());
    SampleHandle saveSound = reinterpret_cast<SampleHandle>(&articleFile);

    void configure(bool swapRB)
    {
        scope.sys.flags[USER_FLAG_FONT_DPI] = 96;
        scope.sys.flags[USER_FLAG_SWAP_RB] = swapRB;
        g_magazine_config.reset();
        ASSERT_EQ(g_markupSwapRB, swapRB);
        parseMagazineConfig(kConfig);
        g_palette.colours[1] = swapRB ? 0xFF0000u : 0x0000FFu; // blue as stored
    }
    void SetUp() override
    {
        mkdir("save", 0755);
        articleFile = addLooseFile("arts/story.txt", kSource);
        addLooseFile("pics/map.bmp", "BM map");
        addLooseFile("pics/a.bmp", "BM picture");
        configure(true);
        article = new Article(articleFile);
        article->areas = article->statusbarArea = status;
        g_playlist.pendingSound = nullptr;
        g_playlist.themeSounds[SOUND_SAVE] = saveSound;
    }
    void TearDown() override
    {
        g_playlist.pendingSound = g_playlist.themeSounds[SOUND_SAVE] = nullptr;
        g_markupSwapRB = true;
        delete article;
        g_magazine_config.deleteTrees();
        g_palette.reset();
        dropLooseFiles();
    }
};

// Colours stored with red and blue exchanged and the built-in frame, then
// stored as they are and the scheme's header and footer files.
TEST_F(ExportTest, TranslatedBodyInItsFrameAndThePicturesBesideIt)
{
    addLooseFile("head.htm", "<html><head></head><body bgcolor=white>\n");
    addLooseFile("foot.htm", "\n</body></html>\n");
    for (bool swap : {true, false}) {
        configure(swap);
        article->header.set(swap ? "" : "head.htm");
        article->footer.set(swap ? "" : "foot.htm");
        saveArticleAsHtml(article);
        EXPECT_EQ(text("save/story.htm"),
                  swap ? std::string("<html><body>\r\n") + kBody + "</body></html>\r\n"
                       : std::string("<html><head></head><body bgcolor=white>\n") + kBody + "\n</body></html>\n")
            << "swap " << swap;
        EXPECT_TRUE(text("save/map.bmp") == "BM map" && text("save/a.bmp") == "BM picture");
        EXPECT_STREQ(status->text1.c_str(), "Article saved in file story.htm");
        EXPECT_TRUE(g_playlist.pendingSound == saveSound && !article->htmlImages);
    }
}

TEST_F(ExportTest, RefusedArticlesAndPicturesWriteNothingOutsideTheirPlace)
{
    // Not saveable; an empty, dot-dot or control-character base name; an unreadable source.
    const struct { const char *file; bool saveable; } cases[] = {
        {"arts/story.txt", false}, {"arts/", true}, {"arts/..", true}, {"arts/a\x01.txt", true}, {"arts/gone.txt", true}};
    for (const auto &c : cases) {
        File probe;
        probe.name.set(c.file);
        probe.diskName.set(c.file);
        probe.loose = true;
        article->file = &probe;
        article->saveable = c.saveable;
        status->text1.clear();
        saveArticleAsHtml(article);
        EXPECT_STREQ(status->text1.c_str(), "Article not saveable") << c.file;
        EXPECT_EQ(scope.sys.count("create_file"), 0u) << c.file;
    }
    article->file = articleFile;
    article->saveable = true;

    // A picture named like the article is not copied over it.
    addLooseFile("pics/story.htm", "picture bytes");
    writeFile("arts/story.txt", std::string("<article><img file=pics/story.htm>"));
    saveArticleAsHtml(article);
    EXPECT_EQ(text("save/story.htm"), "<html><body>\r\n<img src=\"story.htm\"></body></html>\r\n");
}

// Each picture file is written once, however often the article shows it;
// of two paths with one file name, the one first in the article is written.
TEST_F(ExportTest, EachPictureFileIsWrittenOnce)
{
    addLooseFile("other/map.bmp", "BM other map");
    std::string source = "<article><img file=Pics/Map.bmp>";
    for (int i = 0; i < 50; i++)
        source += "<img file=pics/a.bmp>";
    source += "<img file=other/map.bmp><img file=PICS/A.BMP>";
    writeFile("arts/story.txt", source);
    saveArticleAsHtml(article);
    const struct { const char *picture, *bytes; } copies[] = {{"a.bmp", "BM picture"}, {"map.bmp", "BM map"}};
    for (const auto &c : copies) {
        EXPECT_EQ(scope.sys.count(std::string("create_file ") + c.picture), 1u) << c.picture;
        EXPECT_EQ(text(std::string("save/") + c.picture), c.bytes);
    }
    std::string page = text("save/story.htm");
    size_t elements = 0;
    for (size_t at = page.find("<img src="); at != std::string::npos; at = page.find("<img src=", at + 1))
        elements++;
    EXPECT_EQ(elements, 53u);
}

} // namespace
