// Sound effects and music players mixed in the SDL audio callback.
#include "SoundSystem.h"

#include <dirent.h>
#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <new>
#include <vector>

#include <dumb.h>

#include "Messages.h"
#include "ReplaceFile.h"
#include "Strings.h"
#include "System.h"

namespace {

// Reports the end of a song that does not loop. post_message may be called
// from the audio thread.
void postSongEnded()
{
    System *system = g_system;   // read once: teardown clears it
    if (system)
        system->post_message(MSG_SONG_ENDED, 0);
}

inline int16_t loadS16(const uint8_t *p)
{
    int16_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

inline void storeS16(uint8_t *p, int16_t v) { memcpy(p, &v, sizeof v); }

// Scales 16-bit samples by the music volume (0.0 to 1.0, so nothing clips).
void applyVolume(uint8_t *bytes, int length, float volume)
{
    if (volume >= 1.0f)
        return;
    for (int i = 0; i + 1 < length; i += 2)
        storeS16(bytes + i, (int16_t)lrintf((float)loadS16(bytes + i) * volume));
}

bool reserveSamples(std::vector<int16_t> &v, size_t count)
{
    try {
        v.reserve(count);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

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
    size_t frames = (size_t)size / (size_t)frameBytes;
    if (frames == 0)
        return nullptr;
    if (!soundRateUsable(frequency, deviceRate)) {
        printf("Sample conversion not possible\n");
        return nullptr;
    }
    // To 16-bit stereo at the sample's own rate.
    std::vector<int16_t> source;
    if (!reserveSamples(source, frames * 2))
        return nullptr;
    const uint8_t *in = static_cast<const uint8_t *>(buffer);
    for (size_t i = 0; i < frames * (size_t)channels; i++) {
        int16_t v = sixteen ? (int16_t)(in[2 * i] | (in[2 * i + 1] << 8))
                            : (int16_t)((in[i] - 128) * 256);
        source.push_back(v);
        if (channels == 1)
            source.push_back(v);
    }
    size_t outFrames = frames;
    if (frequency != deviceRate) {
        // Room for the rounded-up length; the resampler says what it wrote.
        outFrames = (size_t)((double)frames * deviceRate / frequency) + 2;
    }
    if (outFrames > (size_t)INT_MAX / 4)
        return nullptr;
    uint8_t *data = new (std::nothrow) uint8_t[outFrames * 4];
    if (!data)
        return nullptr;
    if (frequency == deviceRate) {
        memcpy(data, source.data(), frames * 4);
    } else {
        soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        size_t done = 0;
        soxr_error_t error = soxr_oneshot(frequency, deviceRate, 2, source.data(), frames, nullptr,
                                          data, outFrames, &done, &io, &quality, &runtime);
        if (error || done == 0) {
            delete[] data;
            printf("Sample conversion not possible\n");
            return nullptr;
        }
        outFrames = done;
    }
    Sample *sample = new (std::nothrow) Sample(data, (uint32_t)(outFrames * 4));
    if (!sample)
        delete[] data;
    return sample;
}

void mixDownFrame(const int16_t *in, int channels, int16_t *left, int16_t *right)
{
    if (channels <= 1) {
        *left = *right = channels == 1 ? in[0] : 0;
        return;
    }
    if (channels == 2) {
        *left = in[0];
        *right = in[1];
        return;
    }
    // Side of each channel in the Vorbis order: 'l', 'r', 'c' (both), 'x'
    // (left out: the low-frequency channel).
    static const char *const SIDES[9] = {"", "c", "lr", "lcr", "lrlr", "lcrlr", "lcrlrx", "lcrlrcx",
                                         "lcrlrlrx"};
    const char *sides = channels <= 8 ? SIDES[channels] : nullptr;
    double l = 0, r = 0, lWeight = 0, rWeight = 0;
    for (int c = 0; c < channels; c++) {
        char side = sides ? sides[c] : 'c';
        double gain = side == 'c' ? 0.7071 : 1.0;
        if (side == 'l' || side == 'c') {
            l += gain * in[c];
            lWeight += gain;
        }
        if (side == 'r' || side == 'c') {
            r += gain * in[c];
            rWeight += gain;
        }
    }
    // Dividing by the weights keeps the result within 16 bits.
    *left = (int16_t)lrint(lWeight > 0 ? l / lWeight : 0);
    *right = (int16_t)lrint(rWeight > 0 ? r / rWeight : 0);
}

soxr_t newStereoResampler(int fromRate, int toRate)
{
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    soxr_t resampler = soxr_create(fromRate, toRate, 2, &error, &io, &quality, &runtime);
    if (error) {
        soxr_delete(resampler);
        return nullptr;
    }
    return resampler;
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
}

OggVorbisPlayer::~OggVorbisPlayer() { release(); }

void OggVorbisPlayer::release()
{
    if (open)
        ov_clear(&vf);
    open = 0;
    convert = false;
    ended = false;
    if (resampler)
        soxr_delete(resampler);
    resampler = nullptr;
    draining = false;
    sourceChannels = 0;
    decoded = std::vector<int16_t>();
    stereo = std::vector<int16_t>();
    converted = std::vector<uint8_t>();
    pendingOffset = pendingLength = 0;
}

bool OggVorbisPlayer::loadFile(const char *name, bool loopSong, DeviceFormat *format)
{
    if (!hasExtension(name, "ogg"))
        return false;
    release();
    FILE *file = openRegularFile(name, "rb");   // a FIFO or a device: no song
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
    if (!info || info->channels < 1 || !soundRateUsable((int)info->rate, format->rate) ||
        format->channels != 2 || format->bits != 16) {
        release();
        return false;
    }
    convert = info->rate != format->rate || info->channels != format->channels;
    if (!convert)
        return true;
    // Songs with more channels than the device are mixed down, songs at
    // another rate resampled: both in chunks of decoded source frames.
    sourceChannels = info->channels;
    if (info->rate != format->rate) {
        resampler = newStereoResampler((int)info->rate, format->rate);
        if (!resampler) {
            release();
            return false;
        }
    }
    size_t outFrames = CHUNK_FRAMES;
    if (resampler)
        outFrames = (size_t)((double)CHUNK_FRAMES * format->rate / info->rate) + 256;
    try {
        decoded.resize((size_t)CHUNK_FRAMES * (size_t)sourceChannels);
        stereo.resize((size_t)CHUNK_FRAMES * 2);
        converted.resize(outFrames * 4);
    } catch (const std::bad_alloc &) {
        release();
        return false;
    }
    return true;
}

int OggVorbisPlayer::convertNext()
{
    const size_t capacity = converted.size() / 4;   // output frames
    size_t produced = 0;
    pendingOffset = 0;
    while (!draining) {
        int bitstream = 0;
        int want = CHUNK_FRAMES * sourceChannels * 2;
        int r = (int)ov_read(&vf, reinterpret_cast<char *>(decoded.data()), want, 0, 2, 1,
                             &bitstream);
        if (r < 0)
            return -1;
        if (r == 0) {
            draining = true;
            break;
        }
        int frames = r / (sourceChannels * 2);
        for (int i = 0; i < frames; i++)
            mixDownFrame(&decoded[(size_t)i * sourceChannels], sourceChannels, &stereo[2 * i],
                         &stereo[2 * i + 1]);
        if (resampler) {
            soxr_process(resampler, stereo.data(), (size_t)frames, nullptr, converted.data(),
                         capacity, &produced);
        } else {
            memcpy(converted.data(), stereo.data(), (size_t)frames * 4);
            produced = (size_t)frames;
        }
        pendingLength = (int)(produced * 4);
        // A chunk may yield nothing yet while the resampler fills up.
        if (pendingLength > 0)
            return pendingLength;
    }
    // The stream ended: what the resampler still holds goes out first.
    if (resampler)
        soxr_process(resampler, nullptr, 0, nullptr, converted.data(), capacity, &produced);
    pendingLength = (int)(produced * 4);
    if (pendingLength > 0)
        return pendingLength;
    draining = false;
    if (resampler)
        soxr_clear(resampler);
    return 0;
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
        } else if (pendingLength > 0) {
            n = pendingLength < remaining ? pendingLength : remaining;
            memcpy(out, converted.data() + pendingOffset, (size_t)n);
            pendingOffset += n;
            pendingLength -= n;
        } else {
            int r = convertNext();
            if (r > 0)
                continue;
            n = r;
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
    // The volume keys act on Ogg songs as DUMB's volume does on modules.
    applyVolume(stream, (int)(out - stream), format->volume);
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
    // DUMB opens the file by name itself: a FIFO there would wait for a
    // writer for ever, so only a regular file is handed on.
    struct stat st;
    if (stat(name, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
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
    // Full scale is the ceiling (louder would clip); less than half a step
    // short of it counts as full, so ten steps from silence end exactly at 1.
    double v = (double)format.volume + 0.1;
    format.volume = v > 0.95 ? 1.0f : (float)v;
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
