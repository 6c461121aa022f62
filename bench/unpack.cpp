// Decompressor speed: the version 2.9 LZ decoder over real archive members
// against zlib's inflate of the same bytes (compressed at level 9), and CRC-32.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "unpack/Unpack.h"
#include "BenchMembers.h"

namespace {

// Ours, not zlib's function of the same name.
uint32_t (*const crc32Ours)(uint32_t, const void *, size_t) = crc32;

struct Member {
    std::string name;
    std::vector<uint8_t> packed;
    uint32_t unpSize = 0;
    uint32_t crc = 0;
    std::vector<uint8_t> plain;     // decoded once, checked against crc
    std::vector<uint8_t> deflated;  // plain at zlib level 9
};

void decode(const Member &m, uint8_t *out)
{
    UnpackIo io = { m.packed.data(), (uint32_t)m.packed.size(), out, m.unpSize };
    Unpacker u(&io);
    u.init(nullptr);
    u.setOutputSize(m.unpSize);
    u.unpackMember(29, false);
}

std::vector<Member> &members()
{
    static std::vector<Member> all;
    if (all.empty()) {
        for (const char *f : { "v29-lz/4mb.rar", "v29-lz/BoatModernEnglish-regular-unpack30.rar",
                               "v29-lz/Rar4.rar", "v29-lz/large_lz_normal.rar",
                               "v29-lz/test_read_format_rar_binary_data.rar",
                               "v29-lz/test_read_format_rar_compress_normal.rar",
                               "v29-lz/test_read_format_rar_multi_lzss_blocks.rar" })
            addMembers(f, 29, all);
        std::vector<Member> good;
        for (auto &m : all) {
            m.plain.assign(m.unpSize, 0);
            decode(m, m.plain.data());
            if (~crc32Ours(0xFFFFFFFFu, m.plain.data(), m.unpSize) != m.crc)
                continue;   // needs filters: not an LZ-only member
            uLongf len = compressBound(m.unpSize);
            m.deflated.resize(len);
            compress2(m.deflated.data(), &len, m.plain.data(), m.unpSize, 9);
            m.deflated.resize(len);
            good.push_back(std::move(m));
        }
        all = std::move(good);
    }
    return all;
}

int64_t totalOutput()
{
    int64_t n = 0;
    for (auto &m : members())
        n += m.unpSize;
    return n;
}

std::vector<uint8_t> &scratch()
{
    static std::vector<uint8_t> buf;
    size_t need = 0;
    for (auto &m : members())
        need = std::max<size_t>(need, m.unpSize);
    if (buf.size() < need)
        buf.resize(need);
    return buf;
}

void BM_Decode29(benchmark::State &state)
{
    auto &ms = members();
    uint8_t *out = scratch().data();
    for (auto _ : state)
        for (auto &m : ms) {
            decode(m, out);
            benchmark::DoNotOptimize(out[0]);
        }
    state.SetBytesProcessed(state.iterations() * totalOutput());
}
BENCHMARK(BM_Decode29)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ZlibInflate(benchmark::State &state)
{
    auto &ms = members();
    uint8_t *out = scratch().data();
    for (auto _ : state)
        for (auto &m : ms) {
            uLongf len = m.unpSize;
            uncompress(out, &len, m.deflated.data(), m.deflated.size());
            benchmark::DoNotOptimize(out[0]);
        }
    state.SetBytesProcessed(state.iterations() * totalOutput());
}
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Both decoders in one run, member by member, with their ratio.
void BM_Decode29VsInflate(benchmark::State &state)
{
    auto &ms = members();
    uint8_t *out = scratch().data();
    double v29 = 0, zl = 0;
    for (auto _ : state) {
        for (auto &m : ms) {
            auto t0 = std::chrono::steady_clock::now();
            decode(m, out);
            auto t1 = std::chrono::steady_clock::now();
            uLongf len = m.unpSize;
            uncompress(out, &len, m.deflated.data(), m.deflated.size());
            auto t2 = std::chrono::steady_clock::now();
            v29 += std::chrono::duration<double>(t1 - t0).count();
            zl += std::chrono::duration<double>(t2 - t1).count();
        }
    }
    double bytes = (double)state.iterations() * (double)totalOutput();
    state.counters["v29_MBps"] = bytes / v29 / 1e6;
    state.counters["zlib_MBps"] = bytes / zl / 1e6;
    state.counters["v29_over_zlib"] = zl / v29;
}
BENCHMARK(BM_Decode29VsInflate)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The same comparison member by member.
void memberVsInflate(benchmark::State &state, size_t index)
{
    const Member &m = members()[index];
    uint8_t *out = scratch().data();
    double v29 = 0, zl = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        decode(m, out);
        auto t1 = std::chrono::steady_clock::now();
        uLongf len = m.unpSize;
        uncompress(out, &len, m.deflated.data(), m.deflated.size());
        auto t2 = std::chrono::steady_clock::now();
        v29 += std::chrono::duration<double>(t1 - t0).count();
        zl += std::chrono::duration<double>(t2 - t1).count();
    }
    double bytes = (double)state.iterations() * (double)m.unpSize;
    state.counters["v29_MBps"] = bytes / v29 / 1e6;
    state.counters["zlib_MBps"] = bytes / zl / 1e6;
    state.counters["v29_over_zlib"] = zl / v29;
}

const int registered = [] {
    for (size_t i = 0; i < members().size(); i++)
        benchmark::RegisterBenchmark(("BM_Member/" + members()[i].name).c_str(), memberVsInflate, i)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.5);
    return 0;
}();

void BM_Crc32(benchmark::State &state)
{
    std::vector<uint8_t> data(16 << 20);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (uint8_t)(i * 2654435761u >> 13);
    uint32_t c = 0;
    for (auto _ : state) {
        c = crc32Ours(0xFFFFFFFFu, data.data(), data.size());
        benchmark::DoNotOptimize(c);
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)data.size());
}
BENCHMARK(BM_Crc32)->Unit(benchmark::kMillisecond);

}  // namespace
