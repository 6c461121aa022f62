// A link of a laid-out article.
#ifndef MIRANDOL_LINK_H
#define MIRANDOL_LINK_H

#include <stdint.h>

#include "Strings.h"

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
    String target;
    Link *next = nullptr;

    virtual ~Link() {}
    // Follows the link; true when the shown Article was replaced.
    bool follow();
};

#endif
