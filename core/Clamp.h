// Narrowing of wide intermediate results: geometry is computed in 64 bits
// and brought back to the 32-bit coordinates that the view keeps.
#ifndef MIRANDOL_CLAMP_H
#define MIRANDOL_CLAMP_H

#include <stdint.h>

inline int32_t clampToInt32(int64_t value)
{
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return (int32_t)value;
}

#endif
