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

const QEvent::Type TrackEvent = QEvent::Type(QEvent::User + 100);  // WM_TTY_TRACK
const QEvent::Type ScrollEvent = QEvent::Type(QEvent::User + 101); // WM_TTY_SCROLL

constexpr int AutoScrollMs = 50;
constexpr int FrameMs = 16; // lazy repaints at most this often
constexpr int TypingMs = 250; // for this long after a key, what comes is painted at once (the echo)

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
    SpeechPtr.reset();
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
    BuildShadeTiles();
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TColorTTYWidget::ScrollBarMoved);

    QFont f(QStringLiteral("Courier"), 10);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    setFont(f);
    Model->SetView(this);
    FontChanged();
    Model->Clear();
    SpeechPtr = std::make_unique<TTerminalSpeech>(*this, *Model);
    InstallTerminalAccessibility();
}

// ---------------------------------------------------------------- metrics and layout

void TColorTTYWidget::FontChanged()
{
    if (BitmapFont) return BuildBitmapGlyphs();
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
    bar->setRange(t.FirstRow(), std::max(1, t.MaxTop)); // the history above the ring
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
        value = horizontal ? 0 : t.FirstRow();
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
    ++Generation;
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
    ++Generation;
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
    ++Generation;
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
    ++Generation;
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
    const bool typing = LastKey.isValid() && LastKey.elapsed() < TypingMs;
    FlushTimer.start(typing ? 0 : int(std::max<qint64>(0, FrameMs - since)), this);
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
    CaretShown = t.Focused && t.HasOption(coFulltimeCursor) && t.CursorShown();
    CaretCell = {t.CursorX, t.CursorY};
    CaretOn = true;
    const int flash = QApplication::cursorFlashTime();
    if (CaretShown && flash > 0)
        CaretBlink.start(flash / 2, this);
    else
        CaretBlink.stop();
    // Collected with the cells' repaints: a caret following a flood of output would
    // otherwise cost a paint for every read.
    const bool lazy = Model->HasOption(coLazyWrite);
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
    if ((CaretShown && (CaretCell.x != Model->CursorX || CaretCell.y != Model->CursorY)) ||
        CaretShown != (Model->Focused && Model->HasOption(coFulltimeCursor) && Model->CursorShown()))
        UpdateCaret();
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
    if (e->type() == QEvent::FontChange && Model && !BitmapFont)
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
    if (ReviewKey(e)) return;
    LastKey.start();
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
    if (uint8_t b = 0; Cp437KeyByte(e, b)) {
        ch = char(b);
        if (OnKeyPress) OnKeyPress(ch);
        if (ch != 0) SpeechPtr->Typed(ch);
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
