#pragma once
// winmarlet-replay --show: the replayed terminal in a window of the terminal widget.

#include "terminal/ColorTTY.h"

// Opens a window showing a copy of `terminal` (its scrollback, colours and cursor, the
// view on the last page) and runs the event loop until it is closed. Returns the exit status.
int ShowTerminal(const TColorTTY &terminal, int argc, char **argv);
