// One audio callback's worth of mixing (4096 frames, 16-bit stereo at
// 44100 Hz) must take far less than the 93 ms the buffer lasts.
#include <benchmark/benchmark.h>

#include <vector>

#include "SoundSystem.h"
#include "../tests/SDL/SoundMedia.cpp"

namespace {

const int kBytes = SOUND_BUFFER_FRAMES * 4;

void BM_ModuleCallback(benchmark::State &state)
{
    DeviceFormat f = {2, 16, 44100, 1.0f};
    DumbPlayer player;
    std::vector<uint8_t> mod = makeMod(64);
    player.loadMemory("bench.mod", mod.data(), (int)mod.size(), true, &f);
    std::vector<uint8_t> buffer(kBytes);
    for (auto _ : state) {
        player.mix(buffer.data(), kBytes, &f);
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_ModuleCallback)->Unit(benchmark::kMicrosecond);

void BM_OggConvertedCallback(benchmark::State &state)
{
    DeviceFormat f = {2, 16, 44100, 1.0f};
    OggVorbisPlayer player;
    std::vector<uint8_t> ogg = makeOgg(22050, 1, 22050);
    player.loadMemory("bench.ogg", ogg.data(), (int)ogg.size(), true, &f);
    std::vector<uint8_t> buffer(kBytes);
    for (auto _ : state) {
        player.mix(buffer.data(), kBytes, &f);
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_OggConvertedCallback)->Unit(benchmark::kMicrosecond);

void BM_SampleCallback(benchmark::State &state)
{
    DeviceFormat f = {2, 16, 44100, 1.0f};
    std::vector<uint8_t> data(kBytes, 0x40);
    Sample *sample = Sample::convert(data.data(), (int)data.size(), 44100,
                                     SOUND_FLAG_16BIT | SOUND_FLAG_STEREO, 44100);
    SamplePlayer player;
    std::vector<uint8_t> buffer(kBytes);
    for (auto _ : state) {
        player.setSample(sample);
        player.mix(buffer.data(), kBytes, &f);
        benchmark::DoNotOptimize(buffer.data());
    }
    delete sample;
}
BENCHMARK(BM_SampleCallback)->Unit(benchmark::kMicrosecond);

} // namespace
