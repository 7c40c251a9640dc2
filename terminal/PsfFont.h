// Console bitmap fonts (PSF1 and PSF2, as Debian ships them, gzip-compressed or not) as
// the 256 glyphs of code page 437: the IBM PC look that ANSI art was drawn for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TCp437BitmapFont
{
public:
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    bool IsEmpty() const { return FWidth == 0; }
    // Whether pixel (x, y) of the glyph of byte b is set.
    bool Pixel(uint8_t b, int x, int y) const
    {
        return (FBits[(size_t(b) * size_t(FHeight) + size_t(y)) * size_t(FRowBytes) + size_t(x) / 8] >>
                (7 - x % 8)) &
               1;
    }

    // Reads a font from its file bytes. Each byte's glyph is found through the font's
    // Unicode table (code page 437's character for it, else its ASCII stand-in); a font
    // without a table is taken to be in code page 437 order. Returns what is wrong, or an
    // empty text; on an error the font is left as it was. A font of another code page is
    // read in its own order (glyph b for byte b), its table unused.
    std::string Parse(std::string_view data, bool ownOrder = false);
    std::string Load(const std::string &path, bool ownOrder = false);

private:
    int FWidth = 0, FHeight = 0, FRowBytes = 0;
    std::vector<uint8_t> FBits; // 256 glyphs of FHeight rows of FRowBytes bytes, leftmost pixel in bit 7
};

// The font's name where a font is chosen: the settings file keeps it as the font name.
constexpr char VgaFontName[] = "VGA 8x16";

// The console fonts tried for "VGA 8x16", best first: the IBM VGA font of console-data,
// then VGA fonts of console-setup (whose gaps show ASCII stand-ins).
const std::vector<std::string> &VgaFontPaths();
// The first of them that reads, read once; null when none does.
std::shared_ptr<const TCp437BitmapFont> VgaFont();

// CTerm's font number (as ESC[0;n D selects it) as a console font Debian ships, read
// once; 0 is the VGA font. Null for a font we do not have.
std::shared_ptr<const TCp437BitmapFont> CtermFont(int number);
