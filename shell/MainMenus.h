// The main window's menu bar, built from one table, the terminal's pop-up menu, the recent
// hosts and the Hosts submenu. Every item reports its command through OnCommand; what is
// shown and enabled is drawn by Draw from the input controller's queries.
#pragma once

#include "session/Transfer.h"
#include "shell/MenuItem.h"

#include <QString>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;
class TColorTTYWidget;
class TInputController;
class THostInfo;

class TMainMenus
{
public:
    TMainMenus(QMainWindow &window, TColorTTYWidget &tty);

    std::function<void(TMenuItem item)> OnCommand;
    std::function<void(const std::string &host)> OnPickHost;
    std::function<void(TTransferProtocol protocol)> OnProtocol;
    std::function<void()> OnHighlightSelection; // the pop-up menu's "Highlight This..."

    QAction *Item(TMenuItem item) const { return FItems[size_t(item)]; }
    QMenu *HostsMenu() const { return FHostsMenu; }
    QMenu *PopupMenu() const { return FPopupMenu; }

    // The recent hosts as the store has them, and the Hosts submenu's names.
    void ShowRecent(const THostInfo &hosts);
    void FillHosts(const std::vector<std::string> &names);
    void CheckProtocol(TTransferProtocol protocol);
    // The connection and Edit items. `palette`: the colour palette can be shown.
    void Draw(const TInputController &input, bool palette);

private:
    void CreatePopup(TColorTTYWidget &tty);
    QAction *CreateProtocolMenu(QMenu *file, const QString &caption);

    QMainWindow &FWindow;
    QMenu *FHostsMenu = nullptr;
    QMenu *FPopupMenu = nullptr;
    std::array<QAction *, MenuItemCount> FItems{};
    std::array<QAction *, 3> FProtocolItems{};
};
