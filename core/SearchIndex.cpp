// The word index of the magazine (a ternary search tree with per-word
// article bit sets) and the text search behind search highlights.
#include "SearchIndex.h"

#include "Browser.h"
#include "File.h"
#include "Markup.h"
#include "Strings.h"
#include "Token.h"
#include "containr.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

// ------------------------------------------------------------- lower case

static const struct LowerTable {
    uint8_t map[256];
    LowerTable()
    {
        for (int c = 0; c < 256; c++)
            map[c] = (uint8_t)c;
        for (int c = 'A'; c <= 'Z'; c++)
            map[c] = (uint8_t)(c + 32);
        // Latin-1 capitals À..Þ, but not the multiplication sign.
        for (int c = 0xC0; c <= 0xDE; c++)
            if (c != 0xD7)
                map[c] = (uint8_t)(c + 32);
    }
} kLower;

uint8_t searchLower(uint8_t c)
{
    return kLower.map[c];
}

char *searchLowerText(char *text)
{
    if (text)
        for (uint8_t *p = (uint8_t *)text; *p; p++)
            *p = kLower.map[*p];
    return text;
}

// ------------------------------------------------------------------ pool

// Nodes live in large chunks freed together with the index: millions of
// small allocations would cost more time and memory than the words
// themselves. A chunk holds nothing but nodes, side by side.
struct SearchIndex::Chunk {
    Chunk *next;
    size_t size;
    size_t used;
    // data follows
    uint8_t *data() { return (uint8_t *)(this + 1); }
    SearchNode *first() { return (SearchNode *)data(); }
    size_t count() const { return used / sizeof(SearchNode); }
};

// Chunks start small (a magazine of a few articles needs a few kilobytes)
// and double up to 1 MB.
static const size_t kFirstChunk = 8 * 1024;
static const size_t kLargestChunk = 1024 * 1024;
static_assert(kFirstChunk % sizeof(SearchNode) == 0, "chunks hold whole nodes");
static_assert(sizeof(SearchNode) % alignof(SearchNode) == 0 && alignof(SearchNode) <= 8,
              "nodes lie side by side after the 8-aligned chunk header");

SearchNode *SearchIndex::newNode(uint8_t ch)
{
    if (!chunks || chunks->used + sizeof(SearchNode) > chunks->size) {
        size_t bytes = chunks ? chunks->size * 2 : kFirstChunk;
        if (bytes > kLargestChunk)
            bytes = kLargestChunk;
        Chunk *chunk = (Chunk *)malloc(sizeof(Chunk) + bytes);
        if (!chunk)
            return nullptr;
        chunk->next = chunks;
        chunk->size = bytes;
        chunk->used = 0;
        chunks = chunk;
        chunkBytes += sizeof(Chunk) + bytes;
    }
    void *at = chunks->data() + chunks->used;
    chunks->used += sizeof(SearchNode);
    nodes++;
    laidOut = false;
    return new (at) SearchNode(ch);
}

// -------------------------------------------------------------- postings

// A list has room for the next power of two of its entries, so that growing
// it one article at a time copies each entry a bounded number of times, but
// never for more than the bit set would take.
uint32_t SearchIndex::listRoom(uint32_t n) const
{
    uint32_t most = bitSetBytes / width;
    uint32_t room = 1;
    while (room < n && room < most)
        room <<= 1;
    return room < most ? room : most;
}

uint32_t SearchIndex::blockBytes(uint32_t n) const
{
    uint64_t bytes = 4 + (isBitSet(n) ? (uint64_t)bitSetBytes : (uint64_t)listRoom(n) * width);
    return (uint32_t)((bytes + 3) & ~(uint64_t)3);
}

// Blocks of one size class are interchangeable: the bit set, the longest
// list, or a list of 2^k entries.
static unsigned sizeClass(uint32_t room, uint32_t most, bool bitSet)
{
    if (bitSet)
        return 33;
    if (room >= most)
        return 32;
    unsigned k = 0;
    while ((1u << k) < room)
        k++;
    return k;
}

bool SearchIndex::newBlock(uint32_t n, uint32_t &at)
{
    uint32_t bytes = blockBytes(n);
    std::vector<uint32_t> &spare = freeBlocks[sizeClass(listRoom(n), bitSetBytes / width, isBitSet(n))];
    if (!spare.empty()) {
        at = spare.back();
        spare.pop_back();
    } else {
        if ((uint64_t)storeUsed + bytes > UINT32_MAX)
            return false;
        if (storeUsed + bytes > storeSize) {
            size_t grown = storeSize + storeSize / 2 + 4096;
            if (grown < storeUsed + bytes)
                grown = storeUsed + bytes;
            uint8_t *bigger = (uint8_t *)realloc(store, grown);
            if (!bigger)
                return false;
            store = bigger;
            storeSize = grown;
        }
        at = (uint32_t)storeUsed;
        storeUsed += bytes;
    }
    memset(store + at, 0, bytes);
    memcpy(store + at, &n, 4);
    return true;
}

void SearchIndex::freeBlock(uint32_t n, uint32_t at)
{
    std::vector<uint32_t> &spare = freeBlocks[sizeClass(listRoom(n), bitSetBytes / width, isBitSet(n))];
    // A block that cannot be listed is only lost until the index goes.
    try {
        spare.push_back(at);
    } catch (const std::bad_alloc &) {
    }
}

void SearchIndex::setEntry(uint8_t *list, uint32_t i, uint32_t article) const
{
    if (width == 1) {
        list[i] = (uint8_t)article;
    } else if (width == 2) {
        list[2 * i] = (uint8_t)article;
        list[2 * i + 1] = (uint8_t)(article >> 8);
    } else {
        memcpy(list + 4 * (size_t)i, &article, 4);
    }
}

bool SearchIndex::markArticle(SearchNode *node, uint32_t article)
{
    if (!node || article >= articleCount)
        return false;
    bool named = names && names[article];
    if (!node->isWord) {
        uint32_t at;
        if (!newBlock(1, at))
            return false;
        setEntry(store + at + 4, 0, article);
        node->postings = at;
        node->isWord = 1;
        node->offered = named;
        postingsEntered++;
        return true;
    }
    uint32_t at = node->postings;
    uint32_t n = countAt(at);
    if (isBitSet(n)) {
        uint8_t &bits = store[at + 4 + (article >> 3)];
        uint8_t bit = (uint8_t)(1u << (article & 7));
        if (!(bits & bit)) {
            bits |= bit;
            n++;
            memcpy(store + at, &n, 4);
            postingsEntered++;
        }
        node->offered |= named;
        return true;
    }
    // Articles mostly come in increasing order: the new one goes last.
    const uint8_t *list = store + at + 4;
    uint32_t lo;
    if (entry(list, n - 1) < article) {
        lo = n;
    } else {
        lo = lowerBound(list, n, article);
        if (entry(list, lo) == article) {
            node->offered |= named;
            return true;
        }
    }
    uint32_t target = at;
    bool moves = isBitSet(n + 1) || listRoom(n + 1) > listRoom(n);
    if (moves && !newBlock(n + 1, target))
        return false;
    uint8_t *from = store + at + 4, *to = store + target + 4;   // the store may have moved
    if (isBitSet(n + 1)) {
        for (uint32_t i = 0; i < n; i++) {
            uint32_t a = entry(from, i);
            to[a >> 3] |= (uint8_t)(1u << (a & 7));
        }
        to[article >> 3] |= (uint8_t)(1u << (article & 7));
    } else {
        for (uint32_t i = n; i > lo; i--)
            setEntry(to, i, entry(from, i - 1));
        if (moves)
            for (uint32_t i = 0; i < lo; i++)
                setEntry(to, i, entry(from, i));
        setEntry(to, lo, article);
    }
    uint32_t grown = n + 1;
    memcpy(store + target, &grown, 4);
    if (moves)
        freeBlock(n, at);
    node->postings = target;
    node->offered |= named;
    postingsEntered++;
    return true;
}

bool SearchIndex::hasArticle(const SearchNode *node, uint32_t article) const
{
    if (!node || !node->isWord || !store || article >= articleCount)
        return false;
    uint32_t n = countAt(node->postings);
    const uint8_t *data = store + node->postings + 4;
    if (isBitSet(n))
        return (data[article >> 3] >> (article & 7)) & 1;
    uint32_t lo = lowerBound(data, n, article);
    return lo < n && entry(data, lo) == article;
}

uint32_t SearchIndex::lowerBound(const uint8_t *list, uint32_t n, uint32_t article) const
{
    uint32_t lo = 0, hi = n;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (entry(list, mid) < article)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// ----------------------------------------------------------------- index

SearchIndex::SearchIndex(uint32_t articleCount)
    : articleCount(articleCount), bitSetBytes(articleCount ? ((articleCount - 1) / 8) + 1 : 1),
      width(articleCount <= 0x100 ? 1 : articleCount <= 0x10000 ? 2 : 4)
{
    if (articleCount == 0)
        return;
    names = new (std::nothrow) char *[articleCount]();
    titles = new (std::nothrow) char *[articleCount]();
    authors = new (std::nothrow) char *[articleCount]();
    root = newNode('m');
    ok = names && titles && authors && root;
}

SearchIndex::~SearchIndex()
{
    for (uint32_t i = 0; i < articleCount; i++) {
        if (names)
            delete[] names[i];
        if (titles)
            delete[] titles[i];
        if (authors)
            delete[] authors[i];
    }
    delete[] names;
    delete[] titles;
    delete[] authors;
    while (chunks) {
        Chunk *next = chunks->next;
        free(chunks);
        chunks = next;
    }
    free(store);
}

size_t SearchIndex::memoryUsed() const
{
    size_t spare = 0;
    for (const std::vector<uint32_t> &list : freeBlocks)
        spare += list.capacity() * sizeof(uint32_t);
    return chunkBytes + storeSize + spare + 3 * sizeof(char *) * (size_t)articleCount;
}

// Whether a file of the name lies where the platform looks for loose files
// (the directory, then "temp"), asked without the platform complaining.
static bool onDisk(const char *name)
{
    for (const char *dir : {"", "temp/"}) {
        std::string path = std::string(dir) + name;
        char *asked = &path[0];
        if (g_system->find_one_file(asked))
            return true;
    }
    return false;
}

static bool isArticleFile(const File *file)
{
    if (file->fileType != FILE_TEXT || strcmp(file->name.c_str(), "config.txt") == 0)
        return false;
    // A loose article (the container's own entry, the user's "-a" article)
    // is one only when its file is there: loading a missing one would have
    // the platform complain.
    if (file->loose)
        return g_system && onDisk(file->nameOnDisk());
    return true;
}

uint32_t SearchIndex::countArticles(File *root)
{
    uint32_t n = 0;
    Tree::forEachInOrder(root, [&n](File *file) {
        if (isArticleFile(file))
            n++;
    });
    return n;
}

bool SearchIndex::addAllArticles(File *node, uint32_t &counter)
{
    // In name order with an explicit stack: the File tree may be a long chain.
    std::vector<File *> stack;
    File *current = node;
    while (current || !stack.empty()) {
        while (current) {
            stack.push_back(current);
            current = static_cast<File *>(current->left);
        }
        File *file = stack.back();
        stack.pop_back();
        if (isArticleFile(file)) {
            // Loading a damaged member can take long: a quit asked for
            // meanwhile is served before the next one, and the index cut
            // short is given up (the caller keeps only a whole one).
            if (g_system->quit_requested())
                return false;
            uint8_t *data = nullptr;
            uint32_t size = 0;
            if (file->load(data, size))
                addArticle(file->name.c_str(), data, size);
            counter++;
            if (!g_system->indexing_progress((int)counter))
                return false;
        }
        current = static_cast<File *>(file->right);
    }
    return true;
}

// A tag value as a new[] string in search lower case, or null.
static char *lowerValue(Tag *tag, uint32_t attr)
{
    String value;
    if (!tag->getString(attr, value))
        return nullptr;
    char *text = value.str;
    value.str = nullptr;
    return searchLowerText(text);
}

void SearchIndex::addArticle(const char *fileName, uint8_t *text, uint32_t length)
{
    if (!text)
        return;
    if (!ok || count >= articleCount) {
        delete[] text;
        return;
    }
    uint32_t article = count;
    names[article] = String::duplicate(fileName);

    MarkupLexer lexer;
    lexer.wordsOnly = true;
    lexer.init(text, length);
    bool started = false;
    for (MarkupToken token = lexer.next(); token != MARKUP_END; token = lexer.next()) {
        if (token == MARKUP_TAG) {
            if (started)
                continue;
            Tag *tag = lexer.parseTag();
            if (tag && tag->id == KW_ARTICLE) {
                started = true;
                if (tag->has(KW_NOSCAN)) {
                    delete[] names[article];
                    names[article] = nullptr;
                } else {
                    titles[article] = lowerValue(tag, KW_TITLE);
                    authors[article] = lowerValue(tag, KW_AUTHOR);
                }
            }
            delete tag;
            continue;
        }
        if (!started || token != MARKUP_WORD || lexer.tokenLength == 0 ||
            lexer.tokenLength > MAX_WORD * 6)
            continue;
        const uint8_t *word = lexer.tokenStart;
        uint32_t n = lexer.tokenLength;
        if (memchr(word, '&', n)) {
            String decoded;
            uint32_t decodedLength = 0;
            decodeMarkupText(decoded, decodedLength, word, n, 0);
            if (decoded.str)
                insertWord(root, (const uint8_t *)decoded.str, decodedLength, article);
        } else {
            insertWord(root, word, n, article);
        }
    }
    count++;
    delete[] text;
}

bool SearchIndex::insertWord(SearchNode *start, const char *word, uint32_t article)
{
    if (!word)
        return false;
    return insertWord(start, (const uint8_t *)word, strlen(word), article);
}

// Finds or makes the node where the word (lower case) ends below start.
SearchNode *SearchIndex::walk(SearchNode *start, const uint8_t *word, size_t length)
{
    SearchNode **link = nullptr;
    SearchNode *node = start;
    for (size_t i = 0;; ) {
        uint8_t c = word[i];
        // Walk this position's lo/hi links to the node of c, hanging a new
        // node where the walk falls off the tree.
        for (;;) {
            if (!node) {
                node = newNode(c);
                if (!node)
                    return nullptr;
                *link = node;
                break;
            }
            if (c == node->ch)
                break;
            link = c < node->ch ? &node->lo : &node->hi;
            node = *link;
        }
        if (++i == length)
            return node;
        link = &node->eq;
        node = node->eq;
    }
}

bool SearchIndex::insertWord(SearchNode *start, const uint8_t *word, size_t length,
                             uint32_t article)
{
    if (!start || !word || article >= articleCount)
        return false;
    if (length == 0 || length > MAX_WORD)
        return true;
    uint8_t lower[MAX_WORD];
    for (size_t i = 0; i < length; i++)
        lower[i] = searchLower(word[i]);
    return markArticle(walk(start, lower, length), article);
}

namespace {

// The chunks as one row of node slots: slot k is the k-th node counting
// from the oldest chunk's first one.
struct Slots {
    struct Span {
        SearchNode *first;
        size_t base, count;
    };
    std::vector<Span> byAge;       // oldest first: by slot
    std::vector<Span> byAddress;   // by where they lie

    SearchNode *at(size_t k) const
    {
        auto it = std::upper_bound(byAge.begin(), byAge.end(), k,
                                   [](size_t v, const Span &s) { return v < s.base; });
        --it;
        return it->first + (k - it->base);
    }
    size_t slotOf(const SearchNode *node) const
    {
        auto it = std::upper_bound(byAddress.begin(), byAddress.end(), node,
                                   [](const SearchNode *v, const Span &s) { return std::less<const SearchNode *>()(v, s.first); });
        --it;
        return it->base + (size_t)(node - it->first);
    }
};

} // namespace

void SearchIndex::compact()
{
    if (!root)
        return;
    // The postings keep their places; the store's unused tail goes.
    if (store && storeUsed < storeSize) {
        if (uint8_t *fitted = (uint8_t *)realloc(store, storeUsed)) {
            store = fitted;
            storeSize = storeUsed;
        }
    }
    for (std::vector<uint32_t> &list : freeBlocks)
        std::vector<uint32_t>().swap(list);

    // Every node gets its place in the dialog's walk order (seq, by slot);
    // the links are turned to the slots their nodes will have; then the
    // nodes are swapped into place, each swap settling one node for good.
    if (nodes > UINT32_MAX)
        return;
    std::unique_ptr<uint32_t[]> seq(new (std::nothrow) uint32_t[nodes]);
    if (!seq)
        return;
    Slots slots;
    try {
        std::vector<Chunk *> age;
        for (Chunk *c = chunks; c; c = c->next)
            age.push_back(c);
        size_t base = 0;
        for (size_t i = age.size(); i-- > 0;) {
            slots.byAge.push_back({age[i]->first(), base, age[i]->count()});
            base += age[i]->count();
        }
        slots.byAddress = slots.byAge;
        std::sort(slots.byAddress.begin(), slots.byAddress.end(), [](const Slots::Span &a, const Slots::Span &b) {
            return std::less<const SearchNode *>()(a.first, b.first);
        });

        uint32_t next = 0;
        struct Pending {
            SearchNode *node;
            uint32_t depth;
            bool own;   // the node's own turn, after its lo subtree
        };
        std::vector<Pending> pending;
        pending.push_back({root, 0, false});
        while (!pending.empty()) {
            Pending p = pending.back();
            pending.pop_back();
            SearchNode *n = p.node;
            if (p.own) {
                seq[slots.slotOf(n)] = next++;
                n->depth = (uint8_t)p.depth;
            } else if (n) {
                pending.push_back({n->hi, p.depth, false});
                pending.push_back({n->eq, p.depth + 1, false});
                pending.push_back({n, p.depth, true});
                pending.push_back({n->lo, p.depth, false});
            }
        }
        if (next != nodes)
            return;
        rows.clear();
        for (const Slots::Span &span : slots.byAge)
            rows.push_back({span.first, span.count});
    } catch (const std::bad_alloc &) {
        return;
    }

    auto moved = [&](SearchNode *n) { return n ? slots.at(seq[slots.slotOf(n)]) : nullptr; };
    for (const Slots::Span &span : slots.byAge) {
        for (size_t i = 0; i < span.count; i++) {
            SearchNode *n = span.first + i;
            n->lo = moved(n->lo);
            n->eq = moved(n->eq);
            n->hi = moved(n->hi);
        }
    }
    root = moved(root);
    for (size_t i = 0; i < nodes; i++) {
        while (seq[i] != i) {
            size_t j = seq[i];
            std::swap(*slots.at(i), *slots.at(j));
            std::swap(seq[i], seq[j]);
        }
    }
    laidOut = true;
}

const SearchNode *SearchIndex::find(const SearchNode *node, const char *prefix)
{
    if (!node || !prefix)
        return nullptr;
    const uint8_t *p = (const uint8_t *)prefix;
    if (!*p)
        return node;
    while (node) {
        uint8_t c = *p;
        if (c == node->ch) {
            if (!*++p)
                return node;
            node = node->eq;
        } else {
            node = c < node->ch ? node->lo : node->hi;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------- browser step

void Browser::buildSearchIndex()
{
    if (searchIndex)
        return;
    uint32_t n = SearchIndex::countArticles(g_container.root);
    if (n == 0)
        return;
    SearchIndex *index = new (std::nothrow) SearchIndex(n);
    if (!index)
        return;
    uint32_t counter = 0;
    if (index->ok && index->addAllArticles(g_container.root, counter) && index->count > 0) {
        index->compact();
        searchIndex = index;
    }
    else
        delete index;
}

// ------------------------------------------------------------ text search

TextSearch::TextSearch(const char *text)
{
    length = text ? (uint32_t)strlen(text) : 0;
    if (length == 0) {
        for (int c = 0; c < 256; c++)
            skip[c] = 255;
        return;
    }
    for (int c = 0; c < 256; c++)
        skip[c] = (int32_t)length;
    for (uint32_t i = 0; i < length; i++)
        skip[(uint8_t)text[i]] = (int32_t)(length - 1 - i);
    pattern = text;
}

static int32_t clampCoordinate(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v;
}

HighlightToken *TextSearch::highlightAll(const char *text, uint32_t n, int x, int y,
                                         uint32_t ascent, uint32_t colour, FontHandle font) const
{
    // Without memory for the boundaries the word is simply not marked.
    try {
        return highlightPieces(text, n, x, y, ascent, colour, font);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

HighlightToken *TextSearch::highlightPieces(const char *text, uint32_t n, int x, int y,
                                            uint32_t ascent, uint32_t colour, FontHandle font) const
{
    std::vector<uint32_t> starts;
    forEachMatch(text, n, [&](uint32_t start, uint32_t) { starts.push_back(start); });
    if (starts.empty())
        return nullptr;
    // Every match's start and end is a boundary; the width up to each one
    // is the width up to the one before plus the piece between them, so the
    // whole token is measured once however many matches it holds. Starts
    // and ends both ascend, so the boundaries are met in order by a merge.
    std::vector<int64_t> atStart(starts.size()), atEnd(starts.size());
    std::vector<char> piece;   // measured on copies: the text belongs to a laid-out token
    uint32_t measuredTo = 0;
    int64_t width = 0;
    auto widthTo = [&](uint32_t to) -> int64_t {
        if (to > measuredTo) {
            piece.assign(text + measuredTo, text + to);
            piece.push_back('\0');
            width += g_system->get_text_width(piece.data(), font);
            measuredTo = to;
        }
        return width;
    };
    for (size_t s = 0, e = 0; e < starts.size();) {
        if (s < starts.size() && starts[s] <= starts[e] + length)
            atStart[s] = widthTo(starts[s]), s++;
        else
            atEnd[e] = widthTo(starts[e] + length), e++;
    }
    HighlightToken *first = nullptr;
    HighlightToken *last = nullptr;
    for (size_t i = 0; i < starts.size(); i++) {
        int64_t match = atEnd[i] - atStart[i];
        HighlightToken *token = new (std::nothrow)
            HighlightToken(clampCoordinate((int64_t)x + atStart[i]), y,
                           (uint32_t)(match > 0 ? (match > INT32_MAX ? INT32_MAX : match) : 0), ascent, colour);
        if (!token)
            break;
        if (last)
            last->next = token;
        else
            first = token;
        last = token;
    }
    return first;
}
