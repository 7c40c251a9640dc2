// The main window's connection: connect, abort, receive, disconnect, the recent hosts, the
// Hosts submenu and the second instance.
#include "shell/Ttywin.h"

#include "colouredit/OffLine.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "shell/Conlight.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>

namespace {

QString Text(const std::string &s)
{
    return QString::fromLocal8Bit(s.data(), qsizetype(s.size()));
}

// A host name shown in a menu: its own '&' must not become an access key.
QString MenuText(const std::string &s)
{
    return Text(s).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

void TTTYForm::GiveSocketAddress()
{
    FClientSocket.SetAddress(HostInfo.Address.substr(0, 255));
    FClientSocket.SetPort(HostInfo.Port);
}

void TTTYForm::FileConnectItemClick()
{
    UserConnecting();
    ShowItem("FileConnectItem", false, false);
    ShowItem("FileAbortItem", true, true);
    HostInfo.PromoteCurrentHost();
    UpdateLastMenu();
    SetStatus(QStringLiteral(" Connecting to %1.").arg(Text(HostInfo.Address)));
    FStateMachine = HostInfo.Mode == hmTelnet ? &FTelnetStateMachine : FCLientMachine.get();
    if (HostInfo.Mode == hmISCA) {
        FWhoList->Clear();
        for (const std::string &name : UserFilter.Friends.Items())
            FWhoList->Add(name);
    }
    FClientSocket.Open(&TStreamSocket::Class);
}

void TTTYForm::ClientSocketInfo(TSockInfo code)
{
    if (code == siLookUp)
        SetStatus(QStringLiteral(" Looking up %1.").arg(Text(HostInfo.Address)));
    else if (code == siConnect)
        SetStatus(QStringLiteral(" Connecting to %1.").arg(Text(HostInfo.Address)));
}

void TTTYForm::ClientSocketConnect(TSocketBase *socket)
{
    if (socket->LastError() != 0) throw ESockError(SockErrorText(socket->LastError()));
    Connected = true;
    FConnectionLight->SetConnected(true);
    ShowItem("FileAbortItem", false, false);
    ShowItem("FileDisconnectItem", true, true);
    SetStatus(QStringLiteral(" Connected to %1.").arg(Text(HostInfo.Address)));
    SetApplicationTitle(Text(HostInfo.BBSName));
    setWindowTitle(QStringLiteral("%1 \"%2\"").arg(QLatin1String(FormCaption), Text(HostInfo.BBSName)));

    // The greeting and the window size go out before anything the engine says.
    uint8_t hello[2] = {0xFF, 0};
    if (HostInfo.Mode == hmORVO) hello[1] = client::HELLO;
    if (HostInfo.Mode == hmISCA) hello[1] = client::ISCA_HELLO;
    if (hello[1]) FClientSocket.SendAll(hello, 2);
    const TColorTTY &tty = FColourTTY->Tty();
    const uint8_t naws[9] = {0xFF, 0xFA, 0x1F, 0x00, uint8_t(tty.Cols), 0x00, uint8_t(tty.VisibleRows),
                             0xFF, 0xF0};
    FClientSocket.SendAll(naws, sizeof naws);

    SetEditMenuConnected(true);
    FStateMachine->Reset();
    ReadCount = 0;
    FReconnecting = false;
    FReconnectOffer = false;
    FReconnect->Connected(Now());
    SyncIndicator();
}

void TTTYForm::ClientSocketRead(TSocketBase *socket)
{
    const int got = socket->Recv(ReadBuffer.get() + ReadCount, ReadBufferSize - 2 - ReadCount);
    if (got > 0) ReadCount = uint16_t(ReadCount + got);
    ReadBuffer[ReadCount] = 0;
    if (FCLientMachine->EditMode() && ReadCount == 1) {
        // A lone byte in an edit is kept for the next read: the BBS may be echoing.
        if (ReadBuffer[0] == 0x08) {
            FColourTTY->Tty().WriteChar(char(0x08));
            return;
        }
        if (ReadBuffer[0] == '*') {
            SetStatus(QStringLiteral("Express message received."));
            return;
        }
    }
    if (ReadCount == 0) return;
    const uint16_t count = ReadCount;
    ReadCount = 0;
    // Captured before the engine, which writes into the buffer.
    if (FCapture && !FCapture->Received(ReadBuffer.get(), count)) CaptureFailed();
    FStateMachine->ProcessInput(ReadBuffer.get(), count);
}

void TTTYForm::FileAbortItemClick()
{
    try {
        FClientSocket.Close();
    } catch (...) {
    }
    StopReconnect();
    ShowItem("FileAbortItem", false, false);
    ShowItem("FileConnectItem", true, true);
    SetStatus(QStringLiteral(" Aborted connection to %1.").arg(Text(HostInfo.Address)));
}

void TTTYForm::FileDisconnectItemClick()
{
    const auto answer = QMessageBox::warning(this, qApp->property("applicationTitle").toString(),
                                             QStringLiteral("Are you sure you want to disconnect?"),
                                             QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer != QMessageBox::Ok) return;
    StopReconnect();
    Item(QStringLiteral("FileDisconnectItem"))->setEnabled(false);
    DisconnectHandling();
}

void TTTYForm::ClientSocketDisconnect()
{
    // The BBS ended it (the user's Disconnect runs the handling directly).
    const bool wasConnected = Connected;
    DisconnectHandling();
    if (wasConnected) ConnectionDropped();
}

void TTTYForm::DisconnectHandling()
{
    try {
        FClientSocket.Close();
    } catch (...) {
    }
    Connected = false;
    FConnectionLight->SetConnected(false);
    ShowItem("FileDisconnectItem", false, false);
    ShowItem("FileAbortItem", false, false);
    ShowItem("FileConnectItem", true, true);
    SetApplicationTitle(QString::fromLatin1(IdleApplicationTitle));
    setWindowTitle(QString::fromLatin1(FormCaption));
    SetStatus(QStringLiteral(" Disconnected from %1.").arg(Text(HostInfo.Address)));
    if (HostInfo.Mode != hmTelnet) SetEditMenuConnected(false);
    FStateMachine->Reset();
    ReadCount = 0;
    if (ClientPrefs.ExitOnDisconnect && !Closing) {
        // Through the event loop: this may run inside a socket handler.
        Closing = true;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void TTTYForm::UpdateLastMenu()
{
    for (int i = 1; i <= 5; ++i) {
        QAction *a = Item(QStringLiteral("FileLast%1Item").arg(i));
        const std::string &name = HostInfo.Last(i);
        a->setText(QStringLiteral("&%1 %2").arg(i).arg(MenuText(name)));
        a->setVisible(!name.empty());
    }
    Item(QStringLiteral("FileLastDivider"))->setVisible(Item(QStringLiteral("FileLast1Item"))->isVisible());
}

void TTTYForm::FillHostsMenu()
{
    const std::vector<std::string> names = HostInfo.HostMenuNames();
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
    const std::string name = HostInfo.Last(index);
    PickHost(name);
}

void TTTYForm::HostsMenuClick(const QString &name)
{
    const QByteArray bytes = name.toLocal8Bit();
    PickHost(std::string(bytes.constData(), size_t(bytes.size())));
}

void TTTYForm::PickHost(const std::string &name)
{
    if (name.empty()) return;
    if (Item(QStringLiteral("FileConnectItem"))->isEnabled()) {
        if (name != HostInfo.BBSName) {
            HostInfo.SelectHost(name);
            GiveSocketAddress();
        }
        FileConnectItemClick();
    } else {
        StartSecondInstance(name);
    }
}

void TTTYForm::StartSecondInstance(const std::string &name)
{
    // One argument, never through a shell: a name with blanks stays one host name.
    LaunchHelper(Platform.ProgramPath, {QStringLiteral("/c=") + Text(name)});
}

void TTTYForm::SetEditMenuConnected(bool connected)
{
    ShowItem("EditCutItem", connected, Item(QStringLiteral("EditCutItem"))->isEnabled());
    Item(QStringLiteral("EditCopyItem"))
        ->setShortcut(QKeySequence(connected ? Qt::CTRL | Qt::Key_C : Qt::CTRL | Qt::Key_Insert));
    Item(QStringLiteral("EditPasteItem"))
        ->setShortcut(QKeySequence(connected ? Qt::CTRL | Qt::Key_V : Qt::SHIFT | Qt::Key_Insert));
    Item(QStringLiteral("EditClearItem"))->setVisible(connected);
    Item(QStringLiteral("EditSelectAllItem"))->setVisible(connected);
    // The spare shortcuts work only while the visible items carry other keys (two items on one
    // key would both be dead).
    Item(QStringLiteral("EditXCopyItem"))->setEnabled(connected);
    Item(QStringLiteral("EditXPasteItem"))->setEnabled(connected);
    const bool colours = connected && HostInfo.Mode == hmORVO;
    if (!connected || colours) {
        Item(QStringLiteral("EditDivider"))->setVisible(colours);
        Item(QStringLiteral("EditColoursItem"))->setVisible(colours);
    }
}
