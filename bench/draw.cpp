// Drawing at 1920x1080: a picture stretched over the whole back buffer, a
// page of small pictures scaled from a large one, and the timed cross-fade
// between two pages. Beside them, in the same run: the floor (one
// full-screen blit of a picture already at screen size), the stretch
// computed pixel by pixel in doubles, whose output the stretch must match
// byte for byte, and the page filtered on every draw, whose output the kept
// copies must match (both checked before timing). Fades report their
// processor time (the CPU column) beside the wall time, and the frames they
// drew. Google Benchmark prints the machine's load average in its header.
#include "SDL_Draw.h"
#include "StretchReference.h"

#include <SDL/SDL.h>
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <string.h>
#include <vector>

namespace {

const int kWidth = 1920, kHeight = 1080;

SDL_Surface *backBuffer()
{
    static SDL_Surface *back = nullptr;
    if (!back) {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        if (!SDL_WasInit(SDL_INIT_VIDEO))
            SDL_Init(SDL_INIT_VIDEO);
        SDL_Surface *screen = SDL_SetVideoMode(kWidth, kHeight, 32, 0);
        back = SDL_DisplayFormat(screen);
    }
    return back;
}

// A picture with smooth and sharp changes, opaque.
SDL_Surface *picture(int w, int h)
{
    std::vector<uint32_t> px((size_t)w * h);
    uint32_t seed = 1;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            seed = seed * 1103515245u + 12345u;
            px[(size_t)y * w + x] = ((uint32_t)(x & 255) << 16) | ((uint32_t)(y & 255) << 8) |
                                    ((seed >> 16) & 0x3F);
        }
    return SDL_Draw::createImage(w, h, px.data(), nullptr);
}

bool sameRows(SDL_Surface *a, SDL_Surface *b)
{
    for (int y = 0; y < a->h; y++)
        if (memcmp((Uint8 *)a->pixels + (size_t)y * a->pitch,
                   (Uint8 *)b->pixels + (size_t)y * b->pitch, (size_t)a->w * 4) != 0)
            return false;
    return true;
}

// Same red, green and blue everywhere (the fade leaves the screen's fourth byte).
bool sameColours(SDL_Surface *a, SDL_Surface *b)
{
    const Uint32 rgb = a->format->Rmask | a->format->Gmask | a->format->Bmask;
    for (int y = 0; y < a->h; y++) {
        const Uint32 *p = (const Uint32 *)((Uint8 *)a->pixels + (size_t)y * a->pitch);
        const Uint32 *q = (const Uint32 *)((Uint8 *)b->pixels + (size_t)y * b->pitch);
        for (int x = 0; x < a->w; x++)
            if ((p[x] ^ q[x]) & rgb)
                return false;
    }
    return true;
}

// The floor: one blit of a screen-sized picture to the back buffer.
void BM_BlitFullHd(benchmark::State &state)
{
    SDL_Surface *back = backBuffer();
    SDL_Surface *image = picture(kWidth, kHeight);
    for (auto _ : state)
        SDL_BlitSurface(image, nullptr, back, nullptr);
    SDL_FreeSurface(image);
}
BENCHMARK(BM_BlitFullHd)->Unit(benchmark::kMillisecond);

void BM_StretchToFullHd(benchmark::State &state)
{
    SDL_Surface *back = backBuffer();
    SDL_Surface *image = picture((int)state.range(0), (int)state.range(1));
    // The output is the reference's, byte for byte.
    SDL_Surface *expected = SDL_DisplayFormat(back);
    SDL_FillRect(expected, nullptr, 0);
    SDL_FillRect(back, nullptr, 0);
    referenceStretch(image, expected, 0, 0, kWidth, kHeight);
    SDL_Draw::stretch(image, back, 0, 0, kWidth, kHeight);
    if (!sameRows(back, expected))
        state.SkipWithError("stretch differs from the per-pixel area average");
    SDL_FreeSurface(expected);
    for (auto _ : state)
        SDL_Draw::stretch(image, back, 0, 0, kWidth, kHeight);
    SDL_FreeSurface(image);
}
BENCHMARK(BM_StretchToFullHd)->Args({640, 480})->Args({2560, 1440})->Args({1000, 750})
    ->Unit(benchmark::kMillisecond);

// The per-pixel area average in doubles, for the ratio.
void BM_StretchReference(benchmark::State &state)
{
    SDL_Surface *back = backBuffer();
    SDL_Surface *image = picture((int)state.range(0), (int)state.range(1));
    for (auto _ : state)
        referenceStretch(image, back, 0, 0, kWidth, kHeight);
    SDL_FreeSurface(image);
}
BENCHMARK(BM_StretchReference)->Args({640, 480})->Unit(benchmark::kMillisecond)->Iterations(3);

// A page of 400 pictures shown 10x10, all scaled from one 2000x2000 picture,
// as an article with one picture in many tags draws it: filtered on every
// draw (as before the copies were kept), and drawn again from the kept copy
// (a redraw, as every scroll step makes). The same pixels either way.
void pageOfPictures(benchmark::State &state, bool kept)
{
    SDL_Surface *back = backBuffer();
    SDL_Surface *image = picture(2000, 2000);
    SDL_Draw::ScaleCache cache;
    auto draw = [&](bool fromCache) {
        for (int i = 0; i < 400; i++) {
            int x = 40 + (i % 40) * 40, y = 40 + (i / 40) * 40;
            if (fromCache)
                cache.draw(image, back, x, y, 10, 10);
            else
                SDL_Draw::stretch(image, back, x, y, 10, 10);
        }
    };
    SDL_Surface *expected = SDL_DisplayFormat(back);
    SDL_FillRect(back, nullptr, 0);
    draw(false);
    SDL_BlitSurface(back, nullptr, expected, nullptr);
    SDL_FillRect(back, nullptr, 0);
    draw(true);
    draw(true);
    if (!sameRows(back, expected) || cache.filterPasses != 1)
        state.SkipWithError("the kept copies differ from the filter, or were filtered again");
    SDL_FreeSurface(expected);
    long before = cache.filterPasses;
    for (auto _ : state)
        draw(kept);
    state.counters["filter_passes"] =
        benchmark::Counter(kept ? (double)(cache.filterPasses - before) : 400.0 * (double)state.iterations(),
                           benchmark::Counter::kAvgIterations);
    SDL_FreeSurface(image);
}
void BM_PageOfScaledPicturesFiltered(benchmark::State &state) { pageOfPictures(state, false); }
void BM_PageOfScaledPicturesKept(benchmark::State &state) { pageOfPictures(state, true); }
BENCHMARK(BM_PageOfScaledPicturesFiltered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageOfScaledPicturesKept)->Unit(benchmark::kMillisecond);

// A fade over the whole screen, paced as in the reader (at most 60 frames a
// second, however short the fade) and unpaced (as many frames as can be
// made): wall time, processor time (CPU) and frames drawn. Goals: 100 ms at
// 15 ms of processor time or less, 600 ms in 40 frames or fewer. The page
// turn changes a text-sized part.
void fadeBench(benchmark::State &state, int framesPerSecond, bool wholeScreen, int duration = 100)
{
    SDL_Surface *back = backBuffer();
    SDL_Surface *screen = SDL_GetVideoSurface();
    SDL_Surface *page = picture(kWidth, kHeight);
    SDL_Draw::FadeBuffer buffer;
    buffer.framesPerSecond = framesPerSecond;
    SDL_Rect text = {200, 150, 1400, 700};
    double frames = 0;
    bool exact = true;
    for (auto _ : state) {
        state.PauseTiming();
        SDL_BlitSurface(page, nullptr, screen, nullptr);
        SDL_BlitSurface(page, nullptr, back, nullptr);
        if (wholeScreen) {
            SDL_FillRect(back, nullptr, SDL_MapRGB(back->format, 200, 100, 50));
        } else {
            // Every other line of the text block changes, like lines of text.
            for (int y = text.y; y < text.y + text.h; y += 20) {
                SDL_Rect line = {text.x, (Sint16)y, text.w, 12};
                SDL_FillRect(back, &line, 0);
            }
        }
        state.ResumeTiming();
        SDL_Draw::fade(back, screen, duration, buffer);
        frames += buffer.frames;
        state.PauseTiming();
        exact &= sameColours(screen, back);
        state.ResumeTiming();
    }
    if (!exact)
        state.SkipWithError("the fade did not end on the new page");
    state.counters["frames"] = benchmark::Counter(frames, benchmark::Counter::kAvgIterations);
    SDL_FreeSurface(page);
}

void BM_FadeFullHd(benchmark::State &state) { fadeBench(state, 60, true); }
void BM_FadeFullHd600ms(benchmark::State &state) { fadeBench(state, 60, true, 600); }
void BM_FadeFullHdUnpaced(benchmark::State &state) { fadeBench(state, 0, true); }
void BM_FadePageTurnFullHd(benchmark::State &state) { fadeBench(state, 60, false); }
void BM_FadePageTurnFullHdUnpaced(benchmark::State &state) { fadeBench(state, 0, false); }
BENCHMARK(BM_FadeFullHd)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FadeFullHd600ms)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FadeFullHdUnpaced)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FadePageTurnFullHd)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FadePageTurnFullHdUnpaced)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
