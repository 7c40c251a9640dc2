// The main window's Directory window and File "Import Hosts...".
#include "shell/Ttywin.h"

#include "config/HostDirectory.h"
#include "config/HostImport.h"
#include "config/IniFile.h"
#include "config/qt/DialogUtil.h"
#include "config/qt/ImportHostsDlg.h"
#include "shell/DirectoryWindow.h"

#include <QFileDialog>

#include <cerrno>
#include <cstring>

void TTTYForm::FileDirectoryItemClick()
{
    if (!FDirectory) {
        FDirectory = new TDirectoryWindow(FHostInfo, FolderOf(FHostInfo.IniFileName()), this);
        FDirectory->setAttribute(Qt::WA_DeleteOnClose);
        FDirectory->OnConnect = [this](const std::string &name) {
            Guarded([&] { PickHost(name); });
            raise(); // the terminal shows the connection
            activateWindow();
        };
        FDirectory->OnImport = [this] { Guarded([this] { FileImportHostsItemClick(); }); };
    } else {
        FDirectory->Reload();
    }
    FDirectory->show();
    FDirectory->raise();
    FDirectory->activateWindow();
}

void TTTYForm::FileImportHostsItemClick()
{
    QWidget *parent = FDirectory ? static_cast<QWidget *>(FDirectory) : this;
    const QString path = QFileDialog::getOpenFileName(
        parent, QStringLiteral("Import Hosts"), QString(),
        QStringLiteral("Dialing directories (*.lst *.toml *.txt);;SyncTERM (syncterm.lst *.lst);;"
                       "IcyTERM (phonebook.toml *.toml);;All files (*)"));
    if (!path.isEmpty()) ImportHostsFrom(path);
}

bool TTTYForm::ImportHostsFrom(const QString &path)
{
    QWidget *parent = FDirectory ? static_cast<QWidget *>(FDirectory) : this;
    const std::string file = path.toLocal8Bit().toStdString();
    const std::optional<std::string> bytes = ReadWholeFile(file);
    if (!bytes) {
        ShowMessage(
            parent, QMessageBox::Critical, QStringLiteral("Import Hosts"),
            QStringLiteral("Cannot read %1: %2.").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    TImportFile read = ReadHostFile(file, *bytes);
    if (!read.Error.empty()) {
        ShowMessage(parent, QMessageBox::Critical, QStringLiteral("Import Hosts"),
                    QStringLiteral("%1 cannot be imported.\n%2 Nothing was added.")
                        .arg(path, BytesToText(read.Error)));
        return false;
    }
    TImportHostsDlg dialog(FHostInfo, std::move(read), path, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.Added() == 0) return false;
    FillHostsMenu();
    if (FDirectory) FDirectory->Reload();
    SetStatus(QStringLiteral(" Imported %1 hosts.").arg(dialog.Added()));
    return true;
}

void TTTYForm::HostConnected(const std::string &name)
{
    if (!FHostInfo.IsSavedHost(name)) return;
    RecordCall(FHostInfo, name, DirectoryTimeNow());
    if (FDirectory) FDirectory->Reload();
}
