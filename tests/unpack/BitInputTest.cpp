#include <gtest/gtest.h>

#include "Unpack.h"

#include <cstring>
#include <random>

// The slow definition: lengths searched one by one from the limits.
static uint32_t referenceDecode(uint32_t b, const DecodeTable &t, uint32_t &len)
{
    b &= 0xFFFE;
    uint32_t l = 15;
    for (uint32_t i = 1; i < 15; i++)
        if (b < t.decodeLen[i]) {
            l = i;
            break;
        }
    len = l;
    uint32_t n = t.decodePos[l] + ((b - t.decodeLen[l - 1]) >> (16 - l));
    if (n >= t.maxNum)
        n = 0;
    return t.symbolList[n];
}

TEST(DecodeTable, UnbuiltAndEmptyTablesGiveSymbolZeroAfter15Bits)
{
    DecodeTable never, empty;
    clearDecodeTable(never);
    uint8_t zeros[299] = { 0 };
    buildDecodeTable(zeros, empty, 299);
    BitReader r;
    memset(r.inBuf, 0xFF, 16);
    for (const DecodeTable *t : { &never, &empty }) {
        r.inPos = r.inBit = 0;
        EXPECT_EQ(0u, decodeSymbol(r, *t));
        EXPECT_EQ(15, r.inPos * 8 + r.inBit);
    }
}

// Dense and sparse length sets (a small member uses few symbols), with the
// first-level lookup as narrow as the codes allow and at full width; the
// loops' decoder and decodeSymbol both.
TEST(DecodeTable, QuickLookupAgreesWithLimitsForAnyLengths)
{
    std::mt19937 rng(7);
    DecodeTable t;
    BitReader r;
    for (int round = 0; round < 120; round++) {
        uint32_t size = (round % 3 == 0) ? 20 : (round % 3 == 1 ? 60 : 299);
        std::vector<uint8_t> len(size);
        int maxLen = 1 + round % 15;
        bool sparse = round % 4 >= 2;
        for (auto &l : len) {
            l = (uint8_t)(rng() % (maxLen + 1)) | (round & 1 ? 0xF0 : 0);   // high bits ignored
            if (sparse && rng() % 16)
                l = 0;
        }
        buildDecodeTable(len.data(), t, size, round % 8 < 4 ? 1 : kQuickBits);
        for (uint32_t v = 0; v < 0x10000; v += 1 + (v & 3)) {
            r.inBuf[0] = (uint8_t)(v >> 8);
            r.inBuf[1] = (uint8_t)v;
            r.inBuf[2] = 0x5A;
            r.inPos = r.inBit = 0;
            uint32_t refLen;
            uint32_t ref = referenceDecode(v, t, refLen);
            ASSERT_EQ(ref, decodeSymbol(r, t)) << round << " " << v;
            ASSERT_EQ((int)refLen, r.inPos * 8 + r.inBit);
            ASSERT_LT(ref, size);
            LoopBits in;
            in.start(r.inBuf, 0, 0);
            ASSERT_EQ(ref, in.decode(t)) << round << " " << v;
            ASSERT_EQ(refLen, in.position());
        }
    }
}

// Tables built with the bits behind each code taken in (as the 2.9 loop
// reads LD, DD and RD): the symbol of the limits, its code and extra bits
// consumed, and those bits as the value, whether the first-level lookup
// resolves the code or not.
TEST(DecodeTable, ExtraBitsTakenInGiveTheSymbolAndTheBitsBehindItsCode)
{
    std::mt19937 rng(11);
    DecodeTable t;
    uint8_t buf[16 + kInBufPad] = { 0 };
    for (int round = 0; round < 60; round++) {
        uint32_t size = round % 3 == 0 ? 28 : (round % 3 == 1 ? 60 : 299);
        std::vector<uint8_t> len(size), extra(size);
        for (uint32_t i = 0; i < size; i++) {
            len[i] = (uint8_t)(rng() % (1 + 1 + round % 15));
            extra[i] = (uint8_t)(rng() % 15);   // up to a distance slot's 14
        }
        // Every other round the table is as narrow as its longest code.
        buildDecodeTable(len.data(), t, size, round % 2 ? kQuickBits : 1, extra.data());
        for (int k = 0; k < 2000; k++) {
            for (int i = 0; i < 8; i++)
                buf[i] = (uint8_t)rng();
            uint32_t refLen;
            uint32_t ref = referenceDecode((uint32_t)buf[0] << 8 | buf[1], t, refLen);
            uint64_t all = LoopBits::load64be(buf);
            uint32_t want = extra[ref] ? (uint32_t)((all << refLen) >> (64 - extra[ref])) : 0;
            LoopBits in;
            in.start(buf, 0, 0);
            uint32_t value = 12345;
            ASSERT_EQ(ref, in.decodeExtra(t, extra.data(), value)) << round << " " << k;
            ASSERT_EQ(refLen + extra[ref], in.position());
            ASSERT_EQ(want, value);
            if (extra[ref] == 0) {   // the plain look-up agrees
                in.start(buf, 0, 0);
                ASSERT_EQ(ref, in.decode(t));
                ASSERT_EQ(refLen, in.position());
            }
        }
    }
}
