// SDLGUI: Label, one line of text aligned left, right or centred.
#include "GUI/GUI.h"

namespace SDLGUI {

Label::Label(const char *text, int alignment) : text(text ? text : ""), alignment(alignment) {}

void Label::paint(SDL_Surface *surface, int x, int y)
{
    SDL_Rect rect = area(x, y);
    ClipScope clip(surface, rect);
    getLook()->label(surface, rect, this);
}

void Label::preferredSize(SDL_Rect *rect)
{
    textSize(text.c_str(), rect);
}

} // namespace SDLGUI
