// mkmag's checks of a magazine's members (see MagCheck.h).
#include "MagCheck.h"

#include <string.h>
#include <strings.h>

#include "MagazineConfig.h"
#include "ToolSystem.h"
#include "containr.h"

bool magIsUtf8Beyond7Bit(const std::vector<uint8_t> &bytes)
{
    bool beyond = false;
    for (size_t i = 0; i < bytes.size();) {
        uint8_t c = bytes[i];
        if (c < 0x80) {
            i++;
            continue;
        }
        // Lead byte: the number of continuation bytes and the smallest value
        // the sequence may carry (so overlong forms do not pass).
        size_t more;
        uint32_t value, least;
        if (c >= 0xC2 && c <= 0xDF)
            more = 1, value = c & 0x1F, least = 0x80;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2, value = c & 0x0F, least = 0x800;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3, value = c & 0x07, least = 0x10000;
        else
            return false;
        if (bytes.size() - i - 1 < more)
            return false;
        for (size_t k = 1; k <= more; k++) {
            uint8_t next = bytes[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        beyond = true;
        i += more + 1;
    }
    return beyond;
}

static bool endsWith(const std::string &name, const char *suffix)
{
    size_t n = strlen(suffix);
    return name.size() >= n && strcasecmp(name.c_str() + name.size() - n, suffix) == 0;
}

bool magIsArchiveName(const std::string &name)
{
    return endsWith(name, ".dat");
}

// Whether the start article that "config.txt" names (start) is missing,
// read as the reader reads it; false when the configuration cannot be read.
static bool startArticleMissing(const std::vector<uint8_t> &bytes, std::string &start)
{
    ToolSystem sys(bytes.data(), bytes.size(), "check.dat");
    System *previous = g_system;
    g_system = &sys;
    bool missing = false;
    if (g_container.open()) {
        if (g_magazine_config.load()) {
            start = g_magazine_config.startArticle.str ? g_magazine_config.startArticle.str : "";
            missing = !Tree::findPath(g_container.root, start.c_str());
        }
        g_magazine_config.deleteTrees();
        g_container.close();
    }
    g_system = previous;
    return missing;
}

std::vector<std::string> magWarnings(const MagArchive &archive)
{
    std::vector<std::string> warnings;
    bool config = false;
    for (const MagMember &m : archive.members)
        config = config || strcasecmp(m.name.c_str(), "config.txt") == 0;
    std::string start;
    if (!config)
        warnings.push_back("no config.txt: the reader says \"Cannot load configuration\"");
    else if (startArticleMissing(archive.build(), start))
        warnings.push_back("no " + start +
                           ", the start article config.txt names: the reader says \"No main article\"");
    for (const MagMember &m : archive.members) {
        if (!endsWith(m.name, ".txt") || !magIsUtf8Beyond7Bit(m.data))
            continue;
        std::string name = m.name;
        for (char &c : name)
            if (c == '\\')
                c = '/';
        warnings.push_back(name +
                               " is UTF-8, but the reader reads text as Latin-1 (ISO 8859-1); "
                               "convert it with: iconv -f UTF-8 -t LATIN1");
    }
    return warnings;
}
