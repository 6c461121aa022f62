// Filter records of version 2.9 streams: definitions, the stack of pending
// instances, and the window flush that runs them over their finished blocks.
//
// A hostile stream can ask for far more than any real archive does, so every
// resource is capped per member: live definitions and their code, pending
// instances and their data, interpreted instructions, and the bytes filters
// may work over. A member past any cap fails.
#include "FilterMachine.h"
#include "Unpack.h"

#include <string.h>

#include <vector>

namespace {

enum : uint32_t {
    kMaxDefinitions = 1024,              // live filter definitions
    kMaxDefinitionCode = 256 * 1024,     // code bytes of live definitions
    kMaxPending = 8192,                  // instances waiting on the stack
    kMaxPendingData = 32 * 1024 * 1024,  // their global and static data
};
const uint64_t kMaxInstructionsPerMember = 2ull * kVmInstructionLimit;
const uint64_t kWorkAllowance = 64ull * 1024 * 1024;   // plus four times the member size

inline void put32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)(v >> 16); p[3] = (uint8_t)(v >> 24);
}

struct FilterDefinition {
    PreparedFilter prog;
    uint32_t execCount = 0;
};

struct FilterRecord {
    uint32_t blockStart = 0;
    uint32_t blockLength = 0;
    uint32_t execCount = 0;
    bool nextWindow = false;
    PreparedFilter prog;
    size_t dataBytes() const { return prog.globalData.size() + prog.staticData.size(); }
};

class VmFilters29 : public Filters29 {
public:
    explicit VmFilters29(bool nativeStandardFilters) : native_(nativeStandardFilters) {}
    void clear() override
    {
        clearFilters();
        instructionsUsed_ = 0;
        workDone_ = 0;
        failed_ = false;
    }
    bool readFilterBits(Unpacker &u) override;
    bool readFilterPpm(Unpacker &u, Ppm29 &ppm) override;
    bool pending() const override { return !stack_.empty(); }
    void flush(Unpacker &u) override;

private:
    void clearFilters()
    {
        filters_.clear();
        stack_.clear();
        oldFilterLengths_.clear();
        lastFilter_ = 0;
        definitionCode_ = 0;
        pendingData_ = 0;
    }
    bool addFilter(Unpacker &u, uint32_t first, const uint8_t *code, uint32_t length);
    void runFilter(Unpacker &u, PreparedFilter &prog);
    bool fail()
    {
        failed_ = true;
        return false;
    }
    uint64_t workLimit(const Unpacker &u) const
    {
        return kWorkAllowance + 4 * (uint64_t)(u.outLeft > 0 ? u.outLeft : 0);
    }

    FilterMachine vm_;
    std::vector<std::unique_ptr<FilterDefinition>> filters_;
    std::vector<std::unique_ptr<FilterRecord>> stack_;   // dense: flushed entries are removed
    std::vector<uint32_t> oldFilterLengths_;
    uint32_t lastFilter_ = 0;
    uint64_t definitionCode_ = 0;
    uint64_t pendingData_ = 0;
    uint64_t instructionsUsed_ = 0;
    uint64_t workDone_ = 0;
    bool failed_ = false;
    bool native_;   // standard programs run as native code
};

bool VmFilters29::readFilterBits(Unpacker &u)
{
    if (failed_)
        return false;
    uint32_t first = u.readBits(8);
    uint32_t length = (first & 7) + 1;
    if (length == 7)
        length = u.readBits(8) + 7;
    else if (length == 8)
        length = u.readBits(16);
    std::vector<uint8_t> code(length);
    for (uint32_t i = 0; i < length; i++) {
        if (u.inPos >= u.inTop - 1) {
            if (!u.refillInput() && i + 1 < length)
                return false;
        }
        code[i] = (uint8_t)u.readBits(8);
    }
    return addFilter(u, first, code.data(), length);
}

bool VmFilters29::readFilterPpm(Unpacker &u, Ppm29 &ppm)
{
    if (failed_)
        return false;
    int first = ppm.decodeChar();
    if (first == -1)
        return false;
    uint32_t length = ((uint32_t)first & 7) + 1;
    if (length == 7) {
        int b = ppm.decodeChar();
        if (b == -1)
            return false;
        length = (uint32_t)b + 7;
    } else if (length == 8) {
        int hi = ppm.decodeChar();
        if (hi == -1)
            return false;
        int lo = ppm.decodeChar();
        if (lo == -1)
            return false;
        length = ((uint32_t)hi << 8) | (uint32_t)lo;
    }
    std::vector<uint8_t> code(length);
    for (uint32_t i = 0; i < length; i++) {
        int b = ppm.decodeChar();
        if (b == -1)
            return false;
        code[i] = (uint8_t)b;
    }
    return addFilter(u, (uint32_t)first, code.data(), length);
}

bool VmFilters29::addFilter(Unpacker &u, uint32_t first, const uint8_t *code, uint32_t length)
{
    vm_.init();
    FilterBitReader in(code, length);

    uint32_t num;
    if (first & 0x80) {
        num = FilterMachine::readData(in);
        if (num == 0) {
            clearFilters();
        } else {
            num--;
        }
    } else {
        num = lastFilter_;
    }
    if (num > filters_.size() || num > oldFilterLengths_.size())
        return fail();
    lastFilter_ = num;

    const bool isNew = num == filters_.size();
    FilterDefinition *def;
    if (isNew) {
        if (filters_.size() >= kMaxDefinitions)
            return fail();
        filters_.push_back(std::unique_ptr<FilterDefinition>(new FilterDefinition()));
        oldFilterLengths_.push_back(0);
        def = filters_.back().get();
    } else {
        def = filters_[num].get();
        def->execCount++;
    }
    if (stack_.size() >= kMaxPending)
        return fail();

    std::unique_ptr<FilterRecord> inst(new FilterRecord());
    inst->execCount = def->execCount;

    uint32_t blockStart = FilterMachine::readData(in);
    if (first & 0x40)
        blockStart += 258;
    inst->blockStart = (blockStart + u.outPos) & kWindowMask;
    uint32_t blockLength = (first & 0x20) ? FilterMachine::readData(in) : oldFilterLengths_[num];
    oldFilterLengths_[num] = blockLength;
    inst->blockLength = blockLength;
    inst->nextWindow = u.flushedPos != u.outPos && ((u.flushedPos - u.outPos) & kWindowMask) <= blockStart;

    uint32_t *r = inst->prog.initR;
    memset(inst->prog.initR, 0, sizeof(inst->prog.initR));
    r[3] = kVmGlobalAddr;
    r[4] = blockLength;
    r[5] = inst->execCount;
    if (first & 0x10) {
        uint32_t mask = in.readBits(7);
        for (int i = 0; i < 7; i++)
            if (mask & (1u << i))
                r[i] = FilterMachine::readData(in);
    }

    if (isNew) {
        uint32_t size = FilterMachine::readData(in);
        if (size == 0 || size >= kVmMaxCodeSize)
            return fail();
        // The code must lie inside the record.
        if (in.overrun() || in.bitPosition() + (uint64_t)size * 8 > (uint64_t)length * 8)
            return fail();
        definitionCode_ += size;
        if (definitionCode_ > kMaxDefinitionCode)
            return fail();
        std::vector<uint8_t> program(size);
        for (uint32_t i = 0; i < size; i++)
            program[i] = (uint8_t)in.readBits(8);
        FilterMachine::prepare(program.data(), size, def->prog, native_);
    }

    inst->prog.commands = def->prog.commands;
    const std::vector<uint8_t> &stat = def->prog.staticData;
    if (!stat.empty() && stat.size() < kVmStaticMax)
        inst->prog.staticData = stat;

    std::vector<uint8_t> &global = inst->prog.globalData;
    global.assign(kVmFixedGlobalSize, 0);
    for (int i = 0; i < 7; i++)
        put32(&global[i * 4], r[i]);
    put32(&global[0x1C], blockLength);
    put32(&global[0x20], 0);
    put32(&global[0x2C], inst->execCount);

    if (first & 0x08) {
        uint32_t dataSize = FilterMachine::readData(in);
        if (dataSize > 0xFFFF)
            return fail();
        if (in.overrun() || in.bitPosition() + (uint64_t)dataSize * 8 > (uint64_t)length * 8)
            return fail();
        global.resize(kVmFixedGlobalSize + dataSize);
        for (uint32_t i = 0; i < dataSize; i++)
            global[kVmFixedGlobalSize + i] = (uint8_t)in.readBits(8);
    }
    if (in.overrun())
        return fail();

    pendingData_ += inst->dataBytes();
    if (pendingData_ > kMaxPendingData)
        return fail();
    stack_.push_back(std::move(inst));
    return true;
}

void VmFilters29::runFilter(Unpacker &u, PreparedFilter &prog)
{
    if (!prog.globalData.empty()) {
        uint64_t written = (uint64_t)u.outWritten;
        prog.initR[6] = (uint32_t)written;
        if (prog.globalData.size() >= 0x2C) {
            put32(&prog.globalData[0x24], (uint32_t)written);
            put32(&prog.globalData[0x28], (uint32_t)(written >> 32));
        }
    }
    uint64_t left = instructionsUsed_ < kMaxInstructionsPerMember ? kMaxInstructionsPerMember - instructionsUsed_ : 0;
    instructionsUsed_ += vm_.execute(prog, left);
    if (instructionsUsed_ >= kMaxInstructionsPerMember)
        failed_ = true;
}

void VmFilters29::flush(Unpacker &u)
{
    uint32_t border = u.flushedPos;
    uint32_t pendingSize = (u.outPos - border) & kWindowMask;
    const uint64_t workLimit = this->workLimit(u);
    bool incomplete = false;

    for (size_t i = 0; i < stack_.size() && !failed_; i++) {
        FilterRecord *e = stack_[i].get();
        if (!e)
            continue;
        if (e->nextWindow) {
            e->nextWindow = false;
            continue;
        }
        const uint32_t start = e->blockStart;
        const uint32_t length = e->blockLength;
        if (((start - border) & kWindowMask) >= pendingSize)
            continue;
        if (border != start) {
            u.writeWrapped(border, start);
            border = start;
            pendingSize = (u.outPos - border) & kWindowMask;
        }
        if (length > pendingSize) {
            // The block is not complete yet: it and everything after it wait.
            for (size_t j = i; j < stack_.size(); j++)
                if (stack_[j])
                    stack_[j]->nextWindow = false;
            incomplete = true;
            break;
        }

        const uint32_t blockEnd = (start + length) & kWindowMask;
        if (start + length > kWindowSize) {
            uint32_t firstPart = kWindowSize - start;
            vm_.setMemory(0, u.window + start, firstPart);
            vm_.setMemory(firstPart, u.window, blockEnd);
        } else {
            vm_.setMemory(0, u.window + start, length);
        }
        workDone_ += length + kVmFixedGlobalSize;
        runFilter(u, e->prog);
        const uint8_t *data = e->prog.filteredData;
        uint32_t size = e->prog.filteredSize;
        pendingData_ -= e->dataBytes();
        stack_[i].reset();

        // Filters stacked on the same block run on the previous one's output.
        while (i + 1 < stack_.size() && stack_[i + 1] && stack_[i + 1]->blockStart == start &&
               stack_[i + 1]->blockLength == size && !failed_ && workDone_ <= workLimit) {
            i++;
            vm_.setMemory(0, data, size);
            workDone_ += size + kVmFixedGlobalSize;
            FilterRecord *next = stack_[i].get();
            runFilter(u, next->prog);
            data = next->prog.filteredData;
            size = next->prog.filteredSize;
            pendingData_ -= next->dataBytes();
            stack_[i].reset();
        }

        u.io->writeBytes(data, size);
        u.outWritten += size;
        border = blockEnd;
        pendingSize = (u.outPos - border) & kWindowMask;
        if (workDone_ > workLimit)
            failed_ = true;
    }

    // Compact the stack, keeping the order of what waits.
    size_t kept = 0;
    for (size_t i = 0; i < stack_.size(); i++)
        if (stack_[i])
            stack_[kept++] = std::move(stack_[i]);
    stack_.resize(kept);

    if (failed_) {
        // Past a cap the member fails: nothing more is written or decoded.
        u.flushedPos = u.outPos;
        if (u.outWritten <= u.outLeft)
            u.outWritten = u.outLeft + 1;
        return;
    }
    if (incomplete) {
        u.flushedPos = border;
        return;
    }
    u.writeWrapped(border, u.outPos);
    u.flushedPos = u.outPos;
}

}  // namespace

std::unique_ptr<Filters29> createFilters29(bool nativeStandardFilters)
{
    return std::unique_ptr<Filters29>(new VmFilters29(nativeStandardFilters));
}
