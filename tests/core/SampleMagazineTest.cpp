// The sample magazine's sources hang together: every name its configuration
// and articles use is a file the build generates or copies, and its articles
// lay out inside their page.
#include <gtest/gtest.h>

#include <dirent.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "Article.h"
#include "ArticleLayout.h"
#include "FakeSystem.h"
#include "File.h"
#include "FontStyle.h"
#include "ImageList.h"
#include "LooseFiles.h"
#include "MagazineConfig.h"
#include "Markup.h"
#include "Scheme.h"
#include "TestDirs.h"
#include "Theme.h"
#include "Token.h"

namespace {

const char *const kArticles[] = {"main.txt", "help.txt", "features.txt", "columns.txt", "gallery.txt",
                                 "layout.txt", "travel.txt", "kitchen.txt", "nightsky.txt", "music.txt",
                                 "letters.txt", "archive.txt", "puzzles.txt", "links.txt", "pages.txt",
                                 "serial.txt"};

std::string sourceText(const std::string &name)
{
    std::vector<uint8_t> bytes = readFile(std::string(M2_SOURCE_DIR) + "/sample/" + name);
    return std::string(bytes.begin(), bytes.end());
}

std::string staged(const std::string &name) { return std::string(M2_BINARY_DIR) + "/sample-files/" + name; }

class SampleMagazine : public ::testing::Test {
protected:
    FakeSystemScope scope;
    MagazineConfig &cfg = g_magazine_config;
    void SetUp() override
    {
        // The container as the packed magazine would hold it.
        if (DIR *d = opendir((std::string(M2_BINARY_DIR) + "/sample-files").c_str())) {
            while (dirent *e = readdir(d))
                if (e->d_name[0] != '.')
                    strlwr(addTreeFile(e->d_name)->name.str);
            closedir(d);
        }
        cfg.reset();
        std::string text = sourceText("config.txt");
        ASSERT_FALSE(text.empty());
        parseMagazineConfig(text);
    }
    void TearDown() override
    {
        cfg.deleteTrees();
        dropLooseFiles();
    }
    void expectFile(const String &name, const std::string &where)
    {
        EXPECT_TRUE(name.isEmpty() || fileExists(staged(name.c_str()))) << name.c_str() << " used by " << where;
    }
};

TEST_F(SampleMagazine, ConfigurationNamesOnlyExistingFilesFontsAndThemes)
{
    if (!fileExists(staged("main.txt")))
        GTEST_SKIP() << "sample files not generated";
    ImageList *open = Tree::findAs<ImageList>(cfg.imageLists, cfg.openingList.c_str());
    ImageList *close = Tree::findAs<ImageList>(cfg.imageLists, cfg.closingList.c_str());
    ASSERT_TRUE(open && close);
    Tree::forEachInOrder(cfg.imageLists, [&](ImageList *l) {
        for (ImageListEntry *e = l->first; e; e = e->next)
            expectFile(e->file, std::string("image list ") + l->name.c_str());
    });
    unsigned buttons = 0;
    Tree::forEachInOrder(cfg.themes, [&](Theme *t) {
        std::string where = std::string("theme ") + t->name.c_str();
        EXPECT_GT(t->palette.count, 0u) << where;
        for (const String *n : {&t->background, &t->overlay, &t->scrollBegin, &t->scrollMiddle, &t->scrollEnd})
            expectFile(*n, where);
        for (auto &c : t->cursors)
            expectFile(c, where);
        for (auto &s : t->sounds)
            expectFile(s, where);
        for (AreaPlacement *p : {&t->title, &t->status, &t->clock, &t->scroll})
            EXPECT_TRUE(p->width <= 1 || Tree::find(cfg.fontStyles, p->name.c_str())) << where << " " << p->name.c_str();
        EXPECT_GT(t->page.height, 1) << where;
        for (ButtonDef *b = t->buttons; b; b = b->next, buttons++) {
            EXPECT_NE(0, b->command) << where;
            for (const String *n : {&b->normal, &b->selected, &b->pressed, &b->sounddown, &b->soundup})
                expectFile(*n, where);
            EXPECT_LE(b->placement.x + b->placement.width, (int)cfg.width) << where;
            EXPECT_LE(b->placement.y + b->placement.height, (int)cfg.height) << where;
        }
    });
    EXPECT_GE(buttons, 10u);
    Tree::forEachInOrder(cfg.schemes, [&](Scheme *s) {
        std::string where = std::string("scheme ") + s->name.c_str();
        EXPECT_NE(nullptr, Tree::find(cfg.themes, s->backgrounds[1].c_str())) << where;
        for (int i = 1; i < Scheme::BACKGROUND_SLOTS; i++)
            EXPECT_TRUE(s->backgrounds[i].isEmpty() || Tree::find(cfg.themes, s->backgrounds[i].c_str())) << where;
        for (auto &song : s->songs)
            expectFile(song, where);
        EXPECT_NE(nullptr, Tree::find(cfg.fontStyles, s->fontStyle.c_str())) << where;
        EXPECT_GT(s->columnWidth(), 0u) << where;
    });
}

TEST_F(SampleMagazine, ArticlesNameWhatExistsAndStayInsideTheirPage)
{
    std::set<std::string> articles(std::begin(kArticles), std::end(kArticles));
    for (const char *name : kArticles) {
        std::string text = sourceText(name);
        ASSERT_FALSE(text.empty()) << name;
        MarkupLexer lexer;
        lexer.init(text.data(), text.size());
        bool sawArticle = false;
        for (MarkupToken t; (t = lexer.next()) != MARKUP_END;) {
            if (t != MARKUP_TAG)
                continue;
            Tag *tag = lexer.parseTag();
            String value, list;
            if (tag->id == KW_ARTICLE && !sawArticle) {
                sawArticle = true;
                EXPECT_TRUE(tag->getLowerString(KW_SCHEME, value) && Tree::find(cfg.schemes, value.str)) << name;
            } else if (tag->id == KW_FONT && tag->getLowerString(KW_STYLE, value)) {
                EXPECT_NE(nullptr, Tree::find(cfg.fontStyles, value.str)) << name << " " << value.str;
            } else if (tag->id == KW_IMG && tag->getLowerString(KW_FILE, value) && fileExists(staged("main.txt"))) {
                EXPECT_TRUE(fileExists(staged(value.str))) << name << " " << value.str;
            } else if (tag->id == KW_LINK && tag->getLowerString(KW_ARTICLE, value)) {
                // One link shows what a broken link does.
                EXPECT_TRUE(articles.count(value.str) || !strcmp(value.str, "nosuch.txt")) << name << " " << value.str;
            } else if (tag->id == KW_LINK && tag->getLowerString(KW_COMMAND, value) && !strcmp(value.str, "i")) {
                EXPECT_TRUE(tag->getLowerString(KW_PARAM, list) && Tree::find(cfg.imageLists, list.str)) << name;
            }
            delete tag;
        }
        EXPECT_TRUE(sawArticle) << name;
        // Words and pictures lie inside the page (cell frames may lie 2 pixels
        // outside a table without outspacing).
        ArticleLayout layout(nullptr, text.data(), text.size());
        Article *article = layout.parse(false);
        ASSERT_NE(article, nullptr) << name;
        EXPECT_FALSE(article->failed) << name;
        EXPECT_GT(article->lineCount, 3u) << name;
        for (unsigned i = 0; i < article->lineCount; i++)
            for (Token *t = article->lines[i].first; t; t = t->next)
                EXPECT_TRUE((t->kind != TOKEN_STRING && t->kind != TOKEN_IMAGE) ||
                            (t->x >= 0 && t->x + (int)t->width <= article->columnWidth))
                    << name << " " << t->x;
        delete article;
    }
}

} // namespace
