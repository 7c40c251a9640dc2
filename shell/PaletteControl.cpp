#include "shell/PaletteControl.h"

#include "colouredit/OffLine.h"
#include "colouredit/qt/ColourTextAccessible.h"
#include "colouredit/qt/Colours.h"
#include "session/Session.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QMainWindow>

TPaletteControl::TPaletteControl(QMainWindow &window, TColorTTYWidget &tty, TSession &session,
                                 const std::string &iniFileName, std::function<void(int, bool)> pick,
                                 std::function<void()> changed)
    : FWindow(window), FSession(session), FChanged(std::move(changed))
{
    FEditAccess = new TOffLineEditAccess(session.OffLineEdit(), &tty);
    // Wanted or not as the user left it.
    FPalette = new TColourPalette(iniFileName, &window);
    FPalette->OnColourSelect = std::move(pick);
    // No longer wanted: Colours... offers it again in an edit.
    FPalette->OnPaletteClose = [this] { FChanged(); };
    FPalette->LoadSettings();
}

TPaletteControl::~TPaletteControl()
{
    FPalette->SaveSettings();
}

bool TPaletteControl::InEdit() const
{
    return FSession.InEditMode();
}

void TPaletteControl::CaretMoved()
{
    if (!InEdit()) return;
    FPalette->SetColours(FSession.OffLineEdit().AttrAtCaret());
    FEditAccess->Changed();
}

// The palette comes up beside the window without taking the keys from it.
void TPaletteControl::Show()
{
    FPalette->show();
    FWindow.show();
    FWindow.raise();
    FWindow.activateWindow();
}

void TPaletteControl::EditState(bool open)
{
    if (!open) {
        FPalette->hide();
        FEditAccess->Closed();
        FChanged();
        return;
    }
    FEditAccess->Opened();
    CaretMoved();
    FChanged();
    if (FSession.OffLineEdit().AcceptColourPaste() && FPalette->InUse && FWindow.isActiveWindow()) Show();
}

void TPaletteControl::Command()
{
    // Shown already, the command takes the keyboard to it: arrows, F, B, Esc back.
    if (InEdit() && FPalette->isVisible()) {
        FPalette->TakeKeyboard();
        return;
    }
    FPalette->InUse = true;
    if (InEdit()) Show();
    FChanged();
}

void TPaletteControl::ApplicationActive(bool active)
{
    if (active) {
        if (FSession.OffLineEdit().AcceptColourPaste() && InEdit() && FPalette->InUse) Show();
    } else if (FPalette->isVisible()) {
        FPalette->hide();
    }
}

void TPaletteControl::WindowMoved()
{
    FPalette->Reposition();
}
