// Steps of SDLSystem's construction, of indexing_progress and of the search
// dialog that belong to other parts of the layer or to the core. Each has
// exactly one caller, but the search panel's placing, which has two.
#ifndef MIRANDOL_SDL_HOOKS_H
#define MIRANDOL_SDL_HOOKS_H

class SDLSystem;

// Font directories scanned in order (the configuration's font paths), the
// font cache written, the font map assembled and handed to the widget toolkit.
void SDLSystem_buildFontMap(SDLSystem *system);

// The configuration window. Returns false when no window was shown; when it
// was shown, `start` tells whether "Start" (true) or "Abort" (false) ended it.
bool SDLSystem_runConfigWindow(SDLSystem *system, bool &start);

// The sound system, made with the configured mixing frequency when music or
// sound effects are on.
void SDLSystem_openSound(SDLSystem *system);
// Releases the sound system (the program never does; tests do).
void SDLSystem_closeSound(SDLSystem *system);

// The core's search-index build, run by the first indexing_progress call.
void SDLSystem_buildSearchIndex();

// The search dialog's panel, centred on a display of that size and no larger
// than it: made by the first search (SDLSystem::search), moved by every
// init_display after that (a display before the first search leaves it unmade).
void SDLSystem_placeSearchPanel(SDLSystem *system, int width, int height);
// Frees the panel and the strings of its lists (the program never does; tests do).
void SDLSystem_releaseSearch(SDLSystem *system);

#endif
