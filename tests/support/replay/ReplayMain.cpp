// Runs a fuzz target over every file of a corpus directory (as an ordinary test).
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <vector>
#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    std::vector<std::string> names;
    if (DIR *d = opendir(argv[1])) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.emplace_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const auto &n : names) {
        std::string path = std::string(argv[1]) + "/" + n;
        FILE *f = fopen(path.c_str(), "rb");
        if (!f)
            continue;
        std::vector<uint8_t> data;
        uint8_t buf[65536];
        size_t got;
        while ((got = fread(buf, 1, sizeof buf, f)) > 0)
            data.insert(data.end(), buf, buf + got);
        fclose(f);
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    printf("replayed %zu inputs\n", names.size());
    return 0;
}
