// Stand-ins for scrolling, link drawing and commands until the navigation
// and link code replaces them: pages move without animation, links are hit
// and focused, and commands only open articles and switch themes.
#include "Article.h"

#include <new>
#include <string.h>

#include "Areas.h"
#include "Browser.h"
#include "Commands.h"
#include "History.h"
#include "Link.h"
#include "Messages.h"
#include "Token.h"

Link::~Link()
{
    delete[] tokens;
    delete[] rects;
    Link *rest = next;
    next = nullptr;
    while (rest) {
        Link *following = rest->next;
        rest->next = nullptr;
        delete rest;
        rest = following;
    }
}

void Link::addRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (rectCount == rectCapacity) {
        LinkRect *grown = new (std::nothrow) LinkRect[rectCapacity + 8];
        if (!grown)
            return;
        if (rectCount)
            memcpy(grown, rects, rectCount * sizeof *rects);
        delete[] rects;
        rects = grown;
        rectCapacity += 8;
    }
    rects[rectCount++] = LinkRect{x1, y1, x2, y2};
}

void Link::addToken(Token *) {}

Link *Link::findAt(Link *first, int32_t x, int32_t y)
{
    for (Link *link = first; link; link = link->nextVisible)
        for (uint32_t i = 0; i < link->rectCount; i++) {
            const LinkRect &r = link->rects[i];
            if (r.x1 <= x && x <= r.x2 && r.y1 <= y && y <= r.y2)
                return link;
        }
    return nullptr;
}

bool Link::nearestBelow(int32_t top, int32_t bottom)
{
    sortY = NOT_VISIBLE;
    bool found = false;
    for (uint32_t i = 0; i < rectCount; i++) {
        const LinkRect &r = rects[i];
        if (r.y2 > top && r.y1 < bottom && (!found || r.y2 < sortY)) {
            sortY = r.y2;
            sortX = r.x1;
            found = true;
        }
    }
    return found;
}

bool Link::nearestInColumns(uint32_t, uint32_t, const int32_t *, uint32_t, int32_t)
{
    return false;
}

void Link::draw(bool, int, int, int, int, int, int, const int32_t *, uint32_t, uint32_t, uint32_t) {}

void Link::applyVisitedColours(Link *) {}

bool Article::executeCommand(Article *article, int id, const char *target, uint32_t effect)
{
    if (id >= CMD_THEME_1 && id < CMD_THEME_1 + 9) {
        g_system->post_message(MSG_THEME, id - CMD_THEME_1 + 1);
        return false;
    }
    if (id == CMD_BACK) {
        g_system->post_message(MSG_BACK, 0);
        return false;
    }
    if (id == CMD_QUIT) {
        g_system->post_message(MSG_QUIT_REQUEST, 0);
        return false;
    }
    if (id != CMD_ARTICLE || !target)
        return false;
    g_browser.transition = effect;
    return history.open(target) && currentArticle != article;
}

void Article::setScroll(int32_t position, bool)
{
    int64_t limit = (int64_t)documentHeight - viewHeight + 1;
    if (limit < 0)
        limit = 0;
    if (position > limit)
        position = (int32_t)limit;
    if (position < 0)
        position = 0;
    if (position == scroll)
        return;
    scroll = position;
    firstLine = 0;
    while (firstLine < lineCount && (int64_t)lines[firstLine].bottom < scroll)
        firstLine++;
    updateVisibleLinks();
    if (pageArea)
        pageArea->draw(true);
    if (scrollbarArea)
        scrollbarArea->setPosition(scroll);
}

void Article::navigate(int code)
{
    switch (code) {
    case NAV_LINE_UP: setScroll(scroll - lineStep, false); break;
    case NAV_LINE_DOWN: setScroll(scroll + lineStep, false); break;
    case NAV_STEP: setScroll(scroll + 1, false); break;
    case NAV_LEFT:
    case NAV_PAGE_UP: setScroll(scroll - (viewHeight - pageOverlap), false); break;
    case NAV_RIGHT:
    case NAV_PAGE_DOWN: setScroll(scroll + (viewHeight - pageOverlap), false); break;
    case NAV_HOME: setScroll(0, false); break;
    case NAV_END: setScroll(documentHeight, false); break;
    default: break;
    }
}

bool Article::focusNextLink(bool) { return false; }

void Article::scrollBy(int steps)
{
    if (steps)
        setScroll(scroll - steps * lineStep, false);
}

bool Article::pageTurnStep() { return false; }

void Article::jumpTo(int32_t position) { setScroll(position, false); }

Link *Article::linkAt(int32_t x, int32_t y)
{
    Link *link = Link::findAt(topVisibleLink, x, (int32_t)((int64_t)y + scroll));
    if (link && link != focusedLink)
        selectLink(link, false);
    return link;
}
