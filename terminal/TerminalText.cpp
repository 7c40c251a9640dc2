#include "terminal/TerminalText.h"

#include "terminal/ColorTTY.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

bool Blank(uint8_t c)
{
    return c == ' ' || c == 0;
}

constexpr const char *ColourNames[16] = {
    "black",     "dark red",   "dark green", "dark yellow", "dark blue", "dark magenta",
    "dark cyan", "light grey", "dark grey",  "red",         "green",     "yellow",
    "blue",      "magenta",    "cyan",       "white",
};

} // namespace

const char *ColourName(int index)
{
    return ColourNames[index & 15];
}

int RowTextLength(const TColorTTY &tty, int y)
{
    const uint8_t *row = tty.Screen().RowChars(y);
    int end = tty.Cols;
    // Sixteen cells at a time from the right (rows are mostly blank at their ends): a cell
    // holds text when it is neither a space nor a NUL.
    using Cells = uint8_t __attribute__((vector_size(16)));
    for (; end >= 16; end -= 16) {
        Cells c;
        std::memcpy(&c, row + end - 16, 16);
        const Cells text = (c != ' ') & (c != 0);
        uint64_t half[2];
        std::memcpy(half, &text, 16);
        if ((half[0] | half[1]) == 0) continue;
        // the text byte at the highest address: little-endian words hold it in their top byte
        static_assert(std::endian::native == std::endian::little);
        end = half[1] ? end - 8 + (63 - std::countl_zero(half[1])) / 8 + 1
                      : end - 16 + (63 - std::countl_zero(half[0])) / 8 + 1;
        break;
    }
    if (end < 16)
        while (end > 0 && Blank(row[end - 1]))
            --end;
    if (y == tty.CursorY) end = std::max(end, std::min(tty.CursorX, tty.Cols));
    return end;
}

bool RowRunsOn(const TColorTTY &tty, int y)
{
    // A row of text that fills the width wrapped; a box or block picture that does is a
    // picture of its own rows.
    const uint8_t last = tty.Screen().RowChars(y)[tty.Cols - 1];
    return y + 1 < tty.Rows && !Blank(last) && !(last >= 0xB0 && last <= 0xDF);
}

std::string RowText(const TColorTTY &tty, int y)
{
    return std::string(reinterpret_cast<const char *>(tty.Screen().RowChars(y)),
                       size_t(RowTextLength(tty, y)));
}

void TTTYText::Build(const TColorTTY &tty)
{
    int first = tty.CursorY, last = tty.CursorY;
    for (int y = 0; y < first; ++y)
        if (RowTextLength(tty, y) > 0) {
            first = y;
            break;
        }
    for (int y = tty.Rows - 1; y > last; --y)
        if (RowTextLength(tty, y) > 0) {
            last = y;
            break;
        }
    FFirst = first;
    const size_t n = size_t(last - first + 1);
    FStarts.resize(n);
    FLengths.resize(n);
    FRuns.resize(n);
    int at = 0;
    for (size_t i = 0; i < n; ++i) {
        const int y = first + int(i);
        FStarts[i] = at;
        FLengths[i] = RowTextLength(tty, y);
        FRuns[i] = i + 1 < n && RowRunsOn(tty, y);
        at += FLengths[i] + (i + 1 < n && !FRuns[i] ? 1 : 0);
    }
    FTotal = at;
    FCaretAt = Offset(tty.CursorY, tty.CursorX);
}

int TTTYText::Offset(int y, int x) const
{
    if (y < FFirst) return 0;
    if (y > LastRow()) return FTotal;
    const size_t i = size_t(y - FFirst);
    return FStarts[i] + std::clamp(x, 0, FLengths[i]);
}

int TTTYText::RowOf(int offset) const
{
    offset = std::clamp(offset, 0, FTotal);
    // the last row starting at or before the offset
    const auto it = std::upper_bound(FStarts.begin(), FStarts.end(), offset);
    return FFirst + int(it - FStarts.begin()) - 1;
}

std::string TTTYText::Text(const TColorTTY &tty, int start, int end) const
{
    start = std::clamp(start, 0, FTotal);
    end = std::clamp(end, start, FTotal);
    std::string out;
    out.reserve(size_t(end - start));
    for (int y = RowOf(start); y <= LastRow() && RowStart(y) < end; ++y) {
        const int s = RowStart(y), len = RowLength(y);
        const int from = std::max(start, s) - s, to = std::min(end, s + len) - s;
        if (to > from)
            out.append(reinterpret_cast<const char *>(tty.Screen().RowChars(y)) + from, size_t(to - from));
        if (y < LastRow() && !FRuns[size_t(y - FFirst)] && end > s + len) out += '\n';
    }
    return out;
}

void TTTYText::UnitAt(const TColorTTY &tty, TTextUnit unit, int offset, int &start, int &end) const
{
    offset = std::clamp(offset, 0, FTotal);
    const int y = RowOf(offset);
    const int s = RowStart(y), len = RowLength(y);
    const int lineEnd = y < LastRow() ? RowStart(y + 1) : FTotal;
    switch (unit) {
    case tuCharacter:
        start = offset;
        end = std::min(offset + 1, FTotal);
        return;
    case tuLine:
        start = s;
        end = lineEnd;
        return;
    case tuWord:
        break;
    }
    const int x = offset - s;
    if (x >= len) { // the line feed
        start = offset;
        end = lineEnd;
        return;
    }
    const uint8_t *row = tty.Screen().RowChars(y);
    int a = x, b = x;
    if (Blank(row[x])) {
        // blanks belong to the word before them; leading blanks are a unit of their own
        while (a > 0 && Blank(row[a - 1]))
            --a;
        if (a == 0) {
            while (b < len && Blank(row[b]))
                ++b;
            start = s;
            end = s + b;
            return;
        }
        b = a;
        --a;
    }
    while (a > 0 && !Blank(row[a - 1]))
        --a;
    while (b < len && !Blank(row[b]))
        ++b;
    while (b < len && Blank(row[b]))
        ++b;
    start = s + a;
    end = s + b;
}

TColourAttr TTTYText::AttrRun(const TColorTTY &tty, int offset, int &start, int &end) const
{
    offset = std::clamp(offset, 0, FTotal);
    const int y = RowOf(offset);
    const int s = RowStart(y), len = RowLength(y);
    if (len == 0) {
        start = s;
        end = y < LastRow() ? RowStart(y + 1) : FTotal;
        return caErased;
    }
    const uint8_t *attrs = tty.Screen().RowAttrs(y);
    const int x = std::min(offset - s, len - 1);
    const TColourAttr a = attrs[x];
    int b = x, e = x + 1;
    while (b > 0 && attrs[b - 1] == a)
        --b;
    while (e < len && attrs[e] == a)
        ++e;
    start = s + b;
    end = e == len ? (y < LastRow() ? RowStart(y + 1) : FTotal) : s + e;
    return a;
}
