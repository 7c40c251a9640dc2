#pragma once
// A CLient engine wired as the main window wires it: a terminal of 80 x 24 with the
// scrollback, the offline editor on it, the stores (read from no file, so defaults) and
// an owner that queues posted messages. Records every write to the connection, every
// text for the terminal and every delivered WM_EDITSTATE.

#include "colouredit/OffLine.h"
#include "config/SetHost.h"
#include "protocol/CLient.h"
#include "config/UserFilt.h"
#include "terminal/ColorTTY.h"
#include "tests/terminal/FakeTTYView.h"

#include <string>
#include <utility>
#include <vector>

struct TClientRig : TEngineOwner
{
    static constexpr int Cols = 80, Rows = 24, Scrollback = 819;
    static constexpr const char *NoFile = "/nonexistent/wm_client_test.ini";

    explicit TClientRig(THostMode Mode = hmORVO)
        : Host(NoFile), Filter(NoFile), Edit(Tty, Who), Engine(Host, Filter, Edit, Who, this)
    {
        Host.Mode = Mode;
        Tty.SetBufferSize(Scrollback, Cols);
        Tty.SetVisibleSize(Cols, Rows);
        Tty.Clear();
        Tty.MoveCursor(0, Scrollback - Rows);
        Tty.ScrollTo(0, Scrollback - Rows);
        Tty.Attr = caCleared;
        Engine.Cols = Cols;
        Engine.Rows = Rows;
        Engine.OnSocketOut = [this](TTelnetStateMachine *, const uint8_t *Buf, int32_t Count) {
            Writes.emplace_back(reinterpret_cast<const char *>(Buf), size_t(Count));
            Wire += Writes.back();
        };
        Engine.OnTerminalOut = [this](TTelnetStateMachine *, const char *Text) {
            Screen += Text;
            Tty.Write(Text);
        };
    }

    // Posted messages wait for the message loop (Deliver), as in the main window.
    void Post(uint32_t Msg, uintptr_t WParam, intptr_t LParam) override
    {
        Queue.push_back(Msg == WM_EDITSTATE && LParam == 0 ? int(WParam) : -1);
    }
    void Deliver()
    {
        EditStates.insert(EditStates.end(), Queue.begin(), Queue.end());
        Queue.clear();
    }

    // One socket read, with the NUL the engine expects after it.
    void Recv(std::string Bytes)
    {
        Engine.ProcessInput(reinterpret_cast<uint8_t *>(Bytes.data()), uint16_t(Bytes.size()));
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

    THostInfo Host;
    TUserFilter Filter;
    TColorTTY Tty;
    TWhoList Who;
    TOffLineEdit Edit;
    TCLientStateMachine Engine;
    std::string Wire, Screen;
    std::vector<std::string> Writes;
    std::vector<int> Queue, EditStates;
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
