// Real archives whose members use filters: every member decodes to its CRC,
// and damaged filter records fail their member without harming the others.
#include <gtest/gtest.h>

#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"

#include <string>
#include <vector>

namespace {

struct Outcome {
    int members = 0;
    int good = 0;
    bool guardsIntact = true;
    std::vector<std::string> bad;
};

Outcome decodeArchive(const std::string &archive)
{
    Outcome o;
    for (const RarTestMember &m : readRarTestArchive(fixturePath(archive))) {
        if (!m.usable() || m.unpVer != 29 || m.method == 0x30)
            continue;
        o.members++;
        DecodeResult r = decodeBytes(m.packed, m.unpSize);
        o.guardsIntact = o.guardsIntact && r.guardIntact;
        if (r.crc == m.crc)
            o.good++;
        else
            o.bad.push_back(m.name);
    }
    return o;
}

}  // namespace

TEST(FilterFixtures, EveryFilteredMemberDecodesToItsCrc)
{
    for (const char *archive : {
             "v29-filters/filter_e8_small.rar",      // E8
             "v29-lz/Rar4.rar",                      // E8 in an executable among other members
             "v29-filters/test_read_format_rar_filter.rar",   // E8E9 and DELTA
             "v29-filters/filter_delta_small.rar",   // DELTA, 4 channels
             "v29-filters/filter_delta_grad.rar",    // DELTA on a picture
             "v29-filters/filter_rgb_small.rar",     // RGB
             "v29-filters/filter_audio_small.rar",   // AUDIO, 2 channels
             "v29-filters/Rar.Audio_program.rar",    // DELTA and AUDIO over 5 MB, window wraps
         }) {
        Outcome o = decodeArchive(archive);
        EXPECT_GT(o.members, 0) << archive;
        EXPECT_EQ(o.good, o.members) << archive << ": " << (o.bad.empty() ? "" : o.bad[0]);
        EXPECT_TRUE(o.guardsIntact) << archive;
    }
}

TEST(FilterFixtures, AudioFilteredWaveDecodes)
{
    // The first member is LZ with the audio filter (the second is PPMd).
    auto members = readRarTestArchive(fixturePath("v29-filters/BoatModernEnglish-audio-text-unpack30.rar"));
    ASSERT_FALSE(members.empty());
    EXPECT_EQ(decodeBytes(members[0].packed, members[0].unpSize).crc, members[0].crc);
}

// Members that mix LZ blocks carrying filters with PPMd blocks.
TEST(FilterFixtures, FilteredMembersWithPpmdBlocksDecode)
{
    if (!createPpm29())
        GTEST_SKIP() << "PPMd blocks are not built in";
    for (const char *archive : {"v29-filters/test_read_format_rar_filter_incomplete_block.rar",
                                "v29-ppmd/ppmd_rar4_runs.rar",
                                "v29-filters/BoatModernEnglish-audio-text-unpack30.rar"}) {
        Outcome o = decodeArchive(archive);
        EXPECT_EQ(o.good, o.members) << archive;
    }
}

TEST(FilterFixtures, AlteredAudioProgramRunsInTheInterpreter)
{
    // Two bytes of the audio program inverted (the check byte still matches):
    // no longer the standard program, so it is interpreted. Decoded as
    // written it is a different program; the member must end in bounded
    // time and stay inside its buffer, whatever its bytes.
    auto members = readRarTestArchive(fixturePath("v29-filters/audio-filter-noncanonical.rar"));
    ASSERT_FALSE(members.empty());
    EXPECT_TRUE(decodeBytes(members[0].packed, members[0].unpSize).guardIntact);
}

TEST(FilterFixtures, DamagedFilterRecordsFailOnlyTheirMember)
{
    Outcome o = decodeArchive("damaged/filter-flood.rar");
    EXPECT_EQ(o.good, o.members - 1);
    ASSERT_EQ(o.bad.size(), 1u);
    EXPECT_NE(o.bad[0].find("testEXCEL"), std::string::npos);
    // Tiny crafted streams simply end (no crash, no hang, no huge allocation).
    for (const char *archive : {"damaged/as-vm-1-trigger.rar", "damaged/test_read_format_rar_unbound_staticdata.rar"})
        EXPECT_TRUE(decodeArchive(archive).guardsIntact) << archive;
}
