#include <gtest/gtest.h>

#include "Browser.h"
#include "FakeSystem.h"
#include "File.h"
#include "Image.h"
#include "PictureWriters.h"
#include "TestDirs.h"
#include "containr.h"

namespace {

File *looseFile(const char *name, uint32_t type)
{
    File *f = new File();
    f->name.set(name);
    f->diskName.set(name);
    f->fileType = type;
    f->loose = true;
    return f;
}

struct ImageFixture : ::testing::Test {
    ScopedWorkDir dir;
    FakeSystemScope scope;
    Tree *root = nullptr;

    void add(File *f) { Tree::insertInto(root, f); }
    void SetUp() override { g_container.root = nullptr; }
    void TearDown() override
    {
        g_container.root = nullptr;
        delete root;
    }
    void install() { g_container.root = static_cast<File *>(root); }
};

TEST_F(ImageFixture, SharedByReferenceAndDecodedAgainAfterTheLastRelease)
{
    std::vector<uint32_t> red(6, 0xFF0000);
    writeFile("pic.bmp", makeBMP(3, 2, red, 24));
    File *file = looseFile("pic.bmp", FILE_BMP);
    add(file);
    install();
    Image *a = file->getImage();
    ASSERT_NE(a, nullptr);
    Image *b = file->getImage();
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->references, 2);
    EXPECT_EQ(scope.sys.count("create_image"), 1u);
    EXPECT_FALSE(a->release());
    EXPECT_TRUE(b->release());
    EXPECT_FALSE(file->cached);
    EXPECT_EQ(scope.sys.liveImages, 0);
    Image *c = file->getImage();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(scope.sys.count("create_image"), 2u);
    // Red arrives at the platform as red.
    const FakeSystem::FakeImage *surface = FakeSystem::image(c->surface);
    EXPECT_EQ(surface->pixels[0], 0xFF0000u);
    c->release();

    // A picture released after its File has gone leaves the File alone.
    Image *late = file->getImage();
    ASSERT_NE(late, nullptr);
    g_container.root = nullptr;
    delete root;
    root = nullptr;
    EXPECT_TRUE(late->release());
    EXPECT_EQ(scope.sys.liveImages, 0);
}

TEST_F(ImageFixture, MaskOfTheSameSizeIsUsedAnotherSizeIgnored)
{
    std::vector<uint32_t> px(16, 0x00FF00);
    writeFile("a.bmp", makeBMP(4, 4, px, 24));
    writeFile("b.jpg", makeJPEG(4, 4, px));
    std::vector<bool> set(16, false);
    set[0] = true;
    writeFile("a.msk", makeMaskBMP(4, 4, set));
    std::vector<bool> other(25, true);
    writeFile("b.msk", makeMaskBMP(5, 5, other));
    File *a = looseFile("a.bmp", FILE_BMP);
    File *b = looseFile("b.jpg", FILE_JPEG);
    add(a);
    add(b);
    add(looseFile("a.msk", FILE_OTHER));
    add(looseFile("b.msk", FILE_OTHER));
    install();
    Image *ia = a->getImage();
    Image *ib = b->getImage();
    ASSERT_NE(ia, nullptr);
    ASSERT_NE(ib, nullptr);
    const FakeSystem::FakeImage *sa = FakeSystem::image(ia->surface);
    ASSERT_EQ(sa->mask.size(), 16u); // 4 bytes per row
    EXPECT_EQ(sa->mask[0], 0x80);
    EXPECT_EQ(sa->mask[4], 0x00);
    EXPECT_TRUE(FakeSystem::image(ib->surface)->mask.empty());
    ia->release();
    ib->release();
}

TEST_F(ImageFixture, BrokenPicturesGiveNoImage)
{
    writeFile("bad.bmp", std::string("BMnonsense"));
    writeFile("bad.jpg", std::string("\xFF\xD8garbage"));
    File *files[] = {looseFile("bad.bmp", FILE_BMP), looseFile("bad.jpg", FILE_JPEG),
                     looseFile("x.txt", FILE_TEXT), looseFile("gone.bmp", FILE_BMP)};
    for (File *f : files)
        add(f);
    install();
    for (File *f : files) {
        EXPECT_EQ(f->getImage(), nullptr) << f->name.c_str();
        EXPECT_FALSE(f->cached) << f->name.c_str();
    }
}

TEST_F(ImageFixture, PointerNeverOutlivesItsImage)
{
    writeFile("p.bmp", makeBMP(2, 2, std::vector<uint32_t>(4, 0xFFFFFF), 24));
    File *file = looseFile("p.bmp", FILE_BMP);
    file->hotspotX = 1;
    add(file);
    install();
    Article *shown = reinterpret_cast<Article *>(this);
    currentArticle = shown;
    Image *img = file->getImage();
    ASSERT_NE(img, nullptr);
    img->setAsPointer();
    img->setAsPointer(); // same surface: no second set_cursor
    EXPECT_EQ(scope.sys.count("set_cursor 1 0"), 1u);
    EXPECT_EQ(g_pointer_image, img);
    img->release();
    EXPECT_EQ(g_pointer_image, nullptr);
    EXPECT_EQ(g_pointer_surface, nullptr);
    currentArticle = nullptr;
}

} // namespace
