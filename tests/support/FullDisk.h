// Disks that fill up, for the tests of what a failed write leaves behind:
// the file size limit (writes of this process fail past `room` bytes a file;
// always there) or a small tmpfs filled up (only where mounting is allowed).
#ifndef MIRANDOL_TEST_FULL_DISK_H
#define MIRANDOL_TEST_FULL_DISK_H

#include <signal.h>
#include <sys/resource.h>

#include <cstddef>
#include <string>

enum DiskKind { DISK_ROOMY, DISK_FILE_LIMIT, DISK_TMPFS /* 64 KiB */ };

// A disk of that kind for the working directory: a tmpfs is mounted on
// "disk" in it, which is the working directory until the end.
class ScopedDisk {
public:
    ScopedDisk(DiskKind kind, size_t room = 0);
    ~ScopedDisk();
    ScopedDisk(const ScopedDisk &) = delete;
    ScopedDisk &operator=(const ScopedDisk &) = delete;

    bool available() const { return available_; }   // false: a tmpfs where mounting is refused
    void fill();    // from now on nothing more fits (up to `room` bytes a file under the limit)
    void empty();   // room again: the limit lifted, the tmpfs filler gone

private:
    DiskKind kind_;
    size_t room_;
    bool available_ = false, mounted_ = false, limited_ = false;
    std::string path_, previous_;
    struct rlimit oldLimit_ {};
    void (*oldHandler_)(int) = SIG_DFL;
};

#endif
