#include <gtest/gtest.h>

#include <set>
#include <string>

#include "FakeSystem.h"
#include "File.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "Playlist.h"
#include "TestDirs.h"
#include "containr.h"

namespace {

// A fake whose songs fail to play when their names are listed in `broken`.
class SongSystem : public FakeSystem {
public:
    std::set<std::string> broken;
    bool play_song_file(const char *name, int loop) override
    {
        FakeSystem::play_song_file(name, loop);
        return !broken.count(name);
    }
};

class PlaylistTest : public ::testing::Test {
protected:
    SongSystem sys;
    System *previous = nullptr;
    Playlist pl;

    void SetUp() override
    {
        previous = g_system;
        g_system = &sys;
        g_magazine_config.userFlags[USER_FLAG_EFFECTS - MagazineConfig::USER_FLAG_FIRST] = 1;
    }
    void TearDown() override
    {
        delete g_container.root;
        g_container.root = nullptr;
        g_container.lastFound = nullptr;
        g_system = previous;
    }
    // A loose song file of the magazine in slot `slot`.
    void song(unsigned slot, const std::string &name)
    {
        File *f = new File();
        f->name.set(name.c_str());
        f->fileType = fileTypeFromName(name.c_str());
        f->loose = true;
        g_container.addFile(f);
        pl.setSong(slot, name.c_str(), false, false);
    }
    // "name loop" of the last play_song_file call, or "".
    std::string lastPlayed()
    {
        for (auto it = sys.calls.rbegin(); it != sys.calls.rend(); ++it)
            if (it->rfind("play_song_file ", 0) == 0)
                return it->substr(15);
        return "";
    }
    size_t plays() const { return sys.count("play_song_file"); }
};

TEST_F(PlaylistTest, NextAndPreviousWrapAndStepOverSlotNine)
{
    song(1, "s1.mod");
    song(8, "s8.mod");
    song(9, "s9.mod");
    song(10, "s10.ogg");
    song(31, "s31.xm");

    pl.play(Playlist::PLAY_NEXT);           // nothing current yet: from the start
    EXPECT_EQ(pl.currentSlot, 1u);
    EXPECT_EQ(lastPlayed(), "s1.mod 0");
    EXPECT_EQ(sys.calls.front(), "stop_song 1");   // fades with the visual effects
    // Each step and the slot it reaches; slot 9 plays only when asked for by number.
    const struct {
        int step;
        uint32_t slot;
        const char *played;
    } steps[] = {{Playlist::PLAY_PREVIOUS, 31, "s31.xm 0"}, {Playlist::PLAY_NEXT, 1, "s1.mod 0"},
                 {Playlist::PLAY_NEXT, 8, "s8.mod 0"},      {Playlist::PLAY_NEXT, 10, "s10.ogg 0"},
                 {Playlist::PLAY_PREVIOUS, 8, "s8.mod 0"},  {9, 9, "s9.mod 0"},
                 {Playlist::PLAY_NEXT, 10, "s10.ogg 0"}};
    for (const auto &s : steps) {
        pl.play(s.step);
        EXPECT_EQ(pl.currentSlot, s.slot) << s.step;
        EXPECT_EQ(lastPlayed(), s.played) << s.step;
    }
}

TEST_F(PlaylistTest, StoppedSongRestartsAndEmptySlotsRestartTheCurrentOne)
{
    song(5, "five.mod");
    song(6, "six.mod");
    pl.play(5);
    pl.stop();
    EXPECT_EQ(pl.playing, 0);
    EXPECT_EQ(sys.calls.back(), "stop_song 1");
    pl.play(Playlist::PLAY_NEXT);
    EXPECT_EQ(pl.currentSlot, 5u);
    EXPECT_EQ(pl.playing, 1);
    pl.play(Playlist::PLAY_NEXT);
    EXPECT_EQ(pl.currentSlot, 6u);
    size_t before = plays();
    pl.play(12);
    EXPECT_EQ(plays(), before + 1);
    EXPECT_EQ(lastPlayed(), "six.mod 0");
    pl.play(32);
    pl.play(36);
    EXPECT_EQ(plays(), before + 1);
}

TEST_F(PlaylistTest, LoopMarksAndModes)
{
    song(2, "a.mod");
    song(3, "b.mod");
    pl.setSong(3, "b.mod", false, true);
    pl.setMode(Playlist::MODE_LOOPING);
    pl.play(2);
    EXPECT_EQ(lastPlayed(), "a.mod 1");
    pl.play(3);
    EXPECT_EQ(lastPlayed(), "b.mod 0");
    pl.setMode(7);
    EXPECT_EQ(pl.mode, (uint32_t)Playlist::MODE_CYCLIC);
    pl.setSong(3, "b.mod", true, false);
    pl.play(3);
    EXPECT_EQ(lastPlayed(), "b.mod 1");
    pl.play(2);
    EXPECT_EQ(lastPlayed(), "a.mod 0");
}

TEST_F(PlaylistTest, SongEndedAdvancesCyclicModeWithoutFading)
{
    song(4, "four.ogg");
    song(7, "seven.ogg");
    pl.play(4);
    sys.clearCalls();
    pl.play(Playlist::PLAY_ENDED);
    ASSERT_GE(sys.calls.size(), 2u);
    EXPECT_EQ(sys.calls[0], "stop_song 0");
    EXPECT_EQ(pl.currentSlot, 7u);
    pl.play(Playlist::PLAY_ENDED);
    EXPECT_EQ(pl.currentSlot, 4u);
}

TEST_F(PlaylistTest, RandomModeNeverPicksNineAndEndsWhenNothingPlays)
{
    pl.setMode(Playlist::MODE_RANDOM);
    pl.play(Playlist::PLAY_ENDED);           // no songs at all
    EXPECT_EQ(plays(), 0u);
    EXPECT_EQ(pl.playing, 0);

    song(9, "nine.mod");
    pl.play(Playlist::PLAY_ENDED);           // only the hidden slot
    EXPECT_EQ(plays(), 0u);

    song(4, "four.mod");
    song(20, "twenty.mod");
    std::set<uint32_t> seen;
    for (uint32_t t = 0; t < 200; t++) {
        sys.ticks = t * 7919;
        pl.play(Playlist::PLAY_ENDED);
        seen.insert(pl.currentSlot);
        EXPECT_EQ(pl.playing, 1);
    }
    EXPECT_EQ(seen, (std::set<uint32_t>{4, 20}));
}

TEST_F(PlaylistTest, FailedStartsClearPlayingAndKeepTheSlot)
{
    song(2, "good.mod");
    song(3, "bad.mod");
    sys.broken.insert("bad.mod");
    pl.play(2);
    EXPECT_EQ(pl.currentSlot, 2u);
    pl.play(3);
    EXPECT_EQ(pl.playing, 0);
    EXPECT_EQ(pl.currentSlot, 2u);
    // A name that is no File of the magazine is not playable.
    pl.setSong(5, "missing.mod", false, false);
    size_t before = plays();
    pl.play(Playlist::PLAY_NEXT);             // stopped on slot 2: starts it again
    EXPECT_EQ(plays(), before + 1);
    EXPECT_EQ(pl.currentSlot, 2u);
}

TEST_F(PlaylistTest, UserSongPlaysFromDiskOnlyWhenItExists)
{
    ScopedWorkDir dir;
    pl.setSong(0, "mine.ogg", true, false);
    pl.play(0);
    EXPECT_EQ(plays(), 0u);
    ASSERT_TRUE(writeFile("mine.ogg", std::string("x")));
    pl.play(0);
    EXPECT_EQ(lastPlayed(), "mine.ogg 1");
    EXPECT_EQ(pl.currentSlot, 0u);
    EXPECT_EQ(pl.playing, 1);
}

TEST_F(PlaylistTest, PendingAndThemeSounds)
{
    SampleHandle enter = sys.load_sound("ab", 2, 22050, 0);
    pl.themeSounds[0] = enter;
    pl.queueThemeSound(0);
    EXPECT_EQ(pl.pendingSound, enter);
    pl.queueThemeSound(1);                    // no back sound: the enter sound goes too
    EXPECT_EQ(pl.pendingSound, nullptr);
    pl.queueThemeSound(0);
    pl.playPendingSound();
    EXPECT_EQ(sys.count("play_sound"), 1u);
    EXPECT_EQ(pl.pendingSound, nullptr);
    pl.playPendingSound();
    EXPECT_EQ(sys.count("play_sound"), 1u);
    sys.unload_sound(enter);

    String names[Playlist::SLOTS];
    names[0].set("user.ogg");
    names[3].set("three.mod");
    pl.applySongs(names, 1u << 3, 1u << 4);
    EXPECT_TRUE(pl.songs[0].isEmpty());
    EXPECT_STREQ(pl.songs[3].c_str(), "three.mod");
    EXPECT_EQ(pl.loop[3], 1);
    EXPECT_EQ(pl.noloop[4], 1);
}

} // namespace
