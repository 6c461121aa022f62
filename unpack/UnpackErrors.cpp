// DOS date/time conversion and the decompressor's error record.
#include "Unpack.h"

UnpackErrors g_unpackErrors = { 0, 0, true, false, false };

void DosTime::setDos(uint32_t t)
{
    second = (t & 0x1F) * 2;
    minute = (t >> 5) & 0x3F;
    hour = (t >> 11) & 0x1F;
    day = (t >> 16) & 0x1F;
    month = (t >> 21) & 0x0F;
    year = (t >> 25) + 1980;
    remainder = 0;
}

void UnpackErrors::reset()
{
    exitCode = Success;
    errorCount = 0;
    breakEnabled = true;
    silent = false;
    shutdownRequested = false;
}

void UnpackErrors::memoryError()
{
    exitCode = Memory;
    errorCount++;
    throw (int)Memory;
}
