#include "Markup.h"

#include <ctype.h>
#include <string.h>

bool g_markupSwapRB = true;

static const char *const keywordTable[KEYWORD_COUNT] = {
    "/b", "/center", "/font", "/i", "/imagelist", "/imagemap", "/imap", "/link", "/pre",
    "/scheme", "/table", "/theme", "/u", "align", "article", "author", "autoscroll", "b",
    "back", "background", "begin", "border", "bottom", "br", "brs", "busy", "button",
    "buttondown", "buttonup", "cell", "center", "charset", "clock", "close", "color",
    "colspacing", "columns", "command", "cursor", "cursors", "desc", "down", "edgedelay",
    "effect", "end", "enter", "external", "face", "fading", "file", "findcolor", "fl", "font",
    "fontstyle", "footer", "header", "height", "help", "horizontal", "hotspot", "hr",
    "hspacing", "html", "i", "id", "image", "imagelist", "imagemap", "imap", "img", "immsong",
    "index", "inherit", "left", "line", "link", "linkdown", "linkup", "loop", "main", "middle",
    "movie", "name", "noloop", "nopush", "normal", "nosave", "noscan", "nosound", "ns", "nu",
    "open", "outspacing", "overlay", "p", "page", "pal", "param", "parameters", "pre",
    "pressed", "quit", "right", "row", "save", "scheme", "scroll", "scrolldown", "scrollup",
    "selcolor", "selected", "shadow", "size", "song", "sound", "sounddown", "sounds", "soundup",
    "sp", "space", "spacing", "speed", "status", "style", "table", "td", "theme", "thumb",
    "time", "title", "tolerance", "top", "tr", "u", "up", "vertical", "viscolor", "vspacing",
    "width", "window", "x", "y",
};

// Character classes.
static bool isTagStart(uint8_t c)
{
    return c == '!' || c == '/' || c == '?' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static bool isWordChar(uint8_t c)
{
    return c == '&' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '_' ||
           (c >= 'a' && c <= 'z') || c >= 128;
}

static inline uint32_t nextTab(uint32_t column) { return (column & ~7u) + 8; }

static inline void advanceColumn(uint32_t &column, uint8_t c)
{
    if (c == '\n' || c == '\r')
        column = 0;
    else if (c == '\t')
        column = nextTab(column);
    else
        column++;
}

// ---------------------------------------------------------------- keywords

const char *keywordName(uint32_t id)
{
    return id < KEYWORD_COUNT ? keywordTable[id] : nullptr;
}

uint32_t keywordId(const char *name)
{
    if (!name || !*name)
        return KW_UNKNOWN;
    int lo = 0, hi = KEYWORD_COUNT - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = strcmp(name, keywordTable[mid]);
        if (c == 0)
            return (uint32_t)mid;
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return KW_UNKNOWN;
}

uint32_t keywordId(const String &name) { return keywordId(name.str); }

// ---------------------------------------------------------------- numbers

static const char *skipBlanks(const char *p)
{
    while (*p && (unsigned char)*p <= 32)
        p++;
    return p;
}

// A decimal number with an optional sign; the magnitude saturates just
// above cap so it can never overflow. False when no digit follows.
static bool readDecimal(const char *text, bool &negative, uint64_t &value, uint64_t cap)
{
    if (!text)
        return false;
    const char *p = skipBlanks(text);
    negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    if (!isdigit((unsigned char)*p))
        return false;
    value = 0;
    for (; isdigit((unsigned char)*p); p++) {
        value = value * 10 + (uint64_t)(*p - '0');
        if (value > cap)
            value = cap + 1;
    }
    return true;
}

bool parseMarkupUnsigned(const char *text, uint32_t &out)
{
    bool negative;
    uint64_t value;
    if (!readDecimal(text, negative, value, 0xFFFFFFFFu))
        return false;
    if (value > 0xFFFFFFFFu || (negative && value != 0))
        out = 0xFFFFFFFFu;             // out of range or wrapped below zero: the top
    else
        out = (uint32_t)value;
    return true;
}

bool parseMarkupSigned(const char *text, int32_t &out)
{
    bool negative;
    uint64_t value;
    if (!readDecimal(text, negative, value, 0x80000000u))
        return false;
    int64_t signedValue = negative ? -(int64_t)value : (int64_t)value;
    if (signedValue > INT32_MAX)
        signedValue = INT32_MAX;
    if (signedValue < INT32_MIN)
        signedValue = INT32_MIN;
    out = (int32_t)signedValue;
    return true;
}

// Hexadecimal with an optional "0x"; saturates. False when no digit.
static bool parseHex(const char *p, uint32_t &out)
{
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && isxdigit((unsigned char)p[2]))
        p += 2;
    if (!isxdigit((unsigned char)*p))
        return false;
    uint64_t value = 0;
    for (; isxdigit((unsigned char)*p); p++) {
        int c = tolower((unsigned char)*p);
        value = value * 16 + (uint64_t)(c <= '9' ? c - '0' : c - 'a' + 10);
        if (value > 0xFFFFFFFFu)
            value = 0x100000000ull;
    }
    out = value > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)value;
    return true;
}

// ---------------------------------------------------------------- decoding

// Recognises an entity at text[i] == '&'. Returns the character it stands
// for and the source bytes it covers, or 0 when it is none.
static char entityAt(const uint8_t *text, uint32_t count, uint32_t i, uint32_t &skip)
{
    if (i + 1 >= count || text[i + 1] == ';')
        return 0;
    uint32_t j = 0;
    for (uint32_t k = 2; k <= 7; k++) {
        if (i + k >= count || text[i + k] == ';') {
            j = k;
            break;
        }
    }
    if (j < 3 || j > 6)
        return 0;
    char name[6];
    uint32_t n = j - 1;
    for (uint32_t k = 0; k < n; k++)
        name[k] = (char)tolower(text[i + 1 + k]);
    name[n] = '\0';
    char result;
    uint32_t want;
    if (!strcmp(name, "lt")) {
        result = '<';
        want = 4;
    } else if (!strcmp(name, "gt")) {
        result = '>';
        want = 4;
    } else if (!strcmp(name, "emp")) {
        result = '&';
        want = 5;
    } else if (!strcmp(name, "quot")) {
        result = '"';
        want = 6;
    } else {
        return 0;
    }
    // An entity cut short by the end of the text covers only what is there.
    skip = want < count - i ? want : count - i;
    return result;
}

// One pass of the decoder: counts the output when out is null.
static uint32_t decodePass(const uint8_t *text, uint32_t count, uint32_t column, char *out,
                           size_t &length)
{
    size_t n = 0;
    uint32_t i = 0;
    while (i < count) {
        uint8_t c = text[i];
        if (c > '&') {
            if (out)
                out[n] = (char)c;
            n++;
            column++;
            i++;
        } else if (c == 0) {
            if (out)
                out[n] = ' ';
            n++;
            column++;
            i++;
        } else if (c == '\t') {
            uint32_t to = nextTab(column);
            for (; column < to; column++) {
                if (out)
                    out[n] = ' ';
                n++;
            }
            i++;
        } else if (c == '\n' || c == '\r') {
            if (out)
                out[n] = (char)c;
            n++;
            column = 0;
            i++;
        } else if (c == '&') {
            uint32_t skip = 0;
            char e = entityAt(text, count, i, skip);
            if (out)
                out[n] = e ? e : '&';
            n++;
            if (e) {
                column += skip;
                i += skip;
            } else {
                column++;
                i++;
            }
        } else {
            if (out)
                out[n] = (char)c;
            n++;
            column++;
            i++;
        }
    }
    length = n;
    return column;
}

uint32_t decodeMarkupText(String &out, uint32_t &length, const uint8_t *text, uint32_t count,
                          uint32_t column)
{
    out.clear();
    length = 0;
    if (!text)
        count = 0;
    // The output is sized exactly: tabs expand to up to 8 blanks per byte.
    size_t size = 0;
    decodePass(text, count, column, nullptr, size);
    char *buffer = new (std::nothrow) char[size + 1];
    if (!buffer)
        return column;
    size_t written = 0;
    uint32_t endColumn = decodePass(text, count, column, buffer, written);
    buffer[written] = '\0';
    out.str = buffer;
    length = (uint32_t)written;
    return endColumn;
}

// ---------------------------------------------------------------- lexer

void MarkupLexer::init(const void *text, size_t size)
{
    start = pos = (const uint8_t *)text;
    end = start ? start + size : start;
    column = 0;
    tokenStart = pos;
    tokenColumn = 0;
    tokenLength = 0;
}

MarkupToken MarkupLexer::next()
{
    if (!pos || pos >= end)
        return MARKUP_END;

    if (wordsOnly) {
        while (pos < end && !isWordChar(*pos) && *pos != '<')
            pos++;
        if (pos >= end) {
            tokenStart = pos;
            tokenLength = 0;
            return MARKUP_WORD;
        }
    }

    tokenStart = pos;
    tokenColumn = column;
    uint8_t c = *pos;

    if (c == '<' && pos + 1 < end && isTagStart(pos[1])) {
        pos++;
        column++;
        tokenStart = pos;
        tokenColumn = column;
        bool quoted = false;
        while (pos < end) {
            uint8_t b = *pos;
            if (b == '>' && !quoted)
                break;
            if (b == '\n' || b == '\r') {
                quoted = false;
                column = 0;
            } else if (b == '\t') {
                column = nextTab(column);
            } else {
                if (b == '"')
                    quoted = !quoted;
                column++;
            }
            pos++;
        }
        tokenLength = (uint32_t)(pos - tokenStart);
        if (pos < end) {
            pos++;
            column++;
        }
        return MARKUP_TAG;
    }

    if (wordsOnly) {
        while (pos < end && !isWordChar(*pos))
            pos++;
        tokenStart = pos;
        const uint8_t *wordEnd = pos;
        while (pos < end && isWordChar(*pos)) {
            if (*pos == '&') {
                uint32_t skip = 0;
                uint32_t left = (uint32_t)(end - pos);
                bool entity = false;
                if (left >= 5) {
                    // The ";" must lie within the next 5 bytes.
                    uint32_t limit = left < 6 ? left : 6;
                    for (uint32_t k = 1; k < limit; k++)
                        if (pos[k] == ';') {
                            entity = entityAt(pos, left, 0, skip) && skip == k + 1;
                            break;
                        }
                }
                if (!entity) {
                    wordEnd = pos;
                    pos++;    // the "&" is dropped after the word
                    tokenLength = (uint32_t)(wordEnd - tokenStart);
                    return MARKUP_WORD;
                }
                pos += skip;
                wordEnd = pos;
                continue;
            }
            pos++;
            wordEnd = pos;
        }
        tokenLength = (uint32_t)(wordEnd - tokenStart);
        return MARKUP_WORD;
    }

    if (pre) {
        bool lineBreak = false;
        while (pos < end) {
            uint8_t b = *pos;
            if (b == '\n') {
                pos++;
                column = 0;
                lineBreak = true;
                break;
            }
            if (b == '\r') {
                pos++;
                if (pos < end && *pos == '\n')
                    pos++;
                column = 0;
                lineBreak = true;
                break;
            }
            if (b == '<' && pos + 1 < end && isTagStart(pos[1]))
                break;
            if (b == '\t')
                column = nextTab(column);
            else
                column++;
            pos++;
        }
        tokenLength = (uint32_t)(pos - tokenStart);
        if (!lineBreak)
            return MARKUP_WORD;
        if (!keepBreaks) {
            if (tokenLength > 0 && tokenStart[tokenLength - 1] == '\n')
                tokenLength--;
            if (tokenLength > 0 && tokenStart[tokenLength - 1] == '\r')
                tokenLength--;
        }
        return MARKUP_PRE_LINE;
    }

    if (c <= 32) {
        while (pos < end && *pos <= 32) {
            advanceColumn(column, *pos);
            pos++;
        }
        tokenLength = (uint32_t)(pos - tokenStart);
        return MARKUP_SPACE;
    }

    while (pos < end && *pos > 32) {
        if (*pos == '<' && pos + 1 < end && isTagStart(pos[1]))
            break;
        column++;
        pos++;
    }
    tokenLength = (uint32_t)(pos - tokenStart);
    return MARKUP_WORD;
}

Tag *MarkupLexer::parseTag()
{
    Tag *tag = new (std::nothrow) Tag;
    if (!tag)
        return nullptr;
    const uint8_t *p = tokenStart;
    const uint8_t *stop = tokenStart ? tokenStart + tokenLength : tokenStart;
    if (!p)
        return tag;

    const uint8_t *nameEnd = p;
    while (nameEnd < stop && *nameEnd > 32)
        nameEnd++;
    size_t nameLength = (size_t)(nameEnd - p);
    // No keyword is longer than 12 bytes; a longer name is simply unknown.
    if (nameLength > 0 && nameLength < 32) {
        char name[32];
        memcpy(name, p, nameLength);
        name[nameLength] = '\0';
        strlwr(name);
        tag->id = keywordId(name);
    }
    uint32_t col = tokenColumn + (uint32_t)nameLength;
    p = nameEnd;

    while (p < stop) {
        while (p < stop && (*p <= 32 || *p == '=')) {
            advanceColumn(col, *p);
            p++;
        }
        if (p >= stop)
            break;
        TagAttribute *last = tag->count ? tag->attributes[tag->count - 1] : nullptr;
        if (*p == '"') {
            p++;
            col++;
            const uint8_t *v = p;
            while (p < stop && *p != '"' && *p != '\r' && *p != '\n')
                p++;
            if (p > v) {
                String value;
                uint32_t length;
                col = decodeMarkupText(value, length, v, (uint32_t)(p - v), col);
                if (last && last->value.isEmpty())
                    last->value.take(value);
            }
            if (p < stop && *p == '"') {
                p++;
                col++;
            }
            continue;
        }
        const uint8_t *v = p;
        while (p < stop && *p > 32 && *p != '=')
            p++;
        String item;
        uint32_t length;
        col = decodeMarkupText(item, length, v, (uint32_t)(p - v), col);
        uint32_t id = KW_UNKNOWN;
        if (length > 0 && length < 32) {
            char lower[32];
            memcpy(lower, item.str, length + 1);
            strlwr(lower);
            id = keywordId(lower);
        }
        if (last && last->value.isEmpty())
            last->value.take(item);
        if (id != KW_UNKNOWN)
            tag->addAttribute(id);
    }
    return tag;
}

// ---------------------------------------------------------------- tags

Tag::~Tag()
{
    for (uint32_t i = 0; i < count; i++)
        delete attributes[i];
}

bool Tag::addAttribute(uint32_t attr)
{
    if (count >= TAG_MAX_ATTRIBUTES)
        return false;
    TagAttribute *a = new (std::nothrow) TagAttribute;
    if (!a)
        return false;
    a->id = attr;
    attributes[count++] = a;
    return true;
}

TagAttribute *Tag::first(uint32_t attr) const
{
    for (uint32_t i = 0; i < count; i++)
        if (attributes[i]->id == attr)
            return attributes[i];
    return nullptr;
}

bool Tag::has(uint32_t attr) const { return first(attr) != nullptr; }

bool Tag::takeValue(uint32_t attr, String &out)
{
    TagAttribute *a = first(attr);
    if (!a || a->value.isEmpty())
        return false;
    out.take(a->value);
    return true;
}

bool Tag::getString(uint32_t attr, String &out) { return takeValue(attr, out); }

bool Tag::getLowerString(uint32_t attr, String &out)
{
    if (!takeValue(attr, out))
        return false;
    out.lower();
    return true;
}

bool Tag::getUnsigned(uint32_t attr, uint32_t &out, uint32_t min, uint32_t max)
{
    String value;
    uint32_t v;
    if (!takeValue(attr, value) || !parseMarkupUnsigned(value.str, v))
        return false;
    if (v < min)
        v = min;
    if (v > max)
        v = max;
    out = v;
    return true;
}

bool Tag::getSigned(uint32_t attr, int32_t &out, int32_t min, int32_t max)
{
    String value;
    int32_t v;
    if (!takeValue(attr, value) || !parseMarkupSigned(value.str, v))
        return false;
    if (v < min)
        v = min;
    if (v > max)
        v = max;
    out = v;
    return true;
}

bool Tag::getSize(uint32_t attr, uint32_t &out, uint32_t min, uint32_t max, uint32_t base)
{
    String value;
    uint32_t v;
    if (!takeValue(attr, value) || !parseMarkupUnsigned(value.str, v))
        return false;
    uint64_t size = v;
    if (strchr(value.str, '%'))
        size = (uint64_t)base * v / 100;    // wide: a large share cannot wrap
    if (size < min)
        size = min;
    if (size > max)
        size = max;
    out = (uint32_t)size;
    return true;
}

uint32_t markupColour(uint32_t rgb)
{
    return g_markupSwapRB ? swap24(rgb) : rgb;
}

bool Tag::getColour(uint32_t attr, uint32_t &out)
{
    String value;
    if (!takeValue(attr, value))
        return false;
    const char *p = skipBlanks(value.str);
    size_t run = 0;
    while (p[run] && (unsigned char)p[run] > 32)
        run++;
    uint32_t colour = 0;
    bool read;
    if (run > 3) {
        read = parseHex(p, colour);
        // Eight hex digits may spell "none" or a palette reference: only a
        // direct colour has its red and blue exchanged.
        if (read && colour <= 0xFFFFFFu)
            colour = markupColour(colour);
    } else {
        read = parseMarkupUnsigned(p, colour);
        if (read)
            colour |= COLOUR_PALETTE;   // indexes past the palette draw the default colour
    }
    if (!read) {
        if (strcmp(strlwr(value.str), "none") != 0)
            return false;
        colour = COLOUR_NONE;
    }
    out = colour;
    return true;
}
