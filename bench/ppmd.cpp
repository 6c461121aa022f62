// PPMd decoding speed: whole version 2.9 members made of one PPMd block,
// decoded memory to memory the way the container does it. The streams come
// from the test-only encoder over generated text (a Zipf-distributed
// vocabulary of made-up words), so the figures do not depend on files outside
// the project; a real archive member is measured as well, and zlib's inflate
// of the same text (deflated at level 9) for comparison.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include "tests/unpack/PpmTestEncoder.h"
#include "unpack/Unpack.h"

#include <algorithm>
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

// A real archive member: order 61 with a 64 MiB model (48,524 bytes of text).
void BM_PpmdRealMember(benchmark::State &state)
{
    static Member m;
    if (m.plain.empty()) {
        FILE *f = fopen(M2_TEST_DATA "/rar/v29-ppmd/legit-maxmb63.rar", "rb");
        std::vector<uint8_t> file;
        if (f) {
            uint8_t buf[4096];
            size_t n;
            while ((n = fread(buf, 1, sizeof buf, f)) > 0)
                file.insert(file.end(), buf, buf + n);
            fclose(f);
        }
        // The archive's one member: its header follows the 7-byte marker and
        // the 13-byte main header.
        const size_t at = 7 + 13;
        if (file.size() < at + 32) {
            state.SkipWithError("fixture missing");
            return;
        }
        auto le32 = [&](size_t p) {
            return uint32_t(file[p]) | uint32_t(file[p + 1]) << 8 | uint32_t(file[p + 2]) << 16 |
                   uint32_t(file[p + 3]) << 24;
        };
        uint32_t headSize = uint32_t(file[at + 5]) | uint32_t(file[at + 6]) << 8;
        uint32_t packSize = le32(at + 7), unpSize = le32(at + 11);
        m.crc = le32(at + 16);
        size_t data = at + headSize;
        if (data + packSize > file.size()) {
            state.SkipWithError("fixture damaged");
            return;
        }
        m.packed.assign(file.begin() + long(data), file.begin() + long(data + packSize));
        m.plain.resize(unpSize);
    }
    runMember(state, m);
}
BENCHMARK(BM_PpmdRealMember)->Unit(benchmark::kMillisecond)->MinTime(2.0);

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

}  // namespace
