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
    TrackPosted = ScrollPosted = false;
    // Requests the old view will never deliver are carried out now.
    const bool track = FTrackWaiting;
    FTrackWaiting = false;
    if (FScrollWaiting) {
        const int dx = FScrollWaitDX, dy = ScrollWaitDY;
        FScrollWaiting = false;
        FScrollWaitDX = ScrollWaitDY = 0;
        ScrollTo(Left + dx, Top + dy);
    }
    if (track) MakeCursorVisible();
}

// ---------------------------------------------------------------- sizes and options

void TColorTTY::SetOptions(TColorTTYOptions options)
{
    bool stopTimer = (Options & OptionBit(coFlashing)) && !(options & OptionBit(coFlashing));
    Options = options;
    if (stopTimer) {
        if (HasWindow()) FViewPtr->StopTimer();
        FTimerActive = false;
    }
}

TTTYInterpreterState TColorTTY::InterpreterState() const
{
    TTTYInterpreterState s;
    s.Attr = Attr;
    s.SavedAttr = FSavedAttr;
    s.EscState = FEscState;
    std::memcpy(s.EscParams, FEscParams, sizeof FEscParams);
    s.EscParamsLen = FEscParamsLen;
    s.EscMarks = FEscMarks;
    s.AnsiParams = FAnsiParams;
    s.LastChar = FLastChar;
    s.WrapPending = FWrapPending;
    s.Emulation = FEmul;
    return s;
}

void TColorTTY::SetInterpreterState(const TTTYInterpreterState &s)
{
    static_assert(sizeof s.EscParams == sizeof FEscParams);
    Attr = s.Attr;
    FSavedAttr = s.SavedAttr;
    FEscState = s.EscState <= esCursorAddress ? s.EscState : esText;
    FEscParamsLen = std::clamp(s.EscParamsLen, 0, 9);
    std::memcpy(FEscParams, s.EscParams, size_t(FEscParamsLen));
    FEscParams[FEscParamsLen] = 0;
    FEscMarks = s.EscMarks;
    FAnsiParams = s.AnsiParams;
    FAnsiParams.Count = std::min<uint8_t>(FAnsiParams.Count, TAnsiParams::Max);
    FLastChar = s.LastChar;
    FWrapPending = s.WrapPending;
    FEmul = s.Emulation == teAnsiBbs ? teAnsiBbs : teClassic;
}

void TColorTTY::CancelSequence()
{
    FEscState = esText;
    FEscParamsLen = 0;
    FEscParams[0] = 0;
    FEscMarks = 0;
    FAnsiParams = {};
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

void TColorTTY::ResetModes()
{
    FShowCursor = true;
    FAutoWrap = true;
    FReverse = false;
    Attr = caReset;
    FRegionFrom = RegionTo = 0;
    FAnsiSaved = {};
    FAnsiSavedAttr = caReset;
    FAnsiSavedReverse = false;
    CtermResetModes();
}

void TColorTTY::CopyContentsFrom(const TColorTTY &from)
{
    SetBufferSize(from.Rows, from.Cols);
    for (int y = 0; y < Rows; ++y) {
        const size_t i = size_t(CellIndex(0, y));
        std::memcpy(&FChars[i], from.RowChars(y), size_t(Cols));
        std::memcpy(&FAttrs[i], from.RowAttrs(y), size_t(Cols));
    }
    Attr = from.Attr;
    CursorX = from.CursorX;
    CursorY = from.CursorY;
    SetEmulation(from.FEmul); // how the picture is drawn: iCE colours, the cursor hidden
    FIce = from.FIce;
    FShowCursor = from.FShowCursor;
    FCterm.Font = from.FCterm.Font;
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
    FChars.assign(size_t(rows) * size_t(cols), ' ');
    FAttrs.assign(size_t(rows) * size_t(cols), caCleared);
    FRingStart = 0;
    FWrapPending = false;
    Rows = rows;
    Cols = cols;
    MaxLeft = std::max(0, Cols - VisibleCols);
    MaxTop = std::max(0, Rows - VisibleRows);
    // Keep the cursor and the view at their distance from the bottom. Cursor and origin
    // are clamped into the new buffer first so nothing points outside it meanwhile.
    const int delta = oldRows > 0 ? rows - oldRows : 0; // the first buffer starts at the top
    const int cy = CursorY + delta;
    CursorX = std::clamp(CursorX, 0, Cols);
    CursorY = std::clamp(CursorY, 0, Rows - 1);
    FSavedCursor = {std::clamp(FSavedCursor.x, 0, Cols - 1), std::clamp(FSavedCursor.y, 0, Rows - 1)};
    // the selected text is gone with the old buffer, and its points may lie outside the new one
    SelStart = SelEnd = AnchorCell = MouseCell = TCellPoint{};
    MoveCursor(CursorX, cy);
    ScrollTo(Left, Top + delta);
    if (HasWindow()) FViewPtr->InvalidateAll(!HasOption(coLazyWrite));
}

void TColorTTY::SetVisibleSize(int visibleCols, int visibleRows)
{
    VisibleCols = std::max(0, visibleCols);
    VisibleRows = std::max(0, visibleRows);
    MaxLeft = std::max(0, Cols - VisibleCols);
    MaxTop = std::max(0, Rows - VisibleRows);
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
    const bool wasInView = Top <= CursorY && CursorY < Top + VisibleRows;
    FWrapPending = false;
    CursorX = std::clamp(x, 0, Cols - 1);
    CursorY = std::clamp(y, 0, Rows - 1);
    FReach = std::max(FReach, CursorY + (CursorX > 0 ? 1 : 0));
    if (HasOption(coAutoTracking) && wasInView) TrackCursor();
    if (Focused && HasOption(coFulltimeCursor)) UpdateCaret();
}

void TColorTTY::PlaceCursor(int x, int y)
{
    CursorX = std::clamp(x, 0, Cols);
    CursorY = std::clamp(y, 0, Rows - 1);
}

void TColorTTY::TrackCursor()
{
    if (HasOption(coLazyWrite) && HasWindow()) {
        if (!FTrackWaiting) {
            FTrackWaiting = true;
            if (!TrackPosted) {
                TrackPosted = true;
                FViewPtr->PostTrack();
            }
        }
        return;
    }
    MakeCursorVisible();
}

void TColorTTY::HandleTrackMessage()
{
    TrackPosted = false;
    if (!FTrackWaiting) return;
    FTrackWaiting = false;
    MakeCursorVisible();
}

void TColorTTY::MakeCursorVisible()
{
    ScrollTo(std::max(CursorX - VisibleCols + 1, std::min(Left, CursorX)),
             std::max(CursorY - VisibleRows + 1, std::min(Top, CursorY)));
}

void TColorTTY::ScrollTo(int left, int top)
{
    left = std::clamp(left, 0, MaxLeft);
    top = std::clamp(top, FirstRow(), MaxTop);
    ScrolledBack = top < Rows - VisibleRows;
    if (left == Left && top == Top) return;
    const int oldLeft = Left, oldTop = Top;
    Left = left;
    Top = top;
    if (HasWindow()) {
        FViewPtr->ViewMoved(oldLeft, oldTop, Left, Top);
        if (Focused && HasOption(coFulltimeCursor)) UpdateCaret();
    }
}

void TColorTTY::HandleScrollMessage()
{
    ScrollPosted = false;
    if (!FScrollWaiting) return;
    const int dx = FScrollWaitDX, dy = ScrollWaitDY;
    FScrollWaiting = false;
    FScrollWaitDX = ScrollWaitDY = 0;
    ScrollTo(Left + dx, Top + dy);
}

// ---------------------------------------------------------------- the history

void TColorTTY::ScrollRingUp()
{
    // Blank rows before any text (the empty screen a session starts with) are not history.
    const bool keeping = FHistory.Limit() > 0;
    if (keeping && (FHistory.Count() > 0 || !RowIsBlank(0))) FHistory.Push(RowChars(0), RowAttrs(0), Cols);
    ++FScrolled;
    FRingStart = FRingStart + 1 == Rows ? 0 : FRingStart + 1;
    if (keeping) {
        // The next row to leave was written a whole ring ago and has left the caches by
        // now: fetch it while the coming line is interpreted.
        const uint8_t *chars = RowChars(0), *attrs = RowAttrs(0);
        for (int x = 0; x < Cols + 63; x += 64) { // every cache line the row touches
            __builtin_prefetch(chars + std::min(x, Cols - 1));
            __builtin_prefetch(attrs + std::min(x, Cols - 1));
        }
    }
    EraseCells(0, Rows - 1, Cols);
    if (Top > FirstRow()) {
        --Top;
        if (HasWindow()) FViewPtr->TopRenumbered();
    } else {
        // the view already shows the oldest row: the picture itself moved up
        InvalidateAll();
    }
}

bool TColorTTY::RowIsBlank(int y) const
{
    const uint8_t *chars = RowChars(y), *attrs = RowAttrs(y);
    for (int x = 0; x < Cols; ++x)
        if (chars[x] != ' ' || (attrs[x] & 0xF0)) return false;
    return true;
}

TRowView TColorTTY::HistoryRowAt(int y, TRowScratch &s) const
{
    s.Chars.resize(size_t(Cols));
    s.Attrs.resize(size_t(Cols));
    FHistory.Read(y + FHistory.Count(), s.Chars.data(), s.Attrs.data(), Cols);
    return {s.Chars.data(), s.Attrs.data()};
}

void TColorTTY::SetHistoryLimit(int rows)
{
    const int before = FHistory.Count();
    FHistory.SetLimit(rows);
    if (FHistory.Count() != before) HistoryShrank();
}

void TColorTTY::ClearHistory()
{
    const int before = FHistory.Count();
    FHistory.Clear();
    if (before != 0) HistoryShrank();
}

void TColorTTY::HistoryShrank()
{
    const int first = FirstRow();
    for (TCellPoint *p : {&SelStart, &SelEnd, &AnchorCell, &MouseCell})
        if (p->y < first) *p = {0, first};
    if (Top < first) ScrollTo(Left, first);
    InvalidateAll(); // the scroll range changed
}

// ---------------------------------------------------------------- erasing

void TColorTTY::EraseToEndOfLine()
{
    FWrapPending = false;
    if (CursorX < Cols) EraseCells(CursorX, CursorY, Cols - CursorX);
    InvalidateCells(CursorX, Cols);
}

void TColorTTY::EraseToStartOfLine()
{
    FWrapPending = false;
    EraseCells(0, CursorY, std::min(CursorX, Cols));
    InvalidateCells(0, CursorX);
}

void TColorTTY::EraseLine()
{
    FWrapPending = false;
    EraseCells(0, CursorY, Cols);
    InvalidateCells(0, Cols);
}

void TColorTTY::EraseToEndOfScreen()
{
    FWrapPending = false;
    EraseCells(CursorX, CursorY, (Rows - CursorY) * Cols - CursorX);
    InvalidateAll();
}

void TColorTTY::ClearScreen()
{
    FWrapPending = false;
    const int rows = std::min(VisibleRows, Rows);
    EraseCells(0, Rows - rows, rows * Cols);
    InvalidateAll();
}

void TColorTTY::Clear()
{
    FWrapPending = false;
    EraseCells(0, 0, Cols * Rows);
    Attr = caCleared;
    CursorX = CursorY = 0;
    const int oldLeft = Left, oldTop = Top;
    Left = Top = 0;
    if (HasWindow() && (oldLeft != 0 || oldTop != 0)) FViewPtr->ViewMoved(oldLeft, oldTop, 0, 0);
    InvalidateAll();
}
