// Following links in a small magazine of loose files, through the reader's
// message handler as the keys and the pointer drive it: opening, replacing,
// going back, a missing target, and the fade a link allows.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "Areas.h"
#include "Article.h"
#include "Browser.h"
#include "FakeSystem.h"
#include "File.h"
#include "History.h"
#include "Link.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "PictureWriters.h"
#include "Playlist.h"
#include "LooseFiles.h"
#include "TestDirs.h"
#include "containr.h"

namespace {

const char *const kConfig =
    "<fontstyle name=body face=serif size=12 color=101010>"
    "<theme name=day image=bg.bmp><page x=10 y=30 height=100>"
    "<status x=0 y=140 width=200 height=20></theme>"
    "<scheme name=s><page width=170><background theme=day></scheme>";

struct FollowFixture : ::testing::Test {
    ScopedWorkDir dir;
    FakeSystemScope scope;
    FakeSystem &sys = scope.sys;

    void SetUp() override
    {
        memset(&g_browser, 0, sizeof g_browser);
        g_browser.transition = 1;
        g_magazine_config.reset();
        g_magazine_config.width = 200;
        g_magazine_config.height = 160;
        g_magazine_config.fading = 500;
        add("bg.bmp", makeBMP(2, 2, std::vector<uint32_t>(4, 0x204060), 24));
        article("start.txt", "<link article=b.txt>bee</link> <link article=missing.txt desc=Gone>gone</link>");
        article("b.txt", "<link article=c.txt nopush>sea</link> <link article=start.txt effect=0>start</link>");
        article("c.txt", "the end");
        parseMagazineConfig(kConfig);
    }
    void TearDown() override
    {
        history.clear();
        g_magazine_config.deleteTrees();
        dropLooseFiles();
        statusText.clear();
    }
    template <class Bytes> void add(const std::string &name, const Bytes &bytes) { ASSERT_TRUE(addLooseFile(name, bytes)); }
    void article(const std::string &name, const std::string &body) { add(name, "<article scheme=s>" + body); }
    static std::string shown() { return currentArticle && currentArticle->file ? currentArticle->file->name.c_str() : ""; }
    static std::string status()
    {
        return currentArticle && currentArticle->statusbarArea ? currentArticle->statusbarArea->text1.c_str() : "";
    }
    // Handles everything queued, as the main loop would.
    void pump()
    {
        int msg = 0, param = 0;
        for (int i = 0; i < 100 && sys.get_message(msg, param); i++)
            g_browser.handleMessage(msg, param);
    }
    // Focuses the n-th link of the shown article with the keys and follows it.
    void followKeys(int n)
    {
        for (int i = 0; i <= n; i++)
            g_browser.handleMessage(MSG_LINK_NEXT, NAV_LINE_DOWN);
        g_browser.handleMessage(MSG_FOLLOW_LINK, 0);
        pump();
    }
    // Points at the middle of the n-th link and clicks.
    void click(int n)
    {
        Link *link = currentArticle->links;
        for (int i = 0; i < n; i++)
            link = link->next;
        const LinkRect &r = link->rects[0];
        int x = currentArticle->pageArea->left + (r.x1 + r.x2) / 2;
        int y = currentArticle->pageArea->top + (r.y1 + r.y2) / 2 - currentArticle->scroll;
        for (int msg : {MSG_MOUSE_MOVE, MSG_MOUSE_DOWN, MSG_MOUSE_UP})
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
    Link *broken = currentArticle->links->next;
    const LinkRect &r = broken->rects[0];
    g_browser.handleMessage(MSG_MOUSE_MOVE, (int)makePosition(currentArticle->pageArea->left + r.x1 + 1,
                                                                currentArticle->pageArea->top + r.y1 + 1));
    EXPECT_EQ("Gone", status());
    click(0);
    EXPECT_EQ("b.txt", shown());
}

TEST_F(FollowFixture, ALinkWithoutEffectChangesThePageWithoutAFade)
{
    g_magazine_config.userFlags[USER_FLAG_EFFECTS - 4] = 1;
    ASSERT_TRUE(history.open("start.txt"));
    sys.clearCalls();
    followKeys(0);
    EXPECT_TRUE(sys.called("flip 1 0 500")); // the ordinary link fades
    sys.clearCalls();
    followKeys(1); // effect=0
    EXPECT_EQ("start.txt", shown());
    EXPECT_FALSE(sys.called("flip 1"));
    EXPECT_TRUE(sys.called("flip 0 0 0"));
    sys.clearCalls();
    followKeys(0); // and the next change fades again
    EXPECT_TRUE(sys.called("flip 1 0 500"));
}

} // namespace
