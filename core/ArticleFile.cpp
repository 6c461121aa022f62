// File::getArticle: lays an article file out once and caches the result.
#include "Article.h"

#include "ArticleLayout.h"
#include "Browser.h"
#include "File.h"
#include "System.h"

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
    Article *laidOut;
    bool cut;
    {
        ArticleLayout layout(this, data, size);
        laidOut = layout.parse();
        // A quit asked for during the layout (the markup after some picture
        // skipped, or the whole article laid out meanwhile): the reader is
        // ending, and an article it never showed whole is neither shown nor
        // counted as read. Nor is it kept as if whole.
        cut = layout.quitting || (g_system && g_system->quit_requested());
    }
    delete[] data;
    if (laidOut && (laidOut->failed || cut)) {
        delete laidOut;
        laidOut = nullptr;
    }
    article = laidOut;
    cached = article != nullptr;
    return article;
}
