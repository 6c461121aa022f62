// Drawing on SDL surfaces (see SDL_Draw.h).
#include "SDL_Draw.h"
#include "SDL_DrawSupport.h"
#include "Palette.h"

#include "Strings.h"

#include <math.h>
#include <string.h>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace SDL_Draw {


uint32_t colourToRGB(uint32_t colour)
{
    if (isPaletteColour(colour))
        return resolveColour(colour, nullptr);
    return swap24(colour);
}

Uint32 mapRGB(SDL_Surface *surface, uint32_t rgb)
{
    return SDL_MapRGB(surface->format, (Uint8)(rgb >> 16), (Uint8)(rgb >> 8), (Uint8)rgb);
}

size_t maskRowBytes(int width)
{
    if (width <= 0)
        return 0;
    return (((size_t)width + 7) / 8 + 3) & ~(size_t)3;
}

SDL_Surface *createImage(int width, int height, const uint32_t *pixels, const uint8_t *mask)
{
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide || !pixels)
        return nullptr;
    if ((size_t)width * (size_t)height > kMaxImagePixels)
        return nullptr;
    size_t rowBytes = maskRowBytes(width);
    // A picture none of whose pixels is transparent gets no alpha channel:
    // in the display's format it is drawn as a plain copy, not blended pixel
    // by pixel on every blit. Its fourth byte stays 0, as blending leaves it.
    bool transparent = false;
    for (int y = 0; mask && y < height && !transparent; y++) {
        const uint8_t *maskRow = mask + (size_t)y * rowBytes;
        for (int x = 0; x < width && !transparent; x++)
            transparent = (maskRow[x >> 3] & (0x80 >> (x & 7))) != 0;
    }
    SDL_Surface *image =
        transparent ? SDL_CreateRGBSurface(SDL_SWSURFACE | SDL_SRCALPHA, width, height, 32, 0x00FF0000, 0x0000FF00,
                                           0x000000FF, 0xFF000000)
                    : SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    if (!image)
        return nullptr;
    const Uint32 opaque = transparent ? 0xFF000000u : 0;
    SurfaceLock lock(image);
    for (int y = 0; y < height; y++) {
        const uint32_t *src = pixels + (size_t)y * (size_t)width;
        Uint32 *dst = pixelAt(image, 0, y);
        const uint8_t *maskRow = transparent ? mask + (size_t)y * rowBytes : nullptr;
        for (int x = 0; x < width; x++) {
            bool hidden = maskRow && (maskRow[x >> 3] & (0x80 >> (x & 7)));
            dst[x] = hidden ? 0 : ((src[x] & 0x00FFFFFFu) | opaque);
        }
    }
    return image;
}

// SDL draws a picture as a copy of its pixels when it has no colour key and
// no surface alpha and the formats are the same, and blends it by per-pixel
// alpha with its own arithmetic (below) when its alpha is the high byte and
// the colour masks are the same. Both are done here when the surfaces can be
// read and written without a lock; a surface locked by its caller is left
// to SDL, which refuses it, and so are pictures SDL may run-length encode.
BlitKind detail::blitKind(const SDL_Surface *source, const SDL_Surface *target)
{
    const SDL_PixelFormat *s = source->format, *t = target->format;
    if (source == target || !source->pixels || !target->pixels)
        return BlitKind::sdl;
    if (s->BitsPerPixel != 32 || t->BitsPerPixel != 32 || s->BytesPerPixel != 4 || t->BytesPerPixel != 4)
        return BlitKind::sdl;
    if (s->Rmask != t->Rmask || s->Gmask != t->Gmask || s->Bmask != t->Bmask)
        return BlitKind::sdl;
    if (SDL_MUSTLOCK(source) || SDL_MUSTLOCK(target) || source->locked || target->locked)
        return BlitKind::sdl;
    if (source->flags & (SDL_SRCCOLORKEY | SDL_RLEACCELOK | SDL_RLEACCEL))
        return BlitKind::sdl;
    bool blends = (source->flags & SDL_SRCALPHA) && (s->alpha != SDL_ALPHA_OPAQUE || s->Amask);
    if (!blends)
        return s->Amask == t->Amask ? BlitKind::copy : BlitKind::sdl;
    return s->Amask == 0xFF000000u ? BlitKind::blend : BlitKind::sdl;
}

namespace {

// SDL's blend of one row: the three low bytes of each target pixel become
// target + (((source - target) x alpha) >> 8), rounded down, the source's
// own where alpha is 255; the target keeps its high byte. As one sum that
// stays within 16 bits: (target x (256 - w) + source x w) >> 8, w being alpha,
// or 256 where alpha is 255.
inline Uint32 blendWeighted(Uint32 d, Uint32 s, Uint32 w)
{
    // Bytes 0 and 2 side by side: neither sum reaches the other's bits.
    Uint32 outer = (((d & 0xFF00FF) * (256 - w) + (s & 0xFF00FF) * w) >> 8) & 0xFF00FF;
    Uint32 middle = (((d & 0xFF00) * (256 - w) + (s & 0xFF00) * w) >> 8) & 0xFF00;
    return outer | middle | (d & 0xFF000000u);
}

inline Uint32 blendPixel(Uint32 d, Uint32 s)
{
    Uint32 alpha = s >> 24;
    if (!alpha)
        return d;
    return blendWeighted(d, s, alpha == 255 ? 256 : alpha);
}

// Rows of n pixels, one pixel at a time. Clear pixels are not even
// written: the next glyph may read them soon.
void blendEach(Uint8 *to, size_t toPitch, const Uint8 *from, size_t fromPitch, int n, int h)
{
    for (int row = 0; row < h; row++, to += toPitch, from += fromPitch) {
        Uint32 *t = (Uint32 *)to;
        const Uint32 *f = (const Uint32 *)from;
        for (int i = 0; i < n; i++)
            if (f[i] >> 24)
                t[i] = blendPixel(t[i], f[i]);
    }
}

// A glyph's spans one pixel at a time.
void blendGlyphEach(Uint8 *to, size_t toPitch, const GlyphWeights &glyph, Uint32 colour)
{
    for (const GlyphWeights::Span &span : glyph.rows) {
        Uint32 *t = (Uint32 *)to + span.start;
        const uint32_t *weight = glyph.weight.data() + span.at;
        for (int i = 0; i < span.length; i++)
            if (Uint32 w = weight[i] & 0xFFFF)
                t[i] = blendWeighted(t[i], colour, w);
        to += toPitch;
    }
}

#if defined(__GNUC__) && defined(__x86_64__)
// With AVX2, eight pixels at once in 16-bit lanes: four of each of two rows
// (glyphs are rows of a few pixels, so rows are paired, not lengthened).
__attribute__((target("avx2"))) inline __m256i blendEight(__m256i d, __m256i s)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i low = _mm256_set1_epi32(0x00FFFFFF);
    const __m256i whole = _mm256_set1_epi16(256);
    __m256i alpha = _mm256_srli_epi32(s, 24);
    __m256i w = _mm256_sub_epi32(alpha, _mm256_cmpeq_epi32(alpha, _mm256_set1_epi32(255)));
    w = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
    __m256i wLo = _mm256_unpacklo_epi32(w, w), wHi = _mm256_unpackhi_epi32(w, w);
    __m256i sLo = _mm256_unpacklo_epi8(s, zero), sHi = _mm256_unpackhi_epi8(s, zero);
    __m256i dLo = _mm256_unpacklo_epi8(d, zero), dHi = _mm256_unpackhi_epi8(d, zero);
    __m256i rLo = _mm256_add_epi16(_mm256_mullo_epi16(sLo, wLo), _mm256_mullo_epi16(dLo, _mm256_sub_epi16(whole, wLo)));
    __m256i rHi = _mm256_add_epi16(_mm256_mullo_epi16(sHi, wHi), _mm256_mullo_epi16(dHi, _mm256_sub_epi16(whole, wHi)));
    __m256i r = _mm256_packus_epi16(_mm256_srli_epi16(rLo, 8), _mm256_srli_epi16(rHi, 8));
    return _mm256_or_si256(_mm256_and_si256(r, low), _mm256_andnot_si256(low, d));
}

__attribute__((target("avx2"))) inline __m256i loadTwo(const Uint32 *first, const Uint32 *second)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128((const __m128i *)first)),
                                   _mm_loadu_si128((const __m128i *)second), 1);
}

__attribute__((target("avx2"))) void blendRowsPaired(Uint8 *to, size_t toPitch, const Uint8 *from,
                                                      size_t fromPitch, int n, int h)
{
    for (int row = 0; row < h; row += 2, to += 2 * toPitch, from += 2 * fromPitch) {
        // A last row without a partner is paired with itself.
        const bool alone = row + 1 == h;
        Uint32 *to0 = (Uint32 *)to, *to1 = alone ? to0 : (Uint32 *)(to + toPitch);
        const Uint32 *from0 = (const Uint32 *)from, *from1 = alone ? from0 : (const Uint32 *)(from + fromPitch);
        int i = 0;
        for (; i + 4 <= n; i += 4) {
            __m256i s = loadTwo(from0 + i, from1 + i);
            __m256i alpha = _mm256_srli_epi32(s, 24);
            if (_mm256_testz_si256(alpha, alpha))
                continue;
            __m256i r = blendEight(loadTwo(to0 + i, to1 + i), s);
            _mm_storeu_si128((__m128i *)(to0 + i), _mm256_castsi256_si128(r));
            _mm_storeu_si128((__m128i *)(to1 + i), _mm256_extracti128_si256(r, 1));
        }
        for (; i < n; i++) {
            if (from0[i] >> 24)
                to0[i] = blendPixel(to0[i], from0[i]);
            if (!alone && from1[i] >> 24)
                to1[i] = blendPixel(to1[i], from1[i]);
        }
    }
}

// A glyph's spans with AVX2, a step of eight pixels at a time (most rows
// take one or two). The bytes are taken apart in place, without shuffles:
// blue and red in the 16-bit lanes of the even bytes, green and the high
// byte in those of the odd ones, the high byte with weight 0 (it stays).
// Each lane is blendWeighted's sum, written (target << 8) + (colour -
// target) x w: its true value stays within 16 bits, so the lanes' wrapping
// products add up to it.
__attribute__((target("avx2"))) void blendGlyphStepped(Uint8 *to, size_t toPitch, const GlyphWeights &glyph,
                                                        Uint32 colour)
{
    const __m256i evenBytes = _mm256_set1_epi32(0x00FF00FF);
    const __m256i oddBytes = _mm256_set1_epi32((int)0xFF00FF00);
    const __m256i lowLane = _mm256_set1_epi32(0x0000FFFF);
    const __m256i inkEven = _mm256_set1_epi32((int)(colour & 0x00FF00FF));
    const __m256i inkOdd = _mm256_set1_epi32((int)(colour >> 8 & 0xFF));
    // Read once: the pixels written could be these words as far as the
    // compiler knows.
    const uint32_t *weights = glyph.weight.data();
    for (const GlyphWeights::Span &span : glyph.rows) {
        Uint32 *t = (Uint32 *)to + span.start;
        const uint32_t *weight = weights + span.at;
        const int length = span.length;
        for (int i = 0; i < length; i += kGlyphStep) {
            __m256i w = _mm256_loadu_si256((const __m256i *)(weight + i));
            __m256i d = _mm256_loadu_si256((const __m256i *)(t + i));
            __m256i even = _mm256_sub_epi16(inkEven, _mm256_and_si256(d, evenBytes));
            __m256i odd = _mm256_sub_epi16(inkOdd, _mm256_srli_epi16(d, 8));
            even = _mm256_add_epi16(_mm256_slli_epi16(d, 8), _mm256_mullo_epi16(even, w));
            odd = _mm256_add_epi16(_mm256_and_si256(d, oddBytes), _mm256_mullo_epi16(odd, _mm256_and_si256(w, lowLane)));
            __m256i r = _mm256_or_si256(_mm256_srli_epi16(even, 8), _mm256_and_si256(odd, oddBytes));
            _mm256_storeu_si256((__m256i *)(t + i), r);
        }
        to += toPitch;
    }
}

#endif

} // namespace

namespace {

// One axis clipped as SDL clips: the source span (start, length) to the
// source's size, then where it lands (at) to the target's clip span, moving
// the position with each cut (the arithmetic and the 16-bit field are
// SDL's). A length of 0 or less is left for nothing to be drawn.
void clipAxis(int &start, int &length, Sint16 &at, int size, int clipStart, int clipLength)
{
    if (start < 0) {
        length += start;
        at -= start;
        start = 0;
    }
    if (size - start < length)
        length = size - start;
    int cut = clipStart - at;
    if (cut > 0) {
        length -= cut;
        at += cut;
        start += cut;
    }
    cut = at + length - clipStart - clipLength;
    if (cut > 0)
        length -= cut;
}

#if defined(__GNUC__) && defined(__x86_64__)
const bool kPairRows = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#else
const bool kPairRows = false;
#endif

} // namespace

bool detail::canPairRows()
{
    return kPairRows;
}

void detail::blendRows(Uint8 *to, size_t toPitch, const Uint8 *from, size_t fromPitch, int n, int h, bool paired)
{
#if defined(__GNUC__) && defined(__x86_64__)
    if (paired && canPairRows()) {
        blendRowsPaired(to, toPitch, from, fromPitch, n, h);
        return;
    }
#endif
    (void)paired;
    blendEach(to, toPitch, from, fromPitch, n, h);
}

void detail::blendGlyph(Uint8 *to, size_t toPitch, const GlyphWeights &glyph, Uint32 colour, bool stepped)
{
    colour &= 0x00FFFFFF;
#if defined(__GNUC__) && defined(__x86_64__)
    if (stepped && canPairRows()) {
        blendGlyphStepped(to, toPitch, glyph, colour);
        return;
    }
#endif
    (void)stepped;
    blendGlyphEach(to, toPitch, glyph, colour);
}

GlyphWeights glyphWeights(const uint8_t *alpha, int width, int height, ptrdiff_t alphaPitch)
{
    GlyphWeights glyph;
    if (!alpha || width <= 0 || height <= 0)
        return glyph;
    glyph.width = width;
    glyph.height = height;
    glyph.rows.resize((size_t)height);
    for (int y = 0; y < height; y++) {
        const uint8_t *row = alpha + (ptrdiff_t)y * alphaPitch;
        int first = 0, last = width - 1;
        while (first <= last && !row[first])
            first++;
        while (last >= first && !row[last])
            last--;
        GlyphWeights::Span &span = glyph.rows[(size_t)y];
        span.start = first;
        span.length = last + 1 - first;
        span.at = glyph.weight.size();
        const int padded = (span.length + kGlyphStep - 1) / kGlyphStep * kGlyphStep;
        glyph.weight.resize(span.at + (size_t)padded, 0);
        for (int i = 0; i < span.length; i++) {
            uint32_t w = row[first + i] == 255 ? 256 : row[first + i];
            glyph.weight[span.at + (size_t)i] = w | w << 16;
        }
        if (padded && first + padded > glyph.reach)
            glyph.reach = first + padded;
    }
    return glyph;
}

bool glyphBlends(const SDL_Surface *surface, const SDL_Surface *target)
{
    return surface && target && blitKind(surface, target) == BlitKind::blend;
}

bool drawGlyph(const GlyphWeights &glyph, Uint32 colour, SDL_Surface *target, long long x, long long y)
{
    const SDL_Rect &clip = target->clip_rect;
    if (x < clip.x || y < clip.y || x + glyph.width > clip.x + clip.w || y + glyph.height > clip.y + clip.h)
        return false;
    // Whole steps where the padding stays inside the target's rows.
    const bool stepped = x + glyph.reach <= target->w;
    blendGlyph((Uint8 *)pixelAt(target, (int)x, (int)y), target->pitch, glyph, colour, stepped);
    return true;
}

int blitSurface(SDL_Surface *source, SDL_Rect *sourceRect, SDL_Surface *target, SDL_Rect *targetRect)
{
    const BlitKind kind = source && target ? blitKind(source, target) : BlitKind::sdl;
    if (kind == BlitKind::sdl)
        return SDL_BlitSurface(source, sourceRect, target, targetRect);
    SDL_Rect whole = {0, 0, 0, 0};
    if (!targetRect)
        targetRect = &whole;
    const SDL_Rect &clip = target->clip_rect;
    int sx = sourceRect ? sourceRect->x : 0, w = sourceRect ? sourceRect->w : source->w;
    int sy = sourceRect ? sourceRect->y : 0, h = sourceRect ? sourceRect->h : source->h;
    clipAxis(sx, w, targetRect->x, source->w, clip.x, clip.w);
    clipAxis(sy, h, targetRect->y, source->h, clip.y, clip.h);
    if (w <= 0 || h <= 0) {
        targetRect->w = targetRect->h = 0;
        return 0;
    }
    targetRect->w = (Uint16)w;
    targetRect->h = (Uint16)h;
    const Uint8 *from = (const Uint8 *)source->pixels + (size_t)sy * source->pitch + (size_t)sx * 4;
    Uint8 *to = (Uint8 *)target->pixels + (size_t)targetRect->y * target->pitch + (size_t)targetRect->x * 4;
    const size_t bytes = (size_t)w * 4;
    if (kind == BlitKind::blend) {
#if defined(__GNUC__) && defined(__x86_64__)
        if (kPairRows) {
            blendRowsPaired(to, target->pitch, from, source->pitch, w, h);
            return 0;
        }
#endif
        blendEach(to, target->pitch, from, source->pitch, w, h);
        return 0;
    }
    // Row by row even where the rows are contiguous: one copy of a whole
    // frame is long enough for memcpy to write it past the caches, and the
    // page drawn next over it would then be read back from memory.
    for (int row = 0; row < h; row++, from += source->pitch, to += target->pitch)
        memcpy(to, from, bytes);
    return 0;
}

void setRegion(SDL_Surface *target, int x, int y, int width, int height)
{
    if (!target)
        return;
    if (x == 0 && y == 0 && width == 0 && height == 0) {
        SDL_SetClipRect(target, nullptr);
        return;
    }
    Box box{x, y, (long long)x + (width > 0 ? width : 0), (long long)y + (height > 0 ? height : 0)};
    Box whole{0, 0, target->w, target->h};
    SDL_Rect rect = {0, 0, 0, 0};
    if (intersect(box, whole)) {
        rect.x = (Sint16)box.x0;
        rect.y = (Sint16)box.y0;
        rect.w = (Uint16)(box.x1 - box.x0);
        rect.h = (Uint16)(box.y1 - box.y0);
    }
    SDL_SetClipRect(target, &rect);
}

void blit(SDL_Surface *image, SDL_Surface *target, int x, int y, int iX, int iY, int iWidth,
          int iHeight)
{
    if (!image || !target || iWidth <= 0 || iHeight <= 0)
        return;
    // The source part that exists.
    Box src{iX, iY, (long long)iX + iWidth, (long long)iY + iHeight};
    Box whole{0, 0, image->w, image->h};
    long long dx = (long long)x - iX, dy = (long long)y - iY;
    if (!intersect(src, whole))
        return;
    // Where it lands, cut to the target's clip rectangle.
    Box dst{src.x0 + dx, src.y0 + dy, src.x1 + dx, src.y1 + dy};
    if (!intersect(dst, clipBox(target)))
        return;
    SDL_Rect s = {(Sint16)(dst.x0 - dx), (Sint16)(dst.y0 - dy), (Uint16)(dst.x1 - dst.x0),
                  (Uint16)(dst.y1 - dst.y0)};
    SDL_Rect d = {(Sint16)dst.x0, (Sint16)dst.y0, 0, 0};
    blitSurface(image, &s, target, &d);
}

Uint32 scaleBlit(SDL_Surface *source, double left, double top, double right, double bottom)
{
    const SDL_PixelFormat *f = source->format;
    if (!(right > left) || !(bottom > top) || source->w <= 0 || source->h <= 0)
        return 0;
    int firstCol = (int)left, lastCol = (int)ceil(right - 1);
    int firstRow = (int)top, lastRow = (int)ceil(bottom - 1);
    // Rounding may put the last column or row one past the picture.
    if (firstCol < 0) firstCol = 0;
    if (firstRow < 0) firstRow = 0;
    if (lastCol > source->w - 1) lastCol = source->w - 1;
    if (lastRow > source->h - 1) lastRow = source->h - 1;
    if (lastCol < firstCol) lastCol = firstCol;
    if (lastRow < firstRow) lastRow = firstRow;
    if (firstCol > source->w - 1 || firstRow > source->h - 1)
        return 0;
    // Weights are normalised by the coverage actually summed, so a rectangle
    // cut at the picture's edge still averages to a full colour.
    double covered = 0;
    double sum[4] = {0, 0, 0, 0};
    int bpp = f->BytesPerPixel;
    for (int row = firstRow; row <= lastRow; row++) {
        double rs = row == firstRow ? top - row : 0.0;
        double re = row == lastRow ? bottom - row : 1.0;
        if (re > 1.0) re = 1.0;
        double vShare = re - rs;
        const Uint8 *line = (const Uint8 *)source->pixels + (size_t)row * source->pitch;
        for (int col = firstCol; col <= lastCol; col++) {
            double cs = col == firstCol ? left - col : 0.0;
            double ce = col == lastCol ? right - col : 1.0;
            if (ce > 1.0) ce = 1.0;
            double w = (ce - cs) * vShare;
            if (w <= 0)
                continue;
            covered += w;
            Uint32 p;
            const Uint8 *at = line + (size_t)col * bpp;
            switch (bpp) {
            case 1: p = *at; break;
            case 2: p = *(const Uint16 *)at; break;
            case 3: p = at[0] | (at[1] << 8) | (at[2] << 16); break;
            default: p = *(const Uint32 *)at; break;
            }
            sum[0] += w * (((p & f->Rmask) >> f->Rshift) << f->Rloss);
            sum[1] += w * (((p & f->Gmask) >> f->Gshift) << f->Gloss);
            sum[2] += w * (((p & f->Bmask) >> f->Bshift) << f->Bloss);
            if (f->Amask)
                sum[3] += w * (((p & f->Amask) >> f->Ashift) << f->Aloss);
        }
    }
    if (covered <= 0)
        return 0;
    auto channel = [covered](double v) -> Uint32 {
        v = v / covered + 1e-6;   // keeps 255 x (0.999...) at 255
        if (v < 0) return 0;
        if (v > 255) return 255;
        return (Uint32)v;
    };
    Uint32 r = channel(sum[0]), g = channel(sum[1]), b = channel(sum[2]);
    Uint32 a = f->Amask ? channel(sum[3]) : 255;
    return ((r >> f->Rloss) << f->Rshift) | ((g >> f->Gloss) << f->Gshift) |
           ((b >> f->Bloss) << f->Bshift) | (f->Amask ? ((a >> f->Aloss) << f->Ashift) : 0);
}

void vLine(SDL_Surface *target, int x, int y, int length, Uint32 pixel)
{
    if (!target || length <= 0 || target->format->BytesPerPixel != 4)
        return;
    Box line{x, y, (long long)x + 1, (long long)y + length};
    if (!intersect(line, clipBox(target)))
        return;
    SurfaceLock lock(target);
    if (!lock.ok())
        return;
    Uint8 *p = (Uint8 *)pixelAt(target, (int)line.x0, (int)line.y0);
    for (long long i = line.y0; i < line.y1; i++, p += target->pitch)
        *(Uint32 *)p = pixel;
}

void hLine(SDL_Surface *target, int x, int y, int length, Uint32 pixel)
{
    if (!target || length <= 0 || target->format->BytesPerPixel != 4)
        return;
    Box line{x, y, (long long)x + length, (long long)y + 1};
    if (!intersect(line, clipBox(target)))
        return;
    SurfaceLock lock(target);
    if (!lock.ok())
        return;
    Uint32 *p = pixelAt(target, (int)line.x0, (int)line.y0);
    for (long long i = line.x0; i < line.x1; i++)
        *p++ = pixel;
}

void fillRect(SDL_Surface *target, int x, int y, int width, int height, Uint32 pixel)
{
    if (!target || width <= 0 || height <= 0)
        return;
    Box box{x, y, (long long)x + width, (long long)y + height};
    if (!intersect(box, clipBox(target)))
        return;
    SDL_Rect r = {(Sint16)box.x0, (Sint16)box.y0, (Uint16)(box.x1 - box.x0),
                  (Uint16)(box.y1 - box.y0)};
    SDL_FillRect(target, &r, pixel);
}

void movePointer(SDL_Surface *screen, SDL_Surface *backBuffer, SDL_Surface *image, int hotX,
                 int hotY, int x, int y, SDL_Rect &saved)
{
    if (!screen)
        return;
    if (backBuffer && saved.w && saved.h) {
        SDL_Rect from = saved;
        SDL_Rect to = saved;
        blitSurface(backBuffer, &from, screen, &to);
    }
    int px = (int16_t)x - hotX, py = (int16_t)y - hotY;
    if (image) {
        blit(image, screen, px, py, 0, 0, image->w, image->h);
        saved.x = (Sint16)px;
        saved.y = (Sint16)py;
        saved.w = (Uint16)image->w;
        saved.h = (Uint16)image->h;
    } else {
        saved.x = (Sint16)px;
        saved.y = (Sint16)py;
        saved.w = 0;
        saved.h = 0;
    }
    SDL_Flip(screen);
}

} // namespace SDL_Draw
