// The terminal widget with a console bitmap font: cells as large as the font's glyphs
// times the zoom, every font pixel drawn as a whole number of screen pixels (on a HiDPI
// screen the glyphs grow by whole steps and stay sharp).
#include "terminal/qt/ColorTTYWidget.h"

#include "terminal/PsfFont.h"

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

// The host's font scaled into the cells pixel by pixel, whatever font the user chose: code
// page 437 (font 0) stays the cells' own.
void TColorTTYWidget::UpdateHostGlyphs()
{
    const int font = FModel->Cterm().Font;
    const qreal dpr = devicePixelRatioF();
    const QSize cell(FCharW, CharH);
    if (font == FHostFont && (!font || (cell == FHostGlyphCell && FHostGlyphs.devicePixelRatio() == dpr)))
        return;
    FHostFont = 0;
    FHostGlyphs = QBitmap();
    const std::shared_ptr<const TCp437BitmapFont> f = font ? CtermFont(font) : nullptr;
    if (!f || FCharW <= 0 || CharH <= 0) return;
    const int gw = std::max(1, int(std::lround(FCharW * dpr))),
              gh = std::max(1, int(std::lround(CharH * dpr)));
    QImage img(gw * 256, gh, QImage::Format_Mono);
    img.setColorCount(2);
    img.setColor(0, qRgb(255, 255, 255));
    img.setColor(1, qRgb(0, 0, 0));
    img.fill(0);
    for (int b = 0; b < 256; ++b) {
        FHostBlank[b] = true;
        for (int y = 0; y < gh; ++y)
            for (int x = 0; x < gw; ++x)
                if (f->Pixel(uint8_t(b), x * f->Width() / gw, y * f->Height() / gh)) {
                    img.setPixel(b * gw + x, y, 1);
                    FHostBlank[b] = false;
                }
    }
    FHostGlyphs = QBitmap::fromImage(img);
    FHostGlyphs.setDevicePixelRatio(dpr);
    FHostGlyphSize = QSize(gw, gh);
    FHostGlyphCell = cell;
    FHostFont = font;
}

void TColorTTYWidget::DrawHostRun(QPainter &p, const uint8_t *chars, int x0, int x1, int left, int top)
{
    const int gw = FHostGlyphSize.width(), gh = FHostGlyphSize.height();
    p.setBackgroundMode(Qt::TransparentMode);
    for (int x = x0; x < x1; ++x) {
        const uint8_t c = chars[x];
        if (FHostBlank[c]) continue;
        p.drawPixmap(QPointF(x * FCharW + left, top), FHostGlyphs, QRectF(c * gw, 0, gw, gh));
    }
}
