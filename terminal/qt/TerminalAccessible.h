// The terminal as screen readers see it: role Terminal, its text (scrollback and screen)
// with the caret at the cursor, colour attributes per run, the scroll position as a value;
// children: an edit open in it (the offline editor) and the notices it says.
#pragma once

#include "terminal/TerminalText.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>

class TColorTTYWidget;

// Registers the factory that gives every TColorTTYWidget its accessible interface (once).
void InstallTerminalAccessibility();

class TTerminalAccessible : public QAccessibleWidget,
                            public QAccessibleTextInterface,
                            public QAccessibleValueInterface
{
public:
    explicit TTerminalAccessible(TColorTTYWidget *widget);

    void *interface_cast(QAccessible::InterfaceType t) override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;

    // QAccessibleTextInterface
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                             int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                            int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    // QAccessibleValueInterface: the first row shown.
    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    TColorTTYWidget *Terminal() const;
    const TTTYText &Text() const;
    QAccessibleInterface *Notice() const;
    int OwnChildren() const { return QAccessibleWidget::childCount(); }

    mutable TTTYText FMap;
    mutable unsigned FMapGeneration = 0;
    mutable int FMapCursorX = -1, FMapCursorY = -1;
};
