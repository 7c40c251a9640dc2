// The main window: creation, showing, sizing, closing, and what the session reports.
#include "shell/Ttywin.h"

#include "colouredit/OffLine.h"
#include "colouredit/qt/ColourClipboard.h"
#include "colouredit/qt/ColourTextAccessible.h"
#include "colouredit/qt/Colours.h"
#include "config/Highlights.h"
#include "config/MessageLog.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/Setmacro.h"
#include "config/UserFilt.h"
#include "session/qt/QtSessionPlatform.h"
#include "session/qt/TransportFactory.h"
#include "session/secure/qt/TrustDialogs.h"
#include "shell/ALStatusBar.h"
#include "shell/CaptureControl.h"
#include "shell/Conlight.h"
#include "shell/FindBar.h"
#include "shell/HelpSystem.h"
#include "shell/HighlightMarks.h"
#include "shell/HostsControl.h"
#include "shell/MainMenus.h"
#include "shell/MessagesControl.h"
#include "shell/Notifier.h"
#include "shell/PaletteControl.h"
#include "shell/PlainText.h"
#include "shell/WindowDialogs.h"
#include "terminal/qt/ColorTTYWidget.h"
#include "terminal/qt/TerminalSpeech.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QStatusTipEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace {

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

QString Utf8(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
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

namespace {

// The window's side of the input controller.
class TInputHooks : public TInputView
{
public:
    TInputHooks(std::function<void()> copy, std::function<bool(bool)> find, std::function<void(int)> review,
                std::function<void()> caret, std::function<void()> sent)
        : FCopy(std::move(copy)), FFind(std::move(find)), FReview(std::move(review)),
          FCaret(std::move(caret)), FSent(std::move(sent))
    {
    }
    void CopyTerminalSelection() override { FCopy(); }
    bool StepFind(bool backwards) override { return FFind(backwards); }
    void ReviewMark(int direction) override { FReview(direction); }
    void CaretMoved() override { FCaret(); }
    void KeysSent() override { FSent(); }

private:
    std::function<void()> FCopy;
    std::function<bool(bool)> FFind;
    std::function<void(int)> FReview;
    std::function<void()> FCaret;
    std::function<void()> FSent;
};

} // namespace

TTTYForm::TTTYForm(TAppStores stores, TShellPlatform platform, QWidget *parent)
    : QMainWindow(parent), FHostInfo(stores.Hosts), FClientPrefs(stores.Prefs), FUserFilter(stores.Filter),
      FMacroTable(stores.Macros), FPlatform(std::move(platform)), FCommandLineHost(stores.CommandLineHost)
{
    setWindowTitle(QString::fromLatin1(FormCaption));
    SetHelpTopic(this, THelpTopic::MainWindow);
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
    layout->addWidget(FColourTTY, 1);
    layout->addWidget(FStatusLine);
    setCentralWidget(central);
    setFocusProxy(FColourTTY);

    TColorTTY &tty = FColourTTY->Tty();
    tty.SetBufferSize(ScrollbackRows, 80);
    FColourTTY->SetOptions(OptionBit(coAutoTracking) | OptionBit(coFulltimeCursor) | OptionBit(coLazyWrite) |
                           OptionBit(coColors) | OptionBit(coFlashing));

    FSession = std::make_unique<TSession>(
        TSessionStores{FClientPrefs, FUserFilter}, tty, static_cast<TSessionListener &>(*this),
        FPlatform.Transports
            ? FPlatform.Transports
            : ProgramTransports(QFileInfo(QString::fromLocal8Bit(FHostInfo.IniFileName().c_str()))
                                    .absolutePath()
                                    .toLocal8Bit()
                                    .toStdString()),
        std::make_unique<TQtSessionPlatform>(FPlatform.Now, FPlatform.Random));

    FEditClipboard = std::make_unique<TQtColourClipboard>();
    FInputView = std::make_unique<TInputHooks>([this] { FColourTTY->CopyToClipboard(); },
                                               [this](bool back) {
                                                   if (!FFindBar || !FFindBar->IsOpen()) return false;
                                                   back ? FFindBar->FindPrevious() : FFindBar->FindNext();
                                                   return true;
                                               },
                                               [this](int direction) { FHighlights->ReviewMark(direction); },
                                               [this] { FPalette->CaretMoved(); },
                                               [this] { CloseSplit(FColourTTY->Tty()); });
    FInput = std::make_unique<TInputController>(*FSession, FMacroTable, FClientPrefs, *FEditClipboard,
                                                *FInputView);

    const auto status = [this](const QString &text) { SetStatus(text); };
    const auto changed = [this] { UpdateMenus(); };
    const auto guarded = [this](const std::function<void()> &handler) { Guarded(handler); };
    const auto notifier = [this]() -> TNotifier * {
        if (!FNotifier && FPlatform.MakeNotifier) FNotifier = FPlatform.MakeNotifier(this);
        return FNotifier.get();
    };
    FMessages = std::make_unique<TMessagesControl>(TMessagesControl::TParts{
        *this, *FColourTTY, *FSession, FClientPrefs, notifier, status, changed, guarded});
    FCapture = std::make_unique<TCaptureControl>(*this, *FSession, changed, status);
    FHighlights = std::make_unique<THighlightMarks>(
        THighlightMarks::TParts{*this, *FColourTTY, *FSession, FHostInfo, FUserFilter,
                                FClientPrefs.IniFileName(), FPlatform.StartProgram, notifier, status});
    FHosts = std::make_unique<THostsControl>(
        THostsControl::TParts{*this, FHostInfo, [this](const std::string &name) { PickHost(name); },
                              [this] { return FInput->CanConnect(); },
                              [this] { FMenus->FillHosts(FHostInfo.HostMenuNames()); }, status, guarded});
    FMenus = std::make_unique<TMainMenus>(*this, *FColourTTY);
    FMenus->OnCommand = [this](TMenuItem item) { Guarded([&] { Command(item); }); };
    FMenus->OnPickHost = [this](const std::string &name) { Guarded([&] { PickHost(name); }); };
    FMenus->OnProtocol = [this](TTransferProtocol p) { FTransferProtocol = p; };
    FMenus->OnHighlightSelection = [this] { Guarded([this] { FHighlights->HighlightSelection(); }); };
    ConnectTerminal();

    FBeeper = std::make_unique<TQtBeeper>();
    OffLineEdit().SetBeeper(FBeeper.get());
    FHelp = std::make_unique<THelpSystem>();
    FHelp->InstallF1(*qApp);

    // Preferences.
    FClientPrefs.ScreenLines = qBound(5, FClientPrefs.ScreenLines, 100);
    TColorTTYOptions o = FColourTTY->Options();
    if (FClientPrefs.DisableColours) o &= TColorTTYOptions(~OptionBit(coColors));
    if (FClientPrefs.DisableFlashing) o &= TColorTTYOptions(~OptionBit(coFlashing));
    FColourTTY->SetOptions(o);
    const QFont font = PreferredFont(FClientPrefs);
    FColourTTY->setFont(font);
    UseTerminalFont(*FColourTTY, FClientPrefs);
    // The debug pane is made in debug mode only (a setting read at start); without it the
    // engines' notes go nowhere.
    if (FClientPrefs.Debug) {
        FDebugTTY = new TColorTTYWidget(central);
        FDebugTTY->setObjectName(QStringLiteral("DebugTTY"));
        layout->addWidget(FDebugTTY);
        FDebugTTY->Tty().SetBufferSize(ScrollbackRows, 80);
        FDebugTTY->SetOptions(OptionBit(coAutoTracking) | OptionBit(coCheckBreak) |
                              OptionBit(coFulltimeCursor) | OptionBit(coLazyWrite) | OptionBit(coColors));
        FDebugTTY->setFont(font);
        FDebugTTY->setFixedHeight(3 * FDebugTTY->CharHeight());
        FDebugTTY->Speech().SetAnnounceOutput(false);
        FDebugTTY->setAccessibleName(tr("Debug pane"));
        FDebugTTY->Write("winMarlet ready. Debug mode engaged.\r\n");
    }
    FPalette = std::make_unique<TPaletteControl>(
        *this, *FColourTTY, *FSession, FClientPrefs.IniFileName(),
        [this](int c, bool fg) { Guarded([&] { FInput->TypeColour(c, fg); }); }, changed);
    ApplySpeech(*FColourTTY, FClientPrefs);

    tty.MoveCursor(0, tty.Rows - FClientPrefs.ScreenLines);
    ApplyHistoryLines();
    tty.Viewport().SetLiveRows(FClientPrefs.LiveRows);

    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        Guarded([this, s] { FPalette->ApplicationActive(s == Qt::ApplicationActive); });
    });
    FMenus->ShowRecent(FHostInfo);
    FMenus->FillHosts(FHostInfo.HostMenuNames());
    CreateTransfers();
    UpdateMenus();

    // After the window has come up: what was wrong with a link it was given, then the attempt.
    if (const std::string why = FHostInfo.CommandLineError(); !why.empty())
        QMetaObject::invokeMethod(
            this,
            [this, why] {
                Guarded([&] {
                    ShowPlainMessage(this, QMessageBox::Warning,
                                     qApp->property("applicationTitle").toString(),
                                     tr("The link on the command line was not used.") + "\n\n" +
                                         QString::fromStdString(why));
                });
            },
            Qt::QueuedConnection);
    if (FClientPrefs.ConnectOnStartup || FCommandLineHost)
        QMetaObject::invokeMethod(
            this, [this] { Guarded([this] { ConnectCommand(); }); }, Qt::QueuedConnection);
}

TTTYForm::~TTTYForm()
{
    if (FHelp) FHelp->Quit();
    // Where the user left the split's handle: written only when it moved.
    if (const int live = FColourTTY->Tty().Viewport().LiveRows(); live != FClientPrefs.LiveRows) {
        FClientPrefs.LiveRows = live;
        FClientPrefs.Save();
    }
    FPalette.reset(); // its settings are kept
    FSession.reset(); // before the terminal it writes to
}

QAction *TTTYForm::Item(TMenuItem item) const
{
    return FMenus->Item(item);
}

QMenu *TTTYForm::HostsMenu() const
{
    return FMenus->HostsMenu();
}

TColourPalette *TTTYForm::ColourPalette() const
{
    return FPalette ? FPalette->Palette() : nullptr;
}

void TTTYForm::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (!FShown) {
        FShown = true;
        Guarded([this] {
            SizeTerminal(FClientPrefs.ScreenLines, true);
            TColorTTY &tty = FColourTTY->Tty();
            tty.ScrollTo(0, tty.Rows - FClientPrefs.ScreenLines);
            FColourTTY->setFocus();
        });
    }
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
    FSession->SetScreenSize(uint8_t(tty.Cols), uint8_t(tty.VisibleRows));
}

void TTTYForm::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    if (!FShown) return;
    Guarded([this] {
        if (QLayout *l = centralWidget()->layout()) l->activate();
        FColourTTY->RecalcLayout();
        SizeTerminal(FColourTTY->Tty().VisibleRows, false);
        HostScreenResized();
        const TColorTTY &tty = FColourTTY->Tty();
        SetStatus(QStringLiteral(" Terminal resized to %1 by %2.").arg(tty.Cols).arg(tty.VisibleRows));
    });
}

void TTTYForm::closeEvent(QCloseEvent *e)
{
    bool may = true;
    Guarded([&] { may = !IsConnected() || ConfirmDisconnect(); });
    if (may)
        e->accept();
    else
        e->ignore();
}

QString TTTYForm::StatusText() const
{
    return FStatusPanel->text();
}

void TTTYForm::SetStatus(const QString &text)
{
    FStatusPanel->setText(text);
}

bool TTTYForm::event(QEvent *e)
{
    if (e->type() == QEvent::StatusTip) {
        // A menu item's hint, and the usual words when it is left (not over an attempt's).
        const QString hint = static_cast<QStatusTipEvent *>(e)->tip();
        if (!hint.isEmpty())
            SetStatus(hint);
        else if (!FInput->CanAbort())
            SetStatus(QStringLiteral(" Press F1 for help."));
        return true;
    }
    return QMainWindow::event(e);
}

// --- What the session reports.

void TTTYForm::SessionStateChanged(TSessionState state)
{
    if (state == TSessionState::Connected) {
        FHosts->Connected(FSession->Host().Name);
        FMessages->Load();
    }
    UpdateMenus();
}

void TTTYForm::SessionStatus(const std::string &text)
{
    SetStatus(Utf8(text));
    FColourTTY->Speech().Say(Utf8(text).trimmed(), true);
}

void TTTYForm::SessionOutput(const char *)
{
    if (FFindBar) FFindBar->TerminalChanged();
}

void TTTYForm::SessionDebug(const std::string &text)
{
    if (FDebugTTY) FDebugTTY->Write(text.c_str());
}

void TTTYForm::SessionError(const std::string &message)
{
    ShowPlainMessage(this, QMessageBox::Critical, qApp->property("applicationTitle").toString(),
                     QString::fromLocal8Bit(message.data(), qsizetype(message.size())));
}

void TTTYForm::SessionEndsProgram()
{
    if (FClosing) return;
    FClosing = true;
    close();
}

void TTTYForm::SessionAskTrust(const TTrustQuestion &q, std::function<void(bool accept)> answer)
{
    AskTrustDialog(this, q, std::move(answer));
}

void TTTYForm::SessionAskPassword(const std::string &user, const std::string &host,
                                  std::function<void(std::optional<std::string> password)> answer)
{
    AskPasswordDialog(this, user, host, std::move(answer));
}

// --- Faults.

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
    // Shown from the event loop, never in the middle of a handler.
    QPointer<TTTYForm> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, e] {
            if (!self) return;
            QString message;
            try {
                std::rethrow_exception(e);
            } catch (const std::exception &x) {
                message = QString::fromLocal8Bit(x.what());
            } catch (...) {
                message = QStringLiteral("Unknown error.");
            }
            ShowPlainMessage(self, QMessageBox::Critical, qApp->property("applicationTitle").toString(),
                             message);
        },
        Qt::QueuedConnection);
}

QString TTTYForm::StatusIndicator() const
{
    return FStatusLine->Indicator();
}

void TTTYForm::ApplyHistoryLines()
{
    TColorTTY &tty = FColourTTY->Tty();
    if (tty.Screen().HistoryStore().Limit() == FClientPrefs.HistoryLines) return;
    tty.SetHistoryLimit(FClientPrefs.HistoryLines);
    if (FFindBar) FFindBar->TerminalChanged();
}
