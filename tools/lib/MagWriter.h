// Writes magazine archives in the RAR block format with stored members:
// the library behind mkmag, also used by the tests to make archives with
// whatever flags, versions and damage they need.
#ifndef MIRANDOL_MAGWRITER_H
#define MIRANDOL_MAGWRITER_H

#include <stdint.h>

#include <string>
#include <vector>

// The standard CRC-32 of a buffer.
uint32_t magCrc32(const void *data, size_t size);

struct MagMember {
    std::string name;               // as stored in the header ("\" or "/" separators)
    std::vector<uint8_t> data;      // the member's bytes, written stored

    // Knobs for damaged or unusual archives.
    uint8_t headType = 0x74;        // 0x74 file header, 0x7A new-style sub-block
    uint16_t flags = 0x8000;        // HEAD_FLAGS (0x8000: long block)
    uint8_t unpVer = 20;
    uint8_t method = 0x30;          // stored
    uint8_t hostOs = 2;
    uint32_t attr = 0x20;
    uint32_t fileTime = 0x5A210000;
    bool setPackSize = false;       // write packSize instead of the data's size
    uint32_t packSize = 0;
    bool setUnpSize = false;
    uint32_t unpSize = 0;
    bool setCrc = false;
    uint32_t crc = 0;
    bool setHeadSize = false;       // write headSize instead of the real one
    uint16_t headSize = 0;
    std::vector<uint8_t> extra;     // bytes appended to the header (counted in its size)
    std::vector<uint8_t> raw;       // when set: the whole block, written as is
};

struct MagArchive {
    uint16_t mainFlags = 0;
    bool setMainHeadSize = false;
    uint16_t mainHeadSize = 13;
    bool endBlock = true;
    std::vector<MagMember> members;

    std::vector<uint8_t> build() const;
};

// A member of stored data with a name.
MagMember magFile(const std::string &name, const std::string &text);
MagMember magFile(const std::string &name, const std::vector<uint8_t> &data);
// A directory entry.
MagMember magDirectory(const std::string &name);

// XORs a whole archive with the scrambling table of its size (its own inverse).
std::vector<uint8_t> magScramble(const std::vector<uint8_t> &archive);

// A file found under a folder, not yet read.
struct MagFound {
    std::string name;   // relative to the folder, "\" separators
    std::string path;   // where it is read from
    uint64_t size = 0;  // its size when found
};

// Every regular file under dir, names relative to it with "\" separators,
// sorted; the folders directly in dir named in leaveOut are not read. Links
// are followed, but never into a folder already on the way down from dir
// (a link back up): each such link is left out with a line in skipped.
// A member whose name or size is past the limits ends the walk ("name or
// file too long"), told from its size: magFind reads no file, magCollect
// reads them all once every one is found.
bool magFind(const std::string &dir, std::vector<MagFound> &found, std::string &error,
             const std::vector<std::string> &leaveOut = {}, std::vector<std::string> *skipped = nullptr);
bool magCollect(const std::string &dir, std::vector<MagMember> &members, std::string &error,
                const std::vector<std::string> &leaveOut = {}, std::vector<std::string> *skipped = nullptr);
// The size of the archive that build() makes of these files as plain
// stored members.
uint64_t magArchiveSize(const std::vector<MagFound> &files);
// Reads a file magFind found as a member; one that grew past the limit
// meanwhile is read no further ("name or file too long").
bool magRead(const MagFound &file, MagMember &member, std::string &error);

#endif
