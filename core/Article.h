// One laid-out article with its view state and screen areas.
#ifndef MIRANDOL_ARTICLE_H
#define MIRANDOL_ARTICLE_H

#include <stdint.h>

#include "Palette.h"
#include "Strings.h"
#include "Theme.h"

class File;
class Link;
class LinkInfo;
class Token;
class Area;
class Image;

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

    // Settings taken from the article's scheme.
    enum { SONG_SLOTS = 32, THEME_SLOTS = 10 };
    String songs[SONG_SLOTS];
    uint32_t loopMask = 0;
    uint32_t noloopMask = 0;
    String windowTitle;
    Theme *themes[THEME_SLOTS] = {};  // 1..9; null when the scheme names none
    uint32_t themeMask = 0;          // bit n: theme n has its background picture
    unsigned themeNumber = 1;

    // Takes the named scheme's settings; false when there is no such scheme
    // or it gives no theme 1.
    bool applyScheme(const char *schemeName);

    // Runs a link's or button's command for the shown article; true only
    // when "a" or "r" replaced the article on screen. A missing target shows
    // "Article not found" in the article's status bar.
    static bool executeCommand(Article *article, int id, const char *target, uint32_t effect);

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

    // ---- Filled by the article layout (ArticleLayout, core/ArticleFile.cpp)
    // and its line index (core/ArticleLines.cpp). ----
    // One row of the line index; rows are kept sorted by bottom.
    struct Line {
        Token *first;     // owned list
        uint32_t top;     // document y
        uint32_t bottom;  // top + line height
    };
    // A picture name queued for the HTML export.
    struct HtmlImage {
        HtmlImage *next = nullptr;  // owned
        String name;
    };
    bool failed = false;             // the layout failed; the article is deleted
    String title;
    String author;
    String movie;
    String header;                   // HTML export frame files
    String footer;
    bool saveable = true;
    HtmlImage *htmlImages = nullptr; // owned list
    bool unsorted = false;           // addLine appends; finishLayout sorts once
    Line *lines = nullptr;           // owned array
    unsigned lineCount = 0;
    unsigned lineCapacity = 0;
    Link *links = nullptr;           // owned list, document order
    // Page geometry and scrolling from the scheme.
    int pageWidth = 0;
    unsigned columns = 0;
    int columnGap = 0;
    int columnWidth = 0;
    int lineStep = 20;
    int pageOverlap = 20;
    bool scrollOnHover = false;
    int animDuration = 200;
    int edgeDelay = 500;
    int edgeWidth = 5;
    int linkMargin = 5;

    // Stores a line (its token list is taken over; deleted when the index is full).
    void addLine(Token *firstToken, uint32_t top, uint32_t height);
    // Sorts rows lo..hi (inclusive) by bottom.
    void sortLines(int lo, int hi);
    // Turns one LinkInfo into a Link appended to the list head..tail.
    void addLink(LinkInfo *info, Link *&head, Link *&tail);
    // Completes a freshly laid-out article (sorting, first theme).
    void finishLayout();
    // Frees the lines, links and picture queue (the destructor calls it).
    void freeLayout();
    // ---- end of the layout's part ----
};

// The palette that palette-index colours resolve through: the shown
// article's theme palette.
extern Palette g_palette;

#endif
