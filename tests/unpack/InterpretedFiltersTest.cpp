// The interpreter against real streams: standard programs interpreted give the
// same members, and an altered audio program runs as written.
#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"

#include <vector>

TEST(InterpretedFilters, StandardProgramsInterpretedGiveTheSameMembers)
{
    for (const char *archive : { "v29-filters/BoatModernEnglish-audio-text-unpack30.rar", "v29-filters/filter_audio_small.rar",
                                 "v29-filters/filter_delta_small.rar", "v29-filters/filter_rgb_small.rar",
                                 "v29-filters/filter_e8_small.rar", "v29-filters/test_read_format_rar_filter.rar" }) {
        int members = 0;
        for (const RarTestMember &m : readRarTestArchive(fixturePath(archive))) {
            if (!m.usable() || m.unpVer != 29 || m.method == 0x30)
                continue;
            members++;
            DecodeResult r = decodeBytes(m.packed, m.unpSize, 29, false);
            EXPECT_TRUE(r.guardIntact && r.crc == m.crc) << archive << ": " << m.name;
        }
        EXPECT_GT(members, 0) << archive;
    }
}

// The archive differs from one holding the audio-filtered wave in two inverted
// bytes of the audio program (bits 447..454 and 575..582; the check byte still
// matches). They turn an operand of the predictor's multiply into an absolute
// address whose displacement swallows the next commands, so the jumps back land
// in the clearing loop with a counter near 2^32: run as written, the program is
// stopped at its limit and disarmed, and the member fails its CRC in bounded
// time and inside its buffer.
TEST(InterpretedFilters, AlteredAudioProgramIsStoppedAtItsLimitAndItsMemberFails)
{
    const std::vector<uint8_t> original = hexBytes(kAudioProgram);
    std::vector<uint8_t> altered = original;
    for (size_t at : { 55, 71 }) {
        altered[at] ^= 0x01;
        altered[at + 1] ^= 0xFE;
    }
    ASSERT_EQ(FilterMachine::standardFilterOf(altered.data(), (uint32_t)altered.size()), VMSF_NONE);
    PreparedFilter a, b;
    FilterMachine::prepare(original.data(), (uint32_t)original.size(), a, false);
    FilterMachine::prepare(altered.data(), (uint32_t)altered.size(), b, false);
    ASSERT_GT(b.commands->size(), 2u);   // the check byte passes: a real program, not a lone RET
    EXPECT_EQ(a.commands->size(), b.commands->size() + 4);

    std::vector<uint8_t> block(4000);
    for (size_t i = 0; i < block.size(); i++)
        block[i] = (uint8_t)(i * 7 % 11);
    const uint64_t budget = 2000000;
    FilterMachine vm, fresh;
    uint64_t steps = 0;
    runFilter(vm, a, block, {2}, &steps, budget);
    EXPECT_LT(steps, budget);
    EXPECT_EQ(a.filteredSize, block.size());
    runFilter(fresh, b, block, {2}, &steps, budget);
    EXPECT_GE(steps, budget);
    EXPECT_EQ((*b.commands)[0].opcode, VM_RET);   // disarmed

    const uint32_t waveCrc = 0x82d2ed89;   // BoatModernEnglish.wav
    std::vector<RarTestMember> members = readRarTestArchive(fixturePath("v29-filters/audio-filter-noncanonical.rar"));
    ASSERT_FALSE(members.empty());
    EXPECT_EQ(members[0].crc, waveCrc);
    DecodeResult r = decodeBytes(members[0].packed, members[0].unpSize);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_NE(r.crc, waveCrc);
}
