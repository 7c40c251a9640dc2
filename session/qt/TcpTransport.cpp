#include "session/qt/TcpTransport.h"

#include "net/dWinsock.h"

#include <QObject>

#include <memory>
#include <vector>

// The client socket and its handlers. Every listener call is made from a socket-layer
// notice or a queued call, never from inside a TTcpTransport method; after each one the
// link checks whether the transport let it go meanwhile.
class TTcpLink : public QObject
{
public:
    explicit TTcpLink()
    {
        Socket.SetProtocol("tcp");
        Socket.SetTimeOut(0);
        Socket.OnInfo = [this](TSockCtrl *, TSockInfo code, TSocketBase *) { Info(code); };
        Socket.OnConnect = [this](TSockCtrl *, TSocketBase *s) { Connected(s); };
        Socket.OnRead = [this](TSockCtrl *, TSocketBase *s) { Read(s); };
        Socket.OnDisconnect = [this](TSockCtrl *, TSocketBase *s) { PeerClosed(s); };
        // The host lookup's failure comes after Open returned.
        Socket.OnError = [this](TSockCtrl *, const ESockError &e) { Fail(e.what()); };
    }

    void Start(const TEndpoint &endpoint)
    {
        if (!Listener) return; // let go before it started
        FStarting = true;
        try {
            Socket.SetAddress(endpoint.Host);
            Socket.SetPort(endpoint.Service.empty() ? std::to_string(endpoint.Port) : endpoint.Service);
            Socket.Open(&TStreamSocket::Class);
        } catch (const std::exception &e) {
            Fail(e.what());
        }
        FStarting = false;
        if (FOrphaned) delete this; // let go during the lookup's wait; nothing of ours runs below
    }

    // The transport lets go: no listener call follows.
    void Release(bool orderly)
    {
        Listener = nullptr;
        if (!orderly) Socket.OnRead = nullptr;
        try {
            Socket.Close();
        } catch (...) {
        }
        Socket.OnRead = nullptr;
        Socket.OnConnect = nullptr;
        Socket.OnDisconnect = nullptr;
        Socket.OnInfo = nullptr;
        Socket.OnError = nullptr;
    }
    void Destroy()
    {
        if (FStarting)
            FOrphaned = true;
        else
            deleteLater(); // the socket layer may be inside one of our handlers
    }

    void Send(const uint8_t *data, size_t count)
    {
        try {
            while (count > 0) {
                const int n = int(std::min<size_t>(count, 1 << 30));
                Socket.SendAll(data, n);
                data += n;
                count -= size_t(n);
            }
        } catch (const std::exception &e) {
            // Told from the event loop, not from inside the caller's Send.
            QMetaObject::invokeMethod(
                this, [this, why = std::string(e.what())] { Lost(why); }, Qt::QueuedConnection);
        }
    }

    // Held: a read notice is only noted; the socket is not read, so it gives no other
    // notice until the next read after the hold.
    void SetReceiving(bool on)
    {
        FHeld = !on;
        if (!on || !FMissed) return;
        FMissed = false;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (Listener && !FHeld && Socket.HasSocket()) Read(Socket.Socket());
            },
            Qt::QueuedConnection);
    }

    TTransportListener *Listener = nullptr;
    TBasicClientSocket Socket;

private:
    void Info(TSockInfo code)
    {
        if (!Listener) return;
        if (code == siLookUp) Listener->TransportStep(TTransportStep::LookingUp);
        if (code == siConnect) Listener->TransportStep(TTransportStep::Connecting);
    }
    void Connected(TSocketBase *s)
    {
        if (!Listener) return;
        if (s->LastError() != 0)
            Fail(SockErrorText(s->LastError()));
        else
            Listener->TransportConnected();
    }
    void Read(TSocketBase *s)
    {
        if (FHeld) {
            FMissed = true;
            return;
        }
        try {
            // What is there now, up to a bound: a turn of the event loop costs more than a read.
            for (int round = 0; round < MaxReadsPerNotice && Listener; ++round) {
                const int got = s->Recv(FBuffer.data(), int(FBuffer.size()));
                if (got > 0 && Listener) Listener->TransportReceived(FBuffer.data(), size_t(got));
                if (got < int(FBuffer.size())) {
                    if (Listener) Listener->TransportDrained();
                    break;
                }
            }
        } catch (const std::exception &e) {
            Lost(e.what());
        }
    }
    void PeerClosed(TSocketBase *s)
    {
        if (!Listener) return;
        const TCloseKind kind = s->LastError() == 0 ? TCloseKind::Clean : TCloseKind::Lost;
        // What the BBS said last is read before it is told that the line closed, held or not.
        FHeld = false;
        try {
            Socket.Close();
        } catch (...) {
        }
        if (TTransportListener *l = Finish()) l->TransportClosed(kind, std::string());
    }
    void Lost(const std::string &why)
    {
        if (!Listener) return;
        try {
            Socket.Close();
        } catch (...) {
        }
        if (TTransportListener *l = Finish()) l->TransportClosed(TCloseKind::Lost, why);
    }
    void Fail(const std::string &message)
    {
        if (TTransportListener *l = Finish()) l->TransportFailed(message);
    }
    // The last listener call: the transport is finished after it.
    TTransportListener *Finish() { return std::exchange(Listener, nullptr); }

    static constexpr int MaxReadsPerNotice = 8;
    std::vector<uint8_t> FBuffer = std::vector<uint8_t>(65536);
    bool FStarting = false;
    bool FOrphaned = false;
    bool FHeld = false, FMissed = false;
};

TTcpTransport::TTcpTransport() : FLink(new TTcpLink)
{
}

TTcpTransport::~TTcpTransport()
{
    FLink->Release(false);
    FLink->Destroy();
}

void TTcpTransport::Open(const TEndpoint &endpoint, TTransportListener &listener)
{
    FLink->Listener = &listener;
    QMetaObject::invokeMethod(
        FLink, [link = FLink, endpoint] { link->Start(endpoint); }, Qt::QueuedConnection);
}

void TTcpTransport::Send(const uint8_t *data, size_t count)
{
    if (FLink->Listener) FLink->Send(data, count);
}

void TTcpTransport::SetReceiving(bool on)
{
    if (FLink->Listener) FLink->SetReceiving(on);
}

void TTcpTransport::Close()
{
    FLink->Release(true);
}

void TTcpTransport::Abort()
{
    FLink->Release(false);
}
