#include "session/secure/HostProbe.h"

#include "session/secure/StreamTransport.h"
#include "session/secure/TrustStore.h"

#include <libssh/libssh.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;
constexpr int SliceMs = 100;        // how often a waiting probe looks at the stop flag
constexpr int TelnetQuietMs = 1500; // how long a Telnet host may take to say something

struct TDeadline
{
    TClock::time_point Start = TClock::now();
    TClock::time_point End;
    const std::atomic<bool> &Stop;
    int Elapsed() const
    {
        return int(std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - Start).count());
    }
    int Left() const
    {
        return int(std::chrono::duration_cast<std::chrono::milliseconds>(End - TClock::now()).count());
    }
};

// Waits for events on fd until they come, the deadline passes or stop is set: the poll result.
int WaitFor(int fd, short events, const TDeadline &d, TClock::time_point until)
{
    for (;;) {
        if (d.Stop) return -2;
        const int left =
            int(std::chrono::duration_cast<std::chrono::milliseconds>(std::min(until, d.End) - TClock::now())
                    .count());
        if (left <= 0) return 0;
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, std::min(left, SliceMs));
        if (r > 0) return p.revents;
        if (r < 0 && errno != EINTR) return -1;
    }
}

struct TFd
{
    int Fd = -1;
    ~TFd()
    {
        if (Fd >= 0) ::close(Fd);
    }
};

std::string TimedOut(const TDeadline &d)
{
    const long ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(d.End - d.Start).count());
    return "no answer within " + (ms % 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + " s");
}

// The TCP connection; error text on failure.
int Connect(const TProbeTarget &t, TDeadline &d, std::string &error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *list = nullptr;
    const std::string port = std::to_string(t.Port);
    if (const int r = ::getaddrinfo(t.Host.c_str(), port.c_str(), &hints, &list); r != 0 || !list) {
        error = r == EAI_NONAME || r == EAI_NODATA
                    ? "the name " + t.Host + " is not known"
                    : "the name " + t.Host + " could not be looked up (" + ::gai_strerror(r) + ")";
        return -1;
    }
    error = "nothing answered";
    int fd = -1;
    for (addrinfo *a = list; a && fd < 0 && !d.Stop; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        int soError = r == 0 ? 0 : errno;
        if (soError == EINPROGRESS) {
            const int ready = WaitFor(fd, POLLOUT, d, d.End);
            socklen_t len = sizeof soError;
            if (ready > 0)
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
            else
                soError = ETIMEDOUT;
        }
        if (soError != 0) {
            error = soError == ECONNREFUSED ? "connection refused (nothing listens there)"
                    : soError == ETIMEDOUT  ? TimedOut(d)
                                            : std::string(std::strerror(soError));
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(list);
    return fd;
}

std::string OptionName(uint8_t option)
{
    switch (option) {
    case 0:
        return "BINARY";
    case 1:
        return "ECHO";
    case 3:
        return "SGA";
    case 5:
        return "STATUS";
    case 6:
        return "TIMING-MARK";
    case 24:
        return "TTYPE";
    case 31:
        return "NAWS";
    case 32:
        return "TSPEED";
    case 33:
        return "LFLOW";
    case 34:
        return "LINEMODE";
    case 35:
        return "XDISPLOC";
    case 36:
        return "ENVIRON";
    case 39:
        return "NEW-ENVIRON";
    case 42:
        return "CHARSET";
    }
    return std::to_string(option);
}

// Listens without sending: the options the host offers or asks for before its first text.
void ProbeTelnet(int fd, const TDeadline &d, TProbeResult &r)
{
    static const char *const verbs[] = {"WILL", "WONT", "DO", "DONT"};
    std::vector<std::string> seen;
    bool text = false, closed = false;
    enum { Data, Iac, Verb, Sb, SbIac } state = Data;
    uint8_t verb = 0;
    const TClock::time_point quiet = TClock::now() + std::chrono::milliseconds(TelnetQuietMs);
    while (!text) {
        const int ready = WaitFor(fd, POLLIN, d, quiet);
        if (ready <= 0) break;
        uint8_t buf[512];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            closed = true;
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const uint8_t b = buf[i];
            switch (state) {
            case Data:
                if (b == 255)
                    state = Iac;
                else
                    text = true;
                break;
            case Iac:
                if (b >= 251 && b <= 254) {
                    verb = b;
                    state = Verb;
                } else {
                    state = b == 250 ? Sb : Data;
                }
                break;
            case Verb: {
                const std::string item = std::string(verbs[verb - 251]) + " " + OptionName(b);
                if (std::find(seen.begin(), seen.end(), item) == seen.end()) seen.push_back(item);
                state = Data;
                break;
            }
            case Sb:
                state = b == 255 ? SbIac : Sb;
                break;
            case SbIac:
                state = b == 240 ? Data : Sb;
                break;
            }
        }
    }
    r.Answered = !closed || !seen.empty() || text; // a host that listens and waits is up too
    std::string list;
    for (const std::string &s : seen)
        list += (list.empty() ? "" : ", ") + s;
    if (!seen.empty())
        r.Text = "Telnet: " + list;
    else if (text)
        r.Text = "text without Telnet options";
    else if (closed)
        r.Text = "it closed the connection without a word";
    else
        r.Text = "connected; silent for " + std::to_string(TelnetQuietMs / 1000.0).substr(0, 3) + " s";
}

void ProbeTls(int fd, const TProbeTarget &t, const TDeadline &d, TProbeResult &r)
{
    SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        r.Text = "TLS cannot start";
        return;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr); // judged below, as the connection would
    SSL *ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    in6_addr any{};
    const bool literal =
        ::inet_pton(AF_INET, t.Host.c_str(), &any) == 1 || ::inet_pton(AF_INET6, t.Host.c_str(), &any) == 1;
    if (literal) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), t.Host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, t.Host.c_str());
        SSL_set1_host(ssl, t.Host.c_str());
    }
    for (;;) {
        ERR_clear_error();
        const int c = SSL_connect(ssl);
        if (c == 1) break;
        const int e = SSL_get_error(ssl, c);
        if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
            const unsigned long code = ERR_get_error();
            r.Text = code ? std::string("no TLS: ") + ERR_reason_error_string(code)
                          : "it closed during the TLS handshake";
            break;
        }
        const int ready = WaitFor(fd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, d, d.End);
        if (ready <= 0) {
            r.Text = ready == 0 ? "TLS handshake: " + TimedOut(d) : "the TLS handshake failed";
            break;
        }
    }
    if (r.Text.empty()) {
        r.Answered = true;
        std::string version = SSL_get_version(ssl);
        if (version.rfind("TLSv", 0) == 0) version = "TLS " + version.substr(4);
        const long verify = SSL_get_verify_result(ssl);
        std::string trust;
        if (verify == X509_V_OK) {
            trust = "certificate trusted";
        } else {
            std::string fingerprint;
            if (X509 *cert = SSL_get1_peer_certificate(ssl)) {
                unsigned char *der = nullptr;
                const int len = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der);
                if (len > 0) fingerprint = Sha256Fingerprint(der, size_t(len));
                OPENSSL_free(der);
                X509_free(cert);
            }
            const TTrustEntries known =
                TTrustFile(t.KnownCertsFile, 1).Lookup(TStreamTransport::HostPort(t.Host, t.Port));
            bool accepted = false;
            for (const std::vector<std::string> &k : known.Entries)
                accepted = accepted || (!fingerprint.empty() && k[0] == fingerprint);
            if (accepted)
                trust = "certificate accepted before";
            else
                trust =
                    std::string("certificate not trusted (") + X509_verify_cert_error_string(verify) + ")";
        }
        r.Text = version + ", " + trust;
    }
    SSL_free(ssl); // no close_notify: nothing is sent beyond the handshake
    SSL_CTX_free(ctx);
}

void ProbeSsh(int fd, const TProbeTarget &t, const TDeadline &d, TProbeResult &r)
{
    ssh_session s = ssh_new();
    if (!s) {
        r.Text = "SSH cannot start";
        return;
    }
    socket_t copy = ::dup(fd); // libssh closes what it is given
    const unsigned port = t.Port;
    const int off = 0;
    ssh_options_set(s, SSH_OPTIONS_FD, &copy);
    ssh_options_set(s, SSH_OPTIONS_HOST, t.Host.c_str());
    ssh_options_set(s, SSH_OPTIONS_PORT, &port);
    ssh_options_set(s, SSH_OPTIONS_PROCESS_CONFIG, &off);
    ssh_options_set(s, SSH_OPTIONS_KNOWNHOSTS, t.KnownHostsFile.c_str());
    ssh_set_blocking(s, 0);
    int c = SSH_AGAIN;
    while ((c = ssh_connect(s)) == SSH_AGAIN) {
        const short events = POLLIN | ((ssh_get_poll_flags(s) & SSH_WRITE_PENDING) ? POLLOUT : 0);
        if (WaitFor(fd, events, d, d.End) <= 0) break;
    }
    const char *banner = ssh_get_serverbanner(s);
    std::string text = banner ? banner : "";
    if (c == SSH_OK) {
        r.Answered = true;
        ssh_key key = nullptr;
        if (ssh_get_server_publickey(s, &key) == SSH_OK) {
            text += std::string(", ") + ssh_key_type_to_char(ssh_key_type(key));
            ssh_key_free(key);
        }
        switch (ssh_session_is_known_server(s)) {
        case SSH_KNOWN_HOSTS_OK:
            text += ", key accepted before";
            break;
        case SSH_KNOWN_HOSTS_CHANGED:
        case SSH_KNOWN_HOSTS_OTHER:
            text += ", KEY CHANGED since it was accepted";
            break;
        default:
            text += ", key not accepted yet";
            break;
        }
    } else if (c == SSH_AGAIN) {
        text = (text.empty() ? "" : text + "; ") + "SSH handshake: " + TimedOut(d);
    } else {
        const std::string why = ssh_get_error(s);
        text = text.empty() ? "no SSH: " + why : text + "; the handshake failed: " + why;
    }
    r.Text = text;
    ssh_free(s); // closes its copy of the descriptor; no disconnect message is sent
}

} // namespace

TProbeResult ProbeHost(const TProbeTarget &target, int timeoutMs, const std::atomic<bool> &stop)
{
    TDeadline d{TClock::now(), TClock::now() + std::chrono::milliseconds(timeoutMs), stop};
    TProbeResult r;
    std::string error;
    TFd fd{Connect(target, d, error)};
    if (fd.Fd < 0) {
        r.Text = d.Stop ? "stopped" : error;
        return r;
    }
    r.ConnectMs = d.Elapsed();
    switch (target.Transport) {
    case THostTransport::Tcp:
        ProbeTelnet(fd.Fd, d, r);
        break;
    case THostTransport::Tls:
        ProbeTls(fd.Fd, target, d, r);
        break;
    case THostTransport::Ssh:
        ProbeSsh(fd.Fd, target, d, r);
        break;
    }
    if (d.Stop) r.Text = "stopped";
    return r;
}

struct TProberState
{
    std::mutex Lock;
    std::atomic<bool> Stop{false};
    THostProber::TDone Done;
    std::vector<TProbeTarget> Targets;
    std::atomic<size_t> Next{0};
    int TimeoutMs = 0;
    std::vector<std::thread> Workers;
};

THostProber::THostProber(TDone done, int atOnce, int timeoutMs) : FState(std::make_shared<TProberState>())
{
    FState->Done = std::move(done);
    FState->TimeoutMs = timeoutMs;
    FAtOnce = std::max(1, atOnce);
}

THostProber::~THostProber()
{
    Stop();
}

void THostProber::Stop()
{
    FState->Stop = true;
    for (std::thread &w : FState->Workers)
        if (w.joinable()) w.join();
    FState->Workers.clear();
}

void THostProber::Start(std::vector<TProbeTarget> targets)
{
    Stop();
    FState->Stop = false;
    FState->Targets = std::move(targets);
    FState->Next = 0;
    const size_t workers = std::min(size_t(FAtOnce), FState->Targets.size());
    for (size_t i = 0; i < workers; ++i)
        FState->Workers.emplace_back([state = FState.get()] {
            for (;;) {
                const size_t index = state->Next++;
                if (state->Stop || index >= state->Targets.size()) return;
                const TProbeResult r = ProbeHost(state->Targets[index], state->TimeoutMs, state->Stop);
                std::lock_guard<std::mutex> hold(state->Lock);
                if (!state->Stop) state->Done(index, r);
            }
        });
}
