// Links of a laid-out article: one rectangle per line a link covers, the
// keyboard order of the visible links, drawing, and following a link.
#ifndef MIRANDOL_LINK_H
#define MIRANDOL_LINK_H

#include <stdint.h>

#include "Strings.h"
#include "System.h"

// One clickable rectangle of a link, inclusive page coordinates.
struct LinkRect {
    int32_t x1, y1, x2, y2;
};

class Tag;
class Token;

// One "link" tag while the article is laid out: collects the tokens of the
// link as they are placed; Article::addLink turns it into a Link.
class LinkInfo {
public:
    enum {
        FLAG_NO_POINTER = 0x02,  // "ns"
        FLAG_UNDERLINE = 0x04,   // "u"
        FLAG_NO_UNDERLINE = 0x08,  // "nu"
        FLAG_NO_SOUND = 0x10,    // "nosound"
        FLAG_IMAGE_MAP = 0x20    // a hot spot of an image map
    };

    LinkInfo *next = nullptr;     // not owned: next of the layout's list
    uint32_t flags = 0;
    int32_t command = 0;
    uint32_t tokenCount = 0;
    uint32_t tokenCapacity = 0;
    uint32_t effect = 1;
    uint32_t song = 0xFFFFFFFFu;  // playlist slot, all bits set for none
    int32_t hotX = 0, hotY = 0, hotWidth = 0, hotHeight = 0;
    String description;
    String target;
    String soundName;
    uint32_t selectedColour = 0x7FFFFFFFu;
    uint32_t visitedColour = 0x7FFFFFFFu;
    // Owned array of the link's tokens in placement order, with a line-end
    // marker (kind 0) after each line of the link. The other tokens belong to
    // the article's lines; the markers belong to this LinkInfo, which frees
    // them (Article::addLink only reads them).
    Token **tokens = nullptr;

    LinkInfo(Tag &tag, bool inImageMap);
    // Frees the array and the line-end markers still in it.
    ~LinkInfo();
    LinkInfo(const LinkInfo &) = delete;
    LinkInfo &operator=(const LinkInfo &) = delete;

    // Appends a token (false when memory ran out; the token is then not recorded).
    bool addToken(Token *token);
};

class Link {
public:
    // Flags kept from the link tag.
    enum : uint32_t {
        FLAG_NO_POINTER = 0x02, // the pointer does not change over the link
        FLAG_NO_SOUND = 0x10    // no focus sound
    };
    enum : uint32_t { NO_SONG = 0xFFFFFFFFu };
    enum : int32_t { NOT_VISIBLE = 0x7FFFFFFF };

    int32_t command = 0;
    uint32_t flags = 0;
    uint32_t effect = 1;
    uint32_t song = NO_SONG;
    SampleHandle sound = nullptr;      // owned by its File
    int32_t hotX = 0, hotY = 0, hotWidth = 0, hotHeight = 0;
    uint32_t tokenCount = 0, tokenCapacity = 0;
    uint32_t rectCount = 0, rectCapacity = 0;
    int32_t sortX = 0;
    int32_t sortY = NOT_VISIBLE;
    uint32_t sortColumn = 0;           // column page from the first shown
    int32_t minX = 0x7FFFFFFF, minY = 0x7FFFFFFF;
    int32_t maxX = 0, maxY = 0;
    String target;
    String description;
    Link *next = nullptr;              // owned: the rest of the article's list
    Link *previous = nullptr;          // not owned
    Link *nextVisible = nullptr;       // not owned
    Link *previousVisible = nullptr;   // not owned
    uint32_t selectedColour = 0x7FFFFFFF;
    uint32_t visitedColour = 0x7FFFFFFF;
    Token **tokens = nullptr;          // owned array; the Tokens belong to the lines
    LinkRect *rects = nullptr;         // owned array

    Link() {}
    // Deletes the rest of the list as well.
    ~Link();
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    // Appends a rectangle and widens the bounding box; a failed allocation
    // drops the rectangle.
    void addRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    // Appends a token; a failed allocation drops it.
    void addToken(Token *token);

    // The first link from first along the visible order with a rectangle
    // containing (x, y); null when none.
    static Link *findAt(Link *first, int32_t x, int32_t y);

    // Keyboard order keys of a single-column view showing top..bottom:
    // sortY is the lowest bottom edge of the rectangles in the band and sortX
    // that rectangle's left edge. Returns whether any rectangle is in the band.
    bool nearestBelow(int32_t top, int32_t bottom);
    // The same for column pages firstColumn..lastColumn shown side by side,
    // columnStride apart; columnTops holds topCount ascending page tops.
    // Pages are read one after the other: sortColumn is the page of the
    // rectangle chosen, the first page the link reaches.
    bool nearestInColumns(uint32_t firstColumn, uint32_t lastColumn, const int32_t *columnTops,
                          uint32_t topCount, int32_t columnStride);

    // Draws the link focused or in its normal look inside the page rectangle
    // (x, y, width, height) of the screen.
    void draw(bool focused, int x, int y, int width, int height, int columnStride, int scroll,
              const int32_t *columnTops, uint32_t firstColumn, uint32_t columnCount,
              uint32_t topCount);

    // Recolours the links of a list whose target articles have been read.
    static void applyVisitedColours(Link *first);

    // Plays the link's song and sound and runs its command; true when the
    // shown Article was replaced.
    bool follow();
};

#endif
