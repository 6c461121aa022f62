// The configuration file: defaults, reading, reporting bad values, writing.
#include <gtest/gtest.h>

#include "FullDisk.h"
#include "SDLConfig.h"
#include "SDLTestSupport.h"
#include "Vector/Vector.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <string>

namespace {

struct ConfigFile {
    ScopedWorkDir dir;
    TestPlatform platform{dir.path() + "/mirandol2"};
    std::string path() const { return dir.path() + "/mirandol2"; }

    SDLConfig *load(const std::string &text, std::string *output = nullptr)
    {
        writeFile(path(), text);
        testing::internal::CaptureStdout();
        SDLConfig *config = SDLConfig::read(platform.configPath(), &platform);
        std::string out = testing::internal::GetCapturedStdout();
        if (output)
            *output = out;
        return config;
    }
};

std::string joined(Vector *v)
{
    char *text = SDLConfig::joinList(v);
    std::string out = text;
    free(text);
    return out;
}

} // namespace

TEST(SDLConfig, MissingFileGivesDefaultsAndTheSystemFontDirectory)
{
    ScopedWorkDir dir;
    writeFile(dir.path() + "/plain", std::string("x"));
    TestPlatform unreadable(dir.path() + "/plain/mirandol2");   // cannot exist: reported
    testing::internal::CaptureStdout();
    delete SDLConfig::read(unreadable.configPath(), &unreadable);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Could not read config file at path : " + dir.path() + "/plain/mirandol2!\n");

    // A missing file is no error: the defaults are written, silently, and
    // read back the next time with every key there.
    TestPlatform platform(dir.path() + "/none");
    for (int pass = 0; pass < 2; pass++) {
        testing::internal::CaptureStdout();
        SDLConfig *config = SDLConfig::read(platform.configPath(), &platform);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(config->getMixingFrequency(), 44100);
        EXPECT_EQ(joined(config->getFontPaths()), "/usr/share/fonts/truetype/");
        EXPECT_EQ(joined(config->getMixOptions()), "44100;22050;11025");
        EXPECT_STREQ(config->getExternalLink(), pass ? "" : nullptr);   // the file's empty link
        delete config;
    }
    EXPECT_NE(readText(dir.path() + "/none").find("\nexternalLink=\n"), std::string::npos);
}

TEST(SDLConfig, ReadsValuesAsTheyStandAndReportsBadOnes)
{
    ConfigFile file;
    std::string out;
    SDLConfig *config = file.load("# comment\nmusic = false\nverbose=TRUE\neffects=false\neffects=true\n"
                                  "fullscreen=maybe\nmixingFrequency=22050hz\nfontPaths=\nno equals here\n"
                                  "showConfig=false\r\n"   // the CR is part of the value
                                  "externalLink=/usr/bin/browser",
                                  &out);
    // "music " is another key; the first "effects" stays; "maybe" keeps the default.
    EXPECT_EQ(std::vector<bool>({config->getMusic(), config->getVerbose(), config->getEffects(),
                                 config->getFullscreen()}),
              std::vector<bool>({true, true, false, true}));
    EXPECT_EQ(config->getMixingFrequency(), 22050);
    EXPECT_EQ(Vector_size(config->getFontPaths()), 1);
    EXPECT_EQ(joined(config->getFontPaths()), "");
    EXPECT_STREQ(config->getExternalLink(), "/usr/bin/browser");
    EXPECT_TRUE(config->getShowConfig());
    for (const char *report : {"No entry for keyword music in config file, should be boolean.\n",
                               "Error in config file, keyword fullscreen should have a boolean value, but has: maybe.\n"
                               "No entry for keyword fullscreen in config file, should be boolean.\n",
                               "Malformed line in config. No '=' character, and not a comment: no equals here\n\n"})
        EXPECT_NE(out.find(report), std::string::npos) << report;
    delete config;
}

TEST(SDLConfig, ImpossibleMixingFrequenciesKeepTheDefault)
{
    for (const char *value : {"0", "-5", "letters", "99999999999999", "1", "10000000"}) {
        ConfigFile file;
        std::string out;
        SDLConfig *config = file.load(std::string("mixingFrequency=") + value + "\n", &out);
        EXPECT_EQ(config->getMixingFrequency(), 44100) << value;
        EXPECT_NE(out.find("keyword mixingFrequency should have a positive integer value"), std::string::npos) << value;
        config->setMixingFrequency(0);
        EXPECT_EQ(config->getMixingFrequency(), 44100);
        delete config;
    }
}

TEST(SDLConfig, WriteProducesTheTenKeysInOrderReadsBackAndKeepsTheOldFileOnFailure)
{
    ConfigFile file;
    std::string longPath(3000, 'd');
    SDLConfig *config = file.load("fontPaths=/a/;" + longPath + "/;\nmixOptions=48000;44100\nverbose=true\n"
                                  "music=false\nmixingFrequency=48000\nexternalLink=open it\n");
    EXPECT_EQ(Vector_size(config->getFontPaths()), 3);
    EXPECT_EQ(std::string((const char *)Vector_get(config->getFontPaths(), 1)), longPath + "/");
    config->setSong("song.ogg");
    config->setArticle("a.txt");
    ASSERT_TRUE(config->write());
    delete config;

    std::string written = readText(file.path());
    EXPECT_EQ(written, "fontPaths=/a/;" + longPath + "/;\nmixOptions=48000;44100\nshowConfig=true\neffects=true\n"
                       "mixingFrequency=48000\nfullscreen=true\nverbose=true\nmusic=false\nsoundEffects=true\n"
                       "externalLink=open it\n");
    EXPECT_EQ(listDirectory(file.dir.path()), std::vector<std::string>{"mirandol2"});

    std::string out;
    SDLConfig *again = file.load(written, &out);
    EXPECT_EQ(out, "");   // every key present and valid
    again->setMixingFrequency(11025);
    ASSERT_TRUE(again->write());
    const std::string old = readText(file.path());
    EXPECT_EQ(old, std::string(written).replace(written.find("48000\nfull"), 5, "11025"));

    // The new file cannot be written whole: the disk takes 40 bytes a file
    // (room for the message, not for the settings). Said on standard error;
    // the reader is to end with status 1.
    again->setMixingFrequency(22050);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    {
        ScopedDisk full(DISK_FILE_LIMIT, 40);
        full.fill();
        EXPECT_FALSE(again->write());
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not save the settings\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(again->writeFailed());
    EXPECT_EQ(readText(file.path()), old);
    EXPECT_EQ(listDirectory(file.dir.path()), std::vector<std::string>{"mirandol2"});
    delete again;
}

// Settings kept in a folder of dotfiles through a link: the link stays, the
// file it names gets the new settings and keeps its permissions.
TEST(SDLConfig, WriteThroughALinkKeepsTheLinkAndTheMode)
{
    ConfigFile file;
    mkdir("dotfiles", 0755);
    writeFile("dotfiles/mirandol2", std::string("music=false\n"));
    chmod("dotfiles/mirandol2", 0600);
    ASSERT_EQ(symlink("dotfiles/mirandol2", file.path().c_str()), 0);
    testing::internal::CaptureStdout();   // the keys missing from the file
    SDLConfig *config = SDLConfig::read(file.platform.configPath(), &file.platform);
    EXPECT_TRUE(config->write());
    testing::internal::GetCapturedStdout();
    delete config;
    struct stat st;
    EXPECT_TRUE(lstat(file.path().c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_TRUE(stat("dotfiles/mirandol2", &st) == 0 && (st.st_mode & 0777) == 0600);
    EXPECT_NE(readText("dotfiles/mirandol2").find("\nmusic=false\n"), std::string::npos);
}

// Settings behind another user's link are not read (their program would be
// run for links), and a FIFO there is not waited on: both count as missing,
// and the defaults cannot be saved over them, which is said.
TEST(SDLConfig, SettingsThatMayNotBeReadCountAsMissing)
{
    const struct { const char *name; std::function<bool(const std::string &)> make; } cases[] = {
        {"someone else's link",
         [](const std::string &path) {
             return geteuid() == 0 && writeFile("theirs", std::string("verbose=true\nexternalLink=their-program\n")) &&
                    symlink("theirs", path.c_str()) == 0 && lchown(path.c_str(), 12345, 12345) == 0;
         }},
        {"FIFO", [](const std::string &path) { return mkfifo(path.c_str(), 0644) == 0; }},
    };
    for (const auto &c : cases) {
        ScopedWorkDir dir;
        std::string path = dir.path() + "/mirandol2";
        if (!c.make(path)) {
            std::cout << "[ SKIPPED  ] " << c.name << ": cannot be made here\n";
            continue;
        }
        EXPECT_TRUE(endsWithin(5, [&] {
            TestPlatform platform(path);
            testing::internal::CaptureStderr();
            SDLConfig *config = SDLConfig::read(platform.configPath(), &platform);
            std::string said = testing::internal::GetCapturedStderr();
            bool defaults = !config->getVerbose() && !config->getExternalLink();
            delete config;
            return defaults && said == "Could not save the settings\n";
        })) << c.name;
    }
}
