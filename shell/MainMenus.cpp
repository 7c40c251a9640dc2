#include "shell/MainMenus.h"

#include "config/SetHost.h"
#include "session/InputController.h"
#include "shell/HelpSystem.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <iterator>

namespace {

enum TMenuId { mnFile, mnEdit, mnView, mnOptions, mnHelp, mnHosts, mnProtocols, mnNone };
enum TItemFlag : unsigned { ifSeparator = 1, ifCheckable = 2 };

struct TMenuRow
{
    TMenuItem Id;
    TMenuId Menu;
    const char *Name;
    const char *Caption;
    const char *Hint;
    THelpTopic HelpContext;
    unsigned Flags = 0;
};

using M = TMenuItem;
using H = THelpTopic;
const char ConnectNamed[] = " Connect to the named BBS.";

// In menu order, one row per item in the order of TMenuItem; rows of mnNone are the spare
// shortcuts, never shown. Visibility, enabled state and changing shortcuts come from Draw.
constexpr TMenuRow MenuRows[] = {
    {M::FileConnect, mnFile, "FileConnectItem", "&Connect", " Connect to the currently selected BBS.",
     H::FileMenu},
    {M::FileAbort, mnFile, "FileAbortItem", "&Abort", " Abort the current attempt to connect to a BBS.",
     H::FileMenu},
    {M::FileDisconnect, mnFile, "FileDisconnectItem", "&Disconnect",
     " Disconnect from the BBS. Logout instead if possible.", H::FileMenu},
    {M::FileHosts, mnHosts, "FileHostsItem", "&Hosts", " Show a list of all known hosts.", H::FileMenu},
    {M::FileSetHost, mnFile, "FileSetHostItem", "&Setup Hosts...",
     " Setup details for the BBS's you want to connect to.", H::FileMenu},
    {M::FileDirectory, mnFile, "FileDirectoryItem", "Director&y...",
     " All your BBSs in a table: search, sort, see which are up, connect.", H::Directory},
    {M::FileImportHosts, mnFile, "FileImportHostsItem", "&Import Hosts...",
     " Add the BBSs of another terminal's dialing directory.", H::Directory},
    {M::FileCapture, mnFile, "FileCaptureItem", "Cap&ture to File...",
     " Write everything shown on the terminal to a file.", H::Capture, ifCheckable},
    {M::FileOpenArt, mnFile, "FileOpenArtItem", "Open ANSI &Art...",
     " Show an ANSI art file (.ans, .asc, .diz, .nfo, .txt) as art viewers draw it.", H::ArtViewer},
    {M::FileSaveAnsi, mnFile, "FileSaveAnsiItem", "Save as A&NSI...",
     " Save the terminal's text, or the selected lines, with their colours as an .ans file.", H::ArtViewer},
    {M::FileTransferDivider, mnFile, "FileTransferDivider", "", "", H::None, ifSeparator},
    {M::FileReceiveFiles, mnFile, "FileReceiveFilesItem", "&Receive Files",
     " Receive files the BBS sends, with the transfer protocol chosen below.", H::Transfers},
    {M::FileSendFiles, mnFile, "FileSendFilesItem", "Send &Files...",
     " Send files to the BBS, with the transfer protocol chosen below.", H::Transfers},
    {M::FileTransferProtocol, mnProtocols, "FileTransferProtocolItem", "Transfer &Protocol",
     " The protocol of Receive Files and Send Files; only ZMODEM downloads start by themselves.",
     H::Transfers},
    {M::FileSetHostDivider, mnFile, "FileSetHostDivider", "", "", H::None, ifSeparator},
    {M::FileExit, mnFile, "FileExitItem", "E&xit", " Shut down the ORVO Client. It's best to logout first.",
     H::FileMenu},
    {M::FileLastDivider, mnFile, "FileLastDivider", "", "", H::None, ifSeparator},
    {M::FileLast1, mnFile, "FileLast1Item", "1.", ConnectNamed, H::FileMenu},
    {M::FileLast2, mnFile, "FileLast2Item", "2.", ConnectNamed, H::FileMenu},
    {M::FileLast3, mnFile, "FileLast3Item", "3.", ConnectNamed, H::FileMenu},
    {M::FileLast4, mnFile, "FileLast4Item", "4.", ConnectNamed, H::FileMenu},
    {M::FileLast5, mnFile, "FileLast5Item", "5.", ConnectNamed, H::FileMenu},
    {M::EditCut, mnEdit, "EditCutItem", "Cu&t", " Cut the highlighted text to the clipboard.", H::EditMenu},
    {M::EditCopy, mnEdit, "EditCopyItem", "&Copy", " Copy the highlighted text to the clipboard.",
     H::EditMenu},
    {M::EditPaste, mnEdit, "EditPasteItem", "&Paste", " Paste text from the clipboard.", H::EditMenu},
    {M::EditClear, mnEdit, "EditClearItem", "Clear", " Clear the current selection.", H::EditMenu},
    {M::EditSelectAll, mnEdit, "EditSelectAllItem", "Se&lect All", " Select the whole of the edit area.",
     H::EditMenu},
    {M::EditRestoreDraft, mnEdit, "EditRestoreDraftItem", "&Restore Draft",
     " Put back the text that was being written when the connection ended.", H::EditMenu},
    {M::EditXCut, mnNone, "EditXCutItem", "xCut", "", H::EditMenu},
    {M::EditXCopy, mnNone, "EditXCopyItem", "xCopy", "", H::EditMenu},
    {M::EditXPaste, mnNone, "EditXPasteItem", "xPaste", "", H::EditMenu},
    {M::EditDivider, mnEdit, "EditDivider", "", "", H::None, ifSeparator},
    {M::EditColours, mnEdit, "EditColoursItem", "Colours...", " Show the colour palette.", H::EditMenu},
    {M::EditFindDivider, mnEdit, "EditFindDivider", "", "", H::None, ifSeparator},
    {M::EditFind, mnEdit, "EditFindItem", "&Find...",
     " Find text in the scrollback (F3 next, Shift+F3 previous).", H::Find},
    {M::EditClearHistory, mnEdit, "EditClearHistoryItem", "Clear &History...",
     " Forget the lines kept above the scrollback.", H::History},
    {M::ViewMessages, mnView, "ViewMessagesItem", "&Messages",
     " Show the express messages of this host, as conversations.", H::Messages, ifCheckable},
    {M::OptionsPreferences, mnOptions, "OptionsPreferencesItem", "&Preferences...",
     " Set your preferences for how the program behaves.", H::OptionsMenu},
    {M::OptionsFont, mnOptions, "OptionsFontItem", "&Font...",
     " Select the font to use for the terminal display.", H::OptionsMenu},
    {M::OptionsMacros, mnOptions, "OptionsMacrosItem", "&Macros...", " Setup macros for the function keys.",
     H::OptionsMenu},
    {M::OptionsUserFilter, mnOptions, "OptionsUserFilterItem", "&User Filter...",
     "Edit lists of friends and enemies.", H::OptionsMenu},
    {M::OptionsHighlights, mnOptions, "OptionsHighlightsItem", "&Highlights...",
     " Colour, hide or be told of lines that hold a text.", H::Highlights},
    {M::HelpContents, mnHelp, "HelpContentsItem", "&Contents", " View the contents page of the help file.",
     H::HelpMenu},
    {M::HelpTopicSearch, mnHelp, "HelpTopicSearchItem", "&Topic Search",
     " Search for help on a particular topic.", H::HelpMenu},
    {M::HelpHowToUseHelp, mnHelp, "HelpHowToUseHelpItem", "&How to Use Help",
     " View the help file on using help.", H::HelpMenu},
    {M::HelpAboutDivider, mnHelp, "HelpAboutDivider", "", "", H::None, ifSeparator},
    {M::HelpAbout, mnHelp, "HelpAboutItem", "&About...", " Show information about this program.",
     H::HelpMenu},
};

constexpr bool RowsInItemOrder()
{
    if (std::size(MenuRows) != MenuItemCount) return false;
    for (size_t i = 0; i < std::size(MenuRows); ++i)
        if (size_t(MenuRows[i].Id) != i) return false;
    return true;
}
static_assert(RowsInItemOrder(), "one menu row per item, in the order of TMenuItem");

struct TMenuTitle
{
    const char *Name;
    const char *Caption;
    THelpTopic HelpContext;
};
const TMenuTitle MenuTitles[] = {{"File1", "&File", H::FileMenu},
                                 {"Edit1", "&Edit", H::EditMenu},
                                 {"View1", "&View", H::Messages},
                                 {"Options1", "&Options", H::OptionsMenu},
                                 {"Help1", "&Help", H::HelpMenu}};

QKeySequence Keys(QKeyCombination k)
{
    return QKeySequence(k);
}

const char *const ProtocolNames[] = {"&ZMODEM", "&YMODEM", "&XMODEM"};

// Host names are UTF-8 in the settings file; in a menu their own '&' is no access key.
QString MenuText(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size())).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

TMainMenus::TMainMenus(QMainWindow &window, TColorTTYWidget &tty) : FWindow(window)
{
    QMenu *menus[std::size(MenuTitles)];
    for (size_t i = 0; i < std::size(MenuTitles); ++i) {
        menus[i] = window.menuBar()->addMenu(QString::fromLatin1(MenuTitles[i].Caption));
        menus[i]->setObjectName(QString::fromLatin1(MenuTitles[i].Name));
        SetHelpTopic(menus[i], MenuTitles[i].HelpContext);
        menus[i]->setToolTipsVisible(false);
    }
    for (const TMenuRow &row : MenuRows) {
        QAction *a = nullptr;
        if (row.Menu == mnHosts) {
            FHostsMenu = menus[mnFile]->addMenu(QString::fromLatin1(row.Caption));
            FHostsMenu->setObjectName(QStringLiteral("FileHostsMenu"));
            SetHelpTopic(FHostsMenu, row.HelpContext);
            QAction *empty = FHostsMenu->addAction(QStringLiteral("<empty>"));
            empty->setObjectName(QStringLiteral("FileHostsSubItem"));
            a = FHostsMenu->menuAction();
        } else if (row.Menu == mnProtocols) {
            a = CreateProtocolMenu(menus[mnFile], QString::fromLatin1(row.Caption));
        } else if (row.Menu == mnNone) {
            a = new QAction(QString::fromLatin1(row.Caption), &window);
            window.addAction(a); // keeps its shortcut live without a place in any menu
        } else {
            a = row.Flags & ifSeparator ? menus[row.Menu]->addSeparator()
                                        : menus[row.Menu]->addAction(QString::fromLatin1(row.Caption));
        }
        a->setObjectName(QString::fromLatin1(row.Name));
        a->setStatusTip(QString::fromLatin1(row.Hint));
        if (row.HelpContext != H::None) SetHelpTopic(a, row.HelpContext);
        if (row.Flags & ifCheckable) a->setCheckable(true);
        if (!(row.Flags & ifSeparator) && row.Menu != mnHosts && row.Menu != mnProtocols)
            QObject::connect(a, &QAction::triggered, &window, [this, id = row.Id] { OnCommand(id); });
        FItems[size_t(row.Id)] = a;
    }
    // Clear History... is offered while there is a history to clear.
    QObject::connect(menus[mnEdit], &QMenu::aboutToShow, &window, [this, &tty] {
        Item(M::EditClearHistory)->setEnabled(tty.Tty().Screen().HistoryRows() > 0);
    });
    // Shortcuts that never change.
    Item(M::EditClear)->setShortcut(Keys(QKeyCombination(Qt::Key_Delete)));
    Item(M::EditRestoreDraft)->setShortcut(Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    Item(M::EditXCut)->setShortcut(Keys(Qt::SHIFT | Qt::Key_Delete));
    Item(M::EditXCopy)->setShortcut(Keys(Qt::CTRL | Qt::Key_Insert));
    Item(M::EditXPaste)->setShortcut(Keys(Qt::SHIFT | Qt::Key_Insert));
    Item(M::EditFind)->setShortcut(Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    Item(M::FileSendFiles)->setShortcut(Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_U));
    CreatePopup(tty);
}

void TMainMenus::CreatePopup(TColorTTYWidget &tty)
{
    // The terminal's pop-up menu shares the Copy and Paste commands.
    FPopupMenu = new QMenu(&FWindow);
    FPopupMenu->setObjectName(QStringLiteral("TTYPopupMenu"));
    QAction *cut = FPopupMenu->addAction(QStringLiteral("Cu&t"));
    cut->setObjectName(QStringLiteral("popCutItem"));
    cut->setEnabled(false);
    QAction *copy = FPopupMenu->addAction(QStringLiteral("&Copy"));
    copy->setObjectName(QStringLiteral("popCopyItem"));
    QObject::connect(copy, &QAction::triggered, &FWindow, [this] { OnCommand(M::EditCopy); });
    QAction *paste = FPopupMenu->addAction(QStringLiteral("&Paste"));
    paste->setObjectName(QStringLiteral("popPasteItem"));
    QObject::connect(paste, &QAction::triggered, &FWindow, [this] { OnCommand(M::EditPaste); });
    FPopupMenu->addSeparator();
    QAction *highlight = FPopupMenu->addAction(QStringLiteral("&Highlight This..."));
    highlight->setObjectName(QStringLiteral("popHighlightItem"));
    QObject::connect(highlight, &QAction::triggered, &FWindow, [this] { OnHighlightSelection(); });
    tty.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&tty, &QWidget::customContextMenuRequested, &FWindow,
                     [this, highlight, &tty](const QPoint &pos) {
                         highlight->setEnabled(tty.Tty().Viewport().HasSelection());
                         FPopupMenu->popup(tty.mapToGlobal(pos));
                     });
}

QAction *TMainMenus::CreateProtocolMenu(QMenu *file, const QString &caption)
{
    QMenu *menu = file->addMenu(caption);
    menu->setObjectName(QStringLiteral("FileTransferProtocolMenu"));
    auto *group = new QActionGroup(menu);
    for (int i = 0; i < 3; ++i) {
        QAction *a = menu->addAction(QString::fromLatin1(ProtocolNames[i]));
        a->setCheckable(true);
        a->setChecked(i == 0);
        group->addAction(a);
        QObject::connect(a, &QAction::triggered, &FWindow, [this, i] { OnProtocol(TTransferProtocol(i)); });
        FProtocolItems[size_t(i)] = a;
    }
    return menu->menuAction();
}

void TMainMenus::CheckProtocol(TTransferProtocol protocol)
{
    FProtocolItems[size_t(protocol)]->setChecked(true);
}

void TMainMenus::ShowRecent(const THostInfo &hosts)
{
    for (int i = 1; i <= 5; ++i) {
        QAction *a = Item(RecentItem(i));
        const std::string &name = hosts.Last(i);
        a->setText(QStringLiteral("&%1 %2").arg(i).arg(MenuText(name)));
        a->setVisible(!name.empty());
    }
    Item(M::FileLastDivider)->setVisible(!hosts.Last(1).empty());
}

void TMainMenus::FillHosts(const std::vector<std::string> &names)
{
    if (names.empty()) return;
    FHostsMenu->clear();
    for (const std::string &name : names) {
        QAction *a = FHostsMenu->addAction(MenuText(name));
        a->setStatusTip(QString::fromLatin1(ConnectNamed));
        QObject::connect(a, &QAction::triggered, &FWindow, [this, name] { OnPickHost(name); });
    }
}

void TMainMenus::Draw(const TInputController &in, bool palette)
{
    auto set = [this](TMenuItem id, bool visible, bool enabled) {
        QAction *a = Item(id);
        a->setVisible(visible);
        a->setEnabled(enabled);
    };
    set(M::FileConnect, in.CanConnect(), in.CanConnect());
    set(M::FileAbort, in.CanAbort(), in.CanAbort());
    set(M::FileDisconnect, in.LineShown(), in.CanDisconnect());
    set(M::FileReceiveFiles, true, in.CanTransfer());
    set(M::FileSendFiles, true, in.CanTransfer());

    // The Edit menu has a connected form (with the spare shortcuts) and, inside it, an edit's.
    const bool form = in.EditForm();
    const bool edit = in.EditOpen();
    set(M::EditCut, form, edit);
    Item(M::EditCut)->setShortcut(edit ? Keys(Qt::CTRL | Qt::Key_X) : QKeySequence());
    Item(M::EditCopy)->setShortcut(Keys(form ? Qt::CTRL | Qt::Key_C : Qt::CTRL | Qt::Key_Insert));
    Item(M::EditPaste)->setShortcut(Keys(form ? Qt::CTRL | Qt::Key_V : Qt::SHIFT | Qt::Key_Insert));
    set(M::EditClear, form, edit);
    set(M::EditSelectAll, form, edit);
    // The spare shortcuts work only while the visible items carry other keys (two items on
    // one key would both be dead).
    Item(M::EditXCut)->setEnabled(edit);
    Item(M::EditXCopy)->setEnabled(form);
    Item(M::EditXPaste)->setEnabled(form);
    set(M::EditDivider, in.ColoursShown(), true);
    // Also while the palette is up: the command then gives it the keyboard.
    set(M::EditColours, in.ColoursShown(), in.ColoursUsable() && palette);
}
