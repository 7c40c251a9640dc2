#include "tools/replay/Session.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

TReplaySession::TReplaySession(int Cols, int Rows, std::ostream &Out,
                               std::unique_ptr<TTelnetStateMachine> Engine)
    : Out(Out), FEngine(Engine ? std::move(Engine) : std::make_unique<TTelnetStateMachine>()),
      ReadBuffer(ReadSize + 1)
{
    // As the main window starts it: the scrollback full of blank lines, the cursor on
    // the first row of the bottom screen. A wide screen gets fewer scrollback rows: the
    // buffer holds at most MaxTTYCells cells.
    FTerminal.SetBufferSize(ScrollbackRows, Cols);
    FTerminal.SetVisibleSize(Cols, Rows);
    FTerminal.Clear();
    FTerminal.MoveCursor(0, FTerminal.ScreenTop());
    FTerminal.ScrollTo(0, FTerminal.ScreenTop());
    FTerminal.Attr = caCleared;

    FEngine->Cols = static_cast<uint8_t>(Cols);
    FEngine->Rows = static_cast<uint8_t>(Rows);
    FEngine->OnSocketOut = [this](TTelnetStateMachine *, const uint8_t *Buf, int32_t Count) {
        std::string Line = ">";
        for (int32_t i = 0; i < Count; ++i) {
            char h[4];
            std::snprintf(h, sizeof h, " %02X", Buf[i]);
            Line += h;
        }
        this->Out << Line << '\n';
    };
    FEngine->OnTerminalOut = [this](TTelnetStateMachine *, const char *Buf) { FTerminal.Write(Buf); };
}

void TReplaySession::Receive(const uint8_t *Bytes, size_t Count)
{
    do {
        const size_t n = std::min(Count, ReadSize);
        if (n) std::memcpy(ReadBuffer.data(), Bytes, n);
        ReadBuffer[n] = 0;
        FEngine->ProcessInput(ReadBuffer.data(), static_cast<uint16_t>(n));
        Bytes += n;
        Count -= n;
    } while (Count > 0);
}

void TReplaySession::Step(const TScriptStep &Step)
{
    switch (Step.Kind) {
    case TScriptStep::skRecv:
        Receive(Step.Bytes.data(), Step.Bytes.size());
        break;
    case TScriptStep::skType:
        for (uint8_t c : Step.Bytes)
            FEngine->SendChar(c);
        break;
    case TScriptStep::skKey:
        FEngine->SendKey(Step.Key, Step.Shift);
        break;
    case TScriptStep::skReset:
        FEngine->Reset();
        break;
    }
}

void TReplaySession::SetEngine(std::unique_ptr<TTelnetStateMachine> Engine)
{
    Engine->Cols = FEngine->Cols;
    Engine->Rows = FEngine->Rows;
    Engine->OnSocketOut = FEngine->OnSocketOut;
    Engine->OnTerminalOut = FEngine->OnTerminalOut;
    Engine->OnDebug = FEngine->OnDebug;
    FEngine = std::move(Engine);
}

void TReplaySession::Run(const TScript &Script)
{
    for (const TScriptStep &s : Script) {
        Step(s);
        if (AfterStep) AfterStep();
    }
}

void TReplaySession::PrintScreen(bool Attrs)
{
    const TColorTTY &t = FTerminal;
    const int First = t.ScreenTop();
    Out << "screen:\n";
    for (int y = First; y < t.Rows; ++y) {
        const uint8_t *c = t.RowChars(y);
        int End = t.Cols;
        while (End > 0 && c[End - 1] == ' ')
            --End;
        std::string Row(static_cast<size_t>(End), ' ');
        for (int x = 0; x < End; ++x)
            Row[static_cast<size_t>(x)] = c[x] >= 0x20 && c[x] <= 0x7E ? static_cast<char>(c[x]) : '.';
        Out << Row << '\n';
        if (Attrs) {
            const uint8_t *a = t.RowAttrs(y);
            std::string Line = "  ";
            for (int x = 0; x < t.Cols; ++x) {
                char h[3];
                std::snprintf(h, sizeof h, "%02X", a[x]);
                Line += h;
            }
            Out << Line << '\n';
        }
    }
    Out << "cursor: " << t.CursorX << ' ' << t.CursorY - First << '\n';
}

std::vector<uint8_t> ReadCaptureFile(const std::string &Path)
{
    std::ifstream In(Path, std::ios::binary);
    if (!In) throw std::runtime_error("cannot open " + Path);
    std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    if (In.bad()) throw std::runtime_error("cannot read " + Path);
    return Bytes;
}
