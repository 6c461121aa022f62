// Pictures, masks, blits, stretches, lines, rectangles, fades and the pointer
// on headless SDL surfaces.
#include "Messages.h"
#include "SDL_Draw.h"
#include "SDL_DrawSupport.h"
#include "SDLTestSupport.h"
#include "SdlTestScreen.h"
#include "StretchReference.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using namespace SDL_Draw;

namespace {

struct FreeSurface {
    void operator()(SDL_Surface *s) const { SDL_FreeSurface(s); }
};
typedef std::unique_ptr<SDL_Surface, FreeSurface> Owned;

// A back buffer in the format of a headless screen of its size.
Owned backBuffer(int w, int h)
{
    SDL_Surface *screen = testScreen(w, h);
    return Owned(screen ? SDL_DisplayFormat(screen) : nullptr);
}

Owned solidImage(int w, int h, uint32_t rgb, const uint8_t *mask = nullptr)
{
    std::vector<uint32_t> px((size_t)w * h, rgb);
    return Owned(createImage(w, h, px.data(), mask));
}

// Every pixel of the surface against want(x, y).
template <class Want> void expectPixels(SDL_Surface *s, Want want)
{
    for (int y = 0; y < s->h; y++)
        for (int x = 0; x < s->w; x++)
            ASSERT_EQ(rgbAt(s, x, y), (uint32_t)want(x, y)) << x << "," << y;
}

Uint32 &rawPixel(SDL_Surface *s, int x, int y) { return *((Uint32 *)((Uint8 *)s->pixels + y * s->pitch) + x); }

} // namespace

TEST(Draw, MaskedPictureLeavesExactlyTheMaskedPixels)
{
    Owned back = backBuffer(32, 16);
    ASSERT_TRUE(back);
    fillRGB(back.get(), 0x0000FF);
    const int w = 9, h = 3;
    ASSERT_EQ(maskRowBytes(w), 4u);
    std::vector<uint8_t> mask(maskRowBytes(w) * h, 0);
    mask[1 * 4 + 0] = 0x80;          // row 1, leftmost pixel
    mask[0 * 4 + 1] = 0x80;          // row 0, pixel 8 (second byte)
    mask[2 * 4 + 0] = 0x05;          // row 2, pixels 5 and 7
    mask[2 * 4 + 3] = 0xFF;          // padding bits mean nothing
    Owned image = solidImage(w, h, 0xFF0000, mask.data());
    ASSERT_TRUE(image);
    blit(image.get(), back.get(), 4, 5, 0, 0, w, h);
    expectPixels(back.get(), [](int x, int y) {
        int ix = x - 4, iy = y - 5;
        bool inside = ix >= 0 && ix < w && iy >= 0 && iy < h;
        bool masked = (iy == 1 && ix == 0) || (iy == 0 && ix == 8) || (iy == 2 && (ix == 5 || ix == 7));
        return inside && !masked ? 0xFF0000 : 0x0000FF;
    });
}

TEST(Draw, PicturesWithoutTransparentPixelsAreCopiedInTheDisplayFormat)
{
    // No mask and a mask with no bit set draw every pixel, as a plain copy
    // (no alpha channel to blend); one set bit lets the background through.
    const uint8_t none[8] = {}, one[8] = {0x40};
    const struct { const uint8_t *mask; bool copied; } cases[] = {{nullptr, true}, {none, true}, {one, false}};
    for (const auto &c : cases) {
        Owned back = backBuffer(8, 4), image = solidImage(3, 2, 0xFF8000, c.mask);
        ASSERT_TRUE(back && image);
        fillRGB(back.get(), 0x0000FF);
        blit(image.get(), back.get(), 2, 1, 0, 0, 3, 2);
        expectPixels(back.get(), [&](int x, int y) {
            bool hidden = !c.copied && x == 3 && y == 1;
            return x >= 2 && x < 5 && y >= 1 && y < 3 && !hidden ? 0xFF8000 : 0x0000FF;
        });
        const SDL_PixelFormat *f = image->format, *b = back->format;
        EXPECT_EQ(c.copied, f->Amask == 0 && f->Rmask == b->Rmask && f->Gmask == b->Gmask && f->Bmask == b->Bmask)
            << (c.mask ? "mask" : "none");
    }
}

TEST(Draw, RedStaysRedAndIndexesPastThePaletteDrawTheStartColour)
{
    // A markup colour arrives with red and blue exchanged; palette indexes
    // outside the palette draw its start colour.
    const uint32_t colours[][2] = {{0x0000FF, 0xFF0000}, {0x123456, 0x563412},
                                   {0x80000000u | 256, 0xEFEFEF}, {0x80000000u | 999, 0xEFEFEF}};
    for (const auto &c : colours)
        EXPECT_EQ(colourToRGB(c[0]), c[1]) << std::hex << c[0];
    Owned back = backBuffer(16, 16);
    Owned image = solidImage(1, 1, 0xFF0000);
    ASSERT_TRUE(back && image);
    stretch(image.get(), back.get(), 5, 5, 3, 3);
    EXPECT_EQ(rgbAt(back.get(), 6, 6), 0xFF0000u);
}

TEST(Draw, CreateImageRefusesImpossibleSizes)
{
    uint32_t px[4] = {0, 0, 0, 0};
    const struct { int w, h; uint32_t *px; } cases[] = {
        {0, 1, px}, {1, -5, px}, {INT_MAX, INT_MAX, px}, {65536, 65537, px}, {kMaxImageSide + 1, 1, px}, {2, 2, nullptr}};
    for (const auto &c : cases)
        EXPECT_EQ(createImage(c.w, c.h, c.px, nullptr), nullptr) << c.w << "x" << c.h;
    EXPECT_TRUE(Owned(createImage(2, 2, px, nullptr)));
}

TEST(Draw, StretchMatchesThePerPixelAreaAverage)
{
    struct Case { int sw, sh, x, y, w, h; bool masked; int surfaceAlpha; } cases[] = {
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
        Owned s = backBuffer(200, 120), ref = backBuffer(200, 120);
        ASSERT_TRUE(s && ref);
        std::vector<uint32_t> px((size_t)c.sw * c.sh);
        uint32_t seed = 12345u + (uint32_t)c.sw * 7u + (uint32_t)c.h;
        for (uint32_t &p : px) {
            seed = seed * 1103515245u + 12345u;
            p = seed >> 8 & 0xFFFFFF;
        }
        std::vector<uint8_t> mask(maskRowBytes(c.sw) * c.sh);
        for (size_t i = 0; i < mask.size(); i++)
            mask[i] = (uint8_t)(c.masked ? (i * 37u) ^ 0x5A : 0);
        Owned image(createImage(c.sw, c.sh, px.data(), mask.data()));
        ASSERT_TRUE(image);
        if (c.surfaceAlpha != 255)
            SDL_SetAlpha(image.get(), SDL_SRCALPHA, (Uint8)c.surfaceAlpha);
        for (SDL_Surface *back : {s.get(), ref.get()})
            for (int yy = 0; yy < 120; yy++)
                for (int xx = 0; xx < 200; xx++)
                    rawPixel(back, xx, yy) = mapRGB(back, (uint32_t)(xx * 5 + yy * 3) * 0x010203u & 0xFFFFFF);
        stretch(image.get(), s.get(), c.x, c.y, c.w, c.h);
        referenceStretch(image.get(), ref.get(), c.x, c.y, c.w, c.h);
        for (int yy = 0; yy < 120; yy++)
            ASSERT_EQ(memcmp(&rawPixel(s.get(), 0, yy), &rawPixel(ref.get(), 0, yy), 200 * 4), 0) << "row " << yy;
    }
}

// Pictures drawn again at a size they were drawn at are copied, not filtered:
// a new size, a picture made anew and a size too big to keep are filtered.
// Copied or filtered, the pixels are the filter's.
TEST(Draw, ScaledPicturesAreFilteredOncePerSize)
{
    SystemFixture f("showConfig=false\nfullscreen=false\nmusic=false\nsoundEffects=false\n");
    SDLSystem *s = f.system.get();
    ASSERT_TRUE(s->is_ready() && s->init_display(64, 48));
    std::vector<uint32_t> px(40 * 30);
    for (size_t i = 0; i < px.size(); i++)
        px[i] = (uint32_t)(i * 2654435761u) >> 8;
    std::vector<uint8_t> mask(maskRowBytes(40) * 30, 0x0F);
    ImageHandle pictures[2] = {s->create_image(40, 30, px.data(), nullptr),
                               s->create_image(40, 30, px.data(), mask.data())};
    const struct { const char *name; int picture, x, y, w, h; bool remake; long passes; } steps[] = {
        {"first picture", 0, 3, 4, 10, 10, false, 1},
        {"second picture, with transparent pixels", 1, -5, 20, 30, 20, false, 2},
        {"first again", 0, 3, 4, 10, 10, false, 2},
        {"second again, elsewhere", 1, 30, 1, 30, 20, false, 2},
        {"first at a new size", 0, 0, 0, 64, 48, false, 3},
        {"first at its first size", 0, 40, 30, 10, 10, false, 3},
        {"first made anew", 0, 3, 4, 10, 10, true, 4},
        {"too big to keep", 1, -100, -100, 5000, 4000, false, 5},
        {"too big to keep, again", 1, -100, -100, 5000, 4000, false, 6},
    };
    Owned expected(SDL_DisplayFormat(s->backBuffer));
    ASSERT_TRUE(expected);
    for (const auto &c : steps) {
        if (c.remake) {
            s->unload_image(pictures[c.picture]);
            pictures[c.picture] = s->create_image(40, 30, px.data(), nullptr);
        }
        ASSERT_TRUE(pictures[c.picture]);
        SDL_BlitSurface(s->backBuffer, nullptr, expected.get(), nullptr);
        stretch((SDL_Surface *)pictures[c.picture], expected.get(), c.x, c.y, c.w, c.h);
        s->strech(pictures[c.picture], c.x, c.y, c.w, c.h);
        EXPECT_EQ(s->scaleCache->filterPasses, c.passes) << c.name;
        EXPECT_LE(s->scaleCache->bytes(), (size_t)64 << 20) << c.name;
        for (int y = 0; y < 48; y++)
            ASSERT_EQ(memcmp(&rawPixel(s->backBuffer, 0, y), &rawPixel(expected.get(), 0, y), 64 * 4), 0)
                << c.name << ", row " << y;
    }
    // Room for two copies: a third pushes out the least recently drawn.
    ScaleCache small(2 * 10 * 10 * 4);
    const struct { int picture, w, h; long passes; } draws[] = {
        {0, 10, 10, 1}, {1, 10, 10, 2}, {0, 10, 10, 2}, {1, 10, 10, 2},
        {0, 20, 5, 3}, {1, 10, 10, 3}, {0, 10, 10, 4}, {1, 10, 10, 4}};
    for (const auto &c : draws) {
        small.draw((SDL_Surface *)pictures[c.picture], expected.get(), 0, 0, c.w, c.h);
        EXPECT_EQ(small.filterPasses, c.passes) << c.picture << " at " << c.w << "x" << c.h;
        EXPECT_LE(small.bytes(), 2u * 10 * 10 * 4);
    }
    for (ImageHandle picture : pictures)
        s->unload_image(picture);
    EXPECT_EQ(s->scaleCache->bytes(), 0u);
}

TEST(Draw, ScaleBlitStaysInsideItsSource)
{
    Owned image = solidImage(3, 1, 0x0000FF);
    ASSERT_TRUE(image);
    // A right edge a hair past the picture (rounding of factor x (i + 1)).
    Uint32 c = scaleBlit(image.get(), 2.5, 0.0, 3.0000001, 1.0000001);
    Uint8 r, g, b, a;
    SDL_GetRGBA(c, image->format, &r, &g, &b, &a);
    EXPECT_EQ(b, 255);
    EXPECT_EQ(r, 0);
}

TEST(Draw, LinesRectanglesBlitsAndStretchesClip)
{
    Owned back = backBuffer(20, 20);
    ASSERT_TRUE(back);
    SDL_Surface *s = back.get();
    fillRGB(s, 0);
    Uint32 white = mapRGB(s, 0xFFFFFF);
    setRegion(s, 5, 5, 10, 10);
    hLine(s, 0, 7, 12, white);          // starts left of the region
    vLine(s, 3, 0, 20, white);          // column outside the region
    vLine(s, 6, -100, INT_MAX, white);  // huge length, cut to the region
    hLine(s, INT_MAX, 8, INT_MAX, white);
    hLine(s, 5, 9, -3, white);
    expectPixels(s, [](int x, int y) {
        return (y == 7 && x >= 5 && x < 12) || (x == 6 && y >= 5 && y < 15) ? 0xFFFFFF : 0;
    });
    fillRect(s, -40000, -40000, 80000, 80000, mapRGB(s, 0x00FF00));
    fillRect(s, 0, 0, -5, 5, white);
    expectPixels(s, [](int x, int y) { return x >= 5 && x < 15 && y >= 5 && y < 15 ? 0x00FF00 : 0; });
    setRegion(s, 0, 0, 0, 0);           // four zeros remove clipping
    hLine(s, 0, 0, 20, white);
    EXPECT_EQ(rgbAt(s, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(rgbAt(s, 19, 0), 0xFFFFFFu);

    // A blit of a part, clipped on every side.
    fillRGB(s, 0);
    Owned image = solidImage(4, 4, 0xFFFFFF);
    ASSERT_TRUE(image);
    blit(image.get(), s, -2, -2, 0, 0, 4, 4);
    blit(image.get(), s, 100000, 5, 0, 0, 4, 4);
    blit(image.get(), s, 5, 5, 2, 2, 100, 100);   // source part cut to the picture
    expectPixels(s, [](int x, int y) { return (x < 2 && y < 2) || (x >= 5 && x < 7 && y >= 5 && y < 7) ? 0xFFFFFF : 0; });

    // A stretch clipped to the region, partly off the surface on every side.
    setRegion(s, 5, 5, 6, 4);
    Owned odd = solidImage(3, 7, 0x00FF00);
    ASSERT_TRUE(odd);
    stretch(odd.get(), s, -13, -7, 51, 43);
    expectPixels(s, [](int x, int y) {
        return x >= 5 && x < 11 && y >= 5 && y < 9 ? 0x00FF00 : (x < 2 && y < 2) || (x >= 5 && x < 7 && y >= 5 && y < 7) ? 0xFFFFFF : 0;
    });
    setRegion(s, 0, 0, 0, 0);
    stretch(odd.get(), s, 10, 10, 1000000, 1000000);
    stretch(odd.get(), s, INT_MAX - 1, 0, 5, 5);
    EXPECT_EQ(rgbAt(s, 19, 19), 0x00FF00u);
    stretch(odd.get(), s, 0, 0, 0, 5);
    stretch(odd.get(), s, 0, 0, -4, 5);
}

// Duration 0 shows the new page at once; the buffer follows a new screen
// size; unpaced, the weight reaches 0 a little before the end; a page whose
// bytes are arranged otherwise: every fade ends exactly on the new page.
TEST(Draw, FadeEndsOnTheNewPage)
{
    FadeBuffer fb;
    const struct { int w, h; uint32_t from, to; int duration, framesPerSecond; bool bgr; } cases[] = {
        {40, 30, 0xFFFFFF, 0x204080, 40, 60, false}, {40, 30, 0x204080, 0, 25, 60, false},
        {64, 48, 0, 0xFF0000, 20, 60, false},        {64, 48, 0xFF0000, 0x00FF00, 0, 60, false},
        {64, 48, 0x00FF00, 0, 300, 0, false},        {64, 48, 0, 0x336699, 20, 60, true}};
    for (const auto &c : cases) {
        SDL_Surface *screen = testScreen(c.w, c.h);
        ASSERT_TRUE(screen);
        Owned next(c.bgr ? SDL_CreateRGBSurface(SDL_SWSURFACE, c.w, c.h, 32, 0xFF, 0xFF00, 0xFF0000, 0)
                         : SDL_DisplayFormat(screen));
        fillRGB(screen, c.from);
        fillRGB(next.get(), c.to);
        fb.framesPerSecond = c.framesPerSecond;
        fade(next.get(), screen, c.duration, fb);
        expectPixels(screen, [&](int, int) { return c.to; });
        EXPECT_EQ(fb.width, c.w);
        EXPECT_EQ(fb.height, c.h);
        if (!c.framesPerSecond) {
            EXPECT_GT(fb.frames, 7);
        }
    }
}

TEST(Draw, FadeFrameBlendsEachChannelByItsWeightAndKeepsTheFourthByte)
{
    const int n = 11;   // whole groups of four and a rest
    std::vector<Uint32> oldPx(n), newPx(n), out(n);
    uint32_t seed = 99;
    for (int i = 0; i < n; i++) {
        oldPx[i] = seed = seed * 1103515245u + 12345u;
        newPx[i] = seed = seed * 1103515245u + 12345u;
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
                ASSERT_EQ((int)((out[i] >> (8 * k)) & 0xFF), want) << "weight " << weight << " pixel " << i << " byte " << k;
            }
    }
}

TEST(Draw, FadeRedrawsOnlyWhatChangesAtMostSixtyTimesASecond)
{
    SDL_Surface *screen = testScreen(64, 48);
    ASSERT_TRUE(screen);
    Owned next(SDL_DisplayFormat(screen));
    ASSERT_TRUE(next);
    const Uint32 rgb = screen->format->Rmask | screen->format->Gmask | screen->format->Bmask;
    fillRGB(screen, 0x102030);
    fillRGB(next.get(), 0x102030);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            rawPixel(screen, x, y) |= ~rgb;
    SDL_Rect changed = {10, 5, 10, 4};
    SDL_FillRect(next.get(), &changed, mapRGB(next.get(), 0xFFFFFF));
    FadeBuffer fb;
    // However short the fade, no more frames than 60 a second show.
    fade(next.get(), screen, 100, fb);
    EXPECT_GE(fb.frames, 1);
    EXPECT_LE(fb.frames, 6);
    ASSERT_EQ(fb.bands.size(), 1u);
    const SDL_Rect &band = fb.bands[0];
    EXPECT_EQ(std::vector<int>({band.x, band.y, band.w, band.h}), std::vector<int>({10, 5, 10, 4}));
    EXPECT_EQ(fb.from.size(), 40u);
    expectPixels(screen, [](int x, int y) { return x >= 10 && x < 20 && y >= 5 && y < 9 ? 0xFFFFFF : 0x102030; });
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            ASSERT_EQ(rawPixel(screen, x, y) & ~rgb, ~rgb) << x << "," << y;
    // Nothing left to change: no frame at all.
    fade(next.get(), screen, 30, fb);
    EXPECT_EQ(fb.frames, 0);
    // A longer one keeps to 60 frames a second.
    fillRGB(next.get(), 0x405060);
    fade(next.get(), screen, 600, fb);
    EXPECT_GE(fb.frames, 2);
    EXPECT_LE(fb.frames, 36);
}

// Ctrl+C before or during a 10 s fade: the fade ends on the new page within
// a few frames, and the reader is told to end.
TEST(Draw, QuitRequestEndsAFadeAtOnce)
{
    for (int quitAfterMs : {-1, 100}) {   // before the fade (the closing fade), or 100 ms into it
        SystemFixture f("showConfig=false\nfullscreen=false\nmusic=false\nsoundEffects=false\n");
        SDLSystem *s = f.system.get();
        ASSERT_TRUE(s->is_ready() && s->init_display(64, 48));
        fillRGB(s->screen, 0xFFFFFF);
        fillRGB(s->backBuffer, 0x204080);
        if (quitAfterMs < 0)
            s->requestQuit();
        std::thread quitter([&] {
            if (quitAfterMs >= 0) {
                SDL_Delay((Uint32)quitAfterMs);
                s->requestQuit();
            }
        });
        s->flip(1, 0, 10000);
        quitter.join();
        EXPECT_LT(s->fadeBuffer->frames, 60) << quitAfterMs;   // a 10 s fade draws 600
        expectPixels(s->screen, [](int, int) { return 0x204080; });
        int msg = 0, param = 0;
        EXPECT_TRUE(s->get_message(msg, param) && msg == MSG_EXIT) << quitAfterMs;
    }
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

// Moves in the middle are checked on the whole system; here, the corner.
TEST(Draw, PointerAtTheEdgeIsDrawnAndRestoredClipped)
{
    SDL_Surface *screen = testScreen(32, 32);
    ASSERT_TRUE(screen);
    Owned back(SDL_DisplayFormat(screen));
    fillRGB(back.get(), 0x000080);
    fillRGB(screen, 0x000080);
    Owned arrow = solidImage(3, 3, 0xFFFF00);
    SDL_Rect saved = {0, 0, 0, 0};
    movePointer(screen, back.get(), arrow.get(), 1, 1, 0, 0, saved);
    EXPECT_EQ(rgbAt(screen, 0, 0), 0xFFFF00u);
    EXPECT_EQ(rgbAt(screen, 1, 1), 0xFFFF00u);
    EXPECT_EQ(rgbAt(screen, 2, 2), 0x000080u);
    movePointer(screen, back.get(), arrow.get(), 1, 1, 15, 15, saved);
    expectPixels(screen, [](int x, int y) { return x >= 14 && x < 17 && y >= 14 && y < 17 ? 0xFFFF00 : 0x000080; });
}
