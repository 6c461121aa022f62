// PPMd decoding speed: whole version 2.9 members made of one PPMd block,
// decoded memory to memory the way the container does it. The streams come
// from the test-only encoder over generated text (a Zipf-distributed
// vocabulary of made-up words), so the figures do not depend on files outside
// the project. zlib's inflate of the same text (deflated at level 9) and real
// archive members, each beside zlib, are measured in the same run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include "tests/unpack/PpmTestEncoder.h"
#include "unpack/Unpack.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> generatedText(size_t size)
{
    static const char *const syllables[] = {"ka", "lo", "mi", "ren", "sto", "va", "tur", "el", "an",
                                            "dor", "pe", "qui", "sa", "ni", "ox", "ber", "gal", "th"};
    const size_t nSyll = sizeof syllables / sizeof *syllables;
    std::mt19937 rng(12345);
    std::vector<std::string> words;
    for (int i = 0; i < 2000; i++) {
        std::string w;
        int n = 1 + int(rng() % 4);
        for (int k = 0; k < n; k++)
            w += syllables[rng() % nSyll];
        words.push_back(w);
    }
    // Zipf weights
    std::vector<double> cumulative;
    double sum = 0;
    for (size_t i = 0; i < words.size(); i++)
        cumulative.push_back(sum += 1.0 / double(i + 1));
    std::uniform_real_distribution<double> pick(0, sum);
    std::vector<uint8_t> text;
    int sentence = 0;
    while (text.size() < size) {
        size_t i = size_t(std::lower_bound(cumulative.begin(), cumulative.end(), pick(rng)) - cumulative.begin());
        const std::string &w = words[i < words.size() ? i : 0];
        text.insert(text.end(), w.begin(), w.end());
        if (++sentence % 12 == 0) {
            text.push_back('.');
            text.push_back(rng() % 5 == 0 ? '\n' : ' ');
        } else {
            text.push_back(rng() % 9 == 0 ? ',' : ' ');
            if (text.back() == ',')
                text.push_back(' ');
        }
    }
    text.resize(size);
    return text;
}

struct Member {
    std::vector<uint8_t> plain;
    std::vector<uint8_t> packed;
    uint32_t crc = 0;
};

Member makeMember(size_t size, int order, int megabytes)
{
    Member m;
    m.plain = generatedText(size);
    m.packed = PpmTestEncoder::member(m.plain, order, megabytes);
    uint32_t (*const ours)(uint32_t, const void *, size_t) = crc32;
    m.crc = ~ours(0xFFFFFFFFu, m.plain.data(), m.plain.size());
    return m;
}

void runMember(benchmark::State &state, const Member &m)
{
    std::vector<uint8_t> out(m.plain.size());
    for (auto _ : state) {
        bool ok = unpackBuffer(m.packed.data(), uint32_t(m.packed.size()), out.data(),
                               uint32_t(out.size()), 29, m.crc);
        if (!ok) {
            state.SkipWithError("member did not decode to its CRC");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(m.plain.size()));
    state.counters["ratio"] = double(m.packed.size()) / double(m.plain.size());
}

void BM_PpmdText(benchmark::State &state)
{
    // The archiver's usual text setting: order 8, 25 MiB.
    static const Member m = makeMember(8 << 20, 8, 25);
    runMember(state, m);
}
BENCHMARK(BM_PpmdText)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PpmdHighOrderSmallHeap(benchmark::State &state)
{
    // Order 64 in 1 MiB: the heap fills and the model restarts again and again.
    static const Member m = makeMember(4 << 20, 64, 1);
    runMember(state, m);
}
BENCHMARK(BM_PpmdHighOrderSmallHeap)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

namespace {

void BM_PpmdArticles(benchmark::State &state)
{
    // Magazine-sized members: 64 KiB articles, each its own member.
    static const Member m = makeMember(64 << 10, 8, 25);
    runMember(state, m);
}
BENCHMARK(BM_PpmdArticles)->Unit(benchmark::kMillisecond)->MinTime(2.0);



}  // namespace

namespace {

void inflateBench(benchmark::State &state, size_t size)
{
    std::vector<uint8_t> plain = generatedText(size);
    uLongf packedSize = compressBound(uLong(plain.size()));
    std::vector<uint8_t> packed(packedSize);
    compress2(packed.data(), &packedSize, plain.data(), uLong(plain.size()), 9);
    packed.resize(packedSize);
    std::vector<uint8_t> out(plain.size());
    for (auto _ : state) {
        uLongf outSize = uLongf(out.size());
        if (uncompress(out.data(), &outSize, packed.data(), uLong(packed.size())) != Z_OK || outSize != out.size()) {
            state.SkipWithError("inflate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
    state.counters["ratio"] = double(packed.size()) / double(plain.size());
}

void BM_ZlibInflateText(benchmark::State &state) { inflateBench(state, 8 << 20); }
BENCHMARK(BM_ZlibInflateText)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ZlibInflateArticles(benchmark::State &state) { inflateBench(state, 64 << 10); }
BENCHMARK(BM_ZlibInflateArticles)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Real archive members coded in PPMd, each against zlib's inflate of its
// plain bytes (deflated at level 9), in the same run.
struct RealMember {
    std::string name;
    std::vector<uint8_t> packed, plain, deflated;
    uint32_t crc = 0;
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
        v |= uint32_t(d[p + i]) << (8 * i);
    return v;
}

std::vector<RealMember> &realMembers()
{
    static std::vector<RealMember> all;
    if (!all.empty())
        return all;
    for (const char *file : {"v29-ppmd/legit-maxmb63.rar", "v29-ppmd/ppmd_rar4.rar",
                             "v29-ppmd/test_read_format_rar_compress_best.rar", "v29-ppmd/testfile.rar3.cbr"}) {
        std::vector<uint8_t> d = readAll(std::string(M2_TEST_DATA) + "/rar/" + file);
        size_t pos = 7;
        while (pos + 32 <= d.size()) {
            uint32_t type = d[pos + 2], flags = le(d, pos + 3, 2), headSize = le(d, pos + 5, 2);
            if (headSize < 7 || type == 0x7B)
                break;
            size_t next = pos + headSize;
            if (type == 0x74) {
                uint32_t packSize = le(d, pos + 7, 4), unpSize = le(d, pos + 11, 4);
                RealMember m;
                m.crc = le(d, pos + 16, 4);
                m.name = std::string(file) + ":" + std::string((const char *)&d[pos + 32], le(d, pos + 26, 2));
                bool usable = d[pos + 24] == 29 && d[pos + 25] != 0x30 && !(flags & 0x17) &&
                              (flags & 0xE0) != 0xE0 && unpSize > 0 && next + packSize <= d.size();
                if (usable) {
                    m.packed.assign(d.begin() + long(next), d.begin() + long(next + packSize));
                    m.plain.resize(unpSize);
                    if (unpackBuffer(m.packed.data(), packSize, m.plain.data(), unpSize, 29, m.crc)) {
                        uLongf len = compressBound(unpSize);
                        m.deflated.resize(len);
                        compress2(m.deflated.data(), &len, m.plain.data(), unpSize, 9);
                        m.deflated.resize(len);
                        all.push_back(std::move(m));
                    }
                }
                next += packSize;
            } else if (flags & 0x8000) {
                next += le(d, pos + 7, 4);
            }
            pos = next;
        }
    }
    return all;
}

void realMemberVsInflate(benchmark::State &state, size_t index)
{
    const RealMember &m = realMembers()[index];
    std::vector<uint8_t> out(m.plain.size());
    double ppmd = 0, zl = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        UnpackIo io = {m.packed.data(), uint32_t(m.packed.size()), out.data(), uint32_t(out.size())};
        {
            Unpacker u(&io);
            u.init(nullptr);
            u.setOutputSize(out.size());
            u.unpackMember(29, false);
        }
        auto t1 = std::chrono::steady_clock::now();
        uLongf len = uLongf(out.size());
        uncompress(out.data(), &len, m.deflated.data(), uLong(m.deflated.size()));
        auto t2 = std::chrono::steady_clock::now();
        ppmd += std::chrono::duration<double>(t1 - t0).count();
        zl += std::chrono::duration<double>(t2 - t1).count();
    }
    double bytes = double(state.iterations()) * double(m.plain.size());
    state.counters["ppmd_MBps"] = bytes / ppmd / 1e6;
    state.counters["zlib_MBps"] = bytes / zl / 1e6;
}

const int registered = [] {
    for (size_t i = 0; i < realMembers().size(); i++)
        benchmark::RegisterBenchmark(("BM_PpmdMember/" + realMembers()[i].name).c_str(), realMemberVsInflate, i)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.5);
    return 0;
}();

}  // namespace
