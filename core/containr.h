// The magazine container: the first "*.dat" of the reader's directory, an
// archive in the RAR block format, plain or XOR-scrambled as a whole. It
// builds the File tree of the members, the loose media files and the fixed
// entry "?edit.txt"; members are read on demand through the System file
// operations.
#ifndef MIRANDOL_CONTAINR_H
#define MIRANDOL_CONTAINR_H

#include <stdint.h>

#include <set>
#include <string>

#include "File.h"
#include "Strings.h"

// One block header as read (fields of the file header are zero for other blocks).
struct BlockHeader {
    uint16_t headCrc;
    uint8_t headType;
    uint16_t headFlags;
    uint16_t headSize;
    uint32_t packSize;
    uint32_t unpSize;
    uint8_t hostOs;
    uint32_t fileCrc;
    uint32_t fileTime;
    uint8_t unpVer;
    uint8_t method;
    uint16_t nameSize;
    uint32_t attr;
    uint32_t highPackSize;
    uint32_t highUnpSize;
    char name[1024];
};

enum {
    BLOCK_MARK = 0x72,
    BLOCK_MAIN = 0x73,
    BLOCK_FILE = 0x74,
    BLOCK_COMMENT = 0x75,
    BLOCK_AV = 0x76,
    BLOCK_OLD_SUB = 0x77,
    BLOCK_PROTECT = 0x78,
    BLOCK_SIGN = 0x79,
    BLOCK_SUB = 0x7A,
    BLOCK_END = 0x7B
};

class Container {
public:
    // The loose text entry every container holds. Nothing of the archive is
    // behind it; it has bytes only when a file of that name lies on disk.
    static constexpr const char *EDIT_ENTRY = "?edit.txt";

    bool scrambled = false;
    uint32_t readPos = 0;          // archive position of the next byte read
    File *root = nullptr;          // the File tree
    File *lastFound = nullptr;     // result of the latest lookup through find()
    String archiveName;
    uint32_t articleCount = 0;     // text Files other than "config.txt"
    uint32_t archiveSize = 0;      // size of the archive file when opened
    uint32_t damagedHeaderAt = 0;  // where the block walk met a damaged header (0: nowhere)
    // Set by a lister (magls), never by the reader: a block walk stopped by
    // a damaged header keeps the members met before it and the open goes on
    // (damagedHeaderAt says where), and every service sub-block becomes a
    // File (service set), also one marked solid, which the reader passes over.
    bool listing = false;
    uint8_t table[1024] = {};      // descrambling bytes by position & 0x3FF
    // Names of pictures asked for that no File has, each said once (the
    // picture code's record; a File keeps its own in File::reported).
    std::set<std::string> missingPictures;

    // Reads the archive into the File tree; false with the error text set.
    bool open();
    // Writes "visited.txt" and deletes the tree.
    void close();

    // Variant of the first seven bytes (0 plain, 1 scrambled) or -1.
    int checkMarker(const uint8_t *first);
    bool seek(uint32_t position);
    bool read(void *buffer, uint32_t count);
    // Reads the block at position: type and header; position becomes the
    // next block's start. False for a damaged header.
    bool readHeader(BlockHeader &header, uint32_t &position, uint32_t &type);
    // Reads and decodes the compressed member at the current position into
    // output (unpSize bytes) and checks its CRC.
    bool unpackFile(uint8_t *output, uint32_t packSize, uint32_t unpSize, uint32_t unpVer,
                    uint32_t crc);

    // Looks a File up by path ("\" and "/" alike); sets lastFound.
    File *find(const char *name);
    // Adds a loose text File named as given (case kept), e.g. the user's article.
    File *addUserArticle(const char *name);
    // Links a File into the tree and counts it when it is an article. While
    // the tree fills it may be rotated; once it is balanced (balanced set),
    // the File is linked as a plain insert links it and no other link moves.
    void addFile(File *file, bool balanced = false);

    // The 7-byte base header at the current position.
    bool readBlockHeader(BlockHeader &header);

private:
    bool walkBlocks(uint32_t position);
    void addLooseFiles();
};

extern Container g_container;
// The variant whose marker matched: 0 plain, 1 scrambled.
extern int container_variant;

// Key constant of each variant.
extern const uint32_t containerKeys[2];

// Decodes a compressed member held in memory into output (unpSize bytes,
// zero-filled here) and checks its CRC; false when it cannot be decoded, its
// CRC differs or the decompressor runs out of memory.
bool unpackMemberData(const uint8_t *packed, uint32_t packSize, uint8_t *output, uint32_t unpSize,
                      uint32_t unpVer, uint32_t crc);

#endif
