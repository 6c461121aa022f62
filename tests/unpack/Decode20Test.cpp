// Version 2.0 and 2.6 streams: real members to their CRCs, hand-built
// streams for the edge cases, damaged and cut members ending safely.
#include <gtest/gtest.h>

#include "BitWriter.h"
#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"

#include <random>
#include <string>

namespace {

const char *const kV20Archives[] = {
    "v20/Rar2.rar",
    "v20/derived_unpver26_rar2_lz.rar",
    "v20/rar2_lz.rar",
    "v20/rar2_lz_repeat.rar",
    "v20/test_v2.rar",
    "v20-audio/BoatModernEnglish-audio-text-unpack20.rar",
    "v20-audio/mm.rar",
};

bool compressed(const RarTestMember &m)
{
    return m.usable() && m.method != 0x30;
}

// A version 2.0 block header with every symbol of each alphabet used: BD
// lengths all 5, LZ lengths 9 (literal/length), 6 (distance), 5 (repeat)
// or 8 for each audio channel. Lengths are sent as they are (old table
// cleared).
struct Stream20 {
    BitWriter w;
    TestCode bd{ std::vector<uint8_t>(19, 5) };
    TestCode ld{ std::vector<uint8_t>(298, 9) };
    TestCode dd{ std::vector<uint8_t>(48, 6) };
    TestCode rd{ std::vector<uint8_t>(28, 5) };
    TestCode md{ std::vector<uint8_t>(257, 9) };

    void header(bool audio, int channels = 1)
    {
        w.put(audio ? 1 : 0, 1);
        w.put(0, 1);   // old lengths cleared
        if (audio)
            w.put((uint32_t)channels - 1, 2);
        for (int i = 0; i < 19; i++)
            w.put(5, 4);
        if (audio) {
            for (int c = 0; c < channels; c++)
                for (int i = 0; i < 257; i++)
                    bd.put(w, 9);
        } else {
            for (int i = 0; i < 298; i++)
                bd.put(w, 9);
            for (int i = 0; i < 48; i++)
                bd.put(w, 6);
            for (int i = 0; i < 28; i++)
                bd.put(w, 5);
        }
    }
    void literal(uint8_t c) { ld.put(w, c); }
    // A match of length 3.. through length slot 0 and the distance slot
    // whose range holds distance (extra bits sent as needed).
    void match3(uint32_t distance)
    {
        ld.put(w, 270);   // length slot 0: length 3
        uint32_t base = 0, slot = 0, bits = 0;
        for (uint32_t s = 0; s < 48; s++) {
            uint32_t b = s < 4 ? 0 : s < 34 ? (s - 4) / 2 + 1 : 16;
            if (distance - 1 < base + (1u << b)) {
                slot = s;
                bits = b;
                break;
            }
            base += 1u << b;
        }
        dd.put(w, slot);
        w.put(distance - 1 - base, (int)bits);
    }
    std::vector<uint8_t> bytes() const { return w.bytes(64); }
};

}  // namespace

TEST(Decode20, EveryFixtureMemberMatchesItsCrc)
{
    int checked = 0;
    for (const char *archive : kV20Archives) {
        auto members = readRarTestArchive(fixturePath(archive));
        ASSERT_FALSE(members.empty()) << archive;
        for (const auto &m : members) {
            if (!compressed(m))
                continue;
            ASSERT_TRUE(m.unpVer == 20 || m.unpVer == 26) << archive << " " << m.name;
            DecodeResult r = decodeBytes(m.packed, m.unpSize, m.unpVer);
            EXPECT_TRUE(r.guardIntact) << archive << " " << m.name;
            EXPECT_EQ(m.crc, r.crc) << archive << " " << m.name;
            // Version 2.6 decodes as version 2.0, and the other way round.
            EXPECT_EQ(m.crc, decodeBytes(m.packed, m.unpSize, 46 - m.unpVer).crc) << archive << " " << m.name;
            // Through the container's step too.
            std::vector<uint8_t> out(m.unpSize + 1);
            EXPECT_TRUE(unpackBuffer(m.packed.data(), m.packSize, out.data(), m.unpSize, m.unpVer, m.crc))
                << archive << " " << m.name;
            checked++;
        }
    }
    EXPECT_EQ(14, checked);
}

TEST(Decode20, RepeatedDistancesLengthenWithTheDistance)
{
    // 300 literals, then for each distance d of 0x100, 0x101, 0x2000 and
    // 0x40000 a length-3 match at d followed by a repeat of it (code 257,
    // length slot 0: length 2 plus 0, 1, 2 or 3).
    const uint32_t distances[4] = { 0x100, 0x101, 0x2000, 0x40000 };
    const uint32_t extra[4] = { 0, 1, 2, 3 };
    Stream20 s;
    s.header(false);
    std::vector<uint8_t> expect;
    const uint32_t prefix = 0x40000 + 8;
    for (uint32_t i = 0; i < prefix; i++) {
        uint8_t c = (uint8_t)(i * 7 + (i >> 8));
        s.literal(c);
        expect.push_back(c);
    }
    for (int k = 0; k < 4; k++) {
        uint32_t d = distances[k];
        // A long first match at 0x2000 and above is one byte longer.
        uint32_t first = 3 + (d >= 0x2000 ? 1 : 0) + (d >= 0x40000 ? 1 : 0);
        s.match3(d);
        for (uint32_t i = 0; i < first; i++)
            expect.push_back(expect[expect.size() - d]);
        s.ld.put(s.w, 257);
        s.rd.put(s.w, 0);
        for (uint32_t i = 0; i < 2 + extra[k]; i++)
            expect.push_back(expect[expect.size() - d]);
    }
    DecodeResult r = decodeBytes(s.bytes(), (uint32_t)expect.size(), 20);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_TRUE(r.out == expect);
}

TEST(Decode20, LastMatchCodeAtTheStartCopiesNothing)
{
    Stream20 s;
    s.header(false);
    s.ld.put(s.w, 256);
    for (char c : std::string("abc"))
        s.literal((uint8_t)c);
    DecodeResult r = decodeBytes(s.bytes(), 3, 20);
    EXPECT_EQ("abc", std::string(r.out.begin(), r.out.end()));
}

TEST(Decode20, DistanceZeroNeverShowsOldMemory)
{
    // Code 257 at the start: the distance ring is all zero.
    Stream20 s;
    s.header(false);
    s.ld.put(s.w, 257);
    s.rd.put(s.w, 0);
    s.literal('x');
    std::vector<uint8_t> window(kWindowSize, 0xCC);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 'x'}), decodeWithWindow(s.bytes(), 3, 20, window, 0x55));
}

TEST(Decode20, AudioChannelsInterleaveAndResetOnFewerChannels)
{
    // With the predictor's weights still zero, each channel's byte is its
    // previous byte minus the code.
    Stream20 s;
    s.header(true, 4);
    s.md.put(s.w, 255);   // channel 0: 0 - (-1) = 1
    s.md.put(s.w, 254);   // channel 1: 2
    s.md.put(s.w, 253);   // channel 2: 3
    s.md.put(s.w, 256);   // new tables with curChannel 3 ...
    s.header(true, 3);    // ... and three channels: back to channel 0
    s.md.put(s.w, 255);   // channel 0: 1 + 1 = 2
    s.md.put(s.w, 0);     // channel 1: 2
    s.md.put(s.w, 1);     // channel 2: 2
    s.md.put(s.w, 256);   // back to LZ
    s.header(false);
    s.literal('z');
    DecodeResult r = decodeBytes(s.bytes(), 7, 20);
    EXPECT_EQ((std::vector<uint8_t>{ 1, 2, 3, 2, 2, 2, 'z' }), r.out);
}

TEST(Decode20, AnOvershootingLastMatchIsCutAtTheMembersSize)
{
    Stream20 s;
    s.header(false);
    s.literal('a');
    s.match3(1);
    s.match3(1);
    DecodeResult r = decodeBytes(s.bytes(), 5, 20);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_EQ("aaaaa", std::string(r.out.begin(), r.out.end()));
}

TEST(Decode20, DamagedMembersFailCleanly)
{
    auto flipped = readRarTestArchive(fixturePath("damaged/derived_v20_byteflip.rar"));
    ASSERT_EQ(1u, flipped.size());
    DecodeResult r = decodeBytes(flipped[0].packed, flipped[0].unpSize, flipped[0].unpVer);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_NE(flipped[0].crc, r.crc);

    // A match reaching before the member's first byte reads zeros.
    auto voidDist = readRarTestArchive(fixturePath("damaged/void-dist-v20.rar"));
    ASSERT_EQ(1u, voidDist.size());
    r = decodeBytes(voidDist[0].packed, voidDist[0].unpSize, 20);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_EQ("AAA", std::string(r.out.begin(), r.out.begin() + 3));
    EXPECT_FALSE(unpackBuffer(voidDist[0].packed.data(), voidDist[0].packSize, r.out.data(),
                              voidDist[0].unpSize, 20, voidDist[0].crc));
}

// Cut, bit-flipped and undersized variants of real members: no crash, no
// hang, nothing written past the member's size, decoding bounded by it.
TEST(Decode20, HostileVariantsNeverOverrunOrRunAway)
{
    std::mt19937 rng(20);
    int runs = 0;
    for (const char *archive : kV20Archives) {
        for (const auto &m : readRarTestArchive(fixturePath(archive))) {
            if (!compressed(m) || m.packed.empty())
                continue;
            for (int k = 0; k < 8; k++) {
                std::vector<uint8_t> p = hostileVariant(m.packed, rng, k, 3);
                uint32_t size = k == 7 ? m.unpSize / 3 : m.unpSize;
                DecodeResult r = decodeBytes(p, size, m.unpVer);
                ASSERT_TRUE(r.guardIntact) << archive << " " << m.name << " " << k;
                ASSERT_LE(r.decoded, (int64_t)size + 300) << archive << " " << m.name << " " << k;
                runs++;
            }
        }
    }
    EXPECT_EQ(14 * 8, runs);

    // Garbage and empty input.
    std::vector<uint8_t> noise(4096);
    for (auto &b : noise)
        b = (uint8_t)rng();
    for (uint32_t method : { 20u, 26u }) {
        EXPECT_TRUE(decodeBytes(noise, 100000, method).guardIntact);
        EXPECT_TRUE(decodeBytes(std::vector<uint8_t>(), 1000, method).guardIntact);
        EXPECT_TRUE(decodeBytes(std::vector<uint8_t>(64, 0xFF), 1000, method).guardIntact);
    }
}
