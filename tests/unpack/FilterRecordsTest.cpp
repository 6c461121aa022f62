// Filter records fed as a PPMd block decodes them, the window filled by hand,
// and the flush writing the filtered blocks.
#include <gtest/gtest.h>

#include "FilterTestSupport.h"

#include <memory>

namespace {

struct Rig {
    std::vector<uint8_t> out;
    UnpackIo io;
    std::unique_ptr<Unpacker> u;

    explicit Rig(size_t outSize, uint32_t startPos = 0) : out(outSize)
    {
        io = UnpackIo{nullptr, 0, out.data(), (uint32_t)outSize};
        u.reset(new Unpacker(&io));
        u->filters = createFilters29();
        u->init(nullptr);
        u->setOutputSize(outSize);
        u->outPos = u->flushedPos = u->countedPos = startPos;
    }
    void put(const std::vector<uint8_t> &bytes)
    {
        for (uint8_t b : bytes) {
            u->window[u->outPos] = b;
            u->outPos = (u->outPos + 1) & kWindowMask;
        }
    }
    bool feed(const std::vector<uint8_t> &record)
    {
        FeedPpm f(record);
        return u->filters->readFilterPpm(*u, f);
    }
    bool record(const FilterRecordFields &s, bool isNew) { return feed(ppmFilterRecord(s, isNew)); }
    // Flushes and returns everything written so far.
    std::vector<uint8_t> flush()
    {
        u->flush29();
        return std::vector<uint8_t>(out.begin(), out.begin() + (out.size() - io.destinationLeft));
    }
};

std::vector<uint8_t> sample(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = (uint8_t)(i * seed + (i >> 3));
    return v;
}

// A record for the last filter used: no number, R0 set.
FilterRecordFields sameFilter(uint32_t flags, uint32_t r0)
{
    FilterRecordFields s;
    s.flags = flags | 0x10;
    s.registerMask = 1;
    s.registers[0] = r0;
    return s;
}

// A new generic program over blocks of four bytes.
FilterRecordFields genericRecord(const FilterCodeWriter &program, uint32_t flags)
{
    FilterRecordFields s;
    s.flags = 0x80 | 0x20 | flags;
    s.blockLength = 4;
    s.code = genericProgram(program);
    return s;
}

// Drops k bytes from the end of a record's body, keeping its length field right.
std::vector<uint8_t> cut(std::vector<uint8_t> r, size_t k)
{
    r.resize(r.size() - k);
    size_t body = r.size() - 3;
    r[1] = (uint8_t)(body >> 8);
    r[2] = (uint8_t)body;
    return r;
}

}  // namespace

TEST(FilterRecords, OffsetsRepeatedLengthsStackingAndClearing)
{
    Rig rig(1000);
    std::vector<uint8_t> want = sample(30, 3), gap(258, 0x55);
    std::vector<uint8_t> src = deltaSource(want, 3);
    ASSERT_TRUE(rig.record(standardRecord(kDeltaProgram, 1, 0, 30, 3), true));
    rig.put(src);
    // Same filter, start 0 + 258 behind the current position, length as before.
    ASSERT_TRUE(rig.record(sameFilter(0x40, 3), false));
    rig.put(gap);
    rig.put(src);
    EXPECT_EQ(rig.flush(), joined({want, gap, want}));
    EXPECT_FALSE(rig.u->filters->pending());

    // The same filter twice on one block: the second runs on the first's output.
    Rig stacked(100);
    ASSERT_TRUE(stacked.record(standardRecord(kDeltaProgram, 1, 0, 30, 1), true));
    ASSERT_TRUE(stacked.record(sameFilter(0, 1), false));
    stacked.put(deltaSource(deltaSource(want, 1), 1));
    EXPECT_EQ(stacked.flush(), want);

    // Number 0 clears every filter and defines filter 0 anew: the earlier instances are gone.
    Rig cleared(1000);
    ASSERT_TRUE(cleared.record(standardRecord(kDeltaProgram, 1, 0x1000, 30, 3), true));
    ASSERT_TRUE(cleared.record(standardRecord(kDeltaProgram, 2, 0x2000, 30, 3), true));
    ASSERT_TRUE(cleared.record(standardRecord(kDeltaProgram, 0, 0, 30, 1), true));
    cleared.put(deltaSource(want, 1));
    EXPECT_EQ(cleared.flush(), want);
    EXPECT_FALSE(cleared.u->filters->pending());
    // Only one filter exists now: number 3 (index 2) is out of range.
    EXPECT_FALSE(cleared.record(standardRecord(kDeltaProgram, 3, 0, 30, 1), false));
}

TEST(FilterRecords, BlocksWrapAroundTheWindowEndOrWaitForTheirBytes)
{
    Rig rig(200, kWindowSize - 10);
    std::vector<uint8_t> head = {9, 8, 7}, want = sample(64, 13);
    rig.put(head);
    ASSERT_TRUE(rig.record(standardRecord(kDeltaProgram, 1, 0, 64, 2), true));
    rig.put(deltaSource(want, 2));
    EXPECT_EQ(rig.flush(), joined({head, want}));
    EXPECT_EQ(rig.u->flushedPos, rig.u->outPos);

    Rig waits(100);
    waits.put(head);
    std::vector<uint8_t> src = deltaSource(want, 3);
    ASSERT_TRUE(waits.record(standardRecord(kDeltaProgram, 1, 0, 64, 3), true));
    waits.put(std::vector<uint8_t>(src.begin(), src.begin() + 10));
    EXPECT_EQ(waits.flush(), head);   // written up to the block start only
    waits.put(std::vector<uint8_t>(src.begin() + 10, src.end()));
    EXPECT_EQ(waits.flush(), joined({head, want}));
}

TEST(FilterRecords, MalformedRecordsFail)
{
    auto withData = [](size_t n) {
        FilterRecordFields s = standardRecord(kDeltaProgram, 1, 0, 30, 3);
        s.flags |= 0x08;
        s.globalData.assign(n, 1);
        return ppmFilterRecord(s, true);
    };
    FilterRecordFields noCode = standardRecord(kDeltaProgram, 1, 0, 30, 3);
    noCode.code.clear();
    const std::vector<std::vector<uint8_t>> records = {
        ppmFilterRecord(noCode, true),                                                  // code size 0
        cut(ppmFilterRecord(standardRecord(kDeltaProgram, 1, 0, 30, 3), true), 5),      // code past the record
        withData(0x10000),                                                              // data block over 0xFFFF
        cut(withData(100), 50),                                                         // data block past the record
        ppmFilterRecord(standardRecord(kDeltaProgram, 0xFFFFFFFFu, 0, 30, 3), true),    // number far beyond
        {0x87, 0, 40, 1}, {0x86},                                                       // the PPMd stream ends
    };
    for (size_t i = 0; i < records.size(); i++)
        EXPECT_FALSE(Rig(10).feed(records[i])) << i;
}

TEST(FilterRecords, DataBlockReachesTheGlobalArea)
{
    // A generic program copying the first data byte (global 0x40) to the output:
    // MOVZX R0, [0x3C040]; MOV [0], R0.
    FilterCodeWriter w;
    w.bits(0, 1);
    w.bits(32 + 24, 6);                                             // MOVZX, no byte mode
    w.bits(1, 1); w.bits(0, 3);                                     // R0
    w.bits(1, 2); w.bits(3, 2); w.data(0x3C040);                    // [0x3C040]
    w.bits(0, 4); w.bits(0, 1);                                     // MOV, word mode
    w.bits(1, 2); w.bits(3, 2); w.data(0);                          // [0]
    w.bits(1, 1); w.bits(0, 3);                                     // R0
    FilterRecordFields s = genericRecord(w, 0x08);
    s.globalData = {0xAB, 0xCD};
    Rig rig(10);
    ASSERT_TRUE(rig.record(s, true));
    rig.put({1, 1, 1, 1});
    EXPECT_EQ(rig.flush(), std::vector<uint8_t>({0xAB, 0, 0, 0}));
}

TEST(FilterRecords, HugeBlockLengthsStayBounded)
{
    Rig rig(0x10);
    ASSERT_TRUE(rig.record(standardRecord(kE8Program, 1, 0, 0x3FFFFF, 3), true));
    rig.u->outPos = 0x3FFFF0;   // the block is almost all decoded: not yet complete
    rig.flush();
    EXPECT_TRUE(rig.u->filters->pending());
    rig.u->outPos = 0x3FFFFF;   // complete: copied into the machine only as far as its memory reaches
    EXPECT_LE(rig.flush().size(), 0x10u);
    EXPECT_FALSE(rig.u->filters->pending());
}

// Records whose blocks lie far ahead: pending instances and definitions are
// capped, and the member stays failed once a cap is reached.
TEST(FilterRecords, PendingInstancesAndDefinitionsAreCapped)
{
    Rig rig(10);
    ASSERT_TRUE(rig.record(standardRecord(kDeltaProgram, 1, 0x100000, 30, 3), true));
    FilterRecordFields again;
    again.blockStart = 0x100000;
    std::vector<uint8_t> one = ppmFilterRecord(again, false);
    int accepted = 1;
    while (accepted < 100000 && rig.feed(one))
        accepted++;
    EXPECT_LT(accepted, 100000);
    EXPECT_FALSE(rig.feed(one));

    Rig defs(10);
    accepted = 0;
    while (accepted < 5000 && defs.record(standardRecord(kDeltaProgram, accepted + 1, 0x100000, 30, 3), true))
        accepted++;
    EXPECT_GE(accepted, 64);
    EXPECT_LT(accepted, 5000);
}

TEST(FilterRecords, InstructionsPerMemberAreCapped)
{
    // A looping program on many small blocks: each run stops at the per-run
    // limit, and the member fails once its own budget is spent.
    FilterCodeWriter w;
    w.bits(0, 1);
    w.bits(8 + 24, 6);            // JMP
    w.bits(0, 2); w.data(256);    // absolute 0
    FilterRecordFields s = genericRecord(w, 0);
    Rig rig(100);
    // Three definitions of the same program, so the first one's disarming does not help.
    for (uint32_t n = 1; n <= 3; n++) {
        s.number = n;
        ASSERT_TRUE(rig.record(s, true));
        rig.put({(uint8_t)n, 2, 3, 4});
    }
    rig.flush();
    EXPECT_TRUE(rig.u->outputDone());   // decoding stops here
    FilterRecordFields more;
    EXPECT_FALSE(rig.record(more, false));
}
