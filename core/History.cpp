#include "History.h"

#include <new>

#include "Area.h"
#include "Areas.h"
#include "Article.h"
#include "Browser.h"
#include "File.h"
#include "Image.h"
#include "Playlist.h"
#include "System.h"
#include "Theme.h"
#include "containr.h"

History history;

namespace {

void stopAreas(Article *article)
{
    for (Area *area = article->areas; area; area = area->next)
        area->stop();
}

void saveView(HistoryEntry &entry)
{
    Article *a = entry.article;
    entry.scroll = a->scroll;
    entry.xOffset = a->xOffset;
    entry.column = (int32_t)a->column;
    entry.firstLine = (int32_t)a->firstLine;
    entry.focusedLink = a->focusedLink;
}

// Puts the entry's article back on screen where it was left, in the theme
// of the article just left.
void restoreView(HistoryEntry &entry, uint32_t themeNumber)
{
    Article *a = entry.article;
    if (!a)
        return;
    a->scroll = entry.scroll;
    a->xOffset = entry.xOffset;
    a->column = (uint32_t)entry.column;
    a->firstLine = (uint32_t)entry.firstLine;
    a->focusedLink = entry.focusedLink;
    a->setTheme(themeNumber);
    // The pages may have changed since the place was saved (the same
    // article shown further up the path in another look).
    a->fitView();
}

void show(Article *article)
{
    currentArticle = article;
    history.pageChanges++;
    Area::releaseCapture();
}

} // namespace

// Keeps a left Article in the ring; a full ring deletes its oldest.
void History::keep(Article *article)
{
    ring[nextSlot] = article;
    nextSlot = (nextSlot + 1) & (RING_SLOTS - 1);
    if (nextSlot == oldest) {
        // The Article's destructor forgets it wherever it is still named
        // (the shown article, its File's cache).
        delete ring[oldest];
        ring[oldest] = nullptr;
        oldest = (oldest + 1) & (RING_SLOTS - 1);
    }
}

void History::takeOut(Article *article)
{
    for (uint32_t i = oldest; i != nextSlot; i = (i + 1) & (RING_SLOTS - 1)) {
        if (ring[i] != article)
            continue;
        ring[i] = nullptr;
        if (i == oldest)
            oldest = (oldest + 1) & (RING_SLOTS - 1);
    }
}

bool History::open(const char *name)
{
    if (current && current->article) {
        saveView(*current);
        stopAreas(current->article);
    }
    HistoryEntry *entry = new (std::nothrow) HistoryEntry();
    if (!entry)
        return false;
    Article *shown = currentArticle;
    if (shown) {
        if (shown->cursors[CURSOR_BUSY])
            shown->cursors[CURSOR_BUSY]->setAsPointer();
        if (shown->statusbarArea) {
            shown->setStatus("Loading. Please wait...");
            g_system->flip(0, 0, 0);
            shown->redraw = false;
        }
    }
    File *file = g_container.find(name);
    Article *article = file ? file->getArticle() : nullptr;
    entry->article = article;
    entry->loaded = article != nullptr;
    // Laying the article out may have deleted nothing, but the shown article
    // is looked up again rather than trusted.
    shown = currentArticle;
    if (!article) {
        delete entry;
        if (shown) {
            shown->setStatus("");
            if (shown->redraw)
                g_system->flip(0, 0, 0);
            shown->redraw = false;
        }
        return false;
    }
    bool shared = false;
    for (HistoryEntry *e = current; e; e = e->next)
        if (e->article == article)
            shared = true;
    article->setTheme(current && current->article ? current->article->themeNumber : 1);
    show(article);
    entry->next = current;
    article->clearHighlights();
    article->firstLine = 0;
    article->column = 0;
    article->xOffset = 0;
    article->scroll = article->columns >= 2 && article->totalColumns && article->columnTop ? article->columnTop[0] : 0;
    article->focusedLink = nullptr;
    article->activate();
    g_playlist.pendingSound = g_playlist.themeSounds[SOUND_ENTER];
    entry->shared = shared;
    current = entry;
    if (!shared)
        takeOut(article);
    return true;
}

bool History::back()
{
    if (!current)
        return false;
    HistoryEntry *entry = current;
    Article *left = entry->article;
    uint32_t themeNumber = left ? left->themeNumber : 1;
    current = entry->next;
    if (!entry->shared && left) {
        stopAreas(left);
        keep(left);
    }
    if (current) {
        restoreView(*current, themeNumber);
        show(current->article);
    }
    delete entry;
    return current != nullptr;
}

bool History::reload()
{
    if (!current || !current->article)
        return false;
    HistoryEntry *entry = current;
    Article *article = entry->article;
    String name;
    name.set(article->file ? article->file->name.str : nullptr);
    uint32_t themeNumber = article->themeNumber;
    bool shared = entry->shared;
    current = entry->next;
    delete entry;
    if (!shared) {
        stopAreas(article);
        // Its File forgets it, so the file is laid out again below.
        delete article;
    }
    if (current)
        restoreView(*current, themeNumber);
    show(current && !shared ? current->article : nullptr);
    if (open(name.str))
        return true;
    // The article could not be laid out again: the previous place, if any,
    // is what the reader shows now.
    show(current ? current->article : nullptr);
    return false;
}

void History::clear()
{
    // Every entry is popped as back() would, without dressing the older
    // articles for a screen that is going away.
    while (current) {
        HistoryEntry *entry = current;
        current = entry->next;
        if (!entry->shared && entry->article) {
            stopAreas(entry->article);
            keep(entry->article);
        }
        delete entry;
    }
    for (uint32_t i = oldest; i != nextSlot; i = (i + 1) & (RING_SLOTS - 1)) {
        delete ring[i];
        ring[i] = nullptr;
    }
    oldest = nextSlot;
    show(nullptr);
}
