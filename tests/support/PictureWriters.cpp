#include "PictureWriters.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>

static void put16(std::vector<uint8_t> &v, size_t at, uint16_t x) { v[at] = (uint8_t)x; v[at + 1] = (uint8_t)(x >> 8); }
static void put32(std::vector<uint8_t> &v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; i++)
        v[at + i] = (uint8_t)(x >> (8 * i));
}

static std::vector<uint8_t> bmpFrame(int width, int height, int bits, const std::vector<uint32_t> &palette,
                                     size_t rowBytes, bool topDown)
{
    size_t paletteBytes = palette.size() * 4;
    size_t offBits = 14 + 40 + paletteBytes;
    std::vector<uint8_t> v(offBits + rowBytes * height, 0);
    v[0] = 'B';
    v[1] = 'M';
    put32(v, 2, (uint32_t)v.size());
    put32(v, 10, (uint32_t)offBits);
    put32(v, 14, 40);
    put32(v, 18, (uint32_t)width);
    put32(v, 22, (uint32_t)(topDown ? -height : height));
    put16(v, 26, 1);
    put16(v, 28, (uint16_t)bits);
    put32(v, 46, (uint32_t)palette.size());
    for (size_t i = 0; i < palette.size(); i++)
        put32(v, 54 + 4 * i, palette[i]);
    return v;
}

std::vector<uint8_t> makeBMP(int width, int height, const std::vector<uint32_t> &pixels, int bits, bool topDown)
{
    std::vector<uint32_t> palette;
    if (bits != 24) {
        for (uint32_t p : pixels)
            if (std::find(palette.begin(), palette.end(), p) == palette.end())
                palette.push_back(p);
        palette.resize((size_t)1 << bits, 0);
    }
    size_t rowBytes = (((size_t)width * bits + 31) / 32) * 4;
    std::vector<uint8_t> v = bmpFrame(width, height, bits, palette, rowBytes, topDown);
    size_t off = 14 + 40 + palette.size() * 4;
    for (int y = 0; y < height; y++) {
        int stored = topDown ? y : height - 1 - y;
        uint8_t *row = &v[off + stored * rowBytes];
        for (int x = 0; x < width; x++) {
            uint32_t p = pixels[(size_t)y * width + x];
            if (bits == 24) {
                row[3 * x] = (uint8_t)p;
                row[3 * x + 1] = (uint8_t)(p >> 8);
                row[3 * x + 2] = (uint8_t)(p >> 16);
                continue;
            }
            unsigned idx = (unsigned)(std::find(palette.begin(), palette.end(), p) - palette.begin());
            if (bits == 8)
                row[x] = (uint8_t)idx;
            else if (bits == 4)
                row[x / 2] |= (uint8_t)(idx << ((x & 1) ? 0 : 4));
            else
                row[x / 8] |= (uint8_t)(idx << (7 - (x & 7)));
        }
    }
    return v;
}

std::vector<uint8_t> makeMaskBMP(int width, int height, const std::vector<bool> &set, uint32_t colour0,
                                 uint32_t colour1)
{
    std::vector<uint32_t> palette = {colour0, colour1};
    size_t rowBytes = (((size_t)width + 31) / 32) * 4;
    std::vector<uint8_t> v = bmpFrame(width, height, 1, palette, rowBytes, false);
    size_t off = 14 + 40 + 8;
    for (int y = 0; y < height; y++) {
        uint8_t *row = &v[off + (height - 1 - y) * rowBytes];
        for (int x = 0; x < width; x++)
            if (set[(size_t)y * width + x])
                row[x / 8] |= (uint8_t)(0x80 >> (x & 7));
    }
    return v;
}

// Compresses height rows that row(y, bytes) fills with components samples
// per pixel in the colour space given, stored in the space given (unknown:
// libjpeg's choice, YCbCr for RGB).
template <class Row>
static std::vector<uint8_t> compress(int width, int height, int components, J_COLOR_SPACE in,
                                     J_COLOR_SPACE stored, int quality, Row row, bool progressive = false)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = (JDIMENSION)width;
    c.image_height = (JDIMENSION)height;
    c.input_components = components;
    c.in_color_space = in;
    jpeg_set_defaults(&c);
    if (stored != JCS_UNKNOWN)
        jpeg_set_colorspace(&c, stored);
    jpeg_set_quality(&c, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> bytes((size_t)width * components);
    while (c.next_scanline < c.image_height) {
        row((int)c.next_scanline, bytes.data());
        JSAMPROW r = bytes.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    free(buffer);
    return out;
}

std::vector<uint8_t> makeJPEG(int width, int height, const std::vector<uint32_t> &pixels, int quality, bool grey)
{
    J_COLOR_SPACE space = grey ? JCS_GRAYSCALE : JCS_RGB;
    return compress(width, height, grey ? 1 : 3, space, JCS_UNKNOWN, quality, [&](int y, uint8_t *row) {
        const uint32_t *src = &pixels[(size_t)y * width];
        for (int x = 0; x < width; x++) {
            if (grey) {
                row[x] = (uint8_t)(src[x] >> 8);
            } else {
                row[3 * x] = (uint8_t)(src[x] >> 16);
                row[3 * x + 1] = (uint8_t)(src[x] >> 8);
                row[3 * x + 2] = (uint8_t)src[x];
            }
        }
    });
}

std::vector<uint8_t> makeJPEGOf(int width, int height, const std::function<uint32_t(int x, int y)> &colour,
                                int quality, bool progressive)
{
    return compress(width, height, 3, JCS_RGB, JCS_UNKNOWN, quality, [&](int y, uint8_t *row) {
        for (int x = 0; x < width; x++) {
            uint32_t c = colour(x, y);
            row[3 * x] = (uint8_t)(c >> 16);
            row[3 * x + 1] = (uint8_t)(c >> 8);
            row[3 * x + 2] = (uint8_t)c;
        }
    }, progressive);
}

std::vector<uint8_t> makeInkJPEG(int width, int height, uint32_t ink, bool ycck)
{
    return compress(width, height, 4, JCS_CMYK, ycck ? JCS_YCCK : JCS_CMYK, 100, [&](int, uint8_t *row) {
        for (int i = 0; i < 4 * width; i++)
            row[i] = (uint8_t)(255 - ((ink >> (24 - 8 * (i % 4))) & 0xFF));
    });
}

std::vector<uint8_t> claimJPEGSize(std::vector<uint8_t> file, int width, int height)
{
    for (size_t i = 0; i + 8 < file.size(); i++)
        if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) {
            file[i + 5] = (uint8_t)(height >> 8), file[i + 6] = (uint8_t)height;
            file[i + 7] = (uint8_t)(width >> 8), file[i + 8] = (uint8_t)width;
            break;
        }
    return file;
}
