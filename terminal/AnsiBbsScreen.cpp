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
    TTTYScreen &S = FScreen;
    return std::max(1, std::min(T.Viewport().VisibleRows(), S.Rows()));
}

int TAnsiBbsInterpreter::AnsiTop() const
{
    TTTYScreen &S = FScreen;
    return S.Rows() - AnsiScreenRows();
}

void TAnsiBbsInterpreter::ResetModes()
{
    TTTYScreen &S = FScreen;
    FShowCursor = true;
    FAutoWrap = true;
    FReverse = false;
    S.SetAttr(caReset);
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
    TTTYScreen &S = FScreen;
    S.SetWrapPending(false);
    const TColourAttr blank = S.Attr() & 0xF0;
    x = std::clamp(x, 0, S.Cols());
    for (y = std::max(y, 0); count > 0 && y < S.Rows(); ++y, x = 0) {
        const int n = std::min(count, S.Cols() - x);
        if (n > 0) S.BlankCells(x, y, n, blank);
        count -= n;
    }
}

void TAnsiBbsInterpreter::AnsiBlankLastRow()
{
    TTTYScreen &S = FScreen;
    // a whole-screen scroll brings in a row in the current background
    if ((S.Attr() & 0xF0) != caErased) AnsiErase(0, S.Rows() - 1, S.Cols());
}

// 0: from the cursor to the end of the screen; 1: from the start of the screen to the
// cursor; 2: the whole screen, and the cursor goes home (ANSI.SYS did so; art relies on it).
void TAnsiBbsInterpreter::AnsiEraseDisplay(int how)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    const int top = AnsiTop(), x = std::min(S.CursorX(), S.Cols() - 1);
    if (how == 0) {
        AnsiErase(x, S.CursorY(), (S.Rows() - S.CursorY()) * S.Cols() - x);
    } else if (how == 1) {
        if (S.CursorY() >= top) AnsiErase(0, top, (S.CursorY() - top) * S.Cols() + x + 1);
    } else if (how == 2) {
        AnsiErase(0, top, AnsiScreenRows() * S.Cols());
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
    TTTYScreen &S = FScreen;
    const int x = std::min(S.CursorX(), S.Cols() - 1);
    if (how == 0)
        AnsiErase(x, S.CursorY(), S.Cols() - x);
    else if (how == 1)
        AnsiErase(0, S.CursorY(), x + 1);
    else if (how == 2)
        AnsiErase(0, S.CursorY(), S.Cols());
    else
        return;
    T.InvalidateCells(0, S.Cols());
}

// Rows top..bottom move up by n (down for a negative n); the rows left behind are blank.
void TAnsiBbsInterpreter::AnsiShiftRows(int top, int bottom, int n)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    const int span = bottom - top + 1;
    if (span <= 0 || n == 0) return;
    n = std::clamp(n, -span, span);
    if (n > 0) {
        for (int y = top; y + n <= bottom; ++y)
            S.CopyRow(y + n, y);
        AnsiErase(0, bottom - n + 1, n * S.Cols());
    } else {
        for (int y = bottom; y + n >= top; --y)
            S.CopyRow(y + n, y);
        AnsiErase(0, top, -n * S.Cols());
    }
    T.InvalidateAll();
}

void TAnsiBbsInterpreter::AnsiScrollUp(int n)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    int top, bottom;
    if (AnsiRegion(top, bottom)) return AnsiShiftRows(top, bottom, n);
    // the whole screen: its top rows go to the scrollback, the cursor keeps its place
    const int x = S.CursorX(), y = S.CursorY();
    for (n = std::min(n, AnsiScreenRows()); n > 0; --n) {
        S.SetCursor(S.CursorX(), S.Rows() - 1);
        T.NewLine();
        AnsiBlankLastRow();
    }
    S.SetCursor(x, y);
}

void TAnsiBbsInterpreter::AnsiScrollDown(int n)
{
    TTTYScreen &S = FScreen;
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = S.Rows() - 1;
    AnsiShiftRows(top, bottom, -n);
}

void TAnsiBbsInterpreter::AnsiInsertLines(int n)
{
    TTTYScreen &S = FScreen;
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = S.Rows() - 1;
    if (S.CursorY() < top || S.CursorY() > bottom) return;
    AnsiShiftRows(S.CursorY(), bottom, -n);
    S.SetCursorX(0);
}

void TAnsiBbsInterpreter::AnsiDeleteLines(int n)
{
    TTTYScreen &S = FScreen;
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = S.Rows() - 1;
    if (S.CursorY() < top || S.CursorY() > bottom) return;
    AnsiShiftRows(S.CursorY(), bottom, n);
    S.SetCursorX(0);
}

// n blanks at the cursor; the rest of the row moves right, and off its end.
void TAnsiBbsInterpreter::AnsiInsertChars(int n)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    const int x = std::min(S.CursorX(), S.Cols() - 1);
    n = std::min(n, S.Cols() - x);
    S.MoveCells(S.CursorY(), x, x + n, S.Cols() - x - n);
    AnsiErase(x, S.CursorY(), n);
    T.InvalidateCells(x, S.Cols());
}

// n characters at the cursor go; the rest of the row moves left, blanks come in at its end.
void TAnsiBbsInterpreter::AnsiDeleteChars(int n)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    const int x = std::min(S.CursorX(), S.Cols() - 1);
    n = std::min(n, S.Cols() - x);
    S.MoveCells(S.CursorY(), x + n, x, S.Cols() - x - n);
    AnsiErase(S.Cols() - n, S.CursorY(), n);
    T.InvalidateCells(x, S.Cols());
}
