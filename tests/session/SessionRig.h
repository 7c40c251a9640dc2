// A session as the program runs it, over a line the test drives and a platform it turns by
// hand: the stores from no file (defaults), a terminal of 80 x 24 under an 819-row
// scrollback, as the main window sets it up. What the listener hears is logged; every text
// the terminal is given and every delivered edit notice is recorded.
#pragma once

#include "colouredit/OffLine.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "session/ManualPlatform.h"
#include "session/ManualTransport.h"
#include "session/Session.h"
#include "terminal/ColorTTY.h"
#include "tests/terminal/FakeTTYView.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

struct TSessionRig : TSessionListener
{
    static constexpr int Cols = 80, Rows = 24, Scrollback = 819;
    static constexpr const char *NoFile = "/nonexistent/wm_session_test.ini";

    explicit TSessionRig(THostMode Mode = hmTelnet) : Session(Make(Mode)) {}
    TSession *operator->() { return Session.get(); }

    // Connected, with what the session sent on connecting and the log so far forgotten.
    void Up()
    {
        Session->Connect(Host);
        Line.Step(TTransportStep::Connecting);
        Line.Connected();
        Deliver();
        Line.Sent.clear();
        Log.clear();
    }
    // Posted calls wait for the event loop's turn, as in the main window.
    void Deliver() { Platform->RunPosted(); }
    // One socket read.
    void Recv(const std::string &Bytes)
    {
        Line.Receive(Bytes);
        Deliver();
    }
    bool Logged(const std::string &What) const
    {
        return std::find(Log.begin(), Log.end(), What) != Log.end();
    }
    // The visible rows as text, trailing blanks removed.
    std::string VisibleText() const
    {
        std::string Out;
        for (int y = Tty.ScreenTop(); y < Tty.Rows; ++y)
            Out += RowTrimmed(Tty, y) + "\n";
        return Out;
    }

    THostSettings Host{.Address = "bbs.example", .Port = "23", .Name = "Moss"};
    TClientPrefs Prefs{NoFile};
    TUserFilter Filter{NoFile};
    TColorTTY Tty;
    TManualLine Line;
    TManualPlatform *Platform = nullptr;
    std::unique_ptr<TSession> Session;
    std::vector<std::string> Log; // state changes, statuses, errors, edit notices, in order
    std::string Screen;
    std::vector<int> EditStates;

private:
    std::unique_ptr<TSession> Make(THostMode Mode)
    {
        Host.Mode = Mode;
        Tty.SetBufferSize(Scrollback, Cols);
        Tty.SetVisibleSize(Cols, Rows);
        Tty.Clear();
        Tty.MoveCursor(0, Scrollback - Rows);
        Tty.ScrollTo(0, Scrollback - Rows);
        Tty.SetAttr(caCleared);
        auto platform = std::make_unique<TManualPlatform>();
        Platform = platform.get();
        auto session = std::make_unique<TSession>(TSessionStores{Prefs, Filter}, Tty, *this, Line.Factory(),
                                                  std::move(platform));
        session->SetScreenSize(Cols, Rows);
        return session;
    }
    void SessionStateChanged(TSessionState s) override { Log.push_back("state " + std::to_string(int(s))); }
    void SessionStatus(const std::string &t) override { Log.push_back("status" + t); }
    void SessionError(const std::string &m) override { Log.push_back("error " + m); }
    void SessionOutput(const char *Text) override { Screen += Text; }
    void SessionEditState(bool Open) override
    {
        Log.push_back(Open ? "edit 1" : "edit 0");
        EditStates.push_back(Open ? 1 : 0);
    }
};
