// The colour terminal's screen model: a ring of Rows x Cols cells (character and
// attribute bytes) with a scrollback, the output interpreter and the model of the view.
// Nothing here knows about windows; a widget attaches through TTTYView.
#pragma once

#include "terminal/AnsiBbsInterpreter.h"
#include "terminal/ClassicInterpreter.h"
#include "terminal/ColourAttr.h"
#include "terminal/TTYScreen.h"
#include "terminal/TTYTokenizer.h"
#include "terminal/TTYViewport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// Most cells a terminal may hold (the buffer size is kept in 16 bits).
constexpr int MaxTTYCells = 65535;

enum TColorTTYOption : uint8_t {
    coAutoTracking = 0,
    coCheckEOF = 1,
    coCheckBreak = 2,
    coFulltimeCursor = 3,
    coLazyWrite = 4,
    coColors = 5,
    coFlashing = 6,
};
// Set of TColorTTYOption: bit n is option n.
using TColorTTYOptions = uint8_t;
constexpr TColorTTYOptions OptionBit(TColorTTYOption o)
{
    return TColorTTYOptions(1u << o);
}
constexpr TColorTTYOptions DefaultTTYOptions =
    OptionBit(coAutoTracking) | OptionBit(coCheckBreak) | OptionBit(coLazyWrite) | OptionBit(coColors);

// What the model needs from the window that shows it. The model calls these only while a
// view is attached and HasWindow() is true ("the window exists").
class TTTYView
{
public:
    virtual ~TTTYView() = default;

    virtual bool HasWindow() const { return true; }
    // Repaint columns x1 <= x < x2 of logical row y (without erasing; widen by the overhang).
    // `immediately`: paint now rather than in the next paint cycle (coLazyWrite is off).
    virtual void InvalidateCells(int x1, int x2, int y, bool immediately) = 0;
    // Repaint the whole control.
    virtual void InvalidateAll(bool immediately) = 0;
    // The view origin moved from (oldLeft, oldTop) to the model's current Left/Top: move the
    // pixels (or repaint), repaint what was uncovered, update the scroll bar.
    virtual void ViewMoved(int oldLeft, int oldTop, int newLeft, int newTop) = 0;
    // Top was renumbered because the ring dropped its oldest line while the picture stayed
    // where it is: only the scroll bar position needs updating.
    virtual void TopRenumbered() {}
    // The output stopped for now (the connection has nothing more to read): what lazy writes
    // collected may be shown without waiting for the next frame.
    virtual void OutputPaused() {}
    // A merged scroll or cursor tracking waits: before the next frame is painted, call
    // TColorTTY::SettleView(), which carries it out. Asked once until then.
    virtual void FrameWanted() = 0;
    // The system beep (BEL in the output).
    virtual void Beep() = 0;
    // Create/place/show the caret at the model's cursor (only called when focused with
    // coFulltimeCursor).
    virtual void UpdateCaret() = 0;
    // Stop the blink timer (coFlashing was removed).
    virtual void StopTimer() {}
};

class TColorTTY
{
    // First, as the read-only views below refer into them.
    TTTYScreen FScreen;
    TTTYViewport FViewport;

public:
    TColorTTY();
    virtual ~TColorTTY();
    TColorTTY(const TColorTTY &) = delete;
    TColorTTY &operator=(const TColorTTY &) = delete;

    // Attach or detach (nullptr) the view. Requests in flight to an old view are forgotten.
    void SetView(TTTYView *view);
    TTTYView *View() const { return FViewPtr; }
    // The connection has nothing more to read for now.
    void OutputPaused()
    {
        if (HasWindow()) FViewPtr->OutputPaused();
    }
    bool HasWindow() const { return FViewPtr && FViewPtr->HasWindow(); }

    // --- Read-only views of the state, for readers (painter, selection, offline editor,
    // tools). The cells, the cursor and the history are the screen's, the origin, the size
    // in cells, the selection, the focus and the blink phase the viewport's.
    const TColorTTYOptions &Options = FOptions;
    const bool &Focused = FViewport.Focused();
    const int &Cols = FScreen.Cols();
    const int &Rows = FScreen.Rows();
    const TCellPoint &MouseCell = FViewport.MouseCell(), &AnchorCell = FViewport.AnchorCell();
    const TCellPoint &SelStart = FViewport.SelStart(), &SelEnd = FViewport.SelEnd();
    const bool &Tracking = FViewport.Tracking();
    const bool &ScrolledBack = FViewport.ScrolledBack();
    const bool &FlashHidden = FViewport.FlashHidden();
    const TTTYRect &FlashRect = FViewport.FlashRect();
    const int &MaxLeft = FViewport.MaxLeft(), &MaxTop = FViewport.MaxTop();
    const int &Left = FViewport.Left(), &Top = FViewport.Top();
    const int &VisibleCols = FViewport.VisibleCols(), &VisibleRows = FViewport.VisibleRows();
    const int &CursorX = FScreen.CursorX(),
              &CursorY = FScreen.CursorY(); // CursorX may equal Cols after text filled a line
    const TColourAttr &Attr = FScreen.Attr();

    // The cells and the history; the view of them and what the user does there.
    const TTTYScreen &Screen() const { return FScreen; }
    TTTYScreen &Screen() { return FScreen; }
    const TTTYViewport &Viewport() const { return FViewport; }
    TTTYViewport &Viewport() { return FViewport; }
    // The ANSI-BBS modes: iCE colours, the answers to the host's queries, a reset.
    TAnsiBbsInterpreter &AnsiBbs() { return FAnsi; }
    const TAnsiBbsInterpreter &AnsiBbs() const { return FAnsi; }
    bool HasOption(TColorTTYOption o) const { return (FOptions & OptionBit(o)) != 0; }
    // First logical row of the screen (the last VisibleRows rows).
    int ScreenTop() const { return FScreen.Rows() - FViewport.VisibleRows(); }
    // History rows are kept up to a limit (0 by default); clearing the screen leaves them.
    // Trims the history at once; the view and the selection stay inside what is left.
    void SetHistoryLimit(int rows);
    void ClearHistory();

    // --- Setters.
    void SetOptions(TColorTTYOptions options);
    // The attribute the next text is written with.
    void SetAttr(TColourAttr attr) { FScreen.SetAttr(attr); }
    // The interpreter's carried state, to set aside and give back; CancelSequence drops an
    // unfinished sequence so that the next bytes start afresh.
    TTTYInterpreterState InterpreterState() const;
    void SetInterpreterState(const TTTYInterpreterState &state);
    void CancelSequence();

    // --- Emulation (Classic unless chosen). Switching keeps the cells and the modes.
    void SetEmulation(TTTYEmulation emulation);
    TTTYEmulation Emulation() const { return FEmul; }
    // The flash bit is drawn as a bright background whatever the blinking preference
    // (ANSI-BBS with iCE colours).
    bool BrightBackgrounds() const { return FEmul == teAnsiBbs && FAnsi.IceColours(); }
    // ANSI-BBS: ESC[?25l hides the cursor, ESC[?25h shows it again.
    bool CursorShown() const { return FEmul != teAnsiBbs || FAnsi.CursorShown(); }
    // Cells, cursor, attribute and emulation of another terminal of any size (a still
    // picture of it).
    void CopyContentsFrom(const TColorTTY &from);
    void SetCols(int cols);
    void SetRows(int rows);
    // Replaces the buffer with a blank one (space, attribute 15); the cursor and the view keep
    // their distance from the bottom where they can. Sizes are clamped to 1 x 1 .. MaxTTYCells.
    virtual void SetBufferSize(int rows, int cols);
    // The view's size in whole cells (the model side of re-layout): sets VisibleCols,
    // VisibleRows, MaxLeft, MaxTop and pulls the origin back into range.
    void SetVisibleSize(int visibleCols, int visibleRows);

    // --- Output.
    // Interprets NUL-terminated bytes.
    void Write(const char *text);
    // Interprets `count` bytes (a NUL among them is an ignored control byte).
    void Write(const char *data, size_t count);
    void WriteChar(char c);
    void NewLine();
    // The whole buffer moves up one row: the oldest row goes into the history, a blank row
    // comes in at the bottom, and a view that is not at the top keeps its picture.
    void ScrollRingUp();

    // --- Cursor and view.
    void MoveCursor(int x, int y);
    // Puts the cursor back where earlier output left it (x up to Cols), as the output
    // itself moves it: no tracking, no caret, a pending wrap kept.
    void PlaceCursor(int x, int y);
    void TrackCursor();
    void MakeCursorVisible();
    void ScrollTo(int left, int top);
    // With lazy writes a small scroll waits for the frame, merged with the ones before it.
    // Inline: every new line at the bottom scrolls.
    void ScrollBy(int dx, int dy)
    {
        if (HasOption(coLazyWrite) && HasWindow()) {
            int waitedX, waitedY;
            if (FViewport.TakeScrollWait(waitedX, waitedY)) {
                dx += waitedX;
                dy += waitedY;
            }
            if (std::abs(dx) < std::min(FViewport.VisibleCols(), FScreen.Cols()) / 2 &&
                std::abs(dy) < std::min(FViewport.VisibleRows(), FScreen.Rows()) / 2) {
                if (dx == 0 && dy == 0) return;
                FViewport.WaitScroll(dx, dy);
                if (!FFrameWanted) {
                    FFrameWanted = true;
                    FViewPtr->FrameWanted();
                }
                return;
            }
        }
        ScrollTo(FViewport.Left() + dx, FViewport.Top() + dy);
    }
    // The scroll and the cursor tracking that waited for the frame (lazy writes) are carried
    // out; what the view pulls before it paints.
    void SettleView();

    // --- Erasing.
    void EraseToEndOfLine();
    void EraseToStartOfLine();
    void EraseLine();
    void EraseToEndOfScreen();
    void ClearScreen();
    void Clear();

    // --- Overridable cell operations and hooks.
    // Fills `count` cells from (x, y) with Attr and the characters of `source`; clipped to row y.
    virtual void WriteCells(int x, int y, int count, const char *source);
    // Blanks `count` cells in reading order from (x, y), never past row Rows - 1.
    virtual void EraseCells(int x, int y, int count);
    virtual void UpdateCaret();
    virtual void DoBreak() {}

    // Repaint columns x1..x2-1 of the cursor row.
    void InvalidateCells(int x1, int x2)
    {
        x2 = std::min(x2, FScreen.Cols());
        if (x2 > x1 && HasWindow())
            FViewPtr->InvalidateCells(x1, x2, FScreen.CursorY(), !HasOption(coLazyWrite));
    }
    void InvalidateAll();

    // --- Selection. Implemented in terminal/ColorTTYSelection.cpp.
    void SetSelection(TCellPoint start, TCellPoint end);
    // Plain text of the selection into `buffer` of `size` bytes, always NUL-terminated.
    void GetSelTextBuf(char *buffer, int size) const;
    bool AnchorIsStart() const;

private:
    TColorTTYOptions FOptions = DefaultTTYOptions;

    TTTYView *FViewPtr = nullptr;
    bool FFrameWanted = false; // FrameWanted() asked, SettleView() not yet called

    TTTYEmulation FEmul = teClassic;
    TTTYTokenizer FTok;
    TClassicInterpreter FClassic{*this, FScreen, FTok};
    TAnsiBbsInterpreter FAnsi{*this, FScreen, FTok};
};
