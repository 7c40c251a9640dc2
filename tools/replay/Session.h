#pragma once
// Runs a session through an engine into a terminal set up as the main window sets it
// up, printing each write to the connection as it happens and the screen at the end.

#include "protocol/Telnet.h"
#include "terminal/ColorTTY.h"
#include "tools/replay/Script.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>

class TReplaySession
{
public:
    // The program reads the socket in blocks of this size.
    static constexpr size_t ReadSize = 32768;
    static constexpr int ScrollbackRows = 819;

    // Engine: the engine to drive (a plain Telnet engine when null). Its Cols, Rows
    // and OnSocketOut/OnTerminalOut are set here.
    TReplaySession(int Cols, int Rows, std::ostream &Out,
                   std::unique_ptr<TTelnetStateMachine> Engine = nullptr);

    // Replaces the engine, handing the new one the sizes and events of the old one,
    // as the main window sets up its CLient engine from its Telnet engine.
    void SetEngine(std::unique_ptr<TTelnetStateMachine> Engine);
    // Called by Run after each step (the message loop's turn between two events).
    std::function<void()> AfterStep;

    void Run(const TScript &Script);
    void Step(const TScriptStep &Step);
    // Received bytes, given to the engine in reads of at most ReadSize bytes.
    void Receive(const uint8_t *Bytes, size_t Count);
    // "screen:", the visible rows (and their attributes with Attrs), "cursor: X Y".
    void PrintScreen(bool Attrs);

    TTelnetStateMachine &Engine() { return *FEngine; }
    TColorTTY &Terminal() { return FTerminal; }

private:
    std::ostream &Out;
    TColorTTY FTerminal;
    std::unique_ptr<TTelnetStateMachine> FEngine;
    std::vector<uint8_t> ReadBuffer;
};

// Reads a whole file; throws std::runtime_error when it cannot.
std::vector<uint8_t> ReadCaptureFile(const std::string &Path);
