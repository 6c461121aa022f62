// Scratch copies: compared first, else written beside and renamed over,
// without a sync (see ScratchFile.h).
#include "ScratchFile.h"

#include "ReplaceFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>


namespace {

// Maps the regular file called name in the open folder read-only (an
// empty one maps to null), so that it is compared where it lies instead of
// being read in; false when there is none or it cannot be mapped.
bool mapFile(const WalkedPath &at, const unsigned char *&bytes, size_t &size)
{
    bytes = nullptr;
    size = 0;
    if (!at.walked())
        return false;
    // A FIFO does not wait.
    int fd = openat(at.folder(), at.name().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && st.st_size > 0) {
        void *map = mmap(nullptr, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
        ok = map != MAP_FAILED;
        if (ok) {
            bytes = (const unsigned char *)map;
            size = (size_t)st.st_size;
        }
    }
    close(fd);
    return ok;
}

void unmapFile(const unsigned char *bytes, size_t size)
{
    if (bytes)
        munmap((void *)bytes, size);
}

// Where a copy for path goes, walked as for any write (a link of someone
// else's on the way: nowhere); false when the file there may not be
// replaced. A device takes no copy to read back: refused too.
bool scratchPlace(const std::string &path, WalkedPath &at)
{
    if (!at.walk(path))
        return false;
    TargetKind kind = targetKindAt(at.folder(), at.name());
    if (kind == TargetKind::Absent || kind == TargetKind::Replaceable)
        return true;
    at.close();
    return false;
}

// Writes the bytes beside the file and renames them over it; a file
// replaced keeps its owner and permissions.
bool replaceScratch(const WalkedPath &at, const void *bytes, size_t size)
{
    if (!at.walked())
        return false;
    struct stat old;
    bool replacing = fstatat(at.folder(), at.name().c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
    std::string name;
    int fd = createBesideAt(at.folder(), at.name(), 0644, name);   // swept with the replace step's own
    if (fd < 0)
        return false;
    if (replacing)
        keepOwnerAndMode(fd, old);
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
    if (!ok || renameat(at.folder(), name.c_str(), at.folder(), at.name().c_str()) != 0) {
        unlinkat(at.folder(), name.c_str(), 0);
        return false;
    }
    return true;
}

} // namespace

// Whether the file the walk reached holds exactly these bytes.
static bool holds(const WalkedPath &at, const void *bytes, size_t size)
{
    const unsigned char *old;
    size_t oldSize;
    if (!mapFile(at, old, oldSize))
        return false;
    bool same = oldSize == size && (size == 0 || memcmp(old, bytes, size) == 0);
    unmapFile(old, oldSize);
    return same;
}

bool fileHolds(const std::string &path, const void *bytes, size_t size)
{
    WalkedPath at;
    return at.walk(path) && holds(at, bytes, size);
}

bool writeScratchFile(const std::string &path, const void *bytes, size_t size)
{
    WalkedPath at;
    return scratchPlace(path, at) && (holds(at, bytes, size) || replaceScratch(at, bytes, size));
}

FILE *ScratchCopy::open(const std::string &path)
{
    end(false);
    stream_ = open_memstream(&bytes_, &size_);
    if (!stream_)
        return nullptr;
    scratchPlace(path, at_);
    hasOld_ = mapFile(at_, old_, oldSize_);
    return stream_;
}

bool ScratchCopy::sameAsOld(const void *bytes, size_t size)
{
    return hasOld_ && size <= oldSize_ - matched_ &&
           (size == 0 || memcmp(old_ + matched_, bytes, size) == 0);
}

bool ScratchCopy::diverge()
{
    differs_ = true;
    return matched_ == 0 || fwrite(old_, 1, matched_, stream_) == matched_;
}

bool ScratchCopy::write(const void *bytes, size_t size)
{
    if (!stream_ || !bytes)
        return false;
    if (!differs_ && sameAsOld(bytes, size)) {
        matched_ += size;
        return true;
    }
    if (!differs_ && !diverge())
        return false;
    return fwrite(bytes, 1, size, stream_) == size;
}

bool ScratchCopy::end(bool keep, std::vector<unsigned char> *unwritten)
{
    if (!stream_)
        return false;
    bool unchanged = !differs_ && hasOld_ && matched_ == oldSize_;
    bool ok = keep && (unchanged || differs_ || diverge());
    ok = !ferror(stream_) && ok;
    ok = fclose(stream_) == 0 && ok;
    stream_ = nullptr;
    unmapFile(old_, oldSize_);
    old_ = nullptr;
    oldSize_ = 0;
    hasOld_ = false;
    if (ok && !unchanged) {
        ok = replaceScratch(at_, bytes_, size_);
        if (!ok && unwritten)
            unwritten->assign(bytes_, bytes_ + size_);
    }
    free(bytes_);
    bytes_ = nullptr;
    size_ = 0;
    matched_ = 0;
    differs_ = false;
    at_.close();
    return ok;
}
