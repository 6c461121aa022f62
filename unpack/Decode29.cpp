// The version 2.9 decoder: LZ blocks over the 4 MiB window with four Huffman
// alphabets, PPMd blocks through the PPMd model, filter records through the
// filter machine.
#include "Unpack.h"

#include <string.h>

namespace {

const uint8_t lenBits[28] = { 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                              2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5 };
const uint8_t lenBase[28] = { 0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                              24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224 };
const uint8_t shortDistBase[8] = { 0, 4, 8, 16, 32, 64, 128, 192 };
const uint8_t shortDistBits[8] = { 2, 2, 3, 4, 5, 6, 6, 6 };

struct DistTables {
    uint32_t base[60];
    uint8_t bits[60];
    DistTables()
    {
        static const uint8_t slotsPerBits[19] = { 4, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                                                  2, 2, 2, 2, 2, 2, 14, 0, 12 };
        int slot = 0;
        for (int b = 0; b < 19; b++)
            for (int k = 0; k < slotsPerBits[b]; k++)
                bits[slot++] = (uint8_t)b;
        base[0] = 0;
        for (int i = 1; i < 60; i++)
            base[i] = base[i - 1] + (1u << bits[i - 1]);
    }
};

const DistTables &distTables()
{
    static const DistTables tables;
    return tables;
}

inline uint32_t load32be(const uint8_t *p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return __builtin_bswap32(v);
}

// Window copy of length bytes from distance back, one byte at a time in
// increasing order, so a short distance repeats the last bytes. Positions
// wrap at the window end.
inline void copyBytes(uint8_t *win, uint32_t &op, uint32_t length, uint32_t distance)
{
    uint32_t src = (op - distance) & kWindowMask;
    // Fast path: neither range reaches the window end (every step is at most
    // kFlushMargin bytes long).
    if (src < kWindowSize - kFlushMargin && op < kWindowSize - kFlushMargin) {
        uint8_t *d = win + op;
        const uint8_t *s = win + src;
        op += length;
        if (distance >= 8 || src > (uint32_t)(d - win)) {
            // Reads stay behind the bytes written (or ahead of all of them).
            while (length >= 8) {
                uint64_t v;
                memcpy(&v, s, 8);
                memcpy(d, &v, 8);
                s += 8;
                d += 8;
                length -= 8;
            }
            while (length--)
                *d++ = *s++;
        } else if (distance == 1) {
            memset(d, d[-1], length);
        } else {
            while (length--)
                *d++ = *s++;
        }
        return;
    }
    while (length--) {
        win[op] = win[src];
        op = (op + 1) & kWindowMask;
        src = (src + 1) & kWindowMask;
    }
}

}  // namespace

void Unpacker::copyMatch(uint32_t length, uint32_t distance)
{
    copyBytes(window, outPos, length, distance);
}

bool Unpacker::readTables29()
{
    if (inPos > inTop - 25 && !refillInput())
        return false;
    alignToByte();
    uint32_t v = peekBits();
    if (v & 0x8000) {
        blockType = 1;
        if (!ppm) {
            needsExtension = true;
            return false;
        }
        return ppm->decodeInit(*this, ppmEscChar);
    }
    blockType = 0;
    prevLowDist = 0;
    lowDistRepeat = 0;
    if (!(v & 0x4000))
        memset(oldTable, 0, sizeof oldTable);
    skipBits(2);

    uint8_t bitLength[20];
    for (int i = 0; i < 20;) {
        uint32_t l = readBits(4);
        if (l == 15) {
            uint32_t zeros = readBits(4);
            if (zeros == 0) {
                bitLength[i++] = 15;
            } else {
                zeros += 2;
                while (zeros-- > 0 && i < 20)
                    bitLength[i++] = 0;
            }
        } else {
            bitLength[i++] = (uint8_t)l;
        }
    }
    buildDecodeTable(bitLength, BD, 20);

    uint8_t table[404];
    for (int i = 0; i < 404;) {
        if (inPos > inTop - 5 && !refillInput())
            return false;
        uint32_t n = decodeSymbol(*this, BD);
        if (n < 16) {
            table[i] = (uint8_t)((n + oldTable[i]) & 15);
            i++;
        } else if (n < 18) {
            uint32_t count = n == 16 ? 3 + readBits(3) : 11 + readBits(7);
            // At the first position there is no previous length: repeat 0.
            uint8_t previous = i > 0 ? table[i - 1] : 0;
            while (count-- > 0 && i < 404)
                table[i++] = previous;
        } else {
            uint32_t count = n == 18 ? 3 + readBits(3) : 11 + readBits(7);
            while (count-- > 0 && i < 404)
                table[i++] = 0;
        }
    }
    tablesRead = true;
    if (inPos > inTop)
        return false;
    buildDecodeTable(table, LD, 299);
    buildDecodeTable(table + 299, DD, 60);
    buildDecodeTable(table + 359, LDD, 17);
    buildDecodeTable(table + 376, RD, 28);
    memcpy(oldTable, table, sizeof oldTable);
    return true;
}

void Unpacker::decode29(bool solid)
{
    distTables();
    resetState(solid);
    if (!refillInput())
        return;
    if (!readTables29() || ppmError)
        return;
    for (;;) {
        Step step = blockType == 1 ? decodePpm29() : decodeLz29();
        if (step == StepAbort)
            return;
        if (step == StepStop)
            break;
    }
    flush29();
}

// The LZ loop keeps the bit position, the window position and the match
// history in locals; they go back to the object around every call out
// (refill, flush, tables, filters).
Unpacker::Step Unpacker::decodeLz29()
{
    const DistTables &dt = distTables();
    uint8_t *const win = window;
    const uint8_t *buf = inBuf;
    uint32_t pos = (uint32_t)inPos;
    uint32_t bit = (uint32_t)inBit;
    uint32_t op = outPos;
    uint32_t d0 = oldDist[0], d1 = oldDist[1], d2 = oldDist[2], d3 = oldDist[3];
    uint32_t lDist = lastDist, lLength = lastLength;
    uint32_t lowDist = (uint32_t)prevLowDist;
    int32_t lowRepeat = lowDistRepeat;
    int32_t border = inBorder;

    auto save = [&]() {
        inPos = (int32_t)pos;
        inBit = (int32_t)bit;
        outPos = op;
        oldDist[0] = d0; oldDist[1] = d1; oldDist[2] = d2; oldDist[3] = d3;
        lastDist = lDist;
        lastLength = lLength;
        prevLowDist = (int32_t)lowDist;
        lowDistRepeat = lowRepeat;
    };
    auto load = [&]() {
        buf = inBuf;
        pos = (uint32_t)inPos;
        bit = (uint32_t)inBit;
        op = outPos;
        border = inBorder;
        lowDist = (uint32_t)prevLowDist;
        lowRepeat = lowDistRepeat;
        d0 = oldDist[0]; d1 = oldDist[1]; d2 = oldDist[2]; d3 = oldDist[3];
        lDist = lastDist;
        lLength = lastLength;
    };
    // The next n bits (0..16) as a number, without moving.
    auto bits = [&](uint32_t n) -> uint32_t {
        return ((load32be(buf + pos) << bit) >> 1) >> (31 - n);
    };
    auto skip = [&](uint32_t n) {
        n += bit;
        pos += n >> 3;
        bit = n & 7;
    };
    auto decode = [&](const DecodeTable &t) -> uint32_t {
        uint32_t b = bits(16);
        uint32_t q = b >> (16 - kQuickBits);
        uint32_t len = t.quickLen[q];
        uint32_t sym;
        if (len)
            sym = t.quickSym[q];
        else
            sym = decodeSlow(b, t, len);
        skip(len);
        return sym;
    };

    for (;;) {
        op &= kWindowMask;
        if ((int32_t)pos > border) {
            save();
            if (!refillInput())
                return StepStop;
            load();
        }
        if (((flushedPos - op) & kWindowMask) < kFlushMargin && flushedPos != op) {
            save();
            flush29();
            if (outputDone())
                return StepAbort;
            load();
        }

        uint32_t sym = decode(LD);
        if (sym < 256) {
            win[op++] = (uint8_t)sym;
            continue;
        }
        if (sym >= 271) {
            uint32_t slot = sym - 271;
            uint32_t length = lenBase[slot] + 3u;
            if (uint32_t n = lenBits[slot]) {
                length += bits(n);
                skip(n);
            }
            uint32_t d = decode(DD);
            uint32_t distance = dt.base[d] + 1;
            uint32_t n = dt.bits[d];
            if (n > 0) {
                if (d > 9) {
                    if (n > 4) {
                        distance += bits(n - 4) << 4;
                        skip(n - 4);
                    }
                    if (lowRepeat > 0) {
                        lowRepeat--;
                        distance += lowDist;
                    } else {
                        uint32_t low = decode(LDD);
                        if (low == 16) {
                            lowRepeat = 15;
                            distance += lowDist;
                        } else {
                            distance += low;
                            lowDist = low;
                        }
                    }
                } else {
                    distance += bits(n);
                    skip(n);
                }
            }
            if (distance >= 0x2000) {
                length++;
                if (distance >= 0x40000)
                    length++;
            }
            d3 = d2; d2 = d1; d1 = d0; d0 = distance;
            lDist = distance;
            lLength = length;
            copyBytes(win, op, length, distance);
            continue;
        }
        if (sym == 256) {
            bool more = bits(1) != 0;
            skip(more ? 1 : 2);
            save();
            if (!more)
                return StepStop;
            tablesRead = false;
            if (!readTables29())
                return StepStop;
            if (blockType == 1)
                return StepSwitch;
            load();
            continue;
        }
        if (sym == 257) {
            save();
            if (!filters) {
                needsExtension = true;
                return StepStop;
            }
            if (!filters->readFilterBits(*this))
                return StepStop;
            load();
            continue;
        }
        if (sym == 258) {
            if (lLength != 0)
                copyBytes(win, op, lLength, lDist);
            continue;
        }
        if (sym < 263) {
            uint32_t k = sym - 259;
            uint32_t distance;
            switch (k) {
            case 0: distance = d0; break;
            case 1: distance = d1; d1 = d0; break;
            case 2: distance = d2; d2 = d1; d1 = d0; break;
            default: distance = d3; d3 = d2; d2 = d1; d1 = d0; break;
            }
            d0 = distance;
            uint32_t r = decode(RD);
            uint32_t length = lenBase[r] + 2u;
            if (uint32_t n = lenBits[r]) {
                length += bits(n);
                skip(n);
            }
            lDist = distance;
            lLength = length;
            copyBytes(win, op, length, distance);
            continue;
        }
        // 263..270: short distances, length 2.
        uint32_t k = sym - 263;
        uint32_t distance = shortDistBase[k] + 1u + bits(shortDistBits[k]);
        skip(shortDistBits[k]);
        d3 = d2; d2 = d1; d1 = d0; d0 = distance;
        lDist = distance;
        lLength = 2;
        copyBytes(win, op, 2, distance);
    }
}

Unpacker::Step Unpacker::decodePpm29()
{
    for (;;) {
        outPos &= kWindowMask;
        if (inPos > inBorder && !refillInput())
            return StepStop;
        if (((flushedPos - outPos) & kWindowMask) < kFlushMargin && flushedPos != outPos) {
            flush29();
            if (outputDone())
                return StepAbort;
        }
        int c = ppm->decodeChar();
        if (c == -1) {
            ppmError = true;
            return StepStop;
        }
        if (c != ppmEscChar) {
            window[outPos++] = (uint8_t)c;
            continue;
        }
        int e = ppm->decodeChar();
        switch (e) {
        case 0:
            if (!readTables29())
                return StepStop;
            if (blockType == 0)
                return StepSwitch;
            break;
        case 2:
        case -1:
            return StepStop;
        case 3:
            if (!filters) {
                needsExtension = true;
                return StepStop;
            }
            if (!filters->readFilterPpm(*this, *ppm))
                return StepStop;
            break;
        case 4: {
            uint32_t distance = 0;
            for (int i = 0; i < 3; i++) {
                int b = ppm->decodeChar();
                if (b == -1)
                    return StepStop;
                distance = (distance << 8) | (uint32_t)b;
            }
            int length = ppm->decodeChar();
            if (length == -1)
                return StepStop;
            copyMatch((uint32_t)length + 32, distance + 2);
            break;
        }
        case 5: {
            int length = ppm->decodeChar();
            if (length == -1)
                return StepStop;
            copyMatch((uint32_t)length + 4, 1);
            break;
        }
        default:
            window[outPos++] = (uint8_t)ppmEscChar;
            break;
        }
    }
}
