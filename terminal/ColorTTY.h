// The colour terminal's screen model: a ring of Rows x Cols cells (character and
// attribute bytes) with a scrollback, the output interpreter and the model of the view.
// Nothing here knows about windows; a widget attaches through TTTYView.
#pragma once

#include "terminal/ColourAttr.h"
#include "terminal/HistoryStore.h"
#include "terminal/Keys.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
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
    // Post one WM_TTY_TRACK / WM_TTY_SCROLL to the control. When it is delivered, call
    // TColorTTY::HandleTrackMessage() / HandleScrollMessage(). The model keeps the merged
    // request itself and asks for a new post only when none is in flight; a delivery that
    // finds nothing waiting is harmless.
    virtual void PostTrack() = 0;
    virtual void PostScroll() = 0;
    // The system beep (BEL in the output).
    virtual void Beep() = 0;
    // Create/place/show the caret at the model's cursor (only called when focused with
    // coFulltimeCursor).
    virtual void UpdateCaret() = 0;
    // Stop the blink timer (coFlashing was removed).
    virtual void StopTimer() {}
};

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
    // (TColorTTY::ObserveRowsAgain).
    virtual void RowWritten(int y) = 0;
    // A new line leaves row y (a line feed or a wrap), and after this call the cursor goes
    // to the row below, or the ring drops its oldest row and every row moves up by one, or
    // the rows of a scrolling region move up and row y comes back blank.
    enum TLineFeed { lfNextRow, lfScrollRing, lfScrollRegion };
    virtual void LineFeed(int y, TLineFeed kind) = 0;
};

// Where the output interpreter stands between two bytes.
enum TEscState : uint8_t {
    esText = 0,            // ordinary text
    esColourCode = 1,      // after 0x01: the letter follows
    esEscape = 2,          // after ESC
    esControlSequence = 3, // inside ESC [: parameters until the final byte
    esCursorAddress = 4,   // inside ESC Y: row and column bytes
    // ANSI-BBS only (terminal/CtermSequences.cpp)
    esMusic = 5,     // inside an ANSI music string, up to its 0x0E
    esSauceMark = 6, // after 0x1A: a SAUCE record or its comments may follow
    esSauce = 7,     // inside a SAUCE record (or its comments): nothing is shown
    esSauceEsc = 8,  // an ESC inside a SAUCE record: '[' ends the record
    esLiteral = 9,   // after NUL in doorway mode: the next byte is a glyph
};

// Mouse events the host asked for (ANSI-BBS: ESC[?9h, ?1000h, ?1002h, ?1003h).
enum class TMouseTracking : uint8_t { Off, Press, PressRelease, Drag, Any };
enum class TMouseAction : uint8_t { Press, Release, Move, WheelUp, WheelDown };

// The CTerm extensions of ANSI-BBS that a host switches on, and the host's own choices.
struct TCtermModes
{
    bool Doorway = false;        // ESC[=255h: keys go as NUL and their scan code
    bool BracketedPaste = false; // ESC[?2004h
    TMouseTracking Mouse = TMouseTracking::Off;
    bool MouseSgr = false;      // ESC[?1006h: reports as ESC[<b;x;yM
    uint8_t MusicFrom = 1;      // ESC[=nM: 0 only ESC[|, 1 also ESC[N, 2 also ESC[M starts music
    uint16_t Font = 0;          // CTerm font number of normal text (0: code page 437)
    bool LfExpand = false;      // the host's choice: LF also returns the carriage
    bool HideSauce = false;     // the host's choice: SAUCE records in the stream are not shown
    uint8_t SauceMatched = 0;   // bytes of the record's mark matched (after 0x1A, or in comments)
    bool SauceComments = false; // hiding comment lines: the record itself follows
    uint16_t SauceLeft = 0;     // bytes of the record still to hide
};

// How Write reads the bytes.
enum TTTYEmulation : uint8_t {
    teClassic = 0, // colour codes, control characters, the VT52 and ANSI subsets of the CLient BBSs
    teAnsiBbs = 1, // what today's Telnet BBSs and their ANSI art expect (code page 437 all the way down)
};

// Marks of a control sequence besides its digits and ';' (none: a sequence to act on).
enum TEscMark : uint8_t {
    emPrivate = 1,      // '?' among the parameter bytes
    emOtherPrivate = 2, // '<', '=', '>' or ':'
    emIntermediate = 4, // a byte 0x20-0x2F
};

// Numeric parameters of an ANSI-BBS control sequence, read as they arrive (art sends
// longer lists than the nine characters of EscParams).
struct TAnsiParams
{
    static constexpr int Max = 16;
    uint16_t Value[Max] = {}; // beyond 9999 they stay 9999; an empty one is 0
    uint8_t Count = 0;        // values begun (0: no parameter byte yet)
    uint8_t Private = 0;      // the first of '<', '=', '>', '?' (0: none)
    uint8_t Intermediate = 0; // the last byte 0x20-0x2F (0: none)
};

// What the output interpreter carries from one Write to the next: the attributes, an
// unfinished sequence and the last character acted on. Whoever draws into the terminal
// between a host's writes sets it aside and gives it back (the offline editor).
struct TTTYInterpreterState
{
    TColourAttr Attr = caCleared;
    TColourAttr SavedAttr = 0;
    TEscState EscState = esText;
    char EscParams[10] = {}; // NUL-terminated, at most 9 characters
    int EscParamsLen = 0;
    uint8_t EscMarks = 0; // TEscMark bits of the unfinished control sequence
    TAnsiParams AnsiParams;
    uint8_t LastChar = 0;
    bool WrapPending = false;
    TTTYEmulation Emulation = teClassic;
};

class TColorTTY
{
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

    // --- Fields. Public for readers (painter, selection, offline editor, tools); change
    // them only through the operations below. The selection points, Tracking and Focused
    // are kept by the widget; FlashHidden and FlashRect by the painter.
    TColorTTYOptions Options = DefaultTTYOptions;
    bool Focused = false;
    int Cols = 0;
    int Rows = 0;
    TCellPoint MouseCell, AnchorCell, SelStart, SelEnd;
    bool Tracking = false;
    bool ScrolledBack = false;
    bool FlashHidden = false;
    TTTYRect FlashRect;
    int MaxLeft = 0, MaxTop = 0;
    int Left = 0, Top = 0;
    int VisibleCols = 0, VisibleRows = 0;
    int CursorX = 0, CursorY = 0; // CursorX may equal Cols after text filled a line
    TColourAttr Attr = caCleared;

    // --- Cell access (x in 0..Cols-1, y a logical row in 0..Rows-1).
    int CellIndex(int x, int y) const
    {
        int r = y + FRingStart;
        if (r >= Rows) r -= Rows;
        return r * Cols + x;
    }
    uint8_t CharAt(int x, int y) const { return FChars[CellIndex(x, y)]; }
    TColourAttr AttrAt(int x, int y) const { return FAttrs[CellIndex(x, y)]; }
    // The Cols cells of logical row y, contiguous.
    const uint8_t *RowChars(int y) const { return &FChars[CellIndex(0, y)]; }
    const uint8_t *RowAttrs(int y) const { return &FAttrs[CellIndex(0, y)]; }
    bool HasOption(TColorTTYOption o) const { return (Options & OptionBit(o)) != 0; }
    // The blink or auto-scroll timer, which the widget runs.
    bool IsTimerActive() const { return FTimerActive; }
    void SetTimerActive(bool active) { FTimerActive = active; }
    // First logical row of the screen (the last VisibleRows rows).
    int ScreenTop() const { return Rows - VisibleRows; }

    // --- History: rows the ring dropped off its top, kept up to a limit (0 by default).
    // They sit above logical row 0, as rows -1 (the newest) up to FirstRow() (the oldest);
    // the view, the selection and the search reach them as any other row. Clearing the
    // screen leaves them alone.
    int HistoryRows() const { return FHistory.Count(); }
    int FirstRow() const { return -FHistory.Count(); }
    const THistoryStore &HistoryStore() const { return FHistory; }
    // Trims the history at once; the view and the selection stay inside what is left.
    void SetHistoryLimit(int rows);
    void ClearHistory();
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

    // --- Setters.
    void SetOptions(TColorTTYOptions options);
    // The attribute the next text is written with.
    void SetAttr(TColourAttr attr) { Attr = attr; }
    // The interpreter's carried state, to set aside and give back; CancelSequence drops an
    // unfinished sequence so that the next bytes start afresh.
    TTTYInterpreterState InterpreterState() const;
    void SetInterpreterState(const TTTYInterpreterState &state);
    void CancelSequence();

    // --- Emulation (Classic unless chosen). Switching keeps the cells and the modes.
    void SetEmulation(TTTYEmulation emulation);
    TTTYEmulation Emulation() const { return FEmul; }
    // ANSI-BBS: the flash bit shows a bright background and nothing blinks (iCE colours).
    // The host's choice; ESC[?33h and ESC[?33l change it while connected.
    void SetIceColours(bool on) { FIce = on; }
    bool IceColours() const { return FIce; }
    // The flash bit is drawn as a bright background whatever the blinking preference.
    bool BrightBackgrounds() const { return FEmul == teAnsiBbs && FIce; }
    // ANSI-BBS: ESC[?25l hides the cursor, ESC[?25h shows it again.
    bool CursorShown() const { return FEmul != teAnsiBbs || FShowCursor; }
    // The ANSI-BBS modes and colours as a new connection finds them: autowrap on, cursor
    // shown, no scrolling region, grey on black, the saved cursor at home. iCE colours stay
    // as last set.
    void ResetModes();
    // Answers to the host's queries (cursor position, status, attributes): bytes for the
    // connection, handed over while Write runs. Without a handler they are dropped.
    using TAnswerHandler = std::function<void(const char *bytes, size_t count)>;
    void SetAnswerHandler(TAnswerHandler handler) { FAnswer = std::move(handler); }

    // --- CTerm extensions of ANSI-BBS (terminal/CtermSequences.cpp). The host's modes last
    // until ResetModes; LF expansion and SAUCE hiding are the host's settings.
    const TCtermModes &Cterm() const { return FCterm; }
    void SetLfExpand(bool on) { FCterm.LfExpand = on; }
    void SetHideSauce(bool on) { FCterm.HideSauce = on; }
    // The report of a mouse event on a cell of the screen (column, screen row from 0) goes to
    // the answer handler when the host asked for such events. False when nothing was sent:
    // the event is the user's own (selecting, scrolling).
    bool ReportMouse(TMouseAction action, int button, int col, int screenRow, TShiftState mods);
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
    // The lowest row output has reached since ResetOutputReach(): a row that got text or
    // that the cursor was moved to (counted as the row below when the cursor stood past its
    // first column); -1 for none. Rows are renumbered with the scrollback, so it stays
    // the same row of text.
    int OutputReach() const { return FReach; }
    void ResetOutputReach() { FReach = -1; }
    // The observer of the output, or nullptr (not owned).
    void SetOutputObserver(TTTYOutputObserver *observer) { FObserver = observer; }
    // The observer has looked at the rows written so far: tell it of the next write again.
    void ObserveRowsAgain() { ObservedRow = -1; }
    // What is written now is drawn by a local editor, not received from the host (screen
    // readers are not told it again).
    void SetLocalDrawing(bool on) { FLocalDrawing = on; }
    bool IsLocalDrawing() const { return FLocalDrawing; }
    // Ordinary bytes (no 0x01, no ESC) at the cursor.
    void PutText(const char *text, size_t count);
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
    void ScrollBy(int dx, int dy);
    // Delivery of a posted WM_TTY_TRACK / WM_TTY_SCROLL.
    void HandleTrackMessage();
    void HandleScrollMessage();

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
    void InvalidateCells(int x1, int x2);
    void InvalidateAll();

    // --- Selection. Implemented in terminal/ColorTTYSelection.cpp.
    void SetSelection(TCellPoint start, TCellPoint end);
    // Plain text of the selection into `buffer` of `size` bytes, always NUL-terminated.
    void GetSelTextBuf(char *buffer, int size) const;
    bool AnchorIsStart() const;
    bool HasSelection() const { return !(SelStart == SelEnd); }

    // Parameter value of an escape sequence: empty gives 1, not a number gives 0.
    static int ParamInt(const char *s, int len);

protected:
    // Rows * Cols cells, physical row after physical row (see CellIndex); for the overrides
    // of WriteCells and EraseCells.
    std::vector<uint8_t> FChars;
    std::vector<uint8_t> FAttrs;

private:
    size_t PutSegment(const uint8_t *p, size_t i, size_t count);
    template <bool Codes> size_t PutBytes(const uint8_t *p, size_t i, size_t count);
    void Invalidate(int x1, int x2);
    void Scroll(int dx, int dy);
    // ESC [ seen; parameters from p[i]. Returns the index after what it consumed.
    size_t ControlSequence(const uint8_t *p, size_t i, size_t count);
    void ApplyEscape(uint8_t c);
    void ApplyCsi(uint8_t final);
    void ApplySgr(const char *s, int len);
    void EraseRange(int x, int y, int count, bool wholeControl);
    TRowView HistoryRowAt(int y, TRowScratch &scratch) const;
    // Spaces on a black background only.
    bool RowIsBlank(int y) const;
    // The view and the selection pulled back inside rows FirstRow() .. Rows.
    void HistoryShrank();
    size_t SequenceRest(const uint8_t *p, size_t i, size_t count);

    // ANSI-BBS; terminal/AnsiBbsOutput.cpp and terminal/AnsiBbsScreen.cpp.
    void WriteAnsi(const uint8_t *p, size_t count);
    size_t AnsiSegment(const uint8_t *p, size_t i, size_t count);
    size_t AnsiText(const uint8_t *p, size_t i, size_t count);
    size_t AnsiColours(const uint8_t *p, size_t i, size_t count);
    size_t AnsiSequence(const uint8_t *p, size_t i, size_t count);
    void AnsiEscape(uint8_t c);
    void AnsiCsi(uint8_t final);
    void AnsiSgr();
    uint16_t AnsiSgrState() const;
    void SetAnsiSgrState(uint16_t state);
    void AnsiMode(bool set);
    void AnsiReport(int what);
    void AnsiPut(const uint8_t *bytes, int n);
    void AnsiGlyph(uint8_t c);
    void AnsiWrap();
    void AnsiTab();
    void AnsiLineFeed();
    void AnsiReverseIndex();
    void AnsiMoveTo(int x, int screenRow);
    void AnsiSaveCursor(bool withAttr);
    void AnsiRestoreCursor(bool withAttr);
    int AnsiScreenRows() const { return std::max(1, std::min(VisibleRows, Rows)); }
    int AnsiTop() const { return Rows - AnsiScreenRows(); }
    // The rows the scrolling region spans (buffer rows, inclusive); false when it is the
    // whole screen, whose scrolls feed the scrollback.
    bool AnsiRegion(int &top, int &bottom) const { return RegionTo > 0 && AnsiRegionRows(top, bottom); }
    bool AnsiRegionRows(int &top, int &bottom) const;
    void AnsiErase(int x, int y, int count);
    void AnsiEraseDisplay(int how);
    void AnsiEraseLine(int how);
    void AnsiShiftRows(int top, int bottom, int n);
    void AnsiScrollUp(int n);
    void AnsiScrollDown(int n);
    void AnsiInsertLines(int n);
    void AnsiDeleteLines(int n);
    void AnsiInsertChars(int n);
    void AnsiDeleteChars(int n);
    void AnsiSetRegion();
    void AnsiBlankLastRow();
    int AnsiParam(int k, int dflt) const;
    // CTerm extensions; terminal/CtermSequences.cpp.
    void CtermCsi(uint8_t final);
    bool CtermMode(int value, bool set);
    bool CtermMusicStarts(uint8_t final);
    void CtermResetModes();
    size_t CtermMusic(const uint8_t *p, size_t i, size_t count);
    size_t CtermSauceMark(const uint8_t *p, size_t i, size_t count);
    size_t CtermSauce(const uint8_t *p, size_t i, size_t count);
    // Whether p[i..end) begins with a SAUCE record's mark (boards that leak one send it
    // after a control sequence: looked for where text begins, not inside it).
    static bool CtermSauceStarts(const uint8_t *p, size_t i, size_t end)
    {
        return p[i] == 'S' && end - i >= 7 && std::memcmp(p + i, "SAUCE00", 7) == 0;
    }
    size_t CtermState(const uint8_t *p, size_t i, size_t count);

    TEscState FEscState = esText;
    TColourAttr FSavedAttr = 0;
    TCellPoint FSavedCursor;
    char FEscParams[10] = {}; // NUL-terminated, at most 9 characters
    int FEscParamsLen = 0;
    uint8_t FEscMarks = 0;
    TAnsiParams FAnsiParams;
    bool FTimerActive = false;
    uint8_t FLastChar = 0;
    // Text filled the cursor row at the very end of a Write: the row wraps before whatever
    // the next Write brings, as it would have had both come in one piece. Anything else that
    // moves the cursor or erases forgets it.
    bool FWrapPending = false;
    int FRingStart = 0;
    int FReach = -1;
    THistoryStore FHistory;
    int64_t FScrolled = 0; // rows the ring has dropped

    // ANSI-BBS modes and saved state.
    TTTYEmulation FEmul = teClassic;
    bool FIce = false;
    bool FShowCursor = true;
    bool FAutoWrap = true;
    bool FReverse = false; // SGR 7: the colours are shown exchanged
    int FRegionFrom = 0;   // scrolling region: first screen row, and the row after its last
    int RegionTo = 0;      // (0: none)
    TCellPoint FAnsiSaved; // column and screen row
    TColourAttr FAnsiSavedAttr = caReset;
    bool FAnsiSavedReverse = false;
    TAnswerHandler FAnswer;
    TCtermModes FCterm;

    // Merged WM_TTY_TRACK / WM_TTY_SCROLL requests "waiting in the queue".
    bool FTrackWaiting = false;
    bool FScrollWaiting = false;
    int FScrollWaitDX = 0, ScrollWaitDY = 0;

    TTTYView *FViewPtr = nullptr;
    TTTYOutputObserver *FObserver = nullptr;
    int ObservedRow = -1; // the row the observer was last told of (runs of one row come in many writes)
    bool FLocalDrawing = false;
    bool TrackPosted = false;  // a PostTrack() not yet delivered
    bool ScrollPosted = false; // a PostScroll() not yet delivered
};
