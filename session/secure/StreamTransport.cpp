#include "session/secure/StreamTransport.h"

#include "net/Connector.h"
#include "net/dwsError.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <csignal>
#include <deque>
#include <netdb.h>
#include <unistd.h>

struct TStreamTransportImpl
{
    // Read but not handed over yet, at most about this much: the peer waits beyond it.
    static constexpr size_t MaxPending = 256 * 1024;

    TStreamTransport *Q;
    QObject Context; // posted calls die with it
    TConnector Connector;
    TEndpoint Endpoint;
    TTransportListener *Listener = nullptr;
    int Fd = -1;
    std::unique_ptr<QSocketNotifier> Rd, Wr;
    bool Open = false;
    bool Silenced = false; // Close, Abort or a final report: nothing more for the listener
    unsigned Generation = 0;
    bool Receiving = true, Held = false;
    std::deque<std::string> Pending; // received, not handed over yet
    size_t PendingBytes = 0;
    bool DeliveryPosted = false;
    std::string Notices;                                   // for the status line once open
    std::shared_ptr<int> Alive = std::make_shared<int>(0); // for answers that come late

    bool Reading() const { return Receiving && !Held && PendingBytes < MaxPending; }
    void UpdateReading()
    {
        if (Rd) Rd->setEnabled(Reading());
    }

    void Post(std::function<void(TTransportListener &)> call, bool final = false)
    {
        if (Silenced) return;
        if (final) Silenced = true;
        const unsigned gen = Generation;
        QTimer::singleShot(0, &Context, [this, gen, call, final] {
            if (gen != Generation || !Listener) return;
            // What the peer said last is handed over before the end, held or not.
            if (final && !Deliver(true)) return;
            call(*Listener);
        });
    }

    // Hands over what was received while the listener takes it (everything with `all`);
    // false when the listener let the transport go meanwhile.
    bool Deliver(bool all)
    {
        const std::weak_ptr<int> alive = Alive;
        const unsigned gen = Generation;
        const bool resume = !Reading();
        bool gave = false;
        while (!Pending.empty() && (all || Receiving)) {
            const std::string piece = std::move(Pending.front());
            Pending.pop_front();
            PendingBytes -= piece.size();
            Listener->TransportReceived(reinterpret_cast<const uint8_t *>(piece.data()), piece.size());
            if (alive.expired() || gen != Generation) return false;
            gave = true;
        }
        if (all) return true;
        if (gave && Pending.empty() && !Silenced) {
            Listener->TransportDrained();
            if (alive.expired() || gen != Generation) return false;
        }
        UpdateReading();
        if (resume && Reading() && Fd >= 0) Q->PumpLater();
        return true;
    }

    void PostDelivery()
    {
        if (DeliveryPosted || Silenced || Pending.empty()) return;
        DeliveryPosted = true;
        const unsigned gen = Generation;
        QTimer::singleShot(0, &Context, [this, gen] {
            if (gen != Generation || !Listener) return;
            DeliveryPosted = false;
            if (!Silenced) Deliver(false);
        });
    }

    void DropDescriptor()
    {
        Rd.reset();
        Wr.reset();
        if (Fd >= 0) ::close(Fd);
        Fd = -1;
    }
};

TStreamTransport::TStreamTransport() : FImpl(std::make_unique<TStreamTransportImpl>())
{
    FImpl->Q = this;
    // OpenSSL and libssh write with plain write(): a peer gone away must give EPIPE, not
    // end the program.
    static const bool ignored = [] { return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
    (void)ignored;
}

TStreamTransport::~TStreamTransport()
{
    FImpl->Connector.Cancel();
    FImpl->DropDescriptor();
}

std::string TStreamTransport::HostPort(const std::string &host, uint16_t port)
{
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

void TStreamTransport::Open(const TEndpoint &endpoint, TTransportListener &listener)
{
    FImpl->Endpoint = endpoint;
    FImpl->Listener = &listener;
    FImpl->Receiving = true;
    FImpl->Connector.OnConnecting = [this](const std::string &) { Step(TTransportStep::Connecting); };
    FImpl->Connector.OnConnected = [this](int fd, const std::string &) {
        FImpl->Fd = fd;
        FImpl->Rd = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(FImpl->Rd.get(), &QSocketNotifier::activated, &FImpl->Context, [this] { Pump(); });
        FImpl->Wr = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        FImpl->Wr->setEnabled(false);
        QObject::connect(FImpl->Wr.get(), &QSocketNotifier::activated, &FImpl->Context, [this] { Pump(); });
        Step(TTransportStep::Securing);
        Secure();
    };
    FImpl->Connector.OnFailed = [this](int error, bool lookup) {
        Fail(lookup ? SockErrorMessage(error, sckFindingAddress) : SockErrorText(error));
    };
    uint16_t port = endpoint.Port;
    if (port == 0 && !endpoint.Service.empty()) { // a service name ("telnets", "ssh")
        servent entry{}, *found = nullptr;
        char buf[4096];
        getservbyname_r(endpoint.Service.c_str(), "tcp", &entry, buf, sizeof buf, &found);
        if (found) port = ntohs(static_cast<uint16_t>(found->s_port));
    }
    const bool address = FImpl->Connector.Start(endpoint.Host, port);
    Step(address ? TTransportStep::Connecting : TTransportStep::LookingUp);
}

namespace {

// Finishes what a closed transport left: runs it on readiness until it is done (or a few
// seconds pass), then closes the descriptor in order. Lives on after the transport.
class TLeftoverClose : public QObject
{
public:
    static constexpr int LimitMs = 5000;

    TLeftoverClose(int fd, TStreamTransport::TLeftover leftover)
        : QObject(QCoreApplication::instance()), FFd(fd), FLeftover(std::move(leftover)),
          FRd(fd, QSocketNotifier::Read), FWr(fd, QSocketNotifier::Write)
    {
        connect(&FRd, &QSocketNotifier::activated, this, [this] { Step(); });
        connect(&FWr, &QSocketNotifier::activated, this, [this] { Step(); });
        QTimer::singleShot(LimitMs, this, [this] { Finish(); });
        Step();
    }

private:
    void Step()
    {
        switch (FLeftover()) {
        case TStreamTransport::TFlush::Done:
            Finish();
            return;
        case TStreamTransport::TFlush::WantRead:
            FWr.setEnabled(false);
            return;
        case TStreamTransport::TFlush::WantWrite:
            FWr.setEnabled(true);
            return;
        }
    }
    void Finish()
    {
        if (FFd < 0) return;
        FRd.setEnabled(false);
        FWr.setEnabled(false);
        FLeftover = nullptr; // frees the protocol's state
        CloseInOrder(FFd);
        FFd = -1;
        deleteLater();
    }

    int FFd;
    TStreamTransport::TLeftover FLeftover;
    QSocketNotifier FRd, FWr;
};

} // namespace

void TStreamTransport::Close()
{
    if (!FImpl->Open || FImpl->Fd < 0) {
        Abort();
        return;
    }
    FImpl->Silenced = true;
    ++FImpl->Generation;
    FImpl->Pending.clear();
    TLeftover leftover = Goodbye();
    Release();
    FImpl->Rd.reset();
    FImpl->Wr.reset();
    if (leftover && QCoreApplication::instance())
        new TLeftoverClose(FImpl->Fd, std::move(leftover));
    else
        CloseInOrder(FImpl->Fd);
    FImpl->Fd = -1;
}

void TStreamTransport::Abort()
{
    FImpl->Silenced = true;
    ++FImpl->Generation;
    FImpl->Pending.clear();
    FImpl->Connector.Cancel();
    Finish();
}

void TStreamTransport::Finish()
{
    Release();
    FImpl->DropDescriptor();
}

int TStreamTransport::Fd() const
{
    return FImpl->Fd;
}

const TEndpoint &TStreamTransport::Endpoint() const
{
    return FImpl->Endpoint;
}

bool TStreamTransport::IsOpen() const
{
    return FImpl->Open;
}

bool TStreamTransport::Receiving() const
{
    return FImpl->Reading();
}

void TStreamTransport::SetReceiving(bool on)
{
    if (FImpl->Receiving == on) return;
    FImpl->Receiving = on;
    FImpl->UpdateReading();
    if (!on) return;
    FImpl->PostDelivery();
    // What the protocol's library read ahead gives no readiness of its own.
    if (FImpl->Fd >= 0) PumpLater();
}

void TStreamTransport::Hold(bool on)
{
    if (FImpl->Held == on) return;
    FImpl->Held = on;
    FImpl->UpdateReading();
    if (!on && FImpl->Fd >= 0) PumpLater();
}

void TStreamTransport::WantWrite(bool on)
{
    if (FImpl->Wr) FImpl->Wr->setEnabled(on);
}

void TStreamTransport::PumpLater()
{
    const unsigned gen = FImpl->Generation;
    QTimer::singleShot(0, &FImpl->Context, [this, gen] {
        if (gen == FImpl->Generation && FImpl->Fd >= 0) Pump();
    });
}

void TStreamTransport::Step(TTransportStep step)
{
    FImpl->Post([step](TTransportListener &l) { l.TransportStep(step); });
}

void TStreamTransport::Connected()
{
    FImpl->Open = true;
    FImpl->Post([](TTransportListener &l) { l.TransportConnected(); });
    Notice(std::exchange(FImpl->Notices, std::string()));
}

void TStreamTransport::Received(const uint8_t *data, size_t count)
{
    if (count == 0 || FImpl->Silenced) return;
    FImpl->Pending.emplace_back(reinterpret_cast<const char *>(data), count);
    FImpl->PendingBytes += count;
    FImpl->UpdateReading();
    FImpl->PostDelivery();
}

void TStreamTransport::Notice(const std::string &text)
{
    if (text.empty()) return;
    if (!FImpl->Open) {
        FImpl->Notices += (FImpl->Notices.empty() ? "" : " ") + text;
        return;
    }
    FImpl->Post([text](TTransportListener &l) { l.TransportNotice(text); });
}

void TStreamTransport::Fail(const std::string &message)
{
    if (FImpl->Silenced) return;
    FImpl->Connector.Cancel();
    if (FImpl->Open) {
        Ended(TCloseKind::Lost, message);
        return;
    }
    FImpl->Post([message](TTransportListener &l) { l.TransportFailed(message); }, true);
    Finish();
}

void TStreamTransport::Ended(TCloseKind kind, const std::string &why)
{
    if (FImpl->Silenced) return;
    FImpl->Post([kind, why](TTransportListener &l) { l.TransportClosed(kind, why); }, true);
    Finish();
}

void TStreamTransport::AskTrust(const TTrustQuestion &question, std::function<void(bool)> answer)
{
    const unsigned gen = FImpl->Generation;
    std::weak_ptr<int> alive = FImpl->Alive;
    auto guarded = [this, alive, gen, answer](bool accept) {
        if (!alive.expired() && gen == FImpl->Generation && !FImpl->Silenced) answer(accept);
    };
    FImpl->Post([question, guarded](TTransportListener &l) { l.TransportAskTrust(question, guarded); });
}

void TStreamTransport::AskPassword(std::function<void(std::optional<std::string>)> answer)
{
    const unsigned gen = FImpl->Generation;
    std::weak_ptr<int> alive = FImpl->Alive;
    auto guarded = [this, alive, gen, answer](std::optional<std::string> password) {
        if (!alive.expired() && gen == FImpl->Generation && !FImpl->Silenced) answer(std::move(password));
    };
    const std::string user = FImpl->Endpoint.User, host = FImpl->Endpoint.Host;
    FImpl->Post(
        [user, host, guarded](TTransportListener &l) { l.TransportAskPassword(user, host, guarded); });
}
