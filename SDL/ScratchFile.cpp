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

// Maps the regular file at path read-only (an empty one maps to null), so
// that it is compared where it lies instead of being read in; false when
// there is none or it cannot be mapped.
bool mapFile(const std::string &path, const unsigned char *&bytes, size_t &size)
{
    bytes = nullptr;
    size = 0;
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);   // a FIFO does not wait
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

// The path to write a copy to: its folder with the links to it followed;
// empty when one of them is someone else's (nothing is written through it).
std::string scratchPath(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return path;
    std::string folder = resolveLinks(path.substr(0, slash + 1));
    return folder.empty() ? folder : folder + path.substr(slash);
}

// Writes the bytes beside the path and renames them over it.
bool replaceScratch(const std::string &path, const void *bytes, size_t size)
{
    if (path.empty())
        return false;
    std::string name;
    int fd = createBeside(path, 0644, name);   // swept with the replace step's own
    if (fd < 0)
        return false;
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

} // namespace

bool fileHolds(const std::string &path, const void *bytes, size_t size)
{
    const unsigned char *old;
    size_t oldSize;
    if (!mapFile(path, old, oldSize))
        return false;
    bool same = oldSize == size && (size == 0 || memcmp(old, bytes, size) == 0);
    unmapFile(old, oldSize);
    return same;
}

bool writeScratchFile(const std::string &path, const void *bytes, size_t size)
{
    std::string written = scratchPath(path);
    return !written.empty() && (fileHolds(written, bytes, size) || replaceScratch(written, bytes, size));
}

FILE *ScratchCopy::open(const std::string &path)
{
    end(false);
    stream_ = open_memstream(&bytes_, &size_);
    if (!stream_)
        return nullptr;
    path_ = scratchPath(path);
    hasOld_ = !path_.empty() && mapFile(path_, old_, oldSize_);
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
        ok = replaceScratch(path_, bytes_, size_);
        if (!ok && unwritten)
            unwritten->assign(bytes_, bytes_ + size_);
    }
    free(bytes_);
    bytes_ = nullptr;
    size_ = 0;
    matched_ = 0;
    differs_ = false;
    return ok;
}
