// The article view over a small magazine of loose files: themes, the history
// and its ring, reloads, and the reader's handler driving them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Area.h"
#include "Areas.h"
#include "Commands.h"
#include "File.h"
#include "Link.h"
#include "MagazineRig.h"
#include "Playlist.h"
#include "Token.h"
#include "containr.h"

namespace {

const char *const kConfig =
    "<fontstyle name=body face=serif size=12 color=101010>"
    "<theme name=day image=bg.bmp>"
    "<page x=10 y=30 height=100><title x=0 y=0 width=200 height=20>"
    "<status x=0 y=140 width=200 height=20><clock x=150 y=0 width=50 height=20>"
    "<scroll x=190 y=30 width=8 height=100 begin=cap.bmp middle=cap.bmp end=cap.bmp>"
    "<cursors normal=normal.bmp busy=busy.bmp>"
    "<button x=100 y=0 width=20 height=20 normal=cap.bmp command=s2 desc=Night>"
    "</theme>"
    "<theme name=night inherit=day><scroll thumb=ff00ff></theme>"
    "<theme name=dusk image=gone.bmp></theme>"
    "<scheme name=s><page width=170><background theme=day><background theme=night>"
    "<background theme=dusk></scheme>"
    "<scheme name=late><page width=170><background theme=dusk><background id=9 theme=night></scheme>"
    "<theme name=tall image=bg.bmp><page x=0 y=0 height=400></theme>"
    "<theme name=low inherit=tall><page height=150></theme>"
    "<scheme name=cols><page width=300 columns=2 colspacing=20><background theme=tall>"
    "<background theme=low></scheme>"
    "<scheme name=free><page width=300><background theme=low><background theme=tall></scheme>";

struct ViewFixture : LooseMagazine {
    void SetUp() override
    {
        start({"bg.bmp", "cap.bmp", "normal.bmp", "busy.bmp"});
        for (int i = 0; i < 17; i++)
            addArticle(i, "s");
        parseMagazineConfig(kConfig);
    }
    void addArticle(int i, const char *scheme, const std::string &img = "file=cap.bmp")
    {
        std::string text = "<article scheme=" + std::string(scheme) + " title=T" + std::to_string(i) +
                           " author=A>Words of article " + std::to_string(i) + " <img " + img +
                           "> <link article=a0.txt desc=Home>home</link>";
        for (int line = 0; line < 20; line++)
            text += "<br>line " + std::to_string(line);
        add(name(i), text);
    }
    static std::string name(int i) { return "a" + std::to_string(i) + ".txt"; }
    File *file(int i) { return g_container.find(name(i).c_str()); }
    // Lines "line0", "line1" ... after a leading break; every nth a link
    // home (none when n is 0), up to line `linksUpTo`.
    void addLines(const std::string &file, const char *scheme, int count, int linkEvery = 0, int linksUpTo = 1 << 30)
    {
        std::string text = "<article scheme=" + std::string(scheme) + ">";
        for (int n = 0; n < count; n++)
            text += linkEvery && n % linkEvery == 0 && n <= linksUpTo
                        ? "<br><link article=a0.txt>line" + std::to_string(n) + "</link>"
                        : "<br>line" + std::to_string(n);
        add(file, text);
    }
};

TEST_F(ViewFixture, TheRingKeepsFifteenLeftArticlesAndTheSixteenthIsLaidOutAgain)
{
    ASSERT_TRUE(history.open(name(0).c_str()));
    Article *first = currentArticle;
    for (int i = 1; i <= 16; i++) {
        ASSERT_TRUE(history.open(name(i).c_str()));
        ASSERT_TRUE(history.back());
        EXPECT_EQ(currentArticle, first);
    }
    // a1 went first into the ring and was deleted when a16 joined it.
    EXPECT_FALSE(file(1)->cached);
    for (int i = 2; i <= 16; i++)
        EXPECT_TRUE(file(i)->cached) << i;
    ASSERT_TRUE(history.open(name(1).c_str()));
    EXPECT_TRUE(file(1)->cached);
}

TEST_F(ViewFixture, AnArticleOpenedTwiceIsSharedAndStaysOnThePath)
{
    Article *opened[3];
    for (int i : {0, 1, 2}) {
        ASSERT_TRUE(history.open(name(i % 2).c_str()));
        opened[i] = currentArticle;
    }
    Article *a = opened[0];
    EXPECT_EQ(opened[2], a);
    EXPECT_TRUE(history.current->shared);
    ASSERT_TRUE(history.back());
    EXPECT_EQ(currentArticle, opened[1]);
    EXPECT_EQ(std::find(std::begin(history.ring), std::end(history.ring), a), std::end(history.ring));
    ASSERT_TRUE(history.back());
    EXPECT_EQ(currentArticle, a);
    // The last back leaves the article in the ring; clearing deletes it and
    // no pointer to it stays behind.
    EXPECT_FALSE(history.back());
    history.clear();
    EXPECT_EQ(currentArticle, nullptr);
    EXPECT_FALSE(file(0)->cached);
}

TEST_F(ViewFixture, BackRestoresTheViewInTheThemeJustShown)
{
    ASSERT_TRUE(history.open(name(0).c_str()));
    Article *a = currentArticle;
    a->scroll = 40;
    sys.clearCalls();
    ASSERT_TRUE(history.open(name(1).c_str()));
    // The shown page says so, on screen at once, before the next one is laid out.
    ASSERT_TRUE(sys.called("out_text Loading. Please wait..."));
    auto flip = std::find(sys.calls.begin(), sys.calls.end(), "flip 0 0 0");
    auto words = std::find_if(sys.calls.begin(), sys.calls.end(),
                              [](const std::string &c) { return c.rfind("out_text Words", 0) == 0; });
    EXPECT_LT(flip - sys.calls.begin(), words - sys.calls.begin());
    g_browser.handleMessage(MSG_THEME, 2);
    ASSERT_TRUE(history.back());
    EXPECT_EQ(std::make_tuple(a, 40, 2u), std::make_tuple(currentArticle, a->scroll, a->themeNumber));
}

TEST_F(ViewFixture, ThemeSwitchingRules)
{
    ASSERT_TRUE(history.open(name(0).c_str()));
    Article *a = currentArticle;
    // Theme 3's picture is not in the magazine: its bit is clear, nothing
    // changes; the current number only restarts the areas.
    Area *chain = a->areas;
    for (uint32_t n : {3u, 4u, 1u})
        EXPECT_FALSE(a->setTheme(n)) << n;
    EXPECT_EQ(std::make_pair(1u, chain), std::make_pair(a->themeNumber, a->areas));
    // Day and night share their pictures: nothing is decoded again, no fade.
    sys.clearCalls();
    g_browser.transition = 1;
    ASSERT_TRUE(a->setTheme(2));
    EXPECT_FALSE(sys.called("create_image"));
    EXPECT_EQ(g_browser.transition, 0u);
    // The pointer is the normal cursor; missing cursors fall back to it.
    EXPECT_EQ(std::make_pair(g_pointer_image, a->cursors[CURSOR_LINKUP]),
              std::make_pair(a->cursors[CURSOR_NORMAL], a->cursors[CURSOR_NORMAL]));
    EXPECT_NE(a->cursors[CURSOR_BUSY], a->cursors[CURSOR_NORMAL]);
    // An article whose only usable theme is number 9 opens in it.
    addArticle(17, "late");
    ASSERT_TRUE(history.open(name(17).c_str()));
    EXPECT_EQ(std::make_pair(currentArticle->themeNumber, currentArticle->themeMask), std::make_pair(9u, 1u << 9));
}

TEST_F(ViewFixture, AThemeWhoseBackgroundCannotBeReadClearsTheOldScreenAndNamesItOnce)
{
    // A 32-bit BMP is refused: the theme counts (its file is there) but has no picture.
    std::vector<uint8_t> deep = makeBMP(2, 2, std::vector<uint32_t>(4, 0x204060), 24);
    deep[28] = 32;
    add("deep.bmp", deep);
    parseMagazineConfig("<theme name=deep inherit=day image=deep.bmp></theme>"
                        "<scheme name=dark><page width=170><background theme=day><background theme=deep></scheme>");
    addArticle(17, "dark");
    ASSERT_TRUE(history.open(name(17).c_str()));
    for (int round = 0; round < 2; round++) {
        size_t from = sys.calls.size();
        g_browser.handleMessage(MSG_THEME, 2);
        ASSERT_EQ(currentArticle->themeNumber, 2u);
        // The new screen starts black: its first drawing clears the whole screen.
        auto black = std::find(sys.calls.begin() + (long)from, sys.calls.end(), "fill_rect 0 0 200 160 0");
        ASSERT_NE(black, sys.calls.end()) << round;
        EXPECT_EQ(black[-1], "begin_display");
        g_browser.handleMessage(MSG_THEME, 1);
    }
    EXPECT_EQ(sys.count("report The reader cannot show the picture 'deep.bmp': 32 bits per pixel (it reads 1, 4, 8 or 24)"), 1u);
    // Besides it only the background the theme dusk names and the magazine lacks.
    EXPECT_EQ(sys.count("report"), 2u);
}

// A picture a theme names that the magazine lacks, or one of another kind,
// is named once; pointers left at their default names may be missing.
TEST_F(ViewFixture, PicturesAThemeNamesThatCannotBeShownAreNamedOnce)
{
    add("logo.jpeg", std::vector<uint8_t>(8, 0));
    parseMagazineConfig("<theme name=odd inherit=day image=bg.bmp><cursors linkup=hand.bmp><overlay image=logo.jpeg>"
                        "<button x=0 y=0 width=9 height=9 normal=none.bmp command=s1></theme>"
                        "<scheme name=o><page width=170><background theme=odd><background theme=night></scheme>");
    addArticle(17, "o");
    ASSERT_TRUE(history.open(name(17).c_str()));
    for (int round = 0; round < 2; round++) {
        g_browser.handleMessage(MSG_THEME, 2);
        g_browser.handleMessage(MSG_THEME, 1);
    }
    for (const char *said : {"'hand.bmp': the magazine has no such file", "'none.bmp': the magazine has no such file",
                             "'logo.jpeg': it shows only .jpg, .bmp and .ani pictures"})
        EXPECT_EQ(sys.count(std::string("report The reader cannot show the picture ") + said), 1u) << said;
    // And the background the theme dusk names and the magazine lacks.
    EXPECT_EQ(sys.count("report"), 4u);
}

// A theme's background picture the magazine lacks (dusk's gone.bmp) is named
// once, however many themes name it; a theme naming it keeps the background
// it had before.
TEST_F(ViewFixture, AThemesBackgroundPictureTheMagazineLacksIsNamedOnce)
{
    parseMagazineConfig("<theme name=gone inherit=day image=gone.bmp></theme>"
                        "<scheme name=g><page width=170><background theme=gone></scheme>");
    addArticle(17, "g");
    ASSERT_TRUE(history.open(name(17).c_str()));
    EXPECT_EQ(sys.count("report The reader cannot show the picture 'gone.bmp': the magazine has no such file"), 1u);
    EXPECT_EQ(sys.count("report"), 1u);
}

TEST_F(ViewFixture, ReloadLaysOutAgainAndAFailedReloadShowsThePreviousPlace)
{
    ASSERT_TRUE(history.open(name(0).c_str()));
    Article *a = currentArticle;
    ASSERT_TRUE(history.open(name(1).c_str()));
    Article *b = currentArticle;
    b->scroll = 30;
    ASSERT_TRUE(history.reload());
    EXPECT_EQ(currentArticle->scroll, 0);
    // The article's file disappears: reloading it fails and the reader is
    // back on the previous article, never on the deleted one; on the first
    // article a failed reload quits cleanly.
    for (int gone : {1, 0}) {
        ASSERT_EQ(remove(name(gone).c_str()), 0);
        g_browser.handleMessage(MSG_RELOAD, 0);
        EXPECT_EQ(currentArticle, gone ? a : nullptr);
        EXPECT_FALSE(history.hasOlder());
    }
    EXPECT_TRUE(sys.called("post_message 13"));
}

// A quit asked for while an article is laid out: the reader is ending, and
// the article is neither shown, kept as laid out, nor counted as read; no
// "Article not found" is said, and a reload of the first article cut so
// ends without the closing show.
TEST_F(ViewFixture, AnArticleLaidOutWhileAQuitWasAskedForIsNeitherShownNorRead)
{
    ASSERT_TRUE(history.open(name(0).c_str()));
    Article *a = currentArticle;
    sys.quitting = true;
    const struct {
        const char *name;
        std::function<bool()> open;
    } cases[] = {
        {"opened by name", [&] { return history.open(name(1).c_str()); }},
        {"a link's article", [&] { return Article::executeCommand(a, CMD_ARTICLE, name(2).c_str(), 0); }},
        {"a link replacing the page", [&] { return Article::executeCommand(a, CMD_REPLACE, name(3).c_str(), 0); }},
    };
    for (int i = 0; i < 3; i++) {
        EXPECT_FALSE(cases[i].open()) << cases[i].name;
        EXPECT_EQ(currentArticle, a) << cases[i].name;
        EXPECT_TRUE(!file(i + 1)->visited && !file(i + 1)->article) << cases[i].name;
        EXPECT_STRNE(statusText.c_str(), "Article not found") << cases[i].name;
    }
    sys.clearCalls();
    g_browser.handleMessage(MSG_RELOAD, 0);
    EXPECT_EQ(currentArticle, nullptr);
    EXPECT_FALSE(sys.called("post_message 13") || sys.called("flip")) << "the closing show began";
}

TEST_F(ViewFixture, TwentyRoundsOfThemesOpensBacksAndReloads)
{
    ASSERT_TRUE(history.open(name(0).c_str()));
    for (int round = 0; round < 20; round++) {
        g_browser.handleMessage(MSG_THEME, 1 + round % 3);
        history.open(name(round % 17).c_str());
        history.open(name((round * 7) % 17).c_str());
        g_browser.handleMessage(MSG_THEME, 2);
        history.reload();
        g_browser.handleMessage(MSG_BACK, 0);
        // Hover and click the button (its command switches the theme and
        // with it deletes the button being released).
        for (int msg : {MSG_MOUSE_MOVE, MSG_MOUSE_DOWN, MSG_MOUSE_UP})
            g_browser.handleMessage(msg, (int)makePosition(105, 5));
        pump();
        ASSERT_NE(currentArticle, nullptr);
    }
}

TEST_F(ViewFixture, TheThumbDragsThePageAndAPressBesideItPagesWhileHeld)
{
    ASSERT_TRUE(history.open(name(0).c_str()));
    Article *a = currentArticle;
    ScrollbarArea *bar = a->scrollbarArea;
    ASSERT_NE(bar, nullptr);
    ASSERT_GT(bar->max, 0u);
    auto send = [](int msg, int y) { g_browser.handleMessage(msg, (int)makePosition(193, y)); };
    int thumb = 30 + (int)bar->thumb / 2;
    send(MSG_MOUSE_MOVE, thumb);
    send(MSG_MOUSE_DOWN, thumb);
    send(MSG_MOUSE_DRAG, thumb + 30);
    EXPECT_TRUE(a->scroll > 0 && bar->offset > 0) << a->scroll << " " << bar->offset;
    send(MSG_MOUSE_UP, thumb + 30);
    // Below the thumb: page forward at once and on while the button is held.
    sys.posted.clear();
    send(MSG_MOUSE_MOVE, 129);
    send(MSG_MOUSE_DOWN, 129);
    ASSERT_FALSE(sys.posted.empty());
    EXPECT_EQ(sys.posted[0], std::make_pair((int)MSG_NAVIGATE, (int)NAV_PAGE_DOWN));
    EXPECT_EQ(a->autoscrollMode, 2);
    send(MSG_MOUSE_UP, 129);
    EXPECT_EQ(a->autoscrollMode, 0);
}

TEST_F(ViewFixture, ALookChangeShowsThePageHoldingTheLineFirstOnScreen)
{
    addLines("cols.txt", "cols", 150);
    addLines("free.txt", "free", 150);
    add("other.txt", "<article scheme=cols>elsewhere");
    g_magazine_config.helpArticle.set("other.txt");
    auto firstLineDrawn = [&] { // the number of the first "lineN" drawn by the last message
        auto c = std::find_if(sys.calls.begin(), sys.calls.end(),
                              [](const std::string &call) { return call.rfind("out_text line", 0) == 0; });
        return c == sys.calls.end() ? -1 : std::stoi(c->substr(13));
    };
    // Messages from the article's top (none: go on from the case before),
    // the first line then drawn, and the view inside the article: in column
    // mode a whole screen of pages, in free mode no band below the last line.
    const struct { const char *what, *article; std::vector<std::pair<int, int>> messages; int top; } cases[] = {
        {"End, then the short look: the last pages stay in view", "cols.txt", {{MSG_NAVIGATE, NAV_END}, {MSG_THEME, 2}},
         109},
        {"and back to the tall look: the page holding that line", nullptr, {{MSG_THEME, 1}}, 83},
        {"Page Up from there moves one screen back", nullptr, {{MSG_NAVIGATE, NAV_PAGE_UP}}, 27},
        {"Back after a look change elsewhere: the place in the new look", "cols.txt",
         {{MSG_NAVIGATE, NAV_END}, {MSG_HELP, 0}, {MSG_THEME, 2}, {MSG_BACK, 1}}, 109},
        {"free scrolling: a taller view keeps no band below the end", "free.txt",
         {{MSG_NAVIGATE, NAV_END}, {MSG_THEME, 2}}, 121},
    };
    for (const auto &c : cases) {
        if (c.article) {
            history.clear();
            ASSERT_TRUE(history.open(c.article));
        }
        for (auto m : c.messages) {
            sys.clearCalls();
            g_browser.handleMessage(m.first, m.second);
            pump();
        }
        Article *a = currentArticle;
        EXPECT_EQ(c.top, firstLineDrawn()) << c.what;
        EXPECT_TRUE(a->columns >= 2 ? a->column + a->columns <= a->totalColumns &&
                                          a->firstLine == a->columnFirstLine[a->column]
                                    : a->scroll <= a->documentHeight - a->viewHeight + 1)
            << c.what;
    }
}

TEST_F(ViewFixture, AnEdgeDelayRunningWhenTheArticleWasLeftIsOverOnReturn)
{
    ASSERT_TRUE(history.open(name(0).c_str()));
    Article *a = currentArticle;
    a->setAutoscroll(AutoscrollArea::MODE_BOTTOM); // the delay starts
    ASSERT_TRUE(a->edgeTimerPending);
    ASSERT_TRUE(history.open(name(1).c_str()));
    g_browser.handleMessage(MSG_BACK, 1);
    ASSERT_EQ(a, currentArticle);
    sys.posted.clear(); // holding the edge again scrolls at once
    a->setAutoscroll(AutoscrollArea::MODE_BOTTOM);
    EXPECT_NE(std::find(sys.posted.begin(), sys.posted.end(), std::make_pair((int)MSG_NAVIGATE, (int)NAV_LINE_DOWN)),
              sys.posted.end());
}

TEST_F(ViewFixture, BackRestoresTheColumnPageAndTheFocusedLink)
{
    addLines("colinks.txt", "cols", 200, 10);
    ASSERT_TRUE(history.open("colinks.txt"));
    Article *a = currentArticle;
    g_browser.handleMessage(MSG_NAVIGATE, NAV_PAGE_DOWN);
    for (int i = 0; i < 2; i++)
        g_browser.handleMessage(MSG_LINK_NEXT, NAV_LINE_DOWN);
    const uint32_t column = a->column;
    Link *focused = a->focusedLink;
    ASSERT_TRUE(column > 0 && focused);
    ASSERT_TRUE(history.open(name(0).c_str()));
    g_browser.handleMessage(MSG_BACK, 1);
    // The column page from its first line, the link lit on it.
    EXPECT_EQ(std::make_tuple(a, column, a->columnFirstLine[column], focused),
              std::make_tuple(currentArticle, a->column, a->firstLine, a->focusedLink));
    EXPECT_EQ(focused, a->topVisibleLink->nextVisible);
}

// A link every third line; the pointer rests on the page while the keys
// move, so links pass under it whenever the view moves.
TEST_F(ViewFixture, UpAndDownWithThePointerRestingOnThePageReachEveryLinkInOrder)
{
    addLines("free.txt", "free", 150, 3);
    addLines("cols.txt", "cols", 150, 3);
    for (const char *article : {"free.txt", "cols.txt"}) {
        history.clear();
        ASSERT_TRUE(history.open(article));
        Article *a = currentArticle;
        std::vector<Link *> all;
        for (Link *l = a->links; l; l = l->next)
            all.push_back(l);
        // On the second link (the page is at the screen's top left), then Home.
        const LinkRect on = all[1]->rects[0];
        g_browser.handleMessage(MSG_MOUSE_MOVE, (int)makePosition(on.x1 + 10, on.y1 - a->scroll + 2));
        ASSERT_EQ(all[1], a->focusedLink) << article;
        g_browser.handleMessage(MSG_NAVIGATE, NAV_HOME);
        for (bool down : {true, false}) {
            std::vector<Link *> seen{a->focusedLink};
            for (int i = 0; i < 400 && seen.size() < all.size(); i++) {
                g_browser.handleMessage(down ? MSG_LINK_NEXT : MSG_LINK_PREVIOUS, down ? NAV_LINE_DOWN : NAV_LINE_UP);
                if (a->focusedLink != seen.back())
                    seen.push_back(a->focusedLink);
            }
            EXPECT_EQ(down ? all : std::vector<Link *>(all.rbegin(), all.rend()), seen) << article << " " << down;
        }
    }
}

TEST_F(ViewFixture, ReturnAfterTheViewWasPagedAgainFollowsOnlyALinkOnThePage)
{
    // Links every third line up to line 189, which only the tall look's last
    // view shows, plain lines below.
    addLines("cols.txt", "cols", 200, 3, 189);
    addLines("free.txt", "free", 200, 3, 189);
    add("other.txt", "<article scheme=cols>elsewhere");
    g_magazine_config.helpArticle.set("other.txt");
    const struct { const char *what, *article; std::vector<std::pair<int, int>> messages; const char *opens; } cases[] = {
        {"End, then the short look: the last link lit is not on the page", "cols.txt",
         {{MSG_NAVIGATE, NAV_END}, {MSG_THEME, 2}}, "cols.txt"},
        {"free scrolling: End in the tall look, then the short one", "free.txt",
         {{MSG_THEME, 2}, {MSG_NAVIGATE, NAV_END}, {MSG_THEME, 1}}, "free.txt"},
        {"Back into the short look chosen elsewhere", "cols.txt",
         {{MSG_NAVIGATE, NAV_END}, {MSG_HELP, 0}, {MSG_THEME, 2}, {MSG_BACK, 1}}, "cols.txt"},
        {"the first link stays on the page in the short look: Return follows it", "cols.txt",
         {{MSG_NAVIGATE, NAV_HOME}, {MSG_LINK_NEXT, NAV_LINE_DOWN}, {MSG_THEME, 2}}, "a0.txt"},
    };
    for (const auto &c : cases) {
        history.clear();
        ASSERT_TRUE(history.open(c.article));
        // The pointer rests beside the text, on no link.
        g_browser.handleMessage(MSG_MOUSE_MOVE, (int)makePosition(150, 80));
        for (auto m : c.messages) {
            g_browser.handleMessage(m.first, m.second);
            pump();
        }
        g_browser.handleMessage(MSG_FOLLOW_LINK, 0);
        pump();
        EXPECT_EQ(c.opens, std::string(currentArticle->file->name.c_str())) << c.what;
    }
}

// The pointers shown, read from the set_cursor calls: each picture carries
// its own hot spot x, the normal one 1, then link, button, edge and busy.
TEST_F(ViewFixture, OnScreenThePointerIsTheOneOfTheAreaUnderItOrTheNormalOne)
{
    parseMagazineConfig("<theme name=pointy inherit=day><cursors linkup=link.bmp buttonup=button.bmp up=edge.bmp>"
                        "<button x=60 y=20 width=20 height=10 normal=cap.bmp command=s1></theme>"
                        "<scheme name=p><page width=170><background theme=pointy></scheme>");
    const char *pictures[] = {"normal.bmp", "link.bmp", "button.bmp", "edge.bmp", "busy.bmp"};
    for (uint32_t i = 0; i < 5; i++) {
        if (!g_container.find(pictures[i]))
            add(pictures[i], makeBMP(2, 2, std::vector<uint32_t>(4, 0x204060), 24));
        g_container.find(pictures[i])->hotspotX = i + 1;
    }
    auto shown = [&] {
        std::string pointers;
        for (const std::string &call : sys.calls)
            if (call.rfind("set_cursor ", 0) == 0)
                pointers += "NLBEW"[call[11] - '1'];
        sys.clearCalls();
        return pointers;
    };
    auto send = [&](const std::vector<std::pair<int, int>> &messages) {
        for (auto m : messages) {
            g_browser.handleMessage(m.first, m.second);
            pump();
        }
    };
    // An article still laid out opens, or the look on screen is asked for
    // (nothing is laid out or built on the way), with the pointer resting on
    // the title bar, where no area shows one: busy while it works, normal
    // once the page is on screen and after small moves.
    const struct {
        const char *what, *help;
        std::vector<std::pair<int, int>> before, opening;
        bool opens;
    } reopenings[] = {
        {"help, back, and help again: the article from the ring", "a1.txt", {{MSG_HELP, 0}, {MSG_BACK, 1}},
         {{MSG_HELP, 0}}, true},
        {"a link to the article on screen", "a1.txt", {{MSG_LINK_NEXT, NAV_LINE_DOWN}}, {{MSG_FOLLOW_LINK, 0}}, true},
        {"the look on screen", "a1.txt", {}, {{MSG_THEME, 1}}, false},
        {"help that the magazine lacks", "gone.txt", {}, {{MSG_HELP, 0}}, false},
    };
    for (const auto &c : reopenings) {
        g_magazine_config.helpArticle.set(c.help);
        history.clear();
        ASSERT_TRUE(history.open(name(0).c_str()));
        send({{MSG_MOUSE_MOVE, (int)makePosition(50, 10)}});
        send(c.before);
        shown();
        send(c.opening);
        ASSERT_EQ(c.opens, history.hasOlder()) << c.what;
        EXPECT_EQ("WN", shown()) << c.what;
        send({{MSG_MOUSE_MOVE, (int)makePosition(55, 12)}, {MSG_MOUSE_MOVE, (int)makePosition(60, 12)}});
        EXPECT_EQ(std::make_pair(std::string(), g_pointer_image),
                  std::make_pair(shown(), currentArticle->cursors[CURSOR_NORMAL])) << c.what;
    }
    // Moves from area to area: a link, a button and an edge show their own.
    add("pointy.txt", "<article scheme=p><link article=a0.txt desc=Home>home</link>");
    ASSERT_TRUE(history.open("pointy.txt"));
    const LinkRect on = currentArticle->links->rects[0];
    const struct { const char *what; int x, y; const char *pointer; } moves[] = {
        {"a link", 10 + on.x1 + 2, 30 + on.y1 + 2, "L"}, {"the title bar after the link", 50, 10, "N"},
        {"a button with a command", 65, 25, "B"}, {"the clock after the button", 160, 10, "N"},
        {"the top edge", 50, 2, "E"}, {"the status bar after the edge", 50, 150, "N"},
    };
    for (const auto &m : moves) {
        shown();
        send({{MSG_MOUSE_MOVE, (int)makePosition(m.x, m.y)}});
        EXPECT_EQ(m.pointer, shown()) << m.what;
    }
}

// Three links a row, "a0 b0 c0" on the first; the pointer rests on a link
// further down while the wheel and the keys move the view and the focus.
TEST_F(ViewFixture, AHeldButtonShowsTheDescriptionOfTheLinkUnderThePointer)
{
    std::string text = "<article scheme=s>";
    for (int row = 0; row < 30; row++) {
        text += "<br>";
        for (const char *c : {"a", "b", "c"})
            text += std::string("<link article=a1.txt desc=") + c + std::to_string(row) + ">" + c +
                    std::to_string(row) + "</link> ";
    }
    add("links.txt", text);
    ASSERT_TRUE(history.open("links.txt"));
    Article *a = currentArticle;
    Link *p = nullptr;
    for (Link *l = a->links; l; l = l->next)
        if (l->description.c_str() == std::string("b4"))
            p = l;
    ASSERT_NE(p, nullptr);
    const int x = 10 + p->rects[0].x1 + 2, y = 30 + p->rects[0].y1 + 2;
    ASSERT_LT(y, 130);
    const std::pair<int, int> messages[] = {
        {MSG_MOUSE_MOVE, (int)makePosition(x, y)}, {MSG_WHEEL, -1}, {MSG_NAVIGATE, NAV_HOME},
        {MSG_LINK_NEXT, NAV_LINE_DOWN}, {MSG_LINK_NEXT, NAV_LINE_DOWN}, {MSG_LINK_NEXT, NAV_LINE_DOWN},
        {MSG_LINK_NEXT, NAV_LINE_DOWN}, {MSG_LINK_NEXT, NAV_LINE_DOWN}};
    for (auto m : messages) {
        g_browser.handleMessage(m.first, m.second);
        pump();
    }
    ASSERT_EQ(std::make_pair(0, std::string("c1")), std::make_pair(a->scroll, std::string(a->focusedLink->description.c_str())));
    ASSERT_EQ(std::string("c1"), a->statusbarArea->text1.c_str());
    g_browser.handleMessage(MSG_MOUSE_DOWN, (int)makePosition(x, y));
    EXPECT_EQ(std::string("b4"), a->statusbarArea->text1.c_str());
    // The release follows that link.
    g_browser.handleMessage(MSG_MOUSE_UP, (int)makePosition(x, y));
    pump();
    EXPECT_EQ(std::string("a1.txt"), currentArticle->file->name.c_str());
}

TEST_F(ViewFixture, TheBackgroundIsNotPaintedUnderAPictureThatHidesIt)
{
    // After a wheel step the page (10, 30, 170 x 100) is painted once all
    // over: the background, then the picture at its own size. Under a picture
    // that hides everything behind it the background is left out; under one
    // with a transparent pixel, or stretched, it is painted.
    const std::vector<uint8_t> blue = makeBMP(60, 40, std::vector<uint32_t>(60 * 40, 0x336699), 24);
    std::vector<bool> mask(60 * 40, false);
    for (const char *picture : {"pic.bmp", "clear.bmp", "holey.bmp"})
        add(picture, blue);
    add("clear.msk", makeMaskBMP(60, 40, mask));
    mask[5 * 60 + 7] = true;
    add("holey.msk", makeMaskBMP(60, 40, mask));
    const struct { const char *img; bool backgroundUnder; } cases[] = {
        {"file=pic.bmp", false}, {"file=clear.bmp", false},
        {"file=holey.bmp", true}, {"file=pic.bmp width=90 height=60", true}};
    for (const auto &c : cases) {
        addArticle(17 + (int)(&c - cases), "s", c.img);
        ASSERT_TRUE(history.open(name(17 + (int)(&c - cases)).c_str())) << c.img;
        sys.clearCalls();
        g_browser.handleMessage(MSG_WHEEL, -1);
        // Page pixels painted by the background (x = iX, y = iY) and by the picture.
        std::vector<int> background(170 * 100), picture(170 * 100);
        for (const std::string &call : sys.calls) {
            int x, y, ix = -1, iy = -1, w, h;
            if (sscanf(call.c_str(), "blt %d %d %d %d %d %d", &x, &y, &ix, &iy, &w, &h) != 6 &&
                sscanf(call.c_str(), "strech %d %d %d %d", &x, &y, &w, &h) != 4)
                continue;
            std::vector<int> &paint = x == ix && y == iy ? background : picture;
            for (int py = std::max(y, 30); py < std::min(y + h, 130); py++)
                for (int px = std::max(x, 10); px < std::min(x + w, 180); px++)
                    paint[(size_t)(py - 30) * 170 + (size_t)(px - 10)]++;
        }
        int twice = 0, bare = 0, under = 0;
        for (size_t i = 0; i < background.size(); i++)
            twice += background[i] > 1, bare += background[i] + picture[i] == 0, under += background[i] && picture[i];
        EXPECT_EQ(std::make_tuple(0, 0, c.backgroundUnder), std::make_tuple(twice, bare, under > 0)) << c.img;
        history.back();
    }
}

// Column pages of an article laid out by hand, rows (top, bottom).
struct Columns : ViewFixture {
    Article *article = nullptr;
    void TearDown() override { delete article; ViewFixture::TearDown(); }
    void layOut(const std::vector<std::pair<uint32_t, uint32_t>> &rows)
    {
        delete article;
        article = new Article(nullptr);
        ASSERT_TRUE(article->applyScheme("cols"));
        for (auto &r : rows)
            article->addLine(new HorizLineToken(0, (int32_t)r.first, 10, 0xFF), r.first, r.second - r.first);
        article->finishLayout();
        ASSERT_FALSE(article->failed);
    }
    std::vector<uint32_t> firstLines() const
    {
        return std::vector<uint32_t>(article->columnFirstLine, article->columnFirstLine + article->totalColumns);
    }
};

TEST_F(Columns, PagesStartWhereARowPassesTheView)
{
    const struct {
        const char *what;
        std::vector<std::pair<uint32_t, uint32_t>> rows;
        std::vector<uint32_t> firstLines;
        int32_t secondTop;
    } cases[] = {
        {"the rows passing the view's bottom start pages", {{0, 100}, {100, 380}, {380, 420}, {420, 790}, {790, 810}},
         {0, 2, 3}, 380},
        {"a row taller than the view fills the first page", {{0, 500}, {500, 600}}, {0, 1}, 500},
    };
    for (const auto &c : cases) {
        layOut(c.rows);
        EXPECT_EQ(firstLines(), c.firstLines) << c.what;
        EXPECT_EQ(article->columnTop[1], c.secondTop) << c.what;
    }
}

TEST_F(Columns, DrawingHitTestsAndPrintingStopAtTheLastPage)
{
    layOut({{0, 100}, {100, 380}, {380, 420}});
    // More pages shown than exist past the first (as while a slide runs).
    article->column = 1;
    article->firstLine = 2;
    article->columns = 3;
    sys.clearCalls();
    article->drawLines(0, 0, 300, 400);
    EXPECT_EQ(sys.count("h_line"), 1u);
    // A point right of the last page is on no link.
    Link *link = new Link();
    link->addRect(0, 380, 100, 400);
    article->links = link;
    article->column = 0;
    article->columns = 2;
    EXPECT_TRUE(article->linkContains(link, 50 + 160, 10));
    EXPECT_FALSE(article->linkContains(link, 50 + 3 * 160, 10));
    // Printed pages are at least one row high.
    article->columns = 0;
    uint32_t pages = 0, width = 0, height = 0;
    uint32_t pageHeight = article->pageMetrics(0.001, pages, width, height);
    EXPECT_EQ(std::make_pair(1u, 420u), std::make_pair(pageHeight, pages));
}

} // namespace
