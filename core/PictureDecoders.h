// Decoders of the magazine's still pictures (BMP, JPEG) and 1-bit BMP masks.
// They work on memory, check every bound and never read outside the data.
#ifndef MIRANDOL_PICTURE_DECODERS_H
#define MIRANDOL_PICTURE_DECODERS_H

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

// Largest picture side and area accepted.
const int kMaxPictureSide = 16384;
const size_t kMaxPicturePixels = (size_t)8192 * 8192;

struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // width*height words 0x00RRGGBB, rows top to bottom
};

// The header fields of a BMP that the decoders read ("BM" at its start).
struct BmpInfo {
    uint32_t offBits = 0;     // where the pixel bits start
    uint32_t infoSize = 0;    // 40 for the Windows 3 header; 12 for OS/2's
    int32_t width = 0;
    int32_t height = 0;       // negative: rows stored top first
    uint16_t bitCount = 0;
    uint32_t compression = 0; // 0 for none; 0 when the file is too short to say
};
bool readBmpInfo(const uint8_t *data, size_t size, BmpInfo &info);

// Why a picture or a mask is not shown as drawn. The decoders refuse a file
// for the first four; they read the bits of a compressed BMP or of one with
// an OS/2 header as if they were neither, so it is refused or shows garbled.
enum PictureFault {
    PICTURE_OK,
    PICTURE_NOT_BMP,    // no "BM" or a header cut short
    PICTURE_DEPTH,      // bits per pixel other than 1, 4, 8 or 24 (a mask: other than 1)
    PICTURE_SIZE,       // height 0 or too large (a mask: not the picture's size, or stored top first)
    PICTURE_SHORT,      // pixel bits cut short
    PICTURE_OLD_HEADER, // an info header shorter than Windows 3's
    PICTURE_COMPRESSED, // compressed pixel bits
};
// What decodeBMP makes of the file: PICTURE_OK when it shows it as drawn.
PictureFault checkBMP(const uint8_t *data, size_t size);
// What decodeMask makes of a mask for a picture of width x height.
PictureFault checkMask(const uint8_t *data, size_t size, int width, int height);
// A fault of checkBMP as a clause for a person ("its pixels are
// compressed"), with the numbers of the file's header; empty for none.
std::string bmpFaultText(PictureFault fault, const BmpInfo &info);

bool decodeBMP(const uint8_t *data, size_t size, DecodedPicture &out);

// The scales libjpeg decodes at, as the divisor of each side: a JPEG decoded
// at 1/shrink of its size has its sides divided by shrink, rounded up.
const int kJpegShrinks[] = {1, 2, 4, 8};
inline int64_t shrunkSide(int64_t side, int shrink) { return (side + shrink - 1) / shrink; }

// A JPEG's own width and height, read from its header alone (nothing is
// decoded); false when libjpeg finds no header it can read.
bool readJpegSize(const uint8_t *data, size_t size, int &width, int &height);

// What a JPEG's header tells before anything is decoded.
struct JpegHeader {
    int width = 0;
    int height = 0;
    // The coefficients libjpeg keeps for the whole picture while it decodes
    // one stored in several scans (a progressive one), at any scale; 0 for
    // one of a single scan, decoded a row of blocks at a time.
    uint64_t wholeCoefficientBytes = 0;
};
bool readJpegHeader(const uint8_t *data, size_t size, JpegHeader &header);
// Decodes a JPEG at 1/shrink of its size (one of kJpegShrinks). At its own
// size the picture must lie within kMaxPictureSide and kMaxPicturePixels;
// shrunk, only the result must, and libjpeg's working memory is bounded
// (kJpegShrunkWorkBytes), so a header claiming a huge picture is refused.
// A progressive JPEG keeps two bytes a sample while it is decoded: the bound
// takes a 64-megapixel photograph even without chroma subsampling.
const long kJpegShrunkWorkBytes = 512L * 1024 * 1024;
bool decodeJPEG(const uint8_t *data, size_t size, bool fastDct, DecodedPicture &out, int shrink = 1);

// Bytes per mask row: one bit per pixel, rows padded to 4 bytes.
inline size_t maskRowBytes(int width) { return (((size_t)width + 7) / 8 + 3) & ~(size_t)3; }

// Decodes a 1-bit BMP mask of exactly width x height (bottom-up). The result
// rows run top to bottom; a set bit marks a transparent pixel (the lighter of
// the two palette colours). False when the mask does not fit the picture.
bool decodeMask(const uint8_t *data, size_t size, int width, int height, std::vector<uint8_t> &bits);

#endif
