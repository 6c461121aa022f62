// The article view at 1920x1080 on the SDL platform (dummy video driver): a
// full redraw of a themed page (background picture, overlay, 60 lines of
// justified text with links, scroll bar, clock, title and status bars) and a
// plain page turn (redraw and flip, effects off), beside their floor: one
// full-screen blit of the same background, and the anchor, the background's
// rows copied into the back buffer with memcpy, in the same run (the redraw
// prints its CPU time as a multiple of the anchor's). Then one wheel
// step over an image map of 20,000 hot spots listed bottom to top (each new
// one goes first in the keyboard order), beside the same map listed top to
// bottom: the same page, drawn the same, with its links already in order.
#include <SDL/SDL.h>
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include "Area.h"
#include "Areas.h"
#include "Article.h"
#include "Browser.h"
#include "File.h"
#include "History.h"
#include "Link.h"
#include "LinuxPlatform.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "PictureWriters.h"
#include "SDL_System.h"
#include "Image.h"
#include "LooseFiles.h"
#include "TestDirs.h"
#include "containr.h"

namespace {

class BenchPlatform : public LinuxPlatform {
public:
    explicit BenchPlatform(const std::string &config) : config_(config) {}
    const char *configPath() override { return config_.c_str(); }

private:
    std::string config_;
};

const char *kConfig =
    "<parameters width=1920 height=1080>"
    "<fontstyle name=body face=\"DejaVu Serif\" height=19 color=1c1c28>"
    "<fontstyle name=bar face=\"DejaVu Sans\" height=18 b color=ffffff>"
    "<theme name=full image=bg.jpg>"
    "<overlay image=seal.bmp x=1700 y=900>"
    "<page x=60 y=60 height=960>"
    "<title x=40 y=12 width=900 height=30 font=bar>"
    "<status x=40 y=1036 width=900 height=30 font=bar>"
    "<clock x=1780 y=1036 width=100 height=30 font=bar>"
    "<scroll x=1880 y=60 width=20 height=960 begin=cap.bmp middle=mid.bmp end=cap.bmp vertical>"
    "</theme>"
    "<scheme name=page><font style=body><p align=j>"
    "<page width=1800><scroll line=16 page=0 speed=0><background theme=full></scheme>";

std::vector<uint32_t> gradient(int w, int h)
{
    std::vector<uint32_t> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            px[(size_t)y * w + x] = ((uint32_t)(x & 255) << 16) | ((uint32_t)(y & 255) << 8) | 0x80;
    return px;
}

// Three views of about 60 lines each: long justified paragraphs with a
// link every few lines.
std::string articleText()
{
    std::string text = "<article scheme=page title=\"Benchmark page\" author=\"The editors\">";
    const char *words[] = {"magazine", "reader", "turns", "another", "page", "of", "the", "with",
                           "pictures", "tables", "links", "columns", "justified", "text", "every"};
    for (int paragraph = 0; paragraph < 12; paragraph++) {
        text += "<p>";
        for (int w = 0; w < 700; w++) {
            if (w % 90 == 45)
                text += "<link article=page.txt desc=\"Same page\">linked words</link> ";
            text += words[(paragraph * 7 + w * 3 + w / 15) % 15];
            text += ' ';
        }
    }
    return text;
}

// An image map of 200 x 100 hot spots of 9 x 9 pixels over a 1800 x 900
// picture, listed bottom to top (reverse) or top to bottom, then text enough
// for a wheel step.
const int kSpotColumns = 200, kSpotRows = 100;

std::string mapText(bool reverse)
{
    std::string text = "<article scheme=page title=Map><imagemap file=map.bmp>";
    char tag[128];
    for (int i = 0; i < kSpotColumns * kSpotRows; i++) {
        int n = reverse ? kSpotColumns * kSpotRows - 1 - i : i;
        snprintf(tag, sizeof tag, "<link x=%d y=%d width=9 height=9 article=page.txt desc=\"Spot %d\">",
                 n % kSpotColumns * 9, n / kSpotColumns * 9, n);
        text += tag;
    }
    text += "</imagemap>";
    for (int line = 0; line < 40; line++)
        text += "<br>below the map";
    return text;
}

struct Reader {
    ScopedWorkDir dir;
    std::unique_ptr<BenchPlatform> platform;
    std::unique_ptr<SDLSystem> system;
    bool ok = false;

    void add(const std::string &name, const std::vector<uint8_t> &bytes) { addLooseFile(name, bytes); }

    Reader()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::string conf = dir.path() + "/mirandol2.conf";
        writeFile(conf, std::string("showConfig=false\nmusic=false\nsoundEffects=false\neffects=false\n"
                                    "fontPaths=/usr/share/fonts/truetype/dejavu/\n"));
        platform.reset(new BenchPlatform(conf));
        char name[] = "mirandol2";
        char *argv[] = {name, nullptr};
        system.reset(new SDLSystem(platform.get(), 1, argv));
        g_system = system.get();
        if (!system->is_ready() || !system->init_display(1920, 1080))
            return;
        add("bg.jpg", makeJPEG(1920, 1080, gradient(1920, 1080), 90));
        add("seal.bmp", makeBMP(160, 120, gradient(160, 120), 24));
        add("cap.bmp", makeBMP(20, 10, gradient(20, 10), 24));
        add("mid.bmp", makeBMP(20, 4, gradient(20, 4), 24));
        std::string text = articleText();
        add("page.txt", std::vector<uint8_t>(text.begin(), text.end()));
        add("map.bmp", makeBMP(1800, 900, gradient(1800, 900), 24));
        for (bool reverse : {true, false}) {
            std::string map = mapText(reverse);
            add(reverse ? "reverse.txt" : "forward.txt", std::vector<uint8_t>(map.begin(), map.end()));
        }
        g_magazine_config.reset();
        std::string config = kConfig;
        g_magazine_config.parse(reinterpret_cast<const uint8_t *>(config.data()), config.size());
        g_magazine_config.width = 1920;
        g_magazine_config.height = 1080;
        g_magazine_config.userFlags[USER_FLAG_EFFECTS - 4] = 0;
        ok = history.open("page.txt") && currentArticle && currentArticle->documentHeight >= 2 * currentArticle->viewHeight &&
             currentArticle->links && currentArticle->scrollbarArea && currentArticle->background &&
             currentArticle->overlay;
        if (currentArticle) {
            Article *a = currentArticle;
            unsigned shown = 0;
            for (unsigned i = 0; i < a->lineCount; i++)
                shown += (int64_t)a->lines[i].top < a->viewHeight;
            fprintf(stderr, "page: %u lines in all, %u in view, view %d of %d pixels\n", a->lineCount, shown,
                    a->viewHeight, a->documentHeight);
        }
    }
};

Reader &reader()
{
    static Reader r;
    return r;
}

// A checksum of the screen's colours after a flip. The pixels' fourth byte
// is not shown, and what it holds depends on earlier frames (blended
// pictures keep it, copied ones do not), so it is left out.
uint64_t screenSum()
{
    SDL_Surface *screen = SDL_GetVideoSurface();
    const SDL_PixelFormat *f = screen->format;
    const Uint32 shown = f->Rmask | f->Gmask | f->Bmask;
    uint64_t sum = 0;
    SDL_LockSurface(screen);
    const uint8_t *p = static_cast<const uint8_t *>(screen->pixels);
    for (int y = 0; y < screen->h; y += 3)
        for (int x = 0; x < screen->pitch; x += 7)
            if (f->BytesPerPixel != 4 || (shown >> (x % 4 * 8) & 0xFF))
                sum = sum * 31 + p[(size_t)y * screen->pitch + x];
    SDL_UnlockSurface(screen);
    return sum;
}

void backgroundOnly()
{
    Article *a = currentArticle;
    g_system->begin_display();
    g_system->blt(a->background->surface, 0, 0, 0, 0, 1920, 1080);
    g_system->end_display();
}

// The floor: one full-screen blit of the background picture.
void BM_BackgroundBlit(benchmark::State &state)
{
    if (!reader().ok) {
        state.SkipWithError("the page did not open");
        return;
    }
    for (auto _ : state)
        backgroundOnly();
}
BENCHMARK(BM_BackgroundBlit)->Unit(benchmark::kMillisecond);

// Processor time of this thread: what the machine's other work leaves out.
double threadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

void copyRows(SDL_Surface *from, SDL_Surface *to)
{
    for (int y = 0; y < to->h; y++)
        memcpy((Uint8 *)to->pixels + (size_t)y * to->pitch, (const Uint8 *)from->pixels + (size_t)y * from->pitch,
               (size_t)to->w * 4);
}

// The anchor's processor time per frame; 0 until it has run.
double rowCopySeconds = 0;

// The anchor: the 1920x1080 background copied row by row into the back
// buffer with memcpy, the same bytes the redraw starts with.
void BM_RowCopyFullHd(benchmark::State &state)
{
    SDL_Surface *from = reader().ok ? (SDL_Surface *)currentArticle->background->surface : nullptr;
    SDL_Surface *to = reader().ok ? reader().system->backBuffer : nullptr;
    if (!from || !to || from->w != 1920 || from->h != 1080 || to->w != 1920 || to->h != 1080 ||
        from->format->BytesPerPixel != 4 || to->format->BytesPerPixel != 4) {
        state.SkipWithError("no full-HD background and back buffer of 4 bytes a pixel");
        return;
    }
    double start = threadSeconds();
    for (auto _ : state) {
        copyRows(from, to);
        benchmark::ClobberMemory();
    }
    rowCopySeconds = (threadSeconds() - start) / (double)state.iterations();
    for (int y = 0; y < to->h; y++)
        if (memcmp((Uint8 *)to->pixels + (size_t)y * to->pitch, (Uint8 *)from->pixels + (size_t)y * from->pitch,
                   (size_t)to->w * 4) != 0) {
            state.SkipWithError("the copy differs from the background");
            return;
        }
    state.SetBytesProcessed((int64_t)state.iterations() * 1920 * 1080 * 4);
}
BENCHMARK(BM_RowCopyFullHd)->Unit(benchmark::kMillisecond);

void BM_RedrawAll(benchmark::State &state)
{
    if (!reader().ok) {
        state.SkipWithError("the page did not open");
        return;
    }
    // Outside the timing: the redraw paints the page known from a checked
    // run (DejaVu fonts of Debian 12); another picture means another page.
    const uint64_t kPageSum = 0x6a759840b7894dc6;
    currentArticle->redrawAll();
    g_system->flip(0, 0, 0);
    uint64_t sum = screenSum();
    if (sum != kPageSum) {
        fprintf(stderr, "page checksum %#llx, expected %#llx\n", (unsigned long long)sum,
                (unsigned long long)kPageSum);
        state.SkipWithError("the redraw did not draw the known page");
        return;
    }
    double start = threadSeconds();
    for (auto _ : state)
        currentArticle->redrawAll();
    double perFrame = (threadSeconds() - start) / (double)state.iterations();
    if (rowCopySeconds > 0) {
        state.counters["row_copy_ms"] = rowCopySeconds * 1e3;
        state.counters["x_row_copy"] = perFrame / rowCopySeconds;
    }
}
BENCHMARK(BM_RedrawAll)->Unit(benchmark::kMillisecond);

// The part of the redraw that is the page's text: its lines over the view.
void BM_PageLines(benchmark::State &state)
{
    if (!reader().ok) {
        state.SkipWithError("the page did not open");
        return;
    }
    Area *page = (Area *)currentArticle->pageArea;
    for (auto _ : state) {
        g_system->begin_display();
        page->draw(false);
        g_system->end_display();
    }
}
BENCHMARK(BM_PageLines)->Unit(benchmark::kMillisecond);

// Page down and up in turn, each drawn and flipped as the reader does.
void BM_PageTurn(benchmark::State &state)
{
    if (!reader().ok) {
        state.SkipWithError("the page did not open");
        return;
    }
    Article *a = currentArticle;
    bool down = true;
    int turned = 0;
    for (auto _ : state) {
        int32_t before = a->scroll;
        a->navigate(down ? NAV_PAGE_DOWN : NAV_PAGE_UP);
        g_browser.updateScreen();
        turned += a->scroll != before;
        down = !down;
    }
    if (turned != (int)state.iterations())
        state.SkipWithError("a page turn did not move the page");
}
BENCHMARK(BM_PageTurn)->Unit(benchmark::kMillisecond);

// The image map opened in the given order; null (the benchmark skipped) when it cannot be.
Article *openMap(benchmark::State &state, bool reverse)
{
    if (!reader().ok || !history.open(reverse ? "reverse.txt" : "forward.txt")) {
        state.SkipWithError("the map did not open");
        return nullptr;
    }
    return currentArticle;
}

// One wheel step down, then one up, over the image map; the pair is timed and
// reported per step. The page drawn after the first step is checked outside
// the loop: both orders draw the same, with the hot spots in view in order.
uint64_t mapStepSum[2];

void BM_WheelStepOverImageMap(benchmark::State &state)
{
    bool reverse = state.range(0) != 0;
    Article *a = openMap(state, reverse);
    if (!a)
        return;
    a->scrollBy(-1);
    g_browser.updateScreen();
    mapStepSum[reverse] = screenSum();
    unsigned visible = 0;
    bool ordered = true;
    for (Link *link = a->topVisibleLink; link; link = link->nextVisible, visible++)
        ordered = ordered && (!link->nextVisible || link->sortY < link->nextVisible->sortY ||
                              (link->sortY == link->nextVisible->sortY && link->sortX < link->nextVisible->sortX));
    a->scrollBy(1);
    g_browser.updateScreen();
    // Only the two top rows of spots have left the view (above the link margin).
    fprintf(stderr, "map %s: %u hot spots in view after a wheel step\n", reverse ? "bottom to top" : "top to bottom",
            visible);
    if (a->scroll != 0 || visible != (unsigned)(kSpotColumns * (kSpotRows - 2)) || !ordered) {
        state.SkipWithError("the wheel step did not show every hot spot in order");
        history.back();
        return;
    }
    for (auto _ : state) {
        a->scrollBy(-1);
        a->scrollBy(1);
    }
    state.SetItemsProcessed(state.iterations() * 2);
    state.counters["per_step"] =
        benchmark::Counter((double)state.iterations() * 2, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    history.back();
    if (!reverse && mapStepSum[0] != mapStepSum[1])
        state.SkipWithError("the two orders drew different pages");
}
BENCHMARK(BM_WheelStepOverImageMap)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The part of the step that grew with the links: the keyboard order of the
// hot spots in view built again, in both orders.
void BM_VisibleLinksOfImageMap(benchmark::State &state)
{
    bool reverse = state.range(0) != 0;
    Article *a = openMap(state, reverse);
    if (!a)
        return;
    for (auto _ : state)
        a->updateVisibleLinks();
    unsigned visible = 0;
    for (Link *link = a->topVisibleLink; link; link = link->nextVisible)
        visible++;
    history.back();
    if (visible != (unsigned)(kSpotColumns * kSpotRows))
        state.SkipWithError("not every hot spot is in view");
}
BENCHMARK(BM_VisibleLinksOfImageMap)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace
