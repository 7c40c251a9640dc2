// The ANSI-BBS output interpreter: what today's Telnet BBSs and the ANSI art drawn in DOS
// editors expect. Control bytes other than BEL, BS, TAB, LF, CR, FF and ESC are code page
// 437 glyphs, a character in the last column wraps at once, tabs stop every 8 columns,
// colours follow SGR (with iCE colours), and the cursor, editing, region and query
// sequences of the BBS world act. The screen is the last rows of the buffer, as in Classic.
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

void TColorTTY::WriteAnsi(const uint8_t *p, size_t count)
{
    size_t i = 0;
    while (i < count) {
        switch (FEscState) {
        case esText:
            i = AnsiSegment(p, i, count);
            if (i >= count || FEscState != esText) break;
            ++i; // the ESC
            if (i < count && p[i] == '[')
                i = AnsiColours(p, i + 1, count);
            else
                FEscState = esEscape;
            break;
        case esEscape:
            FEscState = esText;
            AnsiEscape(p[i++]);
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
            CancelSequence();
            break;
        }
    }
}

// The cursor stands past the last column: on to the next line, or back on the last
// column without autowrap.
void TColorTTY::AnsiWrap()
{
    if (FAutoWrap) {
        CursorX = 0;
        AnsiLineFeed();
    } else {
        CursorX = Cols - 1;
    }
}

// n cells at the cursor (no more than fit on its row); a character in the last column
// moves the cursor to the next line at once.
[[gnu::always_inline]] inline void TColorTTY::AnsiPut(const uint8_t *bytes, int n)
{
    if (CursorX >= Cols) AnsiWrap();
    const int x = CursorX;
    n = std::min(n, Cols - x);
    WriteCells(x, CursorY, n, reinterpret_cast<const char *>(bytes));
    FReach = std::max(FReach, CursorY + 1);
    if (HasWindow()) FViewPtr->InvalidateCells(x, x + n, CursorY, !HasOption(coLazyWrite));
    CursorX = x + n;
    if (CursorX == Cols) AnsiWrap();
}

void TColorTTY::AnsiGlyph(uint8_t c)
{
    AnsiPut(&c, 1);
    if (HasOption(coAutoTracking) && Top == MaxTop) TrackCursor();
}

// Text from p[i] up to the next ESC, whose index is returned. Between colour changes there
// is mostly one printable run that fits on the row: that is done here, the rest apart.
[[gnu::always_inline]] inline size_t TColorTTY::AnsiSegment(const uint8_t *p, size_t i, size_t count)
{
    const int x = CursorX;
    if (p[i] >= 0x20 && x < Cols) {
        const size_t room = size_t(Cols - x);
        const size_t end = FindControlBefore(p, i + 1, count - i <= room ? count : i + room, count);
        if ((end == count || p[end] == ESC) && !(FCterm.HideSauce && CtermSauceStarts(p, i, end))) {
            AnsiPut(p + i, int(end - i));
            if (HasOption(coAutoTracking) && Top == MaxTop) TrackCursor();
            return end;
        }
    }
    return AnsiText(p, i, count);
}

size_t TColorTTY::AnsiText(const uint8_t *p, size_t i, size_t count)
{
    while (i < count) {
        const uint8_t c = p[i];
        if (c >= 0x20) {
            if (FCterm.HideSauce && CtermSauceStarts(p, i, count)) {
                FEscState = esSauce;
                FCterm.SauceLeft = 128;
                return i;
            }
            if (CursorX >= Cols) AnsiWrap();
            const size_t room = size_t(Cols - CursorX);
            const size_t end = FindControlBefore(p, i + 1, count - i <= room ? count : i + room, count);
            AnsiPut(p + i, int(end - i));
            i = end;
            continue;
        }
        if (c == ESC) break;
        switch (c) {
        case 7:
            if (HasWindow()) FViewPtr->Beep();
            break;
        case 8:
            CursorX = std::min(CursorX, Cols - 1);
            if (CursorX > 0) --CursorX;
            break;
        case 9:
            AnsiTab();
            break;
        case 10:
            if (FCterm.LfExpand) CursorX = 0;
            AnsiLineFeed();
            break;
        case 12:
            AnsiEraseDisplay(2);
            break;
        case 13:
            CursorX = 0;
            break;
        case 0: {
            static const uint8_t blank = ' ';
            if (FCterm.Doorway)
                FEscState = esLiteral;
            else
                AnsiPut(&blank, 1);
            break;
        }
        case 0x1A:
            if (FCterm.HideSauce) {
                FEscState = esSauceMark;
                FCterm.SauceMatched = 0;
            } else {
                AnsiPut(&c, 1);
            }
            break;
        default:
            AnsiPut(&c, 1);
            break;
        }
        ++i;
        if (FEscState != esText) break;
    }
    if (HasOption(coAutoTracking) && Top == MaxTop) TrackCursor();
    return i;
}

void TColorTTY::AnsiTab()
{
    CursorX = std::min((CursorX / 8 + 1) * 8, Cols - 1);
}

void TColorTTY::AnsiLineFeed()
{
    int top, bottom;
    const bool region = AnsiRegion(top, bottom);
    if (region && CursorY != bottom && CursorY >= Rows - 1) return; // below the region on the last row
    // (a line feed on the last row goes through NewLine, which tells the observer)
    const bool shift = region && CursorY == bottom;
    if (FObserver && (shift || CursorY + 1 < Rows)) {
        FObserver->LineFeed(CursorY,
                            shift ? TTTYOutputObserver::lfScrollRegion : TTTYOutputObserver::lfNextRow);
        ObservedRow = -1;
    }
    if (shift) return AnsiShiftRows(top, bottom, 1);
    if (CursorY + 1 < Rows) {
        ++CursorY;
        FReach = std::max(FReach, CursorY);
        return;
    }
    NewLine();
    AnsiBlankLastRow();
}

void TColorTTY::AnsiReverseIndex()
{
    int top, bottom;
    if (!AnsiRegion(top, bottom)) top = AnsiTop(), bottom = Rows - 1;
    if (CursorY == top)
        AnsiShiftRows(top, bottom, -1);
    else if (CursorY > AnsiTop())
        MoveCursor(CursorX, CursorY - 1);
}

void TColorTTY::AnsiMoveTo(int x, int screenRow)
{
    MoveCursor(std::clamp(x, 0, Cols - 1), AnsiTop() + std::clamp(screenRow, 0, AnsiScreenRows() - 1));
}

void TColorTTY::AnsiSaveCursor(bool withAttr)
{
    FAnsiSaved = {std::min(CursorX, Cols - 1), CursorY - AnsiTop()};
    if (withAttr) {
        FAnsiSavedAttr = Attr;
        FAnsiSavedReverse = FReverse;
    }
}

void TColorTTY::AnsiRestoreCursor(bool withAttr)
{
    AnsiMoveTo(FAnsiSaved.x, FAnsiSaved.y);
    if (withAttr) {
        Attr = FAnsiSavedAttr;
        FReverse = FAnsiSavedReverse;
    }
}

void TColorTTY::AnsiEscape(uint8_t c)
{
    switch (c) {
    case '[':
        FEscState = esControlSequence;
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
        CursorX = 0;
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
[[gnu::always_inline]] inline size_t TColorTTY::AnsiColours(const uint8_t *p, size_t i, size_t count)
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
size_t TColorTTY::AnsiSequence(const uint8_t *p, size_t i, size_t count)
{
    TAnsiParams &a = FAnsiParams;
    unsigned n = a.Count; // values begun; Max + 1 once they overflowed
    uint8_t marks = FEscMarks;
    for (; i < count; ++i) {
        const uint8_t c = p[i];
        const unsigned d = unsigned(c) - '0';
        if (d <= 9) {
            if (n == 0) n = 1;
            if (n <= TAnsiParams::Max) {
                const unsigned v = a.Value[n - 1] * 10u + d;
                a.Value[n - 1] = uint16_t(std::min(v, 9999u));
            }
        } else if (c == ';') {
            n = std::min<unsigned>(std::max(n, 1u) + 1, TAnsiParams::Max + 1);
        } else if (InSequence(c)) {
            marks |= MarkOf(c);
            if (c < 0x30)
                a.Intermediate = c;
            else if (c >= '<' && !a.Private)
                a.Private = c;
        } else {
            break;
        }
    }
    a.Count = uint8_t(n);
    FEscMarks = marks;
    if (i >= count) { // the rest comes with the next text
        FEscState = esControlSequence;
        return i;
    }
    FEscState = esText;
    const uint8_t final = p[i];
    if (marks == 0)
        AnsiCsi(final);
    else if (marks == emPrivate && (final == 'h' || final == 'l'))
        AnsiMode(final == 'h');
    else
        CtermCsi(final);
    FAnsiParams = {};
    FEscMarks = 0;
    return i + 1;
}

int TColorTTY::AnsiParam(int k, int dflt) const
{
    const int v = k < std::min<int>(FAnsiParams.Count, TAnsiParams::Max) ? FAnsiParams.Value[k] : 0;
    return v ? v : dflt;
}

void TColorTTY::AnsiCsi(uint8_t final)
{
    const int n = AnsiParam(0, 1);
    const int row = CursorY - AnsiTop();
    const int col = std::min(CursorX, Cols - 1);
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
        CursorX = col;
        AnsiErase(col, CursorY, std::min(n, Cols - col));
        return InvalidateCells(col, Cols);
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

void TColorTTY::AnsiSgr()
{
    uint16_t state = AnsiSgrState();
    const int count = std::max(1, std::min<int>(FAnsiParams.Count, TAnsiParams::Max));
    for (int k = 0; k < count; ++k)
        state =
            FAnsiParams.Value[k] == 8 ? Concealed(state, FIce) : ApplyAnsiSgr(state, FAnsiParams.Value[k]);
    SetAnsiSgrState(state);
}

// The colours as chosen and the exchange flag, from the attribute text is written with.
uint16_t TColorTTY::AnsiSgrState() const
{
    return FReverse ? uint16_t(Exchanged(Attr) | SgrReverse) : Attr;
}

void TColorTTY::SetAnsiSgrState(uint16_t state)
{
    FReverse = (state & SgrReverse) != 0;
    Attr = FReverse ? Exchanged(TColourAttr(state)) : TColourAttr(state);
}

// ESC [ ? ... h / l: every value is a mode.
void TColorTTY::AnsiMode(bool set)
{
    const int count = std::min<int>(FAnsiParams.Count, TAnsiParams::Max);
    for (int k = 0; k < count; ++k) {
        switch (FAnsiParams.Value[k]) {
        case 7:
            FAutoWrap = set;
            break;
        case 25:
            FShowCursor = set;
            if (Focused && HasOption(coFulltimeCursor)) UpdateCaret();
            break;
        case 33:
            if (FIce != set) InvalidateAll();
            FIce = set;
            break;
        default:
            CtermMode(FAnsiParams.Value[k], set);
            break;
        }
    }
}

// Answers to a device status report (5: status, 6: cursor position, 255: the screen's size
// as the position of its last cell) or to 'c' (attributes).
void TColorTTY::AnsiReport(int what)
{
    char s[32];
    int len = 0;
    if (what == 6)
        len = std::snprintf(s, sizeof s, "\x1b[%d;%dR", std::max(1, CursorY - AnsiTop() + 1),
                            std::min(CursorX, Cols - 1) + 1);
    else if (what == 255)
        len = std::snprintf(s, sizeof s, "\x1b[%d;%dR", AnsiScreenRows(), Cols);
    else if (what == 5)
        len = std::snprintf(s, sizeof s, "\x1b[0n");
    else if (what == 'c')
        len = std::snprintf(s, sizeof s, "\x1b[?1;0c");
    if (len > 0 && FAnswer) FAnswer(s, size_t(len));
}
