// One laid-out article with its view state and screen areas.
#ifndef MIRANDOL_ARTICLE_H
#define MIRANDOL_ARTICLE_H

#include <stdint.h>

#include "Palette.h"
#include "Strings.h"
#include "Theme.h"

class File;
class Link;
class Area;
class Image;
class Token;
class LinkInfo;
class PageArea;
class ScrollbarArea;
class StatusbarArea;

class Article {
public:
    explicit Article(File *file);
    ~Article();
    Article(const Article &) = delete;
    Article &operator=(const Article &) = delete;

    bool failed = false;             // not laid out, or no theme could be set
    bool redraw = false;             // the back buffer differs from the screen
    File *file = nullptr;            // not owned
    void *printData = nullptr;       // handed to the platform's print
    String title;                    // left text of the title bar
    String author;                   // right text of the title bar
    String windowTitle;
    String movie;                    // replaces the theme's movie file
    Image *cursors[CURSOR_COUNT] = {}; // one reference each

    // Settings taken from the article's scheme.
    enum { SONG_SLOTS = 32, THEME_SLOTS = 10 };
    String songs[SONG_SLOTS];
    uint32_t loopMask = 0;
    uint32_t noloopMask = 0;
    uint32_t highlightColour;            // fill of search highlights, in markup form
    int highlightState = 0;              // 0 none, 1 just set, 2 shown
    String header;                   // HTML export frame files
    String footer;

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
    bool saveable = true;
    HtmlImage *htmlImages = nullptr; // owned list
    bool unsorted = false;           // addLine appends; finishLayout sorts once
    Line *lines = nullptr;           // owned array
    unsigned lineCount = 0;
    unsigned lineCapacity = 0;

    // Stores a line (its token list is taken over; deleted when the index is full).
    void addLine(Token *firstToken, uint32_t top, uint32_t height);
    // Sorts rows lo..hi (inclusive) by bottom, in O(n log n), keeping the
    // order of rows with the same bottom.
    void sortLines(int lo, int hi);
    // Turns one LinkInfo into a Link appended to the list head..tail.
    void addLink(LinkInfo *info, Link *&head, Link *&tail);
    // Frees the lines, links and picture queue (the destructor calls it).
    void freeLayout();
    // ---- end of the layout's part ----

    Link *links = nullptr;           // owned list
    Link *focusedLink = nullptr;
    bool pointerFocus = false;       // the pointer, not the keys, focused it
    Link *topVisibleLink = nullptr;
    Link *bottomVisibleLink = nullptr;
    int32_t linkMargin = 5;          // rows at the view's ends where a link is not visible

    uint32_t themeMask = 0;          // bit n: theme n may be used
    uint32_t themeNumber = 0;        // 1..9; 0 before the first setTheme
    Theme *themes[THEME_SLOTS] = {}; // 1..9; null when the scheme names none
    int32_t pageWidth = 0;
    int32_t viewHeight = 0;
    int32_t overlayX = 0;
    int32_t overlayY = 0;
    Image *background = nullptr;     // one reference
    Image *overlay = nullptr;        // one reference

    Area *areas = nullptr;           // owned chain
    PageArea *pageArea = nullptr;            // in the chain
    ScrollbarArea *scrollbarArea = nullptr;  // in the chain, or null
    StatusbarArea *statusbarArea = nullptr;  // in the chain, or null

    // Scroll and column-page state.
    int32_t scroll = 0;              // document y at the top of the view
    int32_t documentHeight = 0;
    uint32_t firstLine = 0;          // first line that can be visible
    int32_t lineStep = 20;
    int32_t pageOverlap = 20;
    int32_t xOffset = 0;
    int32_t columnGap = 0;
    int32_t columnWidth = 0;
    uint32_t column = 0;             // first column page shown
    uint32_t columns = 0;            // 0 free, 1 whole views, 2+ pages side by side
    uint32_t totalColumns = 0;
    uint32_t *columnFirstLine = nullptr; // owned, totalColumns entries
    int32_t *columnTop = nullptr;        // owned, totalColumns entries

    // Animated scroll or column slide.
    int32_t animFromScroll = 0, animToScroll = 0, animFromX = 0, animToX = 0;
    uint32_t animFirstLine = 0, animColumn = 0, animColumns = 0;
    int32_t animDuration = 200;
    uint32_t animStart = 0;
    bool animating = false;

    // Scroll bar look and autoscroll.
    Image *scrollBegin = nullptr, *scrollMiddle = nullptr, *scrollEnd = nullptr; // one reference each
    uint32_t thumbColour = COLOUR_DEFAULT;
    bool scrollOnHover = false;
    bool edgeTimerPending = false;
    int32_t edgeWidth = 5;
    int autoscrollMode = 0;          // 0 off, 1 left, 2 right, 3 top, 4 bottom
    int32_t edgeDelay = 500;
    int autoscrollCountdown = 0;

    // Takes the named scheme's settings; false when there is no such scheme
    // or it gives no theme 1.
    bool applyScheme(const char *schemeName);
    void activate();
    void applySongs();

    // Completes a laid-out article: sorts, measures and sets the first usable theme.
    void finishLayout();
    // Dresses the article in theme n; true when a new area chain was built.
    bool setTheme(uint32_t n);
    // Brings the view back inside the article after its pages changed (a
    // new view height): column pages show the page holding the line that
    // was first on screen; the other modes keep the scroll position within
    // reach. firstLine follows, and the visible links with it: a focused
    // link that is no longer on the page loses the focus.
    void fitView();

    // Search highlights.
    void highlightText(const char *word);
    void clearHighlights();

    // Drawing.
    void restoreBackground(int32_t x, int32_t y, int32_t width, int32_t height, bool bracket);
    // The same for the page area at (x, y), left out under the largest
    // opaque picture the lines put there at its own size, which covers it.
    void restorePageBackground(int32_t x, int32_t y, int32_t width, int32_t height);
    // Clears to black the part of the box that the background picture
    // cannot cover, so that nothing of an earlier screen stays there.
    void clearPastBackground(int32_t x, int32_t y, int32_t width, int32_t height);
    void drawLines(int32_t x, int32_t y, int32_t width, int32_t height);
    void redrawRect(int32_t originX, int32_t originY, int32_t x, int32_t y, int32_t width,
                    int32_t height);
    void redrawAll();
    void printLines(uint32_t page, int32_t pageHeight);
    uint32_t pageMetrics(double scale, uint32_t &pages, uint32_t &width, uint32_t &height);

    // Link focus.
    bool selectLink(Link *link, bool keepOld);
    bool linkContains(Link *link, int32_t x, int32_t y);
    void updateVisibleLinks();
    // Whether the link is in the visible list (on the page as the keys see it).
    bool isShown(const Link *link) const;
    // Whether a link on the page has the focus that the keys (or a page
    // move) gave, not the pointer.
    bool keysHoldFocus() const;
    // Draws a link focused or normal at the page placement of the theme.
    void drawLink(Link *link, bool focused);

    void handleMouse(int message, int32_t x, int32_t y);
    // The pointer passed through the areas again where it rests, after the
    // view moved under it: as a motion, except that a status text that the
    // keys gave (a focused link's) stays when the pointer is on nothing.
    void hoverAgain(int32_t x, int32_t y);
    // After a motion: the theme's normal pointer, unless the area that took
    // the pointer (taken) shows one of its own.
    void showNormalPointerUnless(bool taken);
    // The status bar's text, when there is a status bar.
    void setStatus(const char *text);

    void setAutoscroll(int mode);
    void autoscrollStep();

    // Scrolling and navigation.
    void navigate(int code);
    // The column page under page x, x made relative to that page; false
    // right of the last page.
    bool columnAt(int32_t &x, uint32_t &c) const;
    // Moves the focus to the next link below (down) or above; the top-most or
    // bottom-most visible link when none is focused. True when the focus moved.
    bool focusNextLink(bool down);
    void scrollBy(int steps);
    void setScroll(int32_t position, bool animate);
    // Commits the move prepared in the animation fields, or starts its
    // animation when visual effects are on.
    void applyScroll();
    bool pageTurnStep();
    void jumpTo(int32_t position);
    // The link under a point of the page view (page coordinates), which
    // linkAt also focuses; linkUnder only finds it.
    Link *linkAt(int32_t x, int32_t y);
    Link *linkUnder(int32_t x, int32_t y);

    // Runs a link's or button's command for the shown article; true only
    // when "a" or "r" replaced the article on screen.
    static bool executeCommand(Article *article, int id, const char *target, uint32_t effect);

    // The current theme (null before the first one).
    Theme *theme() const { return themeNumber < THEME_SLOTS ? themes[themeNumber] : nullptr; }

private:
    void releaseThemeImages();
    void fitScroll();
    void buildColumnPages();
    void buildAreas(Theme *t);
};

// The palette that palette-index colours resolve through: the shown
// article's theme palette.
extern Palette g_palette;

#endif
