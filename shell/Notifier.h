// Desktop notices for express messages that arrive while the window is in the background.
#pragma once

#include <QString>

#include <memory>

class QWidget;

class TNotifier
{
public:
    virtual ~TNotifier() = default;
    virtual void Notify(const QString &title, const QString &body) = 0;
};

// The freedesktop notification service over D-Bus when it runs; the tray icon's balloon
// when there is a system tray; otherwise a notifier that shows nothing.
std::unique_ptr<TNotifier> MakeDesktopNotifier(QWidget *window);
