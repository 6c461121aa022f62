// The whole reader in process on the sample magazine: SDLSystem on the dummy
// video driver and SDL's disk audio driver, the core's main loop, and a second
// thread pushing keys and the pointer as SDL events as a person would.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Areas.h"
#include "Article.h"
#include "Browser.h"
#include "File.h"
#include "History.h"
#include "Image.h"
#include "Link.h"
#include "Messages.h"
#include "SDLTestSupport.h"
#include "SdlEvents.h"
#include "TestDirs.h"

namespace {

// What a flip put on screen: the article's theme, its lines and status text.
struct Shown { unsigned theme; unsigned lines; std::string status; };

class RecordingSystem : public SDLSystem {
public:
    using SDLSystem::SDLSystem;
    std::vector<Shown> shown;              // read after the run
    std::atomic<int> flips{0};             // read by the person meanwhile
    std::atomic<unsigned> theme{0};
    // The pointer: whether it is shown, whether it was drawn since it was
    // last shown or hidden, and the picture it was given last.
    std::atomic<bool> pointerShown{false}, pointerDrawn{false};
    std::atomic<ImageHandle> pointer{nullptr};
    void show_cursor(bool show) override
    {
        pointerDrawn = false;
        pointerShown = show;
        SDLSystem::show_cursor(show);
    }
    void move_cursor(int x, int y) override
    {
        SDLSystem::move_cursor(x, y);
        if (pointerShown)
            pointerDrawn = true;
    }
    void set_cursor(ImageHandle image, int hotX, int hotY) override
    {
        pointer = image;
        SDLSystem::set_cursor(image, hotX, hotY);
    }
    void flip(int effect, int clearFlags, int duration) override
    {
        if (currentArticle) {
            shown.push_back({currentArticle->themeNumber, currentArticle->lineCount,
                             currentArticle->statusbarArea ? currentArticle->statusbarArea->text1.c_str() : ""});
            theme = currentArticle->themeNumber;
        }
        SDLSystem::flip(effect, clearFlags, duration);
        flips++;
    }
};

// The sample magazine in a fresh working directory with the given
// configuration file, and the reader's system over it.
struct SampleReader {
    ScopedWorkDir dir;
    std::unique_ptr<TestPlatform> platform;
    std::unique_ptr<RecordingSystem> system;
    char name[10] = "mirandol2";
    char *argv[2] = {name, nullptr};

    explicit SampleReader(const std::string &config)
    {
        std::vector<uint8_t> magazine = readFile(std::string(M2_BINARY_DIR) + "/sample/magazine.dat");
        if (magazine.empty() || !writeFile("magazine.dat", magazine) || !writeFile("mirandol2.conf", config))
            return;
        platform.reset(new TestPlatform(dir.path() + "/mirandol2.conf"));
        system.reset(new RecordingSystem(platform.get(), 1, argv));
    }
    RecordingSystem *ready() { return system && system->is_ready() ? system.get() : nullptr; }
};

int peakOf(const std::vector<uint8_t> &raw)
{
    int peak = 0;
    for (size_t i = 0; i + 1 < raw.size(); i += 2)
        peak = std::max(peak, std::abs((int)(int16_t)(raw[i] | (raw[i + 1] << 8))));
    return peak;
}

// Pushes keys and waits until the shown article shows what it expects. The
// driver reads the article only while the loop waits for input.
struct Driver {
    std::atomic<bool> failed{false};
    std::string failure;

    static void press(SDLKey sym, int mod = 0)
    {
        SDL_Event e = keyEvent(sym, 0, mod);
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
    // At most 20 s, for loaded machines.
    bool waitFor(const std::function<bool()> &done, const std::string &what)
    {
        for (int i = 0; i < 800; i++) {
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
        press(SDLK_HOME);
        if (!waitFor([] { return currentArticle->scroll == 0 && currentArticle->focusedLink &&
                                 currentArticle->focusedLink == currentArticle->topVisibleLink; },
                     "home focuses the top link"))
            return false;
        for (int i = 0; i < 60 && focusedTarget() != target; i++) {
            Link *before = currentArticle ? currentArticle->focusedLink : nullptr;
            int scrollBefore = currentArticle ? currentArticle->scroll : 0;
            press(SDLK_DOWN);
            if (!waitFor([&] { return currentArticle->focusedLink != before || currentArticle->scroll != scrollBefore; },
                         "a key moves the focus or the view towards " + target))
                return false;
        }
        if (focusedTarget() != target)
            return waitFor([] { return false; }, "focus on the link to " + target);
        press(SDLK_RETURN);
        return waitFor([&] { return shown() == opens; }, "following the link to " + target);
    }
    static void push(SDL_Event e) { SDL_PushEvent(&e); }
    // The middle of the first rectangle of the shown link to target, on screen.
    static bool linkOnScreen(const std::string &target, int &x, int &y)
    {
        Article *a = currentArticle;
        for (Link *link = a ? a->links : nullptr; link; link = link->next) {
            if (target != link->target.c_str() || !link->rectCount || !a->pageArea)
                continue;
            const LinkRect &r = link->rects[0];
            x = a->pageArea->left + (r.x1 + r.x2) / 2;
            y = a->pageArea->top + (r.y1 + r.y2) / 2 - a->scroll;
            return true;
        }
        return false;
    }
};

// The sample magazine without sound: the person ends the opening show with a
// key, acts on the contents page, and the reader is closed afterwards.
struct ContentsFixture : ::testing::Test {
    SampleReader reader{"showConfig=false\nmusic=false\nsoundEffects=false\neffects=false\n"
                        "fontPaths=/usr/share/fonts/truetype/dejavu/\n"};
    RecordingSystem *s = reader.ready();
    Driver d;

    void run(const std::function<void()> &act)
    {
        ASSERT_NE(s, nullptr) << "the sample magazine is built with the project";
        std::thread driver([&] {
            if (d.waitFor([this] { return s->flips > 0; }, "the opening show")) {
                Driver::press(SDLK_0);
                if (d.waitFor([] { return Driver::shown() == "main.txt"; }, "the contents page"))
                    act();
            }
            for (int i = 0; i < 3; i++) {   // the first may be taken by a page change on its way
                s->post_message(MSG_QUIT_REQUEST, 0);
                SDL_Delay(200);
            }
        });
        runBrowser(s);
        driver.join();
        EXPECT_FALSE(d.failed) << d.failure;
    }
};

TEST(Reader, ThemesLinksKeysAndPageMovesOnTheSampleMagazineWithMusic)
{
    ScopedWorkDir out;
    std::string raw = out.path() + "/audio.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "5", 1);
    {
        SampleReader reader("showConfig=false\nmusic=true\nsoundEffects=true\neffects=false\n"
                            "fontPaths=/usr/share/fonts/truetype/dejavu/\n");
        RecordingSystem *s = reader.ready();
        ASSERT_NE(s, nullptr) << "the sample magazine is built with the project";

        Driver d;
        unsigned reloadedLines = 0, serialColumn = 99, serialColumns = 0, serialTotal = 0;
        int pagesView = 0, pagesAfterDown = -1, pagesAfterEnd = -1, pagesDocument = 0;
        std::string afterBack;
        auto person = [&] {
            if (!d.waitFor([s] { return s->flips > 0; }, "the opening show"))
                return false;
            Driver::press(SDLK_0);   // any key ends the opening show
            if (!d.waitFor([] { return Driver::shown() == "main.txt"; }, "the contents page"))
                return false;
            SDL_Event over = motionEvent(484, 20);   // over the "home" button
            SDL_PushEvent(&over);
            SDL_Delay(400);
            Driver::press(SDLK_2, KMOD_LCTRL);   // the night theme
            d.waitFor([s] { return s->theme == 2; }, "the night theme");
            Driver::press(SDLK_F12);   // reload: the first theme again
            d.waitFor([s] { return s->theme == 1; }, "the reload");
            reloadedLines = currentArticle->lineCount;
            // Contents -> links of every kind -> (replacing link) one view at a time.
            if (!d.follow("links.txt", "links.txt") || !d.follow("pages.txt", "pages.txt"))
                return false;
            pagesView = currentArticle->viewHeight;
            pagesDocument = currentArticle->documentHeight;
            Driver::press(SDLK_PAGEDOWN);
            d.waitFor([] { return currentArticle->scroll > 0; }, "page down in whole views");
            pagesAfterDown = currentArticle->scroll;
            Driver::press(SDLK_END);
            d.waitFor([&] { return currentArticle->scroll > pagesAfterDown; }, "end in whole views");
            pagesAfterEnd = currentArticle->scroll;
            Driver::press(SDLK_ESCAPE);   // back skips the replaced page
            d.waitFor([] { return Driver::shown() != "pages.txt"; }, "going back");
            afterBack = Driver::shown();
            // The serial pages sideways, one column at a time.
            if (!d.follow("serial.txt", "serial.txt"))
                return false;
            Driver::press(SDLK_RIGHT);
            d.waitFor([] { return currentArticle->column > 0; }, "a column to the right");
            serialColumn = currentArticle->column;
            serialColumns = currentArticle->columns;
            serialTotal = currentArticle->totalColumns;
            Driver::press(SDLK_ESCAPE);
            return d.waitFor([] { return Driver::shown() == "main.txt"; }, "back to the contents");
        };
        std::thread driver([&] {
            if (person()) {
                Driver::press(SDLK_ESCAPE);   // back on the start article: quit
                return;
            }
            for (int i = 0; i < 2; i++) {   // the first may be taken by a page change on its way
                s->post_message(MSG_QUIT_REQUEST, 0);
                SDL_Delay(200);
            }
        });
        runBrowser(s);
        driver.join();

        EXPECT_EQ(s->get_error_message(), nullptr);
        EXPECT_FALSE(d.failed) << d.failure;
        // The container was closed: the visited list is written, sorted, in temp/.
        EXPECT_EQ(readText("temp/visited.txt"), "links.txt\r\nmain.txt\r\npages.txt\r\nserial.txt\r\n");
        EXPECT_EQ(g_system, nullptr);
        EXPECT_EQ(currentArticle, nullptr);
        ASSERT_FALSE(s->shown.empty());
        EXPECT_EQ(s->shown.front().theme, 1u);
        EXPECT_GT(s->shown.front().lines, 10u);
        EXPECT_GT(reloadedLines, 10u);
        auto seen = [&](std::function<bool(const Shown &)> what) { return std::any_of(s->shown.begin(), s->shown.end(), what); };
        EXPECT_TRUE(seen([](const Shown &f) { return f.status == "Back to the contents"; }));
        EXPECT_TRUE(seen([](const Shown &f) { return f.theme == 2; }));
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
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_GT(peakOf(readFile(raw)), 1000);
}

// F12 with the pointer resting on a link: the page laid out again is hovered
// at once, so one click follows the link. The contents page is reloaded while
// it is on the path twice, so the same Article comes back.
TEST_F(ContentsFixture, AfterAReloadOneClickFollowsTheLinkUnderThePointer)
{
    std::string status;
    run([&] {
        if (!d.follow("features.txt", "features.txt") || !d.follow("main.txt", "main.txt"))
            return;
        int x = 0, y = 0;
        if (!Driver::linkOnScreen("gallery.txt", x, y))
            return (void)d.waitFor([] { return false; }, "the link to the gallery");
        Driver::push(motionEvent(x, y));
        if (!d.waitFor([] { return Driver::focusedTarget() == "gallery.txt"; }, "the link lit under the pointer"))
            return;
        uint32_t pages = history.pageChanges;
        Driver::press(SDLK_F12);
        if (!d.waitFor([pages] { return history.pageChanges != pages; }, "the reload"))
            return;
        SDL_Delay(300);
        status = currentArticle->statusbarArea->text1.c_str();
        Driver::push(buttonEvent(true, x, y));
        Driver::push(buttonEvent(false, x, y));
        d.waitFor([] { return Driver::shown() == "gallery.txt"; }, "one click on the link");
    });
    EXPECT_EQ("Pictures and a slide show", status);
}

// A slide show over the contents page ended by a key: the pointer is drawn
// again where it rests, without waiting for it to move.
TEST_F(ContentsFixture, AfterASlideShowEndedByAKeyThePointerIsDrawn)
{
    bool drawn = false;
    run([&] {
        if (!d.follow("gallery", "main.txt") || !d.waitFor([] { return g_browser.slideShow != 0; }, "the show"))
            return;
        SDL_Delay(500);
        Driver::press(SDLK_ESCAPE);
        if (!d.waitFor([this] { return !g_browser.slideShow && s->pointerShown; }, "the end of the show"))
            return;
        SDL_Delay(300);
        drawn = s->pointerDrawn;
    });
    EXPECT_TRUE(drawn);
}

// A right click on the first article goes nowhere: the back pointer that the
// press showed gives way to the normal one on its release.
TEST_F(ContentsFixture, AfterARightClickWithNothingToGoBackToThePointerIsTheNormalOne)
{
    ImageHandle pressed = nullptr, released = nullptr, normal = nullptr, back = nullptr;
    run([&] {
        normal = currentArticle->cursors[CURSOR_NORMAL]->surface;
        back = currentArticle->cursors[CURSOR_BACK]->surface;
        Driver::push(motionEvent(320, 100));   // on the heading, on no link
        if (!d.waitFor([&] { return s->pointer == normal; }, "the normal pointer"))
            return;
        SDL_Event right = buttonEvent(true, 320, 100);
        right.button.button = SDL_BUTTON_RIGHT;
        Driver::push(right);
        d.waitFor([&] { return s->pointer == back; }, "the back pointer");
        pressed = s->pointer;
        right = buttonEvent(false, 320, 100);
        right.button.button = SDL_BUTTON_RIGHT;
        Driver::push(right);
        SDL_Delay(400);
        released = s->pointer;
    });
    EXPECT_EQ(std::make_pair(back, normal), std::make_pair(pressed, released));
    EXPECT_NE(back, normal);
}

} // namespace
