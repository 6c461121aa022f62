// Compressed members of the fixture archives, for the decompressor benchmarks.
#ifndef MIRANDOL_BENCH_MEMBERS_H
#define MIRANDOL_BENCH_MEMBERS_H

#include <string>
#include <utility>
#include <vector>

#include "RarTestArchive.h"

// Appends the compressed members of one unpack version in tests/data/rar/file
// to out; M has name, packed, unpSize and crc.
template <class M>
void addMembers(const std::string &file, uint32_t version, std::vector<M> &out)
{
    for (RarTestMember &r : readRarTestArchive(std::string(M2_TEST_DATA) + "/rar/" + file)) {
        if (r.unpVer != version || r.method == 0x30 || !r.usable() || r.unpSize == 0)
            continue;
        M m;
        m.name = file + ":" + r.name;
        m.packed = std::move(r.packed);
        m.unpSize = r.unpSize;
        m.crc = r.crc;
        out.push_back(std::move(m));
    }
}

#endif
