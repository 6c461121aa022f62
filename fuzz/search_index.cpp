// Indexes arbitrary text as two articles, then completes a prefix, lists the
// articles of each completed word and highlights the prefix in the text, as
// the search dialog and the article view do. Text is measured glyph by glyph
// (widths differ per byte), as the platform's fonts do, so that highlighting
// that measures more than the text shows as a slow unit; the target asks for
// units up to 256 KB unless told otherwise.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "SDL_System.h"
#include "SearchIndex.h"
#include "Token.h"
#include "ToolSystem.h"
#include "Vector/Vector.h"

namespace {

class MeasuringSystem : public ToolSystem {
public:
    MeasuringSystem() : ToolSystem(nullptr, 0, "none.dat") {}
    int get_text_width(const char *text, FontHandle) override
    {
        int width = 0;
        for (const unsigned char *p = (const unsigned char *)text; *p; p++)
            width += 4 + *p % 5;
        return width;
    }
};

std::vector<std::string> takeAll(Vector *list)
{
    std::vector<std::string> out;
    for (int i = 0; i < Vector_size(list); i++) {
        out.push_back((const char *)Vector_get(list, i));
        free(Vector_get(list, i));
    }
    Vector_clear(list);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    for (int i = 1; i < *argc; i++)
        if (strncmp((*argv)[i], "-max_len=", 9) == 0)
            return 0;
    static std::vector<char *> args;
    static char maxLen[] = "-max_len=262144";
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, maxLen);
    args.push_back(nullptr);
    *argc += 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MeasuringSystem system;
    g_system = &system;
    // The first line is the prefix; the rest is the text of both articles,
    // cut in two.
    const uint8_t *newline = (const uint8_t *)memchr(data, '\n', size);
    size_t prefixLength = newline ? (size_t)(newline - data) : 0;
    std::string prefix((const char *)data, prefixLength);
    const uint8_t *text = newline ? newline + 1 : data;
    size_t length = size - (size_t)(text - data);

    SearchIndex index(2);
    size_t half = length / 2;
    for (int a = 0; a < 3; a++) {   // the third is past the index's size
        size_t from = a == 0 ? 0 : half, to = a == 0 ? half : length;
        uint8_t *copy = new uint8_t[to - from + 2]();
        memcpy(copy, text + from, to - from);
        index.addArticle(a == 0 ? "a.txt" : "b.txt", copy, (uint32_t)(to - from));
    }
    // The walk over the links and the read of the laid-out nodes agree.
    std::string walkedPrefix = prefix;
    Vector *words = Vector_create();
    SDLSystem::listCompletions(index.root, &walkedPrefix[0], words);
    std::vector<std::string> walked = takeAll(words);
    index.compact();
    char *p = strdup(prefix.c_str());
    SDLSystem::listCompletions(&index, p, words);
    if (walked != takeAll(words))
        abort();
    SDLSystem::listCompletions(index.root, p, words);

    Vector *articles = Vector_create();
    for (int i = 0; i < Vector_size(words) && i < 50; i++) {
        SDLSystem::listArticles(&index, (const char *)Vector_get(words, i), articles);
        for (int k = 0; k < Vector_size(articles); k++)
            free(Vector_get(articles, k));
        Vector_clear(articles);
    }
    // Each mark stands where the text before its match ends (the first few
    // measured directly).
    TextSearch search(p);
    HighlightToken *marks = search.highlightAll((const char *)text, (uint32_t)length, 0, 0, 10, 0xEF0000, nullptr);
    const Token *mark = marks;
    int checked = 0;
    search.forEachMatch((const char *)text, (uint32_t)length, [&](uint32_t start, uint32_t) {
        if (!mark || checked >= 3)
            return;
        std::string before((const char *)text, start);
        if (strlen(before.c_str()) == start && mark->x != system.get_text_width(before.c_str(), nullptr))
            abort();
        mark = mark->next;
        checked++;
    });
    Token::deleteList(marks);
    free(p);
    takeAll(words);
    Vector_delete(words);
    Vector_delete(articles);
    return 0;
}
