// The word index and the text search.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "Browser.h"
#include "FakeSystem.h"
#include "LooseFiles.h"
#include "MagWriter.h"
#include "SearchIndex.h"
#include "TestDirs.h"
#include "Token.h"
#include "containr.h"

namespace {

void add(SearchIndex &index, const char *name, const std::string &text) { indexArticle(index, name, text); }

// The articles (by number) that contain the word, or "-" when it is no word.
std::string articlesOf(const SearchIndex &index, const char *word)
{
    const SearchNode *node = SearchIndex::find(index.root, word);
    if (!node || !node->isWord)
        return "-";
    std::string out;
    for (uint32_t i = 0; i < index.articleCount; i++)
        if (node->hasArticle(i, index.articleCount))
            out += std::to_string(i) + " ";
    return out;
}

TEST(SearchIndex, WordsAreLowerCasedWithTheirArticlesInBitSets)
{
    SearchIndex index(10);
    ASSERT_TRUE(index.ok);
    for (int i = 0; i < 10; i++) {
        std::string text = "<article title=\"Part " + std::to_string(i) + "\">";
        if (i == 0 || i == 9)
            text += "The Night; night CAR cart \xC9" "clair";
        add(index, ("a" + std::to_string(i) + ".txt").c_str(), text);
    }
    EXPECT_EQ(index.count, 10u);
    const SearchNode *night = SearchIndex::find(index.root, "night");
    ASSERT_NE(night, nullptr);
    EXPECT_EQ(night->articles[0], 0x01);
    EXPECT_EQ(night->articles[1], 0x02);
    struct Case {
        const char *word, *articles;
    } cases[] = {
        {"night", "0 9 "}, {"Night", "-"}, {"car", "0 9 "}, {"cart", "0 9 "}, {"ca", "-"},
        {"\xE9" "clair", "0 9 "},   // Latin-1 capitals fold too
        {"part", "-"},   // titles are not text
        {"", "-"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(articlesOf(index, c.word), c.articles) << c.word;
    EXPECT_STREQ(index.titles[3], "part 3");
}

TEST(SearchIndex, ArticleTagStartsTheWordsAndNoscanHidesTheName)
{
    SearchIndex index(3);
    add(index, "plain.txt", "before <b> <article title=\"Caf\xC9 Noir\" author=\"ANNA\"> after");
    add(index, "hidden.txt", "<article noscan title=\"Secret\"> buried");
    add(index, "none.txt", "no article tag here");
    EXPECT_EQ(articlesOf(index, "before"), "-");
    EXPECT_EQ(articlesOf(index, "after"), "0 ");
    EXPECT_EQ(articlesOf(index, "buried"), "1 ");
    EXPECT_EQ(articlesOf(index, "article"), "-");
    EXPECT_STREQ(index.names[0], "plain.txt");
    EXPECT_STREQ(index.titles[0], "caf\xE9 noir");
    EXPECT_STREQ(index.authors[0], "anna");
    EXPECT_EQ(index.names[1], nullptr);
    EXPECT_EQ(index.titles[1], nullptr);
    EXPECT_STREQ(index.names[2], "none.txt");
    EXPECT_EQ(index.count, 3u);
}

TEST(SearchIndex, NothingIsWrittenAtOrPastTheArticleCount)
{
    SearchIndex index(2);
    add(index, "a.txt", "<article> one");
    add(index, "b.txt", "<article> two");
    add(index, "c.txt", "<article> three");   // past N: dropped, text freed
    EXPECT_EQ(index.count, 2u);
    EXPECT_EQ(articlesOf(index, "three"), "-");
    EXPECT_FALSE(index.insertWord(index.root, "four", 2));
    EXPECT_TRUE(index.insertWord(index.root, "", 0));
    EXPECT_EQ(articlesOf(index, ""), "-");
    std::string giant(SearchIndex::MAX_WORD + 1, 'x');
    EXPECT_TRUE(index.insertWord(index.root, giant.c_str(), 0));
    EXPECT_EQ(articlesOf(index, giant.c_str()), "-");

    SearchIndex empty(0);
    EXPECT_FALSE(empty.ok);
    add(empty, "a.txt", "<article> one");
    EXPECT_EQ(empty.count, 0u);
}

TEST(SearchIndex, SampleMagazineIsWorthSearching)
{
    const char *files[] = {"archive.txt", "columns.txt", "features.txt", "gallery.txt",
                           "help.txt",    "kitchen.txt", "letters.txt",  "main.txt",
                           "music.txt",   "nightsky.txt", "puzzles.txt", "travel.txt"};
    SearchIndex index(12);
    for (const char *name : files) {
        std::vector<uint8_t> text = readFile(std::string(M2_SOURCE_DIR) + "/sample/" + name);
        ASSERT_FALSE(text.empty()) << name;
        add(index, name, std::string(text.begin(), text.end()));
    }
    int hidden = 0, untitled = 0;
    for (uint32_t i = 0; i < index.count; i++) {
        hidden += !index.names[i];
        untitled += index.names[i] && !index.titles[i];
    }
    EXPECT_EQ(hidden, 1);
    EXPECT_EQ(untitled, 1);
    EXPECT_EQ(articlesOf(index, "zanzibar"), "0 ");     // only in the noscan article
    EXPECT_EQ(articlesOf(index, "caf\xE9"), "5 11 ");   // Latin-1, shared
    EXPECT_EQ(articlesOf(index, "r\xF6sti"), "5 6 11 ");
    EXPECT_EQ(articlesOf(index, "banana"), "10 ");
}

struct Magazine {
    ScopedWorkDir dir;
    FakeSystemScope fake;
    Magazine(const std::vector<MagMember> &members)
    {
        mkdir("temp", 0755);
        mkdir("save", 0755);
        MagArchive a;
        a.members = members;
        writeFile("mag.dat", a.build());
        g_browser.searchIndex = nullptr;
    }
    ~Magazine()
    {
        delete g_browser.searchIndex;
        g_browser.searchIndex = nullptr;
        g_container.close();
    }
};

TEST(SearchIndex, BuildCoversLooseArticlesAndNeedsAnArticle)
{
    {
        Magazine m({magFile("config.txt", "<article> configword"), magFile("b.txt", "<article> packed"),
                    magFile("pic.jpg", "not text")});
        writeFile("loose.txt", std::string("<article title=Loose> wandering"));
        ASSERT_TRUE(g_container.open());
        ASSERT_NE(g_container.addUserArticle("loose.txt"), nullptr);
        g_browser.buildSearchIndex();
        SearchIndex *index = g_browser.searchIndex;
        ASSERT_NE(index, nullptr);
        EXPECT_EQ(index->articleCount, 3u);   // with "?edit.txt", which cannot be loaded
        EXPECT_EQ(index->count, 2u);
        EXPECT_EQ(articlesOf(*index, "packed"), "0 ");
        EXPECT_EQ(articlesOf(*index, "wandering"), "1 ");
        EXPECT_EQ(articlesOf(*index, "configword"), "-");
    }
    {
        Magazine m({magFile("config.txt", "<article> configword")});
        ASSERT_TRUE(g_container.open());
        g_browser.buildSearchIndex();
        EXPECT_EQ(g_browser.searchIndex, nullptr);
    }
}

TEST(TextSearch, HighlightsEveryMatchWithoutTouchingTheText)
{
    FakeSystemScope fake;   // every character is charWidth wide
    int w = fake.sys.charWidth;
    struct Case {
        const char *pattern, *text;
        std::vector<int> starts;
    } cases[] = {
        {"aa", "aaaa", {0, 1, 2}},
        {"night", "Night and NIGHT", {0, 10}},
        {"\xE9t\xE9", "L'\xC9T\xC9", {2}},
        {"ab", "xxab", {2}},
        {"abc", "ab", {}},
        {"", "anything", {}},
    };
    for (const Case &c : cases) {
        TextSearch search(c.pattern);
        std::string text = c.text;
        HighlightToken *chain =
            search.highlightAll(text.data(), (uint32_t)text.size(), 100, 7, 12, 0x123, nullptr);
        std::vector<int> starts;
        for (Token *t = chain; t; t = t->next) {
            starts.push_back((t->x - 100) / w);
            EXPECT_EQ(t->kind, (uint32_t)TOKEN_HIGHLIGHT);
            EXPECT_EQ(t->width, strlen(c.pattern) * w);
            EXPECT_EQ(t->y, 7);
            EXPECT_EQ(t->ascent, 12u);
            EXPECT_EQ(t->colour, 0x123u);
        }
        EXPECT_EQ(starts, c.starts) << c.pattern << " in " << c.text;
        EXPECT_EQ(text, c.text);
        Token::deleteList(chain);
    }
}

} // namespace

#include "LayoutRig.h"

namespace {

// The highlights an article's lines carry, as "x+width" per line.
std::string highlightsOf(Article *article)
{
    std::string out;
    for (unsigned i = 0; i < article->lineCount; i++) {
        for (Token *t = article->lines[i].first; t && t->kind == TOKEN_HIGHLIGHT; t = t->next)
            out += std::to_string(t->x) + "+" + std::to_string(t->width) + " ";
        out += "|";
    }
    return out;
}

TEST(TextSearch, AnArticleMarksEveryMatchOfEachLineAndSwapsWords)
{
    LayoutRig rig(400);
    std::vector<LaidToken> before = rig.words("aaaa Baa<br>xaa");
    ASSERT_EQ(before.size(), 3u);
    Article *article = rig.article;
    int second = before[1].x;
    article->highlightText("aa");
    EXPECT_EQ(highlightsOf(article), "0+16 8+16 16+16 " + std::to_string(second + 8) + "+16 |8+16 |");
    EXPECT_EQ(article->lines[0].first->colour, article->highlightColour);
    article->highlightText("xaa");   // the first word's marks go
    EXPECT_EQ(highlightsOf(article), "|0+24 |");
    article->clearHighlights(); // shown on the page they were found for
    EXPECT_EQ(highlightsOf(article), "|0+24 |");
    article->clearHighlights();
    EXPECT_EQ(highlightsOf(article), "||");
}

} // namespace
