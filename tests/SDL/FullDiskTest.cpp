// What the reader's own files look like after a write failed for want of
// room, or was stopped by a quit: the visited list and an HTML export,
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
