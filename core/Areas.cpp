// The kinds of screen area: how each takes the pointer and draws itself.
#include "Areas.h"

#include <stdio.h>
#include <string.h>
#include <algorithm>

#include "Article.h"
#include "Browser.h"
#include "ButtonDef.h"
#include "Commands.h"
#include "File.h"
#include "FontStyle.h"
#include "Image.h"
#include "Link.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "Palette.h"
#include "Playlist.h"
#include "Theme.h"
#include "containr.h"

namespace {

void showCursor(Image *cursor)
{
    if (cursor)
        cursor->setAsPointer();
}

void markRedraw()
{
    if (currentArticle)
        currentArticle->redraw = true;
}

// A picture of the magazine by file name, one reference taken; null when missing.
Image *pictureNamed(const String &name)
{
    return findPicture(name.str);
}

SampleHandle soundNamed(const String &name)
{
    if (name.isEmpty())
        return nullptr;
    File *file = g_container.find(name.str);
    return file ? file->getSound() : nullptr;
}

} // namespace

// ---------------------------------------------------------------------------

AutoscrollArea::AutoscrollArea(Image *up, Image *down, Image *leftEdge, Image *rightEdge, int32_t edge,
                               bool onHover)
    : Area(0, 0, (int32_t)g_magazine_config.width, (int32_t)g_magazine_config.height),
      upCursor(up), downCursor(down), leftCursor(leftEdge), rightCursor(rightEdge), edgeWidth(edge),
      scrollOnHover(onHover)
{
}

bool AutoscrollArea::mouseOver(int32_t x, int32_t y)
{
    int64_t e = edgeWidth;
    int edge = MODE_NONE;
    Image *cursor = nullptr;
    if (x < left + e) {
        edge = MODE_LEFT;
        cursor = leftCursor;
    } else if (x > right - e) {
        edge = MODE_RIGHT;
        cursor = rightCursor;
    } else if (y < top + e) {
        edge = MODE_TOP;
        cursor = upCursor;
    } else if (y > bottom - e) {
        edge = MODE_BOTTOM;
        cursor = downCursor;
    }
    if (edge == MODE_NONE) {
        if (scrollOnHover && currentArticle)
            currentArticle->setAutoscroll(0);
        return false;
    }
    showCursor(cursor);
    mode = edge;
    // A pointer resting on the edge it already scrolls from keeps the pace
    // of the scroll when the view moves under it.
    bool going = repassing && currentArticle && currentArticle->autoscrollMode == edge;
    if (scrollOnHover && currentArticle && !going)
        currentArticle->setAutoscroll(mode);
    return true;
}

bool AutoscrollArea::mouseDown()
{
    if (scrollOnHover || !currentArticle)
        return false;
    currentArticle->setAutoscroll(mode);
    return true;
}

void AutoscrollArea::mouseUp()
{
    if (!scrollOnHover && currentArticle)
        currentArticle->setAutoscroll(0);
}

// ---------------------------------------------------------------------------

PageArea::PageArea(int32_t x, int32_t y, int32_t width, int32_t height, Image *normal, Image *hover,
                   Image *press)
    : Area(x, y, width, height), normalCursor(normal), hoverCursor(hover), pressCursor(press)
{
}

bool PageArea::mouseOver(int32_t x, int32_t y)
{
    if (!contains(x, y) || !currentArticle) {
        link = nullptr;
        return false;
    }
    pointerX = x;
    pointerY = y;
    Link *before = link;
    Link *focusBefore = currentArticle->focusedLink;
    // When the view moved under a pointer that stayed put, a link that the
    // keys or a page move focused keeps the focus, so Up and Down go on from
    // it; the link under the pointer is still the one a click follows. A
    // focus the pointer gave follows the view.
    bool keysFocus = repassing && currentArticle->keysHoldFocus();
    link = keysFocus ? currentArticle->linkUnder(x - left, y - top) : currentArticle->linkAt(x - left, y - top);
    if (!link)
        return false;
    showCursor((link->flags & Link::FLAG_NO_POINTER) ? normalCursor : hoverCursor);
    // The status bar describes the lit link. A link newly under the pointer
    // or newly focused, or one whose description was cleared (a new page),
    // shows its description; otherwise a message that following it gave
    // ("Article not found") stays.
    if (keysFocus)
        statusText.set(focusBefore->description.str);
    else if (link != before || currentArticle->focusedLink != focusBefore || statusText.isEmpty())
        statusText.set(link->description.str);
    return true;
}

bool PageArea::mouseDown()
{
    armed = true;
    showCursor(link && (link->flags & Link::FLAG_NO_POINTER) ? normalCursor : pressCursor);
    // While the button is held the status bar describes the link a release
    // follows, not the lit one a pass after a view move left in the text.
    if (link)
        statusText.set(link->description.str);
    return true;
}

void PageArea::mouseDrag(int32_t x, int32_t y)
{
    pointerX = x;
    pointerY = y;
    armed = currentArticle && link && currentArticle->linkContains(link, x - left, y - top);
}

void PageArea::mouseUp()
{
    // The page may have moved while the button was held: only the link
    // still under the pointer is followed.
    if (!armed || !link || !currentArticle || !currentArticle->linkContains(link, pointerX - left, pointerY - top))
        return;
    // The link followed is the one clicked, even when the keyboard moved
    // the focus meanwhile.
    if (currentArticle->focusedLink != link)
        currentArticle->selectLink(link, false);
    g_system->post_message(MSG_FOLLOW_LINK, 0);
}

void PageArea::draw(bool standalone)
{
    if (standalone) {
        if (!g_system->begin_display())
            return;
        if (currentArticle)
            currentArticle->restorePageBackground(left, top, width(), height());
    }
    if (currentArticle)
        currentArticle->drawLines(left, top, width(), height());
    endDraw(standalone);
    markRedraw();
}

// ---------------------------------------------------------------------------

ScrollbarArea::ScrollbarArea(const AreaPlacement &placement, Image *hover, Image *press, Image *begin,
                             Image *middle, Image *end, uint32_t thumbColour, uint32_t visibleExtent,
                             uint32_t maxPosition, uint32_t position, bool isHorizontal)
    : Area(placement.x, placement.y, placement.width, placement.height), hoverCursor(hover),
      pressCursor(press), beginImage(begin), middleImage(middle), endImage(end), colour(thumbColour),
      max(maxPosition), visible(visibleExtent), horizontal(isHorizontal)
{
    uint32_t length = track();
    uint64_t whole = (uint64_t)max + visible;
    thumb = max == 0 || whole == 0 ? length : (uint32_t)((uint64_t)length * visible / whole);
    uint32_t caps = lengthOf(beginImage) + lengthOf(endImage);
    if (caps > 0 && (!middleImage || thumb < caps))
        thumb = caps;
    if (thumb > length)
        thumb = length;
    free = length - thumb;
    offset = max == 0 ? 0 : (uint32_t)((uint64_t)free * (position < max ? position : max) / max);
}

uint32_t ScrollbarArea::lengthOf(const Image *image) const
{
    if (!image)
        return 0;
    int32_t length = horizontal ? image->width : image->height;
    return length > 0 ? (uint32_t)length : 0;
}

void ScrollbarArea::setPosition(int32_t position)
{
    uint32_t p = position < 0 ? 0 : (uint32_t)position;
    if (p > max)
        p = max;
    uint32_t moved = max == 0 ? 0 : (uint32_t)((uint64_t)p * free / max);
    if (moved > free)
        moved = free;
    if (moved != offset) {
        offset = moved;
        draw(true);
    }
}

bool ScrollbarArea::mouseOver(int32_t x, int32_t y)
{
    if (!contains(x, y))
        return false;
    showCursor(hoverCursor);
    pointer = horizontal ? x - left : y - top;
    return true;
}

bool ScrollbarArea::mouseDown()
{
    showCursor(pressCursor);
    int64_t p = pointer;
    if (p < (int64_t)offset) {
        if (currentArticle)
            currentArticle->setAutoscroll(AutoscrollArea::MODE_LEFT);
    } else if (p >= (int64_t)offset + thumb) {
        if (currentArticle)
            currentArticle->setAutoscroll(AutoscrollArea::MODE_RIGHT);
    } else {
        grab = (int32_t)(p - offset);
        dragging = true;
    }
    return true;
}

void ScrollbarArea::mouseDrag(int32_t x, int32_t y)
{
    if (!dragging)
        return;
    pointer = horizontal ? x - left : y - top;
    int64_t o = (int64_t)pointer - grab;
    if (o < 0)
        o = 0;
    if (o > (int64_t)free)
        o = free;
    if (o != (int64_t)offset && free != 0 && currentArticle)
        currentArticle->jumpTo((int32_t)((uint64_t)o * max / free));
}

void ScrollbarArea::mouseUp()
{
    if (currentArticle)
        currentArticle->setAutoscroll(0);
    dragging = false;
}

void ScrollbarArea::draw(bool standalone)
{
    if (!beginDraw(standalone))
        return;
    if (!beginImage && !middleImage && !endImage) {
        uint32_t fill = resolveColour(colour, &g_palette);
        if (horizontal)
            g_system->fill_rect(left + (int32_t)offset, top, (int32_t)thumb, height(), fill);
        else
            g_system->fill_rect(left, top + (int32_t)offset, width(), (int32_t)thumb, fill);
    } else {
        // Along the track, signed: a thumb shorter than its caps gives no middle.
        int64_t start = (horizontal ? left : top);
        int64_t s = start + offset;
        if (beginImage) {
            g_system->blt(beginImage->surface, horizontal ? (int)s : left, horizontal ? top : (int)s, 0, 0,
                          beginImage->width, beginImage->height);
            s += lengthOf(beginImage);
        }
        if (middleImage) {
            int64_t m = start + offset + thumb - s - lengthOf(endImage);
            if (m > 0) {
                if (horizontal)
                    g_system->strech(middleImage->surface, (int)s, top, (int)m, height());
                else
                    g_system->strech(middleImage->surface, left, (int)s, width(), (int)m);
                s += m;
            }
        }
        if (endImage)
            g_system->blt(endImage->surface, horizontal ? (int)s : left, horizontal ? top : (int)s, 0, 0,
                          endImage->width, endImage->height);
    }
    endDraw(standalone);
    markRedraw();
}

// ---------------------------------------------------------------------------

TitlebarArea::TitlebarArea(const AreaPlacement &placement, const char *first, const char *second)
    : Area(placement.x, placement.y, placement.width, placement.height)
{
    text1.set(first);
    text2.set(second);
    FontStyle *style = Tree::findAs<FontStyle>(g_magazine_config.fontStyles, placement.name.str);
    if (!style)
        style = Tree::findAs<FontStyle>(g_magazine_config.fontStyles, "?default");
    if (style) {
        int ascent = 0, descent = 0;
        font = style->openFont(&ascent, &descent);
        colour = style->colour;
        if (style->underline)
            underlineRow = std::max(ascent + descent - 1, 0);
    }
}

void TitlebarArea::drawText(const char *text, int64_t x, uint32_t ink)
{
    g_system->out_text(text, (int)strlen(text), (int)x, top, ink, font);
    if (underlineRow >= 0)
        g_system->h_line((int)x, (int)((int64_t)top + underlineRow), g_system->get_text_width(text, font), ink);
}

void TitlebarArea::setText(const char *text)
{
    // The text may be the status text itself: decide once, before clearing it.
    if (!text || !*text) {
        statusText.clear();
        text = nullptr;
    }
    if (String::compare(text, text1.str) == 0)
        return;
    text1.set(text);
    draw(true);
}

void TitlebarArea::draw(bool standalone)
{
    if (!beginDraw(standalone))
        return;
    uint32_t ink = resolveColour(colour, &g_palette);
    const char *single = !text1.isEmpty() ? text1.str : (!text2.isEmpty() ? text2.str : nullptr);
    if (!text1.isEmpty() && !text2.isEmpty()) {
        g_system->set_region(left, top, width(), height());
        drawText(text1.str, left, ink);
        // Text 2 ends at the right edge, but never starts over text 1: a pair
        // too long for the bar loses the end of text 2 instead of overlapping.
        int64_t x2 = (int64_t)right - g_system->get_text_width(text2.str, font);
        int64_t after1 = (int64_t)left + g_system->get_text_width(text1.str, font) + TEXT_GAP;
        drawText(text2.str, x2 > after1 ? x2 : after1, ink);
        g_system->set_region(0, 0, 0, 0);
    } else if (single) {
        g_system->set_region(left, top, width(), height());
        int w = g_system->get_text_width(single, font);
        drawText(single, ((int64_t)left + right - w) >> 1, ink);
        g_system->set_region(0, 0, 0, 0);
    }
    endDraw(standalone);
    markRedraw();
}

ClockArea::ClockArea(const AreaPlacement &placement) : TitlebarArea(placement, nullptr, nullptr)
{
    update();
}

void ClockArea::format(uint32_t milliseconds, char *out, unsigned size)
{
    unsigned minutes = milliseconds / 60000;
    unsigned hours = minutes / 60;
    snprintf(out, size, "%2u:%02u", hours, minutes - hours * 60);
}

bool ClockArea::update()
{
    char text[16];
    format(g_system->get_ticks(), text, sizeof text);
    if (String::compare(text, text1.str) == 0)
        return false;
    text1.set(text);
    return true;
}

void ClockArea::tick()
{
    // Drawn when the minute changes: an unchanged clock costs no flip.
    if (update())
        draw(true);
}

// ---------------------------------------------------------------------------

ButtonArea::ButtonArea(const ButtonDef &def, Image *hover, Image *press)
    : Area(def.placement.x, def.placement.y, def.placement.width, def.placement.height),
      hoverCursor(hover), pressCursor(press), command(def.command), effect(def.effect), song(def.song)
{
    normal = pictureNamed(def.normal);
    selected = pictureNamed(def.selected);
    if (!selected && normal) {
        selected = normal;
        normal->references++;
    }
    pressed = pictureNamed(def.pressed);
    if (!pressed && selected) {
        pressed = selected;
        selected->references++;
    }
    current = normal;
    frame = normal ? normal->getFrame(0) : nullptr;
    frameDelay = frame ? (int32_t)normal->getFrameDuration(0) : 32767;
    param.set(def.param.str);
    desc.set(def.desc.str);
    downSound = soundNamed(def.sounddown);
    upSound = soundNamed(def.soundup);
}

ButtonArea::~ButtonArea()
{
    if (normal)
        normal->release();
    if (selected)
        selected->release();
    if (pressed)
        pressed->release();
    normal = selected = pressed = current = frame = nullptr;
}

void ButtonArea::createAll(const ButtonDef *list, Area *&head, Image *hover, Image *press)
{
    for (const ButtonDef *def = list; def; def = def->next)
        Area::append(new (std::nothrow) ButtonArea(*def, hover, press), head);
}

void ButtonArea::setImages(Image *picture)
{
    if (picture == current)
        return;
    current = picture;
    if (picture) {
        frame = picture->getFrame(frameIndex);
        if (!frame) {
            frameIndex = 0;
            frame = picture->getFrame(0);
        }
        if (frame) {
            frameDelay = (int32_t)picture->getFrameDuration(frameIndex);
            if (frameDelay <= tickCount)
                tickCount = 0;
        }
    } else {
        frame = nullptr;
    }
    draw(true);
}

bool ButtonArea::mouseOver(int32_t x, int32_t y)
{
    if (!contains(x, y)) {
        setImages(normal);
        return false;
    }
    if (command)
        showCursor(hoverCursor);
    if (selected)
        setImages(selected);
    statusText.set(desc.str);
    return true;
}

bool ButtonArea::mouseDown()
{
    if (!command)
        return false;
    showCursor(pressCursor);
    if (pressed)
        setImages(pressed);
    g_playlist.pendingSound = downSound ? downSound : g_playlist.themeSounds[SOUND_BUTTONDOWN];
    armed = true;
    return true;
}

void ButtonArea::mouseDrag(int32_t x, int32_t y)
{
    if (contains(x, y)) {
        if (pressed)
            setImages(pressed);
        armed = true;
    } else {
        if (selected)
            setImages(selected);
        armed = false;
    }
}

void ButtonArea::mouseUp()
{
    g_playlist.pendingSound = upSound ? upSound : g_playlist.themeSounds[SOUND_BUTTONDOWN];
    if (song != -1)
        g_playlist.play((unsigned)song);
    if (!armed || !currentArticle)
        return;
    // The command may switch the theme or the article and so delete this
    // area: everything it needs is copied first, and nothing of the area is
    // touched afterwards.
    int32_t id = command;
    uint32_t fade = (uint32_t)effect;
    String target;
    target.set(param.str);
    Article *shown = currentArticle;
    Article::executeCommand(shown, id, target.str, fade);
    if ((id == CMD_ARTICLE || id == CMD_REPLACE) && currentArticle != shown)
        g_browser.presentPage();
}

void ButtonArea::tick()
{
    tickCount++;
    if (tickCount != frameDelay || !current)
        return;
    frameIndex++;
    Image *next = current->getFrame(frameIndex);
    if (!next) {
        frameIndex = 0;
        next = current->getFrame(0);
    }
    tickCount = 0;
    if (next && next != frame) {
        frameDelay = (int32_t)current->getFrameDuration(frameIndex);
        frame = next;
        draw(true);
    }
}

void ButtonArea::draw(bool standalone)
{
    if (!beginDraw(standalone))
        return;
    if (frame)
        g_system->blt(frame->surface, left, top, 0, 0, frame->width, frame->height);
    endDraw(standalone);
}

// ---------------------------------------------------------------------------

MovieArea::MovieArea(const AreaPlacement &placement, const char *file, bool playFlag)
    : Area(placement.x, placement.y, placement.width, placement.height), play(playFlag)
{
    name.set(file);
    start();
}

MovieArea::~MovieArea()
{
    stop();
}

int MovieArea::frameInterval(int framesPerSecond)
{
    if (framesPerSecond <= 0)
        return 40;
    int interval = 1000 / framesPerSecond;
    return interval > 0 ? interval : 1;
}

void MovieArea::start()
{
    if (movie)
        return;
    MovieInfo info = {0, 0, 0};
    movie = g_system->open_movie(name.c_str(), &info);
    if (movie)
        g_system->start_timer(MSG_MOVIE_FRAME, frameInterval(info.frameTime));
}

void MovieArea::stop()
{
    if (!g_system)
        return;
    if (movie)
        g_system->close_movie(movie);
    movie = nullptr;
    g_system->stop_timer(MSG_MOVIE_FRAME);
}

int MovieArea::nextFrame()
{
    if (!movie)
        return 0;
    g_system->next_movie_frame(movie);
    draw(true);
    return 1;
}

void MovieArea::draw(bool standalone)
{
    if (!movie)
        return;
    if (standalone && !g_system->begin_display())
        return;
    g_system->draw_movie(movie, left, top, width(), height());
    if (standalone)
        g_system->end_display();
}
