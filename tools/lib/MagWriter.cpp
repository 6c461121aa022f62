#include "MagWriter.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>

#include "Unpack.h"

uint32_t magCrc32(const void *data, size_t size)
{
    return ~crc32(0xFFFFFFFFu, data, size);
}

static void put16(std::vector<uint8_t> &v, uint32_t x)
{
    v.push_back((uint8_t)x);
    v.push_back((uint8_t)(x >> 8));
}

static void put32(std::vector<uint8_t> &v, uint32_t x)
{
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

// Fills HEAD_CRC (low half of the CRC-32 of the header after the field).
static void sealHeader(std::vector<uint8_t> &out, size_t start, size_t length)
{
    uint32_t crc = magCrc32(out.data() + start + 2, length - 2) & 0xFFFF;
    out[start] = (uint8_t)crc;
    out[start + 1] = (uint8_t)(crc >> 8);
}

std::vector<uint8_t> MagArchive::build() const
{
    std::vector<uint8_t> out = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    size_t start = out.size();
    put16(out, 0);
    out.push_back(0x73);
    put16(out, mainFlags);
    put16(out, setMainHeadSize ? mainHeadSize : 13);
    put16(out, 0);
    put32(out, 0);
    sealHeader(out, start, 13);

    for (const MagMember &m : members) {
        if (!m.raw.empty()) {
            out.insert(out.end(), m.raw.begin(), m.raw.end());
            continue;
        }
        start = out.size();
        bool large = (m.flags & 0x100) != 0;
        size_t size = 32 + (large ? 8 : 0) + m.name.size() + m.extra.size();
        put16(out, 0);
        out.push_back(m.headType);
        put16(out, m.flags);
        put16(out, m.setHeadSize ? m.headSize : (uint32_t)size);
        put32(out, m.setPackSize ? m.packSize : (uint32_t)m.data.size());
        put32(out, m.setUnpSize ? m.unpSize : (uint32_t)m.data.size());
        out.push_back(m.hostOs);
        put32(out, m.setCrc ? m.crc : magCrc32(m.data.data(), m.data.size()));
        put32(out, m.fileTime);
        out.push_back(m.unpVer);
        out.push_back(m.method);
        put16(out, (uint32_t)m.name.size());
        put32(out, m.attr);
        if (large) {
            put32(out, 0);
            put32(out, 0);
        }
        out.insert(out.end(), m.name.begin(), m.name.end());
        out.insert(out.end(), m.extra.begin(), m.extra.end());
        sealHeader(out, start, size);
        out.insert(out.end(), m.data.begin(), m.data.end());
    }
    if (endBlock) {
        start = out.size();
        put16(out, 0);
        out.push_back(0x7B);
        put16(out, 0x4000);
        put16(out, 7);
        sealHeader(out, start, 7);
    }
    return out;
}

MagMember magFile(const std::string &name, const std::vector<uint8_t> &data)
{
    MagMember m;
    m.name = name;
    m.data = data;
    return m;
}

MagMember magFile(const std::string &name, const std::string &text)
{
    return magFile(name, std::vector<uint8_t>(text.begin(), text.end()));
}

MagMember magDirectory(const std::string &name)
{
    MagMember m;
    m.name = name;
    m.flags = 0x80E0;
    m.attr = 0x10;
    return m;
}

std::vector<uint8_t> magScramble(const std::vector<uint8_t> &archive)
{
    uint8_t table[1024];
    uint32_t x = (uint32_t)archive.size() * 0x6B2D4F19u;
    for (int i = 0; i < 256; i++) {
        for (int b = 0; b < 4; b++)
            table[4 * i + b] = (uint8_t)(x >> (8 * b));
        x *= 0x08088405u;
    }
    std::vector<uint8_t> out(archive);
    for (size_t i = 0; i < out.size(); i++)
        out[i] ^= table[i & 0x3FF];
    return out;
}

// What a member may be at most: the longest name the reader takes, and
// the largest file mkmag packs.
const size_t MAX_NAME = 1023;
const uint64_t MAX_DATA = 0x40000000u;

// Reads a file of at most limit bytes: false when it cannot be read; more
// than limit bytes in data when it has grown past that.
static bool readWhole(const std::string &path, std::vector<uint8_t> &data, uint64_t limit)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    data.clear();
    uint8_t buf[65536];
    size_t n;
    while (data.size() <= limit && (n = fread(buf, 1, sizeof buf, f)) > 0)
        data.insert(data.end(), buf, buf + n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

// A folder told by its device and inode.
struct FolderId {
    dev_t dev;
    ino_t ino;
};

// Finds the files under dir; walk holds the folders from the top one down
// to dir.
static bool collect(const std::string &dir, const std::string &prefix, std::vector<MagFound> &found,
                    std::string &error, std::vector<FolderId> &walk, const std::vector<std::string> &leaveOut,
                    std::vector<std::string> *skipped)
{
    int depth = (int)walk.size() - 1;
    if (depth > 64) {
        error = "directories nested too deeply: " + dir;
        return false;
    }
    DIR *d = opendir(dir.c_str());
    if (!d) {
        error = "cannot read directory " + dir;
        return false;
    }
    std::vector<std::string> names;
    while (dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
            names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string &n : names) {
        std::string path = dir + "/" + n;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            if (skipped)
                skipped->push_back("skipping " + path + ": " + strerror(errno));
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (depth == 0 && std::find(leaveOut.begin(), leaveOut.end(), n) != leaveOut.end())
                continue;
            // A folder already on the walk (a link back up, such as one to
            // ".") would be packed inside itself again and again.
            bool onWalk = std::any_of(walk.begin(), walk.end(), [&](const FolderId &f) {
                return f.dev == st.st_dev && f.ino == st.st_ino;
            });
            if (onWalk) {
                if (skipped)
                    skipped->push_back("skipping " + path + ": a link back to a folder being packed");
                continue;
            }
            walk.push_back({st.st_dev, st.st_ino});
            bool ok = collect(path, prefix + n + "\\", found, error, walk, leaveOut, skipped);
            walk.pop_back();
            if (!ok)
                return false;
        } else if (S_ISREG(st.st_mode)) {
            // Told from the size: a huge file is never read.
            MagFound f;
            f.name = prefix + n;
            f.path = path;
            f.size = (uint64_t)st.st_size;
            if (f.name.size() > MAX_NAME || f.size > MAX_DATA) {
                error = "name or file too long: " + path;
                return false;
            }
            found.push_back(std::move(f));
        } else if (skipped) {
            // A FIFO would wait for a writer, a device never end.
            skipped->push_back("skipping " + path + ": not a regular file");
        }
    }
    return true;
}

bool magFind(const std::string &dir, std::vector<MagFound> &found, std::string &error,
             const std::vector<std::string> &leaveOut, std::vector<std::string> *skipped)
{
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) {
        error = "cannot read directory " + dir;
        return false;
    }
    std::vector<FolderId> walk = {{st.st_dev, st.st_ino}};
    return collect(dir, "", found, error, walk, leaveOut, skipped);
}

uint64_t magArchiveSize(const std::vector<MagFound> &files)
{
    uint64_t size = 7 + 13 + 7;   // marker, main header, end block
    for (const MagFound &f : files)
        size += 32 + f.name.size() + f.size;
    return size;
}

bool magRead(const MagFound &file, MagMember &member, std::string &error)
{
    member.name = file.name;
    // One that grew meanwhile is read no further than the limit.
    if (!readWhole(file.path, member.data, MAX_DATA)) {
        error = "cannot read " + file.path;
        return false;
    }
    if (member.data.size() > MAX_DATA) {
        error = "name or file too long: " + file.path;
        return false;
    }
    return true;
}

bool magCollect(const std::string &dir, std::vector<MagMember> &members, std::string &error,
                const std::vector<std::string> &leaveOut, std::vector<std::string> *skipped)
{
    std::vector<MagFound> found;
    if (!magFind(dir, found, error, leaveOut, skipped))
        return false;
    for (const MagFound &f : found) {
        MagMember m;
        if (!magRead(f, m, error))
            return false;
        members.push_back(std::move(m));
    }
    return true;
}
