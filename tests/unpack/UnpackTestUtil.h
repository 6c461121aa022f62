// Shared helpers of the decompressor tests.
#ifndef MIRANDOL_UNPACK_TEST_UTIL_H
#define MIRANDOL_UNPACK_TEST_UTIL_H

#include "BitWriter.h"
#include "Unpack.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

struct DecodeResult {
    std::vector<uint8_t> out;   // exactly the member's size
    bool guardIntact = true;    // nothing was written past the member's size
    bool needsExtension = false;
    int64_t decoded = 0;
    uint32_t crc = 0;
};

// Decodes packed with version method into a buffer of size bytes followed by
// guard bytes, the way the container does. With nativeFilters false the
// standard filter programs run in the interpreter; with wideLoop false the
// baseline build of the LZ loop runs.
inline DecodeResult decodeBytes(const std::vector<uint8_t> &packed, uint32_t size, uint32_t method = 29,
                                bool nativeFilters = true, bool wideLoop = Unpacker::wideLoopSupported())
{
    const size_t guard = 64;
    std::vector<uint8_t> buffer(size + guard, 0xEE);
    memset(buffer.data(), 0, size);
    UnpackIo io = { packed.data(), (uint32_t)packed.size(), buffer.data(), size };
    Unpacker u(&io);
    u.wideLoop = wideLoop;
    if (!nativeFilters)
        u.filters = createFilters29(false);
    u.init(nullptr);
    u.setOutputSize(size);
    u.unpackMember(method, false);
    DecodeResult r;
    for (size_t i = size; i < buffer.size(); i++)
        if (buffer[i] != 0xEE)
            r.guardIntact = false;
    r.out.assign(buffer.begin(), buffer.begin() + size);
    r.needsExtension = u.needsExtension;
    r.decoded = u.outDecoded;
    r.crc = ~crc32(0xFFFFFFFFu, r.out.data(), r.out.size());
    return r;
}

// An unpacker over packed bytes writing size bytes (zeroed, followed by 16
// guard bytes of 0xEE); kept for a look at its state after run().
struct UnpackRun {
    std::vector<uint8_t> packed, out;
    UnpackIo io;
    Unpacker u;
    uint32_t size;
    UnpackRun(const std::vector<uint8_t> &bytes, uint32_t size_)
        : packed(bytes), out(size_ + 16, 0xEE), io{ packed.data(), (uint32_t)packed.size(), out.data(), size_ },
          u(&io), size(size_)
    {
        memset(out.data(), 0, size);
    }
    void run(uint32_t method = 29)
    {
        u.init(nullptr);
        u.setOutputSize(size);
        u.unpackMember(method, false);
    }
    uint32_t written() const { return size - io.destinationLeft; }
    std::string text(size_t n) const { return std::string(out.begin(), out.begin() + n); }
    std::vector<uint32_t> oldDist() const { return std::vector<uint32_t>(u.oldDist, u.oldDist + 4); }
};

// Decodes into size bytes first filled with outFill, through a caller-supplied
// window (left filled with whatever the caller put there).
inline std::vector<uint8_t> decodeWithWindow(const std::vector<uint8_t> &packed, uint32_t size, uint32_t method,
                                             std::vector<uint8_t> &window, uint8_t outFill = 0)
{
    std::vector<uint8_t> out(size, outFill);
    UnpackIo io = { packed.data(), (uint32_t)packed.size(), out.data(), size };
    Unpacker u(&io);
    u.init(window.data());
    u.setOutputSize(size);
    u.unpackMember(method, false);
    return out;
}

// Variant k of packed for the hostile-input tests: the first `cuts` variants
// are cut at a random length, each later one has k bits flipped at or after
// byte `from`.
inline std::vector<uint8_t> hostileVariant(const std::vector<uint8_t> &packed, std::mt19937 &rng, int k, int cuts,
                                           size_t from = 0)
{
    std::vector<uint8_t> p = packed;
    if (k < cuts) {
        p.resize(rng() % p.size());
    } else {
        for (int f = 0; f < k; f++)
            p[from + rng() % (p.size() - from)] ^= (uint8_t)(1u << (rng() % 8));
    }
    return p;
}

inline uint32_t distBits(uint32_t slot)
{
    return slot < 4 ? 0 : slot < 34 ? (slot - 2) / 2 : slot < 48 ? 16 : 18;
}

// Writes a version 2.9 LZ stream symbol by symbol with the codes of its current tables.
struct Stream {
    BitWriter w;
    TestTables tables;
    TestCode ld, dd, ldd, rd;
    uint32_t lastDistance = 0;   // newest distance, as the decoder keeps it

    explicit Stream(const TestTables &t = TestTables::full())
        : tables(t), ld(t.ld), dd(t.dd), ldd(t.ldd), rd(t.rd)
    {
        writeTables(w, t);
    }
    void literal(uint8_t c) { ld.put(w, c); }
    void literals(const std::string &s)
    {
        for (char c : s)
            literal((uint8_t)c);
    }
    void literalBytes(const std::vector<uint8_t> &v)
    {
        for (uint8_t c : v)
            literal(c);
    }
    // Symbol 257 and a filter record in the layout ppmFilterRecord gives.
    void record(const std::vector<uint8_t> &bytes)
    {
        ld.put(w, 257);
        for (uint8_t b : bytes)
            w.put(b, 8);
    }
    static uint32_t lengthSlot(uint32_t length, uint32_t offset)
    {
        for (uint32_t s = 27;; s--)
            if (kLenBase[s] + offset <= length)
                return s;
    }
    void lengthBits(uint32_t slot, uint32_t length, uint32_t offset)
    {
        w.put(length - kLenBase[slot] - offset, (int)kLenBits[slot]);
    }
    // A long match; low: the low-distance symbol to send (-1: none, the
    // decoder is repeating; 16: repeat the previous low part).
    void match(uint32_t length, uint32_t distance, int low = -2)
    {
        lastDistance = distance;
        uint32_t s = lengthSlot(length, 3);
        ld.put(w, 271 + s);
        lengthBits(s, length, 3);
        uint32_t d = 0, base = 0;
        while (d < 59 && base + (1u << distBits(d)) < distance)
            base += 1u << distBits(d++);
        dd.put(w, d);
        uint32_t extra = distance - base - 1;
        uint32_t n = distBits(d);
        if (n == 0)
            return;
        if (d > 9) {
            if (n > 4)
                w.put(extra >> 4, (int)n - 4);
            if (low == -2)
                ldd.put(w, extra & 15);
            else if (low >= 0)
                ldd.put(w, (uint32_t)low);
        } else {
            w.put(extra, (int)n);
        }
    }
    void repeat(uint32_t k, uint32_t length)
    {
        ld.put(w, 259 + k);
        uint32_t s = lengthSlot(length, 2);
        rd.put(w, s);
        lengthBits(s, length, 2);
    }
    void shortMatch(uint32_t k, uint32_t extra)
    {
        ld.put(w, 263 + k);
        w.put(extra, kShortDistBits[k]);
        lastDistance = kShortDistBase[k] + 1 + extra;
    }
    void newTables(const TestTables &t, bool keepOld)
    {
        ld.put(w, 256);
        w.put(1, 1);
        writeTables(w, t, keepOld, &tables);
        tables = t;
        ld = TestCode(t.ld);
        dd = TestCode(t.dd);
        ldd = TestCode(t.ldd);
        rd = TestCode(t.rd);
    }
    std::vector<uint8_t> end()
    {
        ld.put(w, 256);
        w.put(0, 2);
        return w.bytes(40);
    }
};

#endif
