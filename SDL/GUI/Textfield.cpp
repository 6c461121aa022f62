// SDLGUI: Textfield, a one-line editable text with a cursor. A press inside
// gives it the keyboard, a press outside takes it away.
#include "GUI/GUI.h"

#include <stdlib.h>
#include <string.h>

namespace SDLGUI {

Textfield::Textfield(const char *text) : firstVisible(0), chars(text ? text : ""), cursor(0),
                                         focus(false)
{
    SDL_EnableUNICODE(1);
    SDL_EnableKeyRepeat(500, 30);
}

char *Textfield::getText() const
{
    return strdup(chars.c_str());
}

void Textfield::setText(const char *text)
{
    chars = text ? text : "";
    cursor = 0;
    firstVisible = 0;
}

void Textfield::paint(SDL_Surface *surface, int x, int y)
{
    SDL_Rect rect = area(x, y);
    ClipScope clip(surface, rect);
    getLook()->textField(surface, rect, this);
}

void Textfield::preferredSize(SDL_Rect *rect)
{
    textSize(chars.c_str(), rect);
}

// The byte a key types: its unicode value, or the key itself for plain keys
// without one; 0 when it types nothing. Only the bytes 32 .. 255 belong in
// the text (Return, Tab, Escape and characters past Latin-1 do not).
static int typedByte(const SDL_keysym &key)
{
    int c = key.unicode;
    if (c == 0 && key.sym >= 48 && key.sym <= 127)
        c = key.sym;
    return (c >= 32 && c <= 255 && c != 127) ? c : 0;
}

bool Textfield::editKey(const SDL_keysym &key)
{
    unsigned length = (unsigned)chars.size();
    if (cursor > length)
        cursor = length;
    switch (key.sym) {
    case SDLK_LEFT:
        if (cursor > 0)
            cursor--;
        break;
    case SDLK_RIGHT:
        if (cursor < length)
            cursor++;
        break;
    case SDLK_DELETE:
        if (cursor < length)
            chars.erase(cursor, 1);
        break;
    case SDLK_BACKSPACE:
        if (cursor > 0)
            chars.erase(--cursor, 1);
        break;
    case SDLK_HOME:
        cursor = 0;
        break;
    case SDLK_END:
        cursor = length;
        break;
    default: {
        int c = typedByte(key);
        if (c)
            chars.insert(chars.begin() + cursor++, (char)c);
        break;
    }
    }
    showCaret(getFont(), (int)bounds.w - 2 * kTextfieldInset - 1);
    return true;
}

int Textfield::widthBetween(SDLFont *font, unsigned from, unsigned to) const
{
    return to > from ? textWidth(font, chars.c_str() + from, (int)(to - from)) : 0;
}

// The smallest start in from .. to whose text up to end is at most limit
// wide; to when none is. Moving the start right never widens the text.
unsigned Textfield::firstFitting(SDLFont *font, unsigned from, unsigned to, unsigned end,
                                 int limit) const
{
    while (from < to) {
        unsigned middle = from + (to - from) / 2;
        if (widthBetween(font, middle, end) <= limit)
            to = middle;
        else
            from = middle + 1;
    }
    return to;
}

void Textfield::showCaret(SDLFont *font, int room)
{
    unsigned length = (unsigned)chars.size();
    if (cursor > length)
        cursor = length;
    if (firstVisible > cursor)
        firstVisible = cursor;
    // The caret inside the field.
    if (widthBetween(font, firstVisible, cursor) > room)
        firstVisible = firstFitting(font, firstVisible, cursor, cursor, room);
    // Some of the text before it stays in sight: a third of the field.
    firstVisible = firstFitting(font, 0, firstVisible, cursor, room / 3);
    // No empty room at the right end while text hides at the left.
    firstVisible = firstFitting(font, 0, firstVisible, length, room);
}

bool Textfield::handleEvent(const SDL_Event *event, int x, int y)
{
    if (event->type == SDL_MOUSEBUTTONDOWN && event->button.button == SDL_BUTTON_LEFT) {
        focus = inside(area(x, y), event->button.x, event->button.y);
        return true;
    }
    if (event->type == SDL_KEYDOWN && focus)
        return editKey(event->key.keysym);
    return false;
}

} // namespace SDLGUI
