// Indexes arbitrary text as two articles, then completes a prefix, lists the
// articles of each completed word and highlights the prefix in the text, as
// the search dialog and the article view do.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "SDL_System.h"
#include "SearchIndex.h"
#include "Token.h"
#include "ToolSystem.h"
#include "Vector/Vector.h"

namespace {

class MeasuringSystem : public ToolSystem {
public:
    MeasuringSystem() : ToolSystem(nullptr, 0, "none.dat") {}
    int get_text_width(const char *text, FontHandle) override { return (int)strlen(text) * 8; }
};

void freeAll(Vector *list)
{
    for (int i = 0; i < Vector_size(list); i++)
        free(Vector_get(list, i));
    Vector_clear(list);
}

} // namespace

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
    index.compact();

    Vector *words = Vector_create();
    Vector *articles = Vector_create();
    char *p = strdup(prefix.c_str());
    SDLSystem::listCompletions(index.root, p, words);
    for (int i = 0; i < Vector_size(words) && i < 50; i++) {
        SDLSystem::listArticles(&index, (const char *)Vector_get(words, i), articles);
        freeAll(articles);
    }
    TextSearch search(p);
    Token::deleteList(search.highlightAll((const char *)text, (uint32_t)length, 0, 0, 10,
                                          0xEF0000, nullptr));
    free(p);
    freeAll(words);
    Vector_delete(words);
    Vector_delete(articles);
    return 0;
}
