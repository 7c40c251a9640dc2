// The main window's connection commands: connect, disconnect, a host picked from the
// recent hosts, the Hosts submenu or the Directory, and the second instance.
#include "shell/Ttywin.h"

#include "config/SetHost.h"
#include "shell/MainMenus.h"

#include <QApplication>
#include <QMessageBox>

void TTTYForm::ConnectCommand()
{
    if (!FInput->CanConnect()) return;
    FHostInfo.PromoteCurrentHost();
    FMenus->ShowRecent(FHostInfo);
    FSession->Connect(FHostInfo.HostToConnect());
}

THostSettings TTTYForm::SessionReconnectHost(const THostSettings &)
{
    return FHostInfo.HostToConnect();
}

bool TTTYForm::ConfirmDisconnect()
{
    const auto answer = QMessageBox::warning(this, qApp->property("applicationTitle").toString(),
                                             QStringLiteral("Are you sure you want to disconnect?"),
                                             QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::Ok) FSession->Disconnect();
    return !IsConnected();
}

void TTTYForm::PickHost(const std::string &name)
{
    if (name.empty()) return;
    if (FInput->CanConnect()) {
        if (name != FHostInfo.BBSName()) FHostInfo.SelectHost(name);
        ConnectCommand();
        return;
    }
    // One argument, never through a shell: a name with blanks stays one host name.
    LaunchHelper(FPlatform.ProgramPath,
                 {QStringLiteral("/c=") + QString::fromUtf8(name.data(), qsizetype(name.size()))});
}
