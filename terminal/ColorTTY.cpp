// The terminal's buffer, sizes, cursor, view and erasing; the output interpreter is in
// ColorTTYOutput.cpp.
#include "terminal/ColorTTY.h"

#include <algorithm>
#include <cstring>

TColorTTY::TColorTTY()
{
    SetBufferSize(25, 80);
}

TColorTTY::~TColorTTY() = default;

void TColorTTY::SetView(TTTYView *view)
{
    FViewPtr = view;
    // What waited for the old view's frame is carried out now.
    SettleView();
}

// ---------------------------------------------------------------- sizes and options

void TColorTTY::SetOptions(TColorTTYOptions options)
{
    bool stopTimer = (FOptions & OptionBit(coFlashing)) && !(options & OptionBit(coFlashing));
    FOptions = options;
    if (stopTimer) {
        if (HasWindow()) FViewPtr->StopTimer();
        FViewport.SetTimerActive(false);
    }
}

TTTYInterpreterState TColorTTY::InterpreterState() const
{
    TTTYInterpreterState s;
    FTok.Save(s);
    s.Attr = FScreen.Attr();
    s.SavedAttr = FClassic.SavedAttr();
    s.LastChar = FClassic.LastChar();
    s.WrapPending = FScreen.WrapPending();
    s.Emulation = FEmul;
    return s;
}

void TColorTTY::SetInterpreterState(const TTTYInterpreterState &s)
{
    FScreen.SetAttr(s.Attr);
    FTok.Restore(s);
    FClassic.Restore(s.SavedAttr, s.LastChar);
    FScreen.SetWrapPending(s.WrapPending);
    FEmul = s.Emulation == teAnsiBbs ? teAnsiBbs : teClassic;
}

void TColorTTY::CancelSequence()
{
    FTok.Cancel();
    FScreen.SetWrapPending(false);
}

void TColorTTY::SetEmulation(TTTYEmulation emulation)
{
    emulation = emulation == teAnsiBbs ? teAnsiBbs : teClassic;
    if (emulation == FEmul) return;
    // a sequence begun in one language means nothing in the other
    CancelSequence();
    FEmul = emulation;
}

void TColorTTY::CopyContentsFrom(const TColorTTY &from)
{
    SetBufferSize(from.Rows, from.Cols);
    for (int y = 0; y < FScreen.Rows(); ++y)
        FScreen.SetRow(y, from.FScreen.RowChars(y), from.FScreen.RowAttrs(y));
    FScreen.SetAttr(from.Attr);
    FScreen.SetCursor(from.CursorX, from.CursorY);
    SetEmulation(from.FEmul); // how the picture is drawn: iCE colours, the cursor hidden
    FAnsi.CopyPicture(from.FAnsi);
    InvalidateAll();
}

void TColorTTY::SetCols(int cols)
{
    if (cols != Cols) SetBufferSize(Rows, cols);
}

void TColorTTY::SetRows(int rows)
{
    if (rows != Rows) SetBufferSize(rows, Cols);
}

void TColorTTY::SetBufferSize(int rows, int cols)
{
    cols = std::clamp(cols, 1, MaxTTYCells);
    rows = std::clamp(rows, 1, MaxTTYCells / cols);
    const int oldRows = Rows;
    FScreen.Resize(rows, cols);
    FScreen.SetWrapPending(false);
    FViewport.FitBuffer(cols, rows);
    // Keep the cursor and the view at their distance from the bottom. Cursor and origin
    // are clamped into the new buffer first so nothing points outside it meanwhile.
    const int delta = oldRows > 0 ? rows - oldRows : 0; // the first buffer starts at the top
    const int cy = CursorY + delta;
    FScreen.SetCursor(std::clamp(CursorX, 0, cols), std::clamp(CursorY, 0, rows - 1));
    FClassic.ClampSavedCursor(cols, rows);
    // the selected text is gone with the old buffer, and its points may lie outside the new one
    FViewport.ForgetPoints();
    MoveCursor(CursorX, cy);
    ScrollTo(Left, Top + delta);
    if (HasWindow()) FViewPtr->InvalidateAll(!HasOption(coLazyWrite));
}

void TColorTTY::SetVisibleSize(int visibleCols, int visibleRows)
{
    FViewport.SetVisibleSize(std::max(0, visibleCols), std::max(0, visibleRows), Cols, Rows);
    ScrollTo(std::min(Left, MaxLeft), std::min(Top, MaxTop));
}

void TColorTTY::InvalidateAll()
{
    if (HasWindow()) FViewPtr->InvalidateAll(!HasOption(coLazyWrite));
}

void TColorTTY::UpdateCaret()
{
    if (HasWindow()) FViewPtr->UpdateCaret();
}

// ---------------------------------------------------------------- cursor and view

void TColorTTY::MoveCursor(int x, int y)
{
    const int top = FViewport.Top(), cy = FScreen.CursorY();
    const bool wasInView = top <= cy && cy < top + FViewport.VisibleRows();
    FScreen.SetWrapPending(false);
    x = std::clamp(x, 0, FScreen.Cols() - 1);
    y = std::clamp(y, 0, FScreen.Rows() - 1);
    FScreen.SetCursor(x, y);
    FScreen.ExtendReach(y + (x > 0 ? 1 : 0));
    if (HasOption(coAutoTracking) && wasInView) TrackCursor();
    if (FViewport.Focused() && HasOption(coFulltimeCursor)) UpdateCaret();
}

void TColorTTY::PlaceCursor(int x, int y)
{
    FScreen.SetCursor(std::clamp(x, 0, Cols), std::clamp(y, 0, Rows - 1));
}

void TColorTTY::TrackCursor()
{
    if (FViewport.TrackWaiting()) return; // the next frame follows the cursor anyway
    if (HasOption(coLazyWrite) && HasWindow()) {
        FViewport.SetTrackWaiting(true);
        if (!FFrameWanted) {
            FFrameWanted = true;
            FViewPtr->FrameWanted();
        }
        return;
    }
    MakeCursorVisible();
}

void TColorTTY::SettleView()
{
    FFrameWanted = false;
    int dx, dy;
    if (FViewport.TakeScrollWait(dx, dy)) ScrollTo(Left + dx, Top + dy);
    if (!FViewport.TrackWaiting()) return;
    FViewport.SetTrackWaiting(false);
    MakeCursorVisible();
}

void TColorTTY::MakeCursorVisible()
{
    ScrollTo(std::max(CursorX - VisibleCols + 1, std::min(Left, CursorX)),
             std::max(CursorY - VisibleRows + 1, std::min(Top, CursorY)));
}

void TColorTTY::ScrollTo(int left, int top)
{
    left = std::clamp(left, 0, FViewport.MaxLeft());
    top = std::clamp(top, FScreen.FirstRow(), FViewport.MaxTop());
    FViewport.SetScrolledBack(top < FScreen.Rows() - FViewport.VisibleRows());
    const int oldLeft = FViewport.Left(), oldTop = FViewport.Top();
    if (left == oldLeft && top == oldTop) return;
    FViewport.SetOrigin(left, top);
    if (HasWindow()) {
        FViewPtr->ViewMoved(oldLeft, oldTop, left, top);
        if (FViewport.Focused() && HasOption(coFulltimeCursor)) UpdateCaret();
    }
}

// ---------------------------------------------------------------- the history

void TColorTTY::ScrollRingUp()
{
    FScreen.TurnRing();
    EraseCells(0, FScreen.Rows() - 1, FScreen.Cols());
    if (FViewport.Top() > FScreen.FirstRow()) {
        FViewport.SetOrigin(FViewport.Left(), FViewport.Top() - 1);
        if (HasWindow()) FViewPtr->TopRenumbered();
    } else {
        // the view already shows the oldest row: the picture itself moved up
        InvalidateAll();
    }
}

void TColorTTY::SetHistoryLimit(int rows)
{
    const int before = FScreen.HistoryRows();
    FScreen.SetHistoryLimit(rows);
    if (FScreen.HistoryRows() == before) return;
    // The view and the selection are pulled back inside what is left.
    const int first = FScreen.FirstRow();
    FViewport.PullPointsTo(first);
    if (Top < first) ScrollTo(Left, first);
    InvalidateAll(); // the scroll range changed
}

void TColorTTY::ClearHistory()
{
    const int limit = FScreen.HistoryStore().Limit();
    SetHistoryLimit(0); // every row goes
    FScreen.SetHistoryLimit(limit);
}

// ---------------------------------------------------------------- erasing

void TColorTTY::EraseToEndOfLine()
{
    FScreen.SetWrapPending(false);
    if (CursorX < Cols) EraseCells(CursorX, CursorY, Cols - CursorX);
    InvalidateCells(CursorX, Cols);
}

void TColorTTY::EraseToStartOfLine()
{
    FScreen.SetWrapPending(false);
    EraseCells(0, CursorY, std::min(CursorX, Cols));
    InvalidateCells(0, CursorX);
}

void TColorTTY::EraseLine()
{
    FScreen.SetWrapPending(false);
    EraseCells(0, CursorY, Cols);
    InvalidateCells(0, Cols);
}

void TColorTTY::EraseToEndOfScreen()
{
    FScreen.SetWrapPending(false);
    EraseCells(CursorX, CursorY, (Rows - CursorY) * Cols - CursorX);
    InvalidateAll();
}

void TColorTTY::ClearScreen()
{
    FScreen.SetWrapPending(false);
    const int rows = std::min(VisibleRows, Rows);
    EraseCells(0, Rows - rows, rows * Cols);
    InvalidateAll();
}

void TColorTTY::Clear()
{
    FScreen.SetWrapPending(false);
    EraseCells(0, 0, Cols * Rows);
    FScreen.SetAttr(caCleared);
    FScreen.SetCursor(0, 0);
    const int oldLeft = Left, oldTop = Top;
    FViewport.SetOrigin(0, 0);
    if (HasWindow() && (oldLeft != 0 || oldTop != 0)) FViewPtr->ViewMoved(oldLeft, oldTop, 0, 0);
    InvalidateAll();
}
