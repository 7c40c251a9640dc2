// Received bytes through the CLient engine, with typed characters, keys and resets
// mixed in, so edits open, take keys, close and get interrupted in every order. The
// offline editor draws into a real terminal. The first bytes choose the host's mode,
// the filter and auto-login; then each operation is an opcode and its operands.

#include "colouredit/OffLine.h"
#include "config/SetHost.h"
#include "protocol/CLient.h"
#include "config/UserFilt.h"
#include "terminal/ColorTTY.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// The stores read a settings file that does not exist: defaults, nothing written.
const char NoFile[] = "/nonexistent/wm_fuzz_client.ini";

class TCountingOwner : public TEngineOwner
{
public:
    void Post(uint32_t Msg, uintptr_t WParam, intptr_t) override
    {
        if (Msg == WM_EDITSTATE) Opened += WParam ? 1 : -1;
    }
    long Opened = 0;
};

const uint16_t Keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_BACK, VK_DELETE};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size < 2) return 0;
    static THostInfo Host(NoFile);
    static TUserFilter Filter(NoFile);
    const uint8_t Setup = Data[0], Setup2 = Data[1];
    Data += 2;
    Size -= 2;
    Host.Mode = static_cast<THostMode>(Setup % 3);
    Host.AutoLogin = (Setup & 4) != 0;
    Host.LoginName = Setup & 8 ? "guest" : "";
    Host.Password = Setup & 16 ? "pw" : "";
    Filter.ExpressFilter = (Setup2 & 3) == 3 ? -1 : Setup2 & 3;
    Filter.PostFilter = (Setup2 >> 2) & 1;
    Filter.Friends.Clear();
    Filter.Enemies.Clear();
    Filter.Enemies.Add("bob");
    Filter.Friends.Add("ann");

    TColorTTY Tty;
    Tty.SetBufferSize(Setup2 & 8 ? 819 : 30, 80);
    Tty.SetVisibleSize(80, 24);
    Tty.Clear();
    Tty.MoveCursor(0, Tty.Rows - 24);
    TWhoList Who;
    TOffLineEdit Edit(Tty, Who);
    TCountingOwner Owner;
    auto Engine = std::make_unique<TCLientStateMachine>(Host, Filter, Edit, Who, &Owner);
    size_t Sent = 0;
    Engine->OnSocketOut = [&](TTelnetStateMachine *, const uint8_t *Buf, int32_t Count) {
        if (Count < 0) abort();
        for (int32_t i = 0; i < Count; ++i)
            Sent += Buf[i];
    };
    Engine->OnTerminalOut = [&](TTelnetStateMachine *, const char *Buf) { Tty.Write(Buf); };
    if (Setup2 & 16) Engine->OnDebug = [&](TTelnetStateMachine *, const std::string &s) { Sent += s.size(); };

    std::vector<uint8_t> Buf;
    size_t Pos = 0;
    while (Pos < Size) {
        const uint8_t Op = Data[Pos++];
        switch (Op & 7) {
        case 4: // a typed character
            if (Pos < Size) Engine->SendChar(Data[Pos++]);
            break;
        case 5: // a key
            Engine->SendKey(Keys[(Op >> 3) & 7], static_cast<TShiftState>(Op >> 6));
            break;
        case 6: // a connection closed or opened
            if ((Op >> 3) == 0) Engine->Reset();
            break;
        default: { // a read of up to 31 bytes, or a long one of repeated input
            size_t n = Op >> 3;
            if ((Op & 7) == 7 && Pos < Size) n = size_t(Data[Pos++]) * 256;
            if (n > Size - Pos) n = Size - Pos;
            Buf.assign(Data + Pos, Data + Pos + n);
            Buf.push_back(0);
            Engine->ProcessInput(Buf.data(), static_cast<uint16_t>(n));
            Pos += n;
            break;
        }
        }
        // The engine and the editor agree on whether an edit is open, and every open
        // notification but a reopen by a text block is matched by a close.
        if (Engine->EditMode() != Edit.IsOpen()) abort();
        if (Owner.Opened < 0) abort();
        if (Engine->SentCount() < 0) abort();
    }
    Engine->Reset();
    if (Engine->EditMode()) abort();
    return Sent == 0xFFFFFFFF ? 1 : 0;
}
