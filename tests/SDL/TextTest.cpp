// Text drawn with the fallback font: placement, widths, colours, fallbacks.
#include "FontMapping.h"
#include "Map/MapArray.h"
#include "SDLFont.h"
#include "SDL_Draw.h"
#include "SdlTestScreen.h"
#include "TestDirs.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TextFixture {
    ScopedWorkDir work;
    std::unique_ptr<FontMapping> mapping;
    MapArray *cache = MapArray_new(10);
    SDL_Surface *back = nullptr;

    explicit TextFixture(const std::string &override = "")
    {
        mkdir("temp", 0755);
        FontLocations where;
        where.overridePath = work.path() + "/override";
        where.cachePath = work.path() + "/cache";
        if (!override.empty())
            writeFile(where.overridePath, override);
        mapping.reset(new FontMapping(where));
        mapping->buildMap();
        if (SDL_Surface *screen = testScreen(320, 120))
            back = SDL_DisplayFormat(screen);
    }
    ~TextFixture()
    {
        deleteCachedFonts(cache);
        MapArray_delete(cache);
        SDL_FreeSurface(back);
    }
    SDLFont *font(const char *face, int height, int *ascent = nullptr, int *descent = nullptr)
    {
        int a, d;
        return createMappedFont(cache, *mapping, face, height, 0, false, ascent ? ascent : &a,
                                descent ? descent : &d);
    }
};

struct Bounds {
    int x0 = INT_MAX, y0 = INT_MAX, x1 = -1, y1 = -1;
    bool empty() const { return x1 < 0; }
};

// The smallest box around the pixels that differ from the background.
Bounds litPixels(SDL_Surface *s, uint32_t background)
{
    Bounds b;
    for (int i = 0; i < s->w * s->h; i++)
        if (rgbAt(s, i % s->w, i / s->w) != background)
            b = {std::min(b.x0, i % s->w), std::min(b.y0, i / s->w), std::max(b.x1, i % s->w), std::max(b.y1, i / s->w)};
    return b;
}

std::vector<uint32_t> pixels(SDL_Surface *s)
{
    std::vector<uint32_t> out;
    for (int i = 0; i < s->w * s->h; i++)
        out.push_back(rgbAt(s, i % s->w, i / s->w));
    return out;
}

} // namespace

TEST(Text, WidthsAndWhereFallbackFontTextLandsInsideTheClip)
{
    TextFixture t;
    ASSERT_TRUE(t.back);
    int ascent = 0, descent = 0;
    SDLFont *font = t.font("no such family", 24, &ascent, &descent);
    ASSERT_TRUE(font);
    const char *text = "Hello, Mirandol";
    int width = fontTextWidth(font, text);
    const GlyphSet *set = SDLFont::firstSet(font);
    EXPECT_EQ(fontTextWidth(font, ""), 0);
    EXPECT_EQ(SDLFont::textWidthRange(set, "abc", 1, 3), fontTextWidth(font, "bc"));
    EXPECT_EQ(SDLFont::textWidthRange(set, "abc", 2, 2), 0);
    EXPECT_EQ(SDLFont::textWidthRange(set, "abc", 0, 50), fontTextWidth(font, "abc"));
    // Bytes above 127 are characters U+0080 to U+00FF, not negative indexes.
    EXPECT_EQ(fontTextWidth(font, "\xE9"), set->glyphs[0xE9].advance);
    EXPECT_GT(fontTextWidth(font, "\xE9\xFC\xDF"), 0);

    fillRGB(t.back, 0);
    fontOutText(font, text, (int)strlen(text), 40, 30, 0xFFFFFF, t.back);
    Bounds b = litPixels(t.back, 0);
    ASSERT_FALSE(b.empty());
    EXPECT_GE(b.x0, 40);
    EXPECT_LE(b.x0, 44);                     // "H" starts at its left bearing
    EXPECT_LT(b.x1, 40 + width);
    EXPECT_GE(b.x1, 40 + width - 4);
    EXPECT_GE(b.y0, 30);
    EXPECT_LT(b.y1, 30 + ascent + descent);
    // The baseline lies at y + ascent: the stem of "H" ends just above it.
    EXPECT_GT(rgbAt(t.back, b.x0 + 1, 30 + ascent - 1) & 0xFF, 0x80u);
    EXPECT_EQ(rgbAt(t.back, b.x0 + 1, 30 + ascent + 1), 0u);

    // Drawing the text in two pieces, the second at the first one's width,
    // gives the same picture.
    std::vector<uint32_t> whole = pixels(t.back);
    fillRGB(t.back, 0);
    fontOutText(font, "Hello, ", 7, 40, 30, 0xFFFFFF, t.back);
    fontOutText(font, "Mirandol", 8, 40 + fontTextWidth(font, "Hello, "), 30, 0xFFFFFF, t.back);
    EXPECT_TRUE(pixels(t.back) == whole);

    // Nothing is drawn for length 0, or outside the clip region however far
    // out the text starts; a length past the text's end stops at its NUL.
    fillRGB(t.back, 0);
    fontOutText(font, "Hello", 0, 10, 10, 0xFFFFFF, t.back);
    EXPECT_TRUE(litPixels(t.back, 0).empty());
    SDL_Draw::setRegion(t.back, 0, 0, 30, 120);
    fontOutText(font, "WWWWWWWW", 8, 5, 5, 0xFFFFFF, t.back);
    fontOutText(font, "WWWW", 4, INT_MAX - 10, 5, 0xFFFFFF, t.back);
    fontOutText(font, "WWWW", 4, -100000, -100000, 0xFFFFFF, t.back);
    fontOutText(font, "W", 1000, 5, 60, 0xFFFFFF, t.back);
    b = litPixels(t.back, 0);
    ASSERT_FALSE(b.empty());
    EXPECT_LT(b.x1, 30);
}

TEST(Text, ColoursAreRenderedOncePerColourAndRedStaysRed)
{
    TextFixture t;
    ASSERT_TRUE(t.back);
    SDLFont *font = t.font("default", 40);
    ASSERT_TRUE(font);
    // White is the first set: found again, not copied.
    EXPECT_EQ(SDLFont::setForColour(font, 0xFFFFFF), SDLFont::firstSet(font));
    EXPECT_EQ(font->setCount(), 1u);
    fillRGB(t.back, 0);
    // A markup red arrives as 0x0000FF (red and blue exchanged).
    fontOutText(font, "I", 1, 10, 10, SDL_Draw::colourToRGB(0x0000FF), t.back);
    EXPECT_EQ(font->setCount(), 2u);
    Bounds b = litPixels(t.back, 0);
    ASSERT_FALSE(b.empty());
    int cx = (b.x0 + b.x1) / 2, cy = (b.y0 + b.y1) / 2;
    EXPECT_EQ(rgbAt(t.back, cx, cy), 0xFF0000u);
    // Each colour drawn moves its set to the front; none is made twice.
    for (uint32_t colour : {0xFFFFFFu, 0xFF0000u}) {
        fontOutText(font, "I", 1, 10, 10, colour, t.back);
        EXPECT_EQ(font->setCount(), 2u);
        EXPECT_EQ(rgbAt(t.back, cx, cy), colour);
        EXPECT_EQ(SDLFont::firstSet(font)->colourKey, colour);
    }

    // However many colours the magazine uses, a font keeps a few sets: the
    // one used longest ago goes, and a colour made again draws the same.
    for (uint32_t c = 1; c <= 40; c++) {
        fontOutText(font, "I", 1, 10, 10, c * 0x010307u, t.back);
        fontOutText(font, "I", 1, 10, 10, 0xFF0000, t.back);   // kept: used all along
    }
    EXPECT_EQ(rgbAt(t.back, cx, cy), 0xFF0000u);
    EXPECT_EQ(font->setCount(), (size_t)SDLFont::MAX_COLOUR_SETS);
    fontOutText(font, "I", 1, 10, 10, 0xFFFFFF, t.back);     // white went long ago
    EXPECT_EQ(rgbAt(t.back, cx, cy), 0xFFFFFFu);
    EXPECT_EQ(litPixels(t.back, 0).x0, b.x0);
    EXPECT_EQ(litPixels(t.back, 0).y1, b.y1);
}

TEST(Text, FontThatCannotOpenFallsBackAndNoFontDrawsNothing)
{
    TextFixture t("broken:0=/nonexistent/broken.ttf\n");
    ASSERT_TRUE(t.back);
    int ascent = -1, descent = -1;
    SDLFont *font = t.font("broken", 20, &ascent, &descent);
    ASSERT_TRUE(font);
    EXPECT_GT(ascent, 0);
    // Fonts are shared by key and height.
    EXPECT_EQ(font, t.font("default", 20));
    EXPECT_EQ(font, t.font("dejavu sans", 20));
    EXPECT_NE(font, t.font("default", 21));
    // Absurd heights and missing files are refused.
    for (auto open : {std::make_pair(t.mapping->fallbackPath(), 0), std::make_pair(t.mapping->fallbackPath(), INT_MAX),
                      std::make_pair(std::string("/nonexistent.ttf"), 12)})
        EXPECT_EQ(SDLFont::openFont(open.first.c_str(), open.second), nullptr) << open.first << " " << open.second;

    // Where default.ttf cannot be written (no temp/ directory), it is read
    // from memory: the same font all the same.
    ScopedWorkDir empty;
    FontMapping unwritten{FontLocations()};
    EXPECT_FALSE(fileExists(unwritten.fallbackPath()));
    MapArray *cache = MapArray_new(10);
    SDLFont *fromMemory = createMappedFont(cache, unwritten, "anything", 20, 0, false, &ascent, &descent);
    ASSERT_TRUE(fromMemory);
    EXPECT_EQ(fontTextWidth(fromMemory, "Hello"), fontTextWidth(font, "Hello"));
    deleteCachedFonts(cache);
    MapArray_delete(cache);

    // Without a fallback font (no magazine): no font, no metrics, nothing measured or drawn.
    FontLocations noFallback;
    noFallback.writeFallback = false;
    FontMapping bare{noFallback};
    EXPECT_EQ(bare.lookup("default:0"), nullptr);
    cache = MapArray_new(10);
    SDLFont *none = createMappedFont(cache, bare, "anything", 20, 0, false, &ascent, &descent);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(std::make_pair(ascent, descent), std::make_pair(0, 0));
    EXPECT_EQ(fontTextWidth(none, "Hello"), 0);
    fillRGB(t.back, 0);
    fontOutText(none, "Hello", 5, 0, 0, 0xFFFFFF, t.back);
    EXPECT_TRUE(litPixels(t.back, 0).empty());
    MapArray_delete(cache);
}

TEST(Text, AFontThatFailsToOpenIsReportedOnceAndFallsBackAfterwards)
{
    TextFixture t("broken:0=/nonexistent/broken.ttf\n");
    // A missing mapped file falls back to the default font; a height out of
    // range fails with the default font as well.
    const struct { const char *face; int height; const char *message; bool fallsBack; } cases[] = {
        {"broken", 20, "Unable to load font '/nonexistent/broken.ttf'", true},
        {"default", 100000, "Unable to set font", false},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        std::vector<SDLFont *> fonts;
        for (int i = 0; i < 50; i++)
            fonts.push_back(t.font(c.face, c.height));
        std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(1, std::count(errors.begin(), errors.end(), '\n')) << errors;
        EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
        EXPECT_EQ(c.fallsBack, fonts[0] != nullptr) << c.face;
        EXPECT_EQ(fonts, std::vector<SDLFont *>(50, fonts[0])) << c.face;
    }
}

// Text is the same, byte for byte, as its glyph surfaces drawn by SDL one by
// one, with glyphs inside the clip, across it and outside.
TEST(Text, TextIsDrawnAsSdlDrawsItsGlyphSurfaces)
{
    TextFixture t;
    SDLFont *font = t.font("default", 23);
    SDL_Surface *sdls = t.back ? SDL_DisplayFormat(t.back) : nullptr;
    ASSERT_TRUE(font && sdls);
    for (int i = 0; i < t.back->w * t.back->h; i++)
        ((Uint32 *)((Uint8 *)t.back->pixels + (size_t)(i / t.back->w) * t.back->pitch))[i % t.back->w] = (Uint32)i * 0x01020307;
    SDL_BlitSurface(t.back, nullptr, sdls, nullptr);
    SDL_Rect clip = {37, 12, 190, 19};
    SDL_SetClipRect(t.back, &clip);
    SDL_SetClipRect(sdls, &clip);
    const char *text = "Mirandol: jaw, fig \xE9t\xE9 @ WAVE";
    fontOutText(font, text, (int)strlen(text), 21, 9, 0xC03080, t.back);
    const GlyphSet *set = SDLFont::setForColour(font, 0xC03080);
    for (int pen = 21; *text; pen += set->glyphs[(unsigned char)*text++].advance) {
        const Glyph &g = set->glyphs[(unsigned char)*text];
        SDL_Rect at = {(Sint16)(pen + g.left), (Sint16)(9 + set->ascent - g.top), 0, 0};
        if (g.surface)
            SDL_BlitSurface(g.surface, nullptr, sdls, &at);
    }
    EXPECT_EQ(memcmp(t.back->pixels, sdls->pixels, (size_t)sdls->h * sdls->pitch), 0);
    SDL_FreeSurface(sdls);
}
