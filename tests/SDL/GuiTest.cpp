// The widget toolkit, driven by SDL events on the dummy video driver.
#include <gtest/gtest.h>

#include "GUI/GUI.h"
#include "Map/MapArray.h"
#include "SdlEvents.h"
#include "SdlTestScreen.h"
#include "Vector/Vector.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

using namespace SDLGUI;

namespace {

const char *kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A widget of a fixed preferred size that paints nothing.
class Block : public Component {
public:
    Block(int w, int h) { size.x = size.y = 0; size.w = (Uint16)w; size.h = (Uint16)h; }
    void paint(SDL_Surface *, int, int) override {}
    void preferredSize(SDL_Rect *rect) override { *rect = size; }
    SDL_Rect size;
};

struct Recorder : ButtonListener, OptionListener {
    std::vector<int> ids;
    int options = 0;
    void action(int id) override { ids.push_back(id); }
    void action(OptionBox *) override { options++; }
};

class Gui : public ::testing::Test {
protected:
    void SetUp() override
    {
        screen = testScreen(320, 240);
        ASSERT_NE(screen, nullptr);
        map = MapArray_new(2);
        MapArray_put(map, "default:0", (void *)kFont);
        setFontMap(map);
        dropEvents();
    }
    void TearDown() override
    {
        forgetFontMap(map);
        MapArray_delete(map);
    }

    // Pushes the events through SDL's queue and hands each to the top panel.
    void deliver(Component &top, const std::vector<SDL_Event> &events)
    {
        for (SDL_Event e : events)
            ASSERT_EQ(SDL_PushEvent(&e), 0);
        SDL_Event e;
        while (SDL_PollEvent(&e))
            top.handleEvent(&e, 0, 0);
    }

    SDL_Surface *screen = nullptr;
    MapArray *map = nullptr;
};

std::string rect(Component &c)
{
    SDL_Rect r;
    c.getBounds(&r);
    return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.w) + "x" +
           std::to_string(r.h);
}

// A border layout gives north and south their heights over the full width,
// east and west their widths, the centre the rest; a box layout (rows > 0)
// cuts equal cells.
TEST_F(Gui, LayoutsPlaceTheirChildren)
{
    Block north(50, 20), south(60, 30), east(40, 5), west(10, 5), centre(5, 5), a(1, 1), b(1, 1), c(1, 1);
    const int N = BorderLayout::NORTH, S = BorderLayout::SOUTH, E = BorderLayout::EAST, W = BorderLayout::WEST,
              C = BorderLayout::CENTER;
    struct Child { Block *block; int constraint; std::string bounds; };
    struct Case { int rows, columns, width, height; std::vector<Child> children; } cases[] = {
        {0, 0, 200, 300, {{&north, N, "0,0 200x20"}, {&centre, C, "0,20 200x250"}, {&south, S, "0,270 200x30"}}},
        {0, 0, 200, 300,
         {{&east, E, "160,20 40x280"}, {&west, W, "0,20 10x280"}, {&centre, C, "10,20 150x280"}, {&north, N, "0,0 200x20"}}},
        {1, 2, 200, 40, {{&a, 0, "0,0 100x40"}, {&b, 0, "100,0 100x40"}}},
        {2, 1, 200, 300, {{&a, 0, "0,0 200x150"}, {&b, 0, "0,150 200x150"}}},
        {2, 2, 101, 51, {{&a, 0, "0,0 50x25"}, {&b, 0, "50,0 50x25"}, {&c, 0, "0,25 50x25"}}},
    };
    for (const Case &k : cases) {
        Panel panel;
        panel.setLayout(k.rows ? (LayoutManager *)new BoxLayout(k.rows, k.columns) : new BorderLayout());
        for (const Child &child : k.children) {
            if (k.rows)
                panel.add(child.block);
            else
                panel.addWithConstraint(child.block, child.constraint);
        }
        panel.setBounds(0, 0, k.width, k.height);
        for (const Child &child : k.children)
            EXPECT_EQ(rect(*child.block), child.bounds) << k.rows << "x" << k.columns;
    }
}

// The positions the events carry decide, wherever the pointer is by the
// time the button sees them.
TEST_F(Gui, ButtonClickNeedsPressAndReleaseInside)
{
    struct Case { const char *name; int releaseX, releaseY, pointerX, pointerY; std::vector<int> ids; } cases[] = {
        {"release inside: press and click", 60, 30, 60, 30, {0, 1}},
        {"release outside: the press only", 150, 30, 150, 30, {0}},
        {"release outside, the pointer back inside: the press only", 150, 30, 60, 30, {0}},
        {"release inside, the pointer gone outside: press and click", 60, 30, 150, 30, {0, 1}},
    };
    for (const Case &c : cases) {
        Panel panel;
        panel.setLayout(new BoxLayout(1, 2));
        Button ok("Ok"), other("Other");
        Recorder recorder;
        ok.setListener(&recorder);
        panel.add(&ok);
        panel.add(&other);
        panel.setBounds(10, 10, 200, 40);   // "Ok" covers 10..109 x 10..49
        SDL_WarpMouse(150, 30);
        deliver(panel, {buttonEvent(true, 50, 20)});
        EXPECT_TRUE(ok.isPressed()) << c.name;
        SDL_WarpMouse((Uint16)c.pointerX, (Uint16)c.pointerY);
        deliver(panel, {buttonEvent(false, c.releaseX, c.releaseY)});
        EXPECT_EQ(recorder.ids, c.ids) << c.name;
        EXPECT_FALSE(ok.isPressed()) << c.name;
    }
}

TEST_F(Gui, OptionBoxWrapsAfterTheLastOption)
{
    Vector *options = Vector_create();
    for (const char *o : {"11025", "22050", "44100"})
        Vector_add(options, (void *)o);
    OptionBox box(options, "44100");
    Recorder recorder;
    box.setListener(&recorder);
    box.setBounds(0, 0, 100, 20);
    deliver(box, {buttonEvent(true, 5, 5), buttonEvent(true, 5, 50)});   // the second is outside: no change
    EXPECT_STREQ(box.getSelectedOption(), "11025");
    EXPECT_EQ(recorder.options, 1);
    EXPECT_STREQ(OptionBox(options, "48000").getSelectedOption(), "11025");
    Vector_delete(options);
}

TEST_F(Gui, TextfieldEditsOnlyWithinTheText)
{
    struct Case { const char *name, *start; std::vector<SDL_Event> keys; const char *text; unsigned cursor; } cases[] = {
        {"backspace at 0 changes nothing", "ab", {keyEvent(SDLK_BACKSPACE)}, "ab", 0},
        {"delete at the end changes nothing", "ab",
         {keyEvent(SDLK_RIGHT), keyEvent(SDLK_RIGHT), keyEvent(SDLK_RIGHT), keyEvent(SDLK_DELETE)}, "ab", 2},
        {"typing inserts at the cursor", "ac", {keyEvent(SDLK_RIGHT), keyEvent(SDLK_b, 'b')}, "abc", 2},
        {"backspace and delete around the cursor", "abcd",
         {keyEvent(SDLK_RIGHT), keyEvent(SDLK_RIGHT), keyEvent(SDLK_BACKSPACE), keyEvent(SDLK_DELETE)}, "ad", 1},
        {"a key without unicode types its keysym", "", {keyEvent(SDLK_5)}, "5", 1},
        {"Latin-1 is typed, control keys and wide characters are not", "",
         {keyEvent(SDLK_WORLD_4, 0xE9), keyEvent(SDLK_RETURN, 13), keyEvent(SDLK_TAB, 9), keyEvent(SDLK_ESCAPE, 27),
          keyEvent(SDLK_WORLD_5, 0x3B1)},
         "\xE9", 1},
    };
    for (const Case &c : cases) {
        Textfield field(c.start);
        field.setBounds(0, 0, 100, 24);
        std::vector<SDL_Event> events = {buttonEvent(true, 5, 5)};
        events.insert(events.end(), c.keys.begin(), c.keys.end());
        deliver(field, events);
        EXPECT_EQ(field.text(), c.text) << c.name;
        EXPECT_EQ(field.getCursor(), c.cursor) << c.name;
    }
}

TEST_F(Gui, TextfieldTakesKeysOnlyWithFocus)
{
    Textfield field("");
    field.setBounds(0, 0, 60, 24);
    deliver(field, {keyEvent(SDLK_a, 'a')});
    EXPECT_EQ(field.text(), "");
    deliver(field, {buttonEvent(true, 5, 5), keyEvent(SDLK_w, 'w')});
    deliver(field, {buttonEvent(true, 200, 200), keyEvent(SDLK_a, 'a')});
    EXPECT_FALSE(field.hasFocus());
    EXPECT_EQ(field.text(), "w");
}

// What a 200-pixel field shows after the keys: the text from its first
// visible character, read back as text and as painted pixels.
TEST_F(Gui, TextfieldShowsTheCaretAndTheTextBeforeIt)
{
    const int width = 200, room = width - 5;
    // How many "w" fit the room, measured in the field's font.
    int fit = 0;
    while (textWidth(getLook()->getFont(), std::string(fit + 1, 'w').c_str(), fit + 1) <= room)
        fit++;
    ASSERT_TRUE(fit > 8 && fit < 25);
    // Keys pressed so many times each, after 25 "w" typed.
    struct Case { const char *name; std::vector<std::pair<SDLKey, int>> keys; std::string beforeCaret; } cases[] = {
        {"17 taken back: all 8 left show", {{SDLK_BACKSPACE, 17}}, "wwwwwwww"},
        {"the end shows", {}, std::string(fit, 'w')},
        {"Home: the start shows", {{SDLK_HOME, 1}}, ""},
        {"Home then End: the end shows again", {{SDLK_HOME, 1}, {SDLK_END, 1}}, std::string(fit, 'w')},
        {"Left past the scrolled part: text still shows before the caret", {{SDLK_LEFT, 22}}, std::string(3, 'w')},
        {"Delete after Home empties it from the start", {{SDLK_HOME, 1}, {SDLK_DELETE, 25}}, ""},
    };
    for (Case &c : cases) {
        Textfield field("");
        field.setBounds(0, 0, width, 24);
        c.keys.insert(c.keys.begin(), {SDLK_w, 25});
        deliver(field, {buttonEvent(true, 5, 5)});
        for (const auto &k : c.keys)
            for (int i = 0; i < k.second; i++) {   // painted after each, as the dialogs do
                deliver(field, {keyEvent(k.first, k.first == SDLK_w ? 'w' : 0)});
                field.paint(screen, 0, 0);
            }
        std::string shown = field.text().substr(field.getFirstVisible());
        EXPECT_EQ(shown.substr(0, field.getCursor() - field.getFirstVisible()), c.beforeCaret) << c.name;
        // Painted: glyph pixels right of the caret's first column exactly
        // when text shows.
        fillRGB(screen, 0x123456);
        field.paint(screen, 0, 0);
        int ink = 0;
        for (int y = 3; y < 21; y++)
            for (int x = 3; x < width - 3; x++)
                ink += rgbAt(screen, x, y) != 0xFFFFFFu;
        EXPECT_EQ(ink > 0, !shown.empty()) << c.name;
    }
}

TEST_F(Gui, ListSelectsRowsAndPaintsOnlyItsItems)
{
    Vector *items = Vector_create();
    List list(items);
    list.setBounds(0, 0, 120, 100);
    fillRGB(screen, 0x123456);
    list.paint(screen, 0, 0);   // empty: first row stays 0, no rows drawn
    EXPECT_EQ(list.getFirstRow(), 0);
    deliver(list, {buttonEvent(true, 10, 10), keyEvent(SDLK_DOWN)});
    EXPECT_EQ(list.getSelectedItem(), nullptr);

    const char *words[] = {"alpha", "beta", "gamma"};
    for (const char *w : words)
        Vector_add(items, (void *)w);
    int line = getLook()->lineHeight();
    deliver(list, {buttonEvent(true, 10, 1 + line + 2)});
    EXPECT_STREQ(list.getSelectedItem(), "beta");
    deliver(list, {keyEvent(SDLK_DOWN), keyEvent(SDLK_DOWN)});
    EXPECT_STREQ(list.getSelectedItem(), "gamma");
    deliver(list, {buttonEvent(true, 10, 1 + 3 * line + 2)});   // below the items
    EXPECT_STREQ(list.getSelectedItem(), "gamma");
    fillRGB(screen, 0x123456);
    list.paint(screen, 0, 0);
    EXPECT_EQ(rgbAt(screen, 2, 1 + 2 * line + 1), 0x9696FFu);   // the selected row
    EXPECT_EQ(rgbAt(screen, 2, 1 + 3 * line + 1), 0xFFFFFFu);   // nothing past the items
    EXPECT_EQ(rgbAt(screen, 130, 50), 0x123456u);               // nothing outside
    list.clear();
    EXPECT_EQ(list.getSelectedItem(), nullptr);
    Vector_delete(items);
}

TEST_F(Gui, LookWithoutFontMeasuresNothingAndLinesNeedFourBytes)
{
    MapArray *bad = MapArray_new(1);
    MapArray_put(bad, "default:0", (void *)"/nonexistent/font.ttf");
    BasicLook look;
    look.setFontMap(bad);
    EXPECT_EQ(look.getFont(), nullptr);
    EXPECT_EQ(look.lineHeight(), 1);
    EXPECT_EQ(textWidth(nullptr, "text", 4), 0);
    MapArray_delete(bad);

    SDL_Surface *s16 = SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 8, 16, 0xF800, 0x07E0, 0x1F, 0);
    SDL_FillRect(s16, nullptr, 0);
    drawHLine(s16, 0, 0, 8, 255, 255, 255);
    drawVLine(s16, 0, 0, 8, 255, 255, 255);
    EXPECT_EQ(((Uint16 *)s16->pixels)[0], 0);
    SDL_FreeSurface(s16);

    fillRGB(screen, 0);
    SDL_Rect clip = {10, 10, 20, 20};
    SDL_SetClipRect(screen, &clip);
    drawHLine(screen, -5, 15, 1000, 255, 0, 0);
    drawVLine(screen, 12, -100, 1000, 0, 255, 0);
    SDL_SetClipRect(screen, nullptr);
    const uint32_t want[][3] = {{9, 15, 0},         {10, 15, 0xFF0000}, {29, 15, 0xFF0000},
                                {30, 15, 0},        {12, 9, 0},         {12, 29, 0x00FF00}};
    for (const auto &w : want)
        EXPECT_EQ(rgbAt(screen, (int)w[0], (int)w[1]), w[2]) << w[0] << "," << w[1];
}

} // namespace
