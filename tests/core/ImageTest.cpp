#include <gtest/gtest.h>

#include <unistd.h>

#include <set>
#include <string>

#include "ANIImage.h"
#include "Browser.h"
#include "FakeSystem.h"
#include "File.h"
#include "LooseFiles.h"
#include "MagazineConfig.h"
#include "Image.h"
#include "PictureWriters.h"
#include "TestDirs.h"
#include "containr.h"

namespace {

struct ImageFixture : ::testing::Test {
    ScopedWorkDir dir;
    FakeSystemScope scope;

    // A 24-bit picture of one colour, loose beside the magazine.
    static File *bmp(const char *name, int w, int h, uint32_t colour)
    {
        return addLooseFile(name, makeBMP(w, h, std::vector<uint32_t>(w * h, colour), 24));
    }
    void SetUp() override { g_container.root = nullptr; }
    void TearDown() override { dropLooseFiles(); }
};

TEST_F(ImageFixture, SharedByReferenceDecodedAgainAfterTheLastReleaseAndPointerNeverOutlivesIt)
{
    File *file = bmp("pic.bmp", 3, 2, 0xFF0000);
    file->hotspotX = 1;
    Image *a = file->getImage(), *b = file->getImage();
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a == b && a->references == 2);
    EXPECT_FALSE(a->release());
    EXPECT_TRUE(b->release());
    EXPECT_FALSE(file->cached);
    EXPECT_EQ(scope.sys.liveImages, 0);
    Image *late = file->getImage();
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(scope.sys.count("create_image"), 2u);
    EXPECT_EQ(FakeSystem::image(late->surface)->pixels[0], 0xFF0000u); // red arrives as red
    currentArticle = reinterpret_cast<Article *>(this);
    late->setAsPointer();
    late->setAsPointer(); // same surface: no second set_cursor
    EXPECT_EQ(scope.sys.count("set_cursor 1 0"), 1u);
    EXPECT_EQ(g_pointer_image, late);
    // A picture released after its File has gone leaves the File alone.
    dropLooseFiles();
    EXPECT_TRUE(late->release());
    EXPECT_TRUE(scope.sys.liveImages == 0 && !g_pointer_image && !g_pointer_surface);
    currentArticle = nullptr;
}

TEST_F(ImageFixture, MaskOfTheSameSizeIsUsedAnotherSizeIgnored)
{
    File *a = bmp("a.bmp", 4, 4, 0x00FF00);
    File *b = addLooseFile("b.jpg", makeJPEG(4, 4, std::vector<uint32_t>(16, 0x00FF00)));
    std::vector<bool> set(16, false);
    set[0] = true;
    addLooseFile("a.msk", makeMaskBMP(4, 4, set));
    addLooseFile("b.msk", makeMaskBMP(5, 5, std::vector<bool>(25, true)));
    Image *ia = a->getImage(), *ib = b->getImage();
    ASSERT_TRUE(ia && ib);
    const FakeSystem::FakeImage *sa = FakeSystem::image(ia->surface);
    ASSERT_EQ(sa->mask.size(), 16u); // 4 bytes per row
    EXPECT_TRUE(sa->mask[0] == 0x80 && sa->mask[4] == 0);
    EXPECT_TRUE(FakeSystem::image(ib->surface)->mask.empty());
    ia->release();
    ib->release();
}

TEST_F(ImageFixture, BrokenPicturesGiveNoImage)
{
    File *files[] = {addLooseFile("bad.bmp", "BMnonsense"), addLooseFile("bad.jpg", "\xFF\xD8garbage"),
                     addLooseFile("x.txt", "<article>"), addLooseFile("gone.bmp", "")};
    unlink("gone.bmp");
    for (File *f : files) {
        EXPECT_EQ(f->getImage(), nullptr) << f->name.c_str();
        EXPECT_FALSE(f->cached) << f->name.c_str();
    }
}

// Animated pointers: scripts p.ani and q.ani over three still frames a, b, c.
struct AnimationFixture : ImageFixture {
    File *frames[3], *p, *q;

    void SetUp() override
    {
        ImageFixture::SetUp();
        for (int i = 0; i < 3; i++)
            frames[i] = bmp((std::string(1, 'a' + i) + ".bmp").c_str(), 2, 2, 0x100000u * (i + 1));
        p = addLooseFile("p.ani", "");
        q = addLooseFile("q.ani", "");
        g_pointer_animation = {0, 0, 0};
        g_pointer_surface = nullptr;
        effects(true);
    }
    void TearDown() override { currentArticle = nullptr, effects(false), ImageFixture::TearDown(); }
    static void effects(bool on) { g_magazine_config.userFlags[USER_FLAG_EFFECTS - MagazineConfig::USER_FLAG_FIRST] = on; }
    ANIImage *load(const std::string &script, const std::string &other = "")
    {
        writeFile("p.ani", script);
        writeFile("q.ani", other);
        return static_cast<ANIImage *>(p->getImage());
    }
    // The frame letter shown after each of n ticks.
    std::string run(Image *pointer, int ticks)
    {
        std::string shown;
        for (int i = 0; i < ticks; i++) {
            pointer->advance();
            shown += '?';
            for (int k = 0; k < 3; k++)
                if (frames[k]->image && frames[k]->image->surface == g_pointer_surface)
                    shown.back() = (char)('a' + k);
        }
        return shown;
    }
};

TEST_F(AnimationFixture, EachFrameShowsForItsTicksPlusOneAndOnlyFrameZeroWithoutEffects)
{
    ANIImage *pointer = load("1 a.bmp\n1 b.bmp\n1 c.bmp\n");
    ASSERT_NE(pointer, nullptr);
    currentArticle = reinterpret_cast<Article *>(this);
    // From the reset state the first tick ends the zero-length start.
    EXPECT_EQ(run(pointer, 9), "bbccaabbc");
    EXPECT_EQ(g_pointer_image, pointer);
    effects(false);
    EXPECT_EQ(run(pointer, 4), "aaaa");
    EXPECT_TRUE(pointer->getFrame(0) == frames[0]->image && !pointer->getFrame(1));
    pointer->release();
}

// The pointers shown, read from the set_cursor calls: frame k of the
// pictures a, b, c carries the hot spot x = k + 1.
TEST_F(AnimationFixture, APointerOfFewerFramesTakesOverAtItsFirstFrame)
{
    for (int k = 0; k < 3; k++)
        frames[k]->hotspotX = k + 1;
    currentArticle = reinterpret_cast<Article *>(this);
    ANIImage *three = load("1 a.bmp\n1 b.bmp\n9 c.bmp\n", "9 b.bmp\n");
    Image *one = q->getImage();
    ASSERT_TRUE(three && one);
    auto shown = [&] {
        std::string letters;
        for (const std::string &call : scope.sys.calls)
            if (call.rfind("set_cursor ", 0) == 0)
                letters += (char)('a' + std::stoi(call.substr(11)) - 1);
        scope.sys.clearCalls();
        return letters;
    };
    run(three, 3);
    EXPECT_EQ(shown(), "bc");   // at frame 2, the long one
    one->setAsPointer();        // the pointer changes, to a one-frame one
    EXPECT_EQ(shown(), "b");
    EXPECT_EQ(g_pointer_image, one);
    run(g_pointer_image, 12);
    EXPECT_EQ(shown(), "");     // it stays
    one->release();
    three->release();
}

TEST_F(AnimationFixture, RandomDisplayTimesTakeEveryValueOfTheirRange)
{
    scope.sys.ticks = 123457;
    ANIImage *pointer = load("2-6 a.bmp\n5-7 b.bmp\n");
    ASSERT_NE(pointer, nullptr);
    for (auto [frame, times] : {std::pair{0, std::set<unsigned>{2, 3, 4, 5}}, {1, {5, 6}}}) { // 4 and 2 ticks
        std::set<unsigned> seen;
        for (int i = 0; i < 200; i++)
            seen.insert(pointer->getFrameDuration(frame));
        EXPECT_EQ(seen, times) << frame;
    }
    pointer->release();
}

TEST_F(AnimationFixture, ScriptLines)
{
    std::string many;
    for (int i = 0; i < 300; i++)
        many += "1 b.bmp\n";
    const struct { const char *name; std::string script, other; unsigned frames; } cases[] = { // 0 frames: no pointer
        {"zero time, no number and unknown pictures add nothing", "0 a.bmp\nx b.bmp\n2 gone.bmp\n3-3 c.bmp\n", "", 1},
        {"a script naming itself has no frames", "1 p.ani\n", "", 0},
        {"scripts naming each other have no frames", "1 q.ani\n", "1 p.ani\n", 0},
        {"a script frame is skipped, still frames stay", "1 q.ani\n1 a.bmp\n", "1 b.bmp\n", 1},
        {"an empty script", "", "", 0},
        {"the frame count is bounded", many, "", ANIImage::MAX_FRAMES},
    };
    for (const auto &c : cases) {
        ANIImage *img = load(c.script, c.other);
        EXPECT_EQ(img ? img->count : 0u, c.frames) << c.name;
        if (img)
            img->release();
        EXPECT_TRUE(!p->cached && !frames[1]->image) << c.name; // every frame reference went back
    }
}

} // namespace
