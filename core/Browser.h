// The core's main loop, entered once by the program's entry point.
#ifndef MIRANDOL_BROWSER_H
#define MIRANDOL_BROWSER_H

class System;

// Runs the reader on the given System; returns when it ends. A failed
// start-up leaves its error text set through System::set_error_message.
int runBrowser(System *system);

#endif
