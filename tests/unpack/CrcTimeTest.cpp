#include <gtest/gtest.h>

#include "Unpack.h"

#include <vector>

TEST(Crc32, CheckValueEmptyRangeAndPieces)
{
    EXPECT_EQ(0xCBF43926u, ~crc32(0xFFFFFFFFu, "123456789", 9));
    EXPECT_EQ(0xCBF43926u, ~crc32(crc32(crc32(0xFFFFFFFFu, "1", 1), "2345", 4), "6789", 4));
    EXPECT_EQ(0x12345678u, crc32(0x12345678u, "x", 0));
}

TEST(DosTime, FieldsPassThroughUnchecked)
{
    auto fields = [](uint32_t dos) {
        DosTime t;
        t.setDos(dos);
        return std::vector<uint32_t>{t.year, t.month, t.day, t.hour, t.minute, t.second, t.remainder};
    };
    EXPECT_EQ((std::vector<uint32_t>{2107, 15, 31, 31, 63, 62, 0}), fields(0xFFFFFFFFu));
    EXPECT_EQ((std::vector<uint32_t>{2024, 3, 15, 13, 45, 30, 0}),
              fields(((2024u - 1980) << 25) | (3u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 15u));
}

TEST(UnpackErrors, MemoryErrorCountsAndThrowsEight)
{
    g_unpackErrors.reset();
    int thrown = 0;
    try { g_unpackErrors.memoryError(); } catch (int code) { thrown = code; }
    EXPECT_EQ(8, thrown);
    EXPECT_EQ(8, g_unpackErrors.exitCode);
    EXPECT_EQ(1, g_unpackErrors.errorCount);
    g_unpackErrors.reset();
    EXPECT_EQ(0, g_unpackErrors.errorCount);
}

TEST(UnpackIo, ReadAndWriteStopAtTheirEnds)
{
    uint8_t src[5] = { 1, 2, 3, 4, 5 };
    uint8_t dst[4] = { 0, 0, 0, 0 };
    UnpackIo io = { src, 5, dst, 3 };
    uint8_t buf[8];
    EXPECT_EQ(3, io.readInput(buf, 3));
    EXPECT_EQ(2, io.readInput(buf, 8));
    EXPECT_EQ(4, buf[0]);
    EXPECT_EQ(0, io.readInput(buf, 8));
    for (int n : { 2, 5, 1 })
        io.writeBytes(src, n);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 1, 0}), std::vector<uint8_t>(dst, dst + 4));
}
