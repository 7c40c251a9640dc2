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
    if (unsigned(x) >= unsigned(FScreen.FCols) || unsigned(y) >= unsigned(FScreen.FRows) || count <= 0)
        return;
    count = std::min(count, FScreen.FCols - x);
    const size_t i = size_t(FScreen.CellIndex(x, y));
    if (FScreen.FObserver && y != FScreen.FObservedRow) {
        FScreen.FObservedRow = y;
        FScreen.FObserver->RowWritten(y);
    }
    CopyCells(FScreen.FChars.data() + i, FScreen.FAttrs.data() + i, source, size_t(count), FAttr);
}

void TColorTTY::EraseCells(int x, int y, int count)
{
    if (count <= 0 || y < 0 || y >= FScreen.FRows) return;
    x = std::clamp(x, 0, FScreen.FCols);
    if (count <= FScreen.FCols - x) { // within the row: every new line blanks one
        const size_t i = size_t(FScreen.CellIndex(x, y));
        BlankCells(FScreen.FChars.data() + i, FScreen.FAttrs.data() + i, size_t(count));
        return;
    }
    while (count > 0 && y < FScreen.FRows) {
        const int n = std::min(count, FScreen.FCols - x);
        if (n > 0) {
            const size_t i = size_t(FScreen.CellIndex(x, y));
            BlankCells(FScreen.FChars.data() + i, FScreen.FAttrs.data() + i, size_t(n));
        }
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
        if (FViewport.FScrollWaiting) {
            dx += FViewport.FScrollWaitDX;
            dy += FViewport.FScrollWaitDY;
            FViewport.FScrollWaiting = false;
            FViewport.FScrollWaitDX = FViewport.FScrollWaitDY = 0;
        }
        if (std::abs(dx) < std::min(FViewport.FVisibleCols, FScreen.FCols) / 2 &&
            std::abs(dy) < std::min(FViewport.FVisibleRows, FScreen.FRows) / 2) {
            if (dx == 0 && dy == 0) return;
            FViewport.FScrollWaiting = true;
            FViewport.FScrollWaitDX = dx;
            FViewport.FScrollWaitDY = dy;
            if (!FFrameWanted) {
                FFrameWanted = true;
                FViewPtr->FrameWanted();
            }
            return;
        }
    }
    ScrollTo(FViewport.FLeft + dx, FViewport.FTop + dy);
}

void TColorTTY::NewLine()
{
    if (FScreen.FObserver) {
        FScreen.FObserver->LineFeed(FCursorY, FCursorY + 1 < FScreen.FRows
                                                  ? TTTYOutputObserver::lfNextRow
                                                  : TTTYOutputObserver::lfScrollRing);
        FScreen.FObservedRow = -1;
    }
    if (FCursorY + 1 < FScreen.FRows) {
        ++FCursorY;
        FScreen.FReach = std::max(FScreen.FReach, FCursorY);
        return;
    }
    FCursorY = FScreen.FRows - 1;
    FScreen.FReach = FScreen.FRows - 1; // the rows moved up by one under it
    ScrollRingUp();
    if (!FViewport.FScrolledBack) ScrollBy(0, 1);
}
