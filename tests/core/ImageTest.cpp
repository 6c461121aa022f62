#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <set>
#include <string>

#include "ANIImage.h"
#include "Browser.h"
#include "FakeSystem.h"
#include "File.h"
#include "LayoutRig.h"
#include "LooseFiles.h"
#include "MagazineConfig.h"
#include "Image.h"
#include "PictureDecoders.h"
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

// Smooth colours, so that a shrunk decode can be held against a box filter.
uint32_t smoothColour(int x, int y)
{
    auto wave = [](int v) { v %= 510; return (uint32_t)(v < 255 ? v : 509 - v); };
    return wave(x) << 16 | wave(2 * y) << 8 | wave(x + y);
}

// Just over what the display takes (32 Mi pixels), as small a JPEG as that
// allows; made once, as it takes a moment.
const int kLargeWidth = 8193, kLargeHeight = 4097;
const std::vector<uint8_t> &largePhotograph()
{
    static const std::vector<uint8_t> file = makeJPEGOf(kLargeWidth, kLargeHeight, smoothColour, 75);
    return file;
}

const char *const kOverTheLimit = ", over the limit of 33554432 pixels and 16000 a side";

// The surfaces asked for and the reports, in order.
std::vector<std::string> picturesAndReports(const FakeSystem &sys)
{
    std::vector<std::string> out;
    for (const std::string &call : sys.calls)
        if (call.rfind("create_image", 0) == 0 || call.rfind("report", 0) == 0)
            out.push_back(call);
    return out;
}

// A picture too large to show whole is decoded with libjpeg's scaling at the
// smallest scale that still covers its drawn size, or refused from its header.
TEST_F(ImageFixture, ALargeJPEGIsDecodedAtTheSmallestScaleCoveringItsDrawnSize)
{
    File *file = addLooseFile("large.jpg", largePhotograph());
    const std::string refused = "report The reader cannot show the picture 'large.jpg': it is too large: 8193x4097 pixels";
    const struct { const char *what; int drawnWidth, drawnHeight, width, height; } cases[] = {
        {"drawn at 400x300: 1/8", 400, 300, 1025, 513},
        {"1/8 of it exactly", 1025, 513, 1025, 513},
        {"a side past 1/8: 1/4", 1026, 300, 2049, 1025},
        {"past 1/4: 1/2, within the limit", 3000, 1100, 4097, 2049},
        {"at its own size: refused", 0, 0, 0, 0},
        {"its own height: no scale covers it", 400, 0, 0, 0},
        {"larger than 1/2 of it: refused", 4098, 300, 0, 0},
    };
    for (const auto &c : cases) {
        scope.sys.clearCalls();
        file->reported = false;
        auto start = std::chrono::steady_clock::now();
        Image *image = file->getImage(c.drawnWidth, c.drawnHeight);
        if (!c.width) {
            // From the header alone: nothing decoded, no surface asked for.
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.what;
            EXPECT_EQ(image, nullptr) << c.what;
            EXPECT_EQ(picturesAndReports(scope.sys), std::vector<std::string>{refused + kOverTheLimit}) << c.what;
            continue;
        }
        ASSERT_NE(image, nullptr) << c.what;
        const FakeSystem::FakeImage *surface = FakeSystem::image(image->surface);
        EXPECT_EQ(std::make_pair(surface->width, surface->height), std::make_pair(c.width, c.height)) << c.what;
        EXPECT_FALSE(scope.sys.called("report")) << c.what;
        // Each pixel is about the mean of the block it stands for.
        int shrink = (kLargeWidth + c.width - 1) / c.width, worst = 0;
        for (int y = 0; y < kLargeHeight / shrink; y += 37)
            for (int x = 0; x < kLargeWidth / shrink; x += 41)
                for (int shift : {16, 8, 0}) {
                    int sum = 0;
                    for (int v = 0; v < shrink; v++)
                        for (int u = 0; u < shrink; u++)
                            sum += smoothColour(x * shrink + u, y * shrink + v) >> shift & 0xFF;
                    int got = surface->pixels[(size_t)y * c.width + x] >> shift & 0xFF;
                    worst = std::max(worst, std::abs(got - sum / (shrink * shrink)));
                }
        EXPECT_LE(worst, 8) << c.what;
        EXPECT_TRUE(image->release());
    }
    // Drawn larger elsewhere, it is decoded again at the larger scale, which
    // then serves the smaller drawing too; the smaller decode lives on with
    // its holder.
    scope.sys.clearCalls();
    Image *small = file->getImage(400, 300), *large = file->getImage(3000, 1100), *again = file->getImage(400, 300);
    ASSERT_TRUE(small && large && small != large);
    EXPECT_EQ(again, large);
    EXPECT_EQ(picturesAndReports(scope.sys), (std::vector<std::string>{"create_image 1025 513", "create_image 4097 2049"}));
    EXPECT_TRUE(small->release());
    EXPECT_TRUE(file->cached);
    EXPECT_FALSE(large->release());
    EXPECT_TRUE(large->release());
    EXPECT_TRUE(!file->cached && scope.sys.liveImages == 0);
}

// Refused from the header with the real reason, once: pictures the display
// cannot take even shrunk, and a BMP too large (BMPs have no scaling).
TEST_F(ImageFixture, PicturesTooLargeEvenShrunkAreRefusedFromTheirHeader)
{
    auto huge = makeJPEG(16, 16, std::vector<uint32_t>(256, 0x336699));
    for (size_t i = 0; i + 8 < huge.size(); i++)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0xEA; // 60000 x 60000
            huge[i + 6] = huge[i + 8] = 0x60;
            break;
        }
    auto wide = makeJPEG(16, 8, std::vector<uint32_t>(128, 0x336699));
    for (size_t i = 0; i + 8 < wide.size(); i++)
        if (wide[i] == 0xFF && wide[i + 1] == 0xC0) {
            wide[i + 7] = 16001 >> 8; // 16001 x 8
            wide[i + 8] = 16001 & 0xFF;
            break;
        }
    // A 1-bit BMP of 8193 x 4097 pixels: 4 MB of bits.
    auto big = makeBMP(8, 1, std::vector<uint32_t>(8, 0), 1);
    writeLE32(&big[18], kLargeWidth);
    writeLE32(&big[22], kLargeHeight);
    big.resize(readLE32(&big[10]) + maskRowBytes(kLargeWidth) * kLargeHeight);
    const struct { const char *name; const std::vector<uint8_t> &bytes; int drawnWidth, drawnHeight; const char *why; } cases[] = {
        {"huge.jpg", huge, 400, 300, "60000x60000 pixels, still 7500x7500 at 1/8 of its size"},
        {"wide.jpg", wide, 400, 8, "16001x8 pixels"},
        {"big.bmp", big, 400, 300, "8193x4097 pixels"},
    };
    for (const auto &c : cases) {
        File *file = addLooseFile(c.name, c.bytes);
        scope.sys.clearCalls();
        auto start = std::chrono::steady_clock::now();
        for (int round = 0; round < 2; round++)
            EXPECT_EQ(file->getImage(c.drawnWidth, c.drawnHeight), nullptr) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.name;
        EXPECT_EQ(picturesAndReports(scope.sys), std::vector<std::string>{std::string("report The reader cannot show the picture '") +
                                                            c.name + "': it is too large: " + c.why + kOverTheLimit});
    }
}

// A progressive JPEG keeps all its coefficients however small it is drawn:
// one needing more than libjpeg may use is refused from its header for
// that, not as a JPEG it cannot decode; a sequential one of the same size
// is decoded shrunk.
TEST_F(ImageFixture, ABigProgressiveJPEGIsRefusedForTheMemoryItNeeds)
{
    auto progressive = claimJPEGSize(makeJPEGOf(64, 64, smoothColour, 90, true), 20000, 12500);
    auto sequential = claimJPEGSize(makeJPEGOf(64, 64, smoothColour, 90), 20000, 12500);
    EXPECT_EQ(fitPicture(FILE_JPEG, sequential.data(), sequential.size(), 500, 312).verdict, PictureFit::FITS);
    EXPECT_EQ(fitPicture(FILE_JPEG, progressive.data(), progressive.size(), 500, 312).shrink, 8);
    File *file = addLooseFile("big.jpg", progressive);
    EXPECT_EQ(file->getImage(500, 312), nullptr);
    EXPECT_EQ(picturesAndReports(scope.sys),
              std::vector<std::string>{"report The reader cannot show the picture 'big.jpg': it is too large to decode "
                                       "within the reader's memory limit: as a progressive JPEG of 20000x12500 pixels "
                                       "it needs 716 MiB at any scale, over 512 MiB"});
}

// What is drawn for a picture the display takes does not depend on its drawn size.
TEST_F(ImageFixture, APictureTheDisplayTakesIsDecodedWholeWhateverItsDrawnSize)
{
    auto bytes = makeJPEGOf(64, 32, smoothColour, 90);
    File *file = addLooseFile("small.jpg", bytes);
    DecodedPicture whole;
    ASSERT_TRUE(decodeJPEG(bytes.data(), bytes.size(), false, whole));
    Image *image = file->getImage(4, 4);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(FakeSystem::image(image->surface)->pixels, whole.pixels);
    image->release();
}

// The page's picture tag gives the drawn size the photograph is decoded for.
TEST(PictureNames, APageShowsALargePhotographAtItsDrawnSize)
{
    LayoutRig rig;
    addLooseFile("large.jpg", largePhotograph());
    std::vector<LaidToken> laid = rig.lay("<img file=large.jpg width=400 height=300>");
    ASSERT_EQ(laid.size(), 1u);
    EXPECT_TRUE(laid[0].kind == TOKEN_IMAGE && laid[0].width == 400 && laid[0].ascent == 300);
    EXPECT_EQ(picturesAndReports(rig.scope.sys), std::vector<std::string>{"create_image 1025 513"});
}

// A picture an article names that the magazine lacks, or a file of a kind the
// reader does not show, is named once, as one it cannot read is.
TEST(PictureNames, MissingPicturesAndOtherKindsAreNamedOnce)
{
    LayoutRig rig;
    addLooseFile("photo.jpeg", makeJPEG(4, 4, std::vector<uint32_t>(16, 0x00FF00)));
    addLooseFile("notes.txt", "words");
    addLooseFile("here.jpg", makeJPEG(4, 4, std::vector<uint32_t>(16, 0x00FF00)));
    const char *said[] = {
        "report The reader cannot show the picture 'gone.jpg': the magazine has no such file",
        "report The reader cannot show the picture 'photo.jpeg': it shows only .jpg, .bmp and .ani pictures",
        "report The reader cannot show the picture 'notes.txt': it shows only .jpg, .bmp and .ani pictures",
    };
    for (int round = 0; round < 2; round++)
        rig.lay("<img file=gone.jpg><img file=photo.jpeg>a<img file=GONE.jpg width=9><img file=notes.txt>"
                "<img file=here.jpg>");
    EXPECT_EQ(findPicture("photo.jpeg"), nullptr);
    EXPECT_EQ(findPicture(""), nullptr);
    for (const char *text : said)
        EXPECT_EQ(rig.scope.sys.count(text), 1u) << text;
    EXPECT_EQ(rig.scope.sys.count("report"), 3u);
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
