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
    std::vector<uint8_t> bits;
    int w = size > 0 ? 1 + data[0] % 64 : 1;
    decodeMask(data, size, w, w, bits);
    checkMask(data, size, w, w);
    return 0;
}
