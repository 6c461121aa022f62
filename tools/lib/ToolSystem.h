// A file-only System for the developer tools and the fuzz targets: it knows
// one archive, on disk or in memory, writes nothing, and does nothing for
// display, sound or input.
#ifndef MIRANDOL_TOOLSYSTEM_H
#define MIRANDOL_TOOLSYSTEM_H

#include <stdio.h>

#include <string>
#include <vector>

#include "System.h"

class ToolSystem : public System {
public:
    // The archive file at that path.
    explicit ToolSystem(const std::string &archive) : archive_(archive) {}
    // An archive in memory (not copied), found as name.
    ToolSystem(const uint8_t *data, size_t size, const std::string &name)
        : archive_(name), memory_(data), memorySize_(size), inMemory_(true) {}
    ~ToolSystem() override;

    std::string errorText;
    // Drops the core's reports, for a tool that names those faults itself.
    bool quiet = false;

    bool is_ready() override { return true; }
    bool find_files(char *&name) override { return false; }
    bool find_one_file(char *&name) override;
    bool create_file(const char *name, int where) override { return false; }
    bool open_file(const char *name) override;
    int get_file_size() override;
    bool seek_file(int pos) override;
    bool read_file(void *buffer, int size) override;
    bool write_file(const void *buffer, int size) override { return false; }
    void close_file() override;
    bool commit_file(bool) override { close_file(); return false; }
    bool place_files(bool) override { return false; }
    bool init_display(int width, int height) override { return false; }
    void set_window_title(const char *title) override {}
    int install_font(const char *name, int where) override { return 0; }
    FontHandle create_font(const char *face, int height, int flags, int charset, int *ascent,
                           int *descent) override { return nullptr; }
    ImageHandle create_image(int width, int height, const uint32_t *pixels,
                             const uint8_t *mask) override { return nullptr; }
    void unload_image(ImageHandle image) override {}
    int get_text_width(const char *text, FontHandle font) override { return 0; }
    bool begin_display() override { return false; }
    void end_display() override {}
    void flip(int effect, int clearFlags, int duration) override {}
    void clear_display() override {}
    void set_region(int x, int y, int width, int height) override {}
    void blt(ImageHandle image, int x, int y, int iX, int iY, int iWidth, int iHeight) override {}
    void strech(ImageHandle image, int x, int y, int width, int height) override {}
    void v_line(int x, int y, int length, uint32_t colour) override {}
    void h_line(int x, int y, int length, uint32_t colour) override {}
    int out_text(const char *text, int length, int x, int y, uint32_t colour,
                 FontHandle font) override { return 0; }
    void fill_rect(int x, int y, int width, int height, uint32_t colour) override {}
    bool print(Article *article) override { return false; }
    void show_cursor(bool show) override {}
    void move_cursor(int x, int y) override {}
    void set_cursor(ImageHandle image, int hotX, int hotY) override {}
    SampleHandle load_sound(const void *buffer, int size, int frequency, int flags) override { return nullptr; }
    void play_sound(SampleHandle sample) override {}
    void unload_sound(SampleHandle sample) override {}
    bool play_song(const char *name, int loop, const void *data, int size) override { return false; }
    bool play_song_file(const char *name, int loop) override { return false; }
    void stop_song(int fadeOut) override {}
    void pause_song() override {}
    void volume_control(int delta) override {}
    MovieHandle open_movie(const char *name, MovieInfo *info) override { return nullptr; }
    void next_movie_frame(MovieHandle movie) override {}
    void draw_movie(MovieHandle movie, int x, int y, int width, int height) override {}
    void close_movie(MovieHandle movie) override {}
    uint32_t get_ticks() override { return 0; }
    void start_timer(int message, int period) override {}
    void stop_timer(int message) override {}
    bool get_message(int &message, int &parameter) override { return false; }
    void wait_event() override {}
    void post_message(int message, int parameter) override {}
    int get_user_flag(int index) override { return 0; }
    const char *get_user_string(int index) override { return nullptr; }
    bool open_link(const char *target) override { return false; }
    bool put_to_clipboard(const char *text) override { return false; }
    bool indexing_progress(int count) override { return true; }
    bool search(SearchIndex *index, char *&word, char *&fileName) override { return false; }
    void critical_check(const void *pointer) override {}
    void set_error_message(const char *text) override { errorText = text ? text : ""; }
    void report(const char *text) override
    {
        if (!quiet)
            fprintf(stderr, "%s\n", text ? text : "");
    }
    void spare() override {}

private:
    std::string archive_;
    FILE *file_ = nullptr;
    const uint8_t *memory_ = nullptr;
    size_t memorySize_ = 0;
    bool inMemory_ = false;
    bool memoryOpen_ = false;
    size_t memoryPos_ = 0;
};

#endif
