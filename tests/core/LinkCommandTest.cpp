// Link rectangles, hit tests, keyboard order and the command executor, over the recording System.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Areas.h"
#include "Browser.h"
#include "Commands.h"
#include "LayoutRig.h"
#include "Link.h"
#include "Markup.h"
#include "Messages.h"
#include "Palette.h"
#include "PictureWriters.h"
#include "Playlist.h"

namespace {

struct CommandFixture : ::testing::Test {
    FakeSystemScope scope;
    FakeSystem &sys = scope.sys;
    Article article{nullptr};
    StatusbarArea *bar = nullptr;

    void SetUp() override
    {
        AreaPlacement where;
        where.width = 200, where.height = 20;
        article.areas = article.statusbarArea = bar = new StatusbarArea(where);
        memset(&g_browser, 0, sizeof g_browser);
        g_browser.transition = 1;
        currentArticle = &article;
        g_playlist.pendingSound = nullptr;
        g_magazine_config.reset();
    }
    void TearDown() override { currentArticle = nullptr, dropLooseFiles(); }
};

TEST_F(CommandFixture, PostingCommandsPostTheirMessageAndNeverReplaceThePage)
{
    const struct { const char *name; int message, param; } cases[] = {
        {"b", MSG_BACK, 0}, {"q", MSG_QUIT_REQUEST, 0}, {"pagedown", MSG_NAVIGATE, NAV_PAGE_DOWN},
        {"pn", MSG_PLAY_SONG, SONG_NEXT}, {"pp", MSG_PLAY_SONG, SONG_PREVIOUS}, {"p07", MSG_PLAY_SONG, 7},
        {"s9", MSG_THEME, 9}, {"vd", MSG_VOLUME, -1}, {"vu", MSG_VOLUME, 1}, {"s", MSG_SAVE_HTML, 0}};
    for (const auto &c : cases) {
        sys.posted.clear();
        int id = commandId(c.name);
        ASSERT_NE(0, id) << c.name;
        EXPECT_FALSE(Article::executeCommand(&article, id, "ignored", 1)) << c.name;
        ASSERT_EQ(1u, sys.posted.size()) << c.name;
        EXPECT_EQ(std::make_pair(c.message, c.param), sys.posted[0]) << c.name;
    }
    // No command, and ids past the table, do nothing; an external target reaches the platform as it is.
    sys.posted.clear();
    for (int id : {0, 61, -1, 1000})
        EXPECT_FALSE(Article::executeCommand(&article, id, "x", 1));
    const char *target = "http://example.org/a b; rm -rf ~ `reboot` $(id)";
    for (const char *t : {target, (const char *)nullptr}) {
        EXPECT_FALSE(Article::executeCommand(&article, CMD_EXTERNAL, t, 1));
        EXPECT_EQ(std::string("open_link ") + (t ? t : ""), sys.calls.back());
    }
    EXPECT_TRUE(sys.posted.empty() && bar->text1.isEmpty());
}

TEST_F(CommandFixture, MissingArticleShowsNotFoundAndChangesNothingElse)
{
    addTreeFile("here.txt");
    for (int id : {CMD_ARTICLE, CMD_REPLACE})
        for (const char *target : {"missing.txt", "", (const char *)nullptr}) {
            bar->text1.clear();
            sys.clearCalls();
            EXPECT_FALSE(Article::executeCommand(&article, id, target, 0));
            EXPECT_STREQ("Article not found", bar->text1.c_str());
            EXPECT_TRUE(currentArticle == &article && g_browser.transition == 1 && !g_playlist.pendingSound);
            EXPECT_FALSE(sys.called("flip"));
        }
    article.statusbarArea = nullptr; // without a status bar the failure is silent
    EXPECT_FALSE(Article::executeCommand(&article, CMD_ARTICLE, "missing.txt", 1));
}

TEST_F(CommandFixture, FollowPlaysTheSongAndSoundEvenWithoutACommand)
{
    ScopedWorkDir dir;
    ASSERT_TRUE(writeFile("mine.ogg", std::string("OggS")));
    Link link;
    link.sound = reinterpret_cast<SampleHandle>(0x1234);
    link.song = 0; // slot 0 is the user's own song
    g_playlist.setSong(0, "mine.ogg", false, false);
    EXPECT_FALSE(link.follow());
    EXPECT_TRUE(g_playlist.pendingSound == link.sound && sys.called("play_song_file mine.ogg"));
    currentArticle = nullptr; // without a shown article nothing runs
    link.command = CMD_QUIT;
    EXPECT_TRUE(!link.follow() && sys.posted.empty());
    g_playlist.reset();
}

TEST(LinkOrder, NearestInColumnsKeysByThePositionOnScreen)
{
    const int32_t tops[] = {0, 300, 600, 900}; // column pages, 270 pixels apart on screen
    Link link;
    link.addRect(10, 620, 40, 640); // in column page 2
    const struct { uint32_t first, last, topCount; int sortX, sortY; } cases[] = { // sortY NOT_VISIBLE: not in view
        {1, 2, 4, 10 + 270, 640 - 300}, {2, 3, 4, 10, 640}, {0, 1, 4, 0, Link::NOT_VISIBLE},
        {2, 2, 0, 0, Link::NOT_VISIBLE}, // no tops: everything is column 0
        {7, 9, 4, 0, Link::NOT_VISIBLE}, // pages past the tops read no further
        {0, 9, 2, 10 + 270, 640 - 300}}; // only two tops known: it is in page 1
    for (const auto &c : cases) {
        bool visible = c.sortY != Link::NOT_VISIBLE;
        EXPECT_EQ(visible, link.nearestInColumns(c.first, c.last, tops, c.topCount, 270)) << c.first;
        EXPECT_EQ(c.sortY, link.sortY) << c.first;
        EXPECT_TRUE(!visible || c.sortX == link.sortX) << c.first << ": " << link.sortX;
    }
}

// Articles laid out by the real layout (8 pixels per byte of text), left-aligned, 200 pixels wide.
const char *const kLeft = "<p align=l fl=0 sp=0>";
Article *layOut(LayoutRig &rig, const std::string &body) { return rig.lay(body), rig.article; }

TEST(LaidOutLinks, ALinkGetsOneRectanglePerLine)
{
    LayoutRig rig{200, kLeft};
    std::string words; // 15 words of 4 letters on three lines
    for (int i = 0; i < 15; i++)
        words += "word ";
    ASSERT_TRUE(layOut(rig, "<link article=Next.txt nopush>" + words + "</link> tail"));
    Link *link = rig.article->links;
    ASSERT_TRUE(link && !link->next);
    EXPECT_EQ(CMD_REPLACE, link->command);
    EXPECT_STREQ("next.txt", link->target.str);
    EXPECT_EQ(15u + 3u, link->tokenCount); // the words and an underline per line
    ASSERT_EQ(3u, link->rectCount);
    for (uint32_t i = 0; i < link->rectCount; i++) {
        const LinkRect &r = link->rects[i];
        EXPECT_EQ(0, r.x1) << i;
        EXPECT_TRUE(r.y2 > r.y1 && (i == 0 || r.y1 > link->rects[i - 1].y1)) << i;
        // The last pixel column and the row just below the text hit; one further does not.
        EXPECT_EQ(link, Link::findAt(link, r.x2, r.y2)) << i;
        EXPECT_EQ(nullptr, Link::findAt(link, r.x2 + 1, r.y1)) << i;
    }
}

TEST(LaidOutLinks, VisitedTargetsTakeTheVisitedColourAndDrawInTheClip)
{
    LayoutRig rig{200, kLeft};
    for (const char *name : {"read.txt", "unread.txt"}) // a container of two articles, one read
        addTreeFile(name)->visited = name[0] == 'r';
    ASSERT_TRUE(layOut(rig, "<link article=read.txt>a b</link> <link article=unread.txt>c</link>"
                            " <link command=r param=read.txt>d</link> <link command=e param=read.txt>e</link>"));
    Link *read = rig.article->links, *unread = read->next, *replace = unread->next, *external = replace->next;
    ASSERT_NE(nullptr, external);
    uint32_t own = read->tokens[0]->baseColour;
    read->visitedColour = 0x112233;
    replace->visitedColour = COLOUR_NONE;
    unread->visitedColour = external->visitedColour = 0x445566;
    replace->tokens[0]->colour = 0x999999; // recoloured before: back to its own
    Link::applyVisitedColours(read);
    EXPECT_TRUE(read->tokens[0]->colour == 0x112233u && read->tokens[1]->colour == 0x112233u);
    EXPECT_EQ(own, unread->tokens[0]->colour);
    EXPECT_EQ(replace->tokens[0]->baseColour, replace->tokens[0]->colour);
    EXPECT_EQ(own, external->tokens[0]->colour);
    // Drawn: each word at the page's left edge plus its own x, in the resolved colour, inside the clip.
    g_palette.reset();
    g_palette.colours[5] = 0x123456;
    for (uint32_t i = 0; i < unread->tokenCount; i++)
        unread->tokens[i]->colour = PALETTE_INDEX_BIT | 5;
    rig.scope.sys.clearCalls();
    unread->draw(false, 10, 20, 200, 300, 0, 5, nullptr, 0, 0, 0);
    std::string expected = "out_text c " + std::to_string(10 + unread->tokens[0]->x) + " ";
    const std::vector<std::string> &calls = rig.scope.sys.calls;
    auto drawn = std::find_if(calls.begin(), calls.end(), [&](const std::string &c) { return !c.rfind(expected, 0); });
    ASSERT_NE(calls.end(), drawn);
    EXPECT_NE(std::string::npos, drawn->find("123456")) << *drawn;
    EXPECT_TRUE(calls.front() == "set_region 10 20 200 300" && calls.back() == "set_region 0 0 0 0");
}

TEST(LaidOutLinks, ImageMapHotSpotsAreTheirRectanglesAndTheFocusFramesTheSpot)
{
    LayoutRig rig{200, std::string(kLeft) + "<link selcolor=ff0000>"}; // a frame needs a selected colour
    rig.addPicture("map.bmp", makeBMP(40, 30, std::vector<uint32_t>(40 * 30, 0x204060), 24));
    const std::vector<LaidToken> laid = rig.lay("text<br><imagemap file=map.bmp><link x=5 y=6 width=10 height=8 article=a.txt>"
                                                "<link x=20 y=0 width=20 height=30 article=b.txt></imagemap>");
    auto picture = std::find_if(laid.begin(), laid.end(), [](const LaidToken &t) { return t.kind == TOKEN_IMAGE; });
    ASSERT_TRUE(rig.article && picture != laid.end());
    const int px = picture->x, py = picture->y;
    // Each hot spot's rectangle in the picture, and the frame a focused one
    // draws with the picture's corner at (100, 50) on screen.
    const struct { int x1, y1, x2, y2; std::vector<std::string> frame; } spots[] = {
        {5, 6, 14, 14, {"h_line 105 56 10", "h_line 105 63 10", "v_line 105 56 8", "v_line 114 56 8"}},
        {20, 0, 39, 30, {"h_line 120 50 20", "h_line 120 79 20", "v_line 120 50 30", "v_line 139 50 30"}}};
    Link *link = rig.article->links;
    for (const auto &spot : spots) {
        ASSERT_TRUE(link && link->rectCount == 1);
        const LinkRect &r = link->rects[0];
        EXPECT_EQ((std::vector<int>{spot.x1, spot.y1, spot.x2, spot.y2}),
                  (std::vector<int>{r.x1 - px, r.y1 - py, r.x2 - px, r.y2 - py}));
        rig.scope.sys.clearCalls();
        link->draw(true, 100 - px, 50 - py, 200, 100, 0, 0, nullptr, 0, 0, 0);
        for (const std::string &line : spot.frame)
            EXPECT_TRUE(rig.scope.sys.called(line)) << line;
        link = link->next;
    }
}

TEST(LinkRects, RectanglesAboveThePageTopKeepTheirSign)
{
    MarkupLexer lexer;
    lexer.init("<link article=x.txt>", 20);
    ASSERT_EQ(MARKUP_TAG, lexer.next());
    Tag *tag = lexer.parseTag();
    LinkInfo info(*tag, false);
    delete tag;
    Token high(TOKEN_STRING, 4, -6, 10, 8, 2), low(TOKEN_STRING, 20, 3, 10, 8, 2);
    info.addToken(&high);
    info.addToken(&low);
    Article owner(nullptr);
    Link *head = nullptr, *tail = nullptr;
    owner.addLink(&info, head, tail);
    info.tokenCount = 0; // the tokens are the test's
    ASSERT_TRUE(head && head->rectCount == 1);
    const LinkRect &r = head->rects[0];
    EXPECT_EQ((std::vector<int32_t>{4, -6, 29, 13}), (std::vector<int32_t>{r.x1, r.y1, r.x2, r.y2}));
    delete head;
}

} // namespace
