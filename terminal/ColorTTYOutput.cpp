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
    const int cols = FScreen.Cols();
    if (unsigned(x) >= unsigned(cols) || unsigned(y) >= unsigned(FScreen.Rows()) || count <= 0) return;
    FScreen.NoteRowWritten(y);
    FScreen.PutCells(x, y, std::min(count, cols - x), source, FScreen.Attr());
}

void TColorTTY::EraseCells(int x, int y, int count)
{
    const int cols = FScreen.Cols(), rows = FScreen.Rows();
    if (count <= 0 || y < 0 || y >= rows) return;
    x = std::clamp(x, 0, cols);
    if (count <= cols - x) { // within the row: every new line blanks one
        FScreen.BlankCells(x, y, count);
        return;
    }
    while (count > 0 && y < rows) {
        const int n = std::min(count, cols - x);
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

void TColorTTY::NewLine()
{
    const int y = FScreen.CursorY(), rows = FScreen.Rows();
    FScreen.NoteLineFeed(y, y + 1 < rows ? TTTYOutputObserver::lfNextRow : TTTYOutputObserver::lfScrollRing);
    if (y + 1 < rows) {
        FScreen.SetCursor(FScreen.CursorX(), y + 1);
        FScreen.ExtendReach(y + 1);
        return;
    }
    FScreen.SetCursor(FScreen.CursorX(), rows - 1);
    FScreen.SetOutputReach(rows - 1); // the rows moved up by one under it
    ScrollRingUp();
    if (!FViewport.ScrolledBack()) ScrollBy(0, 1);
}
