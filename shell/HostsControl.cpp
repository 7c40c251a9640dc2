#include "shell/HostsControl.h"

#include "config/HostDirectory.h"
#include "config/HostImport.h"
#include "config/IniFile.h"
#include "config/SetHost.h"
#include "config/qt/DialogUtil.h"
#include "config/qt/ImportHostsDlg.h"
#include "config/qt/SetHostDlg.h"
#include "shell/DirectoryWindow.h"

#include <QFileDialog>

#include <cerrno>
#include <cstring>

void THostsControl::SetupHosts()
{
    TSetHostDlg dialog(FParts.Hosts, &FParts.Window);
    // While connected or connecting the dialog still stores the host, but the current one stays.
    if (dialog.exec() == QDialog::Accepted && FParts.MayConnect())
        FParts.Hosts.UseHost(dialog.BBSName(), dialog.Settings());
    Changed();
}

void THostsControl::Changed()
{
    FParts.HostsChanged();
    if (FDirectory) FDirectory->Reload();
}

void THostsControl::OpenDirectory()
{
    if (!FDirectory) {
        FDirectory = new TDirectoryWindow(FParts.Hosts, FolderOf(FParts.Hosts.IniFileName()), &FParts.Window);
        FDirectory->setAttribute(Qt::WA_DeleteOnClose);
        FDirectory->OnConnect = [this](const std::string &name) {
            FParts.Guarded([&] { FParts.PickHost(name); });
            FParts.Window.raise(); // the terminal shows the connection
            FParts.Window.activateWindow();
        };
        FDirectory->OnImport = [this] { FParts.Guarded([this] { ImportHosts(); }); };
    } else {
        FDirectory->Reload();
    }
    FDirectory->show();
    FDirectory->raise();
    FDirectory->activateWindow();
}

void THostsControl::ImportHosts()
{
    QWidget *parent = FDirectory ? static_cast<QWidget *>(FDirectory) : &FParts.Window;
    const QString path = QFileDialog::getOpenFileName(
        parent, QStringLiteral("Import Hosts"), QString(),
        QStringLiteral("Dialing directories (*.lst *.toml *.txt);;SyncTERM (syncterm.lst *.lst);;"
                       "IcyTERM (phonebook.toml *.toml);;All files (*)"));
    if (!path.isEmpty()) ImportFrom(path);
}

bool THostsControl::ImportFrom(const QString &path)
{
    QWidget *parent = FDirectory ? static_cast<QWidget *>(FDirectory) : &FParts.Window;
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
    TImportHostsDlg dialog(FParts.Hosts, std::move(read), path, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.Added() == 0) return false;
    Changed();
    FParts.Status(QStringLiteral(" Imported %1 hosts.").arg(dialog.Added()));
    return true;
}

void THostsControl::Connected(const std::string &name)
{
    if (!FParts.Hosts.IsSavedHost(name)) return;
    RecordCall(FParts.Hosts, name, DirectoryTimeNow());
    if (FDirectory) FDirectory->Reload();
}
