// Telnet over TLS (OpenSSL), driven without blocking on the event loop. A certificate that
// a system CA vouches for and whose name matches is accepted at once; any other is trusted
// on first use through the listener and remembered in the known-certificates file; an
// expired certificate, a CA-vouched one for another name and a changed one are refused.
#pragma once

#include "session/secure/StreamTransport.h"
#include "session/secure/TrustStore.h"

#include <string>

struct TTlsState;

class TTlsTransport : public TStreamTransport
{
public:
    explicit TTlsTransport(std::string knownCertsFile);
    ~TTlsTransport() override;

    void Send(const uint8_t *data, size_t count) override;
    std::string Security() const override; // "TLS 1.3"

protected:
    void Secure() override;
    void Pump() override;
    TLeftover Goodbye() override;
    void Release() override;

private:
    void Judge();
    void Accepted();
    void ReadAll();
    bool Flush();
    std::string Failure(int result, const char *during);

    TTrustFile FKnown;
    std::unique_ptr<TTlsState> FTls;
};
