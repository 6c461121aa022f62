// A recording System for core tests: every call is logged as one line,
// messages are scripted, ticks are set by the test, files live in the
// current directory (with the "save/" and "temp/" rules of the real one).
#ifndef MIRANDOL_FAKE_SYSTEM_H
#define MIRANDOL_FAKE_SYSTEM_H

#include "System.h"

#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

class FakeSystem : public System {
public:
    FakeSystem();
    ~FakeSystem() override;

    // Test controls.
    std::vector<std::string> calls;           // one line per call
    std::deque<std::pair<int, int>> messages; // scripted and posted messages
    std::vector<std::pair<int, int>> posted;  // everything post_message received
    uint32_t ticks = 0;
    std::map<int, int> flags;                 // user flags (defaults as on the real platform)
    std::map<int, std::string> strings;       // user strings
    std::vector<std::string> directory;       // find_files / find_one_file listing (cwd when empty)
    bool displayOk = true;
    bool linkHandled = true;
    bool clipboardHandled = false;
    bool printed = false;
    const char *errorText = nullptr;
    int charWidth = 8;                        // text width per byte
    int waits = 0;
    bool pointerKnown = false;                // pointer_position answers with pointerAt
    std::pair<int, int> pointerAt;
    bool quitting = false;                    // quit_requested; a posted MSG_EXIT or MSG_END sets it

    // Helpers for assertions.
    bool called(const std::string &prefix) const;
    size_t count(const std::string &prefix) const;
    void clearCalls() { calls.clear(); }

    struct FakeImage { int width, height; std::vector<uint32_t> pixels; std::vector<uint8_t> mask; };
    struct FakeFont { std::string face; int height, flags; };
    struct FakeSample { std::vector<uint8_t> data; int frequency, flags; };
    static const FakeImage *image(ImageHandle h) { return reinterpret_cast<const FakeImage *>(h); }
    int liveImages = 0;

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
    bool quit_requested() override { return quitting; }
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

private:
    void log(const char *fmt, ...);
    std::vector<std::string> listing() const;
    FILE *file_ = nullptr;
    std::string createdPath_;
    bool replacing_ = false;            // written beside createdPath_ (".part")
    bool holding_ = false;              // then waits for place_files
    std::vector<std::string> waiting_;  // paths whose ".part" waits
    bool endFile(bool keep);
    std::vector<std::string> findList_;
    int findIndex_ = -1;
    bool finding_ = false;
    std::string foundName_;
};

// Installs a FakeSystem as g_system for the lifetime of the object.
struct FakeSystemScope {
    FakeSystem sys;
    System *previous;
    FakeSystemScope() : previous(g_system) { g_system = &sys; }
    ~FakeSystemScope() { g_system = previous; }
};

#endif
