// The timed cross-fade (see SDL_Draw.h). A first pass notes, row by row,
// the span where the new page differs from the screen and keeps the
// screen's old pixels there; every frame then redraws only those spans,
// each channel byte as new + ((weight x (old - new)) >> 8), and updates only
// the screen areas that hold them. Frames are paced by time to at most
// framesPerSecond, the display's rate, however short the fade; the thread
// sleeps in between. A quit request ends the fade on the new page at once.
#include "SDL_Draw.h"
#include "SDL_DrawSupport.h"

#include <string.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace SDL_Draw {

namespace {

// Rows of changes at most this far apart share one updated area.
const int kBandGap = 16;

// Longest sleep between two looks at the quit request.
const Uint32 kQuitPollMs = 16;

bool quitting(const std::atomic<bool> *quit)
{
    return quit && quit->load(std::memory_order_relaxed);
}

// Sleeps ms milliseconds, or less when a quit is requested meanwhile.
void sleepUnlessQuit(Uint32 ms, const std::atomic<bool> *quit)
{
    const Uint32 start = SDL_GetTicks();
    for (Uint32 slept = 0; slept < ms && !quitting(quit); slept = SDL_GetTicks() - start)
        SDL_Delay(ms - slept < kQuitPollMs ? ms - slept : kQuitPollMs);
}

void showAtOnce(SDL_Surface *newSurface, SDL_Surface *screen)
{
    blitSurface(newSurface, nullptr, screen, nullptr);
    SDL_UpdateRect(screen, 0, 0, 0, 0);
}

// Notes the changing span of every row and keeps the old pixels there.
void scan(SDL_Surface *next, SDL_Surface *screen, Uint32 rgbMask, FadeBuffer &buffer)
{
    const int w = screen->w, h = screen->h;
    buffer.spanStart.assign((size_t)h, -1);
    buffer.spanEnd.assign((size_t)h, 0);
    buffer.offset.assign((size_t)h, 0);
    buffer.from.clear();
    buffer.bands.clear();
    SDL_Rect band = {0, 0, 0, 0};
    int bandEnd = -1;   // one past the band's last changing row; -1 for none
    for (int y = 0; y < h; y++) {
        const Uint32 *old = pixelAt(screen, 0, y);
        const Uint32 *now = pixelAt(next, 0, y);
        int x0 = 0;
        while (x0 < w && !((old[x0] ^ now[x0]) & rgbMask))
            x0++;
        if (x0 == w)
            continue;
        int x1 = w;
        while (!((old[x1 - 1] ^ now[x1 - 1]) & rgbMask))
            x1--;
        buffer.spanStart[(size_t)y] = x0;
        buffer.spanEnd[(size_t)y] = x1;
        buffer.offset[(size_t)y] = buffer.from.size();
        buffer.from.insert(buffer.from.end(), old + x0, old + x1);
        if (bandEnd >= 0 && y - bandEnd < kBandGap) {
            int left = band.x < x0 ? band.x : x0;
            int right = band.x + band.w > x1 ? band.x + band.w : x1;
            band.x = (Sint16)left;
            band.w = (Uint16)(right - left);
        } else {
            if (bandEnd >= 0) {
                band.h = (Uint16)(bandEnd - band.y);
                buffer.bands.push_back(band);
            }
            band.x = (Sint16)x0;
            band.y = (Sint16)y;
            band.w = (Uint16)(x1 - x0);
        }
        bandEnd = y + 1;
    }
    if (bandEnd >= 0) {
        band.h = (Uint16)(bandEnd - band.y);
        buffer.bands.push_back(band);
    }
}

void drawFrame(SDL_Surface *next, SDL_Surface *screen, int weight, Uint32 rgbMask,
               const int *channel, const FadeBuffer &buffer)
{
    for (int y = 0; y < screen->h; y++) {
        int x0 = buffer.spanStart[(size_t)y];
        if (x0 < 0)
            continue;
        blendSpan(pixelAt(screen, x0, y), &buffer.from[buffer.offset[(size_t)y]],
                  pixelAt(next, x0, y), buffer.spanEnd[(size_t)y] - x0, weight, rgbMask, channel);
    }
#ifdef __SSE2__
    // The streamed stores are done before the display is told to show them.
    _mm_sfence();
#endif
}

// One pixel of a frame: each channel byte new + ((weight x (old - new)) >> 8).
inline Uint32 blendPixel(Uint32 oldPixel, Uint32 newPixel, int weight, const int *channel)
{
    const Uint8 *o = (const Uint8 *)&oldPixel, *t = (const Uint8 *)&newPixel;
    Uint32 p = oldPixel;
    Uint8 *q = (Uint8 *)&p;
    for (int c = 0; c < 3; c++) {
        int k = channel[c];
        q[k] = (Uint8)(t[k] + ((weight * (o[k] - t[k])) >> 8));
    }
    return p;
}

} // namespace

void detail::blendSpan(Uint32 *out, const Uint32 *old, const Uint32 *now, int n, int weight,
                         Uint32 rgbMask, const int *channel)
{
    if (weight >= 256) {
        memcpy(out, old, (size_t)n * 4);
        return;
    }
    if (weight <= 0) {
        // The last frame: the new page's channels, the old fourth byte.
        for (int i = 0; i < n; i++)
            out[i] = (now[i] & rgbMask) | (old[i] & ~rgbMask);
        return;
    }
    int i = 0;
#ifdef __SSE2__
    // 16-bit lanes: (2 x (old - now)) x (weight x 128) >> 16 is the product
    // shifted by 8, rounded down like the shift of an int.
    const __m128i w = _mm_set1_epi16((short)(weight << 7));
    const __m128i zero = _mm_setzero_si128();
    const __m128i keep = _mm_set1_epi32((int)rgbMask);
    // The frame goes to the display, not back to this thread: written past
    // the caches, without reading the screen's old bytes in first (a
    // quarter of the frame's memory traffic). From the first 16-byte line.
    const int head = (int)((16 - ((uintptr_t)out & 15)) / 4 & 3);
    for (; i < head && i < n; i++)
        out[i] = blendPixel(old[i], now[i], weight, channel);
    for (; i + 4 <= n; i += 4) {
        __m128i o = _mm_loadu_si128((const __m128i *)(old + i));
        __m128i t = _mm_loadu_si128((const __m128i *)(now + i));
        __m128i oLo = _mm_unpacklo_epi8(o, zero), oHi = _mm_unpackhi_epi8(o, zero);
        __m128i tLo = _mm_unpacklo_epi8(t, zero), tHi = _mm_unpackhi_epi8(t, zero);
        __m128i dLo = _mm_slli_epi16(_mm_sub_epi16(oLo, tLo), 1);
        __m128i dHi = _mm_slli_epi16(_mm_sub_epi16(oHi, tHi), 1);
        __m128i rLo = _mm_add_epi16(tLo, _mm_mulhi_epi16(dLo, w));
        __m128i rHi = _mm_add_epi16(tHi, _mm_mulhi_epi16(dHi, w));
        __m128i r = _mm_packus_epi16(rLo, rHi);
        r = _mm_or_si128(_mm_and_si128(r, keep), _mm_andnot_si128(keep, o));
        if ((uintptr_t)out & 3)
            _mm_storeu_si128((__m128i *)(out + i), r);
        else
            _mm_stream_si128((__m128i *)(out + i), r);
    }
#endif
    for (; i < n; i++)
        out[i] = blendPixel(old[i], now[i], weight, channel);
}

void fade(SDL_Surface *newSurface, SDL_Surface *screen, int duration, FadeBuffer &buffer,
          const std::atomic<bool> *quit)
{
    buffer.frames = 0;
    if (!newSurface || !screen)
        return;
    const SDL_PixelFormat *sf = screen->format;
    int channel[3] = {channelByte(sf->Rmask), channelByte(sf->Gmask), channelByte(sf->Bmask)};
    if (duration <= 0 || quitting(quit) || newSurface->w != screen->w || newSurface->h != screen->h ||
        screen->format->BytesPerPixel != 4 || newSurface->format->BytesPerPixel != 4 ||
        channel[0] < 0 || channel[1] < 0 || channel[2] < 0) {
        showAtOnce(newSurface, screen);
        return;
    }
    const Uint32 start = SDL_GetTicks();
    // A page in another arrangement of bytes fades from a copy in the screen's.
    SDL_Surface *converted = nullptr;
    const SDL_PixelFormat *nf = newSurface->format;
    if (nf->Rmask != sf->Rmask || nf->Gmask != sf->Gmask || nf->Bmask != sf->Bmask) {
        converted = SDL_ConvertSurface(newSurface, screen->format, SDL_SWSURFACE);
        if (!converted) {
            showAtOnce(newSurface, screen);
            return;
        }
        newSurface = converted;
    }
    const Uint32 rgbMask = sf->Rmask | sf->Gmask | sf->Bmask;
    if (buffer.width != screen->w || buffer.height != screen->h) {
        // A new screen size: the old rows' memory goes.
        buffer.from = std::vector<Uint32>();
        buffer.width = screen->w;
        buffer.height = screen->h;
    }
    {
        SurfaceLock a(newSurface), b(screen);
        if (a.ok() && b.ok())
            scan(newSurface, screen, rgbMask, buffer);
        else
            buffer.bands.clear();
    }
    if (buffer.bands.empty()) {
        // Nothing changes: the fade's time passes all the same.
        Uint32 elapsed = SDL_GetTicks() - start;
        if (elapsed < (Uint32)duration)
            sleepUnlessQuit((Uint32)duration - elapsed, quit);
        if (converted)
            SDL_FreeSurface(converted);
        return;
    }
    const Uint32 fps = buffer.framesPerSecond > 0 ? (Uint32)buffer.framesPerSecond : 0;
    Uint32 frame = 1;
    int lastWeight = 256;   // what the screen shows before the first frame
    for (;;) {
        Uint32 now = SDL_GetTicks();
        if (fps) {
            // Sleep until the frame is due; a late frame skips the missed ones.
            Uint32 due = (Uint32)(((uint64_t)frame * 1000 + fps - 1) / fps);
            if (due > (Uint32)duration)
                due = (Uint32)duration;
            if (now - start < due) {
                sleepUnlessQuit(due - (now - start), quit);
                now = SDL_GetTicks();
            }
            Uint32 reached = (Uint32)((uint64_t)(now - start) * fps / 1000);
            frame = reached + 1 > frame + 1 ? reached + 1 : frame + 1;
        }
        Uint32 elapsed = now - start;
        // A quit request shows the end picture now.
        bool last = elapsed >= (Uint32)duration || quitting(quit);
        if (last)
            elapsed = (Uint32)duration;
        int weight = (int)((1.0f - (float)elapsed / (float)duration) * 256.0f);
        if (weight == lastWeight) {
            // The screen shows this frame already (unpaced, within the same
            // millisecond, or the end reached early).
            if (last)
                break;
            SDL_Delay(1);
            continue;
        }
        lastWeight = weight;
        {
            SurfaceLock lock(screen);
            if (!lock.ok())
                break;
            drawFrame(newSurface, screen, weight, rgbMask, channel, buffer);
        }
        SDL_UpdateRects(screen, (int)buffer.bands.size(), buffer.bands.data());
        buffer.frames++;
        if (last)
            break;
    }
    if (converted)
        SDL_FreeSurface(converted);
}

} // namespace SDL_Draw
