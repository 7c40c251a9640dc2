// The colour palette beside an offline edit: it comes up with an edit that takes colours
// when the user wants it, follows the caret, goes when the edit closes or the program is
// left, and its picks are typed as colour codes. The open edit is also told to screen
// readers from here.
#pragma once

#include <functional>
#include <string>

class QMainWindow;
class TColourPalette;
class TColorTTYWidget;
class TOffLineEditAccess;
class TSession;

class TPaletteControl
{
public:
    // `pick` types a colour the user picked; `changed` redraws the menus.
    TPaletteControl(QMainWindow &window, TColorTTYWidget &tty, TSession &session,
                    const std::string &iniFileName, std::function<void(int colour, bool foreground)> pick,
                    std::function<void()> changed);
    ~TPaletteControl();

    TColourPalette *Palette() const { return FPalette; }
    // The caret of the open edit may have moved.
    void CaretMoved();
    void EditState(bool open);
    // Edit "Colours...": shows the palette, or gives it the keyboard when it is up.
    void Command();
    void ApplicationActive(bool active);
    void WindowMoved();

private:
    void Show();
    bool InEdit() const;

    QMainWindow &FWindow;
    TSession &FSession;
    std::function<void()> FChanged;
    TColourPalette *FPalette = nullptr;        // a child window: Qt frees it
    TOffLineEditAccess *FEditAccess = nullptr; // the open edit on the accessibility bus
};
