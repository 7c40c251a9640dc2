#include "net/dWinsock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
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

struct DeferredNotice
{
    TSockNotice Notice;
    TSockCtrl *Target;
};

int ControlCount = 0;
int WaitDepth = 0;
std::deque<DeferredNotice> DeferredNotices;
std::vector<TSockCtrl *> LiveControls;

TSockCtrl *ChainHead = nullptr;
int ChainCount = 0;
QPointer<QTimer> TimeOutTicker;

int NextLookupHandle = 1;

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

enum LookupKind { lkHost, lkServByName, lkServByPort };

std::string Lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Names under "invalid" never resolve (RFC 6761); they are answered here, without asking
// any name server.
bool IsReservedInvalid(const std::string &name)
{
    std::string n = Lower(name);
    while (!n.empty() && n.back() == '.')
        n.pop_back();
    return n == "invalid" || (n.size() > 8 && n.compare(n.size() - 8, 8, ".invalid") == 0);
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

int SockWaitDepth()
{
    return WaitDepth;
}

std::size_t SockDeferredCount()
{
    return DeferredNotices.size();
}

int SockControlCount()
{
    return ControlCount;
}

void SockStartup()
{
    tWinsockAPI &api = WinsockAPI();
    if (api.Started) return;
    WaitDepth = 0;
    ControlCount = 0;
    int r = api.WSAStartup(0x0101);
    if (r != 0) RaiseSockError(r, sckStartingUp);
    api.Started = true;
}

void SockCleanup()
{
    if (WinsockAPI().Started && WinsockAPI().WSACleanup() == 0) WinsockAPI().Started = false;
    DeferredNotices.clear();
    WaitDepth = 0;
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
        if (t == WM_SOCKETEVENT || t == WM_SOCKETCLOSED || t == WM_LOOKUPDONE || t == WM_DRAINNOTICES) {
            Ctrl->HandleNotice(static_cast<TNoticeEvent *>(e)->Notice);
            return true;
        }
        return QObject::event(e);
    }

    TSockCtrl *Ctrl;

public slots:
    void HostFound(const QHostInfo &info)
    {
        TSockCtrl::PendingLookup *lookup = nullptr;
        for (TSockCtrl::PendingLookup &p : Ctrl->FPending)
            if (p.QtId == info.lookupId()) lookup = &p;
        if (!lookup) return; // cancelled
        const int handle = lookup->Handle;
        int error = 0;
        uint32_t address = 0;
        if (info.error() == QHostInfo::HostNotFound) {
            error = WSAHOST_NOT_FOUND;
        } else if (info.error() != QHostInfo::NoError) {
            // Qt keeps only the resolver's text; map the retryable failure back.
            error = info.errorString() == QString::fromLocal8Bit(gai_strerror(EAI_AGAIN)) ? WSATRY_AGAIN
                                                                                          : WSANO_RECOVERY;
        } else {
            error = WSANO_DATA;
            for (const QHostAddress &a : info.addresses()) {
                bool ok = false;
                quint32 v4 = a.toIPv4Address(&ok);
                if (ok) {
                    address = htonl(v4);
                    error = 0;
                    break;
                }
            }
        }
        if (error == 0) lookup->HostAddress = address;
        Ctrl->PostNotice(WM_LOOKUPDONE, handle, static_cast<intptr_t>((error << 16) | (error ? 0 : 4)));
    }
};

struct TSockCtrl::WaitRecord
{
    QEventLoop *Loop;
    bool Woken;
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
    ForgetQueued();
    for (const PendingLookup &p : FPending)
        if (p.QtId >= 0) QHostInfo::abortHostLookup(p.QtId);
    FPending.clear();
    FTarget.reset(); // notices still posted to it are dropped with it
    LiveControls.erase(std::remove(LiveControls.begin(), LiveControls.end(), this), LiveControls.end());
    // Held notices for other components must not wait for a drain that was posted here.
    if (WaitDepth == 0 && !DeferredNotices.empty() && !LiveControls.empty())
        LiveControls.front()->PostNotice(WM_DRAINNOTICES, 0, 0);
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
    if (aborted) WakeWaits();
}

void TSockCtrl::WakeWaits()
{
    for (WaitRecord *w : FWaits) {
        w->Woken = true;
        w->Loop->quit();
    }
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

void TSockCtrl::ForgetQueued()
{
    for (DeferredNotice &d : DeferredNotices)
        if (d.Target == this) d.Target = nullptr;
}

void TSockCtrl::HandleNotice(const TSockNotice &notice)
{
    if (QCoreApplication::closingDown() && notice.Msg != WM_SOCKETCLOSED) return;
    Guarded([&] {
        switch (notice.Msg) {
        case WM_SOCKETEVENT:
            if (WaitDepth == 0 && DeferredNotices.empty())
                HandleSocketEvent(notice);
            else
                DeferredNotices.push_back({notice, this});
            break;
        case WM_SOCKETCLOSED:
            ForgetQueued();
            break;
        case WM_LOOKUPDONE:
            if (PendingLookup *lookup = FindLookup(static_cast<int>(notice.WParam))) {
                lookup->Done = true;
                lookup->Error = static_cast<int>((notice.LParam >> 16) & 0xFFFF);
                WakeWaits();
            }
            break;
        default:
            break;
        }
    });
    // One held notice per message handled, so they come out in arrival order, interleaved
    // with the rest of the program's work.
    if (WaitDepth == 0 && !DeferredNotices.empty()) {
        DeferredNotice d = DeferredNotices.front();
        DeferredNotices.pop_front();
        const bool more = !DeferredNotices.empty();
        if (more) PostNotice(WM_DRAINNOTICES, 0, 0);
        if (d.Target) Guarded([&] { d.Target->HandleSocketEvent(d.Notice); });
    }
}

// --- lookups ---------------------------------------------------------------------------

TSockCtrl::PendingLookup *TSockCtrl::FindLookup(int handle)
{
    for (PendingLookup &p : FPending)
        if (p.Handle == handle) return &p;
    return nullptr;
}

int TSockCtrl::WaitForLookup(int handle)
{
    PendingLookup result{handle, -1};
    AwaitLookup(handle, result);
    return result.Error;
}

void TSockCtrl::AwaitLookup(int handle, PendingLookup &result)
{
    ++WaitDepth;
    QEventLoop loop;
    WaitRecord rec{&loop, false};
    FWaits.push_back(&rec);
    bool stop = false;
    auto done = [&] {
        const PendingLookup *p = FindLookup(handle);
        return !p || p->Done;
    };
    while (!done() && !FAborted && !stop) {
        rec.Woken = false;
        loop.exec();
        // Woken by nobody here: the application is leaving its event loops.
        if (!rec.Woken || QCoreApplication::closingDown()) stop = true;
        if (FSocket && FSocket->State() == ssClosing) stop = true;
        if (stop) FTimeLeft = 0;
    }
    FWaits.erase(std::remove(FWaits.begin(), FWaits.end(), &rec), FWaits.end());
    if (--WaitDepth <= 0) {
        WaitDepth = 0;
        PostNotice(WM_DRAINNOTICES, 0, 0);
    }
    const PendingLookup *p = FindLookup(handle);
    if (p && p->Done) {
        result = *p;
    } else {
        result = PendingLookup{handle, -1};
        result.Error = WSAETIMEDOUT;
    }
    CancelLookup(handle); // done or given up: forget it
}

int TSockCtrl::StartLookup(int kind, const std::string &text, uint16_t port)
{
    const int handle = NextLookupHandle++;
    if (NextLookupHandle > 0x7fffffff - 1) NextLookupHandle = 1;
    PendingLookup pending{handle, -1};
    auto done = [this, handle](int error, int length) {
        PostNotice(WM_LOOKUPDONE, handle,
                   static_cast<intptr_t>(((error & 0xFFFF) << 16) | (length & 0xFFFF)));
    };
    if (kind == lkHost) {
        if (IsReservedInvalid(text)) {
            done(WSAHOST_NOT_FOUND, 0);
        } else {
            // A slot by name: Qt frees nothing it allocated for a functor when a lookup is aborted.
            pending.QtId =
                QHostInfo::lookupHost(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())),
                                      FTarget.get(), SLOT(HostFound(QHostInfo)));
            if (pending.QtId < 0) RaiseSockError(WSANO_RECOVERY, sckCallingGetHostByName);
        }
    } else {
        // The services database is a local file: read at once, completed by notice as the
        // host lookup is, so callers see one behaviour.
        servent entry{}, *result = nullptr;
        char buf[4096];
        const std::string proto = Lower(FProtocolName);
        const char *p = proto.empty() ? nullptr : proto.c_str();
        if (kind == lkServByName)
            getservbyname_r(text.c_str(), p, &entry, buf, sizeof buf, &result);
        else
            getservbyport_r(htons(port), p, &entry, buf, sizeof buf, &result);
        if (result) {
            pending.ServPort = ntohs(static_cast<uint16_t>(result->s_port));
            pending.ServName = std::string(result->s_name ? result->s_name : "").substr(0, 255);
            done(0, static_cast<int>(sizeof(servent)));
        } else {
            done(WSANO_DATA, 0);
        }
    }
    FPending.push_back(pending);
    return handle;
}

void TSockCtrl::CancelLookup(int handle)
{
    for (auto it = FPending.begin(); it != FPending.end(); ++it) {
        if (it->Handle == handle) {
            if (it->QtId >= 0) QHostInfo::abortHostLookup(it->QtId);
            FPending.erase(it);
            return;
        }
    }
}

namespace {
// Stops the countdown however a lookup ends.
struct TimeOutScope
{
    TSockCtrl *Ctrl;
    ~TimeOutScope() { Ctrl->StopTimeOut(); }
};
} // namespace

uint32_t TSockCtrl::LookupHostByName(const std::string &name)
{
    const std::string n = name.substr(0, 255);
    StartTimeOut();
    TimeOutScope scope{this};
    PendingLookup result{0, -1};
    AwaitLookup(StartLookup(lkHost, n, 0), result);
    if (result.Error != 0) RaiseSockError(result.Error, sckFindingAddress);
    return result.HostAddress;
}

uint16_t TSockCtrl::LookupServiceByName(const std::string &name)
{
    StartTimeOut();
    TimeOutScope scope{this};
    PendingLookup result{0, -1};
    AwaitLookup(StartLookup(lkServByName, name.substr(0, 255), 0), result);
    return result.Error == 0 ? result.ServPort : 0;
}

std::string TSockCtrl::LookupServiceByPort(uint16_t port)
{
    StartTimeOut();
    TimeOutScope scope{this};
    PendingLookup result{0, -1};
    AwaitLookup(StartLookup(lkServByPort, {}, port), result);
    return result.Error == 0 ? result.ServName : std::string();
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
