// Decompressor speed: the version 2.9 decoder over fixture members against
// zlib's raw inflate and libdeflate's raw decoder of the same bytes (see
// BenchMembers.h), in three sets reported apart: real files, synthetic
// members, and small members (where the cost per member counts). Each set is
// timed as a whole and member by member, so every member's ratio to zlib
// (ours_over_zlib) is printed. Then libdeflate's CRC-32 beside zlib's.
#include "BenchMembers.h"

namespace {

// Real files: every usable version 2.9 member of the fixture archives that
// starts with an LZ block (whole, not encrypted, the first of a solid run,
// 1 KB and more) but the synthetic ones below: text, documents,
// executables, pictures, sound and records. Their filters (x86, delta,
// audio) and PPMd blocks are part of decoding them. Members that start with
// a PPMd block are the PPMd benchmark's. Left out: byte-for-byte copies of a
// member listed here, the audio member whose filter program was altered so
// that it is interpreted (the filter benchmark's case), and the one damaged
// member of filter-flood.rar (its siblings are whole).
std::vector<BenchMember> realFiles()
{
    return loadMembers({
        "v29-lz/BoatModernEnglish-regular-unpack30.rar:BoatModernEnglish.wav",
        "v29-filters/BoatModernEnglish-audio-text-unpack30.rar:BoatModernEnglish.wav",
        "v29-filters/Rar.Audio_program.rar:test.dat",
        "v29-lz/Rar4.rar:exe\\test.exe",
        "v29-lz/Rar4.rar:jpg\\test.jpg",
        "v29-lz/Rar4.rar:????.txt",
        "solid/Rar.comment.rar:тест.txt",
        "v29-lz/test_read_format_rar_binary_data.rar:LibarchiveAddingTest.odt",
        "v29-lz/test_read_format_rar_compress_normal.rar:LibarchiveAddingTest.html",
        "v29-filters/test_read_format_rar_filter.rar:bsdcat.exe",
        "v29-filters/test_read_format_rar_filter_incomplete_block.rar:f2500.bin",
        "v29-filters/filter_delta_grad.rar:grad.bmp",
        "solid/rar3-solid.rar:stest1.txt",
        "damaged/filter-flood.rar:test-documents\\testOpenOffice2.odt",
        "damaged/filter-flood.rar:test-documents\\testPDF.pdf",
        "damaged/filter-flood.rar:test-documents\\testPPT.ppt",
        "damaged/filter-flood.rar:test-documents\\testRTF.rtf",
        "damaged/filter-flood.rar:test-documents\\testWORD.doc",
    });
}

// Made-up data: long repeats, generated payloads, random bytes.
std::vector<BenchMember> synthetic()
{
    return loadMembers({
        "v29-lz/4mb.rar:4mb.txt",
        "v29-lz/large_lz_normal.rar:payload.bin",
        "v29-lz/test_read_format_rar_multi_lzss_blocks.rar:multi_lzss_blocks_test.txt",
        "v29-lz/test_read_format_rar_binary_data.rar:random_data.bin",
        "v29-ppmd/ppmd_rar4_runs.rar:stress_runs.txt",
    });
}

// Members under a kilobyte, as a magazine has many.
std::vector<BenchMember> small()
{
    return loadMembers({
        "v29-lz/linux_rar.rar:plain.txt",
        "v29-lz/linux_rar.rar:test file with whitespaces.txt",
        "v29-lz/test_read_format_rar_compress_normal.rar:testdir\\test.txt",
        "v29-lz/test.rar:foo\\bar.txt",
        "v29-lz/test_read_format_rar3_lowdist_reset.rar:lowdist-reset.bin",
        "v29-filters/filter_audio_small.rar:sine.wav",
        "v29-filters/filter_delta_small.rar:delta-records.bin",
        "v29-filters/filter_e8_small.rar:tinycalls.exe",
        "v29-filters/filter_rgb_small.rar:gradient.bmp",
        "solid/solid_lz_2files.rar:tese.txt",
        "solid/rar4-solid.rar:file1.txt",
        "structure/test_read_format_rar_unicode.rar:abcdefghijklmnopqrsテスト.txt",
        "multivolume/lz-3vol/multi.part3.rar:file3.txt",
        "encrypted/test_read_format_rar_encryption_partially.rar:bar.txt",
        "damaged/filter-flood.rar:test-documents\\testHTML.html",
        "damaged/filter-flood.rar:test-documents\\testTXT.txt",
        "damaged/filter-flood.rar:test-documents\\testXML.xml",
    });
}

const int registered = [] {
    registerSet("BM_Decode29", "real", realFiles());
    registerSet("BM_Decode29", "synthetic", synthetic());
    registerSet("BM_Decode29", "small", small());
    return 0;
}();

const std::vector<uint8_t> &crcData()
{
    static std::vector<uint8_t> data = [] {
        std::vector<uint8_t> d(16 << 20);
        for (size_t i = 0; i < d.size(); i++)
            d[i] = (uint8_t)(i * 2654435761u >> 13);
        return d;
    }();
    return data;
}

// CRC-32 of 16 MiB: libdeflate's against zlib's crc32_z, in one run. Our
// crc32 is libdeflate's (unpack/Crc32.cpp), so this compares the two
// libraries, not our code; ours is only checked to give the same value
// (outside the timed loop).
void BM_Crc32LibdeflateVsZlib(benchmark::State &state)
{
    const std::vector<uint8_t> &data = crcData();
    double t[2] = { 0, 0 };
    uint32_t c[2] = { 0, 0 };
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        auto t0 = Clock::now();
        c[0] = libdeflate_crc32(0, data.data(), data.size());
        benchmark::DoNotOptimize(c[0]);
        auto t1 = Clock::now();
        c[1] = (uint32_t)crc32_z(0, data.data(), data.size());
        benchmark::DoNotOptimize(c[1]);
        auto t2 = Clock::now();
        t[0] += std::chrono::duration<double>(t1 - t0).count();
        t[1] += std::chrono::duration<double>(t2 - t1).count();
    }
    uint32_t (*const ours)(uint32_t, const void *, size_t) = crc32;
    if (c[0] != c[1] || ~ours(0xFFFFFFFFu, data.data(), data.size()) != c[0])
        state.SkipWithError("CRC values differ");
    double bytes = (double)state.iterations() * (double)data.size();
    state.counters["libdeflate_GBps"] = bytes / t[0] / 1e9;
    state.counters["zlib_GBps"] = bytes / t[1] / 1e9;
    state.counters["libdeflate_over_zlib"] = t[1] / t[0];
    state.counters["load1"] = loadAverage1();
}
BENCHMARK(BM_Crc32LibdeflateVsZlib)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
