#include "containr.h"

#include <limits.h>
#include <string.h>

#include <new>

#include "System.h"
#include "TextReader.h"
#include "Unpack.h"

Container g_container;
int container_variant = 0;
const uint32_t containerKeys[2] = {0, 0x6B2D4F19u};

static const uint8_t archiveMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};

// File header flags.
enum {
    FHD_SPLIT_BEFORE = 0x01,
    FHD_SPLIT_AFTER = 0x02,
    FHD_ENCRYPTED = 0x04,
    FHD_SOLID = 0x10,
    FHD_DIRECTORY = 0xE0,
    FHD_LARGE = 0x100,
    LONG_BLOCK = 0x8000
};
// Main header flags that refuse an archive: multi-volume, locked, encrypted headers.
enum { MHD_REFUSED = 0x01 | 0x04 | 0x80 };
enum { METHOD_STORED = 0x30 };

// Fixed fields of a file header, base header included.
static const uint32_t fileHeaderFixed = 32;

int Container::checkMarker(const uint8_t *first)
{
    int size = g_system->get_file_size();
    archiveSize = size < 0 ? 0 : (uint32_t)size;
    for (int variant = 0; variant < 2; variant++) {
        uint32_t x = archiveSize * containerKeys[variant];
        for (int i = 0; i < 256; i++) {
            writeLE32(table + 4 * i, x);
            x *= 0x08088405u;
        }
        bool match = true;
        for (int i = 0; i < 7; i++)
            if ((uint8_t)(first[i] ^ table[i]) != archiveMarker[i])
                match = false;
        if (match) {
            scrambled = variant != 0;
            return variant;
        }
    }
    return -1;
}

bool Container::seek(uint32_t position)
{
    if (position > (uint32_t)INT_MAX || !g_system->seek_file((int)position))
        return false;
    readPos = position;
    return true;
}

bool Container::read(void *buffer, uint32_t count)
{
    if (count > (uint32_t)INT_MAX || !g_system->read_file(buffer, (int)count))
        return false;
    if (scrambled) {
        uint8_t *p = (uint8_t *)buffer;
        for (uint32_t i = 0; i < count; i++)
            p[i] ^= table[(readPos + i) & 0x3FF];
    }
    readPos += count;
    return true;
}

bool Container::readBlockHeader(BlockHeader &h)
{
    uint8_t b[7];
    if (!read(b, 7))
        return false;
    h.headCrc = readLE16(b);
    h.headType = b[2];
    h.headFlags = readLE16(b + 3);
    h.headSize = readLE16(b + 5);
    return true;
}

bool Container::readHeader(BlockHeader &h, uint32_t &position, uint32_t &type)
{
    memset(&h, 0, sizeof h);
    uint32_t start = position;
    // Where a block header would start at or past the end, the archive ends.
    if (start >= archiveSize) {
        type = BLOCK_END;
        return true;
    }
    if (!seek(start))
        return false;
    if (!readBlockHeader(h)) {
        // A header cut short ends the walk; the members before it stay.
        damagedHeaderAt = start;
        type = BLOCK_END;
        return true;
    }
    type = h.headType;
    if (h.headSize < 7)
        return false;    // the next block would not lie beyond this one
    uint64_t next = (uint64_t)start + h.headSize;
    position = (uint32_t)next;
    if (type != BLOCK_FILE && type != BLOCK_SUB)
        return true;

    uint8_t f[25];
    if (!read(f, sizeof f))
        return false;
    h.packSize = readLE32(f);
    h.unpSize = readLE32(f + 4);
    h.hostOs = f[8];
    h.fileCrc = readLE32(f + 9);
    h.fileTime = readLE32(f + 13);
    h.unpVer = f[17];
    h.method = f[18];
    h.nameSize = readLE16(f + 19);
    h.attr = readLE32(f + 21);
    uint32_t fixed = fileHeaderFixed;
    if (h.headFlags & FHD_LARGE) {
        uint8_t high[8];
        if (!read(high, sizeof high))
            return false;
        h.highPackSize = readLE32(high);
        h.highUnpSize = readLE32(high + 4);
        fixed += 8;
    }
    // A header too short for its own fields and name is damaged.
    if (h.headSize < fixed + h.nameSize)
        return false;
    uint32_t nameRead = h.nameSize < 4095 ? h.nameSize : 4095;
    uint8_t name[4096];
    if (!read(name, nameRead))
        return false;
    uint32_t kept = 0;
    while (kept < nameRead && kept < sizeof h.name - 1 && name[kept])
        kept++;
    memcpy(h.name, name, kept);
    h.name[kept] = '\0';
    if (type == BLOCK_FILE) {
        if (h.unpVer < 20 && (h.attr & 0x10))
            h.headFlags |= FHD_DIRECTORY;
        for (char *p = h.name; *p; p++)
            if (*p == '\\')
                *p = '/';
    }
    // The rest of the header (sub-block data, salt, extended times) is not
    // needed: the member data starts at the end of the header whatever it holds.
    next += h.packSize;
    if (next > 0xFFFFFFFFu)
        return false;    // a position past 4 GiB wraps: damaged
    position = (uint32_t)next;
    return true;
}

File *Container::find(const char *name)
{
    lastFound = Tree::findPathAs<File>(root, name);
    return lastFound;
}

void Container::addFile(File *file, bool balanced)
{
    Tree *r = root;
    if (balanced && r)
        Tree::insert(r, file);
    else
        Tree::insertInto(r, file);
    root = static_cast<File *>(r);
    // Every text File is indexed by the search, loose ones too.
    if (file->fileType == FILE_TEXT && strcmp(file->name.c_str(), "config.txt") != 0)
        articleCount++;
}

File *Container::addUserArticle(const char *name)
{
    if (!name || !*name)
        return nullptr;
    File *file = new (std::nothrow) File;
    if (!file)
        return nullptr;
    file->name.set(name);
    file->diskName.set(name);
    file->fileType = FILE_TEXT;
    file->loose = true;
    // It comes after the tree was balanced, and keeps that shape.
    addFile(file, true);
    return file;
}

bool Container::walkBlocks(uint32_t position)
{
    BlockHeader h;
    for (;;) {
        uint32_t start = position;
        uint32_t type;
        if (!readHeader(h, position, type)) {
            damagedHeaderAt = start;
            return false;
        }
        switch (type) {
        case BLOCK_END:
            return true;
        case BLOCK_MAIN:
            return false;
        case BLOCK_FILE:
        case BLOCK_SUB: {
            if (h.headFlags & (FHD_SPLIT_BEFORE | FHD_SPLIT_AFTER | FHD_ENCRYPTED))
                return false;
            bool directory = (h.headFlags & FHD_DIRECTORY) == FHD_DIRECTORY;
            if (!directory && h.method != METHOD_STORED && (h.unpVer < 13 || h.unpVer > 29))
                return false;
            if (h.headFlags & FHD_SOLID) {
                // A solid member cannot be read on its own. Service sub-blocks
                // (comments, access lists, streams) carry the same bit in
                // archives made by ordinary tools; they are not magazine files.
                if (type != BLOCK_SUB)
                    return false;
                if (!listing)
                    break;
            }
            if (directory)
                break;
            File *file = new (std::nothrow) File;
            if (!file)
                return false;
            file->name.set(h.name);
            file->name.lower();
            file->dataOffset = start + h.headSize;
            file->packSize = h.packSize;
            file->unpSize = h.unpSize;
            file->unpVer = h.unpVer;
            file->crc = h.fileCrc;
            file->fileType = fileTypeFromName(file->name.c_str());
            file->stored = h.method == METHOD_STORED;
            file->service = type == BLOCK_SUB;
            addFile(file);
            break;
        }
        default:
            // Old-style comment, authenticity, recovery and signature blocks
            // are passed over like any other; a recovery record carries its
            // data after the header (a long block), which is passed over too.
            if (h.headFlags & LONG_BLOCK) {
                uint8_t add[4];
                if (!seek(start + 7) || !read(add, 4)) {
                    damagedHeaderAt = start;
                    return false;
                }
                uint64_t next = (uint64_t)position + readLE32(add);
                if (next > 0xFFFFFFFFu) {
                    damagedHeaderAt = start;
                    return false;
                }
                position = (uint32_t)next;
            }
            break;
        }
    }
}

void Container::addLooseFiles()
{
    System *sys = g_system;
    char pattern[] = "*.*";
    char *name = pattern;
    // The names belong to the platform: each is copied. The previous result is
    // handed back on every call; only "*.*" starts the listing over.
    while (sys->find_files(name) && name) {
        String lower(name);
        lower.lower();
        uint32_t type = fileTypeFromName(lower.c_str());
        if (!isSongType(type))
            continue;
        File *file = new (std::nothrow) File;
        if (!file)
            break;
        file->name.take(lower);
        file->diskName.set(name);
        file->fileType = type;
        file->loose = true;
        addFile(file);
    }
}

bool Container::open()
{
    System *sys = g_system;
    // Start afresh (an earlier tree goes without writing the visited list).
    delete root;
    root = nullptr;
    lastFound = nullptr;
    articleCount = 0;
    scrambled = false;
    readPos = 0;
    archiveSize = 0;
    damagedHeaderAt = 0;
    memset(table, 0, sizeof table);

    g_unpackErrors.reset();
    sys->set_error_message("No *.dat file");
    char pattern[] = "*.dat";
    char *found = pattern;
    if (!sys->find_one_file(found) || !found || found == pattern)
        return false;
    // The found name is a new copy that the caller owns.
    archiveName.set(found);
    delete[] found;
    sys->set_error_message("Cannot access *.dat file");
    if (!sys->open_file(archiveName.c_str()))
        return false;

    sys->set_error_message("Error in *.dat file");
    bool ok = false;
    uint8_t first[7];
    BlockHeader main;
    if (sys->read_file(first, 7)) {
        container_variant = checkMarker(first);
        readPos = 7;
        memset(&main, 0, sizeof main);
        uint8_t av[6];
        if (container_variant >= 0 && readBlockHeader(main) && read(av, sizeof av) &&
            main.headType == BLOCK_MAIN && !(main.headFlags & MHD_REFUSED) &&
            main.headSize >= 13)
            ok = walkBlocks(7u + main.headSize) || (listing && damagedHeaderAt);
    }
    sys->close_file();
    if (!ok) {
        delete root;
        root = nullptr;
        articleCount = 0;
        return false;
    }

    File::installFonts(root);
    addLooseFiles();
    File *edit = new (std::nothrow) File;
    if (edit) {
        edit->name.set(EDIT_ENTRY);
        edit->fileType = FILE_TEXT;
        edit->loose = true;
        addFile(edit);
    }
    root = static_cast<File *>(Tree::balance(root));
    sys->set_error_message(nullptr);

    TextReader visited;
    visited.openVisitedList();
    String line;
    while (visited.readLine(line)) {
        // Names in the tree are lower case; a hand-edited list may not be.
        File *f = find(line.c_str());
        if (!f) {
            line.lower();
            f = find(line.c_str());
        }
        if (f)
            f->visited = true;
    }
    return true;
}

void Container::close()
{
    System *sys = g_system;
    // The list replaces the old one only when written whole; otherwise the
    // old one stays and the reader says why it ends.
    if (root && sys) {
        bool written = sys->create_file("visited.txt", FILE_IN_SAVE | FILE_IN_TEMP | FILE_TRUNCATE) &&
                       sys->commit_file(File::writeVisitedNames(root));
        if (!written)
            sys->set_error_message("Could not save the visited list");
    }
    delete root;
    root = nullptr;
    lastFound = nullptr;
    articleCount = 0;
    missingPictures.clear();
    releaseUnpackWindow();   // kept by the decompressor from member to member
}

bool Container::unpackFile(uint8_t *output, uint32_t packSize, uint32_t unpSize, uint32_t unpVer,
                           uint32_t crc)
{
    if (!output || unpSize > FILE_MAX_SIZE || packSize > FILE_MAX_SIZE)
        return false;
    memset(output, 0, unpSize);
    uint8_t *input = new (std::nothrow) uint8_t[packSize ? packSize : 1];
    if (!input)
        return false;
    if (!read(input, packSize)) {
        delete[] input;
        return false;
    }
    bool ok = unpackMemberData(input, packSize, output, unpSize, unpVer, crc);
    delete[] input;
    return ok;
}

// ---------------------------------------------------------------------------
// The decompressor's side: compressed members.

bool unpackMemberData(const uint8_t *packed, uint32_t packSize, uint8_t *output, uint32_t unpSize,
                      uint32_t unpVer, uint32_t crc)
{
    if (!output)
        return false;
    return unpackBuffer(packed, packSize, output, unpSize, unpVer, crc);
}
