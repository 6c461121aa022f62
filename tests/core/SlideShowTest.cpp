// Slide shows over real pictures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSystem.h"
#include "File.h"
#include "Image.h"
#include "ImageList.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "PictureWriters.h"
#include "Playlist.h"
#include "TestDirs.h"
#include "containr.h"

namespace {

struct SlideShow : ::testing::Test {
    ScopedWorkDir dir;
    FakeSystemScope scope;
    FakeSystem &sys = scope.sys;
    ImageList *list = nullptr;

    void TearDown() override
    {
        g_magazine_config.deleteTrees();
        delete g_container.root;
        g_container.root = nullptr;
        g_container.lastFound = nullptr;
    }
    // Loose pictures "a.bmp".. and the image list "show" of the configuration.
    void setUp(int pictures, const std::string &config)
    {
        for (char name[] = "a.bmp"; name[0] < 'a' + pictures; name[0]++) {
            ASSERT_TRUE(writeFile(dir.path() + "/" + name, makeBMP(2, 2, std::vector<uint32_t>(4, 0xFF0000), 24)));
            File *f = new File();
            f->name.set(name);
            f->diskName.set(name);
            f->fileType = FILE_BMP;
            f->loose = true;
            Tree *root = g_container.root;
            Tree::insertInto(root, f);
            g_container.root = static_cast<File *>(root);
        }
        g_magazine_config.reset();
        g_magazine_config.parse(reinterpret_cast<const uint8_t *>(config.data()), config.size());
        list = Tree::findAs<ImageList>(g_magazine_config.imageLists, "show");
        ASSERT_NE(nullptr, list);
        sys.clearCalls();
    }
};

TEST_F(SlideShow, PicturesFollowInOrderEachForItsTimeAndTheListRewinds)
{
    setUp(2, "<imagelist name=show><image file=a.bmp time=1000><image file=b.bmp time=3000></imagelist>");
    ASSERT_TRUE(list->step());
    EXPECT_TRUE(sys.called("strech 0 0 640 480"));
    EXPECT_TRUE(sys.called("flip 0 0 0"));
    EXPECT_TRUE(sys.called("start_timer 40 1000"));
    // The shown picture is released, the next one is preloaded.
    EXPECT_EQ(nullptr, list->first->image);
    EXPECT_NE(nullptr, list->first->next->image);
    EXPECT_EQ(1, sys.liveImages);
    ASSERT_TRUE(list->step());
    EXPECT_TRUE(sys.called("start_timer 40 3000"));
    EXPECT_EQ(0, sys.liveImages);
    EXPECT_FALSE(list->step());
    EXPECT_EQ(nullptr, list->current);
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

TEST_F(SlideShow, TheUsersSongIsSlotZeroAndLoops)
{
    sys.strings[USER_STRING_SONG] = "mine.ogg";
    g_magazine_config.reset();
    EXPECT_STREQ("mine.ogg", g_playlist.songs[0].c_str());
    EXPECT_EQ(1, g_playlist.loop[0]);
    EXPECT_EQ(0, g_playlist.noloop[0]);
}

} // namespace
