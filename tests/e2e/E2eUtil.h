// The real main window, offscreen (tests/shell's fixture), against servers started as
// child processes on 127.0.0.1.
#pragma once

#include "tests/shell/ShellTestUtil.h"

#include <QProcess>
#include <QTcpServer>
#include <QTest>

#include <fstream>
#include <memory>
#include <sstream>

inline std::string ReadFile(const QString &path)
{
    std::ifstream f(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A port nobody listens on right now.
inline uint16_t FreePort()
{
    QTcpServer s;
    return s.listen(QHostAddress::LocalHost, 0) ? s.serverPort() : 0;
}

// A child process, stopped with SIGTERM at the end.
struct TChild
{
    QProcess Process;
    ~TChild()
    {
        if (Process.state() == QProcess::NotRunning) return;
        Process.terminate();
        if (!Process.waitForFinished(Patience)) Process.kill();
    }
};
