// The interpreter against real streams: the standard programs of real
// archives, interpreted instead of run natively, must give the same members;
// and the archive whose audio program has two inverted bytes is shown to
// carry a different program, which the interpreter runs as written.
#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "RarTestArchive.h"
#include "TestDirs.h"
#include "UnpackTestUtil.h"

#include <string>
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

bool sameOperand(const VmOperand &a, const VmOperand &b)
{
    return a.type == b.type && a.hasRegister == b.hasRegister && a.data == b.data && a.base == b.base;
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
            DecodeResult interpreted = decodeBytes(m.packed, m.unpSize, 29, false);
            EXPECT_EQ(interpreted.crc, m.crc) << archive << ": " << m.name;
            EXPECT_TRUE(interpreted.guardIntact) << archive;
        }
        EXPECT_GT(members, 0) << archive;
    }
}

TEST(InterpretedFilters, AlteredAudioProgramIsAnotherProgram)
{
    const std::vector<uint8_t> original = hexBytes(kAudioProgram);
    const std::vector<uint8_t> altered = alteredAudioProgram();
    ASSERT_EQ(FilterMachine::standardFilterOf(altered.data(), (uint32_t)altered.size()), VMSF_NONE);

    PreparedFilter a, b;
    FilterMachine::prepare(original.data(), (uint32_t)original.size(), a, false);
    FilterMachine::prepare(altered.data(), (uint32_t)altered.size(), b, false);
    const std::vector<VmCommand> &ca = *a.commands, &cb = *b.commands;
    ASSERT_GT(cb.size(), 2u);   // the check byte passes: a real program, not a lone RET
    // The commands before the first inverted bit are the same.
    for (size_t i = 0; i < 24; i++) {
        EXPECT_EQ(ca[i].opcode, cb[i].opcode) << i;
        EXPECT_TRUE(sameOperand(ca[i].op1, cb[i].op1) && sameOperand(ca[i].op2, cb[i].op2)) << i;
    }
    // Command 24 is the multiply of the predictor's weighted sum, MUL R6,[R1+12].
    // The inverted bits set bit 12 of its second operand: an absolute address
    // whose 32-bit displacement swallows the next commands.
    EXPECT_EQ(ca[24].opcode, VM_MUL);
    EXPECT_TRUE(ca[24].op2.hasRegister);
    EXPECT_EQ(ca[24].op2.data, 1u);
    EXPECT_EQ(ca[24].op2.base, 12u);
    EXPECT_EQ(cb[24].opcode, VM_MUL);
    EXPECT_EQ(cb[24].op2.type, VM_OPREGMEM);
    EXPECT_FALSE(cb[24].op2.hasRegister);
    EXPECT_EQ(cb[24].op2.base, 0x604de248u);
    // Four commands fewer, so the relative jumps back across the change land
    // four commands off: the per-sample loop's JB now targets the clearing
    // loop at 10 instead of the PUSHA at 14.
    ASSERT_EQ(ca.size(), 107u);
    ASSERT_EQ(cb.size(), 103u);
    EXPECT_EQ(ca[98].opcode, VM_JB);
    EXPECT_EQ(ca[98].op1.data, 14u);
    EXPECT_EQ(cb[94].opcode, VM_JB);
    EXPECT_EQ(cb[94].op1.data, 10u);
    EXPECT_EQ(ca[14].opcode, VM_PUSHA);

    // Over a block, in a fresh machine as the archive's first filter finds
    // it, the original ends soon. The altered one negates an untouched (zero)
    // output word, so its JNZ R1 falls through, and the JB sends it into the
    // clearing loop with a counter near 2^32: it is stopped at its limit and
    // disarmed.
    std::vector<uint8_t> block(4000);
    for (size_t i = 0; i < block.size(); i++)
        block[i] = (uint8_t)(i * 7 % 11);
    const uint64_t budget = 2000000;
    FilterMachine vm;
    uint64_t steps = 0;
    runFilter(vm, a, block, {2}, &steps, budget);
    EXPECT_LT(steps, budget);
    EXPECT_EQ(a.filteredSize, block.size());
    FilterMachine fresh;
    runFilter(fresh, b, block, {2}, &steps, budget);
    EXPECT_GE(steps, budget);
    EXPECT_EQ(cb[0].opcode, VM_RET);   // disarmed
}

TEST(InterpretedFilters, AlteredAudioArchiveFailsItsCrc)
{
    // The archive differs from the unaltered one in two inverted bytes, and
    // both members' headers and sizes are the same.
    std::vector<RarTestMember> altered = readRarTestArchive(fixturePath("v29-filters/audio-filter-noncanonical.rar"));
    std::vector<RarTestMember> plain =
        readRarTestArchive(fixturePath("v29-filters/BoatModernEnglish-audio-text-unpack30.rar"));
    ASSERT_FALSE(altered.empty());
    ASSERT_EQ(altered.size(), plain.size());
    const std::vector<uint8_t> &p = plain[0].packed, &q = altered[0].packed;
    ASSERT_EQ(p.size(), q.size());
    std::vector<size_t> changed;
    for (size_t i = 0; i < p.size(); i++)
        if (p[i] != q[i]) {
            changed.push_back(i);
            EXPECT_EQ(p[i] ^ q[i], 0xFF) << i;
        }
    EXPECT_EQ(changed.size(), 2u);
    // Run as written the program never produces the wave: the member fails
    // its CRC, in bounded time and inside its buffer.
    EXPECT_EQ(altered[0].crc, kWaveCrc);
    DecodeResult r = decodeBytes(q, altered[0].unpSize);
    EXPECT_TRUE(r.guardIntact);
    EXPECT_NE(r.crc, kWaveCrc);
}
