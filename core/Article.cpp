// The article view: the record, drawing and background restoration, link
// focus, pointer messages with the status text, and autoscroll.
#include "Article.h"
#include "SearchIndex.h"

#include "Area.h"
#include "Areas.h"
#include "Browser.h"
#include "File.h"

#include <algorithm>
#include <new>

#include "Image.h"
#include "Link.h"
#include "Markup.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "Playlist.h"
#include "Scheme.h"
#include "SearchIndex.h"
#include "System.h"
#include "Theme.h"
#include "Token.h"
#include "containr.h"

Palette g_palette;

namespace {

// The one way an Article leaves the cache of a File that goes away.
void deleteCachedArticle(Article *article)
{
    delete article;
}

void releaseImage(Image *&image)
{
    if (image)
        image->release();
    image = nullptr;
}

uint32_t drawColour(uint32_t colour)
{
    return resolveColour(colour, &g_palette);
}

} // namespace

Article::Article(File *owner) : file(owner), highlightColour(markupColour(DEFAULT_FIND_COLOUR))
{
    File::deleteArticle = deleteCachedArticle;
    windowTitle.set(defaultMagazineTitle());
}

Article::~Article()
{
    // Nothing may keep pointing at an Article that is gone.
    if (currentArticle == this)
        currentArticle = nullptr;
    for (Image *&cursor : cursors)
        releaseImage(cursor);
    if (file && file->article == this) {
        file->cached = false;
        file->article = nullptr;
    }
    // The chain's destructors forget the capture when it was one of them.
    delete areas;
    areas = nullptr;
    pageArea = nullptr;
    scrollbarArea = nullptr;
    statusbarArea = nullptr;
    focusedLink = topVisibleLink = bottomVisibleLink = nullptr;
    freeLayout();
    releaseThemeImages();
    delete[] columnFirstLine;
    delete[] columnTop;
    columnFirstLine = nullptr;
    columnTop = nullptr;
    totalColumns = 0;
}

void Article::releaseThemeImages()
{
    releaseImage(background);
    releaseImage(overlay);
    releaseImage(scrollBegin);
    releaseImage(scrollMiddle);
    releaseImage(scrollEnd);
}

bool Article::applyScheme(const char *schemeName)
{
    Scheme *scheme = static_cast<Scheme *>(Tree::find(g_magazine_config.schemes, schemeName));
    if (!scheme)
        return false;
    for (int n = 0; n < SONG_SLOTS; n++)
        songs[n].set(scheme->songs[n].str);
    windowTitle.set(scheme->title.str);
    header.set(scheme->header.str);
    footer.set(scheme->footer.str);
    loopMask = scheme->loopMask;
    noloopMask = scheme->noloopMask;
    pageWidth = (int32_t)scheme->pageWidth;
    columns = scheme->columns;
    columnGap = (int32_t)scheme->columnSpacing;
    columnWidth = (int32_t)scheme->columnWidth();
    lineStep = (int32_t)scheme->scrollLine;
    pageOverlap = (int32_t)scheme->scrollPage;
    scrollOnHover = scheme->autoscroll != 0;
    animDuration = (int32_t)scheme->scrollSpeed;
    edgeDelay = (int32_t)scheme->edgeDelay;
    edgeWidth = (int32_t)scheme->scrollTolerance;
    linkMargin = (int32_t)scheme->linkTolerance;
    themeMask = 0;
    for (int n = 1; n < THEME_SLOTS; n++) {
        themes[n] = static_cast<Theme *>(Tree::find(g_magazine_config.themes, scheme->backgrounds[n].str));
        if (themes[n] && g_container.find(themes[n]->background.str))
            themeMask |= 1u << n;
    }
    return themes[1] != nullptr;
}

void Article::activate()
{
    if (file)
        file->visited = true;
    Theme *t = theme();
    if (t)
        g_palette = t->palette;
    if (highlightState != 0) {
        for (uint32_t i = 0; i < lineCount; i++)
            for (Token *token = lines[i].first; token && token->kind == TOKEN_HIGHLIGHT; token = token->next)
                if (token->baseColour != COLOUR_NONE)
                    token->colour = highlightColour != COLOUR_NONE ? highlightColour : token->baseColour;
    }
    if (t) {
        for (int i = 0; i < Playlist::THEME_SOUNDS && i < SOUND_COUNT; i++) {
            File *sound = g_container.find(t->sounds[i].str);
            g_playlist.themeSounds[i] = sound ? sound->getSound() : nullptr;
        }
    }
    applySongs();
    updateVisibleLinks();
    autoscrollMode = 0;
    // An edge delay that ran when the article was left is over.
    edgeTimerPending = false;
    g_system->set_window_title(windowTitle.isEmpty() ? defaultMagazineTitle() : windowTitle.c_str());
    if (links)
        Link::applyVisitedColours(links);
    redrawAll();
    setStatus("");
    if (scrollbarArea)
        scrollbarArea->setPosition(scroll);
}

void Article::applySongs()
{
    g_playlist.applySongs(songs, loopMask, noloopMask);
}

void Article::setStatus(const char *text)
{
    if (statusbarArea)
        statusbarArea->setText(text);
}

// ---------------------------------------------------------------------------
// Search highlights.

void Article::highlightText(const char *word)
{
    if (highlightState != 0)
        for (uint32_t i = 0; i < lineCount; i++)
            Token::removeHighlights(lines[i].first);
    TextSearch search(word);
    for (uint32_t i = 0; i < lineCount; i++)
        Token::collectHighlights(lines[i].first, search, highlightColour);
    highlightState = 1;
}

void Article::clearHighlights()
{
    if (highlightState == 1) {
        highlightState = 2;
    } else if (highlightState == 2) {
        for (uint32_t i = 0; i < lineCount; i++)
            Token::removeHighlights(lines[i].first);
        highlightState = 0;
    }
}

// ---------------------------------------------------------------------------
// Drawing.

void Article::clearPastBackground(int32_t x, int32_t y, int32_t width, int32_t height)
{
    // Without a background picture (it could not be read) the whole box is
    // cleared; with one, what lies right of it and below it.
    int64_t right = (int64_t)x + width, bottom = (int64_t)y + height;
    if (x >= right || y >= bottom)
        return;
    int64_t pictureRight = background ? background->width : x;
    int64_t pictureBottom = background ? background->height : y;
    int64_t from = x > pictureRight ? x : pictureRight;
    if (from < right) {
        g_system->fill_rect((int)from, y, (int)(right - from), height, 0);
        redraw = true;
    }
    int64_t to = right < pictureRight ? right : pictureRight;
    int64_t top = y > pictureBottom ? y : pictureBottom;
    if (x < to && top < bottom) {
        g_system->fill_rect(x, (int)top, (int)(to - x), (int)(bottom - top), 0);
        redraw = true;
    }
}

void Article::restoreBackground(int32_t x, int32_t y, int32_t width, int32_t height, bool bracket)
{
    if (bracket && !g_system->begin_display())
        return;
    clearPastBackground(x, y, width, height);
    if (background) {
        g_system->blt(background->surface, x, y, x, y, width, height);
        redraw = true;
    }
    if (overlay) {
        int64_t l = x > overlayX ? x : overlayX;
        int64_t t = y > overlayY ? y : overlayY;
        int64_t r = (int64_t)x + width - 1;
        int64_t b = (int64_t)y + height - 1;
        int64_t overlayRight = (int64_t)overlayX + overlay->width - 1;
        int64_t overlayBottom = (int64_t)overlayY + overlay->height - 1;
        if (r > overlayRight)
            r = overlayRight;
        if (b > overlayBottom)
            b = overlayBottom;
        if (background) {
            if (r > background->width - 1)
                r = background->width - 1;
            if (b > background->height - 1)
                b = background->height - 1;
        }
        if (l <= r && t <= b) {
            g_system->blt(overlay->surface, (int)l, (int)t, (int)(l - overlayX), (int)(t - overlayY),
                          (int)(r - l + 1), (int)(b - t + 1));
            redraw = true;
        }
    }
    if (bracket)
        g_system->end_display();
}

void Article::restorePageBackground(int32_t x, int32_t y, int32_t width, int32_t height)
{
    // The covered box, half-open, inside the area; column pages are not searched.
    int64_t best = 0, cx0 = 0, cy0 = 0, cx1 = 0, cy1 = 0;
    int64_t limit = (int64_t)scroll + height;
    int64_t ax1 = (int64_t)x + width, ay1 = (int64_t)y + height;
    for (uint32_t i = firstLine; columns < 2 && i < lineCount; i++) {
        if ((int64_t)lines[i].top >= limit)
            continue;
        for (Token *token = lines[i].first; token; token = token->next) {
            if (token->kind != TOKEN_IMAGE)
                continue;
            const ImageToken *picture = static_cast<const ImageToken *>(token);
            const Image *image = picture->image;
            if (picture->scaled || !image || !image->surface || !image->opaque)
                continue;
            // Where ImageToken::draw puts it.
            int64_t l = (int64_t)x - xOffset + token->x, t = (int64_t)y - scroll + token->y;
            int64_t r = l + image->width, b = t + image->height;
            l = l > x ? l : x;
            t = t > y ? t : y;
            r = r < ax1 ? r : ax1;
            b = b < ay1 ? b : ay1;
            if (l < r && t < b && (r - l) * (b - t) > best) {
                best = (r - l) * (b - t);
                cx0 = l, cy0 = t, cx1 = r, cy1 = b;
            }
        }
    }
    if (best == 0) {
        restoreBackground(x, y, width, height, false);
        return;
    }
    // Above, below, then left and right of the picture.
    const int64_t strips[4][4] = {{x, y, ax1, cy0}, {x, cy1, ax1, ay1}, {x, cy0, cx0, cy1}, {cx1, cy0, ax1, cy1}};
    for (const auto &s : strips)
        if (s[0] < s[2] && s[1] < s[3])
            restoreBackground((int32_t)s[0], (int32_t)s[1], (int32_t)(s[2] - s[0]), (int32_t)(s[3] - s[1]), false);
    if (background || overlay)
        redraw = true;
}

static void drawLine(const Article::Line &line, int32_t x0, int32_t y0)
{
    for (Token *token = line.first; token; token = token->next)
        token->draw(x0 + token->x, y0 + token->y, drawColour(token->colour));
}

void Article::drawLines(int32_t x, int32_t y, int32_t width, int32_t height)
{
    g_system->set_region(x, y, width, height);
    int32_t x0 = x - xOffset;
    if (columns < 2) {
        int64_t limit = (int64_t)scroll + height;
        for (uint32_t i = firstLine; i < lineCount; i++)
            if ((int64_t)lines[i].top < limit)
                drawLine(lines[i], x0, y - scroll);
    } else if (column < totalColumns && columnFirstLine) {
        // Column pages side by side, as many as are shown and no more than exist.
        uint32_t c = column;
        uint32_t i = firstLine;
        for (uint32_t shown = 0; shown < columns && c < totalColumns; shown++, c++) {
            uint32_t end = c + 1 < totalColumns ? columnFirstLine[c + 1] : lineCount;
            if (end > lineCount)
                end = lineCount;
            uint32_t start = columnFirstLine[c];
            int32_t yOff = y - (start < lineCount ? (int32_t)lines[start].top : 0);
            for (; i < end; i++)
                drawLine(lines[i], x0, yOff);
            x0 += columnWidth + columnGap;
        }
    }
    g_system->set_region(0, 0, 0, 0);
}

void Article::redrawRect(int32_t originX, int32_t originY, int32_t x, int32_t y, int32_t width,
                         int32_t height)
{
    restoreBackground(originX + x, originY + y, width, height, false);
    if (highlightState != 2)
        return;
    int64_t right = (int64_t)x + width, bottom = (int64_t)y + height;
    for (uint32_t i = firstLine; i < lineCount; i++) {
        if ((int64_t)lines[i].top >= bottom)
            continue;
        for (Token *token = lines[i].first; token && token->kind == TOKEN_HIGHLIGHT; token = token->next) {
            // Only the part inside the rectangle: the text under the rest of
            // the highlight is not drawn again.
            int64_t x0 = std::max<int64_t>(x, token->x), x1 = std::min<int64_t>(right, (int64_t)token->x + token->width);
            int64_t y0 = std::max<int64_t>(y, token->y), y1 = std::min<int64_t>(bottom, (int64_t)token->y + token->ascent);
            if (x0 < x1 && y0 < y1)
                HighlightToken::fill((int)(originX + x0), (int)(originY + y0), (int)(x1 - x0), (int)(y1 - y0),
                                     drawColour(token->colour));
        }
    }
}

void Article::redrawAll()
{
    if (!g_system->begin_display())
        return;
    restoreBackground(0, 0, (int32_t)g_magazine_config.width, (int32_t)g_magazine_config.height, false);
    for (Area *area = areas; area; area = area->next)
        area->draw(false);
    if (focusedLink)
        drawLink(focusedLink, true);
    g_system->end_display();
}

void Article::printLines(uint32_t page, int32_t pageHeight)
{
    if (page < 1)
        return;
    if (columns < 2) {
        int64_t height = pageHeight > 0 ? pageHeight : viewHeight;
        if (height < 1)
            height = 1;
        int64_t top = height * (page - 1), bottom = top + height;
        for (uint32_t i = 0; i < lineCount; i++) {
            if ((int64_t)lines[i].bottom <= top || (int64_t)lines[i].top >= bottom)
                continue;
            int carry = 0;
            for (Token *token = lines[i].first; token; token = token->next) {
                int error = token->print(token->x + carry, (int)(token->y - top), drawColour(token->colour));
                if (error > 0)
                    carry += error;
            }
        }
        return;
    }
    uint64_t first = (uint64_t)(page - 1) * columns;
    int32_t x0 = 0;
    for (uint64_t c = first; c < first + columns && c < totalColumns; c++) {
        uint32_t start = columnFirstLine[c];
        uint32_t end = c + 1 < totalColumns ? columnFirstLine[c + 1] : lineCount;
        int32_t top = columnTop[c];
        for (uint32_t i = start; i < end && i < lineCount; i++) {
            int carry = 0;
            for (Token *token = lines[i].first; token; token = token->next) {
                int error = token->print(x0 + token->x + carry, token->y - top, drawColour(token->colour));
                if (error > 0)
                    carry += error;
            }
        }
        x0 += columnWidth + columnGap;
    }
}

uint32_t Article::pageMetrics(double scale, uint32_t &pages, uint32_t &width, uint32_t &height)
{
    width = pageWidth > 0 ? (uint32_t)pageWidth : 0;
    if (columns >= 2) {
        height = viewHeight > 0 ? (uint32_t)viewHeight : 0;
        pages = columns < totalColumns ? (totalColumns - 1) / columns + 1 : 1;
        return columns;
    }
    double scaled = scale == 0.0 ? (double)viewHeight : scale * pageWidth;
    // A page is at least one row high, so the count below never divides by 0.
    height = scaled >= 1.0 && scaled < 2147483647.0 ? (uint32_t)scaled : (scaled >= 1.0 ? 2147483647u : 1u);
    uint32_t document = documentHeight > 0 ? (uint32_t)documentHeight : 0;
    pages = document <= height ? 1 : (document - 1) / height + 1;
    return height;
}

// ---------------------------------------------------------------------------
// Links.

void Article::drawLink(Link *link, bool focused)
{
    int32_t x = pageArea ? pageArea->left : 0;
    int32_t y = pageArea ? pageArea->top : 0;
    Theme *t = theme();
    if (!pageArea && t) {
        x = t->page.x;
        y = t->page.y;
    }
    link->draw(focused, x, y, pageWidth, viewHeight, columnWidth + columnGap, scroll, columnTop, column,
               columns, totalColumns);
}

bool Article::selectLink(Link *link, bool keepOld)
{
    if (!topVisibleLink || !link)
        return false;
    if (!g_system->begin_display())
        return true;
    if (!keepOld && focusedLink)
        drawLink(focusedLink, false);
    if (link != focusedLink)
        pointerFocus = false;
    focusedLink = link;
    drawLink(link, true);
    g_system->end_display();
    setStatus(link->description.str);
    redraw = true;
    return true;
}

bool Article::isShown(const Link *link) const
{
    return link && (link->previousVisible || link == topVisibleLink);
}

bool Article::keysHoldFocus() const
{
    return isShown(focusedLink) && !pointerFocus;
}

bool Article::linkContains(Link *link, int32_t x, int32_t y)
{
    if (columns < 2)
        return Link::findAt(link, x, (int32_t)((int64_t)y + scroll)) == link;
    // A point right of the last page is on no link.
    uint32_t c;
    if (!columnAt(x, c))
        return false;
    return Link::findAt(link, x, (int32_t)((int64_t)y + columnTop[c])) == link;
}

namespace {

// Keyboard order: column page, then the key row, then the left edge.
bool before(const Link *a, const Link *b)
{
    if (a->sortColumn != b->sortColumn)
        return a->sortColumn < b->sortColumn;
    if (a->sortY != b->sortY)
        return a->sortY < b->sortY;
    return a->sortX < b->sortX;
}

// Stable merge sort of a list chained through nextVisible; returns its head.
// The way when there is no memory for the keys below.
Link *sortVisible(Link *head, uint32_t count)
{
    if (count < 2) {
        if (head)
            head->nextVisible = nullptr;
        return head;
    }
    uint32_t half = count / 2;
    Link *second = head;
    for (uint32_t i = 1; i < half; i++)
        second = second->nextVisible;
    Link *rest = second->nextVisible;
    second->nextVisible = nullptr;
    Link *a = sortVisible(head, half);
    Link *b = sortVisible(rest, count - half);
    Link *merged = nullptr;
    Link **end = &merged;
    while (a && b) {
        // Ties keep document order: the first half wins them.
        Link *&from = before(b, a) ? b : a;
        *end = from;
        end = &from->nextVisible;
        from = from->nextVisible;
    }
    *end = a ? a : b;
    return merged;
}

// The keyboard order as two numbers per link, the list position last, so
// that sorting side by side in memory keeps ties in document order without
// following the links around.
struct OrderKey {
    uint64_t major;   // column page, then row
    uint64_t minor;   // left edge, then position in the list
    Link *link;
};

bool keyBefore(const OrderKey &a, const OrderKey &b)
{
    return a.major != b.major ? a.major < b.major : a.minor < b.minor;
}

// Reused from step to step; grows to the most links ever in view.
OrderKey *g_orderKeys = nullptr;   // owned
uint32_t g_orderKeyCapacity = 0;

// Stores the key of the nth visible link; false when memory ran out.
bool storeKey(uint32_t n, Link *link)
{
    if (n >= g_orderKeyCapacity) {
        if (g_orderKeyCapacity >= 0x40000000u)
            return false;
        uint32_t capacity = g_orderKeyCapacity ? g_orderKeyCapacity * 2 : 256;
        OrderKey *grown = new (std::nothrow) OrderKey[capacity];
        if (!grown)
            return false;
        std::copy(g_orderKeys, g_orderKeys + n, grown);
        delete[] g_orderKeys;
        g_orderKeys = grown;
        g_orderKeyCapacity = capacity;
    }
    g_orderKeys[n] = {(uint64_t)link->sortColumn << 32 | ((uint32_t)link->sortY ^ 0x80000000u),
                      (uint64_t)((uint32_t)link->sortX ^ 0x80000000u) << 32 | n, link};
    return true;
}

} // namespace

void Article::updateVisibleLinks()
{
    // Every link leaves the old list, so no link keeps a stale neighbour.
    topVisibleLink = bottomVisibleLink = nullptr;
    Link *head = nullptr, *tail = nullptr;
    uint32_t count = 0;
    bool keyed = true;
    for (Link *link = links; link; link = link->next) {
        link->nextVisible = link->previousVisible = nullptr;
        bool visible = columns < 2
                           ? link->nearestBelow(scroll + linkMargin, scroll + viewHeight - linkMargin - 1)
                           : link->nearestInColumns(column, column + columns - 1, columnTop, totalColumns,
                                                    columnWidth + columnGap);
        if (!visible)
            continue;
        link->sortY -= scroll;
        keyed = keyed && storeKey(count, link);
        if (tail)
            tail->nextVisible = link;
        else
            head = link;
        tail = link;
        count++;
    }
    // Sorted once: a long list in reverse order costs n log n, not n
    // squared; one in order already (the usual case) is only checked.
    if (keyed) {
        const OrderKey *keys = g_orderKeys;
        bool inOrder = true;
        for (uint32_t i = 1; i < count && inOrder; i++)
            inOrder = !keyBefore(keys[i], keys[i - 1]);
        if (!inOrder)
            std::sort(g_orderKeys, g_orderKeys + count, keyBefore);
        Link *previous = nullptr;
        for (uint32_t i = 0; i < count; i++) {
            Link *link = keys[i].link;
            link->previousVisible = previous;
            link->nextVisible = i + 1 < count ? keys[i + 1].link : nullptr;
            previous = link;
        }
        topVisibleLink = count ? keys[0].link : nullptr;
        bottomVisibleLink = previous;
        return;
    }
    // Without memory for the keys: the chain itself, merge-sorted.
    bool inOrder = true;
    for (Link *link = head; link && link->nextVisible && inOrder; link = link->nextVisible)
        inOrder = !before(link->nextVisible, link);
    if (!inOrder)
        head = sortVisible(head, count);
    Link *previous = nullptr;
    for (Link *link = head; link; link = link->nextVisible) {
        link->previousVisible = previous;
        previous = link;
    }
    topVisibleLink = head;
    bottomVisibleLink = previous;
}

// ---------------------------------------------------------------------------
// Pointer and autoscroll.

void Article::handleMouse(int message, int32_t x, int32_t y)
{
    bool taken = areas && Area::dispatchMouse(areas, message, x, y);
    // A button's command may have put another article on screen: this one's
    // status bar and pointer are not shown any more.
    bool shown = currentArticle == this;
    if (shown)
        setStatus(statusText.str);
    if (message == MSG_MOUSE_UP)
        g_system->post_message(MSG_MOUSE_MOVE, (int)makePosition(x, y));
    if (shown && message == MSG_MOUSE_MOVE)
        showNormalPointerUnless(taken);
}

void Article::showNormalPointerUnless(bool taken)
{
    // The area under the pointer shows its own pointer, if it has one; any
    // other (the busy one of an opening, a link's left behind) gives way.
    if (taken && Area::captured && Area::captured->showsPointer())
        return;
    if (cursors[CURSOR_NORMAL])
        cursors[CURSOR_NORMAL]->setAsPointer();
}

void Article::hoverAgain(int32_t x, int32_t y)
{
    if (!areas || Area::pressed)
        return;
    // The description of a link the keys lit is no hover text: it stays.
    bool showsHover = statusbarArea && !statusText.isEmpty() &&
                      String::compare(statusbarArea->text1, statusText) == 0 &&
                      !(keysHoldFocus() && String::compare(statusText, focusedLink->description) == 0);
    Area::repassing = true;
    bool taken = Area::dispatchMouse(areas, MSG_MOUSE_MOVE, x, y);
    Area::repassing = false;
    if (currentArticle != this)
        return;
    if (taken || showsHover)
        setStatus(statusText.str);
    showNormalPointerUnless(taken);
}

void Article::setAutoscroll(int mode)
{
    if (mode == 0) {
        autoscrollMode = 0;
        g_system->stop_timer(MSG_EDGE_DELAY);
        edgeTimerPending = false;
        return;
    }
    if (mode < 1 || mode > 4)
        return;
    bool delay = mode != autoscrollMode && edgeDelay != 0 && !edgeTimerPending;
    autoscrollMode = mode;
    autoscrollCountdown = 0;
    autoscrollStep();
    if (delay) {
        int32_t d = edgeDelay - 50 * autoscrollCountdown;
        if (d >= 1) {
            g_system->start_timer(MSG_EDGE_DELAY, d);
            edgeTimerPending = true;
        }
    }
}

void Article::autoscrollStep()
{
    // Ticks to wait and the step to post, by mode and by whether the article
    // pages sideways (index 1) or scrolls freely (index 0) or by views.
    struct Step { int reload; int code; };
    static const Step steps[5][3] = {
        // columns 0            columns 1             columns 2 and more
        {{0, 0}, {0, 0}, {0, 0}},
        {{5, NAV_PAGE_UP}, {5, NAV_PAGE_UP}, {5, NAV_LINE_UP}},       // left
        {{5, NAV_PAGE_DOWN}, {5, NAV_PAGE_DOWN}, {5, NAV_LINE_DOWN}}, // right
        {{1, NAV_LINE_UP}, {5, NAV_PAGE_UP}, {5, NAV_PAGE_UP}},       // top
        {{1, NAV_LINE_DOWN}, {5, NAV_PAGE_DOWN}, {5, NAV_PAGE_DOWN}}, // bottom
    };
    if (edgeTimerPending || autoscrollMode < 1 || autoscrollMode > 4)
        return;
    if (--autoscrollCountdown > -1)
        return;
    const Step &step = steps[autoscrollMode][columns < 2 ? columns : 2];
    autoscrollCountdown = step.reload;
    g_system->post_message(MSG_NAVIGATE, step.code);
}
