// When to reconnect after the BBS dropped the connection: the backoff schedule with its
// jitter, and when to give up. Times are milliseconds of a clock the caller reads; the
// random source gives values in [0, 1). No timers here: the caller waits NextDelay().
//
// "Closed during login": the BBS ended a connection less than LoginWindowMs after it came
// up, before a login could have settled. Three such closes in a row look like the BBS
// refusing our credentials: reconnecting stops until the user connects again. A
// connection that lasted longer clears the count.
#pragma once

#include <cstdint>
#include <functional>

class TReconnectPolicy
{
public:
    static constexpr int64_t LoginWindowMs = 30000;
    static constexpr int MaxLoginCloses = 3;
    static constexpr int64_t FirstDelayMs = 2000;
    static constexpr int64_t MaxDelayMs = 60000;

    explicit TReconnectPolicy(std::function<double()> random) : FRandom(std::move(random)) {}

    // The user's own Connect: a fresh start.
    void UserConnect();
    // A connection came up.
    void Connected(int64_t nowMs);
    // The BBS ended a connection that was up. False when reconnecting must not follow.
    bool Dropped(int64_t nowMs);
    // Before each attempt: how long to wait. 2, 4, 8 ... s, at most 60 s, each shortened
    // by up to a fifth at random so that many clients do not come back in step.
    int64_t NextDelay();
    int Attempts() const { return FAttempts; }
    int LoginCloses() const { return FLoginCloses; }

private:
    std::function<double()> FRandom;
    int64_t FConnectedAt = -1;
    int FAttempts = 0;
    int FLoginCloses = 0;
};

// How long a countdown with `leftMs` to go waits before its next whole second (or its end),
// so that the time shown steps with the clock.
constexpr int64_t CountdownStep(int64_t leftMs)
{
    return leftMs % 1000 ? leftMs % 1000 : leftMs < 1000 ? leftMs : 1000;
}
