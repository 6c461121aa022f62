// SDLGUI: OptionBox, one of a list of texts; each press selects the next.
#include "GUI/GUI.h"

#include "Assert.h"
#include "Vector/Vector.h"

#include <string.h>

namespace SDLGUI {

static const char *SOURCE = "../SDL/GUI/OptionBox.cpp";

OptionBox::OptionBox(Vector *options, const char *selectedText)
    : options(options), selected(0), listener(nullptr)
{
    M2_ASSERT(options != NULL, SOURCE);
    for (int i = 0; selectedText && i < Vector_size(options); i++) {
        const char *option = (const char *)Vector_get(options, i);
        if (option && strcmp(option, selectedText) == 0) {
            selected = i;
            break;
        }
    }
}

const char *OptionBox::getSelectedOption() const
{
    if (selected < 0 || selected >= Vector_size(options))
        return nullptr;
    return (const char *)Vector_get(options, selected);
}

void OptionBox::paint(SDL_Surface *surface, int x, int y)
{
    M2_ASSERT(surface != NULL, SOURCE);
    SDL_Rect rect = area(x, y);
    ClipScope clip(surface, rect);
    getLook()->optionBox(surface, rect, this);
}

bool OptionBox::handleEvent(const SDL_Event *event, int x, int y)
{
    if (event->type != SDL_MOUSEBUTTONDOWN || event->button.button != SDL_BUTTON_LEFT)
        return false;
    if (!inside(area(x, y), event->button.x, event->button.y))
        return false;
    int count = Vector_size(options);
    if (count > 0)
        selected = (selected + 1) % count;
    if (listener)
        listener->action(this);
    return true;
}

} // namespace SDLGUI
