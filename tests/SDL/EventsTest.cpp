#include <gtest/gtest.h>

#include "Messages.h"
#include "SDLConfig.h"
#include "SDLTestSupport.h"

#include <SDL.h>

#include <thread>
#include <utility>
#include <vector>

namespace {

class Events : public ::testing::Test {
protected:
    void SetUp() override
    {
        fixture.reset(new SystemFixture());
        system = fixture->system.get();
        ASSERT_TRUE(system->is_ready());
        drain();
    }
    void TearDown() override
    {
        drain();
        fixture.reset();
    }

    void drain()
    {
        int m, p;
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        while (system->get_message(m, p)) {
        }
    }

    static void pushKey(SDLKey key, int mod = 0)
    {
        SDL_Event e = {};
        e.type = SDL_KEYDOWN;
        e.key.type = SDL_KEYDOWN;
        e.key.state = SDL_PRESSED;
        e.key.keysym.sym = key;
        e.key.keysym.mod = (SDLMod)mod;
        ASSERT_EQ(SDL_PushEvent(&e), 0);
    }
    static void pushMotion(int x, int y)
    {
        SDL_Event e = {};
        e.type = SDL_MOUSEMOTION;
        e.motion.type = SDL_MOUSEMOTION;
        e.motion.x = (Uint16)x;
        e.motion.y = (Uint16)y;
        ASSERT_EQ(SDL_PushEvent(&e), 0);
    }
    static void pushButton(bool down, int button, int x, int y)
    {
        SDL_Event e = {};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.type = e.type;
        e.button.button = (Uint8)button;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.x = (Uint16)x;
        e.button.y = (Uint16)y;
        ASSERT_EQ(SDL_PushEvent(&e), 0);
    }

    // The next message; parameter -99 when the translation set none.
    std::pair<int, int> next(bool *result = nullptr)
    {
        int m = -1, p = -99;
        bool r = system->get_message(m, p);
        if (result)
            *result = r;
        return {m, p};
    }

    // get_message reports no message.
    void expectNone()
    {
        bool result = true;
        EXPECT_EQ(next(&result).first, MSG_NONE);
        EXPECT_FALSE(result);
    }

    std::unique_ptr<SystemFixture> fixture;
    SDLSystem *system = nullptr;
};

typedef std::pair<int, int> Msg;
const int NOPARAM = -99;

} // namespace

TEST_F(Events, KeyBindings)
{
    struct Case {
        SDLKey key;
        int mod;
        int message;
        int parameter;
    } cases[] = {
        {SDLK_ESCAPE, 0, MSG_BACK, 1},
        {SDLK_BACKSPACE, KMOD_LSHIFT, MSG_BACK, 1},
        {SDLK_F10, 0, MSG_QUIT_REQUEST, NOPARAM},
        {SDLK_q, KMOD_LALT, MSG_QUIT_REQUEST, NOPARAM},
        {SDLK_x, KMOD_RALT, MSG_QUIT_REQUEST, NOPARAM},
        {SDLK_F1, 0, MSG_HELP, NOPARAM},
        {SDLK_F7, 0, MSG_SEARCH, NOPARAM},
        {SDLK_F2, 0, MSG_SAVE_HTML, NOPARAM},
        {SDLK_F3, 0, MSG_PLAY_SONG, 0},
        {SDLK_F12, 0, MSG_RELOAD, NOPARAM},
        {SDLK_HOME, 0, MSG_NAVIGATE, NAV_HOME},
        {SDLK_PAGEUP, KMOD_RCTRL, MSG_NAVIGATE, NAV_HOME},
        {SDLK_PAGEUP, 0, MSG_NAVIGATE, NAV_PAGE_UP},
        {SDLK_END, 0, MSG_NAVIGATE, NAV_END},
        {SDLK_PAGEDOWN, KMOD_LCTRL, MSG_NAVIGATE, NAV_END},
        {SDLK_PAGEDOWN, 0, MSG_NAVIGATE, NAV_PAGE_DOWN},
        {SDLK_UP, KMOD_RSHIFT, MSG_NAVIGATE, NAV_PAGE_UP},
        {SDLK_UP, 0, MSG_LINK_PREVIOUS, 1},
        {SDLK_DOWN, KMOD_LSHIFT, MSG_NAVIGATE, NAV_PAGE_DOWN},
        {SDLK_DOWN, 0, MSG_LINK_NEXT, 2},
        {SDLK_LEFT, KMOD_LCTRL, MSG_BACK, 0},
        {SDLK_LEFT, 0, MSG_NAVIGATE, NAV_LEFT},
        {SDLK_RIGHT, KMOD_LCTRL, MSG_FOLLOW_LINK, NOPARAM},
        {SDLK_RIGHT, 0, MSG_NAVIGATE, NAV_RIGHT},
        {SDLK_SPACE, 0, MSG_NAVIGATE, NAV_STEP},
        {SDLK_RETURN, KMOD_LCTRL, MSG_COPY_LINK, NOPARAM},
        {SDLK_RETURN, KMOD_LCTRL | KMOD_LALT, MSG_COPY_LINK, NOPARAM},
        {SDLK_RETURN, KMOD_RALT, MSG_FOLLOW_LINK, NOPARAM},
        {SDLK_RETURN, 0, MSG_FOLLOW_LINK, NOPARAM},
        {SDLK_1, KMOD_LCTRL, MSG_THEME, 1},
        {SDLK_8, KMOD_RCTRL, MSG_THEME, 8},
        {SDLK_5, 0, MSG_PLAY_SONG, 5},
        {SDLK_9, KMOD_LCTRL, MSG_THEME, 9},
        {SDLK_0, 0, MSG_STOP_SONG, NOPARAM},
        {SDLK_PLUS, 0, MSG_VOLUME, 1},
        {SDLK_MINUS, 0, MSG_VOLUME, -1},
        // "+" is Shift+"=" on most keyboards; the keypad has its own keys.
        {SDLK_EQUALS, 0, MSG_VOLUME, 1},
        {SDLK_EQUALS, KMOD_LSHIFT, MSG_VOLUME, 1},
        {SDLK_KP_PLUS, 0, MSG_VOLUME, 1},
        {SDLK_KP_MINUS, 0, MSG_VOLUME, -1},
        {SDLK_c, 0, MSG_PLAY_MODE, 1},
        {SDLK_r, KMOD_LSHIFT, MSG_PLAY_MODE, 2},
        {SDLK_l, 0, MSG_PLAY_MODE, 0},
        {SDLK_p, KMOD_LCTRL, MSG_PRINT, NOPARAM},
    };
    for (const Case &c : cases) {
        pushKey(c.key, c.mod);
        bool result = false;
        Msg m = next(&result);
        EXPECT_TRUE(result) << SDL_GetKeyName(c.key) << " mod " << c.mod;
        EXPECT_EQ(m, Msg(c.message, c.parameter)) << SDL_GetKeyName(c.key) << " mod " << c.mod;
    }
    // F4 also toggles the effects flag.
    int before = system->get_user_flag(USER_FLAG_EFFECTS);
    pushKey(SDLK_F4);
    EXPECT_EQ(next().first, MSG_TOGGLE_EFFECTS);
    EXPECT_EQ(system->get_user_flag(USER_FLAG_EFFECTS), !before);
}

TEST_F(Events, KeysWithoutBindingGiveNothingAndAreConsumed)
{
    const struct {
        SDLKey key;
        int mod;
    } cases[] = {{SDLK_9, 0}, {SDLK_q, 0}, {SDLK_x, KMOD_LCTRL}, {SDLK_p, 0}, {SDLK_a, 0},
                 {SDLK_RETURN, KMOD_LALT}};
    for (const auto &c : cases) {
        pushKey(c.key, c.mod);
        bool result = true;
        Msg m = next(&result);
        EXPECT_FALSE(result) << SDL_GetKeyName(c.key);
        EXPECT_EQ(m.first, MSG_NONE);
    }
    expectNone();
}

TEST_F(Events, PointerAndWheel)
{
    pushMotion(10, 20);
    pushMotion(11, 21);
    pushMotion(640, 479);
    pushButton(true, SDL_BUTTON_LEFT, 12, 22);
    Msg m = next();
    EXPECT_EQ(m.first, MSG_MOUSE_MOVE);
    EXPECT_EQ(positionX((uint32_t)m.second), 640);
    EXPECT_EQ(positionY((uint32_t)m.second), 479);
    EXPECT_EQ(next(), Msg(MSG_MOUSE_DOWN, (int)makePosition(12, 22)));

    // Held left button: motion is a drag until the release.
    pushMotion(30, 40);
    EXPECT_EQ(next(), Msg(MSG_MOUSE_DRAG, (int)makePosition(30, 40)));
    pushButton(true, SDL_BUTTON_RIGHT, 31, 41);
    pushMotion(32, 42);
    EXPECT_EQ(next(), Msg(MSG_RIGHT_DOWN, (int)makePosition(31, 41)));
    EXPECT_EQ(next(), Msg(MSG_MOUSE_DRAG, (int)makePosition(32, 42)));
    pushButton(false, SDL_BUTTON_LEFT, 33, 43);
    pushButton(false, SDL_BUTTON_RIGHT, 34, 44);
    pushMotion(35, 45);
    EXPECT_EQ(next(), Msg(MSG_MOUSE_UP, (int)makePosition(33, 43)));
    EXPECT_EQ(next(), Msg(MSG_RIGHT_UP, (int)makePosition(34, 44)));
    EXPECT_EQ(next(), Msg(MSG_MOUSE_MOVE, (int)makePosition(35, 45)));

    pushButton(true, SDL_BUTTON_WHEELUP, 0, 0);
    pushButton(false, SDL_BUTTON_WHEELUP, 0, 0);
    pushButton(true, SDL_BUTTON_WHEELDOWN, 0, 0);
    pushButton(true, SDL_BUTTON_MIDDLE, 0, 0);
    EXPECT_EQ(next(), Msg(MSG_WHEEL, 1));
    expectNone();
    EXPECT_EQ(next(), Msg(MSG_WHEEL, -1));
    expectNone();

    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    expectNone();
    SDL_Event e;
    EXPECT_EQ(SDL_PollEvent(&e), 0);   // gone
}

TEST_F(Events, QueuedMessagesComeFirstAndRepeatsAreDropped)
{
    pushKey(SDLK_SPACE);
    system->post_message(MSG_TICK, 0);
    system->post_message(MSG_TICK, 0);
    system->post_message(MSG_TICK, 0);
    system->post_message(MSG_THEME, 1);
    system->post_message(MSG_THEME, 2);
    system->post_message(MSG_THEME, 2);
    system->post_message(MSG_TICK, 0);
    EXPECT_EQ(next(), Msg(MSG_TICK, 0));
    EXPECT_EQ(next(), Msg(MSG_THEME, 1));
    EXPECT_EQ(next(), Msg(MSG_THEME, 2));
    EXPECT_EQ(next(), Msg(MSG_TICK, 0));
    EXPECT_EQ(next(), Msg(MSG_NAVIGATE, NAV_STEP));
    expectNone();
}

TEST_F(Events, WaitLeavesEventsPendingAndWakesOnPostedMessages)
{
    pushKey(SDLK_F1);
    pushKey(SDLK_F2);
    system->wait_event();
    EXPECT_EQ(next().first, MSG_HELP);
    EXPECT_EQ(next().first, MSG_SAVE_HTML);

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

TEST_F(Events, TimersPostTheirCodesUntilStopped)
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
    expectNone();
}

TEST_F(Events, StoppingTimersWhileTheyFireIsSafe)
{
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
    expectNone();   // and no late message of a stopped timer
}

TEST(Position, SplitsAndBuildsWithoutOverflow)
{
    EXPECT_EQ(positionX(makePosition(-1, 5)), -1);
    EXPECT_EQ(positionY(makePosition(-1, 5)), 5);
    EXPECT_EQ(positionX(makePosition(40000, -2)), 40000 - 65536);
    EXPECT_EQ(positionY(makePosition(3, -2)), -2);
    EXPECT_EQ(makePosition(0x7FFF, 0xFFFF), 0x7FFFFFFFu);
}
