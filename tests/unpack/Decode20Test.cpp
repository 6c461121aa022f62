// Version 2.0 and 2.6 streams: hand-built ones for the edge cases, damaged members ending safely.
#include <gtest/gtest.h>

#include "BitWriter.h"
#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"

#include <functional>
#include <random>
#include <string>

namespace {

// Version 2.0 block headers with every symbol of each alphabet used, sent
// from cleared old lengths.
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
        const int n = audio ? 257 * channels : 298 + 48 + 28;
        for (int i = 0; i < n; i++)
            bd.put(w, audio || i < 298 ? 9 : i < 298 + 48 ? 6 : 5);
    }
    void literal(uint8_t c) { ld.put(w, c); }
    // A match through length slot 0 (3 bytes, more at long distances).
    void match3(uint32_t distance)
    {
        ld.put(w, 270);   // length slot 0: length 3
        uint32_t base = 0, slot = 0, bits = 0;
        for (;; base += 1u << bits, slot++) {
            bits = slot < 4 ? 0 : slot < 34 ? (slot - 4) / 2 + 1 : 16;
            if (distance - 1 < base + (1u << bits))
                break;
        }
        dd.put(w, slot);
        w.put(distance - 1 - base, (int)bits);
    }
    std::vector<uint8_t> bytes() const { return w.bytes(64); }
};

}  // namespace

TEST(Decode20, RepeatedDistancesLengthenWithTheDistance)
{
    // For each distance a match, then a repeat of it (code 257, length slot 0:
    // length 2 plus 0, 1, 2 or 3).
    const uint32_t distances[4] = { 0x100, 0x101, 0x2000, 0x40000 };
    Stream20 s;
    s.header(false);
    std::vector<uint8_t> expect;
    for (uint32_t i = 0; i < 0x40000 + 8; i++) {
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
        for (int i = 0; i < 2 + k; i++)
            expect.push_back(expect[expect.size() - d]);
    }
    EXPECT_TRUE(decodeBytes(s.bytes(), (uint32_t)expect.size(), 20).out == expect);
}

// Through a clean window and a stale one: never old memory, nothing past the member.
TEST(Decode20, ShortStreamsDecodeExactly)
{
    struct Case { const char *what; std::function<void(Stream20 &)> write; std::vector<uint8_t> expect; };
    const Case cases[] = {
        {"last match code at the start copies nothing",
         [](Stream20 &s) { s.ld.put(s.w, 256); s.literal('a'); s.literal('b'); }, {'a', 'b'}},
        {"distance zero (the ring is all zero at the start)",
         [](Stream20 &s) { s.ld.put(s.w, 257); s.rd.put(s.w, 0); s.literal('x'); }, {0, 0, 'x'}},
        {"overshooting last match cut at the member's size",
         [](Stream20 &s) { s.literal('a'); s.match3(1); s.match3(1); }, {'a', 'a', 'a', 'a', 'a'}},
    };
    for (const Case &c : cases) {
        Stream20 s;
        s.header(false);
        c.write(s);
        DecodeResult r = decodeBytes(s.bytes(), (uint32_t)c.expect.size(), 20);
        EXPECT_TRUE(r.guardIntact) << c.what;
        EXPECT_EQ(c.expect, r.out) << c.what;
        std::vector<uint8_t> window(kWindowSize, 0xCC);
        EXPECT_EQ(c.expect, decodeWithWindow(s.bytes(), (uint32_t)c.expect.size(), 20, window, 0x55)) << c.what;
    }
}

TEST(Decode20, AudioChannelsInterleaveAndResetOnFewerChannels)
{
    // With the predictor's weights still zero, each channel's byte is its
    // previous byte minus the code: 1, 2, 3 on channels 0..2; then new tables
    // (256) while on channel 3 bring three channels and start again at channel 0.
    Stream20 s;
    s.header(true, 4);
    for (int code : { 255, 254, 253, 256 })
        s.md.put(s.w, code);
    s.header(true, 3);
    for (int code : { 255, 0, 1, 256 })
        s.md.put(s.w, code);
    s.header(false);
    s.literal('z');
    DecodeResult r = decodeBytes(s.bytes(), 7, 20);
    EXPECT_EQ((std::vector<uint8_t>{ 1, 2, 3, 2, 2, 2, 'z' }), r.out);
}

TEST(Decode20, DamagedMembersAndGarbageFailCleanly)
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

    std::mt19937 rng(20);
    std::vector<uint8_t> noise(4096);
    for (auto &b : noise)
        b = (uint8_t)rng();
    for (uint32_t method : { 20u, 26u })
        for (const auto &packed : { noise, std::vector<uint8_t>(), std::vector<uint8_t>(64, 0xFF) })
            EXPECT_TRUE(decodeBytes(packed, 100000, method).guardIntact) << method << " " << packed.size();
}
