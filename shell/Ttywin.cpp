// The main window: creation, showing, sizing, closing, engine output and faults.
#include "shell/Ttywin.h"

#include "colouredit/OffLine.h"
#include "colouredit/qt/ColourClipboard.h"
#include "colouredit/qt/Colours.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/Setmacro.h"
#include "protocol/UserFilt.h"
#include "shell/ALStatusBar.h"
#include "shell/Conlight.h"
#include "shell/FindBar.h"
#include "shell/HelpSystem.h"
#include "shell/Notifier.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The CLient engine's edit-state notice, queued through the event loop.
const QEvent::Type EditStateEventType = QEvent::Type(QEvent::User + int(WM_EDITSTATE));

class TEditStateEvent : public QEvent
{
public:
    explicit TEditStateEvent(uintptr_t open) : QEvent(EditStateEventType), Open(open) {}
    uintptr_t Open;
};

// The preferred font; a name this system lacks falls back to its fixed-pitch font.
QFont PreferredFont(const TClientPrefs &prefs)
{
    QFont f(QString::fromStdString(prefs.FontName), prefs.FontSize > 0 ? prefs.FontSize : 9);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    if (!QFontInfo(f).fixedPitch()) {
        const int size = f.pointSize();
        f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSize(size);
    }
    f.setBold(prefs.FontStyle & fsBold);
    f.setItalic(prefs.FontStyle & fsItalic);
    return f;
}

} // namespace

TShellPlatform TShellPlatform::Default()
{
    TShellPlatform p;
    p.StartProgram = [](const QString &program, const QStringList &args) {
        return QProcess::startDetached(program, args);
    };
    p.OpenAddress = [](const QString &address) { QDesktopServices::openUrl(QUrl(address)); };
    p.ProgramPath = QCoreApplication::applicationFilePath();
    p.MakeNotifier = MakeDesktopNotifier;
    return p;
}

TTTYForm::TTTYForm(TAppStores stores, TShellPlatform platform, QWidget *parent)
    : QMainWindow(parent), HostInfo(stores.Hosts), ClientPrefs(stores.Prefs), UserFilter(stores.Filter),
      MacroTable(stores.Macros), Platform(std::move(platform)), CommandLineHost(stores.CommandLineHost)
{
    setWindowTitle(QString::fromLatin1(FormCaption));
    setProperty("helpContext", 2);
    resize(640, 358);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    FColourTTY = new TColorTTYWidget(central);
    FColourTTY->setObjectName(QStringLiteral("ColourTTY"));
    FStatusLine = new TALStatusBar(central);
    FStatusLine->setObjectName(QStringLiteral("StatusLine"));
    FStatusPanel = FStatusLine->Panel();
    FConnectionLight = new TConnectionLight;
    FConnectionLight->setObjectName(QStringLiteral("ConnectionLight"));
    FStatusLine->SetLight(FConnectionLight);
    FDebugTTY = new TColorTTYWidget(central);
    FDebugTTY->setObjectName(QStringLiteral("DebugTTY"));
    layout->addWidget(FColourTTY, 1);
    layout->addWidget(FStatusLine);
    layout->addWidget(FDebugTTY);
    setCentralWidget(central);
    setFocusProxy(FColourTTY);

    TColorTTY &tty = FColourTTY->Tty();
    tty.SetBufferSize(ScrollbackRows, 80);
    FColourTTY->SetOptions(OptionBit(coAutoTracking) | OptionBit(coFulltimeCursor) | OptionBit(coLazyWrite) |
                           OptionBit(coColors) | OptionBit(coFlashing));
    FDebugTTY->Tty().SetBufferSize(ScrollbackRows, 80);
    FDebugTTY->SetOptions(OptionBit(coAutoTracking) | OptionBit(coCheckBreak) | OptionBit(coFulltimeCursor) |
                          OptionBit(coLazyWrite) | OptionBit(coColors));

    FClientSocket.SetProtocol("tcp");
    FClientSocket.SetTimeOut(0);
    FClientSocket.OnInfo = [this](TSockCtrl *, TSockInfo code, TSocketBase *) { ClientSocketInfo(code); };
    FClientSocket.OnConnect = [this](TSockCtrl *, TSocketBase *s) { ClientSocketConnect(s); };
    FClientSocket.OnRead = [this](TSockCtrl *, TSocketBase *s) { ClientSocketRead(s); };
    FClientSocket.OnDisconnect = [this](TSockCtrl *, TSocketBase *) { ClientSocketDisconnect(); };

    FTelnetStateMachine.OnSocketOut = [this](TTelnetStateMachine *, const uint8_t *b, int32_t n) {
        StateMachineSocketOut(b, n);
    };
    FTelnetStateMachine.OnTerminalOut = [this](TTelnetStateMachine *, const char *t) {
        StateMachineTerminalOut(t);
    };
    FTelnetStateMachine.OnDebug = [this](TTelnetStateMachine *, const std::string &t) {
        StateMachineDebug(t);
    };

    CreateMenus();
    FormCreate();
}

TTTYForm::~TTTYForm()
{
    FormDestroy();
}

void TTTYForm::FormCreate()
{
    // 9: the who list and the offline editor live as long as the window (the engine uses them).
    FWhoList = std::make_unique<TWhoList>();
    FOffLineEdit = std::make_unique<TOffLineEdit>(FColourTTY->Tty(), *FWhoList);
    FEditClipboard = std::make_unique<TQtColourClipboard>();
    FBeeper = std::make_unique<TQtBeeper>();
    FOffLineEdit->SetClipboard(FEditClipboard.get());
    FOffLineEdit->SetBeeper(FBeeper.get());
    FHelp = std::make_unique<THelpSystem>();
    FHelp->InstallF1(*qApp);

    // 1: both engines report to the same handlers.
    FCLientMachine = std::make_unique<TCLientStateMachine>(HostInfo, UserFilter, *FOffLineEdit, *FWhoList,
                                                           static_cast<TEngineOwner *>(this));
    FCLientMachine->OnSocketOut = FTelnetStateMachine.OnSocketOut;
    FCLientMachine->OnTerminalOut = FTelnetStateMachine.OnTerminalOut;
    FCLientMachine->OnDebug = FTelnetStateMachine.OnDebug;
    FStateMachine = &FTelnetStateMachine;

    // 2-5: preferences.
    ClientPrefs.ScreenLines = qBound(5, ClientPrefs.ScreenLines, 100);
    TColorTTYOptions o = FColourTTY->Options();
    if (ClientPrefs.DisableColours) o &= TColorTTYOptions(~OptionBit(coColors));
    if (ClientPrefs.DisableFlashing) o &= TColorTTYOptions(~OptionBit(coFlashing));
    FColourTTY->SetOptions(o);
    const QFont font = PreferredFont(ClientPrefs);
    FColourTTY->setFont(font);
    FDebugTTY->setFont(font);
    FDebugTTY->setFixedHeight(ClientPrefs.Debug ? 3 * FDebugTTY->CharHeight() : 0);
    FDebugTTY->setVisible(ClientPrefs.Debug);

    // 6-8.
    TColorTTY &tty = FColourTTY->Tty();
    tty.MoveCursor(0, tty.Rows - ClientPrefs.ScreenLines);
    FDebugTTY->Write("winMarlet ready. Debug mode engaged.\r\n");
    ReadBuffer = std::make_unique<uint8_t[]>(ReadBufferSize);
    ReadCount = 0;

    // 11-16.
    UpdateLastMenu();
    Connected = false;
    FConnectionLight->SetConnected(false);
    Guarded([this] { GiveSocketAddress(); });

    // 14: the palette, wanted or not as the user left it.
    FColourPalette = new TColourPalette(ClientPrefs.IniFileName(), this);
    FColourPalette->OnColourSelect = [this](int c, bool fg) { Guarded([&] { ColourSelected(c, fg); }); };
    FColourPalette->OnPaletteClose = [this] { Guarded([this] { PaletteClosed(); }); };
    FColourPalette->LoadSettings();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        Guarded([this, s] { s == Qt::ApplicationActive ? ApplicationActivate() : ApplicationDeactivate(); });
    });
    SetSockExceptionHandler([this](std::exception_ptr e) { HandleException(e); });
    FillHostsMenu();
    CreateExtras();

    // 17: after the window has come up, so the user sees the attempt.
    if (ClientPrefs.ConnectOnStartup || CommandLineHost)
        QMetaObject::invokeMethod(
            this, [this] { Guarded([this] { FileConnectItemClick(); }); }, Qt::QueuedConnection);
}

void TTTYForm::FormDestroy()
{
    if (FCapture) FCapture->Finish(); // the last, unfinished line
    if (FHelp) FHelp->Quit();
    if (FColourPalette) FColourPalette->SaveSettings();
    SetSockExceptionHandler(nullptr);
    FClientSocket.OnInfo = nullptr;
    FClientSocket.OnConnect = nullptr;
    FClientSocket.OnRead = nullptr;
    FClientSocket.OnDisconnect = nullptr;
    try {
        FClientSocket.Close();
    } catch (...) {
    }
    FTelnetStateMachine.OnSocketOut = nullptr;
    if (FCLientMachine) {
        FCLientMachine->OnSocketOut = nullptr;
        FCLientMachine->SetOwner(nullptr);
    }
}

void TTTYForm::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (!Shown) {
        Shown = true;
        Guarded([this] { FormShow(); });
    }
}

void TTTYForm::FormShow()
{
    SizeTerminal(ClientPrefs.ScreenLines, true);
    TColorTTY &tty = FColourTTY->Tty();
    tty.ScrollTo(0, tty.Rows - ClientPrefs.ScreenLines);
    FColourTTY->setFocus();
}

void TTTYForm::SizeTerminal(int lines, bool resizeWindow)
{
    TColorTTY &tty = FColourTTY->Tty();
    if (resizeWindow && !isMaximized() && !isFullScreen() && FColourTTY->CharWidth() > 0) {
        // Everything around the cells stays as it is; the cells become 80 x lines.
        const QSize cells = FColourTTY->viewport()->size();
        const int extraW = width() - cells.width();
        const int extraH = height() - cells.height();
        resize(80 * FColourTTY->CharWidth() + extraW, lines * FColourTTY->CharHeight() + extraH);
        if (QLayout *l = centralWidget()->layout()) l->activate();
        FColourTTY->RecalcLayout();
    }
    tty.ScrollTo(0, tty.Rows - tty.VisibleRows);
    FTelnetStateMachine.Rows = uint8_t(tty.VisibleRows);
    FTelnetStateMachine.Cols = uint8_t(tty.Cols);
    FCLientMachine->Rows = FTelnetStateMachine.Rows;
    FCLientMachine->Cols = FTelnetStateMachine.Cols;
    FStateMachine->SendWindowSize();
}

void TTTYForm::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    if (Shown) Guarded([this] { FormResize(); });
}

void TTTYForm::FormResize()
{
    if (QLayout *l = centralWidget()->layout()) l->activate();
    FColourTTY->RecalcLayout();
    SizeTerminal(FColourTTY->Tty().VisibleRows, false);
    const TColorTTY &tty = FColourTTY->Tty();
    SetStatus(QStringLiteral(" Terminal resized to %1 by %2.").arg(tty.Cols).arg(tty.VisibleRows));
}

void TTTYForm::closeEvent(QCloseEvent *e)
{
    bool may = true;
    Guarded([&] { may = FormCloseQuery(); });
    if (may)
        e->accept();
    else
        e->ignore();
}

bool TTTYForm::FormCloseQuery()
{
    if (Connected) FileDisconnectItemClick();
    return !Connected;
}

void TTTYForm::FileExitItemClick()
{
    close();
}

QString TTTYForm::StatusText() const
{
    return FStatusPanel->text();
}

void TTTYForm::SetStatus(const QString &text)
{
    FStatusPanel->setText(text);
}

void TTTYForm::SetApplicationTitle(const QString &title)
{
    // What the program calls itself (message box titles); window captions are separate.
    qApp->setProperty("applicationTitle", title);
}

void TTTYForm::ApplicationHint(const QString &hint)
{
    if (!hint.isEmpty())
        SetStatus(hint);
    else if (!Item(QStringLiteral("FileAbortItem"))->isEnabled())
        SetStatus(QStringLiteral(" Press F1 for help."));
}

bool TTTYForm::event(QEvent *e)
{
    if (e->type() == QEvent::StatusTip) {
        ApplicationHint(static_cast<QStatusTipEvent *>(e)->tip());
        return true;
    }
    if (e->type() == EditStateEventType) {
        const uintptr_t open = static_cast<TEditStateEvent *>(e)->Open;
        Guarded([this, open] { EditStateChanged(open); });
        return true;
    }
    return QMainWindow::event(e);
}

void TTTYForm::Post(uint32_t msg, uintptr_t wParam, intptr_t)
{
    if (msg == WM_EDITSTATE) QCoreApplication::postEvent(this, new TEditStateEvent(wParam));
}

void TTTYForm::StateMachineSocketOut(const uint8_t *buf, int32_t count)
{
    if (Connected && count > 0) FClientSocket.SendAll(buf, count);
}

void TTTYForm::StateMachineTerminalOut(const char *text)
{
    FColourTTY->WriteOutput(text);
    if (FCapture && !FCapture->Text(text)) CaptureFailed();
    if (FFindBar) FFindBar->TerminalChanged();
}

void TTTYForm::StateMachineDebug(const std::string &text)
{
    FDebugTTY->Write(text.c_str());
}

void TTTYForm::Guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

void TTTYForm::HandleException(std::exception_ptr e)
{
    // Shown from the event loop: the socket layer may be inside a handler right now.
    QPointer<TTTYForm> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, e] {
            if (self) self->ShowException(e);
        },
        Qt::QueuedConnection);
}

void TTTYForm::ShowException(std::exception_ptr e)
{
    QString message;
    bool socketError = false;
    try {
        std::rethrow_exception(e);
    } catch (const ESockError &x) {
        message = QString::fromLocal8Bit(x.what());
        socketError = true;
    } catch (const std::exception &x) {
        message = QString::fromLocal8Bit(x.what());
    } catch (...) {
        message = QStringLiteral("Unknown error.");
    }
    // An automatic reconnect that failed says so in the status line and tries again later.
    if (socketError && FReconnecting && !Connected) {
        Guarded([this] {
            DisconnectHandling();
            if (FReconnecting) ScheduleReconnect();
        });
        return;
    }
    QMessageBox::critical(this, qApp->property("applicationTitle").toString(), message);
    const bool wasConnected = Connected;
    if (socketError) Guarded([this] { DisconnectHandling(); });
    if (socketError && wasConnected) Guarded([this] { ConnectionDropped(); });
}
