// What part of the terminal's text the window shows, and what the user does there: the
// origin and the size in whole cells, the selection, the focus and the blink phase. The
// terminal moves the origin with its output; the widget keeps the rest.
#pragma once

#include <algorithm>
#include <initializer_list>

// A cell point: x a column (may equal Cols: a boundary after the last cell), y a logical row.
struct TCellPoint
{
    int x = 0;
    int y = 0;
    bool operator==(const TCellPoint &) const = default;
};

// A rectangle in client pixels (right and bottom exclusive).
struct TTTYRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const TTTYRect &) const = default;
};

class TTTYViewport
{
public:
    // --- The origin (first column and row shown) and the size in whole cells.
    const int &Left() const { return FLeft; }
    const int &Top() const { return FTop; }
    const int &MaxLeft() const { return FMaxLeft; }
    const int &MaxTop() const { return FMaxTop; }
    const int &VisibleCols() const { return FVisibleCols; }
    const int &VisibleRows() const { return FVisibleRows; }
    const bool &Focused() const { return FFocused; }
    // The origin is above the screen's own rows (the user scrolled back).
    const bool &ScrolledBack() const { return FScrolledBack; }
    // A merged scroll or the cursor's tracking waits for the next frame (lazy writes).
    bool ScrollWaiting() const { return FScrollWaiting; }
    bool TrackWaiting() const { return FTrackWaiting; }

    // --- Moved by the terminal: the origin as it is (the terminal clamps it), the size with
    // the farthest origin for a buffer of cols x rows, and what waits for the frame.
    void SetOrigin(int left, int top)
    {
        FLeft = left;
        FTop = top;
    }
    void SetScrolledBack(bool back) { FScrolledBack = back; }
    void SetVisibleSize(int visibleCols, int visibleRows, int cols, int rows)
    {
        FVisibleCols = visibleCols;
        FVisibleRows = visibleRows;
        FitBuffer(cols, rows);
    }
    void FitBuffer(int cols, int rows)
    {
        FMaxLeft = std::max(0, cols - FVisibleCols);
        FMaxTop = std::max(0, rows - FVisibleRows);
    }
    void SetTrackWaiting(bool waiting) { FTrackWaiting = waiting; }
    // A scroll by (dx, dy) waits, in place of any that waited before.
    void WaitScroll(int dx, int dy)
    {
        FScrollWaiting = true;
        FScrollWaitDX = dx;
        FScrollWaitDY = dy;
    }
    // The scroll that waited, if one did; nothing waits afterwards.
    bool TakeScrollWait(int &dx, int &dy)
    {
        if (!FScrollWaiting) return false;
        dx = FScrollWaitDX;
        dy = FScrollWaitDY;
        FScrollWaiting = false;
        FScrollWaitDX = FScrollWaitDY = 0;
        return true;
    }

    // --- The selection and the mouse that makes it.
    const TCellPoint &MouseCell() const { return FMouseCell; }
    const TCellPoint &AnchorCell() const { return FAnchorCell; }
    const TCellPoint &SelStart() const { return FSelStart; }
    const TCellPoint &SelEnd() const { return FSelEnd; }
    const bool &Tracking() const { return FTracking; }
    void SetMouseCell(TCellPoint p) { FMouseCell = p; }
    void SetAnchorCell(TCellPoint p) { FAnchorCell = p; }
    // Start and end in reading order (the caller orders them); nothing is repainted.
    void SetSelectionPoints(TCellPoint start, TCellPoint end)
    {
        FSelStart = start;
        FSelEnd = end;
    }
    void DropSelection() { FSelEnd = FSelStart; }
    bool HasSelection() const { return !(FSelStart == FSelEnd); }
    void SetTracking(bool tracking) { FTracking = tracking; }
    // The buffer was replaced: every point goes back to the top left corner.
    void ForgetPoints() { FSelStart = FSelEnd = FAnchorCell = FMouseCell = TCellPoint{}; }
    // The rows above `firstRow` are gone: points there move to its start.
    void PullPointsTo(int firstRow)
    {
        for (TCellPoint *p : {&FSelStart, &FSelEnd, &FAnchorCell, &FMouseCell})
            if (p->y < firstRow) *p = {0, firstRow};
    }

    // --- Focus and blinking.
    void SetFocused(bool focused) { FFocused = focused; }
    const bool &FlashHidden() const { return FFlashHidden; }
    const TTTYRect &FlashRect() const { return FFlashRect; }
    void SetFlashHidden(bool hidden) { FFlashHidden = hidden; }
    void SetFlashRect(const TTTYRect &r) { FFlashRect = r; }
    // The blink or auto-scroll timer, which the widget runs.
    bool TimerActive() const { return FTimerActive; }
    void SetTimerActive(bool active) { FTimerActive = active; }

private:
    int FLeft = 0, FTop = 0;
    int FMaxLeft = 0, FMaxTop = 0;
    int FVisibleCols = 0, FVisibleRows = 0;
    bool FScrolledBack = false;
    bool FFocused = false;
    bool FTracking = false;
    bool FFlashHidden = false;
    bool FTimerActive = false;
    TCellPoint FMouseCell, FAnchorCell, FSelStart, FSelEnd;
    TTTYRect FFlashRect;
    bool FTrackWaiting = false;
    bool FScrollWaiting = false;
    int FScrollWaitDX = 0, FScrollWaitDY = 0;
};
