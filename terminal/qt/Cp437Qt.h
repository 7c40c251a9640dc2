// Code page 437 for the widgets that show and take its bytes (the terminal, the colour
// edits): the byte a key types, and the glyphs a font has for the 256 bytes.
#pragma once

#include <QRawFont>

#include <array>
#include <cstdint>

class QKeyEvent;

// The byte a key types: Ctrl+letter its control byte; Return and Enter CR (LF with Ctrl);
// Backspace BS (DEL with Ctrl); Tab, Escape and Ctrl+[ \ ] ^ _ their control bytes; any
// other key its character in code page 437. False for keys that type nothing: Delete,
// Alt combinations, characters the code page lacks.
bool Cp437KeyByte(const QKeyEvent *e, uint8_t &ch);

// The glyph of each byte's character in `font`, or of its ASCII stand-in where the font
// lacks it; 0 where it has neither. Glyphs come from the one font so that they fit its cells.
std::array<quint32, 256> Cp437Glyphs(const QRawFont &font);
