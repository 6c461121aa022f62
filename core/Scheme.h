// Named bundles of article settings declared by "scheme" blocks of "config.txt".
#ifndef MIRANDOL_SCHEME_H
#define MIRANDOL_SCHEME_H

#include "Tree.h"

class Tag;

class Scheme : public Tree {
public:
    enum { BACKGROUND_SLOTS = 10, SONG_SLOTS = 32 };

    String backgrounds[BACKGROUND_SLOTS]; // theme names; articles use 1..9
    String songs[SONG_SLOTS];             // song file names; 1..31 reach the playlist
    String title;
    String fontStyle;
    String align;
    String header;
    String footer;
    uint32_t loopMask = 0;
    uint32_t noloopMask = 0;
    uint32_t pageWidth = 0;
    uint32_t columns = 0;
    uint32_t columnSpacing = 0;
    uint32_t scrollLine = 20;
    uint32_t scrollPage = 20;
    uint32_t scrollSpeed = 200;
    uint32_t edgeDelay = 500;
    uint32_t paragraphSpacing = 0;
    uint32_t scrollTolerance = 5;
    uint32_t linkTolerance = 5;
    int32_t firstLineIndent = 0;
    uint8_t autoscroll = 0;
    uint32_t ruleColour = 0xEFEFEF;
    uint32_t linkColour = 0xEFEFEF;
    uint32_t selectedLinkColour = 0x7FFFFFFF;
    uint32_t visitedLinkColour = 0x7FFFFFFF;

    // Running slot indexes of the block being read.
    static uint32_t backgroundIndex;
    static uint32_t songIndex;

    Scheme(const char *schemeName, Tag &tag);
    ~Scheme() override;

    void handleTag(Tag &tag);
    void inherit(const char *schemeName);

    // Width of one column: the page width shared out among the columns after
    // the gaps; 0 when the gaps leave nothing.
    uint32_t columnWidth() const;
    static uint32_t columnWidth(uint32_t pageWidth, uint32_t columns, uint32_t columnSpacing);
};

// The window title a scheme starts with.
const char *defaultMagazineTitle();

#endif
