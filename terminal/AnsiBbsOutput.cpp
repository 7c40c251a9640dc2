// The ANSI-BBS output interpreter: what today's Telnet BBSs and the ANSI art drawn in DOS
// editors expect. Control bytes other than BEL, BS, TAB, LF, CR, FF and ESC are code page
// 437 glyphs, a character in the last column wraps at once, tabs stop every 8 columns,
// colours follow SGR (with iCE colours), and the cursor, editing, region and query
// sequences of the BBS world act. The screen is the last rows of the buffer, as in Classic.
#include "terminal/AnsiBbsInterpreter.h"
#include "terminal/CellOps.h"
#include "terminal/ColorTTY.h"

#include <array>
#include <cstdio>

namespace {

using namespace ttycells;

constexpr uint8_t ESC = 0x1B;

// Shown with the colours exchanged (SGR 7): foreground and background colour trade places,
// bright and flash stay where they are.
inline TColourAttr Exchanged(TColourAttr a)
{
    return TColourAttr((a & 0x88) | ((a & 0x07) << 4) | ((a >> 4) & 0x07));
}

// SGR values on a state of the colours as chosen (bits 0-7) and the exchange of the
// colours by SGR 7 (bit 8): "keep these bits, then set these". Values from 108 on do
// nothing; 8 (concealed) needs the background and is done apart.
constexpr uint16_t SgrReverse = 0x100;
constexpr unsigned SgrIgnored = 127;
struct TAnsiSgrOp
{
    uint16_t Keep = 0xFFFF, Set = 0;
};
constexpr auto AnsiSgrOps = [] {
    std::array<TAnsiSgrOp, SgrIgnored + 1> t{};
    t[0] = {0, caReset};
    t[1] = {0xFFFF, caBright};
    t[2] = t[22] = {uint16_t(~caBright), 0};
    t[5] = {0xFFFF, caFlash};
    t[25] = {uint16_t(~caFlash), 0};
    t[7] = {0xFFFF, SgrReverse};
    t[27] = {uint16_t(~SgrReverse), 0};
    t[39] = {0xFFFF, 0x07};
    t[49] = {uint16_t(~0x70), 0};
    for (int v = 0; v < 8; ++v) {
        t[size_t(30 + v)] = {uint16_t(~0x07), uint16_t(v)};
        t[size_t(40 + v)] = {uint16_t(~0x70), uint16_t(v << 4)};
        t[size_t(90 + v)] = {uint16_t(~0x07), uint16_t(v | caBright)};
        t[size_t(100 + v)] = {uint16_t(~0x70), uint16_t((v << 4) | caFlash)};
    }
    return t;
}();

inline uint16_t ApplyAnsiSgr(uint16_t state, unsigned v)
{
    const TAnsiSgrOp &op = AnsiSgrOps[std::min(v, SgrIgnored)];
    return uint16_t((state & op.Keep) | op.Set);
}

// Concealed (SGR 8): the text in the background colour.
inline uint16_t Concealed(uint16_t state, bool ice)
{
    return uint16_t((state & 0x1F0) | ((state >> 4) & 0x07) | (ice && (state & caFlash) ? caBright : 0));
}

} // namespace

void TAnsiBbsInterpreter::Write(const uint8_t *p, size_t count)
{
    TTTYTokenizer &tok = FTok;
    size_t i = 0;
    if (count == 0) return;
    FRunContinues = FRunOpen;
    FRunOpen = false;
    while (i < count) {
        switch (tok.State()) {
        case esText:
            i = AnsiSegment(p, i, count);
            if (i >= count || tok.State() != esText) break;
            ++i; // the ESC
            if (i < count && p[i] == '[')
                i = AnsiColours(p, i + 1, count);
            else
                tok.SetState(esEscape);
            break;
        case esEscape:
            tok.SetState(esText);
            AnsiEscape(p[i++]);
            AnsiFollow();
            break;
        case esControlSequence:
            i = AnsiSequence(p, i, count);
            break;
        case esMusic:
        case esSauceMark:
        case esSauce:
        case esSauceEsc:
        case esLiteral:
            i = CtermState(p, i, count);
            break;
        default: // a Classic state left by a switch: start afresh
            tok.Cancel();
            break;
        }
    }
}

// The cursor stands past the last column: on to the next line, or back on the last
// column without autowrap.
void TAnsiBbsInterpreter::AnsiWrap()
{
    TTTYScreen &S = FScreen;
    AnsiFollow();
    if (FAutoWrap) {
        S.SetCursorX(0);
        AnsiLineFeed();
    } else {
        S.SetCursorX(S.Cols() - 1);
    }
    AnsiFollow();
}

// The view follows the cursor wherever it stops other than by text running on along its
// row, before a jump and after it: then where the output was cut into reads changes nothing.
// A tracking that already waits for the frame costs no call.
[[gnu::always_inline]] inline void TAnsiBbsInterpreter::AnsiFollow()
{
    TColorTTY &T = FTty;
    if (!T.Viewport().TrackWaiting() && T.HasOption(coAutoTracking) &&
        T.Viewport().Top() == T.Viewport().MaxTop())
        T.TrackCursor();
}

// n cells at the cursor (no more than fit on its row); a character in the last column
// moves the cursor to the next line at once.
[[gnu::always_inline]] inline void TAnsiBbsInterpreter::AnsiPut(const uint8_t *bytes, int n)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    if (S.CursorX() >= S.Cols()) AnsiWrap();
    const int x = S.CursorX();
    n = std::min(n, S.Cols() - x);
    T.WriteCells(x, S.CursorY(), n, reinterpret_cast<const char *>(bytes));
    S.ExtendReach(S.CursorY() + 1);
    T.InvalidateCells(x, x + n);
    S.SetCursorX(x + n);
    if (S.CursorX() == S.Cols()) AnsiWrap();
}

void TAnsiBbsInterpreter::AnsiGlyph(uint8_t c)
{
    AnsiPut(&c, 1);
    AnsiFollow();
}

// Text from p[i] up to the next ESC, whose index is returned. Between colour changes there
// is mostly one printable run that fits on the row: that is done here, the rest apart.
[[gnu::always_inline]] inline size_t TAnsiBbsInterpreter::AnsiSegment(const uint8_t *p, size_t i,
                                                                      size_t count)
{
    TTTYScreen &S = FScreen;
    const int x = S.CursorX();
    if (p[i] >= 0x20 && x < S.Cols()) {
        const size_t room = size_t(S.Cols() - x);
        const size_t end = FindControlBefore(p, i + 1, count - i <= room ? count : i + room, count);
        if ((end == count || p[end] == ESC) &&
            !(FCterm.HideSauce && !(i == 0 && FRunContinues) && CtermSauceStarts(p, i, end))) {
            AnsiPut(p + i, int(end - i));
            AnsiFollow();
            FRunOpen = end == count;
            return end;
        }
    }
    return AnsiText(p, i, count);
}

size_t TAnsiBbsInterpreter::AnsiText(const uint8_t *p, size_t i, size_t count)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    bool inRun = i == 0 && FRunContinues;
    while (i < count) {
        const uint8_t c = p[i];
        if (c >= 0x20) {
            if (!inRun && FCterm.HideSauce && CtermSauceStarts(p, i, count)) {
                FTok.SetState(esSauce);
                FCterm.SauceLeft = 128;
                return i;
            }
            if (S.CursorX() >= S.Cols()) AnsiWrap();
            const size_t room = size_t(S.Cols() - S.CursorX());
            const size_t end = FindControlBefore(p, i + 1, count - i <= room ? count : i + room, count);
            AnsiPut(p + i, int(end - i));
            i = end;
            inRun = true;
            FRunOpen = i == count;
            continue;
        }
        inRun = false;
        if (c == ESC) break;
        const bool jump = c == 8 || c == 9 || c == 10 || c == 12 || c == 13;
        if (jump) AnsiFollow();
        switch (c) {
        case 7:
            if (T.HasWindow()) T.View()->Beep();
            break;
        case 8:
            S.SetCursorX(std::min(S.CursorX(), S.Cols() - 1));
            if (S.CursorX() > 0) S.SetCursorX(S.CursorX() - 1);
            break;
        case 9:
            AnsiTab();
            break;
        case 10:
            if (FCterm.LfExpand) S.SetCursorX(0);
            AnsiLineFeed();
            break;
        case 12:
            AnsiEraseDisplay(2);
            break;
        case 13:
            S.SetCursorX(0);
            break;
        case 0: {
            static const uint8_t blank = ' ';
            if (FCterm.Doorway)
                FTok.SetState(esLiteral);
            else
                AnsiPut(&blank, 1);
            break;
        }
        case 0x1A:
            if (FCterm.HideSauce) {
                FTok.SetState(esSauceMark);
                FCterm.SauceMatched = 0;
            } else {
                AnsiPut(&c, 1);
            }
            break;
        default:
            AnsiPut(&c, 1);
            break;
        }
        if (jump) AnsiFollow();
        ++i;
        if (FTok.State() != esText) break;
    }
    AnsiFollow();
    return i;
}

void TAnsiBbsInterpreter::AnsiTab()
{
    TTTYScreen &S = FScreen;
    S.SetCursorX(std::min((S.CursorX() / 8 + 1) * 8, S.Cols() - 1));
}

void TAnsiBbsInterpreter::AnsiLineFeed()
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    int top, bottom;
    const bool region = AnsiRegion(top, bottom);
    if (region && S.CursorY() != bottom && S.CursorY() >= S.Rows() - 1)
        return; // below the region on the last row
    // (a line feed on the last row goes through NewLine, which tells the observer)
    const bool shift = region && S.CursorY() == bottom;
    if (shift || S.CursorY() + 1 < S.Rows())
        S.NoteLineFeed(S.CursorY(),
                       shift ? TTTYOutputObserver::lfScrollRegion : TTTYOutputObserver::lfNextRow);
    if (shift) return AnsiShiftRows(top, bottom, 1);
    if (S.CursorY() + 1 < S.Rows()) {
        S.SetCursor(S.CursorX(), S.CursorY() + 1);
        S.ExtendReach(S.CursorY());
        return;
    }
    T.NewLine();
    AnsiBlankLastRow();
}

void TAnsiBbsInterpreter::AnsiReverseIndex()
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = S.Rows() - 1;
    if (S.CursorY() == top)
        AnsiShiftRows(top, bottom, -1);
    else if (S.CursorY() > AnsiTop())
        T.MoveCursor(S.CursorX(), S.CursorY() - 1);
}

void TAnsiBbsInterpreter::AnsiMoveTo(int x, int screenRow)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    T.MoveCursor(std::clamp(x, 0, S.Cols() - 1), AnsiTop() + std::clamp(screenRow, 0, AnsiScreenRows() - 1));
}

void TAnsiBbsInterpreter::AnsiSaveCursor(bool withAttr)
{
    TTTYScreen &S = FScreen;
    FAnsiSaved = {std::min(S.CursorX(), S.Cols() - 1), S.CursorY() - AnsiTop()};
    if (withAttr) {
        FAnsiSavedAttr = S.Attr();
        FAnsiSavedReverse = FReverse;
    }
}

void TAnsiBbsInterpreter::AnsiRestoreCursor(bool withAttr)
{
    TTTYScreen &S = FScreen;
    AnsiMoveTo(FAnsiSaved.x, FAnsiSaved.y);
    if (withAttr) {
        S.SetAttr(FAnsiSavedAttr);
        FReverse = FAnsiSavedReverse;
    }
}

void TAnsiBbsInterpreter::AnsiEscape(uint8_t c)
{
    TTTYScreen &S = FScreen;
    switch (c) {
    case '[':
        FTok.SetState(esControlSequence);
        break;
    case '7':
        AnsiSaveCursor(true);
        break;
    case '8':
        AnsiRestoreCursor(true);
        break;
    case 'D':
        AnsiLineFeed();
        break;
    case 'E':
        S.SetCursorX(0);
        AnsiLineFeed();
        break;
    case 'M':
        AnsiReverseIndex();
        break;
    case 'c': // reset: modes, colours and the screen as a new connection finds them
        ResetModes();
        AnsiEraseDisplay(2);
        break;
    default:
        break;
    }
}

// ESC [ seen, parameters from p[i]. The usual case, a colour change that is all in this
// text, is applied while it is read; anything else goes to AnsiSequence.
[[gnu::always_inline]] inline size_t TAnsiBbsInterpreter::AnsiColours(const uint8_t *p, size_t i,
                                                                      size_t count)
{
    uint16_t state = AnsiSgrState();
    unsigned v = 0;
    bool conceal = false;
    size_t end = i;
    for (; end < count; ++end) {
        const unsigned d = unsigned(p[end]) - '0';
        if (d <= 9) {
            v = std::min(v * 10 + d, 9999u);
        } else if (p[end] == ';') {
            state = ApplyAnsiSgr(state, v);
            conceal |= v == 8;
            v = 0;
        } else {
            break;
        }
    }
    if (end < count && p[end] == 'm' && !conceal && v != 8) [[likely]] {
        SetAnsiSgrState(ApplyAnsiSgr(state, v));
        return end + 1;
    }
    return AnsiSequence(p, i, count);
}

// Inside ESC [ from p[i]: numeric parameters are read as they come, the other bytes of a
// sequence mark it; the first byte outside ends it. Returns the index after what it consumed.
size_t TAnsiBbsInterpreter::AnsiSequence(const uint8_t *p, size_t i, size_t count)
{
    i = FTok.ReadAnsi(p, i, count);
    if (i >= count) { // the rest comes with the next text
        FTok.SetState(esControlSequence);
        return i;
    }
    FTok.SetState(esText);
    const uint8_t final = p[i];
    const uint8_t marks = FTok.Marks();
    if (marks == 0)
        AnsiCsi(final);
    else if (marks == emPrivate && (final == 'h' || final == 'l'))
        AnsiMode(final == 'h');
    else
        CtermCsi(final);
    FTok.EndSequence();
    AnsiFollow();
    return i + 1;
}

void TAnsiBbsInterpreter::AnsiCsi(uint8_t final)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    const int n = AnsiParam(0, 1);
    const int row = S.CursorY() - AnsiTop();
    const int col = std::min(S.CursorX(), S.Cols() - 1);
    switch (final) {
    case 'A':
        return AnsiMoveTo(col, row - n);
    case 'B':
        return AnsiMoveTo(col, row + n);
    case 'C': // stops at the last column
        return AnsiMoveTo(col + n, row);
    case 'D':
        return AnsiMoveTo(col - n, row);
    case 'E':
        return AnsiMoveTo(0, row + n);
    case 'F':
        return AnsiMoveTo(0, row - n);
    case 'G':
        return AnsiMoveTo(n - 1, row);
    case 'd':
        return AnsiMoveTo(col, n - 1);
    case 'H':
    case 'f':
        return AnsiMoveTo(AnsiParam(1, 1) - 1, n - 1);
    case 'J':
        return AnsiEraseDisplay(AnsiParam(0, 0));
    case 'K':
        return AnsiEraseLine(AnsiParam(0, 0));
    case '@':
        return AnsiInsertChars(n);
    case 'P':
        return AnsiDeleteChars(n);
    case 'X':
        S.SetCursorX(col);
        AnsiErase(col, S.CursorY(), std::min(n, S.Cols() - col));
        return T.InvalidateCells(col, S.Cols());
    case 'L':
        return AnsiInsertLines(n);
    case 'M':
        if (CtermMusicStarts(final)) return;
        return AnsiDeleteLines(n);
    case 'S':
        return AnsiScrollUp(n);
    case 'T':
        return AnsiScrollDown(n);
    case 'r':
        return AnsiSetRegion();
    case 's':
        return AnsiSaveCursor(false);
    case 'u':
        return AnsiRestoreCursor(false);
    case 'm':
        return AnsiSgr();
    case 'n':
        return AnsiReport(AnsiParam(0, 0));
    case 'c':
        if (AnsiParam(0, 0) == 0) AnsiReport('c');
        return;
    default:
        CtermMusicStarts(final);
        return;
    }
}

void TAnsiBbsInterpreter::AnsiSgr()
{
    uint16_t state = AnsiSgrState();
    const int count = std::max(1, FTok.Count());
    for (int k = 0; k < count; ++k)
        state = FTok.Value(k) == 8 ? Concealed(state, FIce) : ApplyAnsiSgr(state, unsigned(FTok.Value(k)));
    SetAnsiSgrState(state);
}

// The colours as chosen and the exchange flag, from the attribute text is written with.
uint16_t TAnsiBbsInterpreter::AnsiSgrState() const
{
    TTTYScreen &S = FScreen;
    return FReverse ? uint16_t(Exchanged(S.Attr()) | SgrReverse) : S.Attr();
}

void TAnsiBbsInterpreter::SetAnsiSgrState(uint16_t state)
{
    TTTYScreen &S = FScreen;
    FReverse = (state & SgrReverse) != 0;
    S.SetAttr(FReverse ? Exchanged(TColourAttr(state)) : TColourAttr(state));
}

// ESC [ ? ... h / l: every value is a mode.
void TAnsiBbsInterpreter::AnsiMode(bool set)
{
    TColorTTY &T = FTty;
    const int count = FTok.Count();
    for (int k = 0; k < count; ++k) {
        switch (FTok.Value(k)) {
        case 7:
            FAutoWrap = set;
            break;
        case 25:
            FShowCursor = set;
            if (T.Viewport().Focused() && T.HasOption(coFulltimeCursor)) T.UpdateCaret();
            break;
        case 33:
            if (FIce != set) T.InvalidateAll();
            FIce = set;
            break;
        default:
            CtermMode(FTok.Value(k), set);
            break;
        }
    }
}

// Answers to a device status report (5: status, 6: cursor position, 255: the screen's size
// as the position of its last cell) or to 'c' (attributes).
void TAnsiBbsInterpreter::AnsiReport(int what)
{
    TTTYScreen &S = FScreen;
    char s[32];
    int len = 0;
    if (what == 6)
        len = std::snprintf(s, sizeof s, "\x1b[%d;%dR", std::max(1, S.CursorY() - AnsiTop() + 1),
                            std::min(S.CursorX(), S.Cols() - 1) + 1);
    else if (what == 255)
        len = std::snprintf(s, sizeof s, "\x1b[%d;%dR", AnsiScreenRows(), S.Cols());
    else if (what == 5)
        len = std::snprintf(s, sizeof s, "\x1b[0n");
    else if (what == 'c')
        len = std::snprintf(s, sizeof s, "\x1b[?1;0c");
    if (len > 0 && FAnswer) FAnswer(s, size_t(len));
}
