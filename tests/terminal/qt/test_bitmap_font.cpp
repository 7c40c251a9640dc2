// The terminal widget with a console bitmap font: every font pixel a square of whole
// screen pixels in the cell's colours, and iCE colours as bright backgrounds that never
// blink.
#include "terminal/qt/ColorTTYWidget.h"

#include <QImage>
#include <gtest/gtest.h>

#include <memory>

namespace {

QRgb Pal(int i)
{
    return 0xFF000000u | TerminalPalette(i);
}

TEST(BitmapFont, GlyphsScaledByWholePixelsInTheCellsColours)
{
    // A PSF1 font of 8 x 16 whose 'A' is a diagonal stroke.
    std::string psf("\x36\x04\x00\x10", 4);
    psf.append(256 * 16, '\0');
    for (int y = 0; y < 16; ++y)
        psf[4 + 'A' * 16 + size_t(y)] = char(0x80 >> (y % 8));
    auto font = std::make_shared<TCp437BitmapFont>();
    ASSERT_EQ(font->Parse(psf), "");

    TColorTTYWidget w;
    w.SetOptions(DefaultTTYOptions | OptionBit(coFlashing));
    w.SetBitmapFont(font, 2);
    ASSERT_EQ(w.CharWidth(), 16);
    ASSERT_EQ(w.CharHeight(), 32);
    w.resize(200, 100);
    TColorTTY &t = w.Tty();
    t.SetEmulation(teAnsiBbs);
    t.Write("\x1b[?33h\x1b[0;1;5;33;44mA"); // bright yellow on bright blue
    EXPECT_TRUE(t.BrightBackgrounds());

    const QImage img = w.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool set = x / 2 == (y / 2) % 8;
            ASSERT_EQ(img.pixel(x, y), set ? Pal(11) : Pal(12)) << x << ',' << y;
        }
    EXPECT_EQ(img.pixel(20, 5), 0xFF000000u) << "the next cell is blank";
    EXPECT_TRUE(t.FlashRect.IsEmpty()) << "iCE colours never blink";
    t.Write("\x1b[?33l");
    w.viewport()->grab();
    EXPECT_FALSE(t.FlashRect.IsEmpty());

    w.SetBitmapFont(nullptr); // back to the QFont
    EXPECT_FALSE(w.UsesBitmapFont());
    EXPECT_NE(w.CharHeight(), 32);
}

} // namespace
