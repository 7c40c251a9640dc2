// Reconnecting after the BBS dropped the line: the countdown, the offer that Enter takes,
// and the keys that stop them.
#include "session/Session.h"

#include "config/Prefernc.h"

#include <algorithm>

bool TSession::ReconnectWaiting() const
{
    return FState == TSessionState::WaitingToReconnect;
}

int64_t TSession::ReconnectDelay() const
{
    return ReconnectWaiting() ? std::max<int64_t>(0, FReconnectAt - FPlatform->Now()) : 0;
}

void TSession::UserConnecting()
{
    FReconnectNote.clear();
    StopReconnect();
    FReconnect.UserConnect();
}

void TSession::StopReconnect()
{
    FReconnectTimer->Stop();
    FAutoReconnecting = false;
    FReconnectOffered = false;
    if (FState == TSessionState::WaitingToReconnect)
        Enter(TSessionEvent::Abort);
    else
        Notify();
}

void TSession::ConnectionDropped()
{
    // Never after the user's own Disconnect (which does not come here) or when the program
    // ends with the connection.
    if (FClientPrefs.ExitOnDisconnect) return;
    if (!FReconnect.Dropped(FPlatform->Now())) {
        FReconnectNote = "Closed during login " + std::to_string(TReconnectPolicy::MaxLoginCloses) +
                         " times: not reconnecting";
        StopReconnect();
        return;
    }
    if (FClientPrefs.ReconnectAutomatically) {
        FAutoReconnecting = true;
        ScheduleReconnect();
    } else {
        FReconnectOffered = true;
        Notify();
    }
}

void TSession::ScheduleReconnect()
{
    const int64_t delay = FReconnect.NextDelay();
    FReconnectAt = FPlatform->Now() + delay;
    FReconnectTimer->Start(CountdownStep(delay));
    Enter(TSessionEvent::Wait);
}

void TSession::ReconnectNow()
{
    FReconnectTimer->Stop();
    if (FState != TSessionState::WaitingToReconnect) return;
    FAutoReconnecting = true;
    StartConnecting(FListener.SessionReconnectHost(FHost));
}

bool TSession::ReconnectKey(bool enter)
{
    if (FAutoReconnecting && FState != TSessionState::Connected) {
        const bool waiting = ReconnectWaiting();
        StopReconnect();
        if (!waiting) return false; // the attempt under way goes on; only the next ones stop
        SetStatus(" Reconnecting stopped.");
        return true;
    }
    if (FReconnectOffered && FState != TSessionState::Connected) {
        FReconnectOffered = false;
        Notify();
        if (!enter) return false;
        Connect(FListener.SessionReconnectHost(FHost));
        return true;
    }
    return false;
}
