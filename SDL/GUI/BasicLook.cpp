// SDLGUI: BasicLook, the one look of the toolkit: grey faces, black frames
// and black text in the font the font map names "default:0".
#include "GUI/GUI.h"

#include "Assert.h"
#include "Map/MapArray.h"
#include "SDLFont.h"
#include "SDL_Draw.h"
#include "Vector/Vector.h"

#include <stdio.h>
#include <string.h>

namespace SDLGUI {

static const char *SOURCE = "../SDL/GUI/BasicLook.cpp";

static const int kFontHeight = 16;
static const int kMinThumb = 10;

BasicLook::BasicLook()
    : fontMap(nullptr), fontFiles(nullptr), font(nullptr), fontTried(false), formatBits(0), backgroundColour(0),
      dark(0), dark2(0), light(0), face(0)
{
    formatMasks[0] = formatMasks[1] = formatMasks[2] = 0;
}

void BasicLook::setFontMap(MapArray *map, const FontMapping *files)
{
    fontMap = map;
    fontFiles = files;
    if (!font)
        fontTried = false;
}

SDLFont *BasicLook::getFont()
{
    if (font || fontTried)
        return font;
    M2_ASSERT(fontMap != NULL, SOURCE);
    fontTried = true;
    const char *path = (const char *)MapArray_get(fontMap, "default:0");
    if (path)
        font = SDLFont::openFont(path, kFontHeight, fontFiles);
    if (!font) {
        printf("Fatal problem! Default font not available\n");
        fflush(stdout);
    }
    return font;
}

// The colours follow the format of the surface drawn on.
void BasicLook::mapColours(SDL_Surface *surface)
{
    const SDL_PixelFormat *f = surface->format;
    if (formatBits == f->BitsPerPixel && formatMasks[0] == f->Rmask &&
        formatMasks[1] == f->Gmask && formatMasks[2] == f->Bmask)
        return;
    formatBits = f->BitsPerPixel;
    formatMasks[0] = f->Rmask;
    formatMasks[1] = f->Gmask;
    formatMasks[2] = f->Bmask;
    backgroundColour = SDL_MapRGB(surface->format, 180, 180, 180);
    dark = SDL_MapRGB(surface->format, 0, 0, 0);
    dark2 = SDL_MapRGB(surface->format, 0, 0, 0);
    light = SDL_MapRGB(surface->format, 255, 255, 255);
    face = SDL_MapRGB(surface->format, 210, 210, 210);
}

static void fillIn(SDL_Surface *surface, const SDL_Rect &r, int inset, Uint32 pixel)
{
    SDL_Draw::fillRect(surface, r.x + inset, r.y + inset, r.w - 2 * inset, r.h - 2 * inset, pixel);
}

void BasicLook::text(SDL_Surface *surface, SDLFont *font, const char *text, int length, int x,
                     int y)
{
    drawText(surface, font, text, length, x, y);
}

void BasicLook::frame(SDL_Surface *surface, const SDL_Rect &r)
{
    if (r.w == 0 || r.h == 0)
        return;
    drawHLine(surface, r.x, r.y, r.w, 0, 0, 0);
    drawHLine(surface, r.x, r.y + r.h - 1, r.w, 0, 0, 0);
    drawVLine(surface, r.x, r.y, r.h, 0, 0, 0);
    drawVLine(surface, r.x + r.w - 1, r.y, r.h, 0, 0, 0);
}

void BasicLook::fill(SDL_Surface *surface, const SDL_Rect &r, bool pressed)
{
    mapColours(surface);
    fillIn(surface, r, 0, pressed ? backgroundColour : face);
    // A light upper-left edge raises the face; pressed, the edge goes dark.
    Uint8 edge = pressed ? 120 : 255;
    drawHLine(surface, r.x + 1, r.y + 1, r.w - 2, edge, edge, edge);
    drawVLine(surface, r.x + 1, r.y + 1, r.h - 2, edge, edge, edge);
}

void BasicLook::background(SDL_Surface *surface, const SDL_Rect &r)
{
    mapColours(surface);
    fillIn(surface, r, 0, backgroundColour);
}

void BasicLook::textField(SDL_Surface *surface, const SDL_Rect &r, Textfield *field)
{
    mapColours(surface);
    fillIn(surface, r, 0, light);
    frame(surface, r);
    const int inset = kTextfieldInset, edges = 2 * kTextfieldInset;
    SDL_Rect inner = {(Sint16)(r.x + inset), (Sint16)(r.y + inset),
                      (Uint16)(r.w > edges ? r.w - edges : 0), (Uint16)(r.h > edges ? r.h - edges : 0)};
    ClipScope clip(surface, inner);
    SDLFont *f = field->getFont();
    const std::string &chars = field->chars;
    unsigned length = (unsigned)chars.size();
    // The caret's column is kept free at the right edge.
    field->showCaret(f, inner.w - 1);
    int height = lineHeightOf(f);
    int ty = inner.y + inner.h / 2 - height / 2;
    const char *shown = chars.c_str() + field->firstVisible;
    text(surface, f, shown, (int)(length - field->firstVisible), inner.x, ty);
    if (field->focus) {
        int cx = inner.x + textWidth(f, shown, (int)(field->cursor - field->firstVisible));
        drawVLine(surface, cx, ty, height, 0, 0, 0);
    }
}

void BasicLook::scrollStrip(const SDL_Rect &r, SDL_Rect *strip)
{
    int width = lineHeight();
    if (width > r.w)
        width = r.w;
    strip->x = (Sint16)(r.x + r.w - width);
    strip->y = r.y;
    strip->w = (Uint16)width;
    strip->h = r.h;
}

int BasicLook::visibleRows(const SDL_Rect &r)
{
    int rows = ((int)r.h - 2) / lineHeight() + 1;
    return rows > 1 ? rows : 1;
}

int BasicLook::rowAt(List *list, const SDL_Rect &r, int y)
{
    int offset = y - r.y - 1;
    if (offset < 0)
        return -1;
    return offset / lineHeight() + list->firstRow;
}

int BasicLook::lineHeight()
{
    return lineHeightOf(getFont());
}

// The thumb inside the strip's frame: as tall as the share of rows shown
// (at least 10 pixels), placed by the first visible row.
void BasicLook::thumb(List *list, const SDL_Rect &r, SDL_Rect *out)
{
    SDL_Rect strip;
    scrollStrip(r, &strip);
    int track = strip.h > 2 ? strip.h - 2 : 0;
    int count = list->itemCount();
    int rows = visibleRows(r);
    int height = count > rows ? (int)((long)track * rows / count) : track;
    if (height < kMinThumb)
        height = kMinThumb;
    if (height > track)
        height = track;
    int top = count > 1 ? (int)((long)(track - height) * list->firstRow / (count - 1)) : 0;
    out->x = (Sint16)(strip.x + 1);
    out->y = (Sint16)(strip.y + 1 + top);
    out->w = (Uint16)(strip.w > 2 ? strip.w - 2 : 0);
    out->h = (Uint16)height;
}

float BasicLook::rowsPerPixel(List *list, const SDL_Rect &r)
{
    SDL_Rect t, strip;
    thumb(list, r, &t);
    scrollStrip(r, &strip);
    int travel = strip.h - 2 - t.h;
    int count = list->itemCount();
    return count > 1 ? (float)(count - 1) / (float)(travel > 1 ? travel : 1) : 0.0f;
}

bool BasicLook::thumbHit(List *list, const SDL_Rect &r, int x, int y)
{
    SDL_Rect t;
    thumb(list, r, &t);
    return inside(t, x, y);
}

void BasicLook::list(SDL_Surface *surface, const SDL_Rect &r, List *list)
{
    mapColours(surface);
    fillIn(surface, r, 0, light);
    frame(surface, r);
    SDL_Rect strip;
    scrollStrip(r, &strip);
    SDL_Rect rows = {(Sint16)(r.x + 1), (Sint16)(r.y + 1),
                     (Uint16)(strip.x - r.x > 1 ? strip.x - r.x - 1 : 0),
                     (Uint16)(r.h > 2 ? r.h - 2 : 0)};
    {
        ClipScope clip(surface, rows);
        SDLFont *f = list->getFont();
        int height = lineHeight();
        int count = list->itemCount();
        int shown = visibleRows(r);
        for (int i = 0; i < shown && list->firstRow + i < count; i++) {
            int row = list->firstRow + i;
            int y = rows.y + i * height;
            if (row == list->selection)
                SDL_Draw::fillRect(surface, rows.x, y, rows.w, height,
                                   SDL_MapRGB(surface->format, 150, 150, 255));
            const char *item = (const char *)Vector_get(list->items, row);
            if (item)
                text(surface, f, item, (int)strlen(item), rows.x + 2, y);
        }
    }
    if (strip.w < 2)
        return;
    SDL_Draw::fillRect(surface, strip.x, strip.y, strip.w, strip.h, dark2);
    fillIn(surface, strip, 1, light);
    SDL_Rect t;
    thumb(list, r, &t);
    SDL_Draw::fillRect(surface, t.x, t.y, t.w, t.h, SDL_MapRGB(surface->format, 150, 150, 255));
}

void BasicLook::optionBox(SDL_Surface *surface, const SDL_Rect &r, OptionBox *box)
{
    mapColours(surface);
    fillIn(surface, r, 0, 0);
    fillIn(surface, r, 1, face);
    SDLFont *f = box->getFont();
    int height = lineHeight();
    int mark = height / 2;
    SDL_Rect inner = {(Sint16)(r.x + 3), (Sint16)(r.y + 3), (Uint16)(r.w > 6 ? r.w - 6 : 0),
                      (Uint16)(r.h > 6 ? r.h - 6 : 0)};
    {
        ClipScope clip(surface, inner);
        const char *option = box->getSelectedOption();
        if (option)
            text(surface, f, option, (int)strlen(option), inner.x,
                 r.y + r.h / 2 - height / 2);
    }
    // The indicator: a small dark square with a face-coloured centre.
    int mx = r.x + r.w - 4 - mark, my = r.y + r.h / 2 - mark / 2;
    SDL_Draw::fillRect(surface, mx, my, mark, mark, dark);
    SDL_Draw::fillRect(surface, mx + 2, my + 2, mark - 4, mark - 4, face);
}

void BasicLook::label(SDL_Surface *surface, const SDL_Rect &r, Label *label)
{
    mapColours(surface);
    fillIn(surface, r, 0, backgroundColour);
    SDLFont *f = label->getFont();
    const char *t = label->getText();
    int length = (int)strlen(t);
    int width = textWidth(f, t, length);
    int alignment = label->getAlignment();
    M2_ASSERT(alignment >= Label::LEFT && alignment <= Label::CENTRE, SOURCE);
    int x = r.x;
    switch (alignment) {
    case Label::LEFT:
        break;
    case Label::RIGHT:
        x = r.x + r.w - width;
        break;
    case Label::CENTRE:
        x = r.x + r.w / 2 - width / 2;
        break;
    }
    text(surface, f, t, length, x, r.y + r.h / 2 - lineHeight() / 2);
}

void BasicLook::tickBox(const SDL_Rect &r, SDL_Rect *box)
{
    int size = lineHeight();
    box->x = (Sint16)(r.x + 4);
    box->y = (Sint16)(r.y + r.h / 2 - size / 2);
    box->w = box->h = (Uint16)size;
}

void BasicLook::checkBox(SDL_Surface *surface, const SDL_Rect &r, Checkbox *box)
{
    mapColours(surface);
    fillIn(surface, r, 0, backgroundColour);
    SDL_Rect tick;
    tickBox(r, &tick);
    SDL_Draw::fillRect(surface, tick.x, tick.y, tick.w, tick.h, dark);
    fillIn(surface, tick, 1, face);
    if (box->isChecked())
        fillIn(surface, tick, 2, dark);
    SDLFont *f = box->getFont();
    const char *t = box->getText();
    text(surface, f, t, (int)strlen(t), tick.x + tick.w + kCheckboxTextGap, r.y + r.h / 2 - lineHeight() / 2);
}

} // namespace SDLGUI
