// TrueType text for the SDL layer: one font file at one size, rendered once
// per colour into glyph surfaces that carry the coverage as alpha, and once
// into blend weights that every colour draws from; a font keeps the glyph
// sets of its last few colours.
#ifndef MIRANDOL_SDL_FONT_H
#define MIRANDOL_SDL_FONT_H

#include "SDL_Draw.h"

#include <SDL/SDL.h>

#include <stdint.h>
#include <memory>
#include <string>
#include <vector>

typedef struct FT_LibraryRec_ *FT_Library;
typedef struct FT_FaceRec_ *FT_Face;

class FontMapping;
struct MapArray;

struct Glyph {
    SDL_Surface *surface = nullptr;   // null for glyphs without pixels (blanks)
    // The surface's alpha as blend weights, shared by the glyph's copies in
    // the font's other colours; null with the surface.
    std::shared_ptr<const SDL_Draw::GlyphWeights> weights;
    int32_t left = 0;                 // pen to the bitmap's left edge
    int32_t top = 0;                  // baseline up to the bitmap's top edge
    int32_t advance = 0;              // whole pixels
};

struct GlyphSet {
    int32_t ascent = 0;
    int32_t descent = 0;
    uint32_t colourKey = 0;           // the set's colour, 0x00RRGGBB
    Glyph glyphs[256];

    GlyphSet() = default;
    GlyphSet(const GlyphSet &) = delete;
    GlyphSet &operator=(const GlyphSet &) = delete;
    ~GlyphSet();
};

class SDLFont {
public:
    ~SDLFont();
    SDLFont(const SDLFont &) = delete;
    SDLFont &operator=(const SDLFont &) = delete;

    // The program's one FreeType handle, initialised on first use; null
    // when FreeType cannot start.
    static FT_Library library();

    // Opens a font path at a height; the fonts that the mapping (which may
    // be null) keeps in memory are read from there.
    static SDLFont *openFont(const char *path, int height, const FontMapping *files = nullptr);
    static GlyphSet *firstSet(SDLFont *font);
    static GlyphSet *setForColour(SDLFont *font, uint32_t colour);
    static int textWidth(const GlyphSet *set, const char *text);
    static int textWidthRange(const GlyphSet *set, const char *text, int from, int to);
    static int blitText(const GlyphSet *set, const char *text, int length, SDL_Surface *target,
                        int x, int y);

    static GlyphSet *buildGlyphSet(FT_Face face, uint8_t red, uint8_t green, uint8_t blue);
    static bool renderGlyph(FT_Face face, int code, uint8_t red, uint8_t green, uint8_t blue,
                            Glyph &glyph);
    static GlyphSet *recolourSet(const GlyphSet *set, uint32_t colour);
    static SDL_Surface *recolourGlyph(SDL_Surface *surface, uint32_t colour);
    static SDLFont *newFont(GlyphSet *first);

    size_t setCount() const { return sets.size(); }

    // Colour sets kept per font; the one used longest ago makes room.
    enum { MAX_COLOUR_SETS = 8 };

private:
    SDLFont() = default;
    std::vector<GlyphSet *> sets;
};

// What create_font does behind SDLSystem: maps face and flags through the
// font map (unmapped faces use "default:0"), opens or reuses the font at the
// height and reports the first set's ascent and descent. A font file that
// cannot be opened falls back to the default font; when that fails as well
// the result is null, with ascent and descent 0 (measuring null gives 0 and
// drawing it draws nothing).
// The cache is the open-font cache: fonts by "<font-map key>:<height>"; a
// key that failed to open stays in it as a failure, so it is neither tried
// nor reported again.
SDLFont *createMappedFont(MapArray *cache, const FontMapping &mapping, const char *face,
                          int height, int flags, bool verbose, int *ascent, int *descent);

// Deletes every font of an open-font cache (the map itself stays).
void deleteCachedFonts(MapArray *cache);

// get_text_width and out_text behind SDLSystem; both accept a null font.
int fontTextWidth(SDLFont *font, const char *text);
int fontOutText(SDLFont *font, const char *text, int length, int x, int y, uint32_t rgb,
                 SDL_Surface *target);

// Frees what the display and font operations of an SDLSystem made: fonts,
// the font map, the fade buffer and the back buffer. The program never
// needs it (the system lives until the process ends); tests do.
class SDLSystem;
void SDLSystem_releaseDisplayAndFonts(SDLSystem *system);

#endif
