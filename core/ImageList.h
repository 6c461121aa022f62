// Slide shows declared by "imagelist" blocks of "config.txt".
#ifndef MIRANDOL_IMAGELIST_H
#define MIRANDOL_IMAGELIST_H

#include "Tree.h"

#include <stdint.h>

class Image;
struct Browser;

struct ImageListEntry {
    ImageListEntry *next = nullptr;
    String file;
    uint32_t time = 7000;   // milliseconds on screen
    Image *image = nullptr; // held from its preload to its display
};

// Releases the picture an entry holds (preloaded or shown) and forgets it.
void releaseImageListPicture(ImageListEntry *entry);

class ImageList : public Tree {
public:
    int32_t song = -1; // song slot played when the show starts, -1 for none
    ImageListEntry *first = nullptr;
    ImageListEntry *last = nullptr;
    ImageListEntry *current = nullptr;
    ImageListEntry *next = nullptr;

    ImageList(const char *listName, int32_t songSlot);
    ~ImageList() override;

    // Appends an entry for a picture (file already lower-cased, not empty).
    void append(const char *file, uint32_t time);
    unsigned count() const;

    // Starts the show called name over the page: the pointer is hidden and
    // the browser runs the show; when there is no such list, or it has no
    // picture, endMessage is posted at once.
    static void start(Browser &browser, const char *name, int endMessage);
    // Shows the next picture of the show (the first one, with the list's
    // song, when the show has not started); false when the list is done,
    // which also rewinds it for the next start.
    bool step();
    // Shows one picture full screen, starts its timer, preloads the next
    // entry's picture; returns the next entry.
    static ImageListEntry *showPicture(ImageListEntry *entry);
};

#endif
