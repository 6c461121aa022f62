// Disks that fill up, for the tests of what a failed write leaves behind.
// Two kinds: writes of this process fail past a number of bytes per file
// (the file size limit: always there, needs no privilege), or a small tmpfs
// that is filled up (only where mounting is allowed: root outside a sandbox).
#ifndef MIRANDOL_TEST_FULL_DISK_H
#define MIRANDOL_TEST_FULL_DISK_H

#include <signal.h>
#include <sys/resource.h>

#include <cstddef>
#include <string>

enum DiskKind {
    DISK_ROOMY,        // an ordinary directory
    DISK_FILE_LIMIT,   // once full, a file takes at most `room` bytes
    DISK_TMPFS         // a 64 KiB tmpfs; once full, nothing more fits
};

// A disk of that kind for the working directory: for a tmpfs, the directory
// "disk" in it is mounted and becomes the working directory until the end.
class ScopedDisk {
public:
    ScopedDisk(DiskKind kind, size_t room = 0);
    ~ScopedDisk();
    ScopedDisk(const ScopedDisk &) = delete;
    ScopedDisk &operator=(const ScopedDisk &) = delete;

    // False when this kind cannot be had here (a tmpfs where mounting is refused).
    bool available() const { return available_; }
    // From now on the disk is full (up to `room` bytes per file for the limit).
    void fill();
    // The disk has room again (the limit is lifted; the tmpfs filler goes).
    void empty();

private:
    DiskKind kind_;
    size_t room_;
    bool available_ = false;
    bool mounted_ = false;
    bool limited_ = false;
    std::string path_;
    std::string previous_;
    struct rlimit oldLimit_ {};
    struct sigaction oldAction_ {};
};

#endif
