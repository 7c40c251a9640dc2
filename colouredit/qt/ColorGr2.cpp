#include "colouredit/qt/ColorGr2.h"

#include "terminal/ColourAttr.h"
#include "terminal/TerminalText.h"
#include "terminal/qt/TerminalSpeech.h"

#include <QAccessibleWidget>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

QAccessibleInterface *GridFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TColourGrid") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::ColorChooser);
    return nullptr;
}

} // namespace

TColourGrid::TColourGrid(QWidget *parent) : QWidget(parent), FNotice(new TSpeechNotice(this))
{
    static const bool factory = [] {
        QAccessible::installFactory(GridFactory);
        return true;
    }();
    (void)factory;
    setFocusPolicy(Qt::StrongFocus);
    setGeometry(0, 0, 100, 100);
    setAccessibleName(tr("Colours"));
    setAccessibleDescription(ChoiceText());
    AdjustGridSize();
}

QString TColourGrid::ChoiceText() const
{
    QStringList parts;
    const auto name = [](int i) { return QString::fromLatin1(i >= 0 && i <= 15 ? ColourName(i) : "none"); };
    if (FForegroundEnabled) parts << tr("foreground %1").arg(name(FForegroundIndex));
    if (FBackgroundEnabled) parts << tr("background %1").arg(name(FBackgroundIndex));
    return parts.join(QStringLiteral(", "));
}

void TColourGrid::ChoiceChanged()
{
    setAccessibleDescription(ChoiceText());
    update();
    if (OnChange) OnChange();
}

void TColourGrid::Announce(const QString &before)
{
    const QString now = ChoiceText();
    if (now != before) FNotice->Say(now);
}

QColor TColourGrid::CellColour(int index)
{
    // The terminal's 16 colours: the platform keeps no default system palette of its own.
    return QColor(QRgb(0xFF000000u | TerminalPalette(index)));
}

QColor TColourGrid::ContrastColour(const QColor &cell)
{
    auto c = [](int v) { return v >= 128 ? 0 : 255; };
    return QColor(c(cell.red()), c(cell.green()), c(cell.blue()));
}

QRect TColourGrid::CellRect(int index) const
{
    const int col = FGridOrdering == go2x8 ? index / FRows : index % FColumns;
    const int row = FGridOrdering == go2x8 ? index % FRows : index / FColumns;
    return {col * CellWidth(), row * CellHeight(), CellWidth(), CellHeight()};
}

int TColourGrid::CellAt(int x, int y) const
{
    x = std::clamp(x, 0, std::max(0, width() - 1));
    y = std::clamp(y, 0, std::max(0, height() - 1));
    const int col = x / std::max(1, CellWidth()), row = y / std::max(1, CellHeight());
    return FGridOrdering == go2x8 ? col * FRows + row : row * FColumns + col;
}

// ---------------------------------------------------------------- properties

void TColourGrid::AdjustGridSize()
{
    const int w = width() / FColumns * FColumns, h = height() / FRows * FRows;
    if (w != width() || h != height()) resize(w, h);
}

void TColourGrid::SetGridOrdering(TGridOrdering value)
{
    if (value == FGridOrdering || value < go16x1 || value > go1x16) return;
    FGridOrdering = value;
    FColumns = 16 >> int(value);
    FRows = 1 << int(value);
    AdjustGridSize();
    update();
}

void TColourGrid::SetSelection(int value)
{
    if (value == FSelection) return;
    FSelection = value;
    update();
    if (hasFocus() && value >= 0 && value <= 15) FNotice->Say(QString::fromLatin1(ColourName(value)));
}

void TColourGrid::SetForegroundIndex(int value)
{
    if (value == FForegroundIndex || !FForegroundEnabled) return;
    FForegroundIndex = value;
    ChoiceChanged();
}

void TColourGrid::SetBackgroundIndex(int value)
{
    if (value == FBackgroundIndex || !FBackgroundEnabled) return;
    FBackgroundIndex = value;
    ChoiceChanged();
}

void TColourGrid::SetForegroundEnabled(bool value)
{
    if (value == FForegroundEnabled) return;
    FForegroundEnabled = value;
    setAccessibleDescription(ChoiceText());
    update();
}

void TColourGrid::SetBackgroundEnabled(bool value)
{
    if (value == FBackgroundEnabled) return;
    FBackgroundEnabled = value;
    setAccessibleDescription(ChoiceText());
    update();
}

void TColourGrid::SetCtl3D(bool value)
{
    if (value == FCtl3D) return;
    FCtl3D = value;
    update();
}

void TColourGrid::EnableOnChoice(bool foreground)
{
    if (!FClickEnablesColor) return;
    if (foreground && !FForegroundEnabled) {
        FForegroundEnabled = true;
        FForegroundIndex = -1; // the assignment that follows counts as a change
    } else if (!foreground && !FBackgroundEnabled) {
        FBackgroundEnabled = true;
        FBackgroundIndex = -1;
    }
    update();
}

// ---------------------------------------------------------------- painting

// Cells are drawn in device pixels: at a fractional pixel ratio (1.5) rectangles scaled
// from logical pixels overlap their neighbours here and there and outlines change width.
void TColourGrid::DrawSquare(QPainter &p, int i, bool highlight) const
{
    if (i < 0 || i > 15) return;
    const qreal dpr = devicePixelRatioF();
    const int t = std::max(1, int(dpr)); // a logical pixel of outline, in device pixels
    const QRect cell = CellRect(i);
    QRect r(QPoint(qRound(cell.left() * dpr), qRound(cell.top() * dpr)),
            QPoint(qRound((cell.right() + 1) * dpr) - 1, qRound((cell.bottom() + 1) * dpr) - 1));
    const QColor colour = CellColour(i);
    p.save();
    p.setWorldTransform(QTransform::fromScale(1 / dpr, 1 / dpr));
    auto top = [&p, t](const QRect &rr, const QColor &c) {
        p.fillRect(rr.left(), rr.top(), rr.width(), t, c);
    };
    auto left = [&p, t](const QRect &rr, const QColor &c) {
        p.fillRect(rr.left(), rr.top(), t, rr.height(), c);
    };
    auto bottom = [&p, t](const QRect &rr, const QColor &c) {
        p.fillRect(rr.left(), rr.bottom() - t + 1, rr.width(), t, c);
    };
    auto right = [&p, t](const QRect &rr, const QColor &c) {
        p.fillRect(rr.right() - t + 1, rr.top(), t, rr.height(), c);
    };
    auto rectangle = [&](const QRect &rr, const QColor &outline, const QColor &fill) {
        p.fillRect(rr, fill);
        top(rr, outline);
        left(rr, outline);
        bottom(rr, outline);
        right(rr, outline);
    };
    if (!FCtl3D) {
        if (!highlight) {
            rectangle(r, Qt::black, colour);
        } else {
            // The cell inverted, then its inner part drawn again: an inverted ring marks it.
            p.setCompositionMode(QPainter::RasterOp_NotDestination);
            p.fillRect(r, Qt::black);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            rectangle(r.adjusted(2 * t, 2 * t, -2 * t, -2 * t), Qt::black, colour);
        }
        p.restore();
        return;
    }
    const QPalette &pal = palette();
    rectangle(r, pal.color(QPalette::Button), pal.color(QPalette::Button));
    r.adjust(t, t, -t, -t);
    // Sunken frame, two pixels: shadow top-left, light bottom-right.
    for (int k = 0; k < 2; ++k, r.adjust(t, t, -t, -t)) {
        top(r, pal.color(QPalette::Dark));
        left(r, pal.color(QPalette::Dark));
        bottom(r, pal.color(QPalette::Light));
        right(r, pal.color(QPalette::Light));
    }
    p.fillRect(r, colour);
    if (highlight) {
        p.setPen(QPen(ContrastColour(colour), 1, Qt::DotLine));
        for (int k = 0; k < t; ++k)
            p.drawRect(r.adjusted(t + k, t + k, -t - k - 1, -t - k - 1));
    }
    p.restore();
}

QString TColourGrid::Label(int index) const
{
    const bool fg = FForegroundEnabled && index == FForegroundIndex;
    const bool bg = FBackgroundEnabled && index == FBackgroundIndex;
    return QString::fromLatin1(fg && bg ? "FB" : fg ? "FG" : bg ? "BG" : "");
}

void TColourGrid::DrawLabels(QPainter &p) const
{
    p.setFont(font());
    for (int index : {FForegroundIndex, FBackgroundIndex}) {
        const QString text = Label(index);
        if (index < 0 || index > 15 || text.isEmpty()) continue;
        p.setPen(ContrastColour(CellColour(index)));
        p.drawText(CellRect(index), Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, text);
    }
}

void TColourGrid::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    for (int i = 0; i < 16; ++i)
        DrawSquare(p, i, false);
    if (hasFocus()) DrawSquare(p, FSelection, true);
    DrawLabels(p);
}

void TColourGrid::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    AdjustGridSize();
}

// ---------------------------------------------------------------- input

void TColourGrid::mousePressEvent(QMouseEvent *e)
{
    FDragging = true;
    FDragButton = e->button();
    const QPoint pos = e->position().toPoint();
    const int i = CellAt(pos.x(), pos.y());
    const bool foreground = FDragButton == Qt::LeftButton;
    const QString before = ChoiceText();
    EnableOnChoice(foreground);
    if (foreground)
        SetForegroundIndex(i);
    else
        SetBackgroundIndex(i);
    SetSelection(i);
    if (focusPolicy() & Qt::TabFocus) setFocus(Qt::MouseFocusReason);
    Announce(before);
}

void TColourGrid::mouseMoveEvent(QMouseEvent *e)
{
    if (!FDragging) return;
    const QPoint pos = e->position().toPoint();
    const int i = CellAt(pos.x(), pos.y());
    if (FDragButton != Qt::LeftButton)
        SetBackgroundIndex(i);
    else
        SetForegroundIndex(i);
    SetSelection(i);
}

void TColourGrid::mouseReleaseEvent(QMouseEvent *e)
{
    if (OnMouseUp) OnMouseUp(e->button());
    FDragging = false;
}

void TColourGrid::keyPressEvent(QKeyEvent *e)
{
    int key = e->key();
    if (OnKeyDown) OnKeyDown(e, key);
    const int total = FColumns * FRows, s = FSelection;
    const bool keypad = e->modifiers() & Qt::KeypadModifier;
    int next = s;
    if (key == Qt::Key_Right || key == Qt::Key_Space) {
        next = s + 1 < total ? s + 1 : 0;
    } else if (key == Qt::Key_Left) {
        next = s > 0 ? s - 1 : total - 1;
    } else if (key == Qt::Key_Up) {
        next = s >= FColumns ? s - FColumns : s > 0 ? total - FColumns + s - 1 : total - 1;
    } else if (key == Qt::Key_Down) {
        next = s + FColumns < total ? s + FColumns : s == total - 1 ? 0 : s % FColumns + 1;
    } else if (key == Qt::Key_Home) {
        next = 0;
    } else if (key == Qt::Key_End) {
        next = total - 1;
    } else if (key == Qt::Key_F || (keypad && key == Qt::Key_6)) {
        const QString before = ChoiceText();
        EnableOnChoice(true);
        SetForegroundIndex(s);
        Announce(before);
        if (OnClick) OnClick();
    } else if (key == Qt::Key_B || (keypad && key == Qt::Key_2)) {
        const QString before = ChoiceText();
        EnableOnChoice(false);
        SetBackgroundIndex(s);
        Announce(before);
        if (OnClick) OnClick();
    } else {
        e->ignore();
        return;
    }
    SetSelection(next);
}

void TColourGrid::focusInEvent(QFocusEvent *e)
{
    QWidget::focusInEvent(e);
    update();
}

void TColourGrid::focusOutEvent(QFocusEvent *e)
{
    QWidget::focusOutEvent(e);
    update();
}
