// Article layout speed: generated articles of 100 KB and 1 MB of markup
// (paragraphs of every alignment, links, floats, a table every few screens),
// tables of two and of ten tall cells side by side (1 MB and 10 MB, beside
// the same words in one cell), and the sample magazine's own articles, laid
// out with the embedded fallback TrueType font measured as the SDL layer
// measures it. The anchor, timed on the same bytes in the same run, is the
// markup lexer's pass with the decoding of every word: the part of the work
// no layout can skip.
//
// Layout is timed alone: freeing the previous result happens with the
// timing paused, and freeing is timed on its own (BM_Free*), each article
// laid out with the timing paused.
//
// Every layout is checked outside the timed loop: the last timed result must
// give the same words at the same places as a reference laid out before the
// loop, and that reference holds exactly the markup's words (for the cells:
// in reading order, each once).
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Article.h"
#include "ArticleLayout.h"
#include "File.h"
#include "Image.h"
#include "MagazineConfig.h"
#include "SDLFont.h"
#include "TestDirs.h"
#include "Token.h"
#include "ToolSystem.h"
#include "containr.h"

extern const unsigned char g_fallbackFont[];
extern const size_t g_fallbackFontSize;

namespace {

// Fonts are the fallback font at the asked height, measured like SDLSystem.
class BenchSystem : public ToolSystem {
public:
    BenchSystem() : ToolSystem("none.dat")
    {
        path_ = testTempRoot() + "/bench-default.ttf";
        FILE *f = fopen(path_.c_str(), "wb");
        if (f) {
            fwrite(g_fallbackFont, 1, g_fallbackFontSize, f);
            fclose(f);
        }
    }
    FontHandle create_font(const char *, int height, int, int, int *ascent, int *descent) override
    {
        SDLFont *&font = fonts_[height];
        if (!font)
            font = SDLFont::openFont(path_.c_str(), height);
        GlyphSet *set = font ? SDLFont::firstSet(font) : nullptr;
        *ascent = set ? set->ascent : 0;
        *descent = set ? set->descent : 0;
        return reinterpret_cast<FontHandle>(font);
    }
    int get_text_width(const char *text, FontHandle font) override
    {
        return fontTextWidth(reinterpret_cast<SDLFont *>(font), text);
    }
    int get_user_flag(int index) override { return index == USER_FLAG_FONT_DPI ? 72 : 0; }

private:
    std::string path_;
    std::map<int, SDLFont *> fonts_;
};

const char *kConfig =
    "<fontstyle name=body face=serif size=11 color=1c1c28>"
    "<scheme name=a><page width=600><background theme=t><font style=body><p align=j>"
    "</scheme><theme name=t></theme>";

struct Setup {
    BenchSystem sys;
    File picture;
    Image *image = nullptr;
    Setup()
    {
        g_system = &sys;
        g_magazine_config.reset();
        g_magazine_config.parse((const uint8_t *)kConfig, strlen(kConfig));
        // One picture for the floats, cached in its File as a decoded one is.
        picture.name.set("float.bmp");
        picture.fileType = FILE_BMP;
        image = new Image(&picture);
        image->width = 120;
        image->height = 90;
        image->references = 1;
        picture.image = image;
        picture.cached = true;
        g_container.root = &picture;
    }
};

Setup &setup()
{
    static Setup s;
    return s;
}

std::string generatedArticle(size_t size)
{
    static const char *const syllables[] = {"ka", "lo", "mi", "ren", "sto", "va", "tur", "el",
                                            "an", "dor", "pe", "qui", "sa", "ni", "ox", "ber"};
    std::mt19937 rng(4711);
    auto word = [&]() {
        std::string w;
        for (int k = 1 + (int)(rng() % 3); k > 0; k--)
            w += syllables[rng() % 16];
        return w;
    };
    static const char *const aligns[] = {"j", "l", "r", "c"};
    std::string text = "<article scheme=a title=\"Bench\">";
    int paragraph = 0;
    while (text.size() < size) {
        paragraph++;
        text += "<p align=";
        text += aligns[paragraph % 4];
        text += " sp=6>";
        if (paragraph % 5 == 0)
            text += paragraph % 10 ? "<img file=float.bmp align=l right=6>"
                                   : "<img file=float.bmp align=r left=6>";
        int words = 40 + (int)(rng() % 80);
        for (int i = 0; i < words; i++) {
            if (i % 23 == 7)
                text += "<link article=next.txt>" + word() + " " + word() + "</link> ";
            else if (i % 31 == 11)
                text += "<b>" + word() + "</b> ";
            else if (i % 37 == 5)
                text += "a&lt;b ";
            else
                text += word() + " ";
        }
        if (paragraph % 12 == 0) {
            text += "<table width=90% border=808080 shadow=202020 outspacing=4>";
            for (int r = 0; r < 4; r++) {
                text += "<tr>";
                for (int c = 0; c < 3; c++)
                    text += "<td width=30%>" + word() + " " + word() + " " + word();
            }
            text += "</table>";
        }
    }
    return text;
}

// The sample magazine's articles with its configuration.
std::vector<std::string> sampleArticles()
{
    std::vector<std::string> out;
    for (const char *name : {"main.txt", "features.txt", "columns.txt", "gallery.txt",
                             "help.txt", "layout.txt"}) {
        std::ifstream in(std::string(M2_SOURCE_DIR "/sample/") + name, std::ios::binary);
        if (!in)
            continue;
        std::stringstream s;
        s << in.rdbuf();
        out.push_back(s.str());
    }
    return out;
}

Article *layOut(const std::string &text)
{
    ArticleLayout layout(nullptr, text.data(), text.size());
    return layout.parse(false);
}

uint64_t fnv(uint64_t h, const void *data, size_t size)
{
    const unsigned char *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < size; i++)
        h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

uint64_t wordHash(const char *text, size_t size) { return fnv(0xcbf29ce484222325ull, text, size); }

// What a layout put where: the words with their places, in index order.
struct Laid {
    unsigned lines = 0;
    unsigned words = 0;
    uint64_t wordSum = 0;    // sum of the word hashes: which words, in any order
    uint64_t placeHash = 0;  // every token's kind and box and every word's text, in order
    bool operator==(const Laid &o) const
    {
        return lines == o.lines && words == o.words && wordSum == o.wordSum && placeHash == o.placeHash;
    }
};

Laid describe(const Article *article)
{
    Laid d;
    d.placeHash = 0xcbf29ce484222325ull;
    if (!article)
        return d;
    d.lines = article->lineCount;
    for (unsigned i = 0; i < article->lineCount; i++) {
        const Article::Line &line = article->lines[i];
        d.placeHash = fnv(d.placeHash, &line.top, sizeof line.top);
        d.placeHash = fnv(d.placeHash, &line.bottom, sizeof line.bottom);
        for (Token *t = line.first; t; t = t->next) {
            int32_t box[5] = {(int32_t)t->kind, t->x, t->y, (int32_t)t->width, (int32_t)t->ascent};
            d.placeHash = fnv(d.placeHash, box, sizeof box);
            if (t->kind != TOKEN_STRING)
                continue;
            const StringToken *w = static_cast<const StringToken *>(t);
            d.placeHash = fnv(d.placeHash, w->text, w->length);
            d.wordSum += wordHash(w->text, w->length);
            d.words++;
        }
    }
    return d;
}

// The words of the markup as the lexer decodes them (the anchor's work).
uint64_t lexedWordSum(const std::string &text, unsigned &count)
{
    MarkupLexer lexer;
    lexer.init(text.data(), text.size());
    uint64_t sum = 0;
    count = 0;
    for (MarkupToken t; (t = lexer.next()) != MARKUP_END;) {
        if (t == MARKUP_WORD) {
            String word;
            uint32_t length;
            decodeMarkupText(word, length, lexer.tokenStart, lexer.tokenLength, 0);
            sum += wordHash(word.c_str(), length);
            count++;
        } else if (t == MARKUP_TAG) {
            delete lexer.parseTag();
        }
    }
    return sum;
}

// Lays text out once per iteration, timing the layout alone: the previous
// result is freed with the timing paused. The last result is checked
// against the reference after the loop. False (with the state marked) on a
// mismatch.
bool timeLayout(benchmark::State &state, const std::string &text, const Laid &reference)
{
    Article *last = nullptr;
    for (auto _ : state) {
        if (last) {
            state.PauseTiming();
            delete last;
            state.ResumeTiming();
        }
        Article *article = layOut(text);
        benchmark::DoNotOptimize(article);
        last = article;
    }
    Laid got = describe(last);
    delete last;
    if (!(got == reference)) {
        state.SkipWithError("a timed layout differs from the reference");
        return false;
    }
    return true;
}

// Frees a laid-out article once per iteration, timing the freeing alone:
// each article is laid out with the timing paused, and checked against the
// reference (the first in full) before it is freed.
void timeFreeing(benchmark::State &state, const std::string &text, const Laid &reference)
{
    bool same = true, described = false;
    for (auto _ : state) {
        state.PauseTiming();
        Article *article = layOut(text);
        // The first in full, the others by their line count.
        same = same && (described ? article && article->lineCount == reference.lines
                                  : describe(article) == reference);
        described = true;
        state.ResumeTiming();
        delete article;
    }
    if (!same)
        state.SkipWithError("an article laid out for freeing differs from the reference");
}

void report(benchmark::State &state, size_t bytes, unsigned lines)
{
    state.SetBytesProcessed((int64_t)(bytes * state.iterations()));
    state.counters["lines/s"] =
        benchmark::Counter((double)lines * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["lines"] = lines;
}

// A generated article of size bytes and its reference layout, checked to
// hold all the markup's words. False (with the state marked) otherwise.
bool generatedWithReference(benchmark::State &state, size_t size, std::string &text, Laid &reference)
{
    setup();
    text = generatedArticle(size);
    Article *article = layOut(text);
    reference = describe(article);
    delete article;
    unsigned lexed = 0;
    uint64_t lexedSum = lexedWordSum(text, lexed);
    if (reference.words != lexed || reference.wordSum != lexedSum || reference.lines < text.size() / 200) {
        state.SkipWithError("the generated article did not lay out all its words");
        return false;
    }
    return true;
}

void BM_LayoutGenerated(benchmark::State &state)
{
    std::string text;
    Laid reference;
    if (generatedWithReference(state, (size_t)state.range(0), text, reference) &&
        timeLayout(state, text, reference))
        report(state, text.size(), reference.lines);
}
BENCHMARK(BM_LayoutGenerated)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Freeing what BM_LayoutGenerated lays out.
void BM_FreeGenerated(benchmark::State &state)
{
    std::string text;
    Laid reference;
    if (generatedWithReference(state, (size_t)state.range(0), text, reference)) {
        timeFreeing(state, text, reference);
        report(state, text.size(), reference.lines);
    }
}
BENCHMARK(BM_FreeGenerated)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// A table of `cells` tall cells side by side holding `size` bytes of words;
// one cell is the same words in one column. Returns the words in order.
std::string tallCells(size_t size, int cells, std::vector<std::string> &written)
{
    std::mt19937 rng(99);
    static const char *const syllables[] = {"ka", "lo", "mi", "ren", "sto", "va", "tur", "el"};
    std::string text = "<article scheme=a title=\"Cells\"><table width=100% border=808080><tr>";
    size_t perCell = size / (size_t)cells;
    written.clear();
    for (int c = 0; c < cells; c++) {
        text += "<td width=" + std::to_string(100 / cells) + "%>";
        size_t end = text.size() + perCell;
        while (text.size() < end) {
            std::string w = syllables[rng() % 8];
            w += syllables[rng() % 8];
            text += w + " ";
            written.push_back(w);
        }
    }
    return text + "</table>";
}

// The words of a table row in reading order: cell by cell (left edges
// ascending), then line by line, then left to right.
std::vector<std::string> readingOrder(const Article *article)
{
    struct Word {
        int32_t x, y;
        std::string text;
    };
    std::vector<Word> words;
    std::vector<int32_t> cellEdges;
    for (unsigned i = 0; i < article->lineCount; i++) {
        const Token *first = article->lines[i].first;
        for (const Token *t = first; t; t = t->next)
            if (t->kind == TOKEN_STRING) {
                const StringToken *w = static_cast<const StringToken *>(t);
                words.push_back({t->x, t->y, std::string(w->text, w->length)});
            }
    }
    // A cell's lines all start at its left edge: the smallest x of each line's first word.
    for (unsigned i = 0; i < article->lineCount; i++)
        for (const Token *t = article->lines[i].first; t; t = t->next)
            if (t->kind == TOKEN_STRING) {
                cellEdges.push_back(t->x);
                break;
            }
    std::sort(cellEdges.begin(), cellEdges.end());
    cellEdges.erase(std::unique(cellEdges.begin(), cellEdges.end()), cellEdges.end());
    auto cellOf = [&](int32_t x) { return std::upper_bound(cellEdges.begin(), cellEdges.end(), x) - cellEdges.begin(); };
    std::stable_sort(words.begin(), words.end(), [&](const Word &a, const Word &b) {
        auto ca = cellOf(a.x), cb = cellOf(b.x);
        if (ca != cb)
            return ca < cb;
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    std::vector<std::string> out;
    for (const Word &w : words)
        out.push_back(w.text);
    return out;
}

// The tall-cells table of state's arguments and its reference layout,
// checked to give back its words in reading order. False (with the state
// marked) otherwise.
bool tallCellsWithReference(benchmark::State &state, std::string &text, Laid &reference)
{
    setup();
    std::vector<std::string> written;
    text = tallCells((size_t)state.range(0), (int)state.range(1), written);
    Article *article = layOut(text);
    reference = describe(article);
    bool inOrder = article && readingOrder(article) == written;
    delete article;
    if (!inOrder)
        state.SkipWithError("the cells did not give back their words in reading order");
    return inOrder;
}

void BM_LayoutTallCells(benchmark::State &state)
{
    std::string text;
    Laid reference;
    if (tallCellsWithReference(state, text, reference) && timeLayout(state, text, reference))
        report(state, text.size(), reference.lines);
}
// 1, 2 and 10 cells of the same bytes; 1 MB and 10 MB.
BENCHMARK(BM_LayoutTallCells)
    ->ArgsProduct({{1 << 20, 10 << 20}, {1, 2, 10}})
    ->ArgNames({"bytes", "cells"})
    ->Unit(benchmark::kMillisecond);

// Freeing what BM_LayoutTallCells lays out.
void BM_FreeTallCells(benchmark::State &state)
{
    std::string text;
    Laid reference;
    if (tallCellsWithReference(state, text, reference)) {
        timeFreeing(state, text, reference);
        report(state, text.size(), reference.lines);
    }
}
BENCHMARK(BM_FreeTallCells)
    ->ArgsProduct({{1 << 20, 10 << 20}, {1, 10}})
    ->ArgNames({"bytes", "cells"})
    ->Unit(benchmark::kMillisecond);

// The anchor: lexing and decoding the same bytes, nothing laid out.
void BM_LexOnlyGenerated(benchmark::State &state)
{
    setup();
    std::string text = generatedArticle((size_t)state.range(0));
    for (auto _ : state) {
        MarkupLexer lexer;
        lexer.init(text.data(), text.size());
        size_t decoded = 0;
        for (MarkupToken t; (t = lexer.next()) != MARKUP_END;) {
            if (t == MARKUP_WORD) {
                String word;
                uint32_t length;
                decodeMarkupText(word, length, lexer.tokenStart, lexer.tokenLength, 0);
                decoded += length;
            } else if (t == MARKUP_TAG) {
                delete lexer.parseTag();
            }
        }
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed((int64_t)(text.size() * state.iterations()));
}
BENCHMARK(BM_LexOnlyGenerated)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Real data: the sample magazine's articles under its own configuration.
void BM_LayoutSampleArticles(benchmark::State &state)
{
    setup();
    std::ifstream in(M2_SOURCE_DIR "/sample/config.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string config = s.str();
    g_magazine_config.reset();
    g_magazine_config.parse((const uint8_t *)config.data(), config.size());
    std::vector<std::string> articles = sampleArticles();
    size_t bytes = 0;
    unsigned lines = 0;
    std::vector<Laid> references;
    for (const std::string &a : articles) {
        Article *article = layOut(a);
        references.push_back(describe(article));
        delete article;
        bytes += a.size();
        lines += references.back().lines;
    }
    if (articles.empty() || lines == 0) {
        state.SkipWithError("no sample article laid out");
    } else {
        std::vector<Article *> last(articles.size(), nullptr);
        for (auto _ : state) {
            // The previous layouts are freed with the timing paused.
            state.PauseTiming();
            for (Article *&a : last) {
                delete a;
                a = nullptr;
            }
            state.ResumeTiming();
            for (size_t i = 0; i < articles.size(); i++) {
                Article *article = layOut(articles[i]);
                benchmark::DoNotOptimize(article);
                last[i] = article;
            }
        }
        bool same = true;
        for (size_t i = 0; i < articles.size(); i++) {
            same = same && describe(last[i]) == references[i];
            delete last[i];
        }
        if (same)
            report(state, bytes, lines);
        else
            state.SkipWithError("a timed layout of a sample article differs from the reference");
    }
    g_magazine_config.reset();
    g_magazine_config.parse((const uint8_t *)kConfig, strlen(kConfig));
}
BENCHMARK(BM_LayoutSampleArticles)->Unit(benchmark::kMicrosecond);

} // namespace
