// Placeholders that let the program link while display, fonts, sound and the
// search dialog are written in their own sources. Each does nothing and
// answers null, false or 0. Delete each one when its real operation arrives.
#include "SDL_Hooks.h"
#include "SDL_System.h"

// --- construction and search-index steps (SDL_Hooks.h) ---

// The core's Browser::buildSearchIndex on the core's browser object.
void SDLSystem_buildSearchIndex() {}


// --- search dialog ---

bool SDLSystem::search(SearchIndex *index, char *&word, char *&fileName) { return false; }
