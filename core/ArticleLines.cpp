// The line index of an Article: rows of (first token, top, bottom) kept
// sorted by bottom, filled by the layout (appended, then sorted once); and the
// freeing of what the layout put into the Article.
#include "Article.h"
#include "Lists.h"

#include <string.h>

#include <algorithm>
#include <new>

#include "Link.h"
#include "Token.h"

static const unsigned FIRST_LINE_ROWS = 64;

// Makes room for one more row (geometric growth). False when memory ran out.
static bool growLines(Article &article)
{
    if (article.lineCount < article.lineCapacity)
        return true;
    unsigned capacity = article.lineCapacity ? article.lineCapacity * 2 : FIRST_LINE_ROWS;
    if (capacity <= article.lineCapacity)
        return false;
    Article::Line *grown = new (std::nothrow) Article::Line[capacity];
    if (!grown)
        return false;
    if (article.lineCount)
        memcpy(grown, article.lines, article.lineCount * sizeof(Article::Line));
    delete[] article.lines;
    article.lines = grown;
    article.lineCapacity = capacity;
    return true;
}

void Article::addLine(Token *firstToken, uint32_t top, uint32_t height)
{
    if (!growLines(*this)) {
        Token::deleteList(firstToken);
        return;
    }
    uint32_t bottom = top + height;
    unsigned pos = lineCount;
    if (!unsorted && lineCount && lines[lineCount - 1].bottom > bottom) {
        int lo = 0, hi = (int)lineCount - 1;
        while (lo <= hi) {
            int mid = (lo + hi) / 2;
            if (bottom <= lines[mid].bottom)
                hi = mid - 1;
            else
                lo = mid + 1;
        }
        pos = (unsigned)lo;
        while (pos < lineCount && lines[pos].bottom < bottom)
            pos++;
        memmove(lines + pos + 1, lines + pos, (lineCount - pos) * sizeof(Line));
    }
    lines[pos].first = firstToken;
    lines[pos].top = top;
    lines[pos].bottom = bottom;
    lineCount++;
    for (Token *t = firstToken; t; t = t->next)
        t->finishPlacement();
}

void Article::sortLines(int lo, int hi)
{
    // Stable, so rows of one bottom keep the order they were stored in; the
    // layout's rows come in long ascending runs (one per column or cell).
    if (lo < 0 || hi <= lo || (unsigned)hi >= lineCount)
        return;
    std::stable_sort(lines + lo, lines + hi + 1,
                     [](const Line &a, const Line &b) { return a.bottom < b.bottom; });
}

void Article::freeLayout()
{
    for (unsigned i = 0; i < lineCount; i++)
        Token::deleteList(lines[i].first);
    delete[] lines;
    lines = nullptr;
    lineCount = lineCapacity = 0;
    deleteChain(links);
    deleteChain(htmlImages);
}
