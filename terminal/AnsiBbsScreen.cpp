// ANSI-BBS operations on the screen: erasing in the current background (as DOS did),
// inserting and deleting characters and lines, scrolling, and the scrolling region.
// Only a scroll of the whole screen feeds the scrollback; rows leaving a region, or
// pushed out by inserted and deleted lines, are gone.
#include "terminal/CellOps.h"
#include "terminal/ColorTTY.h"

using namespace ttycells;

bool TColorTTY::AnsiRegionRows(int &top, int &bottom) const
{
    const int rows = AnsiScreenRows();
    const int from = std::min(FRegionFrom, rows - 1), to = std::min(FRegionTo, rows);
    if (from == 0 && to == rows) return false;
    if (to - from < 2) return false; // the screen shrank under it
    top = AnsiTop() + from;
    bottom = AnsiTop() + to - 1;
    return true;
}

void TColorTTY::AnsiSetRegion()
{
    const int rows = AnsiScreenRows();
    const int top = AnsiParam(0, 1), bottom = std::min(AnsiParam(1, rows), rows);
    if (top >= bottom) return;
    FRegionFrom = top - 1;
    FRegionTo = bottom;
    AnsiMoveTo(0, 0);
}

// Blanks `count` cells in reading order from (x, y) in the current background, never past
// the last row.
void TColorTTY::AnsiErase(int x, int y, int count)
{
    FWrapPending = false;
    const TColourAttr blank = Attr & 0xF0;
    x = std::clamp(x, 0, Cols);
    for (y = std::max(y, 0); count > 0 && y < Rows; ++y, x = 0) {
        const int n = std::min(count, Cols - x);
        if (n > 0) {
            const size_t i = size_t(CellIndex(x, y));
            BlankCells(FChars.data() + i, FAttrs.data() + i, size_t(n), blank);
        }
        count -= n;
    }
}

void TColorTTY::AnsiBlankLastRow()
{
    // a whole-screen scroll brings in a row in the current background
    if ((Attr & 0xF0) != caErased) AnsiErase(0, Rows - 1, Cols);
}

// 0: from the cursor to the end of the screen; 1: from the start of the screen to the
// cursor; 2: the whole screen, and the cursor goes home (ANSI.SYS did so; art relies on it).
void TColorTTY::AnsiEraseDisplay(int how)
{
    const int top = AnsiTop(), x = std::min(CursorX, Cols - 1);
    if (how == 0) {
        AnsiErase(x, CursorY, (Rows - CursorY) * Cols - x);
    } else if (how == 1) {
        if (CursorY >= top) AnsiErase(0, top, (CursorY - top) * Cols + x + 1);
    } else if (how == 2) {
        AnsiErase(0, top, AnsiScreenRows() * Cols);
        AnsiMoveTo(0, 0);
    } else {
        return;
    }
    InvalidateAll();
}

// 0: from the cursor to the end of the line; 1: from its start to the cursor; 2: all of it.
void TColorTTY::AnsiEraseLine(int how)
{
    const int x = std::min(CursorX, Cols - 1);
    if (how == 0)
        AnsiErase(x, CursorY, Cols - x);
    else if (how == 1)
        AnsiErase(0, CursorY, x + 1);
    else if (how == 2)
        AnsiErase(0, CursorY, Cols);
    else
        return;
    InvalidateCells(0, Cols);
}

// Rows top..bottom move up by n (down for a negative n); the rows left behind are blank.
void TColorTTY::AnsiShiftRows(int top, int bottom, int n)
{
    const int span = bottom - top + 1;
    if (span <= 0 || n == 0) return;
    n = std::clamp(n, -span, span);
    auto copyRow = [this](int from, int to) {
        const size_t f = size_t(CellIndex(0, from)), t = size_t(CellIndex(0, to));
        std::memcpy(&FChars[t], &FChars[f], size_t(Cols));
        std::memcpy(&FAttrs[t], &FAttrs[f], size_t(Cols));
    };
    if (n > 0) {
        for (int y = top; y + n <= bottom; ++y)
            copyRow(y + n, y);
        AnsiErase(0, bottom - n + 1, n * Cols);
    } else {
        for (int y = bottom; y + n >= top; --y)
            copyRow(y + n, y);
        AnsiErase(0, top, -n * Cols);
    }
    InvalidateAll();
}

void TColorTTY::AnsiScrollUp(int n)
{
    int top, bottom;
    if (AnsiRegion(top, bottom)) return AnsiShiftRows(top, bottom, n);
    // the whole screen: its top rows go to the scrollback, the cursor keeps its place
    const int x = CursorX, y = CursorY;
    for (n = std::min(n, AnsiScreenRows()); n > 0; --n) {
        CursorY = Rows - 1;
        NewLine();
        AnsiBlankLastRow();
    }
    CursorX = x;
    CursorY = y;
}

void TColorTTY::AnsiScrollDown(int n)
{
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = Rows - 1;
    AnsiShiftRows(top, bottom, -n);
}

void TColorTTY::AnsiInsertLines(int n)
{
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = Rows - 1;
    if (CursorY < top || CursorY > bottom) return;
    AnsiShiftRows(CursorY, bottom, -n);
    CursorX = 0;
}

void TColorTTY::AnsiDeleteLines(int n)
{
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = Rows - 1;
    if (CursorY < top || CursorY > bottom) return;
    AnsiShiftRows(CursorY, bottom, n);
    CursorX = 0;
}

// n blanks at the cursor; the rest of the row moves right, and off its end.
void TColorTTY::AnsiInsertChars(int n)
{
    const int x = std::min(CursorX, Cols - 1);
    n = std::min(n, Cols - x);
    const size_t i = size_t(CellIndex(x, CursorY));
    std::memmove(&FChars[i + size_t(n)], &FChars[i], size_t(Cols - x - n));
    std::memmove(&FAttrs[i + size_t(n)], &FAttrs[i], size_t(Cols - x - n));
    AnsiErase(x, CursorY, n);
    InvalidateCells(x, Cols);
}

// n characters at the cursor go; the rest of the row moves left, blanks come in at its end.
void TColorTTY::AnsiDeleteChars(int n)
{
    const int x = std::min(CursorX, Cols - 1);
    n = std::min(n, Cols - x);
    const size_t i = size_t(CellIndex(x, CursorY));
    std::memmove(&FChars[i], &FChars[i + size_t(n)], size_t(Cols - x - n));
    std::memmove(&FAttrs[i], &FAttrs[i + size_t(n)], size_t(Cols - x - n));
    AnsiErase(Cols - n, CursorY, n);
    InvalidateCells(x, Cols);
}
