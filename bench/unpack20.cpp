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
#include "BenchMembers.h"

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
            addMembers(f, 20, all);
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
