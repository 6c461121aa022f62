// The stretched blit computed pixel by pixel with the area average in
// doubles, as it was first written: the measure the tests and the drawing
// benchmark hold SDL_Draw::stretch to.
#ifndef MIRANDOL_STRETCH_REFERENCE_H
#define MIRANDOL_STRETCH_REFERENCE_H

#include "SDL_Draw.h"

#include <algorithm>

inline void referenceStretch(SDL_Surface *source, SDL_Surface *destination, int x, int y,
                             int width, int height)
{
    const SDL_Rect &clip = destination->clip_rect;
    double fx = (double)source->w / width, fy = (double)source->h / height;
    SDL_PixelFormat *sf = source->format, *df = destination->format;
    double surfaceAlpha = (source->flags & SDL_SRCALPHA) ? sf->alpha / 255.0 : 1.0;
    for (int py = std::max(y, (int)clip.y); py < std::min(y + height, clip.y + clip.h); py++)
        for (int px = std::max(x, (int)clip.x); px < std::min(x + width, clip.x + clip.w); px++) {
            int i = px - x, j = py - y;
            Uint32 c = SDL_Draw::scaleBlit(source, fx * i, fy * j, fx * (i + 1), fy * (j + 1));
            Uint8 sr, sg, sb, sa, dr, dg, db;
            SDL_GetRGBA(c, sf, &sr, &sg, &sb, &sa);
            double a = sa / 255.0 * surfaceAlpha;
            Uint32 *at = (Uint32 *)((Uint8 *)destination->pixels + py * destination->pitch) + px;
            SDL_GetRGB(*at, df, &dr, &dg, &db);
            Uint32 r = (Uint32)(a * sr + (1 - a) * dr), g = (Uint32)(a * sg + (1 - a) * dg),
                   b = (Uint32)(a * sb + (1 - a) * db);
            *at = ((r >> df->Rloss) << df->Rshift) | ((g >> df->Gloss) << df->Gshift) |
                  ((b >> df->Bloss) << df->Bshift);
        }
}

#endif
