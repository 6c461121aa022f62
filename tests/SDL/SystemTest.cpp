#include <gtest/gtest.h>

#include "SDLConfig.h"
#include "SDLTestSupport.h"
#include "Vector/Vector.h"

#include <SDL.h>

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

bool isDirectory(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const char *QUIET = "showConfig=false\nmusic=false\nsoundEffects=false\n";

} // namespace

// Any spelling of "-help" stops at once: later options are not taken, no
// folders are made. (The text itself is checked on the built program.)
TEST(SDLSystem, HelpStopsBeforeLaterOptionsAndFolders)
{
    testing::internal::CaptureStdout();
    SystemFixture f(QUIET, {"--HELP", "-c"});
    EXPECT_NE(testing::internal::GetCapturedStdout().find("\nMirandol - e-Magazine Browser\n"), std::string::npos);
    EXPECT_FALSE(f.system->is_ready());
    EXPECT_TRUE(f.system->helpShown);
    EXPECT_FALSE(f.system->getConfig()->getShowConfig());
    EXPECT_FALSE(isDirectory("save"));
}

TEST(SDLSystem, CommandLineOptions)
{
    // An empty song name leaves the magazine's music on.
    const struct { std::vector<std::string> args; const char *song, *article; int magazineMusic; } cases[] = {
        {{"-SONG", "tune.mod", "--article", "intro.txt"}, "tune.mod", "intro.txt", 0}, {{"-s", ""}, nullptr, nullptr, 1}};
    for (const auto &c : cases) {
        SystemFixture f(QUIET, c.args);
        EXPECT_TRUE(f.system->is_ready());
        EXPECT_STREQ(f.system->get_user_string(USER_STRING_SONG), c.song);
        EXPECT_STREQ(f.system->get_user_string(USER_STRING_ARTICLE), c.article);
        EXPECT_EQ(f.system->get_user_flag(USER_FLAG_MAGAZINE_MUSIC), c.magazineMusic);
    }
}

TEST(SDLSystem, FilesAndTheProgramDirectory)
{
    ScopedWorkDir outer;   // the fixture's own directory holds the listed files
    SystemFixture f(QUIET);
    // The home directory was listed at start: add files, then make a new system.
    remove("magazine.dat");   // the fixture's stand-in; MAG.DAT is the magazine here
    writeFile("b.txt", std::string("bee"));
    writeFile("MAG.DAT", std::string("0123456789"));
    writeFile("temp/only-in-temp.txt", std::string("t"));
    mkdir("A.dat", 0755);   // a directory never passes for the magazine
    TestPlatform platform(f.dir.path() + "/mirandol2.conf");
    char arg0[] = "mirandol2";
    char *argv[] = {arg0, nullptr};
    SDLSystem s(&platform, 1, argv);
    EXPECT_TRUE(isDirectory("save"));
    EXPECT_TRUE(isDirectory("temp"));

    // find_files walks the sorted listing and starts over with "*.*".
    std::vector<std::string> names;
    char star[] = "*.*", pattern[] = "*.dat", missing[] = "*.zip", plain[] = "b.txt";
    char *name = star;
    while (s.find_files(name))
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"A.dat", "MAG.DAT", "b.txt", "mirandol2.conf", "save", "temp"}));
    name = star;
    ASSERT_TRUE(s.find_files(name));
    EXPECT_STREQ(name, "A.dat");
    while (s.find_files(name)) {
    }
    name = pattern;
    ASSERT_TRUE(s.find_one_file(name));
    EXPECT_NE(name, pattern);
    EXPECT_STREQ(name, "MAG.DAT");
    delete[] name;
    name = missing;
    EXPECT_FALSE(s.find_one_file(name));
    EXPECT_EQ(name, missing);
    name = plain;
    EXPECT_TRUE(s.find_one_file(name));

    ASSERT_TRUE(s.open_file("MAG.DAT"));
    EXPECT_EQ(s.get_file_size(), 10);
    char buffer[4] = {};
    ASSERT_TRUE(s.seek_file(6));
    ASSERT_TRUE(s.read_file(buffer, 4));
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_FALSE(s.read_file(buffer, 1));
    s.close_file();
    EXPECT_TRUE(s.open_file("only-in-temp.txt"));
    s.close_file();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(s.open_file("nowhere.txt"));
    EXPECT_FALSE(s.open_file("visited.txt"));   // none yet: no complaint
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not open file 'nowhere.txt' for reading.\n");

    // Truncated, then appended to; FILE_IN_TEMP wins over FILE_IN_SAVE.
    const struct { const char *name; int where; const char *text; } writes[] = {
        {"page.htm", FILE_IN_SAVE | FILE_TRUNCATE, "abc"}, {"page.htm", FILE_IN_SAVE, "de"},
        {"visited.txt", FILE_IN_SAVE | FILE_IN_TEMP | FILE_TRUNCATE, ""}};
    for (const auto &w : writes) {
        ASSERT_TRUE(s.create_file(w.name, w.where)) << w.name;
        if (*w.text) {
            EXPECT_TRUE(s.write_file(w.text, (int)strlen(w.text)));
        }
        s.close_file();
    }
    EXPECT_EQ(readText("save/page.htm"), "abcde");
    EXPECT_TRUE(fileExists("temp/visited.txt"));
    EXPECT_FALSE(fileExists("save/visited.txt"));
}

// Short steps forward are read past, longer ones and steps back seek; each
// lands where asked, and a position past the end leaves nothing to read.
TEST(SDLSystem, SeeksLandWhereAsked)
{
    SystemFixture f(QUIET);
    std::string bytes(10000, 0);
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = (char)(i * 7 + i / 251);
    ASSERT_TRUE(writeFile("data.bin", bytes));
    ASSERT_TRUE(f.system->open_file("data.bin"));
    const struct { int pos; bool readable; } steps[] = {
        {3, true},   {3, true},    {100, true},  {4200, true}, {4300, true}, {50, true},
        {9000, true}, {9996, true}, {9997, false}, {10000, false}, {20000, false}, {0, true}};
    for (const auto &step : steps) {
        ASSERT_TRUE(f.system->seek_file(step.pos)) << step.pos;
        char got[4] = {};
        ASSERT_EQ(f.system->read_file(got, 4), step.readable) << step.pos;
        if (step.readable) {
            EXPECT_EQ(std::string(got, 4), bytes.substr((size_t)step.pos, 4)) << step.pos;
        }
    }
    f.system->close_file();
    // A file being written is never read past.
    ASSERT_TRUE(f.system->create_file("out.bin", FILE_IN_SAVE));
    ASSERT_TRUE(f.system->write_file("abcdef", 6));
    ASSERT_TRUE(f.system->seek_file(2));
    ASSERT_TRUE(f.system->write_file("XY", 2));
    f.system->close_file();
    EXPECT_EQ(readText("save/out.bin").substr(0, 6), "abcdef");
}

TEST(SDLSystemDeathTest, CriticalCheckEndsTheProgram)
{
    SystemFixture f(QUIET);
    f.system->critical_check(&f);   // not null: nothing happens
    EXPECT_EXIT(f.system->critical_check(nullptr), testing::ExitedWithCode(1),
                "critical_check failed! Shutting down ....\n");
}

// File, timer, sound (switched off: they only log) and display operations.
TEST(SDLSystem, VerboseLogLines)
{
    SystemFixture f("verbose=true\nshowConfig=false\nfullscreen=false\nmusic=false\nsoundEffects=false\n");
    SDLSystem *s = f.system.get();
    EXPECT_EQ(s->soundSystem, nullptr);
    writeFile("data.bin", std::string("12345"));
    std::vector<uint8_t> data(16, 0);
    testing::internal::CaptureStdout();
    char buffer[3];
    s->open_file("data.bin");
    s->get_file_size();
    s->seek_file(2);
    s->read_file(buffer, 3);
    s->close_file();
    s->create_file("x.htm", 5);
    s->write_file("x", 1);
    s->start_timer(38, 1000);
    s->stop_timer(38);
    s->critical_check(s);
    s->set_error_message("Cannot setup display");
    s->print(nullptr);
    s->spare();
    EXPECT_EQ(s->load_sound(data.data(), 16, 22050, 2), nullptr);
    s->play_sound(nullptr);
    s->unload_sound(nullptr);
    EXPECT_FALSE(s->play_song("a.mod", 1, data.data(), 16));
    EXPECT_FALSE(s->play_song_file("b.ogg", 0));
    s->stop_song(1);
    s->pause_song();
    s->volume_control(-1);
    std::string out = testing::internal::GetCapturedStdout();
    char self[32], buf[32];
    snprintf(self, sizeof self, "%x", (unsigned)(uintptr_t)s);
    snprintf(buf, sizeof buf, "%x", (unsigned)(uintptr_t)data.data());
    EXPECT_EQ(out, "open_file: data.bin\nget_file_size: 5\nseek_file pos: 2\nread_file, size: 3 - \nclose_file\n"
                   "create_file: x.htm, where: 5\nwrite_file, 1 bytes\nstart_timer, msg: 38, periode 1000\n"
                   "stop_timer, msg: 38\ncritical_check, " + std::string(self) +
                       "\nset_error_message : Cannot setup display\n"
                       "load_sound, buf: " + buf + ", size: 16, freq: 22050, flags: 2\nplay_sound : 0\n"
                       "unload_sound : 0\nplay_song from memory: a.mod, loop: 1, pointer: " + buf + ", size: 16\n"
                       "play_song from file: b.ogg, loop: 0\nstop_song, fade out: 1\npause_song\nvolume_control: -1\n");
    s->close_file();
    EXPECT_STREQ(s->get_error_message(), "Cannot setup display");
    EXPECT_FALSE(s->put_to_clipboard("nothing copied here"));

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    bool opened = s->init_display(50, 40);
    s->set_region(10, 10, 20, 20);
    s->v_line(15, 0, 100, 0xFFFFFF);
    int ascent, descent;
    s->create_font("Some Face", 12, 1, 0, &ascent, &descent);
    s->flip(1, 2, 0);
    out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(opened);
    // The vertical line's log shows the part inside the clip rectangle.
    for (const char *line : {"init_display, width: 50 height: 40\n", "set_window_title, Mirandol 2\n",
                             "set_region, x: 10, y:10, width: 20, height:20\n", "v_line, x: 15 y: 10, length: 20\n",
                             "create_font, 'Some Face', height: 12, flags: 1, charset: 0\n",
                             "flip, effect: 1, clear_flags: 2, duration: 0\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
    EXPECT_NE(err.find("Loading of unmapped font, 'Some Face:1' requested. Falling back to default.\n"),
              std::string::npos)
        << err;
}

TEST(SDLSystem, LinkTargetReachesTheProgramAsOneArgument)
{
    ScopedWorkDir dir;
    const std::string script = dir.path() + "/show-args";
    const std::string record = dir.path() + "/args.txt";
    writeFile(script, "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > \"" + record + ".part\"\nmv \"" +
                          record + ".part\" \"" + record + "\"\n");
    chmod(script.c_str(), 0755);
    std::string config = std::string(QUIET) + "externalLink=" + script + "\n";
    SystemFixture f(config.c_str());

    const std::string target = "http://x/?a=1&b=2; touch pwned1 $(touch pwned2) `touch pwned3` "
                               "| touch pwned4 'q' \"r\" > pwned5";
    testing::internal::CaptureStdout();
    EXPECT_TRUE(f.system->open_link(target.c_str()));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Executing '" + script + " " + target + "'\n");
    for (int i = 0; i < 3000 && !fileExists(record); i++)
        SDL_Delay(10);
    EXPECT_EQ(readText(record), "1|" + target + "|");
    for (const char *p : {"pwned1", "pwned2", "pwned3", "pwned4", "pwned5"}) {
        EXPECT_FALSE(fileExists(p)) << p;
        EXPECT_FALSE(fileExists(dir.path() + "/" + p)) << p;
    }

    // A target that the program would take for an option runs nothing.
    unlink(record.c_str());
    const std::string option = "-S/usr/bin/touch " + dir.path() + "/pwned6";
    testing::internal::CaptureStdout();
    EXPECT_FALSE(f.system->open_link(option.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Not executing '" + script + " " + option + "': a link target may not begin with '-'\n");
    SDL_Delay(200);
    EXPECT_FALSE(fileExists(record));
}

// Unknown user flags and strings are reported; without a link program a
// link runs nothing; indexing always continues.
TEST(SDLSystem, UnknownQueriesNoLinkProgramAndIndexing)
{
    SystemFixture f(QUIET);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(f.system->get_user_flag(12), 0);
    EXPECT_EQ(f.system->get_user_string(3), nullptr);
    EXPECT_FALSE(f.system->open_link("anything"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Invalid flag given in get_user_flag. Returning 0 and hopeing for the best."
              "Invalid flag given in get_user_string. Returning NULL and hopeing for the best.");
    for (int count : {10, 1, 2})
        EXPECT_TRUE(f.system->indexing_progress(count));
}

TEST(LinuxPlatform, PathsAndListings)
{
    ScopedWorkDir dir;
    std::string xdg = dir.path() + "/xdg/deeper";
    std::string saved = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    {
        LinuxPlatform platform;
        EXPECT_EQ(std::vector<std::string>({platform.configPath(), platform.fontOverridePath(), platform.fontCachePath(),
                                            platform.homeDir(), platform.systemFontDir()}),
                  std::vector<std::string>({xdg + "/mirandol2", xdg + "/mirandol2_font_override",
                                            xdg + "/mirandol2_font_cache", "./", "/usr/share/fonts/truetype/"}));
        EXPECT_TRUE(isDirectory(xdg));
        EXPECT_EQ(platform.convertMo3("song.mo3"), nullptr);

        platform.makeDir("temp");
        writeFile("temp/b", std::string("x"));
        writeFile("temp/a", std::string("x"));
        Vector *names = Vector_create();
        platform.listDirectory("temp/", names);
        platform.listDirectory("./", names);
        platform.listDirectory("no-such-dir/", names);
        std::vector<std::string> listed;
        for (int i = 0; i < Vector_size(names); i++)
            listed.push_back((const char *)Vector_get(names, i));
        EXPECT_EQ(listed, std::vector<std::string>({"temp/a", "temp/b", "temp", "xdg"}));
        Vector_deleteAll(names);
    }
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(std::string(LinuxPlatform().configPath()), std::string(getenv("HOME")) + "/.config/mirandol2");
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

// The visited list is read from temp/, where it is written: one left beside
// the magazine is read only when temp/ has none, and a FIFO in its place is
// none, not waited on.
TEST(SDLSystem, VisitedListIsReadFromTempFirst)
{
    const struct { const char *name, *beside, *inTemp, *read; bool fifo; } cases[] = {
        {"both", "stray.txt\r\n", "kept.txt\r\n", "kept.txt\r\n", false},
        {"beside only", "stray.txt\r\n", nullptr, "stray.txt\r\n", false},
        {"FIFO in temp", nullptr, nullptr, nullptr, true},
    };
    for (const auto &c : cases) {
        SystemFixture f(QUIET);
        if (c.beside)
            writeFile("visited.txt", std::string(c.beside));
        if (c.inTemp)
            writeFile("temp/visited.txt", std::string(c.inTemp));
        if (c.fifo)
            mkfifo("temp/visited.txt", 0644);
        EXPECT_TRUE(endsWithin(5, [&] {
            if (!f.system->open_file("visited.txt"))
                return c.read == nullptr;
            std::string text(f.system->get_file_size(), '\0');
            bool read = f.system->read_file(&text[0], (int)text.size());
            f.system->close_file();
            return read && c.read && text == c.read;
        })) << c.name;
    }
}
