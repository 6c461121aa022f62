// The lower-cased word index of every article of the magazine, and the text
// search that marks a word's occurrences in a laid-out article.
//
// The index is a ternary search tree: one node per character position, each
// word ending at a node with isWord set and a bit set of the articles that
// contain it (bit i: byte i / 8, value 1 << (i & 7)). The core builds it on
// the first search; the platform's search dialog walks the tree directly and
// never changes it. Words and the dialog's prefixes are folded to lower case
// with searchLower, so "Night" and "night" (and "École" and "école") are one
// word.
#ifndef MIRANDOL_SEARCH_INDEX_H
#define MIRANDOL_SEARCH_INDEX_H

#include <stddef.h>
#include <stdint.h>

#include "System.h"

class File;
class HighlightToken;

// Lower case of one byte: ASCII and the Latin-1 capitals.
uint8_t searchLower(uint8_t c);
// Folds a C string in place; returns it.
char *searchLowerText(char *text);

class SearchNode {
public:
    SearchNode *lo = nullptr;   // smaller characters here (in the index's node pool)
    SearchNode *eq = nullptr;   // the next character of words with ch here
    SearchNode *hi = nullptr;   // greater characters here
    uint8_t ch;
    uint8_t isWord = 0;         // a word ends here; set with its first article bit
    uint8_t *articles = nullptr;   // bit set of the index's article count (pool); null before

    explicit SearchNode(uint8_t ch) : ch(ch) {}

    // Whether bit i of the bit set is set (false past the bit set).
    bool hasArticle(uint32_t article, uint32_t articleCount) const
    {
        return articles && article < articleCount && (articles[article >> 3] >> (article & 7)) & 1;
    }
};

class SearchIndex {
public:
    // Longest word the index takes; longer runs of letters are not words
    // anyone searches for, and they would make the tree arbitrarily deep.
    enum { MAX_WORD = 64 };

    // An index for articleCount articles (at least 1).
    explicit SearchIndex(uint32_t articleCount);
    ~SearchIndex();
    SearchIndex(const SearchIndex &) = delete;
    SearchIndex &operator=(const SearchIndex &) = delete;

    char **names = nullptr;     // N owned strings (new[]): file names; null for noscan articles
    char **titles = nullptr;    // N owned strings: lower-cased titles, or null
    char **authors = nullptr;   // N owned strings: lower-cased authors, or null
    SearchNode *root = nullptr; // 'm'; in the node pool
    bool ok = false;            // the arrays and the root exist
    uint32_t count = 0;         // articles added; article i is the i-th added
    uint32_t articleCount;      // N: the size of the arrays and of every bit set

    // The text Files to index under a File tree: every text File but
    // "config.txt", packed or loose.
    static uint32_t countArticles(File *root);

    // Indexes every text File of the tree in name order, reporting each one
    // to indexing_progress (counter counts them). False when the platform
    // asked to stop.
    bool addAllArticles(File *node, uint32_t &counter);
    // Indexes one article: the words after its "article" tag. Takes the text
    // (new[]) over and frees it. Nothing happens once N articles are in.
    void addArticle(const char *fileName, uint8_t *text, uint32_t length);
    // Enters a word (already lower case) for an article below N. False when
    // memory ran out; an empty word adds nothing.
    bool insertWord(SearchNode *root, const char *word, uint32_t article);
    bool insertWord(SearchNode *root, const uint8_t *word, size_t length, uint32_t article);
    // Sets the article's bit at the node (the bit set made on first use).
    bool markArticle(SearchNode *node, uint32_t article);

    // The node where the word or prefix ends, or null. An empty prefix gives
    // the start node.
    static const SearchNode *find(const SearchNode *start, const char *prefix);

    // Lays the finished tree out again in the order the dialog walks it
    // (smaller words, the word, longer words, greater words), so that
    // listing completions reads memory front to back. Nothing changes when
    // memory runs out.
    void compact();

    // Bytes held by the tree, its bit sets and the arrays.
    size_t memoryUsed() const;
    size_t nodeCount() const { return nodes; }

private:
    SearchNode *newNode(uint8_t ch);
    uint8_t *newBitSet();
    void *poolAlloc(size_t size, size_t align);

    SearchNode *walk(SearchNode *start, const uint8_t *word, size_t length);
    SearchNode *copyTree(const SearchNode *from, bool &ok);

    struct Chunk;
    Chunk *chunks = nullptr;    // owned list: the pool of nodes and bit sets
    size_t chunkBytes = 0;
    size_t nodes = 0;
    uint32_t bitSetBytes;       // ((N - 1) / 8) + 1
};

// A pattern prepared for the bad-character search. The pattern is not
// copied: it must outlive the search.
class TextSearch {
public:
    explicit TextSearch(const char *pattern);

    int32_t skip[256];
    uint32_t length = 0;
    const char *pattern = nullptr;   // not owned; null for an empty pattern

    // A chain of highlights over every match (overlapping ones too) of the
    // pattern in text[0 .. n - 1], compared in lower case; null when there is
    // none. The run starts at x; widths are measured with the font.
    HighlightToken *highlightAll(const char *text, uint32_t n, int x, int y, uint32_t ascent,
                                 uint32_t colour, FontHandle font) const;
    // Start offsets of every match, for callers without a font.
    template <class Found>
    void forEachMatch(const char *text, uint32_t n, Found found) const;
};

template <class Found>
void TextSearch::forEachMatch(const char *text, uint32_t n, Found found) const
{
    if (!pattern || length == 0 || !text)
        return;
    const uint8_t *t = (const uint8_t *)text;
    const uint8_t *p = (const uint8_t *)pattern;
    uint32_t m = length;
    uint64_t e = m - 1;
    while (e < n) {
        uint64_t k = e;
        uint32_t j = m - 1;
        while (searchLower(t[k]) == p[j]) {
            if (j == 0)
                break;
            j--;
            k--;
        }
        if (j == 0 && searchLower(t[k]) == p[0]) {
            found((uint32_t)k, (uint32_t)e);
            e++;
            continue;
        }
        uint64_t shift = (uint64_t)skip[searchLower(t[k])];
        if (shift < (uint64_t)(m - j))
            shift = m - j;
        e = k + shift;
    }
}

#endif
