// The main window's connection commands: connect, abort, disconnect, the recent hosts, the
// Hosts submenu and the second instance.
#include "shell/Ttywin.h"

#include "config/SetHost.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>

namespace {

// Host names are UTF-8 in the settings file.
QString Text(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// A host name shown in a menu: its own '&' must not become an access key.
QString MenuText(const std::string &s)
{
    return Text(s).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

bool MayConnect(TSessionState s)
{
    return s == TSessionState::Idle || s == TSessionState::WaitingToReconnect;
}

} // namespace

void TTTYForm::FileConnectItemClick()
{
    if (!MayConnect(FSession->State())) return;
    FHostInfo.PromoteCurrentHost();
    UpdateLastMenu();
    FSession->Connect(FHostInfo.HostToConnect());
}

THostSettings TTTYForm::SessionReconnectHost(const THostSettings &)
{
    return FHostInfo.HostToConnect();
}

void TTTYForm::FileAbortItemClick()
{
    FSession->Abort();
}

void TTTYForm::FileDisconnectItemClick()
{
    const auto answer = QMessageBox::warning(this, qApp->property("applicationTitle").toString(),
                                             QStringLiteral("Are you sure you want to disconnect?"),
                                             QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::Ok) FSession->Disconnect();
}

void TTTYForm::UpdateLastMenu()
{
    for (int i = 1; i <= 5; ++i) {
        QAction *a = Item(RecentItem(i));
        const std::string &name = FHostInfo.Last(i);
        a->setText(QStringLiteral("&%1 %2").arg(i).arg(MenuText(name)));
        a->setVisible(!name.empty());
    }
    Item(TMenuItem::FileLastDivider)->setVisible(!FHostInfo.Last(1).empty());
}

void TTTYForm::FillHostsMenu()
{
    const std::vector<std::string> names = FHostInfo.HostMenuNames();
    if (names.empty()) return;
    FHostsMenu->clear();
    for (const std::string &name : names) {
        QAction *a = FHostsMenu->addAction(MenuText(name));
        a->setStatusTip(QStringLiteral(" Connect to the named BBS."));
        connect(a, &QAction::triggered, this, [this, name] { Guarded([&] { PickHost(name); }); });
    }
}

void TTTYForm::FileLastClick(int index)
{
    // The name as stored, not cut from the caption: a long name must not pick another host.
    const std::string name = FHostInfo.Last(index);
    PickHost(name);
}

void TTTYForm::HostsMenuClick(const QString &name)
{
    const QByteArray bytes = name.toUtf8();
    PickHost(std::string(bytes.constData(), size_t(bytes.size())));
}

void TTTYForm::PickHost(const std::string &name)
{
    if (name.empty()) return;
    if (MayConnect(FSession->State())) {
        if (name != FHostInfo.BBSName()) FHostInfo.SelectHost(name);
        FileConnectItemClick();
    } else {
        StartSecondInstance(name);
    }
}

void TTTYForm::StartSecondInstance(const std::string &name)
{
    // One argument, never through a shell: a name with blanks stays one host name.
    LaunchHelper(FPlatform.ProgramPath, {QStringLiteral("/c=") + Text(name)});
}
