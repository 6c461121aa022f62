// File::getArticle: lays an article file out once and caches the result.
#include "Article.h"

#include "ArticleLayout.h"
#include "Browser.h"
#include "File.h"

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
    {
        ArticleLayout layout(this, data, size);
        laidOut = layout.parse();
    }
    delete[] data;
    if (laidOut && laidOut->failed) {
        delete laidOut;
        laidOut = nullptr;
    }
    article = laidOut;
    cached = article != nullptr;
    return article;
}
