// Compressed members of the fixture archives for the decompressor benchmarks,
// timed beside two raw DEFLATE decoders on the same output bytes: zlib's
// inflate without a checksum (inflateInit2 with negative window bits, one
// stream reset per member) and libdeflate's raw decoder. Every decoder's output is checked against the
// member's CRC-32 once, before any timing; a member one of them does not
// reproduce is reported and left out. Each figure is printed beside the
// machine's load average.
#ifndef MIRANDOL_BENCH_MEMBERS_H
#define MIRANDOL_BENCH_MEMBERS_H

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <stdlib.h>
#include <zlib.h>

#include <algorithm>
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
    std::vector<uint8_t> deflated;  // the plain bytes as raw DEFLATE, zlib level 9
};

// Our decoder as the reader runs it, without the CRC check.
inline void decodeMember(const BenchMember &m, uint8_t *out)
{
    unpackUnchecked(m.packed.data(), (uint32_t)m.packed.size(), out, m.unpSize, m.version);
}

// zlib's inflate of raw DEFLATE data (no header, no checksum) on one stream,
// made once and reset for every member (inflateReset), as a program that
// inflates many members keeps its stream and as our decoder keeps its
// window. Returns the bytes written.
class ZlibRawInflater {
public:
    ZlibRawInflater() { ready = inflateInit2(&z, -15) == Z_OK; }
    ~ZlibRawInflater()
    {
        if (ready)
            inflateEnd(&z);
    }
    ZlibRawInflater(const ZlibRawInflater &) = delete;
    ZlibRawInflater &operator=(const ZlibRawInflater &) = delete;

    size_t operator()(const std::vector<uint8_t> &in, uint8_t *out, size_t outSize)
    {
        if (!ready || inflateReset(&z) != Z_OK)
            return 0;
        z.next_in = const_cast<Bytef *>(in.data());
        z.avail_in = (uInt)in.size();
        z.next_out = out;
        z.avail_out = (uInt)outSize;
        inflate(&z, Z_FINISH);
        return outSize - z.avail_out;
    }

private:
    z_stream z = {};
    bool ready = false;
};

inline size_t zlibRawInflate(const std::vector<uint8_t> &in, uint8_t *out, size_t outSize)
{
    static ZlibRawInflater inflater;
    return inflater(in, out, outSize);
}

inline std::vector<uint8_t> rawDeflate(const uint8_t *data, size_t size)
{
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&z, (uLong)size));
    z.next_in = const_cast<Bytef *>(data);
    z.avail_in = (uInt)size;
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

// libdeflate's decompressor, allocated once (as its users do).
inline libdeflate_decompressor *libdeflateDecoder()
{
    static libdeflate_decompressor *d = libdeflate_alloc_decompressor();
    return d;
}

inline size_t libdeflateRaw(const std::vector<uint8_t> &in, uint8_t *out, size_t outSize)
{
    size_t n = 0;
    if (libdeflate_deflate_decompress(libdeflateDecoder(), in.data(), in.size(), out, outSize, &n) !=
        LIBDEFLATE_SUCCESS)
        return 0;
    return n;
}

inline bool hasCrc(const std::vector<uint8_t> &out, size_t n, const BenchMember &m)
{
    uint32_t (*const ours)(uint32_t, const void *, size_t) = crc32;  // not zlib's
    return n == m.unpSize && ~ours(0xFFFFFFFFu, out.data(), m.unpSize) == m.crc;
}

// Loads the members named archive:member (archives under tests/data/rar) and
// checks all three decoders' outputs against each member's CRC.
inline std::vector<BenchMember> loadMembers(std::initializer_list<const char *> names)
{
    std::vector<BenchMember> out;
    for (const char *full : names) {
        std::string s(full);
        size_t colon = s.find(':');
        std::string file = s.substr(0, colon), member = s.substr(colon + 1);
        bool found = false;
        for (RarTestMember &r : readRarTestArchive(std::string(M2_TEST_DATA) + "/rar/" + file)) {
            // A Unicode name follows the plain one after a zero byte.
            if (r.name.substr(0, r.name.find('\0')) != member || !r.usable() || r.method == 0x30 || r.unpSize == 0)
                continue;
            found = true;
            BenchMember m;
            m.name = s;
            m.packed = std::move(r.packed);
            m.unpSize = r.unpSize;
            m.crc = r.crc;
            m.version = r.unpVer;
            std::vector<uint8_t> plain(m.unpSize);
            decodeMember(m, plain.data());
            if (!hasCrc(plain, m.unpSize, m)) {
                fprintf(stderr, "left out, our decoder misses its CRC: %s\n", full);
                break;
            }
            m.deflated = rawDeflate(plain.data(), m.unpSize);
            std::vector<uint8_t> check(m.unpSize + 1);
            if (!hasCrc(check, zlibRawInflate(m.deflated, check.data(), check.size()), m) ||
                !hasCrc(check, libdeflateRaw(m.deflated, check.data(), check.size()), m)) {
                fprintf(stderr, "left out, an anchor misses its CRC: %s\n", full);
                break;
            }
            out.push_back(std::move(m));
            break;
        }
        if (!found)
            fprintf(stderr, "member not found: %s\n", full);
    }
    return out;
}

inline double loadAverage1()
{
    double l[1] = { -1 };
    getloadavg(l, 1);
    return l[0];
}

// Times our decoder and both anchors on the same members in one run,
// interleaved member by member, and reports MB/s of output (1 MB = 10^6
// bytes) for each, the ratios, the time per member and the load average.
inline void timeAgainstAnchors(benchmark::State &state, const std::vector<const BenchMember *> &ms)
{
    size_t largest = 0;
    double total = 0;
    for (const BenchMember *m : ms) {
        largest = std::max<size_t>(largest, m->unpSize);
        total += m->unpSize;
    }
    std::vector<uint8_t> out(largest);
    double ours = 0, zl = 0, ld = 0;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        for (const BenchMember *m : ms) {
            auto t0 = Clock::now();
            decodeMember(*m, out.data());
            benchmark::DoNotOptimize(out.data());
            auto t1 = Clock::now();
            zlibRawInflate(m->deflated, out.data(), m->unpSize);
            benchmark::DoNotOptimize(out.data());
            auto t2 = Clock::now();
            libdeflateRaw(m->deflated, out.data(), m->unpSize);
            benchmark::DoNotOptimize(out.data());
            auto t3 = Clock::now();
            ours += std::chrono::duration<double>(t1 - t0).count();
            zl += std::chrono::duration<double>(t2 - t1).count();
            ld += std::chrono::duration<double>(t3 - t2).count();
        }
    }
    double bytes = (double)state.iterations() * total;
    double count = (double)state.iterations() * (double)ms.size();
    state.counters["ours_MBps"] = bytes / ours / 1e6;
    state.counters["ours_MiBps"] = bytes / ours / 1048576.0;
    state.counters["zlib_MBps"] = bytes / zl / 1e6;
    state.counters["libdeflate_MBps"] = bytes / ld / 1e6;
    state.counters["ours_over_zlib"] = zl / ours;
    state.counters["ours_over_libdeflate"] = ld / ours;
    state.counters["ours_us_per_member"] = ours / count * 1e6;
    state.counters["zlib_us_per_member"] = zl / count * 1e6;
    state.counters["libdeflate_us_per_member"] = ld / count * 1e6;
    state.counters["load1"] = loadAverage1();
}

// One benchmark per set (named prefix/set) and one per member (prefix/set/member).
// The members live as long as the program.
inline void registerSet(const std::string &prefix, const std::string &set, std::vector<BenchMember> members)
{
    const std::vector<BenchMember> &ms = *new std::vector<BenchMember>(std::move(members));
    std::vector<const BenchMember *> all;
    for (const BenchMember &m : ms)
        all.push_back(&m);
    if (all.empty())
        return;
    benchmark::RegisterBenchmark((prefix + "/" + set).c_str(),
                                 [all](benchmark::State &state) { timeAgainstAnchors(state, all); })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0);
    for (const BenchMember *one : all)
        benchmark::RegisterBenchmark((prefix + "/" + set + "/" + one->name).c_str(),
                                     [one](benchmark::State &state) { timeAgainstAnchors(state, { one }); })
            ->Unit(benchmark::kMicrosecond)
            ->MinTime(0.5);
}

#endif
