// SDL events as a person's keys and pointer make them, for the tests that
// push them through SDL's queue.
#ifndef MIRANDOL_SDL_EVENTS_H
#define MIRANDOL_SDL_EVENTS_H

#include <SDL.h>

inline SDL_Event keyEvent(SDLKey sym, Uint16 unicode = 0, int mod = 0)
{
    SDL_Event e = {};
    e.type = e.key.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = sym;
    e.key.keysym.unicode = unicode;
    e.key.keysym.mod = (SDLMod)mod;
    return e;
}

// The left button pressed or released at (x, y).
inline SDL_Event buttonEvent(bool down, int x, int y)
{
    SDL_Event e = {};
    e.type = e.button.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = (Uint16)x;
    e.button.y = (Uint16)y;
    return e;
}

inline SDL_Event motionEvent(int x, int y)
{
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = (Uint16)x;
    e.motion.y = (Uint16)y;
    return e;
}

// Empties SDL's queue.
inline void dropEvents()
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
}

#endif
