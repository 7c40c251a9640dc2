// The cell operations under the output interpreters, the dispatch of output to the one
// chosen, and the new line that recycles the oldest row.
#include "terminal/CellOps.h"
#include "terminal/ColorTTY.h"

#include <algorithm>
#include <cstring>

using namespace ttycells;

// ---------------------------------------------------------------- cells

void TColorTTY::WriteCells(int x, int y, int count, const char *source)
{
    if (unsigned(x) >= unsigned(Cols) || unsigned(y) >= unsigned(Rows) || count <= 0) return;
    FScreen.NoteRowWritten(y);
    FScreen.PutCells(x, y, std::min(count, Cols - x), source, Attr);
}

void TColorTTY::EraseCells(int x, int y, int count)
{
    if (count <= 0 || y < 0 || y >= Rows) return;
    x = std::clamp(x, 0, Cols);
    if (count <= Cols - x) { // within the row: every new line blanks one
        FScreen.BlankCells(x, y, count);
        return;
    }
    while (count > 0 && y < Rows) {
        const int n = std::min(count, Cols - x);
        if (n > 0) FScreen.BlankCells(x, y, n);
        count -= n;
        x = 0;
        ++y;
    }
}

// ---------------------------------------------------------------- interpreter

void TColorTTY::WriteChar(char c)
{
    if (c) Write(&c, 1);
}

void TColorTTY::Write(const char *text)
{
    if (text) Write(text, std::strlen(text));
}

void TColorTTY::Write(const char *data, size_t count)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(data);
    if (FEmul == teAnsiBbs)
        FAnsi.Write(p, count);
    else
        FClassic.Write(p, count);
}

void TColorTTY::ScrollBy(int dx, int dy)
{
    if (HasOption(coLazyWrite) && HasWindow()) {
        int waitedX, waitedY;
        if (FViewport.TakeScrollWait(waitedX, waitedY)) {
            dx += waitedX;
            dy += waitedY;
        }
        if (std::abs(dx) < std::min(VisibleCols, Cols) / 2 &&
            std::abs(dy) < std::min(VisibleRows, Rows) / 2) {
            if (dx == 0 && dy == 0) return;
            FViewport.WaitScroll(dx, dy);
            if (!FFrameWanted) {
                FFrameWanted = true;
                FViewPtr->FrameWanted();
            }
            return;
        }
    }
    ScrollTo(Left + dx, Top + dy);
}

void TColorTTY::NewLine()
{
    const int y = CursorY;
    FScreen.NoteLineFeed(y, y + 1 < Rows ? TTTYOutputObserver::lfNextRow : TTTYOutputObserver::lfScrollRing);
    if (y + 1 < Rows) {
        FScreen.SetCursor(CursorX, y + 1);
        FScreen.ExtendReach(y + 1);
        return;
    }
    FScreen.SetCursor(CursorX, Rows - 1);
    FScreen.SetOutputReach(Rows - 1); // the rows moved up by one under it
    ScrollRingUp();
    if (!ScrolledBack) ScrollBy(0, 1);
}
