// Filter records inside hand-built LZ streams, hostile ones among them.
#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "UnpackTestUtil.h"

TEST(FilterStream, RecordsInTheBitStreamFilterTheirBlocks)
{
    std::vector<uint8_t> want(300);
    for (size_t i = 0; i < want.size(); i++)
        want[i] = (uint8_t)(i * i / 7);
    Stream s;
    s.literalBytes({'a', 'b'});
    s.record(ppmFilterRecord(standardRecord(kDeltaProgram, 1, 0, 300, 2), true));
    s.literalBytes(deltaSource(want, 2));
    s.literal('z');
    DecodeResult r = decodeBytes(s.end(), 303);
    EXPECT_EQ(r.out, joined({{'a', 'b'}, want, {'z'}}));
    EXPECT_TRUE(r.guardIntact);

    // Record lengths 1..6 are coded in the first byte, 7..262 in one more byte.
    Stream t;
    t.record(ppmFilterRecord(standardRecord(kDeltaProgram, 1, 0, 4, 1), true));
    t.literalBytes({1, 1, 1, 1});
    t.ld.put(t.w, 257);   // three bytes: the same filter, start 0, the last length, R0 = 1
    t.w.put(0x12, 8);     // flags 0x10, length (2 & 7) + 1
    t.w.put(0, 6);
    t.w.put(1, 7);
    t.w.put(1, 6);
    t.w.put(0, 5);
    t.literalBytes({2, 2, 2, 2});
    EXPECT_EQ(decodeBytes(t.end(), 8).out, std::vector<uint8_t>({0xFF, 0xFE, 0xFD, 0xFC, 0xFE, 0xFC, 0xFA, 0xF8}));
}

TEST(FilterStream, HostileRecordsEndTheMemberSafely)
{
    const uint32_t size = 4096;
    std::vector<uint8_t> body(size);
    for (size_t i = 0; i < size; i++)
        body[i] = (uint8_t)(i * 31);
    struct Case { const char *program; uint32_t length; uint32_t r0; uint32_t r4; };
    const Case cases[] = {
        {kDeltaProgram, size, 0, 0},                  // zero channels
        {kAudioProgram, size, 0, 0},
        {kDeltaProgram, size, 0xFFFFFFFFu, 0},        // channels far beyond the block
        {kAudioProgram, size, 0x7FFFFFFFu, 0},
        {kRgbProgram, size, 1, 0},                    // widths below 3 and beyond the block
        {kRgbProgram, size, 0xFFFFFFFFu, 0},
        {kE8Program, 0x3FFFFF, 0, 0},                 // block length of the whole window
        {kE8E9Program, 0xFFFFFFFFu, 0, 0},            // and more than the window
        {kDeltaProgram, size, 4, 0xFFFFFFF0u},        // R4 claiming 4 GiB
        {kRgbProgram, size, 12, 0x3FFFFFu},
    };
    for (const Case &c : cases) {
        FilterRecordFields fields = standardRecord(c.program, 1, 0, c.length, c.r0);
        if (c.r4) {
            fields.registerMask |= 0x10;
            fields.registers[4] = c.r4;
        }
        Stream s;
        s.record(ppmFilterRecord(fields, true));
        s.literalBytes(body);
        DecodeResult r = decodeBytes(s.end(), size);
        EXPECT_TRUE(r.guardIntact) << c.program[0] << " " << c.length;
    }
}

TEST(FilterStream, FloodOfRecordsFailsTheMember)
{
    // 100,000 records, every one stacking an instance whose block lies far
    // ahead: the member fails once the pending instances reach their cap.
    Stream s;
    FilterRecordFields first = standardRecord(kDeltaProgram, 1, 0x100000, 64, 1);
    s.record(ppmFilterRecord(first, true));
    for (int i = 0; i < 100000; i++) {
        s.ld.put(s.w, 257);
        s.w.put(0x00, 8);      // no flags: the last filter, its last length; record of 1 byte
        s.w.put(0x00, 8);      // block start 0
    }
    s.literalBytes({1, 2, 3});
    DecodeResult r = decodeBytes(s.end(), 3);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_NE(r.out, std::vector<uint8_t>({1, 2, 3}));   // failed before the literals
}
