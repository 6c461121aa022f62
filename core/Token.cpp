// The drawable pieces of a laid-out line.
#include "Token.h"
#include "Lists.h"
#include "SearchIndex.h"

#include <stdint.h>
#include <string.h>

#include <new>

#include "File.h"
#include "Image.h"
#include "LayoutState.h"
#include "Link.h"
#include "Palette.h"
#include "containr.h"

extern Palette g_palette;

// The hot spot a focused image-map link publishes for one draw.
static int hotSpotX, hotSpotY, hotSpotWidth, hotSpotHeight;

void Token::publishHotSpot(int x, int y, int width, int height)
{
    hotSpotX = x;
    hotSpotY = y;
    hotSpotWidth = width;
    hotSpotHeight = height;
}

Token::~Token()
{
    Token *rest = next;
    next = nullptr;
    deleteList(rest);
}

void Token::deleteList(Token *first)
{
    deleteChain(first);
}

void Token::drawNormal(int x, int y, uint32_t c)
{
    if (c == COLOUR_NONE)
        c = ownColour();
    if (c != COLOUR_NONE)
        c = resolveColour(c, &g_palette);
    draw(x, y, c);
}

void Token::collectHighlights(Token *&head, const TextSearch &search, uint32_t c)
{
    HighlightToken *first = nullptr;
    Token *last = nullptr;
    for (Token *t = head; t; t = t->next) {
        HighlightToken *chain = t->findText(search, c);
        if (!chain)
            continue;
        if (last)
            last->next = chain;
        else
            first = chain;
        last = chain;
        while (last->next)
            last = last->next;
    }
    if (first) {
        last->next = head;
        head = first;
    }
}

void Token::removeHighlights(Token *&head)
{
    while (head && head->kind == TOKEN_HIGHLIGHT) {
        Token *following = head->next;
        head->next = nullptr;
        delete head;
        head = following;
    }
}

// ---- StringToken

static int32_t coord32(int64_t v)
{
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : (int32_t)v;
}

StringToken::StringToken(char *text, uint32_t length, const FontState &font)
    : Token(TOKEN_STRING, 0, 0, 0, font.ascent, font.descent), text(text), length(length),
      baselineOffset((int32_t)font.spacing), font(font.font)
{
    baseColour = colour = font.colour;
    int measured = g_system->get_text_width(text ? text : "", font.font);
    width = measured > 0 ? (uint32_t)measured : 0;
}

StringToken::~StringToken()
{
    if (text != reinterpret_cast<char *>(this + 1))
        delete[] text;
}

void *StringToken::operator new(size_t size, InlineText extra) noexcept
{
    if (extra.bytes > SIZE_MAX - size)
        return nullptr;
    return ::operator new(size + extra.bytes, std::nothrow);
}

StringToken *StringToken::create(const char *text, uint32_t length, const FontState &font)
{
    void *memory = operator new(sizeof(StringToken), InlineText{(size_t)length + 1});
    if (!memory)
        return nullptr;
    char *stored = reinterpret_cast<char *>(static_cast<StringToken *>(memory) + 1);
    memcpy(stored, text, length);
    stored[length] = 0;
    return ::new (memory) StringToken(stored, length, font);
}

void StringToken::draw(int dx, int dy, uint32_t c)
{
    if (c == COLOUR_NONE)
        return;
    g_system->out_text(text, (int)length, dx, dy + baselineOffset, c, font);
}

int StringToken::print(int dx, int dy, uint32_t c)
{
    if (c == COLOUR_NONE)
        return 0;
    int drawn = g_system->out_text(text, (int)length, dx, dy + baselineOffset, c, font);
    return drawn - (int)width;
}

HighlightToken *StringToken::findText(const TextSearch &search, uint32_t c)
{
    // Over the drawn text: from the top of its glyphs, as high as the line's text.
    return search.highlightAll(text, length, x, coord32((int64_t)y + baselineOffset),
                               ascent + descent, c, font);
}

// ---- ImageToken

ImageToken::ImageToken(const char *path, uint32_t w, uint32_t h, bool top, uint32_t left,
                       uint32_t right, uint32_t topMargin_, uint32_t bottom)
    : Token(TOKEN_IMAGE), topAligned(top)
{
    image = findPicture(path, (int)w, (int)h);
    if (!image)
        return;
    leftMargin = left;
    topMargin = topMargin_;
    drawnWidth = w ? w : (uint32_t)(image->width > 0 ? image->width : 0);
    drawnHeight = h ? h : (uint32_t)(image->height > 0 ? image->height : 0);
    scaled = w != 0 || h != 0;
    width = drawnWidth + left + right;
    fullHeight = drawnHeight + topMargin_ + bottom;
    if (!topAligned)
        ascent = fullHeight;
}

ImageToken::~ImageToken()
{
    if (image)
        image->release();
}

uint32_t ImageToken::fitLine(uint32_t lineAscent, uint32_t lineDescent)
{
    if (!topAligned)
        return lineDescent;
    ascent = lineAscent;
    descent = fullHeight > lineAscent ? fullHeight - lineAscent : 0;
    return descent > lineDescent ? descent : lineDescent;
}

void ImageToken::finishPlacement()
{
    if (!image) {
        width = ascent = descent = 0;
        return;
    }
    x += (int32_t)leftMargin;
    y += (int32_t)topMargin;
    width = drawnWidth;
    ascent = drawnHeight;
    descent = 0;
}

void ImageToken::draw(int dx, int dy, uint32_t c)
{
    if (!image || !image->surface)
        return;
    if (scaled)
        g_system->strech(image->surface, dx, dy, (int)width, (int)ascent);
    else
        g_system->blt(image->surface, dx, dy, 0, 0, image->width, image->height);
    if (c == COLOUR_NONE)
        return;
    int bx = dx, by = dy, bw = (int)width, bh = (int)(ascent + descent);
    if (hotSpotWidth != 0) {
        bx = dx + hotSpotX;
        by = dy + hotSpotY;
        bw = hotSpotWidth;
        bh = hotSpotHeight;
    }
    g_system->h_line(bx, by, bw, c);
    g_system->h_line(bx, by + bh - 1, bw, c);
    g_system->v_line(bx, by, bh, c);
    g_system->v_line(bx + bw - 1, by, bh, c);
}

int ImageToken::print(int dx, int dy, uint32_t)
{
    if (image && image->surface)
        g_system->strech(image->surface, dx, dy, (int)width, (int)ascent);
    return 0;
}

// ---- Lines

HorizLineToken::HorizLineToken(int32_t x, int32_t y, uint32_t width, uint32_t c)
    : Token(TOKEN_LINE, x, y, width)
{
    baseColour = colour = c;
}

void HorizLineToken::draw(int dx, int dy, uint32_t c)
{
    if (c != COLOUR_NONE)
        g_system->h_line(dx, dy, (int)width, c);
}

int HorizLineToken::print(int dx, int dy, uint32_t c)
{
    draw(dx, dy, c);
    return 0;
}

int UnderlineToken::print(int dx, int dy, uint32_t c)
{
    if (baseColour == linkColour)
        draw(dx, dy, c);
    return 0;
}

VertLineToken::VertLineToken(int32_t x, int32_t y, uint32_t length, uint32_t c)
    : Token(TOKEN_LINE, x, y, 0, length)
{
    baseColour = colour = c;
}

void VertLineToken::draw(int dx, int dy, uint32_t c)
{
    if (c != COLOUR_NONE)
        g_system->v_line(dx, dy, (int)ascent, c);
}

int VertLineToken::print(int dx, int dy, uint32_t c)
{
    draw(dx, dy, c);
    return 0;
}

// ---- Markers and highlights

void SUToken::addToLink(Token *token)
{
    if (link)
        link->addToken(token);
}

HighlightToken::HighlightToken(int32_t x, int32_t y, uint32_t width, uint32_t height, uint32_t c)
    : Token(TOKEN_HIGHLIGHT, x, y, width, height)
{
    baseColour = colour = c;
}

void HighlightToken::draw(int dx, int dy, uint32_t c)
{
    fill(dx, dy, (int)width, (int)ascent, c);
}

void HighlightToken::fill(int x, int y, int w, int h, uint32_t c)
{
    // A find colour of none paints nothing.
    if (c != COLOUR_NONE)
        g_system->fill_rect(x, y, w, h, c);
}
