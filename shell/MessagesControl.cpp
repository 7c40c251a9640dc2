#include "shell/MessagesControl.h"

#include "config/MessageLog.h"
#include "config/Prefernc.h"
#include "session/Session.h"
#include "shell/MessageHistory.h"
#include "shell/Notifier.h"
#include "shell/PlainText.h"
#include "terminal/Cp437.h"
#include "terminal/SessionCapture.h"
#include "terminal/qt/ColorTTYWidget.h"
#include "terminal/qt/TerminalSpeech.h"

#include <QApplication>
#include <QMainWindow>

TMessagesControl::TMessagesControl(TParts parts)
    : FParts(std::move(parts)),
      FLog(std::make_unique<TMessageLog>(MessageLogFileName(FParts.Prefs.IniFileName())))
{
}

TMessagesControl::~TMessagesControl() = default;

void TMessagesControl::Arrived(const std::string &author, const std::string &text)
{
    const QString who = QString::fromStdString(TerminalPlainText(author));
    const QString body = QString::fromStdString(TerminalPlainText(text)).trimmed();
    const QDateTime now = QDateTime::currentDateTime();
    Made().Add(now, who, body);
    // Kept for the next session with this host; a log that cannot be written costs only that.
    if (!FHost.empty()) FLog->Append(FHost, {now.toSecsSinceEpoch(), who.toStdString(), body.toStdString()});
    if (FParts.Prefs.AnnounceOutput || FParts.Prefs.AnnounceOnlyMessages)
        FParts.Tty.Speech().SayMessage(who, body);
    if (!FParts.Prefs.MessageNotices || FParts.Window.isActiveWindow()) return;
    TNotifier *notifier = FParts.Notifier();
    if (!notifier) return;
    const QString title =
        who.isEmpty() ? QObject::tr("Express message") : QObject::tr("Message from %1").arg(who);
    notifier->Notify(title, body.section(QLatin1Char('\n'), 0, 0));
    QApplication::alert(&FParts.Window);
}

void TMessagesControl::Load()
{
    const std::string &host = FParts.Session.Host().Name;
    if (!FPane || host == FHost) return;
    FHost = host;
    FPane->Clear();
    for (const TLoggedMessage &m : FLog->Load(host))
        FPane->AddRead(QDateTime::fromSecsSinceEpoch(m.When), QString::fromStdString(m.Peer),
                       QString::fromStdString(m.Text), m.Outgoing);
    FPane->OpenThread(QString());
}

TMessageHistory &TMessagesControl::Made()
{
    if (!FPane) {
        FPane = new TMessageHistory(&FParts.Window);
        FPane->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
        FPane->hide();
        FParts.Window.addDockWidget(Qt::RightDockWidgetArea, FPane);
        QObject::connect(FPane, &TMessageHistory::ReplyWanted, &FParts.Window,
                         [this](const QString &author) { FParts.Guarded([&] { Reply(author); }); });
        QObject::connect(FPane, &TMessageHistory::UnreadChanged, &FParts.Window,
                         [this] { FParts.Changed(); });
        FHost.clear();
        Load();
    }
    return *FPane;
}

bool TMessagesControl::Reply(const QString &author)
{
    // The BBS's express-message command asks for the recipient in a prompt: the name and
    // Enter typed ahead answer it, and the message's own edit opens for the user.
    TSession &s = FParts.Session;
    QString refusal;
    if (!s.IsConnected())
        refusal =
            QObject::tr(" Not connected: connect to %1 to reply.").arg(QString::fromStdString(s.Host().Name));
    else if (s.Host().Mode == hmTelnet)
        refusal = QObject::tr(" This host has no express messages.");
    else if (s.InEditMode())
        refusal = QObject::tr(" Finish the text you are writing first.");
    if (!refusal.isEmpty()) {
        FParts.Status(refusal);
        FParts.Tty.Speech().Say(refusal.trimmed(), true);
        return false;
    }
    s.KeyPress('x');
    for (char c : cp437::FromUtf8(author.toStdString()))
        s.KeyPress(uint8_t(c));
    s.KeyPress('\r');
    FParts.Status(QObject::tr(" Writing to %1.").arg(author));
    FParts.Tty.setFocus();
    return true;
}

void TMessagesControl::Toggle()
{
    Made();
    QMainWindow &w = FParts.Window;
    const bool show = FPane->isHidden();
    // The pane gets room of its own: the terminal keeps its columns.
    const int room = 360;
    if (!w.isMaximized() && !w.isFullScreen() && !FPane->isFloating())
        w.resize(w.width() + (show ? room : -FPane->width()), w.height());
    FPane->setVisible(show);
    if (show) w.resizeDocks({FPane}, {room}, Qt::Horizontal);
    FParts.Changed();
}
