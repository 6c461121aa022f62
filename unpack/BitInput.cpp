// Bit input and canonical Huffman decode tables.
#include "Unpack.h"

#include <stdlib.h>
#include <string.h>

namespace {

// The input buffer of the last reader a thread closed, kept for its next one.
thread_local KeptBuffer t_spareInput;

}  // namespace

BitReader::BitReader() : inPos(0), inBit(0), inBuf(nullptr)
{
    // Not cleared beyond the first look-ahead (a kept buffer holds an
    // earlier member's input): every refill clears the kInBufPad bytes
    // behind the valid input, and nothing reads further.
    inBuf = t_spareInput.take();
    if (!inBuf)
        inBuf = (uint8_t *)malloc(kInBufSize + kInBufPad);
    if (!inBuf)
        g_unpackErrors.memoryError();
    memset(inBuf, 0, kInBufPad);
}

BitReader::~BitReader()
{
    t_spareInput.give(inBuf);
}

void buildDecodeTable(const uint8_t *lengths, DecodeTable &table, uint32_t size, uint32_t minQuickBits,
                      const uint8_t *extra)
{
    if (size > (uint32_t)DecodeTable::kCapacity)
        size = DecodeTable::kCapacity;
    // One pass over the lengths counts them and notes the symbols in use,
    // eight lengths at a time past unused ones (most of a small member's
    // alphabet); the placement then visits the used symbols alone.
    uint32_t lenCount[16] = { 0 };
    uint16_t used[DecodeTable::kCapacity];
    uint32_t usedCount = 0;
    auto note = [&](uint32_t s) {
        uint32_t l = lengths[s] & 15;
        lenCount[l]++;
        used[usedCount] = (uint16_t)s;
        usedCount += l != 0;
    };
    uint32_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        memcpy(&w, lengths + i, 8);
        if (!(w & 0x0F0F0F0F0F0F0F0Full))
            continue;
        for (uint32_t k = 0; k < 8; k++)
            note(i + k);
    }
    for (; i < size; i++)
        note(i);
    lenCount[0] = 0;

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

    // The used symbols fill the list's first usedCount places, ordered by
    // length and then by symbol; the places behind them read as symbol 0.
    uint32_t next[16];
    memcpy(next, table.decodePos, sizeof next);
    for (uint32_t k = 0; k < usedCount; k++) {
        uint32_t sym = used[k];
        table.symbolList[next[lengths[sym] & 15]++] = (uint16_t)sym;
    }
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
        auto entry = [&](uint32_t k) -> uint16_t {
            uint32_t m = n + k;
            uint32_t sym = table.symbolList[m >= table.maxNum ? 0 : m];
            return (uint16_t)((sym << 6) | (l + (extra ? extra[sym] : 0)));
        };
        if (runBits >= 3) {
            uint32_t run = 1u << runBits;
            for (uint32_t c = 0; c < codes; c++, p += run) {
                uint64_t v4 = entry(c) * 0x0001000100010001ull;
                const uint64_t v8[2] = { v4, v4 };
                for (uint32_t k = 0; k < run; k += 8)
                    memcpy(p + k, v8, 16);
            }
        } else if (runBits == 2) {
            for (uint32_t c = 0; c < codes; c++) {
                uint64_t v4 = entry(c) * 0x0001000100010001ull;
                memcpy(p + 4 * c, &v4, 8);
            }
        } else if (runBits == 1) {
            for (uint32_t c = 0; c < codes; c++) {
                uint32_t v2 = entry(c) * 0x00010001u;
                memcpy(p + 2 * c, &v2, 4);
            }
        } else {
            for (uint32_t c = 0; c < codes; c++)
                p[c] = entry(c);
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

void buildLiteralPairs(const DecodeTable &table, uint32_t *pairs)
{
    static_assert(kPairBits > kQuickBits && kPairBits - kQuickBits <= 2, "pair look-up too wide");
    const uint32_t spare = kPairBits - kQuickBits;
    // What follows a first code of l bits in its entries (the bits behind
    // it as j) is the same for every first code of that length: the second
    // literal's part of the entry where a literal's whole code is in those
    // bits, else 0. rows[l] has 1 << (kPairBits - l) of them. The row of
    // the shortest first code is filled a first-level run at a time; each
    // longer one takes every other entry of the one before, less the codes
    // that no longer fit.
    uint32_t shortest = 0;
    for (uint32_t q = 0; q < (1u << kQuickBits) && !shortest;) {
        const uint32_t e = table.quick[q];
        const uint32_t l = DecodeTable::quickLength(e);
        if (DecodeTable::quickLiteral(e) && l >= 1)
            shortest = l;
        q += e && l <= kQuickBits ? 1u << (kQuickBits - l) : 1;
    }
    if (!shortest) {
        memset(pairs, 0, (sizeof *pairs) << kPairBits);
        return;
    }
    uint32_t rowsBuffer[2u << (kPairBits - 1)];
    uint32_t *rows[kQuickBits + 1] = {};
    rows[shortest] = rowsBuffer;
    for (uint32_t q = 0; q < (1u << kQuickBits);) {
        const uint32_t f = table.quick[q];
        const uint32_t l2 = DecodeTable::quickLength(f);
        const uint32_t span = f && l2 <= kQuickBits ? 1u << (kQuickBits - l2) : 1;
        const uint32_t value = DecodeTable::quickLiteral(f) && shortest + l2 <= kPairBits
                                   ? l2 + (1u << 6) + (DecodeTable::quickSymbol(f) << 16)
                                   : 0;
        // The j whose bits (j << shortest) >> spare fall in q .. q + span.
        const uint32_t from = ((q << spare) + (1u << shortest) - 1) >> shortest;
        const uint32_t to = (((q + span) << spare) + (1u << shortest) - 1) >> shortest;
        for (uint32_t j = from; j < to; j++)
            rows[shortest][j] = value;
        q += span;
    }
    for (uint32_t l = shortest + 1; l <= kQuickBits; l++) {
        const uint32_t *before = rows[l - 1];
        uint32_t *row = rows[l] = rows[l - 1] + (1u << (kPairBits - l + 1));
        for (uint32_t j = 0; j < (1u << (kPairBits - l)); j++) {
            const uint32_t v = before[2 * j];
            row[j] = (v & 63) + l <= kPairBits ? v : 0;
        }
    }
    for (uint32_t q = 0; q < (1u << kQuickBits);) {
        const uint32_t e = table.quick[q];
        const uint32_t l1 = DecodeTable::quickLength(e);
        const uint32_t span = e && l1 <= kQuickBits ? 1u << (kQuickBits - l1) : 1;
        uint32_t *to = pairs + (q << spare);
        const uint32_t n = span << spare;
        q += span;
        if (!DecodeTable::quickLiteral(e) || l1 < shortest) {
            memset(to, 0, n * sizeof *to);
            continue;
        }
        const uint32_t one = l1 | 1u << 6 | DecodeTable::quickSymbol(e) << 8;
        const uint32_t *row = rows[l1];
        for (uint32_t j = 0; j < n; j++)
            to[j] = one + row[j];
    }
}
