// Theme switching: dressing an Article in one of its themes 1 to 9 (pictures,
// cursors, column pages and the chain of screen areas), and completing a
// freshly laid-out Article.
#include "Article.h"

#include <string.h>

#include <new>

#include "Area.h"
#include "Areas.h"
#include "Browser.h"
#include "File.h"
#include "Image.h"
#include "System.h"
#include "Theme.h"
#include "containr.h"

namespace {

Image *pictureNamed(const String &name)
{
    return findPicture(name.str);
}

// A pointer the theme may leave at its default name ("busy.bmp"), which
// then need not exist: only a name the theme gave is said to be missing.
Image *pointerNamed(const Theme &theme, int kind)
{
    const String &name = theme.cursors[kind];
    if (strcmp(name.c_str(), Theme::cursorDefaults[kind]) == 0 && !g_container.find(name.str))
        return nullptr;
    return pictureNamed(name);
}

// Hands over a new picture and releases the old one afterwards, so that a
// picture both themes use keeps its decoded surface.
void replaceImage(Image *&slot, Image *picture)
{
    Image *old = slot;
    slot = picture;
    if (old)
        old->release();
}

} // namespace

void Article::finishLayout()
{
    if (lineCount > 1 && unsorted)
        sortLines(0, (int)lineCount - 1);
    documentHeight = lineCount ? (int32_t)lines[lineCount - 1].bottom : 0;
    for (uint32_t n = 1; n <= 9; n++)
        if (setTheme(n))
            return;
    failed = true;
}

bool Article::setTheme(uint32_t n)
{
    if (n < 1 || n > 9 || !(themeMask & (1u << n)) || !themes[n])
        return false;
    if (n == themeNumber) {
        for (Area *area = areas; area; area = area->next)
            area->start();
        return false;
    }
    Theme *t = themes[n];
    Theme *old = theme();
    if (background && old && String::compare(old->background, t->background) == 0 &&
        String::compare(old->overlay, t->overlay) == 0)
        g_browser.transition = 0;
    themeNumber = n;
    viewHeight = t->page.height;

    // New references first: a picture that both themes use is not decoded again.
    Image *begin = pictureNamed(t->scrollBegin);
    Image *middle = pictureNamed(t->scrollMiddle);
    Image *end = pictureNamed(t->scrollEnd);
    Image *back = pictureNamed(t->background);
    Image *front = pictureNamed(t->overlay);
    Image *pointers[CURSOR_COUNT];
    for (int i = 0; i < CURSOR_COUNT; i++) {
        pointers[i] = pointerNamed(*t, i);
        if (!pointers[i])
            pointers[i] = pointerNamed(*t, CURSOR_NORMAL);
    }
    // The new pointer is shown before the old cursors go, so the platform
    // never keeps a pointer picture that was unloaded.
    if (pointers[CURSOR_NORMAL]) {
        pointers[CURSOR_NORMAL]->setAsPointer();
        g_pointer_image = pointers[CURSOR_NORMAL];
    }
    replaceImage(scrollBegin, begin);
    replaceImage(scrollMiddle, middle);
    replaceImage(scrollEnd, end);
    replaceImage(background, back);
    replaceImage(overlay, front);
    for (int i = 0; i < CURSOR_COUNT; i++)
        replaceImage(cursors[i], pointers[i]);
    thumbColour = t->thumbColour;
    highlightColour = t->findColour;
    overlayX = t->overlayX;
    overlayY = t->overlayY;

    if (columns >= 2)
        buildColumnPages();
    fitView();

    delete areas;
    areas = nullptr;
    pageArea = nullptr;
    scrollbarArea = nullptr;
    statusbarArea = nullptr;
    buildAreas(t);

    g_system->set_error_message("Out of memory");
    g_system->critical_check(areas);
    g_system->critical_check(pageArea);
    g_system->set_error_message(nullptr);
    return areas != nullptr;
}

void Article::fitView()
{
    fitScroll();
    updateVisibleLinks();
    // Return follows only a link that is on the page.
    if (!isShown(focusedLink))
        focusedLink = nullptr;
}

void Article::fitScroll()
{
    animating = false;
    xOffset = 0;
    if (columns >= 2) {
        if (totalColumns == 0 || !columnFirstLine || !columnTop)
            return;
        // The last page starting at or before the first line shown, but
        // never so far that fewer pages than shown are left.
        uint32_t shownLine = firstLine;
        uint32_t c = column < totalColumns ? column : totalColumns - 1;
        while (c > 0 && columnFirstLine[c] > shownLine)
            c--;
        while (c + 1 < totalColumns && columnFirstLine[c + 1] <= shownLine)
            c++;
        uint32_t last = totalColumns > columns ? totalColumns - columns : 0;
        column = c < last ? c : last;
        firstLine = columnFirstLine[column];
        scroll = columnTop[column];
        return;
    }
    int64_t limit = 0;
    if (columns == 0) {
        limit = (int64_t)documentHeight - viewHeight + 1;
    } else if (viewHeight > 0) {
        // Whole views: the last view that starts inside the document.
        limit = (int64_t)documentHeight - 1;
        limit -= limit % viewHeight;
    }
    int64_t to = scroll;
    if (columns == 1 && viewHeight > 0)
        to -= to % viewHeight;
    if (to > limit)
        to = limit;
    if (to < 0)
        to = 0;
    scroll = (int32_t)to;
    // The first row that reaches below the top of the view.
    uint32_t lo = 0, hi = lineCount;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if ((int64_t)lines[mid].bottom <= scroll)
            lo = mid + 1;
        else
            hi = mid;
    }
    firstLine = lo < lineCount ? lo : (lineCount ? lineCount - 1 : 0);
}

// Column pages for the view height: a row that passes the page's limit
// starts the next page, unless it is the first row of its page (a row taller
// than the view fills a page of its own instead of leaving one empty).
void Article::buildColumnPages()
{
    delete[] columnFirstLine;
    delete[] columnTop;
    columnFirstLine = nullptr;
    columnTop = nullptr;
    totalColumns = 0;

    auto split = [this](uint32_t *firstLines, int32_t *tops) {
        uint32_t total = 1;
        int64_t limit = viewHeight;
        bool pageHasRow = false;
        if (tops) {
            firstLines[0] = 0;
            tops[0] = lineCount ? (int32_t)lines[0].top : 0;
        }
        for (uint32_t i = 0; i < lineCount; i++) {
            if ((int64_t)lines[i].bottom > limit) {
                if (pageHasRow) {
                    if (tops) {
                        firstLines[total] = i;
                        tops[total] = (int32_t)lines[i].top;
                    }
                    total++;
                }
                limit = (int64_t)lines[i].top + viewHeight;
            }
            pageHasRow = true;
        }
        return total;
    };

    uint32_t total = split(nullptr, nullptr);
    columnFirstLine = new (std::nothrow) uint32_t[total]();
    columnTop = new (std::nothrow) int32_t[total]();
    if (!columnFirstLine || !columnTop) {
        delete[] columnFirstLine;
        delete[] columnTop;
        columnFirstLine = nullptr;
        columnTop = nullptr;
        columns = 0;
        return;
    }
    totalColumns = split(columnFirstLine, columnTop);
}

void Article::buildAreas(Theme *t)
{
    Area *head = new (std::nothrow) AutoscrollArea(cursors[CURSOR_UP], cursors[CURSOR_DOWN],
                                                   cursors[CURSOR_LEFT], cursors[CURSOR_RIGHT], edgeWidth,
                                                   scrollOnHover);
    if (!head)
        return;
    areas = head;

    pageArea = new (std::nothrow) PageArea(t->page.x, t->page.y, pageWidth, t->page.height,
                                           cursors[CURSOR_NORMAL], cursors[CURSOR_LINKUP],
                                           cursors[CURSOR_LINKDOWN]);
    Area::append(pageArea, areas);

    if (t->scroll.width > 1) {
        int64_t visible = viewHeight, max = 0;
        if (columns == 0) {
            max = (int64_t)documentHeight - viewHeight + 1;
        } else if (columns == 1) {
            if (viewHeight > 0) {
                uint32_t view = (uint32_t)viewHeight, document = (uint32_t)documentHeight;
                uint32_t last = view * (document / view);
                if (last >= document)
                    last -= view;
                max = (int32_t)last;
            }
        } else {
            visible = (int64_t)viewHeight * columns;
            if (columns < totalColumns) {
                uint32_t line = columnFirstLine[totalColumns - columns];
                max = line < lineCount ? lines[line].top : 0;
            }
        }
        if (max < 0)
            max = 0;
        scrollbarArea = new (std::nothrow) ScrollbarArea(
            t->scroll, cursors[CURSOR_SCROLLUP], cursors[CURSOR_SCROLLDOWN], scrollBegin, scrollMiddle,
            scrollEnd, thumbColour, (uint32_t)visible, (uint32_t)max, scroll > 0 ? (uint32_t)scroll : 0,
            t->horizontal != 0);
        Area::append(scrollbarArea, areas);
    }
    if (t->title.width > 1)
        Area::append(new (std::nothrow) TitlebarArea(t->title, title.str, author.str), areas);
    if (t->status.width > 1) {
        statusbarArea = new (std::nothrow) StatusbarArea(t->status);
        Area::append(statusbarArea, areas);
    }
    if (t->clock.width > 1)
        Area::append(new (std::nothrow) ClockArea(t->clock), areas);
    ButtonArea::createAll(t->buttons, areas, cursors[CURSOR_BUTTONUP], cursors[CURSOR_BUTTONDOWN]);
    if (t->movie.width && t->movie.height && !t->movie.name.isEmpty())
        Area::append(new (std::nothrow) MovieArea(t->movie, movie.isEmpty() ? t->movie.name.str : movie.str, true),
                     areas);
}
