// Scratch copies: files the program rebuilds at every start from bytes it
// holds (the fonts in "temp/"), so losing one to a crash costs nothing. They
// are not synced, but still written beside and renamed over, so a copy is
// never left cut short; one that already holds the bytes is not written.
// (Files that must survive a crash go through ReplacingFile instead.) The
// path is walked once and the copy written relative to the folder found,
// as ReplacingFile does: a folder reached through a link of someone else's
// (not the user's, not root's) is not written into, and a name that may
// not be replaced (a FIFO, a device, a frozen file) is left as it is: the
// copy fails.
#ifndef MIRANDOL_SCRATCH_FILE_H
#define MIRANDOL_SCRATCH_FILE_H

#include "ReplaceFile.h"

#include <stddef.h>
#include <stdio.h>

#include <string>
#include <vector>

// Whether the file at path holds exactly these bytes.
bool fileHolds(const std::string &path, const void *bytes, size_t size);

// Makes the file at path hold the bytes; true when it does. On failure a
// file there before stays as it was and no new file is left behind.
bool writeScratchFile(const std::string &path, const void *bytes, size_t size);

// A scratch copy written in pieces through a stream. The bytes are compared
// with the file already there as they come, and kept in memory only from
// the first difference on: an unchanged copy costs one comparison with the
// file, mapped where it lies.
class ScratchCopy {
public:
    ScratchCopy() = default;
    ScratchCopy(const ScratchCopy &) = delete;
    ScratchCopy &operator=(const ScratchCopy &) = delete;
    ~ScratchCopy() { end(false); }

    // Starts a copy for the path; null when no stream can be had. The
    // stream (owned) stands for the copy until it ends.
    FILE *open(const std::string &path);
    FILE *stream() const { return stream_; }
    bool write(const void *bytes, size_t size);
    // Ends the copy. When keep, the file is made to hold the bytes written:
    // true when it does; a copy that could not be written leaves its bytes
    // in unwritten (when given). Without keep, nothing is written.
    bool end(bool keep, std::vector<unsigned char> *unwritten = nullptr);

private:
    bool sameAsOld(const void *bytes, size_t size);
    // From the first difference on: the bytes that matched are taken over
    // from the old file into the stream.
    bool diverge();

    FILE *stream_ = nullptr;    // owned memory stream over bytes_
    char *bytes_ = nullptr;     // malloc'd by the stream, size_ bytes
    size_t size_ = 0;
    // The file there before, mapped read-only (compared where it lies, not
    // copied in); hasOld_ is false when there is none.
    const unsigned char *old_ = nullptr;
    size_t oldSize_ = 0;
    bool hasOld_ = false;
    size_t matched_ = 0;        // bytes written so far, all equal to the old file's
    bool differs_ = false;
    WalkedPath at_;             // where the copy goes; not walked when it may not
};

#endif
