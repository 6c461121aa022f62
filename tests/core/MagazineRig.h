// A magazine of loose files in a fresh working directory, shown by the article
// view over the recording System on a 200x160 screen: the fixture of the tests
// that open, follow and go back through articles.
#ifndef MIRANDOL_MAGAZINE_RIG_H
#define MIRANDOL_MAGAZINE_RIG_H

#include <gtest/gtest.h>

#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "Article.h"
#include "Browser.h"
#include "FakeSystem.h"
#include "History.h"
#include "Image.h"
#include "LooseFiles.h"
#include "MagazineConfig.h"
#include "Messages.h"
#include "PictureWriters.h"
#include "TestDirs.h"

struct LooseMagazine : ::testing::Test {
    ScopedWorkDir dir;
    FakeSystemScope scope;
    FakeSystem &sys = scope.sys;

    // A fresh reader and configuration, and a 2x2 picture under each name.
    void start(std::initializer_list<const char *> pictures)
    {
        memset(&g_browser, 0, sizeof g_browser);
        g_magazine_config.reset();
        g_magazine_config.width = 200;
        g_magazine_config.height = 160;
        std::vector<uint8_t> pixel = makeBMP(2, 2, std::vector<uint32_t>(4, 0x204060), 24);
        for (const char *name : pictures)
            add(name, pixel);
    }
    void TearDown() override
    {
        history.clear();
        EXPECT_EQ(currentArticle, nullptr);
        g_magazine_config.deleteTrees();
        dropLooseFiles();
        statusText.clear();
        // Every picture the view took was given back.
        EXPECT_EQ(sys.liveImages, 0);
        EXPECT_EQ(g_pointer_image, nullptr);
    }
    template <class Bytes> void add(const std::string &name, const Bytes &bytes)
    {
        ASSERT_TRUE(addLooseFile(name, bytes));
    }
    // Handles everything queued, as the main loop would; requests to quit
    // are left unanswered.
    void pump()
    {
        int msg = 0, param = 0;
        for (int i = 0; i < 100 && sys.get_message(msg, param); i++)
            if (msg != MSG_EXIT && msg != MSG_QUIT_REQUEST)
                g_browser.handleMessage(msg, param);
    }
};

#endif
