// Every file of a magazine, packed in the archive or lying loose in the
// reader's directory: a node of the container's File tree.
#ifndef MIRANDOL_FILE_H
#define MIRANDOL_FILE_H

#include <stdint.h>

#include <memory>

#include "System.h"
#include "Tree.h"

class Image;
class Article;

// File types by extension.
enum FileType {
    FILE_OTHER = 0,
    FILE_TEXT = 1,
    FILE_JPEG = 2,
    FILE_BMP = 3,
    FILE_ANI = 4,
    FILE_WAV = 5,
    FILE_TTF = 6,
    FILE_XM = 7,
    FILE_IT = 8,
    FILE_S3M = 9,
    FILE_MOD = 10,
    FILE_MO3 = 11,
    FILE_MP3 = 12,
    FILE_OGG = 13
};

// The extension is the last "." among the final five characters.
uint32_t fileTypeFromName(const char *name);
// Types that may be songs and are taken as loose files from the directory.
inline bool isSongType(uint32_t type) { return type == FILE_WAV || (type >= FILE_XM && type <= FILE_OGG); }

// Members larger than this are never loaded.
enum : uint32_t { FILE_MAX_SIZE = 0x40000000u };

class File : public Tree {
public:
    File() {}
    ~File() override;

    uint32_t dataOffset = 0;   // archive position of the member's data
    uint32_t packSize = 0;     // packed bytes in the archive
    uint32_t unpSize = 0;      // unpacked size
    uint32_t unpVer = 0;       // unpack version
    uint32_t crc = 0;          // CRC-32 of the unpacked data
    uint32_t fileType = FILE_OTHER;
    bool loose = false;        // lies on disk, not in the archive
    String diskName;           // a loose file's name as on disk (the tree name is lower-cased)
    bool stored = false;       // stored uncompressed
    bool service = false;      // a service sub-block (comment, recovery record, stream)
    bool visited = false;      // the article was shown
    bool cached = false;       // the cached object below is valid
    bool reported = false;     // named once as a picture that cannot be read
    uint32_t hotspotX = 0, hotspotY = 0;
    Image *image = nullptr;        // cached picture (reference counted by the picture code)
    Article *article = nullptr;    // cached article
    SampleHandle sound = nullptr;  // cached sound

    // The bytes in a new buffer of size + 2 (two zero bytes of slack after the
    // data); the caller frees it with delete[]. False (and no buffer) when the
    // file cannot be read: missing, empty, damaged, too large, out of memory.
    bool load(uint8_t *&buffer, uint32_t &size);
    // The same bytes into held, a buffer of capacity bytes that is replaced
    // by a larger one only when they do not fit; false when the file cannot
    // be read (held may then have been replaced all the same).
    bool loadInto(std::unique_ptr<uint8_t[]> &held, uint32_t &capacity, uint32_t &size);

    // Defined by the picture code: the cached picture, one reference added,
    // for drawing at drawnWidth x drawnHeight (0: at its own size that way).
    // Only a JPEG too large to show whole depends on the drawn size.
    Image *getImage(int drawnWidth = 0, int drawnHeight = 0);
    // Defined by the article code: the cached laid-out article.
    Article *getArticle();
    SampleHandle getSound();
    bool playSong(int loop);

    // In name order, each visited name followed by CR LF, to the open System
    // file; false once a write failed (nothing more is written).
    static bool writeVisitedNames(File *node);
    // Copies every font of the subtree to the temporary directory and installs it.
    static void installFonts(File *node);

    // Set by the article code: deletes a cached Article when its File goes.
    static void (*deleteArticle)(Article *article);

    // A loose file's name as the platform opens it.
    const char *nameOnDisk() const { return diskName.isEmpty() ? name.c_str() : diskName.c_str(); }

    File *leftFile() const { return static_cast<File *>(left); }
    File *rightFile() const { return static_cast<File *>(right); }
};

// Reads a sound member's canonical 44-byte WAV header. False when the data
// is shorter than the header; the data size is clamped to the bytes present.
struct WavInfo {
    uint16_t format, channels, blockAlign, bitsPerSample;
    uint32_t sampleRate, byteRate, dataSize;
};
bool readWavHeader(const uint8_t *bytes, uint32_t size, WavInfo &info);

#endif
