// What the reader's own files look like after a write failed for want of
// room, was stopped by a quit, or was refused (a frozen file, a device, a
// folder, someone else's link): the visited list and an HTML export,
// through the platform's files.
#include <gtest/gtest.h>

#include "Areas.h"
#include "Article.h"
#include "Export.h"
#include "FullDisk.h"
#include "LooseFiles.h"
#include "Playlist.h"
#include "SDLTestSupport.h"
#include "containr.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <map>

namespace {

struct Disk { const char *name; DiskKind kind; size_t room; };   // room: a file's, under the limit
using Files = std::map<std::string, std::string>;                 // name: content

Files contents(const std::string &dir)
{
    Files files;
    for (const std::string &name : listDirectory(dir))
        files[name] = readText(dir + "/" + name);
    return files;
}

// The body on each disk that can be had here, the real platform as the core's System.
void onEachDisk(std::initializer_list<Disk> disks,
                const std::function<void(const Disk &, ScopedDisk &, SDLSystem *)> &body)
{
    for (const Disk &d : disks) {
        SystemFixture fixture;
        System *previous = g_system;
        g_system = fixture.system.get();
        ScopedDisk disk(d.kind, d.room);
        if (disk.available())
            body(d, disk, fixture.system.get());
        else
            std::cout << "[ SKIPPED  ] " << d.name << ": cannot be had here\n";
        g_system = previous;
    }
}

} // namespace

TEST(FullDisk, VisitedListIsReplacedWholeOrKeptWhole)
{
    const std::string old = "main.txt\r\nold.txt\r\n";
    onEachDisk({{"roomy", DISK_ROOMY, 0}, {"file size limit", DISK_FILE_LIMIT, 100}, {"full tmpfs", DISK_TMPFS, 0}},
               [&](const Disk &d, ScopedDisk &disk, SDLSystem *system) {
        mkdir("temp", 0755);
        ASSERT_TRUE(writeFile("temp/visited.txt", old));
        std::string visited;   // 480 bytes, more than the limit leaves
        for (int i = 10000; i < 10040; i++) {
            std::string name = "a" + std::to_string(i) + ".txt";
            addTreeFile(name.c_str())->visited = true;
            visited += name + "\r\n";
        }
        Files files = contents("temp");
        disk.fill();
        g_container.close();
        disk.empty();
        bool roomy = d.kind == DISK_ROOMY;
        files["visited.txt"] = roomy ? visited : old;   // and no new file beside it
        EXPECT_EQ(contents("temp"), files) << d.name;
        EXPECT_STREQ(system->get_error_message(), roomy ? nullptr : "Could not save the visited list") << d.name;
    });
}

TEST(FullDisk, ExportIsPutInPlaceWholeOrSaveStaysAsItWas)
{
    const std::string page = "<html><body>\r\nText<img src=\"a.bmp\"><img src=\"b.bmp\"></body></html>\r\n";
    const std::string pictureA(4000, 'A');
    const Files saved = {{"a.bmp", pictureA}, {"b.bmp", "BM b"}, {"story.htm", page}},
                kept = {{"a.bmp", "old picture"}, {"story.htm", "old page"}};
    // The limit of 40 bytes stops the page; that of 200 lets the page and
    // b.bmp through but not a.bmp.
    onEachDisk({{"roomy", DISK_ROOMY, 0}, {"file size limit, page", DISK_FILE_LIMIT, 40},
                {"file size limit, picture", DISK_FILE_LIMIT, 200}, {"full tmpfs", DISK_TMPFS, 0}},
               [&](const Disk &d, ScopedDisk &disk, SDLSystem *) {
        mkdir("save", 0755);
        ASSERT_TRUE(writeFile("save/story.htm", kept.at("story.htm")) && writeFile("save/a.bmp", kept.at("a.bmp")));
        File *source = addLooseFile("arts/story.txt", "<article>Text<img file=pics/a.bmp><img file=pics/b.bmp>");
        addLooseFile("pics/a.bmp", pictureA);
        addLooseFile("pics/b.bmp", "BM b");
        Article *article = new Article(source);
        StatusbarArea *status = new StatusbarArea(AreaPlacement());
        article->areas = article->statusbarArea = status;
        disk.fill();
        saveArticleAsHtml(article);
        disk.empty();
        bool roomy = d.kind == DISK_ROOMY;
        EXPECT_EQ(contents("save"), roomy ? saved : kept) << d.name;
        EXPECT_STREQ(status->text1.c_str(), roomy ? "Article saved in file story.htm" : "Could not save the article")
            << d.name;
        g_playlist.pendingSound = nullptr;
        delete article;
        dropLooseFiles();
    });
}

namespace {

// The platform, asked to quit (as by Ctrl+C) when the core makes its n-th file.
class QuittingSystem : public SDLSystem {
public:
    using SDLSystem::SDLSystem;
    int quitAt = 0;
    int created = 0;
    bool create_file(const char *name, int where) override
    {
        if (++created == quitAt)
            requestQuit();
        return SDLSystem::create_file(name, where);
    }
};

} // namespace

TEST(ExportQuit, AQuitStopsTheExportAndLeavesSaveAsItWas)
{
    SystemFixture fixture("showConfig=false\nmusic=false\nsoundEffects=false\n", {},
                          [](Platform *p, int argc, char **argv) { return new QuittingSystem(p, argc, argv); });
    QuittingSystem *system = static_cast<QuittingSystem *>(fixture.system.get());
    System *previous = g_system;
    g_system = system;
    const Files kept = {{"pa.bmp", "old picture"}, {"story.htm", "old page"}};
    for (const auto &file : kept)
        ASSERT_TRUE(writeFile("save/" + file.first, file.second));
    std::string text = "<article>Pictures";
    for (char c = 'a'; c < 'u'; c++) {
        addLooseFile(std::string("pics/p") + c + ".bmp", std::string(100000, c));
        text += std::string("<img file=pics/p") + c + ".bmp>";
    }
    Article *article = new Article(addLooseFile("story.txt", text));
    // The page and two pictures are written; the quit comes as the third starts.
    system->quitAt = 4;
    saveArticleAsHtml(article);
    EXPECT_EQ(system->created, 4);   // no file after the request
    EXPECT_EQ(contents("save"), kept);
    delete article;
    dropLooseFiles();
    g_system = previous;
}

// A visited list that may not be replaced (frozen, a FIFO, reached through
// someone else's link) stays as it was and the reader says so; one linked
// to a device is written into it, which stays a device.
TEST(SavedFiles, AVisitedListThatMayNotBeReplacedStaysAsItWas)
{
    const std::string old = "main.txt\r\n";
    const char *FAILED = "Could not save the visited list";
    const struct { const char *name; std::function<bool()> make; const char *end; mode_t kind; const char *error; } cases[] = {
        {"frozen", [&] { return writeFile("temp/visited.txt", old) && chmod("temp/visited.txt", 0444) == 0; },
         "temp/visited.txt", S_IFREG, FAILED},
        {"FIFO", [] { return mkfifo("temp/visited.txt", 0644) == 0; }, "temp/visited.txt", S_IFIFO, FAILED},
        {"link to a device",
         [] { return mknod("null-copy", S_IFCHR | 0666, makedev(1, 3)) == 0 && symlink("../null-copy", "temp/visited.txt") == 0; },
         "null-copy", S_IFCHR, nullptr},
        {"someone else's link",
         [&] {
             return geteuid() == 0 && writeFile("elsewhere", old) && symlink("../elsewhere", "temp/visited.txt") == 0 &&
                    lchown("temp/visited.txt", 12345, 12345) == 0;
         },
         "elsewhere", S_IFREG, FAILED},
    };
    for (const auto &c : cases) {
        SystemFixture fixture;
        System *previous = g_system;
        g_system = fixture.system.get();
        if (c.make()) {
            addTreeFile("main.txt")->visited = true;
            addTreeFile("new.txt")->visited = true;
            g_container.close();
            struct stat st;
            EXPECT_TRUE(lstat(c.end, &st) == 0 && (st.st_mode & S_IFMT) == c.kind) << c.name;
            if (c.kind == S_IFREG) {
                EXPECT_EQ(readText(c.end), old) << c.name;
            }
            EXPECT_STREQ(fixture.system->get_error_message(), c.error) << c.name;
            EXPECT_EQ(listDirectory("temp").size(), 2u) << c.name;   // "fallback" and the list: nothing beside
        } else {
            std::cout << "[ SKIPPED  ] " << c.name << ": cannot be made here\n";
            g_container.close();
        }
        g_system = previous;
    }
}

// A name of the export taken by a folder fails the save before any file is
// replaced, whether the folder was there when the export began or came
// while it was written: every earlier file stays as it was.
TEST(SavedFiles, AnExportWithANameTakenByAFolderLeavesSaveAsItWas)
{
    const Files kept = {{"a.bmp", "old picture"}, {"story.htm", "old page"}};
    for (bool during : {false, true}) {
        SystemFixture fixture;
        System *previous = g_system;
        SDLSystem *system = fixture.system.get();
        g_system = system;
        for (const auto &file : kept)
            ASSERT_TRUE(writeFile("save/" + file.first, file.second));
        if (during) {
            // The files wait to be placed, and then b.bmp becomes a folder.
            for (const char *name : {"story.htm", "a.bmp", "b.bmp"}) {
                ASSERT_TRUE(system->create_file(name, FILE_IN_SAVE | FILE_TRUNCATE | FILE_HOLD)) << name;
                ASSERT_TRUE(system->write_file("new", 3));
                ASSERT_TRUE(system->commit_file(true)) << name;
            }
            mkdir("save/b.bmp", 0755);
            EXPECT_FALSE(system->place_files(true));
        } else {
            mkdir("save/b.bmp", 0755);
            File *source = addLooseFile("arts/story.txt", "<article>Text<img file=pics/a.bmp><img file=pics/b.bmp>");
            addLooseFile("pics/a.bmp", "BM a");
            addLooseFile("pics/b.bmp", "BM b");
            Article *article = new Article(source);
            StatusbarArea *status = new StatusbarArea(AreaPlacement());
            article->areas = article->statusbarArea = status;
            saveArticleAsHtml(article);
            EXPECT_STREQ(status->text1.c_str(), "Could not save the article");
            delete article;
            dropLooseFiles();
        }
        Files files = contents("save");
        files.erase("b.bmp");
        EXPECT_EQ(files, kept) << during;   // nothing beside either
        EXPECT_EQ(listDirectory("save/b.bmp"), std::vector<std::string>{}) << during;
        g_system = previous;
    }
}

// When a later file of an export cannot be put in place, the files already
// replaced are put back as they were, and nothing is left beside them.
TEST(SavedFiles, ALaterFailurePutsTheReplacedFilesBack)
{
    const Files kept = {{"a.bmp", "old picture"}, {"b.bmp", "old b"}};
    SystemFixture fixture;
    SDLSystem *system = fixture.system.get();
    for (const auto &file : kept)
        ASSERT_TRUE(writeFile("save/" + file.first, file.second));
    for (const char *name : {"a.bmp", "b.bmp"}) {
        ASSERT_TRUE(system->create_file(name, FILE_IN_SAVE | FILE_TRUNCATE | FILE_HOLD)) << name;
        ASSERT_TRUE(system->write_file("new", 3));
        ASSERT_TRUE(system->commit_file(true)) << name;
    }
    // b.bmp's new file is gone before it is placed, after a.bmp's was.
    for (const std::string &name : listDirectory("save"))
        if (name.compare(0, 6, "b.bmp.") == 0)
            remove(("save/" + name).c_str());
    EXPECT_FALSE(system->place_files(true));
    EXPECT_EQ(contents("save"), kept);
}
