// Disks that fill up: the file size limit set and lifted, a tmpfs mounted,
// filled to the last byte and emptied.
#include "FullDisk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

ScopedDisk::ScopedDisk(DiskKind kind, size_t room) : kind_(kind), room_(room), available_(kind != DISK_TMPFS)
{
    char cwd[4096];
    if (available_ || !getcwd(cwd, sizeof cwd))
        return;
    previous_ = cwd;
    path_ = previous_ + "/disk";
    mounted_ = mkdir(path_.c_str(), 0755) == 0 && mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=64k,mode=0755") == 0;
    available_ = mounted_ && chdir(path_.c_str()) == 0;
}

ScopedDisk::~ScopedDisk()
{
    empty();
    if (mounted_) {
        (void)!chdir(previous_.c_str());
        umount2(path_.c_str(), MNT_DETACH);
    }
}

void ScopedDisk::fill()
{
    if (kind_ == DISK_FILE_LIMIT && !limited_) {
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);   // past the limit a write fails (EFBIG), no signal
        getrlimit(RLIMIT_FSIZE, &oldLimit_);
        struct rlimit limit = {(rlim_t)room_, oldLimit_.rlim_max};
        limited_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    } else if (mounted_) {
        static const char block[4096] = {};
        int fd = open("filler", O_WRONLY | O_CREAT | O_APPEND, 0644);
        for (size_t size = sizeof block; fd >= 0 && size > 0; size /= 2)
            while (write(fd, block, size) > 0) {
            }
        close(fd);
    }
}

void ScopedDisk::empty()
{
    if (limited_) {
        setrlimit(RLIMIT_FSIZE, &oldLimit_);
        signal(SIGXFSZ, oldHandler_);
        limited_ = false;
    }
    if (mounted_)
        unlink((path_ + "/filler").c_str());
}
