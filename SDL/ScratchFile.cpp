// Scratch copies: compared first, else written beside and renamed over,
// without a sync (see ScratchFile.h).
#include "ScratchFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

bool fileHolds(const std::string &path, const void *bytes, size_t size)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    struct stat st;
    bool same = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && (size_t)st.st_size == size;
    const unsigned char *want = (const unsigned char *)bytes;
    unsigned char block[65536];
    for (size_t at = 0; same && at < size;) {
        size_t n = fread(block, 1, sizeof block < size - at ? sizeof block : size - at, f);
        same = n > 0 && memcmp(block, want + at, n) == 0;
        at += n;
    }
    // Nothing may follow (the file could have grown since it was measured).
    same = same && fgetc(f) == EOF;
    fclose(f);
    return same;
}

bool writeScratchFile(const std::string &path, const void *bytes, size_t size)
{
    if (fileHolds(path, bytes, size))
        return true;
    std::string name = path + ".XXXXXX";
    int fd = mkostemp(&name[0], O_CLOEXEC);
    if (fd < 0)
        return false;
    fchmod(fd, 0644);
    const char *p = (const char *)bytes;
    bool ok = true;
    for (size_t left = size; ok && left > 0;) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok) {
            p += n;
            left -= (size_t)n;
        }
    }
    ok = close(fd) == 0 && ok;
    if (!ok || rename(name.c_str(), path.c_str()) != 0) {
        unlink(name.c_str());
        return false;
    }
    return true;
}
