// Drawing at 1920x1080: a picture stretched over the whole back buffer, and
// a timed cross-fade between two full pages.
#include "SDL_Draw.h"

#include <SDL/SDL.h>
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <vector>

namespace {

SDL_Surface *backBuffer()
{
    static SDL_Surface *back = nullptr;
    if (!back) {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        if (!SDL_WasInit(SDL_INIT_VIDEO))
            SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER);
        SDL_Surface *screen = SDL_SetVideoMode(1920, 1080, 32, 0);
        back = SDL_DisplayFormat(screen);
    }
    return back;
}

SDL_Surface *picture(int w, int h)
{
    std::vector<uint32_t> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            px[(size_t)y * w + x] = ((uint32_t)(x & 255) << 16) | ((uint32_t)(y & 255) << 8) | 0x40;
    return SDL_Draw::createImage(w, h, px.data(), nullptr);
}

void BM_StretchToFullHd(benchmark::State &state)
{
    SDL_Surface *back = backBuffer();
    SDL_Surface *image = picture((int)state.range(0), (int)state.range(1));
    for (auto _ : state)
        SDL_Draw::stretch(image, back, 0, 0, 1920, 1080);
    SDL_FreeSurface(image);
}
BENCHMARK(BM_StretchToFullHd)->Args({640, 480})->Args({2560, 1440})->Unit(benchmark::kMillisecond);

// One fade of 100 ms: the frame count shows how smooth it runs.
void BM_FadeFullHd(benchmark::State &state)
{
    SDL_Surface *back = backBuffer();
    SDL_Surface *screen = SDL_GetVideoSurface();
    SDL_Draw::FadeBuffer buffer;
    for (auto _ : state) {
        SDL_FillRect(screen, nullptr, 0);
        SDL_FillRect(back, nullptr, SDL_MapRGB(back->format, 200, 100, 50));
        SDL_Draw::fade(back, screen, 100, buffer);
    }
}
BENCHMARK(BM_FadeFullHd)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
