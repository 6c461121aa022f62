#include <gtest/gtest.h>

#include "Unpack.h"

#include <algorithm>
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

// Every entry of the literal pair table gives what decoding its bits code by
// code gives: the first code's literal (or 0 where the first code is no
// literal of ten bits or less), and the second literal (ten bits or less)
// only where its whole code is within the entry's bits.
TEST(DecodeTable, LiteralPairsGiveWhatDecodingCodeByCodeGives)
{
    std::mt19937 rng(5);
    DecodeTable t;
    std::vector<uint32_t> pairs(1u << kPairBits);
    for (int round = 0; round < 40; round++) {
        // A complete code (a random tree, split at random leaves) for some
        // of the main alphabet's symbols: short literal codes, longer ones
        // and the other symbols, with the bits behind some of them taken in.
        std::vector<uint8_t> depths = { 0 };
        const size_t used = 20 + rng() % 250;
        while (depths.size() < used) {
            size_t at = rng() % depths.size();
            // Lopsided trees (a few short codes, many long ones) deepen the
            // newest leaves while they can.
            const size_t newest = depths.size() - 1 - (rng() % std::min<size_t>(depths.size(), 3));
            if (round % 2 && depths[newest] < 15)
                at = newest;
            if (depths[at] >= 15)
                continue;
            depths[at]++;
            depths.push_back(depths[at]);
        }
        std::vector<uint8_t> len(299, 0), extra(299, 0);
        std::vector<uint32_t> order(299);
        for (uint32_t i = 0; i < 299; i++)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), rng);
        for (size_t i = 0; i < used; i++)
            len[order[i]] = depths[i];
        for (uint32_t i = 263; i < 299; i++)
            extra[i] = (uint8_t)(rng() % 6);
        buildDecodeTable(len.data(), t, 299, kQuickBits, extra.data());
        buildLiteralPairs(t, pairs.data());
        for (uint32_t v = 0; v < (1u << kPairBits); v++) {
            const uint32_t bits16 = v << (16 - kPairBits);
            uint32_t l1, l2;
            const uint32_t s1 = referenceDecode(bits16, t, l1);
            const uint32_t p = pairs[v];
            if (s1 >= 256 || l1 > kQuickBits) {
                ASSERT_EQ(0u, p) << round << " " << v;
                continue;
            }
            const uint32_t s2 = referenceDecode((bits16 << l1) & 0xFFFF, t, l2);
            const bool two = s2 < 256 && l2 <= kQuickBits && l1 + l2 <= kPairBits;
            ASSERT_EQ(two ? 2u : 1u, (p >> 6) & 3) << round << " " << v;
            ASSERT_EQ(two ? l1 + l2 : l1, p & 63) << round << " " << v;
            ASSERT_EQ(s1, (p >> 8) & 0xFF) << round << " " << v;
            if (two) {
                ASSERT_EQ(s2, (p >> 16) & 0xFF) << round << " " << v;
            }
        }
    }
}
