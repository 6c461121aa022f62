// Reads a small text file whole and hands it out line by line: the visited
// list on disk and the scripts of animated pointers inside the magazine.
#ifndef MIRANDOL_TEXTREADER_H
#define MIRANDOL_TEXTREADER_H

#include <stdint.h>

#include "Strings.h"

class TextReader {
public:
    TextReader() {}
    // Loads the magazine File of that name (the container's lastFound is set).
    explicit TextReader(const char *name);
    ~TextReader();
    TextReader(const TextReader &) = delete;
    TextReader &operator=(const TextReader &) = delete;

    uint8_t *buffer = nullptr;         // the whole file, no terminator
    const uint8_t *current = nullptr;  // next byte to read
    uint32_t bytesLeft = 0;
    bool ownsBuffer = false;           // loaded: lines may be read

    // Loads "visited.txt" from disk; a missing or unreadable file leaves the reader empty.
    void openVisitedList();
    // Takes over a buffer allocated with new[] (for text made in memory).
    void adopt(uint8_t *data, uint32_t size);
    // The next non-empty line, leading blanks dropped, control bytes as blanks.
    bool readLine(String &line);
};

#endif
