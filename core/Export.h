// Saving the shown article as HTML with its pictures, in the "save" directory.
#ifndef MIRANDOL_EXPORT_H
#define MIRANDOL_EXPORT_H

#include <stdint.h>

class Article;

// The whole export: "save/<base>.htm" framed by the scheme's header and
// footer files (or a minimal frame), then the pictures it shows. The outcome
// goes to the article's status bar. The page and its pictures (each file
// once) are put in place together: a failed export leaves "save/" as it was.
void saveArticleAsHtml(Article *article);

// Writes the article source (data, size bytes) converted to HTML into the
// current System file and queues its pictures in article->htmlImages.
// False when a write failed.
bool writeHtmlBody(Article *article, const uint8_t *data, uint32_t size);

// Whether a file name may be written in the "save" directory: not empty,
// not "." or "..", no path separator and no control character.
bool isSaveableName(const char *name);

#endif
