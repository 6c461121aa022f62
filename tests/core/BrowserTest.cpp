#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "Article.h"
#include "Browser.h"
#include "FakeSystem.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "PictureWriters.h"
#include "Playlist.h"
#include "TestDirs.h"
#include "MagWriter.h"

#include <sys/stat.h>

namespace {

using Messages = std::vector<std::pair<int, int>>;
template <class List> long count(const List &list, int msg)
{
    return std::count_if(list.begin(), list.end(), [msg](const std::pair<int, int> &m) { return m.first == msg; });
}

// Drives the handler directly, as the main loop would, over a FakeSystem.
struct BrowserFixture : ::testing::Test {
    FakeSystemScope scope;
    FakeSystem &sys = scope.sys;

    void SetUp() override
    {
        memset(&g_browser, 0, sizeof g_browser);
        g_browser.transition = 1;
        currentArticle = nullptr;
        g_playlist.mode = 1;
        g_playlist.pendingSound = nullptr;
        g_magazine_config.fading = 1024;
        g_magazine_config.userFlags[USER_FLAG_EFFECTS - 4] = 0;
    }
    void TearDown() override { currentArticle = nullptr; }
    static void startShow() { g_browser.slideShow = 1; g_browser.slideEndMessage = MSG_OPEN_MAIN; }

    // Handles the queued messages, as the loop does, up to MSG_END.
    void pump()
    {
        int msg = 0, param = 0;
        for (int i = 0; i < 100 && msg != MSG_END && sys.get_message(msg, param); i++)
            g_browser.handleMessage(msg, param);
    }
    bool posted(int msg) const { return count(sys.posted, msg) > 0; }
};

TEST_F(BrowserFixture, QuitWithoutClosingShowStopsTheMusicBlanksTheScreenAndEnds)
{
    // With effects the music and the screen fade; without, both stop at once.
    const struct { int effects; const char *song, *screen, *notScreen; } cases[] = {
        {0, "stop_song 0", "clear_display", "flip 1 2"}, {1, "stop_song 1", "flip 1 2 1024", "clear_display"}};
    for (const auto &c : cases) {
        sys.clearCalls();
        sys.posted.clear();
        g_magazine_config.userFlags[USER_FLAG_EFFECTS - 4] = c.effects;
        g_browser.handleMessage(MSG_QUIT_REQUEST, 0);
        EXPECT_TRUE(posted(MSG_EXIT)) << c.effects;
        pump();
        EXPECT_TRUE(sys.called(c.song) && sys.called(c.screen) && !sys.called(c.notScreen)) << c.effects;
        EXPECT_TRUE(posted(MSG_END)) << c.effects;
    }
}

TEST_F(BrowserFixture, MessagesWithNothingToActOnDoNothing)
{
    // Unknown and timer messages, article messages without an article, and going
    // back on the first article (right-button release, the command "b") do nothing;
    // Escape and Backspace there quit.
    const struct { int msg, param; } cases[] = {
        {6, 0}, {MSG_TICK, 0}, {MSG_SLIDE_TIMER, 0}, {MSG_SLIDE_MISSING, 0}, {0, 0}, {99, 0}, {-3, 0},
        {MSG_NAVIGATE, NAV_LINE_DOWN}, {MSG_PRINT, 0}, {MSG_COPY_LINK, 0}, {MSG_RIGHT_UP, 0}, {MSG_BACK, 0}};
    for (const auto &c : cases) {
        g_browser.handleMessage(c.msg, c.param);
        EXPECT_TRUE(sys.calls.empty() && sys.posted.empty()) << c.msg;
    }
    g_browser.handleMessage(MSG_BACK, 1);
    EXPECT_TRUE(posted(MSG_EXIT));
    Article article(nullptr);
    currentArticle = &article;
    article.redraw = true;
    g_browser.handleMessage(MSG_REDRAW, 0);
    g_browser.handleMessage(MSG_PRINT, 0);
    EXPECT_TRUE(sys.called("flip 0 0 0") && !article.redraw && sys.called("print"));
}

TEST_F(BrowserFixture, PlayModeVolumeAndEffects)
{
    // Out-of-range play modes leave the mode alone; volume steps are one either way.
    for (auto c : {std::make_pair(7, 1u), std::make_pair(2, 2u), std::make_pair(-1, 1u)}) {
        g_browser.handleMessage(MSG_PLAY_MODE, c.first);
        EXPECT_EQ(g_playlist.mode, c.second) << c.first;
    }
    g_browser.handleMessage(MSG_VOLUME, 0);
    g_browser.handleMessage(MSG_VOLUME, -5);
    EXPECT_TRUE(sys.called("volume_control 1") && sys.called("volume_control -1"));
    for (unsigned on : {1u, 0u}) {
        g_browser.handleMessage(MSG_TOGGLE_EFFECTS, 0);
        EXPECT_EQ(g_magazine_config.userFlags[USER_FLAG_EFFECTS - 4], on);
    }
}

TEST_F(BrowserFixture, DrainKeepsMusicDropsInputAndHoldsCoreMessages)
{
    sys.messages = {{MSG_MOUSE_DOWN, 0}, {MSG_NAVIGATE, NAV_PAGE_DOWN}, {MSG_EXIT, 0},
                    {MSG_BACK, 1}, {MSG_VOLUME, 1}, {MSG_MOUSE_MOVE, (int)makePosition(30, 40)},
                    {MSG_QUIT_REQUEST, 0}, {MSG_EXIT, 0}, {MSG_BACK, 0}};
    g_browser.flushEvents();
    EXPECT_TRUE(sys.called("volume_control 1") && !g_browser.busy);
    // The exit and the wish to quit (Escape on the first article, F10) were
    // not lost: each is queued again, once.
    EXPECT_EQ(Messages(sys.messages.begin(), sys.messages.end()), (Messages{{MSG_EXIT, 0}, {MSG_QUIT_REQUEST, 0}}));
    EXPECT_TRUE(sys.called("move_cursor 30 40")); // the re-hover, at the stored position
}

TEST_F(BrowserFixture, SlideShowDropsPressesAndEndsOnKeysOrQuit)
{
    startShow();
    for (int msg : {(int)MSG_MOUSE_DOWN, (int)MSG_RIGHT_DOWN, (int)MSG_WHEEL, (int)MSG_TICK, (int)MSG_SONG_ENDED})
        g_browser.handleMessage(msg, 0);
    EXPECT_TRUE(g_browser.slideShow && sys.posted.empty());
    g_browser.handleMessage(MSG_MOUSE_MOVE, (int)makePosition(-5, 7));
    EXPECT_EQ(std::make_pair(g_browser.mouseX, g_browser.mouseY), std::make_pair(-5, 7));
    EXPECT_FALSE(sys.called("move_cursor"));
    // A key or a release ends the show and the start article opens, once even
    // when one is already queued; a quit exits at once.
    const struct { int msg, param; bool queued; int openMain, end; } ends[] = {
        {MSG_NAVIGATE, NAV_PAGE_DOWN, false, 1, 0}, {MSG_MOUSE_UP, 0, true, 1, 0}, {MSG_QUIT_REQUEST, 0, false, 0, 1}};
    for (const auto &c : ends) {
        startShow();
        sys.clearCalls();
        sys.messages.assign(c.queued, {MSG_OPEN_MAIN, 0});
        g_browser.handleMessage(c.msg, c.param);
        EXPECT_TRUE(!g_browser.slideShow && sys.called("stop_timer 40")) << c.msg;
        EXPECT_EQ(count(sys.messages, MSG_OPEN_MAIN), c.openMain) << c.msg;
        EXPECT_EQ(count(sys.messages, MSG_END), c.end) << c.msg;
    }
}

// Quits as soon as the loop would wait: the magazine has nothing more to do.
struct QuittingSystem : FakeSystem {
    void wait_event() override
    {
        FakeSystem::wait_event();
        post_message(MSG_EXIT, 0);
    }
};

TEST(BrowserRun, NoSystemOrArchiveRunsNothingAndTeardownSilencesTheMusicLast)
{
    System *previous = g_system;
    g_system = nullptr;
    g_browser.run(nullptr); // no System: nothing runs
    EXPECT_EQ(g_system, nullptr);
    ScopedWorkDir dir;
    FakeSystem missing; // no archive: its error, and no display opened
    runBrowser(&missing);
    EXPECT_STREQ(missing.errorText, "No *.dat file");
    EXPECT_FALSE(missing.called("init_display"));
    mkdir("temp", 0755);
    MagArchive a;
    a.members.push_back(magFile("config.txt", "<theme name=t></theme><scheme name=a><background theme=t></scheme>"));
    a.members.push_back(magFile("main.txt", "<article scheme=a>Hello"));
    // An article needs a theme whose background is in the magazine.
    a.members.push_back(magFile("background.jpg", "not decoded"));
    ASSERT_TRUE(writeFile("mag.dat", a.build()));
    QuittingSystem sys;
    runBrowser(&sys);
    EXPECT_TRUE(!g_system && !sys.errorText) << sys.errorText;
    // The audio thread reports through g_system: the music stops last.
    ASSERT_FALSE(sys.calls.empty());
    EXPECT_EQ(sys.calls.back(), "stop_song 0");
    g_system = previous;
}

// Ctrl+C as the n-th picture of the start article is made, or (n = 0) once
// it is laid out, just before the message that opens it is queued.
struct QuitAtPicture : FakeSystem {
    size_t quitAt = 1;
    size_t made = 0;
    ImageHandle create_image(int width, int height, const uint32_t *pixels, const uint8_t *mask) override
    {
        if (++made == quitAt)
            post_message(MSG_EXIT, 0);
        return FakeSystem::create_image(width, height, pixels, mask);
    }
    void post_message(int message, int parameter) override
    {
        if (message == MSG_OPEN_MAIN && quitAt == 0)
            FakeSystem::post_message(MSG_EXIT, 0);
        FakeSystem::post_message(message, parameter);
    }
};

// The layout of an article of eight pictures ends before the next one is
// decoded, and the reader ends as always: the visited list is written. The
// article a quit came into the layout of was never shown whole: it is not
// drawn, not counted as read, and no "No main article" is said.
TEST(BrowserRun, AQuitDuringALayoutEndsItBeforeTheNextPictureAndTheArticleIsNotRead)
{
    const struct {
        const char *name;
        size_t quitAt, pictures;
    } cases[] = {
        {"at the first picture: the rest is skipped", 1, 1},
        {"at the last picture: laid out whole, but not shown", 8, 8},
        {"after the layout, before the article is opened", 0, 8},
    };
    for (const auto &c : cases) {
        System *previous = g_system;
        ScopedWorkDir dir;
        mkdir("temp", 0755);
        MagArchive a;
        a.members.push_back(magFile("config.txt", "<theme name=t></theme><scheme name=a><background theme=t></scheme>"));
        a.members.push_back(magFile("background.jpg", "not decoded"));
        std::string text = "<article scheme=a>Greeting";
        for (char n = '0'; n < '8'; n++) {
            a.members.push_back(magFile(std::string("p") + n + ".bmp", makeBMP(2, 2, std::vector<uint32_t>(4, 0xFF), 24)));
            text += std::string("<img file=p") + n + ".bmp>";
        }
        a.members.push_back(magFile("main.txt", text));
        ASSERT_TRUE(writeFile("mag.dat", a.build()));
        QuitAtPicture sys;
        sys.quitAt = c.quitAt;
        runBrowser(&sys);
        EXPECT_EQ(sys.count("create_image"), c.pictures) << c.name;
        std::vector<uint8_t> visited = readFile("temp/visited.txt");
        EXPECT_EQ(std::string(visited.begin(), visited.end()), "") << c.name;
        EXPECT_EQ(sys.count("out_text Greeting"), 0u) << c.name;
        EXPECT_EQ(sys.count("set_window_title"), 0u) << c.name;
        EXPECT_EQ(sys.errorText, nullptr) << c.name << ": " << sys.errorText;
        g_system = previous;
    }
}

} // namespace
