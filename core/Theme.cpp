#include "Theme.h"

#include "Image.h"
#include "containr.h"
#include "MagazineConfig.h"
#include "Markup.h"

const unsigned Theme::cursorKeywords[CURSOR_COUNT] = {
    KW_NORMAL, KW_SCROLLUP, KW_SCROLLDOWN, KW_LINKUP, KW_LINKDOWN, KW_BUTTONUP, KW_BUTTONDOWN,
    KW_BACK, KW_BUSY, KW_QUIT, KW_UP, KW_DOWN, KW_LEFT, KW_RIGHT};
const char *const Theme::cursorDefaults[CURSOR_COUNT] = {
    "normal.bmp", "scrollup.bmp", "scrolldown.bmp", "linkup.bmp", "linkdown.bmp",
    "buttonup.bmp", "buttondown.bmp", "back.bmp", "busy.bmp", "quit.bmp",
    "up.bmp", "down.bmp", "left.bmp", "right.bmp"};
const unsigned Theme::soundKeywords[SOUND_COUNT] = {
    KW_ENTER, KW_BACK, KW_QUIT, KW_LINK, KW_SAVE, KW_LINE, KW_PAGE, KW_BUTTONDOWN, KW_BUTTONUP};
const char *const Theme::soundDefaults[SOUND_COUNT] = {
    "enter.wav", "back.wav", "quit.wav", "link.wav", "save.wav", "line.wav", "page.wav",
    "buttondown.wav", "buttonup.wav"};

Theme::Theme(const char *themeName, Tag &tag)
{
    name.set(themeName);
    background.set("background.jpg");
    findColour = markupColour(DEFAULT_FIND_COLOUR);
    for (int i = 0; i < CURSOR_COUNT; i++)
        cursors[i].set(cursorDefaults[i]);
    for (int i = 0; i < SOUND_COUNT; i++)
        sounds[i].set(soundDefaults[i]);

    String value;
    if (tag.getLowerString(KW_INHERIT, value))
        inherit(value.str);
    // A background picture the magazine lacks is named and leaves the one
    // before it (inherited, or "background.jpg").
    if (tag.getLowerString(KW_IMAGE, value) && !value.isEmpty()) {
        if (Tree::findPath(g_container.root, value.str))
            background.take(value);
        else
            reportMissingPicture(value.str);
    }
    uint32_t c;
    if (tag.getColour(KW_FINDCOLOR, c))
        findColour = c;
}

Theme::~Theme()
{
    delete buttons;
}

void Theme::inherit(const char *themeName)
{
    Theme *from = static_cast<Theme *>(Tree::findWhileFilling(g_magazine_config.themes, themeName));
    if (!from || from == this)
        return;
    background.set(from->background.str);
    overlay.set(from->overlay.str);
    overlayX = from->overlayX;
    overlayY = from->overlayY;
    palette = from->palette;
    page.copyFrom(from->page);
    title.copyFrom(from->title);
    scroll.copyFrom(from->scroll);
    status.copyFrom(from->status);
    clock.copyFrom(from->clock);
    movie.copyFrom(from->movie);
    horizontal = from->horizontal;
    thumbColour = from->thumbColour;
    findColour = from->findColour;
    scrollBegin.set(from->scrollBegin.str);
    scrollMiddle.set(from->scrollMiddle.str);
    scrollEnd.set(from->scrollEnd.str);
    if (from->buttons) {
        delete buttons;
        buttons = nullptr;
        if (ButtonDef::roomFor(ButtonDef::count(from->buttons)))
            buttons = ButtonDef::clone(from->buttons);
    }
    for (int i = 0; i < CURSOR_COUNT; i++)
        cursors[i].set(from->cursors[i].str);
    for (int i = 0; i < SOUND_COUNT; i++)
        sounds[i].set(from->sounds[i].str);
}

static void lowerInto(Tag &tag, unsigned id, String &target)
{
    String value;
    if (tag.getLowerString(id, value) && !value.isEmpty())
        target.take(value);
}

void Theme::handleTag(Tag &tag)
{
    uint32_t v;
    switch (tag.id) {
    case KW_BUTTON:
        if (ButtonDef::roomFor(1))
            buttons = new ButtonDef(tag, buttons);
        break;
    case KW_CLOCK:
        clock.read(tag, KW_FONT, true);
        break;
    case KW_TITLE:
        title.read(tag, KW_FONT, true);
        break;
    case KW_STATUS:
        status.read(tag, KW_FONT, true);
        break;
    case KW_MOVIE:
        movie.read(tag, KW_FILE, false);
        break;
    case KW_CURSORS:
        for (int i = 0; i < CURSOR_COUNT; i++)
            lowerInto(tag, cursorKeywords[i], cursors[i]);
        break;
    case KW_SOUNDS:
        for (int i = 0; i < SOUND_COUNT; i++)
            lowerInto(tag, soundKeywords[i], sounds[i]);
        break;
    case KW_OVERLAY:
        lowerInto(tag, KW_IMAGE, overlay);
        if (tag.getUnsigned(KW_X, v, 0, 2048))
            overlayX = (int32_t)v;
        if (tag.getUnsigned(KW_Y, v, 0, 2048))
            overlayY = (int32_t)v;
        break;
    case KW_PAGE:
        // The page width comes from the scheme.
        if (tag.getUnsigned(KW_X, v, 0, 2048))
            page.x = (int32_t)v;
        if (tag.getUnsigned(KW_Y, v, 0, 2048))
            page.y = (int32_t)v;
        if (tag.getUnsigned(KW_HEIGHT, v, 1, 2048))
            page.height = (int32_t)v;
        break;
    case KW_PAL: {
        if (tag.getUnsigned(KW_INDEX, v, 0, PALETTE_SIZE - 1))
            palette.next = v;
        uint32_t colour;
        if (tag.getColour(KW_COLOR, colour) && palette.next < PALETTE_SIZE) {
            palette.colours[palette.next] = colour & 0x00FFFFFFu;
            palette.next++;
            if (palette.next > palette.count)
                palette.count = palette.next;
        }
        break;
    }
    case KW_SCROLL:
        scroll.read(tag, KW_FONT, true);
        {
            uint32_t colour;
            if (tag.getColour(KW_THUMB, colour))
                thumbColour = colour;
        }
        lowerInto(tag, KW_BEGIN, scrollBegin);
        lowerInto(tag, KW_MIDDLE, scrollMiddle);
        lowerInto(tag, KW_END, scrollEnd);
        if (tag.has(KW_VERTICAL))
            horizontal = 0;
        if (tag.has(KW_HORIZONTAL))
            horizontal = 1;
        break;
    default:
        break;
    }
}
