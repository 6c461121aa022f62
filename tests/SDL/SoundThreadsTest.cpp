// The main thread changes songs, samples and volume while the audio thread
// mixes. Run under ThreadSanitizer (-DMIRANDOL_TSAN=ON) this shows that every
// change is made under the audio lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "FakeSystem.h"
#include "Messages.h"
#include "SoundMedia.h"
#include "SoundSystem.h"

namespace {

// post_message arrives from the audio thread.
class LockedFake : public FakeSystem {
public:
    std::mutex lock;
    void post_message(int message, int parameter) override
    {
        std::lock_guard<std::mutex> hold(lock);
        FakeSystem::post_message(message, parameter);
    }
    size_t endedCount()
    {
        std::lock_guard<std::mutex> hold(lock);
        return std::count_if(posted.begin(), posted.end(), [](const auto &m) { return m.first == MSG_SONG_ENDED; });
    }
};

} // namespace

TEST(SoundThreads, MainThreadChangesRaceNothingInTheCallback)
{
    LockedFake fake;
    System *previous = g_system;
    g_system = &fake;
    {
        DumbAndOgg sound(44100);
        ASSERT_TRUE(sound.hasDevice());
        std::vector<uint8_t> mod = makeMod(64), shortMod = makeMod(4), xm = makeXm(), ogg = makeOgg(22050, 1, 3000);
        std::vector<uint8_t> effect(8000, 0x40);
        uint32_t start = SDL_GetTicks();
        int round = 0;
        while (SDL_GetTicks() - start < 1500) {
            switch (round++ % 6) {
            case 0: sound.playSongFromMemory("a.mod", mod.data(), (int)mod.size(), true); break;
            case 1: sound.playSongFromMemory("b.ogg", ogg.data(), (int)ogg.size(), round % 4 == 0); break;
            case 2: sound.playSongFromMemory("c.xm", xm.data(), (int)xm.size(), true); break;
            case 3: sound.stopSong(true); break;
            case 4: sound.volumeDown(); sound.volumeUp(); break;
            case 5: sound.stopSong(false); break;
            }
            Sample *s = sound.loadSample(effect.data(), (int)effect.size(), 11025, SOUND_FLAG_16BIT);
            sound.playSample(s);
            SDL_Delay(25);
            sound.unloadSample(s);
        }
        // A song that does not loop reports its end from the audio thread.
        size_t before = fake.endedCount();
        ASSERT_TRUE(sound.playSongFromMemory("end.mod", shortMod.data(), (int)shortMod.size(), false));
        for (int i = 0; i < 1500 && fake.endedCount() == before; i++)
            SDL_Delay(20);
        EXPECT_GT(fake.endedCount(), before);
    }
    g_system = previous;
}
