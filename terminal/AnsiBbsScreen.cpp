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
    TColorTTY &T = FTty;
    return std::max(1, std::min(T.FViewport.VisibleRows(), T.FScreen.FRows));
}

int TAnsiBbsInterpreter::AnsiTop() const
{
    TColorTTY &T = FTty;
    return T.FScreen.FRows - AnsiScreenRows();
}

void TAnsiBbsInterpreter::ResetModes()
{
    TColorTTY &T = FTty;
    FShowCursor = true;
    FAutoWrap = true;
    FReverse = false;
    T.FAttr = caReset;
    FRegionFrom = FRegionTo = 0;
    FAnsiSaved = {};
    FAnsiSavedAttr = caReset;
    FAnsiSavedReverse = false;
    CtermResetModes();
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
    TColorTTY &T = FTty;
    T.FWrapPending = false;
    const TColourAttr blank = T.FAttr & 0xF0;
    x = std::clamp(x, 0, T.FScreen.FCols);
    for (y = std::max(y, 0); count > 0 && y < T.FScreen.FRows; ++y, x = 0) {
        const int n = std::min(count, T.FScreen.FCols - x);
        if (n > 0) {
            const size_t i = size_t(T.FScreen.CellIndex(x, y));
            BlankCells(T.FScreen.FChars.data() + i, T.FScreen.FAttrs.data() + i, size_t(n), blank);
        }
        count -= n;
    }
}

void TAnsiBbsInterpreter::AnsiBlankLastRow()
{
    TColorTTY &T = FTty;
    // a whole-screen scroll brings in a row in the current background
    if ((T.FAttr & 0xF0) != caErased) AnsiErase(0, T.FScreen.FRows - 1, T.FScreen.FCols);
}

// 0: from the cursor to the end of the screen; 1: from the start of the screen to the
// cursor; 2: the whole screen, and the cursor goes home (ANSI.SYS did so; art relies on it).
void TAnsiBbsInterpreter::AnsiEraseDisplay(int how)
{
    TColorTTY &T = FTty;
    const int top = AnsiTop(), x = std::min(T.FCursorX, T.FScreen.FCols - 1);
    if (how == 0) {
        AnsiErase(x, T.FCursorY, (T.FScreen.FRows - T.FCursorY) * T.FScreen.FCols - x);
    } else if (how == 1) {
        if (T.FCursorY >= top) AnsiErase(0, top, (T.FCursorY - top) * T.FScreen.FCols + x + 1);
    } else if (how == 2) {
        AnsiErase(0, top, AnsiScreenRows() * T.FScreen.FCols);
        AnsiMoveTo(0, 0);
    } else {
        return;
    }
    T.InvalidateAll();
}

// 0: from the cursor to the end of the line; 1: from its start to the cursor; 2: all of it.
void TAnsiBbsInterpreter::AnsiEraseLine(int how)
{
    TColorTTY &T = FTty;
    const int x = std::min(T.FCursorX, T.FScreen.FCols - 1);
    if (how == 0)
        AnsiErase(x, T.FCursorY, T.FScreen.FCols - x);
    else if (how == 1)
        AnsiErase(0, T.FCursorY, x + 1);
    else if (how == 2)
        AnsiErase(0, T.FCursorY, T.FScreen.FCols);
    else
        return;
    T.InvalidateCells(0, T.FScreen.FCols);
}

// Rows top..bottom move up by n (down for a negative n); the rows left behind are blank.
void TAnsiBbsInterpreter::AnsiShiftRows(int top, int bottom, int n)
{
    TColorTTY &T = FTty;
    const int span = bottom - top + 1;
    if (span <= 0 || n == 0) return;
    n = std::clamp(n, -span, span);
    auto copyRow = [&T](int from, int to) {
        const size_t f = size_t(T.FScreen.CellIndex(0, from)), t = size_t(T.FScreen.CellIndex(0, to));
        std::memcpy(&T.FScreen.FChars[t], &T.FScreen.FChars[f], size_t(T.FScreen.FCols));
        std::memcpy(&T.FScreen.FAttrs[t], &T.FScreen.FAttrs[f], size_t(T.FScreen.FCols));
    };
    if (n > 0) {
        for (int y = top; y + n <= bottom; ++y)
            copyRow(y + n, y);
        AnsiErase(0, bottom - n + 1, n * T.FScreen.FCols);
    } else {
        for (int y = bottom; y + n >= top; --y)
            copyRow(y + n, y);
        AnsiErase(0, top, -n * T.FScreen.FCols);
    }
    T.InvalidateAll();
}

void TAnsiBbsInterpreter::AnsiScrollUp(int n)
{
    TColorTTY &T = FTty;
    int top, bottom;
    if (AnsiRegion(top, bottom)) return AnsiShiftRows(top, bottom, n);
    // the whole screen: its top rows go to the scrollback, the cursor keeps its place
    const int x = T.FCursorX, y = T.FCursorY;
    for (n = std::min(n, AnsiScreenRows()); n > 0; --n) {
        T.FCursorY = T.FScreen.FRows - 1;
        T.NewLine();
        AnsiBlankLastRow();
    }
    T.FCursorX = x;
    T.FCursorY = y;
}

void TAnsiBbsInterpreter::AnsiScrollDown(int n)
{
    TColorTTY &T = FTty;
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = T.FScreen.FRows - 1;
    AnsiShiftRows(top, bottom, -n);
}

void TAnsiBbsInterpreter::AnsiInsertLines(int n)
{
    TColorTTY &T = FTty;
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = T.FScreen.FRows - 1;
    if (T.FCursorY < top || T.FCursorY > bottom) return;
    AnsiShiftRows(T.FCursorY, bottom, -n);
    T.FCursorX = 0;
}

void TAnsiBbsInterpreter::AnsiDeleteLines(int n)
{
    TColorTTY &T = FTty;
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = T.FScreen.FRows - 1;
    if (T.FCursorY < top || T.FCursorY > bottom) return;
    AnsiShiftRows(T.FCursorY, bottom, n);
    T.FCursorX = 0;
}

// n blanks at the cursor; the rest of the row moves right, and off its end.
void TAnsiBbsInterpreter::AnsiInsertChars(int n)
{
    TColorTTY &T = FTty;
    const int x = std::min(T.FCursorX, T.FScreen.FCols - 1);
    n = std::min(n, T.FScreen.FCols - x);
    const size_t i = size_t(T.FScreen.CellIndex(x, T.FCursorY));
    std::memmove(&T.FScreen.FChars[i + size_t(n)], &T.FScreen.FChars[i], size_t(T.FScreen.FCols - x - n));
    std::memmove(&T.FScreen.FAttrs[i + size_t(n)], &T.FScreen.FAttrs[i], size_t(T.FScreen.FCols - x - n));
    AnsiErase(x, T.FCursorY, n);
    T.InvalidateCells(x, T.FScreen.FCols);
}

// n characters at the cursor go; the rest of the row moves left, blanks come in at its end.
void TAnsiBbsInterpreter::AnsiDeleteChars(int n)
{
    TColorTTY &T = FTty;
    const int x = std::min(T.FCursorX, T.FScreen.FCols - 1);
    n = std::min(n, T.FScreen.FCols - x);
    const size_t i = size_t(T.FScreen.CellIndex(x, T.FCursorY));
    std::memmove(&T.FScreen.FChars[i], &T.FScreen.FChars[i + size_t(n)], size_t(T.FScreen.FCols - x - n));
    std::memmove(&T.FScreen.FAttrs[i], &T.FScreen.FAttrs[i + size_t(n)], size_t(T.FScreen.FCols - x - n));
    AnsiErase(T.FScreen.FCols - n, T.FCursorY, n);
    T.InvalidateCells(x, T.FScreen.FCols);
}
