// Saving the shown article as HTML with its pictures.
#ifndef MIRANDOL_EXPORT_H
#define MIRANDOL_EXPORT_H

class Article;

bool saveArticleAsHtml(Article *article);

#endif
