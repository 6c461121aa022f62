// A link of a laid-out article.
#ifndef MIRANDOL_LINK_H
#define MIRANDOL_LINK_H

#include "Strings.h"

class Link {
public:
    String target;
    Link *next = nullptr;

    virtual ~Link() {}
    // Follows the link; true when the shown Article was replaced.
    bool follow();
};

#endif
