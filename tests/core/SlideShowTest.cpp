// Slide shows over real pictures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSystem.h"
#include "ImageList.h"
#include "LooseFiles.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "PictureWriters.h"
#include "Playlist.h"
#include "TestDirs.h"

namespace {

struct SlideShow : ::testing::Test {
    ScopedWorkDir dir;
    FakeSystemScope scope;
    FakeSystem &sys = scope.sys;
    ImageList *list = nullptr;

    void TearDown() override
    {
        g_magazine_config.deleteTrees();
        dropLooseFiles();
    }
    // Loose pictures "a.bmp".. and the image list "show" of the configuration.
    void setUp(int pictures, const std::string &config)
    {
        for (char name[] = "a.bmp"; name[0] < 'a' + pictures; name[0]++)
            ASSERT_NE(nullptr, addLooseFile(name, makeBMP(2, 2, std::vector<uint32_t>(4, 0xFF0000), 24)));
        g_magazine_config.reset();
        parseMagazineConfig(config);
        list = Tree::findAs<ImageList>(g_magazine_config.imageLists, "show");
        ASSERT_NE(nullptr, list);
        sys.clearCalls();
    }
};

TEST_F(SlideShow, PicturesFollowInOrderEachForItsTimeAndTheListRewinds)
{
    sys.strings[USER_STRING_SONG] = "mine.ogg"; // the user's song is slot 0 and loops
    setUp(2, "<imagelist name=show><image file=a.bmp time=1000><image file=b.bmp time=3000></imagelist>");
    EXPECT_STREQ("mine.ogg", g_playlist.songs[0].c_str());
    EXPECT_TRUE(g_playlist.loop[0] == 1 && g_playlist.noloop[0] == 0);
    ASSERT_TRUE(list->step());
    for (const char *call : {"strech 0 0 640 480", "flip 0 0 0", "start_timer 40 1000"})
        EXPECT_TRUE(sys.called(call)) << call;
    // The shown picture is released, the next one is preloaded.
    EXPECT_EQ(nullptr, list->first->image);
    EXPECT_EQ(1, sys.liveImages);
    ASSERT_TRUE(list->step());
    EXPECT_TRUE(sys.called("start_timer 40 3000"));
    EXPECT_EQ(0, sys.liveImages);
    EXPECT_FALSE(list->step());
    sys.clearCalls();
    ASSERT_TRUE(list->step());
    EXPECT_TRUE(sys.called("start_timer 40 1000"));
    // Deleting the list releases its preloaded picture.
    EXPECT_EQ(1, sys.liveImages);
    g_magazine_config.deleteTrees();
    EXPECT_EQ(0, sys.liveImages);
}

TEST_F(SlideShow, AMissingPictureEndsTheShowAndEffectsFade)
{
    sys.flags[USER_FLAG_EFFECTS] = 1;
    setUp(1, "<parameters fading=500><imagelist name=show><image file=a.bmp><image file=gone.bmp></imagelist>");
    ASSERT_TRUE(list->step());
    EXPECT_TRUE(sys.called("flip 1 0 500"));
    sys.clearCalls();
    list->step();
    ASSERT_FALSE(sys.posted.empty());
    EXPECT_EQ(MSG_SLIDE_MISSING, sys.posted.back().first);
    EXPECT_FALSE(sys.called("strech"));
}

// A photograph too large to show whole is decoded at the smallest of
// libjpeg's scales that still covers the screen; a missing one is named.
TEST_F(SlideShow, ALargePhotographShowsShrunkToTheScreenAndAMissingOneIsNamed)
{
    ASSERT_NE(nullptr, addLooseFile("large.jpg", makeJPEGOf(8193, 4097, [](int, int) { return 0x3366CCu; })));
    setUp(0, "<imagelist name=show><image file=large.jpg><image file=gone.jpg></imagelist>");
    ASSERT_TRUE(list->step());
    EXPECT_TRUE(sys.called("create_image 1025 513"));
    EXPECT_TRUE(sys.called("strech 0 0 640 480"));
    list->step();
    EXPECT_EQ(MSG_SLIDE_MISSING, sys.posted.back().first);
    EXPECT_EQ(sys.count("report The reader cannot show the picture 'gone.jpg': the magazine has no such file"), 1u);
    EXPECT_EQ(sys.count("report"), 1u);
}

} // namespace
