// SSH (libssh), driven without blocking on the event loop: the host key is trusted on first
// use through the listener and kept in an OpenSSH-format known-hosts file of our own;
// authentication tries the user's agent and default keys, then the password (stored, or
// asked through the listener); the terminal gets a pty of the session's size and a shell,
// over which the BBS's byte stream flows as it would over TCP.
#pragma once

#include "session/secure/StreamTransport.h"
#include "session/secure/TrustStore.h"

#include <string>

struct TSshState;

class TSshTransport : public TStreamTransport
{
public:
    explicit TSshTransport(std::string knownHostsFile);
    ~TSshTransport() override;

    void Send(const uint8_t *data, size_t count) override;
    void SetWindowSize(uint8_t cols, uint8_t rows) override;
    std::string Security() const override; // "SSH, ed25519"

protected:
    void Secure() override;
    void Pump() override;
    TLeftover Goodbye() override;
    void Release() override;

private:
    bool Advance(); // one step; false when it has to wait
    bool CheckHostKey();
    void AfterNone();
    void TryPassword();
    void ReadAll();
    bool Buffered() const;
    void Broken();
    void Flush();
    void Watch();
    std::string HandshakeFailure() const;
    std::string ServerWords() const;
    std::string AuthFailure() const;

    TTrustFile FKnown;
    std::unique_ptr<TSshState> FSsh;
};
