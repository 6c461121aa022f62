#include "FakeSystem.h"

#include "Messages.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <dirent.h>
#include <strings.h>

FakeSystem::FakeSystem()
{
    flags[USER_FLAG_FONT_DPI] = 96;
    flags[USER_FLAG_EFFECTS] = 0;
    flags[USER_FLAG_MAGAZINE_MUSIC] = 1;
    flags[USER_FLAG_ROW_ALIGN] = 1;
    flags[USER_FLAG_BYTES_PER_PIXEL] = 4;
    flags[USER_FLAG_PIXEL_ORDER] = 1;
    flags[USER_FLAG_SWAP_RB] = 1;
    flags[USER_FLAG_FAST_JPEG] = 0;
}

FakeSystem::~FakeSystem()
{
    if (file_)
        fclose(file_);
}

void FakeSystem::log(const char *fmt, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    calls.emplace_back(buf);
}

bool FakeSystem::called(const std::string &prefix) const { return count(prefix) > 0; }

size_t FakeSystem::count(const std::string &prefix) const
{
    size_t n = 0;
    for (const auto &c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0)
            n++;
    return n;
}

std::vector<std::string> FakeSystem::listing() const
{
    if (!directory.empty())
        return directory;
    std::vector<std::string> names;
    DIR *d = opendir(".");
    if (!d)
        return names;
    while (struct dirent *e = readdir(d)) {
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
            names.emplace_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool FakeSystem::is_ready() { log("is_ready"); return true; }

bool FakeSystem::find_files(char *&name)
{
    if (!finding_ && name && strcmp(name, "*.*") == 0) {
        log("find_files %s", name);
        findList_ = listing();
        findIndex_ = 0;
        finding_ = true;
    }
    if (findIndex_ < 0 || findIndex_ >= (int)findList_.size()) {
        findIndex_ = -1;
        finding_ = false;
        return false;
    }
    foundName_ = findList_[findIndex_++];
    name = const_cast<char *>(foundName_.c_str());
    return true;
}

bool FakeSystem::find_one_file(char *&name)
{
    log("find_one_file %s", name ? name : "");
    if (!name)
        return false;
    if (name[0] == '*') {
        const char *suffix = name + 1;
        size_t n = strlen(suffix);
        for (const auto &entry : listing()) {
            if (entry.size() >= n && strcasecmp(entry.c_str() + entry.size() - n, suffix) == 0) {
                char *copy = new char[entry.size() + 1];
                memcpy(copy, entry.c_str(), entry.size() + 1);
                name = copy;
                return true;
            }
        }
        return false;
    }
    FILE *f = fopen(name, "rb");
    if (f)
        fclose(f);
    return f != nullptr;
}

bool FakeSystem::create_file(const char *name, int where)
{
    log("create_file %s %d", name, where);
    std::string path = name;
    if (where & FILE_IN_TEMP)
        path = "temp/" + path;
    else if (where & FILE_IN_SAVE)
        path = "save/" + path;
    if (file_)
        fclose(file_);
    // As on the platform: a truncating write goes beside the named file.
    replacing_ = (where & FILE_TRUNCATE) != 0;
    holding_ = (where & FILE_HOLD) != 0;
    file_ = fopen((replacing_ ? path + ".part" : path).c_str(), replacing_ ? "w+b" : "a+b");
    createdPath_ = file_ ? path : std::string();
    return file_ != nullptr;
}

bool FakeSystem::open_file(const char *name)
{
    log("open_file %s", name);
    if (file_)
        fclose(file_);
    file_ = fopen(name, "rb");
    if (!file_)
        file_ = fopen((std::string("temp/") + name).c_str(), "rb");
    return file_ != nullptr;
}

int FakeSystem::get_file_size()
{
    log("get_file_size");
    if (!file_)
        return -1;
    long pos = ftell(file_);
    fseek(file_, 0, SEEK_END);
    long size = ftell(file_);
    fseek(file_, pos, SEEK_SET);
    return (int)size;
}

bool FakeSystem::seek_file(int pos)
{
    log("seek_file %d", pos);
    return file_ && fseek(file_, pos, SEEK_SET) == 0;
}

bool FakeSystem::read_file(void *buffer, int size)
{
    log("read_file %d", size);
    return file_ && size >= 0 && fread(buffer, 1, (size_t)size, file_) == (size_t)size;
}

bool FakeSystem::write_file(const void *buffer, int size)
{
    log("write_file %d", size);
    return file_ && size >= 0 && fwrite(buffer, 1, (size_t)size, file_) == (size_t)size;
}

void FakeSystem::close_file()
{
    log("close_file");
    if (replacing_ && file_)
        endFile(true);
    if (file_)
        fclose(file_);
    file_ = nullptr;
}

bool FakeSystem::endFile(bool keep)
{
    bool ok = file_ && !ferror(file_);
    ok = file_ && fclose(file_) == 0 && ok;
    file_ = nullptr;
    std::string written = replacing_ ? createdPath_ + ".part" : createdPath_;
    if (keep && ok && replacing_) {
        if (holding_)
            waiting_.push_back(createdPath_);
        else
            ok = rename(written.c_str(), createdPath_.c_str()) == 0;
    }
    if ((!keep || !ok) && !createdPath_.empty())
        remove(written.c_str());
    createdPath_.clear();
    replacing_ = holding_ = false;
    return ok && keep;
}

bool FakeSystem::commit_file(bool keep)
{
    log("commit_file %d", keep ? 1 : 0);
    return endFile(keep);
}

bool FakeSystem::place_files(bool keep)
{
    log("place_files %d", keep ? 1 : 0);
    bool ok = keep;
    for (const std::string &path : waiting_) {
        std::string written = path + ".part";
        if (!ok || rename(written.c_str(), path.c_str()) != 0) {
            remove(written.c_str());
            ok = false;
        }
    }
    waiting_.clear();
    return ok;
}

bool FakeSystem::init_display(int width, int height)
{
    log("init_display %d %d", width, height);
    return displayOk;
}

void FakeSystem::set_window_title(const char *title) { log("set_window_title %s", title ? title : ""); }

int FakeSystem::install_font(const char *name, int where)
{
    log("install_font %s %d", name, where);
    return 1;
}

FontHandle FakeSystem::create_font(const char *face, int height, int flags_, int charset, int *ascent,
                                   int *descent)
{
    log("create_font %s %d %x %d", face ? face : "", height, flags_, charset);
    static FakeFont fonts[64];
    static int next = 0;
    FakeFont &f = fonts[next++ % 64];
    f.face = face ? face : "";
    f.height = height;
    f.flags = flags_;
    if (ascent)
        *ascent = height * 3 / 4;
    if (descent)
        *descent = height - height * 3 / 4;
    return reinterpret_cast<FontHandle>(&f);
}

ImageHandle FakeSystem::create_image(int width, int height, const uint32_t *pixels, const uint8_t *mask)
{
    log("create_image %d %d", width, height);
    if (width <= 0 || height <= 0)
        return nullptr;
    FakeImage *img = new FakeImage;
    img->width = width;
    img->height = height;
    if (pixels)
        img->pixels.assign(pixels, pixels + (size_t)width * height);
    if (mask) {
        size_t row = ((size_t)(width + 7) / 8 + 3) & ~(size_t)3;
        img->mask.assign(mask, mask + row * height);
    }
    liveImages++;
    return reinterpret_cast<ImageHandle>(img);
}

void FakeSystem::unload_image(ImageHandle image)
{
    log("unload_image");
    if (image) {
        delete reinterpret_cast<FakeImage *>(image);
        liveImages--;
    }
}

int FakeSystem::get_text_width(const char *text, FontHandle font)
{
    log("get_text_width %s", text ? text : "");
    return text ? (int)strlen(text) * charWidth : 0;
}

bool FakeSystem::begin_display() { log("begin_display"); return true; }
void FakeSystem::end_display() { log("end_display"); }
void FakeSystem::flip(int effect, int clearFlags, int duration) { log("flip %d %d %d", effect, clearFlags, duration); }
void FakeSystem::clear_display() { log("clear_display"); }
void FakeSystem::set_region(int x, int y, int w, int h) { log("set_region %d %d %d %d", x, y, w, h); }
void FakeSystem::blt(ImageHandle, int x, int y, int iX, int iY, int iW, int iH)
{
    log("blt %d %d %d %d %d %d", x, y, iX, iY, iW, iH);
}
void FakeSystem::strech(ImageHandle, int x, int y, int w, int h) { log("strech %d %d %d %d", x, y, w, h); }
void FakeSystem::v_line(int x, int y, int l, uint32_t c) { log("v_line %d %d %d %x", x, y, l, c); }
void FakeSystem::h_line(int x, int y, int l, uint32_t c) { log("h_line %d %d %d %x", x, y, l, c); }
int FakeSystem::out_text(const char *text, int length, int x, int y, uint32_t c, FontHandle)
{
    log("out_text %.*s %d %d %x", length, text ? text : "", x, y, c);
    return length > 0 ? length * charWidth : 0;
}
void FakeSystem::fill_rect(int x, int y, int w, int h, uint32_t c) { log("fill_rect %d %d %d %d %x", x, y, w, h, c); }
bool FakeSystem::print(Article *) { log("print"); return printed; }
void FakeSystem::show_cursor(bool show) { log("show_cursor %d", show ? 1 : 0); }
void FakeSystem::move_cursor(int x, int y) { log("move_cursor %d %d", x, y); }
void FakeSystem::set_cursor(ImageHandle, int hx, int hy) { log("set_cursor %d %d", hx, hy); }
bool FakeSystem::pointer_position(int &x, int &y)
{
    if (pointerKnown) {
        x = pointerAt.first;
        y = pointerAt.second;
    }
    return pointerKnown;
}

SampleHandle FakeSystem::load_sound(const void *buffer, int size, int frequency, int flags_)
{
    log("load_sound %d %d %x", size, frequency, flags_);
    if (!buffer || size <= 0)
        return nullptr;
    FakeSample *s = new FakeSample;
    s->data.assign((const uint8_t *)buffer, (const uint8_t *)buffer + size);
    s->frequency = frequency;
    s->flags = flags_;
    return reinterpret_cast<SampleHandle>(s);
}
void FakeSystem::play_sound(SampleHandle) { log("play_sound"); }
void FakeSystem::unload_sound(SampleHandle s)
{
    log("unload_sound");
    delete reinterpret_cast<FakeSample *>(s);
}
bool FakeSystem::play_song(const char *name, int loop, const void *, int size)
{
    log("play_song %s %d %d", name ? name : "", loop, size);
    return true;
}
bool FakeSystem::play_song_file(const char *name, int loop)
{
    log("play_song_file %s %d", name ? name : "", loop);
    return true;
}
void FakeSystem::stop_song(int fadeOut) { log("stop_song %d", fadeOut); }
void FakeSystem::pause_song() { log("pause_song"); }
void FakeSystem::volume_control(int delta) { log("volume_control %d", delta); }
MovieHandle FakeSystem::open_movie(const char *, MovieInfo *) { log("open_movie"); return nullptr; }
void FakeSystem::next_movie_frame(MovieHandle) {}
void FakeSystem::draw_movie(MovieHandle, int, int, int, int) {}
void FakeSystem::close_movie(MovieHandle) {}
uint32_t FakeSystem::get_ticks() { return ticks; }
void FakeSystem::start_timer(int message, int period) { log("start_timer %d %d", message, period); }
void FakeSystem::stop_timer(int message) { log("stop_timer %d", message); }

bool FakeSystem::get_message(int &message, int &parameter)
{
    if (messages.empty()) {
        message = 0;
        return false;
    }
    message = messages.front().first;
    parameter = messages.front().second;
    messages.pop_front();
    return true;
}

void FakeSystem::wait_event()
{
    log("wait_event");
    waits++;
}

void FakeSystem::post_message(int message, int parameter)
{
    log("post_message %d %d", message, parameter);
    posted.emplace_back(message, parameter);
    messages.emplace_back(message, parameter);
    if (message == MSG_EXIT || message == MSG_END)
        quitting = true;
}

int FakeSystem::get_user_flag(int index)
{
    auto it = flags.find(index);
    return it == flags.end() ? 0 : it->second;
}

const char *FakeSystem::get_user_string(int index)
{
    auto it = strings.find(index);
    return it == strings.end() ? nullptr : it->second.c_str();
}

bool FakeSystem::open_link(const char *target)
{
    log("open_link %s", target ? target : "");
    return linkHandled;
}

bool FakeSystem::put_to_clipboard(const char *text)
{
    log("put_to_clipboard %s", text ? text : "");
    return clipboardHandled;
}

bool FakeSystem::indexing_progress(int count) { return true; }

bool FakeSystem::search(SearchIndex *, char *&, char *&)
{
    log("search");
    return false;
}

void FakeSystem::critical_check(const void *pointer)
{
    if (!pointer)
        log("critical_check failed");
}

void FakeSystem::set_error_message(const char *text)
{
    log("set_error_message %s", text ? text : "");
    errorText = text;
}

void FakeSystem::report(const char *text) { log("report %s", text ? text : ""); }

void FakeSystem::spare() {}
