// ANSI art files as the art scene's viewers draw them, apart from any terminal: a canvas
// of the file's width that grows downwards without limit (no screen, no scrolling), the
// SAUCE record's description of the file, and the way back from cells to an .ans file.
//
// The drawing follows the scene's renderers: CR is nothing, a bare LF starts a new line,
// a tab moves eight columns on, NUL is a blank cell, other control bytes are glyphs, the
// text ends at the first SUB (0x1A), and the cursor wraps to a new line when it passes
// the last column, before whatever byte comes next (so a full line and CR LF leave an
// empty line). SGR 1 while bold is on changes nothing.
#pragma once

#include "terminal/ColourAttr.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The SAUCE record at the end of a file (all texts as stored, code page 437, trailing
// blanks dropped).
struct TSauce
{
    bool Present = false;
    std::string Title, Author, Group, Date, Font;
    uint8_t DataType = 0, FileType = 0, Flags = 0;
    uint16_t Width = 0, Height = 0; // TInfo1 and TInfo2 (character art: columns and lines)
    std::vector<std::string> Comments;
    bool IceColours() const { return Flags & 1; }
};

// Reads the SAUCE record and its comments; returns how many bytes of `file` are the
// picture (up to the record, its comments and the end-of-file byte before them). A
// damaged record adds what is wrong to `notes` and counts as none.
size_t ReadSauce(std::string_view file, TSauce &sauce, std::vector<std::string> &notes);

class TArtCanvas
{
public:
    // Beyond these the file is cut short, with a note: memory stays bounded.
    static constexpr int MaxWidth = 1000;
    static constexpr size_t MaxCells = size_t(16) << 20;

    explicit TArtCanvas(int width = 80);
    int Width() const { return FWidth; }
    int Rows() const { return FRows; }
    uint8_t CharAt(int x, int y) const { return FChars[Index(x, y)]; }
    TColourAttr AttrAt(int x, int y) const { return FAttrs[Index(x, y)]; }
    const uint8_t *RowChars(int y) const { return &FChars[Index(0, y)]; }
    const uint8_t *RowAttrs(int y) const { return &FAttrs[Index(0, y)]; }
    // Grows to hold row y; false when that would pass MaxCells.
    bool Reach(int y);
    void Put(int x, int y, uint8_t c, TColourAttr a);
    void Clear();

private:
    size_t Index(int x, int y) const { return size_t(y) * size_t(FWidth) + size_t(x); }
    int FWidth, FRows = 0;
    std::vector<uint8_t> FChars, FAttrs;
};

struct TArtFile
{
    TSauce Sauce;
    TArtCanvas Canvas;
    bool IceColours = false;        // bit 7 of an attribute is a bright background, not blinking
    std::vector<std::string> Notes; // what was wrong with the file, for the user
};

// Draws a file's bytes. The width is SAUCE's for character art, else `width`.
TArtFile ReadArt(std::string_view file, int width = 80);

// Cells back to an .ans file: SGR colours, CR LF after each row but a full one (it goes on
// to the next by itself), trailing blanks dropped, and a SAUCE record naming
// the width and the iCE colours. `chars` and `attrs` hold `rows` rows of `width` cells.
std::string CellsToAnsi(const uint8_t *chars, const uint8_t *attrs, int width, int rows, bool ice,
                        const std::string &title = {});
