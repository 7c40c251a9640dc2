#include "terminal/qt/ColorTTYWidget.h"

#include "terminal/ColorTTYSelection.h"
#include "terminal/Cp437.h"
#include "terminal/qt/Cp437Qt.h"
#include "terminal/qt/TerminalAccessible.h"
#include "terminal/qt/TerminalSpeech.h"

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

constexpr int FrameMs = 16;             // lazy repaints at most this often
constexpr qint64 PausedGapNs = 2000000; // after a pause in the output, paint this soon at the earliest

} // namespace

TColorTTYWidget::TColorTTYWidget(QWidget *parent) : TColorTTYWidget(std::make_unique<TColorTTY>(), parent)
{
}

TColorTTYWidget::~TColorTTYWidget()
{
    FSpeechPtr.reset();
    FFlushTimer.stop();
    FSettleTimer.stop();
    FTimer.stop();
    FCaretBlink.stop();
    FModel->SetView(nullptr);
}

TColorTTYWidget::TColorTTYWidget(std::unique_ptr<TColorTTY> model, QWidget *parent)
    : QAbstractScrollArea(parent), FModel(model ? std::move(model) : std::make_unique<TColorTTY>())
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
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TColorTTYWidget::ScrollBarMoved);

    QFont f(QStringLiteral("Courier"), 10);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    setFont(f);
    FModel->SetView(this);
    FontChanged();
    FModel->Clear();
    FSpeechPtr = std::make_unique<TTerminalSpeech>(*this, *FModel);
    InstallTerminalAccessibility();
}

// ---------------------------------------------------------------- metrics and layout

void TColorTTYWidget::FontChanged()
{
    if (FPainter.UsesBitmapFont()) {
        const QSize cell = FPainter.BuildBitmapGlyphs(devicePixelRatioF());
        FPainter.SetFont(FMeasuredFont); // the QFont's glyphs stay ready for a switch back
        // the caret on the cell's last two rows, as on a VGA
        return SetMetrics(cell.width(), cell.height(), cell.height() - 2, 0);
    }
    const QFont f = font();
    if (FMeasured && f == FMeasuredFont) return;
    const QFontMetricsF fm(f);
    const QFontMetrics fmi(f);
    const qreal advance = fm.horizontalAdvance(QLatin1Char('x'));
    const int cw = std::max(1, qRound(advance));
    const int ch = std::max(1, fmi.height() + std::max(0, fmi.leading()));
    // Glyphs wider than their cell (a fractional advance rounded down, a wide glyph) reach
    // into the next one: repaint rectangles are widened by that much.
    const int overhang = std::max(0, int(std::ceil(std::max(fm.maxWidth(), advance))) - cw);
    FMeasuredFont = f;
    FMeasured = true;
    FPainter.SetFont(f);
    SetMetrics(cw, ch, fmi.ascent(), overhang);
}

void TColorTTYWidget::SetMetrics(int charWidth, int charHeight, int ascent, int overhang)
{
    FCharW = charWidth;
    FCharH = charHeight;
    FAscentPx = ascent;
    FOverhangPx = overhang;
    FPainter.SetMetrics(charWidth, charHeight, ascent, overhang);
    viewport()->update();
    RecalcLayout();
}

void TColorTTYWidget::RecalcLayout()
{
    if (FCharW <= 0 || FCharH <= 0) return;
    FModel->SetVisibleSize(viewport()->width() / FCharW, viewport()->height() / FCharH);
    UpdateScrollBar();
}

void TColorTTYWidget::UpdateScrollBar()
{
    FBarDirty = false;
    const TColorTTY &t = *FModel;
    QScrollBar *bar = verticalScrollBar();
    FSettingBar = true;
    bar->setRange(t.Screen().FirstRow(), std::max(1, t.MaxTop)); // the history above the ring
    bar->setSingleStep(1);
    bar->setPageStep(std::max(1, t.Viewport().UpperRows()));
    bar->setValue(t.Top);
    FSettingBar = false;
}

void TColorTTYWidget::ScrollBarMoved(int value)
{
    if (FSettingBar) return;
    FModel->ScrollTo(FModel->Left, value);
    if (verticalScrollBar()->value() != FModel->Top)
        UpdateScrollBar(); // clamped: the range is at least 1 even when nothing can scroll
}

void TColorTTYWidget::ScrollStep(Qt::Orientation direction, TScrollCode code, int pos)
{
    TColorTTY &t = *FModel;
    const bool horizontal = direction == Qt::Horizontal;
    int value = horizontal ? t.Left : t.Top;
    const int page = horizontal ? t.VisibleCols / 2 : t.Viewport().SplitUpperRows();
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
        value = horizontal ? 0 : t.Screen().FirstRow();
        break;
    case scBottom:
        value = max;
        break;
    }
    if (horizontal)
        t.ScrollTo(value, t.Top);
    else
        t.ScrollTo(t.Left, value);
    if (FBarDirty) UpdateScrollBar();
}

void TColorTTYWidget::SetOptions(TColorTTYOptions options)
{
    FModel->SetOptions(options);
    viewport()->update();
    UpdateCaret();
}

QSize TColorTTYWidget::sizeHint() const
{
    const int w = std::max(1, FCharW) * FModel->Cols + verticalScrollBar()->sizeHint().width();
    return {w, std::max(1, FCharH) * 25};
}

// ---------------------------------------------------------------- the view interface

void TColorTTYWidget::InvalidateCells(int x1, int x2, int y, bool immediately)
{
    ++FGeneration;
    if (!immediately && FDirtyAll) return; // all of it is repainted anyway
    const TColorTTY &t = *FModel;
    QRect r = QRect((x1 - t.Left) * FCharW, (y - t.Top) * FCharH, (x2 - x1) * FCharW + FOverhangPx, FCharH) &
              viewport()->rect();
    if (t.Viewport().ShowsSplit()) {
        // The live part follows the newest rows wherever they are: all of it, with the handle's count.
        const int upper = t.Viewport().UpperRows();
        if (y - t.Top >= upper) r = {};
        r |= QRect(0, upper * FCharH, viewport()->width(), viewport()->height() - upper * FCharH);
    }
    if (!immediately) {
        if (!r.isEmpty()) Dirty(r);
        return;
    }
    if (!r.isEmpty()) viewport()->repaint(r);
    SyncCaret();
}

void TColorTTYWidget::InvalidateAll(bool immediately)
{
    ++FGeneration;
    // A new buffer size changes the scroll range even when the view stays where it is.
    if (!immediately) {
        FDirtyAll = FBarDirty = true;
        ScheduleFlush();
        return;
    }
    viewport()->repaint();
    UpdateScrollBar();
    SyncCaret();
}

void TColorTTYWidget::ViewMoved(int, int, int, int)
{
    ++FGeneration;
    // The whole view is repainted rather than its pixels moved.
    if (FModel->HasOption(coLazyWrite)) {
        FDirtyAll = FBarDirty = true;
        ScheduleFlush();
        return;
    }
    viewport()->repaint();
    UpdateScrollBar();
}

void TColorTTYWidget::TopRenumbered()
{
    ++FGeneration;
    if (FModel->Viewport().ShowsSplit()) {
        // The live part's rows moved up with the ring, and the handle counts one more row back.
        const int upper = FModel->Viewport().UpperRows() * FCharH;
        const QRect r(0, upper, viewport()->width(), viewport()->height() - upper);
        if (FModel->HasOption(coLazyWrite))
            Dirty(r);
        else
            viewport()->update(r);
    }
    if (FModel->HasOption(coLazyWrite)) {
        FBarDirty = true;
        ScheduleFlush();
        return;
    }
    UpdateScrollBar();
}

void TColorTTYWidget::OutputPaused()
{
    if (!FFlushTimer.isActive() || Typing()) return;
    // Sooner than the next frame, as long as painting takes at most about an eighth of the time.
    const qint64 gap = std::max(PausedGapNs, 8 * FPaintNs);
    if (gap >= qint64(FrameMs) * 1000000) return;
    const qint64 wait = FLastPaint.isValid() ? gap - FLastPaint.nsecsElapsed() : 0;
    if (wait <= 0)
        Flush();
    else
        FFlushTimer.start(int((wait + 999999) / 1000000), this);
}

void TColorTTYWidget::Dirty(const QRect &r)
{
    if (!FDirtyAll) FDirtyRect |= r;
    ScheduleFlush();
}

void TColorTTYWidget::ScheduleFlush()
{
    if (FFlushTimer.isActive()) return;
    const qint64 since = FLastPaint.isValid() ? FLastPaint.elapsed() : FrameMs;
    FFlushTimer.start(Typing() ? 0 : int(std::max<qint64>(0, FrameMs - since)), this);
}

void TColorTTYWidget::Flush()
{
    // The scroll and the tracking that waited come first: they may move the whole view.
    FModel->SettleView();
    // The caret that follows the output is painted in the same frame as the cells.
    SyncCaret();
    FFlushTimer.stop();
    if (FBarDirty) UpdateScrollBar();
    if (FDirtyAll)
        viewport()->update();
    else if (!FDirtyRect.isEmpty())
        viewport()->update(FDirtyRect);
    FDirtyAll = false;
    FDirtyRect = {};
}

void TColorTTYWidget::FrameWanted()
{
    ScheduleFlush();
}

void TColorTTYWidget::Beep()
{
    QApplication::beep();
}

void TColorTTYWidget::UpdateCaret()
{
    const TColorTTY &t = *FModel;
    const QRect old = CaretRect();
    FCaretShown = t.Focused && t.HasOption(coFulltimeCursor) && t.CursorShown();
    FCaretCell = {t.CursorX, t.CursorY};
    FCaretOn = true;
    const int flash = QApplication::cursorFlashTime();
    if (FCaretShown && flash > 0)
        FCaretBlink.start(flash / 2, this);
    else
        FCaretBlink.stop();
    // Collected with the cells' repaints: a caret following a flood of output would
    // otherwise cost a paint for every read.
    const bool lazy = FModel->HasOption(coLazyWrite);
    const QRect now = CaretRect();
    for (const QRect &r : {old, now}) {
        if (r.isEmpty()) continue;
        if (lazy)
            Dirty(r);
        else
            viewport()->update(r);
    }
}

void TColorTTYWidget::SyncCaret()
{
    // Text output moves the cursor without placing the caret; follow it here so the caret
    // keeps marking the cursor while the BBS echoes what is typed.
    if ((FCaretShown && (FCaretCell.x != FModel->CursorX || FCaretCell.y != FModel->CursorY)) ||
        FCaretShown != (FModel->Focused && FModel->HasOption(coFulltimeCursor) && FModel->CursorShown()))
        UpdateCaret();
}

QRect TColorTTYWidget::CellRect(TCellPoint cell) const
{
    if (FCharW <= 0) return {};
    const TColorTTY &t = *FModel;
    int row = cell.y - t.Top;
    if (t.Viewport().ShowsSplit()) {
        const TViewRows rows = ViewRows(t);
        row = rows.LiveViewRow(cell.y) >= 0 ? rows.LiveViewRow(cell.y) : rows.UpperViewRow(cell.y);
        if (row < 0) return {};
    }
    return {(cell.x - t.Left) * FCharW, row * FCharH, FCharW, FCharH};
}

QRect TColorTTYWidget::CaretRect() const
{
    const QRect cell = FCaretShown ? CellRect(FCaretCell) : QRect();
    return cell.isEmpty() ? cell : QRect(cell.x(), cell.y() + FAscentPx, FCharW, 2);
}

void TColorTTYWidget::StopTimer()
{
    FTimer.stop();
}

// ---------------------------------------------------------------- events

namespace {

// A key that types a printable character with Shift at most.
bool TypesAPrintable(const QKeyEvent *k)
{
    if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = k->text();
    return text.size() == 1 && text[0].unicode() >= 0x20 && text[0].unicode() != 0x7f;
}

} // namespace

bool TColorTTYWidget::event(QEvent *e)
{
    if (e->type() == QEvent::ShortcutOverride && TypesAPrintable(static_cast<QKeyEvent *>(e))) {
        // A typed character is the BBS's whatever shortcut shares its key, and typing skips
        // Qt's look through every shortcut (a cost on each key's way to the server).
        e->accept();
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
    if (FCaretShown) FModel->UpdateCaret();
}

void TColorTTYWidget::changeEvent(QEvent *e)
{
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange && FModel && !FPainter.UsesBitmapFont())
        FontChanged();
    else if (e->type() == QEvent::PaletteChange)
        viewport()->update();
}

namespace {

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
    if (FSpeechPtr->ReviewKey(e)) return;
    FLastKey.start();
    TColorTTY &t = *FModel;
    if (e->key() == Qt::Key_End && t.Viewport().Split()) { // End leaves the history, whatever is held
        CloseSplit(t);
        if (FBarDirty) UpdateScrollBar();
        e->accept();
        return;
    }
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
    if (uint8_t b = 0; Cp437KeyByte(e, b)) {
        ch = char(b);
        if (OnKeyPress) OnKeyPress(ch);
        if (ch != 0) FSpeechPtr->Typed(ch);
        if (ch != 0 && t.HasOption(coCheckBreak) && ch == 3) t.DoBreak();
        if (ch != 0) CloseSplit(t); // typing: back to the newest rows
        if (t.Viewport().HasSelection()) {
            t.Viewport().DropSelection();
            t.InvalidateAll();
        }
    }
    e->accept();
}

void TColorTTYWidget::focusInEvent(QFocusEvent *e)
{
    FModel->Viewport().SetFocused(true);
    if (FModel->HasOption(coFulltimeCursor)) FModel->UpdateCaret();
    QAbstractScrollArea::focusInEvent(e);
}

void TColorTTYWidget::focusOutEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusOutEvent(e);
    FModel->Viewport().SetFocused(false);
    UpdateCaret(); // hides it
}

void TColorTTYWidget::timerEvent(QTimerEvent *e)
{
    TColorTTY &t = *FModel;
    if (e->timerId() == FFlushTimer.timerId()) {
        Flush();
        return;
    }
    if (e->timerId() == FSettleTimer.timerId()) {
        FSettleTimer.stop();
        FSettling = true;
        viewport()->repaint(FSettleRect);
        FSettling = false;
        return;
    }
    if (e->timerId() == FCaretBlink.timerId()) {
        FCaretOn = !FCaretOn;
        viewport()->update(CaretRect());
        return;
    }
    if (e->timerId() != FTimer.timerId()) {
        QAbstractScrollArea::timerEvent(e);
        return;
    }
    if (t.Tracking) {
        const int bottom = SelectionDragBottom(t, viewport()->height(), FCharH);
        const bool split = t.Viewport().ShowsSplit();
        AutoScrollStep(t, FLastMouse.x(), std::min(FLastMouse.y(), bottom), bottom, FCharW, FCharH);
        if (split && !t.Viewport().ShowsSplit()) // scrolled down to the newest rows: the whole view again
            SelectToMouse(t, SelPointFromPixel(t, FLastMouse.x(), FLastMouse.y(), FCharW, FCharH));
        return;
    }
    t.Viewport().SetFlashHidden(!t.FlashHidden);
    const TTTYRect &r = t.FlashRect;
    viewport()->update(QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top));
}

// ---------------------------------------------------------------- clipboard

QMimeData *TColorTTYWidget::SelectionMimeData() const
{
    auto *data = new QMimeData;
    data->setText(QString::fromStdString(cp437::ToUtf8(SelectionText(*FModel))));
    if (FModel->HasOption(coColors)) {
        const std::string coloured = SelectionColouredText(*FModel);
        QByteArray bytes(coloured.data(), qsizetype(coloured.size()));
        bytes.append('\0'); // the block holds the text and its NUL
        data->setData(QString::fromLatin1(ColouredTextMime), bytes);
    }
    return data;
}

void TColorTTYWidget::CopyToClipboard()
{
    QGuiApplication::clipboard()->setMimeData(SelectionMimeData());
    TColorTTY &t = *FModel;
    if (t.Viewport().HasSelection()) {
        t.Viewport().DropSelection();
        t.InvalidateAll();
    }
}

void TColorTTYWidget::SetHighlights(const TScrollbackSearch *search, TSearchHit current)
{
    FPainter.SetHighlights(search, current);
    viewport()->update();
}

void TColorTTYWidget::SetBitmapFont(std::shared_ptr<const TCp437BitmapFont> font, int zoom)
{
    FPainter.SetBitmapFont(std::move(font), zoom);
    FMeasured = false; // a QFont given back is measured anew
    FontChanged();
}
