// The line builder: font stack, wrapping, floats, alignment, justification
// and underline runs. Widths are computed signed and clamped at 0 in one
// place (clampWidth), coordinates clamped into 32 bits in one place (coord).
#include "LayoutState.h"
#include "Lists.h"

#include <new>
#include <unordered_set>

#include "Article.h"
#include "Clamp.h"
#include "FontStyle.h"
#include "Link.h"
#include "MagazineConfig.h"
#include "Markup.h"
#include "Token.h"

int32_t LayoutState::clampWidth(int64_t width)
{
    return width < 0 ? 0 : clampToInt32(width);
}

int32_t LayoutState::coord(int64_t value)
{
    return clampToInt32(value);
}

// ---- Font stack

void FontState::applyStyle(LayoutState &state, const char *styleName)
{
    FontStyle *style = Tree::findAs<FontStyle>(g_magazine_config.fontStyles, styleName);
    if (!style)
        return;
    face.set(style->face.str);
    charset = (uint32_t)charsetCode(style->charset.str);
    height = style->height;
    spacing = style->spacing;
    colour = style->colour;
    uint32_t bits = (style->bold ? 1u : 0u) | (style->italic ? 2u : 0u);
    uint32_t changed = bits ^ state.styleBits;
    onBits = bits & changed;
    offBits = state.styleBits & changed;
    state.styleBits = bits;
    if (style->underline && !state.underline)
        onBits |= 4;
    else if (!style->underline && state.underline)
        offBits |= 4;
    state.underline = style->underline != 0;
}

void FontState::readTag(LayoutState &state, Tag &tag)
{
    String value;
    if (tag.getLowerString(KW_STYLE, value))
        applyStyle(state, value.str);
    if (tag.getLowerString(KW_FACE, value))
        face.take(value);
    if (tag.getLowerString(KW_CHARSET, value))
        charset = (uint32_t)charsetCode(value.str);
    uint32_t size;
    uint32_t dpi = (uint32_t)state.dpi;
    if (tag.getUnsigned(KW_SIZE, size, 1, 72))
        height = dpi * size / 72;
    else
        tag.getUnsigned(KW_HEIGHT, height, 1, dpi);
    tag.getColour(KW_COLOR, colour);
    tag.getUnsigned(KW_SPACING, spacing, 0, 128);
}

void FontState::open(LayoutState &state)
{
    int a = 0, d = 0;
    font = g_system->create_font(face.c_str(), (int)height, (int)state.styleBits, (int)charset, &a, &d);
    ascent = (a > 0 ? (uint32_t)a : 0) + spacing;
    descent = d > 0 ? (uint32_t)d : 0;
    int space = g_system->get_text_width(" ", font);
    spaceWidth = space > 0 ? (uint32_t)space : 0;
}

FontState *LayoutState::pushFont()
{
    if (fontDepth >= MAX_FONT_DEPTH)
        return nullptr;
    FontState *entry = new (std::nothrow) FontState;
    if (!entry)
        return nullptr;
    FontState *top = fontStack;
    entry->height = top->height;
    entry->charset = top->charset;
    entry->spacing = top->spacing;
    entry->colour = top->colour;
    entry->face.set(top->face.str);
    entry->font = top->font;
    entry->ascent = top->ascent;
    entry->descent = top->descent;
    entry->spaceWidth = top->spaceWidth;
    entry->next = top;
    fontStack = entry;
    fontDepth++;
    return entry;
}

void LayoutState::popFont()
{
    if (fontDepth <= 1)
        return;
    FontState *top = fontStack;
    fontStack = top->next;
    delete top;
    fontDepth--;
}

// ---- Construction

LayoutState::LayoutState(File *source)
{
    int flagDpi = g_system->get_user_flag(USER_FLAG_FONT_DPI);
    dpi = flagDpi > 0 ? flagDpi : 72;
    article = new (std::nothrow) Article(source);
    fontStack = new (std::nothrow) FontState;
    if (!article || !fontStack) {
        failed = true;
        return;
    }
    // Lines are appended as they are made and sorted once at the end: cells
    // side by side would otherwise shift the index for every line.
    article->unsorted = true;
    fontStack->face.set("?default");
    fontStack->applyStyle(*this, "?default");
    fontStack->open(*this);
}

LayoutState::~LayoutState()
{
    while (fontStack) {
        FontState *below = fontStack->next;
        delete fontStack;
        fontStack = below;
    }
    Token::deleteList(lineHead);
    Token::deleteList(pendingLeft);
    Token::deleteList(pendingRight);
    Token::deleteList(reAddHead);
    Token::deleteList(spareSpaces);
    deleteChain(tables);
    deleteChain(linkInfos);
    delete article;
}

// Word spaces come and go with every word: the line builder keeps the
// discarded ones for reuse.
Token *LayoutState::newWordSpace()
{
    Token *space = spareSpaces;
    if (!space)
        return new (std::nothrow) WordSpaceToken(fontStack->spaceWidth);
    spareSpaces = space->next;
    space->next = nullptr;
    space->x = space->y = 0;
    space->width = fontStack->spaceWidth;
    return space;
}

void LayoutState::discard(Token *token)
{
    if (token->kind == TOKEN_WORD_SPACE) {
        token->next = spareSpaces;
        spareSpaces = token;
        return;
    }
    token->next = nullptr;
    delete token;
}

void LayoutState::recordInLink(Token *token)
{
    if (!inLink || !currentLink || !currentLink->addToken(token))
        return;
    if (lineLinks.empty() || lineLinks.back() != currentLink)
        lineLinks.push_back(currentLink);
}

void LayoutState::addLinkInfo(LinkInfo *info)
{
    if (linkInfosTail)
        linkInfosTail->next = info;
    else
        linkInfos = info;
    linkInfosTail = info;
}

// ---- Line building

bool LayoutState::flowActive() const
{
    // A row without a height never overflows, so its cells do not flow.
    return tables && tables->flow && tables->rowHeight > 0 && !flowBlocked;
}

// Moves the line being built to the next cell of a flowing row.
void LayoutState::flowToNextCell()
{
    bool saved = restartLine;
    restartLine = false;
    nextCell(0);
    restartLine = saved;
}

void LayoutState::placeFloats()
{
    if (flowActive()) {
        int64_t room = (int64_t)tables->rowHeight - ((int64_t)y - tables->rowTop);
        if (room < (int64_t)pendingLeftHeight || room < (int64_t)pendingRightHeight)
            flowToNextCell();
    }
    if (pendingLeft) {
        if (pendingLeftHeight > leftHeight)
            leftHeight = pendingLeftHeight;
        int64_t fx = (int64_t)x + leftMargin;
        for (Token *t = pendingLeft; t; t = t->next) {
            t->x = coord(fx);
            t->y = coord(y);
            fx += t->width;
        }
        article->addLine(pendingLeft, (uint32_t)coord(y), pendingLeftHeight);
        freeWidth = clampWidth((int64_t)freeWidth - pendingLeftWidth);
        leftMargin += pendingLeftWidth;
        pendingLeft = pendingLeftTail = nullptr;
        pendingLeftWidth = pendingLeftHeight = 0;
    }
    if (pendingRight) {
        if (pendingRightHeight > rightHeight)
            rightHeight = pendingRightHeight;
        // The free width lacks the indent (startLine): the float goes past it
        // to the column's right edge. Centred lines keep their whole width.
        int64_t fx = (int64_t)x + leftMargin + freeWidth - pendingRightWidth;
        if (!centred && alignment != 2) {
            if (lineInParagraph == 0 && firstLineIndent > 0)
                fx += firstLineIndent;
            else if (lineInParagraph != 0 && firstLineIndent < 0)
                fx -= firstLineIndent;
        }
        for (Token *t = pendingRight; t; t = t->next) {
            t->x = coord(fx);
            t->y = coord(y);
            fx += t->width;
        }
        article->addLine(pendingRight, (uint32_t)coord(y), pendingRightHeight);
        freeWidth = clampWidth((int64_t)freeWidth - pendingRightWidth);
        rightMargin += pendingRightWidth;
        pendingRight = nullptr;
        pendingRightWidth = pendingRightHeight = 0;
    }
}

void LayoutState::addToken(Token *token)
{
    // Again after each flush: one that split a line in a flowing cell put
    // the rest of that line back first.
    while (usedWidth + token->width > freeWidth && !lineEmpty) {
        flushLine();
        // While the rest of a split line is added again, a flush that splits
        // once more (or reopens an underline run) puts tokens that come
        // before this one in front of the queue: it waits behind them.
        if (setAsideTail) {
            token->next = setAsideTail->next;
            setAsideTail->next = token;
            setAsideTail = nullptr;
            return;
        }
    }
    if (afterSpace && token->kind == TOKEN_WORD_SPACE) {
        discard(token);
        return;
    }
    if (lineEmpty && (pendingLeft || pendingRight))
        placeFloats();
    token->next = nullptr;
    if (lineTail)
        lineTail->next = token;
    else
        lineHead = token;
    lineTail = token;
    if (!setAsideLinks.empty()) {
        auto found = setAsideLinks.find(token);
        if (found != setAsideLinks.end()) {
            LinkInfo *link = found->second;
            setAsideLinks.erase(found);
            if (link->addToken(token) && (lineLinks.empty() || lineLinks.back() != link))
                lineLinks.push_back(link);
        }
    }
    usedWidth += token->width;
    if (token->ascent > lineAscent)
        lineAscent = token->ascent;
    if (token->descent > lineDescent)
        lineDescent = token->descent;
    if (!token->isContent()) {
        if (token->isSpace())
            afterSpace = true;
    } else {
        afterSpace = false;
        lineEmpty = false;
    }
}

bool LayoutState::removeTrailingSpace()
{
    Token *space = nullptr, *beforeSpace = nullptr, *prev = nullptr;
    for (Token *t = lineHead; t; prev = t, t = t->next) {
        if (t->kind == TOKEN_WORD_SPACE) {
            space = t;
            beforeSpace = prev;
        } else if (t->isContent()) {
            space = nullptr;
        }
    }
    if (!space)
        return false;
    if (beforeSpace)
        beforeSpace->next = space->next;
    else
        lineHead = space->next;
    if (lineTail == space)
        lineTail = beforeSpace;
    usedWidth -= space->width;
    discard(space);
    return true;
}

// Width of the line's front up to and with its first word (0: no word).
int64_t LayoutState::firstWordWidth() const
{
    int64_t sum = 0;
    for (const Token *t = lineHead; t; t = t->next) {
        sum += t->width;
        if (t->isContent())
            return sum;
    }
    return 0;
}

// Keeps the longest front part of the line that fits the free width and
// returns the rest (null when all fits). The kept part always holds the
// first word: one wider than the cell stands alone and overflows it, and
// the words after it go on (a line kept whole would run them out of the
// cell; one kept without a word would move on without ever being stored).
Token *LayoutState::splitLine(bool &lostSpace)
{
    lostSpace = false;
    if (usedWidth <= freeWidth || !lineHead)
        return nullptr;
    Token *last = lineHead;
    int64_t sum = last->width;
    while (!last->isContent() && last->next) {
        last = last->next;
        sum += last->width;
    }
    while (last->next && sum + last->next->width <= freeWidth) {
        last = last->next;
        sum += last->width;
    }
    Token *rest = last->next;
    if (!rest)
        return nullptr;
    last->next = nullptr;
    lineTail = last;
    usedWidth = sum;
    lostSpace = removeTrailingSpace();
    return rest;
}

// The tokens of the part of a split line that was set aside leave their
// links' token lists until they are placed again, so that a line end
// separates the parts. Returns the rest.
Token *LayoutState::detachSetAside(Token *rest)
{
    if (lineLinks.empty())
        return rest;
    std::unordered_set<const Token *> moved;
    for (Token *t = rest; t; t = t->next)
        if (t->isContent())
            moved.insert(t);
    for (LinkInfo *link : lineLinks) {
        // Only the tokens since the link's last line end can be on this line.
        uint32_t from = link->tokenCount;
        while (from > 0 && link->tokens[from - 1]->kind != TOKEN_EOL)
            from--;
        uint32_t kept = from;
        for (uint32_t i = from; i < link->tokenCount; i++) {
            Token *t = link->tokens[i];
            if (moved.count(t))
                setAsideLinks[t] = link;
            else
                link->tokens[kept++] = t;
        }
        link->tokenCount = kept;
    }
    return rest;
}

void LayoutState::placeHorizontally()
{
    uint32_t align = alignment;
    if (align == 3 && noJustify)
        align = 0;
    int64_t indent = 0;
    if (lineInParagraph == 0)
        indent = firstLineIndent > 0 ? firstLineIndent : 0;
    else
        indent = firstLineIndent < 0 ? -(int64_t)firstLineIndent : 0;
    int64_t start;
    if (centred || align == 2)
        start = (int64_t)x + leftMargin + ((freeWidth - usedWidth) >> 1);
    else if (align == 1)
        start = (int64_t)x + leftMargin + freeWidth - usedWidth;
    else
        start = indent + x + leftMargin;
    uint32_t gaps = 0;
    if (align == 3 && !centred) {
        for (Token *t = lineHead; t && t->next; t = t->next)
            if (t->isSpace() && !t->next->isSpace())
                gaps++;
    }
    // Justify only a line narrower than its room; a wider one (a split line
    // that stayed whole) is aligned left.
    if (gaps == 0 || usedWidth >= freeWidth) {
        for (Token *t = lineHead; t; t = t->next) {
            t->x = coord(start);
            start += t->width;
        }
        return;
    }
    // The extra pixels go to the gaps with a 16.16 accumulator.
    uint32_t extra = (uint32_t)(freeWidth - usedWidth);
    uint32_t per = extra / gaps;
    uint32_t frac = (uint32_t)(((uint64_t)(extra - per * gaps) << 16) / gaps);
    uint32_t acc = 0;
    for (Token *t = lineHead; t; t = t->next) {
        t->x = coord(start);
        start += t->width;
        if (t->isSpace() && t->next && !t->next->isSpace()) {
            acc += frac;
            start += per;
            if (acc > 0x10000) {
                acc -= 0x10000;
                start += 1;
            }
        }
    }
}

void LayoutState::runDownFloats(uint32_t h)
{
    if (h < leftHeight) {
        leftHeight -= h;
    } else {
        leftMargin = 0;
        leftHeight = 0;
    }
    if (h < rightHeight) {
        rightHeight -= h;
    } else {
        rightMargin = 0;
        rightHeight = 0;
    }
}

void LayoutState::appendToLine(Token *token)
{
    if (lineTail)
        lineTail->next = token;
    else
        lineHead = token;
    lineTail = token;
}

void LayoutState::drawUnderlines()
{
    Token *end = lineTail;
    Token *run = nullptr;
    int64_t runY = 0;
    bool hasSegment = false;
    int64_t segX = 0, segWidth = 0;
    uint32_t segColour = COLOUR_NONE;
    auto emit = [&]() {
        if (hasSegment && segWidth > 0) {
            Token *line;
            if (run->isLink())
                line = new (std::nothrow) UnderlineToken(coord(segX), coord(runY), (uint32_t)clampWidth(segWidth), segColour);
            else
                line = new (std::nothrow) HorizLineToken(coord(segX), coord(runY), (uint32_t)clampWidth(segWidth), segColour);
            if (line) {
                appendToLine(line);
                run->addToLink(line);
            }
        }
        hasSegment = false;
    };
    for (Token *t = lineHead; t; t = t->next) {
        if (!run) {
            if (t->kind == TOKEN_SU) {
                run = t;
                runY = (int64_t)t->y + t->ascent + t->descent - 1;
                hasSegment = false;
            }
        } else {
            switch (t->kind) {
            case TOKEN_STRING: {
                if (!hasSegment) {
                    hasSegment = true;
                    segX = t->x;
                    segWidth = t->width;
                    segColour = t->baseColour;
                } else if (t->baseColour == segColour) {
                    segWidth = (int64_t)t->x + t->width - segX;
                } else {
                    emit();
                    hasSegment = true;
                    segX = t->x;
                    segWidth = t->width;
                    segColour = t->baseColour;
                }
                int64_t bottom = (int64_t)t->y + t->ascent + t->descent - 1;
                if (bottom > runY)
                    runY = bottom;
                break;
            }
            case TOKEN_SPACE:
            case TOKEN_WORD_SPACE:
                // Spaces before the run's first word are not underlined.
                if (hasSegment)
                    segWidth += t->width;
                break;
            case TOKEN_IMAGE:
                emit();
                break;
            case TOKEN_EU:
                emit();
                run = nullptr;
                break;
            default:
                break;
            }
        }
        if (t == end)
            break;
    }
}

void LayoutState::flushLine()
{
    removeTrailingSpace();
    for (Token *t = lineHead; t; t = t->next)
        lineDescent = t->fitLine(lineAscent, lineDescent);

    Token *setAside = nullptr;
    bool lostSpace = false;
    if (flowActive()) {
        int64_t height = lineEmpty ? (int64_t)fontStack->ascent + fontStack->descent
                                   : (int64_t)lineAscent + lineDescent;
        if (height + ((int64_t)y - tables->rowTop) > (int64_t)tables->rowHeight) {
            flowToNextCell();
            // A first word too wide for this cell goes on to one that holds
            // it, when the row has one (a full round of cells at most).
            int64_t word = firstWordWidth();
            int64_t taken = (int64_t)columnWidth - freeWidth;   // margins and indent, alike in every cell
            for (int moves = 0; moves < MAX_TABLE_CELLS && word > freeWidth &&
                                word + taken <= (int64_t)widestCell(); moves++)
                flowToNextCell();
            setAside = splitLine(lostSpace);
            if (setAside)
                setAside = detachSetAside(setAside);
        }
    }

    y += lineAscent;
    for (Token *t = lineHead; t; t = t->next)
        t->y = coord(y - (int64_t)t->ascent);
    y += lineDescent;
    placeHorizontally();
    uint32_t h = lineAscent + lineDescent;
    runDownFloats(h);

    // The underline run still open at the line end, for the tokens that wait
    // to be added again.
    SUToken *openRun = nullptr;
    for (Token *t = lineHead; t; t = t->next) {
        if (t->kind == TOKEN_SU)
            openRun = static_cast<SUToken *>(t);
        else if (t->kind == TOKEN_EU)
            openRun = nullptr;
    }
    SUToken *reopen = nullptr;
    // (While tokens are added again, the one whose wrap made this flush waits too.)
    bool waiting = setAside || reAddHead || reAdding;
    if (openRun && waiting)
        reopen = new (std::nothrow) SUToken(openRun->link, openRun->isLink());

    if (lineHead) {
        Token *eu = new (std::nothrow) EUToken;
        if (eu)
            appendToLine(eu);
        drawUnderlines();
    }
    // Markers have done their work.
    Token **link = &lineHead;
    lineTail = nullptr;
    while (*link) {
        Token *t = *link;
        if (!t->isContent()) {
            *link = t->next;
            discard(t);
        } else {
            lineTail = t;
            link = &t->next;
        }
    }

    if (!lineHead) {
        uint32_t fontHeight = fontStack->ascent + fontStack->descent;
        y += fontHeight;
        runDownFloats(fontHeight);
    } else {
        article->addLine(lineHead, (uint32_t)coord(y - h), h);
    }
    lineHead = lineTail = nullptr;
    usedWidth = 0;
    lineAscent = lineDescent = 0;
    lineEmpty = true;
    afterSpace = true;

    lineInParagraph++;
    // Tokens waiting to be added again carry the runs of the line they left,
    // not those in force where the markup has got to.
    waitingTokens = waiting;
    startLine();
    waitingTokens = false;

    if (inLink && currentLink) {
        Token *eol = new (std::nothrow) EOLIndicatorToken;
        if (eol && !currentLink->addToken(eol))
            delete eol;
    }
    // Every link on the line ends its rectangle here, also one closed in the
    // markup whose tokens go on with the rest of a split line.
    for (LinkInfo *link : lineLinks) {
        if (link->tokenCount && link->tokens[link->tokenCount - 1]->kind == TOKEN_EOL)
            continue;
        Token *eol = new (std::nothrow) EOLIndicatorToken;
        if (eol && !link->addToken(eol))
            delete eol;
    }
    lineLinks.clear();

    if (setAside) {
        // The rest goes back in front of whatever waits to be added again,
        // followed by a word space for the one the kept part lost (dropped
        // by addToken when the line already ends in a space).
        Token *last = setAside;
        while (last->next)
            last = last->next;
        if (lostSpace) {
            Token *space = newWordSpace();
            if (space) {
                last->next = space;
                last = space;
            }
        }
        last->next = reAddHead;
        reAddHead = setAside;
        if (reAdding)
            setAsideTail = last;
    }
    if (reopen) {
        reopen->next = reAddHead;
        reAddHead = reopen;
        if (reAdding && !setAsideTail)
            setAsideTail = reopen;
    }
    // Added again here, not by recursion: a long line can be split many times.
    if (reAdding)
        return;
    reAdding = true;
    while (reAddHead) {
        Token *t = reAddHead;
        reAddHead = t->next;
        t->next = nullptr;
        addToken(t);
    }
    reAdding = false;
}

void LayoutState::forceLineEnd()
{
    noJustify = true;
    // A flush can put set-aside tokens back on the line: flush those too, so
    // that a following line start never deletes content.
    do
        flushLine();
    while (!lineEmpty);
    noJustify = false;
}

void LayoutState::startLine()
{
    if (restartLine) {
        Token::deleteList(lineHead);
        lineHead = lineTail = nullptr;
        afterSpace = true;
        lineEmpty = true;
        usedWidth = 0;
        lineAscent = lineDescent = 0;
    }
    int64_t width = (int64_t)columnWidth - leftMargin - rightMargin;
    if (!centred && alignment != 2) {
        if (lineInParagraph == 0 && firstLineIndent > 0)
            width -= firstLineIndent;
        else if (lineInParagraph != 0 && firstLineIndent < 0)
            width += firstLineIndent;
    }
    freeWidth = clampWidth(width);
    // A line that moves on to another cell keeps its tokens and its runs;
    // tokens waiting to be added again bring their own.
    if (!restartLine || waitingTokens)
        return;
    if (linkUnderlineOpen) {
        linkUnderlineOpen = false;
        setLinkUnderline(true);
    } else if (underline) {
        underline = false;
        setUnderline(true);
    }
}

void LayoutState::setLinkUnderline(bool on)
{
    if (inLink) {
        if (on && !linkUnderlineOpen) {
            Token *su = new (std::nothrow) SUToken(currentLink, currentLink != nullptr);
            if (su)
                addToken(su);
            underline = true;
        } else if (!on && linkUnderlineOpen) {
            Token *eu = new (std::nothrow) EUToken;
            if (eu)
                addToken(eu);
            underline = false;
        }
    }
    linkUnderlineOpen = on;
}

void LayoutState::setUnderline(bool on)
{
    if (linkUnderlineOpen)
        return;
    if (on && !underline) {
        Token *su = new (std::nothrow) SUToken(inLink ? currentLink : nullptr, false);
        if (su)
            addToken(su);
    } else if (!on && underline) {
        Token *eu = new (std::nothrow) EUToken;
        if (eu)
            addToken(eu);
    }
    underline = on;
}

void LayoutState::boxBorder(int32_t bx, int32_t by, uint32_t width, uint32_t height, uint32_t c1,
                            uint32_t c2)
{
    Token *top = new (std::nothrow) HorizLineToken(bx, by, width, c1);
    Token *bottom = new (std::nothrow) HorizLineToken(bx, coord((int64_t)by + height - 1), width, c2);
    Token *left = new (std::nothrow) VertLineToken(bx, by, height, c1);
    Token *right = new (std::nothrow) VertLineToken(coord((int64_t)bx + width - 1), by, height, c2);
    if (!top || !bottom || !left || !right) {
        delete top;
        delete bottom;
        delete left;
        delete right;
        return;
    }
    top->next = bottom;
    bottom->next = left;
    left->next = right;
    // A cell frame of a table at the very top starts above the document:
    // its row in the index starts at 0 (the index holds unsigned rows).
    int64_t rowTop = by < 0 ? 0 : by;
    int64_t rowBottom = (int64_t)by + height;
    article->addLine(top, (uint32_t)rowTop, (uint32_t)(rowBottom > rowTop ? rowBottom - rowTop : 0));
}

ImageToken *LayoutState::addImage(const char *fileName, uint32_t width, uint32_t height,
                                  uint32_t placement, uint32_t left, uint32_t right, uint32_t top,
                                  uint32_t bottom)
{
    // Decoding a large picture takes long: a quit asked for meanwhile is
    // served before the next one, and the rest of the article is left out.
    if (quitting || (g_system && g_system->quit_requested())) {
        quitting = true;
        return nullptr;
    }
    ImageToken *token = new (std::nothrow)
        ImageToken(fileName, width, height, placement == 3, left, right, top, bottom);
    if (!token)
        return nullptr;
    if (placement == 0) {
        pendingLeftWidth += token->width;
        if (pendingLeftTail)
            pendingLeftTail->next = token;
        else
            pendingLeft = token;
        pendingLeftTail = token;
        if (token->ascent > pendingLeftHeight)
            pendingLeftHeight = token->ascent;
    } else if (placement == 1) {
        pendingRightWidth += token->width;
        token->next = pendingRight;
        pendingRight = token;
        if (token->ascent > pendingRightHeight)
            pendingRightHeight = token->ascent;
    } else {
        addToken(token);
    }
    recordInLink(token);
    return token;
}
