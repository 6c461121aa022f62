// The archive decompressor: one Unpacker turns one compressed member, held in
// memory, into its plain bytes in a caller-supplied buffer.
//
// How the container uses it (see unpackBuffer below for the whole sequence):
//
//     UnpackIo io = { packed, packSize, output, unpSize };
//     Unpacker u(&io);
//     u.init(nullptr);
//     u.setOutputSize(unpSize);
//     u.unpackMember(unpVer, false);
//     ok = (~crc32(0xFFFFFFFF, output, unpSize)) == fileCrc;
//
// The decompressor reports nothing but its output; damaged data shows as a
// CRC mismatch. Memory exhaustion goes through UnpackErrors::memoryError,
// which throws: unpackBuffer catches it and reports the member unreadable.
#ifndef MIRANDOL_UNPACK_H
#define MIRANDOL_UNPACK_H

#include <stddef.h>
#include <stdlib.h>
#include <stdint.h>
#include <string.h>

#include <memory>

// ---------------------------------------------------------------------------
// CRC-32, DOS time, error handler

// Runs the CRC-32 register (reflected polynomial 0xEDB88320) over size bytes,
// starting from start; no inversion on entry or exit. The standard CRC-32 of
// a buffer is ~crc32(0xFFFFFFFF, data, size).
uint32_t crc32(uint32_t start, const void *data, size_t size);

// The archive's packed DOS date and time as a date record.
struct DosTime {
    DosTime() : year(0), month(0), day(0), hour(0), minute(0), second(0),
                remainder(0), weekday(0), yearDay(0) {}
    uint32_t year;       // full year; 0 means "not set"
    uint32_t month;      // 1..12 (passed through unchecked)
    uint32_t day;
    uint32_t hour;
    uint32_t minute;
    uint32_t second;
    uint32_t remainder;  // fraction of a second in 100 ns units
    uint32_t weekday;    // not filled by setDos
    uint32_t yearDay;    // not filled by setDos

    // Date in the high half, time in the low half. No field is validated.
    void setDos(uint32_t t);
};

// The decompressor's one global error record.
struct UnpackErrors {
    enum Code { Success = 0, Warning = 1, Fatal = 2, Memory = 8, UserBreak = 255 };

    int32_t exitCode;
    int32_t errorCount;
    bool breakEnabled;
    bool silent;
    bool shutdownRequested;

    void reset();
    // Records error code 8, counts it and throws the integer 8. Whoever
    // drives the decompressor catches it (unpackBuffer does).
    [[noreturn]] void memoryError();
};
extern UnpackErrors g_unpackErrors;

// A buffer of a fixed size that one user of a thread hands on to the next
// (freed when the thread ends): member after member costs no allocation.
struct KeptBuffer {
    uint8_t *data = nullptr;
    ~KeptBuffer() { release(); }
    // The kept buffer (null when none is kept); no longer kept.
    uint8_t *take()
    {
        uint8_t *p = data;
        data = nullptr;
        return p;
    }
    // Keeps p, or frees it when a buffer is kept already.
    void give(uint8_t *p)
    {
        if (data)
            free(p);
        else
            data = p;
    }
    void release()
    {
        free(data);
        data = nullptr;
    }
};

// ---------------------------------------------------------------------------
// Memory input/output block

// The decoders' only way to the caller's buffers. Owned by the caller.
struct UnpackIo {
    const uint8_t *source;      // next packed byte to hand out
    uint32_t sourceLeft;        // packed bytes not yet handed out
    uint8_t *destination;       // where the next output byte goes
    uint32_t destinationLeft;   // room left in the output buffer

    // Copies up to count bytes of packed data to buffer; returns how many (0 at the end).
    int32_t readInput(uint8_t *buffer, int32_t count);
    // Copies up to count bytes to the destination; what does not fit is dropped.
    void writeBytes(const uint8_t *data, uint32_t count);
};

// ---------------------------------------------------------------------------
// Bit input and Huffman decoding

enum {
    kInBufSize = 32768,     // input buffer
    kInBufPad = 128,        // zeroed bytes behind the valid input, for look-ahead
    kRefillMargin = 30,
    kWindowSize = 0x400000,
    kWindowMask = 0x3FFFFF,
    kFlushMargin = 288,     // room kept free before flushedPos: the longest single step
    kMinWindow = 0x10000,   // smallest window of a version 2.9 member
    kWindowPad = 512,       // bytes behind a smaller window: a step begun before its
                            // end, and wide match copies writing a little ahead
    kQuickBits = 10,        // first-level lookup width of the decode tables
    kPairBits = 12          // look-up width of the literal pair table
};

// Reads bits most significant first from inBuf. The buffer always has
// kInBufPad readable bytes behind its size, so look-ahead never leaves it.
class BitReader {
public:
    BitReader();
    ~BitReader();
    BitReader(const BitReader &) = delete;
    BitReader &operator=(const BitReader &) = delete;

    int32_t inPos;   // current byte in inBuf
    int32_t inBit;   // bits of that byte already consumed, 0..7
    uint8_t *inBuf;  // kInBufSize + kInBufPad bytes

    // The next 16 bits, first bit in the most significant place; does not move.
    uint32_t peekBits() const
    {
        const uint8_t *p = inBuf + inPos;
        uint32_t v = ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
        return (v >> (8 - inBit)) & 0xFFFF;
    }
    void skipBits(int n)
    {
        n += inBit;
        inPos += n >> 3;
        inBit = n & 7;
    }
    // Reads n bits (0..16) as an unsigned number.
    uint32_t readBits(int n)
    {
        uint32_t v = peekBits() >> (16 - n);
        skipBits(n);
        return v;
    }
    void alignToByte()
    {
        if (inBit) { inBit = 0; inPos++; }
    }
};

// A canonical Huffman decode table with room for the largest alphabet.
// A cleared table (clearDecodeTable) decodes every input as symbol 0.
struct DecodeTable {
    enum { kCapacity = 306 };
    uint32_t maxNum;
    // Width of the first-level lookup, 1..kQuickBits: the longest code's
    // length where that is shorter, so a small alphabet fills few entries.
    uint32_t quickBits;
    uint32_t decodeLen[16];
    uint32_t decodePos[16];
    uint16_t symbolList[kCapacity];
    // First-level lookup by the top quickBits bits (entries from
    // 1 << quickBits on are not used): code length in the low 6 bits (so a
    // 64-bit shift by the entry shifts by the length alone), symbol above
    // them; 0: not resolved here, use the limits.
    uint16_t quick[1 << kQuickBits];

    static uint32_t quickLength(uint32_t e) { return e & 63; }
    static uint32_t quickSymbol(uint32_t e) { return e >> 6; }
    // A resolved code of a symbol below 256 (a literal of the LD alphabet).
    static bool quickLiteral(uint32_t e) { return e - 1 < (256u << 6) - 1; }
};

// Builds table from size bit lengths (low four bits of each byte; 0 = unused).
// size is cut to the table's capacity. Damaged length sets are not rejected.
// The first-level lookup is at least minQuickBits wide (kQuickBits for a
// table a loop indexes by kQuickBits bits itself). With extra given (a
// count of extra bits for each symbol, each at most 24), the first-level
// entries' lengths take in the extra bits that follow each code: such a
// table is read through LoopBits::decodeExtra alone.
void buildDecodeTable(const uint8_t *lengths, DecodeTable &table, uint32_t size,
                      uint32_t minQuickBits = 1, const uint8_t *extra = nullptr);

// Fills pairs (1 << kPairBits entries) from the first-level look-up of a
// table of the main alphabet: for the top kPairBits bits, the bits the
// literals there take (bits 0..5), how many (1 or 2, bits 6..7), the first
// literal (bits 8..15) and the second (bits 16..23; the second code is a
// literal the look-up resolves, whole within the kPairBits bits); 0 where
// the first code is no literal the look-up resolves.
void buildLiteralPairs(const DecodeTable &table, uint32_t *pairs);

// Clears table: it then decodes every input as symbol 0, after 15 bits.
void clearDecodeTable(DecodeTable &table);

// Decodes one symbol at the reader's position and consumes its code.
uint32_t decodeSymbol(BitReader &in, const DecodeTable &table);

// Decoding by the limits, for look-ahead b (low bit ignored): the symbol and
// its code length. first: the shortest length worth trying (quickBits + 1
// once the first-level lookup has missed).
inline uint32_t decodeSlow(uint32_t b, const DecodeTable &t, uint32_t &length, uint32_t first = 1)
{
    b &= 0xFFFE;
    uint32_t l = 15;
    for (uint32_t i = first; i < 15; i++)
        if (b < t.decodeLen[i]) { l = i; break; }
    length = l;
    uint32_t n = t.decodePos[l] + ((b - t.decodeLen[l - 1]) >> (16 - l));
    if (n >= t.maxNum)
        n = 0;
    return t.symbolList[n < (uint32_t)DecodeTable::kCapacity ? n : 0];
}

// Length and short-distance slots shared by the 2.0 and 2.9 formats: a slot's
// base and the number of extra bits that follow it.
inline constexpr uint8_t kLenBits[28] = { 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                          2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5 };
inline constexpr uint8_t kLenBase[28] = { 0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                          24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224 };
inline constexpr uint8_t kShortDistBase[8] = { 0, 4, 8, 16, 32, 64, 128, 192 };
inline constexpr uint8_t kShortDistBits[8] = { 2, 2, 3, 4, 5, 6, 6, 6 };

// Distance slots: a slot's base and the number of extra bits that follow it.
// The 2.0 format uses the first 48, the 2.9 format all 60.
struct DistTables {
    uint32_t base[60];
    uint8_t bits[60];
    // The bits a 2.9 distance slot's code is followed by directly: all of
    // them for slots up to 9, all but the low four above.
    uint8_t highBits[60];
    DistTables();
};
const DistTables &distTables();

// The decode loops' bit input: the next bits in the top places of a 64-bit
// buffer, refilled without branches from the unpacker's padded input buffer.
// A local of the loop, so the compiler keeps it in registers.
struct LoopBits {
    const uint8_t *buf;   // the input buffer
    const uint8_t *ptr;   // next input byte not yet (wholly) in bits
    uint64_t bits;        // upcoming bits, the first in the top place
    uint32_t count;       // valid bits in bits

    // A refill reads the kReadBytes bytes at ptr, moves ptr on by the whole
    // bytes that fit (kMaxAdvance at most), and leaves kCountedBits bits or
    // more counted, with input bits in all 64 places of bits. A loop that
    // refills only while ptr is at or before the end of the valid input thus
    // reads at most kReadBytes bytes past that end.
    static constexpr uint32_t kReadBytes = 8;
    static constexpr uint32_t kMaxAdvance = 7;
    static constexpr uint32_t kCountedBits = 56;
    static_assert(kReadBytes == sizeof(uint64_t), "a refill is one 64-bit load");
    static_assert(kMaxAdvance == 63 / 8 && kCountedBits == 64 - 8, "whole bytes into 64 bits");
    static_assert(kReadBytes <= kInBufPad, "a refill at the end of the input reads the zeroed padding");

    static uint64_t load64be(const uint8_t *p)
    {
        uint64_t v;
        memcpy(&v, p, 8);
        return __builtin_bswap64(v);
    }
    void refill()
    {
        bits |= load64be(ptr) >> count;
        ptr += (63 - count) >> 3;
        count |= kCountedBits;
    }
    void consume(uint32_t n)
    {
        bits <<= n;
        count -= n;
    }
    // The next n bits (1..25) as a number; consumed.
    uint32_t take(uint32_t n)
    {
        uint32_t v = (uint32_t)(bits >> (64 - n));
        consume(n);
        return v;
    }
    // The next n bits (0..25) as a number, without a branch on n; consumed.
    uint32_t takeUpTo25(uint32_t n)
    {
        uint32_t v = (uint32_t)((bits >> 1) >> (63 - n));
        consume(n);
        return v;
    }
    // Starts at a byte and bit position of the input buffer.
    void start(const uint8_t *input, int32_t bytePos, int32_t bitPos)
    {
        buf = input;
        ptr = input + bytePos;
        bits = 0;
        count = 0;
        refill();
        consume((uint32_t)bitPos);
    }
    // The read position in bits from the buffer's start.
    uint32_t position() const { return (uint32_t)(ptr - buf) * 8 - count; }
    // Decodes one symbol with the table and consumes its code. A resolved
    // entry shifts the bits by itself (the shift takes its low six bits, the
    // length), one step less between a lookup and the next.
    uint32_t decode(const DecodeTable &t)
    {
        uint32_t e = t.quick[bits >> (64 - t.quickBits)];
        if (__builtin_expect(e != 0, 1)) {   // resolved: a length of 1 or more
            bits <<= DecodeTable::quickLength(e);
            count -= DecodeTable::quickLength(e);
            return DecodeTable::quickSymbol(e);
        }
        uint32_t len;
        uint32_t sym = decodeSlow((uint32_t)(bits >> 48), t, len, t.quickBits + 1);
        consume(len);
        return sym;
    }
    // Decodes one symbol with a table built with extra (the same counts)
    // and consumes its code and the extra bits behind it; value: those bits
    // as a number. Takes up to the longest code plus 24 bits.
    uint32_t decodeExtra(const DecodeTable &t, const uint8_t *extra, uint32_t &value)
    {
        const uint64_t before = bits;
        uint32_t e = t.quick[bits >> (64 - t.quickBits)];
        uint32_t sym, len;
        if (__builtin_expect(e != 0, 1)) {   // the length takes in the extra bits
            len = DecodeTable::quickLength(e);
            sym = DecodeTable::quickSymbol(e);
        } else {
            sym = decodeSlow((uint32_t)(bits >> 48), t, len, t.quickBits + 1);
            len += extra[sym];
        }
        consume(len);
        value = (uint32_t)(before >> (64 - len)) & ((1u << extra[sym]) - 1);
        return sym;
    }
};

// ---------------------------------------------------------------------------
// Version 2.9 extensions: the filter machine and the PPMd model plug in here.

class Unpacker;
class Ppm29;

// Filters of version 2.9 streams.
class Filters29 {
public:
    virtual ~Filters29() {}
    // Forgets every filter definition and every pending instance.
    virtual void clear() = 0;
    // Symbol 257 of an LZ block: reads one filter record from the unpacker's
    // bit stream (inBuf/inPos/inBit, refillInput) and stacks an instance.
    virtual bool readFilterBits(Unpacker &u) = 0;
    // Escape 3 of a PPMd block: the same record, its bytes decoded by ppm.
    virtual bool readFilterPpm(Unpacker &u, Ppm29 &ppm) = 0;
    // True while instances wait on the program stack; flush() is then used
    // in place of the plain window flush.
    virtual bool pending() const = 0;
    // Writes the window from u.flushedPos towards u.outPos, running every
    // filter whose block is complete (through u.writeWrapped, u.writeOutput
    // and u.io->writeBytes, counting u.outWritten), and sets u.flushedPos.
    virtual void flush(Unpacker &u) = 0;
};

// The PPMd model of version 2.9 streams.
class Ppm29 {
public:
    virtual ~Ppm29() {}
    // Reads a PPMd block header at the unpacker's byte-aligned input position
    // and starts or continues the model; may change escChar.
    virtual bool decodeInit(Unpacker &u, int32_t &escChar) = 0;
    // The next byte 0..255, or -1 on damaged data.
    virtual int decodeChar() = 0;
    // Decodes bytes into out until max are stored, a value equal to stop
    // (or -1) is decoded, or, after a byte, *inPos has passed *border.
    // Returns the number stored; last is the value that ended the run (stop
    // or -1), or -2 when max or the border ended it. Same bytes as calling
    // decodeChar one byte at a time.
    virtual int decodeRun(uint8_t *out, int max, int stop, const int32_t *inPos, const int32_t *border, int &last)
    {
        int n = 0;
        for (;;) {
            int c = decodeChar();
            if (c == -1 || c == stop) {
                last = c;
                return n;
            }
            out[n++] = (uint8_t)c;
            if (n >= max || *inPos > *border) {
                last = -2;
                return n;
            }
        }
    }
};

// Factories of the extensions: each returns null while it is not built
// in, and a member needing it then stops (and fails its CRC). With
// nativeStandardFilters false the standard filter programs are interpreted
// like any other program (slower, same result: for checking the interpreter).
std::unique_ptr<Filters29> createFilters29(bool nativeStandardFilters = true);
std::unique_ptr<Ppm29> createPpm29();

// ---------------------------------------------------------------------------
// The unpacker

// What the wide build of the version 2.9 LZ loop is compiled for: shifts by
// any register that leave the flags alone, and byte-swapping loads.
#if defined(__GNUC__) && defined(__x86_64__)
#define MIRANDOL_WIDE_TARGET __attribute__((target("bmi,bmi2,movbe")))
#else
#define MIRANDOL_WIDE_TARGET
#endif

class Unpacker : public BitReader {
public:
    explicit Unpacker(UnpackIo *io);
    ~Unpacker();

    // Uses window (bytes long, kept by the caller) or, when null, allocates
    // one of kWindowSize bytes. A window too small for the member (see
    // windowSizeFor) is replaced by an allocated one when the member starts. Either way a damaged
    // stream reaching before the member's first byte reads zeros, never what
    // the memory held before.
    void init(uint8_t *window, uint32_t bytes = kWindowSize);
    // The window a member needs: version 2.9 members use the smallest power
    // of two from kMinWindow up that holds their output (with kWindowPad
    // bytes behind it); anything else, or anything above half the largest
    // window, the whole kWindowSize.
    static uint32_t windowSizeFor(uint32_t method, int64_t outSize);
    static uint32_t windowBytesFor(uint32_t windowSize)
    {
        return windowSize < kWindowSize ? windowSize + kWindowPad : windowSize;
    }
    // The member's unpacked size: output beyond it is never written.
    void setOutputSize(uint64_t size) { outLeft = (int64_t)size; }
    // Decodes the member with the decoder of its unpack version (15, 20, 26
    // or 29; any other version does nothing). solid false starts every state afresh.
    void unpackMember(uint32_t method, bool solid);

    // Shared state; public for the decoders and their extensions.
    UnpackIo *io;
    std::unique_ptr<Filters29> filters;   // made by the first filter record; null then: the record stops the member
    std::unique_ptr<Ppm29> ppm;           // made by the first PPMd block; null then: the block stops the member
    uint32_t outPos;        // next write position in the window
    uint32_t flushedPos;    // first window position not yet written out
    int32_t inTop;          // valid bytes in inBuf
    int32_t inBorder;       // inTop - kRefillMargin; inTop once the packed data is all read
    uint8_t *window;
    uint32_t windowBytes;   // length of the window buffer
    // Window positions in use. Below kWindowSize (a version 2.9 member that
    // fits a smaller window) positions never wrap: decoding stops once they
    // reach winSize, and bytes before the member's first read as zero
    // without reading the window.
    uint32_t winSize;
    bool externalWindow;
    int64_t outLeft;        // the member's unpacked size
    int64_t outWritten;     // bytes accounted as written out
    int64_t outDecoded;     // bytes decoded into the window (hostile-stream guard)
    uint32_t countedPos;    // window position up to which outDecoded counts
    bool ppmError;
    bool windowClean;       // every window byte is decoded data or zero
    bool needsExtension;    // the stream asked for filters or PPMd that are not built in
    // The wide build of the version 2.9 LZ loop is used (set where the
    // processor can run it, wideLoopSupported); either build gives the same bytes.
    bool wideLoop;
    static bool wideLoopSupported();   // the processor has BMI1, BMI2 and MOVBE

    // Version 2.9 state.
    bool tablesRead;
    DecodeTable LD, DD, LDD, RD, BD;
    // LD's literal pairs (buildLiteralPairs), made for a block of a long
    // member in a smaller window whose literal codes are mostly short; null
    // otherwise. The buffer stays for the member's later blocks.
    const uint32_t *pairs;
    std::unique_ptr<uint32_t[]> pairBuffer;
    void makeLiteralPairs();
    uint32_t oldDist[4];
    uint32_t lastDist, lastLength;
    uint8_t oldTable[404];
    bool oldTableUnset;     // no block has set oldTable: it reads as zeros
    int32_t blockType;      // 0 LZ, 1 PPMd
    int32_t prevLowDist;
    int32_t lowDistRepeat;
    int32_t ppmEscChar;

    void resetState(bool solid);
    // Tops up the input buffer; false once the reader has run past the end.
    bool refillInput();

    // Version 2.9 output: cut at outLeft, counted in outWritten.
    void writeOutput(const uint8_t *data, uint32_t size);
    // Writes window positions start up to end (wrapping when end < start).
    void writeWrapped(uint32_t start, uint32_t end);
    // Version 2.9 window flush (through the filters when some are pending).
    void flush29();
    // True once decoding must stop: everything owed has been written, or the
    // stream decoded a whole window more than the member's size.
    bool outputDone() const { return outWritten > outLeft || outDecoded > outLeft + kWindowSize; }

    // A match is about to read window bytes ahead of op, which before the
    // window's first wrap were never written: they must read as zero.
    void cleanWindowAhead(uint32_t op);

    void decode29(bool solid);
    bool readTables29();
    // Copies a match at outPos (any length up to kFlushMargin, any distance).
    void copyMatch(uint32_t length, uint32_t distance);

    // ----- Version 1.5 -----------------------------------------------------
    // No transmitted tables: adaptive symbol sets (symbol in the high byte,
    // use count in the low byte) read through fixed threshold tables. The
    // match history (oldDist, oldDistPos, lastDist, lastLength) is shared.
    uint32_t charSet[256];      // literals
    uint32_t charSetA[256];     // short distances (plain values, no counts)
    uint32_t charSetB[256];     // long-distance high bytes
    uint32_t charSetC[256];     // flag bytes
    uint32_t placeCount[256];   // next free place per use count, for charSet
    uint32_t placeCountB[256];  // ... for charSetB
    uint32_t placeCountC[256];  // ... for charSetC
    uint32_t avgPlace;          // running average of literal places
    uint32_t avgPlaceB;         // running average of long-distance places
    uint32_t avgLen1, avgLen2, avgLen3;  // short lengths, long lengths, long-distance statistics
    uint32_t Nhfb, Nlzb;        // literal and long-match weights
    uint32_t numHuff;           // literals in a row
    uint32_t stMode;            // literal-run mode
    uint32_t flagBuf;           // current flag byte
    int32_t flagCount;          // flag bits left in it
    uint32_t lCount;            // repeat-last-match state
    uint32_t buf60;             // toggles one code length of the short-match codes
    uint32_t maxDist3;          // distance threshold for the long-match bonus

    // Decodes a version 1.5 member; the output leaves through flushPlain.
    void decode15(bool solid);
    // Output of versions 15, 20 and 26: writes the window from flushedPos
    // to outPos (in two pieces when it wraps) and counts it as decoded; the
    // output buffer's room cuts what lies beyond the member.
    void flushPlain();

    // --- Version 2.0/2.6 decoder (Decode20.cpp) ---
    // The LZ tables LD, DD, RD and BD, the distance ring oldDist and
    // lastDist/lastLength above are shared with version 2.9 (at 298, 48, 28
    // and 19 symbols); the rest is this decoder's own.
    struct AudioState {
        int32_t k[5];           // predictor weights K1..K5
        int32_t d[4];           // deltas D1..D4
        int32_t lastDelta;
        uint32_t dif[11];       // error sums of the eleven candidate adjustments
        uint32_t byteCount;
        uint32_t lastByte;
    };
    DecodeTable MD[4];          // audio blocks: one table per channel
    uint32_t oldDistPos = 0;    // write counter of the distance ring
    uint8_t oldTable20[1028];   // the previous block's code lengths
    bool audioBlock = false;
    int32_t channels = 1;       // audio channels, 1..4
    int32_t curChannel = 0;     // channel of the next audio byte
    int32_t channelDelta = 0;   // last delta of any channel
    AudioState audioState[4];
    // Set once clearTables20 has cleared every decode table, oldTable20 and
    // audioState: until then they hold whatever the memory held.
    bool tablesCleared20 = false;

    void clearTables20();
    void decode20(bool solid);
    bool readTables20();
    // The next audio byte for code a on the current channel.
    uint8_t predictAudio(uint32_t a);

private:
    // Outcome of decoding one run of blocks of one kind.
    enum Step { StepStop, StepSwitch, StepAbort };
    // LZ symbols until a switch to PPMd or a stop: lzLoop built for the
    // baseline processor (decodeLz29) and wide (decodeLz29Wide). Each starts
    // a page: the loop's speed depends on where its branches fall, which
    // then does not change with whatever is linked before it.
    template <bool Sized, bool Wide>
    Step lzLoop();
    template <bool Sized>
    __attribute__((aligned(4096))) Step decodeLz29();
    template <bool Sized>
    MIRANDOL_WIDE_TARGET __attribute__((aligned(4096))) Step decodeLz29Wide();
    Step decodePpm29();     // PPMd bytes until a switch to LZ or a stop
    void countDecoded()
    {
        outDecoded += (outPos - countedPos) & kWindowMask;
        countedPos = outPos;
    }
};

// The container's whole unpack step for one compressed member: decodes
// packSize bytes at packed into output (unpSize bytes, zero-filled here) with
// unpack version unpVer and returns whether the result has the CRC-32 fileCrc.
// Sizes above kMaxUnpackedSize are refused. A memory error is caught, counted
// in g_unpackErrors and gives false.
enum : uint32_t { kMaxUnpackedSize = 0x40000000u };
bool unpackBuffer(const uint8_t *packed, uint32_t packSize, uint8_t *output,
                  uint32_t unpSize, uint32_t unpVer, uint32_t fileCrc);

// The decoding part of unpackBuffer alone: output is neither cleared first
// nor checked after. False after a memory error (counted in g_unpackErrors).
bool unpackUnchecked(const uint8_t *packed, uint32_t packSize, uint8_t *output,
                     uint32_t unpSize, uint32_t unpVer);

// unpackBuffer keeps its window, and the filter machine its memory, from
// member to member (per thread); this frees both, for instance when an
// archive is closed.
void releaseUnpackWindow();

#endif
