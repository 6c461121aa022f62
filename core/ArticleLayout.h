// Turns the markup of one article file into an Article: the walk over the
// markup and the meaning of every body tag, on top of the line builder.
#ifndef MIRANDOL_ARTICLELAYOUT_H
#define MIRANDOL_ARTICLELAYOUT_H

#include <stddef.h>
#include <stdint.h>

#include "LayoutState.h"
#include "Markup.h"

class Article;
class File;
class ImageToken;
class Tag;

class ArticleLayout : public LayoutState {
public:
    // The text is not copied and must outlive the layout.
    ArticleLayout(File *file, const void *text, size_t length);
    ~ArticleLayout() override;

    MarkupLexer lexer;
    uint32_t imageMapMode = 0;
    ImageToken *mapImage = nullptr;  // in a line or a pending float: not owned
    uint32_t linkColour = 0xEFEFEF;
    uint32_t selectedLinkColour = COLOUR_NONE;
    uint32_t visitedLinkColour = COLOUR_NONE;
    uint32_t ruleColour = 0xEFEFEF;

    // Lays the whole text out and hands the article to the caller (failed
    // flag set when it could not be laid out). With finish clear the article
    // is left without its theme and screen areas (tests read its lines).
    Article *parse(bool finish = true);
    // Applies one tag of the body and frees it.
    void handleTag(Tag *tag);

private:
    bool readArticleTag(Tag &tag);
    void handleMapTag(Tag &tag);
    void handleLink(Tag &tag);
    void closeLink();
    ImageToken *handlePicture(Tag &tag);
    void addWord(const uint8_t *text, uint32_t count, bool preformatted);
};

// Alignment of a letter value: justify 3, centre 2, left 0, right 1.
uint32_t alignmentOfLetter(const char *value);

#endif
