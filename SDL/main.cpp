// Entry point of the reader: makes the platform and the SDLSystem, runs the
// core and reports the core's last error text.
#include "Browser.h"
#include "LinuxPlatform.h"
#include "QuitSignals.h"
#include "SDLConfig.h"
#include "SDL_System.h"

#include <SDL.h>

#include <stdio.h>
#include <stdlib.h>

// Neither object is ever deleted: they live until the process ends.
static LinuxPlatform *s_platform = nullptr;
static SDLSystem *s_system = nullptr;

int main(int argc, char **argv)
{
    // Before the configuration window, which a quit request ends too.
    installQuitSignals();
    s_platform = new LinuxPlatform();
    s_system = new SDLSystem(s_platform, argc, argv);
    atexit(SDL_Quit);

    if (s_system->is_ready()) {
        catchQuitSignals(s_system);
        runBrowser(s_system);
    }

    SDL_QuitSubSystem(0xFFFF);

    const char *error = s_system->get_error_message();
    fflush(stdout);
    if (error)
        fprintf(stderr, "%s\n", error);

    if (s_system->badCommandLine)
        return 2;
    // Settings that could not be saved were said so when it happened.
    SDLConfig *config = s_system->getConfig();
    if (config && config->writeFailed())
        return 1;
    if (s_system->helpShown)
        return 0;
    if (!s_system->sdlStarted || error)
        return 1;
    return 0;
}
