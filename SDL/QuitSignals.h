// Ctrl+C and a termination request end the reader through its normal
// teardown (so the visited list is written): the first SIGINT or SIGTERM
// posts MSG_EXIT, which skips the closing show; a second one (a tenth of a
// second or more later) ends the process at once.
#ifndef MIRANDOL_QUIT_SIGNALS_H
#define MIRANDOL_QUIT_SIGNALS_H

class System;

// Installs the handlers; the system must live until the process ends.
void catchQuitSignals(System *system);

#endif
