// The terminal widget with a console bitmap font: cells as large as the font's glyphs
// times the zoom, every font pixel drawn as a whole number of screen pixels (on a HiDPI
// screen the glyphs grow by whole steps and stay sharp).
#include "terminal/qt/ColorTTYWidget.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

void TColorTTYWidget::SetBitmapFont(std::shared_ptr<const TCp437BitmapFont> font, int zoom)
{
    FBitmapFont = font && !font->IsEmpty() ? std::move(font) : nullptr;
    FBitmapZoom = std::clamp(zoom, 1, 8);
    FBitmapDpr = 0;
    FMeasured = false; // a QFont given back is measured anew
    FontChanged();
}

void TColorTTYWidget::BuildBitmapGlyphs()
{
    const TCp437BitmapFont &f = *FBitmapFont;
    const qreal dpr = devicePixelRatioF();
    const int s = std::max(1, int(std::lround(dpr * FBitmapZoom)));
    const int gw = f.Width() * s, gh = f.Height() * s;
    QImage img(gw * 256, gh, QImage::Format_Mono);
    img.setColorCount(2);
    img.setColor(0, qRgb(255, 255, 255));
    img.setColor(1, qRgb(0, 0, 0));
    img.fill(0);
    for (int b = 0; b < 256; ++b) {
        FBitmapBlank[b] = true;
        for (int y = 0; y < f.Height(); ++y)
            for (int x = 0; x < f.Width(); ++x) {
                if (!f.Pixel(uint8_t(b), x, y)) continue;
                FBitmapBlank[b] = false;
                for (int k = 0; k < s * s; ++k)
                    img.setPixel(b * gw + x * s + k % s, y * s + k / s, 1);
            }
    }
    FBitmapGlyphs = QBitmap::fromImage(img);
    FBitmapGlyphs.setDevicePixelRatio(dpr);
    FBitmapScale = s;
    FBitmapDpr = dpr;
    // The cell in layout pixels; the glyph fills it exactly at whole ratios.
    const int cw = std::max(1, int(std::lround(gw / dpr))), ch = std::max(1, int(std::lround(gh / dpr)));
    SetMetrics(cw, ch, ch - 2, 0); // the caret on the cell's last two rows, as on a VGA

    BuildGlyphTable(); // the QFont's glyphs stay ready for a switch back
}

// The glyphs of cells x0..x1-1 of a row in the pen's colour over their drawn background.
void TColorTTYWidget::DrawBitmapRun(QPainter &p, const uint8_t *chars, int x0, int x1, int left, int top)
{
    const int gw = FBitmapFont->Width() * FBitmapScale, gh = FBitmapFont->Height() * FBitmapScale;
    p.setBackgroundMode(Qt::TransparentMode);
    for (int x = x0; x < x1; ++x) {
        const uint8_t c = chars[x];
        if (FBitmapBlank[c]) continue;
        p.drawPixmap(QPointF(x * FCharW + left, top), FBitmapGlyphs, QRectF(c * gw, 0, gw, gh));
    }
}
