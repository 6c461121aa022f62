#include <gtest/gtest.h>

#include <set>
#include <string>

#include "FakeSystem.h"
#include "File.h"
#include "LooseFiles.h"
#include "MagazineConfig.h"
#include "Playlist.h"
#include "TestDirs.h"

namespace {

// A fake whose songs fail to play when their names are listed in `broken`.
struct SongSystem : FakeSystem {
    std::set<std::string> broken;
    bool play_song_file(const char *name, int loop) override
    {
        return FakeSystem::play_song_file(name, loop), !broken.count(name);
    }
};

struct PlaylistTest : ::testing::Test {
    SongSystem sys;
    System *previous = g_system;
    Playlist pl;

    void SetUp() override
    {
        g_system = &sys;
        g_magazine_config.userFlags[USER_FLAG_EFFECTS - MagazineConfig::USER_FLAG_FIRST] = 1;
    }
    void TearDown() override { dropLooseFiles(), g_system = previous; }
    // Song files of the magazine in their slots.
    void songs(std::initializer_list<std::pair<unsigned, const char *>> list)
    {
        for (auto [slot, name] : list) {
            File *f = addTreeFile(name);
            f->fileType = fileTypeFromName(name), f->loose = true;
            pl.setSong(slot, name, false, false);
        }
    }
    size_t plays() const { return sys.count("play_song_file"); }
};

TEST_F(PlaylistTest, NextAndPreviousWrapStepOverSlotNineAndRestartTheStopped)
{
    songs({{1, "s1.mod"}, {8, "s8.mod"}, {9, "s9.mod"}, {10, "s10.ogg"}, {31, "s31.xm"}});
    pl.play(Playlist::PLAY_NEXT); // nothing current yet: from the start
    EXPECT_EQ(sys.calls.front(), "stop_song 1"); // fades with the visual effects
    EXPECT_EQ(sys.calls.back(), "play_song_file s1.mod 0");
    // Each step and the slot it reaches; slot 9 plays only when asked for by
    // number; empty or impossible slots restart the current song.
    const int stop = -1, next = Playlist::PLAY_NEXT, previous = Playlist::PLAY_PREVIOUS;
    const struct { int step; uint32_t slot; const char *played; } steps[] = {
        {previous, 31, "s31.xm 0"}, {next, 1, "s1.mod 0"}, {next, 8, "s8.mod 0"}, {next, 10, "s10.ogg 0"},
        {previous, 8, "s8.mod 0"}, {9, 9, "s9.mod 0"}, {next, 10, "s10.ogg 0"}, {stop, 10, "s10.ogg 0"},
        {next, 10, "s10.ogg 0"}, {next, 31, "s31.xm 0"}, {12, 31, "s31.xm 0"}};
    for (const auto &s : steps) {
        sys.clearCalls();
        if (s.step == stop)
            pl.stop();
        else
            pl.play(s.step);
        EXPECT_EQ(s.step == stop ? "stop_song 1" : "play_song_file " + std::string(s.played), sys.calls.back()) << s.step;
        EXPECT_EQ(plays(), s.step == stop ? 0u : 1u) << s.step;
        EXPECT_EQ(pl.currentSlot, s.slot) << s.step;
        EXPECT_EQ(pl.playing, s.step != stop) << s.step;
    }
    sys.clearCalls();
    pl.play(32);
    pl.play(36);
    EXPECT_EQ(plays(), 0u);
}

TEST_F(PlaylistTest, LoopMarksAndModes)
{
    songs({{2, "a.mod"}, {3, "b.mod"}});
    // Looping mode loops all but the "noloop" songs; cyclic (also an out-of-range mode) only the "loop" ones.
    const struct { uint32_t mode; bool loop, noloop; const char *a, *b; } cases[] = {
        {Playlist::MODE_LOOPING, false, true, "play_song_file a.mod 1", "play_song_file b.mod 0"},
        {7, true, false, "play_song_file a.mod 0", "play_song_file b.mod 1"}};
    for (const auto &c : cases) {
        pl.setMode(c.mode);
        pl.setSong(3, "b.mod", c.loop, c.noloop);
        pl.play(2);
        EXPECT_EQ(sys.calls.back(), c.a);
        pl.play(3);
        EXPECT_EQ(sys.calls.back(), c.b);
    }
    EXPECT_EQ(pl.mode, (uint32_t)Playlist::MODE_CYCLIC);
}

TEST_F(PlaylistTest, SongEndAdvancesWithoutFadingAndRandomModeNeverPicksNine)
{
    pl.setMode(Playlist::MODE_RANDOM);
    pl.play(Playlist::PLAY_ENDED); // no songs at all
    EXPECT_EQ(pl.playing, 0);
    songs({{9, "nine.mod"}});
    pl.play(Playlist::PLAY_ENDED); // only the hidden slot
    EXPECT_EQ(plays(), 0u);
    songs({{4, "four.ogg"}, {20, "twenty.mod"}});
    pl.setMode(Playlist::MODE_CYCLIC);
    pl.play(4);
    sys.clearCalls();
    for (uint32_t slot : {20u, 4u}) {
        pl.play(Playlist::PLAY_ENDED);
        EXPECT_EQ(pl.currentSlot, slot);
    }
    EXPECT_EQ(sys.calls[0], "stop_song 0");
    pl.setMode(Playlist::MODE_RANDOM);
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
    songs({{2, "good.mod"}, {3, "bad.mod"}});
    sys.broken.insert("bad.mod");
    pl.play(2);
    pl.play(3);
    EXPECT_TRUE(pl.playing == 0 && pl.currentSlot == 2);
    // A name that is no File of the magazine is not playable.
    pl.setSong(5, "missing.mod", false, false);
    size_t before = plays();
    pl.play(Playlist::PLAY_NEXT); // stopped on slot 2: starts it again
    EXPECT_TRUE(plays() == before + 1 && pl.currentSlot == 2);
    // The user's own song plays, looped, from disk only when it exists there.
    ScopedWorkDir dir;
    pl.setSong(0, "mine.ogg", true, false);
    pl.play(0);
    EXPECT_EQ(plays(), before + 1);
    ASSERT_TRUE(writeFile("mine.ogg", std::string("x")));
    pl.play(0);
    EXPECT_EQ(sys.calls.back(), "play_song_file mine.ogg 1");
    EXPECT_TRUE(pl.currentSlot == 0 && pl.playing == 1);
}

TEST_F(PlaylistTest, PendingAndThemeSounds)
{
    SampleHandle enter = sys.load_sound("ab", 2, 22050, 0);
    pl.themeSounds[0] = enter;
    pl.queueThemeSound(0);
    EXPECT_EQ(pl.pendingSound, enter);
    pl.queueThemeSound(1); // no back sound: the enter sound goes too
    EXPECT_EQ(pl.pendingSound, nullptr);
    pl.queueThemeSound(0);
    pl.playPendingSound();
    pl.playPendingSound();
    EXPECT_TRUE(sys.count("play_sound") == 1 && !pl.pendingSound);
    sys.unload_sound(enter);
    String names[Playlist::SLOTS];
    names[0].set("user.ogg"); // slot 0 is the user's: never set by the magazine
    names[3].set("three.mod");
    pl.applySongs(names, 1u << 3, 1u << 4);
    EXPECT_TRUE(pl.songs[0].isEmpty());
    EXPECT_STREQ(pl.songs[3].c_str(), "three.mod");
    EXPECT_TRUE(pl.loop[3] == 1 && pl.noloop[4] == 1);
}

} // namespace
