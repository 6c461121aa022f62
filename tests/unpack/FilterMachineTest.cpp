// The filter machine on its own: the variable-length numbers, program
// preparation, the interpreter and its limits, and the native filters
// (checked against hand-made cases and against the interpreter running the
// same standard programs).
#include <gtest/gtest.h>

#include "FilterTestSupport.h"

#include <algorithm>
#include <random>

namespace {

PreparedFilter prepared(const std::vector<uint8_t> &code, bool native = true)
{
    PreparedFilter p;
    FilterMachine::prepare(code.data(), (uint32_t)code.size(), p, native);
    return p;
}

std::vector<uint8_t> runNative(VmStandardFilter kind, const std::vector<uint8_t> &block, std::vector<uint32_t> regs = {})
{
    PreparedFilter p;
    p.commands = std::make_shared<std::vector<VmCommand>>(2);
    (*p.commands)[0].opcode = VM_STANDARD;
    (*p.commands)[0].op1.type = VM_OPINT;
    (*p.commands)[0].op1.data = kind;
    FilterMachine vm;
    return runFilter(vm, p, block, regs);
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed, int spread = 256)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v)
        b = (uint8_t)(rng() % spread);
    return v;
}

}  // namespace

TEST(FilterMachine, ReadDataHasFiveForms)
{
    // Two-bit prefix, payload width, payload; the value read; the bit position after it.
    struct Case { uint32_t prefix, width, payload, value, end; } cases[] = {
        {0, 4, 9, 9, 6}, {1, 8, 0xA5, 0xA5, 16},
        {1, 12, 0x7E, 0xFFFFFF7Eu, 30},   // a zero upper nibble: 0xFFFFFF00 | next byte
        {2, 16, 0xBEEF, 0xBEEF, 48}, {3, 32, 0xDEADBEEF, 0xDEADBEEF, 82}};
    FilterCodeWriter w;
    for (const Case &c : cases) {
        w.bits(c.prefix, 2);
        w.bits(c.payload, c.width);
    }
    FilterBitReader in(w.bytes().data(), (uint32_t)w.bytes().size());
    for (const Case &c : cases) {
        EXPECT_EQ(FilterMachine::readData(in), c.value);
        EXPECT_EQ(in.bitPosition(), c.end);
    }
    EXPECT_FALSE(in.overrun());
    // Past the end the reader sees zero bits and says so.
    FilterMachine::readData(in);
    FilterMachine::readData(in);
    EXPECT_TRUE(in.overrun());
}

// The standard programs are recognised, and the interpreter running them gives
// what the native code gives.
TEST(FilterMachine, InterpreterAgreesWithNativeFilters)
{
    struct Case { const char *program; std::vector<uint32_t> regs; std::vector<uint8_t> block; };
    std::vector<uint8_t> calls = randomBytes(3000, 7, 256);
    for (size_t i = 0; i < calls.size(); i += 7) {   // the last one in the final four bytes
        calls[i] = (i % 14) ? 0xE8 : 0xE9;
        if (i + 4 < calls.size())
            calls[i + 4] = (i % 3) ? 0 : 0xFF;   // addresses within the file size either side of zero
    }
    std::vector<Case> cases = {
        {kE8Program, {0, 0, 0, 0x3C000, 3000, 0, 0x12345}, calls},
        {kE8E9Program, {0, 0, 0, 0x3C000, 3000, 0, 0x7FFFFFF0}, calls},
        {kDeltaProgram, {3, 0, 0, 0x3C000, 999}, randomBytes(999, 2)},
        {kRgbProgram, {3 * 20 + 3, 0, 0, 0x3C000, 1200}, randomBytes(1200, 3, 9)},
        {kRgbProgram, {3 * 16 + 3, 2, 0, 0x3C000, 960}, randomBytes(960, 4, 9)},
        {kAudioProgram, {2, 0, 0, 0x3C000, 2000}, randomBytes(2000, 5, 7)},
        {kAudioProgram, {4, 0, 0, 0x3C000, 1000}, randomBytes(1000, 6, 256)},
        {kAudioProgram, {1, 0, 0, 0x3C000, 777}, randomBytes(777, 8, 5)},
        {kAudioProgram, {11, 0, 0, 0x3C000, 1001}, randomBytes(1001, 10, 256)},
        {kAudioProgram, {3, 0, 0, 0x3C000, 20000}, randomBytes(20000, 13, 3)},   // long runs, odd tails
        {kRgbProgram, {3 * 20 + 4, 1, 0, 0x3C000, 1201}, randomBytes(1201, 11, 9)},
        {kDeltaProgram, {1, 0, 0, 0x3C000, 50}, randomBytes(50, 12)},
        {kDeltaProgram, {8, 0, 0, 0x3C000, 1000}, randomBytes(1000, 15)},   // rows of eight, and a rest
        {kDeltaProgram, {8, 0, 0, 0x3C000, 1003}, randomBytes(1003, 16)},
    };
    // The audio filter's two ways of summing its errors (where the
    // processor has wide vectors) give the same.
    for (bool wide : {true, false}) {
        FilterMachine::allowWideAudioSums(wide);
        for (Case &c : cases) {
            std::vector<uint8_t> code = hexBytes(c.program);
            PreparedFilter native = prepared(code), interpreted = prepared(code, false);
            ASSERT_EQ((*native.commands)[0].opcode, VM_STANDARD);
            ASSERT_GT(interpreted.commands->size(), 2u);
            FilterMachine vm;
            uint64_t steps = 0;
            std::vector<uint8_t> a = runFilter(vm, native, c.block, c.regs);
            std::vector<uint8_t> b = runFilter(vm, interpreted, c.block, c.regs, &steps);
            EXPECT_GT(steps, c.block.size()) << c.regs[0];
            ASSERT_EQ(a.size(), c.block.size());
            EXPECT_EQ(a, b) << "program of " << code.size() << " bytes, R0 " << c.regs[0] << ", wide " << wide;
        }
    }
    FilterMachine::allowWideAudioSums(true);
}

// The memory goes from one machine to the next (of the thread): whatever a
// native filter or an interpreted program wrote reads as zero there.
TEST(FilterMachine, MemoryComesCleanToTheNextMachine)
{
    for (bool native : {true, false}) {
        {
            FilterMachine vm;
            PreparedFilter p = prepared(hexBytes(kAudioProgram), native);
            runFilter(vm, p, randomBytes(5000, 14), {2, 0, 0, 0x3C000, 5000});
            ASSERT_EQ(p.filteredSize, 5000u);
        }
        FilterMachine next;
        next.init();
        const uint8_t *m = next.memory();
        EXPECT_EQ(std::count(m, m + kVmMemSize + 4, 0), (long)kVmMemSize + 4) << "native " << native;
    }
}

// E8, E8E9, delta, RGB and audio are checked against their programs above.
TEST(FilterMachine, ItaniumAndUpcase)
{
    EXPECT_EQ(runNative(VMSF_UPCASE, {'a', 2, 'b', 2, 2, 'c', 2}), std::vector<uint8_t>({'a', 'B', 2, 'c', 2}));

    std::vector<uint8_t> b(32, 0);
    b[0] = 0x10;   // template 0x10: only slot 2 may branch
    auto setBits = [&](uint32_t bit, uint32_t count, uint32_t v) {
        for (uint32_t i = 0; i < count; i++)
            b[(bit + i) / 8] |= (uint8_t)(((v >> i) & 1) << ((bit + i) % 8));
    };
    auto getBits = [](const std::vector<uint8_t> &v, uint32_t bit, uint32_t count, uint32_t r = 0) {
        for (uint32_t i = 0; i < count; i++)
            r |= ((v[(bit + i) / 8] >> ((bit + i) % 8)) & 1u) << i;
        return r;
    };
    setBits(87 + 37, 4, 5);
    setBits(87 + 13, 20, 0x12345);
    setBits(46 + 37, 4, 5);          // slot 1 looks like a branch but the template excludes it
    setBits(46 + 13, 20, 0x00100);
    std::vector<uint8_t> out = runNative(VMSF_ITANIUM, b, {0, 0, 0, 0x3C000, 32, 0, 0x30});
    EXPECT_EQ(getBits(out, 87 + 13, 20), 0x12345u - 3);
    EXPECT_EQ(getBits(out, 46 + 13, 20), 0x00100u);
    EXPECT_EQ(getBits(out, 87 + 37, 4), 5u);
}

TEST(FilterMachine, HostileRegistersStayInsideTheBlock)
{
    std::vector<uint8_t> block = randomBytes(300, 9);
    // Channel counts of 0 and far beyond the block; no audio channels: unfiltered.
    runNative(VMSF_DELTA, block, {0});
    EXPECT_EQ(runNative(VMSF_AUDIO, block, {0}), block);
    for (VmStandardFilter kind : {VMSF_DELTA, VMSF_AUDIO})
        EXPECT_EQ(runNative(kind, block, {0xFFFFFFFFu}).size(), block.size());
    // RGB widths below 3 or beyond the block, a red position far outside; blocks shorter than a pixel or call.
    for (uint32_t r0 : {0u, 2u, 3u, 5u, 304u, 0xFFFFFFFFu})
        EXPECT_EQ(runNative(VMSF_RGB, block, {r0, 0}), block) << r0;
    EXPECT_EQ(runNative(VMSF_RGB, block, {9, 0xFFFFFFF0u}).size(), block.size());
    EXPECT_EQ(runNative(VMSF_RGB, {1, 2}, {6}), std::vector<uint8_t>({1, 2}));
    EXPECT_EQ(runNative(VMSF_E8, {0xE8, 1, 2}), std::vector<uint8_t>({0xE8, 1, 2}));
    // R4 claiming more than the memory.
    for (VmStandardFilter kind : {VMSF_E8, VMSF_E8E9, VMSF_ITANIUM, VMSF_DELTA, VMSF_RGB, VMSF_AUDIO, VMSF_UPCASE})
        EXPECT_LE(runNative(kind, block, {6, 0, 0, 0x3C000, 0xFFFFFFFFu, 0, 0}).size(), (size_t)kVmMemSize);
}

namespace {

// Codes one command; operands are registers (0..7), immediates, or memory.
struct Op { int kind; uint32_t v; uint32_t base; };   // 0 reg, 1 imm, 2 [reg+base], 3 [base]
Op reg(uint32_t r) { return {0, r, 0}; }
Op imm(uint32_t v) { return {1, v, 0}; }
Op mem(uint32_t r, uint32_t base) { return {2, r, base}; }
Op at(uint32_t base) { return {3, 0, base}; }

void command(FilterCodeWriter &w, VmOpcode op, bool byteMode, std::vector<Op> ops)
{
    static const bool takesByteMode[] = {true, true, true, true, false, false, true, true, false, true, true, true, true,
                                         false, false, false, false, false, false, false, false, false, false, true,
                                         true, true, true, true, false, false, false, false, false, false, true, true,
                                         true, true, true, false};
    const bool hasByteMode = takesByteMode[op];
    if (op < 8) {
        w.bits(op, 4);
    } else {
        w.bits(op + 24, 6);
    }
    if (hasByteMode)
        w.bits(byteMode ? 1 : 0, 1);
    for (const Op &o : ops) {
        switch (o.kind) {
        case 0: w.bits(1, 1); w.bits(o.v, 3); break;
        case 1:
            w.bits(0, 2);
            if (byteMode) w.bits(o.v, 8); else w.data(o.v);
            break;
        case 2: w.bits(1, 2); w.bits(2, 2); w.bits(o.v, 3); w.data(o.base); break;
        default: w.bits(1, 2); w.bits(3, 2); w.data(o.base); break;
        }
    }
}

struct Cmd { VmOpcode op; std::vector<Op> ops; bool byteMode = false; };

std::vector<uint8_t> program(const std::vector<Cmd> &cmds)
{
    FilterCodeWriter w;
    w.bits(0, 1);   // no static data
    for (const Cmd &c : cmds)
        command(w, c.op, c.byteMode, c.ops);
    return genericProgram(w);
}

}  // namespace

// A wrong check byte, static data claiming 4 GiB, an endless loop, a stack
// wrapped round the memory end.
TEST(FilterMachine, HostileProgramsStayBounded)
{
    std::vector<uint8_t> code = hexBytes(kDeltaProgram);
    code[0] ^= 1;
    PreparedFilter lone = prepared(code);
    ASSERT_EQ(lone.commands->size(), 1u);   // a lone return: the block stays unfiltered
    FilterMachine vm;
    std::vector<uint8_t> block = randomBytes(100, 1);
    EXPECT_EQ(runFilter(vm, lone, block, {4}), block);

    FilterCodeWriter w;
    w.bits(1, 1);                 // static data follows...
    w.data(0xFFFFFFFFu);          // ...claiming 4 GiB (the length wraps past 32 bits)
    w.byteArray({1, 2, 3, 4, 5});
    code = genericProgram(w);
    EXPECT_LE(prepared(code).staticData.size(), code.size());

    // loop: JMP loop (an absolute target: 256 + index 0); stopped at the limit and disarmed.
    code = program({{VM_JMP, {imm(256)}}});
    PreparedFilter p = prepared(code);
    block.assign(64, 1);
    uint64_t steps = 0;
    runFilter(vm, p, block, {}, &steps);
    EXPECT_GE(steps, (uint64_t)kVmInstructionLimit);
    EXPECT_LE(steps, (uint64_t)kVmInstructionLimit + 2);
    EXPECT_EQ((*p.commands)[0].opcode, VM_RET);
    runFilter(vm, p, block, {}, &steps);
    EXPECT_EQ(steps, 1u);
    PreparedFilter q = prepared(code);   // a smaller budget stops sooner
    q.globalData.assign(0x40, 0);
    EXPECT_LE(vm.execute(q, 1000), 1001u);

    // R7 = 2: a push lands at 0x3FFFE (masked), a return pops garbage and ends.
    PreparedFilter r = prepared(program({{VM_MOV, {reg(7), imm(2)}}, {VM_PUSHA, {}}, {VM_POPA, {}}, {VM_PUSH, {reg(0)}},
                                         {VM_CALL, {imm(256 + 7)}}, {VM_POP, {reg(1)}}}));
    EXPECT_EQ(runFilter(vm, r, std::vector<uint8_t>(8, 3)).size(), 8u);
}

// Each check's commands leave its result in R0, stored in the block as the next
// word; the call goes to a subroutine after the checks.
TEST(FilterMachine, InterpreterArithmeticFlagsCallsAndStack)
{
    const struct Check { std::vector<Cmd> cmds; uint32_t want; } checks[] = {
        // Shift counts are taken modulo 32: SHL by 33 shifts by 1 (carry out), SHR by 32 not at all.
        {{{VM_MOV, {reg(0), imm(0x80000001u)}}, {VM_SHL, {reg(0), imm(33)}}}, 2},
        {{{VM_MOV, {reg(0), imm(0x80000001u)}}, {VM_SHL, {reg(0), imm(33)}}, {VM_MOV, {reg(0), imm(0)}},
          {VM_ADC, {reg(0), imm(0)}}}, 1},
        {{{VM_MOV, {reg(0), imm(5)}}, {VM_SHR, {reg(0), imm(32)}}}, 5},
        {{{VM_MOV, {reg(0), imm(0x80000000u)}}, {VM_SAR, {reg(0), imm(4)}}}, 0xF8000000u},
        {{{VM_MOV, {at(0x1000), imm(0x1282)}}, {VM_MOVZX, {reg(0), at(0x1000)}}}, 0x82},
        {{{VM_MOVSX, {reg(0), imm(0x80)}}}, 0xFFFFFF80u},
        {{{VM_MOV, {reg(0), imm(0xFF)}}, {VM_ADD, {reg(0), imm(1)}, true}}, 0},   // byte mode
        // A word straddling the memory end; an address past it masked (R5 = 0).
        {{{VM_MOV, {at(0x3FFFE), imm(0x11223344)}}, {VM_MOV, {mem(5, 0x41010), imm(0xABCD)}},
          {VM_MOV, {reg(0), at(0x1010)}}}, 0xABCD},
        {{{VM_MOV, {reg(0), imm(7)}}, {VM_MOV, {reg(1), imm(0)}}, {VM_DIV, {reg(0), reg(1)}}}, 7},   // by zero: nothing
        // A result of 0 sets the zero flag only; a borrow sets the carry.
        {{{VM_MOV, {reg(2), imm(0xFFFFFFFFu)}}, {VM_MOV, {reg(0), imm(5)}}, {VM_ADD, {reg(2), imm(1)}},
          {VM_ADC, {reg(0), imm(0)}}}, 5},
        {{{VM_MOV, {reg(4), imm(1)}}, {VM_MOV, {reg(0), imm(10)}}, {VM_SUB, {reg(4), imm(2)}}, {VM_SBB, {reg(0), imm(0)}}}, 9},
        {{{VM_CALL, {imm(0)}}, {VM_MOV, {reg(0), reg(6)}}}, 0x1234},
        {{{VM_MOV, {at(0x1020), imm(0x0F0F0F0F)}}, {VM_NOT, {at(0x1020)}, true}, {VM_MOV, {reg(0), at(0x1020)}}}, 0x0F0F0FF0u},
        {{{VM_MOV, {at(0x1024), imm(0xAABB)}}, {VM_MOV, {reg(1), imm(0x11)}}, {VM_XCHG, {reg(1), at(0x1024)}},
          {VM_MOV, {reg(0), reg(1)}}}, 0xAABB},
        {{{VM_MOV, {reg(0), at(0x1024)}}}, 0x11},
        // Flags saved with carry, overwritten without, restored.
        {{{VM_MOV, {reg(0), imm(0)}}, {VM_CMP, {reg(0), imm(1)}}, {VM_PUSHF, {}}, {VM_CMP, {reg(0), reg(0)}}, {VM_POPF, {}},
          {VM_ADC, {reg(0), imm(0)}}}, 1},
    };
    const uint32_t count = sizeof checks / sizeof checks[0];
    std::vector<Cmd> cmds;
    for (uint32_t i = 0; i < count; i++) {
        cmds.insert(cmds.end(), checks[i].cmds.begin(), checks[i].cmds.end());
        cmds.push_back({VM_MOV, {at(4 * i), reg(0)}});
    }
    cmds.push_back({VM_JMP, {imm(256 + 1000)}});   // past the end: done
    const uint32_t subAt = (uint32_t)cmds.size();
    cmds.push_back({VM_MOV, {reg(6), imm(0x1234)}});
    cmds.push_back({VM_RET, {}});
    PreparedFilter p = prepared(program(cmds));
    ASSERT_GE(p.commands->size(), cmds.size());
    for (size_t i = 0; i < cmds.size(); i++)
        if (cmds[i].op == VM_CALL)
            (*p.commands)[i].op1.data = subAt;   // absolute, as prepared
    FilterMachine vm;
    std::vector<uint8_t> out = runFilter(vm, p, std::vector<uint8_t>(4 * count, 0));
    ASSERT_EQ(out.size(), 4 * count);
    for (uint32_t i = 0; i < count; i++)
        EXPECT_EQ(get32(&out[i * 4]), checks[i].want) << "check " << i;
}
