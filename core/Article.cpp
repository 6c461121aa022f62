#include "Article.h"

#include "Area.h"
#include "Browser.h"
#include "File.h"

#include <new>

Article::Article(File *owner) : file(owner) {}

Article::~Article()
{
    delete areas;
}

void Article::navigate(int) {}
bool Article::focusNextLink(bool) { return false; }
void Article::handleMouse(int, int, int) {}
void Article::scrollBy(int) {}
bool Article::setTheme(int) { return false; }
void Article::activate() {}
void Article::redrawAll() {}
bool Article::pageTurnStep() { return false; }
void Article::autoscrollStep() {}
void Article::highlightText(const char *) {}
void Article::applySongs() {}

void Article::pageMetrics(int *a, int *b, int *c, int)
{
    *a = *b = *c = 0;
}

// Laying an article out comes with the layout code; until then an article
// file yields an Article with no lines, so the reader can open and leave it.
static void deleteCachedArticle(Article *article)
{
    if (currentArticle == article)
        currentArticle = nullptr;
    delete article;
}

Article *File::getArticle()
{
    if (fileType != FILE_TEXT)
        return nullptr;
    File::deleteArticle = deleteCachedArticle;
    if (cached && article)
        return article;
    uint8_t *data = nullptr;
    uint32_t size = 0;
    if (!load(data, size))
        return nullptr;
    delete[] data;
    article = new (std::nothrow) Article(this);
    cached = article != nullptr;
    return article;
}
