// Following links through the reader's message handler as the keys and the
// pointer drive it: replacing, going back, a missing target, the fade.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Areas.h"
#include "File.h"
#include "Link.h"
#include "MagazineRig.h"
#include "SearchIndex.h"

namespace {

const char *const kConfig =
    "<fontstyle name=body face=serif size=12 color=101010>"
    "<theme name=day image=bg.bmp><page x=10 y=30 height=100>"
    "<status x=0 y=140 width=200 height=20>"
    "<button x=0 y=0 width=20 height=20 normal=bg.bmp selected=lit.bmp command=f desc=Search></theme>"
    "<scheme name=s><page width=170><background theme=day></scheme>";

struct FollowFixture : LooseMagazine {
    void SetUp() override
    {
        start({"bg.bmp", "lit.bmp"});
        g_browser.transition = 1;
        g_magazine_config.fading = 500;
        article("start.txt", "<link article=b.txt>bee</link> <link article=missing.txt desc=Gone>gone</link>");
        article("b.txt", "<link article=c.txt nopush>sea</link> <link article=start.txt effect=0>start</link>");
        article("c.txt", "the end");
        parseMagazineConfig(kConfig);
    }
    void TearDown() override
    {
        delete g_browser.searchIndex;
        g_browser.searchIndex = nullptr;
        LooseMagazine::TearDown();
    }
    void article(const std::string &name, const std::string &body) { add(name, "<article scheme=s>" + body); }
    static std::string shown() { return currentArticle && currentArticle->file ? currentArticle->file->name.c_str() : ""; }
    static std::string status() { return currentArticle->statusbarArea->text1.c_str(); }
    // Focuses the n-th link of the shown article with the keys and follows it.
    void followKeys(int n)
    {
        for (int i = 0; i <= n; i++)
            g_browser.handleMessage(MSG_LINK_NEXT, NAV_LINE_DOWN);
        g_browser.handleMessage(MSG_FOLLOW_LINK, 0);
        pump();
    }
    // Points at the n-th link (at its middle, or near its top left corner) and clicks.
    void click(int n, bool press = true, bool middle = true)
    {
        Link *link = currentArticle->links;
        for (int i = 0; i < n; i++)
            link = link->next;
        const LinkRect &r = link->rects[0];
        int x = currentArticle->pageArea->left + (middle ? (r.x1 + r.x2) / 2 : r.x1 + 1);
        int y = currentArticle->pageArea->top + (middle ? (r.y1 + r.y2) / 2 - currentArticle->scroll : r.y1 + 1);
        for (int msg : {MSG_MOUSE_MOVE, MSG_MOUSE_DOWN, MSG_MOUSE_UP})
            if (msg == MSG_MOUSE_MOVE || press)
                g_browser.handleMessage(msg, (int)makePosition(x, y));
        pump();
    }
};

TEST_F(FollowFixture, ReplacingLinkIsSkippedByBack)
{
    ASSERT_TRUE(history.open("start.txt"));
    followKeys(0);
    EXPECT_EQ("b.txt", shown());
    click(0); // "nopush": c.txt takes b.txt's place
    EXPECT_EQ("c.txt", shown());
    g_browser.handleMessage(MSG_BACK, 1);
    EXPECT_EQ("start.txt", shown());
    EXPECT_FALSE(history.hasOlder());
}

TEST_F(FollowFixture, MissingTargetStaysOnThePageAndSaysSo)
{
    ASSERT_TRUE(history.open("start.txt"));
    Article *start = currentArticle;
    for (bool byPointer : {false, true}) {
        sys.clearCalls();
        if (byPointer)
            click(1);
        else
            followKeys(1);
        EXPECT_EQ(start, currentArticle);
        EXPECT_FALSE(history.hasOlder());
        // The pointer rests on the link after the click: the message stays.
        EXPECT_EQ("Article not found", status()) << byPointer;
    }
    // The keys focus another link, the pointer comes back to the broken one:
    // its description shows again.
    g_browser.handleMessage(MSG_LINK_PREVIOUS, NAV_LINE_UP);
    click(1, false, false);
    EXPECT_EQ("Gone", status());
    click(0);
    EXPECT_EQ("b.txt", shown());
}

TEST_F(FollowFixture, ALinkWithoutEffectChangesThePageWithoutAFade)
{
    g_magazine_config.userFlags[USER_FLAG_EFFECTS - 4] = 1;
    ASSERT_TRUE(history.open("start.txt"));
    // The ordinary link fades, the one with effect=0 does not, the next change fades again.
    const struct { int link; const char *opens; bool fades; } steps[] = {
        {0, "b.txt", true}, {1, "start.txt", false}, {0, "b.txt", true}};
    for (const auto &s : steps) {
        sys.clearCalls();
        followKeys(s.link);
        EXPECT_EQ(s.opens, shown());
        EXPECT_EQ(sys.called(s.fades ? "flip 1 0 500" : "flip 1"), s.fades) << s.opens;
        EXPECT_TRUE(s.fades || sys.called("flip 0 0 0")) << s.opens;
    }
}

TEST_F(FollowFixture, WhatRestsUnderThePointerAfterTheViewMovesIsWhatAClickFollows)
{
    // A long page: plain lines, two links two lines apart, more plain lines, a last link.
    std::string body;
    for (int i = 0; i < 39; i++)
        body += i == 6 ? "<link article=c.txt desc=Sea>sea sea</link><br>"
                       : i == 8 ? "<link article=c.txt desc=Mid>mid mid</link><br>" : "plain words<br>";
    article("long.txt", body + "<link article=c.txt desc=Far>far far</link>");
    ASSERT_TRUE(history.open("long.txt"));
    g_browser.buildSearchIndex();
    const LinkRect sea = currentArticle->links->rects[0];
    const int x = 10 + (sea.x1 + sea.x2) / 2;
    const int onSea = 30 + sea.y1 + 2;                  // on the first link, the view at the top
    const int above = onSea - currentArticle->lineStep; // plain words one wheel step higher
    auto send = [](int msg, int x, int y) { g_browser.handleMessage(msg, (int)makePosition(x, y)); };
    auto press = [&](int x, int y) { send(MSG_MOUSE_DOWN, x, y), send(MSG_MOUSE_UP, x, y); };
    auto button = [] { // the FIND button top left
        for (Area *area = currentArticle->areas; area; area = area->next)
            if (ButtonArea *b = dynamic_cast<ButtonArea *>(area))
                return b->current == b->selected ? "lit" : "dark";
        return "none";
    };
    const struct { const char *what; std::function<void()> act; std::string shows, status; } cases[] = {
        {"one wheel step brings the link under the resting pointer: a click follows it",
         [&] { send(MSG_MOUSE_MOVE, x, above), g_browser.handleMessage(MSG_WHEEL, -1), press(x, above); }, "c.txt", ""},
        {"after Page Down the pointer rests on plain words: Down and a click open nothing",
         [&] {
             send(MSG_MOUSE_MOVE, x, onSea), g_browser.handleMessage(MSG_NAVIGATE, NAV_PAGE_DOWN);
             g_browser.handleMessage(MSG_LINK_NEXT, NAV_LINE_DOWN), press(x, onSea);
         },
         "long.txt", ""},
        {"the search dialog closes with the pointer elsewhere: its button is dark again",
         [&] { send(MSG_MOUSE_MOVE, 5, 5), press(5, 5), sys.pointerKnown = true, sys.pointerAt = {100, 80}; },
         "long.txt", ""},
        {"End with the pointer on plain words: the link the keys lit keeps its description",
         [&] { g_browser.handleMessage(MSG_NAVIGATE, NAV_END); }, "long.txt", "Far"},
        {"Up on the top link under the pointer, then steps until the pointer rests on plain words: the link the "
         "keys lit keeps its description",
         [&] {
             send(MSG_MOUSE_MOVE, x, onSea), g_browser.handleMessage(MSG_LINK_PREVIOUS, NAV_LINE_UP);
             for (int i = 0; i < sea.y2 - sea.y1 - 1; i++) // the last step leaves the link
                 g_browser.handleMessage(MSG_NAVIGATE, NAV_STEP);
         },
         "long.txt", "Sea"},
        {"Escape back to a page with the pointer on a link: its description shows",
         [&] { send(MSG_MOUSE_MOVE, x, onSea), press(x, onSea), pump(), g_browser.handleMessage(MSG_BACK, 1); },
         "long.txt", "Sea"},
    };
    for (const auto &c : cases) {
        // Each from the top of the article, the pointer resting on plain words.
        while (history.hasOlder())
            history.back();
        currentArticle->navigate(NAV_HOME);
        sys.pointerKnown = false;
        send(MSG_MOUSE_MOVE, 100, 80);
        c.act();
        pump();
        EXPECT_EQ(std::make_tuple(c.shows, c.status, std::string("dark")), std::make_tuple(shown(), status(), button()))
            << c.what;
    }
}

} // namespace
