// Opens an in-memory archive through the container and reads every member.
#include <stddef.h>
#include <stdint.h>

#include "ToolSystem.h"
#include "containr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ToolSystem sys(data, size, "fuzz.dat");
    System *previous = g_system;
    g_system = &sys;
    if (g_container.open()) {
        Tree::forEachInOrder(g_container.root, [](File *f) {
            // Compressed members may claim up to 1 GiB; keep the run quick.
            if (f->loose || (!f->stored && f->unpSize > (16u << 20)))
                return;
            uint8_t *bytes = nullptr;
            uint32_t length = 0;
            if (f->load(bytes, length))
                delete[] bytes;
        });
        g_container.close();
    }
    g_system = previous;
    return 0;
}
