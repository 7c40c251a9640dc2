#include "colouredit/qt/ColourTextAccessible.h"

#include "colouredit/OffLine.h"
#include "terminal/Cp437.h"
#include "terminal/TerminalText.h"
#include "terminal/qt/ColorTTYWidget.h"
#include "terminal/qt/TerminalSpeech.h"

#include <algorithm>

// ---------------------------------------------------------------- text and offsets

QString ColourEditText(const TAbstractColourEdit &model, bool masked)
{
    const char *p = model.TextPtr();
    const int n = model.TextLength();
    QString s;
    s.reserve(n);
    for (int i = 0; i < n; ++i) {
        const auto c = uint8_t(p[i]);
        if (c == ColourCodeByte) {
            ++i;
            continue;
        }
        s += c == 10 || c == 13 ? QChar('\n') : masked ? QChar('.') : QChar(char16_t(cp437::ToUnicode(c)));
    }
    return s;
}

int ColourEditOffset(const TAbstractColourEdit &model, int index)
{
    const char *p = model.TextPtr();
    const int n = std::min(index, model.TextLength());
    int offset = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] == ColourCodeByte)
            ++i;
        else
            ++offset;
    }
    return offset;
}

int ColourEditIndex(const TAbstractColourEdit &model, int offset)
{
    const int n = model.TextLength();
    int i = model.SkipCodes(0);
    for (; i < n && offset > 0; --offset)
        i = model.SkipCodes(i + 1);
    return std::min(i, n);
}

// ---------------------------------------------------------------- the text interfaces

void TColourTextAccess::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    const TAbstractColourEdit &m = *Model();
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !m.HasSelection()) return;
    *startOffset = ColourEditOffset(m, m.SelStart());
    *endOffset = ColourEditOffset(m, m.SelEnd());
}

int TColourTextAccess::selectionCount() const
{
    return Model()->HasSelection() ? 1 : 0;
}

void TColourTextAccess::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void TColourTextAccess::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0) setCursorPosition(cursorPosition());
}

void TColourTextAccess::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0) return;
    TAbstractColourEdit &m = *Model();
    m.SetCaret(ColourEditIndex(m, endOffset), ColourEditIndex(m, startOffset));
    m.SelectionChanged();
}

int TColourTextAccess::cursorPosition() const
{
    return ColourEditOffset(*Model(), Model()->Caret());
}

void TColourTextAccess::setCursorPosition(int position)
{
    TAbstractColourEdit &m = *Model();
    m.SetCaret(ColourEditIndex(m, position));
    m.SelectionChanged();
}

QString TColourTextAccess::text(int startOffset, int endOffset) const
{
    const QString all = ColourEditText(*Model(), Masked());
    startOffset = std::clamp(startOffset, 0, int(all.size()));
    endOffset = std::clamp(endOffset, startOffset, int(all.size()));
    return all.mid(startOffset, endOffset - startOffset);
}

int TColourTextAccess::characterCount() const
{
    return ColourEditOffset(*Model(), Model()->TextLength());
}

QRect TColourTextAccess::characterRect(int offset) const
{
    return IndexRect(ColourEditIndex(*Model(), offset));
}

int TColourTextAccess::offsetAtPoint(const QPoint &point) const
{
    const int i = IndexAt(point);
    return i < 0 ? -1 : ColourEditOffset(*Model(), i);
}

QString TColourTextAccess::attributes(int offset, int *startOffset, int *endOffset) const
{
    // Runs of one attribute, walked from the start as the codes apply.
    const TAbstractColourEdit &m = *Model();
    const char *p = m.TextPtr();
    const int n = m.TextLength();
    TColourAttr attr = m.DefaultAttr(), runAttr = attr;
    int at = 0, runStart = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] == ColourCodeByte) {
            if (i + 1 < n) attr = ApplyColourCode(attr, uint8_t(p[++i]));
            continue;
        }
        if (attr != runAttr) {
            if (offset < at) break; // the run holding `offset` ends here
            runAttr = attr;
            runStart = at;
        }
        ++at;
    }
    *startOffset = runStart;
    *endOffset = at;
    const auto rgb = [](uint32_t c) {
        return QStringLiteral("rgb(%1,%2,%3)").arg(c >> 16 & 0xFF).arg(c >> 8 & 0xFF).arg(c & 0xFF);
    };
    const int fg = runAttr & 0x0F, bg = runAttr >> 4;
    return QStringLiteral("fg-color:%1;bg-color:%2;fg-color-name:%3;bg-color-name:%4")
        .arg(rgb(EditPalette(fg)), rgb(EditPalette(bg)), QString::fromLatin1(ColourName(fg)),
             QString::fromLatin1(ColourName(bg)));
}

void TColourTextAccess::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, QString());
}

void TColourTextAccess::insertText(int offset, const QString &text)
{
    replaceText(offset, offset, text);
}

void TColourTextAccess::replaceText(int startOffset, int endOffset, const QString &text)
{
    TAbstractColourEdit &m = *Model();
    if (m.ReadOnly()) return;
    m.SetCaret(ColourEditIndex(m, endOffset), ColourEditIndex(m, startOffset));
    if (m.HasSelection()) m.DeleteSelection();
    if (!text.isEmpty()) m.Insert(cp437::FromUtf8(text.toStdString()));
    m.Update();
}

// ---------------------------------------------------------------- events

void TColourTextEvents::Sync(QObject *object, const TAbstractColourEdit &model, bool masked)
{
    if (!QAccessible::isActive()) return;
    const QString now = ColourEditText(model, masked);
    if (now != FLast) {
        const int a = int(FLast.size()), b = int(now.size());
        int head = 0, tail = 0;
        while (head < a && head < b && FLast[head] == now[head])
            ++head;
        while (tail < a - head && tail < b - head && FLast[a - 1 - tail] == now[b - 1 - tail])
            ++tail;
        const QString removed = FLast.mid(head, a - head - tail), inserted = now.mid(head, b - head - tail);
        if (!removed.isEmpty() && !inserted.isEmpty()) {
            QAccessibleTextUpdateEvent ev(object, head, removed, inserted);
            QAccessible::updateAccessibility(&ev);
        } else if (!inserted.isEmpty()) {
            QAccessibleTextInsertEvent ev(object, head, inserted);
            QAccessible::updateAccessibility(&ev);
        } else {
            QAccessibleTextRemoveEvent ev(object, head, removed);
            QAccessible::updateAccessibility(&ev);
        }
        FLast = now;
    }
    const int caret = ColourEditOffset(model, model.Caret());
    const int s = ColourEditOffset(model, model.SelStart()), e = ColourEditOffset(model, model.SelEnd());
    if (s != FSelStart || e != FSelEnd) {
        FSelStart = s;
        FSelEnd = e;
        QAccessibleTextSelectionEvent ev(object, s, e);
        ev.setCursorPosition(caret);
        QAccessible::updateAccessibility(&ev);
    }
    if (caret != FCaret) {
        FCaret = caret;
        QAccessibleTextCursorEvent ev(object, caret);
        QAccessible::updateAccessibility(&ev);
    }
}

// The text before the cursor on its row, or on the row above when that holds no word (a
// post's "Your post:" stands above the text): what the edit is asked for.
static QString PromptBefore(const TColorTTY &t)
{
    const auto words = [](const QString &s) {
        return std::any_of(s.begin(), s.end(), [](QChar c) { return c.isLetter(); });
    };
    const std::string row = RowText(t, t.CursorY).substr(0, size_t(std::clamp(t.CursorX, 0, t.Cols)));
    QString prompt = TerminalString(row).trimmed();
    if (!words(prompt) && t.CursorY > 0) prompt = TerminalString(RowText(t, t.CursorY - 1)).trimmed();
    return words(prompt) ? prompt : QString();
}

// ---------------------------------------------------------------- the memo

namespace {

// ---------------------------------------------------------------- the offline editor

class TOffLineEditAccessible : public QAccessibleObject, public TColourTextAccess
{
public:
    explicit TOffLineEditAccessible(TOffLineEditObject *edit)
        : QAccessibleObject(edit), FAccess(&edit->Access)
    {
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface *>(this);
        if (t == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleObject::interface_cast(t);
    }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(FAccess->Terminal);
    }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::EditableText; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.focusable = s.editable = s.selectableText = true;
        s.focused = FAccess->Terminal && FAccess->Terminal->hasFocus();
        s.multiLine = FAccess->Edit.Kind() == ekShort || FAccess->Edit.Kind() == ekLong;
        s.passwordEdit = FAccess->Edit.Masked();
        return s;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) return ColourEditText(FAccess->Edit, Masked());
        if (t == QAccessible::Description) return FAccess->Prompt.isEmpty() ? QString() : KindName();
        if (t != QAccessible::Name) return {};
        return FAccess->Prompt.isEmpty() ? KindName() : FAccess->Prompt;
    }
    QString KindName() const
    {
        switch (FAccess->Edit.Kind()) {
        case ekName:
            return QObject::tr("Name");
        case ekShort:
            return QObject::tr("Message");
        case ekLong:
            return QObject::tr("Text");
        default:
            return FAccess->Edit.Masked() ? QObject::tr("Password") : QObject::tr("Answer");
        }
    }
    using TColourTextAccess::text;
    QRect rect() const override
    {
        return FAccess->Terminal ? QAccessible::queryAccessibleInterface(FAccess->Terminal)->rect() : QRect();
    }

protected:
    TAbstractColourEdit *Model() const override { return &FAccess->Edit; }
    bool Masked() const override { return FAccess->Edit.Masked(); }
    QRect IndexRect(int i) const override
    {
        const TColorTTYWidget *w = FAccess->Terminal;
        if (!w) return {};
        const TCellPoint c = FAccess->Edit.CellOf(i);
        const TColorTTY &t = w->Tty();
        const QPoint at((c.x - t.Left) * w->CharWidth(), (c.y - t.Top) * w->CharHeight());
        return {w->viewport()->mapToGlobal(at), QSize(w->CharWidth(), w->CharHeight())};
    }
    int IndexAt(const QPoint &) const override { return -1; }

private:
    TOffLineEditAccess *FAccess;
};

QAccessibleInterface *ColourEditFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TOffLineEditObject") && object)
        return new TOffLineEditAccessible(static_cast<TOffLineEditObject *>(object));
    return nullptr;
}

} // namespace

void InstallColourEditAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(ColourEditFactory);
        return true;
    }();
    (void)installed;
}

TOffLineEditAccess::TOffLineEditAccess(TOffLineEdit &edit, TColorTTYWidget *terminal)
    : QObject(terminal), Edit(edit), Terminal(terminal)
{
    InstallColourEditAccessibility();
}

TOffLineEditObject::TOffLineEditObject(TOffLineEditAccess &access) : QObject(&access), Access(access)
{
}

// A child of the terminal: it goes when the terminal goes, and must not reach back into it
// then (the terminal is no longer one).
TOffLineEditAccess::~TOffLineEditAccess() = default;

void TOffLineEditAccess::Opened()
{
    if (!Terminal) return;
    Closed();
    // The prompt is read before the focus moves into the edit, and names it.
    Terminal->Speech().Flush();
    Prompt = PromptBefore(Terminal->Tty());
    FCurrent = new TOffLineEditObject(*this);
    Terminal->SetEditAccessible(QAccessible::queryAccessibleInterface(FCurrent));
    FEvents = TColourTextEvents();
    QAccessibleEvent ev(FCurrent, QAccessible::Focus);
    QAccessible::updateAccessibility(&ev);
    FEvents.Sync(FCurrent, Edit, Edit.Masked());
}

void TOffLineEditAccess::Closed()
{
    if (!Terminal || !FCurrent) return;
    Terminal->SetEditAccessible(nullptr);
    FCurrent->deleteLater();
    FCurrent = nullptr;
    if (Terminal->hasFocus()) {
        QAccessibleEvent ev(Terminal, QAccessible::Focus);
        QAccessible::updateAccessibility(&ev);
    }
}

void TOffLineEditAccess::Changed()
{
    if (Terminal && FCurrent) FEvents.Sync(FCurrent, Edit, Edit.Masked());
}
