// Bit input and canonical Huffman decode tables.
#include "Unpack.h"

#include <stdlib.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The input buffer of the last reader a thread closed, kept for its next
// one: a member after member costs no allocation.
struct SpareInput {
    uint8_t *buffer = nullptr;
    ~SpareInput() { free(buffer); }
};
thread_local SpareInput t_spareInput;

}  // namespace

BitReader::BitReader() : inPos(0), inBit(0), inBuf(nullptr)
{
    // Not cleared beyond the first look-ahead (a kept buffer holds an
    // earlier member's input): every refill clears the kInBufPad bytes
    // behind the valid input, and nothing reads further.
    inBuf = t_spareInput.buffer;
    t_spareInput.buffer = nullptr;
    if (!inBuf)
        inBuf = (uint8_t *)malloc(kInBufSize + kInBufPad);
    if (!inBuf)
        g_unpackErrors.memoryError();
    memset(inBuf, 0, kInBufPad);
}

BitReader::~BitReader()
{
    if (!t_spareInput.buffer)
        t_spareInput.buffer = inBuf;
    else
        free(inBuf);
}

namespace {

// Bit k set where p[k] equals v, for the sixteen bytes at p.
inline uint32_t equalMask16(const uint8_t *p, uint8_t v)
{
#if defined(__SSE2__)
    __m128i c = _mm_loadu_si128((const __m128i *)p);
    return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_set1_epi8((char)v)));
#else
    uint32_t m = 0;
    for (uint32_t k = 0; k < 16; k++)
        m |= (uint32_t)(p[k] == v) << k;
    return m;
#endif
}

// Stores the sixteen bytes lo, hi (little-endian) at p in one store.
inline void storeChunk(uint8_t *p, uint64_t lo, uint64_t hi)
{
#if defined(__SSE2__)
    _mm_store_si128((__m128i *)p, _mm_set_epi64x((long long)hi, (long long)lo));
#else
    memcpy(p, &lo, 8);
    memcpy(p + 8, &hi, 8);
#endif
}

// Clears eight rows of sixteen counts in plain stores (a string
// instruction takes longer to start than this takes).
inline void clearRows(uint8_t (*rows)[16])
{
#if defined(__SSE2__)
    __m128i zero = _mm_setzero_si128();
    __asm__("" : "+x"(zero));   // opaque, so that the stores stay stores
    for (uint32_t k = 0; k < 8; k++)
        _mm_storeu_si128((__m128i *)rows[k], zero);
#else
    memset(rows, 0, 8 * 16);
#endif
}

#if defined(__SSE2__)
// For each byte value: the positions of its set bits, lowest first (eight
// places, the unused ones 0), and how many there are.
struct BitPositions {
    alignas(16) uint16_t at[256][8];
    uint8_t count[256];
    constexpr BitPositions() : at(), count()
    {
        for (uint32_t b = 0; b < 256; b++)
            for (uint32_t k = 0; k < 8; k++)
                if (b & (1u << k))
                    at[b][count[b]++] = (uint16_t)k;
    }
};
constexpr BitPositions kBitPositions;
#endif

// Writes the symbols of each length 1..15 (their lengths in ls, chunks of
// sixteen), in increasing order, to list from decodePos[l] on.
inline void placeSymbols(const uint8_t *ls, uint32_t chunks, const uint32_t *lenCount, const uint32_t *decodePos,
                         uint16_t *list)
{
#if defined(__SSE2__)
    // Without a branch per symbol: a byte of a chunk's match mask stores
    // the positions of all its set bits (eight places) and moves on by
    // their count. The places written past a length's symbols belong to
    // the lengths after it, written later, or lie behind the used ones
    // (cleared by the caller, or in a spare list when the list is full).
    uint16_t spare[DecodeTable::kCapacity + 8];
    uint32_t used = decodePos[15] + lenCount[15];   // decodePos[1] is 0
    uint16_t *out = used + 8 <= (uint32_t)DecodeTable::kCapacity ? list : spare;
    for (uint32_t l = 1; l < 16; l++) {
        uint32_t pos = decodePos[l];
        uint32_t stop = pos + lenCount[l];
        for (uint32_t c = 0; pos < stop && c < chunks; c++) {
            uint32_t m = equalMask16(ls + 16 * c, (uint8_t)l);
            if (!m)
                continue;
            for (uint32_t half = 0; half < 2; half++) {
                uint32_t b = (m >> (8 * half)) & 0xFF;
                __m128i at = _mm_load_si128((const __m128i *)kBitPositions.at[b]);
                at = _mm_add_epi16(at, _mm_set1_epi16((short)(16 * c + 8 * half)));
                _mm_storeu_si128((__m128i *)(out + pos), at);
                pos += kBitPositions.count[b];
            }
        }
    }
    if (out != list)
        memcpy(list, out, used * sizeof list[0]);
#else
    for (uint32_t l = 1; l < 16; l++) {
        uint32_t pos = decodePos[l];
        uint32_t stop = pos + lenCount[l];
        for (uint32_t c = 0; pos < stop && c < chunks; c++) {
            for (uint32_t m = equalMask16(ls + 16 * c, (uint8_t)l); m; m &= m - 1)
                list[pos++] = (uint16_t)(16 * c + (uint32_t)__builtin_ctz(m));
        }
    }
#endif
}

}  // namespace

void buildDecodeTable(const uint8_t *lengths, DecodeTable &table, uint32_t size, uint32_t minQuickBits)
{
    if (size > (uint32_t)DecodeTable::kCapacity)
        size = DecodeTable::kCapacity;
    // The lengths (low four bits) are copied into a buffer padded with
    // zeros to whole chunks of sixteen, a chunk a store (so that the
    // chunk loads below take it whole), and counted past unused ones (most
    // of a small member's alphabet), with two counts per length so that
    // equal lengths in a row do not wait on each other's increments.
    enum { kPadded = (DecodeTable::kCapacity + 15) & ~15 };
    alignas(16) uint8_t ls[kPadded];
    uint32_t chunks = (size + 15) / 16;
    uint16_t counts[2][16] = {};
    auto count = [&](uint64_t w) {
        for (uint32_t k = 0; k < 8; k++)
            counts[k & 1][(w >> (8 * k)) & 15]++;
    };
    // A table using most of its alphabet is counted after the copy, with
    // eight counts per length (one per byte of a word).
    const bool dense = size >= 64 && (lengths[0] & 15) && (lengths[size / 2] & 15) && (lengths[size - 1] & 15);
    for (uint32_t c = 0; c < chunks; c++) {
        uint32_t at = 16 * c;
        uint64_t w[2] = { 0, 0 };
        if (at + 16 <= size) {
            memcpy(w, lengths + at, 16);
        } else {
            for (uint32_t k = 0; at + k < size; k++)
                w[k >> 3] |= (uint64_t)lengths[at + k] << (8 * (k & 7));
        }
        w[0] &= 0x0F0F0F0F0F0F0F0Full;
        w[1] &= 0x0F0F0F0F0F0F0F0Full;
        storeChunk(ls + at, w[0], w[1]);
        if (dense)
            continue;
        if (w[0])
            count(w[0]);
        if (w[1])
            count(w[1]);
    }
    uint32_t lenCount[16];
    if (!dense) {
        for (uint32_t l = 1; l < 16; l++)
            lenCount[l] = counts[0][l] + counts[1][l];
    } else {
        uint8_t many[8][16];
        clearRows(many);
        for (uint32_t at = 0; at < chunks * 16; at += 8) {
            uint64_t w;
            memcpy(&w, ls + at, 8);
            for (uint32_t k = 0; k < 8; k++)
                many[k][(w >> (8 * k)) & 15]++;
        }
        for (uint32_t l = 1; l < 16; l++) {
            lenCount[l] = 0;
            for (uint32_t k = 0; k < 8; k++)
                lenCount[l] += many[k][l];
        }
    }
    uint32_t usedCount = 0;
    for (uint32_t l = 1; l < 16; l++)
        usedCount += lenCount[l];
    lenCount[0] = 0;
    if (usedCount == 0) {
        // No codes (an alphabet a small member does not use): the limits
        // send every input to length 15 and, with maxNum 0, to the list's
        // first place, symbol 0; the first-level lookup resolves nothing.
        memset(table.decodeLen, 0, sizeof table.decodeLen);
        memset(table.decodePos, 0, sizeof table.decodePos);
        table.maxNum = 0;
        table.symbolList[0] = 0;
        uint32_t bits = minQuickBits < 1 ? 1 : (minQuickBits > (uint32_t)kQuickBits ? (uint32_t)kQuickBits : minQuickBits);
        table.quickBits = bits;
        memset(table.quick, 0, (1u << bits) * sizeof table.quick[0]);
        return;
    }

    table.decodeLen[0] = 0;
    table.decodePos[0] = 0;
    uint32_t n = 0;
    uint32_t longest = 0;
    for (uint32_t l = 1; l < 16; l++) {
        n = 2 * (n + lenCount[l]);
        uint32_t limit = n << (15 - l);
        table.decodeLen[l] = limit > 0xFFFF ? 0xFFFF : limit;
        table.decodePos[l] = table.decodePos[l - 1] + lenCount[l - 1];
        if (lenCount[l])
            longest = l;
    }

    // The used symbols fill the list's first places, ordered by length and
    // then by symbol, found length by length sixteen lengths at a time; the
    // places behind them read as symbol 0.
    placeSymbols(ls, chunks, lenCount, table.decodePos, table.symbolList);
    memset(table.symbolList + usedCount, 0, (size - usedCount) * sizeof table.symbolList[0]);
    table.maxNum = size;

    // The first-level lookup gives exactly what the limits give for every
    // code of at most quickBits bits. The limits never decrease, and those
    // up to quickBits are multiples of 1 << (16 - quickBits) (or 0xFFFF,
    // above every look-ahead once its low bit is cleared), so the top bits
    // alone decide the length and the index.
    uint32_t bits = longest < minQuickBits ? minQuickBits : longest;
    if (bits > (uint32_t)kQuickBits)
        bits = kQuickBits;
    if (bits < 1)
        bits = 1;
    table.quickBits = bits;
    const uint32_t shift = 16 - bits;
    uint32_t q = 0;
    for (uint32_t l = 1; l <= bits; l++) {
        uint32_t hi = table.decodeLen[l];
        uint32_t end = (hi == 0xFFFF ? 0x10000 : hi) >> shift;
        if (q >= end)
            continue;
        // Each code of length l fills 1 << (bits - l) entries; the first
        // entry of this length starts a code, and end is a multiple of that
        // run (the limits count codes in pairs), so the codes of this length
        // fill q .. end exactly. Runs of eight entries or more are stored
        // sixteen bytes at a time.
        uint32_t runBits = bits - l;
        uint32_t n = table.decodePos[l] + (((q << shift) - table.decodeLen[l - 1]) >> (16 - l));
        uint32_t codes = (end - q) >> runBits;
        uint16_t *p = &table.quick[q];
        // n is decodePos[l] (q is where the shorter codes end), and there
        // are at most lenCount[l] codes: all inside the list's used places.
        auto entry = [&](uint32_t k) -> uint16_t { return (uint16_t)((table.symbolList[n + k] << 6) | l); };
        uint32_t c = 0;
#if defined(__SSE2__)
        // Eight codes at a time where each fills four entries or fewer.
        if (runBits <= 2) {
            const __m128i lv = _mm_set1_epi16((short)l);
            for (; c + 8 <= codes; c += 8) {
                __m128i sym = _mm_loadu_si128((const __m128i *)&table.symbolList[n + c]);
                __m128i e = _mm_or_si128(_mm_slli_epi16(sym, 6), lv);
                __m128i *d = (__m128i *)(p + (c << runBits));
                if (runBits == 0) {
                    _mm_storeu_si128(d, e);
                } else {
                    __m128i lo = _mm_unpacklo_epi16(e, e), hi = _mm_unpackhi_epi16(e, e);
                    if (runBits == 1) {
                        _mm_storeu_si128(d, lo);
                        _mm_storeu_si128(d + 1, hi);
                    } else {
                        _mm_storeu_si128(d, _mm_unpacklo_epi32(lo, lo));
                        _mm_storeu_si128(d + 1, _mm_unpackhi_epi32(lo, lo));
                        _mm_storeu_si128(d + 2, _mm_unpacklo_epi32(hi, hi));
                        _mm_storeu_si128(d + 3, _mm_unpackhi_epi32(hi, hi));
                    }
                }
            }
            p += c << runBits;
        }
#endif
        if (runBits >= 3) {
            uint32_t run = 1u << runBits;
            for (; c < codes; c++, p += run) {
                uint64_t v4 = entry(c) * 0x0001000100010001ull;
                const uint64_t v8[4] = { v4, v4, v4, v4 };
                if (run >= 16) {
                    for (uint32_t k = 0; k < run; k += 16)
                        memcpy(p + k, v8, 32);
                } else {
                    memcpy(p, v8, 16);
                }
            }
        } else if (runBits == 2) {
            for (; c < codes; c++, p += 4) {
                uint64_t v4 = entry(c) * 0x0001000100010001ull;
                memcpy(p, &v4, 8);
            }
        } else if (runBits == 1) {
            for (; c < codes; c++, p += 2) {
                uint32_t v2 = entry(c) * 0x00010001u;
                memcpy(p, &v2, 4);
            }
        } else {
            for (; c < codes; c++)
                *p++ = entry(c);
        }
        q = end;
    }
    if (q < (1u << bits))
        memset(&table.quick[q], 0, ((1u << bits) - q) * sizeof table.quick[0]);
}

void clearDecodeTable(DecodeTable &table)
{
    memset(&table, 0, sizeof table);
    table.quickBits = kQuickBits;
}

uint32_t decodeSymbol(BitReader &in, const DecodeTable &table)
{
    uint32_t b = in.peekBits();
    uint32_t e = table.quick[b >> (16 - table.quickBits)];
    if (e) {
        in.skipBits((int)DecodeTable::quickLength(e));
        return DecodeTable::quickSymbol(e);
    }
    uint32_t len;
    uint32_t sym = decodeSlow(b, table, len, table.quickBits + 1);
    in.skipBits((int)len);
    return sym;
}
