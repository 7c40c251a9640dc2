// Loopback servers and an event recorder for the socket layer tests.
#pragma once

#include "net/dWinsock.h"
#include "tests/common/Patience.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// A plain POSIX socket bound to 127.0.0.1 on an ephemeral port; listening unless asked not
// to (a bound port that does not listen refuses connections).
struct LoopbackServer
{
    int Fd = -1;
    int Peer = -1;
    uint16_t Port = 0;

    // On 127.0.0.1, or ::1 for AF_INET6; port 0 takes a free one.
    explicit LoopbackServer(bool listening = true, int family = AF_INET, uint16_t port = 0)
    {
        Fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in6 a6{AF_INET6, htons(port), 0, in6addr_loopback, 0};
        sockaddr_in a4{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        auto *a = family == AF_INET6 ? reinterpret_cast<sockaddr *>(&a6) : reinterpret_cast<sockaddr *>(&a4);
        socklen_t len = family == AF_INET6 ? sizeof a6 : sizeof a4;
        ::bind(Fd, a, len);
        ::getsockname(Fd, a, &len);
        Port = ntohs(family == AF_INET6 ? a6.sin6_port : a4.sin_port);
        if (listening) ::listen(Fd, 4);
    }
    ~LoopbackServer()
    {
        if (Peer >= 0) ::close(Peer);
        ::close(Fd);
    }
    std::string PortText() const { return std::to_string(Port); }

    // Called once the client reported its connection, so the peer is already queued.
    bool Accept()
    {
        pollfd p{Fd, POLLIN, 0};
        if (::poll(&p, 1, Patience) != 1) return false;
        Peer = ::accept(Fd, nullptr, nullptr);
        return Peer >= 0;
    }
    void Write(const std::string &s)
    {
        std::size_t done = 0;
        while (done < s.size()) {
            ssize_t n = ::send(Peer, s.data() + done, s.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }
    void ClosePeer()
    {
        ::close(Peer);
        Peer = -1;
    }
    // Abortive close: the client sees a reset.
    void ResetPeer()
    {
        linger l{1, 0};
        ::setsockopt(Peer, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ClosePeer();
    }
    // Reads what is there without waiting.
    std::string ReadSome(std::size_t max)
    {
        std::string buf(max, '\0');
        ssize_t n = ::recv(Peer, buf.data(), max, MSG_DONTWAIT);
        buf.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return buf;
    }
};

inline const char *InfoName(TSockInfo code)
{
    static const char *names[] = {"siInactive",     "siLookUp", "siConnect",     "siConnected", "siListen",
                                  "siRecv",         "siSend",   "siClosed",      "siTimedOut",  "siAccept",
                                  "siNoSuchSocket", "siReject", "siDisconnected"};
    return names[code];
}

// Records the component's events as texts; OnRead receives ReadChunk bytes per call.
struct Recorder
{
    std::vector<std::string> Log;
    std::string Data;
    int ReadChunk = 4096;

    void Attach(TCustomClientSocket &c, bool withWrite = false)
    {
        c.OnInfo = [this](TSockCtrl *, TSockInfo code, TSocketBase *) { Log.push_back(InfoName(code)); };
        c.OnConnect = [this](TSockCtrl *, TSocketBase *s) {
            Log.push_back("OnConnect " + std::to_string(s->LastError()));
        };
        c.OnDisconnect = [this](TSockCtrl *, TSocketBase *s) {
            Log.push_back("OnDisconnect " + std::to_string(s->LastError()));
        };
        c.OnRead = [this](TSockCtrl *, TSocketBase *s) {
            Log.push_back("OnRead");
            std::string buf(static_cast<std::size_t>(ReadChunk), '\0');
            int n = s->Recv(buf.data(), ReadChunk);
            Data.append(buf.data(), static_cast<std::size_t>(n));
        };
        if (withWrite) c.OnWrite = [this](TSockCtrl *, TSocketBase *) { Log.push_back("OnWrite"); };
    }
    bool Has(const std::string &entry) const { return std::find(Log.begin(), Log.end(), entry) != Log.end(); }
    bool WaitFor(const std::string &entry, int ms = Patience)
    {
        return QTest::qWaitFor([&] { return Has(entry); }, ms);
    }
};

using Log = std::vector<std::string>;

// Opens c to the server and waits until the connection is reported and accepted.
inline void ConnectTo(TBasicClientSocket &c, LoopbackServer &server, Recorder &rec)
{
    c.SetAddress("127.0.0.1");
    c.SetPort(server.PortText());
    c.Open();
    ASSERT_TRUE(rec.WaitFor("OnConnect 0"));
    ASSERT_TRUE(server.Accept());
}

// Runs the event loop until everything posted so far, and what that posts in turn, has been
// handled: a marker posted behind it is reached, three times over.
inline void Drain()
{
    for (int i = 0; i < 3; ++i) {
        QObject context; // a wait that gives up leaves no call behind
        bool reached = false;
        QTimer::singleShot(0, &context, [&] { reached = true; });
        if (!QTest::qWaitFor([&] { return reached; }, Patience)) return;
    }
}

// The message of the ESockError f raises.
inline std::string Message(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ESockError &e) {
        return e.what();
    }
    return "(no exception)";
}
