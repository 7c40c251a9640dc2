// A recording listener for the transports and the servers their tests start on loopback.
#pragma once

#include "session/Transport.h"
#include "tests/common/Child.h"
#include "tests/net/NetTestUtil.h"

#include <QDir>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <string>
#include <vector>

struct Listener : TTransportListener
{
    std::vector<TTransportStep> Steps;
    bool Connected = false, Closed = false, Failed = false;
    TCloseKind Kind = TCloseKind::Lost;
    std::string Bytes, Message, Notice;
    int TrustAsked = 0, PasswordAsked = 0;
    TTrustQuestion Question;
    bool Accept = true;
    std::optional<std::string> Password;
    std::function<void()> OnStep, OnConnected, OnReceived; // a test's own doings, after the record

    // How much has been heard: steps, bytes and ends.
    size_t Heard() const { return Steps.size() + Bytes.size() + Connected + Closed + Failed; }
    void TransportStep(TTransportStep step) override
    {
        Steps.push_back(step);
        if (OnStep) OnStep();
    }
    void TransportConnected() override
    {
        Connected = true;
        if (OnConnected) OnConnected();
    }
    void TransportReceived(const uint8_t *data, size_t count) override
    {
        Bytes.append(reinterpret_cast<const char *>(data), count);
        if (OnReceived) OnReceived();
    }
    void TransportNotice(const std::string &text) override { Notice += text; }
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
        return QTest::qWaitFor([&] { return Bytes.find(part) != std::string::npos || Failed || Closed; },
                               ms) &&
               Bytes.find(part) != std::string::npos;
    }
};

inline TEndpoint At(uint16_t port, const std::string &user = {})
{
    TEndpoint e;
    e.Host = "127.0.0.1";
    e.Port = port;
    e.User = user;
    return e;
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
            // The client's first bytes are read, so the close is not a reset.
            pollfd first{Peer, POLLIN, 0};
            ::poll(&first, 1, 2000);
            ReadSome(65536);
            ClosePeer();
        });
    }
};
