// Decompressor speed: the version 2.9 LZ decoder over real archive members
// against zlib's inflate of the same bytes (compressed at level 9), and CRC-32.
#include "BenchMembers.h"

namespace {

// Ours, not zlib's function of the same name.
uint32_t (*const crc32Ours)(uint32_t, const void *, size_t) = crc32;

// The LZ-only members (those that need no filter decode to their CRC).
const std::vector<BenchMember> &members()
{
    static const std::vector<BenchMember> all =
        loadMembers({ "v29-lz/4mb.rar", "v29-lz/BoatModernEnglish-regular-unpack30.rar", "v29-lz/Rar4.rar",
                      "v29-lz/large_lz_normal.rar", "v29-lz/test_read_format_rar_binary_data.rar",
                      "v29-lz/test_read_format_rar_compress_normal.rar",
                      "v29-lz/test_read_format_rar_multi_lzss_blocks.rar" },
                    29);
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
            decodeMember(m, out);
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
    std::vector<const BenchMember *> all;
    for (const BenchMember &m : members())
        all.push_back(&m);
    timeAgainstInflate(state, all, "v29");
}
BENCHMARK(BM_Decode29VsInflate)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The same comparison member by member.
const int registered = registerPerMember(members(), "BM_Member", "v29");

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
