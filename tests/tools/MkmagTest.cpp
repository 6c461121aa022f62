// Runs the built mkmag on folders an editor might give it.
#include <gtest/gtest.h>

#include "TestDirs.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <string>
#include <utility>
#include <vector>

namespace {

typedef std::vector<std::pair<std::string, std::string>> Files;

struct ToolRun { int status; std::string out; std::string err; };

std::string text(const std::string &path)
{
    std::vector<uint8_t> data = readFile(path);
    return std::string(data.begin(), data.end());
}

// Runs a tool of the build in the current directory.
ToolRun runTool(const std::string &tool, const std::string &args)
{
    std::string command = "'" M2_BINARY_DIR "/" + tool + "' " + args + " > out.txt 2> err.txt";
    int status = system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text("out.txt"), text("err.txt")};
}

// The folder "in" with the given files.
void makeFolder(const Files &files)
{
    mkdir("in", 0755);
    for (const auto &f : files)
        writeFile("in/" + f.first, f.second);
}

const Files kMagazine = {{"config.txt", "<parameters main=main.txt>"}, {"main.txt", "<article>Hello"}};

} // namespace

// Packing a folder again into the archive it holds packs the same members:
// neither the earlier output nor any other archive goes in.
TEST(Mkmag, PackingTwiceInPlacePacksTheSameMembers)
{
    const struct { const char *output; Files more; } cases[] = {
        {"in/magazine.dat", {}},
        {"in/issue.bin", {{"old.DAT", "an older issue"}}},
    };
    for (const auto &c : cases) {
        ScopedWorkDir dir;
        Files files = kMagazine;
        files.insert(files.end(), c.more.begin(), c.more.end());
        makeFolder(files);
        std::vector<std::string> listings;
        for (int run = 0; run < 2; run++) {
            ASSERT_EQ(runTool("mkmag", std::string(c.output) + " in").status, 0) << c.output;
            listings.push_back(runTool("magls", c.output).out);
        }
        EXPECT_EQ(listings[1], listings[0]) << c.output;
        EXPECT_EQ(listings[0].find(".dat"), std::string::npos) << listings[0];
        EXPECT_EQ(listings[0].find(".DAT"), std::string::npos) << listings[0];
    }
}

// An empty folder is refused; a folder the reader would not open is packed
// with a word of why.
TEST(Mkmag, EmptyOrIncompleteFoldersAreReported)
{
    const struct { Files files; int status; const char *said; } cases[] = {
        {{}, 2, "mkmag: in is empty: nothing to pack"},
        {{{"old.dat", "an archive"}}, 2, "mkmag: in holds only archives: nothing to pack"},
        {{{"main.txt", "<article>Hello"}}, 0, "warning: no config.txt"},
        {{{"config.txt", "<parameters main=Start.txt>"}, {"main.txt", "x"}}, 0,
         "warning: no start.txt, the start article config.txt names"},
        {kMagazine, 0, ""},
    };
    for (const auto &c : cases) {
        ScopedWorkDir dir;
        makeFolder(c.files);
        ToolRun run = runTool("mkmag", "out.dat in");
        EXPECT_EQ(run.status, c.status) << c.said;
        if (*c.said) {
            EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(run.err, "");
        }
        EXPECT_EQ(fileExists("out.dat"), c.status == 0) << c.said;
    }
}

// Text in UTF-8 is told apart from Latin-1 and packed as it is.
TEST(Mkmag, Utf8TextIsReportedAndKeptAsItIs)
{
    const struct { const char *name, *bytes; bool warned; } cases[] = {
        {"plain.txt", "cafe", false},
        {"latin1.txt", "caf\xe9", false},
        {"utf8.txt", "caf\xc3\xa9", true},
        {"sub/utf8.TXT", "\xe2\x80\x94 caf\xc3\xa9", true},
        {"picture.jpg", "caf\xc3\xa9", false},
        {"overlong.txt", "caf\xc0\xa9", false},
    };
    for (const auto &c : cases) {
        ScopedWorkDir dir;
        mkdir("in", 0755);
        mkdir("in/sub", 0755);
        Files files = kMagazine;
        files.push_back({c.name, c.bytes});
        makeFolder(files);
        ToolRun run = runTool("mkmag", "out.dat in");
        EXPECT_EQ(run.status, 0);
        std::string warning = std::string(c.name) + " is UTF-8, but the reader reads text as Latin-1";
        EXPECT_EQ(run.err.find(warning) != std::string::npos, c.warned) << run.err;
        EXPECT_EQ(run.err.find("iconv -f UTF-8 -t LATIN1") != std::string::npos, c.warned) << run.err;
        EXPECT_NE(text("out.dat").find(c.bytes), std::string::npos) << c.name;   // stored unchanged
    }
}
