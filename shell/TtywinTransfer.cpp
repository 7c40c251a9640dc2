// File transfers from the window: Receive Files, Send Files..., the protocol they use, and
// the panel over the terminal while one runs.
#include "shell/Ttywin.h"

#include "session/qt/QtChildProcess.h"
#include "session/qt/TransferPanel.h"
#include "shell/HelpSystem.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>

namespace {

const char *const ProtocolNames[] = {"&ZMODEM", "&YMODEM", "&XMODEM"};

// A successful transfer's outcome stays this long; a failed one until it is closed.
constexpr int DoneShownMs = 6000;

} // namespace

QAction *TTTYForm::CreateProtocolMenu(QMenu *file, const QString &caption)
{
    QMenu *menu = file->addMenu(caption);
    menu->setObjectName(QStringLiteral("FileTransferProtocolMenu"));
    auto *group = new QActionGroup(menu);
    for (int i = 0; i < 3; ++i) {
        QAction *a = menu->addAction(QString::fromLatin1(ProtocolNames[i]));
        a->setCheckable(true);
        a->setChecked(i == 0);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, i] { SetTransferProtocol(TTransferProtocol(i)); });
        FProtocolItems[size_t(i)] = a;
    }
    return menu->menuAction();
}

void TTTYForm::CreateTransfers()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    FSession->Transfers().SetTools(
        TQtChildProcess::Factory(),
        (downloads.isEmpty() ? QDir::homePath() : downloads).toLocal8Bit().toStdString());
    FTransferPanel = new TTransferPanel(FColourTTY);
    SetHelpTopic(FTransferPanel, THelpTopic::Transfers);
    FTransferPanel->hide();
    auto close = [this] {
        FTransferPanel->hide();
        FColourTTY->setFocus();
    };
    connect(FTransferPanel, &TTransferPanel::CancelClicked, this,
            [this] { Guarded([this] { FSession->Transfers().Cancel(); }); });
    connect(FTransferPanel, &TTransferPanel::CloseClicked, this, close);
}

void TTTYForm::SetTransferProtocol(TTransferProtocol protocol)
{
    FTransferProtocol = protocol;
    FProtocolItems[size_t(protocol)]->setChecked(true);
}

void TTTYForm::FileReceiveFilesItemClick()
{
    std::string name;
    if (FTransferProtocol == TTransferProtocol::Xmodem) {
        // XMODEM brings no name of its own.
        bool ok = false;
        const QString typed = QInputDialog::getText(this, tr("Receive Files"), tr("Save the XMODEM file as:"),
                                                    QLineEdit::Normal, QString(), &ok);
        if (!ok || typed.trimmed().isEmpty()) return;
        name = typed.trimmed().toLocal8Bit().toStdString();
    }
    std::string error;
    if (!FSession->Transfers().Receive(FTransferProtocol, name, error))
        QMessageBox::warning(this, tr("Receive Files"), QString::fromLocal8Bit(error.c_str()));
    UpdateMenus();
}

void TTTYForm::FileSendFilesItemClick()
{
    const bool one = FTransferProtocol == TTransferProtocol::Xmodem; // XMODEM sends a single file
    const QString folder = FSendFolder.isEmpty() ? QDir::homePath() : FSendFolder;
    QStringList files;
    if (FPlatform.ChooseFilesToSend) {
        files = FPlatform.ChooseFilesToSend(this, folder, !one);
    } else if (one) {
        const QString file = QFileDialog::getOpenFileName(this, tr("Send Files"), folder);
        if (!file.isEmpty()) files << file;
    } else {
        files = QFileDialog::getOpenFileNames(this, tr("Send Files"), folder);
    }
    if (files.isEmpty()) return;
    FSendFolder = QFileInfo(files.front()).absolutePath();
    std::vector<std::string> paths;
    for (const QString &f : files)
        paths.push_back(QFileInfo(f).absoluteFilePath().toLocal8Bit().toStdString());
    std::string error;
    if (!FSession->Transfers().Send(FTransferProtocol, paths, error))
        QMessageBox::warning(this, tr("Send Files"), QString::fromLocal8Bit(error.c_str()));
    UpdateMenus();
}

void TTTYForm::SessionTransferProgress(const TTransferProgress &progress)
{
    const bool first = FTransferPanel->isHidden() || FTransferPanel->Finished();
    FTransferPanel->ShowProgress(progress);
    if (!first) return;
    FTransferPanel->Show();
    FTransferPanel->setFocus(); // keys cannot reach the BBS meanwhile; Esc cancels
    UpdateMenus();
}

void TTTYForm::SessionTransferFinished(const TTransferResult &result)
{
    FTransferPanel->ShowResult(result);
    FTransferPanel->Show();
    SetStatus(QStringLiteral(" ") + QString::fromLocal8Bit(result.Message.c_str()));
    if (result.End == TTransferEnd::Done) {
        FColourTTY->setFocus();
        QTimer::singleShot(DoneShownMs, FTransferPanel, [panel = FTransferPanel] {
            if (panel->Finished()) panel->hide();
        });
    }
    UpdateMenus();
}

void TTTYForm::SessionUploadWanted()
{
    SetStatus(tr(" The BBS waits for files: File, Send Files... (Ctrl+Shift+U) sends them."));
}
