// Error services of the socket layer: WinSock-numbered error codes and their texts,
// the context texts that say what was being done, and the exception they travel in.
#pragma once

#include <stdexcept>
#include <string>

// Error codes in the WinSock numbering (10000 + the classic BSD number; 11001-11004 for
// the resolver). The texts keep their meaning on POSIX because every errno and resolver
// result is translated into this numbering before it reaches LastError or a message.
enum : int {
    WSAEINTR = 10004,
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETOOMANYREFS = 10059,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAELOOP = 10062,
    WSAENAMETOOLONG = 10063,
    WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065,
    WSAENOTEMPTY = 10066,
    WSAEPROCLIM = 10067,
    WSAEUSERS = 10068,
    WSAEDQUOT = 10069,
    WSAESTALE = 10070,
    WSAEREMOTE = 10071,
    WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092,
    WSANOTINITIALISED = 10093,
    WSAEDISCON = 10101,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// Context codes: what the layer was doing when the error happened.
enum : int {
    sckFindingAddress = 20001,
    sckCallingGetHostByAddr = 20002,
    sckCallingGetHostByName = 20003,
    sckCallingGetServByName = 20004,
    sckCallingGetServByPort = 20005,
    sckFindingHost = 20006,
    sckBinding = 20007,
    sckConnecting = 20008,
    sckCreatingSocket = 20009,
    sckGetPeerName = 20010,
    sckGetSockName = 20011,
    sckBytesPending = 20012,
    sckListening = 20013,
    sckReceiving = 20014,
    sckSending = 20015,
    sckStartingUp = 20016,
    sckNoAddress = 20017,
    sckNotOpen = 20018,
    sckReverseZero = 20019,
    sckAlreadyOpened = 20020,
    sckDatagramTooBig = 20021,
    sckDllLoaded = 20022,
    sckBadStreamType = 20023,
    sckBadDatagramType = 20024,
    sckPeeking = 20025,
    sckNoSocketClass = 20026,
};

class ESockError : public std::runtime_error
{
public:
    explicit ESockError(const std::string &message) : std::runtime_error(message) {}
};

// Text of an error code: empty for 0, "Unknown Error %d" for a code without text.
std::string SockErrorText(int code);

// The message RaiseSockError would raise: the context text with the code and its text
// filled in, the context text alone, or the error text when there is no context.
std::string SockErrorMessage(int code, int context);

[[noreturn]] void RaiseSockError(int code, int context);

// Translations into the WinSock numbering.
int WinSockErrorFromErrno(int err);
int WinSockErrorFromGai(int gaiError, int savedErrno = 0);
