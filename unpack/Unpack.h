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
#include <stdint.h>

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
    kQuickBits = 10         // first-level lookup width of the decode tables
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
// A table that was never built (all zero) decodes every input as symbol 0.
struct DecodeTable {
    enum { kCapacity = 306 };
    uint32_t maxNum;
    uint32_t decodeLen[16];
    uint32_t decodePos[16];
    uint16_t symbolList[kCapacity];
    // First-level lookup by the top kQuickBits bits: code length (0: not
    // resolved here, use the limits) and symbol.
    uint8_t quickLen[1 << kQuickBits];
    uint16_t quickSym[1 << kQuickBits];
};

// Builds table from size bit lengths (low four bits of each byte; 0 = unused).
// size is cut to the table's capacity. Damaged length sets are not rejected.
void buildDecodeTable(const uint8_t *lengths, DecodeTable &table, uint32_t size);

// Decodes one symbol at the reader's position and consumes its code.
uint32_t decodeSymbol(BitReader &in, const DecodeTable &table);

// Slow path shared with the decoders' inlined loops: the length and index for
// a 16-bit look-ahead b (low bit ignored).
inline uint32_t decodeSlow(uint32_t b, const DecodeTable &t, uint32_t &length)
{
    b &= 0xFFFE;
    uint32_t l = 15;
    for (uint32_t i = 1; i < 15; i++)
        if (b < t.decodeLen[i]) { l = i; break; }
    length = l;
    uint32_t n = t.decodePos[l] + ((b - t.decodeLen[l - 1]) >> (16 - l));
    if (n >= t.maxNum)
        n = 0;
    return t.symbolList[n < (uint32_t)DecodeTable::kCapacity ? n : 0];
}

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
};

// Factories of the extensions: each returns null while its part is not built
// in, and a member needing it then stops (and fails its CRC).
std::unique_ptr<Filters29> createFilters29();
std::unique_ptr<Ppm29> createPpm29();

// ---------------------------------------------------------------------------
// The unpacker

class Unpacker : public BitReader {
public:
    explicit Unpacker(UnpackIo *io);
    ~Unpacker();

    // Uses window (at least kWindowSize bytes, kept by the caller) or, when
    // null, allocates one. The window is cleared either way.
    void init(uint8_t *window);
    // The member's unpacked size: output beyond it is never written.
    void setOutputSize(uint64_t size) { outLeft = (int64_t)size; }
    // Decodes the member with the decoder of its unpack version (29; any
    // other version does nothing). solid false starts every state afresh.
    void unpackMember(uint32_t method, bool solid);

    // Shared state; public for the decoders and their extensions.
    UnpackIo *io;
    std::unique_ptr<Filters29> filters;   // null: a filter record stops the member
    std::unique_ptr<Ppm29> ppm;           // null: a PPMd block stops the member
    uint32_t outPos;        // next write position in the window
    uint32_t flushedPos;    // first window position not yet written out
    int32_t inTop;          // valid bytes in inBuf
    int32_t inBorder;       // inTop - kRefillMargin
    uint8_t *window;
    bool externalWindow;
    int64_t outLeft;        // the member's unpacked size
    int64_t outWritten;     // bytes accounted as written out
    int64_t outDecoded;     // bytes decoded into the window (hostile-stream guard)
    uint32_t countedPos;    // window position up to which outDecoded counts
    bool ppmError;
    bool needsExtension;    // the stream asked for filters or PPMd that are not built in

    // Version 2.9 state.
    bool tablesRead;
    DecodeTable LD, DD, LDD, RD, BD;
    uint32_t oldDist[4];
    uint32_t lastDist, lastLength;
    uint8_t oldTable[404];
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

    void decode29(bool solid);
    bool readTables29();

private:
    // Outcome of decoding one run of blocks of one kind.
    enum Step { StepStop, StepSwitch, StepAbort };
    Step decodeLz29();      // LZ symbols until a switch to PPMd or a stop
    Step decodePpm29();     // PPMd bytes until a switch to LZ or a stop
    void copyMatch(uint32_t length, uint32_t distance);
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

#endif
