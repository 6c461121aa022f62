// One laid-out article with its view state and screen areas.
#ifndef MIRANDOL_ARTICLE_H
#define MIRANDOL_ARTICLE_H

class File;
class Link;
class Area;
class Image;

// Theme cursor order.
enum CursorIndex {
    CURSOR_NORMAL, CURSOR_SCROLLUP, CURSOR_SCROLLDOWN, CURSOR_LINKUP, CURSOR_LINKDOWN,
    CURSOR_BUTTONUP, CURSOR_BUTTONDOWN, CURSOR_BACK, CURSOR_BUSY, CURSOR_QUIT,
    CURSOR_UP, CURSOR_DOWN, CURSOR_LEFT, CURSOR_RIGHT, CURSOR_COUNT
};

class Article {
public:
    explicit Article(File *file);
    virtual ~Article();

    File *file = nullptr;
    void *printData = nullptr;       // handed to the platform's print
    bool redraw = false;             // the back buffer differs from the screen
    bool edgeTimerPending = false;
    Link *focusedLink = nullptr;
    Image *cursors[CURSOR_COUNT] = {};
    Area *areas = nullptr;           // owned chain
    Area *statusBar = nullptr;       // in the chain, or null

    void navigate(int code);
    // Moves the focus to the next link below (down) or above; the top-most or
    // bottom-most visible link when none is focused. True when the focus moved.
    bool focusNextLink(bool down);
    void handleMouse(int msg, int x, int y);
    void scrollBy(int steps);
    bool setTheme(int theme);
    void activate();
    void redrawAll();
    bool pageTurnStep();
    void autoscrollStep();
    void highlightText(const char *word);
    void applySongs();
    void pageMetrics(int *a, int *b, int *c, int scale);
};

#endif
