#include "tools/replay/Cells.h"

#include "terminal/AnsiArt.h"

#include <algorithm>
#include <string>

namespace {

bool HoldsAnything(const TColorTTY &Tty, int y)
{
    const uint8_t *c = Tty.Screen().RowChars(y), *a = Tty.Screen().RowAttrs(y);
    for (int x = 0; x < Tty.Cols; ++x)
        if (c[x] != ' ' || (a[x] & 0xF0) != 0) return true;
    return false;
}

} // namespace

static const char Hex[] = "0123456789ABCDEF";

void PrintCells(const TArtCanvas &Canvas, std::ostream &Out)
{
    std::string Line;
    for (int y = 0; y < Canvas.Rows(); ++y) {
        Line.clear();
        for (const uint8_t *Row : {Canvas.RowChars(y), Canvas.RowAttrs(y)}) {
            if (!Line.empty()) Line += ' ';
            for (int x = 0; x < Canvas.Width(); ++x) {
                Line += Hex[Row[x] >> 4];
                Line += Hex[Row[x] & 15];
            }
        }
        Out << Line << '\n';
    }
}

void PrintCells(const TColorTTY &Tty, std::ostream &Out)
{
    int First = -1, Last = Tty.CursorY;
    for (int y = 0; y < Tty.Rows; ++y) {
        if (!HoldsAnything(Tty, y)) continue;
        if (First < 0) First = y;
        Last = std::max(Last, y);
    }
    if (First < 0) First = Tty.CursorY; // nothing anywhere: the cursor's row
    std::string Line;
    for (int y = First; y <= Last; ++y) {
        Line.clear();
        for (const uint8_t *Row : {Tty.Screen().RowChars(y), Tty.Screen().RowAttrs(y)}) {
            if (!Line.empty()) Line += ' ';
            for (int x = 0; x < Tty.Cols; ++x) {
                Line += Hex[Row[x] >> 4];
                Line += Hex[Row[x] & 15];
            }
        }
        Out << Line << '\n';
    }
}
