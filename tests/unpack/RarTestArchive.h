// Test-only reader of RAR block archives: just enough to pull out each
// member's packed bytes, sizes, unpack version and CRC. The real container is
// in core/.
#ifndef MIRANDOL_RAR_TEST_ARCHIVE_H
#define MIRANDOL_RAR_TEST_ARCHIVE_H

#include <cstdint>
#include <string>
#include <vector>

struct RarTestMember {
    std::string name;
    uint32_t flags = 0;
    uint32_t packSize = 0;
    uint32_t unpSize = 0;
    uint32_t crc = 0;
    uint32_t unpVer = 0;
    uint32_t method = 0;
    bool directory() const { return (flags & 0xE0) == 0xE0; }
    bool usable() const { return !(flags & 0x17) && !directory(); }   // not split, encrypted or solid
    std::vector<uint8_t> packed;
};

// Reads the archive at path; members whose data run past the end keep what is there.
std::vector<RarTestMember> readRarTestArchive(const std::string &path);

#endif
