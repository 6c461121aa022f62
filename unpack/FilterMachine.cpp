// The filter machine: program preparation, the interpreter and the native
// standard filters.
#include "FilterMachine.h"
#include "Unpack.h"

#include <stdlib.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

inline uint32_t rd32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void wr32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)(v >> 16); p[3] = (uint8_t)(v >> 24);
}

// Operand count and byte-mode flag of every opcode.
struct OpInfo { uint8_t operands; bool byteMode; bool jump; };
const OpInfo kOps[VM_STANDARD + 1] = {
    {2, true, false},  {2, true, false},  {2, true, false},  {2, true, false},   // MOV CMP ADD SUB
    {1, false, true},  {1, false, true},  {1, true, false},  {1, true, false},   // JZ JNZ INC DEC
    {1, false, true},  {2, true, false},  {2, true, false},  {2, true, false},   // JMP XOR AND OR
    {2, true, false},  {1, false, true},  {1, false, true},  {1, false, true},   // TEST JS JNS JB
    {1, false, true},  {1, false, true},  {1, false, true},  {1, false, false},  // JBE JA JAE PUSH
    {1, false, false}, {1, false, true},  {0, false, false}, {1, true, false},   // POP CALL RET NOT
    {2, true, false},  {2, true, false},  {2, true, false},  {1, true, false},   // SHL SHR SAR NEG
    {0, false, false}, {0, false, false}, {0, false, false}, {0, false, false},  // PUSHA POPA PUSHF POPF
    {2, false, false}, {2, false, false}, {2, true, false},  {2, true, false},   // MOVZX MOVSX XCHG MUL
    {2, true, false},  {2, true, false},  {2, true, false},  {0, false, false},  // DIV ADC SBB PRINT
    {0, false, false}                                                            // STANDARD
};

struct StandardSignature { uint32_t length; uint32_t crc; VmStandardFilter kind; };
const StandardSignature kStandard[] = {
    {53, 0xAD576887, VMSF_E8},     {57, 0x3CD7E57E, VMSF_E8E9},  {120, 0x3769893F, VMSF_ITANIUM},
    {29, 0x0E06077D, VMSF_DELTA},  {149, 0x1C2C5DC8, VMSF_RGB},  {216, 0xBC85E701, VMSF_AUDIO},
    {40, 0x46B9C560, VMSF_UPCASE},
};

void decodeOperand(FilterBitReader &in, VmOperand &op, bool byteMode)
{
    uint32_t v = in.peekBits();
    if (v & 0x8000) {
        op.type = VM_OPREG;
        op.data = (v >> 12) & 7;
        in.skipBits(4);
    } else if ((v & 0xC000) == 0) {
        op.type = VM_OPINT;
        if (byteMode) {
            op.data = (v >> 6) & 0xFF;
            in.skipBits(10);
        } else {
            in.skipBits(2);
            op.data = FilterMachine::readData(in);
        }
    } else {
        op.type = VM_OPREGMEM;
        if ((v & 0x2000) == 0) {
            op.hasRegister = true;
            op.data = (v >> 10) & 7;
            op.base = 0;
            in.skipBits(6);
        } else if ((v & 0x1000) == 0) {
            op.hasRegister = true;
            op.data = (v >> 9) & 7;
            in.skipBits(7);
            op.base = FilterMachine::readData(in);
        } else {
            op.hasRegister = false;
            op.data = 0;
            in.skipBits(4);
            op.base = FilterMachine::readData(in);
        }
    }
}

inline uint32_t zs(uint32_t r) { return r == 0 ? VM_FZ : (r & VM_FS); }

}  // namespace

namespace {
// Cleared machine memory waiting for the next machine of the thread.
thread_local KeptBuffer g_keptVmMemory;
}  // namespace

FilterMachine::FilterMachine() : mem_(nullptr), dirtyLow_(0), dirtyGlobal_(0), dirtyAll_(false), flags_(0)
{
    memset(R_, 0, sizeof(R_));
}

FilterMachine::~FilterMachine()
{
    if (!mem_)
        return;
    if (dirtyAll_) {
        memset(mem_, 0, kVmMemSize + 4);
    } else {
        memset(mem_, 0, dirtyLow_);
        memset(mem_ + kVmGlobalAddr, 0, dirtyGlobal_);
    }
    g_keptVmMemory.give(mem_);
}

void FilterMachine::releaseKeptMemory()
{
    g_keptVmMemory.release();
}

void FilterMachine::init()
{
    if (mem_)
        return;
    mem_ = g_keptVmMemory.take();
    if (!mem_)
        mem_ = (uint8_t *)calloc(kVmMemSize + 4, 1);
    if (!mem_)
        g_unpackErrors.memoryError();
}

uint32_t FilterMachine::readData(FilterBitReader &in)
{
    uint32_t v = in.peekBits();
    switch (v & 0xC000) {
    case 0:
        in.skipBits(6);
        return (v >> 10) & 0xF;
    case 0x4000:
        if ((v & 0x3C00) == 0) {
            in.skipBits(14);
            return 0xFFFFFF00u | ((v >> 2) & 0xFF);
        }
        in.skipBits(10);
        return (v >> 6) & 0xFF;
    case 0x8000:
        in.skipBits(2);
        v = in.peekBits();
        in.skipBits(16);
        return v;
    default: {
        in.skipBits(2);
        uint32_t hi = in.peekBits();
        in.skipBits(16);
        uint32_t lo = in.peekBits();
        in.skipBits(16);
        return (hi << 16) | lo;
    }
    }
}

VmStandardFilter FilterMachine::standardFilterOf(const uint8_t *code, uint32_t size)
{
    uint32_t crc = ~crc32(0xFFFFFFFFu, code, size);
    for (const StandardSignature &s : kStandard)
        if (s.length == size && s.crc == crc)
            return s.kind;
    return VMSF_NONE;
}

void FilterMachine::prepare(const uint8_t *code, uint32_t size, PreparedFilter &prog, bool native)
{
    auto commands = std::make_shared<std::vector<VmCommand>>();
    prog.commands = commands;
    prog.staticData.clear();

    uint8_t x = 0;
    for (uint32_t i = 1; i < size; i++)
        x ^= code[i];
    if (size == 0 || x != code[0]) {
        commands->push_back(VmCommand());   // a lone RET: the block passes unfiltered
        return;
    }

    VmStandardFilter kind = native ? standardFilterOf(code, size) : VMSF_NONE;
    if (kind != VMSF_NONE) {
        VmCommand std;
        std.opcode = VM_STANDARD;
        std.op1.type = VM_OPINT;
        std.op1.data = kind;
        commands->push_back(std);
        commands->push_back(VmCommand());
        return;
    }

    FilterBitReader in(code, size);
    in.skipBits(8);
    if (in.readBits(1)) {
        // The claimed length may be anything up to 4 GiB: take only what the code holds.
        uint64_t n = (uint64_t)readData(in) + 1;
        for (uint64_t i = 0; i < n && in.inside(); i++)
            prog.staticData.push_back((uint8_t)in.readBits(8));
    }

    while (in.inside()) {
        VmCommand cmd;
        uint32_t v = in.peekBits();
        uint32_t op;
        if ((v & 0x8000) == 0) {
            op = v >> 12;
            in.skipBits(4);
        } else {
            op = (v >> 10) - 24;
            in.skipBits(6);
        }
        cmd.opcode = (VmOpcode)op;
        const OpInfo &info = kOps[op];
        if (info.byteMode)
            cmd.byteMode = in.readBits(1) != 0;
        if (info.operands > 0)
            decodeOperand(in, cmd.op1, cmd.byteMode);
        if (info.operands > 1)
            decodeOperand(in, cmd.op2, cmd.byteMode);
        if (info.jump && cmd.op1.type == VM_OPINT) {
            uint32_t d = cmd.op1.data;
            if (d >= 256) {
                d -= 256;
            } else {
                if (d >= 136)
                    d -= 264;
                else if (d >= 16)
                    d -= 8;
                else if (d >= 8)
                    d -= 16;
                d += (uint32_t)commands->size();
            }
            cmd.op1.data = d;
        }
        commands->push_back(cmd);
    }
    commands->push_back(VmCommand());
}

void FilterMachine::setMemory(uint32_t address, const uint8_t *data, uint32_t size)
{
    if (!mem_ || address >= kVmMemSize || size == 0)
        return;
    uint32_t n = size < kVmMemSize - address ? size : kVmMemSize - address;
    memmove(mem_ + address, data, n);
    if (address >= kVmGlobalAddr)
        dirtyAll_ = true;   // not where blocks go: no need to track it finely
    else
        wroteLow((uint64_t)address + n);
}

uint64_t FilterMachine::execute(PreparedFilter &prog, uint64_t maxInstructions)
{
    init();
    for (int i = 0; i < 7; i++)
        R_[i] = prog.initR[i];
    R_[7] = kVmMemSize;
    flags_ = 0;

    uint32_t g = prog.globalData.size() < kVmGlobalSize ? (uint32_t)prog.globalData.size() : kVmGlobalSize;
    if (g)
        memcpy(mem_ + kVmGlobalAddr, prog.globalData.data(), g);
    uint32_t s = kVmGlobalSize - g;
    if (prog.staticData.size() < s)
        s = (uint32_t)prog.staticData.size();
    if (s)
        memcpy(mem_ + kVmGlobalAddr + g, prog.staticData.data(), s);
    // Every standard filter writes the output words (0x1C..0x23) too.
    const uint32_t global = g + s > 0x24 ? g + s : 0x24;
    if (global > dirtyGlobal_)
        dirtyGlobal_ = global;

    uint64_t executed = 0;
    if (prog.commands && !prog.commands->empty()) {
        std::vector<VmCommand> &code = *prog.commands;
        // A standard filter writes its block and as much behind it; any
        // other program may write anywhere.
        if (code.size() == 2 && code[0].opcode == VM_STANDARD)
            wroteLow(2 * (uint64_t)R_[4]);
        else
            dirtyAll_ = true;
        uint64_t budget = maxInstructions < kVmInstructionLimit ? maxInstructions : kVmInstructionLimit;
        if (!interpret(code, budget, executed))
            code[0] = VmCommand();   // disarmed: later runs of this program do nothing
    }

    uint32_t pos = rd32(mem_ + kVmGlobalAddr + 0x20) & kVmMemMask;
    uint32_t size = rd32(mem_ + kVmGlobalAddr + 0x1C) & kVmMemMask;
    if (pos + size > kVmMemMask)
        pos = size = 0;
    prog.filteredData = mem_ + pos;
    prog.filteredSize = size;
    return executed;
}

bool FilterMachine::interpret(std::vector<VmCommand> &code, uint64_t budget, uint64_t &executed)
{
    uint32_t *R = R_;
    uint8_t *mem = mem_;
    const uint32_t count = (uint32_t)code.size();
    int64_t remaining = (int64_t)budget;
    uint32_t ip = 0;
    uint32_t dummy = 0;

    struct Loc { uint32_t *reg; uint8_t *mem; };
    auto loc = [&](VmOperand &op) -> Loc {
        switch (op.type) {
        case VM_OPREG: return {&R[op.data & 7], nullptr};
        case VM_OPINT: return {&op.data, nullptr};
        case VM_OPREGMEM: {
            uint32_t a = ((op.hasRegister ? R[op.data & 7] : 0) + op.base) & kVmMemMask;
            return {nullptr, mem + a};
        }
        default: dummy = 0; return {&dummy, nullptr};
        }
    };
    auto get = [](const Loc &l, bool byteMode) -> uint32_t {
        if (l.reg)
            return byteMode ? (*l.reg & 0xFF) : *l.reg;
        return byteMode ? l.mem[0] : rd32(l.mem);
    };
    auto set = [](const Loc &l, bool byteMode, uint32_t v) {
        if (l.reg)
            *l.reg = byteMode ? (v & 0xFF) : v;
        else if (byteMode)
            l.mem[0] = (uint8_t)v;
        else
            wr32(l.mem, v);
    };
    auto push = [&](uint32_t v) {
        R[7] -= 4;
        wr32(mem + (R[7] & kVmMemMask), v);
    };
    auto pop = [&]() -> uint32_t {
        uint32_t v = rd32(mem + (R[7] & kVmMemMask));
        R[7] += 4;
        return v;
    };

    while (ip < count) {
        VmCommand &c = code[ip];
        remaining--;
        executed++;
        const bool bm = c.byteMode;
        uint32_t target = 0;
        bool jump = false;
        switch (c.opcode) {
        case VM_MOV: { Loc a = loc(c.op1), b = loc(c.op2); set(a, bm, get(b, bm)); break; }
        case VM_CMP: {
            Loc a = loc(c.op1), b = loc(c.op2);
            uint32_t x = get(a, bm), r = x - get(b, bm);
            flags_ = r == 0 ? VM_FZ : ((r > x ? VM_FC : 0) | (r & VM_FS));
            break;
        }
        case VM_ADD: {
            Loc a = loc(c.op1), b = loc(c.op2);
            uint32_t x = get(a, bm), r = x + get(b, bm);
            flags_ = r == 0 ? VM_FZ : ((r < x ? VM_FC : 0) | (r & VM_FS));
            set(a, bm, r);
            break;
        }
        case VM_SUB: {
            Loc a = loc(c.op1), b = loc(c.op2);
            uint32_t x = get(a, bm), r = x - get(b, bm);
            flags_ = r == 0 ? VM_FZ : ((r > x ? VM_FC : 0) | (r & VM_FS));
            set(a, bm, r);
            break;
        }
        case VM_JZ: jump = (flags_ & VM_FZ) != 0; break;
        case VM_JNZ: jump = (flags_ & VM_FZ) == 0; break;
        case VM_INC: { Loc a = loc(c.op1); uint32_t r = get(a, bm) + 1; flags_ = zs(r); set(a, bm, r); break; }
        case VM_DEC: { Loc a = loc(c.op1); uint32_t r = get(a, bm) - 1; flags_ = zs(r); set(a, bm, r); break; }
        case VM_JMP: jump = true; break;
        case VM_XOR: { Loc a = loc(c.op1), b = loc(c.op2); uint32_t r = get(a, bm) ^ get(b, bm); flags_ = zs(r); set(a, bm, r); break; }
        case VM_AND: { Loc a = loc(c.op1), b = loc(c.op2); uint32_t r = get(a, bm) & get(b, bm); flags_ = zs(r); set(a, bm, r); break; }
        case VM_OR: { Loc a = loc(c.op1), b = loc(c.op2); uint32_t r = get(a, bm) | get(b, bm); flags_ = zs(r); set(a, bm, r); break; }
        case VM_TEST: { Loc a = loc(c.op1), b = loc(c.op2); flags_ = zs(get(a, bm) & get(b, bm)); break; }
        case VM_JS: jump = (flags_ & VM_FS) != 0; break;
        case VM_JNS: jump = (flags_ & VM_FS) == 0; break;
        case VM_JB: jump = (flags_ & VM_FC) != 0; break;
        case VM_JBE: jump = (flags_ & (VM_FC | VM_FZ)) != 0; break;
        case VM_JA: jump = (flags_ & (VM_FC | VM_FZ)) == 0; break;
        case VM_JAE: jump = (flags_ & VM_FC) == 0; break;
        case VM_PUSH: push(get(loc(c.op1), false)); break;
        case VM_POP: { Loc a = loc(c.op1); set(a, false, pop()); break; }
        case VM_CALL: {
            target = get(loc(c.op1), false);
            push(ip + 1);
            if (target >= count)
                return true;
            if (remaining <= 0)
                return false;
            ip = target;
            continue;
        }
        case VM_RET:
            if (R[7] >= kVmMemSize)
                return true;
            target = pop();
            if (target >= count)
                return true;
            if (remaining <= 0)
                return false;
            ip = target;
            continue;
        case VM_NOT: { Loc a = loc(c.op1); set(a, bm, ~get(a, bm)); break; }
        case VM_SHL: {
            Loc a = loc(c.op1), b = loc(c.op2);
            uint32_t x = get(a, bm), s = get(b, bm) & 31, r = x << s;
            flags_ = zs(r) | (s ? (x >> (32 - s)) & 1 : 0);
            set(a, bm, r);
            break;
        }
        case VM_SHR: {
            Loc a = loc(c.op1), b = loc(c.op2);
            uint32_t x = get(a, bm), s = get(b, bm) & 31, r = x >> s;
            flags_ = zs(r) | (s ? (x >> (s - 1)) & 1 : 0);
            set(a, bm, r);
            break;
        }
        case VM_SAR: {
            Loc a = loc(c.op1), b = loc(c.op2);
            uint32_t x = get(a, bm), s = get(b, bm) & 31;
            uint32_t r = (uint32_t)((int32_t)x >> s);
            flags_ = zs(r) | (s ? ((uint32_t)((int32_t)x >> (s - 1)) & 1) : 0);
            set(a, bm, r);
            break;
        }
        case VM_NEG: {
            Loc a = loc(c.op1);
            uint32_t r = 0u - get(a, bm);
            flags_ = r == 0 ? VM_FZ : (VM_FC | (r & VM_FS));
            set(a, bm, r);
            break;
        }
        case VM_PUSHA: {
            uint32_t sp = R[7];
            for (int i = 0; i < 8; i++)
                wr32(mem + ((sp - 4 * (uint32_t)(i + 1)) & kVmMemMask), R[i]);
            R[7] = sp - 32;
            break;
        }
        case VM_POPA: {
            uint32_t sp = R[7];
            for (int i = 0; i < 8; i++)
                R[i] = rd32(mem + ((sp + 28 - 4 * (uint32_t)i) & kVmMemMask));
            break;
        }
        case VM_PUSHF: push(flags_); break;
        case VM_POPF: flags_ = pop(); break;
        case VM_MOVZX: { Loc a = loc(c.op1), b = loc(c.op2); set(a, false, get(b, true)); break; }
        case VM_MOVSX: { Loc a = loc(c.op1), b = loc(c.op2); set(a, false, (uint32_t)(int32_t)(int8_t)get(b, true)); break; }
        case VM_XCHG: {
            Loc a = loc(c.op1), b = loc(c.op2);
            uint32_t x = get(a, bm), y = get(b, bm);
            set(a, bm, y);
            set(b, bm, x);
            break;
        }
        case VM_MUL: { Loc a = loc(c.op1), b = loc(c.op2); set(a, bm, get(a, bm) * get(b, bm)); break; }
        case VM_DIV: {
            Loc a = loc(c.op1), b = loc(c.op2);
            uint32_t d = get(b, bm);
            if (d)
                set(a, bm, get(a, bm) / d);
            break;
        }
        case VM_ADC: {
            Loc a = loc(c.op1), b = loc(c.op2);
            uint32_t cf = flags_ & VM_FC, x = get(a, bm), r = x + get(b, bm) + cf;
            flags_ = r == 0 ? VM_FZ : (((r < x || (r == x && cf)) ? VM_FC : 0) | (r & VM_FS));
            set(a, bm, r);
            break;
        }
        case VM_SBB: {
            Loc a = loc(c.op1), b = loc(c.op2);
            uint32_t cf = flags_ & VM_FC, x = get(a, bm), r = x - get(b, bm) - cf;
            flags_ = r == 0 ? VM_FZ : (((r > x || (r == x && cf)) ? VM_FC : 0) | (r & VM_FS));
            set(a, bm, r);
            break;
        }
        case VM_PRINT: break;
        case VM_STANDARD: runStandard((VmStandardFilter)c.op1.data); break;
        default: break;
        }
        if (jump) {
            target = get(loc(c.op1), false);
            if (target >= count)
                return true;
            if (remaining <= 0)
                return false;
            ip = target;
            continue;
        }
        ip++;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Native standard filters. R4 is the block length n, the block is at address
// 0; filters that produce a new block write it behind the old one and store
// its position (and size) in the global area's output words. Whatever the
// registers say, every access stays inside the block and its output area.

namespace {

inline void setFilteredPos(uint8_t *mem, uint32_t pos) { wr32(mem + kVmGlobalAddr + 0x20, pos); }
inline void setFilteredSize(uint8_t *mem, uint32_t size) { wr32(mem + kVmGlobalAddr + 0x1C, size); }

void filterE8(uint8_t *mem, uint32_t n, uint32_t fileOffset, bool e9)
{
    if (n >= kVmGlobalAddr || n < 4)
        return;
    const uint32_t end = n - 4;
    uint32_t i = 0;
    while (i < end) {
        // Skip quickly to the next candidate opcode byte.
        const uint8_t *p = mem + i;
        const uint8_t *stop = mem + end;
        if (e9) {
            // Eight bytes at a time while none of them is 0xE8 or 0xE9.
            while (stop - p >= 8) {
                uint64_t w;
                memcpy(&w, p, 8);
                uint64_t y = (w & 0xFEFEFEFEFEFEFEFEull) ^ 0xE8E8E8E8E8E8E8E8ull;
                if ((y - 0x0101010101010101ull) & ~y & 0x8080808080808080ull)
                    break;
                p += 8;
            }
            while (p < stop && (*p & 0xFE) != 0xE8)
                p++;
        } else {
            p = (const uint8_t *)memchr(p, 0xE8, stop - p);
            if (!p)
                p = stop;
        }
        if (p >= stop)
            break;
        i = (uint32_t)(p - mem) + 1;
        uint32_t offset = i + fileOffset;
        uint32_t a = rd32(mem + i);
        if (a & 0x80000000u) {
            if (((a + offset) & 0x80000000u) == 0)
                wr32(mem + i, a + 0x1000000);
        } else if (a < 0x1000000) {
            wr32(mem + i, a - offset);
        }
        i += 4;
    }
}

inline uint32_t bundleBits(const uint8_t *bundle, uint32_t bit, uint32_t count)
{
    return (rd32(bundle + (bit >> 3)) >> (bit & 7)) & ((1u << count) - 1);
}
inline void setBundleBits(uint8_t *bundle, uint32_t bit, uint32_t count, uint32_t value)
{
    uint8_t *p = bundle + (bit >> 3);
    uint32_t m = ((1u << count) - 1) << (bit & 7);
    wr32(p, (rd32(p) & ~m) | ((value << (bit & 7)) & m));
}

void filterItanium(uint8_t *mem, uint32_t n, uint32_t fileOffset)
{
    static const uint8_t masks[16] = {4, 4, 6, 6, 0, 0, 7, 7, 4, 4, 0, 0, 4, 4, 0, 0};
    if (n >= kVmGlobalAddr || n <= 21)
        return;
    fileOffset >>= 4;
    for (uint32_t p = 0; p < n - 21; p += 16, fileOffset++) {
        int t = (mem[p] & 0x1F) - 0x10;
        if (t < 0 || masks[t] == 0)
            continue;
        uint8_t *bundle = mem + p;
        for (uint32_t k = 0; k < 3; k++) {
            if (!(masks[t] & (1u << k)))
                continue;
            uint32_t s = k * 41 + 5;
            if (bundleBits(bundle, s + 37, 4) != 5)
                continue;
            uint32_t field = bundleBits(bundle, s + 13, 20);
            setBundleBits(bundle, s + 13, 20, (field - fileOffset) & 0xFFFFF);
        }
    }
}

#if defined(__SSE2__)
// Delta of eight channels of rows bytes each (the sources one channel after
// the other) into rows of eight output bytes, eight rows at a time: the
// sources are transposed into rows, and each output row is the previous
// one less its source row. Returns the rows done; prev is each channel's
// last output byte.
uint32_t delta8(const uint8_t *src, uint8_t *out, uint32_t rows, uint8_t prev[8])
{
    __m128i acc = _mm_setzero_si128();   // the last row, in both halves
    uint32_t k = 0;
    for (; k + 8 <= rows; k += 8) {
        __m128i c[8];
        for (int j = 0; j < 8; j++)
            c[j] = _mm_loadl_epi64((const __m128i *)(src + j * rows + k));
        __m128i t0 = _mm_unpacklo_epi8(c[0], c[1]), t1 = _mm_unpacklo_epi8(c[2], c[3]);
        __m128i t2 = _mm_unpacklo_epi8(c[4], c[5]), t3 = _mm_unpacklo_epi8(c[6], c[7]);
        __m128i u0 = _mm_unpacklo_epi16(t0, t1), u1 = _mm_unpackhi_epi16(t0, t1);
        __m128i u2 = _mm_unpacklo_epi16(t2, t3), u3 = _mm_unpackhi_epi16(t2, t3);
        // Rows 0 and 1, 2 and 3, ... of the eight, each pair in one vector.
        __m128i pairs[4] = {_mm_unpacklo_epi32(u0, u2), _mm_unpackhi_epi32(u0, u2),
                            _mm_unpacklo_epi32(u1, u3), _mm_unpackhi_epi32(u1, u3)};
        for (int p = 0; p < 4; p++) {
            __m128i sums = _mm_add_epi8(pairs[p], _mm_slli_si128(pairs[p], 8));
            __m128i rowsOut = _mm_sub_epi8(acc, sums);
            _mm_storeu_si128((__m128i *)(out + 8 * k + 16 * p), rowsOut);
            acc = _mm_unpackhi_epi64(rowsOut, rowsOut);
        }
    }
    _mm_storel_epi64((__m128i *)prev, acc);
    return k;
}
#endif

void filterDelta(uint8_t *mem, uint32_t n, uint32_t channels)
{
    if (n >= kVmGlobalAddr / 2)
        return;
    setFilteredPos(mem, n);
    if (channels > n)
        channels = n;   // channels beyond the block have no bytes
    const uint8_t *src = mem;
#if defined(__SSE2__)
    if (channels == 8 && n % 8 == 0) {
        // Eight channels of one length (records of eight bytes): the rows
        // in vectors, then the rest of each channel below.
        const uint32_t rows = n / 8;
        uint8_t prev[8];
        const uint32_t done = delta8(mem, mem + n, rows, prev);
        for (uint32_t j = 0; j < 8; j++) {
            const uint8_t *s = mem + j * rows + done;
            uint8_t p = prev[j];
            for (uint32_t d = n + j + 8 * done; d < 2 * n; d += 8) {
                p = (uint8_t)(p - *s++);
                mem[d] = p;
            }
        }
        return;
    }
#endif
    for (uint32_t j = 0; j < channels; j++) {
        uint8_t prev = 0;
        uint32_t d = n + j;
        // Eight source bytes per load: a load for every byte, each behind
        // stores to the same memory, can wait on them.
        while (d + 7 * channels < 2 * n) {
            uint64_t w;
            memcpy(&w, src, 8);
            src += 8;
            for (int k = 0; k < 8; k++, d += channels) {
                prev = (uint8_t)(prev - (uint8_t)(w >> (8 * k)));
                mem[d] = prev;
            }
        }
        for (; d < 2 * n; d += channels) {
            prev = (uint8_t)(prev - *src++);
            mem[d] = prev;
        }
    }
}

// The colour predictor: the median-like choice among left, upper and
// upper-left neighbours (ties prefer left, then upper).
inline uint32_t paeth(uint32_t prev, uint32_t upper, uint32_t upperLeft)
{
    int pa = abs((int)upper - (int)upperLeft);                       // |p - prev|
    int pb = abs((int)prev - (int)upperLeft);                        // |p - upper|
    int pc = abs((int)prev + (int)upper - 2 * (int)upperLeft);       // |p - upper-left|
    uint32_t second = pb <= pc ? upper : upperLeft;
    return (pa <= pb && pa <= pc) ? prev : second;
}

void filterRgb(uint8_t *mem, uint32_t n, uint32_t r0, uint32_t redPos)
{
    uint32_t width = r0 - 3;
    // A width outside 3..n or a block too short for one pixel: the block
    // stays unfiltered rather than reading outside the output area.
    if (n >= kVmGlobalAddr / 2 || n < 3 || width < 3 || width > n)
        return;
    setFilteredPos(mem, n);
    uint8_t *out = mem + n;
    // The three channels are coded one after the other; they are decoded
    // side by side, one pixel at a time.
    const uint32_t count0 = (n + 2) / 3, count1 = (n + 1) / 3;
    const uint8_t *src[3] = {mem, mem + count0, mem + count0 + count1};
    uint32_t prev[3] = {0, 0, 0};
    const uint32_t bodyStart = width + 3;   // first byte with an upper row
    uint32_t b = 0;
    // Generic steps: the first row and any pixel that straddles a border.
    auto step = [&](uint32_t i, uint32_t j) {
        uint32_t predicted = i >= bodyStart ? paeth(prev[j], out[i - width], out[i - width - 3]) : prev[j];
        prev[j] = (predicted - *src[j]++) & 0xFF;
        out[i] = (uint8_t)prev[j];
    };
    for (; b < n && b < bodyStart; b += 3)
        for (uint32_t j = 0; j < 3 && b + j < n; j++)
            step(b + j, j);
    for (; b + 2 < n; b += 3) {
        const uint8_t *up = out + b - width;
        uint32_t v0 = (paeth(prev[0], up[0], up[-3]) - *src[0]++) & 0xFF;
        uint32_t v1 = (paeth(prev[1], up[1], up[-2]) - *src[1]++) & 0xFF;
        uint32_t v2 = (paeth(prev[2], up[2], up[-1]) - *src[2]++) & 0xFF;
        out[b] = (uint8_t)v0;
        out[b + 1] = (uint8_t)v1;
        out[b + 2] = (uint8_t)v2;
        prev[0] = v0;
        prev[1] = v1;
        prev[2] = v2;
    }
    for (uint32_t j = 0; b + j < n; j++)
        step(b + j, j);
    for (uint32_t i = redPos; i < n - 2; i += 3) {
        uint8_t g = out[i + 1];
        out[i] = (uint8_t)(out[i] + g);
        out[i + 2] = (uint8_t)(out[i + 2] + g);
    }
}

// One channel of the audio predictor. Its bytes fall in runs of 32 after the
// first one (whose adjustment never changes a weight: all its sums are
// equal): within a run each byte is a short chain of dependent steps that
// also records its delta; at the end of a run the seven error sums (|D|,
// |D - D1|, |D + D1|, |D - D2|, |D + D2|, |D - D3|, |D + D3|) are added up
// over the run at once from its source bytes and deltas, and the smallest
// chooses the weights' adjustment.
#if defined(__SSE2__)
// Adds to acc[0..6] the absolute errors of the audio filter's seven
// candidate adjustments, lane by lane: d is 8 x the source byte, e1, e2 and
// e3 the three deltas before its byte.
inline void addAudioErrors(__m128i acc[7], __m128i d, __m128i e1, __m128i e2, __m128i e3)
{
    const __m128i zero = _mm_setzero_si128();
    auto addAbs = [&](__m128i &a, __m128i x) { a = _mm_add_epi16(a, _mm_max_epi16(x, _mm_sub_epi16(zero, x))); };
    const __m128i t2 = _mm_sub_epi16(e1, e2), t3 = _mm_sub_epi16(e2, e3);
    addAbs(acc[0], d);
    addAbs(acc[1], _mm_sub_epi16(d, e1));
    addAbs(acc[2], _mm_add_epi16(d, e1));
    addAbs(acc[3], _mm_sub_epi16(d, t2));
    addAbs(acc[4], _mm_add_epi16(d, t2));
    addAbs(acc[5], _mm_sub_epi16(d, t3));
    addAbs(acc[6], _mm_add_epi16(d, t3));
}
#endif

struct AudioChannel {
    enum { kRun = 32 };
    uint32_t prevByte = 0;
    int prevDelta = 0;   // the last byte's delta (D1 of the next)
    int d1 = 0, d2 = 0;  // the two deltas before it
    int k1 = 0, k2 = 0, k3 = 0;
    int k12 = 0, k32 = 0;   // K1 + K2 and K3 - K2
    const uint8_t *src = nullptr;
    // The three deltas before the run, then the run's: D1 of a byte is the
    // delta before it, D2 and D3 differences of the deltas before that.
    int8_t deltas[3 + kRun] = {};

    // The prediction is (8 x previous byte + K1 D1 + K2 D2 + K3 D3) >> 3, and
    // as 8 x previous byte is a multiple of 8, the new byte less the
    // previous one is ((K1 D1 + K2 D2 + K3 D3) >> 3) - source byte. With
    // D2 = D1 - (the delta before), the chain from one byte's delta to the
    // next's is a multiplication by K1 + K2, an addition, a shift and a sign
    // extension; the rest is known a step ahead.
    // With D3 = the difference of the two deltas before, the parts known a
    // step ahead are (K3 - K2) and -K3 times those deltas.
    inline uint8_t next(uint32_t t)
    {
        const int ahead = k32 * d1 - k3 * d2 - 8 * (int)*src++;
        d2 = d1;
        d1 = prevDelta;
        prevDelta = (int8_t)(uint8_t)((k12 * d1 + ahead) >> 3);
        prevByte += (uint32_t)prevDelta;   // its low byte is the output
        deltas[3 + t] = (int8_t)prevDelta;
        return (uint8_t)prevByte;
    }

    // After a whole run: the sums over it (src is past it) choose the adjustment.
    void adapt()
    {
        uint32_t dif[7];
        const uint8_t *run = src - kRun;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        __m128i acc[7];
        for (__m128i &a : acc)
            a = zero;
        // Each lane adds four terms of at most 1024 + 255: no overflow.
        for (int h = 0; h < kRun; h += 8) {
            __m128i b = _mm_loadl_epi64((const __m128i *)(run + h));
            __m128i d = _mm_slli_epi16(_mm_srai_epi16(_mm_unpacklo_epi8(b, b), 8), 3);
            auto widen = [](const int8_t *p) {
                __m128i v = _mm_loadl_epi64((const __m128i *)p);
                return _mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8);
            };
            addAudioErrors(acc, d, widen(deltas + h + 2), widen(deltas + h + 1), widen(deltas + h));
        }
        const __m128i ones = _mm_set1_epi16(1);
        for (int i = 0; i < 7; i++) {
            __m128i x = _mm_madd_epi16(acc[i], ones);
            x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0x4E));
            x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0xB1));
            dif[i] = (uint32_t)_mm_cvtsi128_si32(x);
        }
#else
        for (uint32_t &x : dif)
            x = 0;
        for (int t = 0; t < kRun; t++) {
            const int d = (int8_t)run[t] * 8;
            const int e1 = deltas[t + 2], e2 = deltas[t + 1], e3 = deltas[t];
            const int t2 = e1 - e2, t3 = e2 - e3;
            dif[0] += (uint32_t)abs(d);
            dif[1] += (uint32_t)abs(d - e1);
            dif[2] += (uint32_t)abs(d + e1);
            dif[3] += (uint32_t)abs(d - t2);
            dif[4] += (uint32_t)abs(d + t2);
            dif[5] += (uint32_t)abs(d - t3);
            dif[6] += (uint32_t)abs(d + t3);
        }
#endif
        memcpy(deltas, deltas + kRun, 3 * sizeof deltas[0]);
        adjust(dif);
    }

    // Moves a weight by one towards the adjustment whose error sum is the
    // first smallest.
    void adjust(const uint32_t dif[7])
    {
        uint32_t minDif = dif[0], minIndex = 0;
        for (uint32_t i = 1; i < 7; i++)
            if (dif[i] < minDif) {
                minDif = dif[i];
                minIndex = i;
            }
        switch (minIndex) {
        case 1: if (k1 >= -16) k1--; break;
        case 2: if (k1 < 16) k1++; break;
        case 3: if (k2 >= -16) k2--; break;
        case 4: if (k2 < 16) k2++; break;
        case 5: if (k3 >= -16) k3--; break;
        case 6: if (k3 < 16) k3++; break;
        default: break;
        }
        k12 = k1 + k2;
        k32 = k3 - k2;
    }
};

#if defined(__SSE2__)
// Whole runs of two channels at once, a in the first 16-bit lane and b in
// the second, then each channel's adjustment. The step of next() in 16-bit
// lanes: with y = K1 D1 + K2 D2 + K3 D3 - 8 x source byte (as next()
// computes it), the new delta is bits 3..10 of y as a signed byte, which is
// the top byte of 32 y modulo 2^16 shifted down arithmetically. So every
// term is taken times 32 (the source byte times -256) and only the low 16
// bits of each are kept.
// The chain's state: kept apart from the arrays of AudioPair so that the
// compiler keeps it in registers.
struct AudioChain {
    __m128i p, q, r;   // the last delta and the two before it
    __m128i bytes;     // the last output bytes (a, b) in each 16-bit lane of the low half
    __m128i k12, k32, k3, ahead;
    uint8_t *o;
};

// D1, D2 and D3 of the four steps of a group.
struct AudioGroup {
    __m128i e1, e2, e3;
};

struct AudioPair {
    enum { kRun = AudioChannel::kRun };
    AudioChannel &a, &b;
    const uint32_t stride;
    // Per run, a and b in turn: -256 x source byte; 8 x source byte as a
    // signed byte (the error terms); the deltas, the three before the run
    // first.
    alignas(32) int16_t src[2 * kRun + 8];
    alignas(32) int16_t scaled[2 * kRun];
    alignas(32) int16_t deltas[2 * (3 + kRun) + 10];

    static __m128i pair(int x, int y)
    {
        return _mm_cvtsi32_si128((int)(((uint32_t)x & 0xFFFF) | ((uint32_t)y << 16)));
    }
    static int lane(__m128i v, int i)
    {
        const uint32_t two = (uint32_t)_mm_cvtsi128_si32(v);
        return (int)(int16_t)(i == 0 ? two & 0xFFFF : two >> 16);
    }

    AudioPair(AudioChannel &a_, AudioChannel &b_, uint32_t stride_) : a(a_), b(b_), stride(stride_)
    {
        memset(src, 0, sizeof src);
        memset(deltas, 0, sizeof deltas);
        // Where a run leaves its last three (see startRun).
        for (int t = 0; t < 3; t++) {
            deltas[2 * (kRun + t)] = a.deltas[t];
            deltas[2 * (kRun + t) + 1] = b.deltas[t];
        }
    }

    __attribute__((always_inline)) AudioChain start(uint8_t *o) const
    {
        AudioChain c;
        c.p = pair(a.prevDelta, b.prevDelta);
        c.q = pair(a.d1, b.d1);
        c.r = pair(a.d2, b.d2);
        // In each 16-bit lane of the low half.
        c.bytes = _mm_shufflelo_epi16(_mm_cvtsi32_si128((int)((a.prevByte & 0xFF) | ((b.prevByte & 0xFF) << 8))), 0);
        c.k12 = c.k32 = c.k3 = c.ahead = _mm_setzero_si128();
        c.o = o;
        return c;
    }

    // The run's source bytes and weights (see pair()).
    __attribute__((always_inline)) void startRun(AudioChain &c)
    {
        startRun(c, pair(32 * a.k12, 32 * b.k12), pair(32 * a.k32, 32 * b.k32), pair(-32 * a.k3, -32 * b.k3));
    }
    __attribute__((always_inline)) void startRun(AudioChain &c, __m128i k12, __m128i k32, __m128i k3)
    {
        // The last three deltas of the run before lead this one's.
        memcpy(deltas, deltas + 2 * kRun, 6 * sizeof deltas[0]);
        const __m128i zero = _mm_setzero_si128();
        for (int h = 0; h < kRun; h += 8) {
            __m128i ab = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i *)(a.src + h)),
                                           _mm_loadl_epi64((const __m128i *)(b.src + h)));
            __m128i lo = _mm_unpacklo_epi8(zero, ab), hi = _mm_unpackhi_epi8(zero, ab);   // byte x 256
            _mm_store_si128((__m128i *)(src + 2 * h), _mm_sub_epi16(zero, lo));
            _mm_store_si128((__m128i *)(src + 2 * h + 8), _mm_sub_epi16(zero, hi));
            _mm_store_si128((__m128i *)(scaled + 2 * h), _mm_srai_epi16(lo, 5));
            _mm_store_si128((__m128i *)(scaled + 2 * h + 8), _mm_srai_epi16(hi, 5));
        }
        a.src += kRun;
        b.src += kRun;
        c.k12 = k12;
        c.k32 = k32;
        c.k3 = k3;
        c.ahead = aheadOf(c, 0, c.q, c.r);
    }

    // The terms known a step ahead, added up a step ahead: the chain from
    // one delta to the next is a multiplication, an addition and a shift.
    __attribute__((always_inline)) __m128i aheadOf(const AudioChain &c, int t, __m128i q1, __m128i r1) const
    {
        int32_t s2;
        memcpy(&s2, src + 2 * t, 4);
        __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(c.k32, q1), _mm_mullo_epi16(c.k3, r1)),
                                    _mm_cvtsi32_si128(s2));
        // Whole before the chain adds it: the compiler would otherwise add
        // the source term to the product of the chain first, one more step
        // on the chain.
        __asm__("" : "+x"(sum));
        return sum;
    }

    // Steps t .. t + 3 of the run. Returns D1, D2 and D3 of its steps (see
    // AudioChannel::adapt), a and b in turn, made in registers: the run's
    // last group is summed at once, and its deltas stored just now would
    // come back from memory only once the stores have left the store queue.
    __attribute__((always_inline)) AudioGroup fourSteps(AudioChain &c, int t)
    {
        const __m128i r0 = c.r, q0 = c.q, p0 = c.p;
        __m128i x[4];
        for (int u = 0; u < 4; u++, c.o += stride) {
            x[u] = _mm_srai_epi16(_mm_add_epi16(_mm_mullo_epi16(c.k12, c.p), c.ahead), 8);
            c.ahead = aheadOf(c, t + u + 1, c.p, c.q);   // past the run (src's spare entries): not used
            c.r = c.q;
            c.q = c.p;
            c.p = x[u];
            c.bytes = _mm_add_epi8(c.bytes, _mm_packs_epi16(x[u], x[u]));
            const uint16_t out2 = (uint16_t)_mm_cvtsi128_si32(c.bytes);
            const int32_t x2 = _mm_cvtsi128_si32(x[u]);
            memcpy(c.o, &out2, 2);
            memcpy(deltas + 2 * (3 + t + u), &x2, 4);
        }
        // Lanes 2 .. 7 of each delta are zero.
        const __m128i before = _mm_unpacklo_epi32(p0, x[0]);
        AudioGroup g;
        g.e1 = _mm_unpacklo_epi64(before, _mm_unpacklo_epi32(x[1], x[2]));
        g.e2 = _mm_unpacklo_epi64(_mm_unpacklo_epi32(q0, p0), _mm_unpacklo_epi32(x[0], x[1]));
        g.e3 = _mm_unpacklo_epi64(_mm_unpacklo_epi32(r0, q0), before);
        return g;
    }

    // After the run: the error sums (16-bit lanes, a and b in turn, seven
    // kinds) choose each channel's adjustment.
    __attribute__((always_inline)) void endRun(const __m128i acc[7])
    {
        // Channel a's lanes and b's summed apart: four sums of four in one
        // vector each.
        auto sums4 = [](__m128i v0, __m128i v1, __m128i v2, __m128i v3) {
            const __m128i s01 = _mm_add_epi32(_mm_unpacklo_epi32(v0, v1), _mm_unpackhi_epi32(v0, v1));
            const __m128i s23 = _mm_add_epi32(_mm_unpacklo_epi32(v2, v3), _mm_unpackhi_epi32(v2, v3));
            return _mm_add_epi32(_mm_unpacklo_epi64(s01, s23), _mm_unpackhi_epi64(s01, s23));
        };
        const __m128i zero = _mm_setzero_si128();
        uint32_t dif[2][8];
        for (int c = 0; c < 2; c++) {
            const __m128i pick = _mm_set1_epi32(c == 0 ? 1 : 1 << 16);
            __m128i v[8];
            for (int i = 0; i < 7; i++)
                v[i] = _mm_madd_epi16(acc[i], pick);
            v[7] = zero;
            _mm_storeu_si128((__m128i *)dif[c], sums4(v[0], v[1], v[2], v[3]));
            _mm_storeu_si128((__m128i *)(dif[c] + 4), sums4(v[4], v[5], v[6], v[7]));
        }
        b.adjust(dif[1]);
        a.adjust(dif[0]);
    }

    // The error terms of steps t .. t + 3 (8 lanes).
    __attribute__((always_inline)) void sumFour(__m128i acc[7], int t) const
    {
        addAudioErrors(acc, _mm_load_si128((const __m128i *)(scaled + 2 * t)),
                       _mm_loadu_si128((const __m128i *)(deltas + 2 * t + 4)),
                       _mm_loadu_si128((const __m128i *)(deltas + 2 * t + 2)),
                       _mm_loadu_si128((const __m128i *)(deltas + 2 * t)));
    }

    void finish(const AudioChain &c)
    {
        for (int t = 0; t < 3; t++) {
            a.deltas[t] = (int8_t)deltas[2 * (kRun + t)];
            b.deltas[t] = (int8_t)deltas[2 * (kRun + t) + 1];
        }
        a.prevDelta = lane(c.p, 0);
        b.prevDelta = lane(c.p, 1);
        a.d1 = lane(c.q, 0);
        b.d1 = lane(c.q, 1);
        a.d2 = lane(c.r, 0);
        b.d2 = lane(c.r, 1);
        const uint32_t last = (uint32_t)_mm_cvtsi128_si32(c.bytes);
        a.prevByte = last & 0xFF;
        b.prevByte = (last >> 8) & 0xFF;
    }
};

// The runs with 128-bit error sums. Each group of four steps is summed
// after the next group's steps, when its deltas have left the store
// queue: the sums overlap the chain instead of waiting for it. The last
// group, whose sums the adjustment waits for, is summed from registers.
void decodeAudioPairRuns(AudioChannel &a, AudioChannel &b, uint8_t *&o, uint32_t stride, uint32_t runs)
{
    enum { kRun = AudioChannel::kRun };
    AudioPair s(a, b, stride);
    AudioChain c = s.start(o);
    for (uint32_t run = 0; run < runs; run++) {
        s.startRun(c);
        __m128i acc[7];
        for (__m128i &v : acc)
            v = _mm_setzero_si128();
        for (int t = 0; t < kRun - 4; t += 4) {
            s.fourSteps(c, t);
            if (t > 0)
                s.sumFour(acc, t - 4);
        }
        s.sumFour(acc, kRun - 8);
        const AudioGroup g = s.fourSteps(c, kRun - 4);
        addAudioErrors(acc, _mm_load_si128((const __m128i *)(s.scaled + 2 * (kRun - 4))), g.e1, g.e2, g.e3);
        s.endRun(acc);
    }
    s.finish(c);
    o = c.o;
}

#if defined(__GNUC__) && defined(__x86_64__)
// Adds the error terms of eight steps (16 lanes; see addAudioErrors).
__attribute__((target("avx2"), always_inline)) inline void addAudioErrorsWide(__m256i acc[7], __m256i d, __m256i e1,
                                                                              __m256i e2, __m256i e3)
{
    const __m256i t2 = _mm256_sub_epi16(e1, e2), t3 = _mm256_sub_epi16(e2, e3);
    acc[0] = _mm256_add_epi16(acc[0], _mm256_abs_epi16(d));
    acc[1] = _mm256_add_epi16(acc[1], _mm256_abs_epi16(_mm256_sub_epi16(d, e1)));
    acc[2] = _mm256_add_epi16(acc[2], _mm256_abs_epi16(_mm256_add_epi16(d, e1)));
    acc[3] = _mm256_add_epi16(acc[3], _mm256_abs_epi16(_mm256_sub_epi16(d, t2)));
    acc[4] = _mm256_add_epi16(acc[4], _mm256_abs_epi16(_mm256_add_epi16(d, t2)));
    acc[5] = _mm256_add_epi16(acc[5], _mm256_abs_epi16(_mm256_sub_epi16(d, t3)));
    acc[6] = _mm256_add_epi16(acc[6], _mm256_abs_epi16(_mm256_add_epi16(d, t3)));
}

// ... of steps t .. t + 7, their deltas read back.
__attribute__((target("avx2"), always_inline)) inline void addStoredErrorsWide(__m256i acc[7], const AudioPair &s,
                                                                               int t)
{
    addAudioErrorsWide(acc, _mm256_load_si256((const __m256i *)(s.scaled + 2 * t)),
                       _mm256_loadu_si256((const __m256i *)(s.deltas + 2 * t + 4)),
                       _mm256_loadu_si256((const __m256i *)(s.deltas + 2 * t + 2)),
                       _mm256_loadu_si256((const __m256i *)(s.deltas + 2 * t)));
}

bool t_wideAudioAllowed = true;

const bool kWideAudio = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

bool audioPairsWide()
{
    return kWideAudio && t_wideAudioAllowed;
}

// Both channels' weights, in 16-bit lanes 0 (a) and 1 (b) (the other
// lanes are never read), adjusted after each run without a branch: which
// adjustment wins is close to random, and a mispredicted branch there
// waits for the whole run's sums.
struct AudioWeights {
    __m128i k1, k2, k3;

    __attribute__((target("avx2"))) AudioWeights(const AudioChannel &a, const AudioChannel &b)
    {
        k1 = AudioPair::pair(a.k1, b.k1);
        k2 = AudioPair::pair(a.k2, b.k2);
        k3 = AudioPair::pair(a.k3, b.k3);
    }
    void store(AudioChannel &a, AudioChannel &b) const
    {
        a.k1 = AudioPair::lane(k1, 0);
        b.k1 = AudioPair::lane(k1, 1);
        a.k2 = AudioPair::lane(k2, 0);
        b.k2 = AudioPair::lane(k2, 1);
        a.k3 = AudioPair::lane(k3, 0);
        b.k3 = AudioPair::lane(k3, 1);
        for (AudioChannel *ch : {&a, &b}) {
            ch->k12 = ch->k1 + ch->k2;
            ch->k32 = ch->k3 - ch->k2;
        }
    }

    // The chain's weights (see AudioPair::pair).
    __attribute__((target("avx2"), always_inline)) __m128i chainK12() const
    {
        return _mm_slli_epi16(_mm_add_epi16(k1, k2), 5);
    }
    __attribute__((target("avx2"), always_inline)) __m128i chainK32() const
    {
        return _mm_slli_epi16(_mm_sub_epi16(k3, k2), 5);
    }
    __attribute__((target("avx2"), always_inline)) __m128i chainK3() const
    {
        return _mm_slli_epi16(_mm_sub_epi16(_mm_setzero_si128(), k3), 5);
    }

    // What AudioChannel::adjust does, for both channels. acc: the seven
    // error sums in 16-bit lanes, a and b in turn (each lane's part below
    // 2^14, so a channel's whole sum fits 16 bits unsigned); acc[7] is
    // filled here.
    __attribute__((target("avx2"), always_inline)) void adjust(__m128i acc[8])
    {
        // A kind that never wins: each of its four parts 0x3FFF.
        acc[7] = _mm_set1_epi16(0x3FFF);
        // Each kind's (a, b) sums in one 32-bit lane: kinds 0 .. 3 and 4 .. 7.
        auto halves = [](__m128i x, __m128i y) __attribute__((always_inline)) {
            return _mm_add_epi16(_mm_unpacklo_epi32(x, y), _mm_unpackhi_epi32(x, y));
        };
        auto wholes = [](__m128i x, __m128i y) __attribute__((always_inline)) {
            return _mm_add_epi16(_mm_unpacklo_epi64(x, y), _mm_unpackhi_epi64(x, y));
        };
        const __m128i v = wholes(halves(acc[0], acc[1]), halves(acc[2], acc[3]));
        const __m128i u = wholes(halves(acc[4], acc[5]), halves(acc[6], acc[7]));
        // Keys: sum x 2^16 + kind, a and b in turn; the smallest is the
        // first smallest sum.
        const __m128i low = _mm_setr_epi16(0, 0, 1, 1, 2, 2, 3, 3), high = _mm_setr_epi16(4, 4, 5, 5, 6, 6, 7, 7);
        __m128i m = _mm_min_epu32(_mm_min_epu32(_mm_unpacklo_epi16(low, v), _mm_unpackhi_epi16(low, v)),
                                  _mm_min_epu32(_mm_unpacklo_epi16(high, u), _mm_unpackhi_epi16(high, u)));
        m = _mm_min_epu32(m, _mm_shuffle_epi32(m, 0x4E));
        // The winning kinds in 16-bit lanes 0 and 1.
        const __m128i index = _mm_shufflelo_epi16(m, 0x08);
        k1 = move(k1, index, 1);
        k2 = move(k2, index, 3);
        k3 = move(k3, index, 5);
    }

    // Kind down takes the weight down one, kind down + 1 up one (the
    // comparisons give -1).
    __attribute__((target("avx2"), always_inline)) static __m128i move(__m128i k, __m128i index, int down)
    {
        k = _mm_sub_epi16(_mm_add_epi16(k, _mm_cmpeq_epi16(index, _mm_set1_epi16((short)down))),
                          _mm_cmpeq_epi16(index, _mm_set1_epi16((short)(down + 1))));
        return _mm_min_epi16(_mm_max_epi16(k, _mm_set1_epi16(-17)), _mm_set1_epi16(16));
    }
};

// The same with 256-bit error sums (eight steps of both channels per
// vector, one instruction per absolute value: half the work of the sums)
// and the weights adjusted in vectors.
__attribute__((target("avx2"))) void decodeAudioPairRunsWide(AudioChannel &a, AudioChannel &b, uint8_t *&o,
                                                             uint32_t stride, uint32_t runs)
{
    enum { kRun = AudioChannel::kRun };
    AudioPair s(a, b, stride);
    AudioChain c = s.start(o);
    AudioWeights w(a, b);
    for (uint32_t run = 0; run < runs; run++) {
        s.startRun(c, w.chainK12(), w.chainK32(), w.chainK3());
        __m256i acc[7];
        for (__m256i &v : acc)
            v = _mm256_setzero_si256();
        for (int t = 0; t < kRun - 8; t += 8) {
            s.fourSteps(c, t);
            s.fourSteps(c, t + 4);
            if (t > 0)
                addStoredErrorsWide(acc, s, t - 8);   // the eight steps before these
        }
        const AudioGroup g0 = s.fourSteps(c, kRun - 8);
        addStoredErrorsWide(acc, s, kRun - 16);
        // Both halves hold a and b in turn: folded, and with the last eight
        // steps' terms (128 bits wide, the shortest way to the adjustment),
        // each lane adds eight terms, as in the 128-bit sums.
        __m128i folded[8];
        for (int i = 0; i < 7; i++)
            folded[i] = _mm_add_epi16(_mm256_castsi256_si128(acc[i]), _mm256_extracti128_si256(acc[i], 1));
        addAudioErrors(folded, _mm_load_si128((const __m128i *)(s.scaled + 2 * (kRun - 8))), g0.e1, g0.e2, g0.e3);
        const AudioGroup g1 = s.fourSteps(c, kRun - 4);
        addAudioErrors(folded, _mm_load_si128((const __m128i *)(s.scaled + 2 * (kRun - 4))), g1.e1, g1.e2, g1.e3);
        w.adjust(folded);
    }
    s.finish(c);
    w.store(a, b);
    o = c.o;
}
#endif
#endif

// Decodes count bytes of the channel whose source bytes start at srcA to
// out, out + stride, ... and, when srcB is given, countB (count or
// count - 1) bytes of the next channel to out + 1, out + 1 + stride, ...:
// the two chains of dependent steps overlap. The channels are locals, so
// that the output stores do not make the compiler reload their state.
void decodeAudioChannels(const uint8_t *srcA, const uint8_t *srcB, uint8_t *out, uint32_t stride,
                         uint32_t count, uint32_t countB)
{
    if (count == 0)
        return;
    AudioChannel a, b;
    a.src = srcA;
    b.src = srcB;
    const bool two = srcB != nullptr && countB > 0;
    out[0] = a.next(0);
    a.deltas[2] = a.deltas[3];
    if (two) {
        out[1] = b.next(0);
        b.deltas[2] = b.deltas[3];
    }
    uint32_t i = 1;
    uint8_t *o = out + stride;
    // Whole runs of both channels, each followed by the adjustment.
    const uint32_t whole = two ? countB : count;
#if defined(__SSE2__)
    if (two && i + AudioChannel::kRun <= whole) {
        const uint32_t runs = (whole - i) / AudioChannel::kRun;
#if defined(__GNUC__) && defined(__x86_64__)
        if (audioPairsWide())
            decodeAudioPairRunsWide(a, b, o, stride, runs);
        else
#endif
            decodeAudioPairRuns(a, b, o, stride, runs);
        i += runs * AudioChannel::kRun;
    }
#endif
    for (; i + AudioChannel::kRun <= whole; i += AudioChannel::kRun) {
        if (two) {
            for (uint32_t t = 0; t < AudioChannel::kRun; t++, o += stride) {
                o[0] = a.next(t);
                o[1] = b.next(t);
            }
            b.adapt();
        } else {
            for (uint32_t t = 0; t < AudioChannel::kRun; t++, o += stride)
                o[0] = a.next(t);
        }
        a.adapt();
    }
    // The rest, less than a run (channel a may have one byte more than b):
    // no adjustment follows it.
    uint32_t t = 0;
    for (; two && i < countB; i++, t++, o += stride) {
        o[0] = a.next(t);
        o[1] = b.next(t);
    }
    for (; i < count; i++, t++, o += stride)
        o[0] = a.next(t);
}

void filterAudio(uint8_t *mem, uint32_t n, uint32_t channels)
{
    if (n >= kVmGlobalAddr / 2 || channels == 0)
        return;
    setFilteredPos(mem, n);
    if (channels > n)
        channels = n;
    uint8_t *out = mem + n;
    // Channel j has the bytes j, j + channels, ... of the output and its
    // source bytes one after the other; channels go two at a time.
    const uint8_t *src = mem;
    for (uint32_t j = 0; j < channels; j += 2) {
        const uint32_t count = (n - j + channels - 1) / channels;
        const uint32_t countB = j + 1 < channels ? (n - j - 1 + channels - 1) / channels : 0;
        decodeAudioChannels(src, countB ? src + count : nullptr, out + j, channels, count, countB);
        src += count + countB;
    }
}

void filterUpcase(uint8_t *mem, uint32_t n)
{
    if (n >= kVmGlobalAddr / 2)
        return;
    uint32_t src = 0, dst = n;
    while (src < n) {
        uint8_t c = mem[src++];
        if (c == 2 && src < n) {
            c = mem[src++];
            if (c != 2)
                c = (uint8_t)(c - 32);
        }
        mem[dst++] = c;
    }
    setFilteredPos(mem, n);
    setFilteredSize(mem, dst - n);
}

}  // namespace

void FilterMachine::allowWideAudioSums(bool allowed)
{
#if defined(__GNUC__) && defined(__x86_64__)
    t_wideAudioAllowed = allowed;
#else
    (void)allowed;
#endif
}

void FilterMachine::runStandard(VmStandardFilter kind)
{
    const uint32_t n = R_[4];
    switch (kind) {
    case VMSF_E8: filterE8(mem_, n, R_[6], false); break;
    case VMSF_E8E9: filterE8(mem_, n, R_[6], true); break;
    case VMSF_ITANIUM: filterItanium(mem_, n, R_[6]); break;
    case VMSF_DELTA: filterDelta(mem_, n, R_[0]); break;
    case VMSF_RGB: filterRgb(mem_, n, R_[0], R_[1]); break;
    case VMSF_AUDIO: filterAudio(mem_, n, R_[0]); break;
    case VMSF_UPCASE: filterUpcase(mem_, n); break;
    default: break;
    }
}
