// SDLGUI: List, a scrolling column of the caller's strings with one
// selected row and a scroll strip with a draggable thumb at its right edge.
#include "GUI/GUI.h"

#include "Vector/Vector.h"

namespace SDLGUI {

List::List(Vector *items)
    : items(items), selection(-1), firstRow(0), scrollPosition(0.0f), focus(false),
      dragging(false), dragRatio(0.0f), lastY(0), listener(nullptr)
{
}

int List::itemCount() const
{
    return items ? Vector_size(items) : 0;
}

const char *List::getSelectedItem() const
{
    if (selection < 0 || selection >= itemCount())
        return nullptr;
    return (const char *)Vector_get(items, selection);
}

void List::clear()
{
    firstRow = 0;
    selection = -1;
    scrollPosition = 0.0f;
    dragging = false;
}

// The first visible row, kept within the items (0 for an empty list).
void List::scrollTo(int row)
{
    int last = itemCount() - 1;
    if (row > last)
        row = last;
    firstRow = row < 0 ? 0 : row;
}

void List::notify()
{
    if (listener)
        listener->action(this);
}

void List::paint(SDL_Surface *surface, int x, int y)
{
    SDL_Rect rect = area(x, y);
    ClipScope clip(surface, rect);
    scrollTo(firstRow);
    getLook()->list(surface, rect, this);
}

bool List::handleEvent(const SDL_Event *event, int x, int y)
{
    Look *look = getLook();
    SDL_Rect rect = area(x, y);
    switch (event->type) {
    case SDL_MOUSEBUTTONDOWN: {
        if (event->button.button != SDL_BUTTON_LEFT)
            return false;
        int px = event->button.x, py = event->button.y;
        SDL_Rect strip;
        look->scrollStrip(rect, &strip);
        SDL_Rect itemArea = rect;
        itemArea.w = (Uint16)(strip.x > rect.x ? strip.x - rect.x : 0);
        if (inside(itemArea, px, py)) {
            focus = true;
            int row = look->rowAt(this, rect, py);
            if (row >= 0 && row < itemCount()) {
                selection = row;
                if (row >= firstRow + look->visibleRows(rect) - 1)
                    scrollTo(firstRow + 1);
                notify();
            }
            return true;
        }
        if (strip.w >= 2 && inside(strip, px, py) && look->thumbHit(this, rect, px, py)) {
            dragging = true;
            dragRatio = look->rowsPerPixel(this, rect);
            scrollPosition = (float)firstRow;
            lastY = py;
            return true;
        }
        focus = false;
        return false;
    }
    case SDL_MOUSEBUTTONUP:
        if (event->button.button != SDL_BUTTON_LEFT || !dragging)
            return false;
        dragging = false;
        return true;
    case SDL_MOUSEMOTION: {
        if (!dragging)
            return false;
        int py = event->motion.y;
        scrollPosition += dragRatio * (float)(py - lastY);
        float top = (float)itemCount() + 1.0f;
        if (scrollPosition < 0.0f)
            scrollPosition = 0.0f;
        if (scrollPosition > top)
            scrollPosition = top;
        scrollTo((int)scrollPosition);
        lastY = py;
        return true;
    }
    case SDL_KEYDOWN: {
        if (!focus || itemCount() == 0)
            return false;
        SDLKey key = event->key.keysym.sym;
        if (key == SDLK_UP) {
            selection = selection > 0 ? selection - 1 : 0;
            if (selection < firstRow)
                scrollTo(selection);
        } else if (key == SDLK_DOWN) {
            if (selection < itemCount() - 1)
                selection++;
            if (selection >= firstRow + look->visibleRows(rect) - 1)
                scrollTo(firstRow + 1);
        } else {
            return false;
        }
        notify();
        return true;
    }
    default:
        return false;
    }
}

} // namespace SDLGUI
