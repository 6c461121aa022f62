// Named screen designs declared by "theme" blocks of "config.txt".
#ifndef MIRANDOL_THEME_H
#define MIRANDOL_THEME_H

#include "ButtonDef.h"
#include "Palette.h"
#include "Tree.h"

class Tag;

enum ThemeCursor {
    CURSOR_NORMAL, CURSOR_SCROLLUP, CURSOR_SCROLLDOWN, CURSOR_LINKUP, CURSOR_LINKDOWN,
    CURSOR_BUTTONUP, CURSOR_BUTTONDOWN, CURSOR_BACK, CURSOR_BUSY, CURSOR_QUIT,
    CURSOR_UP, CURSOR_DOWN, CURSOR_LEFT, CURSOR_RIGHT,
    CURSOR_COUNT
};

enum ThemeSound {
    SOUND_ENTER, SOUND_BACK, SOUND_QUIT, SOUND_LINK, SOUND_SAVE, SOUND_LINE, SOUND_PAGE,
    SOUND_BUTTONDOWN, SOUND_BUTTONUP,
    SOUND_COUNT
};

class Theme : public Tree {
public:
    String background;
    String overlay;
    int32_t overlayX = 0;
    int32_t overlayY = 0;
    Palette palette;
    AreaPlacement page;
    AreaPlacement title;
    AreaPlacement scroll;
    AreaPlacement status;
    AreaPlacement clock;
    AreaPlacement movie;
    uint32_t thumbColour = 0xEFEFEF;
    uint32_t findColour;               // in markup form (set by the constructor)
    uint8_t horizontal = 0;
    String scrollBegin;
    String scrollMiddle;
    String scrollEnd;
    ButtonDef *buttons = nullptr;
    String cursors[CURSOR_COUNT];
    String sounds[SOUND_COUNT];

    Theme(const char *themeName, Tag &tag);
    ~Theme() override;

    void handleTag(Tag &tag);
    void inherit(const char *themeName);

    // Attribute names (keyword ids) and default files of cursors and sounds.
    static const unsigned cursorKeywords[CURSOR_COUNT];
    static const char *const cursorDefaults[CURSOR_COUNT];
    static const unsigned soundKeywords[SOUND_COUNT];
    static const char *const soundDefaults[SOUND_COUNT];
};

#endif
