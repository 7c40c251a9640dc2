// The socket components: TSockCtrl (notices, service lookups, time-outs) and the client
// socket TCustomClientSocket / TBasicClientSocket a connection to a BBS goes through.
//
// Everything runs on the GUI thread. Socket readiness, the end of a connection attempt and
// close reports reach a component as notices posted to its notification target (a hidden
// QObject) and are handled in the order they were posted. Host names are looked up off the
// GUI thread (net/Connector.h); nothing waits in a nested event loop.
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

// Notice numbers (the message values 1024 + 1111 and 1024 + 1112).
enum : int {
    WM_SOCKETEVENT = 2135,  // WParam socket handle; LParam event word: kind | error << 16
    WM_SOCKETCLOSED = 2136, // LParam the closed socket object
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
// A failure after Open returned that OnConnect does not carry (the host lookup failed).
using TSockErrorEvent = std::function<void(TSockCtrl *Sender, const ESockError &error)>;

// Exceptions thrown by event handlers that the notice machinery or the time-out ticker
// called go here instead of through the event loop. The main window installs its own
// (message box, then disconnect handling for an ESockError); by default the message is
// written to the Qt log.
using TSockExceptionHandler = std::function<void(std::exception_ptr)>;
void SetSockExceptionHandler(TSockExceptionHandler handler);

// Start and stop the socket library (the first component starts it, the last stops it).
void SockStartup();
void SockCleanup();

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
    // A number, or a service name looked up in the local services database.
    void SetPort(const std::string &text);
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

    // Service lookups (the local services database: answered at once).
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
    virtual void HandleSocketEvent(const TSockNotice &notice) = 0;

    TSockInfoEvent OnInfo;
    // Unassigned, such a failure is raised as an ESockError to the exception handler.
    TSockErrorEvent OnError;
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
