// PPMd (variant H) context model with its range decoder, as used by the
// PPMd blocks of version 2.9 streams.
//
// Heap layout (offsets into PpmHeap memory, little-endian fields):
//   context record, 12 bytes: symbol count (16 bits) at 0, summary frequency
//     (16 bits) at 2, symbol array (32 bits) at 4, suffix (32 bits) at 8; a
//     context with one symbol keeps that state inline at 2..7 instead.
//   symbol state, 6 bytes: symbol at 0, frequency at 1, successor (32 bits) at 2.
#ifndef MIRANDOL_UNPACK_PPMMODEL_H
#define MIRANDOL_UNPACK_PPMMODEL_H

#include "PpmHeap.h"

#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

// Where the model gets its packed bytes. Past the end of the input readByte
// returns 0 and sets exhausted.
class PpmByteSource {
public:
    virtual ~PpmByteSource() {}
    virtual int readByte() = 0;
    bool exhausted = false;
};

class PpmModel {
public:
    PpmModel();
    ~PpmModel();
    PpmModel(const PpmModel &) = delete;
    PpmModel &operator=(const PpmModel &) = delete;

    // Reads a PPMd block header from the source and starts or continues the
    // model. escChar is changed when the header carries a new escape byte.
    // longOutput: megabytes of output are expected, worth huge pages.
    bool decodeInit(PpmByteSource &source, int &escChar, bool longOutput = false);
    // One decoded byte 0..255, or -1 for damaged or exhausted input.
    int decodeChar();
    // decodeChar until max bytes are stored in out, a value equal to stop
    // (or -1) comes, or, after a byte, *inPos has passed *border (see
    // Ppm29::decodeRun).
    int decodeRun(uint8_t *out, int max, int stop, const int32_t *inPos, const int32_t *border, int &last);

    void freeHeap();
    uint32_t heapSize() const { return heap_.allocatedSize(); }
    int maxOrder() const { return maxOrder_; }
    // Number of times the model was rebuilt because its heap ran out.
    uint32_t restartCount() const { return restarts_; }

protected:
    // The model's internals are shared with a test-only encoder, which runs
    // the same model steps to make streams for the tests and benchmarks.
    struct See {
        uint16_t summ;
        uint8_t shift;
        uint8_t count;
        void init(int value)
        {
            shift = 7 - 4;
            summ = uint16_t(value << shift);
            count = 4;
        }
        unsigned mean()
        {
            unsigned v = unsigned(summ) >> shift;
            summ = uint16_t(summ - v);
            return v + (v == 0);
        }
        void update()
        {
            if (shift < 7 && --count == 0) {
                summ = uint16_t(summ + summ);
                count = uint8_t(3 << shift++);
            }
        }
    };
    struct State {
        uint8_t symbol;
        uint8_t freq;
        uint32_t successor;
    };

    // heap field access
    uint8_t rd8(uint32_t o) const { return heap_.mem[o]; }
    void wr8(uint32_t o, uint8_t v) { heap_.mem[o] = v; }
    uint16_t rd16(uint32_t o) const { uint16_t v; std::memcpy(&v, heap_.mem + o, 2); return v; }
    void wr16(uint32_t o, uint16_t v) { std::memcpy(heap_.mem + o, &v, 2); }
    uint32_t rd32(uint32_t o) const { uint32_t v; std::memcpy(&v, heap_.mem + o, 4); return v; }
    void wr32(uint32_t o, uint32_t v) { std::memcpy(heap_.mem + o, &v, 4); }

    uint16_t numStats(uint32_t c) const { return rd16(c); }
    void setNumStats(uint32_t c, unsigned n) { wr16(c, uint16_t(n)); }
    uint16_t summFreq(uint32_t c) const { return rd16(c + 2); }
    void setSummFreq(uint32_t c, unsigned v) { wr16(c + 2, uint16_t(v)); }
    uint32_t stats(uint32_t c) const { return rd32(c + 4); }
    void setStats(uint32_t c, uint32_t s) { wr32(c + 4, s); }
    uint32_t suffix(uint32_t c) const { return rd32(c + 8); }
    void setSuffix(uint32_t c, uint32_t s) { wr32(c + 8, s); }
    static uint32_t oneState(uint32_t c) { return c + 2; }

    uint8_t symbol(uint32_t s) const { return rd8(s); }
    uint8_t freq(uint32_t s) const { return rd8(s + 1); }
    void setFreq(uint32_t s, unsigned f) { wr8(s + 1, uint8_t(f)); }
    uint32_t successor(uint32_t s) const { return rd32(s + 2); }
    void setSuccessor(uint32_t s, uint32_t v) { wr32(s + 2, v); }
    State loadState(uint32_t s) const
    {
        return State{rd8(s), rd8(s + 1), rd32(s + 2)};
    }
    void storeState(uint32_t s, const State &st)
    {
        wr8(s, st.symbol);
        wr8(s + 1, st.freq);
        wr32(s + 2, st.successor);
    }
    // Copies the 6-byte state at from over the distinct one at to.
    void copyState(uint32_t to, uint32_t from)
    {
        uint32_t v4;
        uint16_t v2;
        std::memcpy(&v4, heap_.mem + from, 4);
        std::memcpy(&v2, heap_.mem + from + 4, 2);
        std::memcpy(heap_.mem + to, &v4, 4);
        std::memcpy(heap_.mem + to + 4, &v2, 2);
    }
    void swapStates(uint32_t a, uint32_t b)
    {
        // two distinct 6-byte records, swapped without a library call
        uint8_t *const pa = heap_.mem + a, *const pb = heap_.mem + b;
        uint32_t a4, b4;
        uint16_t a2, b2;
        std::memcpy(&a4, pa, 4);
        std::memcpy(&a2, pa + 4, 2);
        std::memcpy(&b4, pb, 4);
        std::memcpy(&b2, pb + 4, 2);
        std::memcpy(pa, &b4, 4);
        std::memcpy(pa + 4, &b2, 2);
        std::memcpy(pb, &a4, 4);
        std::memcpy(pb + 4, &a2, 2);
    }

    // A context record that may be used: inside the heap with a sane symbol
    // count and, for more than one symbol, a symbol array inside the heap.
    bool contextSane(uint32_t c) const
    {
        const uint32_t span = heap_.heapEnd - heap_.heapStart;
        if (c - heap_.heapStart > span)
            return false;
        unsigned n = numStats(c);
        if (n - 1u > 255u)
            return false;
        return n == 1 || stats(c) - heap_.heapStart <= span;
    }
    // Position of sym among the states of context c, or 0 when absent. The
    // context must be sane: eight states (48 bytes) are compared at a time,
    // and the heap's tail room covers the bytes read past the last state.
    uint32_t findState(uint32_t c, uint8_t sym) const
    {
        const uint8_t *const mem = heap_.mem;
        const uint8_t *p = mem + stats(c);
        unsigned n = numStats(c);
#ifdef __SSE2__
        const __m128i want = _mm_set1_epi8(char(sym));
        // symbols are every sixth byte: bits 0, 6, ..., 42 of a 48-byte match mask
        const uint64_t symbolBytes = 0x041041041041ull;
        for (;; p += 48, n -= 8) {
            const uint64_t m0 = unsigned(_mm_movemask_epi8(
                _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), want)));
            const uint64_t m1 = unsigned(_mm_movemask_epi8(
                _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16)), want)));
            const uint64_t m2 = unsigned(_mm_movemask_epi8(
                _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32)), want)));
            uint64_t hits = (m0 | m1 << 16 | m2 << 32) & symbolBytes;
            if (n < 8)
                hits &= (uint64_t(1) << (6 * n)) - 1;
            if (hits)
                return uint32_t(p - mem) + uint32_t(__builtin_ctzll(hits));
            if (n <= 8)
                return 0;
        }
#else
        for (const uint8_t *const end = p + size_t(n) * 6; p != end; p += 6)
            if (*p == sym)
                return uint32_t(p - mem);
        return 0;
#endif
    }

    void startModel(int maxOrder);
    void restartModel();
    void clearMask();
    bool decodeSymbol2();
    // After an escape from minContext_: the shorter contexts down to the one
    // holding the symbol. False for damaged input.
    bool decodeEscapes();
    void update1(uint32_t p);
    void update2(uint32_t p);
    void rescale();
    uint32_t createSuccessors(bool skip, uint32_t p1);
    void updateModel();
    // updateModel, then a fresh mask if the escape count wrapped. False when
    // the model turned out damaged.
    bool updateAfterSymbol();

    // range decoder
    void initDecoder();
    void removeRange();
    void normalize();

    PpmHeap heap_;
    PpmByteSource *source_ = nullptr;
    uint32_t low_ = 0, code_ = 0, range_ = 0;
    uint32_t lowCount_ = 0, highCount_ = 0;
    bool coderFailed_ = false;
    bool corrupt_ = false;

    uint32_t minContext_ = 0, maxContext_ = 0, foundState_ = 0;
    int numMasked_ = 0, initEsc_ = 0, orderFall_ = 0, maxOrder_ = 0;
    int runLength_ = 0, initRL_ = 0;
    uint8_t charMask_[256];
    uint8_t ns2Indx_[256], ns2BSIndx_[256], hb2Flag_[256];
    uint8_t escCount_ = 0, prevSuccess_ = 0, hiBitsFlag_ = 0;
    See see2_[25][16];
    See dummySee_;
    uint16_t binSumm_[128][64];
    uint32_t restarts_ = 0;
};

#endif
