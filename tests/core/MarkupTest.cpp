#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Markup.h"

namespace {

// The tokens as "W:word|S: |T:tag|P:line" (word, space, tag, preformatted line).
std::string lex(const std::string &text, bool pre = false, bool keepBreaks = false, bool words = false)
{
    MarkupLexer lx;
    lx.init(text.data(), text.size());
    lx.pre = pre;
    lx.keepBreaks = keepBreaks;
    lx.wordsOnly = words;
    std::string out;
    for (MarkupToken t; (t = lx.next()) != MARKUP_END;) {
        out += out.empty() ? "" : "|";
        out += t == MARKUP_WORD ? "W:" : t == MARKUP_SPACE ? "S:" : t == MARKUP_TAG ? "T:" : "P:";
        out += std::string((const char *)lx.tokenStart, lx.tokenLength);
    }
    return out;
}

Tag *tagOf(const std::string &text)
{
    static std::string keep;
    keep = text;
    MarkupLexer lx;
    lx.init(keep.data(), keep.size());
    EXPECT_EQ(lx.next(), MARKUP_TAG) << text;
    return lx.parseTag();
}

enum Getter { STR, LOWER, HAS, UNS, SIG, SIZE, COLOUR, SWAPPED };

// One attribute through one getter, as text ("-" when it fails). Asking again
// always fails (the value was taken) and a failure leaves the output untouched.
std::string get(const std::string &text, Getter g, uint32_t kw, int64_t lo, int64_t hi)
{
    Tag *t = tagOf(text);
    bool saved = g_markupSwapRB;
    g_markupSwapRB = g == SWAPPED;
    String s;
    s.set("untouched");
    uint32_t u = 7;
    int32_t i = 7;
    auto take = [&] {
        return g == STR ? t->getString(kw, s) : g == LOWER ? t->getLowerString(kw, s) : g == HAS ? t->has(kw)
             : g == UNS ? t->getUnsigned(kw, u, (uint32_t)lo, (uint32_t)hi)
             : g == SIG ? t->getSigned(kw, i, (int32_t)lo, (int32_t)hi)
             : g == SIZE ? t->getSize(kw, u, (uint32_t)lo, (uint32_t)hi, 600) : t->getColour(kw, u);
    };
    auto value = [&]() -> std::string {
        char hex[16];
        snprintf(hex, sizeof hex, "%08x", u);
        return g <= LOWER ? s.c_str() : g == HAS ? "1" : g == SIG ? std::to_string(i) : g >= COLOUR ? hex : std::to_string(u);
    };
    std::string before = value(), out = take() ? value() : "-";
    if (g != HAS) {
        EXPECT_FALSE(take()) << text;
        EXPECT_EQ(value(), out == "-" ? before : out) << text;
    }
    g_markupSwapRB = saved;
    delete t;
    return out;
}

TEST(Keywords, SortedTableFoundByName)
{
    for (uint32_t i = 0; i < KEYWORD_COUNT; i++) // sorted, or the search misses some
        EXPECT_TRUE(keywordId(keywordName(i)) == i && (i == 0 || strcmp(keywordName(i - 1), keywordName(i)) < 0)) << i;
    for (const char *unknown : {"IMG", "", (const char *)nullptr})
        EXPECT_EQ(keywordId(unknown), (uint32_t)KW_UNKNOWN);
    EXPECT_EQ(keywordId(String("width")), (uint32_t)KW_WIDTH);
}

TEST(MarkupLexer, TokensInEveryMode)
{
    const struct { const char *text; bool pre, keepBreaks, words; const char *expected; } cases[] = {
        // A tag starts only before a tag-start character.
        {"a <b x<1 <=2 <!-- c --> </i><?x>", false, false, false, "W:a|S: |T:b x<1 <=2 <!-- c --|S: |T:/i|T:?x"},
        {"1<2 a< b", false, false, false, "W:1<2|S: |W:a<|S: |W:b"},
        // Quotes protect ">", a line break ends a quote, a tag without ">" runs to the end.
        {"<a title=\"x>y\">z", false, false, false, "T:a title=\"x>y\"|W:z"},
        {"<a t=\"x\ny>z", false, false, false, "T:a t=\"x\ny|W:z"},
        {"w <img src", false, false, false, "W:w|S: |T:img src"},
        {"ab\r\n\ncd<b>ef\rgh", true, false, false, "P:ab|P:|W:cd|T:b|P:ef|W:gh"},
        {"ab\r\nc <d", true, true, false, "P:ab\r\n|W:c |T:d"},
        {"Hello, w&lt;x b&amp;c <b>tag</b> x&quot;y ...", false, false, true,
         "W:Hello|W:w&lt;x|W:b|W:amp|W:c|T:b|W:tag|T:/b|W:x&quot;y|W:"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(lex(c.text, c.pre, c.keepBreaks, c.words), c.expected) << c.text;
    // Short tails in word mode never read past the text.
    for (const char *s : {"a&", "a&l", "a&lt", "&lt;", "x&quo"})
        EXPECT_FALSE(lex(s, false, false, true).empty()) << s;
    // Columns follow tabs and line breaks.
    std::string text = "ab\tc\nxy <b>";
    MarkupLexer lx;
    lx.init(text.data(), text.size());
    for (uint32_t col : {2, 8, 9, 0, 2, 3, 6}) {
        lx.next();
        EXPECT_EQ(lx.column, col);
    }
    EXPECT_EQ(lx.tokenColumn, 4u);
    EXPECT_EQ(lx.next(), MARKUP_END);
}

TEST(MarkupDecode, EntitiesTabsAndControlBytes)
{
    const struct {
        std::string text;
        uint32_t column;
        std::string expected;
        uint32_t endColumn; // 0: not checked
    } cases[] = {
        {"a&lt;b&GT;c&emp;d&quot;e", 0, "a<b>c&d\"e", 0}, {"&amp; &x; & ;", 0, "&amp; &x; & ;", 0},
        {std::string("a\0b", 3), 0, "a b", 0},           {"abc\tx", 0, "abc     x", 9},
        {"\t", 8, "        ", 16},                       {"&lt;\t", 0, "<    ", 8},
        {"a\r\nb", 5, "a\r\nb", 1},
        // An entity cut by the end of the text decodes without reading past it.
        {"x&lt", 0, "x<", 0}, {"x&quot", 0, "x\"", 0}, {"x&l", 0, "x&l", 0}, {"&", 0, "&", 0},
        {std::string(1000, '\t'), 0, std::string(8000, ' '), 8000}}; // worst case: every byte a tab
    for (const auto &c : cases) {
        String out;
        uint32_t length = 99;
        uint32_t col = decodeMarkupText(out, length, (const uint8_t *)c.text.data(), (uint32_t)c.text.size(), c.column);
        EXPECT_EQ(length, strlen(out.c_str()));
        EXPECT_EQ(out.c_str(), c.expected) << c.text;
        EXPECT_TRUE(!c.endColumn || col == c.endColumn) << c.text << ": " << col;
    }
}

TEST(Tag, GettersClampNeverOverflowAndTakeTheValue)
{
    std::string many = "<p"; // only the first 128 attributes are kept
    for (int i = 0; i < 200; i++)
        many += " x=" + std::to_string(i);
    many += ">";
    const struct { std::string text; Getter get; uint32_t kw; int64_t lo, hi; const char *expected; } cases[] = {
        {"<IMG file = \"my pic.jpg\" nosave>", STR, KW_FILE, 0, 0, "my pic.jpg"},
        {"<IMG file=x nosave>", HAS, KW_NOSAVE, 0, 0, "1"}, {"<p align=CeNTer>", LOWER, KW_ALIGN, 0, 0, "center"},
        // A bare keyword used as a value is an attribute of its own, which takes the next bare item.
        {"<p align=center height=\"\">", STR, KW_CENTER, 0, 0, "height"},
        {"<p height=\"\" \"dropped\">", HAS, KW_HEIGHT, 0, 0, "1"},
        {"<p height=\"\" \"dropped\">", UNS, KW_HEIGHT, 0, 100, "-"}, // no value stuck
        {"<p border = 3>", UNS, KW_BORDER, 0, 100, "3"},
        {"<font 12 \"x\" size=3 size=4>", SIG, KW_SIZE, -10, 10, "3"}, // a later duplicate is never seen
        {many, UNS, KW_X, 0, 1000, "0"},
        {"<p x=-5>", UNS, KW_X, 1, 50, "50"}, // a minus wraps to a large number
        {"<p y=99999999999999999999>", UNS, KW_Y, 0, 0xFFFFFFFFu, "4294967295"},
        {"<p width=-7>", SIG, KW_WIDTH, -3, 3, "-3"}, {"<p height=12abc>", SIG, KW_HEIGHT, -100, 100, "12"},
        {"<p left=+8>", SIG, KW_LEFT, -100, 100, "8"}, {"<p top=abc>", UNS, KW_TOP, 0, 10, "-"},
        {"<p width=50%>", SIZE, KW_WIDTH, 0, 10000, "300"},
        {"<p size=4294967295%>", SIZE, KW_SIZE, 0, 0xFFFFFFFFu, "4294967295"}, // saturates, no wrap
        {"<p color=ff8000>", COLOUR, KW_COLOR, 0, 0, "00ff8000"}, {"<p color=0x00ff00>", COLOUR, KW_COLOR, 0, 0, "0000ff00"},
        {"<p color=12>", COLOUR, KW_COLOR, 0, 0, "8000000c"}, {"<p color=none>", COLOUR, KW_COLOR, 0, 0, "7fffffff"},
        {"<p color=fff>", COLOUR, KW_COLOR, 0, 0, "-"},
        {"<p color=ffffffff>", COLOUR, KW_COLOR, 0, 0, "ffffffff"}, // eight digits are kept as read
        {"<p color=400>", COLOUR, KW_COLOR, 0, 0, "80000190"}, // the colour resolver draws it in the default
        {"<p color=ff8000>", SWAPPED, KW_COLOR, 0, 0, "000080ff"}, {"<p color=12>", SWAPPED, KW_COLOR, 0, 0, "8000000c"},
        // Only direct colours are exchanged: "none" and a palette reference in hex stay.
        {"<p color=7fffffff>", SWAPPED, KW_COLOR, 0, 0, "7fffffff"}, {"<p color=80000005>", SWAPPED, KW_COLOR, 0, 0, "80000005"}};
    for (const auto &c : cases)
        EXPECT_EQ(get(c.text, c.get, c.kw, c.lo, c.hi), c.expected) << c.text;
    const struct { std::string text; uint32_t id, count; } tags[] = {
        {"<IMG file=pic>", KW_IMG, 1}, {"<!-- a comment -->", KW_UNKNOWN, 0},
        {"<font 12 \"x\" size=3 size=4>", KW_FONT, 2}, // a value without a name is dropped
        {many, KW_P, TAG_MAX_ATTRIBUTES}};
    for (const auto &c : tags) {
        Tag *t = tagOf(c.text);
        EXPECT_EQ(std::make_pair(t->id, t->count), std::make_pair(c.id, c.count)) << c.text;
        delete t;
    }
    int32_t s = 0;
    EXPECT_TRUE(parseMarkupSigned("-99999999999", s) && s == INT32_MIN);
    EXPECT_TRUE(parseMarkupSigned("2147483648", s) && s == INT32_MAX);
}

TEST(Tag, DamagedTagsNeverReadPastTheToken)
{
    for (const char *s : {"<a \"", "<a x=\"", "<a x=&", "<a x=&l", "<a x=\"&quot", "<a =", "<a\t\t="})
        get(s, STR, KW_X, 0, 0);
}

} // namespace
