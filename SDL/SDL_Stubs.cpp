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
