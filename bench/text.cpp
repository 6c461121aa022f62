// A page of text at 1920x1080: out_text's glyph sets against SDL_ttf's
// TTF_RenderText_Blended and a blit, same font file and the same pixel size.
#include "SDLFont.h"

#include <SDL/SDL.h>
#include <SDL/SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const char *kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// SDLFont sizes at 58 dpi, SDL_ttf at 72 dpi: 36 here is 29 there.
const int kHeight = 36;
const int kTtfPoints = 29;

struct Page {
    SDL_Surface *back = nullptr;
    std::vector<std::string> lines;
    Page()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        if (!SDL_WasInit(SDL_INIT_VIDEO))
            SDL_Init(SDL_INIT_VIDEO);
        SDL_Surface *screen = SDL_SetVideoMode(1920, 1080, 32, 0);
        back = SDL_DisplayFormat(screen);
        const std::string words =
            "The quick brown fox jumps over the lazy dog while the reader turns another page "
            "of the magazine, with pictures, tables and links in every column of the article. ";
        for (int i = 0; i < 30; i++)
            lines.push_back(words.substr(i % 7, 110));
    }
};

Page &page()
{
    static Page p;
    return p;
}

void BM_OutTextPage(benchmark::State &state)
{
    Page &p = page();
    SDLFont *font = SDLFont::openFont(kFont, kHeight);
    if (!font) {
        state.SkipWithError("font did not open");
        return;
    }
    int lineHeight = SDLFont::firstSet(font)->ascent + SDLFont::firstSet(font)->descent;
    for (auto _ : state) {
        int y = 0;
        for (const std::string &line : p.lines) {
            fontOutText(font, line.c_str(), (int)line.size(), 8, y, 0x202020, p.back);
            y += lineHeight;
        }
    }
    state.counters["lines"] = (double)p.lines.size();
    delete font;
}
BENCHMARK(BM_OutTextPage)->Unit(benchmark::kMillisecond);

void BM_SdlTtfBlendedPage(benchmark::State &state)
{
    Page &p = page();
    if (!TTF_WasInit())
        TTF_Init();
    TTF_Font *font = TTF_OpenFont(kFont, kTtfPoints);
    if (!font) {
        state.SkipWithError("font did not open");
        return;
    }
    int lineHeight = TTF_FontLineSkip(font);
    SDL_Color colour = {0x20, 0x20, 0x20, 0};
    for (auto _ : state) {
        int y = 0;
        for (const std::string &line : p.lines) {
            SDL_Surface *text = TTF_RenderText_Blended(font, line.c_str(), colour);
            if (text) {
                SDL_Rect at = {8, (Sint16)y, 0, 0};
                SDL_BlitSurface(text, nullptr, p.back, &at);
                SDL_FreeSurface(text);
            }
            y += lineHeight;
        }
    }
    state.counters["lines"] = (double)p.lines.size();
    TTF_CloseFont(font);
}
BENCHMARK(BM_SdlTtfBlendedPage)->Unit(benchmark::kMillisecond);

} // namespace
