// The colour attribute byte and the two-byte colour codes (0x01 + letter) shared by the
// terminal, the colour edit controls, the palette window and the main window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Bits 0-2 foreground, bit 3 bright, bits 4-6 background, bit 7 flash.
using TColourAttr = uint8_t;

constexpr TColourAttr caReset = 7;    // white on black
constexpr TColourAttr caCleared = 15; // bright white on black: a cleared terminal
constexpr TColourAttr caErased = 0;   // erased cells
constexpr TColourAttr caBright = 0x08;
constexpr TColourAttr caFlash = 0x80;

constexpr char ColourCodeByte = 0x01;
// Letters of the colour indices 0-7: lower case sets the foreground, upper case the background.
constexpr char ForegroundLetters[] = "drgybpcw";
constexpr char BackgroundLetters[] = "DRGYBPCW";

// Longest output of ColourCodesBetween, without the NUL.
constexpr int MaxColourCodesLength = 10;

// The attribute after the colour code letter; unknown letters leave it unchanged.
TColourAttr ApplyColourCode(TColourAttr attr, uint8_t letter);

// Writes the shortest run of colour codes that turns `from` into `to` into `buf`
// (at least MaxColourCodesLength + 1 bytes), NUL-terminated; returns its length.
int ColourCodesBetween(TColourAttr from, TColourAttr to, char *buf);
std::string ColourCodesBetween(TColourAttr from, TColourAttr to);

// The text without every 0x01 byte and the byte after it.
std::string StripColourCodes(std::string_view text);
// NUL-terminated variant; `dest` may equal `src` (stripping in place). Returns the length.
size_t StripColourCodes(const char *src, char *dest);

// 0xRRGGBB of a 4-bit colour index; 16 and above (and negatives) give black.
uint32_t TerminalPalette(int index);
uint32_t EditPalette(int index);
