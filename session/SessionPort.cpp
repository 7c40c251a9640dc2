// The session's side of the port its file transfers reach it through.
#include "session/Session.h"

#include "terminal/SessionCapture.h"

TTelnetStateMachine *TSession::TelnetLine()
{
    // The CLient protocols give the engine no binary path.
    return IsConnected() && FStateMachine == &FTelnetStateMachine ? &FTelnetStateMachine : nullptr;
}

void TSession::HoldInput(bool hold)
{
    if (FTransport) FTransport->SetReceiving(!hold);
}

void TSession::CaptureReceived(const std::string &bytes)
{
    if (!FCapture) return;
    // As received: 0xFF doubled again where Telnet doubled it.
    const size_t iac = RawStream() ? 1 : 2;
    std::string raw;
    for (char c : bytes)
        raw.append(static_cast<uint8_t>(c) == 0xFF ? iac : 1, c);
    if (!FCapture->Received(reinterpret_cast<const uint8_t *>(raw.data()), raw.size())) CaptureFailed();
}
