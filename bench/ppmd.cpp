// PPMd decoding speed: whole version 2.9 members made of one PPMd block,
// decoded memory to memory the way the container does it. The synthetic
// streams come from the test-only encoder over generated text (a
// Zipf-distributed vocabulary of made-up words), so their figures do not
// depend on files outside the project; the real members are the fixtures'
// PPMd members. Each is timed beside zlib's raw inflate and libdeflate's raw
// decoder of the same bytes, outputs checked first (see BenchMembers.h).
// MiB/s figures (2^20 bytes) are printed beside the MB/s ones for the text.
#include "BenchMembers.h"
#include "tests/unpack/PpmTestEncoder.h"

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

// A synthetic member of generated text.
BenchMember makeMember(const char *name, size_t size, int order, int megabytes)
{
    std::vector<uint8_t> plain = generatedText(size);
    BenchMember m;
    m.name = name;
    m.packed = PpmTestEncoder::member(plain, order, megabytes);
    m.unpSize = (uint32_t)plain.size();
    uint32_t (*const ours)(uint32_t, const void *, size_t) = crc32;
    m.crc = ~ours(0xFFFFFFFFu, plain.data(), plain.size());
    m.version = 29;
    m.deflated = rawDeflate(plain.data(), plain.size());
    std::vector<uint8_t> check(m.unpSize + 1);
    decodeMember(m, check.data());
    if (!hasCrc(check, m.unpSize, m) || !hasCrc(check, zlibRawInflate(m.deflated, check.data(), check.size()), m) ||
        !hasCrc(check, libdeflateRaw(m.deflated, check.data(), check.size()), m)) {
        fprintf(stderr, "a decoder misses the CRC of %s\n", name);
        abort();
    }
    return m;
}

// Our decoder alone on one member, MiB/s as the library reports it.
void timeOurs(benchmark::State &state, const BenchMember *m)
{
    std::vector<uint8_t> out(m->unpSize);
    for (auto _ : state) {
        decodeMember(*m, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(m->unpSize));
    state.counters["ratio"] = double(m->packed.size()) / double(m->unpSize);
    state.counters["load1"] = loadAverage1();
}

const int registered = [] {
    std::vector<BenchMember> text;
    // The archiver's usual text setting: order 8, 25 MiB.
    text.push_back(makeMember("text8MiB_o8_25MiB", 8 << 20, 8, 25));
    // Magazine-sized: a 64 KiB article as its own member.
    text.push_back(makeMember("article64KiB_o8_25MiB", 64 << 10, 8, 25));
    // Order 64 in 1 MiB: the heap fills and the model restarts again and again.
    text.push_back(makeMember("text4MiB_o64_1MiB", 4 << 20, 64, 1));
    auto &kept = *new std::vector<BenchMember>(text);
    for (const BenchMember &m : kept)
        benchmark::RegisterBenchmark(("BM_PpmdOurs/" + m.name).c_str(), timeOurs, &m)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0);
    registerSet("BM_Ppmd", "synthetic", std::move(text));
    registerSet("BM_Ppmd", "real",
                loadMembers({ "v29-ppmd/legit-maxmb63.rar:final_payload.txt", "v29-ppmd/ppmd_rar4.rar:ppmd_in.txt",
                              "v29-ppmd/test_read_format_rar_compress_best.rar:LibarchiveAddingTest.html",
                              "v29-ppmd/testfile.rar3.cbr:testfile.jpg" }));
    return 0;
}();

}  // namespace
