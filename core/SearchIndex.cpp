// The word index of the magazine (a ternary search tree with per-word
// article bit sets) and the text search behind search highlights.
#include "SearchIndex.h"

#include "Browser.h"
#include "File.h"
#include "Markup.h"
#include "Strings.h"
#include "Token.h"
#include "containr.h"

#include <new>
#include <stdlib.h>
#include <string.h>
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

// Nodes and bit sets live in large chunks freed together with the index:
// millions of small allocations would cost more time and memory than the
// words themselves.
struct SearchIndex::Chunk {
    Chunk *next;
    size_t size;
    size_t used;
    // data follows
    uint8_t *data() { return (uint8_t *)(this + 1); }
};

// Chunks start small (a magazine of a few articles needs a few kilobytes)
// and double up to 1 MB.
static const size_t kFirstChunk = 8 * 1024;
static const size_t kLargestChunk = 1024 * 1024;

void *SearchIndex::poolAlloc(size_t size, size_t align)
{
    if (chunks) {
        size_t at = (chunks->used + align - 1) & ~(align - 1);
        if (at + size <= chunks->size) {
            chunks->used = at + size;
            return chunks->data() + at;
        }
    }
    size_t bytes = chunks ? chunks->size * 2 : kFirstChunk;
    if (bytes > kLargestChunk)
        bytes = kLargestChunk;
    if (bytes < size)
        bytes = size;
    Chunk *chunk = (Chunk *)malloc(sizeof(Chunk) + bytes);
    if (!chunk)
        return nullptr;
    chunk->next = chunks;
    chunk->size = bytes;
    chunk->used = size;
    chunks = chunk;
    chunkBytes += sizeof(Chunk) + bytes;
    return chunk->data();
}

SearchNode *SearchIndex::newNode(uint8_t ch)
{
    void *at = poolAlloc(sizeof(SearchNode), alignof(SearchNode));
    if (!at)
        return nullptr;
    nodes++;
    return new (at) SearchNode(ch);
}

uint8_t *SearchIndex::newBitSet()
{
    uint8_t *bits = (uint8_t *)poolAlloc(bitSetBytes, 1);
    if (bits)
        memset(bits, 0, bitSetBytes);
    return bits;
}

// ----------------------------------------------------------------- index

SearchIndex::SearchIndex(uint32_t articleCount)
    : articleCount(articleCount), bitSetBytes(articleCount ? ((articleCount - 1) / 8) + 1 : 1)
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
}

size_t SearchIndex::memoryUsed() const
{
    return chunkBytes + 3 * sizeof(char *) * (size_t)articleCount;
}

static bool isArticleFile(const File *file)
{
    return file->fileType == FILE_TEXT && strcmp(file->name.c_str(), "config.txt") != 0;
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

bool SearchIndex::markArticle(SearchNode *node, uint32_t article)
{
    if (!node || article >= articleCount)
        return false;
    if (!node->isWord) {
        node->articles = newBitSet();
        if (!node->articles)
            return false;
        node->isWord = 1;
    }
    node->articles[article >> 3] |= (uint8_t)(1u << (article & 7));
    return true;
}

SearchNode *SearchIndex::copyTree(const SearchNode *from, bool &ok)
{
    SearchNode *first = nullptr;
    SearchNode **link = &first;
    for (const SearchNode *n = from; n && ok; n = n->hi) {
        SearchNode *lo = n->lo ? copyTree(n->lo, ok) : nullptr;
        SearchNode *copy = ok ? newNode(n->ch) : nullptr;
        if (!copy) {
            ok = false;
            break;
        }
        copy->lo = lo;
        copy->isWord = n->isWord;
        if (n->articles) {
            copy->articles = newBitSet();
            if (!copy->articles) {
                ok = false;
                break;
            }
            memcpy(copy->articles, n->articles, bitSetBytes);
        }
        *link = copy;
        link = &copy->hi;
        copy->eq = n->eq ? copyTree(n->eq, ok) : nullptr;
    }
    return first;
}

void SearchIndex::compact()
{
    if (!root)
        return;
    Chunk *old = chunks;
    size_t oldBytes = chunkBytes, oldNodes = nodes;
    chunks = nullptr;
    chunkBytes = 0;
    nodes = 0;
    bool ok = true;
    SearchNode *copy = copyTree(root, ok);
    Chunk *drop = ok ? old : chunks;
    if (ok) {
        root = copy;
    } else {
        chunks = old;
        chunkBytes = oldBytes;
        nodes = oldNodes;
    }
    while (drop) {
        Chunk *next = drop->next;
        free(drop);
        drop = next;
    }
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

HighlightToken *TextSearch::highlightAll(const char *text, uint32_t n, int x, int y,
                                         uint32_t ascent, uint32_t colour, FontHandle font) const
{
    HighlightToken *first = nullptr;
    HighlightToken *last = nullptr;
    // Widths are measured on copies: the text belongs to a laid-out token.
    std::vector<char> piece;
    auto width = [&](uint32_t from, uint32_t to) -> int {
        if (to <= from)
            return 0;
        piece.assign(text + from, text + to);
        piece.push_back('\0');
        return g_system->get_text_width(piece.data(), font);
    };
    forEachMatch(text, n, [&](uint32_t start, uint32_t end) {
        int prefix = width(0, start);
        int match = width(start, end + 1);
        HighlightToken *token = new (std::nothrow)
            HighlightToken(x + prefix, y, (uint32_t)(match > 0 ? match : 0), ascent, colour);
        if (!token)
            return;
        if (last)
            last->next = token;
        else
            first = token;
        last = token;
    });
    return first;
}
