#include "ToolSystem.h"

#include <string.h>

ToolSystem::~ToolSystem()
{
    if (file_)
        fclose(file_);
}

bool ToolSystem::find_one_file(char *&name)
{
    // "*.dat" finds the one archive; the result is a new copy the caller owns.
    if (!name || name[0] != '*')
        return name && archive_ == name;
    char *copy = new char[archive_.size() + 1];
    memcpy(copy, archive_.c_str(), archive_.size() + 1);
    name = copy;
    return true;
}

bool ToolSystem::open_file(const char *name)
{
    close_file();
    if (!name || archive_ != name)
        return false;    // only the archive is visible
    if (inMemory_) {
        memoryOpen_ = true;
        memoryPos_ = 0;
        return true;
    }
    file_ = fopen(name, "rb");
    return file_ != nullptr;
}

int ToolSystem::get_file_size()
{
    if (inMemory_)
        return memoryOpen_ && memorySize_ <= 0x7FFFFFFFu ? (int)memorySize_ : -1;
    if (!file_)
        return -1;
    long pos = ftell(file_);
    if (fseek(file_, 0, SEEK_END) != 0)
        return -1;
    long size = ftell(file_);
    fseek(file_, pos, SEEK_SET);
    return size > 0x7FFFFFFFL ? -1 : (int)size;
}

bool ToolSystem::seek_file(int pos)
{
    if (pos < 0)
        return false;
    if (inMemory_) {
        if (!memoryOpen_)
            return false;
        memoryPos_ = (size_t)pos;    // like a file: seeking past the end works, reading there fails
        return true;
    }
    return file_ && fseek(file_, pos, SEEK_SET) == 0;
}

bool ToolSystem::read_file(void *buffer, int size)
{
    if (size < 0)
        return false;
    if (inMemory_) {
        if (!memoryOpen_ || memoryPos_ > memorySize_ || (size_t)size > memorySize_ - memoryPos_)
            return false;
        if (size)
            memcpy(buffer, memory_ + memoryPos_, (size_t)size);
        memoryPos_ += (size_t)size;
        return true;
    }
    return file_ && fread(buffer, 1, (size_t)size, file_) == (size_t)size;
}

void ToolSystem::close_file()
{
    if (file_)
        fclose(file_);
    file_ = nullptr;
    memoryOpen_ = false;
}
