// The main window: a view of one session. Qt events become session calls; what the session
// reports becomes the terminal, the status line, the title and the menus, which
// UpdateMenus draws from the session's state alone.
//
// Faults: every entry point from Qt runs through Guarded(); an exception is shown from the
// event loop in a message box. The window is only ever closed through the loop.
#pragma once

#include "session/InputController.h"
#include "session/Session.h"
#include "session/SessionListener.h"
#include "shell/MenuItem.h"
#include "terminal/SessionCapture.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class TALStatusBar;
class TCaptureControl;
class THostsControl;
class TPaletteControl;
class TClientPrefs;
class TColorTTYWidget;
class TColourPalette;
class TConnectionLight;
class TFindBar;
class THelpSystem;
class THostInfo;
class TMacroTable;
class TMessageHistory;
class THighlightMarks;
class TMainMenus;
class TMessagesControl;
class TNotifier;
class TOffLineEdit;
class TOffLineEditAccess;
class TQtBeeper;
class TQtColourClipboard;
class TTransferPanel;
class TUserFilter;
class TWhoList;

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
    // Unset: the real ones.
    std::function<int64_t()> Now;
    std::function<double()> Random;
    // Desktop notices for express messages; unset gives none.
    std::function<std::unique_ptr<TNotifier>(QWidget *window)> MakeNotifier;
    // The transports connections go through; unset: the program's own.
    TTransportFactory Transports;
    // The files Send Files... sends (one, or any number); unset: the file dialog's pick.
    std::function<QStringList(QWidget *parent, const QString &folder, bool many)> ChooseFilesToSend;
    static TShellPlatform Default();
};

// Application title: what the program calls itself while no BBS is connected.
constexpr const char *IdleApplicationTitle = "ORVO CLient";
constexpr const char *FormCaption = "ORVO winMarlet";

class TTTYForm : public QMainWindow, private TSessionListener
{
    Q_OBJECT

public:
    static constexpr int ScrollbackRows = 819;

    TTTYForm(TAppStores stores, TShellPlatform platform = TShellPlatform::Default(),
             QWidget *parent = nullptr);
    ~TTTYForm() override;

    // --- For the program entry, tests and benchmarks.
    TSession &Session() const { return *FSession; }
    TInputController &Input() const { return *FInput; }
    TColorTTYWidget *ColourTTY() const { return FColourTTY; }
    // nullptr unless in debug mode
    TColorTTYWidget *DebugTTY() const { return FDebugTTY; }
    TConnectionLight *ConnectionLight() const { return FConnectionLight; }
    QString StatusText() const;
    QString StatusIndicator() const;
    bool IsConnected() const { return FSession->IsConnected(); }
    TOffLineEdit &OffLineEdit() const { return FSession->OffLineEdit(); }
    QAction *Item(TMenuItem item) const;
    QMenu *HostsMenu() const;
    THelpSystem &Help() const { return *FHelp; }
    TColourPalette *ColourPalette() const;
    // Made when first used: nullptr until then.
    TFindBar *FindBar() const { return FFindBar; }
    TMessagesControl &Messages() const { return *FMessages; }
    TCaptureControl &Capture() const { return *FCapture; }
    THighlightMarks &Highlights() const { return *FHighlights; }
    TTransferPanel *TransferPanel() const { return FTransferPanel; }
    THostsControl &Hosts() const { return *FHosts; }
    // Where an application-wide fault goes.
    void HandleException(std::exception_ptr e);

    // A menu command, as its item runs it (enabled or not).
    void Command(TMenuItem item);
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
    // The preferred number of history lines, applied to the terminal (it trims at once).
    void ApplyHistoryLines();
    void SetStatus(const QString &text);
    // Runs a handler from Qt; faults go to HandleException.
    void Guarded(const std::function<void()> &handler);

    // TSessionListener (Ttywin.cpp, and the edit state in TtywinEdit.cpp).
    void SessionStateChanged(TSessionState state) override;
    void SessionStatus(const std::string &text) override;
    void SessionSizeScreen(const THostSettings &host) override;
    THostSettings SessionReconnectHost(const THostSettings &last) override;
    void SessionOutput(const char *text) override;
    void SessionDebug(const std::string &text) override;
    void SessionEditState(bool open) override;
    void SessionExpressMessage(const std::string &author, const std::string &text) override;
    void SessionHighlight(const THighlightEvent &event) override;
    void SessionError(const std::string &message) override;
    void SessionCaptureStopped(const std::string &why) override;
    void SessionEndsProgram() override;
    void SessionAskTrust(const TTrustQuestion &question, std::function<void(bool accept)> answer) override;
    void SessionAskPassword(const std::string &user, const std::string &host,
                            std::function<void(std::optional<std::string> password)> answer) override;
    void SessionTransferProgress(const TTransferProgress &progress) override;
    void SessionTransferFinished(const TTransferResult &result) override;
    void SessionUploadWanted() override;

    // Commands (TtywinCommands.cpp) and connections (TtywinConnect.cpp).
    void ConnectCommand();
    bool ConfirmDisconnect();
    // Every item's visibility, enabled state, shortcut and check mark, the titles, the
    // light and the status indicator, from the session's state.
    void UpdateMenus();
    void PickHost(const std::string &name);
    // The user sized the window while connected to an ANSI-BBS host: kept for that host.
    void HostScreenResized();
    void SyncIndicator();

    // Keys, mouse, addresses and transfers (TtywinKeys.cpp, TtywinTransfer.cpp).
    void ConnectTerminal();
    void OpenLink();
    void CreateTransfers();
    void TransferCommand(bool send);

    THostInfo &FHostInfo;
    TClientPrefs &FClientPrefs;
    TUserFilter &FUserFilter;
    TMacroTable &FMacroTable;
    TShellPlatform FPlatform;
    bool FCommandLineHost;

    TColorTTYWidget *FColourTTY = nullptr;
    TColorTTYWidget *FDebugTTY = nullptr;
    TALStatusBar *FStatusLine = nullptr;
    QLabel *FStatusPanel = nullptr;
    TConnectionLight *FConnectionLight = nullptr;

    std::unique_ptr<TSession> FSession;
    std::unique_ptr<TQtColourClipboard> FEditClipboard;
    std::unique_ptr<TInputView> FInputView;
    std::unique_ptr<TInputController> FInput;
    std::unique_ptr<TMainMenus> FMenus;
    std::unique_ptr<TQtBeeper> FBeeper;
    std::unique_ptr<THelpSystem> FHelp;
    std::unique_ptr<TPaletteControl> FPalette;
    std::unique_ptr<THostsControl> FHosts;

    bool FShown = false;
    bool FClosing = false;

    TFindBar *FFindBar = nullptr;
    std::unique_ptr<TMessagesControl> FMessages;
    std::unique_ptr<TCaptureControl> FCapture;
    std::unique_ptr<THighlightMarks> FHighlights;
    std::unique_ptr<TNotifier> FNotifier;
    QString FSaidIndicator; // the indicator as last said, numbers left out

    TTransferPanel *FTransferPanel = nullptr;
    TTransferProtocol FTransferProtocol = TTransferProtocol::Zmodem;
    QString FSendFolder;              // where Send Files... looked last
    std::string FSizedHost;           // the ANSI-BBS host the screen was sized for ("": none)
    int FSizedRows = 0;               // the rows it has, as sized or as the user left them
    QTimer *FHostSizeTimer = nullptr; // a drag of the window is stored once, when it ends
};
