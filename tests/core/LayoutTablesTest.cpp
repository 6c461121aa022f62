// Tables in the article layout: rows of cells, widths, frames, flowing cells
// and nesting, read back from the laid-out lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "LayoutRig.h"
#include "Link.h"

namespace {

// Where a word lies, as "word@x,y".
std::string at(const LaidToken &t) { return t.text + "@" + std::to_string(t.x) + "," + std::to_string(t.y); }

std::vector<std::string> sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

std::vector<std::string> places(const std::vector<LaidToken> &tokens)
{
    std::vector<std::string> out;
    for (const LaidToken &t : tokens)
        out.push_back(at(t));
    return sorted(out);
}

std::string find(const std::vector<LaidToken> &tokens, const std::string &text)
{
    for (const LaidToken &t : tokens)
        if (t.text == text)
            return at(t);
    return "(missing) " + text;
}

TEST(LayoutTables, WidthsOffsetsFlowAndNesting)
{
    const struct {
        const char *name;
        int page;
        std::string body;
        std::vector<std::string> expected;
    } cases[] = {
        {"a cell without width takes the room left", 400,
         "<table hspacing=10><td width=100>a<td><p align=r>b</table>", {"a@0,0", "b@392,0"}},
        {"a centred 50% table is off by its outspacing", 600,
         "<center><table width=50% outspacing=10><td>" + std::string(35, 'w') + "</table></center>",
         {std::string(35, 'w') + "@170,10"}}, // (600 - (300 - 20)) / 2 + 10
        {"a right-aligned table", 600, "<p align=r><table width=200 outspacing=10><td><p align=l>a</table>",
         {"a@410,10"}}, // 600 - 180 - 20 + 10
        {"a nested table gives back the outer cell's x and width", 400,
         "<table><tr><td width=100>a<td width=200>x<table><td>in</table><p align=r>after</table>",
         {"a@0,0", "x@105,0", "in@105,14", "after@265,28"}},
        {"floats come before the table", 400, "<img align=l file=none.bmp><table><td>a</table>", {"a@0,14"}},
        {"a flowing cell in a row without height stays put", 400,
         "<table><tr><td width=100 br>aaaa bbbb cccc</table>", {"aaaa@0,0", "bbbb@68,0", "cccc@0,14"}},
        {"an empty bordered table leaves y where it was", 400, "<table border=ff0000></table>after", {"after@0,0"}},
        // Rows of height 40 hold two lines per cell; the overflow takes the rest of the row.
        {"flowing cells continue in the next cell", 400,
         "<table width=400><tr height=40><td width=100 br>aaaa bbbb cccc dddd eeee ffff<td br>gggg</table>",
         {"aaaa@0,0", "bbbb@68,0", "cccc@0,14", "dddd@68,14", "eeee@105,0", "ffff@145,0", "gggg@0,45"}},
    };
    for (const auto &c : cases) {
        LayoutRig rig(c.page);
        EXPECT_EQ(places(rig.words(c.body)), sorted(c.expected)) << c.name;
        // Cells side by side store their lines out of order; the index ends sorted.
        for (unsigned i = 1; i < rig.article->lineCount; i++)
            EXPECT_LE(rig.article->lines[i - 1].bottom, rig.article->lines[i].bottom) << c.name;
    }
    // Ten cells a row: the eleventh starts a new one below the 5-pixel vspacing.
    LayoutRig rig(1000);
    std::string body = "<table>";
    for (int i = 0; i < 12; i++)
        body += "<td width=50>c" + std::to_string(i);
    std::vector<LaidToken> t = rig.words(body + "</table>after");
    for (std::string p : {"c0@0,0", "c9@495,0", "c10@0,19", "c11@55,19", "after@0,33"})
        EXPECT_EQ(find(t, p.substr(0, p.find('@'))), p);
}

TEST(LayoutTables, FramesAndShadows)
{
    LayoutRig rig(400);
    // The cell's frame (shadow top-left) 2 pixels out from the 100-pixel cell and 14 + 4
    // high, then the table's (border top-left) as wide as the page: top, bottom, left, right.
    std::string frames;
    for (const LaidToken &k : rig.lay("<table border=ff0000 shadow=0000ff outspacing=4><td width=100>a</table>"))
        if (k.kind == TOKEN_LINE)
            frames += std::to_string(k.x) + "," + std::to_string(k.y) + " " + std::to_string(k.width) + "x" +
                      std::to_string(k.ascent) + " ";
    EXPECT_EQ(frames, "2,2 104x0 2,19 104x0 2,2 0x18 105,2 0x18 0,0 400x0 0,21 400x0 0,0 0x22 399,0 0x22 ");
    rig.scope.sys.clearCalls();
    for (unsigned i = 0; i < rig.article->lineCount; i++)
        for (Token *k = rig.article->lines[i].first; k; k = k->next)
            k->drawNormal(k->x, k->y, COLOUR_NONE);
    // (Direct colours are kept with red and blue exchanged, as the platform asks.)
    EXPECT_TRUE(rig.scope.sys.called("h_line 2 2 104 ff0000"));
    EXPECT_TRUE(rig.scope.sys.called("h_line 0 0 400 ff"));
    // A border of "000000" draws no frames; "0" is palette entry 0 and does.
    EXPECT_EQ(rig.lay("<table border=000000><td>a</table>").size(), 1u);
    EXPECT_EQ(rig.lay("<table border=0><td>a</table>").size(), 9u);
    // The cell frame reaches 2 pixels above the document; its row starts at 0.
    bool cellRow = false;
    for (unsigned i = 0; i < rig.article->lineCount; i++)
        cellRow |= rig.article->lines[i].first->y == -2 && rig.article->lines[i].top == 0 &&
                   rig.article->lines[i].bottom == 16;
    EXPECT_TRUE(cellRow);
    // A bordered table nested in the second cell leaves the first cell its frame.
    bool leftFrame = false;
    for (const LaidToken &k : rig.lay("<table border=1><tr><td width=100>Left<td><table border=1><tr><td>In</table></table>"))
        leftFrame |= k.kind == TOKEN_LINE && k.x == -2 && k.y == -2 && k.width == 104;
    EXPECT_TRUE(leftFrame);
}

TEST(LayoutTables, LinesMovedIntoANarrowerCellKeepTheirWords)
{
    LayoutRig rig(400);
    // A full line of the wide cell overflows into a narrow one and is split
    // there; the paragraph tag that follows must not lose the rest.
    std::string text;
    for (int i = 0; i < 30; i++)
        text += "w" + std::to_string(i % 10) + "xx ";
    std::vector<LaidToken> t = rig.words("<table width=400><tr height=20><td width=300 br>" + text + "<p>end</table>");
    EXPECT_EQ(t.size(), 31u);
    for (const LaidToken &k : t)
        EXPECT_LT(k.x, 400) << k.text;
    // A link moves with its line into the next cell and is split there like plain text.
    const std::string cell = "<table width=200><tr height=30><td width=150 br>";
    const std::string words = "aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk";
    std::vector<std::string> plain = places(rig.words(cell + words + "</table>"));
    std::vector<LaidToken> linked = rig.words(cell + "<link>" + words + "</link></table>");
    EXPECT_EQ(places(linked), plain);
    // The word that made the split waits for a line with room for it.
    EXPECT_EQ(find(linked, "gggg") + find(linked, "hhhh") + find(linked, "jjjj"), "gggg@155,0hhhh@155,14jjjj@0,49");
}

TEST(LayoutTables, RunsSplitIntoTheNextCellKeepTheirUnderlinesAndRectangles)
{
    // Rows of 30 hold two lines of three words in the 150-pixel cell; the
    // third line moves to the 45-pixel cell and is split after "gggg".
    const struct { const char *name, *run, *underlines, *rects; } cases[] = {
        {"a link ending in the part set aside", "<link>gggg hhhh</link> iiii", "155,13 32 155,27 32 ",
         "155,0-186,14 155,14-186,28 "},
        {"a u run ending in the part set aside", "<u>gggg hhhh</u> iiii", "155,13 32 155,27 32 ", ""},
        {"a link going on past the split", "<link>gggg hhhh iiii</link> jjjj", "155,13 32 155,27 32 0,48 32 ",
         "155,0-186,14 155,14-186,28 0,35-31,49 "},
    };
    auto xy = [](int x, int y) { return std::to_string(x) + "," + std::to_string(y); };
    for (const auto &c : cases) {
        LayoutRig rig(400);
        std::string underlines, rects;
        for (const LaidToken &k : rig.lay(std::string("<table width=200><tr height=30><td width=150 br>"
                                                      "aaaa bbbb cccc dddd eeee ffff ") + c.run + "</table>"))
            if (k.kind == TOKEN_LINE && k.ascent == 0 && k.width < 150)
                underlines += xy(k.x, k.y) + " " + std::to_string(k.width) + " ";
        for (Link *l = rig.article->links; l; l = l->next)
            for (uint32_t i = 0; i < l->rectCount; i++)
                rects += xy(l->rects[i].x1, l->rects[i].y1) + "-" + xy(l->rects[i].x2, l->rects[i].y2) + " ";
        EXPECT_EQ(underlines, c.underlines) << c.name;
        EXPECT_EQ(rects, c.rects) << c.name;
    }
}

TEST(LayoutTables, FlowingCellsKeepTheReadingOrder)
{
    // Cells of 300, 100, 50 and 50 pixels, one 14-pixel line each in rows 20
    // high (25 with the spacing) below a first row 19 high: a line moved on
    // is split again in a still narrower cell. Read row by row, cell by cell,
    // line by line, left to right, the words come as written.
    LayoutRig rig(600);
    std::string body = "<table width=500 hspacing=0><tr><td width=300>Wide<td width=100>Mid<td width=50>"
                       "Narrow<td width=50>Last<tr height=20><td br>";
    std::vector<std::string> written, order;
    for (int i = 10; i < 70; i++)
        body += (written.emplace_back("w" + std::to_string(i))) + " ";
    std::vector<std::pair<std::array<int, 4>, std::string>> read;
    for (const LaidToken &t : rig.words(body + "</table>"))
        if (t.text[0] == 'w')
            read.push_back({{(t.y - 19) / 25, (t.x >= 300) + (t.x >= 400) + (t.x >= 450), t.y, t.x}, t.text});
    std::sort(read.begin(), read.end());
    for (const auto &r : read)
        order.push_back(r.second);
    EXPECT_EQ(order, written);
}

// A line moved on into a cell too narrow for its first word goes on to a
// cell that holds it: every word once, in reading order, inside the table.
// Cells of 176 and 56 (22 and 7 bytes) in rows one line (14) high, 19 apart.
TEST(LayoutTables, AFirstWordTooWideForTheNextCellLeavesNoWordOutside)
{
    LayoutRig rig(400);
    std::string body = "<table width=232 hspacing=0 border=ff0000><tr><td width=176>Left<td width=56>Right"
                       "<tr height=14><td br>aaa bbb ccc ddd eee LONGWORD1 ggg hhh iii</table>";
    std::vector<std::pair<std::array<int, 4>, std::string>> read;
    for (const LaidToken &t : rig.words(body))
        if (t.x + (int)t.width <= 232)
            read.push_back({{t.y / 19, t.x >= 176, t.y, t.x}, t.text});
    std::sort(read.begin(), read.end());
    std::string order;
    for (const auto &r : read)
        order += r.second + " ";
    EXPECT_EQ(order, "Left Right aaa bbb ccc ddd eee LONGWORD1 ggg hhh iii ");
}

} // namespace
