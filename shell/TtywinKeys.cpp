// The main window's menus (built from one table), its keys and the function-key macros.
#include "shell/Ttywin.h"

#include "config/Setmacro.h"
#include "shell/FindBar.h"
#include "shell/KeyMap.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

#include <iterator>
#include <utility>

namespace {

enum TMenuId { mnFile, mnEdit, mnView, mnOptions, mnHelp, mnHosts, mnNone };
enum TItemFlag : unsigned { ifHidden = 1, ifDisabled = 2, ifSeparator = 4, ifCheckable = 8 };

struct TMenuRow
{
    TMenuId Menu;
    const char *Name;
    const char *Caption;
    QKeyCombination Shortcut;
    unsigned Flags;
    const char *Hint;
    int HelpContext;
    void (TTTYForm::*Handler)();
};

constexpr QKeyCombination NoKey{};

// In menu order; rows of mnNone are the spare shortcuts, never shown.
const TMenuRow MenuRows[] = {
    {mnFile, "FileConnectItem", "&Connect", NoKey, 0, " Connect to the currently selected BBS.", 3,
     &TTTYForm::FileConnectItemClick},
    {mnFile, "FileAbortItem", "&Abort", NoKey, ifHidden | ifDisabled,
     " Abort the current attempt to connect to a BBS.", 3, &TTTYForm::FileAbortItemClick},
    {mnFile, "FileDisconnectItem", "&Disconnect", NoKey, ifHidden | ifDisabled,
     " Disconnect from the BBS. Logout instead if possible.", 3, &TTTYForm::FileDisconnectItemClick},
    {mnHosts, "FileHostsItem", "&Hosts", NoKey, 0, " Show a list of all known hosts.", 3, nullptr},
    {mnFile, "FileSetHostItem", "&Setup Hosts...", NoKey, 0,
     " Setup details for the BBS's you want to connect to.", 3, &TTTYForm::FileSetHostItemClick},
    {mnFile, "FileCaptureItem", "Cap&ture to File...", NoKey, ifCheckable,
     " Write everything shown on the terminal to a file.", 16, &TTTYForm::FileCaptureItemClick},
    {mnFile, "FileSetHostDivider", "", NoKey, ifSeparator, "", 0, nullptr},
    {mnFile, "FileExitItem", "E&xit", NoKey, 0, " Shut down the ORVO Client. It's best to logout first.", 3,
     &TTTYForm::FileExitItemClick},
    {mnFile, "FileLastDivider", "", NoKey, ifSeparator, "", 0, nullptr},
    {mnFile, "FileLast1Item", "1.", NoKey, 0, " Connect to the named BBS.", 3, nullptr},
    {mnFile, "FileLast2Item", "2.", NoKey, 0, " Connect to the named BBS.", 3, nullptr},
    {mnFile, "FileLast3Item", "3.", NoKey, 0, " Connect to the named BBS.", 3, nullptr},
    {mnFile, "FileLast4Item", "4.", NoKey, 0, " Connect to the named BBS.", 3, nullptr},
    {mnFile, "FileLast5Item", "5.", NoKey, 0, " Connect to the named BBS.", 3, nullptr},
    {mnEdit, "EditCutItem", "Cu&t", Qt::CTRL | Qt::Key_X, ifHidden | ifDisabled,
     " Cut the highlighted text to the clipboard.", 5, &TTTYForm::EditCutItemClick},
    {mnEdit, "EditCopyItem", "&Copy", Qt::CTRL | Qt::Key_Insert, 0,
     " Copy the highlighted text to the clipboard.", 5, &TTTYForm::EditCopyItemClick},
    {mnEdit, "EditPasteItem", "&Paste", Qt::SHIFT | Qt::Key_Insert, 0, " Paste text from the clipboard.", 5,
     &TTTYForm::EditPasteItemClick},
    {mnEdit, "EditClearItem", "Clear", QKeyCombination(Qt::Key_Delete), ifHidden | ifDisabled,
     " Clear the current selection.", 5, &TTTYForm::EditClearItemClick},
    {mnEdit, "EditSelectAllItem", "Se&lect All", NoKey, ifHidden | ifDisabled,
     " Select the whole of the edit area.", 5, &TTTYForm::EditSelectAllItemClick},
    {mnNone, "EditXCutItem", "xCut", Qt::SHIFT | Qt::Key_Delete, ifDisabled, "", 5,
     &TTTYForm::EditCutItemClick},
    {mnNone, "EditXCopyItem", "xCopy", Qt::CTRL | Qt::Key_Insert, ifDisabled, "", 5,
     &TTTYForm::EditCopyItemClick},
    {mnNone, "EditXPasteItem", "xPaste", Qt::SHIFT | Qt::Key_Insert, ifDisabled, "", 5,
     &TTTYForm::EditPasteItemClick},
    {mnEdit, "EditDivider", "", NoKey, ifSeparator | ifHidden, "", 0, nullptr},
    {mnEdit, "EditColoursItem", "Colours...", NoKey, ifHidden | ifDisabled, " Show the colour palette.", 5,
     &TTTYForm::EditColoursItemClick},
    {mnEdit, "EditFindDivider", "", NoKey, ifSeparator, "", 0, nullptr},
    {mnEdit, "EditFindItem", "&Find...", Qt::CTRL | Qt::SHIFT | Qt::Key_F, 0,
     " Find text in the scrollback (F3 next, Shift+F3 previous).", 14, &TTTYForm::EditFindItemClick},
    {mnView, "ViewMessagesItem", "&Messages", NoKey, ifCheckable,
     " Show the express messages of this session.", 15, &TTTYForm::ViewMessagesItemClick},
    {mnOptions, "OptionsPreferencesItem", "&Preferences...", NoKey, 0,
     " Set your preferences for how the program behaves.", 7, &TTTYForm::OptionsPreferencesItemClick},
    {mnOptions, "OptionsFontItem", "&Font...", NoKey, 0, " Select the font to use for the terminal display.",
     7, &TTTYForm::OptionsFontItemClick},
    {mnOptions, "OptionsMacrosItem", "&Macros...", NoKey, 0, " Setup macros for the function keys.", 7,
     &TTTYForm::OptionsMacrosItemClick},
    {mnOptions, "OptionsUserFilterItem", "&User Filter...", NoKey, 0, "Edit lists of friends and enemies.", 7,
     &TTTYForm::OptionsUserFilterItemClick},
    {mnHelp, "HelpContentsItem", "&Contents", NoKey, 0, " View the contents page of the help file.", 11,
     &TTTYForm::HelpContentsItemClick},
    {mnHelp, "HelpTopicSearchItem", "&Topic Search", NoKey, 0, " Search for help on a particular topic.", 11,
     &TTTYForm::HelpTopicSearchItemClick},
    {mnHelp, "HelpHowToUseHelpItem", "&How to Use Help", NoKey, 0, " View the help file on using help.", 11,
     &TTTYForm::HelpHowToUseHelpItemClick},
    {mnHelp, "HelpAboutDivider", "", NoKey, ifSeparator, "", 0, nullptr},
    {mnHelp, "HelpAboutItem", "&About...", NoKey, 0, " Show information about this program.", 11,
     &TTTYForm::HelpAboutItemClick},
};

struct TMenuTitle
{
    const char *Name;
    const char *Caption;
    int HelpContext;
};
const TMenuTitle MenuTitles[] = {{"File1", "&File", 3},
                                 {"Edit1", "&Edit", 5},
                                 {"View1", "&View", 15},
                                 {"Options1", "&Options", 7},
                                 {"Help1", "&Help", 11}};

} // namespace

QAction *TTTYForm::Item(const QString &name) const
{
    for (QAction *a : FItems)
        if (a->objectName() == name) return a;
    return nullptr;
}

void TTTYForm::ShowItem(const char *name, bool visible, bool enabled)
{
    QAction *a = Item(QString::fromLatin1(name));
    a->setVisible(visible);
    a->setEnabled(enabled);
}

void TTTYForm::CreateMenus()
{
    QMenu *menus[std::size(MenuTitles)];
    for (size_t i = 0; i < std::size(MenuTitles); ++i) {
        menus[i] = menuBar()->addMenu(QString::fromLatin1(MenuTitles[i].Caption));
        menus[i]->setObjectName(QString::fromLatin1(MenuTitles[i].Name));
        if (MenuTitles[i].HelpContext) menus[i]->setProperty("helpContext", MenuTitles[i].HelpContext);
        menus[i]->setToolTipsVisible(false);
    }
    for (const TMenuRow &row : MenuRows) {
        QAction *a = nullptr;
        if (row.Menu == mnHosts) {
            FHostsMenu = menus[mnFile]->addMenu(QString::fromLatin1(row.Caption));
            FHostsMenu->setObjectName(QStringLiteral("FileHostsMenu"));
            FHostsMenu->setProperty("helpContext", row.HelpContext);
            QAction *empty = FHostsMenu->addAction(QStringLiteral("<empty>"));
            empty->setObjectName(QStringLiteral("FileHostsSubItem"));
            a = FHostsMenu->menuAction();
        } else if (row.Menu == mnNone) {
            a = new QAction(QString::fromLatin1(row.Caption), this);
            addAction(a); // keeps its shortcut live without a place in any menu
        } else {
            a = row.Flags & ifSeparator ? menus[row.Menu]->addSeparator()
                                        : menus[row.Menu]->addAction(QString::fromLatin1(row.Caption));
        }
        a->setObjectName(QString::fromLatin1(row.Name));
        if (row.Shortcut != NoKey) a->setShortcut(QKeySequence(row.Shortcut));
        a->setStatusTip(QString::fromLatin1(row.Hint));
        if (row.HelpContext) a->setProperty("helpContext", row.HelpContext);
        if (row.Flags & ifHidden) a->setVisible(false);
        if (row.Flags & ifDisabled) a->setEnabled(false);
        if (row.Flags & ifCheckable) a->setCheckable(true);
        if (row.Handler)
            connect(a, &QAction::triggered, this,
                    [this, h = row.Handler] { Guarded([&] { (this->*h)(); }); });
        FItems.push_back(a);
    }
    for (int i = 1; i <= 5; ++i)
        connect(Item(QStringLiteral("FileLast%1Item").arg(i)), &QAction::triggered, this,
                [this, i] { Guarded([&] { FileLastClick(i); }); });

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
    FColourTTY->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FColourTTY, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { FPopupMenu->popup(FColourTTY->mapToGlobal(pos)); });

    FColourTTY->OnKeyDown = [this](QKeyEvent *e, int &key) {
        bool used = false;
        Guarded([&] { used = ReconnectKey(key); });
        if (used) {
            key = 0;
            FSwallowKeyPress = true;
            return;
        }
        const uint16_t vk = VirtualKey(key);
        bool consumed = false;
        if (vk) Guarded([&] { consumed = ColourTTYKeyDown(vk, ShiftStateOf(e->modifiers())); });
        if (consumed) key = 0;
    };
    // Return ends a Telnet line with CR LF, the Telnet end of line: line-oriented servers
    // (MUDs, talkers) ignore a bare CR and would never see the line.
    FColourTTY->OnKeyPress = [this](char &ch) {
        if (std::exchange(FSwallowKeyPress, false)) return;
        Guarded([&] {
            ColourTTYKeyPress(uint8_t(ch));
            if (ch == '\r' && FStateMachine == &FTelnetStateMachine) ColourTTYKeyPress('\n');
        });
    };
    FColourTTY->OnMouseDown = [this](QMouseEvent *) { Guarded([this] { ColourTTYMouseTrack(); }); };
    FColourTTY->OnMouseUp = FColourTTY->OnMouseDown;
    FColourTTY->OnMouseMove = [this](QMouseEvent *) {
        if (FColourTTY->Tty().Tracking) Guarded([this] { ColourTTYMouseTrack(); });
    };
    FColourTTY->OnDblClick = [this] { Guarded([this] { ColourTTYDblClick(); }); };
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
        // F1 is help and F10 the menu: never macros.
        if (MacroSlotEditable(slot)) SendMacro(slot);
        return true;
    }
    FStateMachine->SendKey(key, shift);
    PaletteFollowsCaret();
    return false;
}

void TTTYForm::ColourTTYKeyPress(uint8_t ch)
{
    FStateMachine->SendChar(ch);
    PaletteFollowsCaret();
}

void TTTYForm::SendMacro(int slot)
{
    for (const char c : MacroTable.View(slot))
        ColourTTYKeyPress(c == '\n' ? '\r' : uint8_t(c));
}
