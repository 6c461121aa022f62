// SDLConfig: the program's own settings, read from its configuration file at
// start and written back after the configuration window.
#ifndef MIRANDOL_SDL_CONFIG_H
#define MIRANDOL_SDL_CONFIG_H

struct Vector;
struct MapArray;
class Platform;

class SDLConfig {
public:
    // Frequencies outside this range would make SDL's audio conversion hang,
    // crash or allocate absurdly; such a setting falls back to the default.
    static const int DEFAULT_MIXING_FREQUENCY = 44100;
    static const int MIN_MIXING_FREQUENCY = 4000;
    static const int MAX_MIXING_FREQUENCY = 192000;
    static bool validMixingFrequency(long frequency)
    {
        return frequency >= MIN_MIXING_FREQUENCY && frequency <= MAX_MIXING_FREQUENCY;
    }

    // Constructs the configuration and reads the file at once.
    static SDLConfig *read(const char *path, Platform *platform);
    ~SDLConfig();

    // Writes the file (through a temporary file, so a failed write keeps the
    // old one). Returns whether the file was written; when not, says so on
    // standard error.
    bool write();
    // Whether the last write failed: the settings of this run are not kept,
    // and the reader ends with status 1.
    bool writeFailed() const { return unsaved; }

    // The items joined by ";" (a new malloc'd text).
    static char *joinList(const Vector *vector);

    bool getFullscreen() const { return fullscreen; }
    bool getVerbose() const { return verbose; }
    bool getEffects() const { return effects; }
    bool getShowConfig() const { return showConfig; }
    bool getMusic() const { return music; }
    bool getSoundEffects() const { return soundEffects; }
    bool *fullscreenRef() { return &fullscreen; }
    bool *verboseRef() { return &verbose; }
    bool *effectsRef() { return &effects; }
    bool *showConfigRef() { return &showConfig; }
    bool *musicRef() { return &music; }
    bool *soundEffectsRef() { return &soundEffects; }
    int getMixingFrequency() const { return mixingFrequency; }
    void setMixingFrequency(int frequency)
    {
        mixingFrequency = validMixingFrequency(frequency) ? frequency : DEFAULT_MIXING_FREQUENCY;
    }
    Vector *getFontPaths() { return fontPaths; }
    Vector *getMixOptions() { return mixOptions; }
    void setEffects(bool on) { effects = on; }
    void setShowConfig(bool on) { showConfig = on; }
    const char *getSong() const { return song && *song ? song : nullptr; }
    void setSong(const char *text) { song = text; }
    const char *getArticle() const { return article; }
    void setArticle(const char *text) { article = text; }
    const char *getExternalLink() const { return externalLink; }
    const char *getPath() const { return path; }

private:
    SDLConfig(const char *path);
    void load(Platform *platform);
    void readBoolean(const char *key, bool &field);

    const char *path;
    bool fullscreen = true;
    bool verbose = false;
    bool effects = true;
    bool showConfig = true;
    bool music = true;
    bool soundEffects = true;
    int mixingFrequency = DEFAULT_MIXING_FREQUENCY;
    Vector *fontPaths = nullptr;
    Vector *mixOptions = nullptr;
    const char *song = nullptr;
    const char *article = nullptr;
    const char *externalLink = nullptr;
    MapArray *entries = nullptr;
    bool unsaved = false;     // the last write failed
};

#endif
