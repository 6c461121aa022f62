// Helpers of the filter tests: a most-significant-bit-first writer for filter
// records and programs, a PPMd stand-in that hands out prepared bytes, and
// the standard programs as they travel in real archives.
#ifndef MIRANDOL_FILTER_TEST_SUPPORT_H
#define MIRANDOL_FILTER_TEST_SUPPORT_H

#include "FilterMachine.h"
#include "Unpack.h"

#include <stdint.h>

#include <initializer_list>
#include <string>
#include <vector>

class FilterCodeWriter {
public:
    void bits(uint32_t value, uint32_t count)
    {
        for (uint32_t i = count; i-- > 0;) {
            if (bitCount_ % 8 == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= (uint8_t)(0x80 >> (bitCount_ % 8));
            bitCount_++;
        }
    }
    // The variable-length number, in its shortest form.
    void data(uint32_t v)
    {
        if (v < 16) {
            bits(0, 2); bits(v, 4);
        } else if (v < 256) {
            bits(1, 2); bits(v, 8);
        } else if (v < 65536) {
            bits(2, 2); bits(v, 16);
        } else {
            bits(3, 2); bits(v, 32);
        }
    }
    void byteArray(const std::vector<uint8_t> &b)
    {
        for (uint8_t x : b)
            bits(x, 8);
    }
    const std::vector<uint8_t> &bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint64_t bitCount_ = 0;
};

// Hands out a prepared byte sequence as if decoded by the PPMd model; -1 at the end.
class FeedPpm : public Ppm29 {
public:
    explicit FeedPpm(std::vector<uint8_t> bytes = {}) : bytes_(std::move(bytes)) {}
    bool decodeInit(Unpacker &, int32_t &) override { return false; }
    int decodeChar() override { return pos_ < bytes_.size() ? bytes_[pos_++] : -1; }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

std::vector<uint8_t> hexBytes(const std::string &hex);

// Standard programs as found in real archives.
extern const char *const kE8Program;
extern const char *const kE8E9Program;
extern const char *const kDeltaProgram;
extern const char *const kRgbProgram;
extern const char *const kAudioProgram;

// A generic program from commands already coded as bits: the check byte is
// computed so that the program is accepted.
std::vector<uint8_t> genericProgram(const FilterCodeWriter &body);

struct FilterRecordFields {
    uint32_t flags = 0;                 // 0x80 number, 0x40 +258, 0x20 length, 0x10 registers, 0x08 data
    uint32_t number = 1;                // coded as number (0 clears), when flags has 0x80
    uint32_t blockStart = 0;
    uint32_t blockLength = 0;
    uint32_t registerMask = 0;
    uint32_t registers[7] = {0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> code;          // for a new filter
    std::vector<uint8_t> globalData;    // with flag 0x08
};

// The whole record as the PPMd stream carries it (first byte, two length bytes, body).
std::vector<uint8_t> ppmFilterRecord(const FilterRecordFields &fields, bool newFilter);

// A new filter with a standard program: R0 set, block start and length given.
inline FilterRecordFields standardRecord(const char *program, uint32_t number, uint32_t start, uint32_t length,
                                         uint32_t r0)
{
    FilterRecordFields s;
    s.flags = 0x80 | 0x20 | 0x10;
    s.number = number;
    s.blockStart = start;
    s.blockLength = length;
    s.registerMask = 1;
    s.registers[0] = r0;
    s.code = hexBytes(program);
    return s;
}

// Source bytes that the delta filter with c channels turns into want.
inline std::vector<uint8_t> deltaSource(const std::vector<uint8_t> &want, uint32_t c)
{
    std::vector<uint8_t> src;
    for (uint32_t j = 0; j < c; j++) {
        uint8_t prev = 0;
        for (size_t i = j; i < want.size(); i += c) {
            src.push_back((uint8_t)(prev - want[i]));
            prev = want[i];
        }
    }
    return src;
}

inline std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> v;
    for (const auto &p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

inline void put32(std::vector<uint8_t> &v, size_t at, uint32_t x)
{
    v[at] = (uint8_t)x; v[at + 1] = (uint8_t)(x >> 8); v[at + 2] = (uint8_t)(x >> 16); v[at + 3] = (uint8_t)(x >> 24);
}
inline uint32_t get32(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }

// Runs prog over block with R0..R6 as given (R3 the global area, R4 the block
// length unless set) and returns the filtered bytes.
inline std::vector<uint8_t> runFilter(FilterMachine &vm, PreparedFilter &prog, const std::vector<uint8_t> &block,
                                      std::vector<uint32_t> regs = {}, uint64_t *executed = nullptr,
                                      uint64_t budget = kVmInstructionLimit)
{
    uint32_t r[7] = {0, 0, 0, kVmGlobalAddr, (uint32_t)block.size(), 0, 0};
    for (size_t i = 0; i < regs.size() && i < 7; i++)
        r[i] = regs[i];
    prog.globalData.assign(kVmFixedGlobalSize, 0);
    for (int i = 0; i < 7; i++) {
        prog.initR[i] = r[i];
        put32(prog.globalData, i * 4, r[i]);
    }
    put32(prog.globalData, 0x1C, (uint32_t)block.size());
    vm.init();
    vm.setMemory(0, block.data(), (uint32_t)block.size());
    uint64_t e = vm.execute(prog, budget);
    if (executed)
        *executed = e;
    return std::vector<uint8_t>(prog.filteredData, prog.filteredData + prog.filteredSize);
}

#endif
