// magls ARCHIVE
// Opens an archive through the reader's own container and lists its members:
// "ok" or "bad", unpacked size, CRC-32, name. Every member is read and
// verified; every service sub-block (comment, recovery record, stream,
// access list) is listed as "svc" by its block name, one line each, and not
// checked. Exit 0 when all are ok, 1 when any is bad or the block walk
// stopped early at a damaged header (after listing what came before it), 2
// when the archive is refused.
#include <stdio.h>

#include <vector>

#include "MagWriter.h"
#include "ToolSystem.h"
#include "containr.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: magls ARCHIVE\n");
        return 2;
    }
    ToolSystem sys(argv[1]);
    g_system = &sys;
    g_container.listing = true;
    if (!g_container.open()) {
        fprintf(stderr, "magls: %s: %s\n", argv[1], sys.errorText.c_str());
        g_system = nullptr;
        return 2;
    }
    std::vector<File *> members;
    Tree::forEachInOrder(g_container.root, [&members](File *f) {
        if (!f->loose)
            members.push_back(f);
    });
    bool allOk = true;
    for (File *f : members) {
        if (f->service) {
            printf("%-3s %10u %08x %s (service block, not checked)\n", "svc", f->unpSize, f->crc,
                   f->name.c_str());
            continue;
        }
        uint8_t *bytes = nullptr;
        uint32_t size = 0;
        bool ok = f->load(bytes, size) && size == f->unpSize && magCrc32(bytes, size) == f->crc;
        delete[] bytes;
        allOk = allOk && ok;
        printf("%-3s %10u %08x %s\n", ok ? "ok" : "bad", f->unpSize, f->crc, f->name.c_str());
    }
    uint32_t damaged = g_container.damagedHeaderAt;
    if (damaged) {
        fflush(stdout);
        fprintf(stderr, "magls: %s: damaged block header at offset %u: the listing stops there\n",
                argv[1], damaged);
        allOk = false;
    }
    g_container.close();
    g_system = nullptr;
    return allOk ? 0 : 1;
}
