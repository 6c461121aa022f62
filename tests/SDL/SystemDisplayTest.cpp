// SDLSystem's display and text operations on a constructed system.
#include "FontMapping.h"
#include "Map/MapArray.h"
#include "SDLFont.h"
#include "SDLTestSupport.h"
#include "SdlTestScreen.h"

#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// The configuration of a windowed system with the configuration window and
// sound off, and the given font folders.
std::string displayConfig(const std::string &fontPaths)
{
    return "fontPaths=" + fontPaths + "\nshowConfig=false\nfullscreen=false\nmusic=false\nsoundEffects=false\n";
}

} // namespace

TEST(SystemDisplay, RedStaysRedEndToEnd)
{
    SystemFixture f(displayConfig("").c_str());
    SDLSystem *s = f.system.get();
    ASSERT_TRUE(s->is_ready());
    ASSERT_TRUE(s->init_display(160, 100));
    char *title = nullptr;
    SDL_WM_GetCaption(&title, nullptr);
    EXPECT_STREQ(title, "Mirandol 2");
    s->set_window_title("Caf\xe9 \xbb\xd7");   // Latin-1 from the magazine
    SDL_WM_GetCaption(&title, nullptr);
    EXPECT_STREQ(title, "Caf\xc3\xa9 \xc2\xbb\xc3\x97");
    ASSERT_EQ(s->get_user_flag(USER_FLAG_SWAP_RB), 1);

    // A picture pixel: 0x00RRGGBB, and a markup colour stored as 0x00BBGGRR.
    std::vector<uint32_t> px(4 * 4, 0xFF0000);
    std::vector<uint8_t> mask(4 * 4, 0);
    mask[0] = 0x80;                           // top-left pixel transparent
    ImageHandle picture = s->create_image(4, 4, px.data(), mask.data());
    ASSERT_TRUE(picture);
    int ascent = 0, descent = 0;
    FontHandle font = s->create_font("unknown face", 30, 0, 0, &ascent, &descent);
    ASSERT_TRUE(font);

    ASSERT_TRUE(s->begin_display());
    s->fill_rect(0, 0, 160, 100, 0xFF0000);   // blue, with red and blue exchanged
    s->blt(picture, 10, 10, 0, 0, 4, 4);
    s->h_line(0, 50, 160, 0x0000FF);          // red
    s->out_text("I", 1, 100, 20, 0x0000FF, font);
    s->end_display();
    s->flip(1, 0, 30);

    SDL_Surface *screen = SDL_GetVideoSurface();
    // The masked pixel (10, 10) shows the background.
    const uint32_t want[][3] = {
        {5, 5, 0x0000FF}, {10, 10, 0x0000FF}, {11, 10, 0xFF0000}, {13, 13, 0xFF0000}, {80, 50, 0xFF0000}};
    for (const auto &w : want)
        EXPECT_EQ(rgbAt(screen, (int)w[0], (int)w[1]), w[2]) << w[0] << "," << w[1];
    bool foundRed = false;
    for (int i = 0; i < s->get_text_width("I", font) * ascent; i++)
        foundRed = foundRed || rgbAt(screen, 100 + i / ascent, 20 + i % ascent) == 0xFF0000u;
    EXPECT_TRUE(foundRed);

    s->flip(1, 2, 20);   // fading to black with the back buffer cleared
    EXPECT_EQ(std::make_pair(rgbAt(screen, 11, 10), rgbAt(screen, 80, 50)), std::make_pair(0u, 0u));
    s->unload_image(picture);
}

TEST(SystemDisplay, PointerIsDrawnOnlyWhenShownAndForgetsItsUnloadedImage)
{
    SystemFixture f(displayConfig("").c_str());
    SDLSystem *s = f.system.get();
    ASSERT_TRUE(s->init_display(64, 64));
    SDL_Surface *screen = SDL_GetVideoSurface();
    s->begin_display();
    s->fill_rect(0, 0, 64, 64, 0);
    s->end_display();
    s->flip(0, 0, 0);
    uint32_t px[4] = {0x00FF00, 0x00FF00, 0x00FF00, 0x00FF00};
    ImageHandle arrow = s->create_image(2, 2, px, nullptr);
    s->set_cursor(arrow, 0, 0);
    s->move_cursor(20, 20);                   // hidden: nothing drawn
    EXPECT_EQ(rgbAt(screen, 20, 20), 0u);
    s->show_cursor(true);
    s->move_cursor(30, 30);
    EXPECT_EQ(rgbAt(screen, 30, 30), 0x00FF00u);
    s->move_cursor(40, 40);
    EXPECT_EQ(rgbAt(screen, 30, 30), 0u);
    EXPECT_EQ(rgbAt(screen, 41, 41), 0x00FF00u);
    s->flip(1, 0, 0);                         // the pointer is drawn again after a flip
    EXPECT_EQ(rgbAt(screen, 40, 40), 0x00FF00u);
    s->unload_image(arrow);
    EXPECT_EQ(s->pointerImage, nullptr);
    EXPECT_EQ(rgbAt(screen, 40, 40), 0u);     // no ghost until the next flip
    s->move_cursor(10, 10);                   // must not touch the freed image
    s->flip(0, 0, 0);
    EXPECT_EQ(rgbAt(screen, 10, 10), 0u);
}

// A theme without pointer pictures leaves the pointer to SDL; one with a
// picture has it drawn by the reader alone.
TEST(SystemDisplay, SystemPointerShowsWhileThePointerHasNoPicture)
{
    SystemFixture f(displayConfig("").c_str());
    SDLSystem *s = f.system.get();
    ASSERT_TRUE(s->init_display(64, 64));
    uint32_t px[4] = {0x00FF00, 0x00FF00, 0x00FF00, 0x00FF00};
    ImageHandle arrow = nullptr;
    const struct { const char *step; std::function<void()> run; int systemPointer; } steps[] = {
        {"hidden at start", [] {}, SDL_DISABLE},
        {"shown without a picture", [&] { s->show_cursor(true); }, SDL_ENABLE},
        {"a picture", [&] { arrow = s->create_image(2, 2, px, nullptr); s->set_cursor(arrow, 0, 0); }, SDL_DISABLE},
        {"its picture unloaded", [&] { s->unload_image(arrow); }, SDL_ENABLE},
        {"hidden for a slide show", [&] { s->show_cursor(false); }, SDL_DISABLE},
    };
    for (const auto &step : steps) {
        step.run();
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), step.systemPointer) << step.step;
    }
}

TEST(SystemDisplay, FontMapIsBuiltFromTheConfiguredPathsAndCached)
{
    ScopedWorkDir fonts;
    mkdir("dir", 0755);
    writeFile("dir/Serif.ttf", readFile("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"));
    std::string dir = fonts.path() + "/dir/";
    SystemFixture f(displayConfig(dir + ";/nonexistent/").c_str());
    SDLSystem *s = f.system.get();
    ASSERT_TRUE(s->fontMap);
    EXPECT_STREQ((const char *)MapArray_get(s->fontMap, "dejavu serif:0"),
                 (dir + "Serif.ttf").c_str());
    EXPECT_STREQ((const char *)MapArray_get(s->fontMap, "default:0"), "./temp/fallback/default.ttf");
    EXPECT_TRUE(fileExists("temp/fallback/default.ttf"));
    std::vector<std::string> cache;   // both folders have their section
    ASSERT_TRUE(readTextLines(f.platform->fontCachePath(), cache));
    ASSERT_GE(cache.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(cache.begin(), cache.begin() + 5),
              std::vector<std::string>({dir, cache[1], "dejavu serif:0=" + dir + "Serif.ttf", "/nonexistent/", "0"}));

    // A magazine font written to temp/ becomes known under its own family.
    writeFile("temp/magazine.ttf", readFile("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"));
    EXPECT_EQ(s->install_font("magazine", 2), 1);
    EXPECT_STREQ((const char *)MapArray_get(s->fontMap, "dejavu sans mono:0"),
                 "./temp/magazine.ttf");
    ASSERT_TRUE(s->init_display(100, 50));
    int ascent = 0, descent = 0;
    FontHandle mono = s->create_font("dejavu sans mono", 20, 0, 0, &ascent, &descent);
    ASSERT_TRUE(mono);
    EXPECT_EQ(s->get_text_width("iii", mono), s->get_text_width("WWW", mono));
}

TEST(SystemDisplay, ImpossibleVideoModeIsRefused)
{
    SystemFixture f(displayConfig("").c_str());
    testing::internal::CaptureStderr();
    bool opened = f.system->init_display(-5, 100);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(opened);
    EXPECT_NE(err.find("Unable to set -5x100 video: "), std::string::npos) << err;
    EXPECT_EQ(f.system->create_image(0, 0, nullptr, nullptr), nullptr);
}
