// File "Capture to File...": everything shown (or received, raw) written to a file across
// connections, and what the user is told when it ends or fails.
#pragma once

#include "terminal/SessionCapture.h"

#include <QString>

#include <functional>
#include <string>

class QWidget;
class TSession;

class TCaptureControl
{
public:
    // `changed` redraws what shows the capture; `status` is a word for the status line.
    TCaptureControl(QWidget &window, TSession &session, std::function<void()> changed,
                    std::function<void(const QString &text)> status);

    // The menu command: stops a capture in progress, else asks for a file.
    void Toggle();
    // Starts capturing to a file (replacing a capture in progress); false, after telling the
    // user, when the file cannot be opened.
    bool Start(const QString &path, TCaptureForm form);
    void Stop();
    bool Running() const;
    // The session stopped it (a write failed).
    void Failed(const std::string &why);

private:
    void Tell(const QString &why);

    QWidget &FWindow;
    TSession &FSession;
    std::function<void()> FChanged;
    std::function<void(const QString &)> FStatus;
    QString FPath;
};
