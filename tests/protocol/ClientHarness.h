#pragma once

#include "tests/session/SessionRig.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// A CLient host's session (tests/session/SessionRig.h), connected. Received bytes take the
// program's read path; typed characters and keys go to the engine itself. Records every
// write to the connection.
struct TClientRig : TSessionRig
{
    explicit TClientRig(THostMode Mode = hmORVO, const std::function<void(THostSettings &)> &SetUp = {})
        : TSessionRig(Mode)
    {
        if (SetUp) SetUp(Host);
        Up();
        Line.OnSend = [this](const uint8_t *Buf, size_t Count) {
            Writes.emplace_back(reinterpret_cast<const char *>(Buf), Count);
            Wire += Writes.back();
        };
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

    TCLientStateMachine &Engine = Session->CLientMachine();
    TWhoList &Who = Session->WhoList();
    TOffLineEdit &Edit = Session->OffLineEdit();
    std::string Wire;
    std::vector<std::string> Writes;
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

// A message header line; ORVO's names its author between the colour codes n and N.
inline std::string Header(THostMode Mode, const std::string &Name)
{
    if (Mode == hmISCA) return "*** Message (#1) from " + Name + " at 10:00 ***\r\n";
    return "\1c*** Message (#1) from \1n" + Name + "\1N at 10:00 ***\r\n";
}

// The three texts shown instead of a message from a rejected author, joined.
inline std::string KillNotice(const std::string &Name)
{
    return "\1a\1g Message from \1f\1y" + Name + "\1a\1g was \1f\1rkilled\1a\1g.\1f\r\n";
}
