// Sound effects and music players mixed in the SDL audio callback.
#include "SoundSystem.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <new>

#include <dumb.h>

#include "Messages.h"
#include "Strings.h"
#include "System.h"

namespace {

// Reports the end of a song that does not loop. post_message may be called
// from the audio thread.
void postSongEnded()
{
    if (g_system)
        g_system->post_message(MSG_SONG_ENDED, 0);
}

inline int16_t loadS16(const uint8_t *p)
{
    int16_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

inline void storeS16(uint8_t *p, int16_t v) { memcpy(p, &v, sizeof v); }

} // namespace

bool soundRateUsable(int rate, int deviceRate)
{
    if (rate < SOUND_MIN_RATE || rate > SOUND_MAX_RATE)
        return false;
    if (deviceRate < SOUND_MIN_RATE || deviceRate > SOUND_MAX_RATE)
        return false;
    int hi = rate > deviceRate ? rate : deviceRate;
    int lo = rate > deviceRate ? deviceRate : rate;
    return hi / lo < SOUND_MAX_RATE_RATIO;
}

// --- Sample ---

Sample::~Sample() { delete[] data_; }

Sample *Sample::convert(const void *buffer, int size, int frequency, int flags, int deviceRate)
{
    if (!buffer || size <= 0)
        return nullptr;
    bool sixteen = (flags & SOUND_FLAG_16BIT) != 0;
    int channels = (flags & SOUND_FLAG_STEREO) ? 2 : 1;
    int frameBytes = channels * (sixteen ? 2 : 1);
    size -= size % frameBytes;
    if (size <= 0)
        return nullptr;
    if (!soundRateUsable(frequency, deviceRate)) {
        printf("Sample conversion not possible\n");
        return nullptr;
    }
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, sixteen ? AUDIO_S16LSB : AUDIO_U8, (Uint8)channels, frequency,
                          AUDIO_S16SYS, 2, deviceRate) < 0) {
        printf("Sample conversion not possible\n");
        return nullptr;
    }
    int mult = cvt.len_mult > 0 ? cvt.len_mult : 1;
    if ((size_t)size > (size_t)INT_MAX / (size_t)mult - 16)
        return nullptr;
    size_t capacity = (size_t)size * (size_t)mult;
    uint8_t *data = new (std::nothrow) uint8_t[capacity];
    if (!data)
        return nullptr;
    memcpy(data, buffer, (size_t)size);
    cvt.buf = data;
    cvt.len = size;
    if (SDL_ConvertAudio(&cvt) < 0) {
        delete[] data;
        return nullptr;
    }
    int converted = cvt.len_cvt;
    if (converted < 0 || (size_t)converted > capacity)
        converted = (int)capacity;
    converted -= converted % 4;
    if (converted <= 0) {
        delete[] data;
        return nullptr;
    }
    Sample *sample = new (std::nothrow) Sample(data, (uint32_t)converted);
    if (!sample)
        delete[] data;
    return sample;
}

// --- Player ---

bool Player::hasExtension(const char *name, const char *ext)
{
    if (!name || !ext)
        return false;
    const char *dot = strrchr(name, '.');
    if (!dot || !dot[1])
        return false;
    return strcasecmp(dot + 1, ext) == 0;
}

// --- SamplePlayer ---

void SamplePlayer::mix(uint8_t *stream, int len, DeviceFormat *)
{
    if (!sample || len <= 0)
        return;
    uint32_t left = sample->size() - position;
    uint32_t n = left < (uint32_t)len ? left : (uint32_t)len;
    n &= ~1u;
    const uint8_t *src = sample->data() + position;
    for (uint32_t i = 0; i < n; i += 2) {
        int v = loadS16(stream + i) + loadS16(src + i);
        if (v > 32767)
            v = 32767;
        else if (v < -32768)
            v = -32768;
        storeS16(stream + i, (int16_t)v);
    }
    position += n;
    if (position >= sample->size()) {
        sample = nullptr;
        position = 0;
    }
}

bool SamplePlayer::loadFile(const char *, bool, DeviceFormat *)
{
    fwrite("Sample player does not support loading.\n", 1, 40, stderr);
    return false;
}

bool SamplePlayer::loadMemory(const char *, const void *, int, bool, DeviceFormat *)
{
    fwrite("Sample player does not support loading.\n", 1, 40, stderr);
    return false;
}

void SamplePlayer::stop(bool)
{
    fwrite("Sample player does not support loading.\n", 1, 40, stderr);
}

// --- OggMemoryStream ---

size_t OggMemoryStream::read(void *ptr, size_t size, size_t nmemb, void *stream)
{
    OggMemoryStream *s = static_cast<OggMemoryStream *>(stream);
    if (!s || !ptr || size == 0 || nmemb == 0)
        return 0;
    if (s->position < 0 || s->position >= s->size)
        return 0;
    size_t available = (size_t)(s->size - s->position);
    size_t items = available / size;
    if (items > nmemb)
        items = nmemb;
    size_t bytes = items * size;
    if (bytes == 0)
        return 0;
    memcpy(ptr, s->data + s->position, bytes);
    s->position += (int32_t)bytes;
    return items;
}

int OggMemoryStream::seek(void *stream, ogg_int64_t offset, int whence)
{
    OggMemoryStream *s = static_cast<OggMemoryStream *>(stream);
    if (!s)
        return -1;
    int64_t target;
    switch (whence) {
    case SEEK_SET: target = offset; break;
    case SEEK_CUR: target = (int64_t)s->position + offset; break;
    case SEEK_END: target = (int64_t)s->size + offset; break;
    default: return -1;
    }
    if (target < 0 || target > s->size)
        return -1;
    s->position = (int32_t)target;
    return 0;
}

int OggMemoryStream::close(void *stream)
{
    OggMemoryStream *s = static_cast<OggMemoryStream *>(stream);
    if (s) {
        free(s->data);
        free(s);
    }
    return 0;
}

long OggMemoryStream::tell(void *stream)
{
    OggMemoryStream *s = static_cast<OggMemoryStream *>(stream);
    return s ? s->position : -1;
}

// --- OggVorbisPlayer ---

OggVorbisPlayer::OggVorbisPlayer()
{
    memset(&vf, 0, sizeof vf);
    memset(&conversion, 0, sizeof conversion);
}

OggVorbisPlayer::~OggVorbisPlayer() { release(); }

void OggVorbisPlayer::release()
{
    if (open)
        ov_clear(&vf);
    open = 0;
    convert = false;
    ended = false;
    delete[] convBuffer;
    convBuffer = nullptr;
    convChunk = 0;
    pendingOffset = pendingLength = 0;
}

bool OggVorbisPlayer::loadFile(const char *name, bool loopSong, DeviceFormat *format)
{
    if (!hasExtension(name, "ogg"))
        return false;
    release();
    FILE *file = fopen(name, "rb");
    if (!file)
        return false;
    if (ov_open(file, &vf, nullptr, 0) < 0) {
        fclose(file);
        return false;
    }
    return setUp(loopSong, format);
}

bool OggVorbisPlayer::loadMemory(const char *name, const void *data, int size, bool loopSong,
                                 DeviceFormat *format)
{
    if (!hasExtension(name, "ogg") || !data || size <= 0)
        return false;
    release();
    OggMemoryStream *stream = static_cast<OggMemoryStream *>(malloc(sizeof(OggMemoryStream)));
    if (!stream)
        return false;
    stream->data = static_cast<uint8_t *>(malloc((size_t)size));
    if (!stream->data) {
        free(stream);
        return false;
    }
    memcpy(stream->data, data, (size_t)size);
    stream->position = 0;
    stream->size = size;
    ov_callbacks callbacks = {OggMemoryStream::read, OggMemoryStream::seek,
                              OggMemoryStream::close, OggMemoryStream::tell};
    if (ov_open_callbacks(stream, &vf, nullptr, 0, callbacks) < 0) {
        // A failed open leaves the data source to its owner.
        OggMemoryStream::close(stream);
        return false;
    }
    return setUp(loopSong, format);
}

bool OggVorbisPlayer::setUp(bool loopSong, DeviceFormat *format)
{
    loop = loopSong;
    open = 1;
    ended = false;
    vorbis_info *info = ov_info(&vf, -1);
    if (!info || info->channels < 1 || info->channels > 2 ||
        !soundRateUsable((int)info->rate, format->rate)) {
        release();
        return false;
    }
    convert = false;
    if (info->rate != format->rate || info->channels != format->channels) {
        convert = true;
        if (SDL_BuildAudioCVT(&conversion, AUDIO_S16SYS, (Uint8)info->channels, (int)info->rate,
                              AUDIO_S16SYS, (Uint8)format->channels, format->rate) < 0) {
            release();
            return false;
        }
        // Decode in chunks of whole source frames; the buffer holds one chunk
        // after conversion.
        int frame = info->channels * 2;
        convChunk = 4096 - 4096 % frame;
        int mult = conversion.len_mult > 0 ? conversion.len_mult : 1;
        convBuffer = new (std::nothrow) uint8_t[(size_t)convChunk * (size_t)mult];
        if (!convBuffer) {
            release();
            return false;
        }
    }
    return true;
}

void OggVorbisPlayer::mix(uint8_t *stream, int len, DeviceFormat *format)
{
    if (!open || len <= 0)
        return;
    int frame = format->channels * (format->bits / 8);
    if (frame <= 0)
        return;
    int remaining = len - len % frame;
    uint8_t *out = stream;
    int bitstream = 0;
    while (remaining > 0) {
        int n;
        if (!convert) {
            n = (int)ov_read(&vf, reinterpret_cast<char *>(out), remaining, 0, 2, 1, &bitstream);
        } else {
            if (pendingLength == 0) {
                int r = (int)ov_read(&vf, reinterpret_cast<char *>(convBuffer), convChunk, 0, 2, 1,
                                     &bitstream);
                if (r > 0) {
                    conversion.buf = convBuffer;
                    conversion.len = r;
                    if (SDL_ConvertAudio(&conversion) < 0)
                        break;
                    int produced = conversion.len_cvt;
                    int capacity = convChunk * (conversion.len_mult > 0 ? conversion.len_mult : 1);
                    if (produced > capacity)
                        produced = capacity;
                    pendingOffset = 0;
                    pendingLength = produced - produced % frame;
                    continue;
                }
                n = r;
            } else {
                n = pendingLength < remaining ? pendingLength : remaining;
                memcpy(out, convBuffer + pendingOffset, (size_t)n);
                pendingOffset += n;
                pendingLength -= n;
            }
        }
        if (n > 0) {
            out += n;
            remaining -= n;
            continue;
        }
        if (n == 0) {
            // End of the song: the rest of this buffer stays silent.
            if (loop) {
                ov_raw_seek(&vf, 0);
                pendingLength = 0;
            } else if (!ended) {
                ended = true;
                postSongEnded();
            }
        }
        break;
    }
}

void OggVorbisPlayer::stop(bool)
{
    release();
}

// --- DumbPlayer ---

DumbPlayer::DumbPlayer() { dumb_register_stdfiles(); }

DumbPlayer::~DumbPlayer()
{
    release();
    dumb_exit();
}

void DumbPlayer::release()
{
    if (renderer)
        duh_end_sigrenderer(renderer);
    renderer = nullptr;
    if (module)
        unload_duh(module);
    module = nullptr;
    if (memoryFile)
        dumbfile_close(memoryFile);
    memoryFile = nullptr;
    free(moduleCopy);
    moduleCopy = nullptr;
    state = STOPPED;
}

namespace {

enum ModuleKind { MODULE_NONE, MODULE_IT, MODULE_S3M, MODULE_XM, MODULE_MOD };

ModuleKind moduleKind(const char *name)
{
    if (Player::hasExtension(name, "it"))
        return MODULE_IT;
    if (Player::hasExtension(name, "s3m"))
        return MODULE_S3M;
    if (Player::hasExtension(name, "xm"))
        return MODULE_XM;
    if (Player::hasExtension(name, "mod"))
        return MODULE_MOD;
    return MODULE_NONE;
}

} // namespace

void DumbPlayer::start(DeviceFormat *format)
{
    renderer = duh_start_sigrenderer(module, 0, format->channels, 0);
    if (!renderer) {
        state = STOPPED;
        return;
    }
    if (!loop) {
        // A song that does not loop ends where the module would jump back.
        DUMB_IT_SIGRENDERER *it = duh_get_it_sigrenderer(renderer);
        if (it) {
            dumb_it_set_loop_callback(it, dumb_it_callback_terminate, nullptr);
            dumb_it_set_xm_speed_zero_callback(it, dumb_it_callback_terminate, nullptr);
        }
    }
    state = PLAYING;
}

bool DumbPlayer::loadFile(const char *name, bool loopSong, DeviceFormat *format)
{
    ModuleKind kind = moduleKind(name);
    if (kind == MODULE_NONE)
        return false;
    release();
    loop = loopSong;
    switch (kind) {
    case MODULE_IT: module = dumb_load_it_quick(name); break;
    case MODULE_S3M: module = dumb_load_s3m_quick(name); break;
    case MODULE_XM: module = dumb_load_xm_quick(name); break;
    case MODULE_MOD: module = dumb_load_mod_quick(name); break;
    default: break;
    }
    if (module)
        start(format);
    return renderer != nullptr;
}

bool DumbPlayer::loadMemory(const char *name, const void *data, int size, bool loopSong,
                            DeviceFormat *format)
{
    ModuleKind kind = moduleKind(name);
    if (kind == MODULE_NONE || !data || size <= 0)
        return false;
    release();
    loop = loopSong;
    moduleCopy = static_cast<char *>(malloc((size_t)size));
    if (!moduleCopy)
        return false;
    memcpy(moduleCopy, data, (size_t)size);
    memoryFile = dumbfile_open_memory(moduleCopy, size);
    if (!memoryFile)
        return false;
    switch (kind) {
    case MODULE_IT: module = dumb_read_it_quick(memoryFile); break;
    case MODULE_S3M: module = dumb_read_s3m_quick(memoryFile); break;
    case MODULE_XM: module = dumb_read_xm_quick(memoryFile); break;
    case MODULE_MOD: module = dumb_read_mod_quick(memoryFile); break;
    default: break;
    }
    if (module)
        start(format);
    return renderer != nullptr;
}

void DumbPlayer::mix(uint8_t *stream, int len, DeviceFormat *format)
{
    if (!renderer || len <= 0)
        return;
    if (state == FADING) {
        // Less than half a step left counts as silence.
        double v = (double)format->volume - 0.05;
        if (v < 0.025) {
            state = STOPPED;
            format->volume = 1.0f;
        } else {
            format->volume = (float)v;
        }
    }
    if (state == STOPPED) {
        duh_end_sigrenderer(renderer);
        renderer = nullptr;
        return;
    }
    int frameBytes = format->channels * (format->bits / 8);
    if (frameBytes <= 0)
        return;
    long frames = len / frameBytes;
    long rendered = duh_render(renderer, format->bits, 0, format->volume,
                               65536.0f / (float)format->rate, frames, stream);
    if (rendered < 0)
        rendered = 0;
    if (rendered < frames) {
        memset(stream + rendered * frameBytes, 0, (size_t)((frames - rendered) * frameBytes));
        duh_end_sigrenderer(renderer);
        renderer = nullptr;
        if (loop) {
            renderer = duh_start_sigrenderer(module, 0, format->channels, 0);
            if (!renderer)
                state = STOPPED;
        } else {
            state = STOPPED;
            postSongEnded();
        }
    }
}

void DumbPlayer::stop(bool fadeOut)
{
    state = (fadeOut && renderer) ? FADING : STOPPED;
}

// --- DumbAndOgg ---

DumbAndOgg::DumbAndOgg(int frequency)
{
    if (frequency < SOUND_MIN_RATE || frequency > SOUND_MAX_RATE) {
        fprintf(stderr, "Mixing frequency %i refused, using %i\n", frequency, (int)SOUND_DEFAULT_RATE);
        frequency = SOUND_DEFAULT_RATE;
    }
    format.channels = 2;
    format.bits = 16;
    format.rate = frequency;
    format.volume = 1.0f;

    if (SDL_WasInit(SDL_INIT_AUDIO) == 0) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) {
            fprintf(stderr, "Couldn't initialize audio subsystem: %s\n", SDL_GetError());
            return;
        }
        audioStartedHere = true;
    }
    SDL_AudioSpec desired;
    memset(&desired, 0, sizeof desired);
    desired.freq = frequency;
    desired.format = AUDIO_S16SYS;
    desired.channels = 2;
    desired.samples = SOUND_BUFFER_FRAMES;
    desired.callback = audioCallback;
    desired.userdata = this;
    // The players exist before the audio thread starts; the lock taken once
    // it runs publishes them to it.
    musicPlayers[0] = new OggVorbisPlayer();
    musicPlayers[1] = new DumbPlayer();
    samplePlayer = new SamplePlayer();
    dumb_register_stdfiles();
    if (SDL_OpenAudio(&desired, nullptr) < 0) {
        fprintf(stderr, "Couldn't open audio: %s\n", SDL_GetError());
        for (Player *&p : musicPlayers) {
            delete p;
            p = nullptr;
        }
        delete samplePlayer;
        samplePlayer = nullptr;
        return;
    }
    SDL_LockAudio();
    deviceOpen = true;
    SDL_UnlockAudio();
    SDL_PauseAudio(0);
}

DumbAndOgg::~DumbAndOgg()
{
    if (deviceOpen)
        SDL_CloseAudio();   // waits for the audio thread to end
    deviceOpen = false;
    current = nullptr;
    for (Player *&p : musicPlayers) {
        delete p;
        p = nullptr;
    }
    delete samplePlayer;
    samplePlayer = nullptr;
    if (audioStartedHere)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void DumbAndOgg::audioCallback(void *userdata, Uint8 *stream, int len)
{
    static_cast<DumbAndOgg *>(userdata)->mixInto(stream, len);
}

void DumbAndOgg::mixInto(uint8_t *stream, int len)
{
    if (current)
        current->mix(stream, len, &format);
    if (samplePlayer)
        samplePlayer->mix(stream, len, &format);
}

bool DumbAndOgg::playSong(const char *name, const void *data, int size, bool loop, bool fromFile)
{
    if (!deviceOpen || !name)
        return false;
    SDL_LockAudio();
    current = nullptr;
    format.volume = 1.0f;
    SDL_UnlockAudio();

    // No longer mixed: the players may be reloaded without the lock.
    Player *accepted = nullptr;
    for (Player *p : musicPlayers) {
        bool ok = fromFile ? p->loadFile(name, loop, &format)
                           : p->loadMemory(name, data, size, loop, &format);
        if (ok) {
            accepted = p;
            break;
        }
    }
    if (!accepted && fromFile) {
        // Names from the magazine are lower case; files on disk may not be.
        char *found = findFileIgnoringCase(name);
        if (found && strcmp(found, name) != 0) {
            for (Player *p : musicPlayers) {
                if (p->loadFile(found, loop, &format)) {
                    accepted = p;
                    break;
                }
            }
        }
        delete[] found;
    }
    SDL_LockAudio();
    current = accepted;
    SDL_UnlockAudio();
    return accepted != nullptr;
}

bool DumbAndOgg::playSongFromMemory(const char *name, const void *data, int size, bool loop)
{
    return playSong(name, data, size, loop, false);
}

bool DumbAndOgg::playSongFromFile(const char *name, bool loop)
{
    return playSong(name, nullptr, 0, loop, true);
}

bool DumbAndOgg::playSample(Sample *sample)
{
    if (!deviceOpen || !samplePlayer)
        return false;
    SDL_LockAudio();
    samplePlayer->setSample(sample);
    SDL_UnlockAudio();
    return true;
}

void DumbAndOgg::stopSong(bool fadeOut)
{
    if (!deviceOpen)
        return;
    SDL_LockAudio();
    if (current)
        current->stop(fadeOut);
    SDL_UnlockAudio();
}

void DumbAndOgg::pauseSong() {}

void DumbAndOgg::volumeDown()
{
    if (!deviceOpen)
        return;
    SDL_LockAudio();
    // Less than half a step left counts as silence, so ten steps from full
    // volume end exactly at 0.
    double v = (double)format.volume - 0.1;
    format.volume = v < 0.05 ? 0.0f : (float)v;
    SDL_UnlockAudio();
}

void DumbAndOgg::volumeUp()
{
    if (!deviceOpen)
        return;
    SDL_LockAudio();
    format.volume = (float)((double)format.volume + 0.1);
    SDL_UnlockAudio();
}

float DumbAndOgg::volume() const
{
    SDL_LockAudio();
    float v = format.volume;
    SDL_UnlockAudio();
    return v;
}

Sample *DumbAndOgg::loadSample(const void *buffer, int size, int frequency, int flags)
{
    if (!deviceOpen)
        return nullptr;
    return Sample::convert(buffer, size, frequency, flags, format.rate);
}

void DumbAndOgg::unloadSample(Sample *sample)
{
    if (!sample)
        return;
    if (deviceOpen && samplePlayer) {
        SDL_LockAudio();
        if (samplePlayer->isPlaying(sample))
            samplePlayer->setSample(nullptr);
        SDL_UnlockAudio();
    }
    delete sample;
}

SoundSystem *createSoundSystem(int mixingFrequency, bool music, bool effects)
{
    if (!music && !effects)
        return nullptr;
    DumbAndOgg *system = new DumbAndOgg(mixingFrequency);
    system->music = music;
    system->effects = effects;
    return system;
}

char *findFileIgnoringCase(const char *name)
{
    if (!name || !*name)
        return nullptr;
    struct stat st;
    if (stat(name, &st) == 0 && S_ISREG(st.st_mode))
        return String::duplicate(name);
    const char *slash = strrchr(name, '/');
    const char *base = slash ? slash + 1 : name;
    if (!*base)
        return nullptr;
    size_t dirLength = slash ? (size_t)(slash - name) + 1 : 0;   // keeps the '/'
    char *dirName;
    if (dirLength) {
        dirName = new char[dirLength + 1];
        memcpy(dirName, name, dirLength);
        dirName[dirLength] = 0;
    } else {
        dirName = String::duplicate(".");
    }
    DIR *dir = opendir(dirName);
    delete[] dirName;
    if (!dir)
        return nullptr;
    char *best = nullptr;   // first match in name order
    while (struct dirent *entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, base) != 0)
            continue;
        if (!best || strcmp(entry->d_name, best) < 0) {
            delete[] best;
            best = String::duplicate(entry->d_name);
        }
    }
    closedir(dir);
    if (!best)
        return nullptr;
    size_t bestLength = strlen(best);
    char *path = new char[dirLength + bestLength + 1];
    memcpy(path, name, dirLength);
    memcpy(path + dirLength, best, bestLength + 1);
    delete[] best;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        delete[] path;
        return nullptr;
    }
    return path;
}
