// Font map, override file and font cache (see FontMapping.h).
#include "FontMapping.h"
#include "ReplaceFile.h"
#include "ScratchFile.h"

#include "SDLFont.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

extern const unsigned char g_fallbackFont[];
extern const size_t g_fallbackFontSize;

bool FontMap::put(const std::string &key, const std::string &path)
{
    if (get(key.c_str()))
        return false;
    items.emplace_back(key, path);
    return true;
}

const char *FontMap::get(const char *key) const
{
    if (!key)
        return nullptr;
    for (const auto &item : items)
        if (item.first == key)
            return item.second.c_str();
    return nullptr;
}

void listFontDirectory(const std::string &dir, std::vector<std::string> &paths)
{
    DIR *d = opendir(dir.c_str());
    if (!d)
        return;
    std::vector<std::string> names;
    while (struct dirent *e = readdir(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
            continue;
        names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names)
        paths.push_back(dir + name);
}

bool readTextLines(const std::string &path, std::vector<std::string> &lines)
{
    // A FIFO or a device, or a file behind someone else's link: missing.
    FILE *f = openOwnRegularFile(path, "r");
    if (!f)
        return false;
    char *buffer = nullptr;
    size_t capacity = 0;
    ssize_t n;
    while ((n = getline(&buffer, &capacity, f)) >= 0) {
        std::string line(buffer, (size_t)n);
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    free(buffer);
    fclose(f);
    return true;
}

FontMapping::FontMapping(const FontLocations &locations, DirectoryLister directoryLister)
    : where(locations), lister(std::move(directoryLister))
{
    if (!lister)
        lister = listFontDirectory;
    if (where.writeFallback)
        createFallback();
    readOverride();
}

void FontMapping::createFallback()
{
    // The magazine's fonts are written to temp/ under their own names; a
    // folder of its own keeps a member called "default.ttf" from replacing
    // the fallback.
    std::string folder = tempDir() + "fallback";
    WalkedPath at;   // not through someone else's link
    if (at.walk(folder))
        mkdirat(at.folder(), at.name().c_str(), 0755);
    fallback = folder + where.separator + "default.ttf";
    // The copy is for other programs; the reader itself opens the fallback
    // from the bytes it carries (openFace), so a read-only folder, a full
    // disk or a temp/ changed under it never takes the fallback away.
    writeScratchFile(fallback, g_fallbackFont, g_fallbackFontSize);
    for (int style = 0; style < 4; style++)
        base.put("default:" + std::to_string(style), fallback);
}

void FontMapping::readOverride()
{
    std::vector<std::string> lines;
    if (where.overridePath.empty() || !readTextLines(where.overridePath, lines))
        return;
    for (const std::string &line : lines) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        base.put(line.substr(0, eq), line.substr(eq + 1));
    }
}

const std::vector<std::string> &FontMapping::cacheLines()
{
    if (!cacheLoaded) {
        cacheLoaded = true;
        if (!where.cachePath.empty())
            readTextLines(where.cachePath, cache);
    }
    return cache;
}

long FontMapping::findCacheSection(const std::string &directory)
{
    const std::vector<std::string> &lines = cacheLines();
    for (size_t i = 0; i < lines.size(); i++)
        if (lines[i] == directory)
            return (long)i + 1;
    return -1;
}

uint32_t FontMapping::dirChecksum(const std::vector<std::string> &paths)
{
    uint32_t sum = 0;
    for (const std::string &path : paths)
        for (size_t i = 0; i < path.size(); i++)
            sum += (uint32_t)i * (uint32_t)(unsigned char)path[i];
    return sum;
}

bool FontMapping::readCacheChecksum(const std::string &directory, uint32_t &checksum)
{
    long at = findCacheSection(directory);
    const std::vector<std::string> &lines = cacheLines();
    if (at < 0 || (size_t)at >= lines.size())
        return false;
    const std::string &text = lines[(size_t)at];
    char *end = nullptr;
    long long value = strtoll(text.c_str(), &end, 10);
    if (end == text.c_str())
        return false;
    checksum = (uint32_t)value;
    return true;
}

void FontMapping::readCacheSection(const std::string &directory, FontMap &map)
{
    long at = findCacheSection(directory);
    const std::vector<std::string> &lines = cacheLines();
    if (at < 0)
        return;
    for (size_t i = (size_t)at + 1; i < lines.size(); i++) {
        size_t eq = lines[i].find('=');
        if (eq == std::string::npos)
            break;
        map.put(lines[i].substr(0, eq), lines[i].substr(eq + 1));
    }
}

void FontMapping::scanDir(const std::string &directory, FontMap &map)
{
    std::vector<std::string> paths;
    lister(directory, paths);
    addFontFile(paths, map);
}

void FontMapping::build(const std::string &directory)
{
    bool system = !where.systemFontDir.empty() && directory == where.systemFontDir;
    buildFolder(directory, system ? kSystemFontDepth : 0);
}

static bool isFolder(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void FontMapping::buildFolder(const std::string &directory, int depth)
{
    for (const Section &s : sections)
        if (s.directory == directory)
            return;
    std::vector<std::string> paths;
    lister(directory, paths);
    Section section;
    section.directory = directory;
    section.checksum = dirChecksum(paths);
    uint32_t cached = 0;
    // A directory without a cache section is always scanned, even when its
    // checksum happens to be 0.
    if (readCacheChecksum(directory, cached) && cached == section.checksum)
        readCacheSection(directory, section.fonts);
    else
        addFontFile(paths, section.fonts);
    sections.push_back(std::move(section));
    if (depth <= 0)
        return;
    for (const std::string &path : paths)
        if (isFolder(path))
            buildFolder(path + where.separator, depth - 1);
}

std::string FontMapping::cacheText() const
{
    std::string text;
    char checksum[16];
    for (const Section &s : sections) {
        snprintf(checksum, sizeof checksum, "%i", (int32_t)s.checksum);
        text += s.directory + "\n" + checksum + "\n";
        for (const auto &item : s.fonts.entries())
            text += item.first + "=" + item.second + "\n";
    }
    return text;
}

bool FontMapping::writeCache() const
{
    if (where.cachePath.empty())
        return false;
    std::string text = cacheText();
    // Unchanged (as at most starts): not written again.
    if (fileHolds(where.cachePath, text.data(), text.size()))
        return true;
    // Replaced whole, so a cache that was cut short is never read.
    ReplacingFile file;
    FILE *f = file.open(where.cachePath);
    bool ok = f != nullptr;
    if (f)
        ok = file.commit(fwrite(text.data(), 1, text.size(), f) == text.size());
    if (!ok)
        fprintf(stderr, "Could not save the font cache\n");   // rebuilt at the next start
    return ok;
}

const FontMap &FontMapping::buildMap()
{
    for (const Section &s : sections)
        for (const auto &item : s.fonts.entries())
            base.put(item.first, item.second);
    return base;
}

// Style number of a style name, and whether the name is one of the known
// ones. Unknown names ("ExtraLight", "Condensed Bold") count as regular, but
// only where no face of that family has a known regular name: otherwise the
// file that happens to be listed first (DejaVuSans-BoldOblique.ttf sorts
// before DejaVuSans.ttf) would be taken for the regular face.
static int styleOf(const char *name, bool &known)
{
    static const struct {
        const char *name;
        int style;
    } names[] = {{"regular", 0}, {"book", 0},        {"normal", 0},      {"roman", 0},
                 {"bold", 1},    {"italic", 2},      {"oblique", 2},     {"bold italic", 3},
                 {"bold oblique", 3}};
    known = false;
    if (!name)
        return 0;   // no style name: regular
    for (const auto &n : names)
        if (strcasecmp(name, n.name) == 0) {
            known = true;
            return n.style;
        }
    return 0;
}

namespace {

// A FreeType stream over an open font file. The record (allocated with new)
// holds the descriptor; FreeType closes the stream when the face is done or
// when the face cannot be opened, and the record goes with it.
unsigned long readFontStream(FT_Stream stream, unsigned long offset, unsigned char *buffer,
                             unsigned long count)
{
    if (count == 0)   // a seek: fails only past the end
        return offset > stream->size ? 1 : 0;
    int fd = (int)stream->descriptor.value;
    unsigned long done = 0;
    while (done < count) {
        ssize_t n = pread(fd, buffer + done, count - done, (off_t)(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += (unsigned long)n;
    }
    return done;
}

void closeFontStream(FT_Stream stream)
{
    close((int)stream->descriptor.value);
    delete stream;
}

// Opens face 0 of the file at path when it is a regular file. Anything else
// (a FIFO, a device, a folder) is no font and is never waited on: it is
// opened without blocking and looked at before FreeType reads a byte.
FT_Error openRegularFace(FT_Library library, const std::string &path, FT_Face *face)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return FT_Err_Cannot_Open_Resource;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        close(fd);
        return FT_Err_Cannot_Open_Resource;
    }
    FT_Stream stream = new FT_StreamRec();
    stream->size = (unsigned long)st.st_size;
    stream->descriptor.value = fd;
    stream->read = readFontStream;
    stream->close = closeFontStream;
    FT_Open_Args args = {};
    args.flags = FT_OPEN_STREAM;
    args.stream = stream;
    return FT_Open_Face(library, &args, 0, face);
}

} // namespace

int FontMapping::openFace(const FontMapping *files, FT_Library library, const std::string &path,
                          FT_Face *face)
{
    if (files && !files->fallback.empty() && path == files->fallback)
        return FT_New_Memory_Face(library, g_fallbackFont, (FT_Long)g_fallbackFontSize, 0, face);
    if (files) {
        auto kept = files->memoryFonts.find(path);
        if (kept != files->memoryFonts.end())
            return FT_New_Memory_Face(library, kept->second.data(), (FT_Long)kept->second.size(),
                                      0, face);
    }
    return openRegularFace(library, path, face);
}

void FontMapping::addFontFile(const std::vector<std::string> &paths, FontMap &map,
                              const FontMapping *files)
{
    FT_Library lib = SDLFont::library();
    if (!lib) {
        fprintf(stderr, "FontMapping: Unable to initialize freetype library.\n");
        return;
    }
    std::vector<std::pair<std::string, std::string>> unknownStyles;
    for (const std::string &path : paths) {
        FT_Face face = nullptr;
        if (openFace(files, lib, path, &face) != 0)
            continue;
        // Faces without a family name cannot be asked for.
        if (face->family_name && *face->family_name) {
            std::string family = face->family_name;
            for (char &c : family)
                c = (char)tolower((unsigned char)c);
            bool known = false;
            int style = styleOf(face->style_name, known);
            std::string key = family + ":" + std::to_string(style);
            if (known || !face->style_name)
                map.put(key, path);
            else
                unknownStyles.emplace_back(key, path);
        }
        FT_Done_Face(face);
    }
    for (const auto &entry : unknownStyles)
        map.put(entry.first, entry.second);
}

int FontMapping::installFont(const char *name)
{
    if (!name)
        return 0;
    std::string temp = tempDir();
    std::vector<std::string> listed;
    int folder = openFolder(temp);   // someone else's folder: only those in memory
    if (folder >= 0) {
        close(folder);
        lister(temp, listed);
    }
    std::vector<std::string> kept;
    for (const std::string &path : listed)
        if (path.find(name) != std::string::npos)
            kept.push_back(path);
    // A font kept in memory is read from there, also where an older copy
    // of it lies in temp/. The fallback, in a folder below, is no
    // magazine font.
    for (const auto &font : memoryFonts)
        if (font.first.find(where.separator, temp.size()) == std::string::npos &&
            font.first.find(name) != std::string::npos &&
            std::find(kept.begin(), kept.end(), font.first) == kept.end())
            kept.push_back(font.first);
    addFontFile(kept, base, this);
    return (int)kept.size();
}

void FontMapping::keepInMemory(const std::string &name, std::vector<unsigned char> bytes)
{
    memoryFonts[tempDir() + name] = std::move(bytes);
}
