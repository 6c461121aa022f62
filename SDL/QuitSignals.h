// Ctrl+C, a termination request and a hang-up end the reader through its
// normal teardown (so the visited list is written): the first SIGINT,
// SIGTERM or SIGHUP is the system's quit request (SDLSystem::requestQuit:
// a running fade ends at once, an HTML export stops and leaves "save/" as
// it was, and MSG_EXIT skips the closing show); a second one (a tenth of a
// second or more later) ends the process at once.
#ifndef MIRANDOL_QUIT_SIGNALS_H
#define MIRANDOL_QUIT_SIGNALS_H

class SDLSystem;

// Installs the handlers, before the system exists, so that a request
// during the configuration window is seen too (see quitSignalled). A
// request that comes before catchQuitSignals waits for it. SIGXFSZ is
// ignored from here on: a write past the file size limit fails with EFBIG
// (programs the reader starts get its default back).
void installQuitSignals();

// Installs the handlers if that is not done yet, and from now on turns a
// request into the system's quit request (SDLSystem::requestQuit); the
// system must live until the process ends.
void catchQuitSignals(SDLSystem *system);

// Whether a quit request has come. Any thread.
bool quitSignalled();

#endif
