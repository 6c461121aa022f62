// The line index of an Article: rows of (first token, top, bottom) kept
// sorted by bottom, filled by the layout; and the freeing of what the layout
// put into the Article.
#include "Article.h"
#include "Lists.h"

#include <string.h>

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
    // Quicksort by bottom; recursion on the left part only, the right part by
    // the loop, and the smaller side first so the depth stays logarithmic.
    while (lo < hi) {
        uint32_t pivot = lines[lo].bottom;
        int last = lo;
        for (int i = lo + 1; i <= hi; i++) {
            if (lines[i].bottom < pivot) {
                last++;
                Line t = lines[last];
                lines[last] = lines[i];
                lines[i] = t;
            }
        }
        Line t = lines[lo];
        lines[lo] = lines[last];
        lines[last] = t;
        if (last - lo < hi - last) {
            sortLines(lo, last - 1);
            lo = last + 1;
        } else {
            sortLines(last + 1, hi);
            hi = last - 1;
        }
    }
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
