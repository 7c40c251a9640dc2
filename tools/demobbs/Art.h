#pragma once
// The demo BBS's welcome art for ANSI-BBS terminals, and the plain text for the others.

#include <string>
#include <string_view>

namespace demobbs {

// 80 columns of ANSI art saved the way DOS editors saved it: code page 437 blocks, iCE
// colours (bright backgrounds), attributes restated in full, blanks skipped with ESC[nC,
// full rows left to wrap by themselves, a signature placed with ESC[row;colH. It clears
// the screen first and leaves the cursor on the row after the picture.
std::string AnsiWelcome();

// Text for a terminal that did not answer as an ANSI terminal: colour codes dropped,
// code page 437 lines and blocks as ASCII (so no byte can be an IAC).
std::string PlainTelnetText(std::string_view text);

} // namespace demobbs
