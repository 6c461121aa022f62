#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

std::string decode(const std::string &text, uint32_t column = 0, uint32_t *endColumn = nullptr)
{
    String out;
    uint32_t length = 99;
    uint32_t col = decodeMarkupText(out, length, (const uint8_t *)text.data(), (uint32_t)text.size(), column);
    if (endColumn)
        *endColumn = col;
    EXPECT_EQ(length, strlen(out.c_str()));
    return out.c_str();
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

TEST(Keywords, SortedTableFoundByName)
{
    for (uint32_t i = 0; i < KEYWORD_COUNT; i++) {
        EXPECT_TRUE(i == 0 || strcmp(keywordName(i - 1), keywordName(i)) < 0) << i;
        EXPECT_EQ(keywordId(keywordName(i)), i);
    }
    for (const char *unknown : {"IMG", "", (const char *)nullptr})
        EXPECT_EQ(keywordId(unknown), (uint32_t)KW_UNKNOWN);
    EXPECT_EQ(keywordId(String("width")), (uint32_t)KW_WIDTH);
}

TEST(MarkupLexer, TokensInEveryMode)
{
    const struct {
        const char *text;
        bool pre, keepBreaks;
        const char *expected;
    } cases[] = {
        // A tag starts only before a tag-start character.
        {"a <b x<1 <=2 <!-- c --> </i><?x>", false, false, "W:a|S: |T:b x<1 <=2 <!-- c --|S: |T:/i|T:?x"},
        {"1<2 a< b", false, false, "W:1<2|S: |W:a<|S: |W:b"},
        // Quotes protect ">", a line break ends a quote, a tag without ">" runs to the end.
        {"<a title=\"x>y\">z", false, false, "T:a title=\"x>y\"|W:z"},
        {"<a t=\"x\ny>z", false, false, "T:a t=\"x\ny|W:z"},
        {"w <img src", false, false, "W:w|S: |T:img src"},
        {"ab\r\n\ncd<b>ef\rgh", true, false, "P:ab|P:|W:cd|T:b|P:ef|W:gh"},
        {"ab\r\nc <d", true, true, "P:ab\r\n|W:c |T:d"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(lex(c.text, c.pre, c.keepBreaks), c.expected) << c.text;
    // Columns follow tabs and line breaks.
    std::string text = "ab\tc\nxy <b>";
    MarkupLexer lx;
    lx.init(text.data(), text.size());
    const uint32_t columns[] = {2, 8, 9, 0, 2, 3, 6};
    for (uint32_t col : columns) {
        lx.next();
        EXPECT_EQ(lx.column, col);
    }
    EXPECT_EQ(lx.tokenColumn, 4u);
    EXPECT_EQ(lx.next(), MARKUP_END);
}

TEST(MarkupLexer, WordModeEntitiesAndEnd)
{
    EXPECT_EQ(lex("Hello, w&lt;x b&amp;c <b>tag</b> x&quot;y ...", false, false, true),
              "W:Hello|W:w&lt;x|W:b|W:amp|W:c|T:b|W:tag|T:/b|W:x&quot;y|W:");
    // Short tails never read past the text.
    for (const char *s : {"a&", "a&l", "a&lt", "&lt;", "x&quo"})
        EXPECT_FALSE(lex(s, false, false, true).empty()) << s;
}

TEST(MarkupDecode, EntitiesTabsAndControlBytes)
{
    const struct {
        std::string text;
        uint32_t column;
        const char *expected;
        uint32_t endColumn; // 0: not checked
    } cases[] = {
        {"a&lt;b&GT;c&emp;d&quot;e", 0, "a<b>c&d\"e", 0}, {"&amp; &x; & ;", 0, "&amp; &x; & ;", 0},
        {std::string("a\0b", 3), 0, "a b", 0},           {"abc\tx", 0, "abc     x", 9},
        {"\t", 8, "        ", 16},                       {"&lt;\t", 0, "<    ", 8},
        {"a\r\nb", 5, "a\r\nb", 1},
        // An entity cut by the end of the text decodes without reading past it.
        {"x&lt", 0, "x<", 0}, {"x&quot", 0, "x\"", 0}, {"x&l", 0, "x&l", 0}, {"&", 0, "&", 0},
    };
    for (const auto &c : cases) {
        uint32_t col = 0;
        EXPECT_EQ(decode(c.text, c.column, &col), c.expected) << c.text;
        EXPECT_TRUE(!c.endColumn || col == c.endColumn) << c.text << ": " << col;
    }
    EXPECT_EQ(decode(std::string(1000, '\t')).size(), 8000u); // worst case: every byte a tab
}

TEST(Tag, AttributesInAllSpellings)
{
    Tag *t = tagOf("<IMG file = \"my pic.jpg\" width=50% nosave align=center height=\"\" "
                   "\"dropped\" border = 3>");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->id, (uint32_t)KW_IMG);
    String file, align, c;
    EXPECT_TRUE(t->getString(KW_FILE, file));
    EXPECT_FALSE(t->getString(KW_FILE, file));     // consumed
    EXPECT_STREQ(file.c_str(), "my pic.jpg");      // untouched on failure
    uint32_t w = 0, h = 7, b = 0;
    EXPECT_TRUE(t->getSize(KW_WIDTH, w, 0, 10000, 600));
    EXPECT_EQ(w, 300u);
    EXPECT_TRUE(t->has(KW_NOSAVE));
    EXPECT_TRUE(t->getLowerString(KW_ALIGN, align));
    EXPECT_STREQ(align.c_str(), "center");
    // The bare keyword used as a value adds an attribute of its own, which
    // then takes the next bare item as its value.
    EXPECT_TRUE(t->getString(KW_CENTER, c));
    EXPECT_STREQ(c.c_str(), "height");
    EXPECT_TRUE(t->has(KW_HEIGHT));
    EXPECT_FALSE(t->getUnsigned(KW_HEIGHT, h, 0, 100)); // no value: "" and "dropped" did not stick
    EXPECT_EQ(h, 7u);
    EXPECT_TRUE(t->getUnsigned(KW_BORDER, b, 0, 100));
    EXPECT_EQ(b, 3u);
    delete t;
    t = tagOf("<!-- a comment -->");
    EXPECT_EQ(t->id, (uint32_t)KW_UNKNOWN);
    EXPECT_EQ(t->count, 0u);
    delete t;
    t = tagOf("<font 12 \"x\" size=3 size=4>"); // a value without a name is dropped
    EXPECT_EQ(t->count, 2u);
    int32_t s = 0;
    EXPECT_TRUE(t->getSigned(KW_SIZE, s, -10, 10));
    EXPECT_EQ(s, 3);
    EXPECT_FALSE(t->getSigned(KW_SIZE, s, -10, 10)); // a later duplicate is never seen
    delete t;
    // At most 128 attributes are kept.
    std::string text = "<p";
    for (int i = 0; i < 200; i++)
        text += " x=" + std::to_string(i);
    t = tagOf(text + ">");
    EXPECT_EQ(t->count, (uint32_t)TAG_MAX_ATTRIBUTES);
    EXPECT_TRUE(t->getUnsigned(KW_X, h, 0, 1000));
    EXPECT_EQ(h, 0u);
    delete t;
}

TEST(Tag, NumbersClampAndNeverOverflow)
{
    Tag *t = tagOf("<p x=-5 y=99999999999999999999 width=-7 height=12abc size=4294967295% "
                   "top=abc left=+8>");
    uint32_t u = 0;
    int32_t s = 0;
    EXPECT_TRUE(t->getUnsigned(KW_X, u, 1, 50));
    EXPECT_EQ(u, 50u); // a minus wraps to a large number
    EXPECT_TRUE(t->getUnsigned(KW_Y, u, 0, 0xFFFFFFFFu));
    EXPECT_EQ(u, 0xFFFFFFFFu);
    EXPECT_TRUE(t->getSigned(KW_WIDTH, s, -3, 3));
    EXPECT_EQ(s, -3);
    EXPECT_TRUE(t->getSigned(KW_HEIGHT, s, -100, 100));
    EXPECT_EQ(s, 12);
    EXPECT_TRUE(t->getSize(KW_SIZE, u, 0, 0xFFFFFFFFu, 1000));
    EXPECT_EQ(u, 0xFFFFFFFFu); // a huge share saturates instead of wrapping
    EXPECT_FALSE(t->getUnsigned(KW_TOP, u, 0, 10));
    EXPECT_TRUE(t->getSigned(KW_LEFT, s, -100, 100));
    EXPECT_EQ(s, 8);
    delete t;
    EXPECT_TRUE(parseMarkupSigned("-99999999999", s));
    EXPECT_EQ(s, INT32_MIN);
    EXPECT_TRUE(parseMarkupSigned("2147483648", s));
    EXPECT_EQ(s, INT32_MAX);
}

TEST(Tag, Colours)
{
    bool saved = g_markupSwapRB;
    const uint32_t failed = 5;
    const struct {
        bool swap;
        const char *value;
        uint32_t expected;
    } cases[] = {
        {false, "ff8000", 0x00FF8000u}, {false, "0x00ff00", 0x0000FF00u}, {false, "12", 0x8000000Cu},
        {false, "none", COLOUR_NONE},   {false, "fff", failed},
        {false, "ffffffff", 0xFFFFFFFFu}, // eight digits are kept as read
        {false, "400", 0x80000190u},      // kept as given; the colour resolver draws it in the default colour
        {true, "ff8000", 0x000080FFu},    {true, "12", 0x8000000Cu},
        // Only direct colours are exchanged: "none" and a palette reference in hex stay.
        {true, "7fffffff", COLOUR_NONE},  {true, "80000005", 0x80000005u},
    };
    for (const auto &c : cases) {
        g_markupSwapRB = c.swap;
        Tag *t = tagOf(std::string("<p color=") + c.value + ">");
        uint32_t colour = failed;
        EXPECT_EQ(c.expected != failed, t->getColour(KW_COLOR, colour)) << c.value;
        EXPECT_EQ(c.expected, colour) << c.value;
        EXPECT_FALSE(t->getColour(KW_COLOR, colour)) << c.value; // consumed even when it failed
        delete t;
    }
    g_markupSwapRB = saved;
}

TEST(Tag, DamagedTagsNeverReadPastTheToken)
{
    for (const char *s : {"<a \"", "<a x=\"", "<a x=&", "<a x=&l", "<a x=\"&quot", "<a =", "<a\t\t="}) {
        Tag *t = tagOf(s);
        ASSERT_NE(t, nullptr);
        String v;
        t->getString(KW_X, v);
        delete t;
    }
}

} // namespace
