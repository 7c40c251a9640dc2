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
        FViewport.FTimerActive = false;
    }
}

TTTYInterpreterState TColorTTY::InterpreterState() const
{
    TTTYInterpreterState s;
    FTok.Save(s);
    s.Attr = FAttr;
    s.SavedAttr = FClassic.SavedAttr();
    s.LastChar = FClassic.LastChar();
    s.WrapPending = FWrapPending;
    s.Emulation = FEmul;
    return s;
}

void TColorTTY::SetInterpreterState(const TTTYInterpreterState &s)
{
    FAttr = s.Attr;
    FTok.Restore(s);
    FClassic.Restore(s.SavedAttr, s.LastChar);
    FWrapPending = s.WrapPending;
    FEmul = s.Emulation == teAnsiBbs ? teAnsiBbs : teClassic;
}

void TColorTTY::CancelSequence()
{
    FTok.Cancel();
    FWrapPending = false;
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
    for (int y = 0; y < FScreen.FRows; ++y) {
        const size_t i = size_t(FScreen.CellIndex(0, y));
        std::memcpy(&FScreen.FChars[i], from.FScreen.RowChars(y), size_t(FScreen.FCols));
        std::memcpy(&FScreen.FAttrs[i], from.FScreen.RowAttrs(y), size_t(FScreen.FCols));
    }
    FAttr = from.FAttr;
    FCursorX = from.FCursorX;
    FCursorY = from.FCursorY;
    SetEmulation(from.FEmul); // how the picture is drawn: iCE colours, the cursor hidden
    FAnsi.CopyPicture(from.FAnsi);
    InvalidateAll();
}

void TColorTTY::SetCols(int cols)
{
    if (cols != FScreen.FCols) SetBufferSize(FScreen.FRows, cols);
}

void TColorTTY::SetRows(int rows)
{
    if (rows != FScreen.FRows) SetBufferSize(rows, FScreen.FCols);
}

void TColorTTY::SetBufferSize(int rows, int cols)
{
    cols = std::clamp(cols, 1, MaxTTYCells);
    rows = std::clamp(rows, 1, MaxTTYCells / cols);
    const int oldRows = FScreen.FRows;
    FScreen.Resize(rows, cols);
    FWrapPending = false;
    FViewport.FMaxLeft = std::max(0, FScreen.FCols - FViewport.FVisibleCols);
    FViewport.FMaxTop = std::max(0, FScreen.FRows - FViewport.FVisibleRows);
    // Keep the cursor and the view at their distance from the bottom. Cursor and origin
    // are clamped into the new buffer first so nothing points outside it meanwhile.
    const int delta = oldRows > 0 ? rows - oldRows : 0; // the first buffer starts at the top
    const int cy = FCursorY + delta;
    FCursorX = std::clamp(FCursorX, 0, FScreen.FCols);
    FCursorY = std::clamp(FCursorY, 0, FScreen.FRows - 1);
    FClassic.ClampSavedCursor(FScreen.FCols, FScreen.FRows);
    // the selected text is gone with the old buffer, and its points may lie outside the new one
    FViewport.FSelStart = FViewport.FSelEnd = FViewport.FAnchorCell = FViewport.FMouseCell = TCellPoint{};
    MoveCursor(FCursorX, cy);
    ScrollTo(FViewport.FLeft, FViewport.FTop + delta, TViewMove::Follow);
    if (HasWindow()) FViewPtr->InvalidateAll(!HasOption(coLazyWrite));
}

void TColorTTY::SetVisibleSize(int visibleCols, int visibleRows)
{
    FViewport.FVisibleCols = std::max(0, visibleCols);
    FViewport.FVisibleRows = std::max(0, visibleRows);
    FViewport.FMaxLeft = std::max(0, FScreen.FCols - FViewport.FVisibleCols);
    FViewport.FMaxTop = std::max(0, FScreen.FRows - FViewport.FVisibleRows);
    ScrollTo(std::min(FViewport.FLeft, FViewport.FMaxLeft), std::min(FViewport.FTop, FViewport.FMaxTop),
             TViewMove::Follow);
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
    const bool wasInView = FViewport.FTop <= FCursorY && FCursorY < FViewport.FTop + FViewport.FVisibleRows;
    FWrapPending = false;
    FCursorX = std::clamp(x, 0, FScreen.FCols - 1);
    FCursorY = std::clamp(y, 0, FScreen.FRows - 1);
    FScreen.FReach = std::max(FScreen.FReach, FCursorY + (FCursorX > 0 ? 1 : 0));
    if (HasOption(coAutoTracking) && wasInView) TrackCursor();
    if (FViewport.FFocused && HasOption(coFulltimeCursor)) UpdateCaret();
}

void TColorTTY::PlaceCursor(int x, int y)
{
    FCursorX = std::clamp(x, 0, FScreen.FCols);
    FCursorY = std::clamp(y, 0, FScreen.FRows - 1);
}

void TColorTTY::TrackCursor()
{
    if (FViewport.FTrackWaiting) return; // the next frame follows the cursor anyway
    if (HasOption(coLazyWrite) && HasWindow()) {
        FViewport.FTrackWaiting = true;
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
    if (FViewport.FScrollWaiting) {
        const int dx = FViewport.FScrollWaitDX, dy = FViewport.FScrollWaitDY;
        FViewport.FScrollWaiting = false;
        FViewport.FScrollWaitDX = FViewport.FScrollWaitDY = 0;
        ScrollTo(FViewport.FLeft + dx, FViewport.FTop + dy, TViewMove::Follow);
    }
    if (!FViewport.FTrackWaiting) return;
    FViewport.FTrackWaiting = false;
    MakeCursorVisible();
}

void TColorTTY::MakeCursorVisible()
{
    ScrollTo(std::max(FCursorX - FViewport.FVisibleCols + 1, std::min(FViewport.FLeft, FCursorX)),
             std::max(FCursorY - FViewport.FVisibleRows + 1, std::min(FViewport.FTop, FCursorY)),
             TViewMove::Follow);
}

void TColorTTY::ScrollTo(int left, int top, TViewMove by)
{
    left = std::clamp(left, 0, FViewport.FMaxLeft);
    top = std::clamp(top, FScreen.FirstRow(), FViewport.FMaxTop);
    FViewport.FScrolledBack = top < FScreen.FRows - FViewport.FVisibleRows;
    const bool wasSplit = FViewport.FSplit;
    if (by == TViewMove::User) FViewport.FSplit = top < LiveTop(*this);
    if (!FViewport.FScrolledBack) FViewport.FSplit = false;
    if (left == FViewport.FLeft && top == FViewport.FTop && FViewport.FSplit == wasSplit) return;
    const int oldLeft = FViewport.FLeft, oldTop = FViewport.FTop;
    FViewport.FLeft = left;
    FViewport.FTop = top;
    if (HasWindow()) {
        FViewPtr->ViewMoved(oldLeft, oldTop, FViewport.FLeft, FViewport.FTop);
        if (FViewport.FFocused && HasOption(coFulltimeCursor)) UpdateCaret();
    }
}

// ---------------------------------------------------------------- the history

void TColorTTY::ScrollRingUp()
{
    FScreen.TurnRing();
    EraseCells(0, FScreen.FRows - 1, FScreen.FCols);
    if (FViewport.HasSelection() || FViewport.FTracking) {
        // The selection stays on the text it marks (the oldest row may be gone).
        const int first = FScreen.FirstRow();
        for (TCellPoint *p :
             {&FViewport.FSelStart, &FViewport.FSelEnd, &FViewport.FAnchorCell, &FViewport.FMouseCell})
            *p = p->y - 1 < first ? TCellPoint{0, first} : TCellPoint{p->x, p->y - 1};
    }
    if (FViewport.FTop > FScreen.FirstRow()) {
        --FViewport.FTop;
        if (HasWindow()) FViewPtr->TopRenumbered();
    } else {
        // the view already shows the oldest row: the picture itself moved up
        InvalidateAll();
    }
}

void TColorTTY::SetHistoryLimit(int rows)
{
    const int before = FScreen.FHistory.Count();
    FScreen.FHistory.SetLimit(rows);
    if (FScreen.FHistory.Count() == before) return;
    // The view and the selection are pulled back inside what is left.
    const int first = FScreen.FirstRow();
    for (TCellPoint *p :
         {&FViewport.FSelStart, &FViewport.FSelEnd, &FViewport.FAnchorCell, &FViewport.FMouseCell})
        if (p->y < first) *p = {0, first};
    if (FViewport.FTop < first) ScrollTo(FViewport.FLeft, first, TViewMove::Follow);
    InvalidateAll(); // the scroll range changed
}

void TColorTTY::ClearHistory()
{
    const int limit = FScreen.FHistory.Limit();
    SetHistoryLimit(0); // every row goes
    FScreen.FHistory.SetLimit(limit);
}

// ---------------------------------------------------------------- erasing

void TColorTTY::EraseToEndOfLine()
{
    FWrapPending = false;
    if (FCursorX < FScreen.FCols) EraseCells(FCursorX, FCursorY, FScreen.FCols - FCursorX);
    InvalidateCells(FCursorX, FScreen.FCols);
}

void TColorTTY::EraseToStartOfLine()
{
    FWrapPending = false;
    EraseCells(0, FCursorY, std::min(FCursorX, FScreen.FCols));
    InvalidateCells(0, FCursorX);
}

void TColorTTY::EraseLine()
{
    FWrapPending = false;
    EraseCells(0, FCursorY, FScreen.FCols);
    InvalidateCells(0, FScreen.FCols);
}

void TColorTTY::EraseToEndOfScreen()
{
    FWrapPending = false;
    EraseCells(FCursorX, FCursorY, (FScreen.FRows - FCursorY) * FScreen.FCols - FCursorX);
    InvalidateAll();
}

void TColorTTY::ClearScreen()
{
    FWrapPending = false;
    const int rows = std::min(FViewport.FVisibleRows, FScreen.FRows);
    EraseCells(0, FScreen.FRows - rows, rows * FScreen.FCols);
    InvalidateAll();
}

void TColorTTY::Clear()
{
    FWrapPending = false;
    EraseCells(0, 0, FScreen.FCols * FScreen.FRows);
    FAttr = caCleared;
    FCursorX = FCursorY = 0;
    const int oldLeft = FViewport.FLeft, oldTop = FViewport.FTop;
    FViewport.FLeft = FViewport.FTop = 0;
    FViewport.FSplit = false;
    if (HasWindow() && (oldLeft != 0 || oldTop != 0)) FViewPtr->ViewMoved(oldLeft, oldTop, 0, 0);
    InvalidateAll();
}

// ---------------------------------------------------------------- the split view

int LiveBottom(const TColorTTY &t)
{
    const TTTYScreen &s = t.Screen();
    int bottom = t.Rows;
    while (bottom - 1 > t.CursorY && s.RowIsBlank(bottom - 1))
        --bottom;
    return bottom;
}

int LiveTop(const TColorTTY &t)
{
    const int bottom = LiveBottom(t);
    if (bottom > t.MaxTop) return t.MaxTop;
    return std::max(t.Screen().FirstRow(), bottom - t.VisibleRows);
}

void CloseSplit(TColorTTY &t)
{
    if (t.Viewport().Split()) t.ScrollTo(t.Left, LiveTop(t));
}

TViewRows ViewRows(const TColorTTY &t)
{
    const TTTYViewport &v = t.Viewport();
    TViewRows r{t.Top, v.UpperRows(), 0, 0};
    if (!v.ShowsSplit()) return r;
    r.Live = v.SplitLiveRows();
    r.LiveFirst = std::max(t.Screen().FirstRow(), LiveBottom(t) - r.Live);
    return r;
}
