// Servers and tools the tests start as child processes on loopback, and files they share.
#pragma once

#include "tests/common/Patience.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

inline std::string ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

inline bool WriteAll(const QString &path, const std::string &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

inline bool Listening(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// A port nobody listens on right now.
inline uint16_t UnusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), len);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A child process, stopped with SIGTERM at the end.
struct TChild
{
    QProcess Process;
    QString Line; // a server's first line: "listening on HOST:PORT"
    uint16_t Port = 0;

    ~TChild() { Stop(); }
    // A server that says where it listens on its first line (the demo BBS).
    bool StartServer(const QString &program, const QStringList &args)
    {
        Process.start(program, args);
        while (!Process.canReadLine() && Process.waitForReadyRead(Patience)) {
        }
        Line = QString::fromLatin1(Process.readLine()).trimmed();
        Port = Line.startsWith("listening on ") ? uint16_t(Line.section(':', -1).toUInt()) : 0;
        return Port != 0;
    }
    // A server told its port: started once it listens there.
    bool StartOn(const QString &program, const QStringList &args, uint16_t port)
    {
        Port = port;
        Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Process.start(program, args);
        return Process.waitForStarted(Patience) &&
               QTest::qWaitFor([&] { return Listening(port) || Process.state() == QProcess::NotRunning; },
                               Patience) &&
               Process.state() == QProcess::Running;
    }
    // The exit status, -1 after a crash.
    int Stop()
    {
        if (Process.state() != QProcess::NotRunning) {
            Process.terminate();
            if (!Process.waitForFinished(Patience)) Process.kill();
            Process.waitForFinished(Patience);
        }
        return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
    }
};
