// SDLSystem: the message queue, the translation of SDL input events into
// messages, the idle wait, the periodic timers and the clock.
#include "SDL_System.h"

#include "Messages.h"
#include "Queue.h"
#include "QuitSignals.h"
#include "SDLConfig.h"
#include "SDL_Wait.h"
#include "Vector/Vector.h"

#include <SDL.h>

#include <stdint.h>
#include <stdlib.h>

#include <mutex>

namespace {

struct MessageRecord {
    int32_t code;
    int32_t parameter;
};

struct TimerRecord {
    int32_t code;
    uint32_t period;
    int id;
};

// Set while the left button is held down inside the window.
bool dragFlag = false;

// Every running timer. The lock guards the vector and the system the timers
// post to; the timer thread only reads them under it.
std::mutex timerLock;
Vector *timerVector = nullptr;
SDLSystem *timerSystem = nullptr;

bool timerRunning(int code)
{
    if (!timerVector)
        return false;
    for (int i = 0; i < Vector_size(timerVector); i++)
        if (((TimerRecord *)Vector_get(timerVector, i))->code == code)
            return true;
    return false;
}

// Runs on the timer thread. It gets the message code by value: it never
// touches a timer record, which stop_timer may free at any moment. It posts
// under the lock, so once stop_timer (or the system's end) has returned, no
// late message of that timer arrives and the system is never used after it
// went.
Uint32 timerCallback(Uint32 interval, void *param)
{
    int code = (int)(intptr_t)param;
    std::lock_guard<std::mutex> guard(timerLock);
    if (timerRunning(code) && timerSystem)
        timerSystem->post_message(code, 0);
    return interval;
}

const int SHIFT = KMOD_SHIFT;   // 0x3
const int CTRL = KMOD_CTRL;     // 0xC0
const int ALT = KMOD_ALT;       // 0x300
const int LEFT_ALT = KMOD_LALT; // 0x100

} // namespace

// Stops every timer that posts to this system (tests delete their systems).
void SDLSystem_forgetTimers(SDLSystem *system)
{
    std::lock_guard<std::mutex> guard(timerLock);
    if (timerSystem != system)
        return;
    if (timerVector) {
        while (TimerRecord *record = (TimerRecord *)Vector_removeLast(timerVector)) {
            SDL_Wait::removeTimer(record->id);
            free(record);
        }
        Vector_delete(timerVector);
        timerVector = nullptr;
    }
    timerSystem = nullptr;
}

bool SDLSystem::hasQueuedMessage()
{
    if (!messageQueue)
        return false;
    SDL_mutexP(queueMutex);
    bool queued = !Queue_isEmpty(messageQueue);
    SDL_mutexV(queueMutex);
    return queued;
}

void SDLSystem::requestQuit()
{
    quitAsked = true;
    post_message(MSG_EXIT, 0);
}

bool SDLSystem::quitRequested() const
{
    return quitPosted.load() || quitSignalled();
}

void SDLSystem::post_message(int message, int parameter)
{
    // Before the lock: a modal dialog holds it and ends on seeing this.
    if (message == MSG_EXIT || message == MSG_END)
        quitPosted = true;
    if (!messageQueue)
        return;
    MessageRecord *record = (MessageRecord *)malloc(sizeof(MessageRecord));
    if (!record)
        return;
    record->code = message;
    record->parameter = parameter;

    SDL_mutexP(queueMutex);
    // A message identical to the last one queued adds nothing: get_message
    // would drop it anyway. This keeps ticks from piling up while the main
    // loop is busy or blocked.
    MessageRecord *last = (MessageRecord *)Queue_peekLast(messageQueue);
    if (last && last->code == message && last->parameter == parameter) {
        free(record);
        record = nullptr;
    } else {
        Queue_push(messageQueue, record);
    }
    SDL_mutexV(queueMutex);
    SDL_Wait::wake();

    if (message == MSG_SLIDE_TIMER) {
        // A motion event at the pointer's current place follows the slide
        // timer, so the new picture is hovered at once.
        int x = 0, y = 0;
        Uint8 state = SDL_GetMouseState(&x, &y);
        SDL_Event event;
        event.type = SDL_MOUSEMOTION;
        event.motion.type = SDL_MOUSEMOTION;
        event.motion.which = 0;
        event.motion.state = state;
        event.motion.x = (Uint16)x;
        event.motion.y = (Uint16)y;
        event.motion.xrel = 0;
        event.motion.yrel = 0;
        SDL_PushEvent(&event);
    }
}

static bool translateKey(const SDL_keysym &key, SDLSystem *system, int &message, int &parameter)
{
    const int mod = key.mod;
    const bool shift = (mod & SHIFT) != 0;
    const bool ctrl = (mod & CTRL) != 0;
    const bool alt = (mod & ALT) != 0;
    message = MSG_NONE;

    switch (key.sym) {
    case SDLK_ESCAPE:
    case SDLK_BACKSPACE:
        message = MSG_BACK;
        parameter = 1;
        break;
    case SDLK_F10:
        message = MSG_QUIT_REQUEST;
        break;
    case SDLK_q:
    case SDLK_x:
        if (alt)
            message = MSG_QUIT_REQUEST;
        break;
    case SDLK_F1:
        message = MSG_HELP;
        break;
    case SDLK_F7:
        message = MSG_SEARCH;
        break;
    case SDLK_F2:
        message = MSG_SAVE_HTML;
        break;
    case SDLK_F3:
        message = MSG_PLAY_SONG;
        parameter = 0;
        break;
    case SDLK_F4:
        message = MSG_TOGGLE_EFFECTS;
        if (SDLConfig *config = system->getConfig())
            config->setEffects(!config->getEffects());
        break;
    case SDLK_F12:
        message = MSG_RELOAD;
        break;
    case SDLK_HOME:
        message = MSG_NAVIGATE;
        parameter = NAV_HOME;
        break;
    case SDLK_PAGEUP:
        message = MSG_NAVIGATE;
        parameter = ctrl ? NAV_HOME : NAV_PAGE_UP;
        break;
    case SDLK_END:
        message = MSG_NAVIGATE;
        parameter = NAV_END;
        break;
    case SDLK_PAGEDOWN:
        message = MSG_NAVIGATE;
        parameter = ctrl ? NAV_END : NAV_PAGE_DOWN;
        break;
    case SDLK_UP:
        if (shift) {
            message = MSG_NAVIGATE;
            parameter = NAV_PAGE_UP;
        } else {
            message = MSG_LINK_PREVIOUS;
            parameter = NAV_LINE_UP;
        }
        break;
    case SDLK_DOWN:
        if (shift) {
            message = MSG_NAVIGATE;
            parameter = NAV_PAGE_DOWN;
        } else {
            message = MSG_LINK_NEXT;
            parameter = NAV_LINE_DOWN;
        }
        break;
    case SDLK_LEFT:
        if (ctrl) {
            message = MSG_BACK;
            parameter = 0;
        } else {
            message = MSG_NAVIGATE;
            parameter = NAV_LEFT;
        }
        break;
    case SDLK_RIGHT:
        if (ctrl) {
            message = MSG_FOLLOW_LINK;
        } else {
            message = MSG_NAVIGATE;
            parameter = NAV_RIGHT;
        }
        break;
    case SDLK_SPACE:
        message = MSG_NAVIGATE;
        parameter = NAV_STEP;
        break;
    case SDLK_RETURN:
        if (ctrl) {
            message = MSG_COPY_LINK;
        } else if (mod & LEFT_ALT) {
            if (system->screen)
                SDL_WM_ToggleFullScreen(system->screen);
        } else {
            message = MSG_FOLLOW_LINK;
        }
        break;
    case SDLK_1:
    case SDLK_2:
    case SDLK_3:
    case SDLK_4:
    case SDLK_5:
    case SDLK_6:
    case SDLK_7:
    case SDLK_8:
        message = ctrl ? MSG_THEME : MSG_PLAY_SONG;
        parameter = key.sym - SDLK_0;
        break;
    case SDLK_9:
        if (ctrl) {
            message = MSG_THEME;
            parameter = 9;
        }
        break;
    case SDLK_0:
        message = MSG_STOP_SONG;
        break;
    case SDLK_PLUS:
    case SDLK_EQUALS:   // "+" is Shift+"=" on most keyboards
    case SDLK_KP_PLUS:
        message = MSG_VOLUME;
        parameter = 1;
        break;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
        message = MSG_VOLUME;
        parameter = -1;
        break;
    case SDLK_c:
        message = MSG_PLAY_MODE;
        parameter = 1;
        break;
    case SDLK_r:
        message = MSG_PLAY_MODE;
        parameter = 2;
        break;
    case SDLK_l:
        message = MSG_PLAY_MODE;
        parameter = 0;
        break;
    case SDLK_p:
        if (ctrl)
            message = MSG_PRINT;
        break;
    default:
        break;
    }
    return message != MSG_NONE;
}

bool SDLSystem::get_message(int &message, int &parameter)
{
    MessageRecord *record = nullptr;
    if (messageQueue) {
        SDL_mutexP(queueMutex);
        record = (MessageRecord *)Queue_pop(messageQueue);
        if (record) {
            MessageRecord *next;
            while ((next = (MessageRecord *)Queue_peek(messageQueue)) != nullptr &&
                   next->code == record->code && next->parameter == record->parameter)
                free(Queue_pop(messageQueue));
        }
        SDL_mutexV(queueMutex);
    }
    if (record) {
        message = record->code;
        parameter = record->parameter;
        free(record);
        return true;
    }

    SDL_Event event;
    if (!SDL_PollEvent(&event)) {
        message = MSG_NONE;
        return false;
    }

    switch (event.type) {
    case SDL_MOUSEMOTION: {
        Uint8 buttons = SDL_GetMouseState(nullptr, nullptr);
        message = (buttons == SDL_BUTTON(SDL_BUTTON_LEFT) || dragFlag) ? MSG_MOUSE_DRAG
                                                                        : MSG_MOUSE_MOVE;
        parameter = (int)makePosition(event.motion.x, event.motion.y);
        SDL_Event next;
        while (SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_ALLEVENTS) == 1 &&
               next.type == SDL_MOUSEMOTION) {
            if (SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_MOUSEMOTIONMASK) != 1)
                break;
            parameter = (int)makePosition(next.motion.x, next.motion.y);
        }
        return true;
    }
    case SDL_MOUSEBUTTONDOWN:
        switch (event.button.button) {
        case SDL_BUTTON_LEFT:
            message = MSG_MOUSE_DOWN;
            parameter = (int)makePosition(event.button.x, event.button.y);
            dragFlag = true;
            return true;
        case SDL_BUTTON_RIGHT:
            message = MSG_RIGHT_DOWN;
            parameter = (int)makePosition(event.button.x, event.button.y);
            return true;
        case SDL_BUTTON_WHEELUP:
            message = MSG_WHEEL;
            parameter = 1;
            return true;
        case SDL_BUTTON_WHEELDOWN:
            message = MSG_WHEEL;
            parameter = -1;
            return true;
        default:
            message = MSG_NONE;
            return false;
        }
    case SDL_MOUSEBUTTONUP:
        switch (event.button.button) {
        case SDL_BUTTON_LEFT:
            dragFlag = false;
            message = MSG_MOUSE_UP;
            parameter = (int)makePosition(event.button.x, event.button.y);
            return true;
        case SDL_BUTTON_RIGHT:
            message = MSG_RIGHT_UP;
            parameter = (int)makePosition(event.button.x, event.button.y);
            return true;
        default:
            message = MSG_NONE;
            return false;
        }
    case SDL_KEYDOWN:
        return translateKey(event.key.keysym, this, message, parameter);
    default:
        // The window's close request among them: closing the window does
        // not end the reader.
        message = MSG_NONE;
        return false;
    }
}

// Waits until there is something to do: an SDL event (left pending for the
// next get_message, in its place) or a posted message. Sleeps in between.
void SDLSystem::wait_event()
{
    for (;;) {
        if (hasQueuedMessage())
            return;
        SDL_PumpEvents();
        SDL_Event event;
        if (SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_ALLEVENTS) > 0)
            return;
        SDL_Wait::sleep(100);
    }
}

void SDLSystem::start_timer(int message, int period)
{
    logf("start_timer, msg: %i, periode %i\n", message, period);
    TimerRecord *record = (TimerRecord *)malloc(sizeof(TimerRecord));
    if (!record)
        return;
    record->code = message;
    record->period = period > 0 ? (uint32_t)period : 1u;
    std::lock_guard<std::mutex> guard(timerLock);
    if (!timerVector)
        timerVector = Vector_create();
    timerSystem = this;
    Vector_add(timerVector, record);
    record->id = SDL_Wait::addTimer(record->period, timerCallback, (void *)(intptr_t)message);
    if (!record->id) {
        Vector_removeLast(timerVector);
        free(record);
    }
}

void SDLSystem::stop_timer(int message)
{
    logf("stop_timer, msg: %i\n", message);
    TimerRecord *found = nullptr;
    {
        std::lock_guard<std::mutex> guard(timerLock);
        if (!timerVector)
            return;
        for (int i = 0; i < Vector_size(timerVector); i++) {
            TimerRecord *record = (TimerRecord *)Vector_get(timerVector, i);
            if (record->code == message) {
                found = (TimerRecord *)Vector_removeAt(timerVector, i);
                break;
            }
        }
    }
    if (found) {
        SDL_Wait::removeTimer(found->id);
        free(found);
    }
}

uint32_t SDLSystem::get_ticks()
{
    return SDL_GetTicks();
}
