#include "Article.h"

#include "Area.h"

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
