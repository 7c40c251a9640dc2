#include "terminal/TTYScreen.h"

#include "terminal/ColourAttr.h"

#include <algorithm>
#include <cstring>

bool TTTYScreen::RowIsBlank(int y) const
{
    const uint8_t *chars = RowChars(y), *attrs = RowAttrs(y);
    for (int x = 0; x < FCols; ++x)
        if (chars[x] != ' ' || (attrs[x] & 0xF0)) return false;
    return true;
}

TRowView TTTYScreen::HistoryRowAt(int y, TRowScratch &s) const
{
    s.Chars.resize(size_t(FCols));
    s.Attrs.resize(size_t(FCols));
    FHistory.Read(y + FHistory.Count(), s.Chars.data(), s.Attrs.data(), FCols);
    return {s.Chars.data(), s.Attrs.data()};
}

void TTTYScreen::MoveCells(int y, int from, int to, int n)
{
    const size_t i = size_t(CellIndex(0, y));
    std::memmove(FChars.data() + i + size_t(to), FChars.data() + i + size_t(from), size_t(n));
    std::memmove(FAttrs.data() + i + size_t(to), FAttrs.data() + i + size_t(from), size_t(n));
}

void TTTYScreen::CopyRow(int from, int to)
{
    const size_t f = size_t(CellIndex(0, from)), t = size_t(CellIndex(0, to));
    std::memcpy(&FChars[t], &FChars[f], size_t(FCols));
    std::memcpy(&FAttrs[t], &FAttrs[f], size_t(FCols));
}

void TTTYScreen::SetRow(int y, const uint8_t *chars, const uint8_t *attrs)
{
    const size_t i = size_t(CellIndex(0, y));
    std::memcpy(&FChars[i], chars, size_t(FCols));
    std::memcpy(&FAttrs[i], attrs, size_t(FCols));
}

void TTTYScreen::Resize(int rows, int cols)
{
    FChars.assign(size_t(rows) * size_t(cols), ' ');
    FAttrs.assign(size_t(rows) * size_t(cols), caCleared);
    FRingStart = 0;
    FRows = rows;
    FCols = cols;
}

void TTTYScreen::TurnRingIntoHistory()
{
    // Blank rows before any text (the empty screen a session starts with) are not history.
    if (FHistory.Count() > 0 || !RowIsBlank(0)) FHistory.Push(RowChars(0), RowAttrs(0), FCols);
    ++FScrolled;
    FRingStart = FRingStart + 1 == FRows ? 0 : FRingStart + 1;
    // The next row to leave was written a whole ring ago and has left the caches by now:
    // fetch it while the coming line is interpreted.
    const uint8_t *chars = RowChars(0), *attrs = RowAttrs(0);
    for (int x = 0; x < FCols + 63; x += 64) { // every cache line the row touches
        __builtin_prefetch(chars + std::min(x, FCols - 1));
        __builtin_prefetch(attrs + std::min(x, FCols - 1));
    }
}
