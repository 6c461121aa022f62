#include "TestDirs.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

static std::string g_root;

std::string testTempRoot()
{
    if (g_root.empty()) {
        char pattern[] = "/tmp/mirandol2-test-XXXXXX";
        char *dir = mkdtemp(pattern);
        if (!dir)
            throw std::runtime_error("mkdtemp failed");
        g_root = dir;
    }
    return g_root;
}

static int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}

static void removeTree(const std::string &path)
{
    nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

ScopedWorkDir::ScopedWorkDir()
{
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd))
        previous_ = cwd;
    std::string pattern = testTempRoot() + "/work-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
    if (chdir(path_.c_str()) != 0)
        throw std::runtime_error("chdir failed");
}

ScopedWorkDir::~ScopedWorkDir()
{
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) {
    }
    removeTree(path_);
}

bool writeFile(const std::string &path, const std::vector<uint8_t> &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = data.empty() || fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

bool writeFile(const std::string &path, const std::string &text)
{
    return writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> readFile(const std::string &path)
{
    std::vector<uint8_t> data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.insert(data.end(), buf, buf + n);
    fclose(f);
    return data;
}

bool fileExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string testDataPath(const std::string &name) { return std::string(M2_TEST_DATA) + "/" + name; }
std::string fixturePath(const std::string &name) { return std::string(M2_TEST_DATA) + "/rar/" + name; }

void removeTestTempRoot()
{
    if (!g_root.empty())
        removeTree(g_root);
}

std::vector<std::string> listDirectory(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(path.c_str())) {
        while (struct dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}
