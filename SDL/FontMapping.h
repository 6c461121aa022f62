// The font map: "family:style" keys (family in lower case; style 0 regular,
// 1 bold, 2 italic, 3 bold italic) to font file paths, built from the
// fallback font, the override file and the configured font directories.
// Each directory's scan is kept in the font cache file with a checksum of
// its listing, so an unchanged directory is not opened with FreeType again.
#ifndef MIRANDOL_FONT_MAPPING_H
#define MIRANDOL_FONT_MAPPING_H

#include <stdint.h>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Keys to paths in insertion order; the first value given for a key stays.
// Entries never move, so the texts stay valid as long as the map lives.
class FontMap {
public:
    typedef std::deque<std::pair<std::string, std::string>> Entries;
    bool put(const std::string &key, const std::string &path);
    const char *get(const char *key) const;
    const Entries &entries() const { return items; }
    size_t size() const { return items.size(); }
private:
    Entries items;
};

// Where the font files live.
struct FontLocations {
    std::string homeDir = "./";        // the program directory, with its separator
    std::string separator = "/";
    std::string overridePath;          // "mirandol2_font_override" in the config directory
    std::string cachePath;             // "mirandol2_font_cache" in the config directory
    // The system's TrueType folder: listed in the font paths it stands for
    // every folder below it too, each read and cached as a folder of its own
    // (Debian keeps each package's fonts in a folder of their own there).
    std::string systemFontDir;
    // The fallback font is written only where a magazine was found: a start
    // without one leaves nothing behind in its directory.
    bool writeFallback = true;
};

// Lists a directory: one path per entry ("." and ".." left out), the
// directory text followed by the name, sorted by name. A directory that
// cannot be opened lists nothing.
typedef struct FT_LibraryRec_ *FT_Library;
typedef struct FT_FaceRec_ *FT_Face;

typedef std::function<void(const std::string &dir, std::vector<std::string> &paths)>
    DirectoryLister;
void listFontDirectory(const std::string &dir, std::vector<std::string> &paths);

class FontMapping {
public:
    // Writes the fallback font and reads the override file. The fallback is
    // mapped all the same where it cannot be written: it is always opened
    // from the bytes the program carries.
    explicit FontMapping(const FontLocations &locations,
                         DirectoryLister lister = listFontDirectory);

    // Adds the directory's section (and, for the system font folder, one
    // for every folder below it); a directory that has one already is
    // skipped.
    void build(const std::string &directory);
    // Writes the cache file unless it already holds these sections.
    bool writeCache() const;
    const FontMap &buildMap();
    // Maps the magazine's fonts in "temp/" whose names contain the text,
    // together with those kept in memory by that name.
    int installFont(const char *name);
    // A magazine font whose copy in "temp/" could not be written: its bytes,
    // by its bare file name, stand for the file from now on.
    void keepInMemory(const std::string &name, std::vector<unsigned char> bytes);

    // The path mapped to a key, or null.
    const char *lookup(const char *key) const { return base.get(key); }
    const FontMap &map() const { return base; }
    const std::string &fallbackPath() const { return fallback; }

    // Opens face 0 of a font path: from memory when the mapping (which may
    // be null) keeps the path's font there, else from the file, when it is
    // a regular one (a FIFO or a device by a font's name is not waited on).
    static int openFace(const FontMapping *files, FT_Library library, const std::string &path,
                        FT_Face *face);
    static void addFontFile(const std::vector<std::string> &paths, FontMap &map,
                            const FontMapping *files = nullptr);
    static uint32_t dirChecksum(const std::vector<std::string> &paths);
    // The checksum cached for the directory; false when it has no section.
    bool readCacheChecksum(const std::string &directory, uint32_t &checksum);
    void readCacheSection(const std::string &directory, FontMap &map);
    void scanDir(const std::string &directory, FontMap &map);

private:
    struct Section {
        std::string directory;
        uint32_t checksum;
        FontMap fonts;
    };

    // Folders below the system font folder are followed this deep at most,
    // so a link that points back up cannot make the scan run forever.
    static const int kSystemFontDepth = 4;

    void buildFolder(const std::string &directory, int depth);
    std::string tempDir() const { return where.homeDir + "temp" + where.separator; }
    std::string cacheText() const;
    void createFallback();
    void readOverride();
    const std::vector<std::string> &cacheLines();
    // Index of the line after the directory's line in the cache, or -1.
    long findCacheSection(const std::string &directory);

    FontLocations where;
    DirectoryLister lister;
    std::vector<Section> sections;
    FontMap base;
    std::string fallback;
    bool cacheLoaded = false;
    std::vector<std::string> cache;
    // Fonts that FreeType reads from memory, by the path their file would
    // have; owned, and kept for the whole run, as fonts are opened at every
    // new height.
    std::map<std::string, std::vector<unsigned char>> memoryFonts;
};

// Reads a text file as whole lines, without their line ends ("\n", or
// "\r\n"). False when the file cannot be opened.
bool readTextLines(const std::string &path, std::vector<std::string> &lines);

#endif
