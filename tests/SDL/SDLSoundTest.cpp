// SDLSystem's sound operations: the "music" and "soundEffects" switches,
// their log lines, and the hand-over to the sound system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "SDLTestSupport.h"
#include "SoundMedia.h"
#include "SoundSystem.h"

TEST(SDLSound, SwitchedOffOperationsOnlyLog)
{
    SystemFixture f("verbose=true\nshowConfig=false\nmusic=false\nsoundEffects=false\n");
    SDLSystem *s = f.system.get();
    EXPECT_EQ(s->soundSystem, nullptr);
    std::vector<uint8_t> data(16, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(s->load_sound(data.data(), 16, 22050, 2), nullptr);
    s->play_sound(nullptr);
    s->unload_sound(nullptr);
    EXPECT_FALSE(s->play_song("a.mod", 1, data.data(), 16));
    EXPECT_FALSE(s->play_song_file("b.ogg", 0));
    s->stop_song(1);
    s->pause_song();
    s->volume_control(-1);
    std::string out = testing::internal::GetCapturedStdout();
    char pointer[32];
    snprintf(pointer, sizeof pointer, "%x", (unsigned)(uintptr_t)data.data());
    EXPECT_EQ(out, std::string("load_sound, buf: ") + pointer + ", size: 16, freq: 22050, flags: 2\n" +
                       "play_sound : 0\n"
                       "unload_sound : 0\n"
                       "play_song from memory: a.mod, loop: 1, pointer: " + pointer + ", size: 16\n"
                       "play_song from file: b.ogg, loop: 0\n"
                       "stop_song, fade out: 1\n"
                       "pause_song\n"
                       "volume_control: -1\n");
}

TEST(SDLSound, MusicWithoutEffects)
{
    SystemFixture f("showConfig=false\nmusic=true\nsoundEffects=false\nmixingFrequency=0\n");
    SDLSystem *s = f.system.get();
    ASSERT_NE(s->soundSystem, nullptr);
    DumbAndOgg *sound = static_cast<DumbAndOgg *>(s->soundSystem);
    EXPECT_EQ(sound->rate(), 44100);
    std::vector<uint8_t> effect(400, 0x80);
    EXPECT_EQ(s->load_sound(effect.data(), 400, 22050, 0), nullptr);
    std::vector<uint8_t> mod = makeMod(64);
    EXPECT_TRUE(s->play_song("tune.MOD", 1, mod.data(), (int)mod.size()));
    s->volume_control(-1);
    EXPECT_FLOAT_EQ(sound->volume(), 0.9f);
    s->volume_control(0);
    EXPECT_FLOAT_EQ(sound->volume(), 1.0f);
    s->stop_song(0);
    EXPECT_FALSE(s->play_song("tune", 1, mod.data(), (int)mod.size()));
    ASSERT_TRUE(writeFile("Song.Mod", mod));
    EXPECT_TRUE(s->play_song_file("song.mod", 1));
    ASSERT_TRUE(writeFile("old.mo3", mod));
    EXPECT_FALSE(s->play_song_file("old.mo3", 1));
}

TEST(SDLSound, EffectsWithoutMusic)
{
    SystemFixture f("showConfig=false\nmusic=false\nsoundEffects=true\nmixingFrequency=22050\n");
    SDLSystem *s = f.system.get();
    ASSERT_NE(s->soundSystem, nullptr);
    std::vector<uint8_t> effect(400, 0x80);
    SampleHandle h = s->load_sound(effect.data(), 400, 11025, 0);
    ASSERT_NE(h, nullptr);
    // 400 mono 8-bit frames at half the mixing rate: 800 stereo 16-bit frames.
    EXPECT_EQ(reinterpret_cast<Sample *>(h)->size(), 800u * 4);
    s->play_sound(h);
    s->unload_sound(h);
    EXPECT_EQ(s->load_sound(effect.data(), 400, 0, 0), nullptr);
    std::vector<uint8_t> mod = makeMod(64);
    EXPECT_FALSE(s->play_song("tune.mod", 1, mod.data(), (int)mod.size()));
}
