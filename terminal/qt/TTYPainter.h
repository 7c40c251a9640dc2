// Draws the terminal's cells with a QPainter: the colours of a run, the shade, block and
// line-drawing characters as shapes, the glyphs of a QFont or of a console bitmap font, and
// the tints of the search's hits. The widget gives it the cell metrics and its palette.
#pragma once

#include "terminal/ColorTTY.h"
#include "terminal/PsfFont.h"
#include "terminal/ScrollbackSearch.h"

#include <QBitmap>
#include <QFont>
#include <QPalette>
#include <QPixmap>
#include <QPointF>
#include <QRawFont>
#include <QRect>

#include <memory>
#include <vector>

class QPainter;

class TTTYPainter
{
public:
    TTTYPainter();

    // The cell in pixels, the baseline from its top, and how far a glyph may reach right.
    void SetMetrics(int charWidth, int charHeight, int ascent, int overhang);
    // The glyphs of the 256 bytes in `font`.
    void SetFont(const QFont &font);
    // A console bitmap font drawn at `zoom` times its size (nullptr: the QFont).
    void SetBitmapFont(std::shared_ptr<const TCp437BitmapFont> font, int zoom);
    bool UsesBitmapFont() const { return FBitmapFont != nullptr; }
    // The bitmap font's glyphs for a screen of `dpr` device pixels per pixel, each font pixel
    // a whole number of them; the cell size in layout pixels.
    QSize BuildBitmapGlyphs(qreal dpr);
    qreal BitmapDpr() const { return FBitmapDpr; }
    // Light text on dark backgrounds, every cell at a contrast of at least 4.5:1.
    void SetHighContrast(bool on) { FHighContrast = on; }
    bool IsHighContrast() const { return FHighContrast; }
    // Tints the hits of `search`, `current` stronger (a Len of 0: none); nullptr: none.
    void SetHighlights(const TScrollbackSearch *search, TSearchHit current);

    // The cells under `clip` (client pixels) of `tty`'s view.
    void Paint(QPainter &p, const TColorTTY &tty, const QRect &clip, const QPalette &palette);
    // The bounding rectangle in client pixels of the visible flashing cells.
    TTTYRect FlashRect(const TColorTTY &tty);

private:
    struct Run
    {
        int x0, x1;
        QRgb fg, bg;
        bool hidden;
    };

    void RunColours(const TColorTTY &t, const QPalette &palette, uint8_t attr, bool selected, Run &run) const;
    // The rows from `first` drawn from pixel row pixelTop down, under `clip`.
    void PaintBand(QPainter &p, const TColorTTY &t, const QRect &clip, const QPalette &palette, int first,
                   int pixelTop);
    // The handle between the parts of a split view; `back` rows above the newest ones.
    void PaintHandle(QPainter &p, const QRect &r, const QPalette &palette, int back);
    void DrawSpecial(QPainter &p, uint8_t c, int x, int y, QRgb fg);
    void DrawBitmapRun(QPainter &p, const uint8_t *chars, int x0, int x1, int left, int top);
    // The font the host selected (ESC[0;n D), drawn into the cells as they are.
    void UpdateHostGlyphs(int font, qreal dpr);
    void DrawHostRun(QPainter &p, const uint8_t *chars, int x0, int x1, int left, int top);

    int FCharW = 0, FCharH = 0, FAscentPx = 0, FOverhangPx = 0;
    bool FHighContrast = false;
    QRawFont FGlyphFont;
    quint32 FGlyph[256] = {};
    QPixmap FShadeTile[3]; // 1-bit tiles of the shade characters
    std::shared_ptr<const TCp437BitmapFont> FBitmapFont;
    int FBitmapZoom = 1;
    int FBitmapScale = 1;  // screen pixels per font pixel
    qreal FBitmapDpr = 0;  // the device pixel ratio the glyphs were made for
    QBitmap FBitmapGlyphs; // the 256 glyphs side by side, scaled
    bool FBitmapBlank[256] = {};
    int FHostFont = 0;    // the font HostGlyphs hold (0: none, the cells' own font is used)
    QSize FHostGlyphSize; // one glyph in device pixels
    QSize FHostGlyphCell; // the cell it was made for, in layout pixels
    QBitmap FHostGlyphs;
    bool FHostBlank[256] = {};

    const TScrollbackSearch *FSearch = nullptr;
    TSearchHit FCurrentHit;
    std::vector<TCellSpan> FHighlights, FCurrentHighlights; // of the rows being painted

    // Reused per paint.
    TRowScratch FScratch;
    std::vector<Run> FRuns;
    std::vector<quint32> FGlyphIds;
    std::vector<QPointF> FGlyphPos;
};
