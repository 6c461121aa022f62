#include "TextReader.h"

#include <string.h>

#include "System.h"
#include "containr.h"

TextReader::TextReader(const char *name)
{
    File *file = g_container.find(name);
    if (!file)
        return;
    uint8_t *data;
    uint32_t size;
    if (file->load(data, size))
        adopt(data, size);
}

TextReader::~TextReader()
{
    if (ownsBuffer)
        delete[] buffer;
}

void TextReader::adopt(uint8_t *data, uint32_t size)
{
    if (ownsBuffer)
        delete[] buffer;
    buffer = data;
    current = data;
    bytesLeft = data ? size : 0;
    ownsBuffer = data != nullptr;
}

void TextReader::openVisitedList()
{
    adopt(nullptr, 0);
    System *sys = g_system;
    if (!sys || !sys->open_file("visited.txt"))
        return;
    int size = sys->get_file_size();
    if (size <= 0 || (uint32_t)size > FILE_MAX_SIZE) {
        sys->close_file();
        return;
    }
    uint8_t *data = new (std::nothrow) uint8_t[(size_t)size];
    if (!data) {
        sys->close_file();
        return;
    }
    bool ok = sys->read_file(data, size);
    sys->close_file();
    if (!ok) {
        delete[] data;
        return;
    }
    adopt(data, (uint32_t)size);
}

bool TextReader::readLine(String &line)
{
    if (!ownsBuffer || !current)
        return false;
    while (bytesLeft > 0 && *current <= 32) {
        current++;
        bytesLeft--;
    }
    if (bytesLeft == 0)
        return false;
    uint32_t n = 0;
    while (n < bytesLeft && current[n] != '\r' && current[n] != '\n')
        n++;
    char *text = new (std::nothrow) char[n + 1];
    if (!text)
        return false;
    for (uint32_t i = 0; i < n; i++)
        text[i] = current[i] < 33 ? ' ' : (char)current[i];
    text[n] = '\0';
    line.clear();
    line.str = text;
    current += n;
    bytesLeft -= n;
    return true;
}
