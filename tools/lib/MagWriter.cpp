#include "MagWriter.h"

#include <dirent.h>
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

static bool readWhole(const std::string &path, std::vector<uint8_t> &data)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    data.clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.insert(data.end(), buf, buf + n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

static bool collect(const std::string &dir, const std::string &prefix,
                    std::vector<MagMember> &members, std::string &error, int depth,
                    const std::vector<std::string> &leaveOut)
{
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
        if (stat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            if (depth == 0 && std::find(leaveOut.begin(), leaveOut.end(), n) != leaveOut.end())
                continue;
            if (!collect(path, prefix + n + "\\", members, error, depth + 1, leaveOut))
                return false;
        } else if (S_ISREG(st.st_mode)) {
            MagMember m;
            m.name = prefix + n;
            if (!readWhole(path, m.data)) {
                error = "cannot read " + path;
                return false;
            }
            if (m.name.size() > 1023 || m.data.size() > 0x40000000u) {
                error = "name or file too long: " + path;
                return false;
            }
            members.push_back(std::move(m));
        }
    }
    return true;
}

bool magCollect(const std::string &dir, std::vector<MagMember> &members, std::string &error,
                const std::vector<std::string> &leaveOut)
{
    return collect(dir, "", members, error, 0, leaveOut);
}
