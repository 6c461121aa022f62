// The version 1.5 decoder. There are no transmitted code tables: a flag
// stream chooses between literals and three kinds of match, and every choice
// is read through small fixed threshold tables as a place in a set of
// symbols that is reordered adaptively by use counts. Running averages of
// recent places and lengths pick the threshold table used next.
#include "Unpack.h"

#include <string.h>

namespace {

// A threshold table: the code grows by one bit for every limit at or below
// the look-ahead; pos gives the first value of each code length.
struct Thresholds {
    uint8_t start;      // bits of the shortest code
    uint8_t count;      // limits in dec (the last is 0xFFFF)
    uint16_t dec[11];
    uint16_t pos[13];   // by code length
};

const Thresholds kL1 = { 2, 11,
    { 0x8000, 0xA000, 0xC000, 0xD000, 0xE000, 0xEA00, 0xEE00, 0xF000, 0xF200, 0xF200, 0xFFFF },
    { 0, 0, 0, 2, 3, 5, 7, 11, 16, 20, 24, 32, 32 } };
const Thresholds kL2 = { 3, 10,
    { 0xA000, 0xC000, 0xD000, 0xE000, 0xEA00, 0xEE00, 0xF000, 0xF200, 0xF240, 0xFFFF },
    { 0, 0, 0, 0, 5, 7, 9, 13, 18, 22, 26, 34, 36 } };
const Thresholds kT0 = { 4, 9,
    { 0x8000, 0xC000, 0xE000, 0xF200, 0xF200, 0xF200, 0xF200, 0xF200, 0xFFFF },
    { 0, 0, 0, 0, 0, 8, 16, 24, 33, 33, 33, 33, 33 } };
const Thresholds kT1 = { 5, 8,
    { 0x2000, 0xC000, 0xE000, 0xF000, 0xF200, 0xF200, 0xF7E0, 0xFFFF },
    { 0, 0, 0, 0, 0, 0, 4, 44, 60, 76, 80, 80, 127 } };
const Thresholds kT2 = { 5, 8,
    { 0x1000, 0x2400, 0x8000, 0xC000, 0xFA00, 0xFFFF, 0xFFFF, 0xFFFF },
    { 0, 0, 0, 0, 0, 0, 2, 7, 53, 117, 233, 0, 0 } };
const Thresholds kT3 = { 6, 7,
    { 0x0800, 0x2400, 0xEE00, 0xFE80, 0xFFFF, 0xFFFF, 0xFFFF },
    { 0, 0, 0, 0, 0, 0, 0, 2, 16, 218, 251, 0, 0 } };
const Thresholds kT4 = { 8, 6,
    { 0xFF00, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF },
    { 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0 } };

// Short-match prefix codes, matched against the top bits of a byte. Entry 1
// of the first set and entry 3 of the second are one bit longer while buf60
// is set.
const uint8_t kShortCode1[15] = { 0, 0xA0, 0xD0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF,
                                  0xC0, 0x80, 0x90, 0x98, 0x9C, 0xB0 };
const uint8_t kShortLen1[15] = { 1, 3, 4, 4, 5, 6, 7, 8, 8, 4, 4, 5, 6, 6, 4 };
const uint8_t kShortCode2[15] = { 0, 0x40, 0x60, 0xA0, 0xD0, 0xE0, 0xF0, 0xF8, 0xFC,
                                  0xC0, 0x80, 0x90, 0x98, 0x9C, 0xB0 };
const uint8_t kShortLen2[15] = { 2, 3, 3, 3, 4, 4, 5, 6, 6, 4, 4, 5, 6, 6, 4 };

// Flush once the unflushed data come this close to a whole window. The
// longest single step writes 267 bytes.
const uint32_t kFlushGap15 = 270;

// Reads one value through table t and consumes its code. The result is at
// most 256 (callers that index a set mask it to a place).
inline uint32_t decodeByThresholds(BitReader &in, const Thresholds &t)
{
    uint32_t v = in.peekBits() & 0xFFF0;
    uint32_t s = t.start;
    uint32_t i = 0;
    while (i < t.count && t.dec[i] <= v) {
        s++;
        i++;
    }
    in.skipBits((int)s);
    return ((v - (i ? t.dec[i - 1] : 0)) >> (16 - s)) + t.pos[s];
}

// Entries 0..31 get use count 7, 32..63 count 6, ..., 224..255 count 0; the
// next free place of each count follows.
void resetOrder(uint32_t *set, uint32_t *places)
{
    for (int i = 0; i < 256; i++)
        set[i] = (set[i] & 0xFF00) | (uint32_t)(7 - (i >> 5));
    memset(places, 0, 256 * sizeof places[0]);
    for (int i = 0; i < 7; i++)
        places[i] = (uint32_t)(7 - i) * 32;
}

enum Renewal { RenewAboveA1, RenewOnWrap };

// Counts one use of the entry at place p: it moves to the first place of
// its old count class and the entry there takes its place. Returns the used
// entry's new value. The count classes stay sorted (higher counts first),
// so the first place of a class in use is always inside the set; the mask
// only keeps a damaged state from reaching out of it.
uint32_t reorder(uint32_t *set, uint32_t *places, uint32_t p, Renewal rule)
{
    for (;;) {
        uint32_t c = set[p];
        uint32_t q = places[c & 0xFF]++ & 0xFF;
        c++;
        bool renew = rule == RenewAboveA1 ? (c & 0xFF) > 0xA1 : (c & 0xFF) == 0;
        if (renew) {
            resetOrder(set, places);
            continue;
        }
        set[p] = set[q];
        set[q] = c;
        return c;
    }
}

}  // namespace

void Unpacker::decode15(bool solid)
{
    resetState(solid);
    if (!solid) {
        avgPlace = 0x3500;
        avgPlaceB = 0;
        avgLen1 = avgLen2 = avgLen3 = 0;
        Nhfb = Nlzb = 0x80;
        numHuff = 0;
        stMode = 0;
        flagBuf = 0;
        flagCount = 0;
        lCount = 0;
        buf60 = 0;
        maxDist3 = 0x2001;
        memset(oldDist, 0, sizeof oldDist);
        oldDistPos = 0;
        lastDist = lastLength = 0;
    }
    inTop = 0;
    refillInput();

    for (uint32_t i = 0; i < 256; i++) {
        charSet[i] = charSetB[i] = i << 8;
        charSetA[i] = i;
        charSetC[i] = ((256 - i) & 0xFF) << 8;
    }
    memset(placeCount, 0, sizeof placeCount);
    memset(placeCountB, 0, sizeof placeCountB);
    memset(placeCountC, 0, sizeof placeCountC);
    resetOrder(charSetB, placeCountB);

    outPos = 0;
    outLeft--;

    // A flag byte is a place in the flag set. Its table can give 256 on a
    // damaged stream: the place is taken within the set.
    auto readFlagByte = [&]() {
        uint32_t p = decodeByThresholds(*this, kT2) & 0xFF;
        flagBuf = charSetC[p] >> 8;
        reorder(charSetC, placeCountC, p, RenewOnWrap);
    };
    // Matches of at most kFlushGap15 bytes at any distance; a distance
    // reaching before the member's first byte reads zeros. Distance 0 (only
    // in damaged streams) copies each byte onto itself, which must then be
    // zero too, never what the memory held.
    auto copy = [&](uint32_t length, uint32_t distance) {
        outLeft -= length;
        if ((distance & kWindowMask) == 0 && !windowClean)
            cleanWindowAhead(outPos);
        copyMatch(length, distance);
        outPos &= kWindowMask;
    };
    auto pushDistance = [&](uint32_t distance, uint32_t length) {
        oldDist[oldDistPos] = distance;
        oldDistPos = (oldDistPos + 1) & 3;
        lastDist = distance;
        lastLength = length;
    };

    auto literal = [&]() {
        uint32_t v = peekBits();
        const Thresholds &t = avgPlace > 0x75FF ? kT4 : avgPlace > 0x5DFF ? kT3 :
                              avgPlace > 0x35FF ? kT2 : avgPlace > 0x0DFF ? kT1 : kT0;
        uint32_t p = decodeByThresholds(*this, t) & 0xFF;
        if (stMode) {
            if (p == 0 && v < 0x1000) {
                // Escape: leave the run mode, or a short match.
                uint32_t bit = readBits(1);
                if (bit) {
                    numHuff = 0;
                    stMode = 0;
                    return;
                }
                uint32_t length = readBits(1) ? 4 : 3;
                uint32_t distance = decodeByThresholds(*this, kT2) << 5;
                distance |= readBits(5);
                copy(length, distance);
                return;
            }
            p = (p - 1) & 0xFF;
        } else {
            if (numHuff >= 16 && flagCount == 0)
                stMode = 1;
            numHuff++;
        }
        avgPlace += p;
        avgPlace -= avgPlace >> 8;
        Nhfb += 16;
        if (Nhfb > 0xFF) {
            Nhfb = 0x90;
            Nlzb >>= 1;
        }
        window[outPos] = (uint8_t)(charSet[p] >> 8);
        outPos = (outPos + 1) & kWindowMask;
        outLeft--;
        reorder(charSet, placeCount, p, RenewAboveA1);
    };

    auto longMatch = [&]() {
        numHuff = 0;
        Nlzb += 16;
        if (Nlzb > 0xFF) {
            Nlzb = 0x90;
            Nhfb >>= 1;
        }
        uint32_t old2 = avgLen2;
        uint32_t l;
        if (avgLen2 >= 122) {
            l = decodeByThresholds(*this, kL2);
        } else if (avgLen2 >= 64) {
            l = decodeByThresholds(*this, kL1);
        } else {
            uint32_t v = peekBits();
            if (v < 0x100) {
                l = v;
                skipBits(16);
            } else {
                l = 0;
                while (!(v & 0x8000)) {
                    v <<= 1;
                    l++;
                }
                skipBits((int)l + 1);
            }
        }
        avgLen2 += l;
        avgLen2 -= avgLen2 >> 5;

        const Thresholds &t = avgPlaceB > 0x28FF ? kT2 : avgPlaceB > 0x6FF ? kT1 : kT0;
        uint32_t p = decodeByThresholds(*this, t);
        avgPlaceB += p;
        avgPlaceB -= avgPlaceB >> 8;
        uint32_t c = reorder(charSetB, placeCountB, p & 0xFF, RenewOnWrap);
        uint32_t distance = ((c & 0xFF00) | (peekBits() >> 8)) >> 1;
        skipBits(7);

        uint32_t old3 = avgLen3;
        if (l != 1 && l != 4) {
            if (l == 0 && distance <= maxDist3) {
                avgLen3++;
                avgLen3 -= avgLen3 >> 8;
            } else if (avgLen3 > 0) {
                avgLen3--;
            }
        }
        uint32_t length = l + 3;
        if (distance >= maxDist3)
            length++;
        if (distance <= 256)
            length += 8;
        maxDist3 = (old3 > 0xB0 || (avgPlace >= 0x2A00 && old2 < 0x40)) ? 0x7F00 : 0x2001;
        pushDistance(distance, length);
        copy(length, distance);
    };

    auto shortMatch = [&]() {
        numHuff = 0;
        uint32_t v = peekBits();
        if (lCount == 2) {
            skipBits(1);
            if (v >= 0x8000) {
                copy(lastLength, lastDist);
                return;
            }
            v = (v << 1) & 0xFFFF;
            lCount = 0;
        }
        uint32_t b = v >> 8;
        const uint8_t *codes = avgLen1 < 37 ? kShortCode1 : kShortCode2;
        const uint8_t *lens = avgLen1 < 37 ? kShortLen1 : kShortLen2;
        uint32_t longer = avgLen1 < 37 ? 1 : 3;   // the entry buf60 lengthens
        uint32_t k = 0, len = 0;
        for (; k < 15; k++) {
            len = lens[k] + (k == longer ? buf60 : 0);
            if (((b ^ codes[k]) >> (8 - len)) == 0)
                break;
        }
        // Both code sets are complete, so some entry always matches.
        if (k == 15)
            k = 0, len = lens[0];
        skipBits((int)len);

        if (k == 9) {
            lCount++;
            copy(lastLength, lastDist);
            return;
        }
        lCount = 0;
        if (k == 14) {
            uint32_t length = decodeByThresholds(*this, kL2) + 5;
            uint32_t distance = (peekBits() >> 1) | 0x8000;
            skipBits(15);
            lastLength = length;
            lastDist = distance;
            copy(length, distance);
            return;
        }
        if (k >= 10) {
            uint32_t distance = oldDist[(oldDistPos - (k - 9)) & 3];
            uint32_t length = decodeByThresholds(*this, kL1) + 2;
            if (length == 0x101 && k == 10) {
                buf60 ^= 1;
                return;
            }
            if (distance > 256)
                length++;
            if (distance >= maxDist3)
                length++;
            pushDistance(distance, length);
            copy(length, distance);
            return;
        }
        avgLen1 += k;
        avgLen1 -= avgLen1 >> 4;
        uint32_t p = decodeByThresholds(*this, kT2) & 0xFF;
        uint32_t distance = charSetA[p];
        if (p > 0) {
            charSetA[p] = charSetA[p - 1];
            charSetA[p - 1] = distance;
        }
        uint32_t length = k + 2;
        distance++;
        pushDistance(distance, length);
        copy(length, distance);
    };

    // Each flag bit is read from the current flag byte; a new one is read
    // once its eight bits are used.
    auto nextFlag = [&]() -> bool {
        if (--flagCount < 0) {
            readFlagByte();
            flagCount = 7;
        }
        bool bit = (flagBuf & 0x80) != 0;
        flagBuf = (flagBuf << 1) & 0xFF;
        return bit;
    };

    if (outLeft >= 0) {
        readFlagByte();
        flagCount = 8;
    }
    while (outLeft >= 0) {
        outPos &= kWindowMask;
        countDecoded();
        if (inPos > inTop - kRefillMargin && !refillInput())
            break;
        if (flushedPos != outPos && ((flushedPos - outPos) & kWindowMask) < kFlushGap15)
            flushPlain();
        if (stMode) {
            literal();
            continue;
        }
        if (nextFlag()) {
            if (Nlzb > Nhfb)
                longMatch();
            else
                literal();
        } else if (nextFlag()) {
            if (Nlzb > Nhfb)
                literal();
            else
                longMatch();
        } else {
            shortMatch();
        }
    }
    countDecoded();
    flushPlain();
}
