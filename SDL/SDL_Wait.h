// Sleeping until there is something to do. The main loop's wait blocks on
// the display connection and on a wake-up that every posted message gives;
// periodic timers run on one thread that sleeps until the next is due. So
// a reader that shows a still page uses no processor time between events.
#ifndef MIRANDOL_SDL_WAIT_H
#define MIRANDOL_SDL_WAIT_H

#include <stdint.h>

namespace SDL_Wait {

// Ends a sleep in progress, or the next one if none is. Any thread.
void wake();

// Sleeps until wake(), until input may have arrived on the display's
// connection, or at most maxMs milliseconds. Main thread. Call
// SDL_PumpEvents and look at SDL's queue before, as it cannot see events
// SDL has already read.
void sleep(int maxMs);

// A periodic timer: callback(interval, param) runs on the timer thread
// every period ms (at least 1) and returns the next interval, 0 to stop.
// The result is the timer's id, 0 when no thread could be started.
typedef uint32_t (*Callback)(uint32_t interval, void *param);
int addTimer(uint32_t period, Callback callback, void *param);

// Stops the timer; a callback already running finishes.
void removeTimer(int id);

} // namespace SDL_Wait

#endif
