// The drawable pieces of a laid-out line: words, pictures, rules, underlines
// and search highlights, plus the marker tokens that steer the line builder.
// A line is a singly linked list of Tokens owned by its first Token.
#ifndef MIRANDOL_TOKEN_H
#define MIRANDOL_TOKEN_H

#include <stdint.h>

#include "Markup.h"
#include "System.h"

class Image;
class LinkInfo;
class TextSearch;
class HighlightToken;
struct FontState;

// Kind codes. Bit 4 marks tokens that are not content (markers), bit 8 spaces.
enum TokenKind : uint32_t {
    TOKEN_EOL = 0,          // line end inside a link's token list (never in a line)
    TOKEN_STRING = 1,
    TOKEN_IMAGE = 2,
    TOKEN_LINE = 3,         // horizontal and vertical rules, underlines
    TOKEN_SU = 6,           // start of an underline run
    TOKEN_EU = 7,           // end of an underline run
    TOKEN_SPACE = 12,       // fixed space
    TOKEN_WORD_SPACE = 13,  // space between words
    TOKEN_HIGHLIGHT = 19,
    TOKEN_NON_CONTENT_BIT = 4,
    TOKEN_SPACE_BIT = 8
};

class Token {
public:
    Token *next = nullptr;   // owned: the rest of the list
    uint32_t kind;
    int32_t x;
    int32_t y;               // top edge; the layout sets baseline - ascent
    uint32_t width;
    uint32_t ascent;
    uint32_t descent;
    uint32_t baseColour = COLOUR_NONE;  // as laid out
    uint32_t colour = COLOUR_NONE;      // as drawn (links and search recolour it)

    Token(uint32_t kind, int32_t x = 0, int32_t y = 0, uint32_t width = 0, uint32_t ascent = 0,
          uint32_t descent = 0)
        : kind(kind), x(x), y(y), width(width), ascent(ascent), descent(descent) {}
    // Deletes the rest of the list too, one token after another (lines may be
    // hundreds of thousands of tokens long).
    virtual ~Token();
    Token(const Token &) = delete;
    Token &operator=(const Token &) = delete;

    // Fits the token to the line's baseline; returns the line's new descent.
    virtual uint32_t fitLine(uint32_t lineAscent, uint32_t lineDescent) { return lineDescent; }
    // Records a token in the link this marker opens (underline segments).
    virtual void addToLink(Token *) {}
    virtual bool isLink() const { return false; }
    // Run on every token when its line is stored.
    virtual void finishPlacement() {}
    // Draws at screen position (x, y) in a resolved colour; none draws nothing.
    virtual void draw(int x, int y, uint32_t colour) {}
    // COLOUR_NONE stands for the token's own colour; palette colours resolve
    // through the shown palette; then draw.
    void drawNormal(int x, int y, uint32_t colour);
    // Printing variant of draw (no frames). Returns the width error: how much
    // wider the platform drew the token than the layout measured it.
    virtual int print(int x, int y, uint32_t colour) { return 0; }
    // A chain of highlights over the matches of the search in this token.
    virtual HighlightToken *findText(const TextSearch &search, uint32_t colour) { return nullptr; }

    bool isContent() const { return (kind & TOKEN_NON_CONTENT_BIT) == 0; }
    bool isSpace() const { return (kind & TOKEN_SPACE_BIT) != 0; }
    // The colour drawNormal uses for COLOUR_NONE.
    virtual uint32_t ownColour() const { return colour; }

    // Deletes a whole list (null allowed).
    static void deleteList(Token *first);
    // Puts the highlights of every token of the list in front of it; head
    // then points at the first highlight (or stays when there is no match).
    static void collectHighlights(Token *&head, const TextSearch &search, uint32_t colour);
    // Deletes the highlights at the front of a list.
    static void removeHighlights(Token *&head);

    // The hot spot a focused image-map link publishes for one draw, so that
    // its picture frames the hot spot instead of the whole picture.
    static void publishHotSpot(int x, int y, int width, int height);
    static void withdrawHotSpot() { publishHotSpot(0, 0, 0, 0); }
};

class EOLIndicatorToken : public Token {
public:
    EOLIndicatorToken() : Token(TOKEN_EOL) {}
};

// A word, or a whole preformatted line.
class StringToken : public Token {
public:
    char *text;              // owned (new[]), or stored behind the token by create
    uint32_t length;         // bytes drawn
    int32_t baselineOffset;  // the font's extra spacing, added to y when drawing
    FontHandle font;

    // Takes the text (new[]) over; measures it in the given font.
    StringToken(char *text, uint32_t length, const FontState &font);
    ~StringToken() override;
    // A token with a copy of the text in the same allocation (one allocation
    // per word); null when memory ran out.
    static StringToken *create(const char *text, uint32_t length, const FontState &font);

    struct InlineText { size_t bytes; };
    static void *operator new(size_t size) { return ::operator new(size); }
    static void *operator new(size_t size, InlineText extra) noexcept;
    static void operator delete(void *p) { ::operator delete(p); }
    static void operator delete(void *p, InlineText) { ::operator delete(p); }

    void draw(int x, int y, uint32_t colour) override;
    int print(int x, int y, uint32_t colour) override;
    HighlightToken *findText(const TextSearch &search, uint32_t colour) override;
};

class ImageToken : public Token {
public:
    Image *image = nullptr;  // one reference, or null when the picture is missing
    uint32_t leftMargin = 0;
    uint32_t topMargin = 0;
    uint32_t fullHeight = 0;   // drawn height + top + bottom margins
    uint32_t drawnWidth = 0;
    uint32_t drawnHeight = 0;
    bool topAligned = false;
    bool scaled = false;

    // Finds the picture by path in the magazine; a missing or broken picture
    // gives a token of size 0 that draws nothing.
    ImageToken(const char *path, uint32_t width, uint32_t height, bool topAligned, uint32_t left,
               uint32_t right, uint32_t top, uint32_t bottom);
    ~ImageToken() override;

    uint32_t fitLine(uint32_t lineAscent, uint32_t lineDescent) override;
    void finishPlacement() override;
    void draw(int x, int y, uint32_t colour) override;
    int print(int x, int y, uint32_t colour) override;
};

// A horizontal rule, table border, or underline outside links.
class HorizLineToken : public Token {
public:
    HorizLineToken(int32_t x, int32_t y, uint32_t width, uint32_t colour = COLOUR_NONE);
    void draw(int x, int y, uint32_t colour) override;
    int print(int x, int y, uint32_t colour) override;
};

// The underline of a link run: drawn in the colour of the text it underlines.
class UnderlineToken : public HorizLineToken {
public:
    uint32_t linkColour;
    UnderlineToken(int32_t x, int32_t y, uint32_t width, uint32_t linkColour)
        : HorizLineToken(x, y, width), linkColour(linkColour) {}
    uint32_t ownColour() const override { return linkColour; }
    int print(int x, int y, uint32_t colour) override;
};

// A vertical table border; ascent is its length.
class VertLineToken : public Token {
public:
    VertLineToken(int32_t x, int32_t y, uint32_t length, uint32_t colour);
    void draw(int x, int y, uint32_t colour) override;
    int print(int x, int y, uint32_t colour) override;
};

// Start of an underline run, of a link or of a "u" run.
class SUToken : public Token {
public:
    LinkInfo *link;   // not owned; the link being laid out, or null
    bool linkFlag;    // the run underlines a link
    SUToken(LinkInfo *link, bool linkFlag) : Token(TOKEN_SU), link(link), linkFlag(linkFlag) {}
    void addToLink(Token *token) override;
    bool isLink() const override { return linkFlag; }
};

class EUToken : public Token {
public:
    EUToken() : Token(TOKEN_EU) {}
};

class SpaceToken : public Token {
public:
    explicit SpaceToken(uint32_t width) : Token(TOKEN_SPACE, 0, 0, width) {}
};

class WordSpaceToken : public Token {
public:
    explicit WordSpaceToken(uint32_t width) : Token(TOKEN_WORD_SPACE, 0, 0, width) {}
};

// A filled rectangle over a search match; ascent is its height.
class HighlightToken : public Token {
public:
    HighlightToken(int32_t x, int32_t y, uint32_t width, uint32_t height, uint32_t colour);
    void draw(int x, int y, uint32_t colour) override;
    // Paints a part of the highlight, given in screen pixels.
    static void fill(int x, int y, int width, int height, uint32_t colour);
};

#endif
