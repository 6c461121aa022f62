// The points where the filter machine and the PPMd model plug into the
// version 2.9 decoder, driven by scripted stand-ins.
#include <gtest/gtest.h>

#include "BitWriter.h"
#include "UnpackTestUtil.h"

#include <deque>
#include <string>

namespace {

// Hands out scripted values; the block header is one byte (skipped).
class ScriptedPpm : public Ppm29 {
public:
    std::deque<int> script;
    int fill = -1;          // value once the script is used up
    int inits = 0;
    bool decodeInit(Unpacker &u, int32_t &escChar) override
    {
        inits++;
        u.inPos++;          // the header byte
        return true;
    }
    int decodeChar() override
    {
        if (script.empty())
            return fill;
        int v = script.front();
        script.pop_front();
        return v;
    }
};

// Reads a one-byte record; may hold the flush back forever.
class ScriptedFilters : public Filters29 {
public:
    std::vector<uint32_t> recordBytes;
    bool stall = false;
    void clear() override {}
    bool readFilterBits(Unpacker &u) override
    {
        recordBytes.push_back(u.readBits(8));
        return true;
    }
    bool readFilterPpm(Unpacker &u, Ppm29 &ppm) override
    {
        recordBytes.push_back((uint32_t)ppm.decodeChar());
        return true;
    }
    bool pending() const override { return stall; }
    void flush(Unpacker &u) override {}   // never completes a block
};

// The scripted stand-ins take the place of the real PPMd model and filters.
struct HookRun : UnpackRun {
    ScriptedPpm *ppm = new ScriptedPpm;
    ScriptedFilters *filters = new ScriptedFilters;
    HookRun(const std::vector<uint8_t> &bytes, uint32_t size) : UnpackRun(bytes, size)
    {
        u.ppm.reset(ppm);
        u.filters.reset(filters);
    }
};

std::vector<uint8_t> ppmStart() { return std::vector<uint8_t>(64, 0x80); }

}  // namespace

TEST(Hooks, PpmErrorStopsAndKeepsWhatWasDecoded)
{
    HookRun r(ppmStart(), 10);
    r.ppm->script = { 'o', 'k', -1, 'n', 'o' };
    r.run();
    EXPECT_TRUE(r.u.ppmError);
    EXPECT_EQ("ok", r.text(2));
    EXPECT_EQ(0, r.out[2]);
}

TEST(Hooks, PpmSwitchesToLzAndFilterRecordsReachTheFilters)
{
    // PPMd header byte, then (after escape 0) an LZ table header with a
    // filter record and two literals.
    BitWriter w;
    w.put(0x80, 8);
    TestTables t = TestTables::full();
    writeTables(w, t);
    TestCode ld(t.ld);
    ld.put(w, 257);
    w.put(0xA7, 8);            // the record, read by the filters
    ld.put(w, 'L');
    ld.put(w, 'Z');
    ld.put(w, 256);
    w.put(0, 2);
    HookRun r(w.bytes(), 6);
    r.ppm->script = { 'P', 2, 3, 0x5C, 'M', 2, 0 };
    r.run();
    EXPECT_EQ("PMLZ", r.text(4));
    EXPECT_EQ((std::vector<uint32_t>{ 0x5C, 0xA7 }), r.filters->recordBytes);
    EXPECT_EQ(1, r.ppm->inits);
    EXPECT_EQ(0, r.u.blockType);
}

// PPMd's largest expansion, forever: stops within a window of the size.
TEST(Hooks, EndlessPpmMatchesStop)
{
    HookRun r(ppmStart(), 5000);
    for (int i = 0; i < 40000; i++) {
        r.ppm->script.push_back(2);      // escape, 5, 255: 259 bytes at distance 1
        r.ppm->script.push_back(5);
        r.ppm->script.push_back(255);
    }
    r.run();
    EXPECT_LE(r.u.outDecoded, 5000 + kWindowSize + kFlushMargin);
    EXPECT_GT(r.u.outDecoded, 5000);
}

// A filter block that never completes holds the output back: decoding still
// stops once it passes the member's size by a window.
TEST(Hooks, StalledFilterFlushStillStops)
{
    TestTables t;
    t.ld['A'] = 1;
    t.ld[256] = 1;
    BitWriter w;
    writeTables(w, t);
    std::vector<uint8_t> bytes = w.bytes(3 << 20);   // zero bits: 'A' again and again
    // A small member stops at the end of its smaller window; one needing the
    // whole window stops a whole window past its size.
    struct Case {
        uint32_t size;
        int64_t least, most;
    } cases[] = { { 1000, 1000, (int64_t)kMinWindow + kFlushMargin },
                  { 3 << 20, (3 << 20) + (int64_t)kWindowSize, (3 << 20) + 2 * (int64_t)kWindowSize } };
    for (const Case &c : cases) {
        HookRun r(bytes, c.size);
        r.filters->stall = true;
        r.run();
        EXPECT_GT(r.u.outDecoded, c.least) << c.size;
        EXPECT_LE(r.u.outDecoded, c.most) << c.size;
        EXPECT_EQ(0, r.out[0]) << c.size;      // nothing was written out
    }
}

// The longest single step (a 287-byte PPMd match) at every distance from the
// flush point, across several window wraps: nothing unflushed is overwritten.
TEST(Hooks, LongestStepsAcrossWindowWrapsKeepTheOutput)
{
    std::vector<uint8_t> expect;
    std::deque<int> script;
    uint32_t x = 5;
    auto rnd = [&x](uint32_t n) {
        x = x * 1103515245u + 12345u;
        return (x >> 8) % n;
    };
    auto literal = [&](uint8_t c) {
        if (c == 2)
            c = 3;
        script.push_back(c);
        expect.push_back(c);
    };
    for (int i = 0; i < 1000; i++)
        literal((uint8_t)rnd(256));
    const size_t total = 2 * kWindowSize + 300000;
    while (expect.size() < total) {
        if (rnd(7) == 0)
            literal((uint8_t)rnd(256));
        uint32_t distance = 2 + 300 + rnd(700);
        script.insert(script.end(), { 2, 4, 0, (int)((distance - 2) >> 8), (int)((distance - 2) & 0xFF), 255 });
        for (int i = 0; i < 287; i++)
            expect.push_back(expect[expect.size() - distance]);
    }
    script.insert(script.end(), { 2, 2 });
    HookRun r(ppmStart(), (uint32_t)expect.size());
    r.ppm->script = std::move(script);
    r.run();
    ASSERT_EQ((int64_t)expect.size(), r.u.outDecoded);
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), r.out.begin()));
}
