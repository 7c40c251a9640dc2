// Text search over the whole buffer of a terminal, scrollback included.
//
// Rows are joined into logical lines before searching, so a word the terminal wrapped
// onto the next row is still found. The model does not record where it wrapped, so the
// rule is: a row whose last cell holds a non-blank character continues on the next row
// (text that filled the row to its last column wrapped there). Other rows end their line,
// trailing blanks dropped. Rows are logical (oldest first), whatever the ring's start.
#pragma once

#include <string_view>
#include <vector>

class TColorTTY;

// Columns X1 .. X2-1 of logical row Row.
struct TCellSpan
{
    int Row = 0;
    int X1 = 0;
    int X2 = 0;
    bool operator==(const TCellSpan &) const = default;
};

// One match: one span per row it covers, in reading order.
struct TTextMatch
{
    std::vector<TCellSpan> Spans;
};

// Every match of `needle` (code page 437 bytes) in reading order; matches do not overlap.
// Without `matchCase` the letters A-Z and a-z are the same.
std::vector<TTextMatch> FindInScrollback(const TColorTTY &tty, std::string_view needle, bool matchCase);
