#pragma once
// Protocol-free Telnet byte handling for the demo BBS: splits received bytes into
// data, commands, option negotiations and subnegotiations, and prepares text for
// the wire. A subnegotiation is capped, so a peer that never ends one costs
// bounded memory.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace demobbs {

namespace tn {
constexpr uint8_t SE = 240;
constexpr uint8_t SB = 250;
constexpr uint8_t WILL = 251;
constexpr uint8_t WONT = 252;
constexpr uint8_t DO = 253;
constexpr uint8_t DONT = 254;
constexpr uint8_t IAC = 255;

constexpr uint8_t ECHO = 1;
constexpr uint8_t SGA = 3;
constexpr uint8_t TTYPE = 24;
constexpr uint8_t NAWS = 31;

constexpr uint8_t TTYPE_IS = 0;
constexpr uint8_t TTYPE_SEND = 1;
} // namespace tn

struct TTelnetEvent
{
    enum TKind : uint8_t { evNone, evData, evCommand, evOption, evSub };
    TKind Kind = evNone;
    uint8_t Byte = 0;     // data byte, command byte, or the verb (WILL ... DONT)
    uint8_t Option = 0;   // option code of a negotiation or subnegotiation
    std::string_view Sub; // subnegotiation bytes after the option code; valid until the next Feed
};

class TTelnetDecoder
{
public:
    static constexpr size_t MaxSub = 64;

    // One received byte; most bytes complete an event, bytes inside a sequence do not.
    TTelnetEvent Feed(uint8_t c);
    // True between bytes of a sequence (IAC seen, option or subnegotiation pending).
    bool InSequence() const { return FState != dsData; }

private:
    enum TState : uint8_t { dsData, dsIac, dsVerb, dsSub, dsSubIac };
    TState FState = dsData;
    uint8_t FVerb = 0;
    std::string FSubBuf;
};

// Text for a Telnet terminal: colour codes (0x01 and a letter) become ANSI SGR
// sequences, a 0xFF byte is doubled.
std::string TelnetText(std::string_view text);
// Text for a CLient engine, which reads every 0xFF as IAC: colour codes stay,
// 0xFF bytes are dropped.
std::string ClientText(std::string_view text);
// Line feeds become CR LF (a CR already before one is kept single).
std::string Crlf(std::string_view text);

} // namespace demobbs
