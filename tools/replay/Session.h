#pragma once
// Runs a session script through the program's own session (TSession) over a transport
// the script drives, into a terminal set up as the main window sets it up, printing each
// write to the connection as it happens and the screen at the end.

#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "session/ManualPlatform.h"
#include "session/ManualTransport.h"
#include "session/Session.h"
#include "terminal/ColorTTY.h"
#include "tools/replay/Args.h"
#include "tools/replay/Script.h"

#include <cstdint>
#include <memory>
#include <ostream>

class TReplaySession : private TSessionListener
{
public:
    static constexpr int ScrollbackRows = 819;

    // The current host's mode, terminal emulation, login and user filter come from the
    // options (no settings file is read or written). The session is connected before the first step; what it
    // sends on connecting (greeting, window size) is not printed.
    TReplaySession(int Cols, int Rows, std::ostream &FOut, const TReplayOptions &Options = {});
    ~TReplaySession() override;

    void Run(const TScript &Script);
    // One step, then the event loop's turn (posted edit notices are printed then).
    void Step(const TScriptStep &Step);
    // Received bytes, through the session's read buffer; then the event loop's turn.
    void Receive(const uint8_t *Bytes, size_t Count);
    // "screen:", the visible rows (and their attributes with Attrs), "cursor: X Y".
    void PrintScreen(bool Attrs);
    // In the CLient modes "who: NAME" per who-list entry, in list order.
    void PrintWho();

    TSession &Session() { return *FSession; }
    TColorTTY &Terminal() { return FTerminal; }

private:
    void SessionStateChanged(TSessionState) override {}
    void SessionStatus(const std::string &) override {}
    void SessionError(const std::string &) override {}
    void SessionEditState(bool Open) override;

    std::ostream &FOut;
    bool FClient;
    THostSettings FHost;
    TClientPrefs FPrefs;
    TUserFilter FFilter;
    TColorTTY FTerminal;
    TManualLine FLine;
    TManualPlatform *FPlatform;
    std::unique_ptr<TSession> FSession;
};

// Reads a whole file; throws std::runtime_error when it cannot.
std::vector<uint8_t> ReadCaptureFile(const std::string &Path);
