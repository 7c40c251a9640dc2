// The byte pipe under a session: plain TCP, TLS or SSH. A transport object serves one
// connection attempt and the connection that follows; the session makes a new one for
// every attempt. Everything runs on the caller's thread, driven by its event loop. No call
// blocks, and no listener call is made from inside Open, Send, SetWindowSize or Close (they
// are posted), so a listener may call back into the transport, or destroy it, freely.
#pragma once

#include "config/HostMode.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Where to connect, and as whom.
struct TEndpoint
{
    std::string Host; // a name, a dotted IPv4 address or an IPv6 address without brackets
    uint16_t Port = 0;
    std::string Service; // the port as the host stores it, which may name a service ("telnet")
    std::string User;    // SSH: the login name
    std::optional<std::string> Password; // SSH: known (auto-login); else asked for
    uint8_t Cols = 80, Rows = 24;        // SSH: the size of the terminal it asks for
    std::string TerminalType = "ansi";   // SSH: the terminal type it asks for
};

// Progress before the pipe is open; the session turns each into a status text.
enum class TTransportStep : uint8_t {
    LookingUp,      // resolving the host name
    Connecting,     // TCP connect under way
    Securing,       // TLS or SSH handshake
    Authenticating, // SSH user authentication
};

// How an open pipe ended.
enum class TCloseKind : uint8_t {
    Clean, // the peer closed in order (the user logged off)
    Lost,  // reset, time-out, failed keepalive, or a transport error after it was open
};

// A key or certificate the user has not accepted for this host yet.
struct TTrustQuestion
{
    std::string Host;        // as the trust store files it: "host:port" or "[v6]:port"
    std::string KeyKind;     // "ED25519", "RSA", "certificate", ...
    std::string Fingerprint; // "SHA256:" and the base64 digest, as ssh-keygen -l prints it
    std::string Details;     // more for the user to judge by (certificate subject, issuer)
    std::string Warning;     // a fault to weigh before trusting it (a name that does not match)
};

class TTransportListener
{
public:
    virtual ~TTransportListener() = default;
    virtual void TransportStep(TTransportStep step) = 0;
    // The pipe is open; Security() says what protects it.
    virtual void TransportConnected() = 0;
    virtual void TransportReceived(const uint8_t *data, size_t count) = 0;
    // Everything the peer has sent so far was handed over: a good moment to show it.
    virtual void TransportDrained() {}
    // Something the user should know about the open pipe that does not end it (a trust
    // file's fault, a certificate that replaced one the user accepted): a status-line text.
    virtual void TransportNotice(const std::string &text) { (void)text; }
    // An open pipe ended without a Close or Abort of ours. The transport is finished.
    virtual void TransportClosed(TCloseKind kind, const std::string &why) = 0;
    // It never opened: lookup, connect, handshake, trust or authentication failed. `message`
    // is for the user as it stands (an error box). The transport is finished.
    virtual void TransportFailed(const std::string &message) = 0;
    // Trust on first use. The answer may come later (after a dialog); Abort drops it.
    virtual void TransportAskTrust(const TTrustQuestion &question,
                                   std::function<void(bool accept)> answer) = 0;
    // SSH password authentication without a stored password; nullopt gives up.
    virtual void TransportAskPassword(const std::string &user, const std::string &host,
                                      std::function<void(std::optional<std::string> password)> answer) = 0;
};

class TTransport
{
public:
    virtual ~TTransport() = default;
    // Starts connecting; progress and the outcome come through the listener.
    virtual void Open(const TEndpoint &endpoint, TTransportListener &listener) = 0;
    // Queues bytes for the peer. Nothing is lost while the pipe is open; before it opens and
    // after it closed the bytes are dropped.
    virtual void Send(const uint8_t *data, size_t count) = 0;
    // The orderly end: everything queued goes out, the write side is shut, what the peer
    // still sends is read and dropped until it closes (or a short time-out passes), then the
    // pipe closes. No listener call follows.
    virtual void Close() = 0;
    // Ends at once (Abort, the program ending); no listener call follows.
    virtual void Abort() = 0;
    // Stops reading from the peer while what it sent cannot be taken (a file transfer's tool
    // is behind), and starts again: the peer waits meanwhile, nothing is lost.
    virtual void SetReceiving(bool on) { (void)on; }
    // The terminal's size changed (SSH sends window-change); the others ignore it.
    virtual void SetWindowSize(uint8_t cols, uint8_t rows)
    {
        (void)cols;
        (void)rows;
    }
    // What protects the open pipe, for the status line: "TLS 1.3", "SSH, ED25519"; empty
    // for plain TCP.
    virtual std::string Security() const { return {}; }
};

// The failure message of a login the server refused; the session also shows it in the
// status line (" Authentication failed for USER.").
inline std::string AuthenticationFailed(const std::string &user)
{
    return "Authentication failed for " + user + ".";
}
inline bool IsAuthenticationFailure(const std::string &message)
{
    return message.rfind("Authentication failed for ", 0) == 0;
}

// Makes the transport for a host's connection kind.
using TTransportFactory = std::function<std::unique_ptr<TTransport>(THostTransport kind)>;
