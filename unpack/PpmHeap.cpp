#include "PpmHeap.h"

#include <sys/mman.h>

namespace {
// Room behind the heap end: a context record or a full state array (with the
// rest of the 48-byte group a search reads it in) read from a position up to
// the heap end stays inside the mapping.
const uint32_t kTailRoom = 4096;
const size_t kHugePage = size_t(2) << 20;

// The mapping of a heap that served a short stream, kept for the next heap
// of the thread: a small member with a PPMd block then maps nothing and
// takes no page faults for the pages the previous one touched.
struct KeptMapping {
    uint8_t *mem = nullptr;
    uint32_t mapped = 0;
    ~KeptMapping() { release(); }
    void release()
    {
        if (mem)
            munmap(mem, mapped);
        mem = nullptr;
        mapped = 0;
    }
};
thread_local KeptMapping g_kept;
}

void PpmHeap::releaseKept()
{
    g_kept.release();
}

PpmHeap::PpmHeap()
{
    std::memset(freeList_, 0, sizeof freeList_);
    nonEmptyLists_ = 0;
}

PpmHeap::~PpmHeap()
{
    // A heap spread over huge pages served a long stream, whose pages are
    // many: handed back. Any other mapping is kept (only one) as it is: a
    // model starting in it never reads what it has not written itself, as
    // when a stream restarts its model in the same heap.
    if (mem && !hugePages_ && !g_kept.mem) {
        g_kept.mem = mem;
        g_kept.mapped = mapped_;
        mem = nullptr;
    }
    stopHeap();
}

bool PpmHeap::startHeap(uint32_t megabytes)
{
    if (megabytes == 0 || megabytes > 256)
        return false;
    uint32_t size = megabytes << 20;
    if (size == size_ && mem)
        return true;
    uint32_t bytes = UNIT_SIZE + size + kTailRoom;
    if (!mem && g_kept.mem) {
        // The end of the heap is cleared below, as for any smaller heap.
        mem = g_kept.mem;
        mapped_ = g_kept.mapped;
        size_ = 0;
        heapStart = UNIT_SIZE;
        g_kept.mem = nullptr;
        g_kept.mapped = 0;
    }
    if (mem && bytes <= mapped_) {
        // A smaller heap fits in the current mapping: hand the pages behind
        // it back (they read as zeros again) instead of mapping anew, so a
        // stream switching sizes back and forth stays cheap.
        uint32_t keep = (bytes + 4095) & ~4095u;
        if (keep < mapped_)
            madvise(mem + keep, mapped_ - keep, MADV_DONTNEED);
        std::memset(mem + UNIT_SIZE + size, 0, kTailRoom);
        size_ = size;
        heapEnd = heapStart + size / UNIT_SIZE * UNIT_SIZE;
        initHeap();
        return true;
    }
    stopHeap();
    // Anonymous pages are zero and are only backed when touched. The mapping
    // starts and ends on huge page boundaries so that adviseHugePages can back
    // all of it with huge pages, the top of the heap (where the first and most
    // used contexts live) included.
    const size_t align = kHugePage;
    const size_t length = (size_t(bytes) + align - 1) & ~(align - 1);
    void *p = mmap(nullptr, length + align, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                   -1, 0);
    if (p == MAP_FAILED)
        return false;
    uint8_t *const raw = static_cast<uint8_t *>(p);
    uint8_t *const start = raw + ((align - reinterpret_cast<uintptr_t>(raw) % align) % align);
    uint8_t *const tail = start + length;
    if (start != raw)
        munmap(raw, size_t(start - raw));
    if (tail < raw + length + align)
        munmap(tail, size_t(raw + length + align - tail));
    mem = start;
    mapped_ = uint32_t(length);
    size_ = size;
    heapStart = UNIT_SIZE;
    heapEnd = heapStart + size / UNIT_SIZE * UNIT_SIZE;
    initHeap();
    return true;
}

void PpmHeap::adviseHugePages()
{
    if (mem && !hugePages_)
        madvise(mem, mapped_, MADV_HUGEPAGE);
    hugePages_ = true;
}

void PpmHeap::stopHeap()
{
    if (mem)
        munmap(mem, mapped_);
    mem = nullptr;
    hugePages_ = false;
    mapped_ = size_ = 0;
    heapStart = heapEnd = pText = unitsStart = loUnit = hiUnit = 0;
    std::memset(freeList_, 0, sizeof freeList_);
    nonEmptyLists_ = 0;
}

void PpmHeap::initHeap()
{
    std::memset(freeList_, 0, sizeof freeList_);
    nonEmptyLists_ = 0;
    pText = heapStart;
    hiUnit = heapStart + size_;
    uint32_t unitBytes = UNIT_SIZE * (size_ / 8 / UNIT_SIZE * 7);
    loUnit = unitsStart = hiUnit - unitBytes;
    glueCount_ = 0;
}

void PpmHeap::splitBlock(uint32_t block, int oldIndex, int newIndex)
{
    int diff = indexToUnits(oldIndex) - indexToUnits(newIndex);
    uint32_t p = block + UNIT_SIZE * indexToUnits(newIndex);
    int i = unitsToIndex(diff);
    if (indexToUnits(i) != diff) {
        insertNode(p, --i);
        int units = indexToUnits(i);
        p += UNIT_SIZE * units;
        diff -= units;
    }
    insertNode(p, unitsToIndex(diff));
}

// Free blocks while glued: a 16-bit stamp 0xFFFF, a 16-bit unit count and the
// offsets of the next and previous block of a ring whose head is offset 0.
void PpmHeap::glueFreeBlocks()
{
    const uint32_t head = 0;
    if (loUnit != hiUnit)
        mem[loUnit] = 0;
    wr32(head + 4, head);
    wr32(head + 8, head);
    for (int i = 0; i < N_INDEXES; i++) {
        while (freeList_[i]) {
            uint32_t p = removeNode(i);
            // insert right behind the head
            uint32_t next = rd32(head + 4);
            wr32(p + 8, head);
            wr32(p + 4, next);
            wr32(next + 8, p);
            wr32(head + 4, p);
            wr16(p, 0xFFFF);
            wr16(p + 2, indexToUnits(i));
        }
    }
    for (uint32_t p = rd32(head + 4); p != head; p = rd32(p + 4)) {
        for (;;) {
            uint32_t p1 = p + UNIT_SIZE * rd16(p + 2);
            if (!inside(p1, UNIT_SIZE) || rd16(p1) != 0xFFFF ||
                uint32_t(rd16(p + 2)) + rd16(p1 + 2) >= 0x10000)
                break;
            uint32_t next = rd32(p1 + 4), prev = rd32(p1 + 8);
            wr32(prev + 4, next);
            wr32(next + 8, prev);
            wr16(p + 2, uint16_t(rd16(p + 2) + rd16(p1 + 2)));
        }
    }
    for (uint32_t p; (p = rd32(head + 4)) != head;) {
        uint32_t next = rd32(p + 4), prev = rd32(p + 8);
        wr32(prev + 4, next);
        wr32(next + 8, prev);
        int units = rd16(p + 2);
        for (; units > 128; units -= 128, p += 128 * UNIT_SIZE)
            insertNode(p, N_INDEXES - 1);
        int i = unitsToIndex(units);
        if (indexToUnits(i) != units) {
            int k = units - indexToUnits(--i);
            insertNode(p + UNIT_SIZE * (units - k), k - 1);
        }
        insertNode(p, i);
    }
}

uint32_t PpmHeap::allocUnitsRare(int index)
{
    if (!glueCount_) {
        glueCount_ = 255;
        glueFreeBlocks();
        if (freeList_[index])
            return removeNode(index);
    }
    // the first larger block size with a free block
    const uint64_t larger = nonEmptyLists_ & (~uint64_t(0) << (index + 1));
    if (!larger) {
        glueCount_--;
        uint32_t bytes = UNIT_SIZE * indexToUnits(index);
        if (unitsStart - pText > bytes) {
            unitsStart -= bytes;
            return unitsStart;
        }
        return 0;
    }
    const int i = __builtin_ctzll(larger);
    uint32_t block = removeNode(i);
    splitBlock(block, i, index);
    return block;
}

uint32_t PpmHeap::moveToLargerBlock(uint32_t block, int oldUnits, int oldIndex)
{
    uint32_t p = allocUnits(oldUnits + 1);
    if (p) {
        copyUnits(p, block, oldUnits);
        insertNode(block, oldIndex);
    }
    return p;
}

uint32_t PpmHeap::shrinkUnits(uint32_t block, int oldUnits, int newUnits)
{
    int i0 = unitsToIndex(oldUnits), i1 = unitsToIndex(newUnits);
    if (i0 == i1)
        return block;
    if (freeList_[i1]) {
        uint32_t p = removeNode(i1);
        copyUnits(p, block, newUnits);
        insertNode(block, i0);
        return p;
    }
    splitBlock(block, i0, i1);
    return block;
}
