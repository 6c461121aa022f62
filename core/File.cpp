#include "File.h"
#include "Image.h"

#include <string.h>
#include <strings.h>

#include <memory>
#include <new>
#include <vector>

#include "containr.h"

void (*File::deleteArticle)(Article *article) = nullptr;

uint32_t fileTypeFromName(const char *name)
{
    static const struct {
        const char *extension;
        uint32_t type;
    } types[] = {
        {".txt", FILE_TEXT}, {".jpg", FILE_JPEG}, {".bmp", FILE_BMP}, {".ani", FILE_ANI},
        {".wav", FILE_WAV},  {".ttf", FILE_TTF},  {".xm", FILE_XM},   {".it", FILE_IT},
        {".s3m", FILE_S3M},  {".mod", FILE_MOD},  {".mo3", FILE_MO3}, {".mp3", FILE_MP3},
        {".ogg", FILE_OGG},
    };
    if (!name)
        return FILE_OTHER;
    size_t n = strlen(name);
    size_t from = n > 5 ? n - 5 : 0;
    const char *dot = nullptr;
    for (size_t i = from; i < n; i++)
        if (name[i] == '.')
            dot = name + i;
    if (!dot)
        return FILE_OTHER;
    for (const auto &t : types)
        if (strcasecmp(dot, t.extension) == 0)
            return t.type;
    return FILE_OTHER;
}

File::~File()
{
    if (cached) {
        if (fileType == FILE_TEXT && article && deleteArticle)
            deleteArticle(article);
        else if (fileType == FILE_WAV && sound && g_system)
            g_system->unload_sound(sound);
    }
    // A picture still held elsewhere outlives its File: it must not write
    // back into it when it is released.
    if (image && image->owner == this)
        image->owner = nullptr;
    image = nullptr;
    article = nullptr;
    sound = nullptr;
}

bool File::load(uint8_t *&buffer, uint32_t &size)
{
    std::unique_ptr<uint8_t[]> held;
    uint32_t capacity = 0;
    buffer = nullptr;
    if (!loadInto(held, capacity, size))
        return false;
    buffer = held.release();
    return true;
}

bool File::loadInto(std::unique_ptr<uint8_t[]> &held, uint32_t &capacity, uint32_t &size)
{
    size = 0;
    System *sys = g_system;
    if (!sys)
        return false;
    uint32_t length = 0;
    bool ok = false;

    // The buffer grows to the member's size and two more bytes.
    auto room = [&]() {
        if (capacity >= length + 2)
            return true;
        held.reset(new (std::nothrow) uint8_t[(size_t)length + 2]);
        capacity = held ? length + 2 : 0;
        return held != nullptr;
    };
    if (!loose) {
        // A stored member's two sizes agree; nothing larger than the limit is loaded.
        if (unpSize > FILE_MAX_SIZE || (stored && unpSize != packSize))
            return false;
        if (!sys->open_file(g_container.archiveName.c_str()))
            return false;
        int archiveSize = sys->get_file_size();
        if (archiveSize < 0 || (uint64_t)dataOffset + packSize > (uint64_t)archiveSize ||
            !g_container.seek(dataOffset)) {
            sys->close_file();
            return false;
        }
        length = unpSize;
        if (!room()) {
            sys->close_file();
            return false;
        }
        if (stored)
            ok = g_container.read(held.get(), length);
        else
            ok = g_container.unpackFile(held.get(), packSize, unpSize, unpVer, crc);
        sys->close_file();
    } else {
        if (!sys->open_file(nameOnDisk()))
            return false;
        int fileSize = sys->get_file_size();
        if (fileSize <= 0 || (uint32_t)fileSize > FILE_MAX_SIZE) {
            sys->close_file();
            return false;
        }
        length = (uint32_t)fileSize;
        if (!room()) {
            sys->close_file();
            return false;
        }
        ok = sys->read_file(held.get(), (int)length);
        sys->close_file();
    }
    if (!ok)
        return false;
    held[length] = 0;
    held[length + 1] = 0;
    size = length;
    return true;
}

bool readWavHeader(const uint8_t *bytes, uint32_t size, WavInfo &info)
{
    if (!bytes || size < 44)
        return false;
    info.format = readLE16(bytes + 20);
    info.channels = readLE16(bytes + 22);
    info.sampleRate = readLE32(bytes + 24);
    info.byteRate = readLE32(bytes + 28);
    info.blockAlign = readLE16(bytes + 32);
    info.bitsPerSample = readLE16(bytes + 34);
    info.dataSize = readLE32(bytes + 40);
    if (info.dataSize > size - 44)
        info.dataSize = size - 44;
    return true;
}

SampleHandle File::getSound()
{
    if (fileType != FILE_WAV || !g_system)
        return nullptr;
    if (cached)
        return sound;
    uint8_t *bytes;
    uint32_t size;
    if (!load(bytes, size))
        return nullptr;
    WavInfo info;
    SampleHandle handle = nullptr;
    if (readWavHeader(bytes, size, info)) {
        int flags = (info.channels >= 2 ? 1 : 0) | (info.bitsPerSample == 16 ? 2 : 0);
        handle = g_system->load_sound(bytes + 44, (int)info.dataSize, (int)info.sampleRate, flags);
    }
    delete[] bytes;
    sound = handle;
    cached = handle != nullptr;
    return handle;
}

bool File::playSong(int loop)
{
    if (!isSongType(fileType) || !g_system)
        return false;
    if (loose)
        return g_system->play_song_file(nameOnDisk(), loop);
    uint8_t *bytes;
    uint32_t size;
    if (!load(bytes, size))
        return false;
    bool ok = g_system->play_song(name.c_str(), loop, bytes, (int)size);
    delete[] bytes;
    return ok;
}

bool File::writeVisitedNames(File *node)
{
    System *sys = g_system;
    bool ok = true;
    Tree::forEachInOrder(node, [sys, &ok](File *file) {
        if (ok && file->visited && !file->name.isEmpty())
            ok = sys->write_file(file->name.str, (int)strlen(file->name.str)) &&
                 sys->write_file("\r\n", 2);
    });
    return ok;
}

void File::installFonts(File *node)
{
    System *sys = g_system;
    // One buffer for every font: each read into fresh memory cost more than
    // the copy itself.
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t capacity = 0;
    std::vector<File *> stack;
    if (node)
        stack.push_back(node);
    while (!stack.empty()) {
        File *f = stack.back();
        stack.pop_back();
        // Pre-order: the node, then its left and right subtrees.
        if (f->rightFile())
            stack.push_back(f->rightFile());
        if (f->leftFile())
            stack.push_back(f->leftFile());
        if (f->fileType != FILE_TTF)
            continue;
        uint32_t size;
        if (!f->loadInto(bytes, capacity, size))
            continue;    // an unreadable font does not stop the others
        String fontName(f->name.fileName());
        if (!fontName.isEmpty()) {
            // A scratch copy, made again on every run; the platform still
            // installs it when "temp/" cannot take it.
            if (sys->create_file(fontName.str, FILE_IN_TEMP | FILE_TRUNCATE | FILE_SCRATCH)) {
                sys->write_file(bytes.get(), (int)size);
                sys->close_file();
            }
            sys->install_font(fontName.str, FILE_IN_TEMP);
        }
    }
}
