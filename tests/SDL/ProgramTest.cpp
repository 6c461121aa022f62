// Runs the built reader as a user would, in a directory of its own.
#include <gtest/gtest.h>

#include "TestDirs.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <string>

namespace {

struct ReaderRun {
    int status;
    std::string out;
    std::string err;
};

std::string readText(const std::string &path)
{
    std::vector<uint8_t> data = readFile(path);
    return std::string(data.begin(), data.end());
}

ReaderRun runReader(const std::string &args, const std::string &configText = "")
{
    ScopedWorkDir dir;
    std::string config = dir.path() + "/config";
    mkdir(config.c_str(), 0755);
    if (!configText.empty())
        writeFile(config + "/mirandol2", configText);
    mkdir((dir.path() + "/run").c_str(), 0755);
    std::string command = "cd '" + dir.path() + "/run' && XDG_CONFIG_HOME='" + config +
                          "' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '" M2_BINARY_DIR
                          "/mirandol2' " + args + " > ../out 2> ../err";
    int status = system(command.c_str());
    ReaderRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readText(dir.path() + "/out");
    run.err = readText(dir.path() + "/err");
    return run;
}

const char *QUIET = "showConfig=false\nmusic=false\nsoundEffects=false\n";

} // namespace

TEST(Program, HelpGoesToStandardOutputAndEndsWell)
{
    ReaderRun run = runReader("-h", QUIET);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::string usage = "\t-h, -help\t\tthis text\n"
                              "\t-c, -config\t\tforce showing of configuration window\n"
                              "\t-s X, -song X\t\tplay song X instead of default music\n"
                              "\t-a X, -article X\tshow article X instead of default\n";
    ASSERT_GE(run.out.size(), usage.size());
    EXPECT_EQ(run.out.substr(run.out.size() - usage.size()), usage);
    EXPECT_NE(run.out.find("Mirandol - e-Magazine Browser\nVersion 2.0.22\n"), std::string::npos);
}

TEST(Program, NoMagazineEndsWithItsErrorText)
{
    ReaderRun run = runReader("");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "No *.dat file\n");
}

TEST(Program, VerboseConfigurationLogsTheOperations)
{
    ReaderRun run = runReader("", std::string("verbose=true\n") + QUIET);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("SDLSystem constructor\n"), std::string::npos);
    EXPECT_NE(run.out.find("is_ready()\n"), std::string::npos);
    EXPECT_NE(run.out.find("set_error_message : No *.dat file\nfind_one_file : *.dat\n"),
              std::string::npos);
    ASSERT_GE(run.err.size(), 14u);
    EXPECT_EQ(run.err.substr(run.err.size() - 14), "No *.dat file\n");
}
