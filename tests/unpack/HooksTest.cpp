// The version 2.9 decoder's limits, driven by scripted stand-ins for the PPMd
// model and the filters.
#include <gtest/gtest.h>

#include "UnpackTestUtil.h"

#include <deque>

namespace {

// Hands out scripted values; the block header is one byte (skipped).
class ScriptedPpm : public Ppm29 {
public:
    std::deque<int> script;   // -1 once used up
    bool decodeInit(Unpacker &u, int32_t &) override
    {
        u.inPos++;
        return true;
    }
    int decodeChar() override
    {
        if (script.empty())
            return -1;
        int v = script.front();
        script.pop_front();
        return v;
    }
};

// May hold the flush back forever.
class ScriptedFilters : public Filters29 {
public:
    bool stall = false;
    void clear() override {}
    bool readFilterBits(Unpacker &) override { return true; }
    bool readFilterPpm(Unpacker &, Ppm29 &) override { return true; }
    bool pending() const override { return stall; }
    void flush(Unpacker &u) override {}   // never completes a block
};

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

// PPMd's largest expansion, forever: stops within a window of the size.
TEST(Hooks, EndlessPpmMatchesStop)
{
    HookRun r(ppmStart(), 5000);
    for (int i = 0; i < 40000; i++)
        r.ppm->script.insert(r.ppm->script.end(), { 2, 5, 255 });   // 259 bytes at distance 1
    r.run();
    EXPECT_LE(r.u.outDecoded, 5000 + kWindowSize + kFlushMargin);
    EXPECT_GT(r.u.outDecoded, 5000);
}

// A filter block that never completes holds the output back: decoding still
// stops once it passes the member's size by a window.
TEST(Hooks, StalledFilterFlushStillStops)
{
    TestTables t;
    t.ld['A'] = t.ld[256] = 1;
    BitWriter w;
    writeTables(w, t);
    std::vector<uint8_t> bytes = w.bytes(3 << 20);   // zero bits: 'A' again and again
    // A small member stops at the end of its smaller window, a large one a whole window past its size.
    struct Case { uint32_t size; int64_t least, most; } cases[] = { { 1000, 1000, (int64_t)kMinWindow + kFlushMargin },
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
        c = c == 2 ? 3 : c;
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
