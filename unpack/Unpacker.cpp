// The unpacker object, the memory input/output block and the window output.
#include "Unpack.h"
#include "FilterMachine.h"
#include "PpmHeap.h"

#include <stdlib.h>
#include <string.h>

#include <initializer_list>
#include <new>

int32_t UnpackIo::readInput(uint8_t *buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    uint32_t n = (uint32_t)count < sourceLeft ? (uint32_t)count : sourceLeft;
    if (n) {
        memcpy(buffer, source, n);
        source += n;
        sourceLeft -= n;
    }
    return (int32_t)n;
}

void UnpackIo::writeBytes(const uint8_t *data, uint32_t count)
{
    uint32_t n = count < destinationLeft ? count : destinationLeft;
    if (n) {
        memcpy(destination, data, n);
        destination += n;
        destinationLeft -= n;
    }
}

Unpacker::Unpacker(UnpackIo *io_)
    : io(io_), outPos(0), flushedPos(0),
      inTop(0), inBorder(0), window(nullptr), windowBytes(0), winSize(kWindowSize),
      externalWindow(false), outLeft(0), outWritten(0),
      outDecoded(0), countedPos(0), ppmError(false), windowClean(false), needsExtension(false),
      wideLoop(wideLoopSupported()),
      tablesRead(false), pairs(nullptr),
      lastDist(0), lastLength(0), oldTableUnset(true), blockType(0), prevLowDist(0), lowDistRepeat(0), ppmEscChar(2)
{
    // The decode tables are left as they are: version 2.9 builds each one
    // before its first use, and the version 2.0/2.6 decoder clears them
    // (clearTables20) before its first member.
    memset(oldDist, 0, sizeof oldDist);
}

void Unpacker::clearTables20()
{
    // Tables that were never built decode inside their storage.
    for (DecodeTable *t : { &LD, &DD, &LDD, &RD, &BD, &MD[0], &MD[1], &MD[2], &MD[3] })
        clearDecodeTable(*t);
    memset(oldTable20, 0, sizeof oldTable20);
    memset(audioState, 0, sizeof audioState);
    tablesCleared20 = true;
}

Unpacker::~Unpacker()
{
    if (!externalWindow)
        free(window);
}

void Unpacker::init(uint8_t *externalBuffer, uint32_t bytes)
{
    if (!externalWindow)
        free(window);
    // Not cleared here: clearing the window per member costs more than
    // decoding a small one. A smaller window is never read ahead of the
    // output; the whole one is cleared ahead of the output the first time a
    // (damaged) stream reaches before the member's first byte.
    window = externalBuffer;
    windowBytes = bytes;
    externalWindow = externalBuffer != nullptr;
    if (!window) {
        window = (uint8_t *)malloc(kWindowSize);
        if (!window)
            g_unpackErrors.memoryError();
        windowBytes = kWindowSize;
    }
    resetState(false);
}

uint32_t Unpacker::windowSizeFor(uint32_t method, int64_t outSize)
{
    if (method != 29)
        return kWindowSize;
    uint32_t size = kMinWindow;
    while (size < kWindowSize && size < outSize)
        size <<= 1;
    return size;
}

void Unpacker::resetState(bool solid)
{
    if (!solid) {
        tablesRead = false;
        memset(oldDist, 0, sizeof oldDist);
        lastDist = lastLength = 0;
        oldTableUnset = true;
        outPos = flushedPos = 0;
        windowClean = false;
        countedPos = 0;
        outDecoded = 0;
        ppmEscChar = 2;
        blockType = 0;
        prevLowDist = lowDistRepeat = 0;
        if (filters)
            filters->clear();
    }
    inPos = inBit = 0;
    outWritten = 0;
    inTop = inBorder = 0;
    ppmError = false;
}

bool Unpacker::refillInput()
{
    int32_t dataSize = inTop - inPos;
    if (dataSize < 0)
        return false;
    if (inPos > kInBufSize / 2) {
        if (dataSize > 0)
            memmove(inBuf, inBuf + inPos, (size_t)dataSize);
        inPos = 0;
        inTop = dataSize;
    } else {
        dataSize = inTop;
    }
    int32_t got = io->readInput(inBuf + dataSize, (kInBufSize - dataSize) & ~15);
    if (got > 0)
        inTop += got;
    // Once the packed data is all in the buffer a refill changes nothing
    // but fails past inTop: the decoders then test against inTop itself
    // rather than stepping up to the refill, symbol by symbol, through the
    // last kRefillMargin bytes (which in a small member is all of it).
    inBorder = io->sourceLeft ? inTop - kRefillMargin : inTop;
    // Look-ahead past the valid input sees zeros, never stale bytes.
    memset(inBuf + inTop, 0, kInBufPad);
    return got != -1;
}

void Unpacker::writeOutput(const uint8_t *data, uint32_t size)
{
    if (outWritten < outLeft) {
        int64_t room = outLeft - outWritten;
        io->writeBytes(data, (int64_t)size < room ? size : (uint32_t)room);
    }
    // Counted even past the end, so that a stream running on is noticed.
    outWritten += size;
}

void Unpacker::writeWrapped(uint32_t start, uint32_t end)
{
    if (end < start) {
        writeOutput(window + start, kWindowSize - start);
        writeOutput(window, end);
    } else {
        writeOutput(window + start, end - start);
    }
}

void Unpacker::cleanWindowAhead(uint32_t op)
{
    // Before the first wrap the decoded data are window positions 0 .. op - 1
    // and everything from op on was never written.
    if (outDecoded + ((op - countedPos) & kWindowMask) < kWindowSize)
        memset(window + op, 0, kWindowSize - op);
    windowClean = true;
}

void Unpacker::flush29()
{
    countDecoded();
    if (filters && filters->pending()) {
        filters->flush(*this);
    } else {
        writeWrapped(flushedPos, outPos);
        flushedPos = outPos;
    }
}

void Unpacker::flushPlain()
{
    countDecoded();
    if (outPos < flushedPos) {
        io->writeBytes(window + flushedPos, kWindowSize - flushedPos);
        io->writeBytes(window, outPos);
    } else {
        io->writeBytes(window + flushedPos, outPos - flushedPos);
    }
    flushedPos = outPos;
}

void Unpacker::unpackMember(uint32_t method, bool solid)
{
    if (method != 15 && method != 20 && method != 26 && method != 29)
        return;   // the output stays as the caller left it and fails its CRC check
    winSize = windowSizeFor(method, outLeft);
    uint32_t bytes = windowBytesFor(winSize);
    if (!window || windowBytes < bytes) {
        if (!externalWindow)
            free(window);
        externalWindow = false;
        window = (uint8_t *)malloc(bytes);
        if (!window)
            g_unpackErrors.memoryError();
        windowBytes = bytes;
    }
    switch (method) {
    case 15: decode15(solid); break;
    case 20: case 26: decode20(solid); break;
    case 29:
        decode29(solid);
        break;
    default:
        break;
    }
}

namespace {
struct KeptWindow {
    uint8_t *data = nullptr;
    uint32_t bytes = 0;
};
thread_local KeptWindow g_window;
}  // namespace

void releaseUnpackWindow()
{
    free(g_window.data);
    g_window.data = nullptr;
    g_window.bytes = 0;
    FilterMachine::releaseKeptMemory();
    PpmHeap::releaseKept();
}

bool unpackUnchecked(const uint8_t *packed, uint32_t packSize, uint8_t *output,
                     uint32_t unpSize, uint32_t unpVer)
{
    // One window serves member after member: allocated for the largest
    // needed so far, kept until releaseUnpackWindow.
    uint32_t bytes = Unpacker::windowBytesFor(Unpacker::windowSizeFor(unpVer, unpSize));
    if (g_window.bytes < bytes) {
        releaseUnpackWindow();
        g_window.data = (uint8_t *)malloc(bytes);
        if (!g_window.data) {
            g_unpackErrors.exitCode = UnpackErrors::Memory;
            g_unpackErrors.errorCount++;
            return false;
        }
        g_window.bytes = bytes;
    }
    try {
        UnpackIo io = { packed, packSize, output, unpSize };
        Unpacker unpacker(&io);
        unpacker.init(g_window.data, g_window.bytes);
        unpacker.setOutputSize(unpSize);
        unpacker.unpackMember(unpVer, false);
    } catch (int) {
        return false;   // counted by memoryError
    } catch (const std::bad_alloc &) {
        g_unpackErrors.exitCode = UnpackErrors::Memory;
        g_unpackErrors.errorCount++;
        return false;
    }
    return true;
}

bool unpackBuffer(const uint8_t *packed, uint32_t packSize, uint8_t *output,
                  uint32_t unpSize, uint32_t unpVer, uint32_t fileCrc)
{
    if (unpSize > kMaxUnpackedSize)
        return false;
    if (unpSize)
        memset(output, 0, unpSize);
    if (!unpackUnchecked(packed, packSize, output, unpSize, unpVer))
        return false;
    return ~crc32(0xFFFFFFFFu, output, unpSize) == fileCrc;
}

DistTables::DistTables()
{
    // 0 extra bits for the first four slots, two slots each for 1 to 15 bits,
    // fourteen of 16 bits, none of 17 and twelve of 18
    static const uint8_t slotsPerBits[19] = { 4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 14, 0, 12 };
    int slot = 0;
    for (int b = 0; b < 19; b++)
        for (int k = 0; k < slotsPerBits[b]; k++)
            bits[slot++] = (uint8_t)b;
    base[0] = 0;
    for (int i = 1; i < 60; i++)
        base[i] = base[i - 1] + (1u << bits[i - 1]);
    for (int i = 0; i < 60; i++)
        highBits[i] = (uint8_t)(i > 9 ? bits[i] - 4 : bits[i]);
}

const DistTables &distTables()
{
    static const DistTables tables;
    return tables;
}
