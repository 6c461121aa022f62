// SDLSystem's sound operations: the "music" and "soundEffects" switches and
// the hand-over to the sound system (switched off, they only log: SystemTest).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Playlist.h"
#include "SDLTestSupport.h"
#include "SoundMedia.h"
#include "SoundSystem.h"

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

TEST(SDLSound, TheUsersSongPlaysWhateverTheCaseOfItsName)
{
    SystemFixture f("showConfig=false\nmusic=true\nsoundEffects=false\n");
    SDLSystem *s = f.system.get();
    ASSERT_TRUE(writeFile("Song.Mod", makeMod(64)));
    System *previous = g_system;
    g_system = s;
    // As given with "-s": the name on disk, other cases, and a missing file.
    const struct { const char *name; bool plays; } cases[] = {
        {"Song.Mod", true}, {"SONG.MOD", true}, {"song.mod", true}, {"songs.mod", false}};
    for (const auto &c : cases) {
        g_playlist.reset();
        g_playlist.setSong(0, c.name, true, false);
        g_playlist.play(0);
        EXPECT_EQ(c.plays, g_playlist.playing != 0) << c.name;
    }
    g_playlist.reset();
    g_system = previous;
}
