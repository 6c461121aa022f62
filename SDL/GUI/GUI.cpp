// SDLGUI: the shared look, the line helpers, the text measures and the
// Component base.
#include "GUI/GUI.h"

#include "SDLFont.h"

#include <string.h>

namespace SDLGUI {

static BasicLook *sharedLook()
{
    // Lives until the program ends, like the font it opens.
    static BasicLook *look = new BasicLook();
    return look;
}

void setFontMap(MapArray *map, const FontMapping *files)
{
    sharedLook()->setFontMap(map, files);
}

void forgetFontMap(MapArray *map)
{
    if (sharedLook()->getFontMap() == map)
        sharedLook()->setFontMap(nullptr);
}

Look *getLook()
{
    return sharedLook();
}

// --------------------------------------------------------------------- lines

// Locks the surface while pixels are written; refuses anything that is not
// 4 bytes per pixel.
static Uint32 *lockPixels(SDL_Surface *surface)
{
    if (!surface || !surface->format || surface->format->BytesPerPixel != 4)
        return nullptr;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0)
        return nullptr;
    return (Uint32 *)surface->pixels;
}

static void unlockPixels(SDL_Surface *surface)
{
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
}

void drawHLine(SDL_Surface *surface, int x, int y, int length, Uint8 red, Uint8 green,
               Uint8 blue)
{
    Uint32 *pixels = lockPixels(surface);
    if (!pixels)
        return;
    const SDL_Rect &clip = surface->clip_rect;
    long from = x > clip.x ? x : clip.x;
    long to = (long)x + length;
    if (to > clip.x + clip.w)
        to = clip.x + clip.w;
    if (y >= clip.y && y < clip.y + clip.h && from < to) {
        Uint32 pixel = SDL_MapRGB(surface->format, red, green, blue);
        Uint32 *row = (Uint32 *)((Uint8 *)pixels + (long)y * surface->pitch);
        for (long i = from; i < to; i++)
            row[i] = pixel;
    }
    unlockPixels(surface);
}

void drawVLine(SDL_Surface *surface, int x, int y, int length, Uint8 red, Uint8 green,
               Uint8 blue)
{
    Uint32 *pixels = lockPixels(surface);
    if (!pixels)
        return;
    const SDL_Rect &clip = surface->clip_rect;
    long from = y > clip.y ? y : clip.y;
    long to = (long)y + length;
    if (to > clip.y + clip.h)
        to = clip.y + clip.h;
    if (x >= clip.x && x < clip.x + clip.w && from < to) {
        Uint32 pixel = SDL_MapRGB(surface->format, red, green, blue);
        for (long i = from; i < to; i++)
            ((Uint32 *)((Uint8 *)pixels + i * surface->pitch))[x] = pixel;
    }
    unlockPixels(surface);
}

// ---------------------------------------------------------------------- text

int textWidth(SDLFont *font, const char *text, int length)
{
    if (!text || length <= 0)
        return 0;
    return SDLFont::textWidthRange(SDLFont::firstSet(font), text, 0, length);
}

int lineHeightOf(SDLFont *font)
{
    GlyphSet *set = SDLFont::firstSet(font);
    int height = set ? set->ascent + set->descent : 0;
    return height > 0 ? height : 1;
}

void drawText(SDL_Surface *surface, SDLFont *font, const char *text, int length, int x, int y)
{
    if (surface && text && length > 0)
        fontOutText(font, text, length, x, y, 0x000000, surface);
}

ClipScope::ClipScope(SDL_Surface *surface, const SDL_Rect &rect) : surface(surface)
{
    SDL_GetClipRect(surface, &saved);
    SDL_Rect clip = rect;
    SDL_SetClipRect(surface, &clip);
}

ClipScope::~ClipScope()
{
    SDL_SetClipRect(surface, &saved);
}

// ----------------------------------------------------------------- Component

Component::Component() : font(nullptr)
{
    bounds.x = bounds.y = 0;
    bounds.w = bounds.h = 0;
}

void Component::doLayout() {}

static Uint16 clampSize(int size)
{
    return (Uint16)(size < 0 ? 0 : size > 0xFFFF ? 0xFFFF : size);
}

void Component::setBounds(int x, int y, int width, int height)
{
    bounds.x = (Sint16)x;
    bounds.y = (Sint16)y;
    bounds.w = clampSize(width);
    bounds.h = clampSize(height);
    doLayout();
}

void Component::getBounds(SDL_Rect *rect)
{
    *rect = bounds;
}

void Component::preferredSize(SDL_Rect *rect)
{
    *rect = bounds;
}

bool Component::handleEvent(const SDL_Event *event, int x, int y)
{
    return false;
}

SDLFont *Component::getFont()
{
    return font ? font : getLook()->getFont();
}

void Component::setFont(SDLFont *font)
{
    this->font = font;
}

SDL_Rect Component::area(int x, int y) const
{
    SDL_Rect rect = bounds;
    rect.x = (Sint16)(x + bounds.x);
    rect.y = (Sint16)(y + bounds.y);
    return rect;
}

void Component::textSize(const char *text, SDL_Rect *rect)
{
    SDLFont *f = getFont();
    rect->x = rect->y = 0;
    rect->w = clampSize(textWidth(f, text, text ? (int)strlen(text) : 0) + 10);
    GlyphSet *set = SDLFont::firstSet(f);
    rect->h = clampSize((set ? set->ascent + set->descent : 0) + 6);
}

bool inside(const SDL_Rect &r, int px, int py)
{
    return px >= r.x && py >= r.y && px < r.x + r.w && py < r.y + r.h;
}

} // namespace SDLGUI
