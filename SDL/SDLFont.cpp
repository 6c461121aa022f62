// TrueType text rendered with FreeType into per-colour glyph surfaces.
#include "SDLFont.h"

#include "FontMapping.h"
#include "SDL_Draw.h"
#include "Map/MapArray.h"
#include "Vector/Vector.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

#include <limits.h>
#include <stdio.h>
#include <string.h>

namespace {

// Larger heights are refused: the core asks for at most a few hundred pixels,
// and every height keeps 256 glyph surfaces per colour.
const int kMaxFontHeight = 256;

FT_Library g_library = nullptr;
bool g_libraryFailed = false;

// A 32-bit surface with alpha in the display's format when there is a
// display, else in a plain ARGB layout.
SDL_Surface *newGlyphSurface(int width, int height)
{
    SDL_Surface *raw = SDL_CreateRGBSurface(SDL_SWSURFACE | SDL_SRCALPHA, width, height, 32,
                                            0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    if (!raw)
        return nullptr;
    if (!SDL_GetVideoSurface())
        return raw;
    SDL_Surface *converted = SDL_DisplayFormatAlpha(raw);
    if (!converted)
        return raw;
    SDL_FreeSurface(raw);
    return converted;
}

// Widths of very long texts stay in range.
inline int clampWidth(long long width)
{
    if (width > INT_MAX)
        return INT_MAX;
    if (width < INT_MIN)
        return INT_MIN;
    return (int)width;
}

inline Uint32 *rowOf(SDL_Surface *s, int y)
{
    return (Uint32 *)((Uint8 *)s->pixels + (size_t)y * s->pitch);
}

} // namespace

GlyphSet::~GlyphSet()
{
    for (Glyph &g : glyphs)
        SDL_FreeSurface(g.surface);
}

SDLFont::~SDLFont()
{
    for (GlyphSet *set : sets)
        delete set;
}

FT_Library SDLFont::library()
{
    if (!g_library && !g_libraryFailed) {
        FT_Error error = FT_Init_FreeType(&g_library);
        if (error) {
            g_library = nullptr;
            g_libraryFailed = true;
            fprintf(stderr, "SDLFont: Unable to initialize freetype library. Error: %i\n", error);
        }
    }
    return g_library;
}

SDLFont *SDLFont::openFont(const char *path, int height, const FontMapping *files)
{
    FT_Library lib = library();
    if (!lib || !path)
        return nullptr;
    // The face lives only while the glyphs are rendered, so bytes kept in
    // memory outlive it.
    FT_Face face = nullptr;
    FT_Error error = FontMapping::openFace(files, lib, path, &face);
    if (error) {
        fprintf(stderr, "SDLFont: Unable to load font '%s', check your font paths. Error code: %i\n",
                path, error);
        return nullptr;
    }
    if (height <= 0 || height > kMaxFontHeight ||
        FT_Set_Char_Size(face, 0, (FT_F26Dot6)height * 64, 58, 58)) {
        fprintf(stderr, "SDLFont: Unable to set font '%s' to size: %i\n", path, height);
        FT_Done_Face(face);
        return nullptr;
    }
    GlyphSet *white = buildGlyphSet(face, 255, 255, 255);
    FT_Done_Face(face);
    if (!white)
        return nullptr;
    return newFont(white);
}

SDLFont *SDLFont::newFont(GlyphSet *first)
{
    SDLFont *font = new SDLFont();
    font->sets.push_back(first);
    return font;
}

GlyphSet *SDLFont::buildGlyphSet(FT_Face face, uint8_t red, uint8_t green, uint8_t blue)
{
    GlyphSet *set = new GlyphSet();
    set->colourKey = ((uint32_t)red << 16) | ((uint32_t)green << 8) | blue;
    for (int code = 0; code < 256; code++)
        renderGlyph(face, code, red, green, blue, set->glyphs[code]);
    FT_Fixed scale = face->size->metrics.y_scale;
    set->ascent = (int32_t)(FT_MulFix(face->ascender, scale) >> 6);
    set->descent = (int32_t)(-FT_MulFix(face->descender, scale) >> 6);
    return set;
}

bool SDLFont::renderGlyph(FT_Face face, int code, uint8_t red, uint8_t green, uint8_t blue,
                          Glyph &glyph)
{
    glyph = Glyph();
    FT_UInt index = FT_Get_Char_Index(face, (FT_ULong)code);
    if (FT_Load_Glyph(face, index, 0) != 0)
        return false;
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0)
        return false;
    FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap &bm = slot->bitmap;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.advance = (int32_t)(slot->advance.x >> 6);
    if (bm.width == 0 || bm.rows == 0 || bm.pixel_mode != FT_PIXEL_MODE_GRAY)
        return true;
    SDL_Surface *s = newGlyphSurface((int)bm.width, (int)bm.rows);
    if (!s)
        return false;
    if (SDL_MUSTLOCK(s))
        SDL_LockSurface(s);
    for (unsigned y = 0; y < bm.rows; y++) {
        const unsigned char *src = bm.buffer + (ptrdiff_t)y * bm.pitch;
        Uint32 *dst = rowOf(s, (int)y);
        for (unsigned x = 0; x < bm.width; x++)
            dst[x] = SDL_MapRGBA(s->format, red, green, blue, src[x]);
    }
    if (SDL_MUSTLOCK(s))
        SDL_UnlockSurface(s);
    glyph.surface = s;
    glyph.weights = std::make_shared<const SDL_Draw::GlyphWeights>(
        SDL_Draw::glyphWeights(bm.buffer, (int)bm.width, (int)bm.rows, bm.pitch));
    return true;
}

SDL_Surface *SDLFont::recolourGlyph(SDL_Surface *surface, uint32_t colour)
{
    if (!surface)
        return nullptr;
    SDL_PixelFormat *f = surface->format;
    SDL_Surface *copy = SDL_CreateRGBSurface(SDL_SWSURFACE | SDL_SRCALPHA, surface->w, surface->h,
                                             32, f->Rmask, f->Gmask, f->Bmask, f->Amask);
    if (!copy)
        return nullptr;
    Uint8 r = (Uint8)(colour >> 16), g = (Uint8)(colour >> 8), b = (Uint8)colour;
    if (SDL_MUSTLOCK(surface))
        SDL_LockSurface(surface);
    if (SDL_MUSTLOCK(copy))
        SDL_LockSurface(copy);
    for (int y = 0; y < surface->h; y++) {
        const Uint32 *src = rowOf(surface, y);
        Uint32 *dst = rowOf(copy, y);
        for (int x = 0; x < surface->w; x++) {
            Uint8 or_, og, ob, oa;
            SDL_GetRGBA(src[x], f, &or_, &og, &ob, &oa);
            dst[x] = SDL_MapRGBA(copy->format, r, g, b, oa);
        }
    }
    if (SDL_MUSTLOCK(copy))
        SDL_UnlockSurface(copy);
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    return copy;
}

GlyphSet *SDLFont::recolourSet(const GlyphSet *set, uint32_t colour)
{
    GlyphSet *copy = new GlyphSet();
    copy->ascent = set->ascent;
    copy->descent = set->descent;
    copy->colourKey = colour & 0x00FFFFFFu;
    for (int i = 0; i < 256; i++) {
        copy->glyphs[i] = set->glyphs[i];
        copy->glyphs[i].surface = recolourGlyph(set->glyphs[i].surface, colour);
    }
    return copy;
}

GlyphSet *SDLFont::firstSet(SDLFont *font)
{
    return font && !font->sets.empty() ? font->sets.front() : nullptr;
}

GlyphSet *SDLFont::setForColour(SDLFont *font, uint32_t colour)
{
    if (!font || font->sets.empty())
        return nullptr;
    colour &= 0x00FFFFFFu;
    // The sets run from the one used last to the one used longest ago.
    std::vector<GlyphSet *> &sets = font->sets;
    for (size_t i = 0; i < sets.size(); i++) {
        if (sets[i]->colourKey == colour) {
            std::rotate(sets.begin(), sets.begin() + (long)i, sets.begin() + (long)i + 1);
            return sets[0];
        }
    }
    GlyphSet *set = recolourSet(sets.front(), colour);
    sets.insert(sets.begin(), set);
    // The magazine chooses the colours: the set used longest ago goes, so a
    // font never holds more than a few sets whatever it asks for.
    if (sets.size() > (size_t)SDLFont::MAX_COLOUR_SETS) {
        delete sets.back();
        sets.pop_back();
    }
    return set;
}

int SDLFont::textWidth(const GlyphSet *set, const char *text)
{
    if (!set || !text)
        return 0;
    long long width = 0;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++)
        width += set->glyphs[*p].advance;
    return clampWidth(width);
}

int SDLFont::textWidthRange(const GlyphSet *set, const char *text, int from, int to)
{
    if (!set || !text || from >= to || from < 0)
        return 0;
    long long width = 0;
    const unsigned char *p = (const unsigned char *)text;
    for (int i = 0; i < to; i++) {
        if (!p[i])
            break;
        if (i >= from)
            width += set->glyphs[p[i]].advance;
    }
    return clampWidth(width);
}

int SDLFont::blitText(const GlyphSet *set, const char *text, int length, SDL_Surface *target,
                      int x, int y)
{
    if (!set || !text || length <= 0 || !target)
        return 0;
    const unsigned char *p = (const unsigned char *)text;
    long long pen = x;
    const SDL_Rect &clip = target->clip_rect;
    // Where SDL would blend the set's glyph surfaces into the target (they
    // are all alike), glyphs inside the clip rectangle are blended from their
    // weights in the colour the surfaces hold.
    enum { unknown, byWeights, bySurfaces } way = unknown;
    Uint32 colour = 0;
    // The text ends at its NUL even when the length says more.
    for (int i = 0; i < length && p[i]; i++) {
        const Glyph &g = set->glyphs[p[i]];
        if (g.surface) {
            long long gx = pen + g.left;
            long long gy = (long long)y + set->ascent - g.top;
            if (way == unknown) {
                const SDL_PixelFormat *f = g.surface->format;
                way = SDL_Draw::glyphBlends(g.surface, target) ? byWeights : bySurfaces;
                colour = SDL_MapRGB(f, (Uint8)(set->colourKey >> 16), (Uint8)(set->colourKey >> 8),
                                    (Uint8)set->colourKey) & ~f->Amask;
            }
            bool drawn = way == byWeights && g.weights && SDL_Draw::drawGlyph(*g.weights, colour, target, gx, gy);
            // The others that reach the clip rectangle are handed to SDL,
            // whose rectangles hold 16-bit positions.
            if (!drawn && gx < clip.x + clip.w && gx + g.surface->w > clip.x && gy < clip.y + clip.h &&
                gy + g.surface->h > clip.y) {
                SDL_Rect to = {(Sint16)gx, (Sint16)gy, 0, 0};
                SDL_Draw::blitSurface(g.surface, nullptr, target, &to);
            }
        }
        pen += g.advance;
    }
    return clampWidth(pen - x);
}

// Stands in the cache for a font file and height that failed to open: the
// failure and its message come once, later requests go straight to the
// fallback.
static char s_failedOpen;
static void *const kFailedOpen = &s_failedOpen;

static SDLFont *openCached(MapArray *cache, const FontMapping &mapping, const std::string &mapKey,
                           int height)
{
    char heightText[16];
    snprintf(heightText, sizeof heightText, ":%i", height);
    std::string cacheKey = mapKey + heightText;
    void *cached = cache ? MapArray_get(cache, cacheKey.c_str()) : nullptr;
    if (cached)
        return cached == kFailedOpen ? nullptr : (SDLFont *)cached;
    const char *path = mapping.lookup(mapKey.c_str());
    if (!path)
        return nullptr;
    SDLFont *font = SDLFont::openFont(path, height, &mapping);
    if (cache)
        MapArray_put(cache, cacheKey.c_str(), font ? (void *)font : kFailedOpen);
    return font;
}

SDLFont *createMappedFont(MapArray *cache, const FontMapping &mapping, const char *face,
                          int height, int flags, bool verbose, int *ascent, int *descent)
{
    char keyText[1024];
    snprintf(keyText, sizeof keyText, "%s:%i", face ? face : "", flags);
    std::string key = keyText;
    if (!mapping.lookup(key.c_str())) {
        if (verbose)
            fprintf(stderr, "Loading of unmapped font, '%s' requested. Falling back to default.\n",
                    key.c_str());
        key = "default:0";
    }
    SDLFont *font = openCached(cache, mapping, key, height);
    if (!font && key != "default:0")
        font = openCached(cache, mapping, "default:0", height);
    GlyphSet *first = SDLFont::firstSet(font);
    if (ascent)
        *ascent = first ? first->ascent : 0;
    if (descent)
        *descent = first ? first->descent : 0;
    return font;
}

void deleteCachedFonts(MapArray *cache)
{
    if (!cache)
        return;
    Vector *pairs = MapArray_toVector(cache);
    for (int i = 1; i < Vector_size(pairs); i += 2)
        if (Vector_get(pairs, i) != kFailedOpen)
            delete (SDLFont *)Vector_get(pairs, i);
    Vector_delete(pairs);
}

int fontTextWidth(SDLFont *font, const char *text)
{
    return SDLFont::textWidth(SDLFont::firstSet(font), text);
}

int fontOutText(SDLFont *font, const char *text, int length, int x, int y, uint32_t rgb,
                SDL_Surface *target)
{
    if (!font || length <= 0)
        return 0;
    return SDLFont::blitText(SDLFont::setForColour(font, rgb), text, length, target, x, y);
}
