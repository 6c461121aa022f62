// Stand-ins for scrolling and link drawing until the navigation code
// replaces them: pages move without animation.
#include "Article.h"

#include <new>
#include <string.h>

#include "Areas.h"
#include "Browser.h"
#include "Link.h"
#include "Messages.h"
#include "Token.h"

// Draws the link in its focused or normal look over the page rectangle.
void Link::draw(bool focused, int x, int y, int width, int height, int columnStride, int scroll,
                const int32_t *columnTops, uint32_t firstColumn, uint32_t columnCount, uint32_t topCount)
{
    Article *article = currentArticle;
    if (!article)
        return;
    g_system->set_region(x, y, width, height);
    bool single = columnCount < 2 || !columnTops || topCount == 0;
    auto place = [&](int32_t top, int &px, int &py) {
        if (single) {
            px = x;
            py = y - scroll;
            return;
        }
        uint32_t c = 0;
        while (c + 1 < topCount && columnTops[c + 1] <= top)
            c++;
        px = x + (int)(c - firstColumn) * columnStride;
        py = y - columnTops[c];
    };
    for (uint32_t i = 0; i < rectCount; i++) {
        int px, py;
        place(rects[i].y1, px, py);
        article->redrawRect(px, py, rects[i].x1, rects[i].y1, rects[i].x2 - rects[i].x1 + 1,
                            rects[i].y2 - rects[i].y1 + 1);
    }
    for (uint32_t i = 0; i < tokenCount; i++) {
        Token *token = tokens[i];
        int px, py;
        place(token->y, px, py);
        if (focused) {
            Token::publishHotSpot(hotX, hotY, hotWidth, hotHeight);
            token->drawNormal(px + token->x, py + token->y, selectedColour);
            Token::withdrawHotSpot();
        } else {
            token->draw(px + token->x, py + token->y, resolveColour(token->colour, &g_palette));
        }
    }
    g_system->set_region(0, 0, 0, 0);
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
