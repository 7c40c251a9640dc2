// The colour grid: the 16 text colours as equal cells, from which a foreground ("FG") and a
// background ("BG", "FB" when one cell is both) are picked with the mouse or the keyboard.
#pragma once

#include <QColor>
#include <QWidget>

#include <functional>

class TSpeechNotice;

enum TGridOrdering { go16x1, go8x2, go4x4, go2x8, go1x16 };

class TColourGrid : public QWidget
{
    Q_OBJECT

public:
    explicit TColourGrid(QWidget *parent = nullptr);

    TGridOrdering GridOrdering() const { return FGridOrdering; }
    void SetGridOrdering(TGridOrdering value);
    int ForegroundIndex() const { return FForegroundIndex; }
    void SetForegroundIndex(int value);
    int BackgroundIndex() const { return FBackgroundIndex; }
    void SetBackgroundIndex(int value);
    bool ForegroundEnabled() const { return FForegroundEnabled; }
    void SetForegroundEnabled(bool value);
    bool BackgroundEnabled() const { return FBackgroundEnabled; }
    void SetBackgroundEnabled(bool value);
    bool ClickEnablesColor() const { return FClickEnablesColor; }
    void SetClickEnablesColor(bool value) { FClickEnablesColor = value; }
    int Selection() const { return FSelection; }
    void SetSelection(int value);
    bool Ctl3D() const { return FCtl3D; }
    void SetCtl3D(bool value);

    int GridColumns() const { return FColumns; }
    int GridRows() const { return FRows; }
    // Taken from the current size: a hidden grid gets its resize event only when shown.
    int CellWidth() const { return width() / FColumns; }
    int CellHeight() const { return height() / FRows; }

    // Colour number 0..15 as shown, its cell, and the colour number at a client pixel.
    static QColor CellColour(int index);
    QRect CellRect(int index) const;
    int CellAt(int x, int y) const;
    // "FG", "BG", "FB" or "" for the cell of colour number `index`.
    QString Label(int index) const;
    // Label colour on a cell: each component 0 on a light one (128 and up), else 255.
    static QColor ContrastColour(const QColor &cell);
    // The choice in words, as screen readers are told it: "foreground red, background blue".
    QString ChoiceText() const;

    // Raised when ForegroundIndex or BackgroundIndex changes.
    std::function<void()> OnChange;
    // F or B chose a colour from the keyboard.
    std::function<void()> OnClick;
    // A button was released over the grid; the grid has already taken its colours.
    std::function<void(Qt::MouseButton button)> OnMouseUp;
    // Runs before the grid's own key handling; clearing `key` to 0 stops it.
    std::function<void(QKeyEvent *event, int &key)> OnKeyDown;

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    void AdjustGridSize();
    void DrawSquare(QPainter &p, int index, bool highlight) const;
    void DrawLabels(QPainter &p) const;
    // A choice of a disabled colour enables it when ClickEnablesColor is set.
    void EnableOnChoice(bool foreground);
    // The choice became `before`'s successor by the user's hand: say it.
    void Announce(const QString &before);
    void ChoiceChanged();

    TGridOrdering FGridOrdering = go4x4;
    int FColumns = 4, FRows = 4;
    int FForegroundIndex = 0, FBackgroundIndex = 0;
    bool FForegroundEnabled = true, FBackgroundEnabled = true;
    bool FClickEnablesColor = false;
    int FSelection = 0;
    bool FCtl3D = true;
    bool FDragging = false;
    Qt::MouseButton FDragButton = Qt::NoButton;
    TSpeechNotice *FNotice;
};
