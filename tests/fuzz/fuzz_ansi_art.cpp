// The art viewer's reader under any bytes: it must stay inside its canvas and its bounds,
// and what it drew, written back as an .ans file, must read back as the same cells.

#include "terminal/AnsiArt.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void Check(bool ok)
{
    if (!ok) __builtin_trap();
}

bool Special(uint8_t c)
{
    return c == 0 || c == '\n' || c == '\r' || c == '\t' || c == 0x1a || c == 0x1b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const TArtFile art = ReadArt(bytes, 1 + (size ? data[0] % 120 : 79));
    const TArtCanvas &c = art.Canvas;
    Check(c.Width() >= 1 && c.Width() <= TArtCanvas::MaxWidth);
    Check(size_t(c.Rows()) * size_t(c.Width()) <= TArtCanvas::MaxCells);
    for (int y = 0; y < c.Rows(); ++y)
        for (int x = 0; x < c.Width(); ++x)
            Check(c.CharAt(x, y) != 0);
    if (c.Rows() == 0 || size_t(c.Rows()) * size_t(c.Width()) > 200000) return 0;

    const TArtFile back =
        ReadArt(CellsToAnsi(c.RowChars(0), c.RowAttrs(0), c.Width(), c.Rows(), art.IceColours), 80);
    Check(back.Canvas.Width() == c.Width() && back.IceColours == art.IceColours && back.Notes.empty());
    for (int y = 0; y < c.Rows(); ++y)
        for (int x = 0; x < c.Width(); ++x) {
            const uint8_t ch = y < back.Canvas.Rows() ? back.Canvas.CharAt(x, y) : ' ';
            const uint8_t a = y < back.Canvas.Rows() ? back.Canvas.AttrAt(x, y) : 7;
            if (Special(c.CharAt(x, y)) || (c.CharAt(x, y) == ' ' && !(c.AttrAt(x, y) & 0x70))) continue;
            Check(ch == c.CharAt(x, y) && a == c.AttrAt(x, y));
        }
    return 0;
}
