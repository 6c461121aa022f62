// Scratch copies: files the program rebuilds at every start from bytes it
// holds (the fonts in "temp/"), so losing one to a crash costs nothing. They
// are not synced, but still written beside and renamed over, so a copy is
// never left cut short; one that already holds the bytes is not written.
// (Files that must survive a crash go through ReplacingFile instead.)
#ifndef MIRANDOL_SCRATCH_FILE_H
#define MIRANDOL_SCRATCH_FILE_H

#include <stddef.h>

#include <string>

// Whether the file at path holds exactly these bytes.
bool fileHolds(const std::string &path, const void *bytes, size_t size);

// Makes the file at path hold the bytes; true when it does. On failure a
// file there before stays as it was and no new file is left behind.
bool writeScratchFile(const std::string &path, const void *bytes, size_t size);

#endif
