// Shared helpers of the decompressor tests.
#ifndef MIRANDOL_UNPACK_TEST_UTIL_H
#define MIRANDOL_UNPACK_TEST_UTIL_H

#include "Unpack.h"

#include <cstdint>
#include <cstring>
#include <vector>

struct DecodeResult {
    std::vector<uint8_t> out;   // exactly the member's size
    bool guardIntact = true;    // nothing was written past the member's size
    bool needsExtension = false;
    int64_t decoded = 0;
    uint32_t crc = 0;
};

// Decodes packed with version method into a buffer of size bytes followed by
// guard bytes, the way the container does.
inline DecodeResult decodeBytes(const std::vector<uint8_t> &packed, uint32_t size, uint32_t method = 29)
{
    const size_t guard = 64;
    std::vector<uint8_t> buffer(size + guard, 0xEE);
    memset(buffer.data(), 0, size);
    UnpackIo io = { packed.data(), (uint32_t)packed.size(), buffer.data(), size };
    Unpacker u(&io);
    u.init(nullptr);
    u.setOutputSize(size);
    u.unpackMember(method, false);
    DecodeResult r;
    for (size_t i = size; i < buffer.size(); i++)
        if (buffer[i] != 0xEE)
            r.guardIntact = false;
    r.out.assign(buffer.begin(), buffer.begin() + size);
    r.needsExtension = u.needsExtension;
    r.decoded = u.outDecoded;
    r.crc = ~crc32(0xFFFFFFFFu, r.out.data(), r.out.size());
    return r;
}

#endif
