// Showing an image list: one picture at a time over the whole screen, each
// for its own time, the next one decoded while the current one is shown.
#include "ImageList.h"

#include "Browser.h"
#include "File.h"
#include "Image.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "Playlist.h"
#include "System.h"
#include "containr.h"

void releaseImageListPicture(ImageListEntry *entry)
{
    if (entry->image)
        entry->image->release();
    entry->image = nullptr;
}

// Drawn over the whole display: a photograph larger than that may be decoded smaller.
static Image *takePicture(const ImageListEntry *entry)
{
    return findPicture(entry->file.str, (int)g_magazine_config.width, (int)g_magazine_config.height);
}

void ImageList::start(Browser &browser, const char *name, int endMessage)
{
    g_system->show_cursor(false);
    ImageList *list = nullptr;
    if (g_magazine_config.imageLists && name && *name)
        list = static_cast<ImageList *>(Tree::find(g_magazine_config.imageLists, name));
    browser.slideList = list;
    browser.slideEndMessage = (uint32_t)endMessage;
    if (list && list->step())
        browser.slideShow = 1;
    else
        g_system->post_message(endMessage, 0);
}

bool ImageList::step()
{
    ImageListEntry *entry;
    if (!current) {
        if (song != -1)
            g_playlist.play((unsigned)song);
        entry = first;
    } else {
        entry = next;
    }
    current = entry;
    if (entry)
        next = showPicture(entry);
    else
        next = nullptr;
    return entry != nullptr;
}

ImageListEntry *ImageList::showPicture(ImageListEntry *entry)
{
    if (!entry->image)
        entry->image = takePicture(entry);
    if (!entry->image || !entry->image->surface || !g_system->begin_display()) {
        g_system->post_message(MSG_SLIDE_MISSING, 0);
    } else {
        const MagazineConfig &config = g_magazine_config;
        g_system->strech(entry->image->surface, 0, 0, (int)config.width, (int)config.height);
        g_system->end_display();
        g_playlist.playPendingSound();
        if (config.userFlag(USER_FLAG_EFFECTS))
            g_system->flip(1, 0, (int)config.fading);
        else
            g_system->flip(0, 0, 0);
        // A time of 0 still shows the picture for a moment.
        g_system->start_timer(MSG_SLIDE_TIMER, entry->time ? (int)entry->time : 1);
    }
    ImageListEntry *following = entry->next;
    if (following && !following->image)
        following->image = takePicture(following);
    releaseImageListPicture(entry);
    return following;
}
