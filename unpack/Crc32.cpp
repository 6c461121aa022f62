// CRC-32 (reflected polynomial 0xEDB88320) through libdeflate's routine, which
// uses the processor's carry-less multiply where it has one.
#include "Unpack.h"

#include <libdeflate.h>

uint32_t crc32(uint32_t start, const void *data, size_t size)
{
    if (size == 0)
        return start;
    // libdeflate inverts the register on entry and on exit; this function
    // does neither, so undo both.
    return ~libdeflate_crc32(~start, data, size);
}
