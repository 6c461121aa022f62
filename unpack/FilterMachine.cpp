// The filter machine: program preparation, the interpreter and the native
// standard filters.
#include "FilterMachine.h"
#include "Unpack.h"

#include <stdlib.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
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

FilterMachine::FilterMachine() : mem_(nullptr), flags_(0)
{
    memset(R_, 0, sizeof(R_));
}

FilterMachine::~FilterMachine()
{
    free(mem_);
}

void FilterMachine::init()
{
    if (mem_)
        return;
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

    uint64_t executed = 0;
    if (prog.commands && !prog.commands->empty()) {
        std::vector<VmCommand> &code = *prog.commands;
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

void filterDelta(uint8_t *mem, uint32_t n, uint32_t channels)
{
    if (n >= kVmGlobalAddr / 2)
        return;
    setFilteredPos(mem, n);
    if (channels > n)
        channels = n;   // channels beyond the block have no bytes
    const uint8_t *src = mem;
    for (uint32_t j = 0; j < channels; j++) {
        uint8_t prev = 0;
        for (uint32_t d = n + j; d < 2 * n; d += channels) {
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

// One channel of the audio predictor. The seven error sums (|D|, |D - D1|,
// |D + D1|, |D - D2|, |D + D2|, |D - D3|, |D + D3|) are kept as two vectors
// of four: lanes |D - Tk| and |D + Tk| for T = (0, D1, D2, D3).
struct AudioChannel {
    uint32_t prevByte = 0;
    int prevDelta = 0, d1 = 0, d2 = 0, d3 = 0, k1 = 0, k2 = 0, k3 = 0;
    uint32_t counter = 0;
    const uint8_t *src = nullptr;
#if defined(__SSE2__)
    __m128i minus = _mm_setzero_si128(), plus = _mm_setzero_si128();
#else
    uint32_t dif[7] = {0, 0, 0, 0, 0, 0, 0};
#endif

    inline uint8_t next()
    {
        d3 = d2;
        d2 = prevDelta - d1;
        d1 = prevDelta;
        int predicted = 8 * (int)prevByte + k1 * d1 + k2 * d2 + k3 * d3;
        uint32_t cur = *src++;
        uint32_t value = ((uint32_t)(predicted >> 3) - cur) & 0xFF;
        prevDelta = (int8_t)(uint8_t)(value - prevByte);
        prevByte = value;
        const int d = (int8_t)(uint8_t)cur * 8;
#if defined(__SSE2__)
        __m128i t = _mm_set_epi32(d3, d2, d1, 0);
        __m128i dv = _mm_set1_epi32(d);
        __m128i a = _mm_sub_epi32(dv, t), b = _mm_add_epi32(dv, t);
        __m128i sa = _mm_srai_epi32(a, 31), sb = _mm_srai_epi32(b, 31);
        minus = _mm_add_epi32(minus, _mm_sub_epi32(_mm_xor_si128(a, sa), sa));
        plus = _mm_add_epi32(plus, _mm_sub_epi32(_mm_xor_si128(b, sb), sb));
#else
        dif[0] += (uint32_t)abs(d);
        dif[1] += (uint32_t)abs(d - d1);
        dif[2] += (uint32_t)abs(d + d1);
        dif[3] += (uint32_t)abs(d - d2);
        dif[4] += (uint32_t)abs(d + d2);
        dif[5] += (uint32_t)abs(d - d3);
        dif[6] += (uint32_t)abs(d + d3);
#endif
        if ((counter++ & 0x1F) == 0)
            adapt();
        return (uint8_t)value;
    }
    void adapt()
    {
#if defined(__SSE2__)
        uint32_t m[4], p[4];
        _mm_storeu_si128((__m128i *)m, minus);
        _mm_storeu_si128((__m128i *)p, plus);
        const uint32_t dif[7] = {m[0], m[1], p[1], m[2], p[2], m[3], p[3]};
        minus = plus = _mm_setzero_si128();
#endif
        uint32_t minDif = dif[0], minIndex = 0;
        for (uint32_t i = 1; i < 7; i++)
            if (dif[i] < minDif) {
                minDif = dif[i];
                minIndex = i;
            }
#if !defined(__SSE2__)
        for (uint32_t i = 0; i < 7; i++)
            dif[i] = 0;
#endif
        switch (minIndex) {
        case 1: if (k1 >= -16) k1--; break;
        case 2: if (k1 < 16) k1++; break;
        case 3: if (k2 >= -16) k2--; break;
        case 4: if (k2 < 16) k2++; break;
        case 5: if (k3 >= -16) k3--; break;
        case 6: if (k3 < 16) k3++; break;
        default: break;
        }
    }
};

void filterAudio(uint8_t *mem, uint32_t n, uint32_t channels)
{
    if (n >= kVmGlobalAddr / 2 || channels == 0)
        return;
    setFilteredPos(mem, n);
    if (channels > n)
        channels = n;
    uint8_t *out = mem + n;
    // Channels are decoded two at a time, so that their chains of dependent
    // steps overlap.
    const uint8_t *src = mem;
    uint32_t j = 0;
    for (; j + 1 < channels; j += 2) {
        AudioChannel a, b;
        a.src = src;
        b.src = src + (n - j + channels - 1) / channels;
        uint32_t i = j;
        for (; i + 1 < n; i += channels) {
            out[i] = a.next();
            out[i + 1] = b.next();
        }
        if (i < n)
            out[i] = a.next();
        src = b.src;
    }
    if (j < channels) {
        AudioChannel a;
        a.src = src;
        for (uint32_t i = j; i < n; i += channels)
            out[i] = a.next();
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
