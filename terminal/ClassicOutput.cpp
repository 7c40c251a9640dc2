// The Classic output interpreter: text runs, control bytes, colour codes and escape
// sequences, on the terminal's cells.
#include "terminal/CellOps.h"
#include "terminal/ClassicInterpreter.h"
#include "terminal/ColorTTY.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using namespace ttycells;

constexpr uint8_t ESC = 0x1B;

inline bool IsCodeOrEscape(uint8_t c)
{
    return c == 0x01 || c == ESC;
}

// Select-graphic-rendition values below 48 as "keep these bits, then set these"; 7 (the
// exchange of the halves) is done apart, larger values are ignored.
struct TSgrOp
{
    uint8_t Keep = 0xFF, Set = 0;
};
constexpr auto SgrOps = [] {
    std::array<TSgrOp, 48> t{};
    t[0] = {0, caReset};
    t[1] = {0xFF, caBright};
    t[5] = {0xFF, caFlash};
    for (int v = 30; v <= 37; ++v)
        t[size_t(v)] = {uint8_t(~0x07), uint8_t(v - 30)};
    for (int v = 40; v <= 47; ++v)
        t[size_t(v)] = {uint8_t(~0x70), uint8_t((v - 40) << 4)};
    return t;
}();

inline TColourAttr ApplySgrValue(TColourAttr a, unsigned v)
{
    if (v == 7) return TColourAttr(((a & 0x0F) << 4) + (a >> 4));
    if (v < SgrOps.size()) return TColourAttr((a & SgrOps[v].Keep) | SgrOps[v].Set);
    return a;
}

// The view follows the cursor while it shows the last rows; a tracking that already waits
// for the frame costs no call.
inline void Follow(TColorTTY &T)
{
    const TTTYViewport &v = T.Viewport();
    if (!v.TrackWaiting() && T.HasOption(coAutoTracking) && v.Top() == v.MaxTop()) T.TrackCursor();
}

} // namespace

void TClassicInterpreter::Write(const uint8_t *p, size_t count)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    TTTYTokenizer &tok = FTok;
    size_t i = 0;
    while (i < count) {
        switch (tok.State()) {
        case esText:
            if (S.WrapPending()) { // set at the end of the last text (or of the "Esc-Z" just shown)
                S.SetWrapPending(false);
                if (!IsCodeOrEscape(p[i]) && S.CursorX() >= S.Cols()) {
                    S.SetCursorX(0);
                    T.NewLine();
                }
            }
            if (!IsCodeOrEscape(p[i])) {
                i = PutSegment(p, i, count);
                if (i >= count) break;
            }
            ++i;
            if (p[i - 1] == 0x01) {
                if (i < count)
                    S.SetAttr(ApplyColourCode(S.Attr(), p[i++]));
                else
                    tok.SetState(esColourCode);
            } else if (i < count && p[i] == '[' && tok.ParamsLen() == 0) {
                // the usual case: the whole sequence is in this text
                i = ControlSequence(p, i + 1, count);
            } else {
                tok.SetState(esEscape);
            }
            break;
        case esColourCode:
            tok.SetState(esText);
            S.SetAttr(ApplyColourCode(S.Attr(), p[i]));
            ++i;
            break;
        case esEscape:
            tok.SetState(esText);
            ApplyEscape(p[i]);
            ++i;
            break;
        case esControlSequence:
            i = SequenceRest(p, i, count);
            break;
        case esCursorAddress:
            tok.AppendParam(p[i]);
            ++i;
            if (tok.ParamsLen() >= 2) {
                const int r = uint8_t(tok.Params()[0]);
                const int c = uint8_t(tok.Params()[1]);
                tok.EndSequence();
                tok.SetState(esText);
                T.MoveCursor(c - 32, (r - 32) + S.Rows() - T.Viewport().VisibleRows());
            }
            break;
        default: // never set by the interpreter; recover rather than stall
            tok.SetState(esText);
            break;
        }
    }
}

[[gnu::always_inline]] inline size_t TClassicInterpreter::ControlSequence(const uint8_t *p, size_t i,
                                                                          size_t count)
{
    TTTYScreen &S = FScreen;
    // colour changes are applied while the parameters are read; the result is kept only when
    // the final byte is 'm' and no parameter byte had to be dropped
    TColourAttr a = S.Attr();
    unsigned v = 0;
    size_t end = i;
    for (; end < count; ++end) {
        const unsigned d = unsigned(p[end]) - '0';
        if (d <= 9) {
            v = v * 10 + d;
        } else if (p[end] == ';') {
            a = ApplySgrValue(a, v);
            v = 0;
        } else {
            break;
        }
    }
    const int len = int(std::min<size_t>(end - i, 9)); // beyond the ninth they are dropped
    if (end < count && p[end] == 'm') [[likely]] {
        if (end - i <= 9)
            S.SetAttr(ApplySgrValue(a, v));
        else
            ApplySgr(reinterpret_cast<const char *>(p + i), len);
        return end + 1;
    }
    FTok.SetParams(p + i, len);
    if (end >= count || InSequence(p[end])) { // marks follow, or the rest comes with the next text
        FTok.SetState(esControlSequence);
        return end;
    }
    ApplyCsi(p[end]);
    FTok.EndSequence();
    return end + 1;
}

// Inside ESC [ from p[i]: digits and ';' collect (beyond the ninth they are dropped), the
// other bytes of a sequence mark it; the first byte outside ends it, and only an unmarked
// sequence is acted on. Returns the index after what it consumed.
size_t TClassicInterpreter::SequenceRest(const uint8_t *p, size_t i, size_t count)
{
    i = FTok.ReadClassic(p, i, count);
    if (i >= count) return i;
    FTok.SetState(esText);
    if (FTok.Marks() == 0) ApplyCsi(p[i]);
    FTok.EndSequence();
    return i + 1;
}

void TClassicInterpreter::ApplyEscape(uint8_t c)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    switch (c) {
    case 'A':
    case 'I':
        T.MoveCursor(S.CursorX(), S.CursorY() - 1);
        break;
    case 'B':
        T.MoveCursor(S.CursorX(), S.CursorY() + 1);
        break;
    case 'C':
        T.MoveCursor(S.CursorX() + 1, S.CursorY());
        break;
    case 'D':
        T.MoveCursor(S.CursorX() - 1, S.CursorY());
        break;
    case 'H':
        T.MoveCursor(0, S.Rows() - T.Viewport().VisibleRows());
        break;
    case 'J':
        T.ClearScreen();
        break;
    case 'K':
        T.EraseToEndOfLine();
        break;
    case 'Y':
        FTok.SetState(esCursorAddress);
        break;
    case 'Z':
        T.Write("Esc-Z");
        break;
    case '7':
        FSavedAttr = S.Attr();
        break;
    case '8':
        S.SetAttr(FSavedAttr);
        break;
    case '[':
        FTok.SetState(esControlSequence);
        break;
    default:
        break;
    }
}

void TClassicInterpreter::ApplyCsi(uint8_t final)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    const char *s = FTok.Params();
    const int len = FTok.ParamsLen();
    switch (final) {
    case 'A':
        T.MoveCursor(S.CursorX(), S.CursorY() - TTTYTokenizer::ParamInt(s, len));
        break;
    case 'B':
        T.MoveCursor(S.CursorX(), S.CursorY() + TTTYTokenizer::ParamInt(s, len));
        break;
    case 'C':
        T.MoveCursor(S.CursorX() + TTTYTokenizer::ParamInt(s, len), S.CursorY());
        break;
    case 'D':
        T.MoveCursor(S.CursorX() - TTTYTokenizer::ParamInt(s, len), S.CursorY());
        break;
    case 'H':
    case 'f': {
        const char *semi = static_cast<const char *>(std::memchr(s, ';', size_t(len)));
        int r, c;
        if (semi) {
            const int before = int(semi - s);
            r = TTTYTokenizer::ParamInt(s, before);
            c = TTTYTokenizer::ParamInt(semi + 1, std::min(10, len - before - 1));
        } else {
            r = TTTYTokenizer::ParamInt(s, len);
            c = 1;
        }
        T.MoveCursor(c - 1, r + S.Rows() - T.Viewport().VisibleRows() - 1);
        break;
    }
    case 'J':
        if (len == 0 || s[0] == '0')
            T.EraseToEndOfScreen();
        else if (s[0] == '2')
            T.ClearScreen();
        break;
    case 'K':
        if (len == 0 || s[0] == '0')
            T.EraseToEndOfLine();
        else if (s[0] == '1')
            T.EraseToStartOfLine();
        else if (s[0] == '2')
            T.EraseLine();
        break;
    case 'm':
        ApplySgr(s, len);
        break;
    case 's':
        FSavedX = S.CursorX();
        FSavedY = S.CursorY();
        break;
    case 'u':
        T.MoveCursor(FSavedX, FSavedY);
        break;
    default:
        break;
    }
}

void TClassicInterpreter::ApplySgr(const char *s, int len)
{
    TTTYScreen &S = FScreen;
    // pieces between ';' in order; an empty piece is 0
    TColourAttr a = S.Attr();
    unsigned v = 0;
    for (int i = 0; i < len; ++i) {
        if (s[i] != ';') {
            v = v * 10 + unsigned(s[i] - '0'); // at most 9 digits: no overflow
            continue;
        }
        a = ApplySgrValue(a, v);
        v = 0;
    }
    S.SetAttr(ApplySgrValue(a, v));
}

// Ordinary bytes from p[i] (not 0x01 or ESC) up to the next 0x01 or ESC; returns its index.
[[gnu::always_inline]] inline size_t TClassicInterpreter::PutSegment(const uint8_t *p, size_t i, size_t count)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    // Between colour changes there is mostly one printable run that fits on the row.
    const int x = S.CursorX();
    if (p[i] >= 0x20 && x < S.Cols()) {
        const size_t room = size_t(S.Cols() - x);
        const size_t end = FindControlBefore(p, i + 1, count - i <= room ? count : i + room, count);
        if (end == count || IsCodeOrEscape(p[end])) {
            const int run = int(end - i);
            T.WriteCells(x, S.CursorY(), run, reinterpret_cast<const char *>(p + i));
            S.ExtendReach(S.CursorY() + 1);
            FLastChar = p[end - 1];
            S.SetCursorX(x + run);
            S.SetWrapPending(end == count && S.CursorX() == S.Cols());
            T.InvalidateCells(x, x + run);
            Follow(T);
            return end;
        }
    }
    return PutBytes<true>(p, i, count);
}

// Ordinary bytes from p[i] on, up to `count` or (with `Codes`) the first 0x01 or ESC, whose
// index is returned. The touched columns of the cursor row are repainted once per line.
template <bool Codes> size_t TClassicInterpreter::PutBytes(const uint8_t *p, size_t i, size_t count)
{
    TColorTTY &T = FTty;
    TTTYScreen &S = FScreen;
    int dl = S.CursorX(), dr = S.CursorX();
    auto lineFull = [&] {
        T.InvalidateCells(dl, dr);
        S.SetCursorX(0);
        dl = dr = 0;
        T.NewLine();
    };
    while (i < count) {
        const uint8_t c = p[i];
        if (c >= 0x20) {
            if (S.CursorX() >= S.Cols()) lineFull();
            const size_t room = size_t(S.Cols() - S.CursorX());
            const size_t end = count - i <= room ? count : i + room;
            const size_t run = FindControlBefore(p, i + 1, end, count) - i;
            T.WriteCells(S.CursorX(), S.CursorY(), int(run), reinterpret_cast<const char *>(p + i));
            S.ExtendReach(S.CursorY() + 1);
            FLastChar = p[i + run - 1];
            S.SetCursorX(S.CursorX() + int(run));
            dr = std::max(dr, S.CursorX());
            i += run;
            // a full line wraps before whatever follows, in this text or the next
            if (run == room) {
                if (i == count)
                    S.SetWrapPending(true);
                else if (!(Codes && IsCodeOrEscape(p[i])))
                    lineFull();
            }
            continue;
        }
        if (Codes && IsCodeOrEscape(c)) break;
        switch (c) {
        case 7:
            if (T.HasWindow()) T.View()->Beep();
            FLastChar = 7;
            break;
        case 8:
            if (S.CursorX() > 0) {
                S.SetCursorX(S.CursorX() - 1);
                dl = std::min(dl, S.CursorX());
                FLastChar = 8;
            }
            break;
        case 9:
            T.InvalidateCells(dl, dr);
            // never past the boundary after the last column
            S.SetCursorX(std::min(S.Cols(), (S.CursorX() + 15) / 16 * 16));
            FLastChar = 9;
            break;
        case 10:
            T.InvalidateCells(dl, dr);
            if (FLastChar != 13) {
                S.SetCursorX(0);
                dl = dr = 0;
            }
            T.NewLine();
            dl = dr = S.CursorX();
            FLastChar = 10;
            break;
        case 13:
            T.InvalidateCells(dl, dr);
            S.SetCursorX(0);
            dl = dr = 0;
            FLastChar = 13;
            break;
        default:
            break;
        }
        ++i;
    }
    T.InvalidateCells(dl, dr);
    Follow(T);
    return i;
}

void TClassicInterpreter::ClampSavedCursor(int cols, int rows)
{
    FSavedX = std::clamp(FSavedX, 0, cols - 1);
    FSavedY = std::clamp(FSavedY, 0, rows - 1);
}

void TClassicInterpreter::PutText(const uint8_t *p, size_t count)
{
    PutBytes<false>(p, 0, count);
}
