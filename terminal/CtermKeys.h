// The keys an ANSI-BBS host reads, as SyncTERM sends them: the editing and cursor keys as
// ANSI sequences, the function keys as ESC[n~, and in doorway mode NUL and the PC's scan
// code instead.
#pragma once

#include "terminal/Keys.h"

#include <string>

// The bytes of a key-down (function keys included); empty for a key that sends none (a
// character key, or a combination nobody reads).
std::string AnsiBbsKeyBytes(uint16_t key, TShiftState shift, bool doorway);
