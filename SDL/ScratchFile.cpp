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

const size_t kBlock = 65536;

// Whether the next size bytes of the stream are these.
bool streamHolds(FILE *f, const void *bytes, size_t size)
{
    const unsigned char *want = (const unsigned char *)bytes;
    unsigned char block[kBlock];
    for (size_t at = 0; at < size;) {
        size_t n = fread(block, 1, kBlock < size - at ? kBlock : size - at, f);
        if (n == 0 || memcmp(block, want + at, n) != 0)
            return false;
        at += n;
    }
    return true;
}

// Writes the bytes beside the path and renames them over it.
bool replaceScratch(const std::string &path, const void *bytes, size_t size)
{
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
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    struct stat st;
    bool same = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && (size_t)st.st_size == size &&
                streamHolds(f, bytes, size) && fgetc(f) == EOF;   // nothing may follow
    fclose(f);
    return same;
}

bool writeScratchFile(const std::string &path, const void *bytes, size_t size)
{
    return fileHolds(path, bytes, size) || replaceScratch(path, bytes, size);
}

FILE *ScratchCopy::open(const std::string &path)
{
    end(false);
    stream_ = open_memstream(&bytes_, &size_);
    if (!stream_)
        return nullptr;
    path_ = path;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        oldSize_ = (size_t)st.st_size;
        void *map = oldSize_ ? mmap(nullptr, oldSize_, PROT_READ, MAP_PRIVATE, fd, 0) : nullptr;
        hasOld_ = oldSize_ == 0 || map != MAP_FAILED;
        old_ = hasOld_ ? (const unsigned char *)map : nullptr;
        if (!hasOld_)
            oldSize_ = 0;
    }
    if (fd >= 0)
        close(fd);
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
    if (old_)
        munmap((void *)old_, oldSize_);
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
