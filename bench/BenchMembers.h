// Compressed members of the fixture archives, for the decompressor
// benchmarks, each with its plain bytes deflated by zlib at level 9 so the
// decoders can be timed beside zlib's inflate of the same output.
#ifndef MIRANDOL_BENCH_MEMBERS_H
#define MIRANDOL_BENCH_MEMBERS_H

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "RarTestArchive.h"
#include "unpack/Unpack.h"

struct BenchMember {
    std::string name;
    std::vector<uint8_t> packed;
    uint32_t unpSize = 0;
    uint32_t crc = 0;
    uint32_t version = 0;
    std::vector<uint8_t> deflated;  // the plain bytes at zlib level 9
};

inline void decodeMember(const BenchMember &m, uint8_t *out)
{
    UnpackIo io = { m.packed.data(), (uint32_t)m.packed.size(), out, m.unpSize };
    Unpacker u(&io);
    u.init(nullptr);
    u.setOutputSize(m.unpSize);
    u.unpackMember(m.version, false);
}

// The compressed members of one unpack version in tests/data/rar/<files>
// that decode to their CRC (others are reported and left out), deflated.
inline std::vector<BenchMember> loadMembers(std::initializer_list<const char *> files, uint32_t version)
{
    std::vector<BenchMember> out;
    for (const char *file : files) {
        for (RarTestMember &r : readRarTestArchive(std::string(M2_TEST_DATA) + "/rar/" + file)) {
            if (r.unpVer != version || r.method == 0x30 || !r.usable() || r.unpSize == 0)
                continue;
            BenchMember m;
            m.name = std::string(file) + ":" + r.name;
            m.packed = std::move(r.packed);
            m.unpSize = r.unpSize;
            m.crc = r.crc;
            m.version = version;
            std::vector<uint8_t> plain(m.unpSize);
            decodeMember(m, plain.data());
            uint32_t (*const ourCrc32)(uint32_t, const void *, size_t) = crc32;  // not zlib's
            if (~ourCrc32(0xFFFFFFFFu, plain.data(), m.unpSize) != m.crc) {
                fprintf(stderr, "left out, not decoded to its CRC here: %s\n", m.name.c_str());
                continue;
            }
            uLongf len = compressBound(m.unpSize);
            m.deflated.resize(len);
            compress2(m.deflated.data(), &len, plain.data(), m.unpSize, 9);
            m.deflated.resize(len);
            out.push_back(std::move(m));
        }
    }
    return out;
}

// Times the decoder and zlib's inflate on the same members in one run and
// reports both rates and their ratio as counters "<label>_MBps",
// "zlib_MBps" and "<label>_over_zlib".
inline void timeAgainstInflate(benchmark::State &state, const std::vector<const BenchMember *> &ms,
                               const char *label)
{
    size_t largest = 0;
    double total = 0;
    for (const BenchMember *m : ms) {
        largest = std::max<size_t>(largest, m->unpSize);
        total += m->unpSize;
    }
    std::vector<uint8_t> out(largest);
    double ours = 0, zl = 0;
    for (auto _ : state) {
        for (const BenchMember *m : ms) {
            auto t0 = std::chrono::steady_clock::now();
            decodeMember(*m, out.data());
            auto t1 = std::chrono::steady_clock::now();
            uLongf len = m->unpSize;
            uncompress(out.data(), &len, m->deflated.data(), m->deflated.size());
            auto t2 = std::chrono::steady_clock::now();
            ours += std::chrono::duration<double>(t1 - t0).count();
            zl += std::chrono::duration<double>(t2 - t1).count();
        }
    }
    double bytes = (double)state.iterations() * total;
    state.counters[std::string(label) + "_MBps"] = bytes / ours / 1e6;
    state.counters["zlib_MBps"] = bytes / zl / 1e6;
    state.counters[std::string(label) + "_over_zlib"] = zl / ours;
}

// Registers one member-by-member comparison per member, named prefix/<member>.
inline int registerPerMember(const std::vector<BenchMember> &ms, const std::string &prefix, const char *label)
{
    for (const BenchMember &m : ms) {
        const BenchMember *one = &m;
        benchmark::RegisterBenchmark((prefix + "/" + m.name).c_str(),
                                     [one, label](benchmark::State &state) {
                                         timeAgainstInflate(state, {one}, label);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.5);
    }
    return 0;
}

#endif
