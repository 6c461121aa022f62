// Filter throughput: each native standard filter over a block of the largest
// size it takes (block copied into the machine as the flush does), the
// interpreter running the audio program, and a real member whose stream is
// mostly filtered (delta and audio) decoded end to end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "unpack/FilterMachine.h"
#include "unpack/Unpack.h"
#include "RarTestArchive.h"

namespace {

void put32(std::vector<uint8_t> &v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; i++)
        v[at + i] = (uint8_t)(x >> (8 * i));
}

std::vector<uint8_t> block(size_t n, bool calls)
{
    std::mt19937 rng(42);
    std::vector<uint8_t> b(n);
    for (auto &x : b)
        x = (uint8_t)rng();
    if (calls)
        for (size_t i = 0; i < n; i += 1 + rng() % 40)
            b[i] = (rng() & 1) ? 0xE8 : 0xE9;
    return b;
}

PreparedFilter native(VmStandardFilter kind, uint32_t n, uint32_t r0, uint32_t r1)
{
    PreparedFilter p;
    p.commands = std::make_shared<std::vector<VmCommand>>(2);
    (*p.commands)[0].opcode = VM_STANDARD;
    (*p.commands)[0].op1.type = VM_OPINT;
    (*p.commands)[0].op1.data = kind;
    uint32_t r[7] = {r0, r1, 0, kVmGlobalAddr, n, 0, 0x1000};
    for (int i = 0; i < 7; i++)
        p.initR[i] = r[i];
    p.globalData.assign(kVmFixedGlobalSize, 0);
    for (int i = 0; i < 7; i++)
        put32(p.globalData, i * 4, r[i]);
    put32(p.globalData, 0x1C, n);
    return p;
}

void runNative(benchmark::State &state, VmStandardFilter kind, uint32_t n, uint32_t r0, uint32_t r1, bool calls)
{
    FilterMachine vm;
    vm.init();
    std::vector<uint8_t> data = block(n, calls);
    PreparedFilter p = native(kind, n, r0, r1);
    for (auto _ : state) {
        vm.setMemory(0, data.data(), n);
        vm.execute(p);
        benchmark::DoNotOptimize(p.filteredData[0]);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * n);
}

void BM_FilterE8(benchmark::State &s) { runNative(s, VMSF_E8, 0x3B000, 0, 0, true); }
void BM_FilterE8E9(benchmark::State &s) { runNative(s, VMSF_E8E9, 0x3B000, 0, 0, true); }
void BM_FilterItanium(benchmark::State &s) { runNative(s, VMSF_ITANIUM, 0x3B000, 0, 0, false); }
void BM_FilterDelta(benchmark::State &s) { runNative(s, VMSF_DELTA, 0x1D000, 4, 0, false); }
void BM_FilterRgb(benchmark::State &s) { runNative(s, VMSF_RGB, 0x1D000, 3 * 640 + 3, 0, false); }
void BM_FilterAudio(benchmark::State &s) { runNative(s, VMSF_AUDIO, 0x1D000, 2, 0, false); }
// The same with the 128-bit error sums (what a processor without AVX2 runs).
void BM_FilterAudio128(benchmark::State &s)
{
    FilterMachine::allowWideAudioSums(false);
    runNative(s, VMSF_AUDIO, 0x1D000, 2, 0, false);
    FilterMachine::allowWideAudioSums(true);
}
void BM_FilterUpcase(benchmark::State &s) { runNative(s, VMSF_UPCASE, 0x1D000, 0, 0, false); }
BENCHMARK(BM_FilterE8);
BENCHMARK(BM_FilterE8E9);
BENCHMARK(BM_FilterItanium);
BENCHMARK(BM_FilterDelta);
BENCHMARK(BM_FilterRgb);
BENCHMARK(BM_FilterAudio);
BENCHMARK(BM_FilterAudio128);
BENCHMARK(BM_FilterUpcase);

// The first member of a one-member archive.
bool firstMember(const std::string &file, std::vector<uint8_t> &packed, uint32_t &unpSize, uint32_t &crc)
{
    std::vector<RarTestMember> members = readRarTestArchive(std::string(M2_TEST_DATA) + "/rar/" + file);
    if (members.empty())
        return false;
    packed = std::move(members[0].packed);
    unpSize = members[0].unpSize;
    crc = members[0].crc;
    return true;
}

void BM_InterpretedAudio(benchmark::State &state)
{
    // The audio program as it travels in archives, run by the interpreter.
    static const char *hex =
        "47019a4195e5720dc26482749324b14006d8384400a8013411dca1ba01990cc4033119a4066622604d9a400d668e60d030401826c1c8f6e6"
        "2613789208e850bc5a07c6e9f520a9a0ed3733473966907019a39bcf258380c1bd30166e233493811609b050183b4dc84c059b88c528e076"
        "9390980b37118a59c480424843a947ee43346047d44a0dbbd359a486ee05094026c9342476a0306a20ea022004a041509e503fe6e1289446"
        "01bd8b40f0681136c9a1923811419ca89510ee50662b00209511040262ac668c6aca2640b2671b4b26cc648a6271a2b8";
    std::vector<uint8_t> code;
    for (const char *p = hex; p[0] && p[1]; p += 2)
        code.push_back((uint8_t)std::stoul(std::string(p, 2), nullptr, 16));
    const uint32_t n = 0x10000;
    PreparedFilter p = native(VMSF_AUDIO, n, 2, 0);
    FilterMachine::prepare(code.data(), (uint32_t)code.size(), p, false);
    FilterMachine vm;
    vm.init();
    std::vector<uint8_t> data = block(n, false);
    for (auto _ : state) {
        vm.setMemory(0, data.data(), n);
        vm.execute(p);
        benchmark::DoNotOptimize(p.filteredData[0]);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * n);
}
BENCHMARK(BM_InterpretedAudio);

void BM_DecodeFilteredMember(benchmark::State &state)
{
    std::vector<uint8_t> packed;
    uint32_t unpSize = 0, crc = 0;
    if (!firstMember("v29-filters/Rar.Audio_program.rar", packed, unpSize, crc)) {
        state.SkipWithError("fixture missing");
        return;
    }
    std::vector<uint8_t> out(unpSize);
    for (auto _ : state) {
        if (!unpackBuffer(packed.data(), (uint32_t)packed.size(), out.data(), unpSize, 29, crc)) {
            state.SkipWithError("CRC mismatch");
            return;
        }
    }
    state.SetBytesProcessed((int64_t)state.iterations() * unpSize);
}
BENCHMARK(BM_DecodeFilteredMember)->Unit(benchmark::kMillisecond);

}  // namespace
