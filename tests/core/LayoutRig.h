// Lays markup out with the recording System and reads the lines back, for
// the layout tests. Configuration: scheme "a" of the given page width, the
// default font (the fake System makes 14-pixel text: ascent 10, descent 4,
// 8 pixels per byte).
#ifndef MIRANDOL_LAYOUT_RIG_H
#define MIRANDOL_LAYOUT_RIG_H

#include <string>
#include <vector>

#include "Article.h"
#include "ArticleLayout.h"
#include "FakeSystem.h"
#include "LooseFiles.h"
#include "File.h"
#include "MagazineConfig.h"
#include "TestDirs.h"
#include "Token.h"
#include "containr.h"

struct LaidToken {
    uint32_t kind;
    std::string text;
    int x, y;
    unsigned width, ascent;
};

struct LayoutRig {
    ScopedWorkDir dir;
    FakeSystemScope scope;
    Article *article = nullptr;

    explicit LayoutRig(int pageWidth = 400, const std::string &extraConfig = "")
    {
        std::string config = "<scheme name=a><page width=" + std::to_string(pageWidth) +
                             "><background theme=t>" + extraConfig +
                             "</scheme><theme name=t></theme>";
        g_magazine_config.reset();
        g_magazine_config.parse((const uint8_t *)config.data(), config.size());
        g_container.root = nullptr;
    }
    ~LayoutRig()
    {
        delete article;
        dropLooseFiles();
        g_magazine_config.deleteTrees();
    }
    // A loose picture file of the magazine.
    void addPicture(const char *name, const std::vector<uint8_t> &bmp) { addLooseFile(name, bmp); }
    // Lays out "<article scheme=a>" + body; returns every token of every
    // line in index order.
    std::vector<LaidToken> lay(const std::string &body)
    {
        delete article;
        std::string text = "<article scheme=a>" + body;
        ArticleLayout layout(nullptr, text.data(), text.size());
        article = layout.parse(false);
        std::vector<LaidToken> out;
        for (unsigned i = 0; article && i < article->lineCount; i++)
            for (Token *t = article->lines[i].first; t; t = t->next) {
                std::string s;
                if (t->kind == TOKEN_STRING)
                    s = static_cast<StringToken *>(t)->text;
                out.push_back({t->kind, s, t->x, t->y, t->width, t->ascent});
            }
        return out;
    }
    // The words only.
    std::vector<LaidToken> words(const std::string &body)
    {
        std::vector<LaidToken> out;
        for (const LaidToken &t : lay(body))
            if (t.kind == TOKEN_STRING)
                out.push_back(t);
        return out;
    }
};

#endif
