// The article layout: the "article" tag, the walk over the markup and the
// meaning of every body tag.
#include "ArticleLayout.h"

#include <new>

#include "Article.h"
#include "Link.h"
#include "MagazineConfig.h"
#include "Scheme.h"
#include "Token.h"

uint32_t alignmentOfLetter(const char *value)
{
    unsigned char c = value ? (unsigned char)*value : 0;
    if (c >= 'A' && c <= 'Z')
        c = (unsigned char)(c - 'A' + 'a');
    if (c < 'b')
        return 3;
    switch (c) {
    case 'b':
    case 'c':
        return 2;
    case 'l':
        return 0;
    case 'r':
        return 1;
    default:
        return 3;
    }
}

ArticleLayout::ArticleLayout(File *file, const void *text, size_t length) : LayoutState(file)
{
    lexer.init(text, length);
}

ArticleLayout::~ArticleLayout() {}

bool ArticleLayout::readArticleTag(Tag &tag)
{
    String schemeName;
    tag.getLowerString(KW_SCHEME, schemeName);
    if (!article->applyScheme(schemeName.str))
        return false;
    Scheme *scheme = Tree::findAs<Scheme>(g_magazine_config.schemes, schemeName.str);
    if (!scheme)
        return false;
    tag.getString(KW_TITLE, article->title);
    tag.getString(KW_AUTHOR, article->author);
    String window;
    if (tag.getString(KW_WINDOW, window))
        article->windowTitle.take(window);
    tag.getString(KW_MOVIE, article->movie);
    article->saveable = !tag.has(KW_NOSAVE);

    fontStack->applyStyle(*this, scheme->fontStyle.str);
    fontStack->open(*this);
    alignment = alignmentOfLetter(scheme->align.str);
    paragraphSpacing = scheme->paragraphSpacing;
    firstLineIndent = scheme->firstLineIndent;
    linkColour = scheme->linkColour;
    selectedLinkColour = scheme->selectedLinkColour;
    visitedLinkColour = scheme->visitedLinkColour;
    ruleColour = scheme->ruleColour;
    columnWidth = article->columnWidth;
    startLine();
    return true;
}

Article *ArticleLayout::parse(bool finish)
{
    if (failed) {
        if (article)
            article->failed = true;
        Article *result = article;
        article = nullptr;
        return result;
    }
    bool started = false;
    for (MarkupToken token; !started && (token = lexer.next()) != MARKUP_END;) {
        if (token != MARKUP_TAG)
            continue;
        Tag *tag = lexer.parseTag();
        if (tag && tag->id == KW_ARTICLE) {
            started = true;
            if (!readArticleTag(*tag)) {
                delete tag;
                article->failed = true;
                Article *result = article;
                article = nullptr;
                return result;
            }
        }
        delete tag;
    }
    if (!started) {
        article->failed = true;
        Article *result = article;
        article = nullptr;
        return result;
    }

    for (MarkupToken token; !quitting && (token = lexer.next()) != MARKUP_END;) {
        switch (token) {
        case MARKUP_SPACE:
            if (!imageMapMode && !afterSpace) {
                Token *space = newWordSpace();
                if (space)
                    addToken(space);
            }
            break;
        case MARKUP_WORD:
            if (!imageMapMode)
                addWord(lexer.tokenStart, lexer.tokenLength, false);
            break;
        case MARKUP_PRE_LINE:
            if (!imageMapMode)
                addWord(lexer.tokenStart, lexer.tokenLength, true);
            break;
        case MARKUP_TAG:
            handleTag(lexer.parseTag());
            break;
        default:
            break;
        }
    }

    if (!lineEmpty)
        forceLineEnd();
    refusedTables = 0;
    while (tables)
        endTable();
    while (pendingLeft || pendingRight) {
        Token *space = new (std::nothrow) SpaceToken(0);
        if (!space)
            break;
        addToken(space);
        flushLine();
    }
    Link *head = article->links, *tail = article->links;
    while (tail && tail->next)
        tail = tail->next;
    while (linkInfos) {
        LinkInfo *info = linkInfos;
        linkInfos = info->next;
        article->addLink(info, head, tail);
        delete info;
    }
    linkInfosTail = currentLink = nullptr;
    article->links = head;
    if (article->unsorted) {
        article->sortLines(0, (int)article->lineCount - 1);
        article->unsorted = false;
    }
    if (finish)
        article->finishLayout();
    Article *result = article;
    article = nullptr;
    return result;
}

void ArticleLayout::addWord(const uint8_t *text, uint32_t count, bool preformatted)
{
    // Most words need no decoding (no entity, tab or NUL): copied as they are.
    bool plain = true;
    for (uint32_t i = 0; i < count && plain; i++)
        plain = text[i] != '&' && text[i] != '\t' && text[i] != 0;
    Token *word;
    if (plain) {
        word = StringToken::create(reinterpret_cast<const char *>(text), count, *fontStack);
    } else {
        String decoded;
        uint32_t length = 0;
        decodeMarkupText(decoded, length, text, count, lexer.tokenColumn);
        word = StringToken::create(decoded.c_str(), decoded.str ? length : 0, *fontStack);
    }
    if (!word)
        return;
    addToken(word);
    recordInLink(word);
    if (preformatted)
        forceLineEnd();
}

void ArticleLayout::closeLink()
{
    setLinkUnderline(false);
    setUnderline(false);
    inLink = false;
    while (fontDepth > linkFontDepth && fontDepth > 1)
        popFont();
    fontStack->open(*this);
}

void ArticleLayout::handleLink(Tag &tag)
{
    if (inLink) {
        setLinkUnderline(false);
        inLink = false;
        while (fontDepth > linkFontDepth && fontDepth > 1)
            popFont();
    }
    if (fontDepth >= MAX_FONT_DEPTH)
        return;
    LinkInfo *info = new (std::nothrow) LinkInfo(tag, false);
    if (!info)
        return;
    addLinkInfo(info);
    currentLink = info;
    linkFontDepth = fontDepth;
    if (!pushFont())
        return;
    inLink = true;
    if (tag.has(KW_U)) {
        setUnderline(true);
    } else {
        setUnderline(false);
        if (!tag.has(KW_NU))
            setLinkUnderline(true);
    }
    fontStack->colour = linkColour;
    tag.getColour(KW_COLOR, fontStack->colour);
    info->selectedColour = selectedLinkColour;
    tag.getColour(KW_SELCOLOR, info->selectedColour);
    info->visitedColour = visitedLinkColour;
    tag.getColour(KW_VISCOLOR, info->visitedColour);
    fontStack->open(*this);
}

ImageToken *ArticleLayout::handlePicture(Tag &tag)
{
    String value;
    uint32_t placement = 2;
    if (tag.getLowerString(KW_ALIGN, value)) {
        switch (value.str[0]) {
        case 'l': placement = 0; break;
        case 'r': placement = 1; break;
        case 'j':
        case 't': placement = 3; break;
        default: break;
        }
    }
    String file;
    if (!tag.getLowerString(KW_FILE, file))
        return nullptr;
    uint32_t left = 0, right = 0, top = 0, bottom = 0, width = 0, height = 0;
    tag.getUnsigned(KW_LEFT, left, 0, 100);
    tag.getUnsigned(KW_RIGHT, right, 0, 100);
    tag.getUnsigned(KW_TOP, top, 0, 100);
    tag.getUnsigned(KW_BOTTOM, bottom, 0, 100);
    tag.getUnsigned(KW_WIDTH, width, 0, 2048);
    tag.getUnsigned(KW_HEIGHT, height, 0, 2048);
    return addImage(file.str, width, height, placement, left, right, top, bottom);
}

void ArticleLayout::handleMapTag(Tag &tag)
{
    switch (tag.id) {
    case KW_IMAGEMAP_END:
    case KW_IMAP_END:
        imageMapMode = 0;
        mapImage = nullptr;
        break;
    case KW_LINK: {
        if (!mapImage)
            break;
        LinkInfo *info = new (std::nothrow) LinkInfo(tag, true);
        if (!info)
            break;
        info->selectedColour = selectedLinkColour;
        tag.getColour(KW_SELCOLOR, info->selectedColour);
        info->addToken(mapImage);
        addLinkInfo(info);
        break;
    }
    default:
        break;  // everything else, "/b", "/font" and the like included, is ignored
    }
}

void ArticleLayout::handleTag(Tag *tag)
{
    if (!tag)
        return;
    if (imageMapMode) {
        handleMapTag(*tag);
        delete tag;
        return;
    }
    switch (tag->id) {
    case KW_B:
    case KW_B_END:
    case KW_I:
    case KW_I_END: {
        uint32_t bit = tag->id == KW_B || tag->id == KW_B_END ? 1 : 2;
        if (tag->id == KW_B || tag->id == KW_I)
            styleBits |= bit;
        else
            styleBits &= ~bit;
        fontStack->open(*this);
        break;
    }
    case KW_U:
        setUnderline(true);
        break;
    case KW_U_END:
        setUnderline(false);
        break;
    case KW_CENTER:
    case KW_CENTER_END:
        if (!lineEmpty)
            forceLineEnd();
        centred = tag->id == KW_CENTER;
        break;
    case KW_FONT: {
        FontState *top = pushFont();
        if (!top) {
            refusedFonts++;
            break;
        }
        top->readTag(*this, *tag);
        if (top->onBits & 4) {
            underline = false;
            setUnderline(true);
        }
        if (top->offBits & 4) {
            underline = true;
            setUnderline(false);
        }
        top->open(*this);
        break;
    }
    case KW_FONT_END: {
        if (refusedFonts) {
            refusedFonts--;
            break;
        }
        FontState *top = fontStack;
        if (top->onBits & 1) styleBits &= ~1u;
        if (top->onBits & 2) styleBits &= ~2u;
        if (top->onBits & 4) {
            underline = true;
            setUnderline(false);
        }
        if (top->offBits & 1) styleBits |= 1;
        if (top->offBits & 2) styleBits |= 2;
        if (top->offBits & 4) {
            underline = false;
            setUnderline(true);
        }
        popFont();
        fontStack->open(*this);
        break;
    }
    case KW_LINK:
        handleLink(*tag);
        break;
    case KW_LINK_END:
        if (inLink)
            closeLink();
        break;
    case KW_PRE:
        lexer.pre = true;
        break;
    case KW_PRE_END:
        lexer.pre = false;
        break;
    case KW_P: {
        if (!lineEmpty)
            forceLineEnd();
        if (tag->has(KW_ALIGN)) {
            String value;
            tag->getLowerString(KW_ALIGN, value);
            alignment = alignmentOfLetter(value.str);
        }
        tag->getSigned(KW_FL, firstLineIndent, -200, 200);
        if (!tag->getUnsigned(KW_SPACING, paragraphSpacing, 0, 1000))
            tag->getUnsigned(KW_SP, paragraphSpacing, 0, 1000);
        lineInParagraph = 0;
        addVerticalSpace();
        startLine();
        break;
    }
    case KW_BR:
        forceLineEnd();
        break;
    case KW_BRS:
        flushLine();
        break;
    case KW_HR: {
        uint32_t colour = ruleColour;
        tag->getColour(KW_COLOR, colour);
        Token *rule = new (std::nothrow) HorizLineToken(0, 0, (uint32_t)clampWidth(columnWidth), colour);
        if (rule)
            addToken(rule);
        break;
    }
    case KW_SPACE: {
        uint32_t width;
        if (tag->getUnsigned(KW_WIDTH, width, 0, (uint32_t)clampWidth(columnWidth))) {
            Token *space = new (std::nothrow) SpaceToken(width);
            if (space)
                addToken(space);
        }
        break;
    }
    case KW_IMG:
    case KW_IMAGE:
        handlePicture(*tag);
        break;
    case KW_IMAGEMAP:
    case KW_IMAP:
        if (inLink)
            closeLink();
        imageMapMode = 1;
        mapImage = handlePicture(*tag);
        break;
    case KW_TABLE:
        beginTable(*tag);
        break;
    case KW_TABLE_END:
        endTable();
        break;
    case KW_ROW:
    case KW_TR:
        beginRow(*tag);
        break;
    case KW_CELL:
    case KW_TD:
        beginCell(*tag);
        break;
    default:
        break;
    }
    delete tag;
}
