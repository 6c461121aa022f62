// ReplacingFile: write beside, check, sync, rename over (see ReplaceFile.h).
#include "ReplaceFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

ReplacingFile::ReplacingFile(ReplacingFile &&other) noexcept
    : stream_(other.stream_), path_(std::move(other.path_)), temporary_(std::move(other.temporary_))
{
    other.stream_ = nullptr;
    other.temporary_.clear();
}

ReplacingFile &ReplacingFile::operator=(ReplacingFile &&other) noexcept
{
    if (this != &other) {
        discard();
        stream_ = other.stream_;
        path_ = std::move(other.path_);
        temporary_ = std::move(other.temporary_);
        other.stream_ = nullptr;
        other.temporary_.clear();
    }
    return *this;
}

ReplacingFile::~ReplacingFile()
{
    discard();
}

FILE *ReplacingFile::open(const std::string &path)
{
    discard();
    // A name of its own (O_EXCL): never an existing file nor a link.
    std::string name = path + ".XXXXXX";
    int fd = mkostemp(&name[0], O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    fchmod(fd, 0644);
    stream_ = fdopen(fd, "w+b");
    if (!stream_) {
        close(fd);
        unlink(name.c_str());
        return nullptr;
    }
    path_ = path;
    temporary_ = name;
    return stream_;
}

bool ReplacingFile::finish()
{
    if (!stream_)
        return false;
    bool ok = fflush(stream_) == 0 && !ferror(stream_);
    ok = fsync(fileno(stream_)) == 0 && ok;
    ok = fclose(stream_) == 0 && ok;
    stream_ = nullptr;
    if (!ok)
        discard();
    return ok;
}

bool ReplacingFile::place()
{
    if (stream_ || temporary_.empty())
        return false;
    if (rename(temporary_.c_str(), path_.c_str()) != 0) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacingFile::discard()
{
    if (stream_)
        fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty())
        unlink(temporary_.c_str());
    temporary_.clear();
}

bool ReplacingFile::commit(bool keep)
{
    if (keep && finish() && place())
        return true;
    discard();
    return false;
}
