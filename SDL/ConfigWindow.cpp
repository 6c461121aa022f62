// The configuration window step of SDLSystem's construction: a small
// 250 x 207 window (wider when the font needs it) before the reader's own
// display opens.
#include "GUI/ConfigPanel.h"
#include "SDLConfig.h"
#include "SDL_Hooks.h"
#include "SDL_System.h"

#include <stdio.h>
#include <stdlib.h>

bool SDLSystem_runConfigWindow(SDLSystem *system, bool &start)
{
    const int width = SDLGUI::ConfigPanel::windowWidth(), height = SDLGUI::ConfigPanel::HEIGHT;
    SDL_Surface *screen = SDL_SetVideoMode(width, height, 32, 0);
    if (!screen) {
        fprintf(stderr, "Unable to set %ix%i video: %s\n", width, height, SDL_GetError());
        start = false;
        return false;
    }
    system->set_window_title("Mirandol 2");

    bool running = true;
    start = true;
    SDLConfig *config = system->getConfig();
    SDLGUI::ConfigPanel *panel = new SDLGUI::ConfigPanel(&running, &start, config, width, height);
    // A quit request ends the window as Abort does: the reader does not
    // start, and the settings are still written.
    panel->run(screen, [system] { return system->quitRequested(); });
    if (system->quitRequested())
        start = false;
    if (char *module = panel->getModule()) {
        system->configSong = module;
        free(module);
        config->setSong(system->configSong.c_str());
    }
    delete panel;
    return true;
}
