// Drawing on SDL surfaces: pictures with masks, clipped blits, glyphs of
// text, stretched blits, lines, rectangles, the timed cross-fade and the
// software pointer.
// SDLSystem's display operations are thin wrappers around these functions.
#ifndef MIRANDOL_SDL_DRAW_H
#define MIRANDOL_SDL_DRAW_H

#include <SDL/SDL.h>

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <list>
#include <map>
#include <tuple>
#include <vector>

#include "System.h"

namespace SDL_Draw {

// Largest picture side and pixel count create_image accepts (the core's
// decoders read them too, to shrink or refuse a picture beforehand).
using ::kMaxImageSide;
using ::kMaxImagePixels;

// A colour value of the core as 0x00RRGGBB: direct colours arrive with red
// and blue exchanged and are exchanged back; a palette index that reaches
// the platform unresolved draws in the palette's start colour.
uint32_t colourToRGB(uint32_t colour);

// A 0x00RRGGBB colour as a pixel of the surface's format.
Uint32 mapRGB(SDL_Surface *surface, uint32_t rgb);

// Bytes of one mask row for a picture of that width (padded to 4 bytes).
size_t maskRowBytes(int width);

// A 32-bit surface holding a copy of width x height host words 0x00RRGGBB;
// set mask bits make pixels transparent (the surface then has per-pixel
// alpha; without any, it has no alpha channel and is copied as it is). Null for
// sizes that are not positive or too large, or when memory runs out.
SDL_Surface *createImage(int width, int height, const uint32_t *pixels, const uint8_t *mask);

// SDL_BlitSurface with the same pixels, result and rectangles written back
// (the destination's w and h become the drawn size; positions move as SDL
// moves them when clipping). Where both surfaces are 32 bits with the same
// colour masks, need no lock and have no colour key, the two blits that
// fill a page are done here at memory speed: the plain copy (no surface
// alpha), row by row with memcpy, and the blend of a picture with its alpha
// in the high byte (text, masked pictures), with SDL's arithmetic. Every
// other case is SDL_BlitSurface's own.
int blitSurface(SDL_Surface *source, SDL_Rect *sourceRect, SDL_Surface *target, SDL_Rect *targetRect);

// A glyph of text kept for drawing in any colour: per row, the span from
// its first to its last pixel that is not clear, and the span's weights in
// SDL's blend by per-pixel alpha (the alpha, 256 for 255), each twice in a
// word, w | w << 16, padded with weight 0 to whole steps of kGlyphStep
// pixels.
const int kGlyphStep = 8;
struct GlyphWeights {
    struct Span {
        int start = 0;      // the first pixel
        int length = 0;     // 0 for a clear row
        size_t at = 0;      // where its weights begin
    };
    int width = 0;
    int height = 0;
    int reach = 0;          // how far right of the left edge the padded spans reach
    std::vector<Span> rows;
    std::vector<uint32_t> weight;
};

// The weights of width x height alpha bytes (rows alphaPitch apart).
GlyphWeights glyphWeights(const uint8_t *alpha, int width, int height, ptrdiff_t alphaPitch);

// Whether drawGlyph draws on the target what blitSurface draws from the
// glyph's surface there (a surface whose pixels are one colour with the
// glyph's alpha): where blitSurface draws it as SDL's blend.
bool glyphBlends(const SDL_Surface *surface, const SDL_Surface *target);

// The glyph blended with its top left corner at (x, y) in the colour (a
// pixel of the target's format; its high byte is not used), when it lies
// wholly inside the target's clip rectangle; false, drawing nothing, when
// it does not. Pixels its padding covers inside the target's rows may be
// written again with the values they hold.
bool drawGlyph(const GlyphWeights &glyph, Uint32 colour, SDL_Surface *target, long long x, long long y);

// Clip rectangle: all four 0 removes it.
void setRegion(SDL_Surface *target, int x, int y, int width, int height);

// Copies the image's rectangle (iX, iY, iWidth, iHeight) to (x, y) of the
// target, blending by the image's alpha and honouring the target's clip.
void blit(SDL_Surface *image, SDL_Surface *target, int x, int y, int iX, int iY, int iWidth,
          int iHeight);

// Area-weighted average colour of the source rectangle (left, top) to
// (right, bottom), as a pixel of the source's format. Reads stay inside
// the source.
Uint32 scaleBlit(SDL_Surface *source, double left, double top, double right, double bottom);

// The whole source scaled into (x, y, width, height) of the destination,
// blended by alpha and clipped to the destination's clip rectangle.
void stretch(SDL_Surface *source, SDL_Surface *destination, int x, int y, int width, int height);

// Pictures scaled once and kept, so that drawing one again at the same size
// is a copy and not another pass of the filter. A scaled copy belongs to its
// picture and size; the copies together stay within the budget (the least
// recently drawn go first), and a size above it is filtered on every draw.
class ScaleCache {
public:
    explicit ScaleCache(size_t budgetBytes = (size_t)64 << 20) : budget(budgetBytes) {}

    // stretch of the whole source into (x, y, width, height) of the
    // destination, with the same result, through the kept copy.
    void draw(SDL_Surface *source, SDL_Surface *destination, int x, int y, int width, int height);
    // Drops every copy of the picture; call it before the picture is freed.
    void forget(SDL_Surface *source);

    size_t bytes() const { return used; }
    long filterPasses = 0;   // pictures filtered so far, kept or not

private:
    struct Copy {
        SDL_Surface *source;      // not owned: the picture it was made from
        int width, height;
        bool opaque;              // every pixel's alpha is 255
        std::vector<uint32_t> colour;   // r | g << 8 | b << 16 | a << 24, row by row
    };
    typedef std::tuple<SDL_Surface *, int, int> Key;
    std::list<Copy> copies;       // most recently drawn first
    std::map<Key, std::list<Copy>::iterator> index;
    size_t budget;
    size_t used = 0;
};

// Lines and rectangles in a mapped pixel value, clipped.
void vLine(SDL_Surface *target, int x, int y, int length, Uint32 pixel);
void hLine(SDL_Surface *target, int x, int y, int length, Uint32 pixel);
void fillRect(SDL_Surface *target, int x, int y, int width, int height, Uint32 pixel);

// What the fade keeps between fades: the old screen's pixels where the new
// page differs from it, row by row. Follows the screen size; only the rows
// that change are ever stored.
struct FadeBuffer {
    std::vector<Uint32> from;      // the changing spans' old pixels, one row after another
    std::vector<int> spanStart;    // per row: first changing column, or -1
    std::vector<int> spanEnd;      // per row: one past the last changing column
    std::vector<size_t> offset;    // per row: where its span starts in from
    std::vector<SDL_Rect> bands;   // the screen areas each frame updates
    int width = 0;
    int height = 0;
    int framesPerSecond = 60;      // at most: the display's rate (60 when it is
                                   // not known); 0: as fast as they come
    int frames = 0;                // frames drawn by the last fade
};

// Timed cross-fade of the screen from what it shows to the new surface;
// ends showing the new surface exactly. Only what differs is redrawn, at
// most framesPerSecond times a second, sleeping in between. A duration of 0
// or less shows the new surface at once; so do surfaces of different sizes,
// and formats the fade cannot address byte-wise. When quit (not owned; may
// be null) is or becomes set, the fade ends at once on the new surface.
void fade(SDL_Surface *newSurface, SDL_Surface *screen, int duration, FadeBuffer &buffer,
          const std::atomic<bool> *quit = nullptr);

// Software pointer over the screen. saved is the screen rectangle the
// pointer covers (restored from the back buffer before it moves).
void movePointer(SDL_Surface *screen, SDL_Surface *backBuffer, SDL_Surface *image, int hotX,
                 int hotY, int x, int y, SDL_Rect &saved);

} // namespace SDL_Draw

#endif
