// File transfers from the window: Receive Files, Send Files..., the protocol they use, and
// the panel over the terminal while one runs.
#include "shell/Ttywin.h"

#include "session/qt/QtChildProcess.h"
#include "session/qt/TransferPanel.h"
#include "shell/HelpSystem.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>

namespace {

// A successful transfer's outcome stays this long; a failed one until it is closed.
constexpr int DoneShownMs = 6000;

} // namespace

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

void TTTYForm::TransferCommand(bool send)
{
    const char *caption = send ? "Send Files" : "Receive Files";
    std::string error;
    bool ok = true;
    if (!send) {
        std::string name;
        if (FTransferProtocol == TTransferProtocol::Xmodem) {
            // XMODEM brings no name of its own.
            bool given = false;
            const QString typed = QInputDialog::getText(this, tr(caption), tr("Save the XMODEM file as:"),
                                                        QLineEdit::Normal, QString(), &given);
            if (!given || typed.trimmed().isEmpty()) return;
            name = typed.trimmed().toLocal8Bit().toStdString();
        }
        ok = FSession->Transfers().Receive(FTransferProtocol, name, error);
    } else {
        const bool one = FTransferProtocol == TTransferProtocol::Xmodem; // XMODEM sends a single file
        const QString folder = FSendFolder.isEmpty() ? QDir::homePath() : FSendFolder;
        QStringList files;
        if (FPlatform.ChooseFilesToSend) {
            files = FPlatform.ChooseFilesToSend(this, folder, !one);
        } else if (one) {
            const QString file = QFileDialog::getOpenFileName(this, tr(caption), folder);
            if (!file.isEmpty()) files << file;
        } else {
            files = QFileDialog::getOpenFileNames(this, tr(caption), folder);
        }
        if (files.isEmpty()) return;
        FSendFolder = QFileInfo(files.front()).absolutePath();
        std::vector<std::string> paths;
        for (const QString &f : files)
            paths.push_back(QFileInfo(f).absoluteFilePath().toLocal8Bit().toStdString());
        ok = FSession->Transfers().Send(FTransferProtocol, paths, error);
    }
    if (!ok) QMessageBox::warning(this, tr(caption), QString::fromLocal8Bit(error.c_str()));
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
