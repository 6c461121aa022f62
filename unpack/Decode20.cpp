// The version 2.0 decoder (also used for version 2.6): blocks of LZ over the
// 4 MiB window with three Huffman alphabets, or of multimedia (audio) mode,
// one to four interleaved byte channels each coded as the error of an
// adaptive linear predictor with its own Huffman table.
#include "Unpack.h"

#include <stdlib.h>
#include <string.h>

namespace {

enum {
    kLdSize = 298,
    kDdSize = 48,
    kRdSize = 28,
    kBdSize = 19,
    kMdSize = 257,
    kLzTableSize = kLdSize + kDdSize + kRdSize,
    kFlush20 = 270      // more than the longest single step (a 260-byte match)
};

// decodeSymbol, inlined into the loops: the first-level lookup, then the limits.
inline uint32_t decode(BitReader &in, const DecodeTable &t)
{
    uint32_t b = in.peekBits();
    uint32_t e = t.quick[b >> (16 - t.quickBits)];
    if (e) {
        in.skipBits((int)DecodeTable::quickLength(e));
        return DecodeTable::quickSymbol(e);
    }
    uint32_t len;
    uint32_t sym = decodeSlow(b, t, len, t.quickBits + 1);
    in.skipBits((int)len);
    return sym;
}

inline uint32_t absDiff(int32_t v)
{
    return v < 0 ? (uint32_t)-v : (uint32_t)v;
}

}  // namespace

uint8_t Unpacker::predictAudio(uint32_t a)
{
    AudioState &v = audioState[curChannel];
    v.byteCount++;
    v.d[3] = v.d[2];
    v.d[2] = v.d[1];
    v.d[1] = v.lastDelta - v.d[0];
    v.d[0] = v.lastDelta;
    int32_t predicted = 8 * (int32_t)v.lastByte + v.k[0] * v.d[0] + v.k[1] * v.d[1] +
                        v.k[2] * v.d[2] + v.k[3] * v.d[3] + v.k[4] * channelDelta;
    predicted = (predicted >> 3) & 0xFF;
    uint32_t byte = (uint32_t)(predicted - (int32_t)a) & 0xFF;

    int32_t d = (int32_t)(int8_t)(uint8_t)a * 8;
    v.dif[0] += absDiff(d);
    v.dif[1] += absDiff(d - v.d[0]);
    v.dif[2] += absDiff(d + v.d[0]);
    v.dif[3] += absDiff(d - v.d[1]);
    v.dif[4] += absDiff(d + v.d[1]);
    v.dif[5] += absDiff(d - v.d[2]);
    v.dif[6] += absDiff(d + v.d[2]);
    v.dif[7] += absDiff(d - v.d[3]);
    v.dif[8] += absDiff(d + v.d[3]);
    v.dif[9] += absDiff(d - channelDelta);
    v.dif[10] += absDiff(d + channelDelta);

    v.lastDelta = channelDelta = (int32_t)(int8_t)(uint8_t)(byte - v.lastByte);
    v.lastByte = byte;

    if ((v.byteCount & 0x1F) == 0) {
        uint32_t minDif = v.dif[0];
        int minIndex = 0;
        for (int i = 1; i < 11; i++)
            if (v.dif[i] < minDif) {
                minDif = v.dif[i];
                minIndex = i;
            }
        memset(v.dif, 0, sizeof v.dif);
        if (minIndex > 0) {
            int32_t &k = v.k[(minIndex - 1) / 2];
            if (minIndex & 1) {
                if (k >= -16)
                    k--;
            } else if (k < 16) {
                k++;
            }
        }
    }
    return (uint8_t)byte;
}

bool Unpacker::readTables20()
{
    if (inPos > inTop - 25 && !refillInput())
        return false;
    uint32_t v = peekBits();
    audioBlock = (v & 0x8000) != 0;
    if (!(v & 0x4000))
        memset(oldTable20, 0, sizeof oldTable20);
    skipBits(2);
    uint32_t tableSize;
    if (audioBlock) {
        channels = (int32_t)((v >> 12) & 3) + 1;
        if (curChannel >= channels)
            curChannel = 0;
        skipBits(2);
        tableSize = kMdSize * (uint32_t)channels;
    } else {
        tableSize = kLzTableSize;
    }

    uint8_t bitLength[kBdSize];
    for (int i = 0; i < kBdSize; i++)
        bitLength[i] = (uint8_t)readBits(4);
    buildDecodeTable(bitLength, BD, kBdSize);

    // Lengths past this block's alphabets keep the previous block's values.
    uint8_t table[sizeof oldTable20];
    memcpy(table, oldTable20, sizeof table);
    for (uint32_t i = 0; i < tableSize;) {
        if (inPos > inTop - 5 && !refillInput())
            return false;
        uint32_t n = decode(*this, BD);
        if (n < 16) {
            table[i] = (uint8_t)((n + oldTable20[i]) & 15);
            i++;
        } else if (n == 16) {
            uint32_t count = 3 + readBits(2);
            // At the first position there is no previous length: repeat 0.
            uint8_t previous = i > 0 ? table[i - 1] : 0;
            while (count-- > 0 && i < tableSize)
                table[i++] = previous;
        } else {
            uint32_t count = n == 17 ? 3 + readBits(3) : 11 + readBits(7);
            while (count-- > 0 && i < tableSize)
                table[i++] = 0;
        }
    }
    if (inPos > inTop)
        return true;   // ran past the input: the main loop stops at its next refill
    if (audioBlock) {
        for (int32_t c = 0; c < channels; c++)
            buildDecodeTable(table + c * kMdSize, MD[c], kMdSize);
    } else {
        buildDecodeTable(table, LD, kLdSize);
        buildDecodeTable(table + kLdSize, DD, kDdSize);
        buildDecodeTable(table + kLdSize + kDdSize, RD, kRdSize);
    }
    memcpy(oldTable20, table, sizeof oldTable20);
    return true;
}

void Unpacker::decode20(bool solid)
{
    const DistTables &dt = distTables();
    if (!tablesCleared20)
        clearTables20();
    resetState(solid);
    if (!solid) {
        audioBlock = false;
        channels = 1;
        curChannel = 0;
        channelDelta = 0;
        oldDistPos = 0;
        memset(audioState, 0, sizeof audioState);
        memset(oldTable20, 0, sizeof oldTable20);
    }
    if (!refillInput())
        return;
    if (!readTables20())
        return;
    outLeft--;

    // The loop reads its bits through a 64-bit buffer (the next bits in the
    // top places, refilled without branches) and keeps the window position,
    // the count of bytes still owed and the match history in locals;
    // everything goes back to the object around every call out (refill,
    // tables, match copy, flush).
    uint8_t *const win = window;
    LoopBits in;
    uint32_t op, flushed, odPos, lDist, lLength;
    uint32_t od[4];
    int32_t border;
    int64_t left;
    bool audio;

    auto save = [&]() {
        uint32_t p = in.position();
        inPos = (int32_t)(p >> 3);
        inBit = (int32_t)(p & 7);
        outPos = op;
        outLeft = left;
        memcpy(oldDist, od, sizeof od);
        oldDistPos = odPos;
        lastDist = lDist;
        lastLength = lLength;
    };
    auto load = [&]() {
        in.start(inBuf, inPos, inBit);
        op = outPos;
        flushed = flushedPos;
        border = inBorder;
        left = outLeft;
        memcpy(od, oldDist, sizeof od);
        odPos = oldDistPos;
        lDist = lastDist;
        lLength = lastLength;
        audio = audioBlock;
    };
    // A match: recorded in the distance ring and as the last match, then
    // copied as if byte by byte (a short distance repeats).
    auto match = [&](uint32_t length, uint32_t distance) {
        od[odPos++ & 3] = distance;
        lDist = distance;
        lLength = length;
        left -= length;
        outPos = op;
        // Distance 0 reads the bytes it writes: never let it show what the
        // memory held before this member.
        if (distance == 0 && !windowClean)
            cleanWindowAhead(op);
        copyMatch(length, distance);
        op = outPos;
    };

    load();
    for (;;) {
        if (left < 0) {
            save();
            break;
        }
        op &= kWindowMask;
        // ptr is never behind the read position: compare it first.
        if ((int32_t)(in.ptr - in.buf) > border && (int32_t)(in.position() >> 3) > border) {
            save();
            if (!refillInput())
                break;
            load();
        }
        if (flushed != op && ((flushed - op) & kWindowMask) < kFlush20) {
            outPos = op;
            flushPlain();
            flushed = flushedPos;
        }

        // At least 56 bits: enough for the longest step (symbol, length
        // bits, distance slot and distance bits).
        in.refill();
        if (audio) {
            uint32_t a = in.decode(MD[curChannel]);
            if (a == 256) {
                save();
                if (!readTables20())
                    break;
                load();
                continue;
            }
            win[op++] = predictAudio(a);
            if (++curChannel == channels)
                curChannel = 0;
            left--;
            continue;
        }

        uint32_t sym = in.decode(LD);
        if (sym < 256) {
            win[op++] = (uint8_t)sym;
            left--;
            continue;
        }
        if (sym >= 270) {
            uint32_t slot = sym - 270;
            uint32_t length = kLenBase[slot] + 3u;
            if (uint32_t n = kLenBits[slot])
                length += in.take(n);
            uint32_t d = in.decode(DD);
            uint32_t distance = dt.base[d] + 1;
            if (uint32_t n = dt.bits[d])
                distance += in.take(n);
            if (distance >= 0x2000) {
                length++;
                if (distance >= 0x40000)
                    length++;
            }
            match(length, distance);
            continue;
        }
        if (sym == 269) {
            save();
            if (!readTables20())
                break;
            load();
            continue;
        }
        if (sym == 256) {
            match(lLength, lDist);
            continue;
        }
        if (sym < 261) {
            uint32_t distance = od[(odPos - (sym - 256)) & 3];
            uint32_t r = in.decode(RD);
            uint32_t length = kLenBase[r] + 2u;
            if (uint32_t n = kLenBits[r])
                length += in.take(n);
            if (distance >= 0x101) {
                length++;
                if (distance >= 0x2000) {
                    length++;
                    if (distance >= 0x40000)
                        length++;
                }
            }
            match(length, distance);
            continue;
        }
        // 261..268: short distances, length 2.
        uint32_t k = sym - 261;
        uint32_t distance = kShortDistBase[k] + 1u + in.take(kShortDistBits[k]);
        match(2, distance);
    }

    // A table header right behind the member's last code is read too.
    if (inTop >= inPos + 5) {
        uint32_t sym = decodeSymbol(*this, audioBlock ? MD[curChannel] : LD);
        if (sym == (audioBlock ? 256u : 269u))
            readTables20();
    }
    flushPlain();
}
