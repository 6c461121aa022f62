#include "PictureDecoders.h"

#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include <jpeglib.h>

#include "Strings.h"

namespace {

bool acceptableSize(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           (size_t)width * (size_t)height <= kMaxPicturePixels;
}

size_t bmpRowBytes(int width, int bits)
{
    return (((size_t)width * (size_t)bits + 31) / 32) * 4;
}

// The bytes a row's pixels use, without the padding to four bytes.
size_t bmpPixelBytes(int width, int bits)
{
    return ((size_t)width * (size_t)bits + 7) / 8;
}

// Whether the pixel bits lie inside the data. Every row but the last is
// read with its padding; the last row needs only its pixel bytes (writers
// often leave its padding out).
bool bitsFit(const BmpInfo &h, size_t size, int width, int64_t height, int bits)
{
    uint64_t needed = (uint64_t)bmpRowBytes(width, bits) * (uint64_t)(height - 1) + bmpPixelBytes(width, bits);
    return h.offBits <= size && (uint64_t)(size - h.offBits) >= needed;
}

// The refusals of decodeBMP, in the order it meets them.
PictureFault bmpRefusal(const uint8_t *data, size_t size, BmpInfo &h)
{
    if (!readBmpInfo(data, size, h))
        return PICTURE_NOT_BMP;
    int bits = h.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return PICTURE_DEPTH;
    if (h.height == 0 || h.height == INT32_MIN)
        return PICTURE_SIZE;
    int64_t width = h.width;
    int64_t height = h.height < 0 ? -(int64_t)h.height : h.height;
    if (!acceptableSize(width, height))
        return PICTURE_SIZE;
    if (!bitsFit(h, size, (int)width, height, bits))
        return PICTURE_SHORT;
    return PICTURE_OK;
}

} // namespace

bool readBmpInfo(const uint8_t *data, size_t size, BmpInfo &h)
{
    if (!data || size < 30 || data[0] != 'B' || data[1] != 'M')
        return false;
    h.offBits = readLE32(data + 10);
    h.infoSize = readLE32(data + 14);
    h.width = (int32_t)readLE32(data + 18);
    h.height = (int32_t)readLE32(data + 22);
    h.bitCount = readLE16(data + 28);
    h.compression = size >= 34 ? readLE32(data + 30) : 0;
    return true;
}

PictureFault checkBMP(const uint8_t *data, size_t size)
{
    BmpInfo h;
    PictureFault refusal = bmpRefusal(data, size, h);
    // The cause before its symptoms: an OS/2 header misplaces every later
    // field, and compressed bits are shorter than the rows they stand for.
    if (refusal == PICTURE_NOT_BMP)
        return refusal;
    if (h.infoSize < 40)
        return PICTURE_OLD_HEADER;
    if (refusal == PICTURE_DEPTH)
        return refusal;
    if (h.compression != 0)
        return PICTURE_COMPRESSED;
    return refusal;
}

std::string bmpFaultText(PictureFault fault, const BmpInfo &info)
{
    int64_t rows = info.height < 0 ? -(int64_t)info.height : info.height;
    switch (fault) {
    case PICTURE_NOT_BMP:
        return "it does not start with \"BM\"";
    case PICTURE_OLD_HEADER:
        return "its header is not in Windows 3 format";
    case PICTURE_COMPRESSED:
        return "its pixels are compressed";
    case PICTURE_SHORT:
        return "its pixel data is cut short";
    case PICTURE_DEPTH:
        return std::to_string(info.bitCount) + " bits per pixel (it reads 1, 4, 8 or 24)";
    case PICTURE_SIZE:
        return "it is " + std::to_string(info.width) + "x" + std::to_string(rows) + " pixels (at most " +
               std::to_string(kMaxPictureSide) + " a side and " + std::to_string(kMaxPicturePixels) + " in all)";
    default:
        return "";
    }
}

bool decodeBMP(const uint8_t *data, size_t size, DecodedPicture &out)
{
    BmpInfo h;
    if (bmpRefusal(data, size, h) != PICTURE_OK)
        return false;
    int bits = h.bitCount;
    int64_t width = h.width;
    int64_t height = h.height < 0 ? -(int64_t)h.height : h.height;
    size_t rowBytes = bmpRowBytes((int)width, bits);

    // Palette: between the info header and the pixel bits, inside the data.
    uint32_t palette[256] = {0};
    unsigned paletteCount = 0;
    if (bits != 24) {
        uint64_t palStart = 14 + (uint64_t)h.infoSize;
        uint64_t palEnd = h.offBits;
        if (palStart < palEnd && palStart < size) {
            uint64_t entries = (palEnd - palStart) / 4;
            uint64_t inData = (size - palStart) / 4;
            if (entries > inData)
                entries = inData;
            if (entries > 256)
                entries = 256;
            paletteCount = (unsigned)entries;
            for (unsigned i = 0; i < paletteCount; i++) {
                const uint8_t *p = data + palStart + 4 * (uint64_t)i;
                palette[i] = ((uint32_t)p[2] << 16) | ((uint32_t)p[1] << 8) | p[0];
            }
        }
    }

    out.width = (int)width;
    out.height = (int)height;
    out.pixels.assign((size_t)width * (size_t)height, 0);
    const uint8_t *bitsStart = data + h.offBits;
    for (int64_t y = 0; y < height; y++) {
        int64_t stored = h.height > 0 ? height - 1 - y : y;
        const uint8_t *row = bitsStart + (size_t)stored * rowBytes;
        uint32_t *dst = &out.pixels[(size_t)y * (size_t)width];
        for (int64_t x = 0; x < width; x++) {
            unsigned index;
            switch (bits) {
            case 24: {
                const uint8_t *p = row + 3 * x;
                dst[x] = ((uint32_t)p[2] << 16) | ((uint32_t)p[1] << 8) | p[0];
                continue;
            }
            case 8:
                index = row[x];
                break;
            case 4:
                index = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
                break;
            default:
                index = (row[x >> 3] >> (7 - (x & 7))) & 1;
                break;
            }
            dst[x] = index < paletteCount ? palette[index] : 0;
        }
    }
    return true;
}

PictureFault checkMask(const uint8_t *data, size_t size, int width, int height)
{
    BmpInfo h;
    if (!readBmpInfo(data, size, h))
        return PICTURE_NOT_BMP;
    if (h.bitCount != 1)
        return PICTURE_DEPTH;
    if (h.width != width || h.height != height || !acceptableSize(width, height))
        return PICTURE_SIZE;
    if (!bitsFit(h, size, width, height, 1))
        return PICTURE_SHORT;
    return PICTURE_OK;
}

bool decodeMask(const uint8_t *data, size_t size, int width, int height, std::vector<uint8_t> &bits)
{
    if (checkMask(data, size, width, height) != PICTURE_OK)
        return false;
    BmpInfo h;
    readBmpInfo(data, size, h);
    size_t rowBytes = maskRowBytes(width);
    uint64_t palStart = 14 + (uint64_t)h.infoSize;
    bool invert = false;
    if (palStart + 8 <= size) {
        const uint8_t *p = data + palStart;
        uint32_t entry0 = ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
        uint32_t entry1 = ((uint32_t)p[4] << 24) | ((uint32_t)p[5] << 16) | ((uint32_t)p[6] << 8) | p[7];
        invert = entry1 < entry0;
    }
    bits.assign(rowBytes * (size_t)height, 0);
    const uint8_t *src = data + h.offBits;
    size_t available = size - h.offBits;
    for (int y = 0; y < height; y++) {
        size_t at = (size_t)(height - 1 - y) * rowBytes;
        const uint8_t *row = src + at;
        uint8_t *dst = &bits[(size_t)y * rowBytes];
        // The last stored row (the top one) may end without its padding.
        size_t n = available - at < rowBytes ? available - at : rowBytes;
        for (size_t i = 0; i < n; i++)
            dst[i] = invert ? (uint8_t)~row[i] : row[i];
    }
    return true;
}

// ---------------------------------------------------------------------------
// JPEG through libjpeg, from memory, with an error exit that returns here.

namespace {

struct JpegError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void jpegErrorExit(j_common_ptr cinfo)
{
    JpegError *err = reinterpret_cast<JpegError *>(cinfo->err);
    longjmp(err->jump, 1);
}

void jpegSilence(j_common_ptr, int) {}
void jpegNoOutput(j_common_ptr) {}

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void sourceNop(j_decompress_ptr) {}

boolean sourceFill(j_decompress_ptr cinfo)
{
    // The data is used up: act as if the end marker had been reached.
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void sourceSkip(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    if ((size_t)count > cinfo->src->bytes_in_buffer) {
        sourceFill(cinfo);
        return;
    }
    cinfo->src->next_input_byte += count;
    cinfo->src->bytes_in_buffer -= (size_t)count;
}

// libjpeg hands CMYK over as Adobe writes it: every channel inverted (255
// is no ink). Each colour is what its ink and the black leave of the light.
uint32_t cmykToRGB(const uint8_t *p)
{
    unsigned k = p[3];
    unsigned r = (p[0] * k + 127) / 255, g = (p[1] * k + 127) / 255, b = (p[2] * k + 127) / 255;
    return (r << 16) | (g << 8) | b;
}

// A decompressor whose fatal errors jump back to err.jump, reading from
// memory (jpeg_create_decompress comes after the caller's setjmp).
void prepareReader(jpeg_decompress_struct &cinfo, JpegError &err)
{
    memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpegErrorExit;
    err.pub.emit_message = jpegSilence;
    err.pub.output_message = jpegNoOutput;
}

void readFromMemory(jpeg_decompress_struct &cinfo, jpeg_source_mgr &source, const uint8_t *data, size_t size)
{
    source.next_input_byte = data;
    source.bytes_in_buffer = size;
    source.init_source = sourceNop;
    source.fill_input_buffer = sourceFill;
    source.skip_input_data = sourceSkip;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = sourceNop;
    cinfo.src = &source;
}

} // namespace

bool readJpegSize(const uint8_t *data, size_t size, int &width, int &height)
{
    JpegHeader header;
    if (!readJpegHeader(data, size, header))
        return false;
    width = header.width;
    height = header.height;
    return true;
}

bool readJpegHeader(const uint8_t *data, size_t size, JpegHeader &header)
{
    if (!data || size < 4)
        return false;
    jpeg_decompress_struct cinfo;
    JpegError err;
    jpeg_source_mgr source;
    prepareReader(cinfo, err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    readFromMemory(cinfo, source, data, size);
    jpeg_read_header(&cinfo, TRUE);
    header.width = (int)cinfo.image_width;
    header.height = (int)cinfo.image_height;
    // As libjpeg sizes its whole-picture buffer: each component's blocks,
    // rounded up to whole groups of its sampling factors.
    header.wholeCoefficientBytes = 0;
    for (int i = 0; jpeg_has_multiple_scans(&cinfo) && i < cinfo.num_components; i++) {
        const jpeg_component_info &c = cinfo.comp_info[i];
        uint64_t columns = (c.width_in_blocks + c.h_samp_factor - 1) / c.h_samp_factor * c.h_samp_factor;
        uint64_t rows = (c.height_in_blocks + c.v_samp_factor - 1) / c.v_samp_factor * c.v_samp_factor;
        header.wholeCoefficientBytes += columns * rows * sizeof(JBLOCK);
    }
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool decodeJPEG(const uint8_t *data, size_t size, bool fastDct, DecodedPicture &out, int shrink)
{
    if (!data || size < 4 || (shrink != 1 && shrink != 2 && shrink != 4 && shrink != 8))
        return false;
    jpeg_decompress_struct cinfo;
    JpegError err;
    jpeg_source_mgr source;
    prepareReader(cinfo, err);
    // Everything that must survive a longjmp lives outside this frame's registers.
    std::vector<uint8_t> row;
    DecodedPicture result;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    readFromMemory(cinfo, source, data, size);
    jpeg_read_header(&cinfo, TRUE);
    if (shrink == 1) {
        if (!acceptableSize(cinfo.image_width, cinfo.image_height)) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
    } else {
        // libjpeg reduces each 8x8 block in its inverse transform, so the
        // whole picture never exists. A progressive picture still keeps all
        // its coefficients: beyond this memory libjpeg gives up (it has no
        // backing store) instead of allocating what the header claims.
        cinfo.scale_num = 1;
        cinfo.scale_denom = (unsigned)shrink;
        cinfo.mem->max_memory_to_use = kJpegShrunkWorkBytes;
        jpeg_calc_output_dimensions(&cinfo);
        if (!acceptableSize(cinfo.output_width, cinfo.output_height)) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
    }
    // Print work often comes as CMYK (or YCCK, which libjpeg turns into
    // CMYK); those are read as CMYK and turned into RGB here.
    bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    int components = cmyk ? 4 : 3;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    if (fastDct)
        cinfo.dct_method = JDCT_IFAST;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != components || !acceptableSize(cinfo.output_width, cinfo.output_height)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    result.width = (int)cinfo.output_width;
    result.height = (int)cinfo.output_height;
    result.pixels.assign((size_t)result.width * (size_t)result.height, 0);
    row.resize((size_t)result.width * (size_t)components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {row.data()};
        JDIMENSION y = cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1)
            break;
        uint32_t *dst = &result.pixels[(size_t)y * (size_t)result.width];
        const uint8_t *p = row.data();
        for (int x = 0; x < result.width; x++, p += components)
            dst[x] = cmyk ? cmykToRGB(p) : ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    out = std::move(result);
    return true;
}
