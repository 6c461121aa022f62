#include "RarTestArchive.h"

#include "TestDirs.h"

#include <cstring>

namespace {

uint32_t le16(const std::vector<uint8_t> &d, size_t p) { return p + 2 <= d.size() ? d[p] | (d[p + 1] << 8) : 0; }
uint32_t le32(const std::vector<uint8_t> &d, size_t p)
{
    return p + 4 <= d.size() ? (uint32_t)d[p] | (d[p + 1] << 8) | (d[p + 2] << 16) | ((uint32_t)d[p + 3] << 24) : 0;
}

}  // namespace

std::vector<RarTestMember> readRarTestArchive(const std::string &path)
{
    std::vector<RarTestMember> members;
    std::vector<uint8_t> d = readFile(path);
    static const uint8_t marker[7] = { 0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00 };
    if (d.size() < 7 || memcmp(d.data(), marker, 7) != 0)
        return members;
    size_t pos = 7;
    while (pos + 7 <= d.size()) {
        uint32_t type = d[pos + 2];
        uint32_t flags = le16(d, pos + 3);
        uint32_t headSize = le16(d, pos + 5);
        if (headSize < 7 || type == 0x7B)
            break;
        size_t next = pos + headSize;
        if (type == 0x74 || type == 0x7A) {
            RarTestMember m;
            m.flags = flags;
            m.packSize = le32(d, pos + 7);
            m.unpSize = le32(d, pos + 11);
            m.crc = le32(d, pos + 16);
            m.unpVer = pos + 24 < d.size() ? d[pos + 24] : 0;
            m.method = pos + 25 < d.size() ? d[pos + 25] : 0;
            uint32_t nameSize = le16(d, pos + 26);
            size_t nameAt = pos + 32 + ((flags & 0x100) ? 8 : 0);
            if (nameAt + nameSize <= d.size())
                m.name.assign((const char *)d.data() + nameAt, nameSize);
            size_t dataAt = next;
            size_t end = dataAt + m.packSize;
            if (dataAt < d.size())
                m.packed.assign(d.begin() + dataAt, d.begin() + (end < d.size() ? end : d.size()));
            next = end;
            if (type == 0x74)
                members.push_back(std::move(m));
        } else if (flags & 0x8000) {
            next += le32(d, pos + 7);
        }
        if (next <= pos)
            break;
        pos = next;
    }
    return members;
}
