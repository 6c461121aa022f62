// The core's sound state: the one-shot sound waiting for the next screen
// update, the current theme's sounds, and the 32 song slots with their loop
// settings, the playing flag, the current slot and the playback mode.
#ifndef MIRANDOL_PLAYLIST_H
#define MIRANDOL_PLAYLIST_H

#include <stdint.h>

#include "Strings.h"
#include "System.h"

class Playlist {
public:
    enum {
        SLOTS = 32,
        NO_SLOT = 32,          // currentSlot before any song started
        HIDDEN_SLOT = 9,       // reached only by its number
        THEME_SOUNDS = 9,
        RANDOM_DRAWS = 1024    // draws before the random choice falls back to stepping
    };
    enum Mode { MODE_LOOPING = 0, MODE_CYCLIC = 1, MODE_RANDOM = 2 };
    // Parameters of play() besides the slot numbers.
    enum { PLAY_NEXT = 33, PLAY_PREVIOUS = 34, PLAY_ENDED = 35 };

    SampleHandle pendingSound = nullptr;
    // enter, back, quit, link, save, line, page, buttondown, buttonup
    SampleHandle themeSounds[THEME_SOUNDS] = {};
    String songs[SLOTS];      // 0: the user's song file on disk; 1..31: Files of the magazine
    uint8_t playing = 0;
    uint8_t loop[SLOTS] = {};
    uint8_t noloop[SLOTS] = {};
    uint32_t currentSlot = NO_SLOT;
    uint32_t mode = MODE_CYCLIC;

    // n = 0 the user's song; 1..31 that slot; 33 next; 34 previous; 35 a
    // song ended (random mode picks a slot, the others go on as next).
    // Other values do nothing.
    void play(unsigned n);

    // Sets one slot's song and loop marks.
    void setSong(unsigned slot, const char *name, bool loopSong, bool noloopSong);
    // Slots 1..31 from an article's scheme songs and masks (bit n = slot n);
    // slot 0 is left alone.
    void applySongs(const String names[SLOTS], uint32_t loopMask, uint32_t noloopMask);
    // Stops the music (fading with the visual effects) and clears playing.
    void stop();
    // 0, 1 or 2; anything else selects cyclic.
    void setMode(unsigned newMode) { mode = newMode <= (unsigned)MODE_RANDOM ? newMode : (unsigned)MODE_CYCLIC; }

    // Queues one of the theme's sounds for the next screen update; a sound
    // the theme lacks clears the one pending, which belonged to another event.
    void queueThemeSound(unsigned index)
    {
        if (index < THEME_SOUNDS)
            pendingSound = themeSounds[index];
    }
    // Plays and clears the pending sound (after a flip).
    void playPendingSound();
    // Forgets every name and sound (the sounds stay owned by their Files).
    void reset();

private:
    bool playable(unsigned slot);
    void startSlot(unsigned slot);
};

extern Playlist g_playlist;

#endif
