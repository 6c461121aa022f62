#include <gtest/gtest.h>

#include "SDLConfig.h"
#include "SDLTestSupport.h"
#include "Vector/Vector.h"

#include <stdlib.h>
#include <sys/stat.h>

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

const char *item(Vector *v, int i) { return (const char *)Vector_get(v, i); }

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

    // A missing file is no error: the defaults are written, silently.
    TestPlatform platform(dir.path() + "/none");
    testing::internal::CaptureStdout();
    SDLConfig *config = SDLConfig::read(platform.configPath(), &platform);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "");
    for (int pass = 0; pass < 2; pass++) {   // the defaults, then the file written with them
        EXPECT_EQ(std::vector<bool>({config->getFullscreen(), config->getVerbose(), config->getEffects(),
                                     config->getShowConfig()}),
                  std::vector<bool>({true, false, true, true}));
        EXPECT_EQ(config->getMixingFrequency(), 44100);
        ASSERT_EQ(Vector_size(config->getFontPaths()), 1);
        EXPECT_STREQ(item(config->getFontPaths(), 0), "/usr/share/fonts/truetype/");
        ASSERT_EQ(Vector_size(config->getMixOptions()), 3);
        EXPECT_STREQ(item(config->getMixOptions(), 2), "11025");
        delete config;
        testing::internal::CaptureStdout();
        config = SDLConfig::read(platform.configPath(), &platform);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");   // every key is there now
    }
    EXPECT_NE(readText(dir.path() + "/none").find("\nexternalLink=\n"), std::string::npos);
    EXPECT_STREQ(config->getExternalLink(), "");
    delete config;
}

TEST(SDLConfig, ReadsValuesAsTheyStandAndReportsBadOnes)
{
    ConfigFile file;
    std::string out;
    SDLConfig *config = file.load("# comment\n"
                                  "music = false\n"
                                  "verbose=TRUE\n"
                                  "effects=false\n"
                                  "effects=true\n"
                                  "fullscreen=maybe\n"
                                  "mixingFrequency=22050hz\n"
                                  "fontPaths=\n"
                                  "no equals here\n"
                                  "showConfig=false\r\n"   // the CR is part of the value
                                  "externalLink=/usr/bin/browser",
                                  &out);
    EXPECT_TRUE(config->getMusic());        // "music " is another key
    EXPECT_TRUE(config->getVerbose());
    EXPECT_FALSE(config->getEffects());     // the first value stays
    EXPECT_TRUE(config->getFullscreen());
    EXPECT_EQ(config->getMixingFrequency(), 22050);
    ASSERT_EQ(Vector_size(config->getFontPaths()), 1);
    EXPECT_STREQ(item(config->getFontPaths(), 0), "");
    EXPECT_STREQ(config->getExternalLink(), "/usr/bin/browser");
    EXPECT_TRUE(config->getShowConfig());
    EXPECT_NE(out.find("No entry for keyword music in config file, should be boolean.\n"),
              std::string::npos);
    EXPECT_NE(out.find("Error in config file, keyword fullscreen should have a boolean value, but "
                       "has: maybe.\nNo entry for keyword fullscreen in config file, should be "
                       "boolean.\n"),
              std::string::npos);
    EXPECT_NE(out.find("Malformed line in config. No '=' character, and not a comment: no equals "
                       "here\n\n"),
              std::string::npos);
    delete config;
}

TEST(SDLConfig, ImpossibleMixingFrequenciesKeepTheDefault)
{
    for (const char *value : {"0", "-5", "letters", "99999999999999", "1", "10000000"}) {
        ConfigFile file;
        std::string out;
        SDLConfig *config = file.load(std::string("mixingFrequency=") + value + "\n", &out);
        EXPECT_EQ(config->getMixingFrequency(), 44100) << value;
        EXPECT_NE(out.find("keyword mixingFrequency should have a positive integer value"),
                  std::string::npos)
            << value;
        delete config;
    }
    ConfigFile file;
    SDLConfig *config = file.load("");
    config->setMixingFrequency(0);
    EXPECT_EQ(config->getMixingFrequency(), 44100);
    config->setMixingFrequency(11025);
    EXPECT_EQ(config->getMixingFrequency(), 11025);
    delete config;
}

TEST(SDLConfig, WriteProducesTheTenKeysInOrderAndReadsBack)
{
    ConfigFile file;
    std::string longPath(3000, 'd');
    SDLConfig *config = file.load("fontPaths=/a/;" + longPath + "/;\n"
                                  "mixOptions=48000;44100\n"
                                  "verbose=true\n"
                                  "music=false\n"
                                  "mixingFrequency=48000\n"
                                  "externalLink=open it\n");
    ASSERT_EQ(Vector_size(config->getFontPaths()), 3);
    EXPECT_EQ(std::string(item(config->getFontPaths(), 1)), longPath + "/");
    config->setSong("song.ogg");
    config->setArticle("a.txt");
    ASSERT_TRUE(config->write());
    delete config;

    std::string written = readText(file.path());
    EXPECT_EQ(written, "fontPaths=/a/;" + longPath + "/;\n"
                       "mixOptions=48000;44100\n"
                       "showConfig=true\n"
                       "effects=true\n"
                       "mixingFrequency=48000\n"
                       "fullscreen=true\n"
                       "verbose=true\n"
                       "music=false\n"
                       "soundEffects=true\n"
                       "externalLink=open it\n");
    EXPECT_FALSE(fileExists(file.path() + ".tmp"));

    std::string out;
    SDLConfig *again = file.load(written, &out);
    EXPECT_EQ(out, "");   // every key present and valid
    ASSERT_EQ(Vector_size(again->getFontPaths()), 3);
    EXPECT_EQ(std::string(item(again->getFontPaths(), 1)), longPath + "/");
    EXPECT_FALSE(again->getMusic());
    EXPECT_EQ(again->getMixingFrequency(), 48000);
    ASSERT_TRUE(again->write());
    EXPECT_EQ(readText(file.path()), written);
    delete again;
}

TEST(SDLConfig, FailedWriteKeepsTheOldFile)
{
    ConfigFile file;
    const std::string old = "verbose=true\nmusic=false\n";
    SDLConfig *config = file.load(old);
    // The temporary file cannot be made: a directory stands in its place.
    ASSERT_EQ(mkdir((file.path() + ".tmp").c_str(), 0755), 0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(config->write());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Could not save config to path: " + file.path() + "\n");
    EXPECT_EQ(readText(file.path()), old);
    delete config;
}

TEST(SDLConfig, JoinList)
{
    Vector *v = Vector_create();
    const std::pair<std::vector<const char *>, const char *> steps[] = {{{}, ""}, {{"", ""}, ""}, {{"x"}, ";;x"}};
    for (const auto &step : steps) {
        for (const char *e : step.first)
            Vector_add(v, strdup(e));
        char *text = SDLConfig::joinList(v);
        EXPECT_EQ(std::string(text), step.second);
        free(text);
    }
    Vector_deleteAll(v);
}
