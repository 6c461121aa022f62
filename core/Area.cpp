#include "Area.h"
#include "Lists.h"

#include "Article.h"
#include "Browser.h"
#include "Messages.h"
#include "System.h"

Area *Area::captured = nullptr;
bool Area::pressed = false;
bool Area::repassing = false;

Area::~Area()
{
    if (captured == this)
        releaseCapture();
    // The chain owns its successors; delete them one by one, not recursively.
    deleteChain(next);
}

void Area::append(Area *area, Area *&head)
{
    if (!area)
        return;
    if (!head) {
        head = area;
        return;
    }
    Area *last = head;
    while (last->next)
        last = last->next;
    last->next = area;
}

void Area::releaseCapture()
{
    captured = nullptr;
    pressed = false;
}

void Area::restoreBackground(bool standalone)
{
    if (currentArticle)
        currentArticle->restoreBackground(left, top, width(), height(), standalone);
}

bool Area::beginDraw(bool standalone)
{
    if (!standalone)
        return true;
    if (!g_system->begin_display())
        return false;
    if (currentArticle)
        currentArticle->restoreBackground(left, top, width(), height(), false);
    return true;
}

void Area::endDraw(bool standalone)
{
    if (standalone)
        g_system->end_display();
}

bool Area::dispatchMouse(Area *head, int message, int32_t x, int32_t y)
{
    switch (message) {
    case MSG_MOUSE_DRAG:
        if (pressed && captured) {
            captured->mouseDrag(x, y);
            return true;
        }
        // A drag that began outside every area hovers.
        // fall through
    case MSG_MOUSE_MOVE: {
        releaseCapture();
        // Every area hears the motion (each keeps its own hover state); the
        // first that takes it is captured.
        Area *taker = nullptr;
        for (Area *area = head; area; area = area->next)
            if (area->mouseOver(x, y) && !taker)
                taker = area;
        captured = taker;
        if (!taker)
            statusText.clear();
        return taker != nullptr;
    }
    case MSG_MOUSE_DOWN:
        if (!captured)
            return false;
        pressed = captured->mouseDown();
        return pressed;
    case MSG_MOUSE_UP:
        if (!pressed || !captured)
            return false;
        pressed = false;
        // The release may run a command that replaces this chain.
        captured->mouseUp();
        return true;
    default:
        return false;
    }
}
