// The search dialog over a small index, driven by SDL events on the dummy
// video driver: a second thread moves the pointer and clicks as a person
// would, one event at a time, while the dialog runs its loop.
#include <gtest/gtest.h>

#include "Browser.h"
#include "GUI/SearchPanel.h"
#include "LooseFiles.h"
#include "Messages.h"
#include "QuitSignals.h"
#include "SDLTestSupport.h"
#include "SDL_Hooks.h"
#include "SdlEvents.h"
#include "SdlTestScreen.h"
#include "SearchIndex.h"
#include "Vector/Vector.h"
#include "containr.h"

#include <SDL.h>

#include <pthread.h>
#include <signal.h>
#include <string.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> strings(Vector *v)
{
    std::vector<std::string> out;
    for (int i = 0; i < Vector_size(v); i++)
        out.push_back((const char *)Vector_get(v, i));
    return out;
}

// One step of the person: the characters typed, or else a click at x, y.
struct Step {
    std::string text;
    int x = 0, y = 0;
};

struct Dialog : ::testing::Test {
    std::unique_ptr<SystemFixture> fixture;
    SDLSystem *system = nullptr;
    SearchIndex index{4};

    void SetUp() override
    {
        fixture.reset(new SystemFixture());
        system = fixture->system.get();
        ASSERT_TRUE(system->init_display(640, 480));
        // Index order is file-name order: a, b, c, d.
        const char *articles[][2] = {
            {"a.txt", "<article title=\"Cars Today\"> car cart CARAVAN"},
            {"b.txt", "<article> cart"},
            {"c.txt", "<article noscan title=Hidden> cart"},
            {"d.txt", "<article title=\"D\xC9J\xC0\"> caravan"},
        };
        for (auto &a : articles)
            indexArticle(index, a[0], a[1]);
        dropEvents();
    }

    // Not owned; when set, the steps are measured on it and not on the system's panel.
    SDLGUI::SearchPanel *measured = nullptr;

    // Made by the first search; the steps may point at it before.
    SDLGUI::SearchPanel &panel()
    {
        if (measured)
            return *measured;
        if (!system->searchPanel) {   // made on the first search, at the display's size
            SDL_Surface *screen = SDL_GetVideoSurface();
            SDLSystem_placeSearchPanel(system, screen ? screen->w : 640, screen ? screen->h : 480);
        }
        return *system->searchPanel;
    }
    SDL_Rect bounds(SDLGUI::Component &c)
    {
        SDL_Rect r;
        c.getBounds(&r);
        return r;
    }
    // Points on the dialog (at 220, 90 on 640 x 480): two cells one over the
    // other, the text field at the top of the upper one, the buttons at the
    // bottom of the lower one.
    Step row(SDLGUI::Component &list, bool lower, int row)
    {
        SDL_Rect p = bounds(panel()), r = bounds(list);
        int line = SDLGUI::getLook()->lineHeight();
        return {"", p.x + r.x + 10, p.y + (lower ? p.h / 2 : 0) + r.y + 2 + row * line + line / 2};
    }
    Step wordRow(int n) { return row(panel().wordList, false, n); }
    Step articleRow(int n) { return row(panel().articleList, true, n); }
    Step field() { return row(panel().textField, false, 0); }
    Step button(bool ok)
    {
        SDL_Rect p = bounds(panel());
        int h = bounds(panel().okButton).h;
        return {"", p.x + p.w * (ok ? 1 : 3) / 4, p.y + p.h / 2 * 2 - h / 2};
    }

    static void waitUntilTaken()
    {
        SDL_Event e;
        for (int i = 0; i < 500 && SDL_PeepEvents(&e, 1, SDL_PEEKEVENT, SDL_ALLEVENTS) > 0; i++)
            SDL_Delay(2);
        SDL_Delay(30);   // the pass that took it finishes
    }
    static void push(SDL_Event e)
    {
        SDL_PushEvent(&e);
        waitUntilTaken();
    }

    std::string word, file;                    // what the last dialog returned
    std::vector<std::string> words, entries;   // the lists it showed before the last click

    // Runs the dialog while the steps are performed; returns its result.
    bool run(const std::vector<Step> &steps)
    {
        std::thread person([&] {
            SDL_Delay(50);
            for (const Step &s : steps) {
                if (!s.text.empty()) {
                    for (unsigned char c : s.text)
                        push(keyEvent((SDLKey)tolower(c), c));
                    continue;
                }
                if (&s == &steps.back()) {
                    words = strings(system->searchWords);
                    entries = strings(system->searchArticles);
                }
                SDL_WarpMouse((Uint16)s.x, (Uint16)s.y);
                waitUntilTaken();
                for (bool down : {true, false})
                    push(buttonEvent(down, s.x, s.y));
            }
        });
        char *w = nullptr, *f = nullptr;
        bool result = system->search(&index, w, f);
        person.join();
        word = w ? w : "";
        file = f ? f : "";
        delete[] w;
        delete[] f;
        return result;
    }
};

TEST_F(Dialog, ChoosingAWordAndAnArticleReturnsBoth)
{
    ASSERT_TRUE(run({{"CA"}, wordRow(1), articleRow(0), button(true)}));
    EXPECT_EQ(word, "caravan");
    EXPECT_EQ(file, "a.txt");
    // The typed capitals list the small words; a prefix that is a word comes first.
    EXPECT_EQ(words, (std::vector<std::string>{"car", "caravan", "cart"}));
    // Titles in file-name order, the untitled one under its file name (the
    // entry's key follows the NUL), the noscan one not at all.
    EXPECT_EQ(entries, (std::vector<std::string>{"cars today", "d\xE9j\xE0"}));
    EXPECT_EQ(Vector_size(system->searchArticles), 0);   // emptied after the dialog
}

// The system makes the panel at the first search, nobody else: the person's
// keys and clicks wait in SDL's queue before the search starts, measured on a
// panel of the place and size the system gives its own (centred, 200 x 300).
TEST_F(Dialog, TheFirstSearchMakesThePanelAndRunsIt)
{
    ASSERT_EQ(system->searchPanel, nullptr);   // a new display has none
    SDLGUI::SearchPanel same(system->searchWords, system->searchArticles, 220, 90, 200, 300);
    measured = &same;
    const std::vector<Step> steps = {{"CA"}, wordRow(1), articleRow(0), button(true)};
    measured = nullptr;
    for (const Step &s : steps) {
        for (unsigned char c : s.text) {
            SDL_Event e = keyEvent((SDLKey)tolower(c), c);
            SDL_PushEvent(&e);
        }
        for (bool down : {true, false}) {
            SDL_Event e = buttonEvent(down, s.x, s.y);
            if (s.text.empty())
                SDL_PushEvent(&e);
        }
    }
    char *w = nullptr, *f = nullptr;
    EXPECT_TRUE(system->search(&index, w, f));
    EXPECT_EQ(std::string(w ? w : "") + " " + (f ? f : ""), "caravan a.txt");
    delete[] w;
    delete[] f;
    ASSERT_NE(system->searchPanel, nullptr);
    SDL_Rect made = bounds(*system->searchPanel);
    EXPECT_EQ(std::vector<int>({made.x, made.y, made.w, made.h}), std::vector<int>({220, 90, 200, 300}));
}

TEST_F(Dialog, EntriesCarryTheFileNameBehindTheTitle)
{
    Vector *list = Vector_create();
    SDLSystem::listArticles(&index, "cart", list);
    std::vector<std::string> keys;
    for (int i = 0; i < Vector_size(list); i++) {
        const char *entry = (const char *)Vector_get(list, i);
        keys.push_back(std::string(entry) + "|" + (entry + strlen(entry) + 1));
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"cars today|a.txt", "b.txt|b.txt"}));
    Vector_deleteAll(list);
    for (std::string prefix : {"zebra", "cartx"}) {
        Vector *none = Vector_create();
        SDLSystem::listCompletions(index.root, &prefix[0], none);
        EXPECT_EQ(Vector_size(none), 0) << prefix;
        Vector_deleteAll(none);
    }
}

// Whatever ends the dialog, the screen under it is restored.
TEST_F(Dialog, NothingIsReturnedWithoutAChoiceTheUserMadeOrAfterCancel)
{
    struct Case { const char *name; std::vector<Step> steps; } cases[] = {
        {"cancel at once", {button(false)}},
        {"cancel after choosing both", {{"car"}, wordRow(0), articleRow(0), button(false)}},
        {"a new word drops the article chosen for the old one",
         {{"car"}, wordRow(0), articleRow(0), wordRow(2), button(true)}},
        {"an unknown prefix lists nothing", {{"zz"}, wordRow(0), button(true)}},
    };
    SDL_Surface *screen = SDL_GetVideoSurface();
    for (const Case &c : cases) {
        fillRGB(system->backBuffer, 0x336699);
        fillRGB(screen, 0x000000);
        EXPECT_FALSE(run(c.steps)) << c.name;
        EXPECT_EQ(word + file, "") << c.name;
        EXPECT_EQ(std::vector<uint32_t>({rgbAt(screen, 220, 90), rgbAt(screen, 419, 389), rgbAt(screen, 420, 390)}),
                  std::vector<uint32_t>({0x336699u, 0x336699u, 0u})) << c.name;   // the last outside the dialog
    }
}

// On every magazine size the whole dialog lies on the screen, its lists
// shrunk to fit: the text field and both buttons are there to be clicked
// (one off the screen would never end the dialog).
TEST_F(Dialog, TheDialogFitsEveryMagazineSize)
{
    for (int height : {200, 240, 480}) {
        int width = height == 480 ? 640 : 320;
        ASSERT_TRUE(system->init_display(width, height));
        SDL_Rect p = bounds(panel());
        ASSERT_TRUE(p.x >= 0 && p.y >= 0 && p.x + p.w <= width && p.y + p.h <= height) << height;
        EXPECT_TRUE(run({field(), {"CA"}, wordRow(1), articleRow(0), button(true)})) << height;
        EXPECT_EQ(word + " " + file, "caravan a.txt") << height;
        EXPECT_FALSE(run({button(false)})) << height;
    }
}

// Runs `loop` on this thread while `request` comes from another one after
// 300 ms; true when the loop ended before a person pressed at `where` (Cancel
// or Abort) after three seconds.
bool endsUnpressed(const std::function<void()> &request, const std::function<void()> &loop,
                   const std::function<Step()> &where)
{
    std::atomic<bool> ended{false}, pressed{false};
    std::thread requester([&] {   // apart from the person: a post may wait for the dialog's lock
        SDL_Delay(300);
        request();
    });
    std::thread person([&] {
        for (int i = 0; i < 330 && !ended; i++)
            SDL_Delay(10);
        if (ended)
            return;
        pressed = true;
        Step s = where();
        for (bool down : {true, false})
            Dialog::push(buttonEvent(down, s.x, s.y));
    });
    loop();
    ended = true;
    person.join();
    requester.join();
    return !pressed;
}

// A quit request while a modal loop runs ends the loop, and what it ends is
// kept: the quit message reaches the main loop; the configuration is written.
TEST_F(Dialog, AQuitRequestEndsTheModalLoops)
{
    char *w = nullptr, *f = nullptr;
    EXPECT_TRUE(endsUnpressed([&] { system->post_message(MSG_EXIT, 0); },
                              [&] { EXPECT_FALSE(system->search(&index, w, f)); }, [&] { return button(false); }));
    int message = 0, parameter = 0;
    EXPECT_TRUE(system->get_message(message, parameter) && message == MSG_EXIT);
    // Ctrl+C during the configuration window; Abort is the right cell of its last 25-pixel row.
    const pthread_t mainThread = pthread_self();
    std::unique_ptr<SystemFixture> window;
    EXPECT_TRUE(endsUnpressed([&] { pthread_kill(mainThread, SIGINT); },
                              [&] {
                                  installQuitSignals();
                                  testing::internal::CaptureStdout();
                                  window.reset(new SystemFixture("showConfig=true\nmusic=false\nsoundEffects=false\nfontPaths=./\n"));
                                  testing::internal::GetCapturedStdout();
                              },
                              [] { return Step{"", SDL_GetVideoSurface()->w * 3 / 4, 7 * 25 + 12}; }));
    EXPECT_FALSE(window->system->is_ready());
    EXPECT_NE(readText(window->dir.path() + "/mirandol2.conf").find("mixingFrequency="), std::string::npos);
}

// The sample magazine opened by the reader's own system, in a fresh
// directory; the search index is built as the first search builds it (the
// browser asks the platform), with what that printed.
struct SampleSearch : ::testing::Test {
    SystemFixture fixture;
    System *previous = g_system;
    SearchIndex *index = nullptr;
    std::string printed;

    void SetUp() override
    {
        // A Ctrl+C sent by an earlier test of this process stays asked for,
        // and a build asked to quit stops before its first article. CTest
        // runs every test in a process of its own.
        if (quitSignalled())
            GTEST_SKIP() << "an earlier test of this process asked to quit";
        std::vector<uint8_t> magazine = readFile(std::string(M2_BINARY_DIR) + "/sample/magazine.dat");
        ASSERT_FALSE(magazine.empty()) << "the sample magazine is built with the project";
        ASSERT_TRUE(writeFile(fixture.dir.path() + "/magazine.dat", magazine));
        g_system = fixture.system.get();
        g_browser.searchIndex = nullptr;
        ASSERT_TRUE(g_container.open());
        g_container.addUserArticle("Missing.txt");   // "-a" naming no file: left out
        testing::internal::CaptureStderr();
        g_system->indexing_progress((int)g_container.articleCount);
        printed = testing::internal::GetCapturedStderr();
        ASSERT_NE(index = g_browser.searchIndex, nullptr);
    }
    void TearDown() override
    {
        delete g_browser.searchIndex;
        g_browser.searchIndex = nullptr;
        g_container.close();
        g_system = previous;
    }
};

TEST_F(SampleSearch, TheFirstSearchPrintsNothing)
{
    EXPECT_EQ(printed, "");
    EXPECT_EQ(index->count, index->articleCount);
}

// The archive article is noscan: its secret word leads to no article, so
// it is not offered; words of listed articles are.
TEST_F(SampleSearch, WordsOnlyInNoscanArticlesAreNotOffered)
{
    const struct { const char *prefix; std::vector<std::string> words; } cases[] = {
        {"zanz", {}}, {"zanzibar", {}}, {"lighthou", {"lighthouse"}}};
    for (const auto &c : cases) {
        for (bool laidOut : {true, false}) {   // read from the laid-out nodes, or walked
            std::string prefix = c.prefix;
            Vector *list = Vector_create();
            laidOut ? SDLSystem::listCompletions(index, &prefix[0], list)
                    : SDLSystem::listCompletions(index->root, &prefix[0], list);
            EXPECT_EQ(strings(list), c.words) << c.prefix << (laidOut ? " laid out" : " walked");
            Vector_deleteAll(list);
        }
    }
}

} // namespace
