// ReplacingFile: a file written whole or not at all. The bytes go to a new
// file beside the named one, which is replaced only once every byte reached
// the disk: a full disk or a failed write leaves the old file as it was.
// Used for the settings and for every file the core writes by truncation.
#ifndef MIRANDOL_REPLACE_FILE_H
#define MIRANDOL_REPLACE_FILE_H

#include <stdio.h>

#include <string>

class ReplacingFile {
public:
    ReplacingFile() = default;
    ReplacingFile(ReplacingFile &&other) noexcept;
    ReplacingFile &operator=(ReplacingFile &&other) noexcept;
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;
    // A file neither put in place nor discarded is removed.
    ~ReplacingFile();

    // Makes a new, empty file beside path (same directory, a name of its
    // own); null when it cannot be made. The stream is owned by this object.
    FILE *open(const std::string &path);
    // The stream of an open file, null once it was finished or discarded.
    FILE *stream() const { return stream_; }
    // The name the file will have once in place.
    const std::string &path() const { return path_; }
    // Whether a new file exists (open or finished, not yet placed).
    bool pending() const { return !temporary_.empty(); }

    // Flushes, syncs and closes the stream: true when every byte written
    // reached the disk. When not, the new file is removed.
    bool finish();
    // Renames the finished file over the named one; on failure it is removed.
    bool place();
    // Removes the new file, closing it first when still open.
    void discard();
    // The commit step: finish and place when keep, else discard; true when
    // the named file now holds every byte written.
    bool commit(bool keep);

private:
    FILE *stream_ = nullptr;    // owned
    std::string path_;
    std::string temporary_;     // empty when there is no new file
};

#endif
