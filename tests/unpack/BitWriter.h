// Test-only writer of version 2.9 streams: bits most significant first,
// canonical codes from bit lengths, and the table header.
#ifndef MIRANDOL_BIT_WRITER_H
#define MIRANDOL_BIT_WRITER_H

#include <cstdint>
#include <vector>

class BitWriter {
public:
    void put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; i--) {
            if (bit_ == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= (uint8_t)(0x80 >> bit_);
            bit_ = (bit_ + 1) & 7;
        }
    }
    void align() { bit_ = 0; }
    std::vector<uint8_t> bytes(size_t zeroPadding = 8) const
    {
        std::vector<uint8_t> out = bytes_;
        out.insert(out.end(), zeroPadding, 0);
        return out;
    }
    size_t bitCount() const { return bytes_.size() * 8 - (bit_ ? 8 - bit_ : 0); }

private:
    std::vector<uint8_t> bytes_;
    int bit_ = 0;
};

// Canonical codes for a set of bit lengths, assigned by length and then by
// symbol, as the decoder's tables expect.
struct TestCode {
    std::vector<uint8_t> lengths;
    std::vector<uint32_t> codes;
    explicit TestCode(const std::vector<uint8_t> &len) : lengths(len), codes(len.size(), 0)
    {
        uint32_t count[16] = { 0 };
        for (uint8_t l : len)
            count[l & 15]++;
        count[0] = 0;
        uint32_t next[16] = { 0 };
        uint32_t n = 0;
        for (int l = 1; l < 16; l++) {
            next[l] = n;            // first code of this length
            n = 2 * (n + count[l]);
        }
        for (size_t s = 0; s < len.size(); s++)
            if (len[s])
                codes[s] = next[len[s]]++;
    }
    void put(BitWriter &w, uint32_t symbol) const { w.put(codes[symbol], lengths[symbol]); }
};

// The four alphabets of an LZ block.
struct TestTables {
    std::vector<uint8_t> ld = std::vector<uint8_t>(299, 0);
    std::vector<uint8_t> dd = std::vector<uint8_t>(60, 0);
    std::vector<uint8_t> ldd = std::vector<uint8_t>(17, 0);
    std::vector<uint8_t> rd = std::vector<uint8_t>(28, 0);

    // Every symbol used, with lengths 9, 6, 5 and 5.
    static TestTables full()
    {
        TestTables t;
        t.ld.assign(299, 9);
        t.dd.assign(60, 6);
        t.ldd.assign(17, 5);
        t.rd.assign(28, 5);
        return t;
    }
    std::vector<uint8_t> all() const
    {
        std::vector<uint8_t> v(ld);
        v.insert(v.end(), dd.begin(), dd.end());
        v.insert(v.end(), ldd.begin(), ldd.end());
        v.insert(v.end(), rd.begin(), rd.end());
        return v;
    }
};

// Writes an LZ table header at a byte boundary. Each of the 404 lengths is
// sent as (length - previous length) modulo 16 when keepOld is set, else as
// is; bit-length code: all 20 symbols 5 bits long.
inline void writeTables(BitWriter &w, const TestTables &t, bool keepOld = false,
                        const TestTables *old = nullptr)
{
    w.align();
    w.put(0, 1);
    w.put(keepOld ? 1 : 0, 1);
    std::vector<uint8_t> bd(20, 5);
    for (int i = 0; i < 20; i++)
        w.put(5, 4);
    TestCode bc(bd);
    std::vector<uint8_t> now = t.all();
    std::vector<uint8_t> before = old ? old->all() : std::vector<uint8_t>(404, 0);
    for (size_t i = 0; i < 404; i++)
        bc.put(w, (uint32_t)((now[i] - (keepOld ? before[i] : 0)) & 15));
}

#endif
