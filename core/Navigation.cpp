// Moving the article view: the scroll primitive and its animation, keyboard
// and command navigation in the three scroll modes, wheel steps, scroll bar
// jumps, and the link under the pointer. Every move also settles the link
// focus and queues the theme's line, page or link sound.
//
// Scroll modes by `columns`: 0 free scrolling by pixels; 1 one column moved
// by whole views; 2 and more that many column pages side by side.
#include "Article.h"
#include "Clamp.h"

#include "Areas.h"
#include "Link.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "Playlist.h"
#include "System.h"
#include "Theme.h"

namespace {

bool effectsOn() { return g_magazine_config.userFlags[USER_FLAG_EFFECTS - 4] != 0; }

// from + (to - from) * elapsed / duration, in 64 bits so that no product
// overflows.
int32_t interpolate(int32_t from, int32_t to, uint32_t elapsed, int32_t duration)
{
    return clampToInt32((int64_t)from + ((int64_t)to - from) * (int64_t)elapsed / duration);
}

// The first line and the top of column page c; pages past the known ones
// are read as the last one, and none known as line 0 at the top.
void columnStart(const Article &a, uint32_t c, uint32_t &line, int32_t &top)
{
    line = 0;
    top = 0;
    if (a.totalColumns == 0 || !a.columnFirstLine || !a.columnTop)
        return;
    if (c >= a.totalColumns)
        c = a.totalColumns - 1;
    line = a.columnFirstLine[c];
    top = a.columnTop[c];
}

// Draws the page and moves the scroll bar to the scroll position.
void showPage(Article &a)
{
    if (a.pageArea)
        a.pageArea->draw(true);
    if (a.scrollbarArea)
        a.scrollbarArea->setPosition(a.scroll);
}

void noFocus(Article &a)
{
    a.focusedLink = nullptr;
    a.setStatus("");
}

// Focus rules after a move.
void keepIfVisible(Article &a)
{
    Link *focused = a.focusedLink;
    if (a.isShown(focused) && a.selectLink(focused, a.redraw))
        return;
    noFocus(a);
}

void selectOr(Article &a, Link *first, bool keepOld, Link *fallback = nullptr)
{
    if (a.selectLink(first, keepOld))
        return;
    if (fallback && a.selectLink(fallback, keepOld))
        return;
    noFocus(a);
}

void notMoved(Article &a, Link *link)
{
    Link *old = a.focusedLink;
    if (a.selectLink(link, false) && a.focusedLink != old)
        g_playlist.queueThemeSound(SOUND_LINK);
}

// Runs a scroll and reports whether the view moved: whether anything was
// drawn by it. A redraw pending from before is kept.
template <typename Move> bool moved(Article &a, Move move)
{
    bool pending = a.redraw;
    a.redraw = false;
    move();
    bool result = a.redraw;
    a.redraw = a.redraw || pending;
    return result;
}

// Prepares a slide of the column pages from the shown column to column c,
// drawing `shown` pages while it runs, and starts it.
void slideColumns(Article &a, uint32_t c, int32_t fromX, int32_t toX, uint32_t shown, bool columnAtOnce)
{
    uint32_t line;
    int32_t top;
    columnStart(a, c, line, top);
    a.animFromX = fromX;
    a.animToX = toX;
    a.animFromScroll = a.scroll;
    a.animFirstLine = line;
    a.animToScroll = top;
    a.animColumn = c;
    a.animColumns = shown;
    if (columnAtOnce) {
        a.firstLine = line;
        a.column = c;
    }
    a.applyScroll();
}


// Home and End settle the focus on the first or last visible link, with the
// page sound when the view moved.
void settleHomeEnd(Article &a, bool home, bool moved)
{
    Link *end = home ? a.topVisibleLink : a.bottomVisibleLink;
    if (!moved) {
        notMoved(a, end);
        return;
    }
    g_playlist.queueThemeSound(SOUND_PAGE);
    selectOr(a, end, false);
}

void navigateColumns(Article &a, int code)
{
    int32_t step = a.columnWidth + a.columnGap;
    switch (code) {
    case NAV_LINE_UP:
    case NAV_LEFT:
        if (a.column == 0)
            return;
        slideColumns(a, a.column - 1, step, 0, a.columns + 1, true);
        g_playlist.queueThemeSound(SOUND_LINE);
        keepIfVisible(a);
        return;
    case NAV_LINE_DOWN:
    case NAV_RIGHT:
        if (a.column + a.columns >= a.totalColumns)
            return;
        slideColumns(a, a.column + 1, 0, step, a.columns + 1, false);
        g_playlist.queueThemeSound(SOUND_LINE);
        keepIfVisible(a);
        return;
    case NAV_PAGE_UP: {
        if (a.column == 0)
            return;
        uint32_t k = a.column < a.columns ? a.column : a.columns;
        slideColumns(a, a.column - k, clampToInt32((int64_t)k * step), 0, k + a.columns, true);
        g_playlist.queueThemeSound(SOUND_PAGE);
        keepIfVisible(a);
        return;
    }
    case NAV_PAGE_DOWN: {
        if (a.column + a.columns >= a.totalColumns)
            return;
        // The last move shows the last pages, not fewer than a view.
        uint32_t left = a.totalColumns - a.column;
        uint32_t k = left < 2 * a.columns ? left - a.columns : a.columns;
        slideColumns(a, a.column + k, 0, clampToInt32((int64_t)k * step), k + a.columns, false);
        g_playlist.queueThemeSound(SOUND_PAGE);
        keepIfVisible(a);
        return;
    }
    case NAV_HOME:
    case NAV_END: {
        bool home = code == NAV_HOME;
        bool move = moved(a, [&]() {
            if (home ? a.column == 0 : a.column + a.columns >= a.totalColumns)
                return;
            uint32_t c = home ? 0 : a.totalColumns - a.columns;
            uint32_t line = 0;
            int32_t top = 0;
            if (!home)
                columnStart(a, c, line, top);
            a.column = c;
            a.firstLine = line;
            a.xOffset = 0;
            a.scroll = top;
            a.updateVisibleLinks();
            showPage(a);
        });
        settleHomeEnd(a, home, move);
        return;
    }
    default:
        return;
    }
}

void navigateSingle(Article &a, int code)
{
    if (a.columns == 1 && code == NAV_LINE_UP)
        code = NAV_PAGE_UP;
    if (a.columns == 1 && code == NAV_LINE_DOWN)
        code = NAV_PAGE_DOWN;
    if (code == NAV_LEFT)
        code = NAV_PAGE_UP;
    if (code == NAV_RIGHT)
        code = NAV_PAGE_DOWN;
    switch (code) {
    case NAV_LINE_UP:
    case NAV_LINE_DOWN: {
        bool up = code == NAV_LINE_UP;
        int64_t to = (int64_t)a.scroll + (up ? -(int64_t)a.lineStep : a.lineStep);
        if (!moved(a, [&]() { a.setScroll(clampToInt32(to), false); })) {
            notMoved(a, up ? a.topVisibleLink : a.bottomVisibleLink);
            return;
        }
        g_playlist.queueThemeSound(SOUND_LINE);
        Link *focused = a.focusedLink;
        if (up)
            selectOr(a, focused ? focused->previousVisible : a.bottomVisibleLink, true, a.topVisibleLink);
        else
            selectOr(a, focused ? focused->nextVisible : a.topVisibleLink, true, a.bottomVisibleLink);
        return;
    }
    case NAV_STEP:
        if (a.columns != 0)
            return;
        a.setScroll(clampToInt32((int64_t)a.scroll + 1), false);
        keepIfVisible(a);
        return;
    case NAV_PAGE_UP:
    case NAV_PAGE_DOWN: {
        bool up = code == NAV_PAGE_UP;
        // A page move goes at least one line its own way, however large
        // the overlap.
        int64_t step = (int64_t)a.viewHeight - a.pageOverlap;
        if (a.columns == 1)
            step = a.viewHeight;
        int64_t line = a.lineStep > 0 ? a.lineStep : 1;
        if (step < line)
            step = line;
        if (up)
            step = -step;
        int32_t to = clampToInt32(a.scroll + step);
        if (!moved(a, [&]() { a.setScroll(to, true); })) {
            notMoved(a, up ? a.topVisibleLink : a.bottomVisibleLink);
            return;
        }
        g_playlist.queueThemeSound(SOUND_PAGE);
        selectOr(a, up ? a.bottomVisibleLink : a.topVisibleLink, true);
        return;
    }
    case NAV_HOME:
    case NAV_END: {
        bool home = code == NAV_HOME;
        bool move = moved(a, [&]() { a.setScroll(home ? 0 : a.documentHeight, false); });
        settleHomeEnd(a, home, move);
        return;
    }
    default:
        return;
    }
}

} // namespace

void Article::setScroll(int32_t position, bool animate)
{
    if (position == scroll)
        return;
    int64_t to = position;
    if (columns != 0) {
        // Whole views: snap to the nearest multiple of the view height
        // inside the document.
        if (to >= documentHeight)
            to = (int64_t)documentHeight - 1;
        if (viewHeight > 0) {
            to = (to + viewHeight / 2) / viewHeight * viewHeight;
            if (to >= documentHeight)
                to -= viewHeight;
        }
        xOffset = 0;
        // Snapped onto the shown view: nothing moves.
        if (to == scroll)
            return;
    }
    if (animate)
        animFromScroll = scroll;
    int32_t from = scroll;
    if (scroll > to) {
        if (scroll < 1)
            return;
        if (to < 0)
            to = 0;
    } else if (columns == 0) {
        int64_t limit = (int64_t)documentHeight - viewHeight + 1;
        if (to > limit)
            to = limit < 0 ? 0 : limit;
        if (to == scroll)
            return;
    }
    scroll = clampToInt32(to);
    // The first line that can be visible, walked from the old one (never
    // past either end of the index).
    uint32_t line = firstLine;
    if (lineCount == 0) {
        line = 0;
    } else {
        if (line >= lineCount)
            line = lineCount - 1;
        if (scroll < from) {
            if ((int64_t)scroll < lines[line].bottom && line > 0) {
                do
                    line--;
                while (line > 0 && (int64_t)lines[line].bottom > scroll);
            }
        } else {
            while (line + 1 < lineCount && (int64_t)lines[line].bottom < scroll)
                line++;
        }
    }
    animFirstLine = line;
    if (animate) {
        if (line < firstLine)
            firstLine = line;
        animToScroll = scroll;
        animColumn = column;
        applyScroll();
        return;
    }
    firstLine = line;
    updateVisibleLinks();
    showPage(*this);
}

void Article::applyScroll()
{
    if (effectsOn() && animDuration > 0) {
        redraw = true;
        animating = true;
        animStart = g_system->get_ticks();
        // The visible links already describe the view the move ends on.
        int32_t shownScroll = scroll;
        uint32_t shownColumn = column;
        scroll = animToScroll;
        column = animColumn;
        updateVisibleLinks();
        scroll = shownScroll;
        column = shownColumn;
        return;
    }
    animating = false;
    xOffset = 0;
    column = animColumn;
    firstLine = animFirstLine;
    scroll = animToScroll;
    updateVisibleLinks();
    showPage(*this);
}

bool Article::pageTurnStep()
{
    if (!animating)
        return false;
    uint32_t elapsed = g_system->get_ticks() - animStart;
    if (elapsed == 0)
        return true; // no time has passed yet: nothing to draw
    if (animDuration <= 0 || elapsed >= (uint32_t)animDuration) {
        scroll = animToScroll;
        column = animColumn;
        firstLine = animFirstLine;
        animStart = 0;
        xOffset = 0;
        showPage(*this);
        if (isShown(focusedLink))
            selectLink(focusedLink, true);
        if (redraw) {
            g_system->flip(0, 0, 0);
            redraw = false;
        }
        animating = false;
        return false;
    }
    uint32_t ownColumns = columns;
    if (columns < 2) {
        scroll = interpolate(animFromScroll, animToScroll, elapsed, animDuration);
    } else {
        scroll = animFromScroll < animToScroll ? animFromScroll : animToScroll;
        columns = animColumns;
        xOffset = interpolate(animFromX, animToX, elapsed, animDuration);
    }
    if (pageArea)
        pageArea->draw(true);
    if (scrollbarArea)
        scrollbarArea->setPosition(interpolate(animFromScroll, animToScroll, elapsed, animDuration));
    if (redraw) {
        g_system->flip(0, 0, 0);
        redraw = false;
    }
    columns = ownColumns;
    return true;
}

void Article::navigate(int code)
{
    if (code < NAV_LINE_UP || code > NAV_END)
        return;
    if (columns >= 2)
        navigateColumns(*this, code);
    else
        navigateSingle(*this, code);
}

bool Article::focusNextLink(bool down)
{
    Link *focused = focusedLink;
    Link *to = focused ? (down ? focused->nextVisible : focused->previousVisible)
                       : (down ? topVisibleLink : bottomVisibleLink);
    return selectLink(to, false);
}

void Article::scrollBy(int steps)
{
    if (steps == 0)
        return;
    if (steps == 0xFFF || steps == -0xFFF) {
        navigate(steps > 0 ? NAV_PAGE_UP : NAV_PAGE_DOWN);
        return;
    }
    if (columns == 1) {
        navigate(steps < 0 ? NAV_PAGE_DOWN : NAV_PAGE_UP);
        return;
    }
    if (columns >= 2) {
        navigate(steps < 0 ? NAV_LINE_DOWN : NAV_LINE_UP);
        return;
    }
    // Each wheel step is shown and heard at once.
    int64_t count = steps < 0 ? -(int64_t)steps : steps;
    int64_t delta = steps < 0 ? lineStep : -(int64_t)lineStep;
    for (int64_t i = 0; i < count; i++) {
        redraw = false;
        setScroll(clampToInt32(scroll + delta), false);
        bool move = redraw;
        if (move) {
            if (i == 0)
                noFocus(*this);
            g_playlist.queueThemeSound(SOUND_LINE);
            g_system->flip(0, 0, 0);
        }
        redraw = false;
        if (g_playlist.pendingSound) {
            g_system->play_sound(g_playlist.pendingSound);
            g_playlist.pendingSound = nullptr;
        }
        // At an end every further step stays put as well.
        if (!move)
            break;
    }
}

void Article::jumpTo(int32_t position)
{
    bool pending = redraw;
    redraw = false;
    if (columns < 2) {
        setScroll(position, false);
    } else if (totalColumns > 0 && columnTop && columnFirstLine) {
        int64_t p = (int64_t)position + viewHeight / 2;
        if (p < 0)
            p = 0;
        uint32_t last = totalColumns > columns ? totalColumns - columns : 0;
        uint32_t c = 0;
        while (c < last && columnTop[c + 1] <= p)
            c++;
        if (c != column) {
            column = c;
            firstLine = columnFirstLine[c];
            scroll = columnTop[c];
            updateVisibleLinks();
            showPage(*this);
        }
    }
    if (redraw) {
        noFocus(*this);
        g_playlist.queueThemeSound(SOUND_LINE);
    } else {
        redraw = pending;
    }
}

bool Article::columnAt(int32_t &x, uint32_t &c) const
{
    // Page k covers x from k steps on, its first pixel column included.
    int32_t step = columnWidth + columnGap;
    c = column;
    if (step > 0 && x >= step) {
        int32_t pages = x / step;
        x -= pages * step;
        uint64_t k = (uint64_t)c + (uint32_t)pages;
        c = k > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)k;
    }
    return c < totalColumns && columnTop;
}

Link *Article::linkAt(int32_t x, int32_t y)
{
    Link *link = linkUnder(x, y);
    if (link && link != focusedLink) {
        if (!(link->flags & Link::FLAG_NO_SOUND))
            g_playlist.queueThemeSound(SOUND_LINK);
        selectLink(link, false);
        pointerFocus = focusedLink == link;
    }
    return link;
}

Link *Article::linkUnder(int32_t x, int32_t y)
{
    int64_t pageY = y;
    if (columns < 2) {
        pageY += scroll;
    } else {
        // Right of the last page there is no link.
        uint32_t c;
        if (!columnAt(x, c))
            return nullptr;
        pageY += columnTop[c];
    }
    return Link::findAt(topVisibleLink, x, clampToInt32(pageY));
}
