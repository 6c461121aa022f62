// The article markup: lexer, text decoding, tags with keyword attributes and
// their typed getters, and the colour value every drawing call uses.
#ifndef MIRANDOL_MARKUP_H
#define MIRANDOL_MARKUP_H

#include <stddef.h>
#include <stdint.h>

#include "Strings.h"

// Keyword ids: the index in the sorted keyword table.
enum Keyword {
    KW_B_END = 0,
    KW_CENTER_END = 1,
    KW_FONT_END = 2,
    KW_I_END = 3,
    KW_IMAGELIST_END = 4,
    KW_IMAGEMAP_END = 5,
    KW_IMAP_END = 6,
    KW_LINK_END = 7,
    KW_PRE_END = 8,
    KW_SCHEME_END = 9,
    KW_TABLE_END = 10,
    KW_THEME_END = 11,
    KW_U_END = 12,
    KW_ALIGN = 13,
    KW_ARTICLE = 14,
    KW_AUTHOR = 15,
    KW_AUTOSCROLL = 16,
    KW_B = 17,
    KW_BACK = 18,
    KW_BACKGROUND = 19,
    KW_BEGIN = 20,
    KW_BORDER = 21,
    KW_BOTTOM = 22,
    KW_BR = 23,
    KW_BRS = 24,
    KW_BUSY = 25,
    KW_BUTTON = 26,
    KW_BUTTONDOWN = 27,
    KW_BUTTONUP = 28,
    KW_CELL = 29,
    KW_CENTER = 30,
    KW_CHARSET = 31,
    KW_CLOCK = 32,
    KW_CLOSE = 33,
    KW_COLOR = 34,
    KW_COLSPACING = 35,
    KW_COLUMNS = 36,
    KW_COMMAND = 37,
    KW_CURSOR = 38,
    KW_CURSORS = 39,
    KW_DESC = 40,
    KW_DOWN = 41,
    KW_EDGEDELAY = 42,
    KW_EFFECT = 43,
    KW_END = 44,
    KW_ENTER = 45,
    KW_EXTERNAL = 46,
    KW_FACE = 47,
    KW_FADING = 48,
    KW_FILE = 49,
    KW_FINDCOLOR = 50,
    KW_FL = 51,
    KW_FONT = 52,
    KW_FONTSTYLE = 53,
    KW_FOOTER = 54,
    KW_HEADER = 55,
    KW_HEIGHT = 56,
    KW_HELP = 57,
    KW_HORIZONTAL = 58,
    KW_HOTSPOT = 59,
    KW_HR = 60,
    KW_HSPACING = 61,
    KW_HTML = 62,
    KW_I = 63,
    KW_ID = 64,
    KW_IMAGE = 65,
    KW_IMAGELIST = 66,
    KW_IMAGEMAP = 67,
    KW_IMAP = 68,
    KW_IMG = 69,
    KW_IMMSONG = 70,
    KW_INDEX = 71,
    KW_INHERIT = 72,
    KW_LEFT = 73,
    KW_LINE = 74,
    KW_LINK = 75,
    KW_LINKDOWN = 76,
    KW_LINKUP = 77,
    KW_LOOP = 78,
    KW_MAIN = 79,
    KW_MIDDLE = 80,
    KW_MOVIE = 81,
    KW_NAME = 82,
    KW_NOLOOP = 83,
    KW_NOPUSH = 84,
    KW_NORMAL = 85,
    KW_NOSAVE = 86,
    KW_NOSCAN = 87,
    KW_NOSOUND = 88,
    KW_NS = 89,
    KW_NU = 90,
    KW_OPEN = 91,
    KW_OUTSPACING = 92,
    KW_OVERLAY = 93,
    KW_P = 94,
    KW_PAGE = 95,
    KW_PAL = 96,
    KW_PARAM = 97,
    KW_PARAMETERS = 98,
    KW_PRE = 99,
    KW_PRESSED = 100,
    KW_QUIT = 101,
    KW_RIGHT = 102,
    KW_ROW = 103,
    KW_SAVE = 104,
    KW_SCHEME = 105,
    KW_SCROLL = 106,
    KW_SCROLLDOWN = 107,
    KW_SCROLLUP = 108,
    KW_SELCOLOR = 109,
    KW_SELECTED = 110,
    KW_SHADOW = 111,
    KW_SIZE = 112,
    KW_SONG = 113,
    KW_SOUND = 114,
    KW_SOUNDDOWN = 115,
    KW_SOUNDS = 116,
    KW_SOUNDUP = 117,
    KW_SP = 118,
    KW_SPACE = 119,
    KW_SPACING = 120,
    KW_SPEED = 121,
    KW_STATUS = 122,
    KW_STYLE = 123,
    KW_TABLE = 124,
    KW_TD = 125,
    KW_THEME = 126,
    KW_THUMB = 127,
    KW_TIME = 128,
    KW_TITLE = 129,
    KW_TOLERANCE = 130,
    KW_TOP = 131,
    KW_TR = 132,
    KW_U = 133,
    KW_UP = 134,
    KW_VERTICAL = 135,
    KW_VISCOLOR = 136,
    KW_VSPACING = 137,
    KW_WIDTH = 138,
    KW_WINDOW = 139,
    KW_X = 140,
    KW_Y = 141,
    KEYWORD_COUNT = 142,
    KW_UNKNOWN = 142
};

// Colour values: 0x00RRGGBB direct, bit 31 set = palette index, or none.
enum : uint32_t {
    COLOUR_PALETTE = 0x80000000u,
    COLOUR_NONE = 0x7FFFFFFFu
};

// Whether direct colours read from markup are kept with red and blue
// exchanged (the user flag USER_FLAG_SWAP_RB as the magazine configuration
// read it at load). The platform sets that flag, so it starts set.
extern bool g_markupSwapRB;

// A direct colour 0x00RRGGBB in the form colours read from markup are kept
// in. Every built-in colour that reaches a drawing call goes through it, so
// a default draws like the same colour written in "config.txt".
uint32_t markupColour(uint32_t rgb);

// The fill of search hits when a theme gives no "findcolor" (red).
enum : uint32_t { DEFAULT_FIND_COLOUR = 0xEF0000u };

enum MarkupToken {
    MARKUP_END = 0,
    MARKUP_WORD = 1,
    MARKUP_SPACE = 12,
    MARKUP_PRE_LINE = 21,
    MARKUP_TAG = 22
};

enum { TAG_MAX_ATTRIBUTES = 128 };

struct TagAttribute {
    uint32_t id = KW_UNKNOWN;
    String value;              // empty until a value follows
};

class Tag {
public:
    Tag() {}
    ~Tag();
    Tag(const Tag &) = delete;
    Tag &operator=(const Tag &) = delete;

    uint32_t id = KW_UNKNOWN;  // keyword id of the tag name
    uint32_t count = 0;        // attributes in use
    TagAttribute *attributes[TAG_MAX_ATTRIBUTES] = {};

    // The value getters move the value out of the first attribute with the id:
    // asking twice fails the second time. A missing attribute or an empty value
    // fails and leaves the output untouched.
    bool has(uint32_t attr) const;
    bool getString(uint32_t attr, String &out);
    bool getLowerString(uint32_t attr, String &out);
    bool getUnsigned(uint32_t attr, uint32_t &out, uint32_t min, uint32_t max);
    bool getSigned(uint32_t attr, int32_t &out, int32_t min, int32_t max);
    // A value with "%" is that share of base.
    bool getSize(uint32_t attr, uint32_t &out, uint32_t min, uint32_t max, uint32_t base);
    bool getColour(uint32_t attr, uint32_t &out);

    // Appends an attribute (false when the tag is full or memory ran out).
    bool addAttribute(uint32_t attr);

private:
    TagAttribute *first(uint32_t attr) const;
    bool takeValue(uint32_t attr, String &out);
};

// Cuts a text into words, white space, preformatted lines and tags. The user
// fills the record (or calls init) and keeps it for one pass; the text is
// never written.
struct MarkupLexer {
    const uint8_t *start = nullptr;
    const uint8_t *pos = nullptr;
    const uint8_t *end = nullptr;
    uint32_t column = 0;
    bool pre = false;          // preformatted mode
    bool keepBreaks = false;   // preformatted lines keep their line break
    bool wordsOnly = false;    // word mode (search index)
    const uint8_t *tokenStart = nullptr;
    uint32_t tokenColumn = 0;
    uint32_t tokenLength = 0;

    void init(const void *text, size_t size);
    MarkupToken next();
    // The Tag of the last token, which must be a tag; null when memory ran out.
    Tag *parseTag();
};

// Decodes count bytes of markup text (tabs expanded from the given column,
// NUL as blank, the entities lt, gt, emp and quot) into a new buffer owned by
// out; length receives the decoded length. Returns the column after the text.
uint32_t decodeMarkupText(String &out, uint32_t &length, const uint8_t *text, uint32_t count,
                          uint32_t column);

// Keyword id of a name (KW_UNKNOWN when it is none).
uint32_t keywordId(const String &name);
uint32_t keywordId(const char *name);
const char *keywordName(uint32_t id);

// Overflow-safe number reading: leading blanks, an optional sign, digits;
// values beyond the type saturate. False when there is no number.
bool parseMarkupUnsigned(const char *text, uint32_t &out);
bool parseMarkupSigned(const char *text, int32_t &out);

#endif
