// Pictures, masks, blits, stretches, lines, rectangles, fades and the pointer
// on headless SDL surfaces.
#include "SDL_Draw.h"
#include "SDL_DrawSupport.h"
#include "SDLTestSupport.h"
#include "SdlTestScreen.h"
#include "StretchReference.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

using namespace SDL_Draw;

namespace {

// A back buffer in the format of a headless screen of its size.
struct Surfaces {
    SDL_Surface *back = nullptr;
    Surfaces(int w, int h)
    {
        if (SDL_Surface *screen = testScreen(w, h))
            back = SDL_DisplayFormat(screen);
    }
    ~Surfaces() { SDL_FreeSurface(back); }
};

std::vector<uint32_t> solid(int w, int h, uint32_t rgb) { return std::vector<uint32_t>((size_t)w * h, rgb); }

} // namespace

TEST(Draw, MaskedPictureLeavesExactlyTheMaskedPixels)
{
    Surfaces s(32, 16);
    ASSERT_TRUE(s.back);
    fillRGB(s.back, 0x0000FF);
    const int w = 9, h = 3;
    ASSERT_EQ(maskRowBytes(w), 4u);
    std::vector<uint8_t> mask(maskRowBytes(w) * h, 0);
    mask[1 * 4 + 0] = 0x80;          // row 1, leftmost pixel
    mask[0 * 4 + 1] = 0x80;          // row 0, pixel 8 (second byte)
    mask[2 * 4 + 0] = 0x05;          // row 2, pixels 5 and 7
    mask[2 * 4 + 3] = 0xFF;          // padding bits mean nothing
    std::vector<uint32_t> px = solid(w, h, 0xFF0000);
    SDL_Surface *image = createImage(w, h, px.data(), mask.data());
    ASSERT_TRUE(image);
    blit(image, s.back, 4, 5, 0, 0, w, h);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 32; x++) {
            bool inside = x >= 4 && x < 4 + w && y >= 5 && y < 5 + h;
            int ix = x - 4, iy = y - 5;
            bool masked = inside && ((iy == 1 && ix == 0) || (iy == 0 && ix == 8) ||
                                     (iy == 2 && (ix == 5 || ix == 7)));
            uint32_t want = inside && !masked ? 0xFF0000 : 0x0000FF;
            ASSERT_EQ(rgbAt(s.back, x, y), want) << x << "," << y;
        }
    SDL_FreeSurface(image);
}

TEST(Draw, RedStaysRedAndIndexesPastThePaletteDrawTheStartColour)
{
    Surfaces s(16, 16);
    ASSERT_TRUE(s.back);
    fillRGB(s.back, 0);
    uint32_t red = 0xFF0000;
    SDL_Surface *image = createImage(1, 1, &red, nullptr);
    ASSERT_TRUE(image);
    blit(image, s.back, 2, 2, 0, 0, 1, 1);
    EXPECT_EQ(rgbAt(s.back, 2, 2), 0xFF0000u);
    // A markup colour arrives with red and blue exchanged.
    EXPECT_EQ(colourToRGB(0x0000FF), 0xFF0000u);
    EXPECT_EQ(colourToRGB(0x123456), 0x563412u);
    // Palette indexes outside the palette draw its start colour.
    EXPECT_EQ(colourToRGB(0x80000000u | 256), 0xEFEFEFu);
    EXPECT_EQ(colourToRGB(0x80000000u | 999), 0xEFEFEFu);
    hLine(s.back, 0, 4, 3, mapRGB(s.back, colourToRGB(0x0000FF)));
    EXPECT_EQ(rgbAt(s.back, 1, 4), 0xFF0000u);
    stretch(image, s.back, 5, 5, 3, 3);
    EXPECT_EQ(rgbAt(s.back, 6, 6), 0xFF0000u);
    // Out to the screen through a fade as well.
    FadeBuffer fb;
    SDL_Surface *screen = SDL_GetVideoSurface();
    fade(s.back, screen, 0, fb);
    EXPECT_EQ(rgbAt(screen, 2, 2), 0xFF0000u);
    EXPECT_EQ(rgbAt(screen, 1, 4), 0xFF0000u);
    SDL_FreeSurface(image);
}

TEST(Draw, CreateImageRefusesImpossibleSizes)
{
    uint32_t px[4] = {0, 0, 0, 0};
    EXPECT_EQ(createImage(0, 1, px, nullptr), nullptr);
    EXPECT_EQ(createImage(1, -5, px, nullptr), nullptr);
    EXPECT_EQ(createImage(INT_MAX, INT_MAX, px, nullptr), nullptr);
    EXPECT_EQ(createImage(65536, 65537, px, nullptr), nullptr);
    EXPECT_EQ(createImage(kMaxImageSide + 1, 1, px, nullptr), nullptr);
    EXPECT_EQ(createImage(2, 2, nullptr, nullptr), nullptr);
    SDL_Surface *ok = createImage(2, 2, px, nullptr);
    ASSERT_TRUE(ok);
    SDL_FreeSurface(ok);
}

TEST(Draw, StretchAveragesAndClips)
{
    Surfaces s(20, 20);
    ASSERT_TRUE(s.back);
    fillRGB(s.back, 0x000000);
    uint32_t four[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    SDL_Surface *image = createImage(2, 2, four, nullptr);
    ASSERT_TRUE(image);
    stretch(image, s.back, 0, 0, 1, 1);
    EXPECT_EQ(rgbAt(s.back, 0, 0), 0x7F7F7Fu);

    // Clipped to the region, and partly off the surface on every side.
    fillRGB(s.back, 0x101010);
    setRegion(s.back, 5, 5, 6, 4);
    std::vector<uint32_t> px = solid(3, 7, 0x00FF00);
    SDL_Surface *odd = createImage(3, 7, px.data(), nullptr);
    ASSERT_TRUE(odd);
    stretch(odd, s.back, -13, -7, 51, 43);
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) {
            bool in = x >= 5 && x < 11 && y >= 5 && y < 9;
            ASSERT_EQ(rgbAt(s.back, x, y), in ? 0x00FF00u : 0x101010u) << x << "," << y;
        }
    setRegion(s.back, 0, 0, 0, 0);
    stretch(odd, s.back, 10, 10, 1000000, 1000000);
    stretch(odd, s.back, INT_MAX - 1, 0, 5, 5);
    EXPECT_EQ(rgbAt(s.back, 19, 19), 0x00FF00u);
    stretch(odd, s.back, 0, 0, 0, 5);
    stretch(odd, s.back, 0, 0, -4, 5);
    SDL_FreeSurface(odd);
    SDL_FreeSurface(image);
}

TEST(Draw, StretchMatchesThePerPixelAreaAverage)
{
    struct Case {
        int sw, sh, x, y, w, h;
        bool masked;
        int surfaceAlpha;
    } cases[] = {
        {64, 48, 0, 0, 192, 108, false, 255},     // the ratios of 640x480 to full HD
        {7, 5, 3, 2, 23, 17, false, 255},         // odd ratios both ways
        {37, 29, 0, 0, 11, 13, true, 255},        // shrinking with transparent pixels
        {5, 9, -4, 6, 41, 2, true, 255},          // partly off the surface
        {13, 11, 10, 10, 1, 1, false, 255},       // one pixel
        {1, 1, 0, 0, 97, 61, false, 255},         // one pixel spread out
        {40, 3, 2, 0, 1, 60, true, 128},          // one column; a half-transparent picture
        {200, 150, 0, 0, 120, 90, false, 255},    // 5:3 down
        {3, 1000, 0, 0, 120, 7, false, 255},      // very tall into a flat strip
        {6, 4, 1, 1, 30, 40, true, 255},          // repeated rows with transparent pixels
        {3, 2, 0, 0, 9, 8, false, 100},           // repeated rows of a half-transparent picture
        {997, 131, 0, 0, 3, 2, true, 255},        // sums too large for single precision
        {4001, 2099, 5, 5, 2, 1, false, 255},     // sums past 32 bits
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.w << "x" << c.h);
        Surfaces s(200, 120), ref(200, 120);
        ASSERT_TRUE(s.back && ref.back);
        std::vector<uint32_t> px((size_t)c.sw * c.sh);
        uint32_t seed = 12345u + (uint32_t)c.sw * 7u + (uint32_t)c.h;
        for (uint32_t &p : px) {
            seed = seed * 1103515245u + 12345u;
            p = seed >> 8 & 0xFFFFFF;
        }
        std::vector<uint8_t> mask(maskRowBytes(c.sw) * c.sh);
        for (size_t i = 0; i < mask.size(); i++)
            mask[i] = (uint8_t)(c.masked ? (i * 37u) ^ 0x5A : 0);
        SDL_Surface *image = createImage(c.sw, c.sh, px.data(), mask.data());
        ASSERT_TRUE(image);
        if (c.surfaceAlpha != 255)
            SDL_SetAlpha(image, SDL_SRCALPHA, (Uint8)c.surfaceAlpha);
        for (SDL_Surface *back : {s.back, ref.back}) {
            for (int yy = 0; yy < 120; yy++)
                for (int xx = 0; xx < 200; xx++)
                    *((Uint32 *)((Uint8 *)back->pixels + yy * back->pitch) + xx) =
                        mapRGB(back, (uint32_t)(xx * 5 + yy * 3) * 0x010203u & 0xFFFFFF);
        }
        stretch(image, s.back, c.x, c.y, c.w, c.h);
        referenceStretch(image, ref.back, c.x, c.y, c.w, c.h);
        for (int yy = 0; yy < 120; yy++)
            ASSERT_EQ(memcmp((Uint8 *)s.back->pixels + yy * s.back->pitch,
                             (Uint8 *)ref.back->pixels + yy * ref.back->pitch, 200 * 4),
                      0)
                << "row " << yy;
        SDL_FreeSurface(image);
    }
}

TEST(Draw, ScaleBlitStaysInsideItsSource)
{
    uint32_t px[3] = {0x0000FF, 0x0000FF, 0x0000FF};
    SDL_Surface *image = createImage(3, 1, px, nullptr);
    ASSERT_TRUE(image);
    // A right edge a hair past the picture (rounding of factor x (i + 1)).
    Uint32 c = scaleBlit(image, 2.5, 0.0, 3.0000001, 1.0000001);
    Uint8 r, g, b, a;
    SDL_GetRGBA(c, image->format, &r, &g, &b, &a);
    EXPECT_EQ(b, 255);
    EXPECT_EQ(r, 0);
    SDL_FreeSurface(image);
}

TEST(Draw, LinesAndRectanglesClip)
{
    Surfaces s(20, 20);
    ASSERT_TRUE(s.back);
    fillRGB(s.back, 0);
    Uint32 white = mapRGB(s.back, 0xFFFFFF);
    setRegion(s.back, 5, 5, 10, 10);
    hLine(s.back, 0, 7, 12, white);          // starts left of the region
    for (int x = 0; x < 20; x++)
        EXPECT_EQ(rgbAt(s.back, x, 7), x >= 5 && x < 12 ? 0xFFFFFFu : 0u) << x;
    vLine(s.back, 3, 0, 20, white);          // column outside the region
    for (int y = 0; y < 20; y++)
        EXPECT_EQ(rgbAt(s.back, 3, y), 0u);
    vLine(s.back, 6, -100, INT_MAX, white);  // huge length, cut to the region
    for (int y = 0; y < 20; y++)
        EXPECT_EQ(rgbAt(s.back, 6, y), y >= 5 && y < 15 ? 0xFFFFFFu : 0u) << y;
    hLine(s.back, INT_MAX, 8, INT_MAX, white);
    hLine(s.back, 5, 9, -3, white);
    fillRect(s.back, -40000, -40000, 80000, 80000, mapRGB(s.back, 0x00FF00));
    EXPECT_EQ(rgbAt(s.back, 4, 4), 0u);
    EXPECT_EQ(rgbAt(s.back, 5, 5), 0x00FF00u);
    EXPECT_EQ(rgbAt(s.back, 14, 14), 0x00FF00u);
    EXPECT_EQ(rgbAt(s.back, 15, 15), 0u);
    fillRect(s.back, 0, 0, -5, 5, white);
    EXPECT_EQ(rgbAt(s.back, 5, 5), 0x00FF00u);
    setRegion(s.back, 0, 0, 0, 0);           // four zeros remove clipping
    hLine(s.back, 0, 0, 20, white);
    EXPECT_EQ(rgbAt(s.back, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(rgbAt(s.back, 19, 0), 0xFFFFFFu);
}

TEST(Draw, BlitOfAPartClipsOnEverySide)
{
    Surfaces s(10, 10);
    ASSERT_TRUE(s.back);
    fillRGB(s.back, 0);
    std::vector<uint32_t> px = solid(4, 4, 0xFFFFFF);
    SDL_Surface *image = createImage(4, 4, px.data(), nullptr);
    ASSERT_TRUE(image);
    blit(image, s.back, -2, -2, 0, 0, 4, 4);
    EXPECT_EQ(rgbAt(s.back, 1, 1), 0xFFFFFFu);
    EXPECT_EQ(rgbAt(s.back, 2, 2), 0u);
    blit(image, s.back, 100000, 5, 0, 0, 4, 4);
    blit(image, s.back, 5, 5, 2, 2, 100, 100);   // source part cut to the picture
    EXPECT_EQ(rgbAt(s.back, 6, 6), 0xFFFFFFu);
    EXPECT_EQ(rgbAt(s.back, 7, 7), 0u);
    SDL_FreeSurface(image);
}

TEST(Draw, FadeEndsOnTheNewPage)
{
    SDL_Surface *screen = testScreen(40, 30);
    ASSERT_TRUE(screen);
    SDL_Surface *next = SDL_DisplayFormat(screen);
    ASSERT_TRUE(next);
    fillRGB(screen, 0xFFFFFF);
    fillRGB(next, 0x204080);
    FadeBuffer fb;
    fade(next, screen, 40, fb);
    for (int y = 0; y < 30; y += 7)
        for (int x = 0; x < 40; x += 9)
            ASSERT_EQ(rgbAt(screen, x, y), 0x204080u);
    EXPECT_EQ(fb.width, 40);
    // Fading to black.
    fillRGB(next, 0);
    fade(next, screen, 25, fb);
    EXPECT_EQ(rgbAt(screen, 39, 29), 0u);
    SDL_FreeSurface(next);

    // The buffer follows a new screen size.
    screen = testScreen(64, 48);
    ASSERT_TRUE(screen);
    next = SDL_DisplayFormat(screen);
    fillRGB(screen, 0);
    fillRGB(next, 0xFF0000);
    fade(next, screen, 20, fb);
    EXPECT_EQ(fb.width, 64);
    EXPECT_EQ(fb.height, 48);
    EXPECT_EQ(rgbAt(screen, 63, 47), 0xFF0000u);
    // Duration 0 shows the new page at once.
    fillRGB(next, 0x00FF00);
    fade(next, screen, 0, fb);
    EXPECT_EQ(rgbAt(screen, 10, 10), 0x00FF00u);
    SDL_FreeSurface(next);
}

TEST(Draw, FadeFrameBlendsEachChannelByItsWeightAndKeepsTheFourthByte)
{
    const int n = 11;   // whole groups of four and a rest
    std::vector<Uint32> oldPx(n), newPx(n), out(n);
    uint32_t seed = 99;
    for (int i = 0; i < n; i++) {
        seed = seed * 1103515245u + 12345u;
        oldPx[i] = seed;
        seed = seed * 1103515245u + 12345u;
        newPx[i] = seed;
    }
    oldPx[0] = 0x00FFFFFF;
    newPx[0] = 0xFF000000;
    const int channel[3] = {2, 1, 0};
    for (int weight : {0, 1, 77, 128, 255, 256}) {
        detail::blendSpan(out.data(), oldPx.data(), newPx.data(), n, weight, 0x00FFFFFF, channel);
        for (int i = 0; i < n; i++)
            for (int k = 0; k < 4; k++) {
                int o = (oldPx[i] >> (8 * k)) & 0xFF, t = (newPx[i] >> (8 * k)) & 0xFF;
                int want = k == 3 ? o : (t + ((weight * (o - t)) >> 8)) & 0xFF;
                ASSERT_EQ((int)((out[i] >> (8 * k)) & 0xFF), want)
                    << "weight " << weight << " pixel " << i << " byte " << k;
            }
    }
}

TEST(Draw, FadeRedrawsOnlyWhatChangesAtMostSixtyTimesASecond)
{
    SDL_Surface *screen = testScreen(64, 48);
    ASSERT_TRUE(screen);
    SDL_Surface *next = SDL_DisplayFormat(screen);
    ASSERT_TRUE(next);
    const Uint32 rgb = screen->format->Rmask | screen->format->Gmask | screen->format->Bmask;
    fillRGB(screen, 0x102030);
    fillRGB(next, 0x102030);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            *((Uint32 *)((Uint8 *)screen->pixels + y * screen->pitch) + x) |= ~rgb;
    SDL_Rect changed = {10, 5, 10, 4};
    SDL_FillRect(next, &changed, mapRGB(next, 0xFFFFFF));
    FadeBuffer fb;
    // A short fade paces to 32 frames, above the 60 frames a second.
    fade(next, screen, 100, fb);
    EXPECT_GE(fb.frames, 1);
    EXPECT_LE(fb.frames, 32);
    ASSERT_EQ(fb.bands.size(), 1u);
    EXPECT_EQ(fb.bands[0].x, 10);
    EXPECT_EQ(fb.bands[0].y, 5);
    EXPECT_EQ(fb.bands[0].w, 10);
    EXPECT_EQ(fb.bands[0].h, 4);
    EXPECT_EQ(fb.from.size(), 40u);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++) {
            bool in = x >= 10 && x < 20 && y >= 5 && y < 9;
            ASSERT_EQ(rgbAt(screen, x, y), in ? 0xFFFFFFu : 0x102030u) << x << "," << y;
            Uint32 p = *((Uint32 *)((Uint8 *)screen->pixels + y * screen->pitch) + x);
            ASSERT_EQ(p & ~rgb, ~rgb) << x << "," << y;
        }
    // Nothing left to change: no frame at all.
    fade(next, screen, 30, fb);
    EXPECT_EQ(fb.frames, 0);

    // A longer one keeps to 60 frames a second.
    fillRGB(next, 0x405060);
    fade(next, screen, 600, fb);
    EXPECT_GE(fb.frames, 2);
    EXPECT_LE(fb.frames, 36);
    EXPECT_EQ(rgbAt(screen, 0, 0), 0x405060u);

    // Unpaced, the weight reaches 0 a little before the end: the fade still ends.
    fb.framesPerSecond = 0;
    fillRGB(next, 0x000000);
    fade(next, screen, 300, fb);
    EXPECT_EQ(rgbAt(screen, 0, 0), 0u);
    EXPECT_GT(fb.frames, 7);
    fb.framesPerSecond = 60;

    // A page whose bytes are arranged otherwise still ends exactly on it.
    SDL_Surface *bgr = SDL_CreateRGBSurface(SDL_SWSURFACE, 64, 48, 32, 0xFF, 0xFF00, 0xFF0000, 0);
    ASSERT_TRUE(bgr);
    fillRGB(bgr, 0x336699);
    fade(bgr, screen, 20, fb);
    EXPECT_EQ(rgbAt(screen, 0, 0), 0x336699u);
    EXPECT_EQ(rgbAt(screen, 63, 47), 0x336699u);
    SDL_FreeSurface(bgr);
    SDL_FreeSurface(next);
}

TEST(Draw, PagesFollowEachOtherAtMostSixtyTimesASecond)
{
    SystemFixture f("showConfig=false\nfullscreen=false\nmusic=false\nsoundEffects=false\n");
    SDLSystem *s = f.system.get();
    ASSERT_TRUE(s->is_ready());
    ASSERT_TRUE(s->init_display(32, 32));
    s->flip(0, 0, 0);
    Uint32 start = SDL_GetTicks();
    for (int i = 0; i < 6; i++)
        s->flip(0, 0, 0);
    EXPECT_GE(SDL_GetTicks() - start, 6u * 16u);
}

TEST(Draw, PointerRestoresWhatItCovered)
{
    SDL_Surface *screen = testScreen(32, 32);
    ASSERT_TRUE(screen);
    SDL_Surface *back = SDL_DisplayFormat(screen);
    fillRGB(back, 0x000080);
    fillRGB(screen, 0x000080);
    std::vector<uint32_t> px = solid(3, 3, 0xFFFF00);
    SDL_Surface *arrow = createImage(3, 3, px.data(), nullptr);
    SDL_Rect saved = {0, 0, 0, 0};
    movePointer(screen, back, arrow, 1, 1, 10, 10, saved);
    EXPECT_EQ(rgbAt(screen, 9, 9), 0xFFFF00u);
    EXPECT_EQ(rgbAt(screen, 11, 11), 0xFFFF00u);
    EXPECT_EQ(saved.x, 9);
    EXPECT_EQ(saved.w, 3);
    movePointer(screen, back, arrow, 1, 1, 20, 20, saved);
    EXPECT_EQ(rgbAt(screen, 10, 10), 0x000080u);
    EXPECT_EQ(rgbAt(screen, 20, 20), 0xFFFF00u);
    // Near the edge: drawn clipped, restored clipped.
    movePointer(screen, back, arrow, 1, 1, 0, 0, saved);
    movePointer(screen, back, arrow, 1, 1, 15, 15, saved);
    EXPECT_EQ(rgbAt(screen, 0, 0), 0x000080u);
    SDL_FreeSurface(arrow);
    SDL_FreeSurface(back);
}
