// "Check" of the Directory: is a host up, and what answers there? A probe connects, takes the
// handshake and closes: Telnet options the host offers (nothing is sent), the TLS version and
// whether the certificate is trusted, or the SSH banner and host key type. It never logs in.
//
// Probes run on worker threads of their own (blocking calls with a deadline), so the caller's
// event loop is never held up; each result is handed to a callback on the worker's thread.
#pragma once

#include "config/HostMode.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TProbeTarget
{
    std::string Host; // name or address (IPv6 without brackets)
    uint16_t Port = 0;
    THostTransport Transport = THostTransport::Tcp;
    std::string KnownHostsFile; // SSH keys the user accepted
    std::string KnownCertsFile; // TLS certificates the user accepted
};

struct TProbeResult
{
    bool Answered = false; // the handshake came through
    int ConnectMs = -1;    // lookup and TCP connect, in milliseconds; -1: never connected
    std::string Text;      // what answered, or the error
};

// One probe, blocking for at most timeoutMs (the lookup aside), giving up early once stop is set.
TProbeResult ProbeHost(const TProbeTarget &target, int timeoutMs, const std::atomic<bool> &stop);

struct TProberState;

class THostProber
{
public:
    static constexpr int MaxAtOnce = 8;
    static constexpr int TimeoutMs = 5000;
    // Called on a worker thread, once per target, in the order they finish.
    using TDone = std::function<void(size_t index, const TProbeResult &result)>;

    explicit THostProber(TDone done, int atOnce = MaxAtOnce, int timeoutMs = TimeoutMs);
    // Stops the probes and waits for the workers (each gives up within a tenth of a second,
    // a name lookup under way aside); no callback comes after.
    ~THostProber();
    THostProber(const THostProber &) = delete;
    THostProber &operator=(const THostProber &) = delete;

    // Probes every target (at most atOnce at a time); ends a run still going first.
    void Start(std::vector<TProbeTarget> targets);
    void Stop();

private:
    std::shared_ptr<TProberState> FState;
    int FAtOnce = MaxAtOnce;
};
