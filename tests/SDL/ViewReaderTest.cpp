// The sample magazine read in process as a person would: keys and the
// pointer pushed as SDL events, what is on screen recorded at every flip.
#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Areas.h"
#include "Article.h"
#include "Browser.h"
#include "SDLTestSupport.h"
#include "TestDirs.h"

namespace {

// What a flip put on screen: the article's theme, its lines and status text.
struct Shown {
    unsigned theme;
    unsigned lines;
    std::string status;
};

class RecordingSystem : public SDLSystem {
public:
    using SDLSystem::SDLSystem;
    std::vector<Shown> shown;              // read after the run
    std::atomic<int> flips{0};             // read by the person meanwhile
    std::atomic<unsigned> theme{0};
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

void push(SDL_Event e)
{
    SDL_PushEvent(&e);
    SDL_Delay(400);
}

// Waits (at most 20 s) until the reader shows what is asked for.
template <class Condition> void waitFor(Condition shown)
{
    for (int i = 0; i < 400 && !shown(); i++)
        SDL_Delay(50);
}

SDL_Event key(SDLKey sym, int mod = 0)
{
    SDL_Event e = {};
    e.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = (SDLMod)mod;
    return e;
}

SDL_Event motion(int x, int y)
{
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = (Uint16)x;
    e.motion.y = (Uint16)y;
    return e;
}

TEST(ViewReader, StartArticleThemesReloadAndEscapeThroughTheHistory)
{
    std::vector<uint8_t> magazine = readFile(std::string(M2_BINARY_DIR) + "/sample/magazine.dat");
    ASSERT_FALSE(magazine.empty()) << "the sample magazine is built with the project";
    ScopedWorkDir dir;
    ASSERT_TRUE(writeFile("magazine.dat", magazine));
    ASSERT_TRUE(writeFile("mirandol2.conf", std::string("showConfig=false\nmusic=false\nsoundEffects=false\n"
                                                        "effects=false\n"
                                                        "fontPaths=/usr/share/fonts/truetype/dejavu/\n")));
    TestPlatform platform(dir.path() + "/mirandol2.conf");
    char name[] = "mirandol2";
    char *argv[] = {name, nullptr};
    std::unique_ptr<RecordingSystem> system(new RecordingSystem(&platform, 1, argv));
    RecordingSystem *s = system.get();
    ASSERT_TRUE(s->is_ready());
    std::thread person([s] {
        waitFor([s] { return s->flips > 0; });  // the opening show is on
        push(key(SDLK_0));                      // any key ends it
        waitFor([s] { return s->theme == 1; });
        push(motion(270, 20));                  // over the "home" button
        push(key(SDLK_2, KMOD_LCTRL));          // the night theme
        waitFor([s] { return s->theme == 2; });
        push(key(SDLK_F12));                    // reload
        waitFor([s] { return s->theme == 1; });
        push(key(SDLK_ESCAPE));                 // back: on the start article, quit
    });
    runBrowser(s);
    person.join();
    EXPECT_EQ(s->get_error_message(), nullptr);
    EXPECT_EQ(readText("temp/visited.txt"), "main.txt\r\n");
    EXPECT_EQ(currentArticle, nullptr);
    ASSERT_FALSE(s->shown.empty());
    EXPECT_EQ(s->shown.front().theme, 1u);
    EXPECT_GT(s->shown.front().lines, 10u);
    bool hovered = false, night = false;
    for (const Shown &f : s->shown) {
        hovered |= f.status == "Back to the contents";
        night |= f.theme == 2;
    }
    EXPECT_TRUE(hovered);
    EXPECT_TRUE(night);
    // Reloading the first article lays it out again in its first theme.
    EXPECT_EQ(s->shown.back().theme, 1u);
    EXPECT_GT(s->shown.back().lines, 10u);
}

} // namespace
