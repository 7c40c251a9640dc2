#pragma once

#include "colouredit/OffLine.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "protocol/CLient.h"
#include "session/ManualPlatform.h"
#include "session/ManualTransport.h"
#include "session/Session.h"
#include "terminal/ColorTTY.h"
#include "tests/terminal/FakeTTYView.h"

#include <string>
#include <utility>
#include <vector>

// A CLient host's session as the program runs it (TSession over a transport the test
// drives): a terminal of 80 x 24 with the scrollback, the offline editor on it, the stores
// (read from no file, so defaults). Received bytes take the program's read path; typed
// characters and keys go to the engine itself. Records every write to the connection,
// every text for the terminal and every delivered edit notification.
struct TClientRig : TSessionListener
{
    static constexpr int Cols = 80, Rows = 24, Scrollback = 819;
    static constexpr const char *NoFile = "/nonexistent/wm_client_test.ini";

    explicit TClientRig(THostMode Mode = hmORVO) : Session(Make(Mode))
    {
        Session->Connect();
        Line.Connected();
        Deliver();
        Line.OnSend = [this](const uint8_t *Buf, size_t Count) {
            Writes.emplace_back(reinterpret_cast<const char *>(Buf), Count);
            Wire += Writes.back();
        };
    }

    // Posted messages wait for the event loop's turn, as in the main window.
    void Deliver() { Platform->RunPosted(); }
    // One socket read.
    void Recv(const std::string &Bytes)
    {
        Line.Receive(Bytes);
        Deliver();
    }
    void Type(const std::string &Chars)
    {
        for (char c : Chars) {
            Engine.SendChar(uint8_t(c));
            Deliver();
        }
    }
    void Key(uint16_t K)
    {
        Engine.SendKey(K, 0);
        Deliver();
    }
    void Reset()
    {
        Engine.Reset();
        Deliver();
    }
    static std::string Take(std::string &s) { return std::exchange(s, std::string()); }
    std::string TakeWire() { return Take(Wire); }
    std::string TakeScreen() { return Take(Screen); }

    // The visible rows as text, trailing blanks removed.
    std::string VisibleText() const
    {
        std::string Out;
        for (int y = Tty.ScreenTop(); y < Tty.Rows; ++y)
            Out += RowTrimmed(Tty, y) + "\n";
        return Out;
    }

    THostInfo Host{NoFile};
    TClientPrefs Prefs{NoFile};
    TUserFilter Filter{NoFile};
    TColorTTY Tty;
    TManualLine Line;
    TManualPlatform *Platform = nullptr;
    std::unique_ptr<TSession> Session;
    TCLientStateMachine &Engine = Session->CLientMachine();
    TWhoList &Who = Session->WhoList();
    TOffLineEdit &Edit = Session->OffLineEdit();
    std::string Wire, Screen;
    std::vector<std::string> Writes;
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
        Tty.Attr = caCleared;
        auto platform = std::make_unique<TManualPlatform>();
        Platform = platform.get();
        auto session = std::make_unique<TSession>(TSessionStores{Host, Prefs, Filter}, Tty, *this, Line.Factory(),
                                                  std::move(platform));
        session->SetScreenSize(Cols, Rows);
        return session;
    }
    void SessionStateChanged(TSessionState) override {}
    void SessionStatus(const std::string &) override {}
    void SessionError(const std::string &) override {}
    void SessionOutput(const char *Text) override { Screen += Text; }
    void SessionEditState(bool Open) override { EditStates.push_back(Open ? 1 : 0); }
};

// Bytes from a list of values: B({0xFF, 0xA0}).
inline std::string B(std::initializer_list<int> Bytes)
{
    std::string s;
    for (int b : Bytes)
        s += char(b);
    return s;
}

inline std::string Hex(const std::string &s)
{
    static const char Digits[] = "0123456789ABCDEF";
    std::string Out;
    for (unsigned char c : s)
        Out += std::string(Out.empty() ? "" : " ") + Digits[c >> 4] + Digits[c & 15];
    return Out;
}

// The three texts shown instead of a message from a rejected author, joined.
inline std::string KillNotice(const std::string &Name)
{
    return "\x01"
           "a\x01g Message from \x01"
           "f\x01y" +
           Name +
           "\x01"
           "a\x01g was \x01"
           "f\x01rkilled\x01"
           "a\x01g.\x01"
           "f\r\n";
}
