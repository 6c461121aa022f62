// SDLSystem: the System of this platform, on SDL 1.2.
// The operations are spread over several sources by subject:
//   SDL_System.cpp  construction, files, flags, strings, links, errors, log
//   SDL_Events.cpp  message queue, event translation, wait, timers, ticks
//   SDL_Draw.cpp    display, images, drawing, fades, software pointer
//                   (the surface work itself: SDL_Draw.h, SDL_DrawSurface.cpp)
//   SDL_Text.cpp    fonts and text (SDLFont.cpp glyph sets; FontMapping.cpp
//                   the font map and cache)
//   SDL_Sound.cpp   sound effects and music operations
#ifndef MIRANDOL_SDL_SYSTEM_H
#define MIRANDOL_SDL_SYSTEM_H

#include "ReplaceFile.h"
#include "ScratchFile.h"
#include "System.h"

#include <stdio.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

struct SDL_Surface;
struct SDL_mutex;
struct Queue;
struct MapArray;
struct Vector;
class Platform;
class SDLConfig;
class FontMapping;
class SoundSystem;
class SearchNode;
namespace SDLGUI { class SearchPanel; }
namespace SDL_Draw { struct FadeBuffer; class ScaleCache; }

class SDLSystem : public System {
public:
    SDLSystem(Platform *platform, int argc, char **argv);
    ~SDLSystem() override;

    bool is_ready() override;
    bool find_files(char *&name) override;
    bool find_one_file(char *&name) override;
    bool create_file(const char *name, int where) override;
    bool open_file(const char *name) override;
    int get_file_size() override;
    bool seek_file(int pos) override;
    bool read_file(void *buffer, int size) override;
    bool write_file(const void *buffer, int size) override;
    void close_file() override;
    bool commit_file(bool keep) override;
    bool place_files(bool keep) override;
    bool init_display(int width, int height) override;
    void set_window_title(const char *title) override;
    int install_font(const char *name, int where) override;
    FontHandle create_font(const char *face, int height, int flags, int charset, int *ascent,
                           int *descent) override;
    ImageHandle create_image(int width, int height, const uint32_t *pixels,
                             const uint8_t *mask) override;
    void unload_image(ImageHandle image) override;
    int get_text_width(const char *text, FontHandle font) override;
    bool begin_display() override;
    void end_display() override;
    void flip(int effect, int clearFlags, int duration) override;
    void clear_display() override;
    void set_region(int x, int y, int width, int height) override;
    void blt(ImageHandle image, int x, int y, int iX, int iY, int iWidth, int iHeight) override;
    void strech(ImageHandle image, int x, int y, int width, int height) override;
    void v_line(int x, int y, int length, uint32_t colour) override;
    void h_line(int x, int y, int length, uint32_t colour) override;
    int out_text(const char *text, int length, int x, int y, uint32_t colour,
                  FontHandle font) override;
    void fill_rect(int x, int y, int width, int height, uint32_t colour) override;
    bool print(Article *article) override;
    void show_cursor(bool show) override;
    void move_cursor(int x, int y) override;
    void set_cursor(ImageHandle image, int hotX, int hotY) override;
    bool pointer_position(int &x, int &y) override;
    SampleHandle load_sound(const void *buffer, int size, int frequency, int flags) override;
    void play_sound(SampleHandle sample) override;
    void unload_sound(SampleHandle sample) override;
    bool play_song(const char *name, int loop, const void *data, int size) override;
    bool play_song_file(const char *name, int loop) override;
    void stop_song(int fadeOut) override;
    void pause_song() override;
    void volume_control(int delta) override;
    MovieHandle open_movie(const char *name, MovieInfo *info) override;
    void next_movie_frame(MovieHandle movie) override;
    void draw_movie(MovieHandle movie, int x, int y, int width, int height) override;
    void close_movie(MovieHandle movie) override;
    uint32_t get_ticks() override;
    void start_timer(int message, int period) override;
    void stop_timer(int message) override;
    bool get_message(int &message, int &parameter) override;
    void wait_event() override;
    void post_message(int message, int parameter) override;
    bool quit_requested() override { return quitRequested(); }
    int get_user_flag(int index) override;
    const char *get_user_string(int index) override;
    bool open_link(const char *target) override;
    bool put_to_clipboard(const char *text) override;
    bool indexing_progress(int count) override;
    bool search(SearchIndex *index, char *&word, char *&fileName) override;
    void critical_check(const void *pointer) override;
    void set_error_message(const char *text) override;
    void report(const char *text) override;
    void spare() override;

    const char *get_error_message() const { return errorMessage; }
    SDLConfig *getConfig() { return config; }
    bool verbose() const;
    // Writes one operation-log line (printf format) when "verbose" is on.
    void logf(const char *format, ...) __attribute__((format(printf, 2, 3)));

    // --- files, configuration, platform (SDL_System.cpp) ---
    FILE *openFile = nullptr;   // the current file; the replacement's stream while one is written
    bool openForReading = false;   // the current file came from open_file
    ReplacingFile replacement;  // the file create_file makes by truncation
    bool holdReplacement = false;          // it waits for place_files once committed
    std::vector<ReplacingFile> waiting;    // committed, waiting for place_files
    WalkedPath appended;        // where the file create_file opened for appending lies
    // A scratch copy (FILE_SCRATCH): compared with the file there as it is
    // written, and written itself only when it differs.
    ScratchCopy scratch;
    std::string scratchName;
    // Scratch copies that could not be written, by name; install_font hands
    // them to the font map, which reads them from memory.
    std::map<std::string, std::vector<unsigned char>> unwrittenCopies;
    // Ends the scratch copy: written (keep) or dropped; true when the file
    // holds its bytes. A copy that could not be written is kept in memory.
    bool endScratch(bool keep);
    // Ends the current file: a replacement not committed is discarded.
    void dropCurrentFile();
    // commit_file without its log line (close_file commits too).
    bool commitCurrentFile(bool keep);
    std::string configSong;     // the configuration window's module, the song of the run
    Platform *platform = nullptr;
    SDLConfig *config = nullptr;
    bool ready = false;
    const char *errorMessage = nullptr;
    Vector *homeFiles = nullptr;
    Vector *findList = nullptr;
    int findIndex = -1;
    bool findInProgress = false;
    bool sdlStarted = false;    // SDL_Init succeeded
    bool helpShown = false;     // "-h" ended construction
    bool badCommandLine = false;   // an unknown option or a missing value ended it
    bool magazineFound = false;  // a "*.dat" file lies in the program directory
    // The first regular file of the program directory whose name ends in the
    // suffix (in any case), by its bare name, or null.
    const char *findHomeFile(const char *suffix) const;
    bool indexingStarted = false;
    int indexingCounter = 0;

    // --- display (SDL_Draw.cpp) ---
    SDL_Surface *backBuffer = nullptr;
    void *backBufferPixels = nullptr;   // the back buffer's, calloc'd: untouched pages cost nothing
    // Frees the back buffer and its pixels.
    void dropBackBuffer();
    SDL_Surface *screen = nullptr;
    ImageHandle pointerImage = nullptr;
    int16_t savedPointerX = 0, savedPointerY = 0;
    uint16_t savedPointerW = 0, savedPointerH = 0;
    int32_t hotX = 0, hotY = 0;
    bool pointerShown = false;
    // SDL's own pointer shows while the pointer is shown without a picture.
    void showSystemPointer();
    SDL_Draw::FadeBuffer *fadeBuffer = nullptr;   // made by the first fade
    SDL_Draw::ScaleCache *scaleCache = nullptr;   // owned; made by the first strech

    // --- messages and timers (SDL_Events.cpp) ---
    Queue *messageQueue = nullptr;
    SDL_mutex *queueMutex = nullptr;
    bool hasQueuedMessage();    // true while the message queue is not empty
    // Ctrl+C or a termination request: from now on every fade ends at once on
    // its end picture, and MSG_EXIT is posted (which skips the closing show).
    // Any thread may call it.
    void requestQuit();
    std::atomic<bool> quitAsked{false};
    // Whether a quit (MSG_EXIT or MSG_END) was posted, or asked for by a
    // signal. The modal loops end on it, so that the quit gets through;
    // it is never cleared, as the reader is ending. Any thread.
    bool quitRequested() const;
    std::atomic<bool> quitPosted{false};

    // --- fonts (SDLFont.cpp, FontMapping.cpp) ---
    MapArray *openFonts = nullptr;
    MapArray *fontMap = nullptr;
    FontMapping *fontMapping = nullptr;
    // Makes fontMap at the first call, then puts every entry of fontMapping's
    // map into it, the whole map each time (a look-up in fontMap per entry).
    // Neither map ever replaces the path of a key it holds, so the entries
    // fontMap has stay as they are and the keys mapped since the last call
    // join it. fontMap owns copies of the keys; its paths are fontMapping's
    // own texts, which never move while fontMapping lives.
    void syncFontMap();

    // --- search dialog (SDL_Search.cpp) ---
    SDLGUI::SearchPanel *searchPanel = nullptr;   // owned; made by the first search
    Vector *searchWords = nullptr;      // malloc'd words the word list shows
    Vector *searchArticles = nullptr;   // malloc'd "display\0file name" entries
    // A malloc'd copy of the character stack.
    static char *charsToString(const std::string &stack);
    static const SearchNode *findSearchNode(const SearchNode *node, const char *prefix);
    // Appends every word of the subtree, in byte order, behind the stack;
    // words found only in noscan articles are left out.
    static void collectWords(const SearchNode *tree, std::string &stack, Vector *list);
    // The words that begin with the prefix (lower-cased in place), the
    // prefix itself first when it is a word; as collectWords, only words
    // that some listed article holds.
    static void listCompletions(const SearchNode *root, char *prefix, Vector *list);
    // The same list from the index: read front to back from its laid-out
    // nodes once compact() has run, else walked as above.
    static void listCompletions(const SearchIndex *index, char *prefix, Vector *list);
    // The entries of the articles that contain the word, in index order.
    static void listArticles(const SearchIndex *index, const char *word, Vector *list);

    // --- sound (SDL_Sound.cpp) ---
    SoundSystem *soundSystem = nullptr;
};

#endif
