// Fuzz target for one compressed member: input = unpack version (1 byte),
// unpacked size (4 bytes, little-endian), packed bytes. Checks that nothing is
// written past the member's size, that decoding stays bounded, that both
// builds of the version 2.9 LZ loop give the same bytes, and that a window
// just big enough gives what the whole window gives.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "unpack/Unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    uint32_t method = data[0];
    uint32_t unpSize = (uint32_t)data[1] | ((uint32_t)data[2] << 8) | ((uint32_t)data[3] << 16) |
                       ((uint32_t)data[4] << 24);
    const uint8_t *packed = data + 5;
    uint32_t packSize = (uint32_t)(size - 5);

    if (unpSize > kMaxUnpackedSize) {
        // Refused before the output is touched.
        if (unpackBuffer(packed, packSize, nullptr, unpSize, method, 0))
            abort();
        return 0;
    }
    if (unpSize > (16u << 20))
        unpSize %= (16u << 20);   // keep runs short; sizes above are the same code

    const size_t guard = 32;
    std::vector<uint8_t> out(unpSize + guard, 0xA5), baseline;
    memset(out.data(), 0, unpSize);
    if (method == 29 && Unpacker::wideLoopSupported()) {
        baseline.assign(unpSize, 0);
        try {
            UnpackIo io = { packed, packSize, baseline.data(), unpSize };
            Unpacker u(&io);
            u.wideLoop = false;
            u.init(nullptr);
            u.setOutputSize(unpSize);
            u.unpackMember(method, false);
        } catch (int) {
            baseline.clear();
        }
    }
    bool decoded = true;
    try {
        UnpackIo io = { packed, packSize, out.data(), unpSize };
        Unpacker u(&io);
        u.init(nullptr);
        u.setOutputSize(unpSize);
        u.unpackMember(method, false);
        if (u.outDecoded > (int64_t)unpSize + 2 * (int64_t)kWindowSize)
            abort();
        if (io.destinationLeft > unpSize)
            abort();
    } catch (int) {
        // memory error: the member is unreadable
        baseline.clear();
        decoded = false;
    }
    for (size_t i = unpSize; i < out.size(); i++)
        if (out[i] != 0xA5)
            abort();
    if (!baseline.empty() && memcmp(baseline.data(), out.data(), unpSize) != 0)
        abort();
    // A window just big enough for the member (as the container gives one
    // that fits) decodes the same bytes as the whole window.
    const uint32_t sizedWindow = Unpacker::windowSizeFor(method, unpSize);
    if (method == 29 && decoded && unpSize > 0 && sizedWindow < kWindowSize) {
        std::vector<uint8_t> window(Unpacker::windowBytesFor(sizedWindow)), sized(unpSize, 0);
        try {
            UnpackIo io = { packed, packSize, sized.data(), unpSize };
            Unpacker u(&io);
            u.init(window.data(), (uint32_t)window.size());
            u.setOutputSize(unpSize);
            u.unpackMember(method, false);
            if (memcmp(sized.data(), out.data(), unpSize) != 0)
                abort();
        } catch (int) {
        }
    }
    return 0;
}
