// Real archives: every version 2.9 member decodes to the CRC its header
// carries, or (when it needs filters or PPMd, not built in here) stops cleanly.
#include <gtest/gtest.h>

#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"

#include <random>
#include <string>

namespace {

const char *const kLzArchives[] = {
    "v29-lz/4mb.rar",
    "v29-lz/BoatModernEnglish-regular-unpack30.rar",
    "v29-lz/Rar4.rar",
    "v29-lz/empty_file.rar",
    "v29-lz/large_lz_normal.rar",
    "v29-lz/linux_rar.rar",
    "v29-lz/test.rar",
    "v29-lz/test_read_format_rar3_lowdist_reset.rar",
    "v29-lz/test_read_format_rar_binary_data.rar",
    "v29-lz/test_read_format_rar_compress_normal.rar",
    "v29-lz/test_read_format_rar_multi_lzss_blocks.rar",
    "damaged/filter-flood.rar",
    "structure/test_read_format_rar_unicode.rar",
    "structure/rar3-comment-plain.rar",
};

bool isFilterMember(const std::string &archive, const RarTestMember &m)
{
    // Members whose streams carry filter records (see SOURCES.txt).
    return (archive == "v29-lz/Rar4.rar" && m.name == "exe\\test.exe") ||
           (archive == "damaged/filter-flood.rar" && m.name.find("testEXCEL") != std::string::npos) ||
           (archive == "damaged/filter-flood.rar" && m.crc == 0);
}

}  // namespace

TEST(Fixtures, EveryLzMemberMatchesItsCrc)
{
    int checked = 0;
    for (const char *archive : kLzArchives) {
        auto members = readRarTestArchive(fixturePath(archive));
        ASSERT_FALSE(members.empty()) << archive;
        for (const auto &m : members) {
            if (!m.usable() || m.method == 0x30)
                continue;
            ASSERT_EQ(29u, m.unpVer) << archive << " " << m.name;
            DecodeResult r = decodeBytes(m.packed, m.unpSize);
            EXPECT_TRUE(r.guardIntact) << archive << " " << m.name;
            if (r.needsExtension) {
                EXPECT_TRUE(isFilterMember(archive, m)) << archive << " " << m.name;
                continue;
            }
            if (isFilterMember(archive, m))
                continue;   // a damaged filter member: anything but a crash
            EXPECT_EQ(m.crc, r.crc) << archive << " " << m.name;
            if (::testing::Test::HasFailure())
                return;
            checked++;
        }
    }
    EXPECT_GE(checked, 25);
}

TEST(Fixtures, LargeMemberMatchesReferenceOutput)
{
    auto members = readRarTestArchive(fixturePath("v29-lz/large_lz_normal.rar"));
    ASSERT_EQ(1u, members.size());
    DecodeResult r = decodeBytes(members[0].packed, members[0].unpSize);
    EXPECT_EQ(readFile(fixturePath("expected/large_lz_normal.payload.bin")), r.out);
}

TEST(Fixtures, ContainerStepChecksCrcAndRefusesOtherVersions)
{
    auto members = readRarTestArchive(fixturePath("v29-lz/test.rar"));
    ASSERT_FALSE(members.empty());
    const RarTestMember &m = members[0];
    std::vector<uint8_t> out(m.unpSize + 2, 0x77);
    EXPECT_TRUE(unpackBuffer(m.packed.data(), m.packSize, out.data(), m.unpSize, m.unpVer, m.crc));
    EXPECT_EQ("baz\n", std::string(out.begin(), out.begin() + 4));
    EXPECT_FALSE(unpackBuffer(m.packed.data(), m.packSize, out.data(), m.unpSize, m.unpVer, m.crc ^ 1));

    // Version 36 of the same data: nothing is decoded, the output stays zero.
    auto other = readRarTestArchive(fixturePath("v29-lz/method36.rar"));
    ASSERT_FALSE(other.empty());
    EXPECT_EQ(36u, other[0].unpVer);
    EXPECT_FALSE(unpackBuffer(other[0].packed.data(), other[0].packSize, out.data(), other[0].unpSize,
                              other[0].unpVer, other[0].crc));
    EXPECT_EQ(std::vector<uint8_t>(4, 0), std::vector<uint8_t>(out.begin(), out.begin() + 4));

    // Absurd sizes are refused before anything is touched.
    EXPECT_FALSE(unpackBuffer(m.packed.data(), m.packSize, nullptr, kMaxUnpackedSize + 1, 29, 0));
}

TEST(Fixtures, FiltersAndPpmdStopCleanlyUntilBuiltIn)
{
    for (const char *archive : { "v29-filters/filter_e8_small.rar", "v29-ppmd/testfile.rar3.rar" }) {
        auto members = readRarTestArchive(fixturePath(archive));
        ASSERT_FALSE(members.empty());
        DecodeResult r = decodeBytes(members[0].packed, members[0].unpSize);
        EXPECT_TRUE(r.guardIntact);
        if (!createFilters29() || !createPpm29()) {
            EXPECT_TRUE(r.needsExtension || r.crc == members[0].crc) << archive;
        }
    }
}

TEST(Fixtures, DamagedMembersFailTheirCrcAndSiblingsStillDecode)
{
    auto members = readRarTestArchive(fixturePath("damaged/derived_lz_byteflip.rar"));
    ASSERT_GE(members.size(), 3u);
    DecodeResult bad = decodeBytes(members[0].packed, members[0].unpSize);
    EXPECT_NE(members[0].crc, bad.crc);
    EXPECT_TRUE(bad.guardIntact);
    for (size_t i = 1; i < members.size(); i++)
        if (members[i].usable() && members[i].method != 0x30) {
            EXPECT_EQ(members[i].crc, decodeBytes(members[i].packed, members[i].unpSize).crc);
        }

    auto vm = readRarTestArchive(fixturePath("damaged/as-vm-1-trigger.rar"));
    ASSERT_FALSE(vm.empty());
    EXPECT_TRUE(decodeBytes(vm[0].packed, vm[0].unpSize).guardIntact);
}

// Bit flips and truncations of real members: no crash, no hang, nothing
// written past the member's size, and the decoding bounded.
TEST(Fixtures, HostileVariantsNeverOverrunOrRunAway)
{
    std::mt19937 rng(2024);
    int runs = 0;
    for (const char *archive : kLzArchives) {
        for (const auto &m : readRarTestArchive(fixturePath(archive))) {
            if (!m.usable() || m.method == 0x30 || m.packed.empty() || m.unpSize > 300000)
                continue;
            for (int k = 0; k < 6; k++) {
                std::vector<uint8_t> p = m.packed;
                if (k < 2) {
                    p.resize(rng() % p.size());
                } else {
                    for (int f = 0; f < k; f++)
                        p[rng() % p.size()] ^= (uint8_t)(1u << (rng() % 8));
                }
                uint32_t size = (k == 5) ? m.unpSize / 2 : m.unpSize;
                DecodeResult r = decodeBytes(p, size);
                ASSERT_TRUE(r.guardIntact) << archive << " " << m.name << " " << k;
                ASSERT_LE(r.decoded, (int64_t)size + 2 * kWindowSize);
                runs++;
            }
        }
    }
    EXPECT_GT(runs, 50);
}
