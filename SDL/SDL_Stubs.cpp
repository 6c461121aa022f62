// Placeholders that let the program link while display, fonts, sound and the
// search dialog are written in their own sources. Each does nothing and
// answers null, false or 0. Delete each one when its real operation arrives.
#include "SDL_Hooks.h"
#include "SDL_System.h"

// --- construction and search-index steps (SDL_Hooks.h) ---

// Font map: FontMapping over the platform, build() per font path, cache
// written, map assembled, SDLGUI::setFontMap.
void SDLSystem_buildFontMap(SDLSystem *system) {}

// Configuration window: not shown yet.
bool SDLSystem_runConfigWindow(SDLSystem *system, bool &start)
{
    return false;
}

// The core's Browser::buildSearchIndex on the core's browser object.
void SDLSystem_buildSearchIndex() {}

// --- display, fonts and drawing (SDL_Draw.cpp, SDLFont.cpp, FontMapping.cpp) ---

bool SDLSystem::init_display(int width, int height) { return false; }
void SDLSystem::set_window_title(const char *title) {}
int SDLSystem::install_font(const char *name, int where) { return 0; }
FontHandle SDLSystem::create_font(const char *face, int height, int flags, int charset,
                                  int *ascent, int *descent)
{
    return nullptr;
}
ImageHandle SDLSystem::create_image(int width, int height, const uint32_t *pixels,
                                    const uint8_t *mask)
{
    return nullptr;
}
void SDLSystem::unload_image(ImageHandle image) {}
int SDLSystem::get_text_width(const char *text, FontHandle font) { return 0; }
bool SDLSystem::begin_display() { return false; }
void SDLSystem::end_display() {}
void SDLSystem::flip(int effect, int clearFlags, int duration) {}
void SDLSystem::clear_display() {}
void SDLSystem::set_region(int x, int y, int width, int height) {}
void SDLSystem::blt(ImageHandle image, int x, int y, int iX, int iY, int iWidth, int iHeight) {}
void SDLSystem::strech(ImageHandle image, int x, int y, int width, int height) {}
void SDLSystem::v_line(int x, int y, int length, uint32_t colour) {}
void SDLSystem::h_line(int x, int y, int length, uint32_t colour) {}
void SDLSystem::out_text(const char *text, int length, int x, int y, uint32_t colour,
                         FontHandle font)
{
}
void SDLSystem::fill_rect(int x, int y, int width, int height, uint32_t colour) {}
void SDLSystem::show_cursor(bool show) {}
void SDLSystem::move_cursor(int x, int y) {}
void SDLSystem::set_cursor(ImageHandle image, int hotX, int hotY) {}

// --- search dialog ---

bool SDLSystem::search(SearchIndex *index, char *&word, char *&fileName) { return false; }
