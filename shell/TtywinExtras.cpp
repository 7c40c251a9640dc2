// The main window's extras: find in the scrollback and the history, session capture, the
// reconnect indicator, express-message notices and the Messages pane. The find bar, the pane
// and the notices are made when first used: a window that never needs them does not pay.
#include "shell/Ttywin.h"

#include "config/MessageLog.h"
#include "config/Prefernc.h"
#include "session/ReconnectPolicy.h"
#include "shell/ALStatusBar.h"
#include "shell/FindBar.h"
#include "shell/HelpSystem.h"
#include "shell/MessageHistory.h"
#include "shell/Notifier.h"
#include "shell/PlainText.h"
#include "terminal/Cp437.h"
#include "terminal/qt/ColorTTYWidget.h"
#include "terminal/qt/TerminalSpeech.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>

namespace {

QString Title()
{
    return qApp->property("applicationTitle").toString();
}

} // namespace

void TTTYForm::CreateExtras()
{
    FReconnectTick = new QTimer(this);
    FReconnectTick->setInterval(1000);
    connect(FReconnectTick, &QTimer::timeout, this, [this] { SyncIndicator(); });
}

QString TTTYForm::StatusIndicator() const
{
    return FStatusLine->Indicator();
}

// --- Find.

void TTTYForm::EditFindItemClick()
{
    if (!FFindBar) FFindBar = new TFindBar(FColourTTY);
    FFindBar->Open();
}

// --- The history.

void TTTYForm::EditClearHistoryItemClick()
{
    TColorTTY &tty = FColourTTY->Tty();
    if (tty.Screen().HistoryRows() == 0) return;
    const int n = tty.Screen().HistoryRows();
    const QString question =
        n == 1 ? tr("Forget the line of history kept above the scrollback?")
               : tr("Forget the %1 lines of history kept above the scrollback?").arg(QLocale().toString(n));
    QMessageBox box(QMessageBox::Question, Title(), question, QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    SetHelpTopic(&box, THelpTopic::History);
    if (box.exec() != QMessageBox::Ok) return;
    tty.ClearHistory();
    if (FFindBar) FFindBar->TerminalChanged();
}

void TTTYForm::ApplyHistoryLines()
{
    TColorTTY &tty = FColourTTY->Tty();
    if (tty.Screen().HistoryStore().Limit() == FClientPrefs.HistoryLines) return;
    tty.SetHistoryLimit(FClientPrefs.HistoryLines);
    if (FFindBar) FFindBar->TerminalChanged();
}

// --- Capture.

void TTTYForm::FileCaptureItemClick()
{
    if (IsCapturing()) {
        StopCapture();
        return;
    }
    UpdateMenus(); // the click toggled the check mark; the capture decides it
    const QString raw = tr("Raw received bytes, for winmarlet-replay --raw (*.raw)");
    QString filter;
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Capture to File"), QStringLiteral("session.txt"),
                                     tr("Plain text (*.txt)") + QStringLiteral(";;") + raw, &filter);
    if (!path.isEmpty()) StartCapture(path, filter == raw ? cfRaw : cfPlainText);
}

bool TTTYForm::StartCapture(const QString &path, TCaptureForm form)
{
    if (IsCapturing()) StopCapture();
    auto sink = std::make_unique<TFileCaptureSink>(path.toLocal8Bit().toStdString());
    if (!sink->IsOpen()) {
        UpdateMenus();
        ShowPlainMessage(this, QMessageBox::Warning, Title(),
                         tr("Cannot capture to %1: %2.").arg(path, QString::fromLocal8Bit(sink->Error())));
        return false;
    }
    FSession->StartCapture(std::make_unique<TSessionCapture>(std::move(sink), form));
    FCapturePath = path;
    UpdateMenus();
    SetStatus(QStringLiteral(" Capturing to %1.").arg(path));
    return true;
}

void TTTYForm::StopCapture()
{
    const std::unique_ptr<TSessionCapture> capture = FSession->TakeCapture();
    if (!capture) return;
    const bool ok = capture->Finish();
    const QString why = QString::fromLocal8Bit(capture->Error());
    UpdateMenus();
    if (ok)
        SetStatus(QStringLiteral(" Capture saved to %1.").arg(FCapturePath));
    else
        CaptureFailedMessage(why);
}

void TTTYForm::SessionCaptureStopped(const std::string &why)
{
    // Called while output is being handled: the user hears of it from the event loop.
    UpdateMenus();
    CaptureFailedMessage(QString::fromLocal8Bit(why));
}

void TTTYForm::CaptureFailedMessage(const QString &why)
{
    SetStatus(QStringLiteral(" Capture stopped: %1.").arg(why));
    const QString text = tr("Capture to %1 stopped: %2.").arg(FCapturePath, why);
    QPointer<TTTYForm> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, text] {
            if (self) ShowPlainMessage(self, QMessageBox::Warning, Title(), text);
        },
        Qt::QueuedConnection);
}

// --- The status line's indicator.

void TTTYForm::SyncIndicator()
{
    // The panel keeps its own messages (" Disconnected from ..."); the reconnect and the
    // capture speak through the words at its right end.
    const TSession &s = *FSession;
    QStringList words;
    bool alert = false;
    if (s.ReconnectWaiting()) {
        words << tr("Reconnecting in %1 s (any key stops)").arg((s.ReconnectDelay() + 999) / 1000);
        alert = true;
    } else if (s.ReconnectOffered() && !s.IsConnected()) {
        // A BBS that ended the session in order is no alarm; a broken line is.
        alert = s.LastClose() == TCloseKind::Lost;
        words << (alert ? tr("Connection lost: Enter reconnects")
                        : tr("Closed by the BBS: Enter reconnects"));
    } else if (!s.ReconnectNote().empty() && !s.IsConnected()) {
        words << QString::fromStdString(s.ReconnectNote());
        alert = true;
    }
    if (s.Capturing()) {
        words << tr("Capturing");
        alert = true;
    }
    const QString indicator = words.join(QStringLiteral(" | "));
    FStatusLine->SetIndicator(indicator, alert);
    // Said when it changes, not with every second of a countdown.
    QString gist = indicator;
    // by hand: a regular expression here was compiled anew at every key typed
    gist.removeIf([](QChar c) { return c >= u'0' && c <= u'9'; });
    if (gist != FSaidIndicator) {
        FSaidIndicator = gist;
        FColourTTY->Speech().Say(indicator, true);
    }
    if (s.ReconnectWaiting())
        FReconnectTick->start();
    else
        FReconnectTick->stop();
}

// --- Express messages.

void TTTYForm::SessionExpressMessage(const std::string &author, const std::string &text)
{
    Guarded([&] { ExpressMessageArrived(author, text); });
}

void TTTYForm::ExpressMessageArrived(const std::string &author, const std::string &text)
{
    const QString who = QString::fromStdString(TerminalPlainText(author));
    const QString body = QString::fromStdString(TerminalPlainText(text)).trimmed();
    const QDateTime now = QDateTime::currentDateTime();
    Messages().Add(now, who, body);
    // Kept for the next session with this host; a log that cannot be written costs only that.
    if (!FMessagesHost.empty())
        FMessageLog->Append(FMessagesHost, {now.toSecsSinceEpoch(), who.toStdString(), body.toStdString()});
    if (FClientPrefs.AnnounceOutput || FClientPrefs.AnnounceOnlyMessages)
        FColourTTY->Speech().SayMessage(who, body);
    if (!FClientPrefs.MessageNotices || isActiveWindow()) return;
    if (!FNotifier && FPlatform.MakeNotifier) FNotifier = FPlatform.MakeNotifier(this);
    if (!FNotifier) return;
    const QString title = who.isEmpty() ? tr("Express message") : tr("Message from %1").arg(who);
    FNotifier->Notify(title, body.section(QLatin1Char('\n'), 0, 0));
    QApplication::alert(this);
}

void TTTYForm::LoadMessageHistory()
{
    const std::string &host = FSession->Host().Name;
    if (!FMessageHistory || host == FMessagesHost) return;
    FMessagesHost = host;
    FMessageHistory->Clear();
    for (const TLoggedMessage &m : FMessageLog->Load(host))
        FMessageHistory->AddRead(QDateTime::fromSecsSinceEpoch(m.When), QString::fromStdString(m.Peer),
                                 QString::fromStdString(m.Text), m.Outgoing);
    FMessageHistory->OpenThread(QString());
}

TMessageHistory &TTTYForm::Messages()
{
    if (!FMessageHistory) {
        FMessageHistory = new TMessageHistory(this);
        FMessageHistory->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
        FMessageHistory->hide();
        addDockWidget(Qt::RightDockWidgetArea, FMessageHistory);
        connect(FMessageHistory, &TMessageHistory::ReplyWanted, this,
                [this](const QString &author) { Guarded([&] { ReplyToMessage(author); }); });
        connect(FMessageHistory, &TMessageHistory::UnreadChanged, this, [this] { UpdateMenus(); });
        FMessagesHost.clear();
        LoadMessageHistory();
    }
    return *FMessageHistory;
}

bool TTTYForm::ReplyToMessage(const QString &author)
{
    // The BBS's express-message command asks for the recipient in a prompt: the name and
    // Enter typed ahead answer it, and the message's own edit opens for the user.
    const TSession &s = *FSession;
    QString refusal;
    if (!s.IsConnected())
        refusal = tr(" Not connected: connect to %1 to reply.").arg(QString::fromStdString(s.Host().Name));
    else if (s.Host().Mode == hmTelnet)
        refusal = tr(" This host has no express messages.");
    else if (s.InEditMode())
        refusal = tr(" Finish the text you are writing first.");
    if (!refusal.isEmpty()) {
        SetStatus(refusal);
        FColourTTY->Speech().Say(refusal.trimmed(), true);
        return false;
    }
    FSession->KeyPress('x');
    for (char c : cp437::FromUtf8(author.toStdString()))
        FSession->KeyPress(uint8_t(c));
    FSession->KeyPress('\r');
    SetStatus(tr(" Writing to %1.").arg(author));
    FColourTTY->setFocus();
    return true;
}

void TTTYForm::ViewMessagesItemClick()
{
    Messages();
    const bool show = FMessageHistory->isHidden();
    // The pane gets room of its own: the terminal keeps its columns.
    const int room = 360;
    if (!isMaximized() && !isFullScreen() && !FMessageHistory->isFloating())
        resize(width() + (show ? room : -FMessageHistory->width()), height());
    FMessageHistory->setVisible(show);
    if (show) resizeDocks({FMessageHistory}, {room}, Qt::Horizontal);
    UpdateMenus();
}
