// Screen areas through the recording System.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>
#include <string>
#include <tuple>

#include "Area.h"
#include "Areas.h"
#include "Article.h"
#include "Browser.h"
#include "ButtonDef.h"
#include "FakeSystem.h"
#include "Image.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "Playlist.h"
#include "Commands.h"

namespace {

// An area that records what the dispatcher asks of it.
struct Probe : Area {
    std::string &log;
    char name;
    bool takesPress;
    Probe(std::string &record, char id, int x, int y, int w, int h, bool press = true)
        : Area(x, y, w, h), log(record), name(id), takesPress(press) {}
    void hear(char what) { log += name; log += what; }
    bool mouseOver(int32_t x, int32_t y) override { return hear('o'), contains(x, y); }
    void mouseDrag(int32_t, int32_t) override { hear('d'); }
    bool mouseDown() override { return hear('p'), takesPress; }
    void mouseUp() override { hear('u'); }
};

struct AreaFixture : ::testing::Test {
    FakeSystemScope scope;
    FakeSystem &sys = scope.sys;
    std::string log;
    void SetUp() override { currentArticle = nullptr, Area::releaseCapture(), statusText.clear(); }
};

TEST_F(AreaFixture, DispatchCapturesNearestTheHeadAndRoutesPressDragRelease)
{
    Area *chain = new Probe(log, 'a', 0, 0, 10, 10);
    Area::append(new Probe(log, 'b', 5, 5, 10, 10), chain);
    Area::append(new Probe(log, 'c', 50, 50, 1, 1, false), chain);
    struct { int msg, x, y; bool result; const char *heard; } steps[] = {
        {MSG_MOUSE_MOVE, 7, 7, true, "aoboco"}, {MSG_MOUSE_DOWN, 7, 7, true, "ap"}, // a is nearer the head
        {MSG_MOUSE_DRAG, 90, 90, true, "ad"}, {MSG_MOUSE_UP, 90, 90, true, "au"},   // to the pressed area, wherever
        {MSG_MOUSE_UP, 90, 90, false, ""},                                          // no press taken: nobody hears it
        {MSG_MOUSE_MOVE, 50, 50, true, "aoboco"}, {MSG_MOUSE_DOWN, 50, 50, false, "cp"}, // c refuses the press...
        {MSG_MOUSE_DRAG, 5, 5, true, "aoboco"},                                     // ...so a drag is a hover
        {MSG_MOUSE_MOVE, 99, 99, false, "aoboco"}, {MSG_MOUSE_DOWN, 99, 99, false, ""}};
    statusText.set("old");
    for (auto &s : steps) {
        log.clear();
        EXPECT_EQ(Area::dispatchMouse(chain, s.msg, s.x, s.y), s.result) << s.msg << " " << s.x;
        EXPECT_EQ(log, s.heard) << s.msg << " " << s.x;
    }
    EXPECT_TRUE(statusText.isEmpty()) << "over no area the status text goes";
    // A deleted chain leaves no captured area behind.
    for (int msg : {MSG_MOUSE_MOVE, MSG_MOUSE_DOWN})
        Area::dispatchMouse(chain, msg, 1, 1);
    delete chain;
    EXPECT_EQ(Area::captured, nullptr);
    EXPECT_FALSE(Area::dispatchMouse(nullptr, MSG_MOUSE_UP, 1, 1));
}

TEST_F(AreaFixture, EdgeZoneModesAt640x480)
{
    g_magazine_config.width = 640, g_magazine_config.height = 480;
    AutoscrollArea edges(nullptr, nullptr, nullptr, nullptr, 5, false);
    struct { int x, y; bool taken; int mode; } cases[] = {
        {4, 240, true, 1}, {5, 240, false, 1}, {635, 240, true, 2}, {634, 240, false, 2},
        {320, 4, true, 3}, {320, 475, true, 4}, {2, 2, true, 1}, {320, 240, false, 1}};
    for (auto &c : cases) {
        EXPECT_EQ(edges.mouseOver(c.x, c.y), c.taken) << c.x << "," << c.y;
        EXPECT_EQ(edges.mode, c.mode) << c.x << "," << c.y;
    }
}

// A picture of a given size for the scroll bar's caps.
Image *picture(int width, int height)
{
    Image *image = new Image(nullptr);
    image->width = width; image->height = height; image->references = 1;
    return image;
}

TEST_F(AreaFixture, ScrollbarThumbGeometry)
{
    AreaPlacement track;
    track.x = 600; track.y = 40; track.width = 16;
    Image *cap = picture(16, 10), *middle = picture(16, 1);
    struct { int length; uint32_t visible, max, position; Image *begin, *mid, *end; uint32_t thumb, offset; } cases[] = {
        {200, 100, 300, 0, nullptr, nullptr, nullptr, 50, 0}, {200, 100, 300, 150, nullptr, nullptr, nullptr, 50, 75},
        {200, 100, 0, 99, nullptr, nullptr, nullptr, 200, 0},      // nothing to scroll
        {200, 10000, 9990000, 0, cap, nullptr, cap, 20, 0},        // caps, no middle
        {200, 100, 300, 0, cap, middle, cap, 50, 0}, {15, 100, 300, 0, cap, middle, cap, 15, 0}, // caps over the track
        {2048, 100, 4000000000u, 4000000000u, nullptr, nullptr, nullptr, 0, 2048}}; // no overflow
    for (auto &c : cases) {
        track.height = c.length;
        ScrollbarArea bar(track, nullptr, nullptr, c.begin, c.mid, c.end, 0x123456, c.visible, c.max,
                          c.position, false);
        EXPECT_EQ(std::make_tuple(bar.thumb, bar.offset, bar.free),
                  std::make_tuple(c.thumb, c.offset, (uint32_t)c.length - c.thumb)) << c.length << " " << c.max;
    }
    // Drawn: caps blitted, the middle stretched only over a positive length.
    track.height = 15;
    ScrollbarArea(track, nullptr, nullptr, cap, middle, cap, 0, 100, 300, 0, false).draw(false);
    EXPECT_TRUE(!sys.called("strech") && sys.count("blt") == 2);
    track.height = 200;
    ScrollbarArea plain(track, nullptr, nullptr, nullptr, nullptr, nullptr, 0x123456, 100, 300, 0, false);
    for (bool first : {true, false}) { // an unchanged thumb is not drawn again
        sys.clearCalls();
        plain.setPosition(150);
        EXPECT_EQ(sys.called("fill_rect 600 115 16 50 123456"), first);
    }
    cap->release();
    middle->release();
}

TEST_F(AreaFixture, ClockText)
{
    struct { uint32_t ms; const char *text; } cases[] = {
        {0, " 0:00"}, {3599999, " 0:59"}, {3600000, " 1:00"}, {90000000, "25:00"}, {0xFFFFFFFFu, "1193:02"}};
    char text[16];
    for (auto &c : cases) {
        ClockArea::format(c.ms, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
    sys.ticks = 3600000;
    EXPECT_STREQ(ClockArea(AreaPlacement()).text1.str, " 1:00");
}

TEST_F(AreaFixture, TitleBarTextsAndTheStatusTextHandedToItself)
{
    AreaPlacement where;
    where.x = 10; where.width = 200;
    TitlebarArea bar(where, nullptr, "Editors");
    // One text: centred (8 pixels a byte in the fake). Two texts: the second ends at
    // the right edge, or starts after the first when the bar is too short for both.
    const struct { const char *first, *drawn; } cases[] = {
        {"", "out_text Editors 81 0"}, {"Contents", "out_text Editors 153 0"},
        {"A very long title of the article", "out_text Editors 274 0"}};
    for (auto &c : cases) {
        bar.text1.set(c.first);
        sys.clearCalls();
        bar.draw(false);
        EXPECT_TRUE(sys.called(c.drawn)) << c.first;
    }
    // The pointer handler passes the status text itself: it is cleared when
    // empty and copied, never read after clearing.
    for (const char *text : {"Back to the contents", ""}) {
        statusText.set(text);
        bar.setText(statusText.str);
        EXPECT_STREQ(bar.text1.c_str(), text);
    }
    EXPECT_EQ(statusText.str, nullptr);
}

TEST_F(AreaFixture, BarsOfAnUnderlinedStyleUnderlineTheirText)
{
    // 14-pixel text (ascent 10, descent 4): the underline lies on the text's
    // last row, as in articles. The title bar shows "Editors", the clock " 0:00".
    std::string config = "<fontstyle name=under u height=14 color=00ff00><fontstyle name=plain height=14>";
    g_magazine_config.reset();
    g_magazine_config.parse((const uint8_t *)config.data(), config.size());
    AreaPlacement where;
    where.x = 10, where.y = 20, where.width = 200;
    const struct { const char *style; std::vector<std::string> lines; } cases[] = {
        {"under", {"h_line 81 33 56 ff00", "h_line 89 33 40 ff00"}}, {"plain", {}}};
    for (const auto &c : cases) {
        where.name.set(c.style);
        TitlebarArea title(where, "Editors", "");
        ClockArea clock(where);
        sys.clearCalls();
        title.draw(false), clock.draw(false);
        EXPECT_EQ(c.lines.size(), sys.count("h_line")) << c.style;
        for (const std::string &line : c.lines)
            EXPECT_TRUE(sys.called(line)) << line;
    }
    g_magazine_config.deleteTrees();
}

TEST_F(AreaFixture, ButtonWithoutCommandShowsItselfButTakesNoPress)
{
    ButtonDef def;
    def.placement.width = def.placement.height = 20;
    def.desc.set("Just a picture");
    ButtonArea button(def, nullptr, nullptr);
    EXPECT_TRUE(button.mouseOver(5, 5));
    EXPECT_STREQ(statusText.str, "Just a picture");
    EXPECT_FALSE(button.mouseDown());
    // A movie's frame interval stays in 1..40 ms.
    for (auto c : {std::make_pair(0, 40), std::make_pair(2000, 1), std::make_pair(25, 40)})
        EXPECT_EQ(MovieArea::frameInterval(c.first), c.second) << c.first;
}

TEST_F(AreaFixture, AButtonRunsItsCommandOnlyWhenReleasedOnIt)
{
    Article shown(nullptr);
    currentArticle = &shown;
    const SampleHandle click = reinterpret_cast<SampleHandle>(0x77);
    g_playlist.themeSounds[SOUND_BUTTONDOWN] = click;
    ButtonDef def;
    def.placement.x = def.placement.y = 10;
    def.placement.width = def.placement.height = 20;
    def.command = CMD_PAGEDOWN;
    const struct { const char *what; std::vector<std::pair<int, int>> drags; bool runs; } cases[] = {
        {"pressed and released on it", {}, true}, {"dragged off before the release", {{50, 50}}, false},
        {"dragged off and back on", {{50, 50}, {15, 15}}, true}};
    for (const auto &c : cases) {
        ButtonArea button(def, nullptr, nullptr);
        sys.posted.clear();
        g_playlist.pendingSound = nullptr;
        Area::dispatchMouse(&button, MSG_MOUSE_MOVE, 15, 15);
        EXPECT_TRUE(Area::dispatchMouse(&button, MSG_MOUSE_DOWN, 15, 15)) << c.what;
        EXPECT_EQ(click, g_playlist.pendingSound) << c.what; // the press is heard at once
        for (auto d : c.drags)
            Area::dispatchMouse(&button, MSG_MOUSE_DRAG, d.first, d.second);
        g_playlist.pendingSound = nullptr;
        Area::dispatchMouse(&button, MSG_MOUSE_UP, 0, 0);
        EXPECT_EQ(click, g_playlist.pendingSound) << c.what; // the release too, run or not
        const auto run = std::make_pair(+MSG_NAVIGATE, +NAV_PAGE_DOWN);
        EXPECT_EQ(c.runs, std::count(sys.posted.begin(), sys.posted.end(), run) > 0) << c.what;
    }
    g_playlist.reset();
    currentArticle = nullptr;
}

} // namespace
