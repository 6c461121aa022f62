// Decoders of the magazine's still pictures (BMP, JPEG) and 1-bit BMP masks.
// They work on memory, check every bound and never read outside the data.
#ifndef MIRANDOL_PICTURE_DECODERS_H
#define MIRANDOL_PICTURE_DECODERS_H

#include <stddef.h>
#include <stdint.h>
#include <vector>

// Largest picture side and area accepted.
const int kMaxPictureSide = 16384;
const size_t kMaxPicturePixels = (size_t)8192 * 8192;

struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // width*height words 0x00RRGGBB, rows top to bottom
};

bool decodeBMP(const uint8_t *data, size_t size, DecodedPicture &out);
bool decodeJPEG(const uint8_t *data, size_t size, bool fastDct, DecodedPicture &out);

// Bytes per mask row: one bit per pixel, rows padded to 4 bytes.
inline size_t maskRowBytes(int width) { return (((size_t)width + 7) / 8 + 3) & ~(size_t)3; }

// Decodes a 1-bit BMP mask of exactly width x height (bottom-up). The result
// rows run top to bottom; a set bit marks a transparent pixel (the lighter of
// the two palette colours). False when the mask does not fit the picture.
bool decodeMask(const uint8_t *data, size_t size, int width, int height, std::vector<uint8_t> &bits);

#endif
