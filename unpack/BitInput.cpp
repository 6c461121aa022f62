// Bit input and canonical Huffman decode tables.
#include "Unpack.h"

#include <stdlib.h>
#include <string.h>

BitReader::BitReader() : inPos(0), inBit(0), inBuf(nullptr)
{
    inBuf = (uint8_t *)calloc(kInBufSize + kInBufPad, 1);
    if (!inBuf)
        g_unpackErrors.memoryError();
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
    memset(table.symbolList, 0, sizeof table.symbolList);

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
    // code of at most kQuickBits bits: those limits are multiples of
    // 1 << (16 - kQuickBits) (or 0xFFFF, above every 16-bit look-ahead with
    // its low bit cleared), so the top bits alone decide.
    for (uint32_t q = 0; q < (1u << kQuickBits); q++) {
        uint32_t len;
        uint32_t sym = decodeSlow(q << (16 - kQuickBits), table, len);
        if (len <= kQuickBits) {
            table.quickLen[q] = (uint8_t)len;
            table.quickSym[q] = (uint16_t)sym;
        } else {
            table.quickLen[q] = 0;
            table.quickSym[q] = 0;
        }
    }
}

uint32_t decodeSymbol(BitReader &in, const DecodeTable &table)
{
    uint32_t b = in.peekBits();
    uint32_t q = b >> (16 - kQuickBits);
    if (uint32_t len = table.quickLen[q]) {
        in.skipBits((int)len);
        return table.quickSym[q];
    }
    uint32_t len;
    uint32_t sym = decodeSlow(b, table, len);
    in.skipBits((int)len);
    return sym;
}
