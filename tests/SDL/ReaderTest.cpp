// The whole reader, in process: SDLSystem on the dummy video driver and the
// disk audio driver, the core's main loop over the sample magazine.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include <SDL.h>

#include "Browser.h"
#include "Messages.h"
#include "MagazineConfig.h"
#include "SDLTestSupport.h"
#include "TestDirs.h"

namespace {

int peakOf(const std::vector<uint8_t> &raw)
{
    int peak = 0;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        int v = (int16_t)(raw[i] | (raw[i + 1] << 8));
        peak = std::max(peak, std::abs(v));
    }
    return peak;
}

TEST(Reader, RunsTheSampleMagazineWithMusicAndQuitsCleanly)
{
    std::vector<uint8_t> magazine = readFile(std::string(M2_BINARY_DIR) + "/sample/magazine.dat");
    ASSERT_FALSE(magazine.empty()) << "the sample magazine is built with the project";
    ScopedWorkDir out;
    std::string raw = out.path() + "/audio.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "5", 1);
    {
        ScopedWorkDir dir;
        ASSERT_TRUE(writeFile("magazine.dat", magazine));
        ASSERT_TRUE(writeFile("mirandol2.conf", std::string("showConfig=false\nmusic=true\n"
                                                            "soundEffects=true\neffects=false\n")));
        TestPlatform platform(dir.path() + "/mirandol2.conf");
        char name[] = "mirandol2";
        char *argv[] = {name, nullptr};
        std::unique_ptr<SDLSystem> system(new SDLSystem(&platform, 1, argv));
        SDLSystem *s = system.get();
        ASSERT_TRUE(s->is_ready());
        // Quit from another thread once the magazine is running, as a key would.
        std::thread quitter([s] {
            SDL_Delay(1500);
            s->post_message(MSG_QUIT_REQUEST, 0);
            SDL_Delay(200);
            s->post_message(MSG_QUIT_REQUEST, 0);
        });
        runBrowser(s);
        quitter.join();
        EXPECT_EQ(s->get_error_message(), nullptr);
        // The container was closed: the visited list is written, in temp/.
        EXPECT_TRUE(fileExists("temp/visited.txt"));
        EXPECT_EQ(g_system, nullptr);
        EXPECT_EQ(currentArticle, nullptr);
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_GT(peakOf(readFile(raw)), 1000);
}

} // namespace
