// Real archives of every version: each member decodes to the CRC its header
// carries; damaged, cut and flipped members fail without harming the others.
#include <gtest/gtest.h>

#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"

#include <functional>
#include <random>
#include <string>

namespace {

using Archives = std::vector<const char *>;

const Archives kV15Archives = { "v15/BoatModernEnglish-regular-unpack15-win.rar", "v15/Rar15.rar" };

const Archives kV20Archives = {
    "v20/Rar2.rar", "v20/derived_unpver26_rar2_lz.rar", "v20/rar2_lz.rar", "v20/rar2_lz_repeat.rar", "v20/test_v2.rar",
    "v20-audio/BoatModernEnglish-audio-text-unpack20.rar", "v20-audio/mm.rar",
};

const Archives kLzArchives = {
    "v29-lz/4mb.rar", "v29-lz/BoatModernEnglish-regular-unpack30.rar", "v29-lz/Rar4.rar", "v29-lz/empty_file.rar",
    "v29-lz/large_lz_normal.rar", "v29-lz/linux_rar.rar", "v29-lz/test.rar", "v29-lz/test_read_format_rar3_lowdist_reset.rar",
    "v29-lz/test_read_format_rar_binary_data.rar", "v29-lz/test_read_format_rar_compress_normal.rar",
    "v29-lz/test_read_format_rar_multi_lzss_blocks.rar", "structure/test_read_format_rar_unicode.rar",
    "structure/rar3-comment-plain.rar",
    "damaged/filter-flood.rar",   // one member with damaged filter records
};

// E8, E8E9, DELTA, RGB and AUDIO filters (Rar.Audio_program.rar: 5 MB, the window wraps); filters mixed with
// PPMd blocks; PPMd members, one with a 256 MiB model.
const Archives kFilterAndPpmdArchives = {
    "v29-filters/filter_e8_small.rar", "v29-filters/test_read_format_rar_filter.rar", "v29-filters/filter_delta_small.rar",
    "v29-filters/filter_delta_grad.rar", "v29-filters/filter_rgb_small.rar", "v29-filters/filter_audio_small.rar",
    "v29-filters/Rar.Audio_program.rar", "v29-filters/BoatModernEnglish-audio-text-unpack30.rar",
    "v29-filters/test_read_format_rar_filter_incomplete_block.rar", "v29-ppmd/testfile.rar3.rar",
    "v29-ppmd/testfile.rar3.cbr", "v29-ppmd/ppmd_rar4.rar", "v29-ppmd/ppmd_rar4_runs.rar", "v29-ppmd/legit-maxmb63.rar",
    "v29-ppmd/test_read_format_rar_compress_best.rar", "v29-ppmd/test_read_format_rar_ppmd_lzss_conversion.rar",
    "solid/solid_ppmd.rar", "damaged/hostile-maxmb255.rar",
};

bool compressed(const RarTestMember &m)
{
    return m.usable() && m.method != 0x30;
}

}  // namespace

// Directly and through the container's step; version 2.0 and 2.6 members decode
// as the other version too.
TEST(Fixtures, EveryMemberMatchesItsCrc)
{
    Archives v29 = kLzArchives;
    v29.insert(v29.end(), kFilterAndPpmdArchives.begin(), kFilterAndPpmdArchives.end());
    struct Set { Archives archives; uint32_t version; int members; } sets[] = {
        { kV15Archives, 15, 5 }, { kV20Archives, 20, 14 }, { v29, 29, 51 } };
    for (const Set &set : sets) {
        int checked = 0;
        for (const char *archive : set.archives) {
            auto members = readRarTestArchive(fixturePath(archive));
            ASSERT_FALSE(members.empty()) << archive;
            for (const auto &m : members) {
                if (!compressed(m))
                    continue;
                checked++;
                ASSERT_EQ(set.version, m.unpVer == 26 ? 20 : m.unpVer) << archive << " " << m.name;
                DecodeResult r = decodeBytes(m.packed, m.unpSize, m.unpVer);
                std::vector<uint8_t> out(m.unpSize + 1);
                bool stepOk = unpackBuffer(m.packed.data(), m.packSize, out.data(), m.unpSize, m.unpVer, m.crc);
                EXPECT_TRUE(r.guardIntact) << archive << " " << m.name;
                if (std::string(archive) == "damaged/filter-flood.rar" && m.name.find("testEXCEL") != std::string::npos) {
                    EXPECT_NE(m.crc, r.crc) << m.name;   // the one member with damaged filter records
                    EXPECT_FALSE(stepOk);
                    continue;
                }
                EXPECT_FALSE(r.needsExtension) << archive << " " << m.name;
                EXPECT_EQ(m.crc, r.crc) << archive << " " << m.name;
                EXPECT_TRUE(stepOk) << archive << " " << m.name;
                if (set.version == 20) {
                    EXPECT_EQ(m.crc, decodeBytes(m.packed, m.unpSize, 46 - m.unpVer).crc) << archive << " " << m.name;
                }
                if (::testing::Test::HasFailure())
                    return;
            }
        }
        EXPECT_EQ(set.members, checked) << set.version;
    }
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
    ASSERT_EQ(36u, other.at(0).unpVer);
    EXPECT_FALSE(unpackBuffer(other[0].packed.data(), other[0].packSize, out.data(), other[0].unpSize,
                              other[0].unpVer, other[0].crc));
    EXPECT_EQ(std::vector<uint8_t>(4, 0), std::vector<uint8_t>(out.begin(), out.begin() + 4));
    // Absurd sizes are refused before anything is touched.
    EXPECT_FALSE(unpackBuffer(m.packed.data(), m.packSize, nullptr, kMaxUnpackedSize + 1, 29, 0));
}

TEST(Fixtures, DamagedMembersFailTheirCrcAndSiblingsStillDecode)
{
    auto members = readRarTestArchive(fixturePath("damaged/derived_lz_byteflip.rar"));
    ASSERT_GE(members.size(), 3u);
    DecodeResult bad = decodeBytes(members[0].packed, members[0].unpSize);
    EXPECT_NE(members[0].crc, bad.crc);
    EXPECT_TRUE(bad.guardIntact);
    for (size_t i = 1; i < members.size(); i++)
        if (compressed(members[i])) {
            EXPECT_EQ(members[i].crc, decodeBytes(members[i].packed, members[i].unpSize).crc);
        }
    // Tiny crafted filter streams simply end (no crash, no hang, no huge allocation).
    for (const char *archive : {"damaged/as-vm-1-trigger.rar", "damaged/test_read_format_rar_unbound_staticdata.rar"})
        for (const auto &m : readRarTestArchive(fixturePath(archive)))
            if (compressed(m)) {
                EXPECT_TRUE(decodeBytes(m.packed, m.unpSize).guardIntact) << archive;
            }
}

// Cuts, bit flips and wrong sizes of real members: no crash, no hang, nothing
// written past the member's size, decoding bounded by it, a cut PPMd member
// fails its CRC, and the same input always gives the same bytes.
TEST(Fixtures, HostileVariantsNeverOverrunOrRunAway)
{
    struct Set {
        Archives archives;
        uint32_t seed, maxSize, minPacked;
        int variants, cuts;   // the first `cuts` variants are cut short, the others have k bits flipped
        size_t from;          // flips at or after this byte
        int64_t slack;        // how far decoding may run past the size
        std::function<uint32_t(int, uint32_t)> size;   // the size variant k is decoded to
        bool cutFailsCrc;
        int runs;
    };
    const uint32_t any = UINT32_MAX;
    const Set sets[] = {
        { kV15Archives, 1515, any, 1, 8, 3, 0, 300, [](int k, uint32_t s) { return k == 6 ? s / 2 : k == 7 ? s * 3 : s; },
          false, 40 },
        { kV20Archives, 20, any, 1, 8, 3, 0, 300, [](int k, uint32_t s) { return k == 7 ? s / 3 : s; }, false, 112 },
        { kLzArchives, 2024, 300000, 1, 6, 2, 0, 2 * kWindowSize, [](int k, uint32_t s) { return k == 5 ? s / 2 : s; },
          false, 156 },
        { { "v29-ppmd/ppmd_rar4.rar", "v29-ppmd/legit-maxmb63.rar", "v29-ppmd/test_read_format_rar_compress_best.rar",
            "v29-ppmd/testfile.rar3.cbr" }, 4242, any, 8, 8, 2, 2, 2 * kWindowSize, [](int, uint32_t s) { return s; },
          true, 56 },
    };
    for (const Set &set : sets) {
        std::mt19937 rng(set.seed);
        int runs = 0;
        for (const char *archive : set.archives) {
            for (const auto &m : readRarTestArchive(fixturePath(archive))) {
                if (!compressed(m) || m.packed.size() < set.minPacked || m.unpSize > set.maxSize)
                    continue;
                for (int k = 0; k < set.variants; k++, runs++) {
                    std::vector<uint8_t> p = hostileVariant(m.packed, rng, k, set.cuts, set.from);
                    uint32_t size = set.size(k, m.unpSize);
                    DecodeResult r = decodeBytes(p, size, m.unpVer);
                    ASSERT_TRUE(r.guardIntact) << archive << " " << m.name << " " << k;
                    ASSERT_LE(r.decoded, (int64_t)size + set.slack) << archive << " " << m.name << " " << k;
                    if (k < set.cuts && set.cutFailsCrc) {
                        EXPECT_NE(m.crc, r.crc) << archive << " " << m.name << " cut";
                    }
                    if (k == set.cuts) {
                        EXPECT_EQ(r.out, decodeBytes(p, size, m.unpVer).out) << archive << " " << m.name;
                    }
                }
            }
        }
        EXPECT_EQ(set.runs, runs) << set.seed;
    }
}

// The two builds of the version 2.9 LZ loop (baseline, and BMI2 and MOVBE
// where the processor has them) give the same bytes, whole or damaged.
TEST(Fixtures, BothBuildsOfTheLzLoopDecodeAlike)
{
    if (!Unpacker::wideLoopSupported())
        GTEST_SKIP() << "the processor lacks BMI2 or MOVBE";
    Archives v29 = kLzArchives;
    v29.insert(v29.end(), kFilterAndPpmdArchives.begin(), kFilterAndPpmdArchives.end());
    std::mt19937 rng(2929);
    int compared = 0;
    for (const char *archive : v29) {
        for (const auto &m : readRarTestArchive(fixturePath(archive))) {
            if (!compressed(m) || m.unpVer != 29 || m.unpSize > 1000000)
                continue;
            // Whole, cut, and with one and three bits flipped.
            for (int k : { -1, 0, 1, 3 }) {
                std::vector<uint8_t> p = k < 0 ? m.packed : hostileVariant(m.packed, rng, k, 1);
                DecodeResult base = decodeBytes(p, m.unpSize, 29, true, false);
                DecodeResult wide = decodeBytes(p, m.unpSize, 29, true, true);
                ASSERT_EQ(base.out, wide.out) << archive << " " << m.name << " " << k;
                ASSERT_EQ(base.decoded, wide.decoded) << archive << " " << m.name << " " << k;
                compared++;
            }
        }
    }
    EXPECT_EQ(184, compared);
}

// A damaged member decodes to the same bytes whatever the thread decoded
// before it: the kept window and input buffer and the decoder's state
// (tables are left as the last member built them) show nothing of it.
TEST(Fixtures, DamagedMembersDecodeAlikeWhateverCameBefore)
{
    auto first = [](const char *archive) {
        for (auto &m : readRarTestArchive(fixturePath(archive)))
            if (compressed(m) && m.unpSize > 0)
                return m;
        return RarTestMember();
    };
    // Dense tables, filters and 30 KB of input; a PPMd member; a version 2.0 member.
    const RarTestMember primers[] = { first("v29-filters/test_read_format_rar_filter.rar"),
                                      first("v29-ppmd/ppmd_rar4.rar"), first("v20/rar2_lz.rar") };
    std::mt19937 rng(77);
    int compared = 0;
    for (const char *archive : { "v29-lz/test.rar", "v29-lz/linux_rar.rar", "v29-lz/test_read_format_rar3_lowdist_reset.rar",
                                 "v29-lz/test_read_format_rar_compress_normal.rar", "v29-ppmd/ppmd_rar4.rar",
                                 "v20/rar2_lz.rar", "v20-audio/mm.rar" }) {
        for (const auto &m : readRarTestArchive(fixturePath(archive))) {
            if (!compressed(m) || m.packed.size() < 2 || m.unpSize > 100000)
                continue;
            for (int k = 0; k < 5; k++) {
                std::vector<uint8_t> p = hostileVariant(m.packed, rng, k, 2);
                std::vector<uint8_t> outs[3];
                for (int i = 0; i < 3; i++) {
                    std::vector<uint8_t> scratch(primers[i].unpSize);
                    ASSERT_TRUE(unpackBuffer(primers[i].packed.data(), primers[i].packSize, scratch.data(),
                                             primers[i].unpSize, primers[i].unpVer, primers[i].crc));
                    outs[i].resize(m.unpSize);
                    unpackBuffer(p.data(), (uint32_t)p.size(), outs[i].data(), m.unpSize, m.unpVer, 0);
                }
                ASSERT_EQ(outs[0], outs[1]) << archive << " " << m.name << " " << k;
                ASSERT_EQ(outs[0], outs[2]) << archive << " " << m.name << " " << k;
                compared++;
            }
        }
    }
    EXPECT_GT(compared, 30);
}
