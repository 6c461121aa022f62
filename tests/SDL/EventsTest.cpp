// Event translation: keys, pointer, wheel, the message queue, waits and timers.
#include <gtest/gtest.h>

#include "Messages.h"
#include "SDLConfig.h"
#include "SDLTestSupport.h"
#include "SdlEvents.h"

#include <SDL.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

typedef std::pair<int, int> Msg;
const int NOPARAM = -99;

SDL_Event mouse(bool down, int button, int x, int y)
{
    SDL_Event e = buttonEvent(down, x, y);
    e.button.button = (Uint8)button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    return e;
}

const Msg NONE(MSG_NONE, NOPARAM);   // get_message reports no message

class Events : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(system->is_ready());
        drain();
    }
    void TearDown() override { drain(); }

    void drain()
    {
        int m, p;
        dropEvents();
        while (system->get_message(m, p)) {
        }
    }
    static void push(std::vector<SDL_Event> events)
    {
        for (SDL_Event &e : events)
            ASSERT_EQ(SDL_PushEvent(&e), 0);
    }
    // The next message; parameter NOPARAM when the translation set none.
    Msg next(bool *result = nullptr)
    {
        int m = -1, p = NOPARAM;
        bool r = system->get_message(m, p);
        if (result)
            *result = r;
        return {m, p};
    }
    void expectNext(Msg want, const std::string &what = "")
    {
        bool result = false;
        EXPECT_EQ(next(&result), want) << what;
        EXPECT_EQ(result, want != NONE) << what;
    }

    SystemFixture fixture;
    SDLSystem *system = fixture.system.get();
};

} // namespace

TEST_F(Events, KeyBindings)
{
    const int UNBOUND = -1;   // the key is consumed, nothing comes
    struct Case { SDLKey key; int mod, message, parameter; } cases[] = {
        // F1 and F2 are checked with the waits, Space with the queue.
        {SDLK_ESCAPE, 0, MSG_BACK, 1}, {SDLK_BACKSPACE, KMOD_LSHIFT, MSG_BACK, 1}, {SDLK_F7, 0, MSG_SEARCH, NOPARAM},
        {SDLK_F10, 0, MSG_QUIT_REQUEST, NOPARAM}, {SDLK_q, KMOD_LALT, MSG_QUIT_REQUEST, NOPARAM},
        {SDLK_x, KMOD_RALT, MSG_QUIT_REQUEST, NOPARAM}, {SDLK_F3, 0, MSG_PLAY_SONG, 0},
        {SDLK_F12, 0, MSG_RELOAD, NOPARAM}, {SDLK_1, KMOD_LCTRL, MSG_THEME, 1},
        {SDLK_HOME, 0, MSG_NAVIGATE, NAV_HOME}, {SDLK_PAGEUP, KMOD_RCTRL, MSG_NAVIGATE, NAV_HOME},
        {SDLK_PAGEUP, 0, MSG_NAVIGATE, NAV_PAGE_UP}, {SDLK_END, 0, MSG_NAVIGATE, NAV_END},
        {SDLK_PAGEDOWN, KMOD_LCTRL, MSG_NAVIGATE, NAV_END}, {SDLK_PAGEDOWN, 0, MSG_NAVIGATE, NAV_PAGE_DOWN},
        {SDLK_UP, KMOD_RSHIFT, MSG_NAVIGATE, NAV_PAGE_UP}, {SDLK_UP, 0, MSG_LINK_PREVIOUS, 1},
        {SDLK_DOWN, KMOD_LSHIFT, MSG_NAVIGATE, NAV_PAGE_DOWN}, {SDLK_DOWN, 0, MSG_LINK_NEXT, 2},
        {SDLK_LEFT, KMOD_LCTRL, MSG_BACK, 0}, {SDLK_LEFT, 0, MSG_NAVIGATE, NAV_LEFT},
        {SDLK_RIGHT, KMOD_LCTRL, MSG_FOLLOW_LINK, NOPARAM}, {SDLK_RIGHT, 0, MSG_NAVIGATE, NAV_RIGHT},
        {SDLK_RETURN, KMOD_LCTRL, MSG_COPY_LINK, NOPARAM}, {SDLK_RETURN, KMOD_LCTRL | KMOD_LALT, MSG_COPY_LINK, NOPARAM},
        {SDLK_RETURN, 0, MSG_FOLLOW_LINK, NOPARAM}, {SDLK_RETURN, KMOD_RALT, MSG_FOLLOW_LINK, NOPARAM},
        {SDLK_9, KMOD_RCTRL, MSG_THEME, 9}, {SDLK_5, 0, MSG_PLAY_SONG, 5}, {SDLK_0, 0, MSG_STOP_SONG, NOPARAM},
        {SDLK_PLUS, 0, MSG_VOLUME, 1}, {SDLK_MINUS, 0, MSG_VOLUME, -1}, {SDLK_c, 0, MSG_PLAY_MODE, 1},
        // "+" is Shift+"=" on most keyboards; the keypad has its own keys.
        {SDLK_EQUALS, 0, MSG_VOLUME, 1}, {SDLK_EQUALS, KMOD_LSHIFT, MSG_VOLUME, 1},
        {SDLK_KP_PLUS, 0, MSG_VOLUME, 1}, {SDLK_KP_MINUS, 0, MSG_VOLUME, -1},
        {SDLK_r, KMOD_LSHIFT, MSG_PLAY_MODE, 2}, {SDLK_l, 0, MSG_PLAY_MODE, 0}, {SDLK_p, KMOD_LCTRL, MSG_PRINT, NOPARAM},
        {SDLK_9, 0, UNBOUND, 0}, {SDLK_q, 0, UNBOUND, 0}, {SDLK_x, KMOD_LCTRL, UNBOUND, 0}, {SDLK_p, 0, UNBOUND, 0},
        {SDLK_RETURN, KMOD_LALT, UNBOUND, 0},
    };
    for (const Case &c : cases) {
        push({keyEvent(c.key, 0, c.mod)});
        expectNext(c.message == UNBOUND ? NONE : Msg(c.message, c.parameter),
                   SDL_GetKeyName(c.key) + std::string(" mod ") + std::to_string(c.mod));
    }
    expectNext(NONE);
    // F4 also toggles the effects flag.
    int before = system->get_user_flag(USER_FLAG_EFFECTS);
    push({keyEvent(SDLK_F4)});
    EXPECT_EQ(next().first, MSG_TOGGLE_EFFECTS);
    EXPECT_EQ(system->get_user_flag(USER_FLAG_EFFECTS), !before);
}

TEST_F(Events, PointerAndWheel)
{
    auto at = [](int x, int y) { return (int)makePosition(x, y); };
    // Motion collapses to the last position; a held left button makes motion a drag until the release.
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    const struct { std::vector<SDL_Event> events; std::vector<Msg> messages; } stages[] = {
        {{motionEvent(10, 20), motionEvent(11, 21), motionEvent(640, 479), mouse(true, SDL_BUTTON_LEFT, 12, 22)},
         {{MSG_MOUSE_MOVE, at(640, 479)}, {MSG_MOUSE_DOWN, at(12, 22)}}},
        {{motionEvent(30, 40)}, {{MSG_MOUSE_DRAG, at(30, 40)}}},
        {{mouse(true, SDL_BUTTON_RIGHT, 31, 41), motionEvent(32, 42)},
         {{MSG_RIGHT_DOWN, at(31, 41)}, {MSG_MOUSE_DRAG, at(32, 42)}}},
        {{mouse(false, SDL_BUTTON_LEFT, 33, 43), mouse(false, SDL_BUTTON_RIGHT, 34, 44), motionEvent(35, 45)},
         {{MSG_MOUSE_UP, at(33, 43)}, {MSG_RIGHT_UP, at(34, 44)}, {MSG_MOUSE_MOVE, at(35, 45)}}},
        {{mouse(true, SDL_BUTTON_WHEELUP, 0, 0), mouse(false, SDL_BUTTON_WHEELUP, 0, 0),
          mouse(true, SDL_BUTTON_WHEELDOWN, 0, 0), mouse(true, SDL_BUTTON_MIDDLE, 0, 0)},
         {{MSG_WHEEL, 1}, NONE, {MSG_WHEEL, -1}, NONE}},
        {{quit}, {NONE}},
    };
    for (const auto &stage : stages) {
        push(stage.events);
        for (const Msg &w : stage.messages)
            expectNext(w);
    }
    SDL_Event e;
    EXPECT_EQ(SDL_PollEvent(&e), 0);   // the quit is gone
}

TEST_F(Events, QueuedMessagesComeFirstAndRepeatsAreDropped)
{
    push({keyEvent(SDLK_SPACE)});
    for (Msg m : {Msg(MSG_TICK, 0), Msg(MSG_TICK, 0), Msg(MSG_TICK, 0), Msg(MSG_THEME, 1), Msg(MSG_THEME, 2),
                  Msg(MSG_THEME, 2), Msg(MSG_TICK, 0)})
        system->post_message(m.first, m.second);
    for (Msg m : {Msg(MSG_TICK, 0), Msg(MSG_THEME, 1), Msg(MSG_THEME, 2), Msg(MSG_TICK, 0), Msg(MSG_NAVIGATE, NAV_STEP)})
        EXPECT_EQ(next(), m);
    expectNext(NONE);
}

TEST_F(Events, WaitLeavesEventsPendingAndWakesOnPostedMessages)
{
    push({keyEvent(SDLK_F1), keyEvent(SDLK_F2)});
    system->wait_event();
    EXPECT_EQ(next(), Msg(MSG_HELP, NOPARAM));
    EXPECT_EQ(next(), Msg(MSG_SAVE_HTML, NOPARAM));

    std::thread poster([this] {
        SDL_Delay(30);
        system->post_message(MSG_EDGE_DELAY, 0);
    });
    system->wait_event();
    poster.join();
    EXPECT_EQ(next(), Msg(MSG_EDGE_DELAY, 0));

    // A slide timer is followed by a pointer move.
    system->post_message(MSG_SLIDE_TIMER, 0);
    system->wait_event();
    EXPECT_EQ(next(), Msg(MSG_SLIDE_TIMER, 0));
    EXPECT_EQ(next().first, MSG_MOUSE_MOVE);
}

TEST_F(Events, TimersPostTheirCodesUntilStoppedEvenWhileFiring)
{
    system->stop_timer(MSG_MOVIE_FRAME);   // no such timer: nothing happens
    system->start_timer(MSG_EDGE_DELAY, 10);
    system->start_timer(MSG_TICK, 15);
    bool sawEdge = false, sawTick = false;
    Uint32 start = SDL_GetTicks();
    while ((!sawEdge || !sawTick) && SDL_GetTicks() - start < 30000) {
        system->wait_event();
        int m, p = -1;
        while (system->get_message(m, p)) {
            sawEdge |= m == MSG_EDGE_DELAY && p == 0;
            sawTick |= m == MSG_TICK && p == 0;
        }
    }
    EXPECT_TRUE(sawEdge);
    EXPECT_TRUE(sawTick);
    system->stop_timer(MSG_EDGE_DELAY);
    system->stop_timer(MSG_TICK);
    // Nothing is posted once stop_timer has returned, however late the
    // timer thread runs: the delay gives a timer still running time to show.
    drain();
    SDL_Delay(60);
    expectNext(NONE);

    // Stopping timers while they fire is safe, and leaves no late message.
    for (int i = 0; i < 200; i++) {
        system->start_timer(MSG_EDGE_DELAY, 1);
        system->start_timer(MSG_MOVIE_FRAME, 1);
        if (i % 3 == 0)
            SDL_Delay(1);
        system->stop_timer(MSG_MOVIE_FRAME);
        system->stop_timer(MSG_EDGE_DELAY);
    }
    system->stop_timer(MSG_EDGE_DELAY);   // none left: nothing happens
    drain();
    SDL_Delay(20);
    expectNext(NONE);
}

TEST(Position, SplitsAndBuildsWithoutOverflow)
{
    EXPECT_EQ(positionX(makePosition(-1, 5)), -1);
    EXPECT_EQ(positionY(makePosition(-1, 5)), 5);
    EXPECT_EQ(positionX(makePosition(40000, -2)), 40000 - 65536);
    EXPECT_EQ(positionY(makePosition(3, -2)), -2);
    EXPECT_EQ(makePosition(0x7FFF, 0xFFFF), 0x7FFFFFFFu);
}
