// The colour edit controls as screen readers see them: editable text with its caret and
// selection. The colour codes are left out of the text (a code takes no column) and their
// colours are the text's attributes; a soft line break reads as a line break, as shown.
// The memo is a widget of its own; the offline editor, drawn into the terminal, is shown
// as the terminal's child while an edit is open.
#pragma once

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QPointer>

class TAbstractColourEdit;
class TColorTTYWidget;
class TCustomColourEdit;
class TOffLineEdit;

// The text interfaces over a colour edit model; subclasses give the model and its place.
class TColourTextAccess : public QAccessibleTextInterface, public QAccessibleEditableTextInterface
{
public:
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override;
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString &text) override;
    void replaceText(int startOffset, int endOffset, const QString &text) override;

protected:
    virtual TAbstractColourEdit *Model() const = 0;
    virtual bool Masked() const { return false; }
    // The screen rectangle of the character at text index i, and the index at a point.
    virtual QRect IndexRect(int i) const = 0;
    virtual int IndexAt(const QPoint &screen) const = 0;
};

// Tells screen readers what changed in a colour edit model since the last call: inserted,
// removed or replaced text, the caret, the selection; as events of `object`.
class TColourTextEvents
{
public:
    void Sync(QObject *object, const TAbstractColourEdit &model, bool masked);

private:
    QString FLast;
    int FCaret = -1, FSelStart = -1, FSelEnd = -1;
};

// The text of a colour edit model as the accessible text shows it, and the mapping
// between its offsets and the model's byte indices.
QString ColourEditText(const TAbstractColourEdit &model, bool masked);
int ColourEditOffset(const TAbstractColourEdit &model, int index);
int ColourEditIndex(const TAbstractColourEdit &model, int offset);

// Registers the factory for the memo (once).
void InstallColourEditAccessibility();

class TOffLineEditAccess;

// One open edit on the bus (a new object each time: screen readers keep what an object was).
class TOffLineEditObject : public QObject
{
    Q_OBJECT

public:
    explicit TOffLineEditObject(TOffLineEditAccess &access);
    TOffLineEditAccess &Access;
};

// Puts the open offline edit on the bus, as a child of the terminal it draws into.
class TOffLineEditAccess : public QObject
{
    Q_OBJECT

public:
    TOffLineEditAccess(TOffLineEdit &edit, TColorTTYWidget *terminal);
    ~TOffLineEditAccess() override;

    // The edit opened (the screen reader's focus moves into it) or closed (back to the
    // terminal).
    void Opened();
    void Closed();
    // Tells what the last key changed.
    void Changed();

    TOffLineEdit &Edit;
    QPointer<TColorTTYWidget> Terminal;
    QString Prompt; // what the terminal showed before the edit, which names it

private:
    TColourTextEvents FEvents;
    TOffLineEditObject *FCurrent = nullptr;
};
