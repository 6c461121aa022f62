// Decompressor speed: the version 2.0 decoder over real archive members, LZ
// and multimedia (audio) ones, member by member beside zlib's inflate of the
// same bytes (compressed at level 9).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "unpack/Unpack.h"

namespace {

// Ours, not zlib's function of the same name.
uint32_t (*const crc32Ours)(uint32_t, const void *, size_t) = crc32;

struct Member {
    std::string name;
    std::vector<uint8_t> packed;
    uint32_t unpSize = 0;
    uint32_t crc = 0;
    std::vector<uint8_t> deflated;  // the plain bytes at zlib level 9
};

std::vector<uint8_t> readAll(const std::string &path)
{
    std::vector<uint8_t> d;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            d.insert(d.end(), buf, buf + n);
        fclose(f);
    }
    return d;
}

uint32_t le(const std::vector<uint8_t> &d, size_t p, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n && p + i < d.size(); i++)
        v |= (uint32_t)d[p + i] << (8 * i);
    return v;
}

// The compressed version 2.0 members of an archive (enough of the block format for the bench).
void addMembers(const std::string &file, std::vector<Member> &out)
{
    std::vector<uint8_t> d = readAll(std::string(M2_TEST_DATA) + "/rar/" + file);
    size_t pos = 7;
    while (pos + 7 <= d.size()) {
        uint32_t type = d[pos + 2], flags = le(d, pos + 3, 2), headSize = le(d, pos + 5, 2);
        if (headSize < 7 || type == 0x7B)
            break;
        size_t next = pos + headSize;
        if (type == 0x74) {
            uint32_t packSize = le(d, pos + 7, 4);
            Member m;
            m.unpSize = le(d, pos + 11, 4);
            m.crc = le(d, pos + 16, 4);
            uint32_t ver = d[pos + 24], method = d[pos + 25];
            m.name = file + ":" + std::string((const char *)&d[pos + 32], le(d, pos + 26, 2));
            if (next + packSize <= d.size())
                m.packed.assign(d.begin() + next, d.begin() + next + packSize);
            next += packSize;
            if (ver == 20 && method != 0x30 && !(flags & 0x17) && (flags & 0xE0) != 0xE0 && m.unpSize > 0)
                out.push_back(std::move(m));
        } else if (flags & 0x8000) {
            next += le(d, pos + 7, 4);
        }
        pos = next;
    }
}

void decode(const Member &m, uint8_t *out)
{
    UnpackIo io = { m.packed.data(), (uint32_t)m.packed.size(), out, m.unpSize };
    Unpacker u(&io);
    u.init(nullptr);
    u.setOutputSize(m.unpSize);
    u.unpackMember(20, false);
}

std::vector<Member> &members()
{
    static std::vector<Member> all;
    if (all.empty()) {
        for (const char *f : { "v20/Rar2.rar", "v20/rar2_lz.rar", "v20/rar2_lz_repeat.rar", "v20/test_v2.rar",
                               "v20-audio/BoatModernEnglish-audio-text-unpack20.rar", "v20-audio/mm.rar" })
            addMembers(f, all);
        for (auto &m : all) {
            std::vector<uint8_t> plain(m.unpSize);
            decode(m, plain.data());
            if (~crc32Ours(0xFFFFFFFFu, plain.data(), m.unpSize) != m.crc)
                fprintf(stderr, "%s does not decode to its CRC\n", m.name.c_str());
            uLongf len = compressBound(m.unpSize);
            m.deflated.resize(len);
            compress2(m.deflated.data(), &len, plain.data(), m.unpSize, 9);
            m.deflated.resize(len);
        }
    }
    return all;
}

void memberVsInflate(benchmark::State &state, size_t index)
{
    const Member &m = members()[index];
    std::vector<uint8_t> out(m.unpSize);
    double v20 = 0, zl = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        decode(m, out.data());
        auto t1 = std::chrono::steady_clock::now();
        uLongf len = m.unpSize;
        uncompress(out.data(), &len, m.deflated.data(), m.deflated.size());
        auto t2 = std::chrono::steady_clock::now();
        v20 += std::chrono::duration<double>(t1 - t0).count();
        zl += std::chrono::duration<double>(t2 - t1).count();
    }
    double bytes = (double)state.iterations() * (double)m.unpSize;
    state.counters["v20_MBps"] = bytes / v20 / 1e6;
    state.counters["zlib_MBps"] = bytes / zl / 1e6;
    state.counters["v20_over_zlib"] = zl / v20;
}

const int registered = [] {
    for (size_t i = 0; i < members().size(); i++)
        benchmark::RegisterBenchmark(("BM_Decode20/" + members()[i].name).c_str(), memberVsInflate, i)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.5);
    return 0;
}();

}  // namespace
