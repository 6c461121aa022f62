#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "PictureDecoders.h"
#include "PictureWriters.h"
#include "Strings.h"

namespace {

std::vector<uint32_t> pattern(int w, int h, int colours)
{
    static const uint32_t palette[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0, 0x123456, 0xABCDEF, 0x808080};
    std::vector<uint32_t> p((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p[(size_t)y * w + x] = palette[(x * 3 + y * 5) % colours];
    return p;
}

TEST(BMPDecoder, EveryDepthAndBothRowOrdersGiveTheSamePixels)
{
    for (auto [bits, colours] : {std::pair{1, 2}, {4, 8}, {8, 8}, {24, 8}})
        for (int w : {1, 5, 9, 33})
            for (bool topDown : {false, true}) {
                auto pixels = pattern(w, 7, colours);
                auto file = makeBMP(w, 7, pixels, bits, topDown);
                DecodedPicture pic;
                ASSERT_TRUE(decodeBMP(file.data(), file.size(), pic)) << bits << " " << w;
                EXPECT_EQ(pic.width * 100 + pic.height, w * 100 + 7);
                EXPECT_EQ(pic.pixels, pixels) << "bits " << bits << " width " << w << " topDown " << topDown;
                // The last row needs only its pixel bytes, not its padding.
                file.resize(file.size() - (4 - (w * bits + 7) / 8 % 4) % 4);
                ASSERT_TRUE(decodeBMP(file.data(), file.size(), pic)) << bits << " " << w << " unpadded";
                EXPECT_EQ(pic.pixels, pixels) << "bits " << bits << " width " << w << " unpadded";
                file.pop_back(); // a pixel byte missing
                EXPECT_FALSE(decodeBMP(file.data(), file.size(), pic)) << bits << " " << w;
            }
    // Red stays red: the file holds blue first, as a BMP does.
    auto red = makeBMP(1, 1, {0xFF0000}, 24);
    EXPECT_TRUE(red[54] == 0x00 && red[56] == 0xFF);
}

TEST(BMPDecoder, RefusesImpossibleHeadersAndTruncation)
{
    auto good = makeBMP(4, 4, pattern(4, 4, 8), 8);
    DecodedPicture pic;
    // Header fields at their offsets: a bad signature, an unsupported depth, height 0,
    // width -1, INT_MIN height, pixel bits past the end, an absurd width and height.
    const std::vector<std::pair<size_t, uint32_t>> cases[] = {
        {{0, 0x4D58}}, {{28, 16}}, {{22, 0}}, {{18, 0xFFFFFFFFu}}, {{22, 0x80000000u}}, {{10, 0xFFFFFFF0u}},
        {{18, 1u << 30}, {22, 1u << 30}}};
    for (const auto &fields : cases) {
        auto bad = good;
        for (const auto &f : fields)
            if (f.first == 0 || f.first == 28)
                bad[f.first] = (uint8_t)f.second;
            else
                writeLE32(&bad[f.first], f.second);
        EXPECT_FALSE(decodeBMP(bad.data(), bad.size(), pic)) << fields[0].first << " " << fields[0].second;
    }
    for (size_t cut = 0; cut < good.size(); cut += 7)
        EXPECT_FALSE(decodeBMP(good.data(), cut, pic)) << cut;
    // Palette indexes outside the palette are black: one entry, then index 200.
    auto file = makeBMP(2, 1, {0xFF0000, 0x00FF00}, 8);
    std::vector<uint8_t> small(file.begin(), file.begin() + 54 + 4);
    small.insert(small.end(), {0, 200, 0, 0});
    writeLE32(&small[10], 58);
    ASSERT_TRUE(decodeBMP(small.data(), small.size(), pic));
    EXPECT_EQ(pic.pixels, (std::vector<uint32_t>{0xFF0000u, 0u}));
}

// checkBMP says OK exactly for what decodeBMP shows as drawn: a longer
// header of the same fields is read right; compressed bits and an OS/2
// header are read as if they were neither.
TEST(BMPDecoder, CheckNamesWhatIsRefusedOrMisread)
{
    auto good = makeBMP(4, 4, pattern(4, 4, 8), 8);
    const struct { const char *what; size_t at; uint32_t value; PictureFault fault; } cases[] = {
        {"as written", 0, 0, PICTURE_OK},
        {"32 bits", 28, 32, PICTURE_DEPTH},
        {"RLE8", 30, 1, PICTURE_COMPRESSED},
        {"OS/2 header", 14, 12, PICTURE_OLD_HEADER},
        {"height 0", 22, 0, PICTURE_SIZE},
        {"bits past the end", 10, 0xFFFFFF, PICTURE_SHORT},
    };
    DecodedPicture pic;
    for (const auto &c : cases) {
        auto file = good;
        if (c.at)
            writeLE32(&file[c.at], c.value);
        EXPECT_EQ(checkBMP(file.data(), file.size()), c.fault) << c.what;
    }
    // A V5 header (124 bytes) before the same palette and bits shows as drawn.
    auto v5 = good;
    v5.insert(v5.begin() + 54, 124 - 40, 0);
    writeLE32(&v5[14], 124);
    writeLE32(&v5[10], readLE32(&v5[10]) + 124 - 40);
    ASSERT_EQ(checkBMP(v5.data(), v5.size()), PICTURE_OK);
    ASSERT_TRUE(decodeBMP(v5.data(), v5.size(), pic));
    EXPECT_EQ(pic.pixels, pattern(4, 4, 8));
}

TEST(MaskDecoder, LighterColourIsTransparentAndMasksMustFit)
{
    std::vector<bool> set(18, false);
    set[0] = set[17] = true; // pixels marked "set" use palette entry 1
    std::vector<uint8_t> bits;
    for (auto [first, second] : {std::pair{0x000000u, 0xFFFFFFu}, {0xFFFFFFu, 0x000000u}}) {
        auto file = makeMaskBMP(9, 2, set, first, second);
        ASSERT_TRUE(decodeMask(file.data(), file.size(), 9, 2, bits));
        ASSERT_EQ(bits.size(), 8u); // 4 bytes per row for width 9
        // Pixels (0,0) and (8,1), then (1,0).
        int lighter = second > first;
        EXPECT_EQ((std::vector<int>{!!(bits[0] & 0x80), !!(bits[5] & 0x80), !!(bits[0] & 0x40)}),
                  (std::vector<int>{lighter, lighter, !lighter}));
        // The last row stored (the top one) needs only its two bytes of pixels.
        std::vector<uint8_t> unpadded;
        file.resize(file.size() - 2);
        ASSERT_TRUE(decodeMask(file.data(), file.size(), 9, 2, unpadded));
        unpadded[2] = bits[2], unpadded[3] = bits[3]; // its padding means nothing
        EXPECT_EQ(unpadded, bits);
        EXPECT_FALSE(decodeMask(file.data(), file.size() - 1, 9, 2, unpadded));
    }
    auto file = makeMaskBMP(4, 4, std::vector<bool>(16, false));
    auto colour = makeBMP(4, 4, std::vector<uint32_t>(16, 0), 8);
    EXPECT_FALSE(decodeMask(file.data(), file.size(), 5, 4, bits));
    EXPECT_FALSE(decodeMask(file.data(), file.size() - 10, 4, 4, bits));
    EXPECT_FALSE(decodeMask(colour.data(), colour.size(), 4, 4, bits));
}

TEST(JPEGDecoder, DecodesColourAndGreyToRGBAndSurvivesDamage)
{
    auto red = makeJPEG(16, 8, pattern(16, 8, 1), 100);
    DecodedPicture pic;
    ASSERT_TRUE(decodeJPEG(red.data(), red.size(), false, pic));
    ASSERT_EQ(pic.width, 16);
    uint32_t p = pic.pixels[5];
    EXPECT_TRUE(((p >> 16) & 0xFF) > 0xF0 && ((p >> 8) & 0xFF) < 0x10 && (p & 0xFF) < 0x10) << std::hex << p;
    auto grey = makeJPEG(8, 8, std::vector<uint32_t>(64, 0x808080), 100, true);
    ASSERT_TRUE(decodeJPEG(grey.data(), grey.size(), true, pic));
    EXPECT_EQ((pic.pixels[0] >> 16) & 0xFF, pic.pixels[0] & 0xFF);
    auto file = makeJPEG(64, 64, pattern(64, 64, 8), 80);
    // A truncated picture still decodes (the missing part is filled), a cut
    // header fails; neither crashes, and decoding twice is fine.
    for (size_t cut : {(size_t)2, (size_t)20, file.size() / 2, file.size() - 2}) {
        decodeJPEG(file.data(), cut, false, pic);
        decodeJPEG(file.data(), cut, false, pic);
    }
    std::mt19937 rng(7);
    for (int i = 0; i < 200; i++) {
        auto copy = file;
        for (int k = 0; k < 4; k++)
            copy[rng() % copy.size()] ^= (uint8_t)(1 + rng() % 255);
        decodeJPEG(copy.data(), copy.size(), false, pic);
    }
    std::vector<uint8_t> junk(300, 0xFF);
    EXPECT_FALSE(decodeJPEG(junk.data(), junk.size(), false, pic));
    // A frame header (SOF0) claiming 60000 x 60000 is refused.
    for (size_t i = 0; i + 8 < red.size(); i++)
        if (red[i] == 0xFF && red[i + 1] == 0xC0) {
            red[i + 5] = red[i + 7] = 0xEA;
            red[i + 6] = red[i + 8] = 0x60;
            break;
        }
    EXPECT_FALSE(decodeJPEG(red.data(), red.size(), false, pic));
}

TEST(JPEGDecoder, CMYKAndYCCKShowInTheirColours)
{
    // Inks 0xCCMMYYKK and the colour they print.
    const struct { uint32_t ink, rgb; } cases[] = {
        {0x00FFFF00, 0xFF0000}, {0xFF00FF00, 0x00FF00}, {0x00000080, 0x7F7F7F}, {0x00000000, 0xFFFFFF}};
    for (bool ycck : {false, true})
        for (const auto &c : cases) {
            auto file = makeInkJPEG(16, 16, c.ink, ycck);
            DecodedPicture pic;
            ASSERT_TRUE(decodeJPEG(file.data(), file.size(), false, pic)) << ycck;
            uint32_t p = pic.pixels[17];
            for (int shift : {16, 8, 0})
                EXPECT_NEAR((int)(p >> shift & 0xFF), (int)(c.rgb >> shift & 0xFF), 6)
                    << std::hex << c.ink << " ycck " << ycck << " gives " << p;
        }
}

// Smooth colours (each channel a triangle wave changing by at most 2 a
// pixel), so that a shrunk decode can be held against a box filter.
uint32_t smoothColour(int x, int y)
{
    auto wave = [](int v) { v %= 510; return (uint32_t)(v < 255 ? v : 509 - v); };
    return wave(x) << 16 | wave(2 * y) << 8 | wave(x + y);
}

// Makes the frame header (SOF0 or SOF2) of a JPEG claim another size.
void claimSize(std::vector<uint8_t> &file, int width, int height)
{
    for (size_t i = 0; i + 8 < file.size(); i++)
        if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) {
            file[i + 5] = (uint8_t)(height >> 8), file[i + 6] = (uint8_t)height;
            file[i + 7] = (uint8_t)(width >> 8), file[i + 8] = (uint8_t)width;
            return;
        }
    ADD_FAILURE() << "no frame header";
}

TEST(JPEGDecoder, AShrunkDecodeIsTheWholeOneBoxFilteredAtLibjpegsSize)
{
    const int w = 203, h = 77; // sides that do not divide: shrunk sides round up
    auto file = makeJPEGOf(w, h, smoothColour, 95);
    DecodedPicture whole, pic;
    ASSERT_TRUE(decodeJPEG(file.data(), file.size(), false, whole));
    int size = 0, rows = 0;
    ASSERT_TRUE(readJpegSize(file.data(), file.size(), size, rows));
    EXPECT_EQ(std::make_pair(size, rows), std::make_pair(w, h));
    const struct { int shrink, width, height; } cases[] = {{1, 203, 77}, {2, 102, 39}, {4, 51, 20}, {8, 26, 10}};
    for (const auto &c : cases) {
        ASSERT_TRUE(decodeJPEG(file.data(), file.size(), false, pic, c.shrink)) << c.shrink;
        ASSERT_EQ(std::make_pair(pic.width, pic.height), std::make_pair(c.width, c.height)) << c.shrink;
        int worst = 0;
        for (int y = 0; y < h / c.shrink; y++)     // blocks inside the picture
            for (int x = 0; x < w / c.shrink; x++)
                for (int shift : {16, 8, 0}) {
                    int sum = 0;
                    for (int v = 0; v < c.shrink; v++)
                        for (int u = 0; u < c.shrink; u++)
                            sum += whole.pixels[(size_t)(y * c.shrink + v) * w + x * c.shrink + u] >> shift & 0xFF;
                    int mean = (sum + c.shrink * c.shrink / 2) / (c.shrink * c.shrink);
                    int got = pic.pixels[(size_t)y * pic.width + x] >> shift & 0xFF;
                    worst = std::max(worst, std::abs(got - mean));
                }
        EXPECT_LE(worst, 4) << "shrink " << c.shrink;
    }
    EXPECT_FALSE(decodeJPEG(file.data(), file.size(), false, pic, 3));
    std::vector<uint8_t> junk(300, 0xFF);
    EXPECT_FALSE(readJpegSize(junk.data(), junk.size(), size, rows));
}

// A progressive JPEG keeps every coefficient while it is decoded, shrunk or
// not: a header claiming 40000 x 12000 asks for 1.4 GB, which a shrunk
// decode refuses at once instead of allocating it.
TEST(JPEGDecoder, AShrunkDecodeRefusesTheMemoryAHugeProgressiveHeaderClaims)
{
    auto file = makeJPEGOf(64, 64, smoothColour, 90, true);
    DecodedPicture pic;
    ASSERT_TRUE(decodeJPEG(file.data(), file.size(), false, pic, 8));
    claimSize(file, 40000, 12000);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(decodeJPEG(file.data(), file.size(), false, pic, 8));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

} // namespace
