// The output interpreter and the cell operations under it: text runs, control bytes,
// colour codes and escape sequences, and the new line that recycles the oldest row.
#include "terminal/CellOps.h"
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

inline bool IsParamByte(uint8_t c)
{
    return unsigned(c - '0') <= 9 || c == ';';
}

} // namespace

// ---------------------------------------------------------------- cells

void TColorTTY::WriteCells(int x, int y, int count, const char *source)
{
    if (unsigned(x) >= unsigned(Cols) || unsigned(y) >= unsigned(Rows) || count <= 0) return;
    count = std::min(count, Cols - x);
    const size_t i = size_t(CellIndex(x, y));
    if (FObserver && y != FObservedRow) {
        FObservedRow = y;
        FObserver->RowWritten(y);
    }
    CopyCells(FChars.data() + i, FAttrs.data() + i, source, size_t(count), Attr);
}

void TColorTTY::EraseCells(int x, int y, int count)
{
    if (count <= 0 || y < 0 || y >= Rows) return;
    x = std::clamp(x, 0, Cols);
    if (count <= Cols - x) { // within the row: every new line blanks one
        const size_t i = size_t(CellIndex(x, y));
        BlankCells(FChars.data() + i, FAttrs.data() + i, size_t(count));
        return;
    }
    while (count > 0 && y < Rows) {
        const int n = std::min(count, Cols - x);
        if (n > 0) {
            const size_t i = size_t(CellIndex(x, y));
            BlankCells(FChars.data() + i, FAttrs.data() + i, size_t(n));
        }
        count -= n;
        x = 0;
        ++y;
    }
}

void TColorTTY::InvalidateCells(int x1, int x2)
{
    Invalidate(x1, x2);
}

// ---------------------------------------------------------------- interpreter

void TColorTTY::WriteChar(char c)
{
    if (c) Write(&c, 1);
}

void TColorTTY::Write(const char *text)
{
    if (text) Write(text, std::strlen(text));
}

void TColorTTY::Write(const char *data, size_t count)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(data);
    if (FEmul == teAnsiBbs) return WriteAnsi(p, count);
    size_t i = 0;
    while (i < count) {
        switch (FEscState) {
        case esText:
            if (FWrapPending) { // set at the end of the last text (or of the "Esc-Z" just shown)
                FWrapPending = false;
                if (!IsCodeOrEscape(p[i]) && CursorX >= Cols) {
                    CursorX = 0;
                    NewLine();
                }
            }
            if (!IsCodeOrEscape(p[i])) {
                i = PutSegment(p, i, count);
                if (i >= count) break;
            }
            ++i;
            if (p[i - 1] == 0x01) {
                if (i < count)
                    Attr = ApplyColourCode(Attr, p[i++]);
                else
                    FEscState = esColourCode;
            } else if (i < count && p[i] == '[' && FEscParamsLen == 0) {
                // the usual case: the whole sequence is in this text
                i = ControlSequence(p, i + 1, count);
            } else {
                FEscState = esEscape;
            }
            break;
        case esColourCode:
            FEscState = esText;
            Attr = ApplyColourCode(Attr, p[i]);
            ++i;
            break;
        case esEscape:
            FEscState = esText;
            ApplyEscape(p[i]);
            ++i;
            break;
        case esControlSequence:
            i = SequenceRest(p, i, count);
            break;
        case esCursorAddress:
            if (FEscParamsLen < 9) {
                FEscParams[FEscParamsLen++] = char(p[i]);
                FEscParams[FEscParamsLen] = 0;
            }
            ++i;
            if (FEscParamsLen >= 2) {
                const int r = uint8_t(FEscParams[0]);
                const int c = uint8_t(FEscParams[1]);
                FEscParamsLen = 0;
                FEscParams[0] = 0;
                FEscState = esText;
                MoveCursor(c - 32, (r - 32) + Rows - VisibleRows);
            }
            break;
        default: // never set by the interpreter; recover rather than stall
            FEscState = esText;
            break;
        }
    }
}

[[gnu::always_inline]] inline size_t TColorTTY::ControlSequence(const uint8_t *p, size_t i, size_t count)
{
    // colour changes are applied while the parameters are read; the result is kept only when
    // the final byte is 'm' and no parameter byte had to be dropped
    TColourAttr a = Attr;
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
            Attr = ApplySgrValue(a, v);
        else
            ApplySgr(reinterpret_cast<const char *>(p + i), len);
        return end + 1;
    }
    std::memcpy(FEscParams, p + i, size_t(len));
    FEscParams[len] = 0;
    FEscParamsLen = len;
    if (end >= count || InSequence(p[end])) { // marks follow, or the rest comes with the next text
        FEscState = esControlSequence;
        return end;
    }
    ApplyCsi(p[end]);
    FEscParamsLen = 0;
    FEscParams[0] = 0;
    return end + 1;
}

// Inside ESC [ from p[i]: digits and ';' collect (beyond the ninth they are dropped), the
// other bytes of a sequence mark it; the first byte outside ends it, and only an unmarked
// sequence is acted on. Returns the index after what it consumed.
size_t TColorTTY::SequenceRest(const uint8_t *p, size_t i, size_t count)
{
    int len = FEscParamsLen; // a local: stores through char pointers would force reloads
    uint8_t marks = FEscMarks;
    for (; i < count && InSequence(p[i]); ++i) {
        if (IsParamByte(p[i])) {
            if (len < 9) FEscParams[len++] = char(p[i]);
        } else {
            marks |= MarkOf(p[i]);
        }
    }
    FEscParams[len] = 0;
    FEscParamsLen = len;
    FEscMarks = marks;
    if (i >= count) return i;
    FEscState = esText;
    if (marks == 0) ApplyCsi(p[i]);
    FEscParamsLen = 0;
    FEscParams[0] = 0;
    FEscMarks = 0;
    return i + 1;
}

void TColorTTY::ApplyEscape(uint8_t c)
{
    switch (c) {
    case 'A':
    case 'I':
        MoveCursor(CursorX, CursorY - 1);
        break;
    case 'B':
        MoveCursor(CursorX, CursorY + 1);
        break;
    case 'C':
        MoveCursor(CursorX + 1, CursorY);
        break;
    case 'D':
        MoveCursor(CursorX - 1, CursorY);
        break;
    case 'H':
        MoveCursor(0, Rows - VisibleRows);
        break;
    case 'J':
        ClearScreen();
        break;
    case 'K':
        EraseToEndOfLine();
        break;
    case 'Y':
        FEscState = esCursorAddress;
        break;
    case 'Z':
        Write("Esc-Z");
        break;
    case '7':
        FSavedAttr = Attr;
        break;
    case '8':
        Attr = FSavedAttr;
        break;
    case '[':
        FEscState = esControlSequence;
        break;
    default:
        break;
    }
}

int TColorTTY::ParamInt(const char *s, int len)
{
    if (len <= 0) return 1;
    long long v = 0;
    for (int i = 0; i < len; ++i) {
        if (s[i] < '0' || s[i] > '9') return 0;
        v = v * 10 + (s[i] - '0');
        if (v > 1000000000) // far beyond any buffer; keeps arithmetic in range
            v = 1000000000;
    }
    return int(v);
}

void TColorTTY::ApplyCsi(uint8_t final)
{
    const char *s = FEscParams;
    const int len = FEscParamsLen;
    switch (final) {
    case 'A':
        MoveCursor(CursorX, CursorY - ParamInt(s, len));
        break;
    case 'B':
        MoveCursor(CursorX, CursorY + ParamInt(s, len));
        break;
    case 'C':
        MoveCursor(CursorX + ParamInt(s, len), CursorY);
        break;
    case 'D':
        MoveCursor(CursorX - ParamInt(s, len), CursorY);
        break;
    case 'H':
    case 'f': {
        const char *semi = static_cast<const char *>(std::memchr(s, ';', size_t(len)));
        int r, c;
        if (semi) {
            const int before = int(semi - s);
            r = ParamInt(s, before);
            c = ParamInt(semi + 1, std::min(10, len - before - 1));
        } else {
            r = ParamInt(s, len);
            c = 1;
        }
        MoveCursor(c - 1, r + Rows - VisibleRows - 1);
        break;
    }
    case 'J':
        if (len == 0 || s[0] == '0')
            EraseToEndOfScreen();
        else if (s[0] == '2')
            ClearScreen();
        break;
    case 'K':
        if (len == 0 || s[0] == '0')
            EraseToEndOfLine();
        else if (s[0] == '1')
            EraseToStartOfLine();
        else if (s[0] == '2')
            EraseLine();
        break;
    case 'm':
        ApplySgr(s, len);
        break;
    case 's':
        FSavedCursor = {CursorX, CursorY};
        break;
    case 'u':
        MoveCursor(FSavedCursor.x, FSavedCursor.y);
        break;
    default:
        break;
    }
}

void TColorTTY::ApplySgr(const char *s, int len)
{
    // pieces between ';' in order; an empty piece is 0
    TColourAttr a = Attr;
    unsigned v = 0;
    for (int i = 0; i < len; ++i) {
        if (s[i] != ';') {
            v = v * 10 + unsigned(s[i] - '0'); // at most 9 digits: no overflow
            continue;
        }
        a = ApplySgrValue(a, v);
        v = 0;
    }
    Attr = ApplySgrValue(a, v);
}

void TColorTTY::PutText(const char *text, size_t count)
{
    PutBytes<false>(reinterpret_cast<const uint8_t *>(text), 0, count);
}

inline void TColorTTY::Invalidate(int x1, int x2)
{
    x2 = std::min(x2, Cols);
    if (x2 > x1 && HasWindow()) FViewPtr->InvalidateCells(x1, x2, CursorY, !HasOption(coLazyWrite));
}

// Ordinary bytes from p[i] (not 0x01 or ESC) up to the next 0x01 or ESC; returns its index.
[[gnu::always_inline]] inline size_t TColorTTY::PutSegment(const uint8_t *p, size_t i, size_t count)
{
    // Between colour changes there is mostly one printable run that fits on the row.
    const int x = CursorX;
    if (p[i] >= 0x20 && x < Cols) {
        const size_t room = size_t(Cols - x);
        const size_t end = FindControlBefore(p, i + 1, count - i <= room ? count : i + room, count);
        if (end == count || IsCodeOrEscape(p[end])) {
            const int run = int(end - i);
            WriteCells(x, CursorY, run, reinterpret_cast<const char *>(p + i));
            FReach = std::max(FReach, CursorY + 1);
            FLastChar = p[end - 1];
            CursorX = x + run;
            FWrapPending = end == count && CursorX == Cols;
            if (HasWindow()) FViewPtr->InvalidateCells(x, x + run, CursorY, !HasOption(coLazyWrite));
            if (HasOption(coAutoTracking) && Top == MaxTop) TrackCursor();
            return end;
        }
    }
    return PutBytes<true>(p, i, count);
}

// Ordinary bytes from p[i] on, up to `count` or (with `Codes`) the first 0x01 or ESC, whose
// index is returned. The touched columns of the cursor row are repainted once per line.
template <bool Codes> size_t TColorTTY::PutBytes(const uint8_t *p, size_t i, size_t count)
{
    int dl = CursorX, dr = CursorX;
    auto lineFull = [&] {
        Invalidate(dl, dr);
        CursorX = 0;
        dl = dr = 0;
        NewLine();
    };
    while (i < count) {
        const uint8_t c = p[i];
        if (c >= 0x20) {
            if (CursorX >= Cols) lineFull();
            const size_t room = size_t(Cols - CursorX);
            const size_t end = count - i <= room ? count : i + room;
            const size_t run = FindControlBefore(p, i + 1, end, count) - i;
            WriteCells(CursorX, CursorY, int(run), reinterpret_cast<const char *>(p + i));
            FReach = std::max(FReach, CursorY + 1);
            FLastChar = p[i + run - 1];
            CursorX += int(run);
            dr = std::max(dr, CursorX);
            i += run;
            // a full line wraps before whatever follows, in this text or the next
            if (run == room) {
                if (i == count)
                    FWrapPending = true;
                else if (!(Codes && IsCodeOrEscape(p[i])))
                    lineFull();
            }
            continue;
        }
        if (Codes && IsCodeOrEscape(c)) break;
        switch (c) {
        case 7:
            if (HasWindow()) FViewPtr->Beep();
            FLastChar = 7;
            break;
        case 8:
            if (CursorX > 0) {
                --CursorX;
                dl = std::min(dl, CursorX);
                FLastChar = 8;
            }
            break;
        case 9:
            Invalidate(dl, dr);
            // never past the boundary after the last column
            CursorX = std::min(Cols, (CursorX + 15) / 16 * 16);
            FLastChar = 9;
            break;
        case 10:
            Invalidate(dl, dr);
            if (FLastChar != 13) {
                CursorX = 0;
                dl = dr = 0;
            }
            NewLine();
            dl = dr = CursorX;
            FLastChar = 10;
            break;
        case 13:
            Invalidate(dl, dr);
            CursorX = 0;
            dl = dr = 0;
            FLastChar = 13;
            break;
        default:
            break;
        }
        ++i;
    }
    Invalidate(dl, dr);
    if (HasOption(coAutoTracking) && Top == MaxTop) TrackCursor();
    return i;
}

// ScrollBy, also inline in NewLine (every new line at the bottom scrolls).
[[gnu::always_inline]] inline void TColorTTY::Scroll(int dx, int dy)
{
    if (HasOption(coLazyWrite) && HasWindow()) {
        if (FScrollWaiting) {
            dx += FScrollWaitDX;
            dy += FScrollWaitDY;
            FScrollWaiting = false;
            FScrollWaitDX = FScrollWaitDY = 0;
        }
        if (std::abs(dx) < std::min(VisibleCols, Cols) / 2 &&
            std::abs(dy) < std::min(VisibleRows, Rows) / 2) {
            if (dx == 0 && dy == 0) return;
            FScrollWaiting = true;
            FScrollWaitDX = dx;
            FScrollWaitDY = dy;
            if (!FScrollPosted) {
                FScrollPosted = true;
                FViewPtr->PostScroll();
            }
            return;
        }
    }
    ScrollTo(Left + dx, Top + dy);
}

void TColorTTY::NewLine()
{
    if (FObserver) {
        FObserver->LineFeed(CursorY, CursorY + 1 < Rows ? TTTYOutputObserver::lfNextRow
                                                        : TTTYOutputObserver::lfScrollRing);
        FObservedRow = -1;
    }
    if (CursorY + 1 < Rows) {
        ++CursorY;
        FReach = std::max(FReach, CursorY);
        return;
    }
    CursorY = Rows - 1;
    FReach = Rows - 1; // the rows moved up by one under it
    ScrollRingUp();
    if (!ScrolledBack) Scroll(0, 1);
}

void TColorTTY::ScrollBy(int dx, int dy)
{
    Scroll(dx, dy);
}
