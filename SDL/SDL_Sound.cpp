// SDLSystem's sound operations: each logs itself when "verbose" is on and
// forwards to the sound system when its switch ("music" or "soundEffects")
// is on. Without a sound system or an audio device they do nothing.
#include "SDL_System.h"

#include <stdint.h>

#include "Platform.h"
#include "SDLConfig.h"
#include "SDL_Hooks.h"
#include "SoundSystem.h"

namespace {

inline unsigned pointerValue(const void *p) { return (unsigned)(uintptr_t)p; }

} // namespace

void SDLSystem_openSound(SDLSystem *system)
{
    SDLConfig *config = system->getConfig();
    if (!config || system->soundSystem)
        return;
    system->soundSystem = createSoundSystem(config->getMixingFrequency(), config->getMusic(),
                                            config->getSoundEffects());
}

void SDLSystem_closeSound(SDLSystem *system)
{
    delete system->soundSystem;
    system->soundSystem = nullptr;
}

SampleHandle SDLSystem::load_sound(const void *buffer, int size, int frequency, int flags)
{
    logf("load_sound, buf: %x, size: %i, freq: %i, flags: %x\n", pointerValue(buffer), size,
         frequency, (unsigned)flags);
    if (!soundSystem || !soundSystem->effects)
        return nullptr;
    return reinterpret_cast<SampleHandle>(soundSystem->loadSample(buffer, size, frequency, flags));
}

void SDLSystem::play_sound(SampleHandle sample)
{
    logf("play_sound : %x\n", pointerValue(sample));
    if (!soundSystem || !soundSystem->effects || !sample)
        return;
    soundSystem->playSample(reinterpret_cast<Sample *>(sample));
}

void SDLSystem::unload_sound(SampleHandle sample)
{
    logf("unload_sound : %x\n", pointerValue(sample));
    if (!soundSystem || !soundSystem->effects)
        return;
    soundSystem->unloadSample(reinterpret_cast<Sample *>(sample));
}

bool SDLSystem::play_song(const char *name, int loop, const void *data, int size)
{
    logf("play_song from memory: %s, loop: %i, pointer: %x, size: %i\n", name ? name : "", loop,
         pointerValue(data), size);
    if (!soundSystem || !soundSystem->music)
        return false;
    return soundSystem->playSongFromMemory(name, data, size, loop != 0);
}

bool SDLSystem::play_song_file(const char *name, int loop)
{
    logf("play_song from file: %s, loop: %i\n", name ? name : "", loop);
    if (!soundSystem || !soundSystem->music || !name)
        return false;
    if (Player::hasExtension(name, "mo3")) {
        // Only the platform may turn such a module into something playable.
        name = platform ? platform->convertMo3(name) : nullptr;
        if (!name)
            return false;
    }
    return soundSystem->playSongFromFile(name, loop != 0);
}

void SDLSystem::stop_song(int fadeOut)
{
    logf("stop_song, fade out: %i\n", fadeOut);
    if (!soundSystem || !soundSystem->music)
        return;
    soundSystem->stopSong(fadeOut != 0);
}

void SDLSystem::pause_song()
{
    logf("pause_song\n");
    if (!soundSystem || !soundSystem->music)
        return;
    soundSystem->pauseSong();
}

void SDLSystem::volume_control(int delta)
{
    logf("volume_control: %i\n", delta);
    if (!soundSystem || !soundSystem->music)
        return;
    if (delta < 0)
        soundSystem->volumeDown();
    else
        soundSystem->volumeUp();
}
