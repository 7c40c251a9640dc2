// Received bytes through the Telnet engine into a terminal, in random read splits and
// with a random screen size. The first bytes choose the sizes and the split points.

#include "protocol/Telnet.h"
#include "terminal/ColorTTY.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size < 4) return 0;
    const int Cols = 1 + Data[0] % 255; // the engine keeps it in a byte
    const int Rows = 1 + Data[1] % 60;  // visible rows
    const uint8_t SplitSeed = Data[2];
    const uint8_t Flags = Data[3];
    Data += 4;
    Size -= 4;

    TColorTTY Tty;
    Tty.SetBufferSize(Flags & 1 ? 819 : Rows + 5, Cols);
    Tty.SetVisibleSize(Cols, Rows);
    Tty.Clear();
    Tty.MoveCursor(0, Tty.Rows - Rows);

    TTelnetStateMachine Engine;
    Engine.Cols = static_cast<uint8_t>(Cols);
    Engine.Rows = static_cast<uint8_t>(Rows);
    size_t Sent = 0;
    Engine.OnSocketOut = [&](TTelnetStateMachine *, const uint8_t *Buf, int32_t Count) {
        // Touch every byte so the sanitizers see any bad pointer or count.
        for (int32_t i = 0; i < Count; ++i)
            Sent += Buf[i];
    };
    Engine.OnTerminalOut = [&](TTelnetStateMachine *, const char *Buf) { Tty.Write(Buf); };
    if (Flags & 2) Engine.OnDebug = [&](TTelnetStateMachine *, const std::string &s) { Sent += s.size(); };

    // Split lengths follow a small generator seeded from the input.
    uint32_t State = SplitSeed * 2654435761u + 1;
    std::vector<uint8_t> Buf;
    size_t Pos = 0;
    while (Pos < Size) {
        State = State * 1103515245u + 12345u;
        size_t n = 1 + (State >> 16) % (Flags & 4 ? 7 : 300);
        if (n > Size - Pos) n = Size - Pos;
        Buf.assign(Data + Pos, Data + Pos + n);
        Buf.push_back(0);
        Engine.ProcessInput(Buf.data(), static_cast<uint16_t>(n));
        Pos += n;
        if (Flags & 8) {
            Engine.SendWindowSize();
            Engine.SendChar(static_cast<uint8_t>(State));
            Engine.SendKey(static_cast<uint16_t>(35 + (State >> 8) % 8), 0);
        }
        if ((Flags & 16) && (State & 0x300) == 0) Engine.Reset();
    }
    return Sent == 0xFFFFFFFF ? 1 : 0;
}
