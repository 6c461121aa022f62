// Reads arbitrary bytes as a magazine's "config.txt".
#include <stddef.h>
#include <stdint.h>

#include "MagazineConfig.h"
#include "ToolSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ToolSystem sys(data, 0, "none.dat");
    System *previous = g_system;
    g_system = &sys;
    g_magazine_config.reset();
    g_magazine_config.parse(data, size);
    g_magazine_config.deleteTrees();
    g_system = previous;
    return 0;
}
