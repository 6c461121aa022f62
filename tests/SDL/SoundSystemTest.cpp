// Mixing tests: the players write into buffers that are compared sample by
// sample, so byte-order and length mistakes show.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "Messages.h"
#include "SDLTestSupport.h"
#include "SoundMedia.h"
#include "SoundSystem.h"
#include "Strings.h"
#include "TestDirs.h"

// DUMB's XM reader loses a few bytes on some damaged modules, and libvorbisenc
// some when the test media encode more than two channels; that is the
// libraries', not ours.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:dumb_read_xm_quick\nleak:vorbis_encode_setup_init\n";
}

namespace {

const int kCallbackBytes = SOUND_BUFFER_FRAMES * 4;   // one callback buffer, 16-bit stereo

DeviceFormat deviceFormat(int rate = 44100) { return DeviceFormat{2, 16, rate, 1.0f}; }

std::vector<int16_t> samples(const uint8_t *bytes, size_t size)
{
    std::vector<int16_t> s(size / 2);
    for (size_t i = 0; i < s.size(); i++)
        s[i] = (int16_t)(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return s;
}
std::vector<int16_t> samples(const std::vector<uint8_t> &b) { return samples(b.data(), b.size()); }

int peak(const std::vector<uint8_t> &bytes, size_t from = 0, size_t to = (size_t)-1)
{
    std::vector<int16_t> s = samples(bytes);
    int p = 0;
    for (size_t i = from; i < std::min(to, s.size()); i++)
        p = std::max(p, std::abs((int)s[i]));
    return p;
}

double rms(const std::vector<uint8_t> &bytes)
{
    double sum = 0;
    std::vector<int16_t> s = samples(bytes);
    for (int16_t v : s)
        sum += (double)v * v;
    return s.empty() ? 0 : std::sqrt(sum / s.size());
}

// One callback's worth of a player (or the whole system) into a zeroed buffer.
std::vector<uint8_t> mixOnce(Player &player, DeviceFormat &f, int len = kCallbackBytes)
{
    std::vector<uint8_t> buffer((size_t)len, 0);
    player.mix(buffer.data(), len, &f);
    return buffer;
}
std::vector<uint8_t> mixOnce(DumbAndOgg &sound)
{
    std::vector<uint8_t> buffer(kCallbackBytes, 0);
    sound.mixInto(buffer.data(), kCallbackBytes);
    return buffer;
}

// The samples of `calls` callbacks in a row; len(i) gives the length of call i.
template <class Length> std::vector<int16_t> mixMany(Player &player, DeviceFormat &f, int calls, Length len)
{
    std::vector<int16_t> out;
    for (int i = 0; i < calls; i++) {
        std::vector<int16_t> s = samples(mixOnce(player, f, len(i)));
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

// A sound system on the dummy audio driver with the device paused, so that
// the test drives the mixing itself.
struct PausedSound {
    DumbAndOgg sound{44100};
    PausedSound() { SDL_PauseAudio(1); }
};

} // namespace

TEST(SoundSample, ConvertsLittleEndianWavDataOrRefusesIt)
{
    // 16-bit mono lands in both channels; unsigned 8-bit has its silence at 0x80.
    const struct { std::vector<uint8_t> data; int flags; std::vector<int16_t> want; } converted[] = {
        {{0x34, 0x12, 0xFE, 0xFF, 0x00, 0x80, 0xFF, 0x7F}, SOUND_FLAG_16BIT,
         {0x1234, 0x1234, -2, -2, -32768, -32768, 32767, 32767}},
        {{0x80, 0xFF, 0x00, 0x80}, SOUND_FLAG_STEREO, {0, 0x7F00, -32768, 0}}};
    for (const auto &c : converted) {
        std::unique_ptr<Sample> s(Sample::convert(c.data.data(), (int)c.data.size(), 44100, c.flags, 44100));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(samples(s->data(), s->size()), c.want);
    }
    std::vector<uint8_t> d(64, 0x80);
    const struct { const uint8_t *data; int size, rate, flags, device; } refused[] = {
        {d.data(), 64, 0, 0, 44100},          {d.data(), 64, -22050, 0, 44100},
        {d.data(), 64, 2000000000, 0, 44100}, {d.data(), 64, 22050, 0, 0},
        {d.data(), 0, 22050, 0, 44100},       {d.data(), 1, 22050, SOUND_FLAG_16BIT, 44100},
        {nullptr, 64, 22050, 0, 44100}};
    for (const auto &c : refused)
        EXPECT_EQ(Sample::convert(c.data, c.size, c.rate, c.flags, c.device), nullptr) << c.size << " " << c.rate;
}

TEST(SoundSamplePlayer, ShortSampleIsAddedWholeThenIdle)
{
    std::vector<uint8_t> data;
    for (int i = 0; i < 100; i++)
        data.insert(data.end(), {0xE8, 0x03});   // 1000 little-endian
    std::unique_ptr<Sample> s(Sample::convert(data.data(), (int)data.size(), 44100, SOUND_FLAG_16BIT, 44100));
    ASSERT_NE(s, nullptr);
    DeviceFormat f = deviceFormat();
    SamplePlayer player;
    player.setSample(s.get());
    // The sample adds into what the music wrote (500 everywhere).
    std::vector<uint8_t> buffer(kCallbackBytes);
    for (size_t i = 0; i < buffer.size(); i += 2)
        buffer[i] = 0xF4, buffer[i + 1] = 0x01;
    player.mix(buffer.data(), (int)buffer.size(), &f);
    std::vector<int16_t> v = samples(buffer);
    for (size_t i = 0; i < v.size(); i++)
        ASSERT_EQ(v[i], i < 200 ? 1500 : 500) << i;
    EXPECT_TRUE(player.idle());
    EXPECT_EQ(peak(mixOnce(player, f)), 0);
    // A new sample restarts from its beginning.
    player.setSample(s.get());
    mixOnce(player, f, 8);
    player.setSample(s.get());
    std::vector<int16_t> again = samples(mixOnce(player, f));
    EXPECT_EQ(again[199], 1000);
    EXPECT_EQ(again[200], 0);
}

// A song that does not loop falls silent and reports its end once; a looping
// one starts over without a report. The Ogg song of 6000 frames ends in the
// second callback, the module of 10 rows of 20 ms in the second or third.
TEST(SoundPlayers, SongEndsLoopOrReportOnce)
{
    std::vector<uint8_t> ogg = makeOgg(44100, 2, 6000), mod = makeMod(10);
    for (bool loop : {true, false}) {
        SCOPED_TRACE(loop);
        FakeSystemScope fake;
        DeviceFormat f = deviceFormat();
        OggVorbisPlayer vorbis;
        DumbPlayer dumb;
        ASSERT_TRUE(vorbis.loadMemory("song.ogg", ogg.data(), (int)ogg.size(), loop, &f));
        ASSERT_TRUE(dumb.loadMemory("short.mod", mod.data(), (int)mod.size(), loop, &f));
        std::vector<uint8_t> first = mixOnce(vorbis, f);     // frames 0..4095
        std::vector<uint8_t> second = mixOnce(vorbis, f);    // 4096..5999, then silence
        size_t end = (6000 - 4096) * 2;
        EXPECT_GT(peak(second, 0, end), 8000);
        EXPECT_EQ(peak(second, end), 0);
        EXPECT_EQ(mixOnce(vorbis, f) == first, loop);        // from the start again
        int sounding = 0;
        for (int i = 0; i < 6; i++) {
            int level = peak(mixOnce(dumb, f));
            sounding += level > 0;
            if (loop) {
                EXPECT_GT(level, 1000) << i;
            }
        }
        if (loop) {
            EXPECT_TRUE(fake.sys.posted.empty());
            continue;
        }
        EXPECT_GE(sounding, 2);
        EXPECT_LE(sounding, 3);
        EXPECT_EQ(dumb.getState(), (int)DumbPlayer::STOPPED);
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(peak(mixOnce(vorbis, f)), 0);
        EXPECT_TRUE(vorbis.isOpen());
        ASSERT_EQ(fake.sys.posted.size(), 2u);
        for (const auto &message : fake.sys.posted)
            EXPECT_EQ(message.first, (int)MSG_SONG_ENDED);
    }
}

// Frames of the left channel and the tone's frequency in Hz at the device
// rate, from its rising zero crossings.
struct Tone { size_t frames; double hz; };

Tone toneOf(const std::vector<int16_t> &interleaved, int rate)
{
    size_t frames = interleaved.size() / 2, first = 0, last = 0, rises = 0;
    for (size_t i = 1; i < frames; i++)
        if (interleaved[2 * (i - 1)] < 0 && interleaved[2 * i] >= 0) {
            first = rises++ ? first : i;
            last = i;
        }
    return {frames, rises > 1 ? (double)(rises - 1) * rate / (double)(last - first) : 0};
}

// A tone of one second at a rate the device does not have keeps its length
// and its pitch: sound effects and Ogg songs alike; a song at the device's
// rate and channels is written as decoded.
TEST(SoundResampling, OneSecondTonesLastOneSecondAndKeepTheirPitch)
{
    for (int rate : {48000, 32000, 22050, 8000, 44100}) {
        SCOPED_TRACE(rate);
        std::vector<uint8_t> wav;   // a 16-bit mono effect
        for (int i = 0; i < rate; i++) {
            int16_t v = (int16_t)lrint(12000 * sin(2 * M_PI * 441.0 * i / rate));
            wav.insert(wav.end(), {(uint8_t)v, (uint8_t)(v >> 8)});
        }
        std::unique_ptr<Sample> s(Sample::convert(wav.data(), (int)wav.size(), rate, SOUND_FLAG_16BIT, 44100));
        ASSERT_NE(s, nullptr);
        Tone effect = toneOf(samples(s->data(), s->size()), 44100);
        EXPECT_NEAR((double)effect.frames, 44100, 441);
        EXPECT_NEAR(effect.hz, 441.0, 4.41);

        for (int channels : {2, 6}) {   // stereo, and 5.1 mixed down
            std::vector<uint8_t> ogg = makeOgg(rate, channels, rate, 441.0, 0.4);
            DeviceFormat f = deviceFormat();
            OggVorbisPlayer player;
            ASSERT_TRUE(player.loadMemory("tone.ogg", ogg.data(), (int)ogg.size(), false, &f));
            EXPECT_EQ(player.converting(), rate != 44100 || channels != 2);
            // Odd buffer lengths exercise the carry-over between callbacks.
            std::vector<int16_t> out = mixMany(player, f, 60, [](int i) { return 3000 + 4 * (i % 7); });
            if (!player.converting()) {   // written directly: the decoded stream, then silence
                int r = 0, ch = 0;
                std::vector<int16_t> reference = decodeOgg(ogg, &r, &ch);
                ASSERT_LT(reference.size(), out.size());
                for (size_t i = 0; i < out.size(); i++)
                    ASSERT_EQ(out[i], i < reference.size() ? reference[i] : 0) << i;
            }
            while (!out.empty() && out.back() == 0)
                out.pop_back();
            Tone song = toneOf(out, 44100);
            EXPECT_NEAR((double)song.frames, 44100, 441) << channels;
            EXPECT_NEAR(song.hz, 441.0, 4.41) << channels;
            for (size_t i = 0; i + 1 < out.size(); i += 2)
                ASSERT_NEAR(out[i], out[i + 1], 300) << i;   // the same tone on both sides
        }
    }
}

TEST(SoundOgg, MemoryStreamRefusesSeeksOutOfRange)
{
    OggMemoryStream *s = static_cast<OggMemoryStream *>(malloc(sizeof(OggMemoryStream)));
    s->data = static_cast<uint8_t *>(calloc(100, 1));
    s->size = 100;
    s->position = 0;
    EXPECT_EQ(OggMemoryStream::seek(s, -10, SEEK_END), 0);
    uint8_t buffer[32];
    EXPECT_EQ(OggMemoryStream::read(buffer, 1, 32, s), 10u);
    EXPECT_EQ(OggMemoryStream::read(buffer, 1, 32, s), 0u);
    const struct { long long offset; int whence; } refused[] = {
        {1, SEEK_END}, {-1, SEEK_SET}, {0x100000000LL, SEEK_SET}, {5, 99}};
    for (const auto &r : refused)
        EXPECT_EQ(OggMemoryStream::seek(s, r.offset, r.whence), -1) << r.offset << " " << r.whence;
    EXPECT_EQ(OggMemoryStream::tell(s), 100);
    EXPECT_EQ(OggMemoryStream::seek(s, -40, SEEK_CUR), 0);
    EXPECT_EQ(OggMemoryStream::tell(s), 60);
    OggMemoryStream::close(s);
}

// A song's kind is told by its name's extension, in any case. Loading over an
// open song releases it (the leak checker watches); a missing file or junk
// leaves the player silent.
TEST(SoundPlayers, SongsFromMemoryAndFileJunkRefused)
{
    EXPECT_FALSE(Player::hasExtension(nullptr, "mod"));
    DeviceFormat f = deviceFormat();
    DumbPlayer dumb;
    OggVorbisPlayer vorbis;
    ScopedWorkDir dir;
    std::vector<uint8_t> junk(3000, 0x55);
    const struct {
        Player *player; std::string name; std::vector<uint8_t> bytes; int loudness;
        std::vector<const char *> otherNames; const char *otherCase;
    } cases[] = {{&dumb, "tune.xm", makeXm(), 1000, {"module", "module.", "song.xm2"}, "X.XM"},
                 {&vorbis, "song.ogg", makeOgg(44100, 2, 3000), 8000, {"song"}, "music/a.b.Ogg"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (const char *name : c.otherNames)
            EXPECT_FALSE(c.player->loadMemory(name, c.bytes.data(), (int)c.bytes.size(), true, &f)) << name;
        EXPECT_TRUE(c.player->loadMemory(c.otherCase, c.bytes.data(), (int)c.bytes.size(), true, &f));
        ASSERT_TRUE(writeFile(c.name, c.bytes));
        for (int i = 0; i < 2; i++) {
            ASSERT_TRUE(c.player->loadMemory(c.name.c_str(), c.bytes.data(), (int)c.bytes.size(), true, &f));
            EXPECT_GT(peak(mixOnce(*c.player, f)), c.loudness);
            ASSERT_TRUE(c.player->loadFile(c.name.c_str(), true, &f));
            EXPECT_GT(peak(mixOnce(*c.player, f)), c.loudness);
        }
        EXPECT_FALSE(c.player->loadFile(("missing-" + c.name).c_str(), true, &f));
        EXPECT_EQ(peak(mixOnce(*c.player, f)), 0);
        // A FIFO by a song's name is no song, and is not waited on.
        std::string fifo = "fifo-" + c.name;
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        Player *player = c.player;
        EXPECT_TRUE(endsWithin(5, [&] { return !player->loadFile(fifo.c_str(), true, &f); }));
        EXPECT_FALSE(c.player->loadMemory(c.name.c_str(), junk.data(), (int)junk.size(), true, &f));
    }
    EXPECT_FALSE(vorbis.isOpen());
    EXPECT_FALSE(dumb.hasRenderer());
    // A stream rate too far from the device's is refused.
    std::vector<uint8_t> slow = makeOgg(4000, 1, 2000, 100.0);
    DeviceFormat fast = deviceFormat(192000);
    EXPECT_FALSE(vorbis.loadMemory("slow.ogg", slow.data(), (int)slow.size(), true, &fast));
}

TEST(SoundSystemDevice, VolumeStepsReachSilenceExactly)
{
    PausedSound paused;
    DumbAndOgg &sound = paused.sound;
    ASSERT_TRUE(sound.hasDevice());
    std::vector<uint8_t> mod = makeMod(64);
    ASSERT_TRUE(sound.playSongFromMemory("tune.mod", mod.data(), (int)mod.size(), true));
    // DUMB smooths volume changes over a little of the next buffer, so levels
    // are measured in the second buffer after a change.
    auto settled = [&] { mixOnce(sound); return peak(mixOnce(sound)); };
    mixOnce(sound);
    int full = settled();
    EXPECT_GT(full, 5000);
    for (int i = 0; i < 9; i++)
        sound.volumeDown();
    EXPECT_GT(sound.volume(), 0.0f);
    EXPECT_NEAR(settled(), full / 10, full / 50);
    for (int i = 0; i < 2; i++) {
        sound.volumeDown();
        EXPECT_EQ(sound.volume(), 0.0f);
        EXPECT_EQ(settled(), 0);
    }
    // A new song starts at full volume.
    ASSERT_TRUE(sound.playSongFromMemory("tune.mod", mod.data(), (int)mod.size(), true));
    EXPECT_EQ(sound.volume(), 1.0f);
}

TEST(SoundSystemDevice, VolumeStepsActOnEverySongAndStopAtFullScale)
{
    PausedSound paused;
    DumbAndOgg &sound = paused.sound;
    const struct { const char *name; std::vector<uint8_t> song; } cases[] = {
        {"tune.mod", makeMod(64)}, {"theme.ogg", makeOgg(44100, 2, 200000)}};
    for (const auto &c : cases) {
        ASSERT_TRUE(sound.playSongFromMemory(c.name, c.song.data(), (int)c.song.size(), true)) << c.name;
        auto settled = [&] { mixOnce(sound); return rms(mixOnce(sound)); };
        double full = settled();
        EXPECT_GT(full, 3000) << c.name;
        for (int i = 0; i < 5; i++)
            sound.volumeDown();
        EXPECT_NEAR(settled(), full / 2, full / 20) << c.name;
        // Eight steps up from half: full scale and no louder.
        for (int i = 0; i < 8; i++)
            sound.volumeUp();
        EXPECT_EQ(sound.volume(), 1.0f) << c.name;
        EXPECT_NEAR(settled(), full, full / 20) << c.name;
    }
}

TEST(SoundSystemDevice, FadeLastsTwentyCallbacks)
{
    PausedSound paused;
    DumbAndOgg &sound = paused.sound;
    std::vector<uint8_t> mod = makeMod(64);
    ASSERT_TRUE(sound.playSongFromMemory("tune.mod", mod.data(), (int)mod.size(), true));
    mixOnce(sound);
    mixOnce(sound);
    double full = rms(mixOnce(sound));
    sound.stopSong(true);
    // Nineteen buffers at 0.95, 0.90 ... 0.05 of the level, then silence.
    for (int i = 0; i < 22; i++) {
        double level = rms(mixOnce(sound));
        if (i >= 19) {
            EXPECT_EQ(level, 0) << i;
            continue;
        }
        EXPECT_GT(level, 0) << i;
        EXPECT_NEAR(level, full * (0.95 - 0.05 * i), full * 0.08) << i;
    }
    EXPECT_EQ(sound.volume(), 1.0f);
    // Without fading the next callback is silent.
    ASSERT_TRUE(sound.playSongFromMemory("tune.mod", mod.data(), (int)mod.size(), true));
    EXPECT_GT(peak(mixOnce(sound)), 1000);
    sound.stopSong(false);
    EXPECT_EQ(peak(mixOnce(sound)), 0);
}

TEST(SoundSystemDevice, SongsFromFilesMatchNamesWithoutCase)
{
    PausedSound paused;
    DumbAndOgg &sound = paused.sound;
    ScopedWorkDir dir;
    ASSERT_TRUE(writeFile("Tune.MOD", makeMod(64)));
    ASSERT_TRUE(writeFile("Theme.OGG", makeOgg(44100, 2, 8000)));
    ASSERT_TRUE(sound.playSongFromFile("theme.ogg", true));
    EXPECT_GT(peak(mixOnce(sound)), 8000);
    EXPECT_FALSE(sound.playSongFromFile("tune", true));
    EXPECT_EQ(sound.currentPlayer(), nullptr);

    const struct { std::string name, found; } cases[] = {
        {"TUNE.mod", "Tune.MOD"}, {dir.path() + "/tune.MOD", dir.path() + "/Tune.MOD"}, {"nothing.mod", ""}};
    for (const auto &c : cases) {
        char *found = findFileIgnoringCase(c.name.c_str());
        EXPECT_EQ(found ? std::string(found) : "", c.found) << c.name;
        delete[] found;
    }
}

TEST(SoundSystemDevice, UnloadingAPlayingSampleStopsIt)
{
    PausedSound paused;
    DumbAndOgg &sound = paused.sound;
    std::vector<uint8_t> data(40000, 0x40);
    Sample *s = sound.loadSample(data.data(), (int)data.size(), 22050, SOUND_FLAG_16BIT);
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(sound.playSample(s));
    EXPECT_GT(peak(mixOnce(sound)), 0);
    sound.unloadSample(s);
    EXPECT_EQ(peak(mixOnce(sound)), 0);
}

TEST(SoundSystemDevice, AbsurdMixingFrequenciesKeep44100)
{
    for (int rate : {0, 1000000000, 22050})
        EXPECT_EQ(DumbAndOgg(rate).rate(), rate == 22050 ? 22050 : 44100) << rate;
}

TEST(SoundSystemDevice, WithoutAudioDeviceEverythingIsANoOp)
{
    std::string previous = getenv("SDL_AUDIODRIVER") ? getenv("SDL_AUDIODRIVER") : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    DumbAndOgg sound(44100);
    setenv("SDL_AUDIODRIVER", previous.c_str(), 1);
    EXPECT_FALSE(sound.hasDevice());
    std::vector<uint8_t> mod = makeMod(64), data(400, 0x80);
    EXPECT_FALSE(sound.playSongFromMemory("tune.mod", mod.data(), (int)mod.size(), true));
    EXPECT_FALSE(sound.playSongFromFile("tune.mod", true));
    EXPECT_EQ(sound.loadSample(data.data(), 400, 22050, 0), nullptr);
    EXPECT_FALSE(sound.playSample(nullptr));
    sound.stopSong(true);
    sound.pauseSong();
    sound.volumeDown();
    sound.volumeUp();
    EXPECT_EQ(sound.volume(), 1.0f);
    EXPECT_EQ(peak(mixOnce(sound)), 0);
}

// Every cut and a damaged byte at regular steps, for each kind of song.
TEST(SoundPlayers, DamagedSongsNeverCrash)
{
    FakeSystemScope fake;
    DeviceFormat f = deviceFormat();
    DumbPlayer dumb;
    OggVorbisPlayer ogg;
    const struct { Player *player; const char *name; std::vector<uint8_t> bytes; size_t cutStep, damageStep, damageEnd; } cases[] = {
        {&dumb, "cut.mod", makeMod(64), 13, 3, 400},
        {&dumb, "cut.xm", makeXm(), 13, 3, 400},
        {&ogg, "cut.ogg", makeOgg(22050, 1, 3000), 97, 41, (size_t)-1}};
    for (const auto &c : cases) {
        // Cut songs loop, so a damaged end also starts them over.
        std::vector<std::pair<std::vector<uint8_t>, bool>> damaged;
        for (size_t n = 1; n < c.bytes.size(); n += c.cutStep)
            damaged.push_back({std::vector<uint8_t>(c.bytes.begin(), c.bytes.begin() + n), true});
        for (size_t i = 0; i < c.damageEnd && i < c.bytes.size(); i += c.damageStep) {
            damaged.push_back({c.bytes, false});
            damaged.back().first[i] ^= 0xA5;
        }
        for (const auto &bad : damaged)
            if (c.player->loadMemory(c.name, bad.first.data(), (int)bad.first.size(), bad.second, &f))
                for (int k = 0; k < 3; k++)
                    mixOnce(*c.player, f);
    }
}
