// The socket components: TSockCtrl (notices, lookups, time-outs) and the client socket
// TCustomClientSocket / TBasicClientSocket the main window talks to a BBS through.
//
// Everything runs on the GUI thread. Socket readiness, lookup completions and close
// reports reach a component as notices posted to its notification target (a hidden
// QObject) and are handled in the order they were posted. Host and service lookups wait in
// a nested event loop; socket-event notices arriving meanwhile are held and replayed after
// the wait, one per pass of the event loop.
#pragma once

#include "net/Wsapi.h"
#include "net/dwsError.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TSockTarget;

// Notice numbers (the message values 1024 + 1111 ... 1024 + 1115).
enum : int {
    WM_SOCKETEVENT = 2135,  // WParam socket handle; LParam event word: kind | error << 16
    WM_SOCKETCLOSED = 2136, // LParam the closed socket object
    WM_LOOKUPDONE = 2138,   // WParam request handle; LParam error << 16 | result length
    WM_DRAINNOTICES = 2139, // prompts the replay of the next held notice
};

struct TSockNotice
{
    int Msg = 0;
    intptr_t WParam = 0;
    intptr_t LParam = 0;
};

using TSocketEvent = std::function<void(TSockCtrl *Sender, TSocketBase *Socket)>;
using TSockInfoEvent = std::function<void(TSockCtrl *Sender, TSockInfo icode, TSocketBase *Socket)>;
using TSocketClass = std::unique_ptr<TSocketBase> (*)(TSockCtrl *Owner);

// Exceptions thrown by event handlers that the notice machinery or the time-out ticker
// called go here instead of through the event loop. The main window installs its own
// (message box, then disconnect handling for an ESockError); by default the message is
// written to the Qt log.
using TSockExceptionHandler = std::function<void(std::exception_ptr)>;
void SetSockExceptionHandler(TSockExceptionHandler handler);

// Start and stop the socket library (the first component starts it, the last stops it).
void SockStartup();
void SockCleanup();

// Process-wide notice state, readable for diagnostics and tests.
int SockWaitDepth();
std::size_t SockDeferredCount();
int SockControlCount();

class TSockCtrl
{
public:
    TSockCtrl();
    virtual ~TSockCtrl();
    TSockCtrl(const TSockCtrl &) = delete;
    TSockCtrl &operator=(const TSockCtrl &) = delete;

    // Published settings (texts keep at most 255 characters).
    const std::string &Address() const { return FAddress; }
    void SetAddress(const std::string &text);
    const std::string &Port() const { return FPort; }
    void SetPort(const std::string &text); // may run a service lookup in a nested wait
    const std::string &Protocol() const { return FProtocol; }
    void SetProtocol(const std::string &text);
    int TimeOut() const { return FTimeOut; }
    void SetTimeOut(int seconds);
    TAsyncOptions Options() const { return FOptions; }
    void SetOptions(TAsyncOptions options) { FOptions = options; }

    // Derived settings.
    const std::string &HostName() const { return FHostName; }
    const std::string &IPAddress() const { return FIPAddress; }
    const std::string &ServiceName() const { return FServiceName; }
    uint16_t PortNumber() const { return FPortNumber; }
    int ProtocolNumber() const { return FProtocolNumber; }
    const std::string &ProtocolName() const { return FProtocolName; }
    TSocketClass SocketClass() const { return FSocketClass; }

    // The socket object, created (of SocketClass) on first use.
    TSocketBase *Socket();
    bool HasSocket() const { return FSocket != nullptr; }
    virtual void CreateSocket();

    bool Aborted() const { return FAborted; }
    void SetAborted(bool aborted);
    int TimeLeft() const { return FTimeLeft; }
    void SetTimeLeft(int seconds) { FTimeLeft = seconds; }
    bool InTimeOutChain() const { return FInChain; }

    // Lookups through nested waits.
    uint32_t LookupHostByName(const std::string &name);    // network byte order; raises on failure
    uint16_t LookupServiceByName(const std::string &name); // host order; 0 when not found
    std::string LookupServiceByPort(uint16_t port);        // empty when not found

    void StartTimeOut();
    void StopTimeOut();

    // Forwarders to the socket object.
    virtual void Info(TSocketBase *socket, TSockInfo code);
    virtual void Disconnect(TSocketBase *socket);
    virtual void Read(TSocketBase *socket);
    virtual void Write(TSocketBase *socket);
    virtual void FireTimeOut(TSocketBase *socket);

    // Notice machinery.
    void PostNotice(int msg, intptr_t wParam, intptr_t lParam);
    virtual void ForgetQueued();
    virtual void HandleSocketEvent(const TSockNotice &notice) = 0;
    virtual int WaitForLookup(int handle);

    TSockInfoEvent OnInfo;
    TSocketEvent OnDisconnect;
    TSocketEvent OnRead;
    TSocketEvent OnWrite;
    TSocketEvent OnTimeOut;

protected:
    friend class TSockTarget;
    static void TimeOutTick();

    void HandleNotice(const TSockNotice &notice);
    void DestroySocket();
    void SetSocketClass(TSocketClass cls) { FSocketClass = cls; }
    std::string &IPAddressRef() { return FIPAddress; }

private:
    struct WaitRecord;
    // One lookup in flight, with its own result: lookups started during another's wait
    // complete in any order.
    struct PendingLookup
    {
        int Handle;
        int QtId; // -1 when not a host lookup
        bool Done = false;
        int Error = 0;
        uint32_t HostAddress = 0; // network byte order
        uint16_t ServPort = 0;    // host order
        std::string ServName{};
    };
    PendingLookup *FindLookup(int handle);
    // Waits for the lookup and forgets it; its result (error WSAETIMEDOUT when the wait
    // was cut short) goes to `result`.
    void AwaitLookup(int handle, PendingLookup &result);
    int StartLookup(int kind, const std::string &text, uint16_t port);
    void CancelLookup(int handle);
    void WakeWaits();

    std::unique_ptr<TSockTarget> FTarget;
    std::string FAddress, FPort, FProtocol;
    std::string FHostName, FIPAddress = "0.0.0.0", FServiceName, FProtocolName = "tcp";
    uint16_t FPortNumber = 0;
    int FProtocolNumber = 6;
    int FTimeOut = 0;
    TAsyncOptions FOptions;
    TSocketClass FSocketClass;
    std::unique_ptr<TSocketBase> FSocket;
    bool FAborted = false;

    // Time-out chain.
    TSockCtrl *FPrev = nullptr, *FNext = nullptr;
    int FTimeLeft = 0;
    bool FInChain = false;

    // Lookups.
    std::vector<WaitRecord *> FWaits;
    std::vector<PendingLookup> FPending;
};

class TCustomClientSocket : public TSockCtrl
{
public:
    TCustomClientSocket();

    // Starts a connection; completion comes through OnConnect.
    void Open(TSocketClass socketClass = &TStreamSocket::Class);
    void Close();
    void HandleSocketEvent(const TSockNotice &notice) override;
    virtual void ConnectComplete();

    // A send that loses nothing while connected (see TStreamSocket::SendAll).
    int SendAll(const void *buffer, int count);

    TSocketEvent OnConnect;
};

class TBasicClientSocket : public TCustomClientSocket
{
};
