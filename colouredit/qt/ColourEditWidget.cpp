#include "colouredit/qt/ColourEditWidget.h"

#include "terminal/qt/Cp437Qt.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace {

QColor EditColour(int index)
{
    return QColor(QRgb(0xFF000000u | EditPalette(index)));
}

struct KeyVk
{
    int key;
    uint16_t vk;
};
constexpr KeyVk EditKeys[] = {
    {Qt::Key_Left, VK_LEFT},      {Qt::Key_Right, VK_RIGHT},   {Qt::Key_Up, VK_UP},
    {Qt::Key_Down, VK_DOWN},      {Qt::Key_Home, VK_HOME},     {Qt::Key_End, VK_END},
    {Qt::Key_Backspace, VK_BACK}, {Qt::Key_Delete, VK_DELETE},
};

// The character a key types as a code page 437 byte; Enter with or without Ctrl is a line
// break here. False for keys that type nothing.
bool KeyChar(const QKeyEvent *e, uint8_t &ch)
{
    if (!Cp437KeyByte(e, ch)) return false;
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) ch = 13;
    return true;
}

} // namespace

namespace {

// The memo as screen readers see it: its own editable text.
class TColourMemoAccessible : public QAccessibleWidget, public TColourTextAccess
{
public:
    explicit TColourMemoAccessible(TCustomColourEdit *edit)
        : QAccessibleWidget(edit, QAccessible::EditableText)
    {
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface *>(this);
        if (t == QAccessible::EditableTextInterface && !Edit()->ReadOnly())
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !Edit()->ReadOnly();
        s.readOnly = Edit()->ReadOnly();
        s.multiLine = Edit()->MultiLine();
        s.selectableText = true;
        return s;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) return ColourEditText(*Edit(), false);
        return QAccessibleWidget::text(t);
    }
    using TColourTextAccess::text;

protected:
    TCustomColourEdit *Edit() const { return static_cast<TCustomColourEdit *>(widget()); }
    TAbstractColourEdit *Model() const override { return Edit(); }
    QRect IndexRect(int i) const override
    {
        const QRect r = Edit()->IndexRect(i);
        return {Edit()->mapToGlobal(r.topLeft()), r.size()};
    }
    int IndexAt(const QPoint &screen) const override
    {
        return Edit()->PositionFromPixel(Edit()->mapFromGlobal(screen));
    }
};

QAccessibleInterface *MemoFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TCustomColourEdit") && object && object->isWidgetType())
        return new TColourMemoAccessible(static_cast<TCustomColourEdit *>(object));
    return nullptr;
}

} // namespace

TCustomColourEdit::TCustomColourEdit(QWidget *parent, int capacity)
    : QWidget(parent), TAbstractColourEdit(capacity), FColor(palette().color(QPalette::Base))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::IBeamCursor);
    SetClipboard(&FQtClipboard);
    SetBeeper(&FQtBeeper);
    FontChanged();
    static const bool factory = [] {
        QAccessible::installFactory(MemoFactory);
        return true;
    }();
    (void)factory;
}

TCustomColourEdit::~TCustomColourEdit()
{
    OnChange = nullptr;
    FCaretBlink.stop();
}

void TCustomColourEdit::SetBorderStyle(TBorderStyle style)
{
    FBorderStyle = style;
    update();
}

void TCustomColourEdit::SetColor(const QColor &colour)
{
    FColor = colour;
    update();
}

void TCustomColourEdit::FontChanged()
{
    const QFontMetricsF fm(font());
    const QFontMetrics fmi(font());
    FCharW = std::max(1, qRound(fm.horizontalAdvance(QLatin1Char('X'))));
    FLineH = std::max(1, fmi.height());
    FAscent = fmi.ascent();
    // Glyphs are placed cell by cell from the chosen font; a byte it has no glyph for is
    // shown by its ASCII stand-in.
    FGlyphFont = QRawFont::fromFont(font());
    const std::array<quint32, 256> glyphs = Cp437Glyphs(FGlyphFont);
    std::copy(glyphs.begin(), glyphs.end(), FGlyph);
    FGlyph[uint8_t(' ')] = 0;
    update();
}

QRect TCustomColourEdit::TextArea() const
{
    return FBorderStyle == bsSingle ? rect().adjusted(InsetX, InsetY, -InsetX, -InsetY) : rect();
}

int TCustomColourEdit::LineBreaksBetween(int from, int to) const
{
    int n = 0;
    for (int i = std::max(from, 0); i < std::min(to, FLen); ++i)
        if (FBuf[i] == 1)
            ++i;
        else if (IsLineBreak(i))
            ++n;
    return n;
}

void TCustomColourEdit::ScrollCaretIntoView()
{
    const int fit = std::max(1, TextArea().height() / FLineH);
    if (FCaret >= FTopIndex) {
        // Lines 0..fit-1 below TopIndex are in view: the caret's line must be one of them.
        for (int n = LineBreaksBetween(FTopIndex, FCaret) - fit + 1; n > 0; --n) {
            FTopIndex = LineEnd(FTopIndex) + 1;
            FDirtyFrom = 0;
        }
    } else {
        int i = FCaret;
        while (i > 0 && !IsLineBreak(i - 1))
            --i;
        FTopIndex = i;
        FDirtyFrom = 0;
    }
}

void TCustomColourEdit::Update()
{
    ScrollCaretIntoView();
    if (FDirtyFrom != NotDirty) update();
    FDirtyFrom = NotDirty;
    PlaceCaret();
    FAccessEvents.Sync(this, *this, false);
}

QRect TCustomColourEdit::IndexRect(int i) const
{
    const QRect area = TextArea();
    const int x = area.left() + VisibleColumn(i) * FCharW;
    const int y = area.top() + FLineH * LineBreaksBetween(FTopIndex, i);
    return {x, y, FCharW, FLineH};
}

QRect TCustomColourEdit::CaretRect() const
{
    if (!FCaretShown) return {};
    const QRect r = IndexRect(FCaret);
    return {r.left(), r.top(), 2, FLineH};
}

void TCustomColourEdit::PlaceCaret()
{
    if (FReadOnly || FCaret < FTopIndex) return;
    const QRect old = CaretRect();
    FCaretShown = hasFocus();
    FCaretOn = true;
    const int flash = QApplication::cursorFlashTime();
    if (FCaretShown && flash > 0)
        FCaretBlink.start(flash / 2, this);
    else
        FCaretBlink.stop();
    update(old);
    update(CaretRect());
    Changed();
}

int TCustomColourEdit::PositionFromPixel(QPoint p) const
{
    if (FBorderStyle == bsSingle) p -= QPoint(InsetX, InsetY);
    const int x = std::max(p.x(), 1), y = std::max(p.y(), 0);
    int i = FTopIndex;
    for (int line = y / FLineH; line > 0 && i < FLen; --line) {
        const int e = LineEnd(i);
        i = e < FLen ? e + 1 : FLen;
    }
    i = SkipCodes(i);
    // Stop at the first character whose middle reaches x.
    for (int n = 0; i < FLen && !IsLineBreak(i) && n * FCharW + FCharW / 2 < x; ++n)
        i = SkipCodes(i + 1);
    return i;
}

void TCustomColourEdit::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), FColor);
    if (FBorderStyle == bsSingle) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    const QRect area = TextArea();
    p.setClipRect(area);
    const QColor highlight = palette().color(QPalette::Highlight);
    TColourAttr attr = AttrAt(FTopIndex);
    std::vector<quint32> ids;
    std::vector<QPointF> pos;
    int i = FTopIndex, y = area.top();
    while (y < area.bottom()) {
        int x = area.left();
        for (;;) {
            if (i < FLen && FBuf[i] == 1) {
                if (i + 1 < FLen) attr = ApplyColourCode(attr, uint8_t(FBuf[i + 1]));
                i += 2;
                continue;
            }
            if (i >= FLen || IsLineBreak(i)) {
                p.fillRect(QRect(x, y, std::max(0, area.right() + 1 - x), FLineH), EditColour(attr >> 4));
                break;
            }
            // A run ends at a code, a line break and either end of the selection.
            const bool selected = i >= FSelStart && i < FSelEnd;
            int j = i + 1;
            while (j < FLen && FBuf[j] != 1 && !IsLineBreak(j) && j != FSelStart && j != FSelEnd)
                ++j;
            p.fillRect(QRect(x, y, (j - i) * FCharW, FLineH), selected ? highlight : EditColour(attr >> 4));
            ids.clear();
            pos.clear();
            for (int k = i; k < j; ++k, x += FCharW)
                if (const quint32 g = FGlyph[uint8_t(FBuf[k])]) {
                    ids.push_back(g);
                    pos.emplace_back(x, y + FAscent);
                }
            if (!ids.empty()) {
                QGlyphRun glyphs;
                glyphs.setRawFont(FGlyphFont);
                glyphs.setRawData(ids.data(), pos.data(), int(ids.size()));
                p.setPen(EditColour(attr & 0x0F));
                p.drawGlyphRun(QPointF(0, 0), glyphs);
            }
            i = j;
        }
        y += FLineH;
        if (i >= FLen) break;
        ++i;
    }
    const QRect caret = CaretRect();
    if (FCaretOn && !caret.isEmpty()) {
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(caret, Qt::white);
    }
}

bool TCustomColourEdit::event(QEvent *e)
{
    if (e->type() == QEvent::ShortcutOverride) {
        // Editing keys and Ctrl+letters belong to the control, not to menu shortcuts.
        auto *k = static_cast<QKeyEvent *>(e);
        uint8_t ch = 0;
        if (KeyChar(k, ch) || std::any_of(std::begin(EditKeys), std::end(EditKeys),
                                          [k](const KeyVk &v) { return v.key == k->key(); })) {
            e->accept();
            return true;
        }
    }
    if (e->type() == QEvent::KeyPress && FWantTabs) {
        auto *k = static_cast<QKeyEvent *>(e);
        if (k->key() == Qt::Key_Tab && !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(k);
            return true;
        }
    }
    return QWidget::event(e);
}

void TCustomColourEdit::keyPressEvent(QKeyEvent *e)
{
    int key = e->key();
    if (OnKeyDown) OnKeyDown(e, key);
    if (key == 0) return;
    const auto mods = e->modifiers();
    const TShiftState shift = ((mods & Qt::ShiftModifier) ? ssShift : 0) |
                              ((mods & Qt::ControlModifier) ? ssCtrl : 0) |
                              ((mods & Qt::AltModifier) ? ssAlt : 0);
    for (const KeyVk &k : EditKeys)
        if (k.key == key) {
            EditKeyDown(k.vk, shift);
            return;
        }
    // Escape, and Enter when the control does not want it, are the dialog's.
    if (key == Qt::Key_Escape || ((key == Qt::Key_Return || key == Qt::Key_Enter) && !FWantReturns)) {
        e->ignore();
        return;
    }
    uint8_t ch = 0;
    if (!KeyChar(e, ch)) {
        e->ignore();
        return;
    }
    if (EditKeyPress(ch) && OnKeyPress) OnKeyPress(char(ch));
}

void TCustomColourEdit::mousePressEvent(QMouseEvent *e)
{
    setFocus(Qt::MouseFocusReason);
    if (HasSelection()) update();
    FCaret = FAnchor = FSelStart = FSelEnd = PositionFromPixel(e->position().toPoint());
    FMouseSelecting = true;
    PlaceCaret();
}

void TCustomColourEdit::mouseDoubleClickEvent(QMouseEvent *)
{
    setFocus(Qt::MouseFocusReason);
    SelectAll();
}

void TCustomColourEdit::mouseMoveEvent(QMouseEvent *e)
{
    if (!FMouseSelecting) return;
    FCaret = PositionFromPixel(e->position().toPoint());
    SelectionChanged();
}

void TCustomColourEdit::mouseReleaseEvent(QMouseEvent *)
{
    FMouseSelecting = false;
}

void TCustomColourEdit::focusInEvent(QFocusEvent *e)
{
    QWidget::focusInEvent(e);
    PlaceCaret();
}

void TCustomColourEdit::focusOutEvent(QFocusEvent *e)
{
    QWidget::focusOutEvent(e);
    update(CaretRect());
    FCaretShown = false;
    FCaretBlink.stop();
}

void TCustomColourEdit::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::FontChange) FontChanged();
}

void TCustomColourEdit::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    Update();
}

void TCustomColourEdit::timerEvent(QTimerEvent *e)
{
    if (e->timerId() != FCaretBlink.timerId()) {
        QWidget::timerEvent(e);
        return;
    }
    FCaretOn = !FCaretOn;
    update(CaretRect());
}

TColourMemo::TColourMemo(QWidget *parent) : TCustomColourEdit(parent, DefaultCapacity)
{
    SetMultiLine(true);
}
