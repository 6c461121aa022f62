// CRC-32 (reflected polynomial 0xEDB88320), eight bytes per step.
#include "Unpack.h"

#include <string.h>

namespace {

struct CrcTables {
    uint32_t t[8][256];
    CrcTables()
    {
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int k = 0; k < 8; k++)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; n++)
            for (int s = 1; s < 8; s++)
                t[s][n] = (t[s - 1][n] >> 8) ^ t[0][t[s - 1][n] & 0xFF];
    }
};

// Built on first use (thread-safe static initialisation).
const CrcTables &tables()
{
    static const CrcTables instance;
    return instance;
}

}  // namespace

uint32_t crc32(uint32_t start, const void *data, size_t size)
{
    const CrcTables &ct = tables();
    const uint32_t (*t)[256] = ct.t;
    const uint8_t *p = (const uint8_t *)data;
    uint32_t c = start;
    while (size && ((uintptr_t)p & 7)) {
        c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
        size--;
    }
    while (size >= 8) {
        uint32_t lo, hi;
        memcpy(&lo, p, 4);
        memcpy(&hi, p + 4, 4);
        lo ^= c;
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size--)
        c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return c;
}
