// The interpreter against real streams: standard programs interpreted give the
// same members, and an altered audio program runs as written.
#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"

#include <vector>

namespace {

const uint32_t kWaveCrc = 0x82d2ed89;   // BoatModernEnglish.wav

// The audio program with the two bytes of the altered archive inverted: its
// bits 447..454 and 575..582 (the check byte still matches).
std::vector<uint8_t> alteredAudioProgram()
{
    std::vector<uint8_t> code = hexBytes(kAudioProgram);
    code[55] ^= 0x01;
    code[56] ^= 0xFE;
    code[71] ^= 0x01;
    code[72] ^= 0xFE;
    return code;
}

}  // namespace

TEST(InterpretedFilters, StandardProgramsInterpretedGiveTheSameMembers)
{
    for (const char *archive : {
             "v29-filters/BoatModernEnglish-audio-text-unpack30.rar",   // AUDIO, 2 channels, 56 KB
             "v29-filters/filter_audio_small.rar",
             "v29-filters/filter_delta_small.rar",
             "v29-filters/filter_rgb_small.rar",
             "v29-filters/filter_e8_small.rar",
             "v29-filters/test_read_format_rar_filter.rar",   // E8E9 and DELTA
         }) {
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

// Two inverted bytes turn an operand of the predictor's multiply into an
// absolute address whose displacement swallows the next commands, so the
// jumps back across the change land in the clearing loop with a counter near
// 2^32: in a fresh machine the program is stopped at its limit and disarmed,
// where the original ends soon.
TEST(InterpretedFilters, AlteredAudioProgramIsAnotherProgramStoppedAtItsLimit)
{
    const std::vector<uint8_t> original = hexBytes(kAudioProgram);
    const std::vector<uint8_t> altered = alteredAudioProgram();
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
}

// The archive differs from the unaltered one in two inverted bytes of the
// program: run as written it never produces the wave, and the member fails
// its CRC in bounded time and inside its buffer.
TEST(InterpretedFilters, AlteredAudioArchiveFailsItsCrc)
{
    std::vector<RarTestMember> altered = readRarTestArchive(fixturePath("v29-filters/audio-filter-noncanonical.rar"));
    ASSERT_FALSE(altered.empty());
    EXPECT_EQ(altered[0].crc, kWaveCrc);
    DecodeResult r = decodeBytes(altered[0].packed, altered[0].unpSize);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_NE(r.crc, kWaveCrc);
}
