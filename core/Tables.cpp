// Tables in the article layout: the record stack, rows of at most ten
// cells, percent widths, frames and shadows, and flowing cells.
#include "LayoutState.h"

#include <new>

#include "Article.h"
#include "Markup.h"
#include "Token.h"

// Sum of (cell width + hspacing) of the cells before index.
static int64_t cellsBefore(const TableRecord &t, uint32_t index)
{
    int64_t sum = 0;
    for (uint32_t i = 0; i < index && i < MAX_TABLE_CELLS; i++)
        sum += (int64_t)t.cellWidths[i] + t.hspacing;
    return sum;
}

void LayoutState::beginTable(Tag &tag)
{
    if (tableDepth >= MAX_TABLE_DEPTH) {
        refusedTables++;
        return;
    }
    // Floats waiting for a line start are placed before the table.
    while (pendingLeft || pendingRight) {
        Token *space = new (std::nothrow) SpaceToken(1);
        if (!space)
            return;
        addToken(space);
        forceLineEnd();
    }
    if (!lineEmpty)
        forceLineEnd();
    TableRecord *t = new (std::nothrow) TableRecord;
    if (!t)
        return;
    t->next = tables;
    tables = t;
    tableDepth++;

    uint32_t room = (uint32_t)clampWidth((int64_t)columnWidth - leftMargin - rightMargin);
    freeWidth = (int32_t)room;
    uint32_t width = room;
    tag.getSize(KW_WIDTH, width, 0, room, room);
    tag.getColour(KW_BORDER, t->borderColour);
    t->shadowColour = t->borderColour;
    tag.getColour(KW_SHADOW, t->shadowColour);
    tag.getUnsigned(KW_HSPACING, t->hspacing, 0, 1024);
    tag.getUnsigned(KW_VSPACING, t->vspacing, 0, 1024);
    tag.getUnsigned(KW_OUTSPACING, t->outspacing, 0, 1024);
    t->innerWidth = (uint32_t)clampWidth((int64_t)width - 2 * (int64_t)t->outspacing);

    int64_t offset = 0;
    if (centred || alignment == 2)
        offset = ((int64_t)room - t->innerWidth) >> 1;
    else if (alignment == 1)
        offset = clampWidth((int64_t)room - t->innerWidth - 2 * (int64_t)t->outspacing);
    x = coord((int64_t)x + leftMargin + offset + t->outspacing);
    t->x = x;
    y += t->outspacing;
    t->top = y;
    t->rowTop = y;

    t->savedLeftMargin = leftMargin;
    t->savedLeftHeight = leftHeight;
    t->savedRightMargin = rightMargin;
    t->savedRightHeight = rightHeight;
    leftMargin = leftHeight = rightMargin = rightHeight = 0;
    for (uint32_t i = 0; i < MAX_TABLE_CELLS; i++) {
        t->savedBoxes[i] = cellBoxes[i];
        cellBoxes[i].used = false;
    }
    startCell();
}

void LayoutState::beginRow(Tag &tag)
{
    if (!tables)
        return;
    if (!lineEmpty)
        forceLineEnd();
    TableRecord *t = tables;
    if (t->cellIndex != 0 || t->rowHeight != 0 || y > t->rowTop) {
        endTableRow();
        startCell();
    }
    t->rowHeight = 0;
    tag.getUnsigned(KW_HEIGHT, t->rowHeight, 0, 65535);
    t->cellStarted = false;
    t->flow = false;
    for (CellBox &box : cellBoxes)
        box.used = false;
}

void LayoutState::beginCell(Tag &tag)
{
    if (!tables)
        return;
    if (!lineEmpty)
        forceLineEnd();
    TableRecord *t = tables;
    uint32_t width = 0;
    tag.getSize(KW_WIDTH, width, 0, t->innerWidth, t->innerWidth);
    t->flow = tag.has(KW_BR);
    nextCell(width);
    t->cellStarted = true;
}

void LayoutState::endTable()
{
    if (refusedTables) {
        refusedTables--;
        return;
    }
    if (!tables)
        return;
    if (!lineEmpty)
        forceLineEnd();
    endTableRow();
    TableRecord *t = tables;
    // Rows each added their vspacing; the last one is not kept below the
    // table (an empty table has none to take back).
    uint32_t rows = t->height > t->vspacing ? t->height - t->vspacing : 0;
    if (t->borderColour != 0)
        boxBorder(coord((int64_t)t->x - t->outspacing), coord(t->top - t->outspacing),
                  (uint32_t)clampWidth((int64_t)t->innerWidth + 2 * (int64_t)t->outspacing),
                  (uint32_t)clampWidth(2 * (int64_t)t->outspacing + rows), t->borderColour,
                  t->shadowColour);
    y = t->top + rows + t->outspacing;
    leftMargin = t->savedLeftMargin;
    leftHeight = t->savedLeftHeight;
    rightMargin = t->savedRightMargin;
    rightHeight = t->savedRightHeight;
    runDownFloats(t->height);

    for (uint32_t i = 0; i < MAX_TABLE_CELLS; i++)
        cellBoxes[i] = t->savedBoxes[i];
    tables = t->next;
    tableDepth--;
    delete t;
    if (tables) {
        x = tables->cellX;
        columnWidth = (int32_t)tables->cellWidths[tables->cellIndex < MAX_TABLE_CELLS ? tables->cellIndex : 0];
    } else {
        x = 0;
        columnWidth = article->columnWidth;
    }
    lineInParagraph = 0;
    startLine();
}

void LayoutState::startCell()
{
    TableRecord *t = tables;
    if (t->cellIndex >= MAX_TABLE_CELLS)
        t->cellIndex = MAX_TABLE_CELLS - 1;
    int64_t before = cellsBefore(*t, t->cellIndex);
    x = coord(t->x + before);
    t->cellX = x;
    t->rowTop = y;
    if (restartLine)
        lineInParagraph = 0;
    uint32_t room = (uint32_t)clampWidth((int64_t)t->innerWidth - before);
    uint32_t &width = t->cellWidths[t->cellIndex];
    if (width == 0 || width > room)
        width = room;
    columnWidth = (int32_t)width;
    startLine();
}

void LayoutState::nextCell(uint32_t width)
{
    TableRecord *t = tables;
    if (t->cellStarted || y > t->rowTop) {
        bool roomLeft = t->cellIndex < MAX_TABLE_CELLS - 1 &&
                        (int64_t)t->innerWidth - cellsBefore(*t, t->cellIndex + 1) > 9;
        // Ending the cell places its pending floats; no cell may move on
        // meanwhile, so the index stays where it was checked.
        flowBlocked++;
        endCell();
        flowBlocked--;
        if (roomLeft && t->cellIndex < MAX_TABLE_CELLS - 1) {
            t->cellIndex++;
        } else {
            endRowFrames();
        }
    }
    if (width != 0)
        t->cellWidths[t->cellIndex] = width;
    startCell();
}

void LayoutState::endCell()
{
    TableRecord *t = tables;
    if (restartLine) {
        if (pendingLeft || pendingRight) {
            Token *space = new (std::nothrow) SpaceToken(1);
            if (space) {
                addToken(space);
                forceLineEnd();
            }
        }
        if (leftHeight || rightHeight) {
            y += leftHeight > rightHeight ? leftHeight : rightHeight;
            leftMargin = leftHeight = rightMargin = rightHeight = 0;
        }
    }
    uint32_t index = t->cellIndex < MAX_TABLE_CELLS ? t->cellIndex : MAX_TABLE_CELLS - 1;
    if (y > t->rowTop) {
        int64_t contentHeight = y - t->rowTop;
        if (contentHeight > (int64_t)t->rowContentHeight)
            t->rowContentHeight = (uint32_t)clampWidth(contentHeight);
        if (t->borderColour != 0)
            cellBoxes[index] = {coord((int64_t)t->cellX - 2), coord(t->rowTop - 2),
                                t->cellWidths[index] + 4, true};
        y = t->rowTop;
    }
    x = coord((int64_t)t->cellX + t->cellWidths[index] + t->hspacing);
}

// Frames the cells of the finished row, adds its height and starts the next
// row at its first cell.
void LayoutState::endRowFrames()
{
    TableRecord *t = tables;
    uint32_t h = t->rowHeight > t->rowContentHeight ? t->rowHeight : t->rowContentHeight;
    if (h != 0) {
        for (CellBox &box : cellBoxes) {
            if (box.used)
                boxBorder(box.x, box.y, box.width, h + 4, t->shadowColour, t->borderColour);
            box.used = false;
        }
        h += t->vspacing;
    }
    t->height += h;
    t->rowContentHeight = 0;
    x = t->x;
    y = t->top + t->height;
    t->cellIndex = 0;
}

uint32_t LayoutState::widestCell() const
{
    // Each cell is as wide as set, or takes the room left (startCell); one
    // more follows while more than 9 pixels are left (nextCell).
    const TableRecord &t = *tables;
    int64_t before = 0, widest = 0;
    for (uint32_t i = 0; i < MAX_TABLE_CELLS; i++) {
        int64_t room = clampWidth((int64_t)t.innerWidth - before);
        int64_t width = t.cellWidths[i] == 0 || t.cellWidths[i] > room ? room : t.cellWidths[i];
        if (width > widest)
            widest = width;
        before += width + t.hspacing;
        if ((int64_t)t.innerWidth - before <= 9)
            break;
    }
    return (uint32_t)widest;
}

void LayoutState::endTableRow()
{
    endCell();
    endRowFrames();
}

void LayoutState::addVerticalSpace()
{
    uint32_t s = paragraphSpacing;
    if (flowActive() && (int64_t)s + (y - tables->rowTop) > (int64_t)tables->rowHeight) {
        nextCell(0);
        s = 0;
    }
    y += s;
    runDownFloats(s);
}
