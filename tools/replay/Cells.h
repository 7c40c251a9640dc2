#pragma once
// The --cells listing of winmarlet-replay.

#include "terminal/ColorTTY.h"

#include <ostream>

// Every row of the scrollback and screen from the first that holds anything to the last
// that holds anything or the cursor: the character codes, one blank, the attributes, each
// cell as two hex digits. A cell holds something when it is not a blank or its background
// is not black.
void PrintCells(const TColorTTY &Tty, std::ostream &Out);

class TArtCanvas;
// The same listing of every row of an art viewer's canvas.
void PrintCells(const TArtCanvas &Canvas, std::ostream &Out);
