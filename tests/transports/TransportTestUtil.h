// A recording listener for the transports and the servers their tests start on loopback.
#pragma once

#include "session/Transport.h"
#include "tests/net/NetTestUtil.h"

#include <QDir>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

struct Listener : TTransportListener
{
    std::vector<TTransportStep> Steps;
    bool Connected = false, Closed = false, Failed = false;
    TCloseKind Kind = TCloseKind::Lost;
    std::string Bytes, Message;
    int TrustAsked = 0, PasswordAsked = 0;
    TTrustQuestion Question;
    bool Accept = true;
    std::optional<std::string> Password;

    void TransportStep(TTransportStep step) override { Steps.push_back(step); }
    void TransportConnected() override { Connected = true; }
    void TransportReceived(const uint8_t *data, size_t count) override
    {
        Bytes.append(reinterpret_cast<const char *>(data), count);
    }
    void TransportClosed(TCloseKind kind, const std::string &why) override
    {
        Closed = true;
        Kind = kind;
        Message = why;
    }
    void TransportFailed(const std::string &message) override
    {
        Failed = true;
        Message = message;
    }
    void TransportAskTrust(const TTrustQuestion &q, std::function<void(bool)> answer) override
    {
        ++TrustAsked;
        Question = q;
        answer(Accept);
    }
    void TransportAskPassword(const std::string &, const std::string &,
                              std::function<void(std::optional<std::string>)> answer) override
    {
        ++PasswordAsked;
        answer(Password);
    }
    bool WaitEnd(int ms = Patience)
    {
        return QTest::qWaitFor([&] { return Connected || Failed || Closed; }, ms);
    }
    bool WaitBytes(const std::string &part, int ms = Patience)
    {
        return QTest::qWaitFor([&] { return Bytes.find(part) != std::string::npos || Failed || Closed; }, ms) &&
               Bytes.find(part) != std::string::npos;
    }
};

// A port nobody listens on right now.
inline uint16_t UnusedPort()
{
    return LoopbackServer(false).Port;
}

inline bool Listening(uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// A server process stopped with the object.
struct Server
{
    QProcess Process;
    ~Server()
    {
        Process.terminate();
        if (!Process.waitForFinished(5000)) Process.kill();
        Process.waitForFinished(5000);
    }
    bool Start(const QString &program, const QStringList &args, uint16_t port)
    {
        Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Process.start(program, args);
        return Process.waitForStarted(5000) &&
               QTest::qWaitFor([&] { return Listening(port) || Process.state() == QProcess::NotRunning; }, Patience) &&
               Process.state() == QProcess::Running;
    }
};

inline bool WriteText(const QString &path, const std::string &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.data(), qint64(text.size())) == qint64(text.size());
}

inline TEndpoint At(uint16_t port, const std::string &user = {})
{
    TEndpoint e;
    e.Host = "127.0.0.1";
    e.Port = port;
    e.User = user;
    return e;
}

inline std::string ReadText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

// A server that answers every connection with `reply` and closes it.
struct BogusServer : LoopbackServer
{
    std::string Reply;
    QSocketNotifier Notifier{Fd, QSocketNotifier::Read};
    explicit BogusServer(std::string reply) : Reply(std::move(reply))
    {
        QObject::connect(&Notifier, &QSocketNotifier::activated, [this] {
            if (!Accept()) return;
            Write(Reply);
            ::shutdown(Peer, SHUT_WR);
            usleep(50000); // the client's first bytes are read, so the close is not a reset
            ReadSome(65536);
            ClosePeer();
        });
    }
};
