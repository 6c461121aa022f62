// Steps of SDLSystem's construction and of indexing_progress that belong to
// other parts of the layer or to the core. Each has exactly one caller.
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

// The search dialog's panel, made by the first init_display and centred on
// the display by every one, no larger than the display.
void SDLSystem_placeSearchPanel(SDLSystem *system, int width, int height);
// Frees the panel and the strings of its lists (the program never does; tests do).
void SDLSystem_releaseSearch(SDLSystem *system);

#endif
