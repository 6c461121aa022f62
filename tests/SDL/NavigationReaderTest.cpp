// The reader in process on the sample magazine, driven by pushed key events
// as a person would: links focused with the keys and followed, a replacing
// link, going back, and page moves in the single-column and column modes.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include <SDL.h>

#include "Article.h"
#include "Browser.h"
#include "File.h"
#include "Link.h"
#include "Messages.h"
#include "SDLTestSupport.h"
#include "TestDirs.h"

namespace {

// The reader runs on this thread's main loop; the driver thread pushes keys
// and waits until the shown article shows what it expects. The driver reads
// the article only while the loop waits for input.
struct Driver {
    std::atomic<bool> failed{false};
    std::string failure;

    static void key(SDLKey sym)
    {
        SDL_Event e = {};
        e.type = SDL_KEYDOWN;
        e.key.state = SDL_PRESSED;
        e.key.keysym.sym = sym;
        SDL_PushEvent(&e);
        e.type = SDL_KEYUP;
        e.key.state = SDL_RELEASED;
        SDL_PushEvent(&e);
    }
    static std::string shown()
    {
        Article *a = currentArticle;
        return a && a->file ? a->file->name.c_str() : "";
    }
    static std::string focusedTarget()
    {
        Article *a = currentArticle;
        return a && a->focusedLink ? a->focusedLink->target.c_str() : "";
    }
    bool waitFor(const std::function<bool()> &done, const std::string &what)
    {
        for (int i = 0; i < 200; i++) {
            SDL_Delay(25);
            if (done()) {
                SDL_Delay(50);
                return true;
            }
        }
        if (!failed)
            failure = what + " (showing \"" + shown() + "\", focus on \"" + focusedTarget() + "\")";
        failed = true;
        return false;
    }
    // Moves the focus down to the link with the given target and follows it.
    bool follow(const std::string &target, const std::string &opens)
    {
        // From the top: the pointer may have focused a link further down.
        key(SDLK_HOME);
        if (!waitFor([] { return currentArticle->scroll == 0 && currentArticle->focusedLink &&
                                 currentArticle->focusedLink == currentArticle->topVisibleLink; },
                     "home focuses the top link"))
            return false;
        for (int i = 0; i < 60 && focusedTarget() != target; i++) {
            Link *before = currentArticle ? currentArticle->focusedLink : nullptr;
            int scrollBefore = currentArticle ? currentArticle->scroll : 0;
            key(SDLK_DOWN);
            if (!waitFor([&] { return currentArticle->focusedLink != before || currentArticle->scroll != scrollBefore; },
                         "a key moves the focus or the view towards " + target))
                return false;
        }
        if (focusedTarget() != target)
            return waitFor([] { return false; }, "focus on the link to " + target);
        key(SDLK_RETURN);
        return waitFor([&] { return shown() == opens; }, "following the link to " + target);
    }
};

TEST(NavigationReader, LinksKeysAndPageMovesOnTheSampleMagazine)
{
    std::vector<uint8_t> magazine = readFile(std::string(M2_BINARY_DIR) + "/sample/magazine.dat");
    ASSERT_FALSE(magazine.empty()) << "the sample magazine is built with the project";
    ScopedWorkDir dir;
    ASSERT_TRUE(writeFile("magazine.dat", magazine));
    ASSERT_TRUE(writeFile("mirandol2.conf",
                          std::string("showConfig=false\nmusic=false\nsoundEffects=false\neffects=false\n")));
    TestPlatform platform(dir.path() + "/mirandol2.conf");
    char name[] = "mirandol2";
    char *argv[] = {name, nullptr};
    std::unique_ptr<SDLSystem> system(new SDLSystem(&platform, 1, argv));
    SDLSystem *s = system.get();
    ASSERT_TRUE(s->is_ready());

    Driver d;
    int pagesView = 0, pagesAfterDown = -1, pagesAfterEnd = -1, pagesDocument = 0;
    unsigned serialColumn = 99, serialColumns = 0, serialTotal = 0;
    std::string afterBack;
    std::thread driver([&] {
        // Any key ends the opening slide show.
        SDL_Delay(300);
        Driver::key(SDLK_SPACE);
        if (!d.waitFor([] { return Driver::shown() == "main.txt"; }, "the contents page"))
            return;
        // Contents -> links of every kind -> (replacing link) one view at a time.
        if (!d.follow("links.txt", "links.txt") || !d.follow("pages.txt", "pages.txt"))
            return;
        pagesView = currentArticle->viewHeight;
        pagesDocument = currentArticle->documentHeight;
        Driver::key(SDLK_PAGEDOWN);
        d.waitFor([] { return currentArticle->scroll > 0; }, "page down in whole views");
        pagesAfterDown = currentArticle->scroll;
        Driver::key(SDLK_END);
        d.waitFor([&] { return currentArticle->scroll > pagesAfterDown; }, "end in whole views");
        pagesAfterEnd = currentArticle->scroll;
        // Back skips the replaced page.
        Driver::key(SDLK_ESCAPE);
        d.waitFor([] { return Driver::shown() != "pages.txt"; }, "going back");
        afterBack = Driver::shown();
        // The serial pages sideways, one column at a time.
        if (!d.follow("serial.txt", "serial.txt"))
            return;
        Driver::key(SDLK_RIGHT);
        d.waitFor([] { return currentArticle->column > 0; }, "a column to the right");
        serialColumn = currentArticle->column;
        serialColumns = currentArticle->columns;
        serialTotal = currentArticle->totalColumns;
    });
    std::thread quitter([&] {
        driver.join();
        s->post_message(MSG_QUIT_REQUEST, 0);
        SDL_Delay(300);
        s->post_message(MSG_QUIT_REQUEST, 0);
    });
    runBrowser(s);
    quitter.join();

    EXPECT_STREQ(nullptr, s->get_error_message());
    EXPECT_FALSE(d.failed) << d.failure;
    ASSERT_GT(pagesView, 0);
    EXPECT_EQ(pagesView, pagesAfterDown);
    EXPECT_EQ(0, pagesAfterEnd % pagesView);
    EXPECT_LT(pagesAfterEnd, pagesDocument);
    EXPECT_GE(pagesAfterEnd + pagesView, pagesDocument);
    EXPECT_EQ("main.txt", afterBack);
    EXPECT_EQ(2u, serialColumns);
    EXPECT_GE(serialTotal, 5u);
    EXPECT_EQ(1u, serialColumn);
}

} // namespace
