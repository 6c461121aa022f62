// Until the PPMd model is built in, version 2.9 members with PPMd blocks stop
// at their first PPMd block. The PPMd model replaces this file.
#include "Unpack.h"

std::unique_ptr<Ppm29> createPpm29()
{
    return nullptr;
}
