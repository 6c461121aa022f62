// The word index and the text search.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "Browser.h"
#include "LayoutRig.h"
#include "MagWriter.h"
#include "Messages.h"
#include "SearchIndex.h"

namespace {

// The articles (by number) that contain the word, or "-" when it is no word.
std::string articlesOf(const SearchIndex &index, const char *word)
{
    const SearchNode *node = SearchIndex::find(index.root, word);
    if (!node || !node->isWord)
        return "-";
    std::string out;
    index.forEachArticle(node, [&](uint32_t i) { out += std::to_string(i) + " "; });
    return out;
}

TEST(SearchIndex, WordsAreLowerCasedWithTheirArticlesAndTheCountBounds)
{
    SearchIndex index(10);
    ASSERT_TRUE(index.ok);
    const char *twin = "before <b> <article title=\"Caf\xC9 Noir\" author=\"ANNA\"> The Night; night CAR cart \xC9" "clair";
    indexArticle(index, "plain.txt", twin);
    indexArticle(index, "hidden.txt", "<article noscan title=\"Secret\"> buried");
    indexArticle(index, "none.txt", "no article tag here");
    for (int i = 3; i < 9; i++)
        indexArticle(index, "a.txt", "<article title=\"Part " + std::to_string(i) + "\">");
    indexArticle(index, "last.txt", twin);
    indexArticle(index, "past.txt", "<article> eleven"); // past N: dropped, text freed
    EXPECT_EQ(index.count, 10u);
    const char *words[][2] = {
        {"night", "0 9 "}, {"Night", "-"}, {"cart", "0 9 "}, {"ca", "-"},
        {"\xE9" "clair", "0 9 "}, // Latin-1 capitals fold too
        {"part", "-"}, // titles are not text
        {"before", "-"}, {"buried", "1 "}, {"article", "-"}, {"eleven", "-"}, {"", "-"},
    };
    for (auto &w : words)
        EXPECT_EQ(articlesOf(index, w[0]), w[1]) << w[0];
    // Titles and authors are lower-cased; noscan hides the name.
    for (auto [got, want] : {std::pair{index.names[0], "plain.txt"}, {index.titles[0], "caf\xE9 noir"},
                             {index.authors[0], "anna"}, {index.names[1], "(none)"}, {index.titles[1], "(none)"},
                             {index.names[2], "none.txt"}, {index.titles[3], "part 3"}})
        EXPECT_STREQ(got ? got : "(none)", want);
    // Nothing is written at or past the article count, nor for empty or giant words.
    EXPECT_FALSE(index.insertWord(index.root, "four", 10));
    EXPECT_TRUE(index.insertWord(index.root, "", 0));
    EXPECT_EQ(articlesOf(index, ""), "-");
    std::string giant(SearchIndex::MAX_WORD + 1, 'x');
    EXPECT_TRUE(index.insertWord(index.root, giant.c_str(), 0));
    EXPECT_EQ(articlesOf(index, giant.c_str()), "-");
    SearchIndex empty(0);
    EXPECT_FALSE(empty.ok);
    indexArticle(empty, "a.txt", "<article> one");
    EXPECT_EQ(empty.count, 0u);
}

// A packed magazine of the given members in a fresh directory.
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
        EXPECT_EQ(index->articleCount, 2u); // "?edit.txt" is on no disk: not an article
        EXPECT_EQ(index->count, 2u);
        EXPECT_EQ(articlesOf(*index, "packed") + articlesOf(*index, "wandering"), "0 1 ");
        EXPECT_EQ(articlesOf(*index, "configword"), "-");
    }
    Magazine m({magFile("config.txt", "<article> configword")});
    ASSERT_TRUE(g_container.open());
    g_browser.buildSearchIndex();
    EXPECT_EQ(g_browser.searchIndex, nullptr);
}

// Ctrl+C as the n-th article of the first search is indexed.
struct QuitDuringIndex : FakeSystem {
    int quitAt = 0;
    std::vector<int> reported;
    bool indexing_progress(int count) override
    {
        reported.push_back(count);
        if (count == quitAt)
            post_message(MSG_EXIT, 0);
        return true;
    }
};

// A quit during the build ends it before the next article is loaded, and the
// index cut short is not kept: a later search would build it again.
TEST(SearchIndex, AQuitDuringTheBuildEndsItBeforeTheNextArticle)
{
    const struct {
        const char *name;
        int quitAt;
        std::vector<int> reported;
        bool kept;
    } cases[] = {
        {"no quit: every article, the index kept", 0, {1, 2, 3, 4, 5}, true},
        {"after the second: two articles, nothing kept", 2, {1, 2}, false},
        {"after the last: whole, but the reader is ending", 5, {1, 2, 3, 4, 5}, true},
    };
    for (const auto &c : cases) {
        std::vector<MagMember> members{magFile("config.txt", "<article> configword")};
        for (char n = 'a'; n < 'f'; n++)
            members.push_back(magFile(std::string(1, n) + ".txt", std::string("<article> word") + n));
        Magazine m(members);
        ASSERT_TRUE(g_container.open());
        QuitDuringIndex sys;
        sys.quitAt = c.quitAt;
        g_system = &sys;
        g_browser.buildSearchIndex();
        g_system = &m.fake.sys;
        EXPECT_EQ(sys.reported, c.reported) << c.name;
        EXPECT_EQ(g_browser.searchIndex != nullptr, c.kept) << c.name;
    }
}

TEST(TextSearch, HighlightsEveryMatchWithoutTouchingTheText)
{
    FakeSystemScope fake; // every character is charWidth wide
    int w = fake.sys.charWidth;
    const struct {
        const char *pattern, *text;
        std::vector<int> starts;
    } cases[] = {
        {"aa", "aaaa", {0, 1, 2}}, {"night", "Night and NIGHT", {0, 10}}, {"\xE9t\xE9", "L'\xC9T\xC9", {2}},
        {"ab", "xxab", {2}},       {"abc", "ab", {}},                     {"", "anything", {}},
    };
    for (const auto &c : cases) {
        TextSearch search(c.pattern);
        std::string text = c.text;
        HighlightToken *chain = search.highlightAll(text.data(), (uint32_t)text.size(), 100, 7, 12, 0x123, nullptr);
        std::vector<int> starts;
        for (Token *t = chain; t; t = t->next) {
            starts.push_back((t->x - 100) / w);
            EXPECT_TRUE(t->kind == TOKEN_HIGHLIGHT && t->width == strlen(c.pattern) * w && t->y == 7 &&
                        t->ascent == 12u && t->colour == 0x123u);
        }
        EXPECT_EQ(starts, c.starts) << c.pattern << " in " << c.text;
        EXPECT_EQ(text, c.text);
        Token::deleteList(chain);
    }
}

// Measures as the fake does, counting the bytes it was handed.
struct CountingSystem : FakeSystem {
    size_t measured = 0;
    int get_text_width(const char *text, FontHandle) override
    {
        measured += text ? strlen(text) : 0;
        return text ? (int)strlen(text) * charWidth : 0;
    }
};

// However many matches a word holds, its text is measured about once, and
// the last mark still stands where the text before it ends.
TEST(TextSearch, ALongWordIsMeasuredOnceWhateverItsMatches)
{
    CountingSystem counting;
    System *previous = g_system;
    g_system = &counting;
    std::string zq(20000, 'z');
    for (int i = 0; i < 20000; i++)
        zq += "zq";
    const struct { const char *pattern; std::string text; size_t matches, lastStart; } cases[] = {
        {"zq", zq, 20000, zq.size() - 2}, {"aa", std::string(30001, 'a'), 30000, 29999}, // overlapping
    };
    for (const auto &c : cases) {
        counting.measured = 0;
        TextSearch search(c.pattern);
        HighlightToken *chain = search.highlightAll(c.text.data(), (uint32_t)c.text.size(), 5, 0, 10, 1, nullptr);
        size_t marks = 0;
        Token *last = chain;
        for (Token *t = chain; t; t = t->next, marks++)
            last = t;
        EXPECT_EQ(marks, c.matches) << c.pattern;
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->x, 5 + (int)c.lastStart * counting.charWidth) << c.pattern;
        EXPECT_LE(counting.measured, c.text.size()) << c.pattern;
        Token::deleteList(chain);
    }
    g_system = previous;
}

// An index of many small articles holds bytes by its words' postings, not
// by words times articles; laying it out takes nothing more.
TEST(SearchIndex, HoldsBytesByPostingsNotWordsTimesArticles)
{
    FakeSystemScope fake;
    const uint32_t articles = 4000;
    SearchIndex index(articles);
    ASSERT_TRUE(index.ok);
    std::string all;
    for (uint32_t a = 0; a < articles; a++) {
        all += std::to_string(a) + " ";
        std::string text = "<article> common";
        for (int w = 0; w < 10; w++)
            text += " w" + std::to_string(a) + "x" + std::to_string(w);
        indexArticle(index, "a.txt", text);
    }
    size_t built = index.memoryUsed();
    index.compact();
    EXPECT_EQ(index.postingCount(), articles * 11u);
    EXPECT_LE(index.memoryUsed(), built);
    // Nodes, a few bytes per posting, the arrays, and the unused part of
    // the last pool chunk (at most 1 MB).
    size_t perNode = sizeof(SearchNode) + 1, perPosting = 16;
    EXPECT_LE(index.memoryUsed(), index.nodeCount() * perNode + index.postingCount() * perPosting +
                                      3 * sizeof(char *) * articles + 1024 * 1024);
    EXPECT_EQ(articlesOf(index, "common"), all);
    EXPECT_EQ(articlesOf(index, "w3999x9"), "3999 ");
}

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
    article->highlightText("aa");
    EXPECT_EQ(highlightsOf(article), "0+16 8+16 16+16 " + std::to_string(before[1].x + 8) + "+16 |8+16 |");
    EXPECT_EQ(article->lines[0].first->colour, article->highlightColour);
    article->highlightText("xaa"); // the first word's marks go
    EXPECT_EQ(highlightsOf(article), "|0+24 |");
    article->clearHighlights(); // shown on the page they were found for
    EXPECT_EQ(highlightsOf(article), "|0+24 |");
    article->clearHighlights();
    EXPECT_EQ(highlightsOf(article), "||");
}

} // namespace
