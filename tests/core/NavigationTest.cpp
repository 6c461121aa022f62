// Moving the article view in its three scroll modes over the recording System.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
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

// A shown article of rows of 20 pixels in a view 300 high.
struct NavFixture : ::testing::Test {
    FakeSystemScope scope;
    FakeSystem &sys = scope.sys;
    Article *a = new Article(nullptr);

    void SetUp() override
    {
        g_magazine_config.reset();
        effects(false);
        g_playlist.pendingSound = nullptr;
        g_playlist.themeSounds[SOUND_LINE] = kLine;
        g_playlist.themeSounds[SOUND_PAGE] = kPage;
        g_playlist.themeSounds[SOUND_LINK] = kLink;
        currentArticle = a;
        a->areas = a->pageArea = new PageArea(10, 20, 200, 300, nullptr, nullptr, nullptr);
        a->pageWidth = 200;
        a->viewHeight = 300;
        a->lineStep = a->pageOverlap = 20;
        a->animDuration = 200;
    }
    void TearDown() override
    {
        currentArticle = nullptr;
        delete a;
        g_playlist.reset();
        g_playlist.pendingSound = nullptr;
    }
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
    // Column pages of 15 rows (300 pixels) each, `shown` side by side, from `from` on.
    void columnPages(uint32_t total, uint32_t shown, uint32_t from = 0)
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
        a->column = from;
        a->firstLine = from * 15;
        a->scroll = (int32_t)from * 300;
    }
    Link *link(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t flags = 0)
    {
        Link *l = new Link;
        l->addRect(x1, y1, x2, y2);
        l->flags = flags;
        Link **end = &a->links;
        for (; *end; end = &(*end)->next)
            l->previous = *end;
        return *end = l;
    }
    void effects(bool on) { g_magazine_config.userFlags[USER_FLAG_EFFECTS - 4] = on; }
};

TEST_F(NavFixture, SetScrollClampsSnapsAndWalksTheFirstLine)
{
    a->documentHeight = 1000;
    const struct { uint32_t columns; int32_t from, to, expected; } cases[] = {
        {1, 0, 950, 900}, {1, 0, 5000, 900}, {1, 0, 149, 0},     {1, 0, 150, 300},   {1, 600, -50, 0},
        {1, 900, 1000, 900}, {1, 300, 449, 300}, {0, 0, 950, 701}, {0, 0, 350, 350}, {0, 500, -30, 0},
        {0, 701, 800, 701},
    };
    for (const auto &c : cases) {
        a->columns = c.columns;
        a->scroll = c.from;
        a->redraw = false;
        a->setScroll(c.to, false);
        EXPECT_EQ(c.expected, a->scroll) << c.columns << ": " << c.from << " -> " << c.to;
        EXPECT_EQ(c.expected != c.from, a->redraw) << c.columns << ": " << c.from << " -> " << c.to;
    }
    fresh();
    rows(50);                 // bottoms 20, 40 .. 1000
    a->documentHeight = 5000; // the document goes on below the rows
    // The first row reaching the view's top, back up, never past the last row.
    for (auto c : {std::make_pair(300, 14u), {250, 11u}, {0, 0u}, {4000, 49u}, {990, 48u}, {20, 0u}}) {
        a->setScroll(c.first, false);
        EXPECT_EQ(std::make_pair(c.first, c.second), std::make_pair(a->scroll, a->firstLine));
    }
}

TEST_F(NavFixture, ColumnPageMoves)
{
    const struct { uint32_t total, shown, from; int code; uint32_t to; SampleHandle sound; } cases[] = {
        {5, 2, 0, NAV_PAGE_DOWN, 2, kPage}, {5, 2, 2, NAV_PAGE_DOWN, 3, kPage}, // to the last view only
        {5, 2, 3, NAV_PAGE_DOWN, 3, nullptr}, {5, 2, 3, NAV_PAGE_UP, 1, kPage},
        {5, 2, 1, NAV_PAGE_UP, 0, kPage},     {5, 2, 0, NAV_PAGE_UP, 0, nullptr},
        {5, 2, 0, NAV_RIGHT, 1, kLine},       {5, 2, 2, NAV_LINE_DOWN, 3, kLine},
        {5, 2, 3, NAV_LINE_DOWN, 3, nullptr}, {5, 2, 2, NAV_LEFT, 1, kLine},
        {5, 2, 0, NAV_END, 3, kPage},         {5, 2, 3, NAV_HOME, 0, kPage},
        {5, 2, 1, NAV_STEP, 1, nullptr},      {1, 2, 0, NAV_PAGE_DOWN, 0, nullptr}, // fewer than shown
        {7, 3, 1, NAV_PAGE_DOWN, 4, kPage},
    };
    for (const auto &c : cases) {
        fresh();
        columnPages(c.total, c.shown, c.from);
        a->navigate(c.code);
        std::string what = std::to_string(c.total) + "/" + std::to_string(c.from) + " " + std::to_string(c.code);
        // Column, first line, scroll position and sideways offset.
        EXPECT_EQ((std::vector<int64_t>{c.to, c.to * 15, c.to * 300, 0}),
                  (std::vector<int64_t>{a->column, a->firstLine, a->scroll, a->xOffset})) << what;
        EXPECT_EQ(c.sound, g_playlist.pendingSound) << what;
    }
}

TEST_F(NavFixture, WheelPageStepsAreThePageKeysInEveryMode)
{
    for (uint32_t columns : {0u, 1u, 2u}) {
        std::vector<int32_t> seen[2];
        for (int wheel : {0, 1}) {
            fresh();
            columnPages(5, columns == 0 ? 2 : columns, columns >= 2 ? 2 : 0);
            a->columns = columns;
            if (columns < 2)
                a->setScroll(600, false);
            for (int up : {1, 0}) {
                if (wheel)
                    a->scrollBy(up ? 0xFFF : -0xFFF);
                else
                    a->navigate(up ? NAV_PAGE_UP : NAV_PAGE_DOWN);
                seen[wheel].push_back(a->scroll);
                seen[wheel].push_back((int32_t)a->column);
            }
        }
        EXPECT_EQ(seen[0], seen[1]) << columns;
    }
}

TEST_F(NavFixture, PageMovesAnimateWithEffectsAndEndOnTheirTarget)
{
    rows(50);
    const struct { bool effects; int32_t duration; } cases[] = {{true, 200}, {false, 200}, {true, 0}};
    for (const auto &c : cases) {
        effects(c.effects);
        a->animDuration = c.duration;
        a->setScroll(0, false);
        sys.ticks = 1000;
        a->navigate(NAV_PAGE_DOWN);
        bool animates = c.effects && c.duration;
        EXPECT_EQ(animates, a->animating);
        if (animates) {
            EXPECT_TRUE(a->pageTurnStep()); // no time has passed yet
            sys.ticks = 1100;
            EXPECT_TRUE(a->pageTurnStep());
            EXPECT_EQ(140, a->scroll); // halfway
            sys.ticks = 1250;
        }
        EXPECT_FALSE(a->pageTurnStep());
        // The row ending at the view's top is the first drawn.
        EXPECT_EQ(std::make_tuple(280, 13u, kPage), std::make_tuple(a->scroll, a->firstLine, g_playlist.pendingSound))
            << c.effects << c.duration;
    }
    // Far moves interpolate without overflow.
    fresh();
    a->documentHeight = 2100000000;
    a->animDuration = 10000;
    effects(true);
    sys.ticks = 1;
    a->setScroll(2000000000, true);
    sys.ticks = 5001;
    EXPECT_TRUE(a->pageTurnStep());
    EXPECT_EQ(1000000000, a->scroll);
    // Column pages slide sideways and end on the new column.
    fresh();
    columnPages(5, 2);
    effects(true);
    sys.ticks = 500;
    a->navigate(NAV_PAGE_DOWN); // two columns of 110 pixels to the left
    ASSERT_TRUE(a->animating);
    EXPECT_EQ(0u, a->column);
    sys.ticks = 550;
    EXPECT_TRUE(a->pageTurnStep());
    EXPECT_EQ(std::make_pair(55, 2u), std::make_pair(a->xOffset, a->columns)); // four were drawn; put back afterwards
    sys.ticks = 700;
    EXPECT_FALSE(a->pageTurnStep());
    EXPECT_EQ(std::make_tuple(2u, 0, 600), std::make_tuple(a->column, a->xOffset, a->scroll));
}

TEST_F(NavFixture, WheelStepsAreShownAndHeardOneByOneAndJumpsPickTheMiddlePage)
{
    rows(50);
    a->scrollBy(-3);
    EXPECT_EQ(std::make_tuple(60, (size_t)3, (size_t)3), std::make_tuple(a->scroll, sys.count("flip"), sys.count("play_sound")));
    EXPECT_TRUE(!g_playlist.pendingSound && !a->redraw);
    a->scrollBy(2);
    EXPECT_EQ(20, a->scroll);
    sys.clearCalls();
    a->scrollBy(-1000000); // the steps stop where the view stops
    EXPECT_EQ(std::make_pair(701, (size_t)35), std::make_pair(a->scroll, sys.count("flip")));
    // Scroll bar jumps in column mode: the page at the view's middle.
    const int32_t position[] = {149, 150, 449, 450, 800, 5000, -500, 5000};
    const uint32_t column[] = {0, 1, 1, 2, 3, 3, 0, 0};
    for (int i = 0; i < 8; i++) {
        fresh();
        columnPages(i == 7 ? 1 : 5, 2); // the last: fewer pages than shown
        a->jumpTo(position[i]);
        EXPECT_EQ(std::make_pair(column[i], (int32_t)column[i] * 300), std::make_pair(a->column, a->scroll)) << position[i];
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
    const struct { int x, y; Link *hit; SampleHandle sound; } cases[] = {
        {50, 60, left, kLink}, // the last column and the row below the text
        {51, 50, nullptr, nullptr}, {60, 40, right, kLink},
        {40, 100, below, nullptr}, // a link without its focus sound
        {40, 101, nullptr, nullptr},
    };
    for (const auto &c : cases) {
        g_playlist.pendingSound = nullptr;
        Link *hit = a->linkAt(c.x, c.y);
        EXPECT_EQ(std::make_pair(c.hit, c.sound), std::make_pair(hit, g_playlist.pendingSound)) << c.x << "," << c.y;
        EXPECT_TRUE(!c.hit || c.hit == a->focusedLink) << c.x << "," << c.y;
    }
    a->setScroll(40, false); // page coordinates follow the scroll position
    EXPECT_EQ(left, a->linkAt(0, 0));
}

TEST_F(NavFixture, KeyboardOrderKeepsTiesInDocumentOrder)
{
    // Given out of order: equal places keep the markup's order; a link
    // reaching left of the page comes first on its row.
    rows(50);
    Link *below = link(0, 80, 40, 100), *tie = link(10, 40, 50, 60), *tieToo = link(10, 40, 50, 60);
    Link *leftOfPage = link(-30, 40, 0, 60), *higher = link(200, -10, 240, 30);
    a->updateVisibleLinks();
    std::vector<Link *> order;
    for (Link *l = a->topVisibleLink; l; l = l->nextVisible)
        order.push_back(l);
    EXPECT_EQ((std::vector<Link *>{higher, leftOfPage, tie, tieToo, below}), order);
}

TEST_F(NavFixture, MovesSettleTheFocus)
{
    rows(50);
    Link *top = link(0, 40, 50, 60);
    Link *next = link(0, 100, 50, 120);
    Link *later = link(0, 400, 50, 420);
    a->updateVisibleLinks();
    const SampleHandle unchecked = sound(1);
    const struct { const char *what; int code, times; int32_t scroll; Link *focus; SampleHandle sound; } steps[] = {
        {"line up at the top focuses the top link", NAV_LINE_UP, 1, 0, top, kLink},
        {"again: the focus did not change, no sound", NAV_LINE_UP, 1, 0, top, nullptr},
        {"line down moves the focus to the next link", NAV_LINE_DOWN, 1, 20, next, kLine},
        {"page down focuses the top-most link of the new view", NAV_PAGE_DOWN, 1, 300, later, kPage},
        {"a step keeps the focus while the link stays in view", NAV_STEP, 1, -1, later, unchecked},
        {"and drops it when the link has left", NAV_STEP, 120, -1, nullptr, unchecked},
        {"home focuses the top link of the article", NAV_HOME, 1, 0, top, kPage},
    };
    for (const auto &step : steps) {
        g_playlist.pendingSound = nullptr;
        for (int i = 0; i < step.times; i++)
            a->navigate(step.code);
        EXPECT_TRUE(step.scroll < 0 || step.scroll == a->scroll) << step.what << ": " << a->scroll; // -1: not checked
        EXPECT_EQ(step.focus, a->focusedLink) << step.what;
        EXPECT_TRUE(step.sound == unchecked || step.sound == g_playlist.pendingSound) << step.what;
    }
}

TEST_F(NavFixture, RandomMovesKeepTheViewInsideTheArticle)
{
    std::mt19937 rng(1234);
    auto any = [&](int n) { return (int32_t)(rng() % (uint32_t)n); };
    for (uint32_t columns : {0u, 1u, 2u, 3u}) {
        for (int round = 0; round < 4; round++) {
            fresh();
            uint32_t pages = rng() % 6 + 1;
            columnPages(pages, columns < 2 ? 2 : columns);
            a->columns = columns;
            a->lineStep = any(40);
            a->pageOverlap = any(400);
            for (int i = 0; i < 6; i++)
                link(any(150), any(pages * 300), 180, any(pages * 300) + 10);
            a->updateVisibleLinks();
            for (int step = 0; step < 400; step++) {
                effects(rng() % 2);
                sys.ticks += rng() % 300;
                switch (rng() % 6) {
                case 0: a->navigate(any(11)); break;
                case 1: a->scrollBy(any(9) - 4); break;
                case 2: a->jumpTo(any(4000) - 500); break;
                case 3: // the scroll primitive serves the single-column modes
                    if (columns < 2)
                        a->setScroll(any(4000) - 500, rng() % 2);
                    break;
                case 4: a->linkAt(any(400), any(400)); break;
                default: a->pageTurnStep(); break;
                }
                sys.ticks += 1000; // as on screen, a page turn ends before the next input
                a->pageTurnStep();
                std::string where = std::to_string(columns) + "/" + std::to_string(round) + "/" + std::to_string(step);
                ASSERT_LT(a->firstLine, a->lineCount) << where;
                // No line above the first drawn one reaches into the view.
                ASSERT_TRUE(a->firstLine == 0 || columns >= 2 || (int32_t)a->lines[a->firstLine - 1].bottom <= a->scroll)
                    << where;
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

TEST_F(NavFixture, DownReachesEveryLinkOnceColumnByColumn)
{
    columnPages(6, 2); // a link every third row, six pages shown two at a time
    std::vector<Link *> all;
    for (int row = 0; row < 90; row += 3)
        all.push_back(link(0, row * 20, 50, row * 20 + 20));
    a->updateVisibleLinks();
    for (bool down : {true, false}) { // the way up starts on the last link
        std::vector<Link *> seen(a->focusedLink ? 1 : 0, a->focusedLink);
        for (int i = 0; i < 60 && seen.size() < all.size(); i++) {
            if (!a->focusNextLink(down))
                a->navigate(down ? NAV_LINE_DOWN : NAV_LINE_UP);
            if (seen.empty() || seen.back() != a->focusedLink)
                seen.push_back(a->focusedLink);
        }
        EXPECT_EQ(down ? all : std::vector<Link *>(all.rbegin(), all.rend()), seen) << down;
    }
}

TEST_F(NavFixture, WhenTheViewMovesUnderTheRestingPointerAKeysFocusStaysAndAHoverFollows)
{
    // The pointer rests on the right page's third row; a link on every row.
    const int x = 10 + 110 + 20, y = 20 + 50;
    const struct { const char *what; bool keys; int lit, under; } cases[] = {
        {"the keys lit the right page's last link: it stays lit; a click follows the link now under the pointer",
         true, 29, 32},
        {"the pointer lit the link: the hover follows the view", false, 32, 32},
    };
    for (const auto &c : cases) {
        fresh();
        columnPages(6, 2);
        std::vector<Link *> all;
        for (int row = 0; row < 90; row++)
            all.push_back(link(0, row * 20, 50, row * 20 + 19));
        a->updateVisibleLinks();
        a->handleMouse(MSG_MOUSE_MOVE, x, y);
        ASSERT_EQ(all[17], a->focusedLink) << c.what;
        if (c.keys)
            a->selectLink(all[29], false);
        a->navigate(NAV_LINE_DOWN); // one page to the left
        a->hoverAgain(x, y);
        EXPECT_EQ(all[c.lit], a->focusedLink) << c.what;
        EXPECT_EQ(all[c.under], a->pageArea->link) << c.what;
    }
}

TEST_F(NavFixture, PageMovesGoTheirOwnWayWhateverTheOverlap)
{
    rows(100); // 2000 pixels
    const struct { uint32_t columns; int32_t overlap, from; int code; int32_t to; } cases[] = {
        {0, 400, 500, NAV_PAGE_DOWN, 520}, {0, 400, 500, NAV_PAGE_UP, 480}, // a line each way
        {0, 300, 500, NAV_PAGE_DOWN, 520}, {0, 20, 500, NAV_PAGE_DOWN, 780},
        {1, 400, 600, NAV_PAGE_DOWN, 900}, {1, 400, 600, NAV_PAGE_UP, 300},
    };
    for (const auto &c : cases) {
        a->columns = c.columns, a->pageOverlap = c.overlap, a->scroll = c.from;
        a->navigate(c.code);
        EXPECT_EQ(c.to, a->scroll) << c.columns << " " << c.overlap << " " << c.code;
    }
}

TEST_F(NavFixture, TheFirstPixelColumnOfTheSecondPageHitsItsLink)
{
    columnPages(5, 2, 1);                 // pages 1 and 2 shown, page 2 from x = 110
    Link *second = link(0, 600, 40, 620); // the first link of page 2
    a->updateVisibleLinks();
    for (auto c : {std::make_pair(109, (Link *)nullptr), {110, second}, {150, second}, {151, nullptr}})
        EXPECT_EQ(c.second, a->linkAt(c.first, 10)) << c.first;
}

TEST_F(NavFixture, AutoscrollStepsByModeAndTheEdgeDelay)
{
    // The step posted and the ticks until the next one, by edge and mode.
    const struct { int mode; uint32_t columns; int code, every; } cases[] = {
        {1, 0, NAV_PAGE_UP, 6},   {1, 2, NAV_LINE_UP, 6},   {2, 1, NAV_PAGE_DOWN, 6}, {2, 3, NAV_LINE_DOWN, 6},
        {3, 0, NAV_LINE_UP, 2},   {3, 1, NAV_PAGE_UP, 6},   {4, 0, NAV_LINE_DOWN, 2}, {4, 2, NAV_PAGE_DOWN, 6},
    };
    a->edgeDelay = 0;
    for (const auto &c : cases) {
        a->columns = c.columns;
        a->setAutoscroll(0);
        sys.posted.clear();
        a->setAutoscroll(c.mode); // the first step at once
        for (int tick = 0; tick < 12; tick++)
            a->autoscrollStep();
        const std::vector<std::pair<int, int>> expected(1 + 12 / c.every, {MSG_NAVIGATE, c.code});
        EXPECT_EQ(expected, sys.posted) << c.mode << "/" << c.columns;
    }
    // With a delay: a timer for the rest of it, no step until it fired.
    a->columns = 0, a->edgeDelay = 500;
    a->setAutoscroll(0);
    sys.clearCalls();
    a->setAutoscroll(4);
    sys.posted.clear();
    a->autoscrollStep();
    EXPECT_TRUE(sys.posted.empty() && sys.called("start_timer " + std::to_string(MSG_EDGE_DELAY) + " 450"));
    a->setAutoscroll(0);
    EXPECT_TRUE(!a->edgeTimerPending && sys.called("stop_timer " + std::to_string(MSG_EDGE_DELAY)));
}

TEST_F(NavFixture, RedrawingARectangleRepaintsOnlyTheShownHighlightsInIt)
{
    Token *mark = new HighlightToken(30, 40, 50, 14, 0xFF0000);
    mark->next = new Token(TOKEN_STRING, 30, 40, 50, 10, 4);
    a->addLine(mark, 40, 20);
    // Only the part inside the rectangle is painted: the text under the
    // rest of the highlight is not drawn again.
    const struct { int state, x, y, w, h; const char *painted; } cases[] = {
        {2, 70, 50, 20, 20, "fill_rect 170 250 10 4"}, {2, 80, 40, 5, 5, nullptr}, // right of it
        {2, 0, 53, 40, 10, "fill_rect 130 253 10 1"},  {2, 30, 54, 5, 5, nullptr}, // below it
        {2, 0, 0, 200, 41, "fill_rect 130 240 50 1"}, // a link above reaching one row into it
        {2, 20, 30, 100, 30, "fill_rect 130 240 50 14"}, // all of it
        {1, 70, 50, 20, 20, nullptr}, {0, 70, 50, 20, 20, nullptr}, // not shown yet
    };
    for (const auto &c : cases) {
        a->highlightState = c.state;
        sys.clearCalls();
        a->redrawRect(100, 200, c.x, c.y, c.w, c.h);
        // The fixture has no background picture: its black clear is not a highlight.
        size_t painted = std::count_if(sys.calls.begin(), sys.calls.end(), [](const std::string &call) {
            return call.rfind("fill_rect ", 0) == 0 && call.compare(call.size() - 2, 2, " 0") != 0;
        });
        EXPECT_EQ(c.painted ? 1u : 0u, painted) << c.state << " " << c.x << "," << c.y;
        EXPECT_TRUE(!c.painted || sys.called(c.painted)) << c.state << " " << c.x << "," << c.y;
    }
}

} // namespace
