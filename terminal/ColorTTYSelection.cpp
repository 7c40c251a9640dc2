#include "terminal/ColorTTYSelection.h"

#include <algorithm>

namespace {

// Cells never hold control bytes through Write, but a NUL or a 0x01 smuggled in through
// WriteCells must not cut the text short or fake a colour code.
inline char TextByte(uint8_t c)
{
    return c < 0x20 ? ' ' : char(c);
}

bool Before(TCellPoint a, TCellPoint b)
{
    return a.y < b.y || (a.y == b.y && a.x < b.x);
}

TCellPoint ClampPoint(const TColorTTY &t, TCellPoint p)
{
    p.y = std::clamp(p.y, t.Screen().FirstRow(), t.Rows);
    p.x = p.y == t.Rows ? 0 : std::clamp(p.x, 0, t.Cols);
    return p;
}

// The one walk over the selected text, history and ring alike: piece(row, from, to, lineEnd)
// for the columns from..to-1 of every row the selection touches, in order. A piece that
// ends its line (all but the one on SelEnd's row) comes without its trailing spaces.
template <class F> void WalkSelection(const TColorTTY &t, F piece)
{
    const TCellPoint s = ClampPoint(t, t.SelStart), e = ClampPoint(t, t.SelEnd);
    if (!Before(s, e)) return;
    TRowScratch scratch;
    int from = s.x;
    for (int y = s.y; y <= e.y && y < t.Rows; ++y) {
        const TRowView row = t.Screen().RowAt(y, scratch);
        const bool lineEnd = y < e.y;
        int to = lineEnd ? t.Cols : e.x;
        if (lineEnd)
            while (to > from && TextByte(row.Chars[to - 1]) == ' ')
                --to;
        piece(row, from, to, lineEnd);
        from = 0;
    }
}

void AppendCodes(std::string &out, TColourAttr &cur, TColourAttr a)
{
    auto code = [&out](char letter) {
        out += ColourCodeByte;
        out += letter;
    };
    const TColourAttr modes = caBright | caFlash;
    if ((cur & modes) && (cur & modes) != (a & modes)) {
        code('a');
        cur = caReset;
    }
    if ((a & caBright) && !(cur & caBright)) code('f');
    if ((a & caFlash) && !(cur & caFlash)) code('e');
    if ((a & 0x07) != (cur & 0x07)) code(ForegroundLetters[a & 0x07]);
    if ((a & 0x70) != (cur & 0x70)) code(BackgroundLetters[(a >> 4) & 0x07]);
    cur = a;
}

} // namespace

void TColorTTY::SetSelection(TCellPoint start, TCellPoint end)
{
    FViewport.SetSelectionPoints(start, end);
    InvalidateAll();
}

bool TColorTTY::AnchorIsStart() const
{
    return AnchorCell == SelStart;
}

void TColorTTY::GetSelTextBuf(char *buffer, int size) const
{
    if (!buffer || size <= 0) return;
    int used = 0;
    WalkSelection(*this, [&](TRowView row, int from, int to, bool lineEnd) {
        for (int x = from; x < to && used < size - 1; ++x)
            buffer[used++] = TextByte(row.Chars[x]);
        if (lineEnd && used < size - 2) {
            buffer[used++] = '\r';
            buffer[used++] = '\n';
        }
    });
    buffer[used] = '\0';
}

std::string SelectionText(const TColorTTY &t)
{
    std::string out;
    WalkSelection(t, [&](TRowView row, int from, int to, bool lineEnd) {
        for (int x = from; x < to; ++x)
            out += TextByte(row.Chars[x]);
        if (lineEnd) out += "\r\n";
    });
    return out;
}

std::string SelectionColouredText(const TColorTTY &t)
{
    std::string out;
    // Nothing selected gives an empty text, not a lone reset code that would change the
    // colour where it is pasted.
    if (!Before(ClampPoint(t, t.SelStart), ClampPoint(t, t.SelEnd))) return out;
    out += ColourCodeByte;
    out += 'a';
    TColourAttr cur = caReset;
    // Trailing spaces are dropped before their codes, so no code dangles at a line end.
    WalkSelection(t, [&](TRowView row, int from, int to, bool lineEnd) {
        for (int x = from; x < to; ++x) {
            if (row.Attrs[x] != cur) AppendCodes(out, cur, row.Attrs[x]);
            out += TextByte(row.Chars[x]);
        }
        if (lineEnd) out += "\r\n";
    });
    return out;
}

TCellPoint SelPointFromPixel(const TColorTTY &t, int x, int y, int charWidth, int charHeight)
{
    if (charWidth <= 0 || charHeight <= 0) return {0, t.Top};
    if (y < 0) x = 0;
    x = std::max(x, 0);
    y = std::max(y, 0);
    // a split view's handle is the boundary after the history part's last row
    const TViewRows rows = ViewRows(t);
    const int row = rows.RowAt(y / charHeight);
    if (row == TViewRows::Handle) return {0, rows.Top + rows.Upper};
    TCellPoint p{(x + charWidth / 2) / charWidth + t.Left, row};
    if (p.x > t.Cols) {
        p.x = 0;
        ++p.y;
    }
    if (p.y >= t.Rows) p = {0, t.Rows};
    return p;
}

void SelectToMouse(TColorTTY &t, TCellPoint mouse)
{
    TTTYViewport &v = t.Viewport();
    v.SetMouseCell(mouse);
    const TCellPoint a = t.AnchorCell;
    if (mouse.y < a.y || (mouse.y == a.y && mouse.x <= a.x))
        v.SetSelectionPoints(mouse, a);
    else
        v.SetSelectionPoints(a, mouse);
}

void SelectWordAtMouse(TColorTTY &t)
{
    const TCellPoint m = t.MouseCell;
    if (m.y < t.Screen().FirstRow() || m.y >= t.Rows || m.x < 0 || m.x >= t.Cols) return;
    TRowScratch scratch;
    const uint8_t *chars = t.Screen().RowAt(m.y, scratch).Chars;
    if (chars[m.x] == ' ') return;
    int s = m.x;
    while (s >= 1 && chars[s] != ' ')
        --s;
    if (chars[s] == ' ') ++s;
    int e = m.x;
    while (e < t.Cols && chars[e] != ' ')
        ++e;
    t.Viewport().SetSelectionPoints({s, m.y}, {e, m.y});
    t.Viewport().SetMouseCell({e, m.y});
}

int SelectionDragBottom(const TColorTTY &t, int clientHeight, int charHeight)
{
    const TTTYViewport &v = t.Viewport();
    return v.ShowsSplit() && t.AnchorCell.y < t.Top + v.UpperRows() ? v.UpperRows() * charHeight
                                                                    : clientHeight;
}

bool AutoScrollStep(TColorTTY &t, int x, int y, int clientHeight, int charWidth, int charHeight)
{
    t.Viewport().SetFlashHidden(false);
    int top;
    if (y < 0 && t.Top > t.Screen().FirstRow())
        top = t.Top - 1;
    else if (y > clientHeight - 1 && t.Top < t.Rows - t.VisibleRows)
        top = t.Top + 1;
    else
        return false;
    const int before = t.Top;
    t.ScrollTo(t.Left, top);
    SelectToMouse(t, SelPointFromPixel(t, x, y, charWidth, charHeight));
    return t.Top != before;
}
