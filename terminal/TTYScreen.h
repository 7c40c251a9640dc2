// The terminal's cells: a ring of Rows x Cols cells (a character and an attribute byte
// each) whose oldest row goes into the history when a new line comes in at the bottom,
// with the cursor and the attribute text is written with. Rows are logical: 0 the oldest
// of the ring, Rows - 1 the newest; the history's rows sit above as -1 (the newest) up to
// FirstRow() (the oldest). The output interpreters draw here; what concerns the view
// (tracking, repainting) goes through TColorTTY.
#pragma once

#include "terminal/CellOps.h"
#include "terminal/ColourAttr.h"
#include "terminal/HistoryStore.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// A row of the whole text, Cols cells: the ring's own storage, or a history row read out.
struct TRowView
{
    const uint8_t *Chars;
    const uint8_t *Attrs;
};

// Room for history rows read out of the store, kept by whoever reads them.
struct TRowScratch
{
    std::vector<uint8_t> Chars, Attrs;
};

// Told of the output as it is interpreted (a screen reader's announcements follow it).
// Calls come in the middle of a Write: read the model, change nothing.
class TTTYOutputObserver
{
public:
    virtual ~TTTYOutputObserver() = default;
    // Characters are about to be written into logical row y (it still holds what it held).
    // Told once per row until the next line feed or until the observer asks again
    // (TTTYScreen::ObserveRowsAgain).
    virtual void RowWritten(int y) = 0;
    // A new line leaves row y (a line feed or a wrap), and after this call the cursor goes
    // to the row below, or the ring drops its oldest row and every row moves up by one, or
    // the rows of a scrolling region move up and row y comes back blank.
    enum TLineFeed { lfNextRow, lfScrollRing, lfScrollRegion };
    virtual void LineFeed(int y, TLineFeed kind) = 0;
};

class TTTYScreen
{
public:
    const int &Cols() const { return FCols; }
    const int &Rows() const { return FRows; }

    // --- Cell access (x in 0..Cols-1, y a logical row in 0..Rows-1).
    int CellIndex(int x, int y) const
    {
        int r = y + FRingStart;
        if (r >= FRows) r -= FRows;
        return r * FCols + x;
    }
    uint8_t CharAt(int x, int y) const { return FChars[CellIndex(x, y)]; }
    uint8_t AttrAt(int x, int y) const { return FAttrs[CellIndex(x, y)]; }
    // The Cols cells of logical row y, contiguous.
    const uint8_t *RowChars(int y) const { return &FChars[CellIndex(0, y)]; }
    const uint8_t *RowAttrs(int y) const { return &FAttrs[CellIndex(0, y)]; }
    // Spaces on a black background only.
    bool RowIsBlank(int y) const;

    // --- The history above the ring, kept up to a limit (0 by default).
    int HistoryRows() const { return FHistory.Count(); }
    int FirstRow() const { return -FHistory.Count(); }
    const THistoryStore &HistoryStore() const { return FHistory; }
    // Row y (FirstRow() <= y < Rows), Cols cells; a history row is read into `scratch`.
    TRowView RowAt(int y, TRowScratch &scratch) const
    {
        if (y >= 0) return {RowChars(y), RowAttrs(y)};
        return HistoryRowAt(y, scratch);
    }
    // A number for row y that stays with its text while the ring scrolls (it grows by one
    // for every row the ring drops), and back.
    int64_t RowNumber(int y) const { return FScrolled + y; }
    int RowOfNumber(int64_t number) const { return int(number - FScrolled); }

    // --- Who watches the output.
    // The lowest row output has reached since ResetOutputReach(): a row that got text or
    // that the cursor was moved to (counted as the row below when the cursor stood past its
    // first column); -1 for none. Rows are renumbered with the scrollback, so it stays
    // the same row of text.
    int OutputReach() const { return FReach; }
    void ResetOutputReach() { FReach = -1; }
    // The observer of the output, or nullptr (not owned).
    void SetOutputObserver(TTTYOutputObserver *observer) { FObserver = observer; }
    // The observer has looked at the rows written so far: tell it of the next write again.
    void ObserveRowsAgain() { FObservedRow = -1; }
    // What is written now is drawn by a local editor, not received from the host (screen
    // readers are not told it again).
    void SetLocalDrawing(bool on) { FLocalDrawing = on; }
    bool IsLocalDrawing() const { return FLocalDrawing; }

    // --- The cursor (x up to Cols: text filled the row, y a logical row) and the attribute
    // the next text is written with. Set as they are; the callers keep them in range.
    const int &CursorX() const { return FCursorX; }
    const int &CursorY() const { return FCursorY; }
    void SetCursor(int x, int y)
    {
        FCursorX = x;
        FCursorY = y;
    }
    void SetCursorX(int x) { FCursorX = x; }
    const TColourAttr &Attr() const { return FAttr; }
    void SetAttr(TColourAttr attr) { FAttr = attr; }
    // Text filled the cursor row at the very end of a Write: the row wraps before whatever
    // the next Write brings, as it would have had both come in one piece. Anything else that
    // moves the cursor or erases forgets it.
    bool WrapPending() const { return FWrapPending; }
    void SetWrapPending(bool pending) { FWrapPending = pending; }

    // --- What the interpreters tell the watchers.
    // Output reached row `row` (see OutputReach), or stands at exactly that row now that
    // every row moved up under it.
    void ExtendReach(int row) { FReach = std::max(FReach, row); }
    void SetOutputReach(int row) { FReach = row; }
    // Characters are about to go into row y: the observer hears of it once a row.
    void NoteRowWritten(int y)
    {
        if (FObserver && y != FObservedRow) {
            FObservedRow = y;
            FObserver->RowWritten(y);
        }
    }
    // A new line leaves row y (see TTTYOutputObserver::LineFeed).
    void NoteLineFeed(int y, TTTYOutputObserver::TLineFeed kind)
    {
        if (!FObserver) return;
        FObserver->LineFeed(y, kind);
        FObservedRow = -1;
    }

    // --- Changing cells. Within row y (0..Rows-1) and its columns: the callers clip.
    // n (1..) cells from column x: the characters of `source`, all in `attr`.
    void PutCells(int x, int y, int n, const char *source, TColourAttr attr)
    {
        const size_t i = size_t(CellIndex(x, y));
        ttycells::CopyCells(FChars.data() + i, FAttrs.data() + i, source, size_t(n), attr);
    }
    // n cells from column x: spaces in `attr`.
    void BlankCells(int x, int y, int n, TColourAttr attr = caErased)
    {
        const size_t i = size_t(CellIndex(x, y));
        ttycells::BlankCells(FChars.data() + i, FAttrs.data() + i, size_t(n), attr);
    }
    // n cells of row y move from column `from` to column `to` (the ranges may overlap).
    void MoveCells(int y, int from, int to, int n);
    // Row `to` becomes a copy of row `from`.
    void CopyRow(int from, int to);
    // Row y takes Cols cells from `chars` and `attrs`.
    void SetRow(int y, const uint8_t *chars, const uint8_t *attrs);

    // --- The buffer as a whole (the terminal sizes it and turns it with its view).
    // A blank ring of rows x cols (space, attribute 15).
    void Resize(int rows, int cols);
    // The oldest row goes into the history (when one is kept) and its storage becomes the
    // newest row, still holding what it held. Inline without a history: every new line at
    // the bottom turns the ring.
    void TurnRing()
    {
        if (FHistory.Limit() > 0) return TurnRingIntoHistory();
        ++FScrolled;
        FRingStart = FRingStart + 1 == FRows ? 0 : FRingStart + 1;
    }
    // History rows are kept up to `rows`; the oldest go at once when there are more.
    void SetHistoryLimit(int rows) { FHistory.SetLimit(rows); }

private:
    TRowView HistoryRowAt(int y, TRowScratch &scratch) const;
    void TurnRingIntoHistory();

    // Rows * Cols cells, physical row after physical row (see CellIndex).
    std::vector<uint8_t> FChars, FAttrs;
    int FCols = 0, FRows = 0;
    int FRingStart = 0;
    int FCursorX = 0, FCursorY = 0;
    TColourAttr FAttr = caCleared;
    bool FWrapPending = false;
    THistoryStore FHistory;
    int64_t FScrolled = 0; // rows the ring has dropped
    int FReach = -1;
    TTTYOutputObserver *FObserver = nullptr;
    int FObservedRow = -1; // the row the observer was last told of (runs of one row come in many writes)
    bool FLocalDrawing = false;
};
