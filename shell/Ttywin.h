// The main window: ties the socket, the two protocol engines and the terminal together.
//
// Bytes in:  socket notice -> ClientSocketRead -> ReadBuffer -> StateMachine->ProcessInput
//            -> StateMachineTerminalOut -> ColourTTY Write.
// Bytes out: key, macro or paste -> StateMachine SendKey/SendChar -> StateMachineSocketOut
//            -> ClientSocket SendAll (only while Connected; nothing is ever dropped).
// Faults:    every entry point from Qt runs through Guarded(); exceptions, including those the
//            socket layer catches in its handlers, reach HandleException, which shows them
//            from the event loop (never inside a socket handler) and, for a socket error,
//            runs the disconnect handling. The window is only ever closed through the loop.
#pragma once

#include "net/dWinsock.h"
#include "protocol/CLient.h"
#include "protocol/Telnet.h"
#include "shell/ReconnectPolicy.h"
#include "terminal/SessionCapture.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class TALStatusBar;
class TClientPrefs;
class TColorTTYWidget;
class TConnectionLight;
class THostInfo;
class TMacroTable;
class TOffLineEdit;
class TUserFilter;
class TWhoList;
class THelpSystem;
class TColourPalette;
class TQtColourClipboard;
class TQtBeeper;
class TFindBar;
class TMessageHistory;
class TNotifier;
class QTimer;

// The process-wide stores the window works with (created and freed by the program entry).
struct TAppStores
{
    THostInfo &Hosts;
    TClientPrefs &Prefs;
    TUserFilter &Filter;
    TMacroTable &Macros;
    // The command line named a host (a telnet:// address or "/c="): connect at start.
    bool CommandLineHost = false;
};

// What the window asks of the desktop; tests replace these.
struct TShellPlatform
{
    // Starts a program detached; false when it could not be started.
    std::function<bool(const QString &program, const QStringList &args)> StartProgram;
    // Hands an address to the desktop (browser, mail program, ...).
    std::function<void(const QString &address)> OpenAddress;
    // This program's own executable.
    QString ProgramPath;
    // Milliseconds of a steady clock, and a random value in [0, 1): reconnect timing.
    std::function<int64_t()> Now;
    std::function<double()> Random;
    // Desktop notices for express messages; unset gives none.
    std::function<std::unique_ptr<TNotifier>(QWidget *window)> MakeNotifier;
    static TShellPlatform Default();
};

// Application title: what the program calls itself while no BBS is connected.
constexpr const char *IdleApplicationTitle = "ORVO CLient";
constexpr const char *FormCaption = "ORVO winMarlet";

class TTTYForm : public QMainWindow, private TEngineOwner
{
    Q_OBJECT

public:
    static constexpr int ReadBufferSize = 32768;
    static constexpr int ScrollbackRows = 819;

    TTTYForm(TAppStores stores, TShellPlatform platform = TShellPlatform::Default(),
             QWidget *parent = nullptr);
    ~TTTYForm() override;

    // --- For the program entry, tests and benchmarks.
    TColorTTYWidget *ColourTTY() const { return FColourTTY; }
    TColorTTYWidget *DebugTTY() const { return FDebugTTY; }
    TConnectionLight *ConnectionLight() const { return FConnectionLight; }
    QString StatusText() const;
    bool IsConnected() const { return Connected; }
    TTelnetStateMachine *StateMachine() const { return FStateMachine; }
    TCLientStateMachine *CLientMachine() const { return FCLientMachine.get(); }
    TWhoList &WhoList() const { return *FWhoList; }
    TOffLineEdit &OffLineEdit() const { return *FOffLineEdit; }
    TCustomClientSocket &ClientSocket() { return FClientSocket; }
    // A menu item by its name ("FileConnectItem", "EditCopyItem", ...), or null.
    QAction *Item(const QString &name) const;
    QMenu *HostsMenu() const { return FHostsMenu; }
    QMenu *PopupMenu() const { return FPopupMenu; }
    THelpSystem &Help() const { return *FHelp; }
    TColourPalette *ColourPalette() const { return FColourPalette; }
    TFindBar *FindBar() const { return FFindBar; }
    TMessageHistory *MessageHistory() const { return FMessageHistory; }
    QString StatusIndicator() const;
    // Where an application-wide fault goes (also installed for the socket layer).
    void HandleException(std::exception_ptr e);

    // --- Handlers, named as the menu and component events they serve.
    void FileConnectItemClick();
    void FileAbortItemClick();
    void FileDisconnectItemClick();
    void FileExitItemClick();
    void FileSetHostItemClick();
    void FileLastClick(int index);
    void HostsMenuClick(const QString &name);
    void UpdateLastMenu();
    void FillHostsMenu();

    void EditCutItemClick();
    void EditCopyItemClick();
    void EditPasteItemClick();
    void EditClearItemClick();
    void EditSelectAllItemClick();
    void EditColoursItemClick();

    void OptionsPreferencesItemClick();
    void OptionsFontItemClick();
    void OptionsMacrosItemClick();
    void OptionsUserFilterItemClick();
    void HelpContentsItemClick();
    void HelpTopicSearchItemClick();
    void HelpHowToUseHelpItemClick();
    void HelpAboutItemClick();

    // Find, capture, reconnect and the Messages pane (TtywinExtras.cpp).
    void EditFindItemClick();
    void FileCaptureItemClick();
    void ViewMessagesItemClick();
    // Starts capturing to a file (replacing a capture in progress); false, after telling the
    // user, when the file cannot be opened.
    bool StartCapture(const QString &path, TCaptureForm form);
    void StopCapture();
    bool IsCapturing() const { return bool(FCapture); }
    // An automatic reconnect is waiting; the delay it waits; what its timer runs.
    bool ReconnectWaiting() const;
    int ReconnectDelay() const;
    void ReconnectNow();
    // The status line offers a reconnect (Enter takes it).
    bool ReconnectOffered() const { return FReconnectOffer; }

    // Key-down with a virtual key; returns whether the key was consumed (function keys).
    bool ColourTTYKeyDown(uint16_t key, TShiftState shift);
    // Key-press handling: one byte to the engine, then the palette follows the caret.
    void ColourTTYKeyPress(uint8_t ch);
    void SendMacro(int slot);
    // Types text as a paste does outside an edit.
    void TypeText(const std::string &text);

    // Terminal sizing for a line count; resizes the window unless maximised when asked.
    void SizeTerminal(int lines, bool resizeWindow);
    // Starts a program; reports a failure in a message box and the status panel.
    bool LaunchHelper(const QString &program, const QStringList &args);

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void moveEvent(QMoveEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    // Window parts (Ttywin.cpp).
    void FormCreate();
    void FormShow();
    void FormResize();
    bool FormCloseQuery();
    void FormDestroy();
    void SetStatus(const QString &text);
    void SetApplicationTitle(const QString &title);
    void StateMachineSocketOut(const uint8_t *buf, int32_t count);
    void StateMachineTerminalOut(const char *text);
    void StateMachineDebug(const std::string &text);
    void ShowException(std::exception_ptr e);
    void ApplicationHint(const QString &hint);
    // Runs a handler from Qt; faults go to HandleException.
    void Guarded(const std::function<void()> &handler);
    void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

    // Connection (TtywinConnect.cpp).
    void ClientSocketInfo(TSockInfo code);
    void ClientSocketConnect(TSocketBase *socket);
    void ClientSocketRead(TSocketBase *socket);
    void ClientSocketDisconnect();
    void DisconnectHandling();
    void GiveSocketAddress();
    void SetEditMenuConnected(bool connected);
    void PickHost(const std::string &name);
    void StartSecondInstance(const std::string &name);

    // Menus and keys (TtywinKeys.cpp).
    void CreateMenus();
    void ShowItem(const char *name, bool visible, bool enabled);

    // Extras (TtywinExtras.cpp).
    void CreateExtras();
    void CaptureFailed();
    void CaptureFailedMessage(const QString &why);
    void SyncCaptureItem();
    void SyncIndicator();
    void UserConnecting();
    void ConnectionDropped();
    void ScheduleReconnect();
    void StopReconnect();
    // A key on the terminal while a reconnect waits or is offered; true when it was used.
    bool ReconnectKey(int qtKey);
    void ExpressMessageArrived(const std::string &author, const std::string &text);
    int64_t Now() const;

    // Edit glue (TtywinEdit.cpp).
    bool InEditMode() const;
    void PaletteFollowsCaret();
    void ShowPalette();
    void EditStateChanged(uintptr_t open);
    void ColourTTYMouseTrack();
    void ColourTTYDblClick();
    void ApplicationActivate();
    void ApplicationDeactivate();
    void ColourSelected(int colour, bool foreground);
    void PaletteClosed();
    bool SelectionBeforeEditor() const;

    THostInfo &HostInfo;
    TClientPrefs &ClientPrefs;
    TUserFilter &UserFilter;
    TMacroTable &MacroTable;
    TShellPlatform Platform;
    bool CommandLineHost;

    TColorTTYWidget *FColourTTY = nullptr;
    TColorTTYWidget *FDebugTTY = nullptr;
    TALStatusBar *FStatusLine = nullptr;
    QLabel *FStatusPanel = nullptr;
    TConnectionLight *FConnectionLight = nullptr;
    QMenu *FHostsMenu = nullptr;
    QMenu *FPopupMenu = nullptr;
    std::vector<QAction *> FItems;

    TTelnetStateMachine FTelnetStateMachine;
    std::unique_ptr<TWhoList> FWhoList;
    std::unique_ptr<TOffLineEdit> FOffLineEdit;
    std::unique_ptr<TQtColourClipboard> FEditClipboard;
    std::unique_ptr<TQtBeeper> FBeeper;
    std::unique_ptr<THelpSystem> FHelp;
    std::unique_ptr<TCLientStateMachine> FCLientMachine;
    TTelnetStateMachine *FStateMachine = nullptr;
    TBasicClientSocket FClientSocket;
    TColourPalette *FColourPalette = nullptr; // a child window: Qt frees it

    bool Connected = false;
    std::unique_ptr<uint8_t[]> ReadBuffer;
    uint16_t ReadCount = 0;
    bool Shown = false;
    bool Closing = false;

    TFindBar *FFindBar = nullptr;
    TMessageHistory *FMessageHistory = nullptr;
    std::unique_ptr<TNotifier> FNotifier;
    std::unique_ptr<TSessionCapture> FCapture;
    QString FCapturePath;
    std::unique_ptr<TReconnectPolicy> FReconnect;
    QTimer *FReconnectTimer = nullptr;
    QTimer *FReconnectTick = nullptr; // counts the wait down in the status line
    int64_t FReconnectAt = 0;
    bool FReconnecting = false; // automatic reconnecting under way (waiting or trying)
    bool FReconnectOffer = false;
    QString FReconnectNote; // why reconnecting gave up, until the next Connect
    bool FSwallowKeyPress = false;
};
