#include "History.h"

#include "Browser.h"

History history;

bool History::open(const char *) { return false; }
bool History::back() { return false; }
bool History::reload() { return false; }
bool History::hasOlder() const { return false; }

void History::clear()
{
    currentArticle = nullptr;
}
