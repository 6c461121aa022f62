#include "ImageList.h"

ImageList::ImageList(const char *listName, int32_t songSlot) : song(songSlot)
{
    name.set(listName);
}

ImageList::~ImageList()
{
    ImageListEntry *entry = first;
    first = last = current = next = nullptr;
    while (entry) {
        ImageListEntry *following = entry->next;
        releaseImageListPicture(entry);
        delete entry;
        entry = following;
    }
}

void ImageList::append(const char *file, uint32_t time)
{
    ImageListEntry *entry = new ImageListEntry();
    entry->file.set(file);
    entry->time = time;
    if (last)
        last->next = entry;
    else
        first = entry;
    last = entry;
}

unsigned ImageList::count() const
{
    unsigned n = 0;
    for (const ImageListEntry *e = first; e; e = e->next)
        n++;
    return n;
}
