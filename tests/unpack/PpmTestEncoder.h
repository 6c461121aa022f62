// Test-only PPMd encoder: runs the decoder's own model steps with a range
// encoder in place of the range decoder, so that tests and benchmarks can make
// PPMd streams of any order and heap size (for instance a small heap that
// fills up and restarts). Header-only; used by tests/unpack and bench/.
#ifndef MIRANDOL_PPM_TEST_ENCODER_H
#define MIRANDOL_PPM_TEST_ENCODER_H

#include "PpmModel.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

class PpmTestEncoder : public PpmModel {
public:
    // Starts a block with the reset flag: order 2..64 (as the header codes it:
    // 2..16 directly, 19..64 in steps of 3), heap megabytes 1..256. With
    // escChar >= 0 the header also carries a new escape byte. With marker the
    // flags byte has its top bit set, as the first byte of a version 2.9 PPMd
    // block must.
    void startBlock(int order, int megabytes, int escChar = -1, bool marker = true)
    {
        int code = order <= 16 ? order - 1 : 16 + (order - 16) / 3 - 1;
        uint8_t flags = uint8_t(0x20 | (code & 0x1F) | (marker ? 0x80 : 0) | (escChar >= 0 ? 0x40 : 0));
        out.push_back(flags);
        out.push_back(uint8_t(megabytes - 1));
        if (escChar >= 0)
            out.push_back(uint8_t(escChar));
        if (!heap_.startHeap(uint32_t(megabytes)))
            throw std::runtime_error("heap");
        startModel(order <= 16 ? order : 16 + ((order - 16) / 3) * 3);
        low_ = 0;
        range_ = 0xFFFFFFFFu;
    }

    // Starts a block that continues the current model (no reset flag); the
    // range coder starts afresh.
    void continueBlock(int escChar = -1)
    {
        out.push_back(uint8_t(0x80 | (escChar >= 0 ? 0x40 : 0)));
        if (escChar >= 0)
            out.push_back(uint8_t(escChar));
        low_ = 0;
        range_ = 0xFFFFFFFFu;
    }

    void encodeChar(int c)
    {
        if (numStats(minContext_) != 1)
            encodeSymbol1(uint8_t(c));
        else
            encodeBinSymbol(uint8_t(c));
        while (!foundState_) {
            normalizeOut();
            do {
                orderFall_++;
                minContext_ = suffix(minContext_);
                if (!minContext_)
                    throw std::runtime_error("symbol not in the order-0 context");
            } while (numStats(minContext_) == numMasked_);
            encodeSymbol2(uint8_t(c));
        }
        uint32_t succ = successor(foundState_);
        if (!orderFall_ && succ > heap_.pText) {
            minContext_ = maxContext_ = succ;
        } else {
            updateModel();
            if (escCount_ == 0)
                clearMask();
        }
        normalizeOut();
    }

    // Ends the range coder: the decoder's four look-ahead bytes.
    void flush()
    {
        for (int i = 0; i < 4; i++) {
            out.push_back(uint8_t(low_ >> 24));
            low_ <<= 8;
        }
    }

    // A whole version 2.9 member of one PPMd block: data bytes (the escape
    // byte doubled as escape, 1), then escape, 2 for the end of the data.
    static std::vector<uint8_t> member(const std::vector<uint8_t> &data, int order, int megabytes,
                                       uint32_t *restarts = nullptr)
    {
        PpmTestEncoder e;
        e.startBlock(order, megabytes);
        const int esc = 2;
        for (uint8_t b : data) {
            e.encodeChar(b);
            if (b == esc)
                e.encodeChar(1);
        }
        e.encodeChar(esc);
        e.encodeChar(2);
        e.flush();
        if (restarts)
            *restarts = e.restartCount();
        return e.out;
    }

    std::vector<uint8_t> out;

private:
    void encodeRange(uint32_t lowCount, uint32_t highCount, uint32_t total)
    {
        range_ /= total;
        low_ += lowCount * range_;
        range_ *= highCount - lowCount;
    }

    void normalizeOut()
    {
        for (;;) {
            if ((low_ ^ (low_ + range_)) >= (1u << 24)) {
                if (range_ >= (1u << 15))
                    return;
                range_ = (0u - low_) & ((1u << 15) - 1);
            }
            out.push_back(uint8_t(low_ >> 24));
            range_ <<= 8;
            low_ <<= 8;
        }
    }

    void encodeBinSymbol(uint8_t c)
    {
        uint32_t ctx = minContext_;
        uint32_t rs = oneState(ctx);
        uint32_t suf = suffix(ctx);
        hiBitsFlag_ = hb2Flag_[symbol(foundState_)];
        unsigned f = freq(rs);
        uint16_t &bs = binSumm_[f - 1][prevSuccess_ + ns2BSIndx_[numStats(suf) - 1] + hiBitsFlag_ +
                                       2 * hb2Flag_[symbol(rs)] + ((runLength_ >> 26) & 0x20)];
        range_ >>= 14;
        if (symbol(rs) == c) {
            low_ += 0;
            range_ *= bs;
            foundState_ = rs;
            setFreq(rs, f + (f < 128));
            bs = uint16_t(bs + 128 - ((bs + 32) >> 7));
            prevSuccess_ = 1;
            runLength_++;
        } else {
            low_ += bs * range_;
            range_ *= (1u << 14) - bs;
            bs = uint16_t(bs - ((bs + 32) >> 7));
            static const uint8_t expEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
            initEsc_ = expEscape[bs >> 10];
            numMasked_ = 1;
            charMask_[symbol(rs)] = escCount_;
            prevSuccess_ = 0;
            foundState_ = 0;
        }
    }

    void encodeSymbol1(uint8_t c)
    {
        uint32_t ctx = minContext_;
        uint32_t p = stats(ctx);
        uint32_t total = summFreq(ctx);
        if (symbol(p) == c) {
            uint32_t hiCnt = freq(p);
            encodeRange(0, hiCnt, total);
            prevSuccess_ = (2 * hiCnt > total);
            runLength_ += prevSuccess_;
            foundState_ = p;
            hiCnt += 4;
            setFreq(p, hiCnt);
            setSummFreq(ctx, summFreq(ctx) + 4);
            if (hiCnt > 124)
                rescale();
            return;
        }
        prevSuccess_ = 0;
        unsigned n = numStats(ctx);
        uint32_t lowCnt = freq(p);
        for (unsigned i = n - 1; i > 0; i--) {
            p += 6;
            if (symbol(p) == c) {
                encodeRange(lowCnt, lowCnt + freq(p), total);
                update1(p);
                return;
            }
            lowCnt += freq(p);
        }
        hiBitsFlag_ = hb2Flag_[symbol(foundState_)];
        encodeRange(lowCnt, total, total);
        numMasked_ = int(n);
        uint32_t s = stats(ctx);
        for (unsigned i = 0; i < n; i++, s += 6)
            charMask_[symbol(s)] = escCount_;
        foundState_ = 0;
    }

    void encodeSymbol2(uint8_t c)
    {
        uint32_t ctx = minContext_;
        unsigned n = numStats(ctx);
        int diff = int(n) - numMasked_;
        See *see;
        uint32_t total;
        if (n != 256) {
            uint32_t suf = suffix(ctx);
            see = &see2_[ns2Indx_[diff - 1]]
                        [(diff < int(numStats(suf)) - int(n)) + 2 * (summFreq(ctx) < 11 * n) +
                         4 * (numMasked_ > diff) + hiBitsFlag_];
            total = see->mean();
        } else {
            see = &dummySee_;
            total = 1;
        }
        std::vector<uint32_t> ps;
        uint32_t hiCnt = 0, lowCnt = 0, hit = 0;
        uint32_t p = stats(ctx);
        for (unsigned k = 0; k < n; k++, p += 6) {
            if (charMask_[symbol(p)] == escCount_)
                continue;
            if (symbol(p) == c) {
                hit = p;
                lowCnt = hiCnt;
            }
            hiCnt += freq(p);
            ps.push_back(p);
        }
        total += hiCnt;
        if (hit) {
            encodeRange(lowCnt, lowCnt + freq(hit), total);
            see->update();
            update2(hit);
        } else {
            encodeRange(hiCnt, total, total);
            for (uint32_t s : ps)
                charMask_[symbol(s)] = escCount_;
            see->summ = uint16_t(see->summ + total);
            numMasked_ = int(n);
        }
    }
};

#endif
