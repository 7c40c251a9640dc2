// ANSI-BBS operations on the screen: erasing in the current background (as DOS did),
// inserting and deleting characters and lines, scrolling, and the scrolling region.
// Only a scroll of the whole screen feeds the scrollback; rows leaving a region, or
// pushed out by inserted and deleted lines, are gone.
#include "terminal/AnsiBbsInterpreter.h"
#include "terminal/CellOps.h"
#include "terminal/ColorTTY.h"

using namespace ttycells;

int TAnsiBbsInterpreter::AnsiScreenRows() const
{
    return std::max(1, std::min(FTty.VisibleRows, FTty.FScreen.FRows));
}

int TAnsiBbsInterpreter::AnsiTop() const
{
    return FTty.FScreen.FRows - AnsiScreenRows();
}

void TAnsiBbsInterpreter::ResetModes()
{
    FShowCursor = true;
    FAutoWrap = true;
    FReverse = false;
    FTty.FAttr = caReset;
    FRegionFrom = FRegionTo = 0;
    FAnsiSaved = {};
    FAnsiSavedAttr = caReset;
    FAnsiSavedReverse = false;
}

bool TAnsiBbsInterpreter::AnsiRegionRows(int &top, int &bottom) const
{
    const int rows = AnsiScreenRows();
    const int from = std::min(FRegionFrom, rows - 1), to = std::min(FRegionTo, rows);
    if (from == 0 && to == rows) return false;
    if (to - from < 2) return false; // the screen shrank under it
    top = AnsiTop() + from;
    bottom = AnsiTop() + to - 1;
    return true;
}

void TAnsiBbsInterpreter::AnsiSetRegion()
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
void TAnsiBbsInterpreter::AnsiErase(int x, int y, int count)
{
    FTty.FWrapPending = false;
    const TColourAttr blank = FTty.FAttr & 0xF0;
    x = std::clamp(x, 0, FTty.FScreen.FCols);
    for (y = std::max(y, 0); count > 0 && y < FTty.FScreen.FRows; ++y, x = 0) {
        const int n = std::min(count, FTty.FScreen.FCols - x);
        if (n > 0) {
            const size_t i = size_t(FTty.FScreen.CellIndex(x, y));
            BlankCells(FTty.FScreen.FChars.data() + i, FTty.FScreen.FAttrs.data() + i, size_t(n), blank);
        }
        count -= n;
    }
}

void TAnsiBbsInterpreter::AnsiBlankLastRow()
{
    // a whole-screen scroll brings in a row in the current background
    if ((FTty.FAttr & 0xF0) != caErased) AnsiErase(0, FTty.FScreen.FRows - 1, FTty.FScreen.FCols);
}

// 0: from the cursor to the end of the screen; 1: from the start of the screen to the
// cursor; 2: the whole screen, and the cursor goes home (ANSI.SYS did so; art relies on it).
void TAnsiBbsInterpreter::AnsiEraseDisplay(int how)
{
    const int top = AnsiTop(), x = std::min(FTty.FCursorX, FTty.FScreen.FCols - 1);
    if (how == 0) {
        AnsiErase(x, FTty.FCursorY, (FTty.FScreen.FRows - FTty.FCursorY) * FTty.FScreen.FCols - x);
    } else if (how == 1) {
        if (FTty.FCursorY >= top) AnsiErase(0, top, (FTty.FCursorY - top) * FTty.FScreen.FCols + x + 1);
    } else if (how == 2) {
        AnsiErase(0, top, AnsiScreenRows() * FTty.FScreen.FCols);
        AnsiMoveTo(0, 0);
    } else {
        return;
    }
    FTty.InvalidateAll();
}

// 0: from the cursor to the end of the line; 1: from its start to the cursor; 2: all of it.
void TAnsiBbsInterpreter::AnsiEraseLine(int how)
{
    const int x = std::min(FTty.FCursorX, FTty.FScreen.FCols - 1);
    if (how == 0)
        AnsiErase(x, FTty.FCursorY, FTty.FScreen.FCols - x);
    else if (how == 1)
        AnsiErase(0, FTty.FCursorY, x + 1);
    else if (how == 2)
        AnsiErase(0, FTty.FCursorY, FTty.FScreen.FCols);
    else
        return;
    FTty.InvalidateCells(0, FTty.FScreen.FCols);
}

// Rows top..bottom move up by n (down for a negative n); the rows left behind are blank.
void TAnsiBbsInterpreter::AnsiShiftRows(int top, int bottom, int n)
{
    const int span = bottom - top + 1;
    if (span <= 0 || n == 0) return;
    n = std::clamp(n, -span, span);
    auto copyRow = [this](int from, int to) {
        const size_t f = size_t(FTty.FScreen.CellIndex(0, from)), t = size_t(FTty.FScreen.CellIndex(0, to));
        std::memcpy(&FTty.FScreen.FChars[t], &FTty.FScreen.FChars[f], size_t(FTty.FScreen.FCols));
        std::memcpy(&FTty.FScreen.FAttrs[t], &FTty.FScreen.FAttrs[f], size_t(FTty.FScreen.FCols));
    };
    if (n > 0) {
        for (int y = top; y + n <= bottom; ++y)
            copyRow(y + n, y);
        AnsiErase(0, bottom - n + 1, n * FTty.FScreen.FCols);
    } else {
        for (int y = bottom; y + n >= top; --y)
            copyRow(y + n, y);
        AnsiErase(0, top, -n * FTty.FScreen.FCols);
    }
    FTty.InvalidateAll();
}

void TAnsiBbsInterpreter::AnsiScrollUp(int n)
{
    int top, bottom;
    if (AnsiRegion(top, bottom)) return AnsiShiftRows(top, bottom, n);
    // the whole screen: its top rows go to the scrollback, the cursor keeps its place
    const int x = FTty.FCursorX, y = FTty.FCursorY;
    for (n = std::min(n, AnsiScreenRows()); n > 0; --n) {
        FTty.FCursorY = FTty.FScreen.FRows - 1;
        FTty.NewLine();
        AnsiBlankLastRow();
    }
    FTty.FCursorX = x;
    FTty.FCursorY = y;
}

void TAnsiBbsInterpreter::AnsiScrollDown(int n)
{
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = FTty.FScreen.FRows - 1;
    AnsiShiftRows(top, bottom, -n);
}

void TAnsiBbsInterpreter::AnsiInsertLines(int n)
{
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = FTty.FScreen.FRows - 1;
    if (FTty.FCursorY < top || FTty.FCursorY > bottom) return;
    AnsiShiftRows(FTty.FCursorY, bottom, -n);
    FTty.FCursorX = 0;
}

void TAnsiBbsInterpreter::AnsiDeleteLines(int n)
{
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = FTty.FScreen.FRows - 1;
    if (FTty.FCursorY < top || FTty.FCursorY > bottom) return;
    AnsiShiftRows(FTty.FCursorY, bottom, n);
    FTty.FCursorX = 0;
}

// n blanks at the cursor; the rest of the row moves right, and off its end.
void TAnsiBbsInterpreter::AnsiInsertChars(int n)
{
    const int x = std::min(FTty.FCursorX, FTty.FScreen.FCols - 1);
    n = std::min(n, FTty.FScreen.FCols - x);
    const size_t i = size_t(FTty.FScreen.CellIndex(x, FTty.FCursorY));
    std::memmove(&FTty.FScreen.FChars[i + size_t(n)], &FTty.FScreen.FChars[i],
                 size_t(FTty.FScreen.FCols - x - n));
    std::memmove(&FTty.FScreen.FAttrs[i + size_t(n)], &FTty.FScreen.FAttrs[i],
                 size_t(FTty.FScreen.FCols - x - n));
    AnsiErase(x, FTty.FCursorY, n);
    FTty.InvalidateCells(x, FTty.FScreen.FCols);
}

// n characters at the cursor go; the rest of the row moves left, blanks come in at its end.
void TAnsiBbsInterpreter::AnsiDeleteChars(int n)
{
    const int x = std::min(FTty.FCursorX, FTty.FScreen.FCols - 1);
    n = std::min(n, FTty.FScreen.FCols - x);
    const size_t i = size_t(FTty.FScreen.CellIndex(x, FTty.FCursorY));
    std::memmove(&FTty.FScreen.FChars[i], &FTty.FScreen.FChars[i + size_t(n)],
                 size_t(FTty.FScreen.FCols - x - n));
    std::memmove(&FTty.FScreen.FAttrs[i], &FTty.FScreen.FAttrs[i + size_t(n)],
                 size_t(FTty.FScreen.FCols - x - n));
    AnsiErase(FTty.FScreen.FCols - n, FTty.FCursorY, n);
    FTty.InvalidateCells(x, FTty.FScreen.FCols);
}
