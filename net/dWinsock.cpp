#include "net/dWinsock.h"

#include "net/Connector.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <netdb.h>

// ---------------------------------------------------------------------------------------
// Process-wide state (GUI thread only)

namespace {

int ControlCount = 0;
std::vector<TSockCtrl *> LiveControls;

TSockCtrl *ChainHead = nullptr;
int ChainCount = 0;
QPointer<QTimer> TimeOutTicker;

TSockExceptionHandler ExceptionHandler;

bool IsLive(TSockCtrl *c)
{
    return std::find(LiveControls.begin(), LiveControls.end(), c) != LiveControls.end();
}

void ReportException(std::exception_ptr e)
{
    if (ExceptionHandler) {
        ExceptionHandler(e);
        return;
    }
    try {
        std::rethrow_exception(e);
    } catch (const std::exception &x) {
        qWarning("%s", x.what());
    } catch (...) {
        qWarning("unknown exception in a socket event handler");
    }
}

// Guards a call made by the notice machinery: exceptions go to the handler, work goes on.
template <typename F> void Guarded(F &&f)
{
    try {
        f();
    } catch (...) {
        ReportException(std::current_exception());
    }
}

// A number in the sense of the settings: optional blanks and sign, then digits only.
bool ParseNumber(const std::string &text, long long &value)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::size_t start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (i == text.size()) return false;
    for (std::size_t j = i; j < text.size(); ++j)
        if (!std::isdigit(static_cast<unsigned char>(text[j]))) return false;
    errno = 0;
    value = std::strtoll(text.c_str() + start, nullptr, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
    return value != -1;
}

struct ProtoEntry
{
    const char *Name;
    int Number;
};
const ProtoEntry Protocols[] = {{"IP", 0},   {"ICMP", 1}, {"GGP", 2}, {"TCP", 6},  {"PUP", 12},
                                {"UDP", 17}, {"IDP", 22}, {"ND", 77}, {"RAW", 255}};

} // namespace

void SetSockExceptionHandler(TSockExceptionHandler handler)
{
    ExceptionHandler = std::move(handler);
}

int SockControlCount()
{
    return ControlCount;
}

void SockStartup()
{
    tWinsockAPI &api = WinsockAPI();
    if (api.Started) return;
    ControlCount = 0;
    int r = api.WSAStartup(0x0101);
    if (r != 0) RaiseSockError(r, sckStartingUp);
    api.Started = true;
}

void SockCleanup()
{
    if (WinsockAPI().Started && WinsockAPI().WSACleanup() == 0) WinsockAPI().Started = false;
    ReleaseWinsockAPI();
}

// ---------------------------------------------------------------------------------------
// Notification target

class TNoticeEvent : public QEvent
{
public:
    explicit TNoticeEvent(const TSockNotice &n) : QEvent(static_cast<QEvent::Type>(n.Msg)), Notice(n) {}
    TSockNotice Notice;
};

class TSockTarget : public QObject
{
    Q_OBJECT

public:
    explicit TSockTarget(TSockCtrl *ctrl) : Ctrl(ctrl) {}

    bool event(QEvent *e) override
    {
        const int t = e->type();
        if (t == WM_SOCKETEVENT || t == WM_SOCKETCLOSED) {
            Ctrl->HandleNotice(static_cast<TNoticeEvent *>(e)->Notice);
            return true;
        }
        return QObject::event(e);
    }

    TSockCtrl *Ctrl;
};

// ---------------------------------------------------------------------------------------
// TSockCtrl

TSockCtrl::TSockCtrl() : FSocketClass(&TStreamSocket::Class)
{
    FTarget = std::make_unique<TSockTarget>(this);
    SockStartup();
    SetProtocol("tcp");
    ++ControlCount;
    LiveControls.push_back(this);
}

TSockCtrl::~TSockCtrl()
{
    StopTimeOut();
    DestroySocket();
    FTarget.reset(); // notices still posted to it are dropped with it
    LiveControls.erase(std::remove(LiveControls.begin(), LiveControls.end(), this), LiveControls.end());
    if (--ControlCount < 1) SockCleanup();
}

void TSockCtrl::DestroySocket()
{
    FSocket.reset();
    FTimeLeft = 0;
}

void TSockCtrl::SetAddress(const std::string &text)
{
    FAddress = text.substr(0, 255);
    if (IsDottedAddress(FAddress)) {
        FIPAddress = FAddress;
        FHostName.clear();
    } else if (std::string v6 = TConnector::AddressLiteral(FAddress); v6.find(':') != std::string::npos) {
        FIPAddress = v6; // an IPv6 address, kept without its brackets
        FHostName.clear();
    } else {
        FHostName = FAddress;
        FIPAddress.clear();
    }
}

void TSockCtrl::SetPort(const std::string &text)
{
    FPort = text.substr(0, 255);
    long long n;
    if (ParseNumber(FPort, n)) {
        FPortNumber = static_cast<uint16_t>(n);
        FServiceName = WinsockAPI().Started ? LookupServiceByPort(FPortNumber) : std::string();
    } else {
        FServiceName = FPort;
        FPortNumber = WinsockAPI().Started ? LookupServiceByName(FPort) : 0;
    }
}

void TSockCtrl::SetProtocol(const std::string &text)
{
    FProtocol = text.substr(0, 255);
    long long n;
    if (ParseNumber(FProtocol, n)) {
        FProtocolNumber = static_cast<int>(n);
        FProtocolName.clear();
        for (const ProtoEntry &p : Protocols)
            if (p.Number == FProtocolNumber) FProtocolName = p.Name;
    } else {
        FProtocolName = FProtocol;
        FProtocolNumber = -1;
        std::string upper = FProtocol;
        for (char &c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const ProtoEntry &p : Protocols)
            if (upper == p.Name) FProtocolNumber = p.Number;
    }
}

void TSockCtrl::SetTimeOut(int seconds)
{
    FTimeOut = seconds < 0 ? 0 : seconds;
}

TSocketBase *TSockCtrl::Socket()
{
    if (!FSocket) CreateSocket();
    return FSocket.get();
}

void TSockCtrl::CreateSocket()
{
    if (!FSocketClass) RaiseSockError(0, sckNoSocketClass);
    FSocket = FSocketClass(this);
}

void TSockCtrl::SetAborted(bool aborted)
{
    FAborted = aborted;
}

void TSockCtrl::Info(TSocketBase *socket, TSockInfo code)
{
    socket->DoInfo(code);
}

void TSockCtrl::Disconnect(TSocketBase *socket)
{
    socket->DoDisconnect();
}

void TSockCtrl::Read(TSocketBase *socket)
{
    socket->DoRead();
}

void TSockCtrl::Write(TSocketBase *socket)
{
    socket->DoWrite();
}

void TSockCtrl::FireTimeOut(TSocketBase *socket)
{
    SetAborted(true);
    socket->DoTimeOut();
}

// --- notices ---------------------------------------------------------------------------

void TSockCtrl::PostNotice(int msg, intptr_t wParam, intptr_t lParam)
{
    QCoreApplication::postEvent(FTarget.get(), new TNoticeEvent(TSockNotice{msg, wParam, lParam}));
}

void TSockCtrl::HandleNotice(const TSockNotice &notice)
{
    if (QCoreApplication::closingDown() && notice.Msg != WM_SOCKETCLOSED) return;
    if (notice.Msg == WM_SOCKETEVENT) Guarded([&] { HandleSocketEvent(notice); });
}

// --- service lookups ---------------------------------------------------------------------

namespace {
// The services database is a local file: read at once.
bool FindService(const char *name, uint16_t port, const std::string &protocol, uint16_t &foundPort,
                 std::string &foundName)
{
    servent entry{}, *result = nullptr;
    char buf[4096];
    std::string proto = protocol;
    for (char &c : proto)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const char *p = proto.empty() ? nullptr : proto.c_str();
    if (name)
        getservbyname_r(name, p, &entry, buf, sizeof buf, &result);
    else
        getservbyport_r(htons(port), p, &entry, buf, sizeof buf, &result);
    if (!result) return false;
    foundPort = ntohs(static_cast<uint16_t>(result->s_port));
    foundName = std::string(result->s_name ? result->s_name : "").substr(0, 255);
    return true;
}
} // namespace

uint16_t TSockCtrl::LookupServiceByName(const std::string &name)
{
    uint16_t port = 0;
    std::string found;
    return FindService(name.substr(0, 255).c_str(), 0, FProtocolName, port, found) ? port : 0;
}

std::string TSockCtrl::LookupServiceByPort(uint16_t port)
{
    uint16_t found = 0;
    std::string name;
    return FindService(nullptr, port, FProtocolName, found, name) ? name : std::string();
}

// --- time-out chain ---------------------------------------------------------------------

void TSockCtrl::StartTimeOut()
{
    if (FTimeOut <= 0 || !OnTimeOut) return;
    if (FInChain) StopTimeOut();
    if (!TimeOutTicker) {
        TimeOutTicker = new QTimer(QCoreApplication::instance());
        TimeOutTicker->setInterval(1000);
        QObject::connect(TimeOutTicker, &QTimer::timeout, TimeOutTicker, [] { TSockCtrl::TimeOutTick(); });
    }
    FNext = ChainHead;
    FPrev = nullptr;
    if (ChainHead) ChainHead->FPrev = this;
    ChainHead = this;
    FInChain = true;
    FTimeLeft = FTimeOut;
    FAborted = false;
    if (++ChainCount == 1) TimeOutTicker->start();
}

void TSockCtrl::StopTimeOut()
{
    if (!FInChain) return;
    if (FPrev) FPrev->FNext = FNext;
    if (FNext) FNext->FPrev = FPrev;
    if (ChainHead == this) ChainHead = FNext;
    FPrev = FNext = nullptr;
    FInChain = false;
    if (--ChainCount <= 0) {
        ChainCount = 0;
        if (TimeOutTicker) TimeOutTicker->stop();
    }
}

void TSockCtrl::TimeOutTick()
{
    // Tail to head. Handlers may stop, close or destroy any member, so the members are
    // collected first and each is checked again before it is touched.
    std::vector<TSockCtrl *> members;
    for (TSockCtrl *c = ChainHead; c; c = c->FNext)
        members.push_back(c);
    for (auto it = members.rbegin(); it != members.rend(); ++it) {
        TSockCtrl *c = *it;
        if (!IsLive(c) || !c->FInChain) continue;
        if (c->FTimeLeft > 0) --c->FTimeLeft;
        if (c->FTimeLeft == 0) {
            c->StopTimeOut();
            Guarded([c] {
                TSocketBase *s = c->Socket();
                c->Info(s, siTimedOut);
                if (IsLive(c)) c->FireTimeOut(c->Socket());
            });
        }
    }
}

// ---------------------------------------------------------------------------------------
// TCustomClientSocket

TCustomClientSocket::TCustomClientSocket()
{
    SetOptions({csoRead, csoWrite});
}

void TCustomClientSocket::Open(TSocketClass socketClass)
{
    if (HasSocket() && Socket()->IsConnected()) RaiseSockError(0, sckAlreadyOpened);
    if (socketClass != SocketClass()) {
        DestroySocket();
        SetSocketClass(socketClass);
    }
    // The looked-up address is written back into IPAddress.
    Socket()->Connect(HostName(), IPAddressRef(), ServiceName(), PortNumber(), Options());
}

void TCustomClientSocket::Close()
{
    if (!HasSocket()) return;
    StopTimeOut();
    Socket()->Close();
}

int TCustomClientSocket::SendAll(const void *buffer, int count)
{
    if (auto *s = dynamic_cast<TStreamSocket *>(Socket())) return s->SendAll(buffer, count);
    return Socket()->Send(buffer, count);
}

void TCustomClientSocket::HandleSocketEvent(const TSockNotice &notice)
{
    TSocketBase *s = Socket();
    const int handle = s->SocketHandle();
    if (handle == -1 || notice.WParam != handle) return; // left over from an earlier connection
    s->FLastError = static_cast<int>((notice.LParam >> 16) & 0xFFFF);
    switch (notice.LParam & 0xFFFF) {
    case seRead:
        if (!s->IsConnected() && s->FFd < 0) return; // nothing to read before the connection
        if (!s->IsConnected()) {
            ConnectComplete();
            if (s->SocketHandle() != handle || !s->IsConnected()) return;
        }
        Read(s);
        break;
    case seWrite:
        Write(s);
        break;
    case seConnect:
        if (!s->IsConnected()) ConnectComplete();
        break;
    case seClose:
        if (s->IsConnected()) StopTimeOut();
        Disconnect(s);
        break;
    case seLookupFailed: {
        StopTimeOut();
        const ESockError error(SockErrorMessage(s->FLastError, sckFindingAddress));
        if (!OnError) throw error;
        OnError(this, error);
        break;
    }
    default:
        break;
    }
}

void TCustomClientSocket::ConnectComplete()
{
    StopTimeOut();
    TSocketBase *s = Socket();
    if (s->LastError() == 0) {
        s->FState = ssConnected;
        Info(s, siConnected);
    }
    s->DoConnect();
}

#include "dWinsock.moc"
