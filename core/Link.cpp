// Links of a laid-out article: rectangles, hit tests, keyboard order,
// drawing, visited colours and following.
#include "Link.h"
#include "Lists.h"
#include "Clamp.h"

#include <new>
#include <string.h>

#include "Article.h"
#include "Browser.h"
#include "Commands.h"
#include "File.h"
#include "Palette.h"
#include "Playlist.h"
#include "Token.h"
#include "containr.h"

namespace {

// Grows an owned array when it is full (8 entries first, then doubling, so a
// link over a long text stays linear); false when the allocation failed (the
// array is then unchanged).
template <typename T> bool makeRoom(T *&array, uint32_t count, uint32_t &capacity)
{
    if (count < capacity)
        return true;
    uint32_t grownCapacity = capacity ? capacity * 2 : 8;
    if (grownCapacity <= capacity)
        return false;
    T *grown = new (std::nothrow) T[grownCapacity];
    if (!grown)
        return false;
    if (count)
        memcpy(grown, array, count * sizeof(T));
    delete[] array;
    array = grown;
    capacity = grownCapacity;
    return true;
}

} // namespace

Link::~Link()
{
    delete[] tokens;
    delete[] rects;
    // The list owns its successors; delete them one by one, not recursively.
    deleteChain(next);
}

void Link::addRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (!makeRoom(rects, rectCount, rectCapacity))
        return;
    rects[rectCount++] = LinkRect{x1, y1, x2, y2};
    if (x1 < minX)
        minX = x1;
    if (y1 < minY)
        minY = y1;
    if (x2 > maxX)
        maxX = x2;
    if (y2 > maxY)
        maxY = y2;
}

void Link::addToken(Token *token)
{
    if (makeRoom(tokens, tokenCount, tokenCapacity))
        tokens[tokenCount++] = token;
}

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
    sortColumn = 0;
    bool found = false;
    for (uint32_t i = 0; i < rectCount; i++) {
        const LinkRect &r = rects[i];
        if (r.y2 <= top || r.y1 >= bottom)
            continue;
        if (!found || r.y2 < sortY) {
            sortY = r.y2;
            sortX = r.x1;
            found = true;
        }
    }
    return found;
}

// Column page of a page y: the last top at most y, 0 above the first.
static uint32_t columnOf(int32_t y, const int32_t *columnTops, uint32_t topCount)
{
    if (!columnTops || topCount == 0 || y < columnTops[0])
        return 0;
    uint32_t lo = 0, hi = topCount; // columnTops[lo] <= y, answer in [lo, hi)
    while (hi - lo > 1) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (columnTops[mid] <= y)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

// Top of a column page; pages past the known tops (or none known) take the
// last known top (or 0), so no index reads beyond the array.
static int32_t columnTopAt(const int32_t *columnTops, uint32_t topCount, uint32_t c)
{
    if (!columnTops || topCount == 0)
        return 0;
    return columnTops[c < topCount ? c : topCount - 1];
}

bool Link::nearestInColumns(uint32_t firstColumn, uint32_t lastColumn, const int32_t *columnTops,
                            uint32_t topCount, int32_t columnStride)
{
    sortY = NOT_VISIBLE;
    sortColumn = 0;
    bool found = false;
    int32_t firstTop = columnTopAt(columnTops, topCount, firstColumn);
    for (uint32_t i = 0; i < rectCount; i++) {
        const LinkRect &r = rects[i];
        uint32_t c = columnOf(r.y1, columnTops, topCount);
        if (c < firstColumn || c > lastColumn)
            continue;
        int32_t key = clampToInt32((int64_t)r.y2 - ((int64_t)columnTopAt(columnTops, topCount, c) - firstTop));
        uint32_t page = c - firstColumn;
        if (!found || page < sortColumn || (page == sortColumn && key < sortY)) {
            sortY = key;
            sortColumn = page;
            sortX = clampToInt32((int64_t)r.x1 + (int64_t)(c - firstColumn) * columnStride);
            found = true;
        }
    }
    return found;
}

bool Link::follow()
{
    if (song != NO_SONG)
        g_playlist.play(song);
    if (sound)
        g_playlist.pendingSound = sound;
    if (!currentArticle)
        return false;
    return Article::executeCommand(currentArticle, command, target.str, effect);
}

// The screen origin of page coordinates at page y: in one column the view
// is shifted by the scroll position; in column mode each column page sits
// columnStride further right and starts at its own top.
struct LinkPlacement {
    int x, y, columnStride, scroll;
    const int32_t *columnTops;
    uint32_t firstColumn, topCount;
    bool inColumns;

    void origin(int32_t pageY, int &ox, int &oy) const
    {
        if (!inColumns) {
            ox = x;
            oy = y - scroll;
            return;
        }
        uint32_t c = columnOf(pageY, columnTops, topCount);
        ox = clampToInt32((int64_t)x + ((int64_t)c - firstColumn) * columnStride);
        oy = clampToInt32((int64_t)y - columnTopAt(columnTops, topCount, c));
    }
};

void Link::draw(bool focused, int x, int y, int width, int height, int columnStride, int scroll,
                const int32_t *columnTops, uint32_t firstColumn, uint32_t columnCount, uint32_t topCount)
{
    LinkPlacement at{x, y, columnStride, scroll, columnTops, firstColumn, topCount, columnCount >= 2};
    g_system->set_region(x, y, width, height);
    int ox, oy;
    if (currentArticle)
        for (uint32_t i = 0; i < rectCount; i++) {
            const LinkRect &r = rects[i];
            at.origin(r.y1, ox, oy);
            currentArticle->redrawRect(ox, oy, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
        }
    for (uint32_t i = 0; i < tokenCount; i++) {
        Token *token = tokens[i];
        at.origin(token->y, ox, oy);
        if (focused) {
            // An image-map picture frames only this link's hot spot.
            Token::publishHotSpot(hotX, hotY, hotWidth, hotHeight);
            token->drawNormal(ox + token->x, oy + token->y, selectedColour);
            Token::withdrawHotSpot();
        } else {
            token->draw(ox + token->x, oy + token->y, resolveColour(token->colour, &g_palette));
        }
    }
    g_system->set_region(0, 0, 0, 0);
}

void Link::applyVisitedColours(Link *first)
{
    for (Link *link = first; link; link = link->next) {
        if (link->command != CMD_ARTICLE && link->command != CMD_REPLACE)
            continue;
        File *file = static_cast<File *>(Tree::findPath(g_container.root, link->target.str));
        g_container.lastFound = file;
        if (!file || !file->visited)
            continue;
        for (uint32_t i = 0; i < link->tokenCount; i++) {
            Token *token = link->tokens[i];
            if (token->baseColour == COLOUR_NONE)
                continue;
            token->colour = link->visitedColour == COLOUR_NONE ? token->baseColour : link->visitedColour;
        }
    }
}

void Article::addLink(LinkInfo *info, Link *&head, Link *&tail)
{
    if (!info)
        return;
    File *soundFile = static_cast<File *>(Tree::findPath(g_container.root, info->soundName.str));
    g_container.lastFound = soundFile;
    SampleHandle sound = soundFile ? soundFile->getSound() : nullptr;
    bool imageMap = (info->flags & LinkInfo::FLAG_IMAGE_MAP) != 0;

    Link *link = nullptr;
    // The open rectangle of the current line, kept wide so that no
    // coordinate wraps; rows compare as the signed values they are.
    bool open = false;
    int64_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    auto closeRect = [&]() {
        if (open)
            link->addRect(clampToInt32(x1), clampToInt32(y1), clampToInt32(x2), clampToInt32(y2));
        open = false;
    };
    for (uint32_t i = 0; i < info->tokenCount; i++) {
        Token *token = info->tokens[i];
        if (!token)
            continue;
        if (token->kind == TOKEN_EOL) {
            if (link)
                closeRect();
            continue;
        }
        if (!link) {
            link = new (std::nothrow) Link;
            if (!link)
                return;
            link->command = info->command;
            link->flags = info->flags & ~(uint32_t)(LinkInfo::FLAG_UNDERLINE | LinkInfo::FLAG_NO_UNDERLINE |
                                                    LinkInfo::FLAG_IMAGE_MAP);
            link->effect = info->effect;
            link->song = info->song;
            link->sound = sound;
            if (imageMap) {
                link->hotX = info->hotX;
                link->hotY = info->hotY;
                link->hotWidth = info->hotWidth;
                link->hotHeight = info->hotHeight;
            }
            link->selectedColour = info->selectedColour;
            link->visitedColour = info->visitedColour;
            link->target.set(info->target.str);
            link->description.set(info->description.str);
            link->previous = tail;
            if (tail)
                tail->next = link;
            else
                head = link;
            tail = link;
        }
        link->addToken(token);
        int64_t x = token->x, y = token->y;
        int64_t width = token->width, height = (int64_t)token->ascent + token->descent;
        if (imageMap) {
            x += info->hotX;
            y += info->hotY;
            width = info->hotWidth;
            height = info->hotHeight;
        }
        if (!open) {
            // The rectangle reaches one row below its lowest token.
            open = true;
            x1 = x;
            x2 = x - 1;
            y1 = y;
            y2 = y + height;
        }
        if (x + width - 1 > x2)
            x2 = x + width - 1;
        if (y < y1)
            y1 = y;
        if (y + height > y2)
            y2 = y + height;
    }
    if (link)
        closeRect();
}
