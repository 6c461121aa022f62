// SDLGUI: Panel and its two layout managers, BorderLayout and BoxLayout.
#include "GUI/GUI.h"

#include "Assert.h"
#include "Vector/Vector.h"

#include <stdint.h>

namespace SDLGUI {

static const char *SOURCE = "../SDL/GUI/Panel.cpp";

Panel::Panel()
    : children(Vector_create()), constraints(Vector_create()), layoutManager(nullptr)
{
}

Panel::~Panel()
{
    Vector_delete(children);
    Vector_delete(constraints);
    delete layoutManager;
}

void Panel::setLayout(LayoutManager *_layoutManager)
{
    M2_ASSERT(_layoutManager != NULL, SOURCE);
    if (_layoutManager != layoutManager)
        delete layoutManager;
    layoutManager = _layoutManager;
}

void Panel::add(Component *child)
{
    addWithConstraint(child, 0);
}

void Panel::addWithConstraint(Component *child, int constraint)
{
    Vector_add(children, child);
    Vector_add(constraints, (void *)(intptr_t)constraint);
    doLayout();
}

int Panel::childCount() const
{
    return Vector_size(children);
}

Component *Panel::childAt(int index) const
{
    return (Component *)Vector_get(children, index);
}

int Panel::constraintAt(int index) const
{
    return (int)(intptr_t)Vector_get(constraints, index);
}

void Panel::paint(SDL_Surface *surface, int x, int y)
{
    SDL_Rect rect = area(x, y);
    ClipScope clip(surface, rect);
    getLook()->background(surface, rect);
    for (int i = 0; i < childCount(); i++)
        childAt(i)->paint(surface, rect.x, rect.y);
}

void Panel::doLayout()
{
    if (layoutManager)
        layoutManager->layout(this);
    for (int i = 0; i < childCount(); i++)
        childAt(i)->doLayout();
}

void Panel::preferredSize(SDL_Rect *rect)
{
    if (layoutManager)
        layoutManager->preferredSize(this, rect);
    else
        *rect = bounds;
}

bool Panel::handleEvent(const SDL_Event *event, int x, int y)
{
    bool used = false;
    for (int i = 0; i < childCount(); i++)
        used |= childAt(i)->handleEvent(event, x + bounds.x, y + bounds.y);
    return used;
}

// -------------------------------------------------------------- BorderLayout

static int atLeastZero(int value)
{
    return value < 0 ? 0 : value;
}

// The children at each of the five places (the later of two wins).
static void borderChildren(Panel *panel, Component *at[5])
{
    for (int i = 0; i < 5; i++)
        at[i] = nullptr;
    for (int i = 0; i < panel->childCount(); i++) {
        int c = panel->constraintAt(i);
        if (c >= 0 && c < 5)
            at[c] = panel->childAt(i);
    }
}

static SDL_Rect preferredOf(Component *c)
{
    SDL_Rect r = {0, 0, 0, 0};
    if (c)
        c->preferredSize(&r);
    return r;
}

void BorderLayout::layout(Panel *panel)
{
    Component *at[5];
    borderChildren(panel, at);
    SDL_Rect b;
    panel->getBounds(&b);
    int W = b.w, H = b.h;
    int north = preferredOf(at[NORTH]).h;
    int south = preferredOf(at[SOUTH]).h;
    int east = preferredOf(at[EAST]).w;
    int west = preferredOf(at[WEST]).w;
    int middle = atLeastZero(H - north - south);
    if (at[NORTH])
        at[NORTH]->setBounds(0, 0, W, north);
    if (at[SOUTH])
        at[SOUTH]->setBounds(0, H - south, W, south);
    if (at[EAST])
        at[EAST]->setBounds(W - east, north, east, middle);
    if (at[WEST])
        at[WEST]->setBounds(0, north, west, middle);
    if (at[CENTER])
        at[CENTER]->setBounds(west, north, atLeastZero(W - east - west), middle);
}

void BorderLayout::preferredSize(Panel *panel, SDL_Rect *rect)
{
    Component *at[5];
    borderChildren(panel, at);
    long w = (long)preferredOf(at[EAST]).w + preferredOf(at[WEST]).w + preferredOf(at[CENTER]).w;
    long h = (long)preferredOf(at[CENTER]).h + preferredOf(at[NORTH]).h +
             preferredOf(at[SOUTH]).h;
    rect->x = rect->y = 0;
    rect->w = (Uint16)(w > 0xFFFF ? 0xFFFF : w);
    rect->h = (Uint16)(h > 0xFFFF ? 0xFFFF : h);
}

// ----------------------------------------------------------------- BoxLayout

BoxLayout::BoxLayout(int rows, int columns)
    : rows(rows < 1 ? 1 : rows), columns(columns < 1 ? 1 : columns)
{
}

void BoxLayout::layout(Panel *panel)
{
    SDL_Rect b;
    panel->getBounds(&b);
    int cellWidth = b.w / columns;
    int cellHeight = b.h / rows;
    for (int i = 0; i < panel->childCount(); i++) {
        int column = i % columns, row = i / columns;
        panel->childAt(i)->setBounds(cellWidth * column, cellHeight * row, cellWidth, cellHeight);
    }
}

void BoxLayout::preferredSize(Panel *panel, SDL_Rect *rect)
{
    long widest = 0, tallest = 0;
    for (int row = 0; row < rows; row++) {
        long sum = 0;
        for (int column = 0; column < columns; column++) {
            int i = row * columns + column;
            if (i < panel->childCount())
                sum += preferredOf(panel->childAt(i)).w;
        }
        widest = sum > widest ? sum : widest;
    }
    for (int column = 0; column < columns; column++) {
        long sum = 0;
        for (int i = column; i < panel->childCount(); i += columns)
            sum += preferredOf(panel->childAt(i)).h;
        tallest = sum > tallest ? sum : tallest;
    }
    rect->x = rect->y = 0;
    rect->w = (Uint16)(widest > 0xFFFF ? 0xFFFF : widest);
    rect->h = (Uint16)(tallest > 0xFFFF ? 0xFFFF : tallest);
}

} // namespace SDLGUI
