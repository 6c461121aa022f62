// The configuration window, driven by pushed SDL events on the dummy driver:
// the panel's own loop, and the window as a step of SDLSystem's construction.
#include <gtest/gtest.h>

#include "GUI/ConfigPanel.h"
#include "Map/MapArray.h"
#include "SDLConfig.h"
#include "SDLTestSupport.h"
#include "SdlEvents.h"
#include "SdlTestScreen.h"

#include <string>
#include <tuple>
#include <vector>

using namespace SDLGUI;

namespace {

// The grid is 8 rows of 25 pixels in two columns, each half the window's
// width (set from the font by the tests).
const int kRow = 25;
int kColumn = ConfigPanel::WIDTH / 2;
SDL_Event click(int column, int row, int dx = 62)
{
    return buttonEvent(true, column * kColumn + dx, row * kRow + kRow / 2);
}
SDL_Event tick(int column, int row) { return click(column, row, 9); }

// Empties SDL's queue, points at a button (row 7: Start left, Abort right)
// and queues the events followed by a click there.
void queue(std::vector<SDL_Event> events, int buttonColumn)
{
    dropEvents();
    SDL_WarpMouse((Uint16)(buttonColumn * kColumn + 62), (Uint16)(7 * kRow + 12));
    events.push_back(click(buttonColumn, 7));
    events.push_back(buttonEvent(false, buttonColumn * kColumn + 62, 7 * kRow + kRow / 2));
    for (SDL_Event &event : events)
        ASSERT_EQ(SDL_PushEvent(&event), 0);
}

// Maps the default font to DejaVu Sans, and sets the grid's columns from it, while it lives.
struct DefaultFont {
    MapArray *map = MapArray_new(2);
    DefaultFont()
    {
        MapArray_put(map, "default:0", (void *)"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
        setFontMap(map);
        kColumn = ConfigPanel::windowWidth() / 2;
    }
    ~DefaultFont()
    {
        forgetFontMap(map);
        MapArray_delete(map);
    }
};

struct ConfigPanelTest : ::testing::Test {
    ScopedWorkDir dir;
    DefaultFont font;
    SDLConfig *config = nullptr;
    SDL_Surface *screen = nullptr;

    void SetUp() override
    {
        screen = testScreen(2 * kColumn, ConfigPanel::HEIGHT);
        ASSERT_NE(screen, nullptr);
        writeFile("m.conf", std::string("mixOptions=48000;fast;22050\nmixingFrequency=11025\n"));
        TestPlatform platform(dir.path() + "/m.conf");
        testing::internal::CaptureStdout();
        config = SDLConfig::read(platform.configPath(), &platform);
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override { delete config; }
};

TEST_F(ConfigPanelTest, ButtonsEndTheLoopAndTheWidgetsWriteTheConfiguration)
{
    // button: 0 Start, 1 Abort; then the configuration afterwards.
    struct Case {
        const char *name; std::vector<SDL_Event> events; int button; bool showConfig, verbose; int frequency;
    } cases[] = {
        {"Start as it is", {}, 0, true, false, 11025},
        {"Show config GUI unticked, then Start", {tick(0, 2)}, 0, false, false, 11025},
        {"Abort keeps what was changed", {tick(1, 2), tick(0, 2), tick(0, 2)}, 1, true, true, 11025},
        // 11025 is no option: 48000 shows; clicks go to "fast" (kept), 22050, 48000.
        {"a frequency that is no number keeps the configured one", {click(1, 4)}, 0, true, true, 11025},
        {"the next option is taken", {click(1, 4), click(1, 4)}, 0, true, true, 22050},
        {"the last option wraps to the first", {click(1, 4)}, 0, true, true, 48000},
    };
    for (Case &c : cases) {
        bool running = true, start = !c.button;
        ConfigPanel panel(&running, &start, config, 2 * kColumn, ConfigPanel::HEIGHT);
        queue(c.events, c.button);
        panel.run(screen);
        EXPECT_FALSE(running) << c.name;
        EXPECT_EQ(std::make_tuple(start, config->getShowConfig(), config->getVerbose(), config->getMixingFrequency()),
                  std::make_tuple(c.button == 0, c.showConfig, c.verbose, c.frequency)) << c.name;
        config->setShowConfig(true);
    }
}

// Every label ends inside its cell: the window widens for a wide font.
TEST_F(ConfigPanelTest, NoLabelIsCut)
{
    EXPECT_GT(2 * kColumn, (int)ConfigPanel::WIDTH);  // DejaVu Sans needs more than 250
    bool running = true, start = true;
    ConfigPanel panel(&running, &start, config, 2 * kColumn, ConfigPanel::HEIGHT);
    panel.paint(screen, 0, 0);
    const uint32_t background = 0xB4B4B4;
    for (int row = 0; row < 3; row++)
        for (int y = row * kRow; y < (row + 1) * kRow; y++)
            for (int column = 1; column <= 2; column++)
                for (int x = column * kColumn - 3; x < column * kColumn; x++)
                    ASSERT_EQ(rgbAt(screen, x, y), background) << "row " << row << " column " << column;
}

// The whole start-up step: events wait in SDL's queue before the system is made.
TEST(ConfigWindow, StartupShowsTheWindowAndWritesTheFileWhicheverButtonEndsIt)
{
    ASSERT_NE(testScreen(320, 240), nullptr);
    DefaultFont();   // the system's fallback font is DejaVu Sans too: the same columns
    // showConfig: in the file before; untick: "Show config GUI" unticked in the window; button: 0 Start, 1 Abort.
    const struct {
        const char *name, *showConfig; std::vector<std::string> args; bool untick; int button; const char *written;
    } cases[] = {
        {"-c shows the window although the file says not to; Abort saves it as shown", "false", {"-c"}, false, 1,
         "showConfig=true\n"},
        {"Start with the box unticked", "true", {}, true, 0, "showConfig=false\n"},
    };
    for (const auto &c : cases) {
        std::vector<SDL_Event> events = {click(1, 5)};   // the module field, then its name typed
        for (char ch : std::string("song.it"))
            events.push_back(keyEvent((SDLKey)ch, (Uint16)ch));
        if (c.untick)
            events.push_back(tick(0, 2));
        queue(events, c.button);
        testing::internal::CaptureStdout();
        std::string file = std::string("showConfig=") + c.showConfig + "\nmusic=false\nsoundEffects=false\nfontPaths=./\n";
        SystemFixture f(file.c_str(), c.args);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(f.system->is_ready(), c.button == 0) << c.name;
        EXPECT_NE(readText(f.dir.path() + "/mirandol2.conf").find(c.written), std::string::npos) << c.name;
        EXPECT_EQ(std::make_pair(SDL_GetVideoSurface()->w, SDL_GetVideoSurface()->h),
                  std::make_pair(2 * kColumn, (int)ConfigPanel::HEIGHT)) << c.name;
        if (c.button == 0) {
            EXPECT_STREQ(f.system->get_user_string(USER_STRING_SONG), "song.it");
        }
    }
}

} // namespace
