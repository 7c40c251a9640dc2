// The states of one connection's life and the one function that moves between them.
#pragma once

#include <cstdint>

enum class TSessionState : uint8_t {
    Idle,               // no connection (also after one ended)
    LookingUp,          // the transport resolves the host name
    Connecting,         // the transport connects (and secures, and logs in)
    Connected,          // the pipe is open
    Closing,            // the disconnect handling runs
    WaitingToReconnect, // an automatic reconnect waits for its time
};

// What happens to a session.
enum class TSessionEvent : uint8_t {
    Connect,  // the user's Connect, or a reconnect's
    LookUp,   // the transport resolves the name
    Progress, // the transport connects, secures or authenticates
    Opened,   // the pipe is open
    Failed,   // the attempt failed (the disconnect handling follows)
    Abort,    // the user gave up the attempt or the countdown
    Close,    // the pipe ended: the peer, the link or the user's Disconnect
    Closed,   // the disconnect handling is done
    Wait,     // an automatic reconnect is due later
};

// The state `event` leads to from `from`; `from` itself where the event means nothing there.
constexpr TSessionState Transition(TSessionState from, TSessionEvent event)
{
    using S = TSessionState;
    using E = TSessionEvent;
    const bool attempting = from == S::LookingUp || from == S::Connecting;
    switch (event) {
    case E::Connect:
        return from == S::Idle || from == S::WaitingToReconnect ? S::Connecting : from;
    case E::LookUp:
        return attempting ? S::LookingUp : from;
    case E::Progress:
        return attempting ? S::Connecting : from;
    case E::Opened:
        return attempting ? S::Connected : from;
    case E::Failed:
        return attempting ? S::Closing : from;
    case E::Abort:
        return attempting || from == S::WaitingToReconnect ? S::Idle : from;
    case E::Close:
        return from == S::Connected ? S::Closing : from;
    case E::Closed:
        return from == S::Closing ? S::Idle : from;
    case E::Wait:
        return from == S::Idle ? S::WaitingToReconnect : from;
    }
    return from;
}

// What the user may do in a state, read off the transitions so that no caller keeps a rule
// of its own.
constexpr bool MayConnect(TSessionState s)
{
    return Transition(s, TSessionEvent::Connect) != s;
}
// A connection attempt is under way (the pipe may still open).
constexpr bool Attempting(TSessionState s)
{
    return Transition(s, TSessionEvent::Opened) != s;
}
constexpr bool MayDisconnect(TSessionState s)
{
    return Transition(s, TSessionEvent::Close) != s;
}
// The pipe is open or its disconnect handling runs.
constexpr bool LineUp(TSessionState s)
{
    return MayDisconnect(s) || Transition(s, TSessionEvent::Closed) != s;
}
