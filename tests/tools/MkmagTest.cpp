// Runs the built mkmag on folders an editor might give it.
#include <gtest/gtest.h>

#include "TestDirs.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::pair<std::string, std::string>> Files;
const Files kMagazine = {{"config.txt", "<parameters main=main.txt>"}, {"main.txt", "<article>Hello"}};

std::string text(const std::string &path)
{
    std::vector<uint8_t> data = readFile(path);
    return std::string(data.begin(), data.end());
}

// Runs a tool of the build in the current directory: its status and output.
int runTool(const std::string &tool, const std::string &args, std::string &out, std::string &err)
{
    int status = system(("'" M2_BINARY_DIR "/" + tool + "' " + args + " > out.txt 2> err.txt").c_str());
    out = text("out.txt");
    err = text("err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The folder "in" (with an empty "sub") holding the files.
void makeFolder(Files files)
{
    mkdir("in", 0755);
    mkdir("in/sub", 0755);
    for (const auto &f : files)
        writeFile("in/" + f.first, f.second);
}

} // namespace

// Packing again in place packs the same two members: no archive goes in.
TEST(Mkmag, PackingTwiceInPlacePacksTheSameMembers)
{
    for (const char *output : {"in/magazine.dat", "in/issue.bin"}) {
        ScopedWorkDir dir;
        makeFolder({kMagazine[0], kMagazine[1], {"old.DAT", "an older issue"}});
        std::string listing[2], err;
        for (std::string &l : listing) {
            ASSERT_EQ(runTool("mkmag", std::string(output) + " in", l, err), 0) << output;
            runTool("magls", output, l, err);
        }
        EXPECT_EQ(listing[1], listing[0]) << output;
        EXPECT_EQ(std::count(listing[0].begin(), listing[0].end(), '\n'), 2) << listing[0];
    }
}

// An empty folder is refused; one the reader would not open is packed with
// a word of why, as is text in UTF-8, which it would read as Latin-1.
TEST(Mkmag, EmptyIncompleteAndUtf8FoldersAreReported)
{
    const std::string how = " is UTF-8, but the reader reads text as Latin-1 (ISO 8859-1); "
                            "convert it with: iconv -f UTF-8 -t LATIN1\n";
    const struct { Files files; int status; std::vector<std::string> said; } cases[] = {
        {{}, 2, {"mkmag: in is empty: nothing to pack"}},
        {{{"old.dat", "x"}}, 2, {"mkmag: in holds only archives: nothing to pack"}},
        {{kMagazine[1]}, 0, {"mkmag: warning: no config.txt"}},
        {{{"config.txt", "<parameters main=Start.txt>"}, kMagazine[1]}, 0, {"mkmag: warning: no start.txt,"}},
        {{kMagazine[0], kMagazine[1], {"latin1.txt", "caf\xe9"}, {"a.jpg", "caf\xc3\xa9"}, {"overlong.txt", "caf\xc0\xa9"}},
         0, {}},
        {{kMagazine[0], {"main.txt", "caf\xc3\xa9"}, {"sub/b.TXT", "\xe2\x80\x94"}}, 0,
         {"mkmag: warning: main.txt" + how, "mkmag: warning: sub/b.TXT" + how}},
    };
    for (const auto &c : cases) {   // the messages expected in order, or none
        ScopedWorkDir dir;
        makeFolder(c.files);
        std::string out, err;
        EXPECT_EQ(runTool("mkmag", "out.dat in", out, err), c.status) << err;
        size_t at = 0;
        for (const std::string &s : c.said)
            EXPECT_NE(at = err.find(s, at), std::string::npos) << s << " in " << err;
        EXPECT_TRUE(!c.said.empty() || err.empty()) << err;
        for (const auto &f : c.files)   // stored as it was
            EXPECT_TRUE(c.status != 0 || text("out.dat").find(f.second) != std::string::npos) << f.first;
    }
}
