#pragma once
// The Telnet engine: parses what the server sends, answers option negotiation, turns
// key presses into bytes and traces each step. It touches neither socket nor screen:
// everything leaves through the three events, each of which may be left empty.

#include "terminal/Keys.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class TTelnetStateMachine;

// How the connection carries the engine's bytes: with Telnet's commands and 0xFF escaping,
// or as a plain 8-bit stream (an SSH channel: the pty and its requests do Telnet's work).
enum class TFraming : uint8_t { Telnet, Raw };

// Write exactly BufCount bytes from Buf to the connection.
using TSocketOutEvent =
    std::function<void(TTelnetStateMachine *sender, const uint8_t *buf, int32_t bufCount)>;
// Append a NUL-terminated text (possibly empty) to the terminal.
using TTerminalOutEvent = std::function<void(TTelnetStateMachine *sender, const char *buf)>;
// Data for a file transfer: every byte after Telnet unescaping, NULs included.
using TDataOutEvent = std::function<void(TTelnetStateMachine *sender, const uint8_t *buf, size_t count)>;
// Append a trace text to the debug pane.
using TDebugEvent = std::function<void(TTelnetStateMachine *sender, const std::string &debugStr)>;

// Run when an option became active through DO or WILL.
using TEnableHandler = std::function<void()>;
// Run when a subnegotiation ends: the collected bytes (option code first) and their count.
using TSubHandler = std::function<void(const uint8_t *buf, uint16_t length)>;

// Parser states.
enum TParserMode : uint8_t {
    pmData = 0,
    pmIAC = 1,
    pmDo = 2,
    pmDont = 3,
    pmWill = 4,
    pmWont = 5,
    pmSub = 6,
};

// Telnet command bytes and the option codes the engine knows.
namespace telnet {
constexpr uint8_t SE = 240;
constexpr uint8_t SB = 250;
constexpr uint8_t WILL = 251;
constexpr uint8_t WONT = 252;
constexpr uint8_t DO = 253;
constexpr uint8_t DONT = 254;
constexpr uint8_t IAC = 255;

constexpr uint8_t OPT_BINARY = 0;
constexpr uint8_t OPT_ECHO = 1;
constexpr uint8_t OPT_SGA = 3;
constexpr uint8_t OPT_STATUS = 5;
constexpr uint8_t OPT_TIMING_MARK = 6;
constexpr uint8_t OPT_TERMINAL_TYPE = 24;
constexpr uint8_t OPT_NAWS = 31;
constexpr uint8_t OPT_LINEMODE = 34;
} // namespace telnet

class TTelnetStateMachine
{
public:
    static constexpr int SubBufferSize = 4096;
    // Option flag bits: one byte per option serves both directions.
    static constexpr uint8_t ofSupported = 1;
    static constexpr uint8_t ofActive = 2;
    // The terminal type the engine reports (TERMINAL-TYPE; an SSH pty's TERM).
    static constexpr const char *TerminalType = "ansi";

    TTelnetStateMachine();
    virtual ~TTelnetStateMachine();
    TTelnetStateMachine(const TTelnetStateMachine &) = delete;
    TTelnetStateMachine &operator=(const TTelnetStateMachine &) = delete;

    // Stores the state and traces it.
    void SetMode(TParserMode newMode);
    // Back to Data, all options inactive; supported options and handlers stay.
    virtual void Reset();
    // Cursor keys become ESC [ A..D; every other key is ignored.
    virtual void SendKey(uint16_t key, TShiftState shift);
    // One byte to the connection, unchanged; echoed locally while Echo is inactive.
    virtual void SendChar(uint8_t ch);
    // Parses Count received bytes. Buf[Count] must be a NUL byte; the engine writes
    // into Buf (an IAC inside text is overwritten with NUL).
    virtual void ProcessInput(uint8_t *buf, uint16_t count);

    // The first registration of an option wins; either handler may be empty.
    void RegisterOption(uint8_t option, TSubHandler subHandler, TEnableHandler enableHandler);
    // IAC Command Option to the connection, then a trace for WILL/WONT/DO/DONT.
    void SendCommand(uint8_t command, uint8_t option);
    // Trace name of an option: " NAWS", or a blank and the decimal code.
    static std::string OptionName(uint8_t option);
    // Sends the window-size report if NAWS is active.
    void SendWindowSize();

    // The binary data path of a file transfer: from now on data goes to Sink (none to
    // OnTerminalOut) and TRANSMIT-BINARY is asked for in both directions. Commands are
    // still handled here and never reach the sink.
    void BeginBinary(TDataOutEvent sink);
    // Back to text for the terminal; binary mode is given up in both directions.
    void EndBinary();
    bool InBinary() const { return static_cast<bool>(FDataSink); }
    // Data for the connection with every 0xFF doubled, as Telnet requires.
    void SendData(const uint8_t *buf, size_t count);

    // Raw framing: every received byte is text (NULs dropped) or the transfer's data, no
    // command is parsed or sent, and data goes out as it is.
    void SetFraming(TFraming framing) { FFraming = framing; }
    TFraming Framing() const { return FFraming; }

    // The NAWS report for a size: IAC SB NAWS 0 Cols 0 Rows IAC SE, with a size byte
    // of 255 doubled as Telnet requires. Writes at most 11 bytes; returns the count.
    static int WindowSizeReport(uint8_t cols, uint8_t rows, uint8_t *out);

    TParserMode Mode() const { return FParserMode; }
    uint8_t OptionFlag(uint8_t option) const { return FOptionFlags[option]; }
    bool OptionActive(uint8_t option) const { return (FOptionFlags[option] & ofActive) != 0; }
    // Typed bytes are shown here: until a Telnet server says it echoes; never on a raw stream,
    // whose far end (a pty, the BBS) echoes.
    bool LocalEcho() const { return FFraming == TFraming::Telnet && !OptionActive(telnet::OPT_ECHO); }

    uint8_t Cols = 80; // terminal width, sent in NAWS
    uint8_t Rows = 24; // visible terminal rows, sent in NAWS
    TSocketOutEvent OnSocketOut;
    TTerminalOutEvent OnTerminalOut;
    TDebugEvent OnDebug;

protected:
    void DoSocketOut(const uint8_t *buf, int32_t bufCount);
    void DoTerminalOut(const char *buf);
    void DoDebug(const std::string &debugStr);

    // Shared by the Telnet states of every engine: answers an option byte received
    // in state DO, DONT, WILL or WONT (no trace of the option name here).
    void AnswerOption(TParserMode state, uint8_t option);
    // Appends a byte to the subnegotiation; bytes past the buffer are dropped.
    void CollectSub(uint8_t c);
    // Ends a subnegotiation: runs the option's handler if any bytes were collected.
    void FinishSub();
    // Length of the text at Buf up to the first IAC or NUL, scanning at most Limit bytes.
    static size_t TextRun(const uint8_t *buf, size_t limit);
    // Data state: delivers the text from Buf[i] up to the next IAC or NUL and moves i onto
    // the byte that ended it. True when that is an IAC (overwritten with NUL).
    bool DeliverText(uint8_t *buf, size_t &i, size_t count);
    // Binary path: delivers the data from Buf[i] up to the next command and moves i onto
    // its IAC. True when there is one.
    bool DeliverData(uint8_t *buf, size_t &i, size_t count);
    // One data byte, to whichever path is open (a doubled IAC).
    void DeliverByte(uint8_t c);
    // Raw framing: the whole read to whichever path is open.
    void DeliverRaw(uint8_t *buf, size_t count);
    // TRANSMIT-BINARY while a transfer runs; false when the option is not ours to answer.
    bool AnswerBinary(TParserMode state);

    // Final byte of the ESC [ sequence of a cursor key (A Up, B Down, C Right, D Left); 0
    // for any other key.
    static uint8_t CursorKeyFinal(uint16_t key);

    // Option handlers.
    void StatusReply(const uint8_t *buf, uint16_t length);
    void TerminalTypeReply(const uint8_t *buf, uint16_t length);
    void SendSizeReport();

    TParserMode FParserMode = pmData;
    std::array<uint8_t, 256> FOptionFlags{};
    std::array<TEnableHandler, 256> FEnableHandlers;
    std::array<TSubHandler, 256> FSubHandlers;
    std::array<uint8_t, SubBufferSize> FSubBuffer{};
    uint16_t FSubLength = 0;
    bool FIacInSub = false; // the pending IAC came inside a subnegotiation

private:
    // Our side of TRANSMIT-BINARY in each direction (RFC 1143 without the queue bit).
    enum class TBinary : uint8_t { Off, Asked, On };
    TDataOutEvent FDataSink;
    TFraming FFraming = TFraming::Telnet;
    TBinary FBinaryUs = TBinary::Off, FBinaryHim = TBinary::Off;
};
