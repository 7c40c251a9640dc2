// Console fonts: the VGA font Debian ships (gzip-compressed PSF1), a PSF2 with a Unicode
// table made here, and damaged files, which are refused and change nothing.
#include "terminal/PsfFont.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Le32(uint32_t v)
{
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// Three glyphs of 5 x 2 pixels: blank, one for 'A', one for U+263A (the smiley of byte 1).
std::string Psf2(uint32_t glyphs = 3, uint32_t width = 5)
{
    std::string s =
        Le32(0x864AB572) + Le32(0) + Le32(32) + Le32(1) + Le32(glyphs) + Le32(2) + Le32(2) + Le32(width);
    s += std::string("\0\0\xF8\x08\x50\xA0", 6);
    s += "\xFF"
         "A\xFF"
         "\xE2\x98\xBA\xFE"
         "AB\xFF";
    return s;
}

TEST(PsfFont, MadeHere)
{
    TCp437BitmapFont f;
    ASSERT_EQ(f.Parse(Psf2()), "");
    EXPECT_EQ(f.Width(), 5);
    EXPECT_EQ(f.Height(), 2);
    std::string pixels;
    for (uint8_t b : {uint8_t('A'), uint8_t(1), uint8_t('B')})
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 5; ++x)
                pixels += f.Pixel(b, x, y) ? '#' : '.';
    // 'B' is only in the sequence part of the table: no glyph of its own
    EXPECT_EQ(pixels, "#####....#"
                      ".#.#.#.#.."
                      "..........");
}

TEST(PsfFont, DamagedFilesAreRefused)
{
    const std::string good = Psf2();
    const std::string bad[] = {
        "",
        "not a font",
        good.substr(0, 20),                         // header cut short
        Psf2(3, 0),                                 // no width
        Psf2(1000000),                              // more glyphs than bytes
        good.substr(0, 36),                         // glyphs cut short
        std::string("\x36\x04\x00\x10", 4) + "abc", // PSF1 with 256 glyphs of 16 bytes promised
        "\x1f\x8b garbage",
    };
    TCp437BitmapFont f;
    ASSERT_EQ(f.Parse(good), "");
    for (const std::string &data : bad) {
        EXPECT_NE(f.Parse(data), "") << data.size();
        EXPECT_EQ(f.Width(), 5); // the font read before stays
    }
    EXPECT_NE(f.Load("/nonexistent/font.psf"), "");
}

TEST(PsfFont, TheVgaFontHasEveryGlyphOfCodePage437)
{
    const std::string path = VgaFontPaths().front();
    if (!std::ifstream(path)) GTEST_SKIP() << path << " is not installed (console-data)";
    std::ifstream in(path, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TCp437BitmapFont f;
    EXPECT_NE(f.Parse(data.substr(0, data.size() / 2)), "") << "a compressed stream cut short";
    ASSERT_EQ(f.Parse(data), "");
    ASSERT_EQ(f.Width(), 8);
    ASSERT_EQ(f.Height(), 16);
    for (int b = 1; b < 255; ++b) {
        if (b == ' ') continue;
        bool any = false;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x)
                any = any || f.Pixel(uint8_t(b), x, y);
        EXPECT_TRUE(any) << "no glyph for byte " << b;
    }
}

} // namespace
