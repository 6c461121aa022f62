// Placeholders that let the program link while display, fonts, sound and the
// search dialog are written in their own sources. Each does nothing and
// answers null, false or 0. Delete each one when its real operation arrives.
#include "SDL_Hooks.h"
#include "SDL_System.h"

// --- construction and search-index steps (SDL_Hooks.h) ---

// Configuration window: not shown yet.
bool SDLSystem_runConfigWindow(SDLSystem *system, bool &start)
{
    return false;
}

// Sound system (DumbAndOgg with the configured mixing frequency).
void SDLSystem_openSound(SDLSystem *system) {}

// The core's Browser::buildSearchIndex on the core's browser object.
void SDLSystem_buildSearchIndex() {}

// --- sound and music (SDL_Sound.cpp, SoundSystem.cpp) ---

SampleHandle SDLSystem::load_sound(const void *buffer, int size, int frequency, int flags)
{
    return nullptr;
}
void SDLSystem::play_sound(SampleHandle sample) {}
void SDLSystem::unload_sound(SampleHandle sample) {}
bool SDLSystem::play_song(const char *name, int loop, const void *data, int size) { return false; }
bool SDLSystem::play_song_file(const char *name, int loop) { return false; }
void SDLSystem::stop_song(int fadeOut) {}
void SDLSystem::pause_song() {}
void SDLSystem::volume_control(int delta) {}

// --- search dialog ---

bool SDLSystem::search(SearchIndex *index, char *&word, char *&fileName) { return false; }
