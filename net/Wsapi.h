// The binding to the system's sockets and the socket objects built on it.
//
// tWinsockAPI wraps the POSIX calls the layer makes and reports their failures in the
// WinSock numbering (LastError). TSocketBase / TStreamSocket wrap one non-blocking stream
// socket (IPv4 or IPv6) and turn its readiness into notices for the owning component
// (dWinsock.h).
#pragma once

#include "net/dwsError.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <netinet/in.h>
#include <string>

class TSockCtrl;
class TCustomClientSocket;

// One process-wide binding. Start-up needs nothing on POSIX, but Started keeps its meaning:
// until SockStartup the layer refuses to connect with 10093.
class tWinsockAPI
{
public:
    bool Started = false;

    int WSAStartup(uint16_t version); // 0 on success, else an error code
    int WSACleanup();                 // 0 on success
    int WSAGetLastError() const;      // error of the last failed call of this thread

    // Each returns -1 on failure and leaves the translated error for WSAGetLastError.
    int socket(int af, int type, int protocol); // non-blocking, close-on-exec
    int connect(int fd, const sockaddr_in &addr);
    int closesocket(int fd);
    int send(int fd, const void *buf, int len);
    int recv(int fd, void *buf, int len);
    int ioctlsocket_fionread(int fd, uint32_t *count);
    int getsockerror(int fd, int *error); // pending socket error (SO_ERROR), translated

    static uint16_t Htons(uint16_t v);
    static uint16_t Ntohs(uint16_t v);
    static uint32_t InetAddr(const char *text); // INADDR_NONE when it does not convert
    static std::string InetNtoa(uint32_t addr); // network byte order in
};

tWinsockAPI &WinsockAPI();
// Destroys the binding; the next WinsockAPI() creates a fresh, unstarted one.
void ReleaseWinsockAPI();

bool IsDottedAddress(const std::string &text);

enum TSocketState : uint8_t { ssIdle = 0, ssConnected = 1, ssClosing = 2, ssListening = 3 };

enum TAsyncOptionsType { csoRead, csoWrite, csoOOB };

// A set of TAsyncOptionsType.
class TAsyncOptions
{
public:
    constexpr TAsyncOptions() = default;
    constexpr TAsyncOptions(std::initializer_list<TAsyncOptionsType> l)
    {
        for (TAsyncOptionsType t : l)
            FBits |= 1u << t;
    }
    constexpr bool Contains(TAsyncOptionsType t) const { return FBits & (1u << t); }
    constexpr bool operator==(const TAsyncOptions &o) const = default;

private:
    unsigned FBits = 0;
};

// Event kinds of a socket-event notice (low 16 bits of its event word). The error of a
// close notice is 0 when the peer closed in order, else why the connection was lost
// (10054 reset, 10060 time-out or failed keepalive).
enum : int {
    seRead = 1,
    seWrite = 2,
    seOOB = 4,
    seAccept = 8,
    seConnect = 16,
    seClose = 32,
    seLookupFailed = 256, // the host lookup of Connect failed
};

int OptionsToEventMask(TAsyncOptions options);

enum TSockInfo {
    siInactive,
    siLookUp,
    siConnect,
    siConnected,
    siListen,
    siRecv,
    siSend,
    siClosed,
    siTimedOut,
    siAccept,
    siNoSuchSocket,
    siReject,
    siDisconnected
};

class TSocketBase
{
public:
    explicit TSocketBase(TSockCtrl *owner);
    virtual ~TSocketBase();
    TSocketBase(const TSocketBase &) = delete;
    TSocketBase &operator=(const TSocketBase &) = delete;

    virtual void DoRead();
    virtual void DoWrite();
    virtual void DoConnect();
    virtual void DoDisconnect();
    virtual void DoInfo(TSockInfo code);
    virtual void DoTimeOut();
    virtual std::string GetName();
    virtual bool IsConnected() const { return FState == ssConnected; }
    virtual void SetSocketType(int t) { FSocketType = t; }

    virtual int Send(const void *buffer, int count) = 0;
    virtual int Recv(void *buffer, int count) = 0;
    virtual void PrepareSocket() {}
    virtual int Connect(const std::string &hostName, std::string &ipAddress, const std::string &serviceName,
                        uint16_t port, TAsyncOptions options) = 0;
    virtual void Close();

    int SendString(const std::string &text);
    int BytesPending();
    int CheckSockResult(int result, int allowed, int context);

    int LastError() const { return FLastError; }
    // In OnDisconnect: the peer closed in order (not reset, timed out or dead).
    bool ClosedInOrder() const { return FLastError == 0; }
    // Handles are numbered by the layer and never reused, so a notice left over from an
    // earlier connection can never match a later one, even when the kernel reuses the fd.
    int SocketHandle() const { return FSocketHandle; }
    TSockCtrl *Owner() const { return FOwner; }
    // The IPv4 address connected to (family AF_INET, zeros for an IPv6 peer).
    const sockaddr_in &PeerAddress() const { return FPeerAddress; }
    TSocketState State() const { return FState; }
    int LastSent() const { return FLastSent; }
    int SocketType() const { return FSocketType; }

protected:
    friend class TSockCtrl;
    friend class TCustomClientSocket;

    // Subclasses drop their readiness watchers here before the fd goes.
    virtual void ReleaseHandle();
    void NewHandle(int fd);

    int FLastError = 0;
    int FSocketHandle = -1;
    int FFd = -1;
    TSockCtrl *FOwner;
    sockaddr_in FPeerAddress{};
    TSocketState FState = ssIdle;
    int FLastSent = 0;
    int FSocketType = 1;
    std::string FSocketName;
    uint64_t FReceived = 0; // bytes handed out by Recv; lets Close notice a handler that reads nothing
};

struct TStreamWatch;

class TStreamSocket : public TSocketBase
{
public:
    explicit TStreamSocket(TSockCtrl *owner);
    ~TStreamSocket() override;

    // The class value the component's Open takes.
    static std::unique_ptr<TSocketBase> Class(TSockCtrl *owner);

    void SetSocketType(int t) override;
    int Connect(const std::string &hostName, std::string &ipAddress, const std::string &serviceName,
                uint16_t port, TAsyncOptions options) override;
    void Close() override;
    int Send(const void *buffer, int count) override;
    int Recv(void *buffer, int count) override;

    // Sends everything while connected: what the kernel does not take now is queued and
    // sent in order on write readiness. Returns count, or 0 when not connected.
    int SendAll(const void *buffer, int count);
    // Bytes waiting in the queue of SendAll.
    std::size_t QueuedBytes() const;

protected:
    void ReleaseHandle() override;

private:
    friend struct TStreamWatch;
    void Connected(int fd, const std::string &address);
    void Register(TAsyncOptions options);
    void ReadReady();
    void WriteReady();
    void Flush(bool notify);
    void PostEvent(int kind, int error);

    std::unique_ptr<TStreamWatch> FWatch;
};
