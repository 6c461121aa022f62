// The lower-cased word index of every article of the magazine, and the text
// search that marks a word's occurrences in a laid-out article.
//
// The index is a ternary search tree: one node per character position, each
// word ending at a node with isWord set. The articles that contain a word
// are kept apart from the tree, in the index's postings store: a sorted list
// of article numbers, or a bit set of one bit per article once the list
// would be larger (bit i: byte i / 8, value 1 << (i & 7)). The memory an
// index holds so grows with the postings, not with words times articles.
// The core builds it on the first search; the platform's search dialog walks
// the tree directly and never changes it. Words and the dialog's prefixes
// are folded to lower case with searchLower, so "Night" and "night" (and
// "École" and "école") are one word.
#ifndef MIRANDOL_SEARCH_INDEX_H
#define MIRANDOL_SEARCH_INDEX_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

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
    uint8_t isWord = 0;         // a word ends here; set with its first article
    uint8_t offered = 0;        // an article with a name (not noscan) holds the word
    uint8_t depth = 0;          // characters of the word before ch (set by compact)
    uint32_t postings = 0;      // where the word's articles start in the postings store

    explicit SearchNode(uint8_t ch) : ch(ch) {}
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
    // asked to stop, or a quit was asked for (checked before each article).
    bool addAllArticles(File *node, uint32_t &counter);
    // Indexes one article: the words after its "article" tag. Takes the text
    // (new[]) over and frees it. Nothing happens once N articles are in.
    void addArticle(const char *fileName, uint8_t *text, uint32_t length);
    // Enters a word (already lower case) for an article below N. False when
    // memory ran out; an empty word adds nothing.
    bool insertWord(SearchNode *root, const char *word, uint32_t article);
    bool insertWord(SearchNode *root, const uint8_t *word, size_t length, uint32_t article);
    // Enters the article in the word's postings (made on first use). False
    // when memory ran out; the word keeps the articles it had.
    bool markArticle(SearchNode *node, uint32_t article);

    // Whether the word ending at the node is in the article.
    bool hasArticle(const SearchNode *node, uint32_t article) const;
    // Calls visit(article) for every article of the word ending at the node,
    // in increasing order.
    template <class Visit>
    void forEachArticle(const SearchNode *node, Visit visit) const;

    // The node where the word or prefix ends, or null. An empty prefix gives
    // the start node.
    static const SearchNode *find(const SearchNode *start, const char *prefix);

    // Lays the finished tree out again, in place, in the order the dialog
    // walks it (smaller words, the word, longer words, greater words), so
    // that listing completions reads memory front to back, and gives the
    // postings store's unused tail back. Needs 4 bytes per node meanwhile;
    // nothing changes when they cannot be had.
    void compact();

    // Calls visit(node) for every node of the subtree (the node, its lo and
    // hi subtrees and everything below) in the dialog's walk order by
    // reading the laid-out rows of nodes front to back, each node's depth
    // telling where its character goes. False, and nothing visited, when
    // the tree is not laid out (before compact, or grown since).
    template <class Visit>
    bool forEachLaidOut(const SearchNode *subtree, Visit visit) const;
    bool isLaidOut() const { return laidOut; }

    // Bytes held by the tree, the postings and the arrays.
    size_t memoryUsed() const;
    size_t nodeCount() const { return nodes; }
    // Articles entered over all words (each word counts an article once).
    size_t postingCount() const { return postingsEntered; }

private:
    SearchNode *newNode(uint8_t ch);
    SearchNode *walk(SearchNode *start, const uint8_t *word, size_t length);

    // The postings store: one block per word, a 32-bit article count and
    // then either the sorted list (entries of `width` bytes, room for
    // capacity(count)) or, when the list would be larger, the bit set.
    uint32_t listRoom(uint32_t n) const;
    bool isBitSet(uint32_t n) const { return (uint64_t)n * width > bitSetBytes; }
    uint32_t blockBytes(uint32_t n) const;
    bool newBlock(uint32_t n, uint32_t &at);
    void freeBlock(uint32_t n, uint32_t at);
    uint32_t entry(const uint8_t *list, uint32_t i) const
    {
        if (width == 1)
            return list[i];
        if (width == 2)
            return (uint32_t)list[2 * i] | (uint32_t)list[2 * i + 1] << 8;
        uint32_t v;
        memcpy(&v, list + 4 * (size_t)i, 4);
        return v;
    }
    // The first place of a sorted list of n entries whose entry is not below article.
    uint32_t lowerBound(const uint8_t *list, uint32_t n, uint32_t article) const;
    void setEntry(uint8_t *list, uint32_t i, uint32_t article) const;
    uint32_t countAt(uint32_t at) const
    {
        uint32_t n;
        memcpy(&n, store + at, 4);
        return n;
    }

    struct Row {
        SearchNode *first;
        size_t count;
    };
    std::vector<Row> rows;      // the chunks' nodes oldest first, valid while laidOut
    bool laidOut = false;       // the nodes lie in walk order along rows

    struct Chunk;
    Chunk *chunks = nullptr;    // owned list: the pool of nodes, newest first
    size_t chunkBytes = 0;
    size_t nodes = 0;
    uint32_t bitSetBytes;       // ((N - 1) / 8) + 1
    uint32_t width;             // bytes of one article number in a list: 1, 2 or 4
    uint8_t *store = nullptr;   // owned (malloc): the postings blocks
    size_t storeUsed = 0, storeSize = 0;
    size_t postingsEntered = 0;
    std::vector<uint32_t> freeBlocks[34];   // offsets of released blocks, by size class
};

template <class Visit>
bool SearchIndex::forEachLaidOut(const SearchNode *subtree, Visit visit) const
{
    if (!laidOut || !subtree)
        return false;
    // The walk starts at the subtree's lo-most node and ends after the
    // last node under the end of its hi chain.
    const SearchNode *first = subtree, *last = subtree;
    while (first->lo)
        first = first->lo;
    for (;;) {
        while (last->hi)
            last = last->hi;
        if (!last->eq)
            break;
        last = last->eq;
    }
    size_t row = 0;
    uintptr_t at = (uintptr_t)first;
    while (row < rows.size() && !(at >= (uintptr_t)rows[row].first && at < (uintptr_t)(rows[row].first + rows[row].count)))
        row++;
    if (row == rows.size())
        return false;
    const SearchNode *node = first, *end = rows[row].first + rows[row].count;
    for (;;) {
        visit(node);
        if (node == last)
            return true;
        if (++node == end) {
            if (++row == rows.size())
                return true;
            node = rows[row].first;
            end = node + rows[row].count;
        }
    }
}

template <class Visit>
void SearchIndex::forEachArticle(const SearchNode *node, Visit visit) const
{
    if (!node || !node->isWord || !store)
        return;
    uint32_t n = countAt(node->postings);
    const uint8_t *data = store + node->postings + 4;
    if (isBitSet(n)) {
        for (uint32_t i = 0; i < articleCount; i++)
            if ((data[i >> 3] >> (i & 7)) & 1)
                visit(i);
        return;
    }
    for (uint32_t i = 0; i < n; i++)
        visit(entry(data, i));
}

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
    // none. The run starts at x; widths are measured with the font, the text
    // once in pieces between the matches' starts and ends (a mark stands at
    // the sum of the pieces before it), so the work is linear in n whatever
    // the number of matches.
    HighlightToken *highlightAll(const char *text, uint32_t n, int x, int y, uint32_t ascent,
                                 uint32_t colour, FontHandle font) const;
    // Start offsets of every match, for callers without a font.
    template <class Found>
    void forEachMatch(const char *text, uint32_t n, Found found) const;

private:
    HighlightToken *highlightPieces(const char *text, uint32_t n, int x, int y, uint32_t ascent,
                                    uint32_t colour, FontHandle font) const;
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
