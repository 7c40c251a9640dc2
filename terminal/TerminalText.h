// The terminal's text as a screen reader reads it: one line per row, from the first row
// that holds text (or the cursor's row) to the last (or the cursor's), trailing blanks
// dropped but the cursor's row kept up to the cursor. As for the search, a row whose last
// cell holds a character runs on into the next one (the terminal wrapped there), unless
// that character draws a box or a block; other rows end in a line feed. Offsets count characters: one per
// cell byte or line feed.
#pragma once

#include "terminal/ColourAttr.h"

#include <cstdint>
#include <string>
#include <vector>

class TColorTTY;

// "black", "dark red", ... "white": the 16 colour indices as the colour grid names them.
const char *ColourName(int index);

// Characters of logical row y without its trailing blanks; on the cursor's row at least up
// to the cursor.
int RowTextLength(const TColorTTY &tty, int y);
// The row's last cell holds a character (not box drawing): it runs on into the next row.
bool RowRunsOn(const TColorTTY &tty, int y);
// The characters of row y up to RowTextLength, as code page 437 bytes.
std::string RowText(const TColorTTY &tty, int y);

enum TTextUnit { tuCharacter, tuWord, tuLine };

// The offsets of the text of a terminal at one moment; rebuilt when the terminal changed.
class TTTYText
{
public:
    void Build(const TColorTTY &tty);

    int Length() const { return FTotal; }
    int FirstRow() const { return FFirst; }
    int LastRow() const { return FFirst + int(FStarts.size()) - 1; }
    // Offset of cell (x, y); rows outside the text and columns past a row's text clamp.
    int Offset(int y, int x) const;
    // The row of an offset (clamped into the text) and its column; the line feed after a
    // row's text is its column RowLength.
    int RowOf(int offset) const;
    int RowStart(int y) const { return FStarts[size_t(y - FFirst)]; }
    int RowLength(int y) const { return FLengths[size_t(y - FFirst)]; }
    // Where the cursor stands.
    int Caret() const { return FCaretAt; }
    // Characters start..end-1 (clamped) as code page 437 bytes, line feeds between rows.
    std::string Text(const TColorTTY &tty, int start, int end) const;
    // The character, word or line at `offset`: [start, end). A line includes its line feed;
    // a word is a run of non-blank characters and the blanks after it, within a row.
    void UnitAt(const TColorTTY &tty, TTextUnit unit, int offset, int &start, int &end) const;
    // The run of equal attribute around `offset` within its row (the line feed has the
    // attribute of the cell before it): its attribute, start and end.
    TColourAttr AttrRun(const TColorTTY &tty, int offset, int &start, int &end) const;

private:
    int FFirst = 0;
    std::vector<int> FStarts, FLengths;
    std::vector<uint8_t> FRuns; // the row runs on into the next (no line feed)
    int FTotal = 0;
    int FCaretAt = 0;
};
