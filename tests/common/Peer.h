// A user of a server typing by hand over TCP: everything received is kept, and each wait
// searches past the last match.
#pragma once

#include "tests/common/Patience.h"

#include <QTcpSocket>
#include <QTest>

#include <string>

struct TPeer
{
    QTcpSocket Socket;
    std::string In;
    size_t Seen = 0;

    explicit TPeer(uint16_t port) { Socket.connectToHost(QHostAddress::LocalHost, port); }
    void Send(const std::string &bytes) { Socket.write(bytes.data(), qint64(bytes.size())); }
    bool WaitFor(const std::string &needle, int ms = Patience)
    {
        return QTest::qWaitFor(
            [&] {
                In += Socket.readAll().toStdString();
                const size_t at = In.find(needle, Seen);
                if (at != std::string::npos) Seen = at + needle.size();
                return at != std::string::npos;
            },
            ms);
    }
    [[nodiscard]] bool Say(const std::string &bytes, const std::string &answer)
    {
        Send(bytes);
        return WaitFor(answer);
    }
    [[nodiscard]] bool WaitClosed()
    {
        return QTest::qWaitFor(
            [&] {
                In += Socket.readAll().toStdString();
                return Socket.state() == QAbstractSocket::UnconnectedState;
            },
            Patience);
    }
    // The CLient login as the engine answers it: the name and the masked password edits,
    // then the options.
    [[nodiscard]] bool Login(const std::string &name)
    {
        return Say("\xff\xa0", "\xff\xa3") && Say("\xff\xa1" + name + "\n", "\xff\xa2") &&
               Say("\xff\xa1pw\n", std::string("\xff\xae\0\0\0\0", 6)) && Say("\xff\xa1\n", "Lobby>");
    }
};
