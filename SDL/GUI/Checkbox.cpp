// SDLGUI: Checkbox, a tick box with its text; a press on the box toggles it.
#include "GUI/GUI.h"

#include "Assert.h"

namespace SDLGUI {

static const char *SOURCE = "../SDL/GUI/Checkbox.cpp";

Checkbox::Checkbox(const char *text, bool on) : on(on), text(text ? text : ""), listener(nullptr)
{
    tickBox.x = tickBox.y = 0;
    tickBox.w = tickBox.h = 0;
}

void Checkbox::paint(SDL_Surface *surface, int x, int y)
{
    const char *text = this->text.c_str();
    M2_ASSERT(text != NULL, SOURCE);
    M2_ASSERT(surface != NULL, SOURCE);
    SDL_Rect rect = area(x, y);
    ClipScope clip(surface, rect);
    getLook()->checkBox(surface, rect, this);
}

void Checkbox::preferredSize(SDL_Rect *rect)
{
    textSize(text.c_str(), rect);
}

bool Checkbox::handleEvent(const SDL_Event *event, int x, int y)
{
    if (event->type != SDL_MOUSEBUTTONDOWN || event->button.button != SDL_BUTTON_LEFT)
        return false;
    getLook()->tickBox(area(x, y), &tickBox);
    if (!inside(tickBox, event->button.x, event->button.y))
        return false;
    on = !on;
    if (listener)
        listener->action(on);
    return true;
}

} // namespace SDLGUI
