// Colours for readers with low vision: the high-contrast palette and the WCAG contrast
// rule it keeps. Text colours are light and backgrounds dark, so most cells need nothing;
// a cell whose pair still falls short has its text colour moved toward white or black
// until it reaches the ratio.
#pragma once

#include <cstdint>

// WCAG 2 contrast ratio of two 0xRRGGBB colours: 1 (none) to 21 (black on white).
double ContrastRatio(uint32_t a, uint32_t b);
// Text colour `fg`, changed as little as needed to stand at least `ratio` against `bg`.
uint32_t WithContrast(uint32_t fg, uint32_t bg, double ratio = 4.5);

// The high-contrast colours of the 16 colour indices as text and as background.
uint32_t HighContrastText(int index);
uint32_t HighContrastBackground(int index);
// The text colour of a cell of text index `fg` on background index `bg` in the high-contrast
// palette, its contrast made good (from a table built once).
uint32_t HighContrastCellText(int fg, int bg);
