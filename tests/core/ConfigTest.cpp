#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <tuple>

#include "LooseFiles.h"
#include "ButtonDef.h"
#include "Commands.h"
#include "FakeSystem.h"
#include "FontStyle.h"
#include "ImageList.h"
#include "MagazineConfig.h"
#include "Palette.h"
#include "Scheme.h"
#include "TestDirs.h"
#include "Theme.h"
#include "Markup.h"
#include "containr.h"

namespace {

// Reads a "config.txt" text into the global configuration with a fake System.
class ConfigTest : public ::testing::Test {
protected:
    FakeSystemScope scope;
    MagazineConfig &cfg = g_magazine_config;

    void SetUp() override { cfg.reset(); }
    void TearDown() override
    {
        cfg.deleteTrees();
        delete g_container.root;
        g_container.root = nullptr;
        g_container.lastFound = nullptr;
    }
    void read(const std::string &text) { cfg.parse(reinterpret_cast<const uint8_t *>(text.data()), text.size()); }
    // Compares each expected text with its field, in order.
    static void expectTexts(std::initializer_list<std::pair<const char *, const String *>> fields)
    {
        int i = 0;
        for (const auto &f : fields)
            EXPECT_STREQ(f.first, f.second->c_str()) << "field " << i++;
    }
    Theme *theme(const char *name) { return Tree::findAs<Theme>(cfg.themes, name); }
    Scheme *scheme(const char *name) { return Tree::findAs<Scheme>(cfg.schemes, name); }
    FontStyle *style(const char *name) { return Tree::findAs<FontStyle>(cfg.fontStyles, name); }
    ImageList *list(const char *name) { return Tree::findAs<ImageList>(cfg.imageLists, name); }
};

TEST_F(ConfigTest, ParametersDefaultAndAreClampedToTheirRanges)
{
    // A later parameters tag without immsong clears it; names are lower-cased.
    const struct { const char *text; unsigned width, height, fading, immsong; } cases[] = {
        {"", 640, 480, 1024, 0},
        {"<parameters width=100 height=10 fading=20000 immsong main=Start.TXT help=Hilfe.txt open=Intro close=OUTRO>",
         320, 200, 10000, 1},
        {"<parameters width=5000 height=99999 fading=0>", 2048, 2048, 0, 0},
        {"<parameters width=800 height=600>", 800, 600, 0, 0},
    };
    for (const auto &c : cases) {
        read(c.text);
        EXPECT_EQ(std::make_tuple(c.width, c.height, c.fading, c.immsong),
                  std::make_tuple((unsigned)cfg.width, (unsigned)cfg.height, (unsigned)cfg.fading, (unsigned)cfg.immsong))
            << c.text;
    }
    expectTexts({{"start.txt", &cfg.startArticle}, {"hilfe.txt", &cfg.helpArticle},
                 {"intro", &cfg.openingList}, {"outro", &cfg.closingList}});
}

TEST_F(ConfigTest, ImageListsKeepTheirEntriesInOrderWithClampedTimesAndSong)
{
    read("<imagelist name=Intro song=50><image file=A.JPG time=1000><image time=5><image file=b.bmp time=70000>"
         "<image file=c.jpg></imagelist><imagelist name=quiet><image><image time=3></imagelist>"
         "<imagelist name=zero song=0></imagelist><imagelist song=3><image file=lost.jpg></imagelist>");
    ImageList *intro = list("intro");
    ASSERT_NE(nullptr, intro);
    ASSERT_EQ(3u, intro->count());
    EXPECT_STREQ("a.jpg", intro->first->file.c_str());
    EXPECT_EQ(std::make_tuple(1000u, 60000u, 7000u),
              std::make_tuple((unsigned)intro->first->time, (unsigned)intro->first->next->time, (unsigned)intro->last->time));
    EXPECT_EQ(std::make_tuple(9, -1, 0), std::make_tuple((int)intro->song, (int)list("quiet")->song, (int)list("zero")->song));
    EXPECT_EQ(0u, list("quiet")->count());
    EXPECT_EQ(3u, Tree::count(cfg.imageLists)); // the nameless list did nothing
}

TEST_F(ConfigTest, AnUnclosedThemeSwallowsEveryLaterTag)
{
    read("<theme name=Open><page x=5><parameters width=1024><fontstyle name=late><scheme name=s><page y=7>"
         "<pal color=ff0000>");
    Theme *t = theme("open");
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(std::make_tuple(7, 1u, 640u), std::make_tuple((int)t->page.y, (unsigned)t->palette.count, (unsigned)cfg.width));
    EXPECT_EQ(nullptr, style("late"));
    EXPECT_EQ(nullptr, cfg.schemes);
    // Closed blocks return to the top level.
    cfg.reset();
    read("<scheme name=a><page width=500></scheme><theme name=t></theme><parameters width=1024>");
    EXPECT_EQ(1024u, cfg.width);
    EXPECT_EQ(500u, scheme("a")->pageWidth);
}

TEST_F(ConfigTest, AnInheritedSchemeKeepsDefaultTolerancesAndNoLoopMask)
{
    read("<scheme name=base><window title=\"Base Title\"><font style=Body><p fl=-30 sp=12 align=Center>"
         "<html header=H.htm footer=F.htm><page width=600 columns=3 colspacing=20>"
         "<scroll line=30 page=40 speed=300 tolerance=50 edgedelay=700 autoscroll>"
         "<link color=ff0000 selcolor=00ff00 viscolor=0000ff tolerance=100><hr color=123456>"
         "<background theme=One><background theme=Two><song id=2 file=A.MOD loop><song file=b.mod noloop>"
         "</scheme><scheme name=child inherit=BASE><page columns=2></scheme>");
    Scheme *base = scheme("base"), *child = scheme("child");
    ASSERT_TRUE(base && child);
    EXPECT_EQ(std::make_tuple(50u, 100u, 1u << 3),
              std::make_tuple((unsigned)base->scrollTolerance, (unsigned)base->linkTolerance, (unsigned)base->noloopMask));
    expectTexts({{"Base Title", &child->title}, {"body", &child->fontStyle}, {"center", &child->align},
                 {"f.htm", &child->footer}, {"two", &child->backgrounds[2]}, {"b.mod", &child->songs[3]}});
    EXPECT_EQ(std::make_tuple(-30, 12u, 600u, 2u, 20u, 300u, 700u, 1),
              std::make_tuple((int)child->firstLineIndent, (unsigned)child->paragraphSpacing,
                              (unsigned)child->pageWidth, (unsigned)child->columns, (unsigned)child->columnSpacing,
                              (unsigned)child->scrollSpeed, (unsigned)child->edgeDelay, (int)child->autoscroll));
    EXPECT_EQ(std::make_pair(base->visitedLinkColour, base->ruleColour),
              std::make_pair(child->visitedLinkColour, child->ruleColour));
    // What the child keeps of its own; the copies are its own.
    EXPECT_EQ(std::make_tuple(1u << 2, 0u, 5u, 5u),
              std::make_tuple((unsigned)child->loopMask, (unsigned)child->noloopMask,
                              (unsigned)child->scrollTolerance, (unsigned)child->linkTolerance));
    EXPECT_NE(base->title.str, child->title.str);
}

TEST_F(ConfigTest, SchemeSlotsAdvanceAndStopAtTheLastSlot)
{
    read("<scheme name=s><background theme=a><background theme=b><background theme=c>"
         "<background id=9 theme=x><background theme=y>"
         "<song id=5 file=five.mod noloop><song file=six.mod loop><song id=99 file=last.mod><song file=over.mod>"
         "<scroll line=5000 autoscroll><scroll line=0></scheme><scheme name=empty></scheme>");
    Scheme *s = scheme("s");
    ASSERT_NE(nullptr, s);
    expectTexts({{"a", &s->backgrounds[1]}, {"c", &s->backgrounds[3]}, {"y", &s->backgrounds[9]},
                 {"five.mod", &s->songs[5]}, {"six.mod", &s->songs[6]}, {"over.mod", &s->songs[31]}});
    EXPECT_TRUE(s->backgrounds[0].isEmpty());
    EXPECT_EQ(std::make_tuple(1u << 5, 1u << 6, 1u, 0), std::make_tuple((unsigned)s->noloopMask, (unsigned)s->loopMask,
                                                                       (unsigned)s->scrollLine, (int)s->autoscroll));
    Scheme *e = scheme("empty");
    expectTexts({{"?default", &e->fontStyle}, {defaultMagazineTitle(), &e->title}});
    EXPECT_EQ(0x7FFFFFFFu, e->selectedLinkColour); // no colour of its own
}

TEST(SchemeColumns, ColumnWidthNeverWrapsBelowZero)
{
    const struct { unsigned width, columns, spacing, want; } cases[] = {
        {600, 3, 20, 186}, {600, 0, 20, 600}, {600, 1, 20, 600}, {100, 10, 100, 0}, {1, 2, 1, 0}};
    for (const auto &c : cases)
        EXPECT_EQ(c.want, Scheme::columnWidth(c.width, c.columns, c.spacing)) << c.width << " " << c.columns;
}

TEST_F(ConfigTest, ThreeButtonsAreListedThirdFirstAndInheritanceKeepsTheOrder)
{
    read("<theme name=base><button x=1 command=A param=One.TXT>"
         "<button x=2 command=e param=\"http://Example.ORG/X\" desc=\"Go Out\">"
         "<button x=3000 width=0 height=5000 effect=7 song=12 normal=N.BMP sounddown=D.WAV soundup=U.wav>"
         "</theme><theme name=copy inherit=base findcolor=00ff00></theme>");
    ButtonDef *third = theme("base")->buttons;
    ASSERT_EQ(3u, ButtonDef::count(third));
    ButtonDef *second = third->next, *first = second->next;
    EXPECT_EQ(std::make_tuple(2048, 1, 2048, 1, 9, 0),
              std::make_tuple((int)third->placement.x, (int)third->placement.width, (int)third->placement.height,
                              (int)third->effect, (int)third->song, (int)third->command));
    expectTexts({{"n.bmp", &third->normal}, {"d.wav", &third->sounddown}, {"u.wav", &third->soundup},
                 {"http://Example.ORG/X", &second->param}, {"Go Out", &second->desc}, {"one.txt", &first->param}});
    EXPECT_EQ(std::make_tuple((int)CMD_EXTERNAL, -1, (int)CMD_ARTICLE),
              std::make_tuple((int)second->command, (int)second->song, (int)first->command));
    ButtonDef *copy = theme("copy")->buttons;
    ASSERT_EQ(3u, ButtonDef::count(copy));
    EXPECT_EQ(std::make_pair(2048, 1), std::make_pair((int)copy->placement.x, (int)copy->next->next->placement.x));
    EXPECT_NE(second->param.str, copy->next->param.str);
    EXPECT_STREQ("http://Example.ORG/X", copy->next->param.c_str());
}

TEST_F(ConfigTest, PaletteIndexesAreClampedAndNeverPassTheEnd)
{
    read("<theme name=t><pal color=102030><pal color=5><pal color=none><pal index=20>"
         "<pal index=300 color=abcdef><pal color=ffffff></theme><theme name=u><pal color=1><pal index=40></theme>");
    const Palette &p = theme("t")->palette;
    // Red and blue kept exchanged.
    EXPECT_EQ((std::vector<uint32_t>{0x302010u, 0x000005u, 0xFFFFFFu, 0xEFCDABu, 0xEFEFEFu, 256u, 256u}),
              (std::vector<uint32_t>{p.colours[0], p.colours[1], p.colours[2], p.colours[255], p.colours[20],
                                     (uint32_t)p.next, (uint32_t)p.count}));
    EXPECT_EQ(std::make_pair(1u, 40u), std::make_pair((unsigned)theme("u")->palette.count, (unsigned)theme("u")->palette.next));
}

TEST(PaletteResolve, IndexesPastThePaletteDrawTheDefaultColour)
{
    Palette p;
    p.colours[7] = 0x112233;
    p.colours[255] = 0x445566;
    const struct { uint32_t colour, want; } cases[] = {
        {0x80000007u, 0x112233u}, {0x80000000u | 300, 0xEFEFEFu}, {0xFFFFFFFFu, 0xEFEFEFu},
        {0x00ABCDEFu, 0x00ABCDEFu}, {0x7FFFFFFFu, 0x7FFFFFFFu}};
    for (const auto &c : cases)
        EXPECT_EQ(c.want, resolveColour(c.colour, &p)) << std::hex << c.colour;
    EXPECT_EQ(0xEFEFEFu, resolveColour(0x80000001u, nullptr));
}

TEST_F(ConfigTest, ThemeTagsFillPlacementsCursorsSoundsAndScrollBarAndHotspotsTheirPointers)
{
    addTreeFile("back.jpg");
    File *arrow = addTreeFile("arrow.bmp"), *other = addTreeFile("other.bmp");
    read("<theme name=Main image=BACK.JPG findcolor=ff0000>"
         "<page x=10 y=20 width=300 height=0><title x=1 y=2 width=500 height=30 font=Title>"
         "<status x=3000 width=400 font=St><clock width=80 font=Clk>"
         "<movie x=5 y=6 width=100 height=50 file=Intro.Anim><overlay image=Seal.BMP x=600 y=5000>"
         "<scroll x=610 width=16 height=360 font=f thumb=00ff00 begin=B.bmp middle=M.bmp end=E.bmp vertical horizontal>"
         "<cursors normal=Arrow.bmp busy=wait.bmp right=R.BMP><sounds enter=In.wav buttonup=up.WAV>"
         "<unknowntag x=1></theme><theme name=missing image=nothere.jpg></theme>"
         "<hotspot cursor=Arrow.BMP x=5000 y=3><hotspot cursor=other.bmp y=12><hotspot cursor=missing.bmp x=1 y=1>"
         "<hotspot x=9 y=9>");
    Theme *t = theme("main");
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(std::make_tuple(0x0000FFu, 0x00FF00u), std::make_tuple(t->findColour, t->thumbColour));
    // The page width is the scheme's; places are clamped to the screen.
    EXPECT_EQ((std::vector<int>{10, 20, 1, 1, 2048, 50, 2048, 1}),
              (std::vector<int>{t->page.x, t->page.y, t->page.width, t->page.height, t->status.x, t->movie.height,
                                (int)t->overlayY, (int)t->horizontal}));
    expectTexts({{"back.jpg", &t->background}, {"?default", &t->page.name}, {"title", &t->title.name},
                 {"Intro.Anim", &t->movie.name}, {"seal.bmp", &t->overlay}, {"e.bmp", &t->scrollEnd},
                 {"r.bmp", &t->cursors[CURSOR_RIGHT]}, {"scrollup.bmp", &t->cursors[CURSOR_SCROLLUP]},
                 {"up.wav", &t->sounds[SOUND_BUTTONUP]}, {"quit.wav", &t->sounds[SOUND_QUIT]}});
    Theme *m = theme("missing");
    EXPECT_STREQ("background.jpg", m->background.c_str());
    EXPECT_EQ(0x0000EFu, m->findColour); // red, kept swapped like colours read from markup
    // Hotspots are clamped and go to existing pointer files only.
    EXPECT_EQ(std::make_tuple(1024u, 3u, 0u, 12u), std::make_tuple((unsigned)arrow->hotspotX, (unsigned)arrow->hotspotY,
                                                                    (unsigned)other->hotspotX, (unsigned)other->hotspotY));
}

TEST_F(ConfigTest, ThemeInheritanceCopiesEveryField)
{
    read("<theme name=parent><pal color=010203><page x=7 height=300><title width=9 font=big>"
         "<cursors normal=p.bmp><sounds quit=bye.wav><scroll begin=sb.bmp><overlay image=o.bmp><button command=q>"
         "</theme><theme name=kid inherit=parent findcolor=00ff00><page y=3></theme>"
         "<theme name=orphan inherit=nobody></theme>");
    Theme *kid = theme("kid");
    ASSERT_NE(nullptr, kid);
    EXPECT_EQ(std::make_tuple(1u, 7, 3, 300, 0x00FF00u, 1u, 0),
              std::make_tuple((unsigned)kid->palette.count, (int)kid->page.x, (int)kid->page.y, (int)kid->page.height,
                              kid->findColour, ButtonDef::count(kid->buttons), (int)theme("parent")->page.y));
    expectTexts({{"p.bmp", &kid->cursors[0]}, {"bye.wav", &kid->sounds[SOUND_QUIT]}, {"sb.bmp", &kid->scrollBegin},
                 {"o.bmp", &kid->overlay}, {"background.jpg", &theme("orphan")->background}});
    EXPECT_EQ(0u, theme("orphan")->palette.count);

    // A theme made from a parent that is released first keeps its own copies.
    cfg.reset();
    read("<theme name=parent><title font=big><cursors busy=wait.bmp><button command=h desc=Help>"
         "<button command=q></theme>");
    Tag tag;
    ASSERT_TRUE(tag.addAttribute(KW_INHERIT));
    tag.attributes[0]->value.set("parent");
    Theme *own = new Theme("kid", tag);
    cfg.deleteTrees(); // the parent goes first
    expectTexts({{"big", &own->title.name}, {"wait.bmp", &own->cursors[CURSOR_BUSY]}});
    ASSERT_EQ(2u, ButtonDef::count(own->buttons));
    EXPECT_EQ(CMD_QUIT, own->buttons->command);
    EXPECT_STREQ("Help", own->buttons->next->desc.c_str());
    delete own;
}

TEST_F(ConfigTest, FontStylesConvertPointsAndInheritEverythingButStyleBits)
{
    read("<fontstyle name=Big size=12 face=DejaVuSans charset=Greek b u color=ff0000 spacing=500>"
         "<fontstyle name=tiny size=1><fontstyle name=huge size=100>"
         "<fontstyle name=both size=10 height=30><fontstyle name=px height=5000>"
         "<fontstyle name=kid inherit=big i><fontstyle name=stray inherit=nobody><fontstyle size=20>"
         "<fontstyle name=bu size=12 b u face=serif charset=e><fontstyle name=iu i u face=sans>");
    FontStyle *big = style("big"), *kid = style("kid");
    ASSERT_TRUE(big && kid);
    expectTexts({{"dejavusans", &big->face}, {"arial", &style("stray")->face}, {"dejavusans", &kid->face}});
    EXPECT_NE(big->face.str, kid->face.str);
    EXPECT_EQ(5, charsetCode(big->charset.str));
    EXPECT_EQ(0, charsetCode(nullptr) + charsetCode(""));
    EXPECT_EQ(std::make_pair(128u, 0x0000FFu), std::make_pair((unsigned)big->spacing, (unsigned)big->colour));
    const struct { const char *name; unsigned height; } heights[] = {
        {"big", 16}, {"tiny", 1}, {"huge", 96}, {"both", 13}, {"px", 96}, {"kid", 16}};
    for (const auto &h : heights)
        EXPECT_EQ(h.height, style(h.name)->height) << h.name;
    EXPECT_EQ(std::make_tuple(0, 1, 0), std::make_tuple((int)kid->bold, (int)kid->italic, (int)kid->underline));
    EXPECT_EQ(10u, Tree::count(cfg.fontStyles)); // the nameless one is not kept

    // An underlined style still opens its own face: fonts are opened by bold and italic only.
    EXPECT_EQ(5, style("bu")->fontFlags());
    scope.sys.clearCalls();
    style("bu")->openFont();
    style("iu")->openFont();
    EXPECT_TRUE(scope.sys.called("create_font serif 16 1 2"));
    EXPECT_TRUE(scope.sys.called("create_font sans 14 2 0"));

    // A font resolution of zero still gives usable heights.
    scope.sys.flags[USER_FLAG_FONT_DPI] = 0;
    cfg.reset();
    read("<fontstyle name=pts size=12><fontstyle name=px height=30>");
    EXPECT_EQ(std::make_tuple(1u, 1u, 14u),
              std::make_tuple((unsigned)style("pts")->height, (unsigned)style("px")->height,
                              (unsigned)style("?default")->height));
}

TEST_F(ConfigTest, OfTwoObjectsOfOneNameTheBalancedTreeDecidesAndInheritTakesTheFirstGiven)
{
    // x is given twice, marked 1 and 2 (other names 3); font styles hold
    // "?default" besides, the other kinds "0" in its place. The balanced
    // tree's root is entry n / 2 of the names in order; a lookup stops at
    // the first x met from the root. "kid" inherits x while the tree fills
    // (rotated by then: the second x lies above the first).
    const struct { const char *names; int x, kid; } trees[] = {
        {"a x1 x2 z zz zzz", 2, -1},     // 7 names: the second x is the root
        {"x1 x2", 1, -1},                // 3 names: left as inserted, a chain
        {"a b x1 x2", 1, -1},            // 5 names: root b, the first x its right child
        {"x1 x2 z zz zzz kid", 2, 1},    // 7 names: the second x is the root; kid took the first
    };
    const struct { const char *open, *close, *kid; int (*mark)(MagazineConfig &, const char *name); } kinds[] = {
        {"<fontstyle name=%s height=%d>", "", "<fontstyle name=kid inherit=x>",
         [](MagazineConfig &c, const char *n) { return (int)((FontStyle *)Tree::find(c.fontStyles, n))->height; }},
        {"<theme name=%s><page y=%d>", "</theme>", "<theme name=kid inherit=x></theme>",
         [](MagazineConfig &c, const char *n) { return (int)((Theme *)Tree::find(c.themes, n))->page.y; }},
        {"<scheme name=%s><page width=%d>", "</scheme>", "<scheme name=kid inherit=x></scheme>",
         [](MagazineConfig &c, const char *n) { return (int)((Scheme *)Tree::find(c.schemes, n))->pageWidth; }},
        {"<imagelist name=%s song=%d>", "</imagelist>", "<imagelist name=kid></imagelist>", // lists do not inherit
         [](MagazineConfig &c, const char *n) { return (int)((ImageList *)Tree::find(c.imageLists, n))->song; }},
    };
    for (const auto &k : kinds)
        for (const auto &t : trees) {
            cfg.deleteTrees();
            cfg.reset();
            std::string text, word;
            std::istringstream names(std::string(k.open[1] == 'f' ? "" : "0 ") + t.names);
            while (names >> word) {
                char block[80];
                if (word == "kid") {
                    text += k.kid;
                    continue;
                }
                int mark = word == "x1" ? 1 : word == "x2" ? 2 : 3;
                snprintf(block, sizeof block, k.open, mark < 3 ? "x" : word.c_str(), mark);
                text += std::string(block) + k.close;
            }
            read(text);
            EXPECT_EQ(t.x, k.mark(cfg, "x")) << k.open << t.names;
            EXPECT_TRUE(t.kid < 0 || k.open[1] == 'i' || k.mark(cfg, "kid") == t.kid) << k.open << t.names;
        }
}

// With the built-in "?default", two font styles of a name that sorts before
// it make three nodes, a zig-zag left as inserted: the first one is used.
TEST_F(ConfigTest, OfTwoFontStylesOfOneNameBeforeTheBuiltInOneTheFirstIsUsed)
{
    const struct { const char *name, *text; unsigned height; } cases[] = {
        {"!a", "<fontstyle name=\"!a\" height=1><fontstyle name=\"!a\" height=2>", 1},
        {"x", "<fontstyle name=x height=1><fontstyle name=x height=2>", 1},   // a chain: the same either way
    };
    for (const auto &c : cases) {
        cfg.deleteTrees();
        cfg.reset();
        read(c.text);
        ASSERT_EQ(3u, Tree::count(cfg.fontStyles)) << c.text;
        EXPECT_EQ(c.height, (unsigned)style(c.name)->height) << c.text;
    }
}

TEST_F(ConfigTest, LoadReadsConfigFromTheContainerAndTakesTheUserArticle)
{
    ScopedWorkDir dir;
    // Without the file, and listed but not on disk.
    for (int listed : {0, 1}) {
        if (listed)
            addTreeFile("config.txt")->loose = true;
        EXPECT_FALSE(cfg.load());
        EXPECT_STREQ("Cannot load configuration", scope.sys.errorText);
    }
    ASSERT_TRUE(writeFile(dir.path() + "/config.txt",
                          std::string("<parameters width=800 height=100><fontstyle name=b><fontstyle name=a>"
                                      "<fontstyle name=c><fontstyle name=d><fontstyle name=e>")));
    g_container.find("config.txt")->fileType = FILE_TEXT;
    File *packed = addTreeFile("my.txt");
    packed->fileType = FILE_TEXT;
    scope.sys.strings[USER_STRING_ARTICLE] = "My.TXT";
    scope.sys.strings[USER_STRING_SONG] = "tune.mod";
    ASSERT_TRUE(cfg.load());
    EXPECT_EQ(nullptr, scope.sys.errorText);
    EXPECT_EQ(std::make_pair(800u, 200u), std::make_pair((unsigned)cfg.width, (unsigned)cfg.height));
    expectTexts({{"My.TXT", &cfg.startArticle}, {"My.TXT", &cfg.userArticle}, {"tune.mod", &cfg.userSong}});
    File *user = g_container.find("My.TXT");
    ASSERT_NE(nullptr, user);
    EXPECT_NE(packed, user);
    EXPECT_EQ(packed, g_container.find("my.txt"));
    // The tree is balanced: six styles under a root from the middle.
    EXPECT_EQ(6u, Tree::count(cfg.fontStyles));
    EXPECT_STREQ("c", cfg.fontStyles->name.c_str());
}

TEST_F(ConfigTest, HostileConfigurationsGiveDefaultsAndNeverCrash)
{
    read("<parameters width=1024 height=768"); // unterminated tags
    EXPECT_EQ(1024u, cfg.width);
    for (const char *text : {"<theme name=\"open", "<scheme name=x><song file=\"", "<", "<<<<>>>><//><!-- <? <theme"})
        read(text);

    // Ten thousand attributes on one tag.
    std::string many = "<parameters";
    for (int i = 0; i < 10000; i++)
        many += " width=" + std::to_string(300 + i % 2000);
    many += " height=999999999999999999999>";
    cfg.reset();
    read(many);
    EXPECT_EQ(320u, cfg.width);  // the first width attribute wins
    EXPECT_EQ(480u, cfg.height); // past the attribute limit: dropped

    // Huge and negative numbers.
    read("<parameters fading=-1 width=184467440737095516160000><imagelist name=l song=-5>"
         "<image file=x time=99999999999999></imagelist>"
         "<theme name=t><pal index=-1 color=fffffffffffff><button x=-3 song=-1></theme>");
    EXPECT_LE(cfg.fading, 10000u);
    EXPECT_EQ(2048u, cfg.width);
    EXPECT_TRUE(list("l")->song >= 0 && list("l")->song <= 9) << list("l")->song;
    EXPECT_EQ(60000u, list("l")->first->time);
    int x = theme("t")->buttons->placement.x;
    EXPECT_TRUE(x >= 0 && x <= 2048) << x;
    EXPECT_LE(theme("t")->palette.count, 256u);

    // A long list of buttons and blocks, then random bytes.
    std::string buttons = "<theme name=b>";
    for (int i = 0; i < 20000; i++)
        buttons += "<button x=1>";
    read(buttons + "</theme><theme name=c inherit=b>");
    EXPECT_EQ(20000u, ButtonDef::count(theme("c")->buttons));

    std::mt19937 rng(1234);
    const char alphabet[] = "<>=\" /abcdefghijklmnopqrstuvwxyz0123456789\n\t&;%";
    const char *words[] = {"theme", "scheme", "/theme", "/scheme", "imagelist", "/imagelist", "image", "pal",
                           "button", "name", "inherit", "fontstyle", "page", "song", "background", "parameters",
                           "hotspot", "size"};
    for (int round = 0; round < 40; round++) {
        std::string text;
        for (int i = 0; i < 3000; i++)
            text += rng() % 4 == 0 ? std::string(words[rng() % (sizeof words / sizeof words[0])])
                                   : std::string(1, alphabet[rng() % (sizeof alphabet - 1)]);
        cfg.reset();
        read(text);
        EXPECT_TRUE(cfg.width >= 320u && cfg.width <= 2048u) << cfg.width;
    }
}

TEST(CommandNames, OnlyWholeKnownNamesMapToACommand)
{
    EXPECT_NE(0, commandId("p31"));
    for (const char *name : {(const char *)nullptr, "", " ", "A", "p", "p32", "px", "p1x", "zz"})
        EXPECT_EQ(0, commandId(name)) << (name ? name : "null");
}

TEST_F(ConfigTest, ManyInheritingThemesCannotMultiplyButtonsWithoutBound)
{
    std::string text = "<theme name=big>";
    for (int i = 0; i < 1000; i++)
        text += "<button x=1>";
    text += "</theme>";
    for (int i = 0; i < 200; i++)
        text += "<theme name=t" + std::to_string(i) + " inherit=big></theme>";
    read(text);
    EXPECT_LE(ButtonDef::live, (unsigned)ButtonDef::MAX_LIVE);
    EXPECT_EQ(1000u, ButtonDef::count(theme("t0")->buttons));
    cfg.deleteTrees();
    EXPECT_EQ(0u, ButtonDef::live);
}

} // namespace
