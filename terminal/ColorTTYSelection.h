// Mouse selection on the terminal and the texts made of it, apart from any window:
// the widget feeds pixel positions and cell metrics in, the clipboard takes the texts out.
#pragma once

#include "terminal/ColorTTY.h"

#include <string>

// Clipboard type under which the coloured text travels (NUL-terminated bytes), shared by
// the terminal, the colour edit controls and the main window's paste.
inline constexpr char ColouredTextMimeType[] = "application/x-qt-windows-mime;value=\"ORVO Colored Text\"";

// The cell boundary nearest to client pixel (x, y) with cells of charWidth x charHeight
// pixels: a column past Cols wraps to the next row, rows past the buffer give (0, Rows).
TCellPoint SelPointFromPixel(const TColorTTY &tty, int x, int y, int charWidth, int charHeight);

// MouseCell := mouse, and the selection spans from AnchorCell to it in reading order.
void SelectToMouse(TColorTTY &tty, TCellPoint mouse);

// Double-click: selects the space-delimited word at MouseCell on its row; MouseCell moves
// to the end of the word. A space under the mouse selects nothing.
void SelectWordAtMouse(TColorTTY &tty);

// The pixel row where a drag stops selecting and scrolls: a split view's handle while the
// selection began in its history part, else the view's height.
int SelectionDragBottom(const TColorTTY &tty, int clientHeight, int charHeight);

// One auto-scroll step while the button is held at client pixel (x, y) outside a view of
// clientHeight pixels: scrolls one row towards the mouse and extends the selection.
// Returns true when the view moved.
bool AutoScrollStep(TColorTTY &tty, int x, int y, int clientHeight, int charWidth, int charHeight);

// The selection as plain bytes: rows end in CR LF with their trailing spaces removed, the
// last row is cut at SelEnd with its spaces kept. No NUL appended.
std::string SelectionText(const TColorTTY &tty);

// The selection in the coloured clipboard format: starts with 0x01 'a', then colour codes in
// front of every character whose attribute differs from the running one; empty when nothing
// is selected. No NUL appended.
std::string SelectionColouredText(const TColorTTY &tty);
