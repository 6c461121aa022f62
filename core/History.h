// The reader's path through the magazine and the cache of the Articles it
// left: a list of entries (the place on screen first) and a ring of the 15
// most recently left Articles. It sets the shown Article, currentArticle.
#ifndef MIRANDOL_HISTORY_H
#define MIRANDOL_HISTORY_H

#include <stdint.h>

class Article;
class Link;

// One visited place, with the view it was left in.
struct HistoryEntry {
    HistoryEntry *next = nullptr;   // the older entry (owned by the list)
    bool shared = false;            // an older entry holds the same Article
    bool loaded = false;
    Article *article = nullptr;     // not owned: on the path, the ring or gone
    int32_t scroll = 0;
    int32_t xOffset = 0;
    int32_t column = 0;
    int32_t firstLine = 0;
    Link *focusedLink = nullptr;
};

class History {
public:
    enum { RING_SLOTS = 16 };

    Article *ring[RING_SLOTS] = {}; // owned; a slot may be null
    HistoryEntry *current = nullptr; // owned list
    uint32_t oldest = 0;
    uint32_t nextSlot = 0;
    // Counts the times an article was put on screen. An article laid out
    // again may sit where the one it replaced was, or be that very object
    // (one shown twice on the path): this count changes all the same.
    uint32_t pageChanges = 0;

    // Opens the named article on top of the current one; true when it is in
    // the back buffer (the caller presents it).
    bool open(const char *name);
    // Pops the current entry; true when an older one became current.
    bool back();
    // Lays the current article out again and reopens it.
    bool reload();
    // Pops every entry and deletes every kept Article.
    void clear();
    // Whether the current entry has an older entry to go back to.
    bool hasOlder() const { return current && current->next; }

private:
    void keep(Article *article);
    void takeOut(Article *article);
};

extern History history;

#endif
