// SDLSystem: display, pictures, drawing, fades and the software pointer.
// The drawing itself is done on surfaces by SDL_Draw (SDL_DrawSurface.cpp).
#include "SDL_System.h"
#include "SDL_Hooks.h"

#include "SDLConfig.h"
#include "SDL_Draw.h"

#include <SDL.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

static SDL_Surface *surfaceOf(ImageHandle image)
{
    return (SDL_Surface *)image;
}

// Pages are shown at most 60 times a second: a page that follows the last
// within a sixtieth of a second (a frame of an animated scroll) waits for
// its turn, sleeping, instead of drawing frames nobody sees.
static const Uint32 kFrameMs = 17;
static Uint32 s_lastPage = 0;
static bool s_pageShown = false;

static void waitForFrame()
{
    Uint32 since = SDL_GetTicks() - s_lastPage;
    if (s_pageShown && since < kFrameMs)
        SDL_Delay(kFrameMs - since);
    s_lastPage = SDL_GetTicks();
    s_pageShown = true;
}

bool SDLSystem::init_display(int width, int height)
{
    logf("init_display, width: %i height: %i\n", width, height);
    Uint32 flags = SDL_SWSURFACE;
    if (config && config->getFullscreen())
        flags |= SDL_FULLSCREEN;
    SDL_Surface *mode = nullptr;
    if (width > 0 && height > 0 && width <= SDL_Draw::kMaxImageSide &&
        height <= SDL_Draw::kMaxImageSide)
        mode = SDL_SetVideoMode(width, height, 32, flags);
    if (!mode) {
        fprintf(stderr, "Unable to set %ix%i video: %s\n", width, height, SDL_GetError());
        return false;
    }
    screen = mode;
    set_window_title("Mirandol 2");
    dropBackBuffer();
    // A black surface of the screen's format: the screen is black after a new
    // mode, and converting it (SDL_DisplayFormat) would only copy that black.
    // Its pixels come zeroed from calloc, so the first frame does not wait
    // for every page of them to be cleared.
    const SDL_PixelFormat *format = screen->format;
    int pitch = (screen->w * format->BytesPerPixel + 3) & ~3;
    backBufferPixels = calloc((size_t)screen->h, (size_t)pitch);
    if (backBufferPixels)
        backBuffer = SDL_CreateRGBSurfaceFrom(backBufferPixels, screen->w, screen->h,
                                              format->BitsPerPixel, pitch, format->Rmask,
                                              format->Gmask, format->Bmask, format->Amask);
    if (!backBuffer) {
        dropBackBuffer();
        fprintf(stderr, "Unable to set %ix%i video: %s\n", width, height, SDL_GetError());
        return false;
    }
    showSystemPointer();
    // The search dialog is made on its first use (its font would cost the
    // first frame a few milliseconds); a new display only moves it.
    if (searchPanel)
        SDLSystem_placeSearchPanel(this, width, height);
    return true;
}

void SDLSystem::dropBackBuffer()
{
    if (backBuffer)
        SDL_FreeSurface(backBuffer);
    backBuffer = nullptr;
    free(backBufferPixels);
    backBufferPixels = nullptr;
}

// Magazine titles are Latin-1; window managers expect UTF-8.
static std::string latin1ToUtf8(const char *text)
{
    std::string out;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        if (*p < 0x80) {
            out += (char)*p;
        } else {
            out += (char)(0xC0 | (*p >> 6));
            out += (char)(0x80 | (*p & 0x3F));
        }
    }
    return out;
}

void SDLSystem::set_window_title(const char *title)
{
    logf("set_window_title, %s\n", title ? title : "");
    std::string caption = latin1ToUtf8(title ? title : "");
    SDL_WM_SetCaption(caption.c_str(), caption.c_str());
}

ImageHandle SDLSystem::create_image(int width, int height, const uint32_t *pixels,
                                    const uint8_t *mask)
{
    logf("create_image, width: %i, height: %i\n", width, height);
    return (ImageHandle)SDL_Draw::createImage(width, height, pixels, mask);
}

void SDLSystem::unload_image(ImageHandle image)
{
    logf("unload_image\n");
    if (!image)
        return;
    // The pointer must never show an image that is gone.
    if (image == pointerImage) {
        pointerImage = nullptr;
        // Put back what the pointer covered, or it stays until the next flip.
        if (pointerShown)
            move_cursor(savedPointerX + hotX, savedPointerY + hotY);
        savedPointerW = savedPointerH = 0;
        showSystemPointer();
    }
    // Its scaled copies go with it.
    if (scaleCache)
        scaleCache->forget(surfaceOf(image));
    SDL_FreeSurface(surfaceOf(image));
}

bool SDLSystem::begin_display()
{
    bool mustLock = backBuffer && SDL_MUSTLOCK(backBuffer);
    logf("begin_display - must lock: %i\n", mustLock ? 1 : 0);
    set_region(0, 0, 0, 0);
    if (mustLock)
        SDL_LockSurface(backBuffer);
    return true;
}

void SDLSystem::end_display()
{
    logf("end_display\n");
    if (backBuffer && SDL_MUSTLOCK(backBuffer))
        SDL_UnlockSurface(backBuffer);
}

void SDLSystem::flip(int effect, int clearFlags, int duration)
{
    logf("flip, effect: %i, clear_flags: %i, duration: %i\n", effect, clearFlags, duration);
    if (!screen || !backBuffer)
        return;
    if (clearFlags & 1)
        SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
    if (clearFlags & 2) {
        SDL_Rect clip = backBuffer->clip_rect;
        SDL_SetClipRect(backBuffer, nullptr);
        SDL_FillRect(backBuffer, nullptr, SDL_MapRGB(backBuffer->format, 0, 0, 0));
        SDL_SetClipRect(backBuffer, &clip);
    }
    if (effect == 0) {
        waitForFrame();
        SDL_Draw::blitSurface(backBuffer, nullptr, screen, nullptr);
        if (pointerShown)
            move_cursor(savedPointerX + hotX, savedPointerY + hotY);
        else
            SDL_Flip(screen);
    } else if (effect == 1) {
        if (!fadeBuffer)
            fadeBuffer = new SDL_Draw::FadeBuffer();
        SDL_Draw::fade(backBuffer, screen, duration, *fadeBuffer, &quitAsked);
        if (pointerShown)
            move_cursor(savedPointerX + hotX, savedPointerY + hotY);
    }
}

void SDLSystem::clear_display()
{
    logf("clear_display\n");
    if (!screen)
        return;
    SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
    SDL_Flip(screen);
}

void SDLSystem::set_region(int x, int y, int width, int height)
{
    logf("set_region, x: %i, y:%i, width: %i, height:%i\n", x, y, width, height);
    SDL_Draw::setRegion(backBuffer, x, y, width, height);
}

void SDLSystem::blt(ImageHandle image, int x, int y, int iX, int iY, int iWidth, int iHeight)
{
    logf("blt, x: %i, y: %i, i_x:%i, i_y:%i, i_width: %i, i_height: %i\n", x, y, iX, iY, iWidth,
         iHeight);
    SDL_Draw::blit(surfaceOf(image), backBuffer, x, y, iX, iY, iWidth, iHeight);
}

void SDLSystem::strech(ImageHandle image, int x, int y, int width, int height)
{
    logf("strech - x:%i, y:%i, width: %i, height: %i\n", x, y, width, height);
    // A picture drawn again at the same size is copied, not filtered again.
    if (!scaleCache)
        scaleCache = new SDL_Draw::ScaleCache();
    scaleCache->draw(surfaceOf(image), backBuffer, x, y, width, height);
}

void SDLSystem::v_line(int x, int y, int length, uint32_t colour)
{
    if (verbose() && backBuffer) {
        // The log shows the part that survives clipping.
        const SDL_Rect &c = backBuffer->clip_rect;
        long long top = y > c.y ? y : c.y;
        long long bottom = (long long)y + length;
        if (bottom > (long long)c.y + c.h)
            bottom = (long long)c.y + c.h;
        logf("v_line, x: %i y: %i, length: %i\n", x, (int)top,
             bottom > top ? (int)(bottom - top) : 0);
    }
    if (!backBuffer)
        return;
    SDL_Draw::vLine(backBuffer, x, y, length,
                    SDL_Draw::mapRGB(backBuffer, SDL_Draw::colourToRGB(colour)));
}

void SDLSystem::h_line(int x, int y, int length, uint32_t colour)
{
    logf("h_line, x: %i y: %i, length: %i\n", x, y, length);
    if (!backBuffer)
        return;
    SDL_Draw::hLine(backBuffer, x, y, length,
                    SDL_Draw::mapRGB(backBuffer, SDL_Draw::colourToRGB(colour)));
}

void SDLSystem::fill_rect(int x, int y, int width, int height, uint32_t colour)
{
    logf("fill_rect - x: %i, y: %i, width: %i, height: %i, colour: %x\n", x, y, width, height,
         colour);
    if (!backBuffer)
        return;
    SDL_Draw::fillRect(backBuffer, x, y, width, height,
                       SDL_Draw::mapRGB(backBuffer, SDL_Draw::colourToRGB(colour)));
}

void SDLSystem::show_cursor(bool show)
{
    logf("show_cursor\n");
    pointerShown = show;
    showSystemPointer();
}

void SDLSystem::showSystemPointer()
{
    // A theme without pointer pictures would leave no pointer at all.
    SDL_ShowCursor(pointerShown && !pointerImage ? SDL_ENABLE : SDL_DISABLE);
}

void SDLSystem::move_cursor(int x, int y)
{
    if (!pointerShown || !screen)
        return;
    SDL_Rect saved = {savedPointerX, savedPointerY, savedPointerW, savedPointerH};
    SDL_Draw::movePointer(screen, backBuffer, surfaceOf(pointerImage), hotX, hotY, x, y, saved);
    savedPointerX = saved.x;
    savedPointerY = saved.y;
    savedPointerW = saved.w;
    savedPointerH = saved.h;
}

bool SDLSystem::pointer_position(int &x, int &y)
{
    if (!screen)
        return false;
    SDL_PumpEvents();
    SDL_GetMouseState(&x, &y);
    return true;
}

void SDLSystem::set_cursor(ImageHandle image, int newHotX, int newHotY)
{
    logf("set_cursor, image: %p, hot x: %i, hot y: %i\n", (void *)image, newHotX, newHotY);
    int x = savedPointerX + hotX, y = savedPointerY + hotY;
    pointerImage = image;
    hotX = newHotX;
    hotY = newHotY;
    showSystemPointer();
    move_cursor(x, y);
}
