// Writers for test pictures: BMP files of every depth, 1-bit masks and JPEGs.
#ifndef MIRANDOL_PICTURE_WRITERS_H
#define MIRANDOL_PICTURE_WRITERS_H

#include <cstdint>
#include <functional>
#include <vector>

// pixels: width*height 0x00RRGGBB, rows top to bottom. bits: 1, 4, 8 or 24.
// For paletted depths the palette is built from the distinct colours.
std::vector<uint8_t> makeBMP(int width, int height, const std::vector<uint32_t> &pixels, int bits,
                             bool topDown = false);
// transparent[i] marks pixel i; palette entry 0/1 colours given.
std::vector<uint8_t> makeMaskBMP(int width, int height, const std::vector<bool> &set,
                                 uint32_t colour0 = 0x000000, uint32_t colour1 = 0xFFFFFF);
std::vector<uint8_t> makeJPEG(int width, int height, const std::vector<uint32_t> &pixels,
                              int quality = 95, bool grey = false);
// A JPEG whose pixel (x, y) is colour(x, y) (0x00RRGGBB), made a row at a
// time: for pictures too large to hold whole. Progressive on request.
std::vector<uint8_t> makeJPEGOf(int width, int height, const std::function<uint32_t(int x, int y)> &colour,
                                int quality = 90, bool progressive = false);
// The JPEG file with its frame header claiming width x height (nothing else
// changed): a picture too large to make, for checks that read the header.
std::vector<uint8_t> claimJPEGSize(std::vector<uint8_t> file, int width, int height);
// A JPEG of one ink colour 0xCCMMYYKK (0 no ink), stored as CMYK or YCCK
// with the samples inverted as Adobe writes them.
std::vector<uint8_t> makeInkJPEG(int width, int height, uint32_t ink, bool ycck);

#endif
