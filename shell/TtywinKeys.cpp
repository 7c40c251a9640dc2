// The main window's menus (built from one table and drawn from the session's state), its
// keys and the function-key macros.
#include "shell/Ttywin.h"

#include "colouredit/OffLine.h"
#include "colouredit/qt/Colours.h"
#include "config/SetHost.h"
#include "config/Setmacro.h"
#include "shell/ALStatusBar.h"
#include "shell/Conlight.h"
#include "shell/FindBar.h"
#include "shell/HelpSystem.h"
#include "shell/KeyMap.h"
#include "shell/MessageHistory.h"
#include "shell/PlainText.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

#include <iterator>
#include <utility>

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
    void (TTTYForm::*Handler)();
    unsigned Flags = 0;
};

using M = TMenuItem;
using H = THelpTopic;
const char ConnectNamed[] = " Connect to the named BBS.";

// In menu order, one row per item in the order of TMenuItem; rows of mnNone are the spare
// shortcuts, never shown. Visibility, enabled state and changing shortcuts come from
// UpdateMenus.
constexpr TMenuRow MenuRows[] = {
    {M::FileConnect, mnFile, "FileConnectItem", "&Connect", " Connect to the currently selected BBS.",
     H::FileMenu, &TTTYForm::FileConnectItemClick},
    {M::FileAbort, mnFile, "FileAbortItem", "&Abort", " Abort the current attempt to connect to a BBS.",
     H::FileMenu, &TTTYForm::FileAbortItemClick},
    {M::FileDisconnect, mnFile, "FileDisconnectItem", "&Disconnect",
     " Disconnect from the BBS. Logout instead if possible.", H::FileMenu,
     &TTTYForm::FileDisconnectItemClick},
    {M::FileHosts, mnHosts, "FileHostsItem", "&Hosts", " Show a list of all known hosts.", H::FileMenu,
     nullptr},
    {M::FileSetHost, mnFile, "FileSetHostItem", "&Setup Hosts...",
     " Setup details for the BBS's you want to connect to.", H::FileMenu, &TTTYForm::FileSetHostItemClick},
    {M::FileDirectory, mnFile, "FileDirectoryItem", "Director&y...",
     " All your BBSs in a table: search, sort, see which are up, connect.", H::Directory,
     &TTTYForm::FileDirectoryItemClick},
    {M::FileImportHosts, mnFile, "FileImportHostsItem", "&Import Hosts...",
     " Add the BBSs of another terminal's dialing directory.", H::Directory,
     &TTTYForm::FileImportHostsItemClick},
    {M::FileCapture, mnFile, "FileCaptureItem", "Cap&ture to File...",
     " Write everything shown on the terminal to a file.", H::Capture, &TTTYForm::FileCaptureItemClick,
     ifCheckable},
    {M::FileOpenArt, mnFile, "FileOpenArtItem", "Open ANSI &Art...",
     " Show an ANSI art file (.ans, .asc, .diz, .nfo, .txt) as art viewers draw it.", H::ArtViewer,
     &TTTYForm::FileOpenArtItemClick},
    {M::FileSaveAnsi, mnFile, "FileSaveAnsiItem", "Save as A&NSI...",
     " Save the terminal's text, or the selected lines, with their colours as an .ans file.", H::ArtViewer,
     &TTTYForm::FileSaveAnsiItemClick},
    {M::FileTransferDivider, mnFile, "FileTransferDivider", "", "", H::None, nullptr, ifSeparator},
    {M::FileReceiveFiles, mnFile, "FileReceiveFilesItem", "&Receive Files",
     " Receive files the BBS sends, with the transfer protocol chosen below.", H::Transfers,
     &TTTYForm::FileReceiveFilesItemClick},
    {M::FileSendFiles, mnFile, "FileSendFilesItem", "Send &Files...",
     " Send files to the BBS, with the transfer protocol chosen below.", H::Transfers,
     &TTTYForm::FileSendFilesItemClick},
    {M::FileTransferProtocol, mnProtocols, "FileTransferProtocolItem", "Transfer &Protocol",
     " The protocol of Receive Files and Send Files; only ZMODEM downloads start by themselves.",
     H::Transfers, nullptr},
    {M::FileSetHostDivider, mnFile, "FileSetHostDivider", "", "", H::None, nullptr, ifSeparator},
    {M::FileExit, mnFile, "FileExitItem", "E&xit", " Shut down the ORVO Client. It's best to logout first.",
     H::FileMenu, &TTTYForm::FileExitItemClick},
    {M::FileLastDivider, mnFile, "FileLastDivider", "", "", H::None, nullptr, ifSeparator},
    {M::FileLast1, mnFile, "FileLast1Item", "1.", ConnectNamed, H::FileMenu, nullptr},
    {M::FileLast2, mnFile, "FileLast2Item", "2.", ConnectNamed, H::FileMenu, nullptr},
    {M::FileLast3, mnFile, "FileLast3Item", "3.", ConnectNamed, H::FileMenu, nullptr},
    {M::FileLast4, mnFile, "FileLast4Item", "4.", ConnectNamed, H::FileMenu, nullptr},
    {M::FileLast5, mnFile, "FileLast5Item", "5.", ConnectNamed, H::FileMenu, nullptr},
    {M::EditCut, mnEdit, "EditCutItem", "Cu&t", " Cut the highlighted text to the clipboard.", H::EditMenu,
     &TTTYForm::EditCutItemClick},
    {M::EditCopy, mnEdit, "EditCopyItem", "&Copy", " Copy the highlighted text to the clipboard.",
     H::EditMenu, &TTTYForm::EditCopyItemClick},
    {M::EditPaste, mnEdit, "EditPasteItem", "&Paste", " Paste text from the clipboard.", H::EditMenu,
     &TTTYForm::EditPasteItemClick},
    {M::EditClear, mnEdit, "EditClearItem", "Clear", " Clear the current selection.", H::EditMenu,
     &TTTYForm::EditClearItemClick},
    {M::EditSelectAll, mnEdit, "EditSelectAllItem", "Se&lect All", " Select the whole of the edit area.",
     H::EditMenu, &TTTYForm::EditSelectAllItemClick},
    {M::EditRestoreDraft, mnEdit, "EditRestoreDraftItem", "&Restore Draft",
     " Put back the text that was being written when the connection ended.", H::EditMenu,
     &TTTYForm::EditRestoreDraftItemClick},
    {M::EditXCut, mnNone, "EditXCutItem", "xCut", "", H::EditMenu, &TTTYForm::EditCutItemClick},
    {M::EditXCopy, mnNone, "EditXCopyItem", "xCopy", "", H::EditMenu, &TTTYForm::EditCopyItemClick},
    {M::EditXPaste, mnNone, "EditXPasteItem", "xPaste", "", H::EditMenu, &TTTYForm::EditPasteItemClick},
    {M::EditDivider, mnEdit, "EditDivider", "", "", H::None, nullptr, ifSeparator},
    {M::EditColours, mnEdit, "EditColoursItem", "Colours...", " Show the colour palette.", H::EditMenu,
     &TTTYForm::EditColoursItemClick},
    {M::EditFindDivider, mnEdit, "EditFindDivider", "", "", H::None, nullptr, ifSeparator},
    {M::EditFind, mnEdit, "EditFindItem", "&Find...",
     " Find text in the scrollback (F3 next, Shift+F3 previous).", H::Find, &TTTYForm::EditFindItemClick},
    {M::EditClearHistory, mnEdit, "EditClearHistoryItem", "Clear &History...",
     " Forget the lines kept above the scrollback.", H::History, &TTTYForm::EditClearHistoryItemClick},
    {M::ViewMessages, mnView, "ViewMessagesItem", "&Messages",
     " Show the express messages of this host, as conversations.", H::Messages,
     &TTTYForm::ViewMessagesItemClick, ifCheckable},
    {M::OptionsPreferences, mnOptions, "OptionsPreferencesItem", "&Preferences...",
     " Set your preferences for how the program behaves.", H::OptionsMenu,
     &TTTYForm::OptionsPreferencesItemClick},
    {M::OptionsFont, mnOptions, "OptionsFontItem", "&Font...",
     " Select the font to use for the terminal display.", H::OptionsMenu, &TTTYForm::OptionsFontItemClick},
    {M::OptionsMacros, mnOptions, "OptionsMacrosItem", "&Macros...", " Setup macros for the function keys.",
     H::OptionsMenu, &TTTYForm::OptionsMacrosItemClick},
    {M::OptionsUserFilter, mnOptions, "OptionsUserFilterItem", "&User Filter...",
     "Edit lists of friends and enemies.", H::OptionsMenu, &TTTYForm::OptionsUserFilterItemClick},
    {M::OptionsHighlights, mnOptions, "OptionsHighlightsItem", "&Highlights...",
     " Colour, hide or be told of lines that hold a text.", H::Highlights,
     &TTTYForm::OptionsHighlightsItemClick},
    {M::HelpContents, mnHelp, "HelpContentsItem", "&Contents", " View the contents page of the help file.",
     H::HelpMenu, &TTTYForm::HelpContentsItemClick},
    {M::HelpTopicSearch, mnHelp, "HelpTopicSearchItem", "&Topic Search",
     " Search for help on a particular topic.", H::HelpMenu, &TTTYForm::HelpTopicSearchItemClick},
    {M::HelpHowToUseHelp, mnHelp, "HelpHowToUseHelpItem", "&How to Use Help",
     " View the help file on using help.", H::HelpMenu, &TTTYForm::HelpHowToUseHelpItemClick},
    {M::HelpAboutDivider, mnHelp, "HelpAboutDivider", "", "", H::None, nullptr, ifSeparator},
    {M::HelpAbout, mnHelp, "HelpAboutItem", "&About...", " Show information about this program.", H::HelpMenu,
     &TTTYForm::HelpAboutItemClick},
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

} // namespace

void TTTYForm::CreateMenus()
{
    QMenu *menus[std::size(MenuTitles)];
    for (size_t i = 0; i < std::size(MenuTitles); ++i) {
        menus[i] = menuBar()->addMenu(QString::fromLatin1(MenuTitles[i].Caption));
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
            a = new QAction(QString::fromLatin1(row.Caption), this);
            addAction(a); // keeps its shortcut live without a place in any menu
        } else {
            a = row.Flags & ifSeparator ? menus[row.Menu]->addSeparator()
                                        : menus[row.Menu]->addAction(QString::fromLatin1(row.Caption));
        }
        a->setObjectName(QString::fromLatin1(row.Name));
        a->setStatusTip(QString::fromLatin1(row.Hint));
        if (row.HelpContext != H::None) SetHelpTopic(a, row.HelpContext);
        if (row.Flags & ifCheckable) a->setCheckable(true);
        if (row.Handler)
            connect(a, &QAction::triggered, this,
                    [this, h = row.Handler] { Guarded([&] { (this->*h)(); }); });
        FItems[size_t(row.Id)] = a;
    }
    // Clear History... is offered while there is a history to clear.
    connect(menus[mnEdit], &QMenu::aboutToShow, this,
            [this] { Item(M::EditClearHistory)->setEnabled(FColourTTY->Tty().Screen().HistoryRows() > 0); });
    for (int i = 1; i <= 5; ++i)
        connect(Item(RecentItem(i)), &QAction::triggered, this,
                [this, i] { Guarded([&] { FileLastClick(i); }); });
    // Shortcuts that never change.
    Item(M::EditClear)->setShortcut(Keys(QKeyCombination(Qt::Key_Delete)));
    Item(M::EditRestoreDraft)->setShortcut(Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    Item(M::EditXCut)->setShortcut(Keys(Qt::SHIFT | Qt::Key_Delete));
    Item(M::EditXCopy)->setShortcut(Keys(Qt::CTRL | Qt::Key_Insert));
    Item(M::EditXPaste)->setShortcut(Keys(Qt::SHIFT | Qt::Key_Insert));
    Item(M::EditFind)->setShortcut(Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    Item(M::FileSendFiles)->setShortcut(Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_U));

    // The terminal's pop-up menu shares the Copy and Paste commands.
    FPopupMenu = new QMenu(this);
    FPopupMenu->setObjectName(QStringLiteral("TTYPopupMenu"));
    QAction *cut = FPopupMenu->addAction(QStringLiteral("Cu&t"));
    cut->setObjectName(QStringLiteral("popCutItem"));
    cut->setEnabled(false);
    QAction *copy = FPopupMenu->addAction(QStringLiteral("&Copy"));
    copy->setObjectName(QStringLiteral("popCopyItem"));
    connect(copy, &QAction::triggered, this, [this] { Guarded([this] { EditCopyItemClick(); }); });
    QAction *paste = FPopupMenu->addAction(QStringLiteral("&Paste"));
    paste->setObjectName(QStringLiteral("popPasteItem"));
    connect(paste, &QAction::triggered, this, [this] { Guarded([this] { EditPasteItemClick(); }); });
    FPopupMenu->addSeparator();
    QAction *highlight = FPopupMenu->addAction(QStringLiteral("&Highlight This..."));
    highlight->setObjectName(QStringLiteral("popHighlightItem"));
    connect(highlight, &QAction::triggered, this, [this] { Guarded([this] { HighlightSelection(); }); });
    FColourTTY->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FColourTTY, &QWidget::customContextMenuRequested, this, [this, highlight](const QPoint &pos) {
        highlight->setEnabled(FColourTTY->Tty().Viewport().HasSelection());
        FPopupMenu->popup(FColourTTY->mapToGlobal(pos));
    });

    FColourTTY->OnKeyDown = [this](QKeyEvent *e, int &key) {
        // A key whose key-down was used up takes its own character with it, and no other.
        FSwallowKeyPress = false;
        const bool modifier = key == 0 || key == Qt::Key_Shift || key == Qt::Key_Control ||
                              key == Qt::Key_Alt || key == Qt::Key_Meta;
        bool used = false;
        if (!modifier)
            Guarded([&] {
                used = FSession->ReconnectKey(key == Qt::Key_Return || key == Qt::Key_Enter);
                SyncIndicator();
            });
        if (used) {
            key = 0;
            FSwallowKeyPress = true;
            return;
        }
        // Ctrl+Shift+Page Up and Down: the review line goes to the marked lines.
        if ((key == Qt::Key_PageUp || key == Qt::Key_PageDown) &&
            (e->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) ==
                (Qt::ControlModifier | Qt::ShiftModifier)) {
            Guarded([&] { ReviewMark(key == Qt::Key_PageUp ? -1 : 1); });
            key = 0;
            FSwallowKeyPress = true;
            return;
        }
        const uint16_t vk = VirtualKey(key);
        bool consumed = false;
        if (vk) Guarded([&] { consumed = ColourTTYKeyDown(vk, ShiftStateOf(e->modifiers())); });
        if (consumed) key = 0;
    };
    FColourTTY->OnKeyPress = [this](char &ch) {
        if (std::exchange(FSwallowKeyPress, false)) return;
        Guarded([&] {
            FSession->TypeChar(uint8_t(ch));
            PaletteFollowsCaret();
        });
    };
    FColourTTY->OnMouseDown = [this](QMouseEvent *) { Guarded([this] { ColourTTYMouseTrack(); }); };
    FColourTTY->OnMouseUp = FColourTTY->OnMouseDown;
    FColourTTY->OnMouseMove = [this](QMouseEvent *) {
        if (FColourTTY->Tty().Tracking) Guarded([this] { ColourTTYMouseTrack(); });
    };
    FColourTTY->OnDblClick = [this] { Guarded([this] { ColourTTYDblClick(); }); };
}

void TTTYForm::UpdateMenus()
{
    const TSession &s = *FSession;
    const TSessionState state = s.State();
    const bool idle = state == TSessionState::Idle || state == TSessionState::WaitingToReconnect;
    const bool attempting = state == TSessionState::LookingUp || state == TSessionState::Connecting;
    const bool connected = state == TSessionState::Connected || state == TSessionState::Closing;
    auto set = [this](TMenuItem id, bool visible, bool enabled) {
        QAction *a = Item(id);
        a->setVisible(visible);
        a->setEnabled(enabled);
    };
    set(M::FileConnect, idle, idle);
    set(M::FileAbort, attempting, attempting);
    set(M::FileDisconnect, connected, state == TSessionState::Connected);
    const bool transfers = FSession->Transfers().CanStart();
    set(M::FileReceiveFiles, true, transfers);
    set(M::FileSendFiles, true, transfers);
    Item(M::FileCapture)->setChecked(s.Capturing());
    Item(M::ViewMessages)->setChecked(FMessageHistory && !FMessageHistory->isHidden());
    const int unread = FMessageHistory ? FMessageHistory->Unread() : 0;
    Item(M::ViewMessages)->setText(unread ? tr("&Messages (%1 new)").arg(unread) : tr("&Messages"));

    // The Edit menu has a connected form (with the spare shortcuts) and, inside it, an edit's.
    const bool form = s.EditMenuConnected();
    const bool edit = s.EditOpen();
    set(M::EditCut, form, edit);
    Item(M::EditCut)->setShortcut(edit ? Keys(Qt::CTRL | Qt::Key_X) : QKeySequence());
    Item(M::EditCopy)->setShortcut(Keys(form ? Qt::CTRL | Qt::Key_C : Qt::CTRL | Qt::Key_Insert));
    Item(M::EditPaste)->setShortcut(Keys(form ? Qt::CTRL | Qt::Key_V : Qt::SHIFT | Qt::Key_Insert));
    set(M::EditClear, form, edit);
    set(M::EditSelectAll, form, edit);
    set(M::EditRestoreDraft, s.Draft() != nullptr, s.DraftFits());
    // The spare shortcuts work only while the visible items carry other keys (two items on
    // one key would both be dead).
    Item(M::EditXCut)->setEnabled(edit);
    Item(M::EditXCopy)->setEnabled(form);
    Item(M::EditXPaste)->setEnabled(form);
    const bool colours = form && s.Host().Mode == hmORVO;
    set(M::EditDivider, colours, true);
    // Also while the palette is up: the command then gives it the keyboard.
    set(M::EditColours, colours, edit && OffLineEdit().AcceptColourPaste() && FColourPalette);

    FConnectionLight->SetConnected(connected);
    // Plain text: Qt would take a tooltip that looks like markup for rich text.
    const std::string &lamp = s.ConnectedText();
    FConnectionLight->setToolTip(
        connected ? QString::fromUtf8(lamp.data(), qsizetype(lamp.size())).trimmed().toHtmlEscaped()
                  : tr("Not connected"));
    const bool titled = state == TSessionState::Connected;
    const QString name = QString::fromUtf8(s.Host().Name.data(), qsizetype(s.Host().Name.size()));
    SetApplicationTitle(titled ? name : QString::fromLatin1(IdleApplicationTitle));
    setWindowTitle(titled
                       ? QStringLiteral("%1 \"%2\"").arg(QLatin1String(FormCaption), PlainWindowTitle(name))
                       : QString::fromLatin1(FormCaption));
    SyncIndicator();
}

bool TTTYForm::ColourTTYKeyDown(uint16_t key, TShiftState shift)
{
    if (const int fn = FunctionKeyNumber(key)) {
        // F3 and Shift+F3 step through the hits while the find bar is open; otherwise macros.
        if (fn == 3 && !(shift & ssCtrl) && FFindBar && FFindBar->IsOpen()) {
            shift &ssShift ? FFindBar->FindPrevious() : FFindBar->FindNext();
            return true;
        }
        const int slot = MacroSlot(fn - 1, shift & ssShift, shift & ssCtrl);
        // F1 is help and F10 the menu: never macros. A key without a macro sends what an
        // ANSI-BBS host reads of it (other hosts get nothing).
        if (MacroSlotEditable(slot) && !FMacroTable.View(slot).empty()) {
            SendMacro(slot);
            CloseSplit(FColourTTY->Tty()); // typed for the BBS: back to the newest rows
        } else if (FSession->KeyDown(key, shift)) {
            CloseSplit(FColourTTY->Tty());
        }
        return true;
    }
    const bool sent = FSession->KeyDown(key, shift);
    if (sent) CloseSplit(FColourTTY->Tty());
    PaletteFollowsCaret();
    return sent;
}

void TTTYForm::ColourTTYKeyPress(uint8_t ch)
{
    FSession->KeyPress(ch);
    PaletteFollowsCaret();
}

void TTTYForm::SendMacro(int slot)
{
    for (const char c : FMacroTable.View(slot))
        ColourTTYKeyPress(c == '\n' ? '\r' : uint8_t(c));
}
