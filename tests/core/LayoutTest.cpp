// The article layout as its lines show it: wrapping, justification,
// alignment, floats, rules, preformatted text, entities and underlines.
#include <gtest/gtest.h>

#include <algorithm>

#include "LayoutRig.h"
#include "Link.h"
#include "PictureWriters.h"

namespace {

std::vector<int> xs(const std::vector<LaidToken> &tokens)
{
    std::vector<int> out;
    for (const LaidToken &t : tokens)
        out.push_back(t.x);
    return out;
}

std::vector<LaidToken> ofKind(const std::vector<LaidToken> &tokens, uint32_t kind)
{
    std::vector<LaidToken> out;
    for (const LaidToken &t : tokens)
        if (t.kind == kind)
            out.push_back(t);
    return out;
}

void drawAll(Article *article)
{
    for (unsigned i = 0; i < article->lineCount; i++)
        for (Token *t = article->lines[i].first; t; t = t->next)
            t->drawNormal(t->x, t->y, COLOUR_NONE);
}

TEST(Layout, JustificationAlignmentAndFloatsPlaceTheWords)
{
    const struct {
        int width;
        const char *body;
        std::vector<int> expected;
    } cases[] = {
        // Justified lines share the spare pixels over their gaps with a 16.16
        // accumulator: the last pixel is left short, the last line is not
        // justified. Four 32-pixel words and three 8-pixel spaces use 152 pixels.
        {160, "aaaa bbbb cccc dddd eeee", {0, 42, 85, 127, 0}},           // 8 over 3 gaps: 2,3,2
        {159, "aaaa bbbb cccc dddd eeee", {0, 42, 84, 126, 0}},           // 7 over 3 gaps
        {202, "aaaa bbbb cccc dddd eeee ffff", {0, 42, 84, 127, 169, 0}}, // 10 over 4 gaps
        {400, "aaaa bbbb", {0, 40}},
        {400, "<p align=r>ab cd", {400 - 40, 400 - 16}},
        {400, "<p align=c>ab cd", {(400 - 40) / 2, (400 - 40) / 2 + 24}},
        {400, "<center>ab cd</center>", {180, 204}},
        {400, "<p align=l fl=16>ab cd", {16, 40}},
        {400, "<p align=b>ab", {(400 - 16) / 2}}, // "b" (below "c") centres like "c"
        // 40 pixels of picture beside 14-pixel lines: three lines are indented.
        {200, "<img align=l file=l.bmp>a<br>b<br>c<br>d<br>e", {20, 20, 20, 0, 0}},
        {400, "<img file=gone.bmp>ab", {0}}, // a missing picture takes no room
    };
    for (const auto &c : cases) {
        LayoutRig rig(c.width);
        rig.addPicture("l.bmp", makeBMP(20, 40, std::vector<uint32_t>(800, 0xFF), 24));
        EXPECT_EQ(xs(rig.words(c.body)), c.expected) << c.body << " in " << c.width;
    }
}

TEST(Layout, LinesStackByTheirHeightAndSpacesCollapse)
{
    LayoutRig rig(400);
    // Text 14 pixels high: two lines, an empty line, a rule lying on the top row of the next line.
    std::vector<LaidToken> t = rig.lay("one<br>two<br><br><hr>three");
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ((std::vector<int>{0, 14, 42, 42}), (std::vector<int>{t[0].y, t[1].y, t[2].y, t[3].y}));
    EXPECT_EQ(t[2].width, 400u);
    // Text before the article tag is skipped.
    std::string text = "skipped <b>words</b><article scheme=a>a  b<space width=20> c";
    ArticleLayout layout(nullptr, text.data(), text.size());
    delete rig.article;
    rig.article = layout.parse(false);
    std::vector<int> x;
    for (Token *k = rig.article->lines[0].first; k; k = k->next)
        x.push_back(k->x);
    EXPECT_EQ(x, (std::vector<int>{0, 16, 44}));
}

TEST(Layout, DrawnTextIsDecodedInResolvedColours)
{
    LayoutRig rig(400);
    g_palette.colours[3] = 0x123456;
    rig.lay("a&lt;b<pre>\n\tx&gt;y\n</pre><font color=3>c</font><font color=999>d</font>");
    drawAll(rig.article);
    g_palette.reset();
    EXPECT_TRUE(rig.scope.sys.called("out_text a<b 0 0"));
    EXPECT_TRUE(rig.scope.sys.called("out_text         x>y 0 14"));
    // Palette colours go through the one resolver; entries past the palette draw the default.
    for (auto [drawn, colour] : {std::pair{"out_text c ", "123456"}, {"out_text d ", "efefef"}}) {
        EXPECT_EQ(1u, rig.scope.sys.count(drawn));
        for (const std::string &call : rig.scope.sys.calls)
            EXPECT_TRUE(call.rfind(drawn, 0) || call.find(colour) != std::string::npos) << call;
    }
    // A highlight in the colour none paints nothing.
    HighlightToken none(0, 0, 10, 10, COLOUR_NONE);
    none.drawNormal(0, 0, COLOUR_NONE);
    EXPECT_FALSE(rig.scope.sys.called("fill_rect"));
}

TEST(Layout, SearchHitsWithoutAFindColourAreRedOnScreen)
{
    // The recording System sets the red-blue swap, as the platform does: a red
    // the screen shows reaches fill_rect as 0x0000EF, as "findcolor=ef0000"
    // would; without a theme, or with one that gives no find colour.
    for (bool themed : {false, true}) {
        LayoutRig rig(400);
        if (themed)
            rig.addPicture("background.jpg", makeJPEG(4, 4, std::vector<uint32_t>(16, 0)));
        rig.lay("needle");
        ASSERT_TRUE(!themed || rig.article->setTheme(1));
        rig.article->highlightText("needle");
        rig.scope.sys.clearCalls();
        drawAll(rig.article);
        const std::vector<std::string> &calls = rig.scope.sys.calls;
        EXPECT_EQ(1, std::count(calls.begin(), calls.end(), "fill_rect 0 0 48 14 ef")) << "themed " << themed;
    }
}

TEST(Layout, PicturesSitOnTheBaselineAtTheTopOrFloat)
{
    LayoutRig rig(200);
    rig.addPicture("p.bmp", makeBMP(20, 40, std::vector<uint32_t>(800, 0xFF), 24));
    std::vector<LaidToken> base = rig.lay("ab <img file=p.bmp width=100>");
    ASSERT_EQ(base.size(), 2u);
    EXPECT_EQ(base[0].y, 30); // the line's ascent is the picture's 40
    EXPECT_EQ(base[1].width, 100u);
    std::vector<LaidToken> top = rig.lay("ab <img file=p.bmp align=t>");
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].y + top[1].y, 0);
    EXPECT_EQ(rig.article->lines[0].bottom, 40u); // the picture's depth below the baseline
    // Floats: the right one at the right edge, its margin outside the picture.
    std::vector<LaidToken> floats =
        ofKind(rig.lay("<img align=l file=p.bmp>a<br>b<br>c<br>d<br><img align=r file=P.BMP right=5>e"), TOKEN_IMAGE);
    ASSERT_EQ(floats.size(), 2u);
    EXPECT_EQ((std::vector<int>{floats[0].x, (int)floats[0].ascent, floats[1].x, floats[1].y}),
              (std::vector<int>{0, 40, 200 - 25, 56}));
    // A right float keeps to the column whatever the paragraph's indent and alignment.
    for (const char *paragraph : {"<p align=c fl=16>", "<p align=l fl=16>", "<p align=r fl=16>", "<center><p fl=16>",
                                  "<p align=c fl=-16>a<br>"})
        EXPECT_EQ(xs(ofKind(rig.lay(std::string(paragraph) + "<img align=r file=p.bmp>b"), TOKEN_IMAGE)),
                  std::vector<int>{200 - 20}) << paragraph;
}

TEST(Layout, UnderlinedLinkThatWrapsGivesOneUnderlinePerLine)
{
    LayoutRig rig(80);
    std::vector<LaidToken> lines = ofKind(rig.lay("<link article=x.txt>aaaa bbbb cccc</link>"), TOKEN_LINE);
    ASSERT_EQ(lines.size(), 2u);
    // "aaaa bbbb" justified to the line, on the bottom row of the text.
    EXPECT_EQ((std::vector<int>{(int)lines[0].width, lines[0].y, (int)lines[1].width, lines[1].y}),
              (std::vector<int>{80, 13, 32, 27}));
}

TEST(Layout, UnderlineSegmentsStopAtPictures)
{
    // A 20x40 picture between two words: the run is drawn in two segments on
    // the text's bottom row, none under the picture; a change of colour also
    // starts a new segment. A link's segments are drawn in its text colour
    // (colours kept with red and blue exchanged).
    const struct { const char *name, *body, *drawn; } cases[] = {
        {"a u run over a baseline picture", "<u>aaaa <img file=p.bmp> bbbb</u>", "0 43 40 efefef, 68 43 32 efefef, "},
        {"a link over a baseline picture", "<link color=00ff00>aaaa <img file=p.bmp> bbbb</link>",
         "0 43 40 ff00, 68 43 32 ff00, "},
        {"a top-aligned picture leaves the line's baseline", "<u>aaaa <img file=p.bmp align=t> bbbb</u>",
         "0 13 40 efefef, 68 13 32 efefef, "},
        {"a run starting at a picture, then a colour change",
         "<u><img file=p.bmp> bbbb <font color=ff0000>cccc</font></u>", "28 43 40 efefef, 68 43 32 ff, "},
    };
    for (const auto &c : cases) {
        LayoutRig rig(400);
        rig.addPicture("p.bmp", makeBMP(20, 40, std::vector<uint32_t>(800, 0xFF), 24));
        rig.lay(c.body);
        rig.scope.sys.clearCalls();
        drawAll(rig.article);
        std::string drawn;
        for (const std::string &call : rig.scope.sys.calls)
            if (call.rfind("h_line ", 0) == 0)
                drawn += call.substr(7) + ", ";
        EXPECT_EQ(drawn, c.drawn) << c.name;
    }
}

TEST(Layout, FontTagsStackAndUnwind)
{
    LayoutRig rig(400);
    rig.lay("<font height=20 color=ff0000>big<font face=mono>x</font>y</font>z</font></font>w");
    std::vector<std::string> fonts;
    for (const std::string &c : rig.scope.sys.calls)
        if (c.compare(0, 11, "create_font") == 0)
            fonts.push_back(c);
    ASSERT_GE(fonts.size(), 6u);
    // Unbalanced end tags never pop the base font.
    EXPECT_EQ(std::vector<std::string>(fonts.end() - 6, fonts.end()),
              (std::vector<std::string>{"create_font arial 20 0 0", "create_font mono 20 0 0",
                                        "create_font arial 20 0 0", "create_font arial 14 0 0",
                                        "create_font arial 14 0 0", "create_font arial 14 0 0"}));
}

TEST(Layout, DeletingTheFirstTokenDeletesTheLineIteratively)
{
    LayoutRig rig(400); // 200,000 zero-width underline runs on one line
    std::string body = "a";
    for (int i = 0; i < 200000; i++)
        body += "<u></u>";
    ASSERT_EQ(rig.words(body + "b").size(), 2u);
    Token *head = nullptr;
    for (int i = 0; i < 200000; i++) {
        Token *s = new SpaceToken(0);
        s->next = head;
        head = s;
    }
    delete head;
}

} // namespace
