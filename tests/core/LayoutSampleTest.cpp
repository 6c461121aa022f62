// The sample magazine's articles lay their words and pictures out inside their page.
#include <gtest/gtest.h>

#include "Article.h"
#include "ArticleLayout.h"
#include "FakeSystem.h"
#include "MagazineConfig.h"
#include "TestDirs.h"
#include "Token.h"

namespace {

std::string sampleText(const std::string &name)
{
    std::vector<uint8_t> bytes = readFile(std::string(M2_SOURCE_DIR) + "/sample/" + name);
    return std::string(bytes.begin(), bytes.end());
}

TEST(LayoutSample, EveryArticleStaysInsideItsPage)
{
    FakeSystemScope scope;
    std::string config = sampleText("config.txt");
    g_magazine_config.reset();
    g_magazine_config.parse((const uint8_t *)config.data(), config.size());
    for (const char *name : {"main.txt", "help.txt", "features.txt", "columns.txt", "gallery.txt",
                             "layout.txt"}) {
        std::string text = sampleText(name);
        ArticleLayout layout(nullptr, text.data(), text.size());
        Article *article = layout.parse(false);
        ASSERT_NE(article, nullptr) << name;
        EXPECT_FALSE(article->failed) << name;
        EXPECT_GT(article->lineCount, 5u) << name;
        for (unsigned i = 0; i < article->lineCount; i++)
            for (Token *t = article->lines[i].first; t; t = t->next) {
                // (Cell frames may lie 2 pixels outside a table without outspacing.)
                if (t->kind != TOKEN_STRING && t->kind != TOKEN_IMAGE)
                    continue;
                EXPECT_GE(t->x, 0) << name;
                EXPECT_LE(t->x + (int)t->width, article->columnWidth) << name;
            }
        delete article;
    }
    g_magazine_config.deleteTrees();
}

} // namespace
