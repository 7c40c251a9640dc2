// Code page 437: the character set of the BBS world (box drawing, shading, accents).
// The terminal stores raw bytes; these tables turn them into Unicode for drawing and
// for the plain-text clipboard, and turn Unicode back into bytes for pasting.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cp437 {

// The glyph shown for a cell byte. Bytes below 0x20 give the classic PC glyphs
// (smileys, arrows...), 0x00 a space, 0x7F the house sign.
char32_t ToUnicode(unsigned char b);

// Byte for a code point, or -1 when code page 437 has none. Control characters
// U+0000..U+001F and U+007F map to themselves, so text keeps its line breaks and tabs;
// the PC glyphs of bytes 0x01..0x1F map to nothing, because those bytes are commands
// to the BBS and must never arise from pasted text.
int FromUnicode(char32_t cp);

// A plain ASCII character standing in for a byte when the display font has no glyph
// for it (box drawing becomes + - |, shades #, accented letters their base letter).
char AsciiFallback(unsigned char b);

// Text conversion. Bytes below 0x20 pass through as control characters (CR, LF, TAB
// stay what they are); everything else, 0x7F included, is converted as it is drawn.
std::string ToUtf8(std::string_view bytes);

// UTF-8 to code page 437 bytes; characters without a byte become '?', malformed UTF-8
// sequences become '?' byte by byte.
std::string FromUtf8(std::string_view utf8);

} // namespace cp437
