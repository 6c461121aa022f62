// The PPMd model, its sub-allocator, and PPMd blocks alone and inside version 2.9 members.
#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "PpmHeap.h"
#include "PpmModel.h"
#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"
#include "PpmTestEncoder.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Packed bytes from a vector; zeros past its end.
class VectorSource : public PpmByteSource {
public:
    explicit VectorSource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    int readByte() override
    {
        if (pos_ >= bytes_.size()) {
            exhausted = true;
            return 0;
        }
        return bytes_[pos_++];
    }
    size_t position() const { return pos_; }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

std::vector<uint8_t> header(uint8_t flags, int megabytesMinusOne, std::vector<uint8_t> rest)
{
    std::vector<uint8_t> v{flags};
    if (megabytesMinusOne >= 0)
        v.push_back(uint8_t(megabytesMinusOne));
    v.insert(v.end(), rest.begin(), rest.end());
    return v;
}

bool init(PpmModel &m, std::vector<uint8_t> bytes, int &esc)
{
    VectorSource src(std::move(bytes));
    return m.decodeInit(src, esc);
}

long residentKiB()
{
    long pages = 0, resident = 0;
    FILE *f = fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    fclose(f);
    return resident * 4;
}

// Text-like data: words from a small vocabulary with some noise bytes.
std::vector<uint8_t> sampleData(size_t size, uint32_t seed, int noisePercent)
{
    static const char *const words[] = {"magazine", "reader", "article", "picture", "page", "the", "of",
                                        "and", "scroll", "font", "archive", "member", "\n", ", ", ". "};
    std::mt19937 rng(seed);
    std::vector<uint8_t> v;
    while (v.size() < size) {
        if (int(rng() % 100) < noisePercent) {
            v.push_back(uint8_t(rng()));
        } else {
            const char *w = words[rng() % (sizeof words / sizeof *words)];
            v.insert(v.end(), w, w + strlen(w));
            v.push_back(' ');
        }
    }
    v.resize(size);
    return v;
}

// One PPMd block (1 MiB heap, escape byte 2) holding data.
std::vector<uint8_t> encodedBlock(const std::vector<uint8_t> &data, int order)
{
    PpmTestEncoder e;
    e.startBlock(order, 1, -1, false);
    for (uint8_t b : data)
        e.encodeChar(b);
    e.flush();
    return e.out;
}

void encodeAll(PpmTestEncoder &e, std::initializer_list<int> values)
{
    for (int v : values)
        e.encodeChar(v);
}

void encodeText(PpmTestEncoder &e, const std::string &s)
{
    for (unsigned char c : s)
        e.encodeChar(c);
}

// Reaches into the range decoder.
struct CoderProbe : PpmModel {
    bool failedAfterNormalize(uint32_t low, uint32_t range, PpmByteSource &src)
    {
        source_ = &src;
        low_ = low;
        range_ = range;
        coderFailed_ = false;
        normalize();
        return coderFailed_;
    }
    // Starts a model on packed, then sets the coder's range and the first
    // context's summary frequency before the first byte: true when that byte
    // fails the coder.
    // Position of sym's state in a context of n states (symbols 1..n) that
    // has sym as the state record just past its end, relative to the array.
    long lookUp(unsigned n, uint8_t sym)
    {
        heap_.startHeap(1);
        const uint32_t ctx = heap_.allocContext(), st = heap_.allocUnits(128);
        setNumStats(ctx, n);
        setStats(ctx, st);
        for (unsigned i = 0; i <= n; i++)
            storeState(st + i * 6, State{uint8_t(i < n ? i + 1 : sym), 1, 0});
        const uint32_t at = findState(ctx, sym);
        return at ? long(at - st) : -1;
    }
    bool firstByteFailsCoder(const std::vector<uint8_t> &packed, uint32_t range, uint16_t total)
    {
        VectorSource src(packed);
        int esc = 2;
        if (!decodeInit(src, esc))
            return false;
        range_ = range;
        setSummFreq(minContext_, total);
        return decodeChar() == -1 && coderFailed_;
    }
};

}  // namespace

TEST(PpmHeap, AllocatesFreesReusesAndRunsOut)
{
    PpmHeap heap;
    ASSERT_TRUE(heap.startHeap(1));
    uint32_t u5 = heap.allocUnits(5);   // rounded up to the 6-unit class
    heap.freeUnits(u5, 6);
    EXPECT_EQ(u5, heap.allocUnits(6));
    EXPECT_EQ(u5, heap.expandUnits(u5, 5));   // within its class the block stays
    EXPECT_NE(u5, heap.expandUnits(u5, 6));   // across classes it moves, and the old block is free
    EXPECT_EQ(u5, heap.allocUnits(6));
    uint32_t big = heap.allocUnits(12);       // shrinking with an empty list splits in place
    EXPECT_EQ(big, heap.shrinkUnits(big, 12, 4));
    EXPECT_EQ(big + 4 * 12, heap.allocUnits(8));

    heap.initHeap();
    std::vector<uint32_t> blocks;
    while (heap.loUnit != heap.hiUnit)
        blocks.push_back(heap.allocUnits(1));
    heap.freeUnits(blocks[10], 1);   // two free neighbours glue into a 2-unit block
    heap.freeUnits(blocks[11], 1);
    EXPECT_EQ(blocks[10], heap.allocUnits(2));
    uint32_t unitsStart = heap.unitsStart;    // nothing free: taken from the end of the text area
    EXPECT_EQ(unitsStart - 4 * 12, heap.allocUnits(4));
    heap.pText = heap.unitsStart - 12;        // until that is gone
    EXPECT_EQ(0u, heap.allocUnits(4));
    EXPECT_EQ(0u, heap.allocContext());
    heap.initHeap();
    EXPECT_NE(0u, heap.allocContext());
}

TEST(PpmHeap, LargeHeapIsNotTouchedUpFrontAndSizesAreBounded)
{
    long before = residentKiB();
    PpmHeap heap;
    ASSERT_TRUE(heap.startHeap(256));
    heap.allocContext();
    heap.allocUnits(128);
    EXPECT_LT(residentKiB() - before, 16 * 1024);
    EXPECT_FALSE(heap.startHeap(0));
    EXPECT_FALSE(heap.startHeap(257));
}

TEST(PpmHeap, SmallerHeapReusesTheMappingWithACleanEnd)
{
    PpmHeap heap;
    ASSERT_TRUE(heap.startHeap(4));
    // Junk where the end of a 1 MiB heap will be, as a bigger model may leave it.
    std::memset(heap.mem + heap.heapStart + (1 << 20) - 64, 0xFF, 8192);
    ASSERT_TRUE(heap.startHeap(1));
    EXPECT_EQ(heap.heapStart + (1u << 20) / 12 * 12, heap.heapEnd);
    for (uint32_t i = 0; i < 4096; i++)
        ASSERT_EQ(0, heap.mem[heap.heapStart + (1 << 20) + i]) << i;
    EXPECT_EQ(heap.heapStart + (1u << 20) - 12, heap.allocContext());
    for (uint32_t mb : {3u, 8u}) {   // growing again within the mapping and beyond it
        ASSERT_TRUE(heap.startHeap(mb));
        EXPECT_EQ(mb << 20, heap.allocatedSize());
    }
    EXPECT_EQ(heap.heapStart + (8u << 20) - 12, heap.allocContext());
}

// A heap's mapping is kept for the next heap of the thread, which lays
// itself out in it as in a new one.
TEST(PpmHeap, NextHeapTakesTheKeptMappingWithTheSameLayout)
{
    PpmHeap::releaseKept();
    uint8_t *first;
    {
        PpmHeap heap;
        ASSERT_TRUE(heap.startHeap(2));
        first = heap.mem;
        std::memset(heap.mem, 0xFF, (2 << 20) + 8192);   // junk up to past a 1 MiB heap's end
    }
    PpmHeap heap;
    ASSERT_TRUE(heap.startHeap(1));
    EXPECT_EQ(first, heap.mem);
    EXPECT_EQ(12u, heap.heapStart);   // one unit
    EXPECT_EQ(heap.heapStart + (1u << 20) / 12 * 12, heap.heapEnd);
    for (uint32_t i = 0; i < 4096; i++)
        ASSERT_EQ(0, heap.mem[heap.heapStart + (1 << 20) + i]) << i;
    EXPECT_EQ(heap.heapStart + (1u << 20) - 12, heap.allocContext());
}

// The order coding is checked by the round trips below.
TEST(PpmModel, HeaderSelectsHeapAndEscapeOrFails)
{
    PpmModel m;
    int esc = 2;
    EXPECT_TRUE(init(m, header(0x60 | 7, 4, {0x17, 0, 0, 0, 0}), esc));
    EXPECT_EQ(0x17, esc);
    EXPECT_EQ(5u << 20, m.heapSize());
    // A block without reset continues the model, keeping the escape byte.
    EXPECT_TRUE(init(m, header(0x00, -1, {0, 0, 0, 0}), esc));
    EXPECT_EQ(0x17, esc);
    EXPECT_EQ(8, m.maxOrder());
    // Order 1 frees the heap and fails; a following block without reset fails too.
    EXPECT_FALSE(init(m, header(0x20, 0, {0, 0, 0, 0}), esc));
    EXPECT_EQ(0u, m.heapSize());
    EXPECT_EQ(-1, m.decodeChar());
    EXPECT_FALSE(init(m, header(0x00, -1, {0, 0, 0, 0}), esc));

    PpmModel fresh;   // no reset and no model yet
    EXPECT_FALSE(init(fresh, header(0x05, -1, {0, 0, 0, 0}), esc));
    EXPECT_EQ(-1, fresh.decodeChar());
    PpmModel cut;
    EXPECT_FALSE(init(cut, header(0x20 | 5, 0, {0}), esc));
}

TEST(PpmModel, ExhaustedOrDamagedInputFailsWithoutHanging)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 60; round++) {
        std::vector<uint8_t> bytes(size_t(4 + rng() % 3000));
        for (auto &b : bytes)
            b = uint8_t(rng());
        if (round % 3 == 0)
            std::fill(bytes.begin() + bytes.size() / 2, bytes.end(), 0xFF);
        PpmModel m;
        VectorSource src(header(uint8_t(0x20 | (rng() % 32)), int(rng() % 4), bytes));
        int esc = 2;
        if (!m.decodeInit(src, esc))
            continue;
        long decoded = 0;
        while (m.decodeChar() >= 0)
            ASSERT_LT(++decoded, 50L * long(bytes.size()) + 100000) << round;
    }
}

TEST(PpmModel, EmptyRangeOrZeroTotalFailsInsteadOfLoopingOrDividing)
{
    CoderProbe p;
    VectorSource src(std::vector<uint8_t>(64, 0x55));
    // A zero-sized interval (a symbol of frequency 0) leaves an empty range.
    EXPECT_TRUE(p.failedAfterNormalize(0x12345678u, 0, src));
    EXPECT_TRUE(p.failedAfterNormalize(0, 0, src));
    EXPECT_FALSE(p.failedAfterNormalize(0x12345678u, 0x100u, src));
    const std::vector<uint8_t> packed = encodedBlock(sampleData(200, 1, 0), 4);
    EXPECT_TRUE(p.firstByteFailsCoder(packed, 0x10000, 0));
    EXPECT_TRUE(p.firstByteFailsCoder(packed, 0x100, 0x200));   // range / total would be 0
    EXPECT_FALSE(p.firstByteFailsCoder(packed, 0xFFFFFFFFu, 257));
}

TEST(PpmModel, SymbolLookupStopsAtTheLastState)
{
    CoderProbe p;
    for (unsigned n : {2u, 7u, 8u, 9u, 16u, 17u, 255u}) {
        EXPECT_EQ(-1, p.lookUp(n, 0)) << n;   // the record behind the array is not a state
        EXPECT_EQ(long(n - 1) * 6, p.lookUp(n, uint8_t(n))) << n;
        EXPECT_EQ(0, p.lookUp(n, 1)) << n;
    }
}

TEST(PpmModel, ReadingPastTheInputFailsTheBlock)
{
    std::vector<uint8_t> data = sampleData(3000, 3, 5);
    std::vector<uint8_t> packed = encodedBlock(data, 8);
    // Without its last bytes the block fails where the coder runs out, and
    // stays failed; it never decodes on from zeros.
    VectorSource src(std::vector<uint8_t>(packed.begin(), packed.end() - 6));
    PpmModel m;
    int esc = 2;
    ASSERT_TRUE(m.decodeInit(src, esc));
    size_t good = 0;
    int c;
    while ((c = m.decodeChar()) >= 0 && good < data.size())
        good++;
    EXPECT_EQ(-1, c);
    EXPECT_TRUE(src.exhausted);
    EXPECT_LT(good, data.size());
    EXPECT_EQ(-1, m.decodeChar());
}

TEST(PpmFixtures, OutputMatchesReferenceFile)
{
    auto cbr = readRarTestArchive(fixturePath("v29-ppmd/testfile.rar3.cbr"));
    ASSERT_FALSE(cbr.empty());
    EXPECT_EQ(readFile(fixturePath("expected/testfile.rar3.cbr.testfile.jpg")),
              decodeBytes(cbr[0].packed, cbr[0].unpSize).out);
}

TEST(PpmFixtures, HugeModelOnATinyMemberStaysSmall)
{
    auto members = readRarTestArchive(fixturePath("damaged/hostile-maxmb255.rar"));
    ASSERT_FALSE(members.empty());
    // The first 20 packed bytes alone: the header asks for 256 MiB.
    std::vector<uint8_t> tiny(members[0].packed.begin(), members[0].packed.begin() + 20);
    long before = residentKiB();
    DecodeResult r = decodeBytes(tiny, members[0].unpSize);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_NE(members[0].crc, r.crc);
    EXPECT_LT(residentKiB() - before, 64 * 1024);
}

// Patched PPMd streams: no crash, no hang, nothing written past the member.
TEST(PpmFixtures, HostileStreamsFailCleanly)
{
    for (const char *archive : {"damaged/hostile-ppm-decodechar.rar", "damaged/hostile-ppm-ps-collect.rar",
                                "damaged/hostile-ppm-ps-count.rar", "damaged/corrupted.rar"})
        for (const auto &m : readRarTestArchive(fixturePath(archive)))
            if (m.method != 0x30 && !m.packed.empty() && !m.directory()) {
                EXPECT_TRUE(decodeBytes(m.packed, m.unpSize).guardIntact) << archive;
            }
}

TEST(PpmRoundTrip, OrdersAndHeapSizes)
{
    std::vector<uint8_t> data = sampleData(60000, 1, 3);
    for (int order : {2, 3, 4, 6, 8, 16, 19, 37, 64}) {
        std::vector<uint8_t> packed = encodedBlock(data, order);
        PpmModel m;
        VectorSource src(packed);
        int esc = 2;
        ASSERT_TRUE(m.decodeInit(src, esc)) << order;
        EXPECT_EQ(order, m.maxOrder());
        size_t i = 0;
        while (i < data.size() && m.decodeChar() == data[i])
            i++;
        EXPECT_EQ(data.size(), i) << "order " << order;
        // The whole stream is read exactly; the coder never looks past its end.
        EXPECT_EQ(packed.size(), src.position()) << "order " << order;
        EXPECT_FALSE(src.exhausted) << "order " << order;
    }
}

TEST(PpmRoundTrip, FullSmallHeapRestartsTheModelInStep)
{
    // Noisy data at a high order exhausts a 1 MiB heap several times.
    std::vector<uint8_t> data = sampleData(150000, 5, 60);
    uint32_t restarts = 0;
    std::vector<uint8_t> packed = PpmTestEncoder::member(data, 64, 1, &restarts);
    EXPECT_GE(restarts, 2u);
    DecodeResult r = decodeBytes(packed, uint32_t(data.size()));
    EXPECT_FALSE(r.needsExtension);
    EXPECT_TRUE(r.out == data);
    // With a roomy heap the same data never restart the model.
    uint32_t none = 1;
    std::vector<uint8_t> part(data.begin(), data.begin() + 40000);
    std::vector<uint8_t> roomy = PpmTestEncoder::member(part, 64, 64, &none);
    EXPECT_EQ(0u, none);
    EXPECT_TRUE(decodeBytes(roomy, uint32_t(part.size())).out == part);
    // The escape byte itself in the data.
    data.resize(5000);
    for (size_t i = 0; i < data.size(); i += 37)
        data[i] = 2;
    EXPECT_TRUE(decodeBytes(PpmTestEncoder::member(data, 8, 1), uint32_t(data.size())).out == data);
}

TEST(PpmStream, EscapesMatchesAndSwitchesBetweenBlockKinds)
{
    PpmTestEncoder e;
    std::string x = "hello world ";
    auto copy = [&x](size_t length, size_t distance) {
        for (size_t i = 0; i < length; i++)
            x.push_back(x[x.size() - distance]);
    };
    e.startBlock(8, 1);
    encodeText(e, x);
    encodeAll(e, {2, 5, 10});   // escape 5: a run of value + 4 bytes at distance 1
    copy(14, 1);
    encodeAll(e, {2, 4, 0, 0, 11, 3});   // escape 4: 24-bit distance (+2) and length (+32)
    copy(35, 13);
    encodeAll(e, {2, 1, 2, 9});   // escape 1 (or any unassigned value): the escape byte itself
    x += "\x02\x02";
    encodeAll(e, {2, 0});   // escape 0: new tables; an LZ block follows
    e.flush();
    std::vector<uint8_t> packed = e.out;

    Stream lzBlock;
    lzBlock.literals("LZ!");
    x += "LZ!";
    lzBlock.ld.put(lzBlock.w, 256);
    lzBlock.w.put(1, 1);   // new tables follow: a PPMd block continuing the model
    std::vector<uint8_t> lz = lzBlock.w.bytes(0);
    packed.insert(packed.end(), lz.begin(), lz.end());

    e.out.clear();
    e.continueBlock(0x7E);   // and a new escape byte
    encodeText(e, "more\x02text");
    encodeAll(e, {0x7E, 1, 0x7E, 2});   // the escape byte, then the end of the data
    x += "more\x02text\x7E";
    e.flush();
    packed.insert(packed.end(), e.out.begin(), e.out.end());

    DecodeResult r = decodeBytes(packed, uint32_t(x.size()));
    EXPECT_FALSE(r.needsExtension);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_EQ(x, std::string(r.out.begin(), r.out.end()));
}

TEST(PpmStream, BlockWithoutModelOrderOneAndBrokenFilterRecordStopTheMember)
{
    // A first block without the reset flag: there is no model to continue.
    DecodeResult r = decodeBytes({0x80 | 0x07, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 100);
    EXPECT_EQ(std::vector<uint8_t>(100, 0), r.out);

    // Order 1 after a good block drops the heap: what was decoded before stays.
    PpmTestEncoder e;
    e.startBlock(6, 1);
    encodeText(e, "kept");
    encodeAll(e, {2, 0});
    e.flush();
    e.out.insert(e.out.end(), {0x80 | 0x20, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(std::vector<uint8_t>({'k', 'e', 'p', 't', 0, 0, 0, 0}), decodeBytes(e.out, 8).out);

    // A filter record whose fields run out.
    PpmTestEncoder f;
    f.startBlock(6, 1);
    encodeText(f, "filtered?");
    encodeAll(f, {2, 3, 0x80 | 0x07});
    f.flush();
    r = decodeBytes(f.out, 64);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_EQ("filtered?", std::string(r.out.begin(), r.out.begin() + 9));
}

TEST(PpmStream, FilterRecordInsideAPpmdBlockFiltersItsBlock)
{
    std::vector<uint8_t> want(300);
    for (size_t i = 0; i < want.size(); i++)
        want[i] = uint8_t(i * 7 + (i >> 4));
    PpmTestEncoder e;
    e.startBlock(8, 1);
    auto literals = [&](const std::vector<uint8_t> &bytes) {
        for (uint8_t b : bytes)
            b == 2 ? encodeAll(e, {2, 1}) : e.encodeChar(b);
    };
    const std::string head = "head of the member, then a filtered block: ", tail = " and the tail.";
    literals({head.begin(), head.end()});
    encodeAll(e, {2, 3});
    for (uint8_t b : ppmFilterRecord(standardRecord(kDeltaProgram, 1, 0, uint32_t(want.size()), 3), true))
        e.encodeChar(b);
    literals(deltaSource(want, 3));
    literals({tail.begin(), tail.end()});
    encodeAll(e, {2, 2});
    e.flush();

    std::vector<uint8_t> expect = joined({{head.begin(), head.end()}, want, {tail.begin(), tail.end()}});
    DecodeResult r = decodeBytes(e.out, uint32_t(expect.size()));
    EXPECT_FALSE(r.needsExtension);
    EXPECT_TRUE(r.out == expect);
}
