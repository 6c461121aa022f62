// A headless SDL screen for the drawing and text tests.
#ifndef MIRANDOL_SDL_TEST_SCREEN_H
#define MIRANDOL_SDL_TEST_SCREEN_H

#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <stdint.h>

// Opens (once per process) a 32-bit video mode of the given size on the
// dummy driver; later calls with another size set that mode instead.
inline SDL_Surface *testScreen(int width, int height)
{
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0)
            return nullptr;
    }
    SDL_Surface *s = SDL_GetVideoSurface();
    if (s && s->w == width && s->h == height)
        return s;
    return SDL_SetVideoMode(width, height, 32, 0);
}

inline uint32_t rgbAt(SDL_Surface *s, int x, int y)
{
    Uint8 r, g, b;
    Uint32 p = *(Uint32 *)((Uint8 *)s->pixels + y * s->pitch + x * 4);
    SDL_GetRGB(p, s->format, &r, &g, &b);
    return ((uint32_t)r << 16) | ((uint32_t)g << 8) | b;
}

inline void fillRGB(SDL_Surface *s, uint32_t rgb)
{
    SDL_SetClipRect(s, nullptr);
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF));
}

#endif
