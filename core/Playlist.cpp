#include "Playlist.h"

#include "File.h"
#include "MagazineConfig.h"
#include "containr.h"

Playlist g_playlist;

namespace {

// Songs fade out when the visual effects are on.
int fadeFlag() { return g_magazine_config.userFlag(USER_FLAG_EFFECTS) ? 1 : 0; }

} // namespace

bool Playlist::playable(unsigned slot)
{
    if (slot >= SLOTS || songs[slot].isEmpty())
        return false;
    return g_container.find(songs[slot].str) != nullptr;
}

void Playlist::startSlot(unsigned slot)
{
    g_system->stop_song(fadeFlag());
    bool loopSong = loop[slot] || (mode == MODE_LOOPING && !noloop[slot]);
    File *file = slot < SLOTS && !songs[slot].isEmpty() ? g_container.find(songs[slot].str) : nullptr;
    playing = file && file->playSong(loopSong ? 1 : 0);
    if (playing)
        currentSlot = slot;
}

void Playlist::play(unsigned n)
{
    if (!g_system)
        return;
    if (n == 0) {
        // The user's own song, played from disk and always looped.
        const char *name = songs[0].str;
        if (!name || !*name || name[0] == '*')
            return;
        char *probe = songs[0].str;
        if (!g_system->find_one_file(probe))
            return;
        g_system->stop_song(fadeFlag());
        playing = g_system->play_song_file(songs[0].str, 1);
        if (playing)
            currentSlot = 0;
        return;
    }
    if (n == PLAY_ENDED) {
        g_system->stop_song(0);
        if (mode == MODE_RANDOM) {
            playing = 0;
            bool any = false;
            for (unsigned s = 1; s < SLOTS && !any; s++)
                any = s != HIDDEN_SLOT && playable(s);
            if (!any)
                return;
            uint32_t x = g_system->get_ticks();
            unsigned chosen = 0;
            for (int draw = 0; draw < RANDOM_DRAWS && !chosen; draw++) {
                x = x * 134775813u - 1u;
                unsigned s = x % 31 + 1;
                if (s != HIDDEN_SLOT && playable(s))
                    chosen = s;
            }
            // Unlucky draws: the next playable slot after the last one drawn.
            for (unsigned s = x % 31 + 1, k = 0; !chosen && k < 31; k++) {
                s = s % 31 + 1;
                if (s != HIDDEN_SLOT && playable(s))
                    chosen = s;
            }
            if (chosen)
                startSlot(chosen);
            return;
        }
        n = PLAY_NEXT;
    }
    if (n == PLAY_NEXT || n == PLAY_PREVIOUS) {
        if (!playing && currentSlot < SLOTS && currentSlot != HIDDEN_SLOT && playable(currentSlot)) {
            startSlot(currentSlot);   // a stopped song starts again
            return;
        }
        int s = (int)currentSlot;
        for (int tries = 0; tries < SLOTS; tries++) {
            if (n == PLAY_NEXT) {
                s++;
                if (s == HIDDEN_SLOT)
                    s = HIDDEN_SLOT + 1;
                if (s > 31)
                    s = 1;
            } else {
                s--;
                if (s == HIDDEN_SLOT)
                    s = HIDDEN_SLOT - 1;
                if (s <= 0)
                    s = 31;
            }
            if (playable((unsigned)s)) {
                startSlot((unsigned)s);
                return;
            }
        }
        return;
    }
    if (n >= 1 && n <= 31) {
        if (playable(n))
            startSlot(n);
        else if (currentSlot < SLOTS && playable(currentSlot))
            startSlot(currentSlot);   // an empty slot restarts the current song
    }
}

void Playlist::setSong(unsigned slot, const char *name, bool loopSong, bool noloopSong)
{
    if (slot >= SLOTS)
        return;
    songs[slot].set(name);
    loop[slot] = loopSong;
    noloop[slot] = noloopSong;
}

void Playlist::applySongs(const String names[SLOTS], uint32_t loopMask, uint32_t noloopMask)
{
    for (unsigned n = 1; n < SLOTS; n++)
        setSong(n, names[n].str, (loopMask >> n) & 1, (noloopMask >> n) & 1);
}

void Playlist::stop()
{
    if (g_system)
        g_system->stop_song(fadeFlag());
    playing = 0;
}

void Playlist::playPendingSound()
{
    if (pendingSound && g_system)
        g_system->play_sound(pendingSound);
    pendingSound = nullptr;
}

void Playlist::reset()
{
    pendingSound = nullptr;
    for (SampleHandle &h : themeSounds)
        h = nullptr;
    for (unsigned n = 0; n < SLOTS; n++) {
        songs[n].clear();
        loop[n] = noloop[n] = 0;
    }
    playing = 0;
    currentSlot = NO_SLOT;
    mode = MODE_CYCLIC;
}
