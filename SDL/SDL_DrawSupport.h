// Helpers shared by the drawing sources (SDL_Draw*.cpp); not for other code.
#ifndef MIRANDOL_SDL_DRAW_SUPPORT_H
#define MIRANDOL_SDL_DRAW_SUPPORT_H

#include "SDL_Draw.h"

#include <SDL/SDL.h>

#include <stddef.h>

namespace SDL_Draw {
namespace detail {

// Locks a surface for direct pixel access for the lifetime of the object.
class SurfaceLock {
public:
    explicit SurfaceLock(SDL_Surface *s) : surface(s), locked(false)
    {
        if (surface && SDL_MUSTLOCK(surface))
            locked = SDL_LockSurface(surface) == 0;
    }
    ~SurfaceLock()
    {
        if (locked)
            SDL_UnlockSurface(surface);
    }
    bool ok() const { return surface && (!SDL_MUSTLOCK(surface) || locked); }
private:
    SDL_Surface *surface;
    bool locked;
};

// Integer rectangle clipped against another; false when nothing is left.
struct Box {
    long long x0, y0, x1, y1;   // half-open
};

inline bool intersect(Box &a, const Box &b)
{
    if (a.x0 < b.x0) a.x0 = b.x0;
    if (a.y0 < b.y0) a.y0 = b.y0;
    if (a.x1 > b.x1) a.x1 = b.x1;
    if (a.y1 > b.y1) a.y1 = b.y1;
    return a.x0 < a.x1 && a.y0 < a.y1;
}

inline Box clipBox(SDL_Surface *s)
{
    const SDL_Rect &c = s->clip_rect;
    return Box{c.x, c.y, (long long)c.x + c.w, (long long)c.y + c.h};
}

inline Uint32 *pixelAt(SDL_Surface *s, int x, int y)
{
    return (Uint32 *)((Uint8 *)s->pixels + (size_t)y * s->pitch + (size_t)x * 4);
}

// The byte of a 32-bit pixel in memory that holds all eight bits of the mask;
// -1 when the channel is not one whole byte.
inline int channelByte(Uint32 mask)
{
    for (int shift = 0; shift < 32; shift += 8) {
        if (mask == (Uint32)0xFF << shift) {
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
            return shift / 8;
#else
            return 3 - shift / 8;
#endif
        }
    }
    return -1;
}

// How blitSurface draws from source to target: through SDL_BlitSurface, as
// a copy of the rows, or as SDL's blend by per-pixel alpha done here.
enum class BlitKind { sdl, copy, blend };
BlitKind blitKind(const SDL_Surface *source, const SDL_Surface *target);

// SDL's blend by per-pixel alpha of h rows of n pixels (the source's alpha
// in its high byte); paired: two rows at a time with AVX2, where the
// processor has it (canPairRows), else one pixel at a time.
bool canPairRows();
void blendRows(Uint8 *to, size_t toPitch, const Uint8 *from, size_t fromPitch, int n, int h, bool paired);

// The same blend of a glyph's spans in one colour, the glyph's top left
// pixel at to. Stepped: with AVX2, kGlyphStep pixels at a time (where the
// processor has it: canPairRows), reading and writing the target as far as
// the glyph's reach; else one pixel at a time.
void blendGlyph(Uint8 *to, size_t toPitch, const GlyphWeights &glyph, Uint32 colour, bool stepped);

// One span of a fade's frame: the channel bytes (at the offsets in channel)
// of out become now + ((weight x (old - now)) >> 8), weight 0..256; the
// fourth byte keeps old's (rgbMask has the channels' bits).
void blendSpan(Uint32 *out, const Uint32 *old, const Uint32 *now, int n, int weight,
               Uint32 rgbMask, const int *channel);

} // namespace detail

using namespace detail;

} // namespace SDL_Draw

#endif
