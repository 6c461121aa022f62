// Version 1.5 members: a reference output, damaged and made-up streams
// stopping cleanly inside the member's size.
#include <gtest/gtest.h>

#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"

namespace {

std::vector<RarTestMember> usableMembers(const char *archive)
{
    std::vector<RarTestMember> out;
    for (auto &m : readRarTestArchive(fixturePath(archive)))
        if (m.usable())
            out.push_back(m);
    return out;
}

}  // namespace

TEST(Decode15, WaveMatchesReferenceAndAShorterSizeGivesItsPrefix)
{
    auto members = usableMembers("v15/BoatModernEnglish-regular-unpack15-win.rar");
    ASSERT_FALSE(members.empty());
    const RarTestMember &m = members[0];
    std::vector<uint8_t> expected = readFile(fixturePath("expected/BoatModernEnglish.wav"));
    ASSERT_EQ(m.unpSize, expected.size());
    // Told a smaller size, the decoder stops there: the prefix and nothing more.
    for (uint32_t size : { 0u, 1u, 1000u, 30001u, m.unpSize }) {
        DecodeResult r = decodeBytes(m.packed, size, 15);
        EXPECT_TRUE(r.guardIntact) << size;
        EXPECT_EQ(std::vector<uint8_t>(expected.begin(), expected.begin() + size), r.out) << size;
        EXPECT_LE(r.decoded, (int64_t)size + 300) << size;
    }
}

TEST(Decode15, DamagedMembersFailAndTheirSiblingsDecode)
{
    // Cut inside the second file's data: the first file is fine.
    auto cut = usableMembers("damaged/derived_v15_truncated.rar");
    ASSERT_EQ(2u, cut.size());
    EXPECT_EQ(cut[0].crc, decodeBytes(cut[0].packed, cut[0].unpSize, 15).crc);
    DecodeResult r = decodeBytes(cut[1].packed, cut[1].unpSize, 15);
    EXPECT_NE(cut[1].crc, r.crc);
    EXPECT_TRUE(r.guardIntact);

    // A patched distance reaching before the member's first byte: the member
    // fails, the sibling is fine, and what was read there is zero, never
    // whatever the window memory held.
    auto voidDist = usableMembers("damaged/void-dist-v15.rar");
    ASSERT_EQ(2u, voidDist.size());
    DecodeResult bad = decodeBytes(voidDist[0].packed, voidDist[0].unpSize, 15);
    EXPECT_NE(voidDist[0].crc, bad.crc);
    EXPECT_TRUE(bad.guardIntact);
    std::vector<uint8_t> stale(kWindowSize, 0x5A);
    EXPECT_EQ(bad.out, decodeWithWindow(voidDist[0].packed, voidDist[0].unpSize, 15, stale));
    EXPECT_EQ(voidDist[1].crc, decodeBytes(voidDist[1].packed, voidDist[1].unpSize, 15).crc);
}

// Streams of one repeated byte reach the largest places of every threshold
// table and the longest codes; all zeros make a stream of short matches that
// runs the window round more than once.
TEST(Decode15, UniformStreamsStayInBounds)
{
    for (uint8_t fill : { 0x00, 0xFF, 0x55, 0xF0 }) {
        DecodeResult r = decodeBytes(std::vector<uint8_t>(4096, fill), 20000, 15);
        EXPECT_TRUE(r.guardIntact) << (int)fill;
        EXPECT_LE(r.decoded, 20000 + 300);
    }
    EXPECT_TRUE(decodeBytes({}, 100, 15).guardIntact);
    const uint32_t size = kWindowSize + kWindowSize / 4;
    DecodeResult big = decodeBytes(std::vector<uint8_t>(2600000, 0), size, 15);
    EXPECT_TRUE(big.guardIntact);
    EXPECT_GT(big.decoded, (int64_t)kWindowSize);
    EXPECT_LE(big.decoded, (int64_t)size + 300);
}
