// Screen placements of a theme's areas and the button definitions of its
// "button" tags.
#ifndef MIRANDOL_BUTTONDEF_H
#define MIRANDOL_BUTTONDEF_H

#include "Strings.h"

#include <stdint.h>

class Tag;

struct AreaPlacement {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 1;
    int32_t height = 1;
    String name; // font style of text areas, movie file of the movie area

    AreaPlacement() { name.set("?default"); }
    AreaPlacement(const AreaPlacement &) = delete;
    AreaPlacement &operator=(const AreaPlacement &) = delete;

    void copyFrom(const AreaPlacement &other);
    // Reads x, y (0..2048), width, height (1..2048) and, when nameId is not
    // negative, the name from that attribute (lower-cased when asked).
    void read(Tag &tag, int nameId, bool lowerName);
};

// One button of a theme; a theme keeps them as a singly linked list.
class ButtonDef {
public:
    ButtonDef *next = nullptr;
    AreaPlacement placement;
    String normal;
    String selected;
    String pressed;
    String param;
    String desc;
    String sounddown;
    String soundup;
    int32_t command = 0;
    int32_t effect = 1;
    int32_t song = -1;

    ButtonDef() { placement.name.clear(); live++; }
    // Reads a "button" tag and links the result in front of list.
    ButtonDef(Tag &tag, ButtonDef *list);
    // Deletes the rest of the list as well.
    ~ButtonDef();
    ButtonDef(const ButtonDef &) = delete;
    ButtonDef &operator=(const ButtonDef &) = delete;

    // Deep copy of a whole list, in the same order.
    static ButtonDef *clone(const ButtonDef *list);
    static unsigned count(const ButtonDef *list);

    // Definitions alive at once are limited, so that a hostile configuration
    // (many themes inheriting a theme of many buttons) cannot multiply them
    // without bound.
    enum { MAX_LIVE = 65536 };
    static unsigned live;
    static bool roomFor(unsigned more) { return more <= MAX_LIVE && live <= MAX_LIVE - more; }
};

#endif
