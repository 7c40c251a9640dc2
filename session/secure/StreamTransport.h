// What the TLS and SSH transports share: the TCP connection (net/'s connector: lookup off
// the GUI thread, both address families, keepalive), readiness of its descriptor on the
// event loop, listener calls posted so none comes from inside a call of the owner, and the
// rule that nothing reaches the listener after Close, Abort or the end.
#pragma once

#include "session/Transport.h"

#include <memory>
#include <string>

struct TStreamTransportImpl;

// Bytes for the peer that it has not taken yet; taking from the front costs nothing.
class TOutQueue
{
public:
    void Append(const uint8_t *data, size_t count)
    {
        FBytes.append(reinterpret_cast<const char *>(data), count);
    }
    bool Empty() const { return FHead == FBytes.size(); }
    const char *Data() const { return FBytes.data() + FHead; }
    size_t Size() const { return FBytes.size() - FHead; }
    void Consume(size_t count)
    {
        FHead += count;
        if (FHead == FBytes.size()) {
            FBytes.clear();
            FHead = 0;
        } else if (FHead > (size_t(1) << 20) && FHead > FBytes.size() / 2) {
            FBytes.erase(0, FHead);
            FHead = 0;
        }
    }

private:
    std::string FBytes;
    size_t FHead = 0;
};

class TStreamTransport : public TTransport
{
public:
    TStreamTransport();
    ~TStreamTransport() override;

    void Open(const TEndpoint &endpoint, TTransportListener &listener) override;
    void Close() override;
    void Abort() override;
    void SetReceiving(bool on) override;

    // What Close leaves to finish after the transport is gone: called (from the event loop)
    // until it answers Done; it owns the protocol's state and says goodbye in the protocol
    // once everything queued went out. Empty when nothing is left; the descriptor then
    // closes in order.
    enum class TFlush : uint8_t { Done, WantRead, WantWrite };
    using TLeftover = std::function<TFlush()>;

    // "host:port", the IPv6 address in brackets: how the trust stores and messages name it.
    static std::string HostPort(const std::string &host, uint16_t port);

protected:
    // The TCP connection is up: start the handshake on Fd().
    virtual void Secure() = 0;
    // The descriptor is readable or writable (or a posted retry): move on.
    virtual void Pump() = 0;
    // Close: what is left to send and the protocol's goodbye (see TLeftover).
    virtual TLeftover Goodbye() = 0;
    // Frees the protocol's state (Abort, failure, the end).
    virtual void Release() = 0;

    int Fd() const;
    const TEndpoint &Endpoint() const;
    bool IsOpen() const; // TransportConnected was reported
    // False while reading is held: by the listener (SetReceiving), by the protocol (Hold),
    // or while what was read waits to be handed over and fills its bound. A read loop asks
    // before every read.
    bool Receiving() const;
    void Hold(bool on);
    // Readiness wanted besides reading (the protocol has bytes the kernel did not take).
    void WantWrite(bool on);
    // Runs Pump again from the event loop (work left that no readiness will announce).
    void PumpLater();
    // Listener calls, posted; each ends the transport's reports where it should. Received
    // bytes are handed over in order while the listener receives, and all of them before the
    // end is reported.
    void Step(TTransportStep step);
    void Connected();
    void Received(const uint8_t *data, size_t count);
    void Fail(const std::string &message);
    void Ended(TCloseKind kind, const std::string &why);
    void AskTrust(const TTrustQuestion &question, std::function<void(bool)> answer);
    void AskPassword(std::function<void(std::optional<std::string>)> answer);
    // Something for the status line once the connection is open (a trust file's fault, a
    // certificate that replaced an accepted one).
    void Notice(const std::string &text);

private:
    friend struct TStreamTransportImpl;
    void Finish(); // frees everything; the descriptor closes at once
    std::unique_ptr<TStreamTransportImpl> FImpl;
};
