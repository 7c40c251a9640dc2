#include "terminal/qt/TerminalAccessible.h"

#include "terminal/ColorTTY.h"
#include "terminal/Contrast.h"
#include "terminal/qt/ColorTTYWidget.h"
#include "terminal/qt/TerminalSpeech.h"

#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>

namespace {

QAccessibleInterface *TerminalFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TColorTTYWidget") && object && object->isWidgetType())
        return new TTerminalAccessible(static_cast<TColorTTYWidget *>(object));
    return nullptr;
}

QString ColourValue(QRgb c)
{
    return QStringLiteral("rgb(%1,%2,%3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

} // namespace

void InstallTerminalAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(TerminalFactory);
        return true;
    }();
    (void)installed;
}

TTerminalAccessible::TTerminalAccessible(TColorTTYWidget *widget)
    : QAccessibleWidget(widget, QAccessible::Terminal)
{
}

TColorTTYWidget *TTerminalAccessible::Terminal() const
{
    return static_cast<TColorTTYWidget *>(widget());
}

const TTTYText &TTerminalAccessible::Text() const
{
    const TColorTTYWidget *w = Terminal();
    const TColorTTY &t = w->Tty();
    if (FMapGeneration != w->TextGeneration() || FMapCursorX != t.CursorX || FMapCursorY != t.CursorY ||
        FMap.Length() == 0) {
        FMap.Build(t);
        FMapGeneration = w->TextGeneration();
        FMapCursorX = t.CursorX;
        FMapCursorY = t.CursorY;
    }
    return FMap;
}

QAccessibleInterface *TTerminalAccessible::Notice() const
{
    const QObject *notice = Terminal()->findChild<TSpeechNotice *>(QString(), Qt::FindDirectChildrenOnly);
    return notice ? QAccessible::queryAccessibleInterface(const_cast<QObject *>(notice)) : nullptr;
}

void *TTerminalAccessible::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface *>(this);
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
}

QString TTerminalAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return QObject::tr("Terminal");
    return QAccessibleWidget::text(t);
}

QAccessible::State TTerminalAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.multiLine = true;
    s.selectableText = true;
    return s;
}

int TTerminalAccessible::childCount() const
{
    return OwnChildren() + (Terminal()->EditAccessible() ? 1 : 0) + (Notice() ? 1 : 0);
}

QAccessibleInterface *TTerminalAccessible::child(int index) const
{
    const int own = OwnChildren();
    if (index < own) return QAccessibleWidget::child(index);
    QAccessibleInterface *edit = Terminal()->EditAccessible();
    if (edit && index == own) return edit;
    return index == own + (edit ? 1 : 0) ? Notice() : nullptr;
}

int TTerminalAccessible::indexOfChild(const QAccessibleInterface *c) const
{
    QAccessibleInterface *edit = Terminal()->EditAccessible();
    if (c && edit && c == edit) return OwnChildren();
    if (c && c == Notice()) return OwnChildren() + (edit ? 1 : 0);
    return QAccessibleWidget::indexOfChild(c);
}

// ---------------------------------------------------------------- text

void TTerminalAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    const TColorTTY &t = Terminal()->Tty();
    if (selectionIndex != 0 || !t.Viewport().HasSelection()) return;
    const TTTYText &m = Text();
    *startOffset = m.Offset(t.SelStart.y, t.SelStart.x);
    *endOffset = m.Offset(t.SelEnd.y, t.SelEnd.x);
}

int TTerminalAccessible::selectionCount() const
{
    return Terminal()->Tty().Viewport().HasSelection() ? 1 : 0;
}

void TTerminalAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void TTerminalAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0) setSelection(0, 0, 0);
}

void TTerminalAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0) return;
    TColorTTY &t = Terminal()->Tty();
    const TTTYText &m = Text();
    const auto cell = [&m](int offset) {
        const int y = m.RowOf(offset);
        return TCellPoint{std::clamp(offset - m.RowStart(y), 0, m.RowLength(y)), y};
    };
    const TCellPoint a = cell(std::min(startOffset, endOffset)), b = cell(std::max(startOffset, endOffset));
    t.SetSelection(a, b);
    t.InvalidateAll();
}

int TTerminalAccessible::cursorPosition() const
{
    return Text().Caret();
}

void TTerminalAccessible::setCursorPosition(int)
{
    // The cursor is the host's: it moves only with the output.
}

QString TTerminalAccessible::text(int startOffset, int endOffset) const
{
    return TerminalString(Text().Text(Terminal()->Tty(), startOffset, endOffset));
}

namespace {

bool UnitOf(QAccessible::TextBoundaryType type, TTextUnit &unit)
{
    switch (type) {
    case QAccessible::CharBoundary:
        unit = tuCharacter;
        return true;
    case QAccessible::WordBoundary:
        unit = tuWord;
        return true;
    case QAccessible::SentenceBoundary:
    case QAccessible::ParagraphBoundary:
    case QAccessible::LineBoundary:
        unit = tuLine;
        return true;
    case QAccessible::NoBoundary:
        break;
    }
    return false;
}

} // namespace

QString TTerminalAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                                          int *endOffset) const
{
    const TTTYText &m = Text();
    TTextUnit unit;
    if (!UnitOf(type, unit)) {
        *startOffset = 0;
        *endOffset = m.Length();
    } else {
        m.UnitAt(Terminal()->Tty(), unit, offset, *startOffset, *endOffset);
    }
    return text(*startOffset, *endOffset);
}

QString TTerminalAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType type,
                                              int *startOffset, int *endOffset) const
{
    int s = 0, e = 0;
    textAtOffset(offset, type, &s, &e);
    if (s <= 0 || type == QAccessible::NoBoundary) {
        *startOffset = *endOffset = 0;
        return {};
    }
    return textAtOffset(s - 1, type, startOffset, endOffset);
}

QString TTerminalAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                                             int *endOffset) const
{
    int s = 0, e = 0;
    textAtOffset(offset, type, &s, &e);
    const int length = Text().Length();
    if (e >= length || type == QAccessible::NoBoundary) {
        *startOffset = *endOffset = length;
        return {};
    }
    return textAtOffset(e, type, startOffset, endOffset);
}

int TTerminalAccessible::characterCount() const
{
    return Text().Length();
}

QRect TTerminalAccessible::characterRect(int offset) const
{
    const TColorTTYWidget *w = Terminal();
    const TColorTTY &t = w->Tty();
    const TTTYText &m = Text();
    const int y = m.RowOf(offset);
    const int x = std::clamp(offset, 0, m.Length()) - m.RowStart(y);
    // a split view shows the newest rows below its handle
    const TViewRows rows = ViewRows(t);
    const int live = rows.LiveViewRow(y);
    const QPoint at((x - t.Left) * w->CharWidth(), (live >= 0 ? live : y - t.Top) * w->CharHeight());
    return {w->viewport()->mapToGlobal(at), QSize(w->CharWidth(), w->CharHeight())};
}

int TTerminalAccessible::offsetAtPoint(const QPoint &point) const
{
    const TColorTTYWidget *w = Terminal();
    const TColorTTY &t = w->Tty();
    if (w->CharWidth() <= 0 || w->CharHeight() <= 0) return -1;
    const QPoint p = w->viewport()->mapFromGlobal(point);
    if (!w->viewport()->rect().contains(p)) return -1;
    const int row = ViewRows(t).RowAt(p.y() / w->CharHeight());
    if (row == TViewRows::Handle) return -1;
    return Text().Offset(row, t.Left + p.x() / w->CharWidth());
}

void TTerminalAccessible::scrollToSubstring(int startIndex, int)
{
    TColorTTY &t = Terminal()->Tty();
    const int y = Text().RowOf(startIndex);
    if (y < t.Top || y >= t.Top + t.Viewport().UpperRows())
        t.ScrollTo(t.Left, y - t.Viewport().SplitUpperRows() / 2);
}

QString TTerminalAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    const TColorTTYWidget *w = Terminal();
    const TColorTTY &t = w->Tty();
    const TColourAttr a = Text().AttrRun(t, offset, *startOffset, *endOffset);
    const int fg = a & 0x0F, bg = t.HasOption(coFlashing) ? (a & 0x70) >> 4 : a >> 4;
    QRgb fgRgb, bgRgb;
    if (!t.HasOption(coColors)) {
        fgRgb = w->palette().color(QPalette::Text).rgb();
        bgRgb = w->palette().color(QPalette::Base).rgb();
    } else if (w->IsHighContrast()) {
        fgRgb = HighContrastCellText(fg, bg);
        bgRgb = HighContrastBackground(bg);
    } else {
        fgRgb = TerminalPalette(fg);
        bgRgb = TerminalPalette(bg);
    }
    // Named as IAccessible2 names them; Qt's bridge gives them the AT-SPI names.
    QString s = QStringLiteral("color:%1;background-color:%2").arg(ColourValue(fgRgb), ColourValue(bgRgb));
    if (t.HasOption(coColors))
        s += QStringLiteral(";fg-color-name:%1;bg-color-name:%2")
                 .arg(QString::fromLatin1(ColourName(fg)), QString::fromLatin1(ColourName(bg)));
    if ((a & caFlash) && t.HasOption(coFlashing)) s += QStringLiteral(";text-blink:true");
    return s;
}

// ---------------------------------------------------------------- value

QVariant TTerminalAccessible::currentValue() const
{
    return Terminal()->Tty().Top;
}

void TTerminalAccessible::setCurrentValue(const QVariant &value)
{
    TColorTTYWidget *w = Terminal();
    w->ScrollStep(Qt::Vertical, scThumbPosition, value.toInt());
}

QVariant TTerminalAccessible::maximumValue() const
{
    return Terminal()->Tty().MaxTop;
}

QVariant TTerminalAccessible::minimumValue() const
{
    return 0;
}

QVariant TTerminalAccessible::minimumStepSize() const
{
    return 1;
}

// ---------------------------------------------------------------- the widget's part

void TColorTTYWidget::SetHighContrast(bool on)
{
    if (FPainter.IsHighContrast() == on) return;
    FPainter.SetHighContrast(on);
    viewport()->update();
}
