// Real archives whose members use filters: every member decodes to its CRC,
// and damaged filter records fail their member without harming the others.
#include <gtest/gtest.h>

#include "TestDirs.h"
#include "Unpack.h"

#include <string>
#include <vector>

namespace {

struct Member {
    std::string name;
    uint32_t packOffset, packSize, unpSize, crc;
    uint8_t version;
    uint16_t flags;
};

uint32_t le32(const std::vector<uint8_t> &d, size_t p)
{
    return (uint32_t)d[p] | ((uint32_t)d[p + 1] << 8) | ((uint32_t)d[p + 2] << 16) | ((uint32_t)d[p + 3] << 24);
}
uint16_t le16(const std::vector<uint8_t> &d, size_t p) { return (uint16_t)(d[p] | (d[p + 1] << 8)); }

// File members of a RAR 1.5-4.x archive (no solid, split or encrypted members expected).
std::vector<Member> members(const std::vector<uint8_t> &a)
{
    std::vector<Member> out;
    size_t pos = 7;
    while (pos + 7 <= a.size()) {
        uint8_t type = a[pos + 2];
        uint16_t flags = le16(a, pos + 3);
        uint32_t headSize = le16(a, pos + 5);
        if (headSize < 7)
            break;
        uint64_t addSize = 0;
        if ((flags & 0x8000) && pos + 11 <= a.size())
            addSize = le32(a, pos + 7);
        if (type == 0x74 && pos + 32 <= a.size()) {
            Member m;
            m.packSize = le32(a, pos + 7);
            m.unpSize = le32(a, pos + 11);
            m.crc = le32(a, pos + 16);
            m.version = a[pos + 24];
            m.flags = flags;
            uint16_t nameSize = le16(a, pos + 26);
            size_t nameAt = pos + 32 + ((flags & 0x100) ? 8 : 0);
            if (nameAt + nameSize <= a.size())
                m.name.assign((const char *)&a[nameAt], nameSize);
            m.packOffset = (uint32_t)(pos + headSize);
            if ((flags & 0xE0) != 0xE0 && m.packOffset + (uint64_t)m.packSize <= a.size())
                out.push_back(m);
        }
        if (type == 0x7B)
            break;
        pos += headSize + addSize;
    }
    return out;
}

// Unpacks every compressed version 2.9 member; returns how many had a good CRC.
int goodMembers(const std::string &file, int *count = nullptr, std::vector<std::string> *bad = nullptr)
{
    std::vector<uint8_t> a = readFile(fixturePath(file));
    int good = 0, n = 0;
    for (const Member &m : members(a)) {
        if (m.version != 29)
            continue;
        n++;
        std::vector<uint8_t> out(m.unpSize ? m.unpSize : 1);
        if (unpackBuffer(&a[m.packOffset], m.packSize, out.data(), m.unpSize, m.version, m.crc))
            good++;
        else if (bad)
            bad->push_back(m.name);
    }
    if (count)
        *count = n;
    return good;
}

}  // namespace

TEST(FilterFixtures, EveryFilteredMemberDecodesToItsCrc)
{
    const char *files[] = {
        "filter_e8_small.rar", "filter_delta_small.rar", "filter_delta_grad.rar",
        "filter_rgb_small.rar", "filter_audio_small.rar", "test_read_format_rar_filter.rar",
        "Rar4.rar", "Rar.Audio_program.rar",
    };
    for (const char *f : files) {
        int n = 0;
        std::vector<std::string> bad;
        int good = goodMembers(f, &n, &bad);
        EXPECT_GT(n, 0) << f;
        EXPECT_EQ(good, n) << f << ": " << (bad.empty() ? "" : bad[0]);
    }
}

// Members that mix LZ blocks carrying filters with PPMd blocks.
TEST(FilterFixtures, FilteredMembersWithPpmdBlocksDecode)
{
    if (!createPpm29())
        GTEST_SKIP() << "PPMd blocks are not built in";
    for (const char *f : {"test_read_format_rar_filter_incomplete_block.rar", "ppmd_rar4_runs.rar"}) {
        int n = 0;
        EXPECT_EQ(goodMembers(f, &n), n) << f;
    }
}

TEST(FilterFixtures, AudioFilteredWaveDecodes)
{
    // The first member is an LZ member with the audio filter; the second is PPMd.
    std::vector<uint8_t> a = readFile(fixturePath("BoatModernEnglish-audio-text-unpack30.rar"));
    std::vector<Member> ms = members(a);
    ASSERT_FALSE(ms.empty());
    const Member &m = ms[0];
    std::vector<uint8_t> out(m.unpSize);
    EXPECT_TRUE(unpackBuffer(&a[m.packOffset], m.packSize, out.data(), m.unpSize, m.version, m.crc));
}

TEST(FilterFixtures, AlteredAudioProgramRunsInTheInterpreter)
{
    // Two bytes of the audio program inverted (the check byte still matches):
    // no longer the standard program, so it is interpreted. Decoded as
    // written it is a different program that loops to the instruction limit;
    // the member must end in bounded time, whatever its bytes.
    std::vector<uint8_t> a = readFile(fixturePath("audio-filter-noncanonical.rar"));
    std::vector<Member> ms = members(a);
    ASSERT_FALSE(ms.empty());
    const Member &m = ms[0];
    std::vector<uint8_t> out(m.unpSize);
    unpackBuffer(&a[m.packOffset], m.packSize, out.data(), m.unpSize, m.version, m.crc);
}

TEST(FilterFixtures, DamagedFilterRecordsFailOnlyTheirMember)
{
    int n = 0;
    std::vector<std::string> bad;
    int good = goodMembers("filter-flood.rar", &n, &bad);
    EXPECT_EQ(good, n - 1);
    ASSERT_EQ(bad.size(), 1u);
    // Tiny crafted streams must simply end (no crash, no hang, no huge allocation).
    goodMembers("as-vm-1-trigger.rar");
    goodMembers("test_read_format_rar_unbound_staticdata.rar");
}
