#include "net/Connector.h"

#include "net/dwsError.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct TAddress
{
    sockaddr_storage Storage{};
    socklen_t Length = 0;
    int Family() const { return Storage.ss_family; }
    std::string Text() const
    {
        char buf[INET6_ADDRSTRLEN] = {};
        if (Family() == AF_INET6)
            ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 &>(Storage).sin6_addr, buf,
                        sizeof buf);
        else
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in &>(Storage).sin_addr, buf, sizeof buf);
        return buf;
    }
};

// Parses an address literal (either family, IPv6 with an optional scope) without any lookup.
bool ParseLiteral(const std::string &text, uint16_t port, TAddress &out)
{
    // Only the strict forms: "127.1" and "2130706433" are names here, as a certificate
    // check must see them.
    in6_addr bytes{};
    const std::string bare = text.substr(0, text.find('%')); // an IPv6 zone follows '%'
    if (::inet_pton(AF_INET, text.c_str(), &bytes) != 1 &&
        (bare.find(':') == std::string::npos || ::inet_pton(AF_INET6, bare.c_str(), &bytes) != 1))
        return false;
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(text.c_str(), service.c_str(), &hints, &res) != 0 || !res) return false;
    std::memcpy(&out.Storage, res->ai_addr, res->ai_addrlen);
    out.Length = res->ai_addrlen;
    ::freeaddrinfo(res);
    return true;
}

std::string Unbracketed(const std::string &text)
{
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') return text.substr(1, text.size() - 2);
    return text;
}

// Names under "invalid" never resolve (RFC 6761); they are answered here, without asking
// any name server.
bool IsReservedInvalid(std::string n)
{
    for (char &c : n)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (!n.empty() && n.back() == '.')
        n.pop_back();
    return n == "invalid" || (n.size() > 8 && n.compare(n.size() - 8, 8, ".invalid") == 0);
}

} // namespace

class TConnectorObject : public QObject
{
public:
    explicit TConnectorObject(TConnectorImpl *d) : FImpl(d) {}
    TConnectorImpl *FImpl;
};

// A name lookup on a thread of its own (getaddrinfo blocks). Its answer is posted to
// Target, which the connector clears under Lock when it gives the lookup up, so no answer
// reaches a connector that cancelled or is gone.
struct TLookup
{
    std::mutex Lock;
    TConnectorObject *Target = nullptr;
};

struct TConnectorAttempt
{
    int Fd = -1;
    std::string Text;
    std::unique_ptr<QSocketNotifier> Wr;
};

struct TConnectorImpl
{
    TConnector *Q;
    TConnectorObject Obj{this};
    QTimer Delay;
    std::shared_ptr<TLookup> Lookup;
    uint16_t Port = 0;
    std::vector<TAddress> Addresses;
    std::size_t Next = 0;
    std::vector<std::unique_ptr<TConnectorAttempt>> Attempts;
    int LastError = 0;
    int WonFd = -1;
    unsigned Generation = 0; // bumped by Cancel: calls posted before it are dropped

    explicit TConnectorImpl(TConnector *q) : Q(q)
    {
        Delay.setSingleShot(true);
        QObject::connect(&Delay, &QTimer::timeout, &Obj, [this] { StartNext(); });
    }

    template <typename F> void Post(F f)
    {
        const unsigned gen = Generation;
        QMetaObject::invokeMethod(
            &Obj,
            [this, gen, f] {
                if (gen == Generation) f();
            },
            Qt::QueuedConnection);
    }

    void Stop()
    {
        ++Generation;
        Delay.stop();
        if (Lookup) {
            const std::lock_guard<std::mutex> hold(Lookup->Lock);
            Lookup->Target = nullptr;
        }
        Lookup.reset();
        if (WonFd >= 0) ::close(WonFd);
        WonFd = -1;
        for (auto &a : Attempts)
            Drop(*a);
        Attempts.clear();
        Addresses.clear();
        Next = 0;
    }

    static void Drop(TConnectorAttempt &a)
    {
        if (a.Wr) {
            a.Wr->setEnabled(false);
            a.Wr.release()->deleteLater(); // it may be the one calling us
        }
        if (a.Fd >= 0) ::close(a.Fd);
        a.Fd = -1;
    }

    bool InFlight() const
    {
        for (const auto &a : Attempts)
            if (a->Fd >= 0) return true;
        return false;
    }

    // Orders the answer IPv6, IPv4, IPv6, ... keeping each family's own order.
    void SetAddresses(std::vector<TAddress> v6, std::vector<TAddress> v4)
    {
        Addresses.clear();
        Next = 0;
        for (std::size_t i = 0; i < std::max(v6.size(), v4.size()); ++i) {
            if (i < v6.size()) Addresses.push_back(v6[i]);
            if (i < v4.size()) Addresses.push_back(v4[i]);
        }
    }

    void Fail(int error, bool lookup)
    {
        Stop();
        Post([this, error, lookup] {
            if (Q->OnFailed) Q->OnFailed(error, lookup);
        });
    }

    void StartNext()
    {
        while (Next < Addresses.size()) {
            const TAddress &addr = Addresses[Next++];
            auto a = std::make_unique<TConnectorAttempt>();
            a->Text = addr.Text();
            a->Fd = ::socket(addr.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            int r = -1;
            if (a->Fd >= 0) {
                do
                    r = ::connect(a->Fd, reinterpret_cast<const sockaddr *>(&addr.Storage), addr.Length);
                while (r < 0 && errno == EINTR);
            }
            if (r == 0) {
                Win(*a);
                return;
            }
            if (a->Fd >= 0 && errno == EINPROGRESS) {
                TConnectorAttempt *p = a.get();
                a->Wr = std::make_unique<QSocketNotifier>(a->Fd, QSocketNotifier::Write);
                QObject::connect(a->Wr.get(), &QSocketNotifier::activated, &Obj, [this, p] { Finished(*p); });
                Attempts.push_back(std::move(a));
                if (Next < Addresses.size()) Delay.start(TConnector::AttemptDelayMs);
                return;
            }
            LastError = WinSockErrorFromErrno(errno);
            Drop(*a); // failed at once: the next address goes now
        }
        if (!InFlight()) Fail(LastError ? LastError : WSAECONNREFUSED, false);
    }

    void Finished(TConnectorAttempt &a)
    {
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(a.Fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) err = errno;
        if (err == 0) {
            Win(a);
            return;
        }
        LastError = WinSockErrorFromErrno(err);
        Drop(a);
        Delay.stop();
        StartNext();
    }

    void Win(TConnectorAttempt &a)
    {
        const int fd = a.Fd;
        const std::string text = a.Text;
        a.Fd = -1;
        Stop();
        TConnector::SetConnectionOptions(fd);
        WonFd = fd; // closed by Stop if nobody takes it
        Post([this, text] {
            const int won = WonFd;
            WonFd = -1;
            if (Q->OnConnected)
                Q->OnConnected(won, text);
            else
                ::close(won);
        });
    }
};

namespace {

// The lookup's answer, on the event loop: `error` is getaddrinfo's (0 when it answered).
void HostFound(TConnectorImpl *d, int error, std::vector<TAddress> v6, std::vector<TAddress> v4)
{
    d->Lookup.reset();
    if (error == EAI_NONAME || error == EAI_FAIL || error == EAI_NODATA) {
        d->Fail(WSAHOST_NOT_FOUND, true);
        return;
    }
    if (error != 0) {
        d->Fail(error == EAI_AGAIN ? WSATRY_AGAIN : WSANO_RECOVERY, true);
        return;
    }
    if (v6.empty() && v4.empty()) {
        d->Fail(WSANO_DATA, true);
        return;
    }
    d->SetAddresses(std::move(v6), std::move(v4));
    const std::string first = d->Addresses.front().Text();
    const unsigned gen = d->Generation;
    if (d->Q->OnConnecting) d->Q->OnConnecting(first);
    if (gen == d->Generation) d->StartNext(); // unless the handler cancelled
}

void StartLookup(TConnectorImpl *d, const std::string &name)
{
    auto lookup = std::make_shared<TLookup>();
    lookup->Target = &d->Obj;
    d->Lookup = lookup;
    const uint16_t port = d->Port;
    std::thread([lookup, name, port] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_ADDRCONFIG;
        addrinfo *res = nullptr;
        const std::string service = std::to_string(port);
        int error = ::getaddrinfo(name.c_str(), service.c_str(), &hints, &res);
        if (error == EAI_BADFLAGS) {
            hints.ai_flags = 0;
            error = ::getaddrinfo(name.c_str(), service.c_str(), &hints, &res);
        }
        std::vector<TAddress> v6, v4;
        for (const addrinfo *i = error == 0 ? res : nullptr; i; i = i->ai_next) {
            if ((i->ai_family != AF_INET && i->ai_family != AF_INET6) ||
                i->ai_addrlen > sizeof(sockaddr_storage))
                continue;
            TAddress a;
            std::memcpy(&a.Storage, i->ai_addr, i->ai_addrlen);
            a.Length = i->ai_addrlen;
            (a.Family() == AF_INET6 ? v6 : v4).push_back(a);
        }
        if (res) ::freeaddrinfo(res);
        const std::lock_guard<std::mutex> hold(lookup->Lock);
        if (!lookup->Target) return;
        TConnectorObject *target = lookup->Target;
        QMetaObject::invokeMethod(
            target,
            [target, lookup, error, v6 = std::move(v6), v4 = std::move(v4)]() mutable {
                if (target->FImpl->Lookup == lookup)
                    HostFound(target->FImpl, error, std::move(v6), std::move(v4));
            },
            Qt::QueuedConnection);
    }).detach();
}

} // namespace

TConnector::TConnector() : FImpl(std::make_unique<TConnectorImpl>(this))
{
}

TConnector::~TConnector()
{
    Cancel();
}

std::string TConnector::AddressLiteral(const std::string &text)
{
    const std::string t = Unbracketed(text);
    TAddress a;
    return ParseLiteral(t, 0, a) ? t : std::string();
}

bool TConnector::Start(const std::string &host, uint16_t port)
{
    Cancel();
    FImpl->Port = port;
    FImpl->LastError = 0;
    const std::string name = Unbracketed(host);
    TAddress literal;
    if (ParseLiteral(name, port, literal)) {
        FImpl->SetAddresses(
            literal.Family() == AF_INET6 ? std::vector<TAddress>{literal} : std::vector<TAddress>{},
            literal.Family() == AF_INET ? std::vector<TAddress>{literal} : std::vector<TAddress>{});
        FImpl->StartNext();
        return true;
    }
    if (IsReservedInvalid(name)) {
        FImpl->Fail(WSAHOST_NOT_FOUND, true);
        return false;
    }
    StartLookup(FImpl.get(), name);
    return false;
}

void TConnector::StartWith(const std::vector<std::string> &addresses, uint16_t port)
{
    Cancel();
    FImpl->Port = port;
    FImpl->LastError = 0;
    std::vector<TAddress> v6, v4;
    for (const std::string &text : addresses) {
        TAddress a;
        if (ParseLiteral(Unbracketed(text), port, a)) (a.Family() == AF_INET6 ? v6 : v4).push_back(a);
    }
    FImpl->SetAddresses(std::move(v6), std::move(v4));
    if (FImpl->Addresses.empty())
        FImpl->Fail(WSANO_DATA, true);
    else
        FImpl->StartNext();
}

void TConnector::Cancel()
{
    FImpl->Stop();
}

void TConnector::SetConnectionOptions(int fd)
{
    int on = 1, idle = KeepAliveIdleSeconds, interval = KeepAliveIntervalSeconds, probes = KeepAliveProbes;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    // Unacknowledged data gives up after as long as the probes would.
    unsigned timeout = static_cast<unsigned>((idle + interval * probes) * 1000);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timeout, sizeof timeout);
    // Keys and a transfer's acknowledgements go out at once: behind Nagle's algorithm a small
    // write waits for the peer's delayed ACK, and a file transfer stalls at every window.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// ---------------------------------------------------------------------------------------
// The orderly close

namespace {

// What is left of a connection closed in order (CloseInOrder).
class TLingeringClose : public QObject
{
public:
    static constexpr int LimitMs = 5000;

    TLingeringClose(int fd, std::string queue)
        : QObject(QCoreApplication::instance()), FFd(fd), FQueue(std::move(queue)),
          FRd(fd, QSocketNotifier::Read), FWr(fd, QSocketNotifier::Write)
    {
        connect(&FRd, &QSocketNotifier::activated, this, [this] { Drain(); });
        connect(&FWr, &QSocketNotifier::activated, this, [this] { Flush(); });
        QTimer::singleShot(LimitMs, this, [this] { Finish(); });
        Flush();
    }
    ~TLingeringClose() override
    {
        FRd.setEnabled(false);
        FWr.setEnabled(false);
        if (FFd >= 0) ::close(FFd);
    }

private:
    void Flush()
    {
        while (!FQueue.empty()) {
            ssize_t n = ::send(FFd, FQueue.data(), FQueue.size(), MSG_NOSIGNAL);
            if (n > 0) {
                FQueue.erase(0, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                FWr.setEnabled(true);
                return;
            }
            Finish(); // the peer is gone: nothing left to wait for
            return;
        }
        FWr.setEnabled(false);
        ::shutdown(FFd, SHUT_WR);
    }
    void Drain()
    {
        char buf[4096];
        for (;;) {
            ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
            if (n > 0) continue;
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
            Finish(); // end of stream or an error
            return;
        }
    }
    void Finish()
    {
        FRd.setEnabled(false);
        FWr.setEnabled(false);
        deleteLater();
    }

    int FFd;
    std::string FQueue;
    QSocketNotifier FRd, FWr;
};

} // namespace

void CloseInOrder(int fd, std::string queued)
{
    if (fd < 0) return;
    if (!QCoreApplication::instance()) { // nothing would run it
        ::close(fd);
        return;
    }
    new TLingeringClose(fd, std::move(queued));
}
