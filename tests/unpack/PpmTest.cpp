// The PPMd model, its sub-allocator and PPMd blocks of real version 2.9 archives.
#include <gtest/gtest.h>

#include "PpmHeap.h"
#include "PpmModel.h"
#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"

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

}  // namespace

// ---- sub-allocator ----

TEST(PpmHeap, SizeClassesAndLayout)
{
    // Classes grow by 1, 2 and 3 units four times each, then by 4 up to 128;
    // a request takes the smallest class that holds it.
    int units = 0;
    for (int i = 0; i < PpmHeap::N_INDEXES; i++) {
        int previous = units;
        units += i < 4 ? 1 : i < 8 ? 2 : i < 12 ? 3 : 4;
        EXPECT_EQ(units, PpmHeap::indexToUnits(i)) << i;
        for (int u = previous + 1; u <= units; u++)
            EXPECT_EQ(i, PpmHeap::unitsToIndex(u)) << u;
    }
    EXPECT_EQ(128, units);

    PpmHeap heap;
    ASSERT_TRUE(heap.startHeap(1));
    const uint32_t size = 1 << 20;
    EXPECT_EQ(size, heap.allocatedSize());
    EXPECT_EQ(heap.heapStart, heap.pText);
    EXPECT_EQ(heap.heapStart + size, heap.hiUnit);
    EXPECT_EQ(heap.hiUnit - 84 * (size / 8 / 12), heap.unitsStart);
    EXPECT_EQ(heap.unitsStart, heap.loUnit);
    EXPECT_EQ(heap.heapStart + size / 12 * 12, heap.heapEnd);
}

TEST(PpmHeap, ContextsFromTheTopUnitsFromTheBottomAndFreedBlocksReused)
{
    PpmHeap heap;
    ASSERT_TRUE(heap.startHeap(1));
    uint32_t top = heap.hiUnit;
    uint32_t c1 = heap.allocContext();
    EXPECT_EQ(top - 12, c1);
    uint32_t low = heap.loUnit;
    uint32_t u5 = heap.allocUnits(5);   // rounded up to the 6-unit class
    EXPECT_EQ(low, u5);
    EXPECT_EQ(low + 6 * 12, heap.loUnit);
    heap.freeUnits(u5, 6);
    EXPECT_EQ(u5, heap.allocUnits(6));
    // Growing inside the same class keeps the block; across classes it moves.
    EXPECT_EQ(u5, heap.expandUnits(u5, 5));
    uint32_t moved = heap.expandUnits(u5, 6);
    EXPECT_NE(u5, moved);
    EXPECT_EQ(u5, heap.allocUnits(6));   // the old block went back to its list
    // Shrinking to a smaller class with an empty list splits the block in place.
    uint32_t big = heap.allocUnits(12);
    EXPECT_EQ(big, heap.shrinkUnits(big, 12, 4));
    EXPECT_EQ(big + 4 * 12, heap.allocUnits(8));
}

TEST(PpmHeap, ExhaustionGluesFreeBlocksThenBorrowsFromTheTextArea)
{
    PpmHeap heap;
    ASSERT_TRUE(heap.startHeap(1));
    // Use up the unit area with 1-unit blocks.
    std::vector<uint32_t> blocks;
    while (heap.loUnit != heap.hiUnit)
        blocks.push_back(heap.allocUnits(1));
    ASSERT_GT(blocks.size(), 1000u);
    // Free two neighbours: only gluing makes a 2-unit block of them.
    heap.freeUnits(blocks[10], 1);
    heap.freeUnits(blocks[11], 1);
    EXPECT_EQ(blocks[10], heap.allocUnits(2));
    // Nothing free: taken from the end of the text area.
    uint32_t unitsStart = heap.unitsStart;
    uint32_t borrowed = heap.allocUnits(4);
    EXPECT_EQ(unitsStart - 4 * 12, borrowed);
    EXPECT_EQ(borrowed, heap.unitsStart);
    // Until the text area is gone.
    heap.pText = heap.unitsStart - 12;
    EXPECT_EQ(0u, heap.allocUnits(4));
    EXPECT_EQ(0u, heap.allocContext());
    // A fresh start forgets everything.
    heap.initHeap();
    EXPECT_EQ(heap.heapStart, heap.pText);
    EXPECT_NE(0u, heap.allocContext());
}

TEST(PpmHeap, LargeHeapIsNotTouchedUpFront)
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
    EXPECT_EQ(1u << 20, heap.allocatedSize());
    EXPECT_EQ(heap.heapStart + (1u << 20) / 12 * 12, heap.heapEnd);
    for (uint32_t i = 0; i < 4096; i++)
        ASSERT_EQ(0, heap.mem[heap.heapStart + (1 << 20) + i]) << i;
    EXPECT_EQ(heap.heapStart + (1u << 20) - 12, heap.allocContext());
    // Growing again within the mapping and beyond it.
    ASSERT_TRUE(heap.startHeap(3));
    EXPECT_EQ(3u << 20, heap.allocatedSize());
    ASSERT_TRUE(heap.startHeap(8));
    EXPECT_EQ(8u << 20, heap.allocatedSize());
    EXPECT_EQ(heap.heapStart + (8u << 20) - 12, heap.allocContext());
}

// ---- block header and decoding ----

TEST(PpmModel, HeaderSelectsOrderHeapAndEscape)
{
    struct Case { uint8_t flags; int order; };
    const Case cases[] = {{0x20 | 1, 2}, {0x20 | 15, 16}, {0x20 | 16, 19}, {0x20 | 31, 64}};
    for (const Case &c : cases) {
        PpmModel m;
        VectorSource src(header(c.flags, 0, {0, 0, 0, 0}));
        int esc = 2;
        EXPECT_TRUE(m.decodeInit(src, esc));
        EXPECT_EQ(c.order, m.maxOrder());
        EXPECT_EQ(1u << 20, m.heapSize());   // size byte 0: 1 MiB
        EXPECT_EQ(2, esc);
    }
    PpmModel m;
    int esc = 2;
    VectorSource withEsc(header(0x60 | 7, 4, {0x17, 0, 0, 0, 0}));
    EXPECT_TRUE(m.decodeInit(withEsc, esc));
    EXPECT_EQ(0x17, esc);
    EXPECT_EQ(5u << 20, m.heapSize());
    // A block without reset continues the model, keeping the escape byte.
    VectorSource cont(header(0x00, -1, {0, 0, 0, 0}));
    EXPECT_TRUE(m.decodeInit(cont, esc));
    EXPECT_EQ(0x17, esc);
    EXPECT_EQ(8, m.maxOrder());
}

TEST(PpmModel, HeaderFailures)
{
    int esc = 2;
    PpmModel fresh;   // no reset and no model yet
    VectorSource noModel(header(0x05, -1, {0, 0, 0, 0}));
    EXPECT_FALSE(fresh.decodeInit(noModel, esc));
    EXPECT_EQ(-1, fresh.decodeChar());
    PpmModel shortHeader;   // a header cut short
    VectorSource cut(header(0x20 | 5, 0, {0}));
    EXPECT_FALSE(shortHeader.decodeInit(cut, esc));
    // Order 1 frees the heap and fails; a following block without reset fails too.
    PpmModel m;
    VectorSource first(header(0x20 | 5, 0, {0, 0, 0, 0}));
    ASSERT_TRUE(m.decodeInit(first, esc));
    VectorSource orderOne(header(0x20, 0, {0, 0, 0, 0}));
    EXPECT_FALSE(m.decodeInit(orderOne, esc));
    EXPECT_EQ(0u, m.heapSize());
    EXPECT_EQ(-1, m.decodeChar());
    VectorSource cont(header(0x00, -1, {0, 0, 0, 0}));
    EXPECT_FALSE(m.decodeInit(cont, esc));
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
        while (m.decodeChar() >= 0) {
            decoded++;
            ASSERT_LT(decoded, 50L * long(bytes.size()) + 100000) << round;
        }
    }
}

// ---- real archives ----

TEST(PpmFixtures, OutputsMatchReferenceFiles)
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

// Patched, truncated and bit-flipped PPMd streams: no crash, no hang, nothing
// written past the member, and the CRC fails.
TEST(PpmFixtures, HostileStreamsFailCleanly)
{
    for (const char *archive : {"damaged/hostile-ppm-decodechar.rar", "damaged/hostile-ppm-ps-collect.rar",
                                "damaged/hostile-ppm-ps-count.rar", "damaged/corrupted.rar"}) {
        for (const auto &m : readRarTestArchive(fixturePath(archive))) {
            if (m.method == 0x30 || m.packed.empty() || m.directory())
                continue;
            DecodeResult r = decodeBytes(m.packed, m.unpSize);
            EXPECT_TRUE(r.guardIntact) << archive;
        }
    }
    std::mt19937 rng(4242);
    int runs = 0;
    for (const char *archive : {"v29-ppmd/ppmd_rar4.rar", "v29-ppmd/legit-maxmb63.rar",
                                "v29-ppmd/test_read_format_rar_compress_best.rar", "v29-ppmd/testfile.rar3.cbr"}) {
        for (const auto &m : readRarTestArchive(fixturePath(archive))) {
            if (!m.usable() || m.method == 0x30 || m.packed.size() < 8)
                continue;
            for (int k = 0; k < 8; k++) {
                std::vector<uint8_t> p = hostileVariant(m.packed, rng, k, 2, 2);
                DecodeResult r = decodeBytes(p, m.unpSize);
                ASSERT_TRUE(r.guardIntact) << archive << " " << k;
                ASSERT_LE(r.decoded, int64_t(m.unpSize) + 2 * kWindowSize);
                if (k < 2) {
                    EXPECT_NE(m.crc, r.crc) << archive << " truncated";
                }
                runs++;
            }
        }
    }
    EXPECT_GT(runs, 40);
}

// ---- streams made by the test encoder ----

#include "PpmTestEncoder.h"

namespace {

// Text-like data: words from a small vocabulary with some noise bytes.
std::vector<uint8_t> sampleData(size_t size, uint32_t seed, int noisePercent)
{
    static const char *const words[] = {"magazine", "reader", "article", "picture", "music",
                                        "the", "of", "and", "page", "scroll", "theme", "font",
                                        "archive", "member", "window", "\n", ", ", ". "};
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

}  // namespace

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
        for (; i < data.size(); i++)
            if (m.decodeChar() != data[i])
                break;
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
    EXPECT_GE(restarts, 2u) << "restarts";
    DecodeResult r = decodeBytes(packed, uint32_t(data.size()));
    EXPECT_FALSE(r.needsExtension);
    EXPECT_TRUE(r.out == data);

    // With a roomy heap the same data never restart the model.
    uint32_t none = 1;
    std::vector<uint8_t> part(data.begin(), data.begin() + 40000);
    std::vector<uint8_t> roomy = PpmTestEncoder::member(part, 64, 64, &none);
    EXPECT_EQ(0u, none);
    EXPECT_TRUE(decodeBytes(roomy, uint32_t(part.size())).out == part);
}

TEST(PpmRoundTrip, EscapeBytesInTheData)
{
    std::vector<uint8_t> data = sampleData(5000, 9, 10);
    for (size_t i = 0; i < data.size(); i += 37)
        data[i] = 2;   // the escape byte itself
    std::vector<uint8_t> packed = PpmTestEncoder::member(data, 8, 1);
    EXPECT_TRUE(decodeBytes(packed, uint32_t(data.size())).out == data);
}

// ---- PPMd blocks inside the version 2.9 decoder ----

#include "BitWriter.h"

namespace {

// Expected output builder following the decoder's copy rules.
struct Expect {
    std::vector<uint8_t> v;
    void text(const std::string &s) { v.insert(v.end(), s.begin(), s.end()); }
    void copy(size_t length, size_t distance)
    {
        for (size_t i = 0; i < length; i++)
            v.push_back(v[v.size() - distance]);
    }
};

void encodeText(PpmTestEncoder &e, const std::string &s)
{
    for (unsigned char c : s)
        e.encodeChar(c);
}

}  // namespace

TEST(PpmStream, EscapesMatchesAndSwitchesBetweenBlockKinds)
{
    PpmTestEncoder e;
    Expect x;
    e.startBlock(8, 1);
    encodeText(e, "hello world ");
    x.text("hello world ");
    // escape 5: a run of value + 4 bytes at distance 1
    e.encodeChar(2), e.encodeChar(5), e.encodeChar(10);
    x.copy(14, 1);
    // escape 4: 24-bit distance (+2) and length (+32)
    e.encodeChar(2), e.encodeChar(4), e.encodeChar(0), e.encodeChar(0), e.encodeChar(11), e.encodeChar(3);
    x.copy(35, 13);
    // escape 1 (or any unassigned value): the escape byte itself
    e.encodeChar(2), e.encodeChar(1);
    e.encodeChar(2), e.encodeChar(9);
    x.text("\x02\x02");
    // escape 0: new tables; an LZ block follows
    e.encodeChar(2), e.encodeChar(0);
    e.flush();
    std::vector<uint8_t> packed = e.out;

    BitWriter w;
    TestTables t = TestTables::full();
    writeTables(w, t);
    TestCode ld(t.ld);
    for (char c : std::string("LZ!"))
        ld.put(w, uint8_t(c));
    x.text("LZ!");
    ld.put(w, 256);
    w.put(1, 1);   // new tables follow: a PPMd block continuing the model
    std::vector<uint8_t> lz = w.bytes(0);
    packed.insert(packed.end(), lz.begin(), lz.end());

    e.out.clear();
    e.continueBlock(0x7E);   // and a new escape byte
    encodeText(e, "more\x02text");
    x.text("more\x02text");
    e.encodeChar(0x7E), e.encodeChar(1);
    x.text("\x7E");
    e.encodeChar(0x7E), e.encodeChar(2);   // end of the data
    e.flush();
    packed.insert(packed.end(), e.out.begin(), e.out.end());

    DecodeResult r = decodeBytes(packed, uint32_t(x.v.size()));
    EXPECT_FALSE(r.needsExtension);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_EQ(std::string(x.v.begin(), x.v.end()), std::string(r.out.begin(), r.out.end()));
}

TEST(PpmStream, BlockWithoutModelAndOrderOneStopTheMember)
{
    // A first block without the reset flag: there is no model to continue.
    std::vector<uint8_t> packed = {0x80 | 0x07, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    DecodeResult r = decodeBytes(packed, 100);
    EXPECT_EQ(std::vector<uint8_t>(100, 0), r.out);

    // Order 1 after a good block: the heap is dropped and the member stops
    // there, keeping what was decoded before.
    PpmTestEncoder e;
    e.startBlock(6, 1);
    encodeText(e, "kept");
    e.encodeChar(2), e.encodeChar(0);
    e.flush();
    e.out.insert(e.out.end(), {0x80 | 0x20, 0, 0, 0, 0, 0, 0, 0});
    DecodeResult k = decodeBytes(e.out, 8);
    EXPECT_EQ("kept", std::string(k.out.begin(), k.out.begin() + 4));
    EXPECT_EQ(std::vector<uint8_t>(4, 0), std::vector<uint8_t>(k.out.begin() + 4, k.out.end()));
}

TEST(PpmStream, FilterEscapeWithBrokenRecordStopsCleanly)
{
    PpmTestEncoder e;
    e.startBlock(6, 1);
    encodeText(e, "filtered?");
    e.encodeChar(2), e.encodeChar(3);   // a filter record follows...
    e.encodeChar(0x80 | 0x07);           // ...whose fields then run out
    e.flush();
    DecodeResult r = decodeBytes(e.out, 64);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_EQ("filtered?", std::string(r.out.begin(), r.out.begin() + 9));
}

namespace {
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
    bool countFor(uint32_t range, uint32_t total)
    {
        range_ = range;
        low_ = code_ = 0;
        coderFailed_ = false;
        uint32_t count = 0;
        return currentCount(total, count);
    }
};
}  // namespace

TEST(PpmModel, EmptyRangeOrZeroTotalFailsInsteadOfLoopingOrDividing)
{
    CoderProbe p;
    VectorSource src(std::vector<uint8_t>(64, 0x55));
    // A zero-sized interval (a symbol of frequency 0) leaves an empty range.
    EXPECT_TRUE(p.failedAfterNormalize(0x12345678u, 0, src));
    EXPECT_TRUE(p.failedAfterNormalize(0, 0, src));
    EXPECT_FALSE(p.failedAfterNormalize(0x12345678u, 0x100u, src));
    EXPECT_FALSE(p.countFor(0x10000, 0));
    EXPECT_FALSE(p.countFor(0x100, 0x200));   // range / total would be 0
    EXPECT_TRUE(p.countFor(0x10000, 0x200));
}

TEST(PpmModel, ReadingPastTheInputFailsTheBlock)
{
    std::vector<uint8_t> data = sampleData(3000, 3, 5);
    std::vector<uint8_t> packed = encodedBlock(data, 8);
    // Without its last bytes the block fails where the coder runs out, and
    // stays failed; it never decodes on from zeros.
    std::vector<uint8_t> cut(packed.begin(), packed.end() - 6);
    PpmModel m;
    VectorSource src(cut);
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

// ---- a filter record carried by a PPMd block ----

#include "FilterTestSupport.h"

TEST(PpmStream, FilterRecordInsideAPpmdBlockFiltersItsBlock)
{
    std::vector<uint8_t> want(300);
    for (size_t i = 0; i < want.size(); i++)
        want[i] = uint8_t(i * 7 + (i >> 4));
    std::vector<uint8_t> source = deltaSource(want, 3);
    FilterRecordFields f = standardRecord(kDeltaProgram, 1, 0, uint32_t(want.size()), 3);

    PpmTestEncoder e;
    e.startBlock(8, 1);
    auto literal = [&](uint8_t b) {
        e.encodeChar(b);
        if (b == 2)
            e.encodeChar(1);
    };
    const std::string head = "head of the member, then a filtered block: ";
    for (unsigned char c : head)
        literal(c);
    e.encodeChar(2), e.encodeChar(3);
    for (uint8_t b : ppmFilterRecord(f, true))
        e.encodeChar(b);
    for (uint8_t b : source)
        literal(b);
    const std::string tail = " and the tail.";
    for (unsigned char c : tail)
        literal(c);
    e.encodeChar(2), e.encodeChar(2);
    e.flush();

    std::vector<uint8_t> expect = joined({{head.begin(), head.end()}, want, {tail.begin(), tail.end()}});
    DecodeResult r = decodeBytes(e.out, uint32_t(expect.size()));
    EXPECT_FALSE(r.needsExtension);
    EXPECT_TRUE(r.out == expect);
}
