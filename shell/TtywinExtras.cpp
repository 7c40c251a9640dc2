// The main window's extras: find in the scrollback, session capture, reconnecting after
// the BBS dropped the line, express-message notices and the Messages pane.
#include "shell/Ttywin.h"

#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "shell/ALStatusBar.h"
#include "shell/FindBar.h"
#include "shell/MessageHistory.h"
#include "shell/Notifier.h"
#include "shell/ReconnectPolicy.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QTimer>

namespace {

QString Title()
{
    return qApp->property("applicationTitle").toString();
}

} // namespace

void TTTYForm::CreateExtras()
{
    FFindBar = new TFindBar(FColourTTY);

    FMessageHistory = new TMessageHistory(this);
    FMessageHistory->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::RightDockWidgetArea, FMessageHistory);
    FMessageHistory->hide();
    FNotifier = Platform.MakeNotifier ? Platform.MakeNotifier(this) : nullptr;
    FCLientMachine->OnExpressMessage = [this](const std::string &author, const std::string &text) {
        Guarded([&] { ExpressMessageArrived(author, text); });
    };

    FReconnect = std::make_unique<TReconnectPolicy>(
        Platform.Random ? Platform.Random : [] { return QRandomGenerator::global()->generateDouble(); });
    FReconnectTimer = new QTimer(this);
    FReconnectTimer->setSingleShot(true);
    connect(FReconnectTimer, &QTimer::timeout, this, [this] { Guarded([this] { ReconnectNow(); }); });
    FReconnectTick = new QTimer(this);
    FReconnectTick->setInterval(1000);
    connect(FReconnectTick, &QTimer::timeout, this, [this] { SyncIndicator(); });
}

int64_t TTTYForm::Now() const
{
    if (Platform.Now) return Platform.Now();
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

QString TTTYForm::StatusIndicator() const
{
    return FStatusLine->Indicator();
}

// --- Find.

void TTTYForm::EditFindItemClick()
{
    FFindBar->Open();
}

// --- Capture.

void TTTYForm::FileCaptureItemClick()
{
    if (FCapture) {
        StopCapture();
        return;
    }
    SyncCaptureItem(); // the click toggled the check mark; the capture decides it
    const QString raw = tr("Raw received bytes, for winmarlet-replay --raw (*.raw)");
    QString filter;
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Capture to File"), QStringLiteral("session.txt"),
                                     tr("Plain text (*.txt)") + QStringLiteral(";;") + raw, &filter);
    if (!path.isEmpty()) StartCapture(path, filter == raw ? cfRaw : cfPlainText);
}

bool TTTYForm::StartCapture(const QString &path, TCaptureForm form)
{
    if (FCapture) StopCapture();
    auto sink = std::make_unique<TFileCaptureSink>(path.toLocal8Bit().toStdString());
    if (!sink->IsOpen()) {
        SyncCaptureItem();
        QMessageBox::warning(
            this, Title(), tr("Cannot capture to %1: %2.").arg(path, QString::fromLocal8Bit(sink->Error())));
        return false;
    }
    FCapture = std::make_unique<TSessionCapture>(std::move(sink), form);
    FCapturePath = path;
    SyncCaptureItem();
    SetStatus(QStringLiteral(" Capturing to %1.").arg(path));
    return true;
}

void TTTYForm::StopCapture()
{
    if (!FCapture) return;
    const bool ok = FCapture->Finish();
    const QString why = QString::fromLocal8Bit(FCapture->Error());
    FCapture.reset();
    SyncCaptureItem();
    if (ok)
        SetStatus(QStringLiteral(" Capture saved to %1.").arg(FCapturePath));
    else
        CaptureFailedMessage(why);
}

void TTTYForm::CaptureFailed()
{
    // Called while output is being handled: the capture ends, the connection goes on, and
    // the user hears of it from the event loop.
    const QString why = QString::fromLocal8Bit(FCapture->Error());
    FCapture.reset();
    SyncCaptureItem();
    CaptureFailedMessage(why);
}

void TTTYForm::CaptureFailedMessage(const QString &why)
{
    SetStatus(QStringLiteral(" Capture stopped: %1.").arg(why));
    const QString text = tr("Capture to %1 stopped: %2.").arg(FCapturePath, why);
    QPointer<TTTYForm> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, text] {
            if (self) QMessageBox::warning(self, Title(), text);
        },
        Qt::QueuedConnection);
}

void TTTYForm::SyncCaptureItem()
{
    Item(QStringLiteral("FileCaptureItem"))->setChecked(bool(FCapture));
    SyncIndicator();
}

void TTTYForm::SyncIndicator()
{
    // The panel keeps its own messages (" Disconnected from ..."); the reconnect and the
    // capture speak through the word at its right end.
    QStringList words;
    if (ReconnectWaiting())
        words << tr("Reconnecting in %1 s (any key stops)").arg((ReconnectDelay() + 999) / 1000);
    else if (FReconnectOffer && !Connected)
        words << tr("Connection lost: Enter reconnects");
    else if (!FReconnectNote.isEmpty() && !Connected)
        words << FReconnectNote;
    if (FCapture) words << tr("Capturing");
    FStatusLine->SetIndicator(words.join(QStringLiteral(" | ")));
}

// --- Reconnect.

bool TTTYForm::ReconnectWaiting() const
{
    return FReconnectTimer->isActive();
}

int TTTYForm::ReconnectDelay() const
{
    return ReconnectWaiting() ? int(std::max<int64_t>(0, FReconnectAt - Now())) : 0;
}

void TTTYForm::UserConnecting()
{
    if (FReconnecting) return; // this Connect is the reconnect itself
    FReconnectNote.clear();
    StopReconnect();
    FReconnect->UserConnect();
}

void TTTYForm::StopReconnect()
{
    FReconnectTimer->stop();
    FReconnectTick->stop();
    FReconnecting = false;
    FReconnectOffer = false;
    SyncIndicator();
}

void TTTYForm::ConnectionDropped()
{
    // Never after the user's own Disconnect (which does not come here) or when the program
    // is to end with the connection.
    if (Closing || ClientPrefs.ExitOnDisconnect) return;
    if (!FReconnect->Dropped(Now())) {
        StopReconnect();
        FReconnectNote =
            tr("Closed during login %1 times: not reconnecting").arg(TReconnectPolicy::MaxLoginCloses);
        SyncIndicator();
        return;
    }
    if (ClientPrefs.ReconnectAutomatically) {
        FReconnecting = true;
        ScheduleReconnect();
    } else {
        FReconnectOffer = true;
        SyncIndicator();
    }
}

void TTTYForm::ScheduleReconnect()
{
    const int64_t delay = FReconnect->NextDelay();
    FReconnectAt = Now() + delay;
    FReconnectTimer->start(int(delay));
    FReconnectTick->start();
    SyncIndicator();
}

void TTTYForm::ReconnectNow()
{
    FReconnectTimer->stop();
    FReconnectTick->stop();
    SyncIndicator();
    if (Connected || !Item(QStringLiteral("FileConnectItem"))->isEnabled()) return;
    FReconnecting = true;
    FileConnectItemClick();
}

bool TTTYForm::ReconnectKey(int qtKey)
{
    if (qtKey == 0 || qtKey == Qt::Key_Shift || qtKey == Qt::Key_Control || qtKey == Qt::Key_Alt ||
        qtKey == Qt::Key_Meta)
        return false;
    if (FReconnecting && !Connected) {
        const bool waiting = ReconnectWaiting();
        StopReconnect();
        if (waiting) {
            SetStatus(QStringLiteral(" Reconnecting stopped."));
            return true;
        }
        return false;
    }
    if (FReconnectOffer && !Connected) {
        FReconnectOffer = false;
        SyncIndicator();
        if (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter) {
            if (Item(QStringLiteral("FileConnectItem"))->isEnabled()) FileConnectItemClick();
            return true;
        }
    }
    return false;
}

// --- Express messages.

void TTTYForm::ExpressMessageArrived(const std::string &author, const std::string &text)
{
    const QString who = QString::fromStdString(TerminalPlainText(author));
    const QString body = QString::fromStdString(TerminalPlainText(text)).trimmed();
    FMessageHistory->Add(QDateTime::currentDateTime(), who, body);
    if (!ClientPrefs.MessageNotices || isActiveWindow() || !FNotifier) return;
    const QString title = who.isEmpty() ? tr("Express message") : tr("Message from %1").arg(who);
    FNotifier->Notify(title, body.section(QLatin1Char('\n'), 0, 0));
    QApplication::alert(this);
}

void TTTYForm::ViewMessagesItemClick()
{
    const bool show = FMessageHistory->isHidden();
    // The pane gets room of its own: the terminal keeps its columns.
    const int room = 360;
    if (!isMaximized() && !isFullScreen() && !FMessageHistory->isFloating())
        resize(width() + (show ? room : -FMessageHistory->width()), height());
    FMessageHistory->setVisible(show);
    if (show) resizeDocks({FMessageHistory}, {room}, Qt::Horizontal);
    Item(QStringLiteral("ViewMessagesItem"))->setChecked(show);
}
