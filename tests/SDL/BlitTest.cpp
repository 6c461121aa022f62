// The drawing layer's own copy and blend of pictures against SDL_BlitSurface:
// the same pixels (all four bytes), the same rectangles written back and the
// same result, for every kind of picture and every way of clipping.
#include "SDL_Draw.h"
#include "SDL_DrawSupport.h"
#include "SdlTestScreen.h"

#include <cstring>
#include <memory>
#include <vector>

using namespace SDL_Draw;

namespace {

struct FreeSurface {
    void operator()(SDL_Surface *s) const { SDL_FreeSurface(s); }
};
typedef std::unique_ptr<SDL_Surface, FreeSurface> Owned;

// Every byte of every pixel from a fixed sequence; pixel i's alpha byte is
// i mod 256, so a blended picture holds every alpha.
void scramble(SDL_Surface *s, uint32_t seed)
{
    for (int y = 0; y < s->h; y++) {
        Uint32 *row = (Uint32 *)((Uint8 *)s->pixels + (size_t)y * s->pitch);
        for (int x = 0; x < s->w; x++) {
            seed = seed * 1103515245u + 12345u;
            row[x] = (seed >> 8 & 0x00FFFFFF) | (Uint32)((y * s->w + x) & 255) << 24;
        }
    }
}

Owned copyOf(SDL_Surface *s)
{
    Owned c(SDL_ConvertSurface(s, s->format, s->flags));
    if (c) {
        for (int y = 0; y < s->h; y++)
            memcpy((Uint8 *)c->pixels + (size_t)y * c->pitch, (Uint8 *)s->pixels + (size_t)y * s->pitch,
                   (size_t)s->w * 4);
        c->clip_rect = s->clip_rect;
    }
    return c;
}

bool sameBytes(SDL_Surface *a, SDL_Surface *b)
{
    for (int y = 0; y < a->h; y++)
        if (memcmp((Uint8 *)a->pixels + (size_t)y * a->pitch, (Uint8 *)b->pixels + (size_t)y * b->pitch,
                   (size_t)a->w * 4) != 0)
            return false;
    return true;
}

enum Picture { kOpaque, kMasked, kGlyph, kColourKey, kHalfAlpha, kOtherOrder };

// A 23 x 17 picture of the kind, in the display's format where it would be.
Owned picture(Picture kind)
{
    const int w = 23, h = 17;
    std::vector<uint32_t> px((size_t)w * h);
    for (size_t i = 0; i < px.size(); i++)
        px[i] = (uint32_t)(i * 2654435761u) & 0xFFFFFF;
    std::vector<uint8_t> mask(maskRowBytes(w) * h);
    for (size_t i = 0; i < mask.size(); i++)
        mask[i] = (uint8_t)(i * 37);
    Owned raw;
    switch (kind) {
    case kOpaque: return Owned(createImage(w, h, px.data(), nullptr));
    case kMasked: return Owned(createImage(w, h, px.data(), mask.data()));
    case kGlyph:
        raw.reset(SDL_CreateRGBSurface(SDL_SWSURFACE | SDL_SRCALPHA, w, h, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000));
        scramble(raw.get(), 7);
        return Owned(SDL_DisplayFormatAlpha(raw.get()));
    case kColourKey:
        raw.reset(createImage(w, h, px.data(), nullptr));
        SDL_SetColorKey(raw.get(), SDL_SRCCOLORKEY, px[5]);
        return raw;
    case kHalfAlpha:
        raw.reset(createImage(w, h, px.data(), nullptr));
        SDL_SetAlpha(raw.get(), SDL_SRCALPHA, 128);
        return raw;
    case kOtherOrder:
        raw.reset(SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xFF, 0xFF00, 0xFF0000, 0));
        scramble(raw.get(), 9);
        return raw;
    }
    return nullptr;
}

} // namespace

// Each picture kind is drawn through the path meant for it, and every path
// matches SDL for source rectangles cut at each side of the picture,
// positions off each side of the target and clip rectangles on each side.
TEST(Blit, CopiesAndBlendsAsSdlDoesUnderEveryClip)
{
    SDL_Surface *screen = testScreen(40, 30);
    ASSERT_TRUE(screen);
    const struct { Picture kind; BlitKind path; } pictures[] = {
        {kOpaque, BlitKind::copy},  {kMasked, BlitKind::blend},    {kGlyph, BlitKind::blend},
        {kColourKey, BlitKind::sdl}, {kHalfAlpha, BlitKind::sdl}, {kOtherOrder, BlitKind::sdl}};
    const SDL_Rect all = {0, 0, 40, 30};
    const struct { const char *name; bool whole; SDL_Rect source; SDL_Rect at; SDL_Rect clip; } cuts[] = {
        {"whole picture, no rectangles", true, {}, {}, all},
        {"whole picture at a place", false, {0, 0, 23, 17}, {9, 6, 0, 0}, all},
        {"part of the picture", false, {3, 4, 10, 7}, {2, 3, 0, 0}, all},
        {"source rectangle past the picture", false, {15, 10, 40, 40}, {1, 1, 0, 0}, all},
        {"source rectangle left of and above the picture", false, {-5, -3, 20, 12}, {4, 4, 0, 0}, all},
        {"off the left and top", false, {0, 0, 23, 17}, {-7, -5, 0, 0}, all},
        {"off the right and bottom", false, {0, 0, 23, 17}, {30, 20, 0, 0}, all},
        {"cut by the clip on the left and top", false, {0, 0, 23, 17}, {2, 2, 0, 0}, {8, 6, 30, 20}},
        {"cut by the clip on the right and bottom", false, {2, 1, 20, 15}, {10, 9, 0, 0}, {0, 0, 19, 14}},
        {"inside a clip on all sides", false, {0, 0, 23, 17}, {5, 5, 0, 0}, {7, 8, 9, 4}},
        {"wholly outside the clip", false, {0, 0, 23, 17}, {0, 0, 0, 0}, {30, 20, 5, 5}},
        {"wholly off the target", false, {0, 0, 23, 17}, {-30, 40, 0, 0}, all},
        {"empty source rectangle", false, {4, 4, 0, 9}, {1, 1, 0, 0}, all},
    };
    for (const auto &p : pictures) {
        Owned image = picture(p.kind);
        ASSERT_TRUE(image) << p.kind;
        for (const auto &c : cuts) {
            Owned ours(SDL_DisplayFormat(screen));
            ASSERT_TRUE(ours);
            scramble(ours.get(), 3);
            SDL_Rect clip = c.clip;
            SDL_SetClipRect(ours.get(), &clip);
            Owned sdls = copyOf(ours.get());
            ASSERT_TRUE(sdls);
            EXPECT_EQ(blitKind(image.get(), ours.get()), p.path) << p.kind;
            SDL_Rect sourceA = c.source, sourceB = c.source, atA = c.at, atB = c.at;
            int want = SDL_BlitSurface(image.get(), c.whole ? nullptr : &sourceA, sdls.get(), c.whole ? nullptr : &atA);
            int got = blitSurface(image.get(), c.whole ? nullptr : &sourceB, ours.get(), c.whole ? nullptr : &atB);
            EXPECT_EQ(got, want) << p.kind << ": " << c.name;
            EXPECT_TRUE(sameBytes(ours.get(), sdls.get())) << p.kind << ": " << c.name;
            EXPECT_EQ(memcmp(&atA, &atB, sizeof atA), 0) << p.kind << ": " << c.name;
            EXPECT_EQ(memcmp(&sourceA, &sourceB, sizeof sourceA), 0) << p.kind << ": " << c.name;
        }
    }
}

// The back buffer shown on the screen is the same page byte for byte, and
// locked surfaces are refused as SDL refuses them.
TEST(Blit, BackBufferFlipIsTheSameAsSdls)
{
    SDL_Surface *screen = testScreen(64, 48);
    ASSERT_TRUE(screen);
    Owned back(SDL_DisplayFormat(screen));
    ASSERT_TRUE(back);
    scramble(back.get(), 11);
    scramble(screen, 5);
    Owned sdls = copyOf(screen);
    ASSERT_TRUE(sdls);
    ASSERT_EQ(blitKind(back.get(), screen), BlitKind::copy);
    EXPECT_EQ(blitSurface(back.get(), nullptr, screen, nullptr), 0);
    SDL_BlitSurface(back.get(), nullptr, sdls.get(), nullptr);
    EXPECT_TRUE(sameBytes(screen, sdls.get()));
    EXPECT_TRUE(sameBytes(screen, back.get()));

    scramble(back.get(), 13);
    ASSERT_EQ(SDL_LockSurface(back.get()), 0);
    EXPECT_EQ(blitKind(back.get(), screen), BlitKind::sdl);
    EXPECT_EQ(blitSurface(back.get(), nullptr, screen, nullptr), -1);
    SDL_UnlockSurface(back.get());
    EXPECT_TRUE(sameBytes(screen, sdls.get()));
}

// Both ways of blending (two rows at a time where the processor can, and
// one pixel at a time) match SDL for every row length up to two four-pixel
// steps and a tail, and for odd and even numbers of rows.
TEST(Blit, EveryRowShapeBlendsAsSdlDoes)
{
    SDL_Surface *screen = testScreen(40, 30);
    ASSERT_TRUE(screen);
    Owned glyph = picture(kGlyph);
    ASSERT_TRUE(glyph);
    for (bool paired : {false, canPairRows()}) {
        for (int w = 1; w <= 11; w++) {
            for (int h = 1; h <= 5; h++) {
                Owned ours(SDL_DisplayFormat(screen));
                ASSERT_TRUE(ours);
                scramble(ours.get(), (uint32_t)(w * 7 + h));
                Owned sdls = copyOf(ours.get());
                SDL_Rect part = {(Sint16)(11 - w), 2, (Uint16)w, (Uint16)h}, at = {3, 4, 0, 0};
                SDL_BlitSurface(glyph.get(), &part, sdls.get(), &at);
                blendRows((Uint8 *)ours->pixels + 4 * ours->pitch + 3 * 4, ours->pitch,
                          (const Uint8 *)glyph->pixels + 2 * glyph->pitch + (11 - w) * 4, glyph->pitch, w, h, paired);
                EXPECT_TRUE(sameBytes(ours.get(), sdls.get())) << "paired " << paired << ", " << w << " x " << h;
            }
        }
    }
}

namespace {

// A glyph's alpha as fonts make it (clear margins and a clear row, full
// pixels, every level between) and its surface in one colour.
std::vector<uint8_t> glyphAlpha(int w, int h)
{
    std::vector<uint8_t> alpha((size_t)w * h);
    for (int i = 0; i < w * h; i++) {
        int x = i % w, y = i / w;
        bool clear = y == 1 || (x == 0 && y % 2) || (x == w - 1 && y % 3 == 0);
        alpha[i] = clear ? 0 : (x + y) % 5 ? (uint8_t)((unsigned)(i * 37 + w) * 2654435761u >> 24) : 255;
    }
    return alpha;
}

Owned glyphSurface(const std::vector<uint8_t> &alpha, int w, int h, uint32_t rgb)
{
    Owned raw(SDL_CreateRGBSurface(SDL_SWSURFACE | SDL_SRCALPHA, w, h, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000));
    for (int i = 0; raw && i < w * h; i++)
        ((Uint32 *)((Uint8 *)raw->pixels + (size_t)(i / w) * raw->pitch))[i % w] = rgb | (Uint32)alpha[i] << 24;
    return Owned(raw ? SDL_DisplayFormatAlpha(raw.get()) : nullptr);
}

} // namespace

// A glyph blended from its weights, both ways (eight pixels at a time where
// the processor can, one at a time), gives SDL's blend of its surface for
// every width up to two steps and more; drawGlyph draws only glyphs wholly
// inside the clip, up to the target's right and bottom edges.
TEST(Blit, GlyphWeightsBlendAsSdlBlendsTheGlyphSurface)
{
    SDL_Surface *screen = testScreen(40, 30);
    ASSERT_TRUE(screen);
    for (bool stepped : {false, canPairRows()}) {
        for (int w = 1; w <= 19; w++) {
            for (int h = 1; h <= 4; h++) {
                const uint32_t rgb = (uint32_t)(w * 0x0B1D07 + h * 0x230517) & 0xFFFFFF;
                std::vector<uint8_t> alpha = glyphAlpha(w, h);
                Owned glyph = glyphSurface(alpha, w, h, rgb), ours(SDL_DisplayFormat(screen));
                ASSERT_TRUE(glyph && ours && glyphBlends(glyph.get(), screen));
                scramble(ours.get(), (uint32_t)(w * 5 + h));
                Owned sdls = copyOf(ours.get());
                SDL_Rect at = {3, 4, 0, 0};
                SDL_BlitSurface(glyph.get(), nullptr, sdls.get(), &at);
                blendGlyph((Uint8 *)pixelAt(ours.get(), 3, 4), ours->pitch, glyphWeights(alpha.data(), w, h, w),
                           mapRGB(ours.get(), rgb), stepped);
                EXPECT_TRUE(sameBytes(ours.get(), sdls.get())) << "stepped " << stepped << ", " << w << " x " << h;
            }
        }
    }

    std::vector<uint8_t> alpha = glyphAlpha(13, 5);
    Owned glyph = glyphSurface(alpha, 13, 5, 0x3060C0);
    const SDL_Rect all = {0, 0, 40, 30}, part = {5, 5, 30, 20};
    const struct { const char *name; SDL_Rect clip; int x, y; bool drawn; } places[] = {
        {"inside the clip", part, 6, 6, true},
        {"touching the clip's right and bottom edges", part, 22, 20, true},
        {"at the target's right and bottom edges", all, 27, 25, true},
        {"across the clip's left edge", part, 3, 6, false},
        {"across the clip's bottom edge", part, 6, 22, false},
    };
    for (const auto &p : places) {
        Owned ours(SDL_DisplayFormat(screen));
        ASSERT_TRUE(glyph && ours);
        scramble(ours.get(), 17);
        SDL_Rect clip = p.clip, at = {(Sint16)p.x, (Sint16)p.y, 0, 0};
        SDL_SetClipRect(ours.get(), &clip);
        Owned sdls = copyOf(ours.get());
        if (p.drawn)
            SDL_BlitSurface(glyph.get(), nullptr, sdls.get(), &at);
        EXPECT_EQ(drawGlyph(glyphWeights(alpha.data(), 13, 5, 13), mapRGB(ours.get(), 0x3060C0), ours.get(), p.x, p.y),
                  p.drawn) << p.name;
        EXPECT_TRUE(sameBytes(ours.get(), sdls.get())) << p.name;
    }
}
