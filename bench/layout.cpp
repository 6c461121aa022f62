// Article layout speed: generated articles of 100 KB and 1 MB of markup
// (paragraphs of every alignment, links, floats, a table every few screens)
// and the sample magazine's own articles, laid out with the embedded fallback
// TrueType font measured as the SDL layer measures it. The anchor, timed on
// the same bytes in the same run, is the markup lexer's pass with the
// decoding of every word: the part of the work no layout can skip.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

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

unsigned layOut(const std::string &text, unsigned &lines)
{
    ArticleLayout layout(nullptr, text.data(), text.size());
    Article *article = layout.parse(false);
    unsigned words = 0;
    lines = article ? article->lineCount : 0;
    for (unsigned i = 0; i < lines; i++)
        for (Token *t = article->lines[i].first; t; t = t->next)
            words += t->kind == TOKEN_STRING;
    delete article;
    return words;
}

void report(benchmark::State &state, size_t bytes, unsigned lines)
{
    state.SetBytesProcessed((int64_t)(bytes * state.iterations()));
    state.counters["lines/s"] =
        benchmark::Counter((double)lines * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["lines"] = lines;
}

void BM_LayoutGenerated(benchmark::State &state)
{
    setup();
    std::string text = generatedArticle((size_t)state.range(0));
    unsigned lines = 0;
    unsigned words = layOut(text, lines);
    if (words < text.size() / 12 || lines < text.size() / 200) {
        state.SkipWithError("the generated article did not lay out");
        return;
    }
    for (auto _ : state) {
        unsigned n;
        benchmark::DoNotOptimize(layOut(text, n));
    }
    report(state, text.size(), lines);
}
BENCHMARK(BM_LayoutGenerated)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

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
    for (const std::string &a : articles) {
        unsigned n;
        layOut(a, n);
        bytes += a.size();
        lines += n;
    }
    if (articles.empty() || lines == 0) {
        state.SkipWithError("no sample article laid out");
    } else {
        for (auto _ : state)
            for (const std::string &a : articles) {
                unsigned n;
                benchmark::DoNotOptimize(layOut(a, n));
            }
        report(state, bytes, lines);
    }
    g_magazine_config.reset();
    g_magazine_config.parse((const uint8_t *)kConfig, strlen(kConfig));
}
BENCHMARK(BM_LayoutSampleArticles)->Unit(benchmark::kMicrosecond);

} // namespace
