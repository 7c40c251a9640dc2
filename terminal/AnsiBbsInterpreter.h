// The ANSI-BBS output interpreter: what today's Telnet BBSs and the ANSI art drawn in DOS
// editors expect, with its modes (autowrap, the cursor shown, iCE colours, the scrolling
// region) and its answers to the host's queries. It draws on the terminal's screen.
#pragma once

#include "terminal/Keys.h"
#include "terminal/TTYTokenizer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>

class TColorTTY;
class TTTYScreen;

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

class TAnsiBbsInterpreter
{
public:
    using TAnswerHandler = std::function<void(const char *bytes, size_t count)>;

    // `screen` is the terminal's: the cells and the cursor are drawn on there, what concerns
    // the view (tracking, repainting, the caret) goes through the terminal.
    TAnsiBbsInterpreter(TColorTTY &tty, TTTYScreen &screen, TTTYTokenizer &tokenizer)
        : FTty(tty), FScreen(screen), FTok(tokenizer)
    {
    }

    void Write(const uint8_t *p, size_t count);
    // The modes and colours as a new connection finds them: autowrap on, cursor shown, no
    // scrolling region, grey on black, the saved cursor at home. iCE colours stay as last set.
    void ResetModes();
    // iCE colours: the flash bit shows a bright background and nothing blinks. The host's
    // choice; ESC[?33h and ESC[?33l change it while connected.
    bool IceColours() const { return FIce; }
    void SetIceColours(bool on) { FIce = on; }
    bool CursorShown() const { return FShowCursor; }
    // How another terminal's picture is drawn: iCE colours, the cursor shown, the font.
    void CopyPicture(const TAnsiBbsInterpreter &from)
    {
        FIce = from.FIce;
        FShowCursor = from.FShowCursor;
        FCterm.Font = from.FCterm.Font;
    }
    // Answers to the host's queries (cursor position, status, attributes): bytes for the
    // connection, handed over while Write runs. Without a handler they are dropped.
    void SetAnswerHandler(TAnswerHandler handler) { FAnswer = std::move(handler); }

    // --- CTerm extensions (terminal/CtermSequences.cpp). The host's modes last until
    // ResetModes; LF expansion and SAUCE hiding are the host's settings.
    const TCtermModes &Cterm() const { return FCterm; }
    void SetLfExpand(bool on) { FCterm.LfExpand = on; }
    void SetHideSauce(bool on) { FCterm.HideSauce = on; }
    // The report of a mouse event on a cell of the screen (column, screen row from 0) goes to
    // the answer handler when the host asked for such events. False when nothing was sent:
    // the event is the user's own (selecting, scrolling).
    bool ReportMouse(TMouseAction action, int button, int col, int screenRow, TShiftState mods);

private:
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
    void AnsiFollow();
    void AnsiTab();
    void AnsiLineFeed();
    void AnsiReverseIndex();
    void AnsiMoveTo(int x, int screenRow);
    void AnsiSaveCursor(bool withAttr);
    void AnsiRestoreCursor(bool withAttr);
    int AnsiScreenRows() const;
    int AnsiTop() const;
    // The rows the scrolling region spans (buffer rows, inclusive); false when it is the
    // whole screen, whose scrolls feed the scrollback.
    bool AnsiRegion(int &top, int &bottom) const { return FRegionTo > 0 && AnsiRegionRows(top, bottom); }
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
    int AnsiParam(int k, int dflt) const { return FTok.Param(k, dflt); }
    // CTerm extensions; terminal/CtermSequences.cpp.
    void CtermCsi(uint8_t final);
    bool CtermMode(int value, bool set);
    bool CtermMusicStarts(uint8_t final);
    void CtermResetModes();
    size_t CtermMusic(const uint8_t *p, size_t i, size_t count);
    size_t CtermSauceMark(const uint8_t *p, size_t i, size_t count);
    size_t CtermSauce(const uint8_t *p, size_t i, size_t count);
    // Whether p[i..end) begins with a SAUCE record's mark (boards that leak one send it
    // after a control sequence: looked for where text begins, not inside it, wherever the
    // reads were cut).
    static bool CtermSauceStarts(const uint8_t *p, size_t i, size_t end)
    {
        return p[i] == 'S' && end - i >= 7 && std::memcmp(p + i, "SAUCE00", 7) == 0;
    }
    size_t CtermState(const uint8_t *p, size_t i, size_t count);

    TColorTTY &FTty;
    TTTYScreen &FScreen;
    TTTYTokenizer &FTok;
    bool FIce = false;
    bool FShowCursor = true;
    bool FAutoWrap = true;
    bool FReverse = false; // SGR 7: the colours are shown exchanged
    int FRegionFrom = 0;   // scrolling region: first screen row, and the row after its last
    int FRegionTo = 0;     // (0: none)
    struct
    {
        int x = 0, y = 0;
    } FAnsiSaved; // column and screen row
    TColourAttr FAnsiSavedAttr = caReset;
    bool FAnsiSavedReverse = false;
    TAnswerHandler FAnswer;
    TCtermModes FCterm;
    bool FRunOpen = false;      // the last write ended inside printed text
    bool FRunContinues = false; // so this one began inside it
};
