#include "shell/Notifier.h"

#include "shell/PlainText.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

const char Service[] = "org.freedesktop.Notifications";

class TDBusNotifier : public TNotifier
{
public:
    void Notify(const QString &title, const QString &body) override
    {
        // Sent without waiting for the answer: a slow daemon must not stall the terminal.
        QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(Service),
                                                           QStringLiteral("/org/freedesktop/Notifications"),
                                                           QLatin1String(Service), QStringLiteral("Notify"));
        call << QCoreApplication::applicationName() << 0u << QString() << title << NoticeBody(body)
             << QStringList() << QVariantMap() << -1;
        QDBusConnection::sessionBus().send(call);
    }
};

class TTrayNotifier : public TNotifier
{
public:
    explicit TTrayNotifier(QWidget *window) : FIcon(window->windowIcon(), window) {}
    void Notify(const QString &title, const QString &body) override
    {
        // The balloon's title label would take a tag in a sender's name for markup.
        QString plainTitle = title;
        plainTitle.replace(QLatin1Char('<'), QChar(0x2039)).replace(QLatin1Char('>'), QChar(0x203A));
        FIcon.show();
        FIcon.showMessage(plainTitle, body, QSystemTrayIcon::Information);
    }

private:
    QSystemTrayIcon FIcon;
};

class TNullNotifier : public TNotifier
{
public:
    void Notify(const QString &, const QString &) override {}
};

} // namespace

std::unique_ptr<TNotifier> MakeDesktopNotifier(QWidget *window)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(QLatin1String(Service)))
        return std::make_unique<TDBusNotifier>();
    if (QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages())
        return std::make_unique<TTrayNotifier>(window);
    return std::make_unique<TNullNotifier>();
}
