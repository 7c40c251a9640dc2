// The colour palette: a small tool window with one colour grid that follows its owner at a
// remembered offset, snaps between three shapes when resized and hands every colour click
// to the owner, giving the keyboard straight back to it.
#pragma once

#include "colouredit/qt/ColorGr2.h"
#include "config/HelpTopic.h"
#include "config/PaletteSettings.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>

class TColourPalette : public QWidget
{
    Q_OBJECT

public:
    static constexpr THelpTopic HelpContext = THelpTopic::Palette;

    // Hidden until the owner shows it; settings are read by LoadSettings.
    TColourPalette(const std::string &iniFileName, QWidget *owner);
    ~TColourPalette() override;

    TColourGrid *ColourGrid;
    // The user wants the palette; cleared when the user closes it.
    bool InUse = true;
    // Position relative to the owner's top-left corner.
    int OffsetX = 50, OffsetY = 50;

    // A colour 0..15 was clicked; foreground unless it was the right button.
    std::function<void(int colour, bool foreground)> OnColourSelect;
    // The user closed the palette.
    std::function<void()> OnPaletteClose;

    // Foreground and background of a text attribute into the grid.
    void SetColours(int attribute);
    // Section "ColourPalette" of the settings file.
    void LoadSettings();
    // False when the file could not be written.
    bool SaveSettings();
    // Moves to the owner's position plus the offset; the owner calls it when it moves.
    void Reposition();
    // For the keyboard: shows the palette with the keys in its grid. Arrows pick a cell, F
    // or B chooses it as foreground or background (as a click does), Esc gives the keys
    // back to the owner.
    void TakeKeyboard();

    // The shape for a proposed outer size (w, h), which is replaced by the snapped size.
    TGridOrdering FormCanResize(int &w, int &h);
    // Client size of a shape: 200 x 48, 104 x 104 or 48 x 200.
    static QSize ShapeSize(TGridOrdering shape);

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void moveEvent(QMoveEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void SetShape(TGridOrdering shape);
    void MoveTo(QPoint p);
    void ShowOwner();
    void ColourGridMouseUp(Qt::MouseButton button);
    void ColourGridKey(QKeyEvent *e, int &key);

    TPaletteSettingsStore FSettings;
    QPointer<QWidget> FOwner;
    QPoint FPlaced{-1000000, -1000000}; // where the palette last moved itself
    bool FSnapping = false;
    bool FQuitting = false;       // the application closes every window on its way out
    bool FChoseForeground = true; // F rather than B was the last choosing key
    QTimer FMoveSettled;          // a user's move is over when the moves stop for a moment
};
