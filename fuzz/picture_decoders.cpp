// Fuzz target: the BMP, mask and JPEG decoders and the BMP checks over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PictureDecoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    DecodedPicture pic;
    decodeBMP(data, size, pic);
    checkBMP(data, size);
    decodeJPEG(data, size, size & 1, pic);
    // Shrunk, as the reader decodes a photograph too large to show whole.
    int width = 0, height = 0;
    int shrink = kJpegShrinks[size % 4];
    if (readJpegSize(data, size, width, height) &&
        shrunkSide(width, shrink) * shrunkSide(height, shrink) <= (int64_t)kMaxPicturePixels)
        decodeJPEG(data, size, false, pic, shrink);
    std::vector<uint8_t> bits;
    int w = size > 0 ? 1 + data[0] % 64 : 1;
    decodeMask(data, size, w, w, bits);
    checkMask(data, size, w, w);
    return 0;
}
