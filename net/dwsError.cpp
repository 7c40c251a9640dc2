#include "net/dwsError.h"

#include <cctype>
#include <cerrno>
#include <netdb.h>
#include <utility>

namespace {

struct CodeText
{
    int code;
    const char *text;
};

const CodeText ErrorTexts[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation, already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Net dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No Route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc Quota Exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network SubSystem is unavailable"},
    {10092, "WINSOCK DLL Version out of range"},
    {10093, "Successful WSASTARTUP not yet performed"},
    {10101, "Socket Disconnected"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable errors: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

const CodeText ContextTexts[] = {
    {20001, "Error %d (%s) finding address for host"},
    {20002, "Error %d (%s) calling WSAAsyncGetHostByAddr"},
    {20003, "Error %d (%s) calling WSAAsyncGetHostByName"},
    {20004, "Error %d (%s) calling WSAAsyncGetServByName"},
    {20005, "Error %d (%s) calling WSAAsyncGetServByPort"},
    {20006, "Error %d (%s) finding host for address"},
    {20007, "Error %d (%s) Binding Socket"},
    {20008, "Error %d (%s) connecting"},
    {20009, "Error %d (%s) creating new socket"},
    {20010, "Error %d (%s) calling getpeername"},
    {20011, "Error %d (%s) calling getsockname"},
    {20012, "Error %d (%s) getting # of bytes in Receive Buffer"},
    {20013, "Error %d (%s) listining"},
    {20014, "Error %d (%s) recieving"},
    {20015, "Error %d (%s) sending"},
    {20016, "Error %d (%s) starting up WinSock"},
    {20017, "No address specified"},
    {20018, "Socket not open"},
    {20019, "Can't do reverse lookup on address 0.0.0.0"},
    {20020, "Socket Already opened"},
    {20021, "Datagram exceeds Winsock's max UDP packet size"},
    {20022, "Winsock DLL Already Loaded, Cannot change name"},
    {20023, "Invalid type for a Stream socket"},
    {20024, "Invalid type for a Datagram socket"},
    {20025, "Error %d (%s) peeking"},
    {20026, "No Socket Class Defined"},
};

template <std::size_t N> const char *Find(const CodeText (&table)[N], int code)
{
    for (const CodeText &e : table)
        if (e.code == code) return e.text;
    return nullptr;
}

// Fills the %d / %s directives of a format in order with ready-made texts.
std::string Fill(const std::string &format, const std::string &first, const std::string &second)
{
    std::string out;
    const std::string *args[] = {&first, &second};
    int next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            char d = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i + 1])));
            if (d == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((d == 'd' || d == 's') && next < 2) {
                out += *args[next++];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace

std::string SockErrorText(int code)
{
    if (code == 0) return {};
    if (const char *t = Find(ErrorTexts, code)) return std::string(t).substr(0, 255);
    return "Unknown Error " + std::to_string(code);
}

std::string SockErrorMessage(int code, int context)
{
    const char *c = context ? Find(ContextTexts, context) : nullptr;
    std::string ctx = c ? c : "";
    if (ctx.empty()) return SockErrorText(code);
    std::string upper = ctx;
    for (char &ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    auto d = upper.find("%D");
    auto s = upper.find("%S");
    if (d == std::string::npos && s == std::string::npos) return ctx;
    if (d != std::string::npos && s != std::string::npos && d < s)
        return Fill(ctx, std::to_string(code), SockErrorText(code));
    return Fill(ctx, SockErrorText(code), std::to_string(code));
}

void RaiseSockError(int code, int context)
{
    throw ESockError(SockErrorMessage(code, context));
}

int WinSockErrorFromErrno(int err)
{
    switch (err) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EBADF:
        return WSAEBADF;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS: // a non-blocking connect under way reads as "would block" here
        return WSAEWOULDBLOCK;
    case EALREADY:
        return WSAEALREADY;
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EDESTADDRREQ:
        return WSAEDESTADDRREQ;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return WSAEPROTOTYPE;
    case ENOPROTOOPT:
        return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
        return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
    case EPIPE:
        return WSAESHUTDOWN;
    case ETOOMANYREFS:
        return WSAETOOMANYREFS;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case ELOOP:
        return WSAELOOP;
    case ENAMETOOLONG:
        return WSAENAMETOOLONG;
    case EHOSTDOWN:
        return WSAEHOSTDOWN;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    case ENOTEMPTY:
        return WSAENOTEMPTY;
    case EUSERS:
        return WSAEUSERS;
    case EDQUOT:
        return WSAEDQUOT;
    case ESTALE:
        return WSAESTALE;
    case EREMOTE:
        return WSAEREMOTE;
    default:
        break;
    }
    // Linux numbers its errors differently from BSD: an untranslated errno must not land on
    // a code whose text says something else ("would block" above all).
    int code = 10000 + err;
    return Find(ErrorTexts, code) ? 10200 + err : code;
}

int WinSockErrorFromGai(int gaiError, int savedErrno)
{
    switch (gaiError) {
    case 0:
        return 0;
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    case EAI_FAIL:
        return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        return WSANO_DATA;
    case EAI_MEMORY:
        return WSAENOBUFS;
    case EAI_SYSTEM:
        return savedErrno ? WinSockErrorFromErrno(savedErrno) : WSANO_RECOVERY;
    default:
        return WSAEINVAL;
    }
}
