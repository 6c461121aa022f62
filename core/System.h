// The one contract between the browser core and the platform layer.
// The core reaches screen, files, fonts, sound, time, input and the user's
// settings only through this interface; SDLSystem implements it.
#ifndef MIRANDOL_SYSTEM_H
#define MIRANDOL_SYSTEM_H

#include <stddef.h>
#include <stdint.h>

class Article;
class SearchIndex;

// Opaque handles: the core never looks behind them.
typedef struct SysFont_ *FontHandle;
typedef struct SysImage_ *ImageHandle;
typedef struct SysSample_ *SampleHandle;
typedef struct SysMovie_ *MovieHandle;

// Movie information record handed to open_movie (no movies on this platform).
struct MovieInfo {
    int width;
    int height;
    int frameTime;
};

// User flags (get_user_flag).
enum {
    USER_FLAG_FONT_DPI = 4,
    USER_FLAG_EFFECTS = 5,
    USER_FLAG_MAGAZINE_MUSIC = 6,
    USER_FLAG_ROW_ALIGN = 7,
    USER_FLAG_BYTES_PER_PIXEL = 8,
    USER_FLAG_PIXEL_ORDER = 9,
    USER_FLAG_SWAP_RB = 10,
    USER_FLAG_FAST_JPEG = 11
};

// User strings (get_user_string).
enum {
    USER_STRING_ARTICLE = 4,
    USER_STRING_SONG = 5
};

// create_file "where" bits.
enum {
    FILE_IN_SAVE = 1,
    FILE_IN_TEMP = 2,
    // The named file is replaced whole: the bytes go to a new file beside
    // it, put in place by close_file or commit_file (or place_files).
    FILE_TRUNCATE = 4,
    // With FILE_TRUNCATE: commit_file leaves the file waiting for
    // place_files, so that several files are put in place together.
    FILE_HOLD = 8,
    // With FILE_TRUNCATE: a scratch copy that is made again at every start
    // (the magazine's fonts in "temp/"). It is put in place whole but not
    // synced, and left as it is when it already holds the same bytes. One
    // that cannot be written at all is kept by the platform, so that
    // install_font still finds it.
    FILE_SCRATCH = 16
};

// Positions travel as one word: x in the upper, y in the lower 16 bits.
inline uint32_t makePosition(int x, int y)
{
    return ((uint32_t)(uint16_t)x << 16) | (uint32_t)(uint16_t)y;
}
inline int positionX(uint32_t pos) { return (int16_t)(uint16_t)(pos >> 16); }
inline int positionY(uint32_t pos) { return (int16_t)(uint16_t)(pos & 0xFFFFu); }

// The largest picture create_image takes: at most kMaxImageSide pixels a
// side and kMaxImagePixels in all. A larger one gives no image.
const int kMaxImageSide = 16000;
const size_t kMaxImagePixels = (size_t)32 * 1024 * 1024;

class System {
public:
    virtual bool is_ready() = 0;
    virtual ~System() {}

    // The one current file.
    virtual bool find_files(char *&name) = 0;
    virtual bool find_one_file(char *&name) = 0;
    virtual bool create_file(const char *name, int where) = 0;
    virtual bool open_file(const char *name) = 0;
    virtual int get_file_size() = 0;
    virtual bool seek_file(int pos) = 0;
    virtual bool read_file(void *buffer, int size) = 0;
    virtual bool write_file(const void *buffer, int size) = 0;
    virtual void close_file() = 0;
    // Closes a file made by create_file; true when every byte reached it.
    // When keep is false, or a write or the close failed, the new file is
    // removed and a file it was to replace stays as it was.
    virtual bool commit_file(bool keep) = 0;
    // Puts every file that commit_file left waiting in place (keep), or
    // removes them all; true when all are in place. When one cannot be put
    // in place, the waiting ones are removed, and so are the new names
    // already placed.
    virtual bool place_files(bool keep) = 0;

    // Display, fonts and drawing.
    virtual bool init_display(int width, int height) = 0;
    virtual void set_window_title(const char *title) = 0;
    // Makes the fonts written to "temp/" whose names contain the name known
    // to the font map, scratch copies that could not be written included.
    virtual int install_font(const char *name, int where) = 0;
    virtual FontHandle create_font(const char *face, int height, int flags, int charset,
                                   int *ascent, int *descent) = 0;
    // pixels: width*height host 32-bit words 0x00RRGGBB, rows top to bottom
    // (within kMaxImageSide and kMaxImagePixels).
    // mask: 1 bit per pixel, MSB first, rows padded to 4 bytes; a set bit is transparent.
    virtual ImageHandle create_image(int width, int height, const uint32_t *pixels,
                                     const uint8_t *mask) = 0;
    virtual void unload_image(ImageHandle image) = 0;
    virtual int get_text_width(const char *text, FontHandle font) = 0;
    virtual bool begin_display() = 0;
    virtual void end_display() = 0;
    virtual void flip(int effect, int clearFlags, int duration) = 0;
    virtual void clear_display() = 0;
    virtual void set_region(int x, int y, int width, int height) = 0;
    virtual void blt(ImageHandle image, int x, int y, int iX, int iY, int iWidth, int iHeight) = 0;
    virtual void strech(ImageHandle image, int x, int y, int width, int height) = 0;
    virtual void v_line(int x, int y, int length, uint32_t colour) = 0;
    virtual void h_line(int x, int y, int length, uint32_t colour) = 0;
    // Returns the width drawn (printing carries the difference to the layout's).
    virtual int out_text(const char *text, int length, int x, int y, uint32_t colour,
                         FontHandle font) = 0;
    virtual void fill_rect(int x, int y, int width, int height, uint32_t colour) = 0;
    // Returns whether the article was handed to a printer.
    virtual bool print(Article *article) = 0;

    // Mouse pointer.
    virtual void show_cursor(bool show) = 0;
    virtual void move_cursor(int x, int y) = 0;
    virtual void set_cursor(ImageHandle image, int hotX, int hotY) = 0;
    // Where the pointer rests now, screen pixels; false when the platform
    // cannot tell (the last motion message is then all the core knows).
    virtual bool pointer_position(int &x, int &y) { (void)x, (void)y; return false; }

    // Sound and music.
    virtual SampleHandle load_sound(const void *buffer, int size, int frequency, int flags) = 0;
    virtual void play_sound(SampleHandle sample) = 0;
    virtual void unload_sound(SampleHandle sample) = 0;
    virtual bool play_song(const char *name, int loop, const void *data, int size) = 0;
    virtual bool play_song_file(const char *name, int loop) = 0;
    virtual void stop_song(int fadeOut) = 0;
    virtual void pause_song() = 0;
    virtual void volume_control(int delta) = 0;

    // Movies (none on this platform).
    virtual MovieHandle open_movie(const char *name, MovieInfo *info) = 0;
    virtual void next_movie_frame(MovieHandle movie) = 0;
    virtual void draw_movie(MovieHandle movie, int x, int y, int width, int height) = 0;
    virtual void close_movie(MovieHandle movie) = 0;

    // Time, timers and messages.
    virtual uint32_t get_ticks() = 0;
    virtual void start_timer(int message, int period) = 0;
    virtual void stop_timer(int message) = 0;
    virtual bool get_message(int &message, int &parameter) = 0;
    virtual void wait_event() = 0;
    virtual void post_message(int message, int parameter) = 0;
    // Whether the reader was asked to end (a quit posted, or a signal from
    // outside); it stays asked. Long work stops early then (the layout of an
    // article's pictures, an export), leaving what it was to replace as it was.
    virtual bool quit_requested() { return false; }

    // Settings, links, search, errors.
    virtual int get_user_flag(int index) = 0;
    virtual const char *get_user_string(int index) = 0;
    // Returns whether the platform handed the link on.
    virtual bool open_link(const char *target) = 0;
    // Returns whether the platform put the text on a clipboard.
    virtual bool put_to_clipboard(const char *text) = 0;
    virtual bool indexing_progress(int count) = 0;
    virtual bool search(SearchIndex *index, char *&word, char *&fileName) = 0;
    virtual void critical_check(const void *pointer) = 0;
    virtual void set_error_message(const char *text) = 0;
    // Tells whoever runs the reader about a fault of the magazine that the
    // reader works around (a picture that cannot be read): one line, written
    // at once (on standard error here).
    virtual void report(const char *text) = 0;
    virtual void spare() = 0;
};

// The one System of the program (set by the main loop).
extern System *g_system;

#endif
