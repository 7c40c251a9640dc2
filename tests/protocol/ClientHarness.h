#pragma once
// A CLient engine wired as the main window wires it: a terminal of 80 x 24 with the
// scrollback, the offline editor on it, the stores in a temporary folder, and an
// owner that queues posted messages. Records every write to the connection, every
// text for the terminal and every delivered WM_EDITSTATE.

#include "colouredit/OffLine.h"
#include "config/SetHost.h"
#include "protocol/CLient.h"
#include "protocol/UserFilt.h"
#include "terminal/ColorTTY.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

class TTempDir
{
public:
    TTempDir()
    {
        char Templ[] = "/tmp/wm_client_XXXXXX";
        const char *p = mkdtemp(Templ);
        Path = p ? p : "/tmp";
    }
    ~TTempDir()
    {
        std::error_code ec;
        if (Path != "/tmp") std::filesystem::remove_all(Path, ec);
    }
    std::string Path;
};

class TQueueOwner : public TEngineOwner
{
public:
    void Post(uint32_t Msg, uintptr_t WParam, intptr_t LParam) override
    {
        Queue.push_back({Msg, WParam, LParam});
    }
    struct TMsg
    {
        uint32_t Msg;
        uintptr_t WParam;
        intptr_t LParam;
    };
    std::vector<TMsg> Queue;
};

struct TClientRig
{
    static constexpr int Cols = 80, Rows = 24, Scrollback = 819;

    explicit TClientRig(THostMode Mode = hmORVO)
        : Host(Dir.Path + "/winmarlet.ini"), Filter(Dir.Path + "/winmarlet.ini"), Edit(Tty, Who),
          Engine(Host, Filter, Edit, Who, &Owner)
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
            Wire.append(reinterpret_cast<const char *>(Buf), size_t(Count));
        };
        Engine.OnTerminalOut = [this](TTelnetStateMachine *, const char *Text) {
            Screen += Text;
            Tty.Write(Text);
        };
    }

    // One socket read, with the NUL the engine expects after it.
    void Recv(const std::string &Bytes)
    {
        std::vector<uint8_t> Buf(Bytes.begin(), Bytes.end());
        Buf.push_back(0);
        Engine.ProcessInput(Buf.data(), uint16_t(Bytes.size()));
        Deliver();
    }
    void Type(const std::string &Chars)
    {
        for (char c : Chars) {
            Engine.SendChar(uint8_t(c));
            Deliver();
        }
    }
    void Key(uint16_t K, TShiftState Shift = 0)
    {
        Engine.SendKey(K, Shift);
        Deliver();
    }
    void Reset()
    {
        Engine.Reset();
        Deliver();
    }
    // The message loop: what was posted is handled after the engine call returned.
    void Deliver()
    {
        for (const auto &m : Owner.Queue) {
            if (m.Msg == WM_EDITSTATE) EditStates.push_back(m.LParam == 0 ? int(m.WParam) : -1);
        }
        Owner.Queue.clear();
    }
    // Wire bytes since the last call.
    std::string TakeWire()
    {
        std::string w;
        w.swap(Wire);
        return w;
    }
    std::string TakeScreen()
    {
        std::string s;
        s.swap(Screen);
        return s;
    }
    // The visible rows as text, trailing blanks removed.
    std::string VisibleText() const
    {
        std::string Out;
        for (int y = Tty.ScreenTop(); y < Tty.Rows; ++y) {
            std::string Row(reinterpret_cast<const char *>(Tty.RowChars(y)), size_t(Tty.Cols));
            while (!Row.empty() && Row.back() == ' ')
                Row.pop_back();
            Out += Row + "\n";
        }
        return Out;
    }

    TTempDir Dir;
    THostInfo Host;
    TUserFilter Filter;
    TColorTTY Tty;
    TWhoList Who;
    TOffLineEdit Edit;
    TQueueOwner Owner;
    TCLientStateMachine Engine;
    std::string Wire, Screen;
    std::vector<std::string> Writes;
    std::vector<int> EditStates;
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
    for (unsigned char c : s) {
        if (!Out.empty()) Out += ' ';
        Out += Digits[c >> 4];
        Out += Digits[c & 15];
    }
    return Out;
}

// The three texts shown instead of a message from a rejected author, joined.
inline std::string KillNotice(const std::string &Name)
{
    return std::string("\x01"
                       "a\x01g Message from \x01"
                       "f\x01y") +
           Name +
           "\x01"
           "a\x01g was \x01"
           "f\x01rkilled\x01"
           "a\x01g.\x01"
           "f\r\n";
}
