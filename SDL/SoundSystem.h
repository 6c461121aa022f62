// Sound effects and music. One song plays at a time (a tracker module
// rendered by DUMB or an Ogg Vorbis stream) and over it one sound effect.
// All mixing happens in the SDL audio callback; every change the main
// thread makes to what the callback reads is made under SDL_LockAudio.
#ifndef MIRANDOL_SOUND_SYSTEM_H
#define MIRANDOL_SOUND_SYSTEM_H

#include <stdint.h>
#include <stdio.h>

#include <SDL.h>
#include <soxr.h>
#include <vorbis/vorbisfile.h>

#include <vector>

struct DUH;
struct DUH_SIGRENDERER;
struct DUMBFILE;

// The format every player writes: 16-bit signed host order, interleaved.
struct DeviceFormat {
    int32_t channels;   // always 2
    int32_t bits;       // always 16
    int32_t rate;       // mixing frequency in Hz
    float volume;       // music volume 0.0 to 1.0, applied to modules and Ogg songs
};

// Mixing and sample frequencies outside these bounds are refused.
enum {
    SOUND_MIN_RATE = 4000,
    SOUND_MAX_RATE = 192000,
    SOUND_DEFAULT_RATE = 44100,
    SOUND_MAX_RATE_RATIO = 16,   // furthest apart a source and the device may be
    SOUND_BUFFER_FRAMES = 4096
};

// load_sound flag bits.
enum {
    SOUND_FLAG_STEREO = 1,
    SOUND_FLAG_16BIT = 2
};

// Whether a stream at `rate` can be converted to a device at `deviceRate`.
bool soundRateUsable(int rate, int deviceRate);

// Mixes one frame of `channels` 16-bit samples (Vorbis channel order) down
// to stereo: side channels to their side, centre channels to both, the
// low-frequency channel left out; mono goes to both sides unchanged.
void mixDownFrame(const int16_t *in, int channels, int16_t *left, int16_t *right);

// A resampler for 16-bit stereo between two rates (libsoxr). SDL 1.2's own
// conversion changes rates only by powers of two and skips any other ratio,
// so songs and effects would play at the wrong pitch.
soxr_t newStereoResampler(int fromRate, int toRate);

// A sound effect converted to the device format.
class Sample {
public:
    Sample(uint8_t *data, uint32_t size) : data_(data), size_(size) {}
    ~Sample();
    Sample(const Sample &) = delete;
    Sample &operator=(const Sample &) = delete;

    const uint8_t *data() const { return data_; }
    uint32_t size() const { return size_; }

    // Converts little-endian WAV sample data (unsigned 8-bit, or signed
    // 16-bit with SOUND_FLAG_16BIT; mono, or stereo with SOUND_FLAG_STEREO)
    // to 16-bit stereo at deviceRate, resampled so that it keeps its length
    // in time and its pitch. Null when the data or the rates are unusable.
    static Sample *convert(const void *buffer, int size, int frequency, int flags, int deviceRate);

private:
    uint8_t *data_;
    uint32_t size_;
};

// An audio source mixed by the callback.
class Player {
public:
    virtual ~Player() {}
    // Writes (music) or adds (effects) len bytes of device-format audio.
    virtual void mix(uint8_t *stream, int len, DeviceFormat *format) = 0;
    virtual bool loadFile(const char *name, bool loop, DeviceFormat *format) = 0;
    virtual bool loadMemory(const char *name, const void *data, int size, bool loop,
                            DeviceFormat *format) = 0;
    virtual void stop(bool fadeOut) = 0;

    // True when the text after the last '.' of name equals ext, ignoring case.
    static bool hasExtension(const char *name, const char *ext);
};

class SamplePlayer : public Player {
public:
    void mix(uint8_t *stream, int len, DeviceFormat *format) override;
    bool loadFile(const char *name, bool loop, DeviceFormat *format) override;
    bool loadMemory(const char *name, const void *data, int size, bool loop,
                    DeviceFormat *format) override;
    void stop(bool fadeOut) override;

    void setSample(Sample *s) { sample = s; position = 0; }
    bool isPlaying(const Sample *s) const { return s && sample == s; }
    bool idle() const { return !sample; }

private:
    Sample *sample = nullptr;
    uint32_t position = 0;
};

// An Ogg song held in memory: the player's own copy of the bytes.
struct OggMemoryStream {
    uint8_t *data;
    int32_t position;
    int32_t size;

    static size_t read(void *ptr, size_t size, size_t nmemb, void *stream);
    static int seek(void *stream, ogg_int64_t offset, int whence);
    static int close(void *stream);
    static long tell(void *stream);
};

class OggVorbisPlayer : public Player {
public:
    OggVorbisPlayer();
    ~OggVorbisPlayer() override;
    void mix(uint8_t *stream, int len, DeviceFormat *format) override;
    bool loadFile(const char *name, bool loop, DeviceFormat *format) override;
    bool loadMemory(const char *name, const void *data, int size, bool loop,
                    DeviceFormat *format) override;
    void stop(bool fadeOut) override;

    bool isOpen() const { return open != 0; }
    bool converting() const { return convert; }

private:
    void release();
    bool setUp(bool loopSong, DeviceFormat *format);
    // Decodes, mixes down and resamples the next chunk into the pending
    // buffer; at the stream's end delivers the resampler's tail. Returns the
    // bytes now pending, 0 at the end of the song, -1 on a read error.
    int convertNext();

    enum { CHUNK_FRAMES = 1024 };  // source frames decoded per chunk

    OggVorbis_File vf;
    bool loop = false;
    int open = 0;
    bool convert = false;          // channels or rate differ from the device's
    bool ended = false;            // end-of-song already reported
    // Conversion: the buffers are sized at load time, so the callback
    // allocates nothing. Converted bytes that did not fit the last callback
    // wait in `converted`.
    int sourceChannels = 0;
    soxr_t resampler = nullptr;    // null when only the channels differ
    bool draining = false;         // the stream ended: the resampler's tail goes out
    std::vector<int16_t> decoded;  // one chunk as decoded
    std::vector<int16_t> stereo;   // the chunk mixed down to stereo
    std::vector<uint8_t> converted;
    int pendingOffset = 0;
    int pendingLength = 0;
};

class DumbPlayer : public Player {
public:
    DumbPlayer();
    ~DumbPlayer() override;
    void mix(uint8_t *stream, int len, DeviceFormat *format) override;
    bool loadFile(const char *name, bool loop, DeviceFormat *format) override;
    bool loadMemory(const char *name, const void *data, int size, bool loop,
                    DeviceFormat *format) override;
    void stop(bool fadeOut) override;

    enum { FADING = 0, STOPPED = 1, PLAYING = 2 };
    int getState() const { return state; }
    bool hasRenderer() const { return renderer != nullptr; }

private:
    void release();
    void start(DeviceFormat *format);

    char *moduleCopy = nullptr;
    DUMBFILE *memoryFile = nullptr;
    DUH_SIGRENDERER *renderer = nullptr;
    DUH *module = nullptr;
    int state = STOPPED;
    bool loop = true;
};

class SoundSystem {
public:
    virtual ~SoundSystem() {}
    virtual bool playSongFromMemory(const char *name, const void *data, int size, bool loop) = 0;
    virtual bool playSongFromFile(const char *name, bool loop) = 0;
    virtual bool playSample(Sample *sample) = 0;
    virtual void stopSong(bool fadeOut) = 0;
    virtual void pauseSong() = 0;
    virtual void volumeDown() = 0;
    virtual void volumeUp() = 0;
    // Sound effects in the device format, and their release.
    virtual Sample *loadSample(const void *buffer, int size, int frequency, int flags) = 0;
    virtual void unloadSample(Sample *sample) = 0;

    // The configuration's "music" and "soundEffects" switches.
    bool music = true;
    bool effects = true;
};

class DumbAndOgg : public SoundSystem {
public:
    explicit DumbAndOgg(int frequency);
    ~DumbAndOgg() override;

    bool playSongFromMemory(const char *name, const void *data, int size, bool loop) override;
    bool playSongFromFile(const char *name, bool loop) override;
    bool playSample(Sample *sample) override;
    void stopSong(bool fadeOut) override;
    void pauseSong() override;
    void volumeDown() override;
    void volumeUp() override;
    Sample *loadSample(const void *buffer, int size, int frequency, int flags) override;
    void unloadSample(Sample *sample) override;

    bool hasDevice() const { return deviceOpen; }
    float volume() const;
    int rate() const { return format.rate; }
    Player *currentPlayer() const { return current; }
    // The audio callback's work; tests call it with the device paused.
    void mixInto(uint8_t *stream, int len);

    enum { MUSIC_PLAYERS = 2 };

private:
    static void audioCallback(void *userdata, Uint8 *stream, int len);
    bool playSong(const char *name, const void *data, int size, bool loop, bool fromFile);

    DeviceFormat format;
    Player *musicPlayers[MUSIC_PLAYERS] = {nullptr, nullptr};   // Ogg first, then DUMB
    Player *current = nullptr;
    SamplePlayer *samplePlayer = nullptr;
    bool deviceOpen = false;
    bool audioStartedHere = false;
};

// Opens the audio device at mixingFrequency (44100 when that is unusable)
// and returns the sound system; null when both music and effects are off.
// Without an audio device the object exists and every operation does nothing.
SoundSystem *createSoundSystem(int mixingFrequency, bool music, bool effects);

// Finds `name` on disk, matching its last component without regard to case
// when the exact name does not exist. Returns a new[] path or null.
char *findFileIgnoringCase(const char *name);

#endif
