// The filter machine of version 2.9 streams: a small 32-bit virtual machine
// that transforms a finished block of the window before it is written out.
// The standard programs (x86 call translation, Itanium branches, delta,
// colour, audio and upper-case coders) are recognised by their length and
// CRC-32 and run as native code; any other program is interpreted.
#ifndef MIRANDOL_FILTER_MACHINE_H
#define MIRANDOL_FILTER_MACHINE_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

constexpr uint32_t kVmMemSize = 0x40000;         // machine memory; addresses are taken modulo this
constexpr uint32_t kVmMemMask = 0x3FFFF;
constexpr uint32_t kVmGlobalAddr = 0x3C000;      // global area
constexpr uint32_t kVmGlobalSize = 0x2000;
constexpr uint32_t kVmFixedGlobalSize = 0x40;    // registers, output words, counters
constexpr uint32_t kVmStaticMax = 0x2000;        // static data copied into an instance: below this
constexpr uint32_t kVmInstructionLimit = 25000000;
constexpr uint32_t kVmMaxCodeSize = 0x10000;     // program code: 1 .. 0xFFFF bytes

// A checked bit reader over one byte range (a filter record or a program):
// bits are read most significant first; looking or reading past the end
// yields zero bits and marks the reader overrun.
class FilterBitReader {
public:
    FilterBitReader(const uint8_t *data, uint32_t size) : data_(data), size_(size), bitPos_(0) {}

    // The next 16 bits, first bit in the most significant place.
    uint32_t peekBits() const
    {
        uint64_t byte = bitPos_ >> 3;
        uint32_t v = (byteAt(byte) << 16) | (byteAt(byte + 1) << 8) | byteAt(byte + 2);
        return (v >> (8 - (bitPos_ & 7))) & 0xFFFF;
    }
    void skipBits(uint32_t n) { bitPos_ += n; }
    uint32_t readBits(uint32_t n)   // 0..16
    {
        uint32_t v = n ? peekBits() >> (16 - n) : 0;
        skipBits(n);
        return v;
    }
    // True while the read position is inside the data.
    bool inside() const { return (bitPos_ >> 3) < size_; }
    // True once more bits were consumed than the data holds.
    bool overrun() const { return bitPos_ > (uint64_t)size_ * 8; }
    uint64_t bitPosition() const { return bitPos_; }
    uint32_t size() const { return size_; }

private:
    uint32_t byteAt(uint64_t i) const { return i < size_ ? data_[i] : 0; }
    const uint8_t *data_;
    uint32_t size_;
    uint64_t bitPos_;
};

// Opcodes of the machine. Standard is the native filter command.
enum VmOpcode : uint8_t {
    VM_MOV, VM_CMP, VM_ADD, VM_SUB, VM_JZ, VM_JNZ, VM_INC, VM_DEC,
    VM_JMP, VM_XOR, VM_AND, VM_OR, VM_TEST, VM_JS, VM_JNS, VM_JB,
    VM_JBE, VM_JA, VM_JAE, VM_PUSH, VM_POP, VM_CALL, VM_RET, VM_NOT,
    VM_SHL, VM_SHR, VM_SAR, VM_NEG, VM_PUSHA, VM_POPA, VM_PUSHF, VM_POPF,
    VM_MOVZX, VM_MOVSX, VM_XCHG, VM_MUL, VM_DIV, VM_ADC, VM_SBB, VM_PRINT,
    VM_STANDARD
};

enum VmOperandType : uint8_t { VM_OPREG = 0, VM_OPINT = 1, VM_OPREGMEM = 2, VM_OPNONE = 3 };

enum VmStandardFilter : uint8_t {
    VMSF_NONE, VMSF_E8, VMSF_E8E9, VMSF_ITANIUM, VMSF_DELTA, VMSF_RGB, VMSF_AUDIO, VMSF_UPCASE
};

constexpr uint32_t VM_FC = 0x00000001, VM_FZ = 0x00000002, VM_FS = 0x80000000;

struct VmOperand {
    VmOperandType type = VM_OPNONE;
    bool hasRegister = false;   // register-indirect: false means the address is base alone
    uint32_t data = 0;          // register number or immediate value
    uint32_t base = 0;          // displacement of register-indirect operands
};

struct VmCommand {
    VmOpcode opcode = VM_RET;
    bool byteMode = false;
    VmOperand op1, op2;
};

// One prepared program. A stacked instance shares the command array of its
// definition and has global and static data of its own.
struct PreparedFilter {
    std::shared_ptr<std::vector<VmCommand>> commands;
    std::vector<uint8_t> globalData;
    std::vector<uint8_t> staticData;
    uint32_t initR[7] = {0, 0, 0, 0, 0, 0, 0};
    const uint8_t *filteredData = nullptr;   // into machine memory, after execute
    uint32_t filteredSize = 0;
};

class FilterMachine {
public:
    FilterMachine();
    ~FilterMachine();
    FilterMachine(const FilterMachine &) = delete;
    FilterMachine &operator=(const FilterMachine &) = delete;

    // Takes the machine memory (0x40000 bytes and 4 spare, all zero) on
    // first use: the one kept from the previous machine of this thread, or a
    // new one. The destructor clears what this machine wrote and keeps the
    // memory for the next, so a member's first filter costs no allocation
    // and no clearing of memory it never touches.
    void init();
    // Frees the memory kept for the next machine of this thread.
    static void releaseKeptMemory();
    bool ready() const { return mem_ != nullptr; }

    // The variable-length number of filter records and programs.
    static uint32_t readData(FilterBitReader &in);

    // Builds prog's command array (and static data) from code. Standard
    // programs become one native command unless native is false.
    static void prepare(const uint8_t *code, uint32_t size, PreparedFilter &prog, bool native = true);
    // The standard filter that code is (by length and CRC-32), or VMSF_NONE.
    static VmStandardFilter standardFilterOf(const uint8_t *code, uint32_t size);

    // Copies data into memory at address, cut at the memory end; nothing
    // when the address is outside the memory.
    void setMemory(uint32_t address, const uint8_t *data, uint32_t size);

    // Runs prog with at most maxInstructions counted commands (never more
    // than the per-run limit) and sets its filtered data pointer and size.
    // Returns the number of commands executed. A run that hits the limit
    // disarms the program: its first command becomes RET.
    uint64_t execute(PreparedFilter &prog, uint64_t maxInstructions = kVmInstructionLimit);

    // The audio filter sums its error terms with 256-bit vectors where the
    // processor has them; false keeps it to the 128-bit code everywhere
    // (the same output: for checking that code on such a processor).
    static void allowWideAudioSums(bool allowed);

    // The memory itself; whatever the caller does with it is cleared with
    // the rest when the machine goes.
    uint8_t *memory()
    {
        dirtyAll_ = true;
        return mem_;
    }

private:
    bool interpret(std::vector<VmCommand> &code, uint64_t budget, uint64_t &executed);
    void runStandard(VmStandardFilter kind);

    // Marks the memory from 0 up to end as written (cleared when the machine goes).
    void wroteLow(uint64_t end) { if (end > dirtyLow_) dirtyLow_ = end < kVmMemSize + 4 ? (uint32_t)end : kVmMemSize + 4; }

    uint8_t *mem_;
    uint32_t dirtyLow_;      // memory from 0 up to this may have been written
    uint32_t dirtyGlobal_;   // ... and the global area's first this many bytes
    bool dirtyAll_;          // anywhere: a program was interpreted
    uint32_t R_[8];
    uint32_t flags_;
};

#endif
