#include <gtest/gtest.h>

#include <random>

#include "PictureDecoders.h"
#include "PictureWriters.h"
#include "Strings.h"

namespace {

std::vector<uint32_t> pattern(int w, int h, int colours)
{
    static const uint32_t palette[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF,
                                       0x000000, 0x123456, 0xABCDEF, 0x808080};
    std::vector<uint32_t> p((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p[(size_t)y * w + x] = palette[(x * 3 + y * 5) % colours];
    return p;
}

TEST(BMPDecoder, EveryDepthAndBothRowOrdersGiveTheSamePixels)
{
    struct Case { int bits, colours; } cases[] = {{1, 2}, {4, 8}, {8, 8}, {24, 8}};
    for (auto c : cases) {
        for (int w : {1, 5, 9, 33}) {
            auto pixels = pattern(w, 7, c.colours);
            for (bool topDown : {false, true}) {
                DecodedPicture pic;
                auto file = makeBMP(w, 7, pixels, c.bits, topDown);
                ASSERT_TRUE(decodeBMP(file.data(), file.size(), pic)) << c.bits << " " << w;
                EXPECT_EQ(pic.width, w);
                EXPECT_EQ(pic.height, 7);
                EXPECT_EQ(pic.pixels, pixels) << "bits " << c.bits << " width " << w << " topDown " << topDown;
            }
        }
    }
    // Red stays red: the file holds blue first, as a BMP does, and decodes
    // to red (0xFF0000) above.
    auto red = makeBMP(1, 1, {0xFF0000}, 24);
    EXPECT_EQ(red[54], 0x00);
    EXPECT_EQ(red[56], 0xFF);
}

TEST(BMPDecoder, RefusesImpossibleHeadersAndTruncation)
{
    auto good = makeBMP(4, 4, pattern(4, 4, 8), 8);
    DecodedPicture pic;
    auto bad = good;
    bad[0] = 'X';
    EXPECT_FALSE(decodeBMP(bad.data(), bad.size(), pic));
    bad = good;
    bad[28] = 16; // unsupported depth
    EXPECT_FALSE(decodeBMP(bad.data(), bad.size(), pic));
    // Header fields at their offsets: height 0, width -1, INT_MIN height,
    // pixel bits past the end, and an absurd width and height together.
    const std::vector<std::pair<size_t, uint32_t>> cases[] = {
        {{22, 0}}, {{18, 0xFFFFFFFFu}}, {{22, 0x80000000u}}, {{10, 0xFFFFFFF0u}},
        {{18, 1u << 30}, {22, 1u << 30}}};
    for (const auto &fields : cases) {
        bad = good;
        for (const auto &f : fields)
            writeLE32(&bad[f.first], f.second);
        EXPECT_FALSE(decodeBMP(bad.data(), bad.size(), pic)) << fields[0].first << " " << fields[0].second;
    }
    for (size_t cut = 0; cut < good.size(); cut += 7)
        EXPECT_FALSE(decodeBMP(good.data(), cut, pic)) << cut;
}

TEST(BMPDecoder, PaletteIndexesOutsideThePaletteAreBlack)
{
    auto file = makeBMP(2, 1, {0xFF0000, 0x00FF00}, 8);
    // Shrink the palette to one entry by moving the pixel bits earlier.
    std::vector<uint8_t> small(file.begin(), file.begin() + 54 + 4);
    small.push_back(0);
    small.push_back(200); // index 200: no such entry
    small.push_back(0);
    small.push_back(0);
    writeLE32(&small[10], 58);
    DecodedPicture pic;
    ASSERT_TRUE(decodeBMP(small.data(), small.size(), pic));
    EXPECT_EQ(pic.pixels[0], 0xFF0000u);
    EXPECT_EQ(pic.pixels[1], 0u);
}

TEST(MaskDecoder, LighterColourIsTransparentWhateverThePaletteOrder)
{
    std::vector<bool> set = {true, false, false, false, false, false, false, false, false,
                             false, false, false, false, false, false, false, false, true};
    for (auto order : {std::make_pair(0x000000u, 0xFFFFFFu), std::make_pair(0xFFFFFFu, 0x000000u)}) {
        // Pixels marked "set" use palette entry 1.
        auto file = makeMaskBMP(9, 2, set, order.first, order.second);
        std::vector<uint8_t> bits;
        ASSERT_TRUE(decodeMask(file.data(), file.size(), 9, 2, bits));
        ASSERT_EQ(bits.size(), 8u); // 4 bytes per row for width 9
        bool entry1Lighter = order.second > order.first;
        EXPECT_EQ((bits[0] & 0x80) != 0, entry1Lighter);
        EXPECT_EQ((bits[4 + 1] & 0x80) != 0, entry1Lighter); // pixel (8,1)
        EXPECT_EQ((bits[0] & 0x40) != 0, !entry1Lighter);
    }
}

TEST(MaskDecoder, RefusesMasksThatDoNotFit)
{
    std::vector<bool> set(16, false);
    auto file = makeMaskBMP(4, 4, set);
    std::vector<uint8_t> bits;
    EXPECT_FALSE(decodeMask(file.data(), file.size(), 5, 4, bits));
    EXPECT_FALSE(decodeMask(file.data(), file.size() - 10, 4, 4, bits));
    auto colour = makeBMP(4, 4, std::vector<uint32_t>(16, 0), 8);
    EXPECT_FALSE(decodeMask(colour.data(), colour.size(), 4, 4, bits));
}

TEST(JPEGDecoder, DecodesColourAndGreyToRGB)
{
    auto pixels = pattern(16, 8, 1); // all red
    auto file = makeJPEG(16, 8, pixels, 100);
    DecodedPicture pic;
    ASSERT_TRUE(decodeJPEG(file.data(), file.size(), false, pic));
    ASSERT_EQ(pic.width, 16);
    uint32_t p = pic.pixels[5];
    EXPECT_GT((p >> 16) & 0xFF, 0xF0u);
    EXPECT_LT((p >> 8) & 0xFF, 0x10u);
    EXPECT_LT(p & 0xFF, 0x10u);
    auto grey = makeJPEG(8, 8, std::vector<uint32_t>(64, 0x808080), 100, true);
    ASSERT_TRUE(decodeJPEG(grey.data(), grey.size(), true, pic));
    EXPECT_EQ((pic.pixels[0] >> 16) & 0xFF, pic.pixels[0] & 0xFF);
}

TEST(JPEGDecoder, GarbageAndTruncationNeverCrash)
{
    auto file = makeJPEG(64, 64, pattern(64, 64, 8), 80);
    DecodedPicture pic;
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
}

TEST(JPEGDecoder, RefusesHugeDimensions)
{
    auto file = makeJPEG(8, 8, pattern(8, 8, 2), 90);
    // Patch the frame header (SOF0) to claim 60000 x 60000.
    for (size_t i = 0; i + 8 < file.size(); i++) {
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {
            file[i + 5] = 0xEA;
            file[i + 6] = 0x60;
            file[i + 7] = 0xEA;
            file[i + 8] = 0x60;
            break;
        }
    }
    DecodedPicture pic;
    EXPECT_FALSE(decodeJPEG(file.data(), file.size(), false, pic));
}

} // namespace
