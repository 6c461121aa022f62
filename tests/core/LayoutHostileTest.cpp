// Hostile markup: the layout must finish without a crash, a hang or a
// runaway coordinate.
#include <gtest/gtest.h>

#include <set>

#include "LayoutRig.h"
#include "PictureWriters.h"

namespace {

std::string repeat(const std::string &s, int n)
{
    std::string out;
    for (int i = 0; i < n; i++)
        out += s;
    return out;
}

TEST(LayoutHostile, FinishesWithSaneCoordinates)
{
    const struct {
        const char *name;
        std::string body;
        size_t words;  // words expected on the lines
        size_t rows;   // rows of words expected (0: not checked)
    } cases[] = {
        {"the ten-cell row", "<table><tr height=40>" + repeat("<td width=50 br>", 9) +
                                 repeat("abc ", 40) + "<img align=l file=f.bmp><td br>z</table>",
         41, 0},
        {"a float wider than its cell",
         "<table width=100><td><img align=l file=wide.bmp>" + repeat("word ", 20) + "</table>", 20,
         // One word a line beside the 100-pixel float, then two a line.
         8 + 6},
        {"a float wider than its flowing cell",
         "<table width=100><tr height=30><td br><img align=r file=wide.bmp>" +
             repeat("word ", 20) + "</table>",
         20, 0},
        {"a line that moves whole into a narrower cell",
         "<table width=200><tr height=30><td width=150 br>" + repeat("wwwwwwww bb cc ", 6) +
             "</table>",
         18, 0},
        {"an underlined word too wide for the cell it flows into",
         "<table width=500><tr height=20>" + repeat("<td width=40 br>", 10) + "<u>" +
             repeat("wwwwww ", 6) + "</table>",
         6, 0},
        {"outspacing wider than a right-aligned table",
         "<p align=r><table width=10 outspacing=1024><td>x</table>", 1, 1},
        {"a link that outlives its font", "<font><link>a</font></font>b</link>c", 3, 1},
        {"an indent wider than the column", "<p fl=-200>" + repeat("word ", 50), 50, 0},
        {"1,000 nested tables", repeat("<table border=1 outspacing=9><td>x", 1000), 1000, 0},
        {"10,000 nested fonts", repeat("<font size=30><link>y", 10000), 10000, 0},
        {"rows and cells outside tables", "<tr><td br>a</table></table>b", 2, 1},
        {"an image map with links and words",
         "<link>a<imagemap file=wide.bmp><link x=1 y=2>b <b>c</imagemap>d", 2, 0},
    };
    for (const auto &c : cases) {
        LayoutRig rig(300);
        rig.addPicture("wide.bmp", makeBMP(500, 100, std::vector<uint32_t>(50000, 0xFF), 24));
        std::vector<LaidToken> t = rig.lay(c.body);
        size_t words = 0;
        std::set<int> rows;
        for (const LaidToken &k : t) {
            if (k.kind == TOKEN_STRING) {
                words++;
                rows.insert(k.y);
            }
            EXPECT_TRUE(k.width < 1u << 20 && k.x > -(1 << 20) && k.x < 1 << 20 && k.y >= 0 && k.y < 1 << 24)
                << c.name << ": " << k.x << "," << k.y << " " << k.width;
        }
        EXPECT_EQ(words, c.words) << c.name;
        EXPECT_TRUE(!c.rows || rows.size() == c.rows) << c.name << ": " << rows.size() << " rows";
    }
}

TEST(LayoutHostile, ATenMegabyteWordIsOneToken)
{
    LayoutRig rig(300);
    std::vector<LaidToken> t = rig.words(std::string(10 << 20, 'w') + " x");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].width, 8u * (10u << 20));
    EXPECT_EQ(t[1].y, 14);
}

} // namespace
