#include "terminal/ColorTTY.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint8_t ESC = 0x1B;

// Index of the first byte below 0x20 in p[0..n), or n.
inline size_t FindControl(const uint8_t *p, size_t n)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(0x20);
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        // v >= 0x20 (unsigned) exactly where max(v, 0x20) == v
        unsigned printable = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, space), v)));
        if (printable != 0xFFFF) return i + unsigned(__builtin_ctz(~printable));
    }
#endif
    for (; i < n; ++i)
        if (p[i] < 0x20) return i;
    return n;
}

// Index of the first 0x01 or ESC in p[0..n), or n; `controls` is set when other bytes
// below 0x20 come before it.
inline size_t FindCodeOrEscape(const uint8_t *p, size_t n, bool &controls)
{
    size_t i = 0;
    for (;;) {
        i += FindControl(p + i, n - i);
        if (i >= n || p[i] == 0x01 || p[i] == ESC) return i;
        controls = true;
        ++i;
    }
}

} // namespace

TColorTTY::TColorTTY()
{
    SetBufferSize(25, 80);
}

TColorTTY::~TColorTTY() = default;

void TColorTTY::SetView(TTTYView *view)
{
    ViewPtr = view;
    TrackPosted = ScrollPosted = false;
    // Requests the old view will never deliver are carried out now.
    const bool track = TrackWaiting;
    TrackWaiting = false;
    if (ScrollWaiting) {
        const int dx = ScrollWaitDX, dy = ScrollWaitDY;
        ScrollWaiting = false;
        ScrollWaitDX = ScrollWaitDY = 0;
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
        if (HasWindow()) ViewPtr->StopTimer();
        TimerActive = false;
    }
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
    Chars.assign(size_t(rows) * size_t(cols), ' ');
    Attrs.assign(size_t(rows) * size_t(cols), caCleared);
    RingStart = 0;
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
    SavedCursor = {std::clamp(SavedCursor.x, 0, Cols - 1), std::clamp(SavedCursor.y, 0, Rows - 1)};
    // the selected text is gone with the old buffer, and its points may lie outside the new one
    SelStart = SelEnd = AnchorCell = MouseCell = TCellPoint{};
    MoveCursor(CursorX, cy);
    ScrollTo(Left, Top + delta);
    if (HasWindow()) ViewPtr->InvalidateAll(!HasOption(coLazyWrite));
}

void TColorTTY::SetVisibleSize(int visibleCols, int visibleRows)
{
    VisibleCols = std::max(0, visibleCols);
    VisibleRows = std::max(0, visibleRows);
    MaxLeft = std::max(0, Cols - VisibleCols);
    MaxTop = std::max(0, Rows - VisibleRows);
    ScrollTo(std::min(Left, MaxLeft), std::min(Top, MaxTop));
}

// ---------------------------------------------------------------- cells

void TColorTTY::WriteCells(int x, int y, int count, const char *source)
{
    if (x < 0 || y < 0 || y >= Rows || x >= Cols || count <= 0) return;
    count = std::min(count, Cols - x);
    const int i = CellIndex(x, y);
    uint8_t *chars = &Chars[i];
    uint8_t *attrs = &Attrs[i];
    if (count >= 8 && count <= 16) {
        // short runs are the common case (a colour change every few characters): two
        // overlapping fixed-size moves instead of library calls
        const uint64_t pattern = 0x0101010101010101ull * Attr;
        uint64_t head, tail;
        std::memcpy(&head, source, 8);
        std::memcpy(&tail, source + count - 8, 8);
        std::memcpy(chars, &head, 8);
        std::memcpy(chars + count - 8, &tail, 8);
        std::memcpy(attrs, &pattern, 8);
        std::memcpy(attrs + count - 8, &pattern, 8);
        return;
    }
    if (count < 8) {
        for (int k = 0; k < count; ++k) {
            chars[k] = uint8_t(source[k]);
            attrs[k] = Attr;
        }
        return;
    }
    std::memset(attrs, Attr, size_t(count));
    std::memcpy(chars, source, size_t(count));
}

void TColorTTY::EraseCells(int x, int y, int count)
{
    if (count <= 0 || y < 0 || y >= Rows) return;
    x = std::clamp(x, 0, Cols);
    while (count > 0 && y < Rows) {
        const int n = std::min(count, Cols - x);
        if (n > 0) {
            const int i = CellIndex(x, y);
            std::memset(&Chars[i], ' ', size_t(n));
            std::memset(&Attrs[i], caErased, size_t(n));
        }
        count -= n;
        x = 0;
        ++y;
    }
}

void TColorTTY::InvalidateCells(int x1, int x2)
{
    x2 = std::min(x2, Cols);
    if (x2 > x1 && HasWindow()) ViewPtr->InvalidateCells(x1, x2, CursorY, !HasOption(coLazyWrite));
}

void TColorTTY::InvalidateAll()
{
    if (HasWindow()) ViewPtr->InvalidateAll(!HasOption(coLazyWrite));
}

void TColorTTY::UpdateCaret()
{
    if (HasWindow()) ViewPtr->UpdateCaret();
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
    size_t seg = 0;        // start of the pending run of ordinary bytes
    bool controls = false; // the pending run holds control bytes
    size_t i = 0;
    while (i < count) {
        switch (EscState) {
        case 0:
            i += FindCodeOrEscape(p + i, count - i, controls);
            if (i >= count) break;
            if (seg < i) PutRun(data + seg, i - seg, !controls);
            controls = false;
            EscState = p[i] == 0x01 ? 1 : 2;
            seg = ++i;
            break;
        case 1:
            EscState = 0;
            Attr = ApplyColourCode(Attr, p[i]);
            seg = ++i;
            break;
        case 2:
            EscState = 0;
            ApplyEscape(p[i]);
            seg = ++i;
            break;
        case 3: {
            // parameters in one sweep; beyond the ninth they are dropped
            int len = EscParamsLen; // a local: stores through char pointers would force reloads
            while (i < count && ((p[i] >= '0' && p[i] <= '9') || p[i] == ';')) {
                if (len < 9) EscParams[len++] = char(p[i]);
                ++i;
            }
            EscParams[len] = 0;
            EscParamsLen = len;
            seg = i;
            if (i >= count) break;
            EscState = 0;
            ApplyCsi(p[i]);
            EscParamsLen = 0;
            EscParams[0] = 0;
            seg = ++i;
            break;
        }
        case 4:
            if (EscParamsLen < 9) {
                EscParams[EscParamsLen++] = char(p[i]);
                EscParams[EscParamsLen] = 0;
            }
            seg = ++i;
            if (EscParamsLen >= 2) {
                const int r = uint8_t(EscParams[0]);
                const int c = uint8_t(EscParams[1]);
                EscParamsLen = 0;
                EscParams[0] = 0;
                EscState = 0;
                MoveCursor(c - 32, (r - 32) + Rows - VisibleRows);
            }
            break;
        default: // never set by the interpreter; recover rather than stall
            EscState = 0;
            break;
        }
    }
    if (seg < count && EscState == 0) PutRun(data + seg, count - seg, !controls);
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
        EscState = 4;
        break;
    case 'Z':
        Write("Esc-Z");
        break;
    case '7':
        SavedAttr = Attr;
        break;
    case '8':
        Attr = SavedAttr;
        break;
    case '[':
        EscState = 3;
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
    const char *s = EscParams;
    const int len = EscParamsLen;
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
        ApplySgr();
        break;
    case 's':
        SavedCursor = {CursorX, CursorY};
        break;
    case 'u':
        MoveCursor(SavedCursor.x, SavedCursor.y);
        break;
    default:
        break;
    }
}

void TColorTTY::ApplySgr()
{
    // pieces between ';' in order; an empty piece is 0
    int v = 0;
    for (int i = 0; i <= EscParamsLen; ++i) {
        if (i < EscParamsLen && EscParams[i] != ';') {
            v = v * 10 + (EscParams[i] - '0'); // at most 9 digits: no overflow
            continue;
        }
        if (v == 0)
            Attr = caReset;
        else if (v == 1)
            Attr |= caBright;
        else if (v == 5)
            Attr |= caFlash;
        else if (v == 7)
            Attr = TColourAttr(((Attr & 0x0F) << 4) + (Attr >> 4));
        else if (v >= 30 && v <= 37)
            Attr = TColourAttr((Attr & ~0x07) | (v - 30));
        else if (v >= 40 && v <= 47)
            Attr = TColourAttr((Attr & ~0x70) | ((v - 40) << 4));
        v = 0;
    }
}

void TColorTTY::PutText(const char *text, size_t count)
{
    PutRun(text, count, false);
}

void TColorTTY::PutRun(const char *text, size_t count, bool printable)
{
    if (printable && count > 0 && size_t(Cols - CursorX) >= count) {
        // the common case: a run between colour changes that fits on the line
        const int x = CursorX;
        WriteCells(x, CursorY, int(count), text);
        LastChar = uint8_t(text[count - 1]);
        CursorX = x + int(count);
        InvalidateCells(x, CursorX);
        if (HasOption(coAutoTracking) && Top == MaxTop) TrackCursor();
        return;
    }
    const uint8_t *p = reinterpret_cast<const uint8_t *>(text);
    int dl = CursorX, dr = CursorX;
    auto carriageReturn = [&] {
        CursorX = 0;
        dl = dr = 0;
    };
    auto lineFull = [&] {
        InvalidateCells(dl, dr);
        carriageReturn();
        NewLine();
    };
    size_t i = 0;
    while (i < count) {
        if (CursorX >= Cols && p[i] >= 0x20) lineFull();
        const size_t room = size_t(std::max(0, Cols - CursorX));
        const size_t n = std::min(room, count - i);
        const size_t run = printable ? n : FindControl(p + i, n);
        if (run > 0) {
            WriteCells(CursorX, CursorY, int(run), text + i);
            LastChar = p[i + run - 1];
            CursorX += int(run);
            dr = std::max(dr, CursorX);
            i += run;
            if (run == n && i < count) lineFull();
            continue;
        }
        switch (p[i]) {
        case 7:
            if (HasWindow()) ViewPtr->Beep();
            LastChar = 7;
            break;
        case 8:
            if (CursorX > 0) {
                --CursorX;
                dl = std::min(dl, CursorX);
                LastChar = 8;
            }
            break;
        case 9:
            InvalidateCells(dl, dr);
            // never past the boundary after the last column
            CursorX = std::min(Cols, (CursorX + 15) / 16 * 16);
            LastChar = 9;
            break;
        case 10:
            InvalidateCells(dl, dr);
            if (LastChar != 13) carriageReturn();
            NewLine();
            dl = dr = CursorX;
            LastChar = 10;
            break;
        case 13:
            InvalidateCells(dl, dr);
            carriageReturn();
            LastChar = 13;
            break;
        default:
            break;
        }
        ++i;
    }
    InvalidateCells(dl, dr);
    if (HasOption(coAutoTracking) && Top == MaxTop) TrackCursor();
}

void TColorTTY::NewLine()
{
    if (CursorY + 1 < Rows) {
        ++CursorY;
        return;
    }
    CursorY = Rows - 1;
    RingStart = RingStart + 1 == Rows ? 0 : RingStart + 1;
    EraseCells(0, Rows - 1, Cols);
    if (Top > 0) {
        --Top;
        if (HasWindow()) ViewPtr->TopRenumbered();
    } else {
        // the view already shows row 0: the picture itself moved up
        InvalidateAll();
    }
    if (!ScrolledBack) ScrollBy(0, 1);
}

// ---------------------------------------------------------------- cursor and view

void TColorTTY::MoveCursor(int x, int y)
{
    const bool wasInView = Top <= CursorY && CursorY < Top + VisibleRows;
    CursorX = std::clamp(x, 0, Cols - 1);
    CursorY = std::clamp(y, 0, Rows - 1);
    if (HasOption(coAutoTracking) && wasInView) TrackCursor();
    if (Focused && HasOption(coFulltimeCursor)) UpdateCaret();
}

void TColorTTY::TrackCursor()
{
    if (HasOption(coLazyWrite) && HasWindow()) {
        if (!TrackWaiting) {
            TrackWaiting = true;
            if (!TrackPosted) {
                TrackPosted = true;
                ViewPtr->PostTrack();
            }
        }
        return;
    }
    MakeCursorVisible();
}

void TColorTTY::HandleTrackMessage()
{
    TrackPosted = false;
    if (!TrackWaiting) return;
    TrackWaiting = false;
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
    top = std::clamp(top, 0, MaxTop);
    ScrolledBack = top < Rows - VisibleRows;
    if (left == Left && top == Top) return;
    const int oldLeft = Left, oldTop = Top;
    Left = left;
    Top = top;
    if (HasWindow()) {
        ViewPtr->ViewMoved(oldLeft, oldTop, Left, Top);
        if (Focused && HasOption(coFulltimeCursor)) UpdateCaret();
    }
}

void TColorTTY::ScrollBy(int dx, int dy)
{
    if (HasOption(coLazyWrite) && HasWindow()) {
        if (ScrollWaiting) {
            dx += ScrollWaitDX;
            dy += ScrollWaitDY;
            ScrollWaiting = false;
            ScrollWaitDX = ScrollWaitDY = 0;
        }
        if (std::abs(dx) < std::min(VisibleCols, Cols) / 2 &&
            std::abs(dy) < std::min(VisibleRows, Rows) / 2) {
            if (dx == 0 && dy == 0) return;
            ScrollWaiting = true;
            ScrollWaitDX = dx;
            ScrollWaitDY = dy;
            if (!ScrollPosted) {
                ScrollPosted = true;
                ViewPtr->PostScroll();
            }
            return;
        }
    }
    ScrollTo(Left + dx, Top + dy);
}

void TColorTTY::HandleScrollMessage()
{
    ScrollPosted = false;
    if (!ScrollWaiting) return;
    const int dx = ScrollWaitDX, dy = ScrollWaitDY;
    ScrollWaiting = false;
    ScrollWaitDX = ScrollWaitDY = 0;
    ScrollTo(Left + dx, Top + dy);
}

// ---------------------------------------------------------------- erasing

void TColorTTY::EraseToEndOfLine()
{
    if (CursorX < Cols) EraseCells(CursorX, CursorY, Cols - CursorX);
    InvalidateCells(CursorX, Cols);
}

void TColorTTY::EraseToStartOfLine()
{
    EraseCells(0, CursorY, std::min(CursorX, Cols));
    InvalidateCells(0, CursorX);
}

void TColorTTY::EraseLine()
{
    EraseCells(0, CursorY, Cols);
    InvalidateCells(0, Cols);
}

void TColorTTY::EraseToEndOfScreen()
{
    EraseCells(CursorX, CursorY, (Rows - CursorY) * Cols - CursorX);
    InvalidateAll();
}

void TColorTTY::ClearScreen()
{
    const int rows = std::min(VisibleRows, Rows);
    EraseCells(0, Rows - rows, rows * Cols);
    InvalidateAll();
}

void TColorTTY::Clear()
{
    EraseCells(0, 0, Cols * Rows);
    Attr = caCleared;
    CursorX = CursorY = 0;
    const int oldLeft = Left, oldTop = Top;
    Left = Top = 0;
    if (HasWindow() && (oldLeft != 0 || oldTop != 0)) ViewPtr->ViewMoved(oldLeft, oldTop, 0, 0);
    InvalidateAll();
}
