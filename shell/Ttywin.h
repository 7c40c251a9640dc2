// The main window: a view of one session. Qt events become session calls; what the session
// reports becomes the terminal, the status line, the title and the menus, which
// UpdateMenus draws from the session's state alone.
//
// Faults: every entry point from Qt runs through Guarded(); an exception is shown from the
// event loop in a message box. The window is only ever closed through the loop.
#pragma once

#include "session/Session.h"
#include "session/SessionListener.h"
#include "shell/DirectoryWindow.h"
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
class TArtViewer;
class TClientPrefs;
class TColorTTYWidget;
class TColourPalette;
class TConnectionLight;
class TFindBar;
class THelpSystem;
class THostInfo;
class TMacroTable;
class TMessageHistory;
class TMessageLog;
class THighlightStore;
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
    TColorTTYWidget *ColourTTY() const { return FColourTTY; }
    TColorTTYWidget *DebugTTY() const { return FDebugTTY; }
    TConnectionLight *ConnectionLight() const { return FConnectionLight; }
    QString StatusText() const;
    QString StatusIndicator() const;
    bool IsConnected() const { return FSession->IsConnected(); }
    TOffLineEdit &OffLineEdit() const { return FSession->OffLineEdit(); }
    TWhoList &WhoList() const { return FSession->WhoList(); }
    QAction *Item(TMenuItem item) const { return FItems[size_t(item)]; }
    QMenu *HostsMenu() const { return FHostsMenu; }
    QMenu *PopupMenu() const { return FPopupMenu; }
    THelpSystem &Help() const { return *FHelp; }
    TColourPalette *ColourPalette() const { return FColourPalette; }
    // Made when first used: nullptr until then.
    TFindBar *FindBar() const { return FFindBar; }
    TMessageHistory *MessageHistory() const { return FMessageHistory; }
    // Where an application-wide fault goes.
    void HandleException(std::exception_ptr e);

    // --- Handlers, named as the menu and component events they serve.
    void FileConnectItemClick();
    void FileAbortItemClick();
    void FileDisconnectItemClick();
    void FileExitItemClick();
    void FileSetHostItemClick();
    // The Directory window and importing hosts (TtywinDirectory.cpp).
    void FileDirectoryItemClick();
    void FileImportHostsItemClick();
    // Imports a file after the preview; false when nothing was added.
    bool ImportHostsFrom(const QString &path);
    TDirectoryWindow *Directory() const { return FDirectory; }
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
    void EditRestoreDraftItemClick();

    void OptionsPreferencesItemClick();
    void OptionsFontItemClick();
    void UseTerminalFont();
    void OptionsMacrosItemClick();
    void OptionsUserFilterItemClick();
    // ANSI art (TtywinArt.cpp): a viewer window of a file (null, after telling the user,
    // when it cannot be read), and the terminal's lines (the selected ones, or all) saved
    // as an .ans file.
    void FileOpenArtItemClick();
    TArtViewer *OpenArt(const QString &path);
    void FileSaveAnsiItemClick();
    bool SaveAnsi(const QString &path, QString *error) const;
    // Highlight rules (TtywinHighlights.cpp).
    void OptionsHighlightsItemClick();
    // Options "Highlights..." with a rule for the terminal's selection proposed.
    void HighlightSelection();
    // Moves the review line to the previous (-1) or next (1) marked line; false when none.
    bool ReviewMark(int direction);
    const std::vector<int64_t> &MarkedRows() const { return FMarkedRows; }
    void HelpContentsItemClick();
    void HelpTopicSearchItemClick();
    void HelpHowToUseHelpItemClick();
    void HelpAboutItemClick();

    // File transfers (TtywinTransfer.cpp).
    void FileReceiveFilesItemClick();
    void FileSendFilesItemClick();
    void SetTransferProtocol(TTransferProtocol protocol);
    TTransferProtocol TransferProtocol() const { return FTransferProtocol; }
    TTransferPanel *TransferPanel() const { return FTransferPanel; }

    // Find, capture and the Messages pane (TtywinExtras.cpp).
    void EditFindItemClick();
    // Edit "Clear History...": forgets the history after asking.
    void EditClearHistoryItemClick();
    void FileCaptureItemClick();
    void ViewMessagesItemClick();
    // Opens an express message to this user (typed ahead into the BBS's prompts); false,
    // with a word in the status line, when the connection cannot take one now.
    bool ReplyToMessage(const QString &author);
    // Starts capturing to a file (replacing a capture in progress); false, after telling the
    // user, when the file cannot be opened.
    bool StartCapture(const QString &path, TCaptureForm form);
    void StopCapture();
    bool IsCapturing() const { return FSession->Capturing(); }

    // Key-down with a virtual key; returns whether the key was consumed (function keys).
    bool ColourTTYKeyDown(uint16_t key, TShiftState shift);
    // Key-press handling: one byte to the session, then the palette follows the caret.
    void ColourTTYKeyPress(uint8_t ch);
    void SendMacro(int slot);

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
    TMessageHistory &Messages();
    void FormCreate();
    void FormShow();
    void FormResize();
    // The user sized the window while connected to an ANSI-BBS host: kept for that host.
    void HostScreenResized();
    bool FormCloseQuery();
    void FormDestroy();
    void SetStatus(const QString &text);
    void SetApplicationTitle(const QString &title);
    // What screen readers are told, and the palette, as the preferences say (TtywinOptions.cpp).
    void ApplySpeech();
    void ShowException(std::exception_ptr e);
    void ApplicationHint(const QString &hint);
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

    // Menus and keys (TtywinKeys.cpp).
    void CreateMenus();
    // Every item's visibility, enabled state, shortcut and check mark, the titles, the
    // light and the status indicator, from the session's state.
    void UpdateMenus();
    void PickHost(const std::string &name);
    // A connection to a saved host came up: its call is counted (TtywinDirectory.cpp).
    void HostConnected(const std::string &name);
    void StartSecondInstance(const std::string &name);

    QAction *CreateProtocolMenu(QMenu *file, const QString &caption);
    void CreateTransfers();

    // Extras (TtywinExtras.cpp).
    void CreateExtras();
    void CaptureFailedMessage(const QString &why);
    void SyncIndicator();
    void ExpressMessageArrived(const std::string &author, const std::string &text);
    // The pane shows the kept messages of the current host.
    void LoadMessageHistory();

    // Highlights (TtywinHighlights.cpp).
    void OpenHighlights(const THighlightRule *proposal);
    void PlayMessageSound();

    // Edit glue (TtywinEdit.cpp).
    bool InEditMode() const;
    void PaletteFollowsCaret();
    void ShowPalette();
    void ColourTTYMouseTrack();
    void ColourTTYDblClick();
    void ApplicationActivate();
    void ApplicationDeactivate();
    void ColourSelected(int colour, bool foreground);
    void PaletteClosed();
    bool SelectionBeforeEditor() const;

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
    QMenu *FHostsMenu = nullptr;
    QMenu *FPopupMenu = nullptr;
    std::array<QAction *, MenuItemCount> FItems{};

    std::unique_ptr<TSession> FSession;
    std::unique_ptr<TQtColourClipboard> FEditClipboard;
    std::unique_ptr<TQtBeeper> FBeeper;
    std::unique_ptr<THelpSystem> FHelp;
    TColourPalette *FColourPalette = nullptr; // a child window: Qt frees it

    bool FShown = false;
    bool FClosing = false;
    bool FSwallowKeyPress = false; // the key-down of this key was used up

    TFindBar *FFindBar = nullptr;
    TMessageHistory *FMessageHistory = nullptr;
    std::unique_ptr<TMessageLog> FMessageLog;
    std::string FMessagesHost; // whose messages the pane holds
    std::unique_ptr<THighlightStore> FHighlightStore;
    std::vector<int64_t> FMarkedRows; // row numbers of lines marked by a rule, oldest first
    std::unique_ptr<TNotifier> FNotifier;
    QString FCapturePath;
    QTimer *FReconnectTick = nullptr;          // counts the wait down in the status line
    TOffLineEditAccess *FEditAccess = nullptr; // the open edit on the accessibility bus
    QString FSaidIndicator;                    // the indicator as last said, numbers left out

    TTransferPanel *FTransferPanel = nullptr;
    QPointer<TDirectoryWindow> FDirectory;
    std::array<QAction *, 3> FProtocolItems{};
    TTransferProtocol FTransferProtocol = TTransferProtocol::Zmodem;
    QString FSendFolder;              // where Send Files... looked last
    std::string FSizedHost;           // the ANSI-BBS host the screen was sized for ("": none)
    int FSizedRows = 0;               // the rows it has, as sized or as the user left them
    QTimer *FHostSizeTimer = nullptr; // a drag of the window is stored once, when it ends
};
