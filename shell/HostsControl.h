// The window's saved hosts beyond the menus: File "Setup Hosts...", the Directory window,
// File "Import Hosts..." and the count of calls a saved host's connection adds.
#pragma once

#include "shell/DirectoryWindow.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <string>

class QWidget;
class THostInfo;

class THostsControl
{
public:
    struct TParts
    {
        QWidget &Window;
        THostInfo &Hosts;
        std::function<void(const std::string &name)> PickHost; // Connect in the Directory
        std::function<bool()> MayConnect;                      // a host set up now becomes the current one
        std::function<void()> HostsChanged;
        std::function<void(const QString &text)> Status;
        std::function<void(const std::function<void()> &handler)> Guarded;
    };
    explicit THostsControl(TParts parts) : FParts(std::move(parts)) {}

    TDirectoryWindow *Directory() const { return FDirectory; }
    void SetupHosts();
    void OpenDirectory();
    void ImportHosts();
    // Imports a file after the preview; false when nothing was added.
    bool ImportFrom(const QString &path);
    // A connection to a host came up: a saved one has its call counted.
    void Connected(const std::string &name);

private:
    void Changed();

    TParts FParts;
    QPointer<TDirectoryWindow> FDirectory;
};
