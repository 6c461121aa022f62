#include "FullDisk.h"

#include <errno.h>
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
    if (!available_)
        return;
    if (kind_ == DISK_FILE_LIMIT && !limited_) {
        // Past the limit a write fails (EFBIG) instead of raising SIGXFSZ.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &oldAction_);
        getrlimit(RLIMIT_FSIZE, &oldLimit_);
        struct rlimit limit = oldLimit_;
        limit.rlim_cur = (rlim_t)room_;
        limited_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    } else if (kind_ == DISK_TMPFS) {
        int fd = open("filler", O_WRONLY | O_CREAT | O_APPEND, 0644);
        static const char block[4096] = {};
        for (size_t size = sizeof block; fd >= 0 && size > 0; size /= 2)   // to the last byte
            while (write(fd, block, size) > 0) {
            }
        if (fd >= 0)
            close(fd);
    }
}

void ScopedDisk::empty()
{
    if (limited_) {
        setrlimit(RLIMIT_FSIZE, &oldLimit_);
        sigaction(SIGXFSZ, &oldAction_, nullptr);
        limited_ = false;
    }
    if (mounted_)
        unlink((path_ + "/filler").c_str());
}
