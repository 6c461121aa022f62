// Temporary working directories for tests. Every test process runs with
// HOME and XDG_CONFIG_HOME pointing into its own temporary directory.
#ifndef MIRANDOL_TEST_DIRS_H
#define MIRANDOL_TEST_DIRS_H

#include <string>
#include <vector>
#include <cstdint>

// Makes a fresh directory and changes into it; changes back and removes it at the end.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    const std::string &path() const { return path_; }
private:
    std::string path_;
    std::string previous_;
};

std::string testTempRoot();
bool writeFile(const std::string &path, const std::vector<uint8_t> &data);
bool writeFile(const std::string &path, const std::string &text);
std::vector<uint8_t> readFile(const std::string &path);
bool fileExists(const std::string &path);
std::vector<std::string> listDirectory(const std::string &path);   // sorted, no "." or ".."
std::string testDataPath(const std::string &name);   // tests/data/<name>
std::string fixturePath(const std::string &name);    // tests/data/rar/<name>

#endif
