#include "net/Wsapi.h"

#include "net/Connector.h"
#include "net/dWinsock.h"

#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

// ---------------------------------------------------------------------------------------
// Binding

namespace {

thread_local int LastApiError = 0;
std::unique_ptr<tWinsockAPI> Binding;

int Fail()
{
    LastApiError = WinSockErrorFromErrno(errno);
    return -1;
}

} // namespace

tWinsockAPI &WinsockAPI()
{
    if (!Binding) Binding = std::make_unique<tWinsockAPI>();
    return *Binding;
}

void ReleaseWinsockAPI()
{
    Binding.reset();
}

int tWinsockAPI::WSAStartup(uint16_t version)
{
    // POSIX sockets need no start-up; only version 1.1 is offered.
    if (version != 0x0101) return WSAVERNOTSUPPORTED;
    return 0;
}

int tWinsockAPI::WSACleanup()
{
    return 0;
}

int tWinsockAPI::WSAGetLastError() const
{
    return LastApiError;
}

int tWinsockAPI::socket(int af, int type, int protocol)
{
    int fd = ::socket(af, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    return fd < 0 ? Fail() : fd;
}

int tWinsockAPI::connect(int fd, const sockaddr_in &addr)
{
    int r;
    do
        r = ::connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr);
    while (r < 0 && errno == EINTR);
    return r < 0 ? Fail() : r;
}

int tWinsockAPI::closesocket(int fd)
{
    return ::close(fd) < 0 ? Fail() : 0;
}

int tWinsockAPI::send(int fd, const void *buf, int len)
{
    ssize_t r;
    do
        r = ::send(fd, buf, static_cast<size_t>(std::max(len, 0)), MSG_NOSIGNAL);
    while (r < 0 && errno == EINTR);
    return r < 0 ? Fail() : static_cast<int>(r);
}

int tWinsockAPI::recv(int fd, void *buf, int len)
{
    ssize_t r;
    do
        r = ::recv(fd, buf, static_cast<size_t>(std::max(len, 0)), 0);
    while (r < 0 && errno == EINTR);
    return r < 0 ? Fail() : static_cast<int>(r);
}

int tWinsockAPI::ioctlsocket_fionread(int fd, uint32_t *count)
{
    int n = 0;
    if (::ioctl(fd, FIONREAD, &n) < 0) return Fail();
    *count = static_cast<uint32_t>(std::max(n, 0));
    return 0;
}

int tWinsockAPI::getsockerror(int fd, int *error)
{
    int e = 0;
    socklen_t len = sizeof e;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len) < 0) return Fail();
    *error = WinSockErrorFromErrno(e);
    return 0;
}

uint16_t tWinsockAPI::Htons(uint16_t v)
{
    return ::htons(v);
}

uint16_t tWinsockAPI::Ntohs(uint16_t v)
{
    return ::ntohs(v);
}

uint32_t tWinsockAPI::InetAddr(const char *text)
{
    return ::inet_addr(text);
}

std::string tWinsockAPI::InetNtoa(uint32_t addr)
{
    char buf[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = addr;
    ::inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

bool IsDottedAddress(const std::string &text)
{
    return tWinsockAPI::InetAddr(text.substr(0, 101).c_str()) != INADDR_NONE;
}

int OptionsToEventMask(TAsyncOptions options)
{
    return (options.Contains(csoRead) ? seRead : 0) | (options.Contains(csoWrite) ? seWrite : 0) |
           (options.Contains(csoOOB) ? seOOB : 0);
}

// ---------------------------------------------------------------------------------------
// TSocketBase

namespace {
int NextSocketName = 0;
int NextSocketHandle = 1;
} // namespace

TSocketBase::TSocketBase(TSockCtrl *owner) : FOwner(owner)
{
    FPeerAddress.sin_family = AF_INET;
}

TSocketBase::~TSocketBase()
{
    // Only the base part is left here: a subclass has already dropped its watchers.
    if (FFd >= 0) WinsockAPI().closesocket(FFd);
    FFd = -1;
    FSocketHandle = -1;
    if (FOwner) FOwner->SetTimeLeft(0);
}

void TSocketBase::NewHandle(int fd)
{
    FFd = fd;
    FSocketHandle = NextSocketHandle++;
    if (NextSocketHandle < 1) NextSocketHandle = 1;
}

void TSocketBase::ReleaseHandle()
{
    if (FFd >= 0) WinsockAPI().closesocket(FFd);
    FFd = -1;
    FSocketHandle = -1;
}

void TSocketBase::DoRead()
{
    if (FOwner->OnRead) FOwner->OnRead(FOwner, this);
}

void TSocketBase::DoWrite()
{
    if (FOwner->OnWrite) FOwner->OnWrite(FOwner, this);
}

void TSocketBase::DoConnect()
{
    if (auto *client = dynamic_cast<TCustomClientSocket *>(FOwner); client && client->OnConnect)
        client->OnConnect(FOwner, this);
}

void TSocketBase::DoDisconnect()
{
    const int handle = FSocketHandle;
    DoInfo(siDisconnected);
    if (FOwner->OnDisconnect) FOwner->OnDisconnect(FOwner, this);
    // The handler may have closed this connection and opened the next: leave that one alone.
    if (FSocketHandle == handle) Close();
}

void TSocketBase::DoInfo(TSockInfo code)
{
    if (code == siListen)
        FState = ssListening;
    else if (code == siClosed)
        FState = ssIdle;
    if (FOwner->OnInfo) FOwner->OnInfo(FOwner, code, this);
}

void TSocketBase::DoTimeOut()
{
    if (FOwner->OnTimeOut) FOwner->OnTimeOut(FOwner, this);
}

std::string TSocketBase::GetName()
{
    if (FSocketName.empty()) FSocketName = "socket" + std::to_string(NextSocketName++);
    return FSocketName;
}

int TSocketBase::CheckSockResult(int result, int allowed, int context)
{
    if (result == -1) {
        FLastError = WinsockAPI().WSAGetLastError();
        if (FLastError != allowed) RaiseSockError(FLastError, context);
        return 0;
    }
    FLastError = 0;
    return result;
}

int TSocketBase::SendString(const std::string &text)
{
    const std::size_t n = std::min<std::size_t>(text.size(), 255);
    FLastSent = Send(text.data(), static_cast<int>(n));
    return FLastSent;
}

int TSocketBase::BytesPending()
{
    uint32_t count = 0;
    int r = WinsockAPI().ioctlsocket_fionread(FFd, &count);
    CheckSockResult(r, 0, sckBytesPending);
    // Saturate rather than wrap: a count of 65536 must not read as "nothing pending".
    return static_cast<int>(std::min<uint32_t>(count, 65535));
}

void TSocketBase::Close()
{
    FOwner->SetTimeLeft(0);
    FOwner->SetAborted(true);
    if (!WinsockAPI().Started || FSocketHandle == -1) return;
    const int handle = FSocketHandle;
    const bool wasConnected = IsConnected();
    FState = ssClosing;
    if (wasConnected && FOwner->OnRead) {
        // Hand over what is pending now, no more: a peer that keeps sending must not keep
        // the close (and the GUI thread) going. Stop too when a pass reads nothing.
        uint32_t budget = 0;
        WinsockAPI().ioctlsocket_fionread(FFd, &budget);
        const uint64_t start = FReceived;
        while (FSocketHandle == handle && BytesPending() >= 1 && FReceived - start < budget) {
            const uint64_t before = FReceived;
            FOwner->Read(this);
            if (FReceived == before) break;
        }
        if (FSocketHandle != handle) return; // a handler closed the socket meanwhile
    }
    ReleaseHandle(); // the handle is forgotten before siClosed, so its handler may open again
    FLastSent = 0;
    DoInfo(siClosed);
    FOwner->PostNotice(WM_SOCKETCLOSED, 0, reinterpret_cast<intptr_t>(this));
}

// ---------------------------------------------------------------------------------------
// TStreamSocket

struct TStreamWatch
{
    std::unique_ptr<QSocketNotifier> Rd, Wr;
    std::unique_ptr<TConnector> Connector;
    std::string *IPAddress = nullptr; // the owner's, written back with the address reached
    bool NameLookup = false;
    TAsyncOptions Options;
    bool Connecting = false;
    bool ClosePosted = false;
    bool WantWriteNotice = false;
    bool Linger = false; // the handle goes with a closing in order
    std::string Queue;   // bytes SendAll could not hand to the kernel yet
    std::size_t Head = 0;
};

TStreamSocket::TStreamSocket(TSockCtrl *owner) : TSocketBase(owner), FWatch(std::make_unique<TStreamWatch>())
{
}

TStreamSocket::~TStreamSocket()
{
    FWatch->Rd.reset();
    FWatch->Wr.reset();
}

std::unique_ptr<TSocketBase> TStreamSocket::Class(TSockCtrl *owner)
{
    return std::make_unique<TStreamSocket>(owner);
}

void TStreamSocket::SetSocketType(int t)
{
    if (t != 1) RaiseSockError(0, sckBadStreamType);
    FSocketType = t;
}

void TStreamSocket::ReleaseHandle()
{
    if (FWatch->Connector) FWatch->Connector->Cancel();
    FWatch->Rd.reset();
    FWatch->Wr.reset();
    if (FWatch->Linger && FFd >= 0) {
        CloseInOrder(FFd, FWatch->Queue.substr(FWatch->Head));
        FFd = -1;
    }
    FWatch->Queue.clear();
    FWatch->Head = 0;
    FWatch->Connecting = FWatch->ClosePosted = FWatch->WantWriteNotice = FWatch->Linger = false;
    TSocketBase::ReleaseHandle();
}

void TStreamSocket::PostEvent(int kind, int error)
{
    const intptr_t word =
        static_cast<intptr_t>(static_cast<uint32_t>(kind) | (static_cast<uint32_t>(error) << 16));
    FOwner->PostNotice(WM_SOCKETEVENT, FSocketHandle, word);
}

int TStreamSocket::Connect(const std::string &hostName, std::string &ipAddress,
                           const std::string &serviceName, uint16_t port, TAsyncOptions options)
{
    FOwner->SetAborted(false);
    if (!WinsockAPI().Started) RaiseSockError(WSANOTINITIALISED, 0);
    if (IsConnected()) RaiseSockError(WSAEISCONN, 0);

    // A handle left from a failed attempt or lookup is dropped, not leaked.
    if (FSocketHandle != -1) {
        ReleaseHandle();
        FState = ssIdle;
    }
    // The descriptor comes with the connection; the handle names the attempt until then.
    NewHandle(-1);

    DoInfo(siLookUp);
    if (hostName.empty() && ipAddress.empty()) RaiseSockError(0, sckNoAddress);
    if (!serviceName.empty()) port = FOwner->LookupServiceByName(serviceName);
    FPeerAddress = sockaddr_in{};
    FPeerAddress.sin_family = AF_INET;
    FPeerAddress.sin_port = tWinsockAPI::Htons(port);

    PrepareSocket();
    if (FSocketHandle == -1) RaiseSockError(0, sckNotOpen);
    FWatch->Options = options;
    FWatch->IPAddress = &ipAddress;
    FWatch->NameLookup = !hostName.empty();
    if (!FWatch->Connector) {
        FWatch->Connector = std::make_unique<TConnector>();
        FWatch->Connector->OnConnecting = [this](const std::string &first) {
            if (FWatch->NameLookup) *FWatch->IPAddress = first;
            FOwner->StartTimeOut();
            DoInfo(siConnect);
        };
        FWatch->Connector->OnConnected = [this](int fd, const std::string &address) {
            Connected(fd, address);
        };
        FWatch->Connector->OnFailed = [this](int error, bool lookup) {
            PostEvent(lookup ? seLookupFailed : seConnect, error);
        };
    }
    FOwner->StartTimeOut();
    if (FWatch->Connector->Start(FWatch->NameLookup ? hostName : ipAddress, port)) DoInfo(siConnect);
    return 0;
}

void TStreamSocket::Connected(int fd, const std::string &address)
{
    FFd = fd;
    if (FWatch->NameLookup) *FWatch->IPAddress = address;
    in_addr v4{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1) FPeerAddress.sin_addr = v4;
    Register(FWatch->Options); // the first write readiness reports the connection
}

void TStreamSocket::Register(TAsyncOptions options)
{
    FWatch->Rd.reset();
    FWatch->Wr.reset();
    // Urgent data (a Telnet server's Data Mark) stays in the stream: out-of-band events are
    // not reported, and an urgent byte outside the stream would make the socket readable
    // with nothing to read.
    int one = 1;
    ::setsockopt(FFd, SOL_SOCKET, SO_OOBINLINE, &one, sizeof one);
    FWatch->Options = options;
    FWatch->Connecting = true;
    FWatch->ClosePosted = false;
    FWatch->WantWriteNotice = false;
    FWatch->Rd = std::make_unique<QSocketNotifier>(FFd, QSocketNotifier::Read);
    FWatch->Rd->setEnabled(false);
    QObject::connect(FWatch->Rd.get(), &QSocketNotifier::activated, FWatch->Rd.get(),
                     [this] { ReadReady(); });
    // Write readiness first tells that the connect attempt has finished.
    FWatch->Wr = std::make_unique<QSocketNotifier>(FFd, QSocketNotifier::Write);
    QObject::connect(FWatch->Wr.get(), &QSocketNotifier::activated, FWatch->Wr.get(),
                     [this] { WriteReady(); });
}

// Readiness handlers only post notices: no user code runs from inside a notifier.
void TStreamSocket::ReadReady()
{
    FWatch->Rd->setEnabled(false);
    uint32_t pending = 0;
    WinsockAPI().ioctlsocket_fionread(FFd, &pending);
    pollfd p{FFd, POLLIN | POLLRDHUP, 0};
    ::poll(&p, 1, 0);
    const bool hup = p.revents & (POLLRDHUP | POLLHUP | POLLERR);
    if (pending > 0 && FWatch->Options.Contains(csoRead))
        PostEvent(seRead, 0); // again after the next Recv, if data is left
    if (hup) {
        if (!FWatch->ClosePosted) {
            FWatch->ClosePosted = true;
            int err = 0;
            WinsockAPI().getsockerror(FFd, &err);
            PostEvent(seClose, err);
        }
    } else if (pending == 0) {
        FWatch->Rd->setEnabled(true);
    }
}

void TStreamSocket::WriteReady()
{
    if (FWatch->Connecting) {
        FWatch->Connecting = false;
        FWatch->Wr->setEnabled(false);
        int err = 0;
        if (WinsockAPI().getsockerror(FFd, &err) < 0) err = WinsockAPI().WSAGetLastError();
        PostEvent(seConnect, err);
        if (err == 0) {
            FWatch->Rd->setEnabled(true);
            if (FWatch->Options.Contains(csoWrite)) PostEvent(seWrite, 0);
            if (!FWatch->Queue.empty()) FWatch->Wr->setEnabled(true);
        }
        return;
    }
    Flush(true);
}

void TStreamSocket::Flush(bool notify)
{
    std::string &q = FWatch->Queue;
    while (FWatch->Head < q.size()) {
        const std::size_t chunk = std::min<std::size_t>(q.size() - FWatch->Head, 1 << 20);
        int r = WinsockAPI().send(FFd, q.data() + FWatch->Head, static_cast<int>(chunk));
        if (r > 0) {
            FWatch->Head += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && WinsockAPI().WSAGetLastError() == WSAEWOULDBLOCK) break;
        // The connection is gone; its close notice comes from the read side.
        q.clear();
        FWatch->Head = 0;
        break;
    }
    if (FWatch->Head >= q.size()) {
        q.clear();
        FWatch->Head = 0;
    } else if (FWatch->Head > (1u << 20) && FWatch->Head > q.size() / 2) {
        q.erase(0, FWatch->Head);
        FWatch->Head = 0;
    }
    if (!FWatch->Wr) return;
    if (q.empty()) {
        FWatch->Wr->setEnabled(false);
        if (notify && FWatch->WantWriteNotice) {
            FWatch->WantWriteNotice = false;
            if (FWatch->Options.Contains(csoWrite)) PostEvent(seWrite, 0);
        }
    } else {
        FWatch->Wr->setEnabled(true);
    }
}

void TStreamSocket::Close()
{
    if (FSocketHandle != -1 && IsConnected()) {
        if (!FWatch->Queue.empty()) Flush(false);
        FWatch->Linger = true; // what is still queued goes out after the handle is forgotten
    }
    TSocketBase::Close();
    FOwner->StopTimeOut();
}

int TStreamSocket::Send(const void *buffer, int count)
{
    if (count <= 0) return 0;
    DoInfo(siSend);
    if (FSocketHandle == -1 || !IsConnected()) return 0;
    if (!FWatch->Queue.empty()) {
        // Queued bytes go first; the kernel takes nothing more for now.
        FLastError = WSAEWOULDBLOCK;
        FWatch->WantWriteNotice = true;
        return 0;
    }
    int r = CheckSockResult(WinsockAPI().send(FFd, buffer, count), WSAEWOULDBLOCK, sckSending);
    if (FLastError == WSAEWOULDBLOCK && FWatch->Wr) {
        FWatch->WantWriteNotice = true;
        FWatch->Wr->setEnabled(true);
    }
    return r;
}

int TStreamSocket::SendAll(const void *buffer, int count)
{
    if (count <= 0) return 0;
    DoInfo(siSend);
    if (FSocketHandle == -1 || !IsConnected()) return 0;
    const char *p = static_cast<const char *>(buffer);
    int sent = 0;
    if (FWatch->Queue.empty()) {
        sent = CheckSockResult(WinsockAPI().send(FFd, p, count), WSAEWOULDBLOCK, sckSending);
        if (sent == count) return count;
    }
    FWatch->Queue.append(p + sent, static_cast<std::size_t>(count - sent));
    FLastError = 0;
    if (FWatch->Wr && !FWatch->Connecting) FWatch->Wr->setEnabled(true);
    return count;
}

std::size_t TStreamSocket::QueuedBytes() const
{
    return FWatch->Queue.size() - FWatch->Head;
}

int TStreamSocket::Recv(void *buffer, int count)
{
    DoInfo(siRecv);
    if (FSocketHandle == -1 || (FState != ssConnected && FState != ssClosing)) RaiseSockError(0, sckNotOpen);
    int r = CheckSockResult(WinsockAPI().recv(FFd, buffer, count), WSAEWOULDBLOCK, sckReceiving);
    FReceived += static_cast<uint64_t>(r);
    // Re-arm: data left unread (or arriving later) gives another read notice.
    if (FState == ssConnected && FWatch->Rd && !FWatch->ClosePosted && !FWatch->Connecting)
        FWatch->Rd->setEnabled(true);
    return r;
}
