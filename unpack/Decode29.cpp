// The version 2.9 decoder: LZ blocks over the 4 MiB window with four Huffman
// alphabets, PPMd blocks through the PPMd model, filter records through the
// filter machine.
#include "Unpack.h"

#include <string.h>

#include <new>

#if defined(__GNUC__) && defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

// The smallest member whose blocks get literal pairs.
const int64_t kPairMinOutput = 32768;

// The lengths a block sent from zeros adds its own to.
const uint8_t kNoLengths[404] = {};

// The bits behind each code of the main alphabet: a short distance's
// (263..270) and a long match's length bits (271..298).
struct MainExtra {
    uint8_t bits[299] = {};
    constexpr MainExtra()
    {
        for (int k = 0; k < 8; k++)
            bits[263 + k] = kShortDistBits[k];
        for (int k = 0; k < 28; k++)
            bits[271 + k] = kLenBits[k];
    }
};
constexpr MainExtra kMainExtra;

inline void copy8(uint8_t *d, const uint8_t *s)
{
    uint64_t v;
    memcpy(&v, s, 8);
    memcpy(d, &v, 8);
}

inline void copy16(uint8_t *d, const uint8_t *s)
{
    uint64_t a, b;
    memcpy(&a, s, 8);
    memcpy(&b, s + 8, 8);
    memcpy(d, &a, 8);
    memcpy(d + 8, &b, 8);
}

// Window copy of length bytes from distance back, with the result of copying
// one byte at a time in increasing order: a distance shorter than the length
// repeats the last bytes. Positions wrap at the window end. Nothing is
// written past the match, not even temporarily: the bytes ahead may still be
// needed by a later match reaching a whole window back.
inline void copyBytes(Unpacker &u, uint8_t *win, uint32_t &op, uint32_t length, uint32_t distance)
{
    uint32_t src = (op - distance) & kWindowMask;
    // Distance 0 (an unused repeat slot of a damaged stream) reads the bytes
    // it writes: before the window's first wrap they were never written.
    if (src >= op && !u.windowClean)
        u.cleanWindowAhead(op);
    // Fast path: neither range reaches the window end (every step is at most
    // kFlushMargin bytes long).
    if (src < kWindowSize - kFlushMargin && op < kWindowSize - kFlushMargin) {
        uint8_t *d = win + op;
        const uint8_t *s = win + src;
        if (src > op) {
            // Reading ahead (a distance beyond the data decoded so far):
            // every byte read is still the old one.
            memmove(d, s, length);
            op += length;
            return;
        }
        // The distance within the window (distances may exceed it).
        distance = op - src;
        op += length;
        if (distance == 0)
            return;   // each byte copied onto itself
        if (distance >= length) {
            // No overlap.
            if (length >= 16) {
                memcpy(d, s, length);
            } else if (length >= 8) {
                copy8(d, s);
                copy8(d + length - 8, s + length - 8);
            } else if (length >= 4) {
                uint32_t a, b;
                memcpy(&a, s, 4);
                memcpy(&b, s + length - 4, 4);
                memcpy(d, &a, 4);
                memcpy(d + length - 4, &b, 4);
            } else {
                while (length--)
                    *d++ = *s++;
            }
            return;
        }
        // Overlapping: every chunk reads bytes already final. The last
        // chunk may rewrite some bytes with the values they already hold.
        if (distance >= 16) {
            uint32_t i = 0;
            for (; i + 16 <= length; i += 16)
                copy16(d + i, s + i);
            if (i < length)
                copy16(d + length - 16, s + length - 16);
            return;
        }
        if (distance >= 8) {
            uint32_t i = 0;
            for (; i + 8 <= length; i += 8)
                copy8(d + i, s + i);
            if (i < length)
                copy8(d + length - 8, s + length - 8);
            return;
        }
        if (distance == 1) {
            memset(d, d[-1], length);
            return;
        }
        // A short period: copy one period multiple of at least 8 bytes one
        // byte at a time, then repeat it in chunks.
        uint32_t period = distance * ((8 + distance - 1) / distance);
        uint32_t i = 0;
        for (; i < length && i < period; i++)
            d[i] = s[i];
        for (; i + 8 <= length; i += 8)
            copy8(d + i, d + i - period);
        for (; i < length; i++)
            d[i] = d[i - distance];
        return;
    }
    while (length--) {
        win[op] = win[src];
        op = (op + 1) & kWindowMask;
        src = (src + 1) & kWindowMask;
    }
}

// A match reaching before the member's first byte (a damaged stream) in a
// window smaller than kWindowSize: what the whole window would give before
// its first wrap, where every position not yet written reads zero.
__attribute__((noinline)) void copyBeforeStart(uint8_t *win, uint32_t op, uint32_t length, uint32_t distance)
{
    for (uint32_t i = 0; i < length; i++) {
        uint32_t q = (op + i - distance) & kWindowMask;
        win[op + i] = q < op + i ? win[q] : 0;
    }
}

// Window copy in a window smaller than kWindowSize, where positions never
// wrap and nothing ahead of op is ever read: the copy may write up to 15
// bytes past the match (into kWindowPad at worst). Same result as copying
// one byte at a time in increasing order.
inline void copySized(uint8_t *win, uint32_t &op, uint32_t length, uint32_t distance)
{
    uint8_t *d = win + op;
    if (__builtin_expect(distance > op, 0)) {
        copyBeforeStart(win, op, length, distance);
        op += length;
        return;
    }
    const uint8_t *s = d - distance;
    op += length;
    // Every chunk reads only bytes that are already final.
    if (distance >= 16) {
        copy16(d, s);
        for (uint32_t i = 16; i < length; i += 16)
            copy16(d + i, s + i);
    } else if (distance >= 2) {
        // A short period: the first 16 bytes one at a time, then those
        // stored again and again a whole number of periods on (the most
        // that fits in 16), never reading back what was just stored.
        const uint32_t first = length < 16 ? length : 16;
        for (uint32_t i = 0; i < first; i++)
            d[i] = s[i];
        if (length <= 16)
            return;
        uint64_t a, b;
        memcpy(&a, d, 8);
        memcpy(&b, d + 8, 8);
        const uint32_t step = 16 - 16 % distance;
        for (uint32_t i = step; i < length; i += step) {
            memcpy(d + i, &a, 8);
            memcpy(d + i + 8, &b, 8);
        }
    } else if (distance == 1) {
        memset(d, s[0], length);
    } else {
        // Each byte copied onto itself: never written in this member, so zero.
        memset(d, 0, length);
    }
}

// Where a run of literals ended: the bit input, the entry of the code
// after the run (looked up, not consumed) and the next output byte.
struct LiteralRun {
    uint64_t bits;
    const uint8_t *ptr;
    uint32_t count;
    uint32_t entry;
    uint8_t *out;
};

// Literals per refill in a run (literalRunBody): their codes, each at most
// kQuickBits long, are all among the bits a refill counts, and the look-up
// after them still reads input bits (a refill fills all 64 places).
const uint32_t kRunLiterals = 5;
static_assert(kRunLiterals * kQuickBits <= LoopBits::kCountedBits, "a run's literals are counted bits");
static_assert((kRunLiterals + 1) * kQuickBits <= 64, "the look-up after a run's literals reads input bits");
static_assert(kRunLiterals - 1 <= kFlushMargin, "a run ending past oLimit stays inside a step's room");

// Stores literals from entry e on (a literal's) until a code that is not a
// literal resolved by the first-level lookup: kRunLiterals per refill, with
// one position and input test per kRunLiterals: a run may end up to
// kRunLiterals - 1 bytes past oLimit, inside the room a single step may
// take, and ptr never passes inLimit by more than one refill. Apart from the
// decode loop, whose registers it would crowd. The bit count is kept modulo
// 64 only: taking the whole entry off it takes its length off the low six
// bits.
__attribute__((always_inline)) inline LiteralRun literalRunBody(const DecodeTable &LD, uint64_t bits,
                                                                const uint8_t *ptr, uint32_t count, uint32_t e,
                                                                uint8_t *o, uint8_t *const oLimit,
                                                                const uint8_t *inLimit)
{
    LoopBits in;
    in.bits = bits;
    in.ptr = ptr;
    in.count = count;
    auto literal = [&](uint32_t entry) {
        in.bits <<= entry & 63;
        in.count -= entry;
        *o++ = (uint8_t)DecodeTable::quickSymbol(entry);
        return LD.quick[in.bits >> (64 - kQuickBits)];
    };
    for (;;) {
        in.count &= 63;
        in.refill();
        e = literal(e);
        if (!DecodeTable::quickLiteral(e))
            break;
        e = literal(e);
        if (!DecodeTable::quickLiteral(e))
            break;
        e = literal(e);
        if (!DecodeTable::quickLiteral(e))
            break;
        e = literal(e);
        if (!DecodeTable::quickLiteral(e))
            break;
        e = literal(e);
        if (!DecodeTable::quickLiteral(e) || o >= oLimit || in.ptr > inLimit)
            break;
    }
    return { in.bits, in.ptr, in.count & 63, e, o };
}

// literalRunBody as the baseline and the wide loop call it.
__attribute__((noinline)) LiteralRun literalRun(const DecodeTable &LD, uint64_t bits, const uint8_t *ptr,
                                                uint32_t count, uint32_t e, uint8_t *o, uint8_t *const oLimit,
                                                const uint8_t *inLimit)
{
    return literalRunBody(LD, bits, ptr, count, e, o, oLimit, inLimit);
}

__attribute__((noinline)) MIRANDOL_WIDE_TARGET LiteralRun literalRunWide(const DecodeTable &LD, uint64_t bits,
                                                                         const uint8_t *ptr, uint32_t count,
                                                                         uint32_t e, uint8_t *o, uint8_t *const oLimit,
                                                                         const uint8_t *inLimit)
{
    return literalRunBody(LD, bits, ptr, count, e, o, oLimit, inLimit);
}

// Runs by literal pairs (defined at the end: placed after the rest, they
// leave the other code where it is).
LiteralRun literalPairRun(const DecodeTable &LD, const uint32_t *pairs, uint64_t bits, const uint8_t *ptr,
                          uint32_t count, uint8_t *o, uint8_t *const oLimit, const uint8_t *inLimit);
MIRANDOL_WIDE_TARGET LiteralRun literalPairRunWide(const DecodeTable &LD, const uint32_t *pairs, uint64_t bits,
                                                   const uint8_t *ptr, uint32_t count, uint8_t *o,
                                                   uint8_t *const oLimit, const uint8_t *inLimit);

}  // namespace

void Unpacker::copyMatch(uint32_t length, uint32_t distance)
{
    if (winSize < kWindowSize)
        copySized(window, outPos, length, distance);
    else
        copyBytes(*this, window, outPos, length, distance);
}

bool Unpacker::readTables29()
{
    if (inPos > inTop - 25 && !refillInput())
        return false;
    alignToByte();
    uint32_t v = peekBits();
    if (v & 0x8000) {
        blockType = 1;
        if (!ppm)
            ppm = createPpm29();   // made on the first PPMd block: most members have none
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
        oldTableUnset = true;
    const uint8_t *old = oldTableUnset ? kNoLengths : oldTable;
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

    // The 404 lengths through a local bit buffer. Each step takes at most
    // 22 bits (a code and its count bits): a refill, which leaves 56 or
    // more, serves a few. The input test compares the buffer pointer first
    // (the read position is never past it).
    uint8_t table[404 + 16];   // runs are stored 16 bytes at a time
    LoopBits in;
    in.start(inBuf, inPos, inBit);
    auto sync = [&]() {
        uint32_t p = in.position();
        inPos = (int32_t)(p >> 3);
        inBit = (int32_t)(p & 7);
    };
    int32_t last = inTop - 5;
    for (int i = 0; i < 404;) {
        if ((int32_t)(in.ptr - in.buf) > last && (int32_t)(in.position() >> 3) > last) {
            sync();
            if (!refillInput())
                return false;
            in.start(inBuf, inPos, inBit);
            last = inTop - 5;
        }
        if (in.count < 22)
            in.refill();
        uint32_t n = in.decode(BD);
        if (n < 16) {
            table[i] = (uint8_t)((n + old[i]) & 15);
            i++;
        } else {
            uint32_t count = (n & 1) == 0 ? 3 + in.take(3) : 11 + in.take(7);
            if (count > (uint32_t)(404 - i))
                count = (uint32_t)(404 - i);
            // 16 and 17 repeat the previous length (0 at the first
            // position), 18 and 19 write zeros.
            uint8_t value = n < 18 && i > 0 ? table[i - 1] : 0;
            // In whole 16-byte stores: the bytes past the run are written
            // again by the lengths that follow, or fall in the spare bytes.
            uint64_t v8 = value * 0x0101010101010101ull;
            for (uint32_t k = 0; k < count; k += 16) {
                memcpy(table + i + k, &v8, 8);
                memcpy(table + i + k + 8, &v8, 8);
            }
            i += (int)count;
        }
    }
    sync();
    tablesRead = true;
    if (inPos > inTop)
        return false;
    // The LZ loop looks LD and DD codes up by kQuickBits bits, and reads LD,
    // DD and RD codes with the bits behind them; LDD and RD (few symbols,
    // short codes, and rarely used: a narrow table is quicker to build) by
    // their own widths.
    buildDecodeTable(table, LD, 299, kQuickBits, kMainExtra.bits);
    // Literal pairs pay for their table (a microsecond or two) in a long
    // member whose literal codes of six bits or less take half the code
    // space or more.
    pairs = nullptr;
    if (winSize < kWindowSize && outLeft >= kPairMinOutput) {
        uint32_t shortLiterals = 0;   // their code space, in 64ths
        for (int i = 0; i < 256; i++)
            shortLiterals += table[i] - 1u < 6u ? 32u >> (table[i] - 1) : 0;
        if (shortLiterals >= 32)
            makeLiteralPairs();
    }
    buildDecodeTable(table + 299, DD, 60, kQuickBits, distTables().highBits);
    buildDecodeTable(table + 359, LDD, 17);
    buildDecodeTable(table + 376, RD, 28, 1, kLenBits);
    memcpy(oldTable, table, sizeof oldTable);
    oldTableUnset = false;
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
        const bool sized = winSize < kWindowSize;
        Step step = blockType == 1 ? decodePpm29()
                    : wideLoop     ? (sized ? decodeLz29Wide<true>() : decodeLz29Wide<false>())
                                   : (sized ? decodeLz29<true>() : decodeLz29<false>());
        if (step == StepAbort)
            return;
        if (step == StepStop)
            break;
    }
    flush29();
}

bool Unpacker::wideLoopSupported()
{
#if defined(__GNUC__) && defined(__x86_64__)
    static const bool supported = [] {
        unsigned a, b, c, d;
        if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_MOVBE))
            return false;
        return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_BMI) && (b & bit_BMI2);
    }();
    return supported;
#else
    return false;
#endif
}

template <bool Sized>
__attribute__((aligned(4096))) Unpacker::Step Unpacker::decodeLz29()
{
    return lzLoop<Sized, false>();
}

template <bool Sized>
MIRANDOL_WIDE_TARGET __attribute__((aligned(4096))) Unpacker::Step Unpacker::decodeLz29Wide()
{
    return lzLoop<Sized, true>();
}

// The LZ loop reads its bits through a 64-bit buffer (the next bits in the
// top places, refilled without branches) and keeps the window position and
// the match history in locals; everything goes back to the object around
// every call out (refill, flush, tables, filters). The input, flush and
// window-end checks run once per stretch of symbols that cannot reach any of
// them. Sized: the window is smaller than kWindowSize (no wrap, wide copies).
template <bool Sized, bool Wide>
__attribute__((always_inline)) inline Unpacker::Step Unpacker::lzLoop()
{
    const DistTables &dt = distTables();
    uint8_t *const win = window;
    LoopBits in;
    uint32_t op, flushed;
    uint32_t od[4];
    uint32_t lDist, lLength, lowDist;
    int32_t lowRepeat, border;

    // The helpers are inlined at once: a call left for later holds the
    // address of the bit input, which then stays in memory instead of
    // registers.
    auto save = [&]() __attribute__((always_inline)) {
        uint32_t p = in.position();
        inPos = (int32_t)(p >> 3);
        inBit = (int32_t)(p & 7);
        outPos = op;
        memcpy(oldDist, od, sizeof od);
        lastDist = lDist;
        lastLength = lLength;
        prevLowDist = (int32_t)lowDist;
        lowDistRepeat = lowRepeat;
    };
    auto load = [&]() __attribute__((always_inline)) {
        in.start(inBuf, inPos, inBit);
        op = outPos;
        flushed = flushedPos;
        border = inBorder;
        memcpy(od, oldDist, sizeof od);
        lDist = lastDist;
        lLength = lastLength;
        lowDist = (uint32_t)prevLowDist;
        lowRepeat = lowDistRepeat;
    };

    auto copyWindow = [&](uint32_t length, uint32_t distance) __attribute__((always_inline)) {
        if (Sized)
            copySized(win, op, length, distance);
        else
            copyBytes(*this, win, op, length, distance);
    };

    load();
    for (;;) {
        op &= kWindowMask;
        // ptr is never behind the read position: compare it first.
        if ((int32_t)(in.ptr - in.buf) > border && (int32_t)(in.position() >> 3) > border) {
            save();
            if (!refillInput())
                return StepStop;
            load();
        }
        uint32_t opLimit;
        if (Sized) {
            // The member's output is all in the window by now: only a
            // damaged stream gets here.
            if (op >= winSize) {
                save();
                return StepStop;
            }
            opLimit = winSize;
        } else {
            uint32_t room = (flushed - op) & kWindowMask;
            if (room < kFlushMargin && flushed != op) {
                save();
                flush29();
                if (outputDone())
                    return StepAbort;
                load();
                room = (flushed - op) & kWindowMask;
            }
            if (flushed == op)
                room = kWindowSize;
            // Steps starting below opLimit start where the flush test would
            // pass and end before the window end. The first step runs in any
            // case (the test was just made).
            int64_t limit = (int64_t)op + room - kFlushMargin + 1;
            if (limit > kWindowSize - kFlushMargin)
                limit = kWindowSize - kFlushMargin;
            opLimit = limit > op ? (uint32_t)limit : op;
        }
        const uint8_t *inLimit = in.buf + border;

        do {
        // The code is looked up before the refill, which leaves the bits at
        // hand in place: every step leaves 12 bits or more (a long match
        // refills after its symbol, of at most 20 bits with its length bits,
        // then takes at most 29 for the distance slot with its high bits and
        // 15 for the low bits' code), so the refill, not waited for, needs
        // no branch. Then 56 bits or more: enough for a symbol with its
        // length bits and the look-up of a distance slot.
        uint32_t e = LD.quick[in.bits >> (64 - kQuickBits)];
        in.refill();
        // Two literals or more: a run (not in a stretch's forced first step,
        // op at or past opLimit: that decodes one symbol).
        if (DecodeTable::quickLiteral(e) &&
            DecodeTable::quickLiteral(LD.quick[(in.bits << DecodeTable::quickLength(e)) >> (64 - kQuickBits)]) &&
            in.ptr <= inLimit && op < opLimit) {
            // The first two here, and a third (26 bits or more stay for the
            // next look-up): the shortest runs need no call.
            in.consume(DecodeTable::quickLength(e));
            win[op++] = (uint8_t)DecodeTable::quickSymbol(e);
            e = LD.quick[in.bits >> (64 - kQuickBits)];
            in.consume(DecodeTable::quickLength(e));
            win[op++] = (uint8_t)DecodeTable::quickSymbol(e);
            e = LD.quick[in.bits >> (64 - kQuickBits)];
            if (!DecodeTable::quickLiteral(e) || op >= opLimit)
                continue;
            in.consume(DecodeTable::quickLength(e));
            win[op++] = (uint8_t)DecodeTable::quickSymbol(e);
            e = LD.quick[in.bits >> (64 - kQuickBits)];
            if (!DecodeTable::quickLiteral(e) || op >= opLimit)
                continue;
            LiteralRun run;
            if (Sized && pairs)
                run = Wide ? literalPairRunWide(LD, pairs, in.bits, in.ptr, in.count, win + op, win + opLimit, inLimit)
                           : literalPairRun(LD, pairs, in.bits, in.ptr, in.count, win + op, win + opLimit, inLimit);
            else
                run = Wide ? literalRunWide(LD, in.bits, in.ptr, in.count, e, win + op, win + opLimit, inLimit)
                           : literalRun(LD, in.bits, in.ptr, in.count, e, win + op, win + opLimit, inLimit);
            in.bits = run.bits;
            in.ptr = run.ptr;
            in.count = run.count;
            e = run.entry;
            op = (uint32_t)(run.out - win);
            if (op >= opLimit || in.ptr > inLimit)
                continue;   // ends the stretch
            // The code after the run was looked up already (a refill keeps
            // the bits at hand in place).
            if (in.count < 49)
                in.refill();
        }
        // The code and the bits behind it (the table's lengths take them in).
        const uint64_t before = in.bits;
        uint32_t sym, len;
        if (e) {
            len = DecodeTable::quickLength(e);
            sym = DecodeTable::quickSymbol(e);
        } else {
            sym = decodeSlow((uint32_t)(in.bits >> 48), LD, len, kQuickBits + 1);
            len += kMainExtra.bits[sym];
        }
        in.consume(len);
        if (sym < 256) {
            win[op++] = (uint8_t)sym;
            continue;
        }
        const uint32_t x = (uint32_t)(before >> (64 - len)) & ((1u << kMainExtra.bits[sym]) - 1);
        if (sym >= 271) {
            uint32_t length = kLenBase[sym - 271] + 3u + x;
            // The slot's code is looked up before a refill, which keeps
            // the bits at hand (29 or more) in place; the refill leaves
            // enough for the slot with its high bits (29 at most) and the
            // low bits' code.
            const uint64_t at = in.bits;
            const uint32_t de = DD.quick[at >> (64 - kQuickBits)];
            in.refill();
            uint32_t d, dLength;
            if (__builtin_expect(de != 0, 1)) {   // the length takes in the high bits
                dLength = DecodeTable::quickLength(de);
                d = DecodeTable::quickSymbol(de);
            } else {
                d = decodeSlow((uint32_t)(at >> 48), DD, dLength, kQuickBits + 1);
                dLength += dt.highBits[d];
            }
            in.consume(dLength);
            const uint32_t high = (uint32_t)(at >> (64 - dLength)) & ((1u << dt.highBits[d]) - 1);
            uint32_t distance = dt.base[d] + 1;
            if (d > 9) {
                const uint32_t le = LDD.quick[in.bits >> (64 - LDD.quickBits)];
                distance += high << 4;
                if (lowRepeat > 0) {
                    lowRepeat--;
                    distance += lowDist;
                } else {
                    uint32_t low;
                    if (__builtin_expect(le != 0, 1)) {
                        in.consume(DecodeTable::quickLength(le));
                        low = DecodeTable::quickSymbol(le);
                    } else {
                        low = in.decode(LDD);
                    }
                    if (low == 16) {
                        lowRepeat = 15;
                        distance += lowDist;
                    } else {
                        distance += low;
                        lowDist = low;
                    }
                }
            } else {
                distance += high;
            }
            length += (distance >= 0x2000) + (distance >= 0x40000);
            od[3] = od[2]; od[2] = od[1]; od[1] = od[0]; od[0] = distance;
            lDist = distance;
            lLength = length;
            copyWindow(length, distance);
            continue;
        }
        if (sym == 256) {
            bool more = (in.bits >> 63) != 0;
            in.consume(more ? 1 : 2);
            save();
            if (!more)
                return StepStop;
            tablesRead = false;
            if (!readTables29())
                return StepStop;
            if (blockType == 1)
                return StepSwitch;
            load();
            break;   // limits again
        }
        if (sym == 257) {
            save();
            if (!filters)
                filters = createFilters29();   // made on the first record: most members have none
            if (!filters) {
                needsExtension = true;
                return StepStop;
            }
            if (!filters->readFilterBits(*this))
                return StepStop;
            load();
            break;   // limits again
        }
        if (sym == 258) {
            if (lLength != 0)
                copyWindow(lLength, lDist);
            continue;
        }
        if (sym < 263) {
            uint32_t k = sym - 259;
            uint32_t distance = od[k];
            // The ones before it move up one place, without a loop on k.
            od[3] = k >= 3 ? od[2] : od[3];
            od[2] = k >= 2 ? od[1] : od[2];
            od[1] = k >= 1 ? od[0] : od[1];
            od[0] = distance;
            uint32_t lx;
            uint32_t r = in.decodeExtra(RD, kLenBits, lx);
            uint32_t length = kLenBase[r] + 2u + lx;
            lDist = distance;
            lLength = length;
            copyWindow(length, distance);
            continue;
        }
        // 263..270: short distances, length 2.
        uint32_t k = sym - 263;
        uint32_t distance = kShortDistBase[k] + 1u + x;
        od[3] = od[2]; od[2] = od[1]; od[1] = od[0]; od[0] = distance;
        lDist = distance;
        lLength = 2;
        copyWindow(2, distance);
        } while (op < opLimit && in.ptr <= inLimit);
    }
}

Unpacker::Step Unpacker::decodePpm29()
{
    for (;;) {
        outPos &= kWindowMask;
        if (outPos >= winSize)
            return StepStop;   // past a smaller window: only a damaged stream gets here
        if (inPos > inBorder && !refillInput())
            return StepStop;
        if (((flushedPos - outPos) & kWindowMask) < kFlushMargin && flushedPos != outPos) {
            flush29();
            if (outputDone())
                return StepAbort;
        }
        // Literal bytes up to the first position where one of the tests
        // above could fire: the window end, the flush margin or the input
        // border (tested by the run after each byte).
        // After the tests, room is 0 (all flushed: the whole window) or at
        // least kFlushMargin.
        uint32_t room = (flushedPos - outPos) & kWindowMask;
        if (room == 0)
            room = kWindowSize;
        uint32_t max = winSize - outPos;
        if (room - (kFlushMargin - 1) < max)
            max = room - (kFlushMargin - 1);
        int c;
        outPos += (uint32_t)ppm->decodeRun(window + outPos, (int)max, ppmEscChar, &inPos, &inBorder, c);
        if (c == -2)
            continue;
        if (c == -1) {
            ppmError = true;
            return StepStop;
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
            if (!filters)
                filters = createFilters29();
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

void Unpacker::makeLiteralPairs()
{
    if (!pairBuffer)
        pairBuffer.reset(new (std::nothrow) uint32_t[1u << kPairBits]);
    if (pairBuffer) {
        buildLiteralPairs(LD, pairBuffer.get());
        pairs = pairBuffer.get();
    }
}

namespace {

// Look-ups per refill in a run by literal pairs (literalPairRunBody), each
// of at most kPairBits bits and one or two literals: they take counted bits
// only, and the input bits behind them serve the look-up of the code after
// the run.
const uint32_t kPairLookups = 4;
const uint32_t kPairRunLiterals = 2 * kPairLookups;
static_assert(kPairLookups * kPairBits <= LoopBits::kCountedBits, "a refill's look-ups take counted bits");
static_assert(kPairLookups * kPairBits + kQuickBits <= 64, "the look-up after the run reads input bits");
// Such a run works only in a smaller window, whose end is oLimit: what it
// writes past oLimit falls in the window's padding.
static_assert(kPairRunLiterals <= kWindowPad, "a run ending past oLimit stays in the window's padding");
// The run stops once ptr has passed inLimit, which lies at or before the end
// of the valid input: every refill it makes reads at most
// LoopBits::kReadBytes past that end, within the input buffer's zeroed
// padding, and it leaves ptr at most LoopBits::kMaxAdvance past inLimit, so
// the loop's next refill reads within the padding too (the loop's own input
// test takes over from there). Without that stop a run would read on as far
// as the room left in the window lets it, past the padding and out of the
// buffer.
static_assert(LoopBits::kMaxAdvance + LoopBits::kReadBytes <= kInBufPad,
              "the refill after a run that passed the end of the input reads the padding");

// literalRunBody with LD's literal pairs (buildLiteralPairs; only in a
// smaller window, where nothing ahead of the output is ever read):
// kPairLookups look-ups per refill. A run may end up to kPairRunLiterals
// bytes past oLimit, and the byte after its last literal may hold the
// second byte of a pair entry of one literal.
__attribute__((always_inline)) inline LiteralRun literalPairRunBody(const DecodeTable &LD, const uint32_t *pairs,
                                                                    uint64_t bits, const uint8_t *ptr,
                                                                    uint32_t count, uint8_t *o, uint8_t *const oLimit,
                                                                    const uint8_t *inLimit)
{
    LoopBits in;
    in.bits = bits;
    in.ptr = ptr;
    in.count = count;
    auto pair = [&]() __attribute__((always_inline)) {
        const uint32_t p = pairs[in.bits >> (64 - kPairBits)];
        if (!p)
            return false;
        const uint16_t two = (uint16_t)(p >> 8);
        memcpy(o, &two, 2);
        o += (p >> 6) & 3;
        in.bits <<= p & 63;
        in.count -= p;
        return true;
    };
    for (;;) {
        in.count &= 63;
        in.refill();
        if (!pair() || !pair() || !pair() || !pair() || o >= oLimit || in.ptr > inLimit)
            break;
    }
    return { in.bits, in.ptr, in.count & 63, LD.quick[in.bits >> (64 - kQuickBits)], o };
}

__attribute__((noinline)) LiteralRun literalPairRun(const DecodeTable &LD, const uint32_t *pairs, uint64_t bits,
                                                    const uint8_t *ptr, uint32_t count, uint8_t *o,
                                                    uint8_t *const oLimit, const uint8_t *inLimit)
{
    return literalPairRunBody(LD, pairs, bits, ptr, count, o, oLimit, inLimit);
}

__attribute__((noinline)) MIRANDOL_WIDE_TARGET LiteralRun literalPairRunWide(const DecodeTable &LD,
                                                                             const uint32_t *pairs, uint64_t bits,
                                                                             const uint8_t *ptr, uint32_t count,
                                                                             uint8_t *o, uint8_t *const oLimit,
                                                                             const uint8_t *inLimit)
{
    return literalPairRunBody(LD, pairs, bits, ptr, count, o, oLimit, inLimit);
}

}  // namespace
