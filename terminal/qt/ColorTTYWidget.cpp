#include "terminal/qt/ColorTTYWidget.h"

#include "terminal/ColorTTYSelection.h"
#include "terminal/Cp437.h"

#include <QApplication>
#include <QBitmap>
#include <QClipboard>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

const QEvent::Type TrackEvent = QEvent::Type(QEvent::User + 100);  // WM_TTY_TRACK
const QEvent::Type ScrollEvent = QEvent::Type(QEvent::User + 101); // WM_TTY_SCROLL

constexpr int BlinkMs = 500;
constexpr int AutoScrollMs = 50;
constexpr int FrameMs = 16; // lazy repaints at most this often

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

TColorTTYWidget::TColorTTYWidget(QWidget *parent) : TColorTTYWidget(std::make_unique<TColorTTY>(), parent)
{
}

TColorTTYWidget::TColorTTYWidget(std::unique_ptr<TColorTTY> model, QWidget *parent)
    : QAbstractScrollArea(parent), Model(model ? std::move(model) : std::make_unique<TColorTTY>())
{
    Init();
}

TColorTTYWidget::~TColorTTYWidget()
{
    FlushTimer.stop();
    Timer.stop();
    CaretBlink.stop();
    Model->SetView(nullptr);
}

void TColorTTYWidget::Init()
{
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    // Painting covers every pixel: nothing is erased behind it.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::IBeamCursor);
    for (int i = 0; i < 3; ++i)
        ShadeTile[i] = ShadeBitmap(i);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TColorTTYWidget::ScrollBarMoved);

    QFont f(QStringLiteral("Courier"), 10);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    setFont(f);
    Model->SetView(this);
    FontChanged();
    Model->Clear();
}

// ---------------------------------------------------------------- metrics and layout

void TColorTTYWidget::FontChanged()
{
    const QFont f = font();
    if (Measured && f == MeasuredFont) return;
    const QFontMetricsF fm(f);
    const QFontMetrics fmi(f);
    const qreal advance = fm.horizontalAdvance(QLatin1Char('x'));
    const int cw = std::max(1, qRound(advance));
    const int ch = std::max(1, fmi.height() + std::max(0, fmi.leading()));
    // Glyphs wider than their cell (a fractional advance rounded down, a wide glyph) reach
    // into the next one: repaint rectangles are widened by that much.
    const int overhang = std::max(0, int(std::ceil(std::max(fm.maxWidth(), advance))) - cw);
    MeasuredFont = f;
    Measured = true;
    BuildGlyphTable();
    SetMetrics(cw, ch, fmi.ascent(), overhang);
}

void TColorTTYWidget::SetMetrics(int charWidth, int charHeight, int ascent, int overhang)
{
    CharW = charWidth;
    CharH = charHeight;
    AscentPx = ascent;
    OverhangPx = overhang;
    viewport()->update();
    RecalcLayout();
}

void TColorTTYWidget::BuildGlyphTable()
{
    // Glyphs come from the chosen font alone and are placed cell by cell; a byte whose
    // glyph the font lacks is shown by its ASCII stand-in instead of a glyph of another
    // font that would not fit the cell.
    GlyphFont = QRawFont::fromFont(MeasuredFont);
    auto glyphOf = [this](char32_t cp) -> quint32 {
        if (!GlyphFont.isValid() || !GlyphFont.supportsCharacter(uint(cp))) return 0;
        const QList<quint32> ids = GlyphFont.glyphIndexesForString(QString::fromUcs4(&cp, 1));
        return ids.isEmpty() ? 0 : ids.first();
    };
    for (int b = 0; b < 256; ++b) {
        const auto c = static_cast<unsigned char>(b);
        Glyph[b] = 0;
        if (c == ' ' || IsSpecial(c)) continue;
        quint32 g = glyphOf(cp437::ToUnicode(c));
        if (!g) g = glyphOf(char32_t(cp437::AsciiFallback(c)));
        Glyph[b] = g;
    }
}

void TColorTTYWidget::RecalcLayout()
{
    if (CharW <= 0 || CharH <= 0) return;
    Model->SetVisibleSize(viewport()->width() / CharW, viewport()->height() / CharH);
    UpdateScrollBar();
}

void TColorTTYWidget::UpdateScrollBar()
{
    BarDirty = false;
    const TColorTTY &t = *Model;
    QScrollBar *bar = verticalScrollBar();
    SettingBar = true;
    bar->setRange(0, std::max(1, t.MaxTop));
    bar->setSingleStep(1);
    bar->setPageStep(std::max(1, t.VisibleRows));
    bar->setValue(t.Top);
    SettingBar = false;
}

void TColorTTYWidget::ScrollBarMoved(int value)
{
    if (SettingBar) return;
    Model->ScrollTo(Model->Left, value);
    if (verticalScrollBar()->value() != Model->Top)
        UpdateScrollBar(); // clamped: the range is at least 1 even when nothing can scroll
}

void TColorTTYWidget::ScrollStep(Qt::Orientation direction, TScrollCode code, int pos)
{
    TColorTTY &t = *Model;
    const bool horizontal = direction == Qt::Horizontal;
    int value = horizontal ? t.Left : t.Top;
    const int page = horizontal ? t.VisibleCols / 2 : t.VisibleRows;
    const int max = horizontal ? t.MaxLeft : t.MaxTop;
    switch (code) {
    case scLineUp:
        --value;
        break;
    case scLineDown:
        ++value;
        break;
    case scPageUp:
        value -= page;
        break;
    case scPageDown:
        value += page;
        break;
    case scThumbPosition:
        value = pos;
        break;
    case scTop:
        value = 0;
        break;
    case scBottom:
        value = max;
        break;
    }
    if (horizontal)
        t.ScrollTo(value, t.Top);
    else
        t.ScrollTo(t.Left, value);
    if (BarDirty) UpdateScrollBar();
}

void TColorTTYWidget::SetOptions(TColorTTYOptions options)
{
    Model->SetOptions(options);
    viewport()->update();
    UpdateCaret();
}

QSize TColorTTYWidget::sizeHint() const
{
    const int w = std::max(1, CharW) * Model->Cols + verticalScrollBar()->sizeHint().width();
    return {w, std::max(1, CharH) * 25};
}

// ---------------------------------------------------------------- the view interface

QRect TColorTTYWidget::CellRect(int x1, int x2, int y) const
{
    const TColorTTY &t = *Model;
    return {(x1 - t.Left) * CharW, (y - t.Top) * CharH, (x2 - x1) * CharW + OverhangPx, CharH};
}

QRect TColorTTYWidget::ClientRect() const
{
    return viewport()->rect();
}

void TColorTTYWidget::InvalidateCells(int x1, int x2, int y, bool immediately)
{
    const QRect r = CellRect(x1, x2, y) & ClientRect();
    if (!immediately) {
        if (!r.isEmpty()) Dirty(r);
        return;
    }
    if (!r.isEmpty()) viewport()->repaint(r);
    SyncCaret();
}

void TColorTTYWidget::InvalidateAll(bool immediately)
{
    // A new buffer size changes the scroll range even when the view stays where it is.
    if (!immediately) {
        DirtyAll = BarDirty = true;
        ScheduleFlush();
        return;
    }
    viewport()->repaint();
    UpdateScrollBar();
    SyncCaret();
}

void TColorTTYWidget::ViewMoved(int, int, int, int)
{
    // The whole view is repainted rather than its pixels moved.
    if (Model->HasOption(coLazyWrite)) {
        DirtyAll = BarDirty = true;
        ScheduleFlush();
        return;
    }
    viewport()->repaint();
    UpdateScrollBar();
}

void TColorTTYWidget::TopRenumbered()
{
    if (Model->HasOption(coLazyWrite)) {
        BarDirty = true;
        ScheduleFlush();
        return;
    }
    UpdateScrollBar();
}

void TColorTTYWidget::Dirty(const QRect &r)
{
    if (!DirtyAll) DirtyRect |= r;
    ScheduleFlush();
}

void TColorTTYWidget::ScheduleFlush()
{
    if (FlushTimer.isActive()) return;
    const qint64 since = LastPaint.isValid() ? LastPaint.elapsed() : FrameMs;
    FlushTimer.start(int(std::max<qint64>(0, FrameMs - since)), this);
}

void TColorTTYWidget::Flush()
{
    FlushTimer.stop();
    if (BarDirty) UpdateScrollBar();
    if (DirtyAll)
        viewport()->update();
    else if (!DirtyRect.isEmpty())
        viewport()->update(DirtyRect);
    DirtyAll = false;
    DirtyRect = {};
    SyncCaret();
}

void TColorTTYWidget::PostTrack()
{
    QCoreApplication::postEvent(this, new QEvent(TrackEvent));
}

void TColorTTYWidget::PostScroll()
{
    QCoreApplication::postEvent(this, new QEvent(ScrollEvent));
}

void TColorTTYWidget::Beep()
{
    QApplication::beep();
}

void TColorTTYWidget::UpdateCaret()
{
    const TColorTTY &t = *Model;
    const QRect old = CaretRect();
    CaretShown = t.Focused && t.HasOption(coFulltimeCursor);
    CaretCell = {t.CursorX, t.CursorY};
    CaretOn = true;
    const int flash = QApplication::cursorFlashTime();
    if (CaretShown && flash > 0)
        CaretBlink.start(flash / 2, this);
    else
        CaretBlink.stop();
    if (!old.isEmpty()) viewport()->update(old);
    const QRect now = CaretRect();
    if (!now.isEmpty()) viewport()->update(now);
}

void TColorTTYWidget::SyncCaret()
{
    // Text output moves the cursor without placing the caret; follow it here so the caret
    // keeps marking the cursor while the BBS echoes what is typed.
    if (CaretShown && (CaretCell.x != Model->CursorX || CaretCell.y != Model->CursorY)) UpdateCaret();
}

QRect TColorTTYWidget::CaretRect() const
{
    if (!CaretShown || CharW <= 0) return {};
    const TColorTTY &t = *Model;
    return {(CaretCell.x - t.Left) * CharW, (CaretCell.y - t.Top) * CharH + AscentPx, CharW, 2};
}

void TColorTTYWidget::StopTimer()
{
    Timer.stop();
}

void TColorTTYWidget::StartTimer(int ms)
{
    Timer.start(ms, this);
    Model->SetTimerActive(true);
}

void TColorTTYWidget::KillTimer()
{
    Timer.stop();
}

// ---------------------------------------------------------------- painting

void TColorTTYWidget::RunColours(uint8_t a, bool selected, Run &run) const
{
    const TColorTTY &t = *Model;
    const bool flashing = t.HasOption(coFlashing);
    run.hidden = flashing && t.FlashHidden && (a & caFlash);
    if (t.HasOption(coColors)) {
        if (selected) {
            run.bg = palette().color(QPalette::Highlight).rgb();
            run.fg = run.hidden ? run.bg : PaletteRgb(a & 0x0F);
        } else if (run.hidden) {
            run.fg = run.bg = PaletteRgb((a & 0x70) >> 4);
        } else {
            run.fg = PaletteRgb(a & 0x0F);
            run.bg = PaletteRgb(flashing ? (a & 0x70) >> 4 : a >> 4);
        }
    } else {
        run.bg = palette().color(selected ? QPalette::Highlight : QPalette::Base).rgb();
        run.fg = run.hidden ? run.bg : palette().color(QPalette::Text).rgb();
    }
}

void TColorTTYWidget::DrawSpecial(QPainter &p, uint8_t c, int x, int y, QRgb fg)
{
    const QColor colour(fg);
    const int w = CharW, h = CharH;
    if (c <= 0xB2) {
        // A tile pixel is a whole number of device pixels, or at a ratio of 1.5 the dots
        // of the pattern would come out one and two pixels wide by turns.
        QBrush shade(colour, ShadeTile[c - 0xB0]);
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

void TColorTTYWidget::PaintCells(QPainter &p, const QRect &clip)
{
    const TColorTTY &t = *Model;
    const QColor blank = t.HasOption(coColors) ? QColor(Qt::black) : palette().color(QPalette::Base);
    if (CharW <= 0 || CharH <= 0) {
        p.fillRect(clip, blank);
        return;
    }
    // Buffer pixel coordinates: cell (x, y) at (x * CharW, y * CharH).
    const int ox = t.Left * CharW, oy = t.Top * CharH;
    const int cl = clip.left() + ox, cr = clip.left() + clip.width() + ox;
    const int ct = clip.top() + oy, cb = clip.top() + clip.height() + oy;
    const int x0 = std::max(t.Left, std::max(0, cl - OverhangPx) / CharW);
    const int x1 = std::min(t.Cols, (cr + CharW) / CharW);
    const int y0 = std::max(0, ct / CharH);
    const int y1 = std::min(t.Rows, (cb + CharH - 1) / CharH);

    // Beyond the buffer.
    if (cr > t.Cols * CharW)
        p.fillRect(QRect(t.Cols * CharW - ox, clip.top(), cr - t.Cols * CharW, clip.height()) & clip, blank);
    if (cb > t.Rows * CharH)
        p.fillRect(QRect(clip.left(), t.Rows * CharH - oy, clip.width(), cb - t.Rows * CharH) & clip, blank);
    if (x0 >= x1) return;

    const TCellPoint s = t.SelStart, e = t.SelEnd;
    for (int y = y0; y < y1; ++y) {
        const int top = y * CharH - oy;
        const uint8_t *chars = t.RowChars(y);
        const uint8_t *attrs = t.RowAttrs(y);
        // Selected columns of this row: selFrom .. selTo - 1.
        int selFrom = 0, selTo = 0;
        if (y >= s.y && y <= e.y) {
            selFrom = y == s.y ? s.x : 0;
            selTo = y == e.y ? e.x : t.Cols;
        }
        Runs.clear();
        for (int x = x0; x < x1;) {
            const uint8_t a = attrs[x];
            const bool sel = x >= selFrom && x < selTo;
            int end = x + 1;
            const int limit = sel ? std::min(x1, selTo) : (x < selFrom ? std::min(x1, selFrom) : x1);
            while (end < limit && attrs[end] == a)
                ++end;
            Run run{x, end, 0, 0, false};
            RunColours(a, sel, run);
            p.fillRect(QRect(x * CharW - ox, top, (end - x) * CharW, CharH), QColor(run.bg));
            Runs.push_back(run);
            x = end;
        }
        // Glyphs after all backgrounds, so a glyph reaching into the next cell stays whole.
        bool clipped = false;
        for (const Run &run : Runs) {
            if (run.hidden) continue;
            GlyphIds.clear();
            GlyphPos.clear();
            for (int x = run.x0; x < run.x1; ++x) {
                const uint8_t c = chars[x];
                if (IsSpecial(c)) {
                    DrawSpecial(p, c, x * CharW - ox, top, run.fg);
                } else if (Glyph[c]) {
                    GlyphIds.push_back(Glyph[c]);
                    GlyphPos.emplace_back(x * CharW - ox, top + AscentPx);
                }
            }
            if (GlyphIds.empty()) continue;
            if (!clipped) {
                // Nothing of a row's text strays into the rows above or below.
                p.save();
                p.setClipRect(QRect(clip.left(), top, clip.width(), CharH), Qt::IntersectClip);
                clipped = true;
            }
            QGlyphRun glyphs;
            glyphs.setRawFont(GlyphFont);
            glyphs.setRawData(GlyphIds.data(), GlyphPos.data(), int(GlyphIds.size()));
            p.setPen(QColor(run.fg));
            p.drawGlyphRun(QPointF(0, 0), glyphs);
        }
        if (clipped) p.restore();
        for (const auto *list : {&Highlights, &CurrentHighlights}) {
            const QColor tint = list == &Highlights ? QColor(255, 255, 0, 110) : QColor(255, 140, 0, 170);
            auto it = std::lower_bound(list->begin(), list->end(), y,
                                       [](const TCellSpan &s, int row) { return s.Row < row; });
            for (; it != list->end() && it->Row == y; ++it)
                p.fillRect(QRect(it->X1 * CharW - ox, top, (it->X2 - it->X1) * CharW, CharH), tint);
        }
    }
}

void TColorTTYWidget::SetHighlights(std::vector<TCellSpan> spans, std::vector<TCellSpan> current)
{
    Highlights = std::move(spans);
    CurrentHighlights = std::move(current);
    viewport()->update();
}

void TColorTTYWidget::ComputeFlashRect()
{
    TColorTTY &t = *Model;
    TTTYRect r;
    bool any = false;
    const int rowEnd = std::min(t.Rows - 1, t.Top + t.VisibleRows - 1);
    const int colEnd = std::min(t.Cols - 1, t.Left + t.VisibleCols - 1);
    for (int y = t.Top; y <= rowEnd; ++y) {
        const uint8_t *attrs = t.RowAttrs(y);
        int first = -1, last = -1;
        for (int x = t.Left; x <= colEnd; ++x) {
            if (attrs[x] & caFlash) {
                if (first < 0) first = x;
                last = x;
            }
        }
        if (first < 0) continue;
        const TTTYRect row{(first - t.Left) * CharW, (y - t.Top) * CharH, (last + 1 - t.Left) * CharW,
                           (y + 1 - t.Top) * CharH};
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
    t.FlashRect = r;
}

void TColorTTYWidget::paintEvent(QPaintEvent *e)
{
    ++Paints;
    LastPaint.restart();
    TColorTTY &t = *Model;
    {
        QPainter p(viewport());
        PaintCells(p, e->rect());
        const QRect caret = CaretRect();
        if (CaretOn && !caret.isEmpty() && caret.intersects(e->rect())) {
            // Like a system caret: the pixels under it are inverted.
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(caret, Qt::white);
        }
    }
    if (!t.HasOption(coFlashing) || CharW <= 0) {
        t.FlashRect = {};
        return;
    }
    ComputeFlashRect();
    if (t.Tracking) return;
    if (!t.FlashRect.IsEmpty() && !Timer.isActive()) {
        StartTimer(BlinkMs);
    } else if (t.FlashRect.IsEmpty() && Timer.isActive()) {
        KillTimer();
        t.SetTimerActive(false);
    }
}

// ---------------------------------------------------------------- events

bool TColorTTYWidget::event(QEvent *e)
{
    if (e->type() == TrackEvent) {
        Model->HandleTrackMessage();
        return true;
    }
    if (e->type() == ScrollEvent) {
        Model->HandleScrollMessage();
        return true;
    }
    if (e->type() == QEvent::KeyPress) {
        // Tab is a key for the BBS, not a focus move.
        auto *k = static_cast<QKeyEvent *>(e);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
            !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(k);
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void TColorTTYWidget::resizeEvent(QResizeEvent *e)
{
    QAbstractScrollArea::resizeEvent(e);
    RecalcLayout();
    if (CaretShown) Model->UpdateCaret();
}

void TColorTTYWidget::changeEvent(QEvent *e)
{
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange && Model)
        FontChanged();
    else if (e->type() == QEvent::PaletteChange)
        viewport()->update();
}

namespace {

// Keys whose character is not their text: the byte typed plain and with Ctrl (0: the
// key's text decides).
struct KeyByte
{
    int key;
    char plain, ctrl;
};
constexpr KeyByte KeyBytes[] = {
    {Qt::Key_Return, 13, 10},     {Qt::Key_Enter, 13, 10},     {Qt::Key_Backspace, 8, 127},
    {Qt::Key_Tab, 9, 9},          {Qt::Key_Backtab, 9, 9},     {Qt::Key_Escape, 27, 27},
    {Qt::Key_BracketLeft, 0, 27}, {Qt::Key_Backslash, 0, 28},  {Qt::Key_BracketRight, 0, 29},
    {Qt::Key_AsciiCircum, 0, 30}, {Qt::Key_Underscore, 0, 31},
};

// The character a key types, as a code page 437 byte; false for keys that type nothing.
bool KeyChar(const QKeyEvent *e, char &ch)
{
    const int key = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    if (key == Qt::Key_Delete) return false;
    if ((mods & Qt::AltModifier) && !ctrl) return false;
    if (ctrl && key >= Qt::Key_A && key <= Qt::Key_Z) {
        ch = char(key - Qt::Key_A + 1);
        return true;
    }
    for (const KeyByte &k : KeyBytes) {
        if (k.key != key) continue;
        if (const char c = ctrl ? k.ctrl : k.plain) {
            ch = c;
            return true;
        }
        break;
    }
    const QString text = e->text();
    if (text.isEmpty()) return false;
    const int b = cp437::FromUnicode(text.toUcs4().value(0));
    if (b <= 0 || b > 0xFF) return false;
    ch = char(b);
    return true;
}

// The scrolling keys, first match wins: key, exactly Ctrl held (or not), direction, step.
struct ScrollKey
{
    int key;
    bool ctrl;
    Qt::Orientation direction;
    TScrollCode code;
};
constexpr ScrollKey ScrollKeys[] = {
    {Qt::Key_Left, true, Qt::Horizontal, scLineUp},  {Qt::Key_Right, true, Qt::Horizontal, scLineDown},
    {Qt::Key_Home, false, Qt::Horizontal, scTop},    {Qt::Key_End, false, Qt::Horizontal, scBottom},
    {Qt::Key_Up, true, Qt::Vertical, scLineUp},      {Qt::Key_Down, true, Qt::Vertical, scLineDown},
    {Qt::Key_PageUp, false, Qt::Vertical, scPageUp}, {Qt::Key_PageDown, false, Qt::Vertical, scPageDown},
    {Qt::Key_Home, true, Qt::Vertical, scTop},       {Qt::Key_End, true, Qt::Vertical, scBottom},
};

bool IsBreakKey(const QKeyEvent *e, int key)
{
    return key == Qt::Key_Cancel || (key == Qt::Key_Pause && (e->modifiers() & Qt::ControlModifier));
}

} // namespace

void TColorTTYWidget::keyPressEvent(QKeyEvent *e)
{
    TColorTTY &t = *Model;
    int key = e->key();
    if (OnKeyDown) OnKeyDown(e, key);
    if (key != 0) {
        if (t.HasOption(coCheckBreak) && IsBreakKey(e, key)) t.DoBreak();
        const Qt::KeyboardModifiers shift =
            e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const bool ctrl = shift == Qt::ControlModifier;
        for (const ScrollKey &k : ScrollKeys) {
            if (k.key == key && k.ctrl == ctrl) {
                ScrollStep(k.direction, k.code);
                break;
            }
        }
    }
    char ch = 0;
    if (KeyChar(e, ch)) {
        if (OnKeyPress) OnKeyPress(ch);
        if (ch != 0 && t.HasOption(coCheckBreak) && ch == 3) t.DoBreak();
        if (t.HasSelection()) {
            t.SelEnd = t.SelStart;
            t.InvalidateAll();
        }
    }
    e->accept();
}

void TColorTTYWidget::MouseDown(QMouseEvent *e, bool doubleClick)
{
    TColorTTY &t = *Model;
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = e->position().toPoint();
    t.MouseCell = SelPointFromPixel(t, pos.x(), pos.y(), CharW, CharH);
    t.Tracking = true;
    t.AnchorCell = t.MouseCell;
    if (t.HasSelection()) viewport()->update();
    if (!doubleClick) t.SelStart = t.SelEnd = t.MouseCell;
    t.UpdateCaret();
    KillTimer();
    StartTimer(AutoScrollMs);
    LastMouse = pos;
    if (OnMouseDown) OnMouseDown(e);
}

void TColorTTYWidget::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::RightButton) {
        // The right button opens the owner's menu: its Copy needs the selection kept.
        setFocus(Qt::MouseFocusReason);
        if (OnMouseDown) OnMouseDown(e);
        return;
    }
    MouseDown(e, false);
}

void TColorTTYWidget::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (e->button() == Qt::RightButton) {
        mousePressEvent(e);
        return;
    }
    SelectWordAtMouse(*Model);
    viewport()->update();
    if (OnDblClick) OnDblClick();
    MouseDown(e, true);
}

void TColorTTYWidget::mouseMoveEvent(QMouseEvent *e)
{
    TColorTTY &t = *Model;
    const QPoint pos = e->position().toPoint();
    if (t.Tracking) {
        SelectToMouse(t, SelPointFromPixel(t, pos.x(), pos.y(), CharW, CharH));
        viewport()->update();
    }
    LastMouse = pos;
    if (OnMouseMove) OnMouseMove(e);
}

void TColorTTYWidget::mouseReleaseEvent(QMouseEvent *e)
{
    TColorTTY &t = *Model;
    if (t.Tracking || e->button() != Qt::RightButton) {
        KillTimer();
        t.Tracking = false;
        if (t.HasOption(coFlashing) && !t.FlashRect.IsEmpty())
            StartTimer(BlinkMs);
        else
            t.SetTimerActive(false);
    }
    if (OnMouseUp) OnMouseUp(e);
}

void TColorTTYWidget::focusInEvent(QFocusEvent *e)
{
    Model->Focused = true;
    if (Model->HasOption(coFulltimeCursor)) Model->UpdateCaret();
    QAbstractScrollArea::focusInEvent(e);
}

void TColorTTYWidget::focusOutEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusOutEvent(e);
    Model->Focused = false;
    UpdateCaret(); // hides it
}

void TColorTTYWidget::timerEvent(QTimerEvent *e)
{
    TColorTTY &t = *Model;
    if (e->timerId() == FlushTimer.timerId()) {
        Flush();
        return;
    }
    if (e->timerId() == CaretBlink.timerId()) {
        CaretOn = !CaretOn;
        viewport()->update(CaretRect());
        return;
    }
    if (e->timerId() != Timer.timerId()) {
        QAbstractScrollArea::timerEvent(e);
        return;
    }
    if (t.Tracking) {
        AutoScrollStep(t, LastMouse.x(), LastMouse.y(), viewport()->height(), CharW, CharH);
        return;
    }
    t.FlashHidden = !t.FlashHidden;
    const TTTYRect &r = t.FlashRect;
    viewport()->update(QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top));
}

// ---------------------------------------------------------------- clipboard

QMimeData *TColorTTYWidget::SelectionMimeData() const
{
    auto *data = new QMimeData;
    data->setText(QString::fromStdString(cp437::ToUtf8(SelectionText(*Model))));
    if (Model->HasOption(coColors)) {
        const std::string coloured = SelectionColouredText(*Model);
        QByteArray bytes(coloured.data(), qsizetype(coloured.size()));
        bytes.append('\0'); // the block holds the text and its NUL
        data->setData(QString::fromLatin1(ColouredTextMime), bytes);
    }
    return data;
}

void TColorTTYWidget::CopyToClipboard()
{
    QGuiApplication::clipboard()->setMimeData(SelectionMimeData());
    TColorTTY &t = *Model;
    if (t.HasSelection()) {
        t.SelEnd = t.SelStart;
        t.InvalidateAll();
    }
}
