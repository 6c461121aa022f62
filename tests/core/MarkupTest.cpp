#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Markup.h"

namespace {

struct Tok {
    int type;
    std::string text;
};

std::vector<Tok> lex(const std::string &text, bool pre = false, bool keepBreaks = false,
                     bool words = false)
{
    MarkupLexer lx;
    lx.init(text.data(), text.size());
    lx.pre = pre;
    lx.keepBreaks = keepBreaks;
    lx.wordsOnly = words;
    std::vector<Tok> out;
    for (int guard = 0; guard < 1000; guard++) {
        MarkupToken t = lx.next();
        if (t == MARKUP_END)
            break;
        out.push_back({t, std::string((const char *)lx.tokenStart, lx.tokenLength)});
    }
    return out;
}

// The tokens as "W:word|S: |T:tag|P:line" (word, space, tag, preformatted line).
std::string shown(const std::vector<Tok> &tokens)
{
    std::string out;
    for (const Tok &t : tokens) {
        if (!out.empty())
            out += "|";
        out += t.type == MARKUP_WORD ? "W:" : t.type == MARKUP_SPACE ? "S:" : t.type == MARKUP_TAG ? "T:" : "P:";
        out += t.text;
    }
    return out;
}

std::string decode(const std::string &text, uint32_t column = 0, uint32_t *endColumn = nullptr)
{
    String out;
    uint32_t length = 99;
    uint32_t col = decodeMarkupText(out, length, (const uint8_t *)text.data(),
                                    (uint32_t)text.size(), column);
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
    EXPECT_EQ(lx.next(), MARKUP_TAG);
    return lx.parseTag();
}

TEST(Keywords, TableIsSortedAndCompleteWithLookupByName)
{
    for (uint32_t i = 1; i < KEYWORD_COUNT; i++)
        EXPECT_LT(strcmp(keywordName(i - 1), keywordName(i)), 0) << i;
    EXPECT_EQ(keywordId("/b"), 0u);
    EXPECT_EQ(keywordId("y"), 141u);
    EXPECT_EQ(keywordId("img"), (uint32_t)KW_IMG);
    EXPECT_EQ(keywordId("IMG"), (uint32_t)KW_UNKNOWN);
    EXPECT_EQ(keywordId(""), (uint32_t)KW_UNKNOWN);
    EXPECT_EQ(keywordId((const char *)nullptr), (uint32_t)KW_UNKNOWN);
    String s("width");
    EXPECT_EQ(keywordId(s), (uint32_t)KW_WIDTH);
    for (uint32_t i = 0; i < KEYWORD_COUNT; i++)
        EXPECT_EQ(keywordId(keywordName(i)), i);
}

TEST(MarkupLexer, TagsQuotesAndUnendedTags)
{
    // A tag starts only before a tag-start character.
    EXPECT_EQ(shown(lex("a <b x<1 <=2 <!-- c --> </i><?x>")),
              "W:a|S: |T:b x<1 <=2 <!-- c --|S: |T:/i|T:?x");
    EXPECT_EQ(shown(lex("1<2 a< b")), "W:1<2|S: |W:a<|S: |W:b");
    // Quotes protect ">", and a line break ends a quote.
    EXPECT_EQ(shown(lex("<a title=\"x>y\">z")), "T:a title=\"x>y\"|W:z");
    EXPECT_EQ(shown(lex("<a t=\"x\ny>z")), "T:a t=\"x\ny|W:z");
    // A tag without ">" runs to the end.
    EXPECT_EQ(shown(lex("w <img src")), "W:w|S: |T:img src");
}

TEST(MarkupLexer, ColumnsFollowTabsAndLineBreaks)
{
    std::string text = "ab\tc\nxy <b>";
    MarkupLexer lx;
    lx.init(text.data(), text.size());
    EXPECT_EQ(lx.next(), MARKUP_WORD);
    EXPECT_EQ(lx.column, 2u);
    EXPECT_EQ(lx.next(), MARKUP_SPACE);
    EXPECT_EQ(lx.column, 8u);
    lx.next();
    EXPECT_EQ(lx.tokenColumn, 8u);
    lx.next();     // "\n"
    EXPECT_EQ(lx.column, 0u);
    lx.next();     // "xy"
    lx.next();     // " "
    EXPECT_EQ(lx.next(), MARKUP_TAG);
    EXPECT_EQ(lx.tokenColumn, 4u);
    EXPECT_EQ(lx.column, 6u);
    EXPECT_EQ(lx.next(), MARKUP_END);
}

TEST(MarkupLexer, PreformattedLines)
{
    EXPECT_EQ(shown(lex("ab\r\n\ncd<b>ef\rgh", true)), "P:ab|P:|W:cd|T:b|P:ef|W:gh");
    EXPECT_EQ(shown(lex("ab\r\nc <d", true, true)), "P:ab\r\n|W:c |T:d");
}

TEST(MarkupLexer, WordModeEntitiesAndEnd)
{
    auto t = lex("Hello, w&lt;x b&amp;c <b>tag</b> x&quot;y ...", false, false, true);
    std::vector<std::string> words;
    for (auto &k : t)
        if (k.type == MARKUP_WORD)
            words.push_back(k.text);
    std::vector<std::string> want = {"Hello", "w&lt;x", "b", "amp", "c", "tag", "x&quot;y", ""};
    EXPECT_EQ(words, want);
    // Short tails never read past the text.
    for (const char *s : {"a&", "a&l", "a&lt", "&lt;", "x&quo"}) {
        auto u = lex(s, false, false, true);
        EXPECT_FALSE(u.empty()) << s;
    }
}

TEST(MarkupDecode, EntitiesTabsAndControlBytes)
{
    EXPECT_EQ(decode("a&lt;b&GT;c&emp;d&quot;e"), "a<b>c&d\"e");
    EXPECT_EQ(decode("&amp; &x; & ;"), "&amp; &x; & ;");
    EXPECT_EQ(decode(std::string("a\0b", 3)), "a b");
    uint32_t col;
    EXPECT_EQ(decode("abc\tx", 0, &col), "abc     x");
    EXPECT_EQ(col, 9u);
    EXPECT_EQ(decode("\t", 8, &col), "        ");
    EXPECT_EQ(col, 16u);
    EXPECT_EQ(decode("&lt;\t", 0, &col), "<    ");
    EXPECT_EQ(col, 8u);
    EXPECT_EQ(decode("a\r\nb", 5, &col), "a\r\nb");
    EXPECT_EQ(col, 1u);
    // An entity cut by the end of the text decodes without reading past it.
    EXPECT_EQ(decode("x&lt"), "x<");
    EXPECT_EQ(decode("x&quot"), "x\"");
    EXPECT_EQ(decode("x&l"), "x&l");
    EXPECT_EQ(decode("&"), "&");
    // Worst case: every byte a tab.
    std::string tabs(1000, '\t');
    EXPECT_EQ(decode(tabs).size(), 8000u);
}

TEST(Tag, AttributesInAllSpellings)
{
    Tag *t = tagOf("<IMG file = \"my pic.jpg\" width=50% nosave align=center height=\"\" "
                   "\"dropped\" border = 3>");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->id, (uint32_t)KW_IMG);
    String file;
    EXPECT_TRUE(t->getString(KW_FILE, file));
    EXPECT_STREQ(file.c_str(), "my pic.jpg");
    EXPECT_FALSE(t->getString(KW_FILE, file));     // consumed
    EXPECT_STREQ(file.c_str(), "my pic.jpg");      // untouched on failure
    uint32_t w = 0;
    EXPECT_TRUE(t->getSize(KW_WIDTH, w, 0, 10000, 600));
    EXPECT_EQ(w, 300u);
    EXPECT_TRUE(t->has(KW_NOSAVE));
    String align;
    EXPECT_TRUE(t->getLowerString(KW_ALIGN, align));
    EXPECT_STREQ(align.c_str(), "center");
    // The bare keyword used as a value adds an attribute of its own, which
    // then takes the next bare item as its value.
    EXPECT_TRUE(t->has(KW_CENTER));
    String c;
    EXPECT_TRUE(t->getString(KW_CENTER, c));
    EXPECT_STREQ(c.c_str(), "height");
    EXPECT_TRUE(t->has(KW_HEIGHT));
    uint32_t h = 7;
    EXPECT_FALSE(t->getUnsigned(KW_HEIGHT, h, 0, 100));    // no value: "" and "dropped" did not stick
    EXPECT_EQ(h, 7u);
    uint32_t b = 0;
    EXPECT_TRUE(t->getUnsigned(KW_BORDER, b, 0, 100));
    EXPECT_EQ(b, 3u);
    delete t;
}

TEST(Tag, UnknownNamesAndValueWithoutName)
{
    Tag *t = tagOf("<!-- a comment -->");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->id, (uint32_t)KW_UNKNOWN);
    EXPECT_EQ(t->count, 0u);
    delete t;
    t = tagOf("<font 12 \"x\" size=3 size=4>");
    EXPECT_EQ(t->count, 2u);
    int32_t s = 0;
    EXPECT_TRUE(t->getSigned(KW_SIZE, s, -10, 10));
    EXPECT_EQ(s, 3);
    EXPECT_FALSE(t->getSigned(KW_SIZE, s, -10, 10));    // a later duplicate is never seen
    delete t;
}

TEST(Tag, AtMost128AttributesAreKept)
{
    std::string text = "<p";
    for (int i = 0; i < 200; i++)
        text += " x=" + std::to_string(i);
    text += ">";
    Tag *t = tagOf(text);
    EXPECT_EQ(t->count, (uint32_t)TAG_MAX_ATTRIBUTES);
    uint32_t v = 0;
    EXPECT_TRUE(t->getUnsigned(KW_X, v, 0, 1000));
    EXPECT_EQ(v, 0u);
    delete t;
}

TEST(Tag, NumbersClampAndNeverOverflow)
{
    Tag *t = tagOf("<p x=-5 y=99999999999999999999 width=-7 height=12abc size=4294967295% "
                   "top=abc left=+8>");
    uint32_t u = 0;
    EXPECT_TRUE(t->getUnsigned(KW_X, u, 1, 50));
    EXPECT_EQ(u, 50u);    // a minus wraps to a large number
    EXPECT_TRUE(t->getUnsigned(KW_Y, u, 0, 0xFFFFFFFFu));
    EXPECT_EQ(u, 0xFFFFFFFFu);
    int32_t s = 0;
    EXPECT_TRUE(t->getSigned(KW_WIDTH, s, -3, 3));
    EXPECT_EQ(s, -3);
    EXPECT_TRUE(t->getSigned(KW_HEIGHT, s, -100, 100));
    EXPECT_EQ(s, 12);
    EXPECT_TRUE(t->getSize(KW_SIZE, u, 0, 0xFFFFFFFFu, 1000));
    EXPECT_EQ(u, 0xFFFFFFFFu);    // a huge share saturates instead of wrapping
    EXPECT_FALSE(t->getUnsigned(KW_TOP, u, 0, 10));
    EXPECT_TRUE(t->getSigned(KW_LEFT, s, -100, 100));
    EXPECT_EQ(s, 8);
    delete t;
    int32_t big = 0;
    EXPECT_TRUE(parseMarkupSigned("-99999999999", big));
    EXPECT_EQ(big, INT32_MIN);
    EXPECT_TRUE(parseMarkupSigned("2147483648", big));
    EXPECT_EQ(big, INT32_MAX);
}

TEST(Tag, Colours)
{
    bool saved = g_markupSwapRB;
    g_markupSwapRB = false;
    Tag *t = tagOf("<p color=ff8000 bottom=0x00ff00 top=12 left=none right=fff "
                   "x=ffffffff y=400>");
    uint32_t c = 0;
    EXPECT_TRUE(t->getColour(KW_COLOR, c));
    EXPECT_EQ(c, 0x00FF8000u);
    EXPECT_TRUE(t->getColour(KW_BOTTOM, c));
    EXPECT_EQ(c, 0x0000FF00u);
    EXPECT_TRUE(t->getColour(KW_TOP, c));
    EXPECT_EQ(c, 0x8000000Cu);
    EXPECT_TRUE(t->getColour(KW_LEFT, c));
    EXPECT_EQ(c, (uint32_t)COLOUR_NONE);
    c = 5;
    EXPECT_FALSE(t->getColour(KW_RIGHT, c));
    EXPECT_EQ(c, 5u);
    EXPECT_FALSE(t->getColour(KW_RIGHT, c));    // consumed even though it failed
    EXPECT_TRUE(t->getColour(KW_X, c));
    EXPECT_EQ(c, 0xFFFFFFFFu);    // eight digits are kept as read
    EXPECT_TRUE(t->getColour(KW_Y, c));
    EXPECT_EQ(c, 0x80000190u);    // kept as given; the colour resolver draws it in the default colour
    delete t;
    g_markupSwapRB = true;
    t = tagOf("<p color=ff8000 top=12 left=7fffffff right=80000005>");
    EXPECT_TRUE(t->getColour(KW_COLOR, c));
    EXPECT_EQ(c, 0x000080FFu);
    EXPECT_TRUE(t->getColour(KW_TOP, c));
    EXPECT_EQ(c, 0x8000000Cu);
    // Only direct colours are exchanged: "none" and a palette reference
    // written in hex stay what they are.
    EXPECT_TRUE(t->getColour(KW_LEFT, c));
    EXPECT_EQ(c, (uint32_t)COLOUR_NONE);
    EXPECT_TRUE(t->getColour(KW_RIGHT, c));
    EXPECT_EQ(c, 0x80000005u);
    delete t;
    g_markupSwapRB = saved;
}

TEST(Tag, DamagedTagsNeverReadPastTheToken)
{
    const char *cases[] = {"<a \"", "<a x=\"", "<a x=&", "<a x=&l", "<a x=\"&quot", "<a =", "<a\t\t="};
    for (const char *s : cases) {
        std::string text(s);
        MarkupLexer lx;
        lx.init(text.data(), text.size());
        ASSERT_EQ(lx.next(), MARKUP_TAG) << s;
        Tag *t = lx.parseTag();
        ASSERT_NE(t, nullptr);
        String v;
        t->getString(KW_X, v);
        delete t;
    }
}

} // namespace
