// Bit input and canonical Huffman decode tables.
#include "Unpack.h"

#include <stdlib.h>
#include <string.h>

BitReader::BitReader() : inPos(0), inBit(0), inBuf(nullptr)
{
    // Not cleared beyond the first look-ahead: every refill clears the
    // kInBufPad bytes behind the valid input, and nothing reads further.
    inBuf = (uint8_t *)malloc(kInBufSize + kInBufPad);
    if (!inBuf)
        g_unpackErrors.memoryError();
    memset(inBuf, 0, kInBufPad);
}

BitReader::~BitReader()
{
    free(inBuf);
}

void buildDecodeTable(const uint8_t *lengths, DecodeTable &table, uint32_t size)
{
    if (size > (uint32_t)DecodeTable::kCapacity)
        size = DecodeTable::kCapacity;
    uint32_t lenCount[16] = { 0 };
    for (uint32_t i = 0; i < size; i++)
        lenCount[lengths[i] & 15]++;
    lenCount[0] = 0;
    memset(table.symbolList, 0, size * sizeof table.symbolList[0]);

    table.decodeLen[0] = 0;
    table.decodePos[0] = 0;
    uint32_t n = 0;
    for (int l = 1; l < 16; l++) {
        n = 2 * (n + lenCount[l]);
        uint32_t limit = n << (15 - l);
        table.decodeLen[l] = limit > 0xFFFF ? 0xFFFF : limit;
        table.decodePos[l] = table.decodePos[l - 1] + lenCount[l - 1];
    }

    uint32_t next[16];
    memcpy(next, table.decodePos, sizeof next);
    for (uint32_t sym = 0; sym < size; sym++) {
        uint32_t l = lengths[sym] & 15;
        if (l)
            table.symbolList[next[l]++] = (uint16_t)sym;
    }
    table.maxNum = size;

    // The first-level lookup gives exactly what the limits give for every
    // code of at most kQuickBits bits. The limits never decrease, and those
    // up to kQuickBits are multiples of 1 << (16 - kQuickBits) (or 0xFFFF,
    // above every look-ahead once its low bit is cleared), so the top bits
    // alone decide the length and the index.
    const uint32_t shift = 16 - kQuickBits;
    uint32_t q = 0;
    for (uint32_t l = 1; l <= (uint32_t)kQuickBits; l++) {
        uint32_t hi = table.decodeLen[l];
        uint32_t end = (hi == 0xFFFF ? 0x10000 : hi) >> shift;
        if (q >= end)
            continue;
        // Each code of length l fills 1 << (kQuickBits - l) entries; the
        // first entry of this length starts a code.
        uint32_t run = 1u << (kQuickBits - l);
        uint32_t n = table.decodePos[l] + (((q << shift) - table.decodeLen[l - 1]) >> (16 - l));
        while (q < end) {
            uint16_t v = (uint16_t)((table.symbolList[n >= table.maxNum ? 0 : n] << 6) | l);
            if (run >= 4 && q + run <= end) {
                // Four entries a store (runs of four or more start at a
                // multiple of four).
                uint64_t v4 = v * 0x0001000100010001ull;
                for (uint32_t k = 0; k < run; k += 4)
                    memcpy(&table.quick[q + k], &v4, 8);
                q += run;
            } else {
                uint32_t stop = q + run < end ? q + run : end;
                for (; q < stop; q++)
                    table.quick[q] = v;
            }
            n++;
        }
    }
    if (q < (1u << kQuickBits))
        memset(&table.quick[q], 0, ((1u << kQuickBits) - q) * sizeof table.quick[0]);
}

uint32_t decodeSymbol(BitReader &in, const DecodeTable &table)
{
    uint32_t b = in.peekBits();
    uint32_t q = b >> (16 - kQuickBits);
    uint32_t e = table.quick[q];
    if (e) {
        in.skipBits((int)DecodeTable::quickLength(e));
        return DecodeTable::quickSymbol(e);
    }
    uint32_t len;
    uint32_t sym = decodeSlow(b, table, len, kQuickBits + 1);
    in.skipBits((int)len);
    return sym;
}
