// Sub-allocator of the PPMd model.
//
// The heap is one block of memory addressed by 32-bit offsets, never by host
// pointers: memory units are 12 bytes, symbol states 6 bytes and context
// records 12 bytes on every host, so the heap fills up (and the model restarts)
// at exactly the same point as in the coder that made the stream.
//
// Offsets 0..11 are a reserved unit: offset 0 doubles as "no block" and as the
// list head while free blocks are glued. The heap proper starts at offset 12.
// The memory is mapped lazily, so a large heap asked for by a small member costs
// address space but only the pages the model really touches.
#ifndef MIRANDOL_UNPACK_PPMHEAP_H
#define MIRANDOL_UNPACK_PPMHEAP_H

#include <cstdint>
#include <cstring>

// Block size classes: units of each free list index, and the smallest index
// holding a number of units.
struct PpmUnitTables {
    uint8_t indx2Units[38] = {};
    uint8_t units2Indx[128] = {};
    constexpr PpmUnitTables()
    {
        int i = 0, units = 0;
        for (; i < 4; i++) indx2Units[i] = uint8_t(units += 1);
        for (; i < 8; i++) indx2Units[i] = uint8_t(units += 2);
        for (; i < 12; i++) indx2Units[i] = uint8_t(units += 3);
        for (; i < 38; i++) indx2Units[i] = uint8_t(units += 4);
        for (int k = 0, index = 0; k < 128; k++) {
            if (indx2Units[index] < k + 1)
                index++;
            units2Indx[k] = uint8_t(index);
        }
    }
};
inline constexpr PpmUnitTables kPpmUnitTables{};

class PpmHeap {
public:
    static const uint32_t UNIT_SIZE = 12;
    static const int N_INDEXES = 38;

    PpmHeap();
    ~PpmHeap();
    PpmHeap(const PpmHeap &) = delete;
    PpmHeap &operator=(const PpmHeap &) = delete;

    // Makes the heap megabytes << 20 bytes large; keeps the current memory when
    // the size is unchanged. False when the memory cannot be had.
    bool startHeap(uint32_t megabytes);
    void stopHeap();
    // Frees the mapping kept for the next heap of this thread (see ~PpmHeap).
    static void releaseKept();
    // Asks for huge pages behind the whole mapping: fewer TLB misses when a
    // long stream spreads the model over many megabytes, but every touched
    // 2 MiB span is then backed whole, so small streams keep small pages.
    void adviseHugePages();
    uint32_t allocatedSize() const { return size_; }

    // Empties the free lists and splits the heap into text and unit areas.
    void initHeap();

    uint32_t allocContext()
    {
        if (hiUnit != loUnit)
            return hiUnit -= UNIT_SIZE;
        if (freeList_[0])
            return removeNode(0);
        return allocUnitsRare(0);
    }
    uint32_t allocUnits(int units)
    {
        int index = unitsToIndex(units);
        if (freeList_[index])
            return removeNode(index);
        uint32_t block = loUnit;
        uint32_t bytes = UNIT_SIZE * indexToUnits(index);
        if (hiUnit - loUnit >= bytes) {
            loUnit += bytes;
            return block;
        }
        return allocUnitsRare(index);
    }
    uint32_t expandUnits(uint32_t block, int oldUnits)
    {
        int i0 = unitsToIndex(oldUnits), i1 = unitsToIndex(oldUnits + 1);
        if (i0 == i1)
            return block;
        return moveToLargerBlock(block, oldUnits, i0);
    }
    uint32_t shrinkUnits(uint32_t block, int oldUnits, int newUnits);
    void freeUnits(uint32_t block, int units) { insertNode(block, unitsToIndex(units)); }

    // True when [offset, offset + bytes) lies inside the mapped memory.
    bool inside(uint32_t offset, uint32_t bytes) const
    {
        return offset <= mapped_ && bytes <= mapped_ - offset;
    }

    uint8_t *mem = nullptr;   // base of the mapping; offsets are relative to it
    uint32_t heapStart = 0;   // first byte of the heap (the text area's start)
    uint32_t heapEnd = 0;     // last position a context record may have
    uint32_t pText = 0;       // end of the text area
    uint32_t unitsStart = 0;  // start of the unit area
    uint32_t loUnit = 0;      // free gap of the unit area: [loUnit, hiUnit)
    uint32_t hiUnit = 0;

    static uint8_t indexToUnits(int index) { return kPpmUnitTables.indx2Units[index]; }
    static uint8_t unitsToIndex(int units) { return kPpmUnitTables.units2Indx[units - 1]; }

private:

    uint16_t rd16(uint32_t o) const { uint16_t v; std::memcpy(&v, mem + o, 2); return v; }
    void wr16(uint32_t o, uint16_t v) { std::memcpy(mem + o, &v, 2); }
    uint32_t rd32(uint32_t o) const { uint32_t v; std::memcpy(&v, mem + o, 4); return v; }
    void wr32(uint32_t o, uint32_t v) { std::memcpy(mem + o, &v, 4); }

    void setListBit(int index, bool nonEmpty)
    {
        const uint64_t bit = uint64_t(1) << index;
        nonEmptyLists_ = (nonEmptyLists_ & ~bit) | (nonEmpty ? bit : 0);
    }
    void insertNode(uint32_t block, int index)
    {
        wr32(block, freeList_[index]);
        freeList_[index] = block;
        setListBit(index, block != 0);
    }
    uint32_t removeNode(int index)
    {
        uint32_t block = freeList_[index];
        uint32_t next = rd32(block);
        freeList_[index] = next;
        setListBit(index, next != 0);
        return block;
    }
    // Copies units between two blocks, a unit at a time: the blocks moved are
    // mostly one or two units long.
    void copyUnits(uint32_t to, uint32_t from, int units)
    {
        if (to > from && to - from < UNIT_SIZE * uint32_t(units)) {
            // overlapping upwards (only in a damaged heap): copy from the end
            std::memmove(mem + to, mem + from, UNIT_SIZE * uint32_t(units));
            return;
        }
        uint8_t *d = mem + to;
        const uint8_t *s = mem + from;
        for (int i = 0; i < units; i++, d += UNIT_SIZE, s += UNIT_SIZE) {
            uint64_t v8;
            uint32_t v4;
            std::memcpy(&v8, s, 8);
            std::memcpy(&v4, s + 8, 4);
            std::memcpy(d, &v8, 8);
            std::memcpy(d + 8, &v4, 4);
        }
    }
    void splitBlock(uint32_t block, int oldIndex, int newIndex);
    void glueFreeBlocks();
    uint32_t allocUnitsRare(int index);
    uint32_t moveToLargerBlock(uint32_t block, int oldUnits, int oldIndex);

    uint32_t size_ = 0;      // heap size in bytes as asked for by the stream
    uint32_t mapped_ = 0;    // bytes of the mapping
    bool hugePages_ = false;
    uint32_t freeList_[N_INDEXES];
    uint64_t nonEmptyLists_ = 0;  // bit i set exactly when freeList_[i] != 0
    int glueCount_ = 0;
};

#endif
