// mkmag [--scramble] OUT.dat DIR
// Packs every file under DIR (names relative to DIR) into a magazine archive
// with stored members, scrambled when asked.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "MagWriter.h"

static int usage()
{
    fprintf(stderr, "usage: mkmag [--scramble] OUT.dat DIR\n");
    return 2;
}

int main(int argc, char **argv)
{
    bool scramble = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--scramble"))
            scramble = true;
        else if (argv[i][0] == '-' && argv[i][1])
            return usage();
        else
            args.emplace_back(argv[i]);
    }
    if (args.size() != 2)
        return usage();

    MagArchive archive;
    std::string error;
    if (!magCollect(args[1], archive.members, error)) {
        fprintf(stderr, "mkmag: %s\n", error.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes = archive.build();
    if (bytes.size() > 0x7FFFFFFFu) {
        fprintf(stderr, "mkmag: the archive would exceed 2 GiB\n");
        return 1;
    }
    if (scramble)
        bytes = magScramble(bytes);
    FILE *f = fopen(args[0].c_str(), "wb");
    if (!f) {
        fprintf(stderr, "mkmag: cannot create %s\n", args[0].c_str());
        return 1;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fclose(f) == 0 && ok;
    if (!ok) {
        fprintf(stderr, "mkmag: cannot write %s\n", args[0].c_str());
        return 1;
    }
    printf("%s: %zu members, %zu bytes%s\n", args[0].c_str(), archive.members.size(), bytes.size(),
           scramble ? ", scrambled" : "");
    return 0;
}
