#include "session/secure/TlsTransport.h"

#include "net/Connector.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstring>

namespace {

enum class TTlsStep : uint8_t { Handshake, Judging, Open, Done };

constexpr std::size_t MaxEarly = 1 << 20;

// What certificate verification found; the handshake goes on whatever it finds, so the
// decision can name the fault.
struct TFindings
{
    bool Untrusted = false, Expired = false, NotYetValid = false, WrongName = false;
};

int FindingsIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int Verify(int, X509_STORE_CTX *store)
{
    auto *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *f = ssl ? static_cast<TFindings *>(SSL_get_ex_data(ssl, FindingsIndex())) : nullptr;
    if (!f) return 1;
    switch (X509_STORE_CTX_get_error(store)) {
    case X509_V_OK:
        break;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        f->Expired = true;
        break;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        f->NotYetValid = true;
        break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        f->WrongName = true;
        break;
    default:
        f->Untrusted = true;
        break;
    }
    return 1;
}

// What an OpenSSL printer writes, as text.
template <typename F> std::string Printed(F print)
{
    BIO *bio = BIO_new(BIO_s_mem());
    print(bio);
    char *data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(n > 0 ? n : 0));
    BIO_free(bio);
    return text;
}

std::string TimeText(const ASN1_TIME *t)
{
    return Printed([t](BIO *b) { ASN1_TIME_print(b, t); });
}

std::string NameText(X509_NAME *name)
{
    return Printed(
        [name](BIO *b) { X509_NAME_print_ex(b, name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB); });
}

std::string CommonName(X509 *cert)
{
    char cn[256] = {};
    X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, cn, sizeof cn);
    return cn;
}

} // namespace

struct TTlsState
{
    SSL_CTX *Ctx = nullptr;
    SSL *Ssl = nullptr;
    TFindings Findings;
    TTlsStep Step = TTlsStep::Handshake;
    TOutQueue Out;
    std::string Early;   // received while the user judges the certificate
    std::string Version; // "TLS 1.3"

    ~TTlsState()
    {
        if (Ssl) SSL_free(Ssl);
        if (Ctx) SSL_CTX_free(Ctx);
    }
};

TTlsTransport::TTlsTransport(std::string knownCertsFile) : FKnown(std::move(knownCertsFile), 1)
{
}

TTlsTransport::~TTlsTransport()
{
    Abort();
}

void TTlsTransport::Release()
{
    FTls.reset();
}

std::string TTlsTransport::Security() const
{
    return FTls ? FTls->Version : std::string();
}

void TTlsTransport::Secure()
{
    FTls = std::make_unique<TTlsState>();
    FTls->Ctx = SSL_CTX_new(TLS_client_method());
    if (!FTls->Ctx) {
        Fail("TLS cannot start: " + std::string(ERR_reason_error_string(ERR_get_error())));
        return;
    }
    SSL_CTX_set_min_proto_version(FTls->Ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(FTls->Ctx);
    SSL_CTX_set_verify(FTls->Ctx, SSL_VERIFY_PEER, Verify);
    SSL_CTX_set_mode(FTls->Ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    FTls->Ssl = SSL_new(FTls->Ctx);
    SSL_set_ex_data(FTls->Ssl, FindingsIndex(), &FTls->Findings);
    SSL_set_fd(FTls->Ssl, Fd());
    // The certificate must name what the user wrote: an address in its strict form, or a
    // host name (which "127.1" is).
    const std::string &host = Endpoint().Host;
    const std::string literal = TConnector::AddressLiteral(host);
    const std::string address = literal.substr(0, literal.find('%')); // without an IPv6 zone
    const bool named = address.empty()
                           ? SSL_set_tlsext_host_name(FTls->Ssl, host.c_str()) == 1 &&
                                 SSL_set1_host(FTls->Ssl, host.c_str()) == 1
                           : X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(FTls->Ssl), address.c_str()) == 1;
    if (!named) {
        Fail("TLS with " + HostPort(host, Endpoint().Port) + " cannot start: \"" + host +
             "\" cannot be checked against a certificate.");
        return;
    }
    Pump();
}

std::string TTlsTransport::Failure(int result, const char *during)
{
    const std::string where = HostPort(Endpoint().Host, Endpoint().Port);
    const int error = SSL_get_error(FTls->Ssl, result);
    const unsigned long e = ERR_peek_error();
    std::string reason = e ? ERR_reason_error_string(e) : "";
    ERR_clear_error();
    if (error == SSL_ERROR_ZERO_RETURN ||
        (error == SSL_ERROR_SYSCALL && e == 0 && (result == 0 || errno == 0)) ||
        (error == SSL_ERROR_SSL && reason.find("unexpected eof") != std::string::npos))
        return where + " closed the connection " + during + ".";
    if (error == SSL_ERROR_SYSCALL && e == 0)
        return "The connection to " + where + " failed " + during + ": " + std::strerror(errno) + ".";
    if (reason.find("wrong version number") != std::string::npos ||
        reason.find("packet length too long") != std::string::npos ||
        reason.find("record layer failure") != std::string::npos)
        return where + " did not answer as a TLS server (" + reason + ").";
    if (reason.find("no protocols available") != std::string::npos ||
        reason.find("handshake failure") != std::string::npos ||
        reason.find("no shared cipher") != std::string::npos ||
        reason.find("unsupported protocol") != std::string::npos)
        return "TLS with " + where + " failed: no version or cipher that both sides accept (" + reason + ").";
    return "TLS with " + where + " failed " + during + (reason.empty() ? "." : ": " + reason + ".");
}

void TTlsTransport::Pump()
{
    if (!FTls || !FTls->Ssl) return;
    switch (FTls->Step) {
    case TTlsStep::Handshake: {
        ERR_clear_error();
        errno = 0;
        const int r = SSL_connect(FTls->Ssl);
        if (r == 1) {
            WantWrite(false);
            FTls->Version = SSL_get_version(FTls->Ssl);
            if (FTls->Version.rfind("TLSv", 0) == 0) FTls->Version = "TLS " + FTls->Version.substr(4);
            Judge();
            return;
        }
        const int error = SSL_get_error(FTls->Ssl, r);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            WantWrite(error == SSL_ERROR_WANT_WRITE);
            return;
        }
        Fail(Failure(r, "during the TLS handshake"));
        return;
    }
    case TTlsStep::Judging:
    case TTlsStep::Open:
        ReadAll();
        if (FTls && FTls->Step == TTlsStep::Open) Flush();
        return;
    case TTlsStep::Done:
        return;
    }
}

void TTlsTransport::Judge()
{
    const std::string where = HostPort(Endpoint().Host, Endpoint().Port);
    X509 *cert = SSL_get1_peer_certificate(FTls->Ssl);
    if (!cert) {
        Fail(where + " showed no certificate.");
        return;
    }
    unsigned char *der = nullptr;
    const int len = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der);
    const std::string fingerprint = len > 0 ? Sha256Fingerprint(der, static_cast<std::size_t>(len)) : "";
    OPENSSL_free(der);
    const TFindings f = FTls->Findings;
    const std::string notAfter = TimeText(X509_get0_notAfter(cert));
    const std::string notBefore = TimeText(X509_get0_notBefore(cert));
    const std::string subject = NameText(X509_get_subject_name(cert));
    const std::string issuer = NameText(X509_get_issuer_name(cert));
    const std::string cn = CommonName(cert);
    X509_free(cert);

    if (f.Expired) {
        Fail("The certificate of " + where + " has expired (it was valid until " + notAfter + ").");
        return;
    }
    if (f.NotYetValid) {
        Fail("The certificate of " + where + " is not valid yet (it is valid from " + notBefore + ").");
        return;
    }
    const std::string otherName = "The certificate of " + where + " is for " + (cn.empty() ? subject : cn) +
                                  ", not for " + Endpoint().Host + ".";
    const TTrustEntries known = FKnown.Lookup(where);
    Notice(FKnown.MalformedNotice(known));
    bool accepted = false;
    for (const std::vector<std::string> &k : known.Entries)
        accepted = accepted || k[0] == fingerprint;
    if (!f.Untrusted) {
        if (f.WrongName) {
            Fail(otherName);
            return;
        }
        // An authority now vouches for another certificate than the one the user accepted:
        // taken, as a browser would, but the user hears of it once.
        if (!known.Entries.empty() && !accepted) {
            std::string error;
            const std::string news =
                "The certificate you accepted before was replaced by one that " + issuer + " vouches for";
            Notice(FKnown.Replace(where, where + " " + fingerprint, error)
                       ? news + "; " + FKnown.Path() + " updated."
                       : news + ". " + error);
        }
        Accepted();
        return;
    }
    if (accepted) {
        Accepted();
        return;
    }
    if (!known.Entries.empty()) {
        Fail(ChangedKeyMessage("certificate", where, where, FKnown.Path()));
        return;
    }
    FTls->Step = TTlsStep::Judging;
    TTrustQuestion q{where, "certificate", fingerprint,
                     "Subject: " + subject + "\nIssuer: " + issuer + "\nValid until: " + notAfter,
                     f.WrongName ? otherName : std::string()};
    AskTrust(q, [this, where, fingerprint](bool accept) {
        if (!FTls) return;
        if (!accept) {
            Fail("The certificate of " + where + " was not accepted.");
            return;
        }
        std::string error;
        if (!FKnown.Append(where + " " + fingerprint, error)) {
            Fail(error);
            return;
        }
        Accepted();
    });
}

void TTlsTransport::Accepted()
{
    FTls->Step = TTlsStep::Open;
    Hold(false);
    Connected();
    if (!FTls->Early.empty()) {
        Received(reinterpret_cast<const uint8_t *>(FTls->Early.data()), FTls->Early.size());
        FTls->Early.clear();
    }
    Flush();
    PumpLater(); // records OpenSSL already holds announce no readiness
}

void TTlsTransport::ReadAll()
{
    uint8_t buf[16384];
    for (;;) {
        // While the user judges the certificate, what comes is kept up to a bound; then the
        // peer waits.
        const bool judging = FTls->Step == TTlsStep::Judging;
        if (judging && FTls->Early.size() >= MaxEarly) Hold(true);
        if (!Receiving()) return;
        ERR_clear_error();
        errno = 0;
        const int r = SSL_read(FTls->Ssl, buf, sizeof buf);
        if (r > 0) {
            if (judging) {
                FTls->Early.append(reinterpret_cast<char *>(buf), std::size_t(r));
            } else {
                Received(buf, static_cast<size_t>(r));
            }
            continue;
        }
        const int error = SSL_get_error(FTls->Ssl, r);
        if (error == SSL_ERROR_WANT_READ) return;
        if (error == SSL_ERROR_WANT_WRITE) {
            WantWrite(true);
            return;
        }
        const bool clean =
            error == SSL_ERROR_ZERO_RETURN ||
            (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0 && errno == 0) ||
            (error == SSL_ERROR_SSL &&
             std::string(ERR_reason_error_string(ERR_peek_error()) ?: "").find("unexpected eof") !=
                 std::string::npos);
        if (FTls->Step == TTlsStep::Judging) {
            Fail(HostPort(Endpoint().Host, Endpoint().Port) + " closed the connection.");
        } else if (clean) {
            FTls->Step = TTlsStep::Done;
            Ended(TCloseKind::Clean, "");
        } else {
            FTls->Step = TTlsStep::Done;
            Ended(TCloseKind::Lost, Failure(r, "while connected"));
        }
        return;
    }
}

bool TTlsTransport::Flush()
{
    while (FTls && !FTls->Out.Empty()) {
        ERR_clear_error();
        const int r = SSL_write(FTls->Ssl, FTls->Out.Data(),
                                static_cast<int>(std::min<std::size_t>(FTls->Out.Size(), 1 << 20)));
        if (r > 0) {
            FTls->Out.Consume(static_cast<std::size_t>(r));
            continue;
        }
        const int error = SSL_get_error(FTls->Ssl, r);
        if (error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ) {
            WantWrite(error == SSL_ERROR_WANT_WRITE);
            return false;
        }
        FTls->Step = TTlsStep::Done;
        Ended(TCloseKind::Lost, Failure(r, "while sending"));
        return false;
    }
    WantWrite(false);
    return true;
}

void TTlsTransport::Send(const uint8_t *data, size_t count)
{
    if (!FTls || FTls->Step != TTlsStep::Open || count == 0) return;
    FTls->Out.Append(data, count);
    Flush();
}

TStreamTransport::TLeftover TTlsTransport::Goodbye()
{
    if (!FTls || !FTls->Ssl || FTls->Step != TTlsStep::Open) return nullptr;
    // What is queued goes out after the transport is gone, then close_notify.
    std::shared_ptr<TTlsState> st(std::move(FTls));
    return [st]() -> TFlush {
        while (!st->Out.Empty()) {
            ERR_clear_error();
            const int r = SSL_write(st->Ssl, st->Out.Data(),
                                    static_cast<int>(std::min<std::size_t>(st->Out.Size(), 1 << 20)));
            if (r > 0) {
                st->Out.Consume(static_cast<std::size_t>(r));
                continue;
            }
            const int error = SSL_get_error(st->Ssl, r);
            if (error == SSL_ERROR_WANT_WRITE) return TFlush::WantWrite;
            if (error == SSL_ERROR_WANT_READ) return TFlush::WantRead;
            return TFlush::Done; // the peer is gone
        }
        SSL_shutdown(st->Ssl);
        return TFlush::Done;
    };
}
