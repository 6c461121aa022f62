// SDLGUI: Button, a push button that reports the press and the click.
#include "GUI/GUI.h"

#include "Assert.h"

namespace SDLGUI {

static const char *SOURCE = "../SDL/GUI/Button.cpp";

Button::Button(const char *text) : text(text ? text : ""), listener(nullptr), pressed(false) {}

void Button::paint(SDL_Surface *surface, int x, int y)
{
    const char *text = this->text.c_str();
    M2_ASSERT(text != NULL, SOURCE);
    M2_ASSERT(surface != NULL, SOURCE);
    SDL_Rect rect = area(x, y);
    ClipScope clip(surface, rect);
    Look *look = getLook();
    look->fill(surface, rect, pressed);
    look->frame(surface, rect);
    SDLFont *f = getFont();
    int length = (int)this->text.size();
    int tx = rect.x + rect.w / 2 - textWidth(f, text, length) / 2;
    int ty = rect.y + rect.h / 2 - lineHeightOf(f) / 2;
    if (pressed) {
        tx++;
        ty++;
    }
    drawText(surface, f, text, length, tx, ty);
}

void Button::preferredSize(SDL_Rect *rect)
{
    textSize(text.c_str(), rect);
}

bool Button::handleEvent(const SDL_Event *event, int x, int y)
{
    if (event->type != SDL_MOUSEBUTTONDOWN && event->type != SDL_MOUSEBUTTONUP)
        return false;
    if (event->button.button != SDL_BUTTON_LEFT)
        return false;
    // Where the event happened, not where the pointer is by now: a fast
    // release past the button is no click.
    bool hit = inside(area(x, y), event->button.x, event->button.y);
    if (event->type == SDL_MOUSEBUTTONDOWN) {
        if (!hit)
            return false;
        if (listener)
            listener->action(0);
        pressed = true;
        return true;
    }
    if (!pressed)
        return false;
    pressed = false;
    if (hit && listener)
        listener->action(1);
    return true;
}

} // namespace SDLGUI
