// The terminal's painting: colours of a run, the line-drawing and shade characters drawn
// as shapes, the cells of a clip rectangle, and the blink area.
#include "terminal/qt/TTYPainter.h"

#include "terminal/Contrast.h"
#include "terminal/Cp437.h"
#include "terminal/qt/Cp437Qt.h"

#include <QBitmap>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

QRgb PaletteRgb(int index)
{
    return 0xFF000000u | TerminalPalette(index);
}

// Box-drawing bytes 0xB3..0xDA drawn as strokes, so lines meet across cells whatever the
// font. Each group of four is one stroke: 'H' horizontal or 'V' vertical, the position
// across it, then from and to along it. Positions: '0' and 'E' the cell edges, 'c' the
// centre line, 'a' and 'b' the two lines of a double stroke.
const char *const BoxStrokes[0xDA - 0xB3 + 1] = {
    "Vc0E",                             // B3 │
    "Vc0EHc0c",                         // B4 ┤
    "Vc0EHa0cHb0c",                     // B5 ╡
    "Va0EVb0EHc0a",                     // B6 ╢
    "VacEVbcEHc0b",                     // B7 ╖
    "VcaEHa0cHb0c",                     // B8 ╕
    "Vb0EVa0aVabEHa0aHb0a",             // B9 ╣
    "Va0EVb0E",                         // BA ║
    "Ha0bVbaEHb0aVabE",                 // BB ╗
    "Hb0bVb0bHa0aVa0a",                 // BC ╝
    "Va0cVb0cHc0b",                     // BD ╜
    "Vc0bHa0cHb0c",                     // BE ╛
    "Hc0cVccE",                         // BF ┐
    "Vc0cHccE",                         // C0 └
    "Hc0EVc0c",                         // C1 ┴
    "Hc0EVccE",                         // C2 ┬
    "Vc0EHccE",                         // C3 ├
    "Hc0E",                             // C4 ─
    "Hc0EVc0E",                         // C5 ┼
    "Vc0EHacEHbcE",                     // C6 ╞
    "Va0EVb0EHcbE",                     // C7 ╟
    "Va0bHbaEVb0aHabE",                 // C8 ╚
    "HaaEVaaEHbbEVbbE",                 // C9 ╔
    "Hb0EVa0aHa0aVb0aHabE",             // CA ╩
    "Ha0EHb0aVabEHbbEVbbE",             // CB ╦
    "Va0EVb0aHabEVbbEHbbE",             // CC ╠
    "Ha0EHb0E",                         // CD ═
    "Ha0aVa0aHabEVb0aHb0aVabEHbbEVbbE", // CE ╬
    "Ha0EHb0EVc0a",                     // CF ╧
    "Hc0EVa0cVb0c",                     // D0 ╨
    "Ha0EHb0EVcbE",                     // D1 ╤
    "Hc0EVacEVbcE",                     // D2 ╥
    "Va0cVb0cHcaE",                     // D3 ╙
    "Vc0bHacEHbcE",                     // D4 ╘
    "VcaEHacEHbcE",                     // D5 ╒
    "VacEVbcEHcaE",                     // D6 ╓
    "Va0EVb0EHc0E",                     // D7 ╫
    "Vc0EHa0EHb0E",                     // D8 ╪
    "Hc0cVc0c",                         // D9 ┘
    "HccEVccE",                         // DA ┌
};

// Bytes drawn by DrawSpecial: shades, box drawing and block elements.
inline bool IsSpecial(uint8_t c)
{
    return c >= 0xB0 && c <= 0xDF;
}

QBitmap ShadeBitmap(int level)
{
    // 4 x 4 tiles: light 25 %, medium 50 %, dark 75 % of the pixels in the text colour.
    static const char *const tiles[3] = {
        "x.....x.x.....x.",
        "x.x..x.xx.x..x.x",
        "xxx.x.xxxxx.x.xx",
    };
    QImage img(4, 4, QImage::Format_MonoLSB);
    img.setColorCount(2);
    img.setColor(0, qRgb(255, 255, 255));
    img.setColor(1, qRgb(0, 0, 0));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            img.setPixel(x, y, tiles[level][y * 4 + x] == 'x' ? 1 : 0);
    return QBitmap::fromImage(img);
}

} // namespace

TTTYPainter::TTTYPainter()
{
    for (int i = 0; i < 3; ++i)
        FShadeTile[i] = ShadeBitmap(i);
}

void TTTYPainter::SetMetrics(int charWidth, int charHeight, int ascent, int overhang)
{
    FCharW = charWidth;
    FCharH = charHeight;
    FAscentPx = ascent;
    FOverhangPx = overhang;
}

void TTTYPainter::SetFont(const QFont &font)
{
    // Glyphs come from the chosen font alone and are placed cell by cell; a byte whose
    // glyph the font lacks is shown by its ASCII stand-in instead of a glyph of another
    // font that would not fit the cell.
    FGlyphFont = QRawFont::fromFont(font);
    const std::array<quint32, 256> glyphs = Cp437Glyphs(FGlyphFont);
    for (int b = 0; b < 256; ++b) {
        const auto c = static_cast<unsigned char>(b);
        FGlyph[b] = c == ' ' || IsSpecial(c) ? 0 : glyphs[size_t(b)];
    }
}

// ---------------------------------------------------------------- painting

void TTTYPainter::RunColours(const TColorTTY &t, const QPalette &palette, uint8_t a, bool selected,
                             Run &run) const
{
    const bool flashing = t.HasOption(coFlashing) && !t.BrightBackgrounds(); // iCE colours never blink
    run.hidden = flashing && t.FlashHidden && (a & caFlash);
    if (t.HasOption(coColors) && FHighContrast) {
        const int bg = flashing ? (a & 0x70) >> 4 : a >> 4;
        run.bg =
            selected ? palette.color(QPalette::Highlight).rgb() : 0xFF000000u | HighContrastBackground(bg);
        if (run.hidden)
            run.fg = run.bg;
        else if (selected)
            run.fg = 0xFF000000u | WithContrast(HighContrastText(a & 0x0F), run.bg & 0xFFFFFF);
        else
            run.fg = 0xFF000000u | HighContrastCellText(a & 0x0F, bg);
    } else if (t.HasOption(coColors)) {
        if (selected) {
            run.bg = palette.color(QPalette::Highlight).rgb();
            run.fg = run.hidden ? run.bg : PaletteRgb(a & 0x0F);
        } else if (run.hidden) {
            run.fg = run.bg = PaletteRgb((a & 0x70) >> 4);
        } else {
            run.fg = PaletteRgb(a & 0x0F);
            run.bg = PaletteRgb(flashing ? (a & 0x70) >> 4 : a >> 4);
        }
    } else {
        run.bg = palette.color(selected ? QPalette::Highlight : QPalette::Base).rgb();
        run.fg = run.hidden ? run.bg : palette.color(QPalette::Text).rgb();
    }
}

void TTTYPainter::DrawSpecial(QPainter &p, uint8_t c, int x, int y, QRgb fg)
{
    const QColor colour(fg);
    const int w = FCharW, h = FCharH;
    if (c <= 0xB2) {
        // A tile pixel is a whole number of device pixels, or at a ratio of 1.5 the dots
        // of the pattern would come out one and two pixels wide by turns.
        QBrush shade(colour, FShadeTile[c - 0xB0]);
        const qreal dpr = p.device()->devicePixelRatioF();
        const qreal scale = std::max(1.0, std::round(dpr)) / dpr;
        if (scale != 1) shade.setTransform(QTransform::fromScale(scale, scale));
        p.fillRect(QRect(x, y, w, h), shade);
        return;
    }
    switch (c) {
    case 0xDB:
        p.fillRect(QRect(x, y, w, h), colour);
        return; // █
    case 0xDC:
        p.fillRect(QRect(x, y + h / 2, w, h - h / 2), colour);
        return; // ▄
    case 0xDD:
        p.fillRect(QRect(x, y, w / 2, h), colour);
        return; // ▌
    case 0xDE:
        p.fillRect(QRect(x + w / 2, y, w - w / 2, h), colour);
        return; // ▐
    case 0xDF:
        p.fillRect(QRect(x, y, w, h / 2), colour);
        return; // ▀
    default:
        break;
    }
    const int lw = std::max(1, (w + 4) / 10);
    const int g = std::max(lw, (w + 3) / 6);
    auto pos = [lw, g](char token, int size) {
        const int c = size / 2;
        switch (token) {
        case 'a':
            return c - g - lw / 2;
        case 'b':
            return c + g - lw / 2;
        case 'c':
            return c - lw / 2;
        case 'E':
            return size;
        default:
            return 0;
        }
    };
    auto end = [&](char token, int size) {
        return pos(token, size) + (token == 'E' || token == '0' ? 0 : lw);
    };
    for (const char *s = BoxStrokes[c - 0xB3]; *s; s += 4) {
        if (s[0] == 'H') {
            const int yy = pos(s[1], h), x0 = pos(s[2], w), x1 = end(s[3], w);
            p.fillRect(QRect(x + x0, y + yy, x1 - x0, lw), colour);
        } else {
            const int xx = pos(s[1], w), y0 = pos(s[2], h), y1 = end(s[3], h);
            p.fillRect(QRect(x + xx, y + y0, lw, y1 - y0), colour);
        }
    }
}

void TTTYPainter::Paint(QPainter &p, const TColorTTY &t, const QRect &clip, const QPalette &palette)
{
    const QColor blank = t.HasOption(coColors) ? QColor(Qt::black) : palette.color(QPalette::Base);
    if (FCharW <= 0 || FCharH <= 0) {
        p.fillRect(clip, blank);
        return;
    }
    const TViewRows rows = ViewRows(t);
    if (rows.Live == 0) return PaintBand(p, t, clip, palette, t.Top, 0);
    // Split: the history part, the handle, the live part, and blank below it.
    const int handleTop = rows.Upper * FCharH, liveTop = handleTop + FCharH,
              liveEnd = liveTop + rows.Live * FCharH;
    const QRect upper = clip & QRect(clip.left(), 0, clip.width(), handleTop);
    if (!upper.isEmpty()) PaintBand(p, t, upper, palette, t.Top, 0);
    const QRect handle(0, handleTop, p.device()->width(), FCharH);
    if (handle.intersects(clip)) PaintHandle(p, handle, palette, LiveTop(t) - t.Top);
    const QRect live = clip & QRect(clip.left(), liveTop, clip.width(), liveEnd - liveTop);
    if (!live.isEmpty()) PaintBand(p, t, live, palette, rows.LiveFirst, liveTop);
    const QRect below = clip & QRect(clip.left(), liveEnd, clip.width(), clip.bottom() + 1 - liveEnd);
    if (!below.isEmpty()) p.fillRect(below, blank);
}

void TTTYPainter::PaintHandle(QPainter &p, const QRect &r, const QPalette &palette, int back)
{
    p.save();
    p.fillRect(r, palette.color(QPalette::Button));
    p.setPen(palette.color(QPalette::Mid));
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    // The grip in the middle, and how far back the history part is.
    p.setPen(palette.color(QPalette::ButtonText));
    const int mid = r.center().y();
    for (int dx = -12; dx <= 12; dx += 4) {
        p.drawPoint(r.center().x() + dx, mid - 1);
        p.drawPoint(r.center().x() + dx, mid + 1);
    }
    QFont f = p.font();
    f.setPixelSize(std::max(8, FCharH * 2 / 3));
    p.setFont(f);
    const QString text = back > 1    ? QStringLiteral("%L1 lines back \u2014 End returns").arg(back)
                         : back == 1 ? QStringLiteral("1 line back \u2014 End returns")
                                     : QStringLiteral("End returns");
    p.drawText(r.adjusted(6, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    p.drawText(r.adjusted(0, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("live \u25BC"));
    p.restore();
}

void TTTYPainter::PaintBand(QPainter &p, const TColorTTY &t, const QRect &clip, const QPalette &palette,
                            int first, int pixelTop)
{
    const QColor blank = t.HasOption(coColors) ? QColor(Qt::black) : palette.color(QPalette::Base);
    // Columns in buffer pixels: cell x at x * CharW. Rows counted from the band's first row
    // at pixelTop, which may lie in the history (negative rows).
    const int ox = t.Left * FCharW;
    const int cl = clip.left() + ox, cr = clip.left() + clip.width() + ox;
    const int x0 = std::max(t.Left, std::max(0, cl - FOverhangPx) / FCharW);
    const int x1 = std::min(t.Cols, (cr + FCharW) / FCharW);
    const int ct = clip.top() - pixelTop;
    const int y0 = first + std::max(0, ct) / FCharH;
    const int y1 = std::min(t.Rows, first + (ct + clip.height() + FCharH - 1) / FCharH);

    // Beyond the buffer.
    if (cr > t.Cols * FCharW)
        p.fillRect(QRect(t.Cols * FCharW - ox, clip.top(), cr - t.Cols * FCharW, clip.height()) & clip,
                   blank);
    const int bufferBottom = pixelTop + (t.Rows - first) * FCharH, clipBottom = clip.top() + clip.height();
    if (clipBottom > bufferBottom)
        p.fillRect(QRect(clip.left(), bufferBottom, clip.width(), clipBottom - bufferBottom) & clip, blank);
    if (x0 >= x1) return;

    FHighlights.clear();
    FCurrentHighlights.clear();
    if (FSearch) {
        FSearch->SpansOnRows(t, y0, y1, FHighlights);
        if (FCurrentHit.Len > 0) FCurrentHighlights = FSearch->Spans(t, FCurrentHit);
    }
    const TCellPoint s = t.SelStart, e = t.SelEnd;
    UpdateHostGlyphs(t.AnsiBbs().Cterm().Font, p.device()->devicePixelRatioF());
    for (int y = y0; y < y1; ++y) {
        const int top = pixelTop + (y - first) * FCharH;
        const TRowView row = t.Screen().RowAt(y, FScratch);
        const uint8_t *chars = row.Chars;
        const uint8_t *attrs = row.Attrs;
        // Selected columns of this row: selFrom .. selTo - 1.
        int selFrom = 0, selTo = 0;
        if (y >= s.y && y <= e.y) {
            selFrom = y == s.y ? s.x : 0;
            selTo = y == e.y ? e.x : t.Cols;
        }
        FRuns.clear();
        for (int x = x0; x < x1;) {
            const uint8_t a = attrs[x];
            const bool sel = x >= selFrom && x < selTo;
            int end = x + 1;
            const int limit = sel ? std::min(x1, selTo) : (x < selFrom ? std::min(x1, selFrom) : x1);
            while (end < limit && attrs[end] == a)
                ++end;
            Run run{x, end, 0, 0, false};
            RunColours(t, palette, a, sel, run);
            p.fillRect(QRect(x * FCharW - ox, top, (end - x) * FCharW, FCharH), QColor(run.bg));
            FRuns.push_back(run);
            x = end;
        }
        // Glyphs after all backgrounds, so a glyph reaching into the next cell stays whole.
        bool clipped = false;
        for (const Run &run : FRuns) {
            if (run.hidden) continue;
            if (FHostFont) {
                p.setPen(QColor(run.fg));
                DrawHostRun(p, chars, run.x0, run.x1, -ox, top);
                continue;
            }
            if (FBitmapFont) {
                p.setPen(QColor(run.fg));
                DrawBitmapRun(p, chars, run.x0, run.x1, -ox, top);
                continue;
            }
            FGlyphIds.clear();
            FGlyphPos.clear();
            for (int x = run.x0; x < run.x1; ++x) {
                const uint8_t c = chars[x];
                if (IsSpecial(c)) {
                    DrawSpecial(p, c, x * FCharW - ox, top, run.fg);
                } else if (FGlyph[c]) {
                    FGlyphIds.push_back(FGlyph[c]);
                    FGlyphPos.emplace_back(x * FCharW - ox, top + FAscentPx);
                }
            }
            if (FGlyphIds.empty()) continue;
            if (!clipped) {
                // Nothing of a row's text strays into the rows above or below.
                p.save();
                p.setClipRect(QRect(clip.left(), top, clip.width(), FCharH), Qt::IntersectClip);
                clipped = true;
            }
            QGlyphRun glyphs;
            glyphs.setRawFont(FGlyphFont);
            glyphs.setRawData(FGlyphIds.data(), FGlyphPos.data(), int(FGlyphIds.size()));
            p.setPen(QColor(run.fg));
            p.drawGlyphRun(QPointF(0, 0), glyphs);
        }
        if (clipped) p.restore();
        for (const auto *list : {&FHighlights, &FCurrentHighlights}) {
            const QColor tint = list == &FHighlights ? QColor(255, 255, 0, 110) : QColor(255, 140, 0, 170);
            auto it = std::lower_bound(list->begin(), list->end(), y,
                                       [](const TCellSpan &s, int row) { return s.Row < row; });
            for (; it != list->end() && it->Row == y; ++it)
                p.fillRect(QRect(it->X1 * FCharW - ox, top, (it->X2 - it->X1) * FCharW, FCharH), tint);
        }
    }
}

void TTTYPainter::SetHighlights(const TScrollbackSearch *search, TSearchHit current)
{
    FSearch = search;
    FCurrentHit = search ? current : TSearchHit{};
}

TTTYRect TTTYPainter::FlashRect(const TColorTTY &t)
{
    TTTYRect r;
    bool any = false;
    const TViewRows rows = ViewRows(t);
    const int viewRows = rows.Live ? rows.Upper + 1 + rows.Live : t.VisibleRows;
    const int colEnd = std::min(t.Cols - 1, t.Left + t.VisibleCols - 1);
    for (int v = 0; v < viewRows; ++v) {
        const int y = rows.RowAt(v);
        if (y == TViewRows::Handle || y >= t.Rows) continue;
        const uint8_t *attrs = t.Screen().RowAt(y, FScratch).Attrs;
        int first = -1, last = -1;
        for (int x = t.Left; x <= colEnd; ++x) {
            if (attrs[x] & caFlash) {
                if (first < 0) first = x;
                last = x;
            }
        }
        if (first < 0) continue;
        const TTTYRect row{(first - t.Left) * FCharW, v * FCharH, (last + 1 - t.Left) * FCharW,
                           (v + 1) * FCharH};
        if (!any) {
            r = row;
            any = true;
        } else {
            r.Left = std::min(r.Left, row.Left);
            r.Top = std::min(r.Top, row.Top);
            r.Right = std::max(r.Right, row.Right);
            r.Bottom = std::max(r.Bottom, row.Bottom);
        }
    }
    return r;
}

void TTTYPainter::SetBitmapFont(std::shared_ptr<const TCp437BitmapFont> font, int zoom)
{
    FBitmapFont = font && !font->IsEmpty() ? std::move(font) : nullptr;
    FBitmapZoom = std::clamp(zoom, 1, 8);
    FBitmapDpr = 0;
}

namespace {

// 256 cells of gw x gh side by side, all clear, for glyphs drawn in one colour.
QImage GlyphStrip(int gw, int gh)
{
    QImage img(gw * 256, gh, QImage::Format_Mono);
    img.setColorCount(2);
    img.setColor(0, qRgb(255, 255, 255));
    img.setColor(1, qRgb(0, 0, 0));
    img.fill(0);
    return img;
}

} // namespace

QSize TTTYPainter::BuildBitmapGlyphs(qreal dpr)
{
    const TCp437BitmapFont &f = *FBitmapFont;
    const int s = std::max(1, int(std::lround(dpr * FBitmapZoom)));
    const int gw = f.Width() * s, gh = f.Height() * s;
    QImage img = GlyphStrip(gw, gh);
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
    return {std::max(1, int(std::lround(gw / dpr))), std::max(1, int(std::lround(gh / dpr)))};
}

// The glyphs of cells x0..x1-1 of a row in the pen's colour over their drawn background.
void TTTYPainter::DrawBitmapRun(QPainter &p, const uint8_t *chars, int x0, int x1, int left, int top)
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
void TTTYPainter::UpdateHostGlyphs(int font, qreal dpr)
{
    const QSize cell(FCharW, FCharH);
    if (font == FHostFont && (!font || (cell == FHostGlyphCell && FHostGlyphs.devicePixelRatio() == dpr)))
        return;
    FHostFont = 0;
    FHostGlyphs = QBitmap();
    const std::shared_ptr<const TCp437BitmapFont> f = font ? CtermFont(font) : nullptr;
    if (!f || FCharW <= 0 || FCharH <= 0) return;
    const int gw = std::max(1, int(std::lround(FCharW * dpr))),
              gh = std::max(1, int(std::lround(FCharH * dpr)));
    QImage img = GlyphStrip(gw, gh);
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

void TTTYPainter::DrawHostRun(QPainter &p, const uint8_t *chars, int x0, int x1, int left, int top)
{
    const int gw = FHostGlyphSize.width(), gh = FHostGlyphSize.height();
    p.setBackgroundMode(Qt::TransparentMode);
    for (int x = x0; x < x1; ++x) {
        const uint8_t c = chars[x];
        if (FHostBlank[c]) continue;
        p.drawPixmap(QPointF(x * FCharW + left, top), FHostGlyphs, QRectF(c * gw, 0, gw, gh));
    }
}
