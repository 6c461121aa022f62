// Moving the article view in its three scroll modes, over the recording
// System: where the view ends up, which line is the first drawn, the
// animation of page moves, wheel steps, scroll bar jumps, the link focus
// and the sounds queued on the way.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>

#include <random>
#include <vector>

#include "Areas.h"
#include "Article.h"
#include "Browser.h"
#include "FakeSystem.h"
#include "Link.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "Playlist.h"
#include "Token.h"

namespace {

SampleHandle sound(uintptr_t n) { return reinterpret_cast<SampleHandle>(n); }
const SampleHandle kLine = sound(0x100), kPage = sound(0x200), kLink = sound(0x300);

// A shown article of `count` rows of 20 pixels in a view 300 high.
struct NavFixture : ::testing::Test {
    FakeSystemScope scope;
    FakeSystem &sys = scope.sys;
    Article *a = new Article(nullptr);

    void SetUp() override
    {
        g_magazine_config.reset();
        g_magazine_config.userFlags[USER_FLAG_EFFECTS - 4] = 0;
        g_playlist.pendingSound = nullptr;
        g_playlist.themeSounds[SOUND_LINE] = kLine;
        g_playlist.themeSounds[SOUND_PAGE] = kPage;
        g_playlist.themeSounds[SOUND_LINK] = kLink;
        currentArticle = a;
        a->pageArea = new PageArea(10, 20, 200, 300, nullptr, nullptr, nullptr);
        a->areas = a->pageArea;
        a->pageWidth = 200;
        a->viewHeight = 300;
        a->lineStep = 20;
        a->pageOverlap = 20;
        a->animDuration = 200;
    }
    void TearDown() override
    {
        currentArticle = nullptr;
        delete a;
        g_playlist.reset();
        g_playlist.pendingSound = nullptr;
    }
    // A new, empty article in place of the shown one.
    void fresh()
    {
        TearDown();
        a = new Article(nullptr);
        SetUp();
    }
    void rows(uint32_t count)
    {
        for (uint32_t i = 0; i < count; i++)
            a->addLine(new Token(TOKEN_STRING, 0, (int32_t)i * 20, 10, 16, 4), i * 20, 20);
        a->documentHeight = (int32_t)count * 20;
    }
    // Column pages of 15 rows (300 pixels) each, `shown` side by side.
    void columnPages(uint32_t total, uint32_t shown)
    {
        rows(total * 15);
        a->columns = shown;
        a->columnWidth = 90;
        a->columnGap = 20;
        a->totalColumns = total;
        a->columnFirstLine = new uint32_t[total];
        a->columnTop = new int32_t[total];
        for (uint32_t c = 0; c < total; c++) {
            a->columnFirstLine[c] = c * 15;
            a->columnTop[c] = (int32_t)c * 300;
        }
    }
    void showColumn(uint32_t c)
    {
        a->column = c;
        a->firstLine = a->columnFirstLine[c];
        a->scroll = a->columnTop[c];
    }
    // A link of the article with one rectangle (owned by the article).
    Link *link(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t flags = 0)
    {
        Link *l = new Link;
        l->addRect(x1, y1, x2, y2);
        l->flags = flags;
        Link **end = &a->links;
        while (*end) {
            l->previous = *end;
            end = &(*end)->next;
        }
        *end = l;
        return l;
    }
    void effects(bool on) { g_magazine_config.userFlags[USER_FLAG_EFFECTS - 4] = on ? 1 : 0; }
};

TEST_F(NavFixture, SetScrollClampsAndSnapsToWholeViews)
{
    // No rows at all: the first line stays 0 whatever the position.
    a->documentHeight = 1000;
    const struct {
        uint32_t columns;
        int32_t from, to, expected;
    } cases[] = {
        {1, 0, 950, 900},  {1, 0, 1000, 900}, {1, 0, 5000, 900},  {1, 0, 149, 0},
        {1, 0, 150, 300},  {1, 600, -50, 0},  {1, 900, 1000, 900}, {1, 300, 449, 300},
        {0, 0, 950, 701},  {0, 0, 350, 350},  {0, 500, -30, 0},    {0, 701, 800, 701},
    };
    for (const auto &c : cases) {
        a->columns = c.columns;
        a->scroll = c.from;
        a->redraw = false;
        a->setScroll(c.to, false);
        EXPECT_EQ(c.expected, a->scroll) << c.columns << ": " << c.from << " -> " << c.to;
        EXPECT_EQ(c.expected != c.from, a->redraw) << c.columns << ": " << c.from << " -> " << c.to;
        EXPECT_EQ(0u, a->firstLine);
    }
}

TEST_F(NavFixture, SetScrollWalksTheFirstLineWithinTheIndex)
{
    rows(50);                 // bottoms 20, 40 .. 1000
    a->documentHeight = 5000; // the document goes on below the rows
    const struct {
        int32_t to;
        uint32_t firstLine;
    } cases[] = {
        {300, 14},  // the first row reaching the view's top
        {250, 11},  // back up: a row ending above the top
        {0, 0},     {4000, 49}, // never past the last row
        {990, 48},  {20, 0},
    };
    for (const auto &c : cases) {
        a->setScroll(c.to, false);
        EXPECT_EQ(c.to, a->scroll);
        EXPECT_EQ(c.firstLine, a->firstLine) << c.to;
    }
}

TEST_F(NavFixture, ColumnPageMoves)
{
    const struct {
        const char *what;
        uint32_t total, shown, from;
        int code;
        uint32_t to;
        SampleHandle sound;
    } cases[] = {
        {"page down a full view", 5, 2, 0, NAV_PAGE_DOWN, 2, kPage},
        {"page down to the last view only", 5, 2, 2, NAV_PAGE_DOWN, 3, kPage},
        {"page down at the end", 5, 2, 3, NAV_PAGE_DOWN, 3, nullptr},
        {"page up a full view", 5, 2, 3, NAV_PAGE_UP, 1, kPage},
        {"page up to the start", 5, 2, 1, NAV_PAGE_UP, 0, kPage},
        {"page up at the start", 5, 2, 0, NAV_PAGE_UP, 0, nullptr},
        {"right by a column", 5, 2, 0, NAV_RIGHT, 1, kLine},
        {"down by a column", 5, 2, 2, NAV_LINE_DOWN, 3, kLine},
        {"down at the end", 5, 2, 3, NAV_LINE_DOWN, 3, nullptr},
        {"left by a column", 5, 2, 2, NAV_LEFT, 1, kLine},
        {"up at the start", 5, 2, 0, NAV_LINE_UP, 0, nullptr},
        {"end", 5, 2, 0, NAV_END, 3, kPage},
        {"home", 5, 2, 3, NAV_HOME, 0, kPage},
        {"step does nothing", 5, 2, 1, NAV_STEP, 1, nullptr},
        {"fewer pages than shown", 1, 2, 0, NAV_PAGE_DOWN, 0, nullptr},
        {"three shown", 7, 3, 1, NAV_PAGE_DOWN, 4, kPage},
    };
    for (const auto &c : cases) {
        fresh();
        columnPages(c.total, c.shown);
        showColumn(c.from);
        a->navigate(c.code);
        EXPECT_EQ(c.to, a->column) << c.what;
        EXPECT_EQ(c.to * 15, a->firstLine) << c.what;
        EXPECT_EQ((int32_t)c.to * 300, a->scroll) << c.what;
        EXPECT_EQ(0, a->xOffset) << c.what;
        EXPECT_EQ(c.sound, g_playlist.pendingSound) << c.what;
    }
}

TEST_F(NavFixture, WheelPageStepsAreThePageKeysInEveryMode)
{
    for (uint32_t columns : {0u, 1u, 2u}) {
        std::vector<int32_t> byKey, byWheel;
        for (bool wheel : {false, true}) {
            fresh();
            columnPages(5, columns == 0 ? 2 : columns);
            a->columns = columns;
            showColumn(columns >= 2 ? 2 : 0);
            if (columns < 2)
                a->setScroll(600, false);
            std::vector<int32_t> &seen = wheel ? byWheel : byKey;
            for (int up : {1, 0}) {
                if (wheel)
                    a->scrollBy(up ? 0xFFF : -0xFFF);
                else
                    a->navigate(up ? NAV_PAGE_UP : NAV_PAGE_DOWN);
                seen.push_back(a->scroll);
                seen.push_back((int32_t)a->column);
            }
        }
        EXPECT_EQ(byKey, byWheel) << columns;
    }
}

TEST_F(NavFixture, PageMovesAnimateWithEffectsAndEndOnTheirTarget)
{
    rows(50);
    const struct {
        bool effects;
        int32_t duration;
        bool animates;
    } cases[] = {{true, 200, true}, {false, 200, false}, {true, 0, false}};
    for (const auto &c : cases) {
        effects(c.effects);
        a->animDuration = c.duration;
        a->setScroll(0, false);
        sys.ticks = 1000;
        sys.clearCalls();
        a->navigate(NAV_PAGE_DOWN);
        EXPECT_EQ(c.animates, a->animating);
        if (c.animates) {
            EXPECT_TRUE(a->pageTurnStep()); // no time has passed yet
            sys.ticks = 1100;
            EXPECT_TRUE(a->pageTurnStep());
            EXPECT_EQ(140, a->scroll); // halfway
            sys.ticks = 1250;
        }
        EXPECT_FALSE(a->pageTurnStep());
        EXPECT_FALSE(a->animating);
        EXPECT_EQ(280, a->scroll) << c.effects << c.duration;
        EXPECT_EQ(13u, a->firstLine); // the row ending at the view's top
        EXPECT_EQ(kPage, g_playlist.pendingSound);
    }
}

TEST_F(NavFixture, ColumnSlideShiftsThePagesAndEndsOnTheNewColumn)
{
    columnPages(5, 2);
    effects(true);
    sys.ticks = 500;
    a->navigate(NAV_PAGE_DOWN); // two columns of 110 pixels to the left
    ASSERT_TRUE(a->animating);
    EXPECT_EQ(0u, a->column);
    sys.ticks = 550;
    EXPECT_TRUE(a->pageTurnStep());
    EXPECT_EQ(55, a->xOffset);
    EXPECT_EQ(2u, a->columns); // four were drawn; put back afterwards
    sys.ticks = 700;
    EXPECT_FALSE(a->pageTurnStep());
    EXPECT_EQ(2u, a->column);
    EXPECT_EQ(0, a->xOffset);
    EXPECT_EQ(600, a->scroll);
}

TEST_F(NavFixture, InterpolationOfFarMovesDoesNotOverflow)
{
    a->documentHeight = 2100000000;
    a->animDuration = 10000;
    effects(true);
    sys.ticks = 1;
    a->setScroll(2000000000, true);
    sys.ticks = 5001;
    EXPECT_TRUE(a->pageTurnStep());
    EXPECT_EQ(1000000000, a->scroll);
}

TEST_F(NavFixture, WheelStepsAreShownAndHeardOneByOne)
{
    rows(50);
    a->scrollBy(-3);
    EXPECT_EQ(60, a->scroll);
    EXPECT_EQ(3u, sys.count("flip"));
    EXPECT_EQ(3u, sys.count("play_sound"));
    EXPECT_EQ(nullptr, g_playlist.pendingSound);
    EXPECT_FALSE(a->redraw);
    a->scrollBy(2);
    EXPECT_EQ(20, a->scroll);
    // Towards the end the steps stop where the view stops.
    sys.clearCalls();
    a->scrollBy(-1000000);
    EXPECT_EQ(701, a->scroll);
    EXPECT_EQ(35u, sys.count("flip"));
}

TEST_F(NavFixture, ScrollBarJumpsPickTheColumnPageAtTheViewsMiddle)
{
    const struct {
        uint32_t total;
        int32_t position;
        uint32_t column;
    } cases[] = {{5, 0, 0},   {5, 149, 0},  {5, 150, 1},  {5, 449, 1},    {5, 450, 2},
                 {5, 800, 3}, {5, 5000, 3}, {5, -500, 0}, {1, 5000, 0}}; // fewer pages than shown
    for (const auto &c : cases) {
        fresh();
        columnPages(c.total, 2);
        a->jumpTo(c.position);
        EXPECT_EQ(c.column, a->column) << c.total << ": " << c.position;
        EXPECT_EQ((int32_t)c.column * 300, a->scroll) << c.total << ": " << c.position;
    }
}

TEST_F(NavFixture, KeyboardOrderAndTheLinkUnderThePointer)
{
    rows(50);
    Link *right = link(60, 40, 100, 60);
    Link *left = link(0, 40, 50, 60);
    Link *below = link(0, 80, 40, 100, Link::FLAG_NO_SOUND);
    Link *away = link(0, 700, 40, 720);
    a->updateVisibleLinks();
    // Left to right, then down; links out of view take no part.
    std::vector<Link *> order;
    while (a->focusNextLink(true))
        order.push_back(a->focusedLink);
    EXPECT_EQ((std::vector<Link *>{left, right, below}), order);
    EXPECT_EQ(nullptr, away->previousVisible);

    a->focusedLink = nullptr;
    g_playlist.pendingSound = nullptr;
    const struct {
        int x, y;
        Link *hit;
        SampleHandle sound;
    } cases[] = {
        {50, 60, left, kLink},    // the last column and the row below the text
        {51, 50, nullptr, nullptr},
        {60, 40, right, kLink},
        {40, 100, below, nullptr}, // a link without its focus sound
        {40, 101, nullptr, nullptr},
    };
    for (const auto &c : cases) {
        g_playlist.pendingSound = nullptr;
        EXPECT_EQ(c.hit, a->linkAt(c.x, c.y)) << c.x << "," << c.y;
        EXPECT_EQ(c.sound, g_playlist.pendingSound) << c.x << "," << c.y;
        if (c.hit) {
            EXPECT_EQ(c.hit, a->focusedLink);
        }
    }
    // Page coordinates follow the scroll position.
    a->setScroll(40, false);
    EXPECT_EQ(left, a->linkAt(0, 0));
}

TEST_F(NavFixture, LineUpAtTheTopFocusesTheTopLinkWithOneSound)
{
    rows(50);
    Link *first = link(0, 40, 50, 60);
    link(0, 80, 50, 100);
    a->updateVisibleLinks();
    a->navigate(NAV_LINE_UP);
    EXPECT_EQ(0, a->scroll);
    EXPECT_EQ(first, a->focusedLink);
    EXPECT_EQ(kLink, g_playlist.pendingSound);
    g_playlist.pendingSound = nullptr;
    a->navigate(NAV_LINE_UP);
    EXPECT_EQ(nullptr, g_playlist.pendingSound); // the focus did not change
}

TEST_F(NavFixture, MovesSettleTheFocus)
{
    rows(50);
    Link *top = link(0, 40, 50, 60);
    Link *next = link(0, 100, 50, 120);
    Link *later = link(0, 400, 50, 420);
    a->updateVisibleLinks();
    // A line down with a focused link moves the focus to the next link.
    ASSERT_TRUE(a->selectLink(top, false));
    a->navigate(NAV_LINE_DOWN);
    EXPECT_EQ(20, a->scroll);
    EXPECT_EQ(next, a->focusedLink);
    EXPECT_EQ(kLine, g_playlist.pendingSound);
    // A page down focuses the top-most link of the new view.
    a->navigate(NAV_PAGE_DOWN);
    EXPECT_EQ(300, a->scroll);
    EXPECT_EQ(later, a->focusedLink);
    EXPECT_EQ(kPage, g_playlist.pendingSound);
    // A step keeps the focus while the link stays in view, else drops it.
    a->navigate(NAV_STEP);
    EXPECT_EQ(later, a->focusedLink);
    for (int i = 0; i < 120; i++)
        a->navigate(NAV_STEP);
    EXPECT_EQ(nullptr, a->focusedLink);
    // Home focuses the top link of the article.
    g_playlist.pendingSound = nullptr;
    a->navigate(NAV_HOME);
    EXPECT_EQ(0, a->scroll);
    EXPECT_EQ(top, a->focusedLink);
    EXPECT_EQ(kPage, g_playlist.pendingSound);
}

TEST_F(NavFixture, RandomMovesKeepTheViewInsideTheArticle)
{
    std::mt19937 rng(1234);
    for (uint32_t columns : {0u, 1u, 2u, 3u}) {
        for (int round = 0; round < 4; round++) {
            fresh();
            uint32_t pages = rng() % 6 + 1;
            columnPages(pages, columns < 2 ? 2 : columns);
            a->columns = columns;
            a->lineStep = (int32_t)(rng() % 40);
            a->pageOverlap = (int32_t)(rng() % 400);
            for (int i = 0; i < 6; i++)
                link((int32_t)(rng() % 150), (int32_t)(rng() % (pages * 300)), 180, (int32_t)(rng() % (pages * 300)) + 10);
            a->updateVisibleLinks();
            for (int step = 0; step < 400; step++) {
                effects(rng() % 2);
                sys.ticks += rng() % 300;
                switch (rng() % 6) {
                case 0: a->navigate((int)(rng() % 11)); break;
                case 1: a->scrollBy((int)(rng() % 9) - 4); break;
                case 2: a->jumpTo((int32_t)(rng() % 4000) - 500); break;
                case 3: // the scroll primitive serves the single-column modes
                    if (columns < 2)
                        a->setScroll((int32_t)(rng() % 4000) - 500, rng() % 2);
                    break;
                case 4: a->linkAt((int32_t)(rng() % 400), (int32_t)(rng() % 400)); break;
                default: a->pageTurnStep(); break;
                }
                // As on screen, a page turn ends before the next input.
                sys.ticks += 1000;
                a->pageTurnStep();
                std::string where = std::to_string(columns) + "/" + std::to_string(round) + "/" + std::to_string(step);
                ASSERT_LT(a->firstLine, a->lineCount) << where;
                // No line above the first drawn one reaches into the view.
                if (a->firstLine > 0 && columns < 2) {
                    ASSERT_LE((int32_t)a->lines[a->firstLine - 1].bottom, a->scroll) << where;
                }
                if (columns == 0) {
                    ASSERT_GE(a->scroll, 0) << where;
                    ASSERT_LE(a->scroll, std::max(a->documentHeight - a->viewHeight + 1, 0)) << where;
                } else if (columns == 1) {
                    ASSERT_EQ(0, a->scroll % a->viewHeight) << where;
                    ASSERT_TRUE(a->scroll == 0 || a->scroll < a->documentHeight) << where;
                } else {
                    ASSERT_LE(a->column + std::min(columns, pages), std::max(pages, columns)) << where;
                    ASSERT_EQ(a->columnTop[a->column], a->scroll) << where;
                    ASSERT_EQ(a->columnFirstLine[a->column], a->firstLine) << where;
                    ASSERT_EQ(0, a->xOffset) << where;
                }
            }
        }
    }
}

} // namespace
