#include "Export.h"

bool saveArticleAsHtml(Article *)
{
    return false;
}
