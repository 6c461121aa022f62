// Test entry point: isolates every test process from the user's files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "TestDirs.h"

void removeTestTempRoot();

int main(int argc, char **argv)
{
    std::string root = testTempRoot();
    std::string config = root + "/config";
    mkdir(config.c_str(), 0755);
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    removeTestTempRoot();
    return rc;
}
