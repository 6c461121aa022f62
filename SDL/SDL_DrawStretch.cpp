// The stretched blit (see SDL_Draw.h): a box filter whose weights are
// computed once per destination column and row, in integers; ScaleCache
// keeps the filter's colours per picture and size and draws from them.
//
// Destination column i of a picture w wide drawn `width` wide covers the
// source span [w*i/width, w*(i+1)/width). Measured in units of 1/width of a
// source column every boundary is an integer, so each covered source column
// gets an integer weight, and a column's weights add up to w. Rows alike.
// The average of a pixel is then an exact fraction N/D with D = w*h (both
// divided by their common factors with the destination size), and
// floor(N/D + 1e-6) - the rounding the area average has always used - is
// floor((N + e)/D) with e = floor(D/10^6). So the result is that of the
// per-pixel area average in doubles, without its cost.
#include "SDL_Draw.h"
#include "SDL_DrawSupport.h"

#include <limits.h>
#include <string.h>

#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace SDL_Draw {

namespace {

long long gcd(long long a, long long b)
{
    while (b) {
        long long t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// The box filter along one axis for the destination cells [lo, hi) of
// `size` cells over `from` source cells; weights in units of `unit`.
struct Taps {
    std::vector<int> first;      // first source cell of each destination cell
    std::vector<int> count;      // number of source cells it covers
    std::vector<int> start;      // index of its first weight
    std::vector<uint32_t> weight;

    Taps(long long from, long long size, long long lo, long long hi, long long unit)
    {
        size_t n = (size_t)(hi - lo);
        first.resize(n);
        count.resize(n);
        start.resize(n);
        for (size_t k = 0; k < n; k++) {
            long long a = from * (lo + (long long)k), b = a + from;
            long long c0 = a / size, c1 = (b - 1) / size;
            if (c1 > from - 1)
                c1 = from - 1;
            first[k] = (int)c0;
            count[k] = (int)(c1 - c0 + 1);
            start[k] = (int)weight.size();
            for (long long c = c0; c <= c1; c++) {
                long long s = c * size > a ? c * size : a;
                long long e = (c + 1) * size < b ? (c + 1) * size : b;
                weight.push_back((uint32_t)((e - s) / unit));
            }
        }
    }
    bool sameAs(size_t k, size_t other) const
    {
        if (first[k] != first[other] || count[k] != count[other])
            return false;
        return memcmp(&weight[(size_t)start[k]], &weight[(size_t)start[other]],
                      (size_t)count[k] * sizeof(uint32_t)) == 0;
    }
};

// floor(n / d) by a multiplication, exact for every n below 256 x d.
// Wide is needed when n x m can pass 64 bits (d of 2^23 and more).
template <bool Wide> struct Divider {
    uint64_t m = 1;
    int shift = 0;
    explicit Divider(uint64_t d)
    {
        // 2^shift >= 256 d^2 keeps the error of m below one step of n/d.
        unsigned __int128 bound = (unsigned __int128)d * d * 256;
        while (((unsigned __int128)1 << shift) < bound)
            shift++;
        m = (uint64_t)(((unsigned __int128)1 << shift) / d) + 1;
    }
    uint32_t operator()(uint64_t n) const
    {
        if (Wide)
            return (uint32_t)(((unsigned __int128)n * m) >> shift);
        return (uint32_t)((n * m) >> shift);
    }
};

#ifdef __SSE2__
// The same floor((n + e) / d) in single precision for the four bytes of a
// pixel at once: exact while every sum stays below 2^24, so for d up to
// 65536. The quotient's estimate is put right by one step either way.
struct FloatAverage {
    __m128 e, d, inverse;
    FloatAverage(uint64_t divisor, uint64_t rounding)
        : e(_mm_set1_ps((float)rounding)), d(_mm_set1_ps((float)divisor)),
          inverse(_mm_set1_ps(1.0f / (float)divisor))
    {
    }
    // The weighted sum of count columns of vertical sums (four per column,
    // in the order of the source pixel's bytes), as a pixel in that order.
    uint32_t operator()(const uint32_t *sums, const uint32_t *weight, int count) const
    {
        __m128 n = _mm_setzero_ps();
        for (int t = 0; t < count; t++, sums += 4)
            n = _mm_add_ps(n, _mm_mul_ps(_mm_cvtepi32_ps(_mm_loadu_si128((const __m128i *)sums)),
                                         _mm_set1_ps((float)weight[t])));
        n = _mm_add_ps(n, e);
        __m128i q = _mm_cvttps_epi32(_mm_mul_ps(n, inverse));
        __m128 over = _mm_cmpgt_ps(_mm_mul_ps(_mm_cvtepi32_ps(q), d), n);
        q = _mm_add_epi32(q, _mm_castps_si128(over));
        __m128 next = _mm_add_ps(_mm_cvtepi32_ps(q), _mm_set1_ps(1.0f));
        q = _mm_sub_epi32(q, _mm_castps_si128(_mm_cmple_ps(_mm_mul_ps(next, d), n)));
        __m128i words = _mm_packs_epi32(q, q);
        return (uint32_t)_mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    }
};
#endif

// The per-pixel area average, for sources the integer filter does not read
// (channels that are not whole bytes).
void stretchAnyFormat(SDL_Surface *source, SDL_Surface *destination, int x, int y, int width,
                      int height, const Box &area)
{
    double fx = (double)source->w / width, fy = (double)source->h / height;
    const SDL_PixelFormat *sf = source->format;
    const SDL_PixelFormat *df = destination->format;
    double surfaceAlpha = (source->flags & SDL_SRCALPHA) ? sf->alpha / 255.0 : 1.0;
    for (long long py = area.y0; py < area.y1; py++) {
        int j = (int)(py - y);
        Uint32 *row = pixelAt(destination, 0, (int)py);
        for (long long px = area.x0; px < area.x1; px++) {
            int i = (int)(px - x);
            Uint32 c = scaleBlit(source, fx * i, fy * j, fx * (i + 1), fy * (j + 1));
            Uint8 sr, sg, sb, sa;
            SDL_GetRGBA(c, const_cast<SDL_PixelFormat *>(sf), &sr, &sg, &sb, &sa);
            if (!sf->Amask)
                sa = 255;
            double a = sa / 255.0 * surfaceAlpha;
            Uint32 old = row[px];
            Uint8 dr, dg, db;
            SDL_GetRGB(old, const_cast<SDL_PixelFormat *>(df), &dr, &dg, &db);
            Uint32 r = (Uint32)(a * sr + (1 - a) * dr);
            Uint32 g = (Uint32)(a * sg + (1 - a) * dg);
            Uint32 b = (Uint32)(a * sb + (1 - a) * db);
            row[px] = ((r >> df->Rloss) << df->Rshift) | ((g >> df->Gloss) << df->Gshift) |
                      ((b >> df->Bloss) << df->Bshift);
        }
    }
}

// Everything one stretch needs, for the row loop below.
struct Job {
    SDL_Surface *source, *destination;
    const SDL_PixelFormat *df;
    Box area;
    int lane[4];
    double surfaceAlpha;
    const Taps *cols, *rows;
    uint64_t dx, d, e;
    uint32_t *capture;   // when not null: every row's colours go here, not to the destination
};

// Writes one row of picture colours over the destination: opaque ones as
// they are (packed), the others blended in doubles, as the area average
// always has.
void blendRow(const Job &job, Uint32 *row, const uint32_t *colour, const Uint32 *packed, size_t n)
{
    const SDL_PixelFormat *df = job.df;
    for (size_t i = 0; i < n; i++) {
        uint32_t rgba = colour[i];
        if (rgba >> 24 == 255 && job.surfaceAlpha == 1.0) {
            row[i] = packed[i];
            continue;
        }
        double a = (rgba >> 24) / 255.0 * job.surfaceAlpha;
        Uint8 dr, dg, db;
        SDL_GetRGB(row[i], const_cast<SDL_PixelFormat *>(df), &dr, &dg, &db);
        Uint32 r = (Uint32)(a * (rgba & 0xFF) + (1 - a) * dr);
        Uint32 g = (Uint32)(a * ((rgba >> 8) & 0xFF) + (1 - a) * dg);
        Uint32 b = (Uint32)(a * ((rgba >> 16) & 0xFF) + (1 - a) * db);
        row[i] = ((r >> df->Rloss) << df->Rshift) | ((g >> df->Gloss) << df->Gshift) |
                 ((b >> df->Bloss) << df->Bshift);
    }
}

// Acc holds a weighted sum of one channel over a destination pixel (at most
// 255 x d); Alpha is false when every pixel read is opaque.
template <typename Acc, bool Alpha, bool Wide> void stretchRows(const Job &job)
{
    const Taps &cols = *job.cols, &rows = *job.rows;
    const SDL_PixelFormat *df = job.df;
    const int lr = job.lane[0], lg = job.lane[1], lb = job.lane[2], la = job.lane[3];
    const Acc dx = (Acc)job.dx, e = (Acc)job.e;
    const Divider<Wide> divide(job.d);
    const bool opaqueSurface = job.surfaceAlpha == 1.0;
    const int c0 = cols.first.front();
    const int ncols = cols.first.back() + cols.count.back() - c0;
    const size_t nout = cols.first.size();
    bool multiCol = false, singleCol = false;
    for (int n : cols.count) {
        multiCol |= n > 1;
        singleCol |= n == 1;
    }

    std::vector<uint32_t> sums((size_t)ncols * 4);     // vertical sums, per byte of a pixel
    std::vector<uint32_t> whole((size_t)ncols);        // a source column's own colour
    std::vector<Uint32> wholePacked((size_t)ncols);
    // Pictures that may let the background through are drawn into packed
    // first and blended from there; opaque ones go straight to the row.
    // A captured picture keeps its colours, alpha and all.
    const bool blending = Alpha || !opaqueSurface || job.capture;
    std::vector<uint32_t> colour(blending ? nout : 0);  // r | g << 8 | b << 16 | a << 24
    std::vector<Uint32> packed(blending ? nout : 0);    // in the destination's format
    bool rowOpaque = true;

    auto pack = [df](uint32_t rgb) -> Uint32 {
        Uint32 r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
        return ((r >> df->Rloss) << df->Rshift) | ((g >> df->Gloss) << df->Gshift) |
               ((b >> df->Bloss) << df->Bshift);
    };
    // The colour of channel sums whose weights add up to d.
    auto average = [&](Acc r, Acc g, Acc b, Acc a) -> uint32_t {
        uint32_t alpha = Alpha ? divide(a + e) : 255;
        return divide(r + e) | divide(g + e) << 8 | divide(b + e) << 16 | alpha << 24;
    };
    // A pixel in the source's byte order as r | g << 8 | b << 16 | a << 24.
    auto fromBytes = [&](uint32_t p) -> uint32_t {
        uint32_t alpha = Alpha ? (p >> (8 * la)) & 0xFF : 255;
        return ((p >> (8 * lr)) & 0xFF) | ((p >> (8 * lg)) & 0xFF) << 8 |
               ((p >> (8 * lb)) & 0xFF) << 16 | alpha << 24;
    };
#ifdef __SSE2__
    const bool inFloats = job.d <= 65536;
    const FloatAverage floatAverage(job.d, job.e);
    const uint32_t dxWeight = (uint32_t)job.dx;
    // Source bytes where the destination wants them: a pixel is its own
    // packed form, less the alpha byte.
    const bool sameBytes = SDL_BYTEORDER == SDL_LIL_ENDIAN && !blending && df->Rloss == 0 &&
                           df->Gloss == 0 && df->Bloss == 0 && df->Rshift == 8 * lr &&
                           df->Gshift == 8 * lg && df->Bshift == 8 * lb;
    const Uint32 rgbMask = (Uint32)0xFF << df->Rshift | (Uint32)0xFF << df->Gshift |
                           (Uint32)0xFF << df->Bshift;
#endif

    const Uint8 *pixels = (const Uint8 *)job.source->pixels;
    const size_t pitch = job.source->pitch;
    SDL_Surface *destination = job.destination;
    Uint32 *previous = nullptr;
    for (size_t k = 0; k < rows.first.size(); k++) {
        Uint32 *row = job.capture ? nullptr
                                  : pixelAt(destination, (int)job.area.x0, (int)(job.area.y0 + (long long)k));
        if (k > 0 && rows.sameAs(k, k - 1)) {
            // The same source rows in the same shares: the same colours.
            if (job.capture)
                memcpy(job.capture + k * nout, colour.data(), nout * sizeof(uint32_t));
            else if (rowOpaque)
                memcpy(row, previous, nout * sizeof(Uint32));
            else
                blendRow(job, row, colour.data(), packed.data(), nout);
            previous = row;
            continue;
        }
        const int single = rows.count[k] == 1 ? rows.first[k] : -1;
        if (single < 0 || multiCol) {
            // Vertical sums of every source column the drawn part reads.
            const uint32_t *w = &rows.weight[(size_t)rows.start[k]];
            uint32_t *s = sums.data();
            const size_t n = (size_t)ncols * 4;
            for (int t = 0; t < rows.count[k]; t++) {
                const Uint8 *line = pixels + (size_t)(rows.first[k] + t) * pitch + (size_t)c0 * 4;
                const uint32_t wt = w[t];
                if (t == 0)
                    for (size_t i = 0; i < n; i++)
                        s[i] = wt * line[i];
                else
                    for (size_t i = 0; i < n; i++)
                        s[i] += wt * line[i];
            }
        }
        if (singleCol) {
            // The colour of each source column over these rows, for the
            // destination columns that lie wholly inside one.
            if (single >= 0) {
                const Uint8 *p = pixels + (size_t)single * pitch + (size_t)c0 * 4;
                for (int c = 0; c < ncols; c++, p += 4)
                    whole[(size_t)c] = p[lr] | p[lg] << 8 | p[lb] << 16 |
                                       (uint32_t)(Alpha ? p[la] : 255) << 24;
            } else {
                const uint32_t *q = sums.data();
                for (int c = 0; c < ncols; c++, q += 4) {
#ifdef __SSE2__
                    if (inFloats && sameBytes) {
                        wholePacked[(size_t)c] = floatAverage(q, &dxWeight, 1) & rgbMask;
                        continue;
                    }
                    if (inFloats) {
                        whole[(size_t)c] = fromBytes(floatAverage(q, &dxWeight, 1));
                        wholePacked[(size_t)c] = pack(whole[(size_t)c]);
                        continue;
                    }
#endif
                    whole[(size_t)c] = average(q[lr] * dx, q[lg] * dx, q[lb] * dx, q[la] * dx);
                    wholePacked[(size_t)c] = pack(whole[(size_t)c]);
                }
            }
            if (single >= 0)
                for (int c = 0; c < ncols; c++)
                    wholePacked[(size_t)c] = pack(whole[(size_t)c]);
        }
        bool opaque = true;
        Uint32 *out = blending ? packed.data() : row;
        for (size_t i = 0; i < nout; i++) {
            const int c = cols.first[i] - c0;
            uint32_t rgba;
            if (cols.count[i] == 1) {
                rgba = whole[(size_t)c];
                out[i] = wholePacked[(size_t)c];
            } else {
                const uint32_t *w = &cols.weight[(size_t)cols.start[i]];
                const uint32_t *q = &sums[(size_t)c * 4];
#ifdef __SSE2__
                if (inFloats && sameBytes) {
                    out[i] = floatAverage(q, w, cols.count[i]) & rgbMask;
                    continue;
                }
                if (inFloats) {
                    rgba = fromBytes(floatAverage(q, w, cols.count[i]));
                } else
#endif
                {
                    Acc r = 0, g = 0, b = 0, a = 0;
                    for (int t = 0; t < cols.count[i]; t++, q += 4) {
                        r += (Acc)w[t] * q[lr];
                        g += (Acc)w[t] * q[lg];
                        b += (Acc)w[t] * q[lb];
                        if (Alpha)
                            a += (Acc)w[t] * q[la];
                    }
                    rgba = average(r, g, b, a);
                }
                out[i] = pack(rgba);
            }
            if (blending) {
                colour[i] = rgba;
                opaque &= rgba >> 24 == 255;
            }
        }
        rowOpaque = opaque && opaqueSurface;
        if (job.capture)
            memcpy(job.capture + k * nout, colour.data(), nout * sizeof(uint32_t));
        else if (blending)
            blendRow(job, row, colour.data(), packed.data(), nout);
        previous = row;
    }
}

} // namespace

namespace {

// Memory offsets of the source's channel bytes (alpha 255 without a mask);
// false when the integer filter cannot read the source.
bool channelLanes(const SDL_Surface *source, int lane[4])
{
    const SDL_PixelFormat *sf = source->format;
    lane[0] = channelByte(sf->Rmask);
    lane[1] = channelByte(sf->Gmask);
    lane[2] = channelByte(sf->Bmask);
    lane[3] = sf->Amask ? channelByte(sf->Amask) : 0;
    return sf->BytesPerPixel == 4 && !sf->palette && lane[0] >= 0 && lane[1] >= 0 && lane[2] >= 0 &&
           lane[3] >= 0;
}

double surfaceAlphaOf(const SDL_Surface *source)
{
    return (source->flags & SDL_SRCALPHA) ? source->format->alpha / 255.0 : 1.0;
}

// The integer filter over the part area of (x, y, width, height): blended
// into the destination, or, with capture, its colours stored there (the
// area then being the whole rectangle). Both surfaces are locked.
void filter(SDL_Surface *source, SDL_Surface *destination, int x, int y, int width, int height,
            const Box &area, const int lane[4], uint32_t *capture)
{
    const SDL_PixelFormat *sf = source->format;
    const long long sw = source->w, sh = source->h;
    const long long gx = gcd(sw, width), gy = gcd(sh, height);
    Taps cols(sw, width, area.x0 - x, area.x1 - x, gx);
    Taps rows(sh, height, area.y0 - y, area.y1 - y, gy);
    Job job{source, destination, destination->format, area, {lane[0], lane[1], lane[2], lane[3]},
            surfaceAlphaOf(source), &cols, &rows, (uint64_t)(sw / gx), 0, 0, capture};
    job.d = job.dx * (uint64_t)(sh / gy);
    job.e = job.d / 1000000;

    // Does any pixel read let the background through?
    bool alpha = false;
    if (sf->Amask) {
        const int c0 = cols.first.front(), c1 = cols.first.back() + cols.count.back();
        const int r0 = rows.first.front(), r1 = rows.first.back() + rows.count.back();
        for (int r = r0; r < r1 && !alpha; r++) {
            const Uint8 *p = (const Uint8 *)source->pixels + (size_t)r * source->pitch;
            Uint8 all = 0xFF;
            for (int c = c0; c < c1; c++)
                all &= p[(size_t)c * 4 + (size_t)lane[3]];
            alpha = all != 0xFF;
        }
    }
    // 32-bit sums and a 64-bit division while 256 d^2 stays below 2^64.
    if (job.d < ((uint64_t)1 << 23))
        alpha ? stretchRows<uint32_t, true, false>(job) : stretchRows<uint32_t, false, false>(job);
    else
        alpha ? stretchRows<uint64_t, true, true>(job) : stretchRows<uint64_t, false, true>(job);
}

// Draws the part area of a kept copy placed at (x, y), as the filter would
// have drawn it.
void drawColours(const uint32_t *colour, int width, bool opaque, double surfaceAlpha,
                 SDL_Surface *destination, int x, int y, const Box &area)
{
    const SDL_PixelFormat *df = destination->format;
    const size_t n = (size_t)(area.x1 - area.x0);
    std::vector<Uint32> packed(n);
    Job job{nullptr, destination, df, area, {0, 0, 0, 0}, surfaceAlpha, nullptr, nullptr, 0, 0, 0,
            nullptr};
    for (long long py = area.y0; py < area.y1; py++) {
        const uint32_t *from = colour + (size_t)(py - y) * (size_t)width + (size_t)(area.x0 - x);
        Uint32 *row = pixelAt(destination, (int)area.x0, (int)py);
        Uint32 *out = opaque && surfaceAlpha == 1.0 ? row : packed.data();
        for (size_t i = 0; i < n; i++) {
            uint32_t rgb = from[i];
            out[i] = ((rgb & 0xFF) >> df->Rloss) << df->Rshift |
                     (((rgb >> 8) & 0xFF) >> df->Gloss) << df->Gshift |
                     (((rgb >> 16) & 0xFF) >> df->Bloss) << df->Bshift;
        }
        if (out != row)
            blendRow(job, row, from, packed.data(), n);
    }
}

// The part of (x, y, width, height) inside the destination's clip; false
// when nothing is drawn.
bool drawnArea(SDL_Surface *source, SDL_Surface *destination, int x, int y, int width, int height,
               Box &area)
{
    if (!source || !destination || width <= 0 || height <= 0 || source->w <= 0 ||
        source->h <= 0 || destination->format->BytesPerPixel != 4)
        return false;
    area = Box{x, y, (long long)x + width, (long long)y + height};
    return intersect(area, clipBox(destination));
}

} // namespace

void stretch(SDL_Surface *source, SDL_Surface *destination, int x, int y, int width, int height)
{
    Box area;
    if (!drawnArea(source, destination, x, y, width, height, area))
        return;
    SurfaceLock srcLock(source), dstLock(destination);
    if (!srcLock.ok() || !dstLock.ok())
        return;
    int lane[4];
    if (!channelLanes(source, lane)) {
        stretchAnyFormat(source, destination, x, y, width, height, area);
        return;
    }
    filter(source, destination, x, y, width, height, area, lane, nullptr);
}

void ScaleCache::draw(SDL_Surface *source, SDL_Surface *destination, int x, int y, int width,
                      int height)
{
    Box area;
    if (!drawnArea(source, destination, x, y, width, height, area))
        return;
    const Key key(source, width, height);
    auto found = index.find(key);
    if (found != index.end()) {
        copies.splice(copies.begin(), copies, found->second);
    } else {
        const uint64_t size = (uint64_t)width * (uint64_t)height * sizeof(uint32_t);
        int lane[4];
        if (size > budget || !channelLanes(source, lane)) {
            // Too big to keep: filtered for this draw only.
            filterPasses++;
            stretch(source, destination, x, y, width, height);
            return;
        }
        // Room first: the least recently drawn copies go.
        while (!copies.empty() && used + size > budget) {
            const Copy &old = copies.back();
            used -= old.colour.size() * sizeof(uint32_t);
            index.erase(Key(old.source, old.width, old.height));
            copies.pop_back();
        }
        Copy copy{source, width, height, true, {}};
        copy.colour.resize((size_t)width * (size_t)height);
        {
            SurfaceLock srcLock(source);
            if (!srcLock.ok())
                return;
            Box whole{0, 0, width, height};
            filter(source, destination, 0, 0, width, height, whole, lane, copy.colour.data());
        }
        filterPasses++;
        for (uint32_t c : copy.colour)
            copy.opaque &= c >> 24 == 255;
        copies.push_front(std::move(copy));
        index[key] = copies.begin();
        used += (size_t)size;
    }
    SurfaceLock dstLock(destination);
    if (!dstLock.ok())
        return;
    const Copy &copy = copies.front();
    drawColours(copy.colour.data(), width, copy.opaque, surfaceAlphaOf(source), destination, x, y,
                area);
}

void ScaleCache::forget(SDL_Surface *source)
{
    auto it = index.lower_bound(Key(source, INT_MIN, INT_MIN));
    while (it != index.end() && std::get<0>(it->first) == source) {
        used -= it->second->colour.size() * sizeof(uint32_t);
        copies.erase(it->second);
        it = index.erase(it);
    }
}

} // namespace SDL_Draw
