// The line builder of the article layout: the font stack, the line being
// built (wrapping, floats, alignment and justification, underline runs) and
// the table records. The tag handler (ArticleLayout) drives it.
#ifndef MIRANDOL_LAYOUTSTATE_H
#define MIRANDOL_LAYOUTSTATE_H

#include <stdint.h>

#include <unordered_map>
#include <vector>

#include "Strings.h"
#include "System.h"

class Article;
class File;
class LinkInfo;
class Tag;
class Token;
class ImageToken;
class LayoutState;

// Deepest font stack and table nesting the layout follows; deeper tags are
// refused and the rest of the article is laid out.
enum { MAX_FONT_DEPTH = 256, MAX_TABLE_DEPTH = 64, MAX_TABLE_CELLS = 10 };

// One entry of the font stack: one open "font" or "link" tag.
struct FontState {
    FontState *next = nullptr;   // owned: the entry below
    uint32_t onBits = 0;         // style bits (4 = underline) a style switched on / off
    uint32_t offBits = 0;
    uint32_t height = 0;
    uint32_t charset = 0;
    uint32_t spacing = 0;        // extra space above the text
    uint32_t colour = 0;
    String face;
    FontHandle font = nullptr;
    uint32_t ascent = 0;         // the font's ascent plus spacing
    uint32_t descent = 0;
    uint32_t spaceWidth = 0;

    void applyStyle(LayoutState &state, const char *styleName);
    void readTag(LayoutState &state, Tag &tag);
    void open(LayoutState &state);
};

// The frame of one cell of the current row, drawn when the row ends.
struct CellBox {
    int32_t x = 0;
    int32_t y = 0;
    uint32_t width = 0;
    bool used = false;
};

// One open table.
struct TableRecord {
    TableRecord *next = nullptr;   // owned: the enclosing table
    int32_t x = 0;                 // left edge of the inner area
    int64_t top = 0;
    uint32_t innerWidth = 0;
    uint32_t height = 0;           // finished rows, each with its vspacing
    int32_t cellX = 0;
    int64_t rowTop = 0;
    uint32_t rowContentHeight = 0;
    uint32_t borderColour = 0;     // 0x000000: no frames
    uint32_t shadowColour = 0;
    uint32_t hspacing = 5;
    uint32_t vspacing = 5;
    uint32_t outspacing = 0;
    uint32_t savedLeftMargin = 0, savedLeftHeight = 0, savedRightMargin = 0, savedRightHeight = 0;
    bool flow = false;             // overflowing text moves to the next cell
    bool cellStarted = false;
    uint32_t cellIndex = 0;        // 0..9
    uint32_t rowHeight = 0;        // 0: as tall as its content
    uint32_t cellWidths[MAX_TABLE_CELLS] = {};
    // The enclosing row's cell frames, given back when this table ends.
    CellBox savedBoxes[MAX_TABLE_CELLS];
};

class LayoutState {
public:
    explicit LayoutState(File *source);
    virtual ~LayoutState();
    LayoutState(const LayoutState &) = delete;
    LayoutState &operator=(const LayoutState &) = delete;

    bool failed = false;
    bool quitting = false;          // a quit was asked for: the markup left is skipped
    Token *lineHead = nullptr;      // owned: the line being built
    Token *lineTail = nullptr;
    LinkInfo *linkInfos = nullptr;  // owned list, in tag order
    LinkInfo *linkInfosTail = nullptr;
    LinkInfo *currentLink = nullptr;  // in linkInfos
    bool centred = false;
    bool linkUnderlineOpen = false;
    bool lineEmpty = true;
    bool inLink = false;
    bool restartLine = true;
    bool afterSpace = false;
    int32_t x = 0;
    int64_t y = 0;                  // kept wide; tokens get it clamped
    int32_t freeWidth = 0;          // never below 0
    int64_t usedWidth = 0;
    uint32_t lineAscent = 0;
    uint32_t lineDescent = 0;
    int32_t columnWidth = 0;
    uint32_t alignment = 3;         // 0 left, 1 right, 2 centre, 3 justify
    uint32_t paragraphSpacing = 0;
    uint32_t lineInParagraph = 0;
    int32_t firstLineIndent = 0;    // positive: first line; negative: hanging
    FontState *fontStack = nullptr; // owned: top of the stack
    uint32_t fontDepth = 1;         // entries on the stack
    uint32_t linkFontDepth = 0;     // depth when the open link began
    Article *article = nullptr;     // owned until the layout hands it out
    TableRecord *tables = nullptr;  // owned: innermost open table
    uint32_t tableDepth = 0;
    CellBox cellBoxes[MAX_TABLE_CELLS];
    uint32_t pendingLeftWidth = 0, pendingLeftHeight = 0;
    uint32_t pendingRightWidth = 0, pendingRightHeight = 0;
    uint32_t leftMargin = 0, leftHeight = 0;
    uint32_t rightMargin = 0, rightHeight = 0;
    Token *pendingLeft = nullptr;   // owned: left floats in tag order
    Token *pendingLeftTail = nullptr;
    Token *pendingRight = nullptr;  // owned: right floats, latest first
    uint32_t styleBits = 0;         // 1 bold, 2 italic
    bool underline = false;         // a "u" underline run is in force
    int dpi = 72;

    // The line builder.
    void addToken(Token *token);
    void flushLine();
    // Flushes until the line is empty (a flush can put tokens back).
    void forceLineEnd();
    void startLine();
    void setUnderline(bool on);
    void setLinkUnderline(bool on);
    bool removeTrailingSpace();
    void boxBorder(int32_t x, int32_t y, uint32_t width, uint32_t height, uint32_t c1,
                   uint32_t c2);
    ImageToken *addImage(const char *fileName, uint32_t width, uint32_t height,
                         uint32_t placement, uint32_t left, uint32_t right, uint32_t top,
                         uint32_t bottom);
    void addLinkInfo(LinkInfo *info);
    // Records a token placed (or floated) inside the open link.
    void recordInLink(Token *token);
    // A word space of the current font (reused when one was discarded).
    Token *newWordSpace();
    // Deletes a token taken off a line (keeps word spaces for reuse).
    void discard(Token *token);

    // The font stack.
    FontState *pushFont();
    void popFont();

    // Tables.
    void beginTable(Tag &tag);
    void beginRow(Tag &tag);
    void beginCell(Tag &tag);
    void endTable();
    void startCell();
    void nextCell(uint32_t width);
    void endCell();
    void endTableRow();
    void addVerticalSpace();

    // Width clamped into 0..INT32_MAX; coordinate clamped into 32 bits.
    static int32_t clampWidth(int64_t width);
    static int32_t coord(int64_t value);

protected:
    // A forced line end never justifies its line.
    bool noJustify = false;
    // While set, no flowing cell moves on (the flush that ends a cell).
    int flowBlocked = 0;
    // Tokens a split line set aside, waiting to be added again.
    Token *reAddHead = nullptr;     // owned
    Token *spareSpaces = nullptr;   // owned: discarded word spaces
    bool reAdding = false;
    // The last token a flush set aside while tokens were being added again:
    // the token whose addition caused that flush goes right after it.
    Token *setAsideTail = nullptr;  // in reAddHead
    // Links that recorded a token since the line began (not owned; in linkInfos).
    std::vector<LinkInfo *> lineLinks;
    // Tokens set aside by a split, taken out of their link until they are
    // placed again, so each part of the line gets its own rectangle.
    std::unordered_map<const Token *, LinkInfo *> setAsideLinks;
    // Set while a line starts with tokens waiting to be added again.
    bool waitingTokens = false;
    // Tags refused beyond the nesting bounds, so their end tags are skipped too.
    uint32_t refusedTables = 0;
    uint32_t refusedFonts = 0;

    bool flowActive() const;
    void flowToNextCell();
    void placeFloats();
    int64_t firstWordWidth() const;
    Token *splitLine(bool &lostSpace);
    Token *detachSetAside(Token *rest);
    void placeHorizontally();
    void runDownFloats(uint32_t height);
    void appendToLine(Token *token);
    void drawUnderlines();
    void endRowFrames();
    // The widest cell a row of the innermost table has, as the flow meets them.
    uint32_t widestCell() const;
};

#endif
