// What the reader's own files look like after a write failed for want of
// room: the visited list and an HTML export, through the platform's files.
#include <gtest/gtest.h>

#include "Area.h"
#include "Areas.h"
#include "Article.h"
#include "Export.h"
#include "File.h"
#include "FullDisk.h"
#include "LooseFiles.h"
#include "Playlist.h"
#include "SDLTestSupport.h"
#include "containr.h"

#include <stdio.h>
#include <sys/stat.h>

#include <iostream>
#include <string>
#include <vector>

namespace {

// A roomy disk, a file size limit and a full tmpfs (where one can be mounted).
struct Disk { const char *name; DiskKind kind; size_t room; bool room_enough; };

// The real platform as the core's System while it lives.
struct PlatformScope {
    SystemFixture fixture;
    System *previous = g_system;
    PlatformScope() { g_system = fixture.system.get(); }
    ~PlatformScope() { g_system = previous; }
};

} // namespace

TEST(FullDisk, VisitedListIsReplacedWholeOrKeptWhole)
{
    const std::string old = "main.txt\r\nold.txt\r\n";
    const Disk disks[] = {{"roomy", DISK_ROOMY, 0, true},
                          {"file size limit", DISK_FILE_LIMIT, 100, false},
                          {"full tmpfs", DISK_TMPFS, 0, false}};
    for (const Disk &d : disks) {
        PlatformScope platform;
        ScopedDisk disk(d.kind, d.room);
        if (!disk.available()) {
            std::cout << "[ SKIPPED  ] " << d.name << ": cannot be had here\n";
            continue;
        }
        mkdir("temp", 0755);
        ASSERT_TRUE(writeFile("temp/visited.txt", old));
        std::string visited;   // 480 bytes, more than the limit leaves
        for (int i = 0; i < 40; i++) {
            char name[16];
            snprintf(name, sizeof name, "a%05d.txt", i);
            addTreeFile(name)->visited = true;
            visited += std::string(name) + "\r\n";
        }
        const std::vector<std::string> files = listDirectory("temp");
        disk.fill();
        g_container.close();
        disk.empty();
        EXPECT_EQ(readText("temp/visited.txt"), d.room_enough ? visited : old) << d.name;
        EXPECT_EQ(listDirectory("temp"), files) << d.name;   // no new file left beside it
        EXPECT_STREQ(platform.fixture.system->get_error_message(),
                     d.room_enough ? nullptr : "Could not save the visited list")
            << d.name;
    }
}

TEST(FullDisk, ExportIsPutInPlaceWholeOrSaveStaysAsItWas)
{
    const std::string page = "<html><body>\r\nText<img src=\"a.bmp\"><img src=\"b.bmp\"></body></html>\r\n";
    const std::string pictureA(4000, 'A');
    // The limit of 40 bytes stops the page; that of 200 lets the page and
    // b.bmp through but not a.bmp.
    const Disk disks[] = {{"roomy", DISK_ROOMY, 0, true},
                          {"file size limit, page", DISK_FILE_LIMIT, 40, false},
                          {"file size limit, picture", DISK_FILE_LIMIT, 200, false},
                          {"full tmpfs", DISK_TMPFS, 0, false}};
    for (const Disk &d : disks) {
        PlatformScope platform;
        ScopedDisk disk(d.kind, d.room);
        if (!disk.available()) {
            std::cout << "[ SKIPPED  ] " << d.name << ": cannot be had here\n";
            continue;
        }
        mkdir("save", 0755);
        ASSERT_TRUE(writeFile("save/story.htm", std::string("old page")));
        ASSERT_TRUE(writeFile("save/a.bmp", std::string("old picture")));
        File *source = addLooseFile("arts/story.txt", "<article>Text<img file=pics/a.bmp><img file=pics/b.bmp>");
        addLooseFile("pics/a.bmp", pictureA);
        addLooseFile("pics/b.bmp", "BM b");
        Article *article = new Article(source);
        StatusbarArea *status = new StatusbarArea(AreaPlacement());
        article->areas = article->statusbarArea = status;

        disk.fill();
        saveArticleAsHtml(article);
        disk.empty();
        if (d.room_enough) {
            EXPECT_EQ(listDirectory("save"), (std::vector<std::string>{"a.bmp", "b.bmp", "story.htm"})) << d.name;
            EXPECT_TRUE(readText("save/story.htm") == page && readText("save/a.bmp") == pictureA &&
                        readText("save/b.bmp") == "BM b")
                << d.name;
            EXPECT_STREQ(status->text1.c_str(), "Article saved in file story.htm");
        } else {
            EXPECT_EQ(listDirectory("save"), (std::vector<std::string>{"a.bmp", "story.htm"})) << d.name;
            EXPECT_TRUE(readText("save/story.htm") == "old page" && readText("save/a.bmp") == "old picture")
                << d.name;
            EXPECT_STREQ(status->text1.c_str(), "Could not save the article") << d.name;
        }
        g_playlist.pendingSound = nullptr;
        delete article;
        dropLooseFiles();
    }
}
