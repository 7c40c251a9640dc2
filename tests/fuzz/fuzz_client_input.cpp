// A host's session as the program runs it, over a transport the input drives: received
// bytes in reads of any size, typed characters, keys, window sizes and the line dropping
// and coming back, so negotiations are cut anywhere and edits open, take keys, close, get
// cut off and are offered back in every order. The offline editor draws into a real
// terminal. The first bytes choose the host's mode (Telnet or CLient), the screen, the
// filter and auto-login; then each operation is an opcode and its operands.

#include "colouredit/OffLine.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "session/ManualPlatform.h"
#include "session/ManualTransport.h"
#include "session/Session.h"
#include "terminal/ColorTTY.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

// The stores read a settings file that does not exist: defaults, nothing written.
const char NoFile[] = "/nonexistent/wm_fuzz_client.ini";

class TCountingListener : public TSessionListener
{
public:
    void SessionStateChanged(TSessionState) override {}
    void SessionStatus(const std::string &s) override { Touched += s.size(); }
    void SessionError(const std::string &s) override { Touched += s.size(); }
    void SessionDebug(const std::string &s) override { Touched += s.size(); }
    void SessionEditState(bool open) override { Opened += open ? 1 : -1; }
    long Opened = 0;
    size_t Touched = 0;
};

const uint16_t Keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_BACK, VK_DELETE};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size < 2) return 0;
    static THostInfo Host(NoFile);
    static TClientPrefs Prefs(NoFile);
    static TUserFilter Filter(NoFile);
    const uint8_t Setup = Data[0], Setup2 = Data[1];
    Data += 2;
    Size -= 2;
    Host.Mode = static_cast<THostMode>(Setup % 3);
    Host.AutoLogin = (Setup & 4) != 0;
    Host.LoginName = Setup & 8 ? "guest" : "";
    Host.Password = Setup & 16 ? "pw" : "";
    Prefs.ReconnectAutomatically = (Setup & 32) != 0;
    Filter.ExpressFilter = (Setup2 & 3) == 3 ? -1 : Setup2 & 3;
    Filter.PostFilter = (Setup2 >> 2) & 1;
    Filter.Friends.Clear();
    Filter.Enemies.Clear();
    Filter.Enemies.Add("bob");
    Filter.Friends.Add("ann");

    const int Cols = Setup2 & 32 ? 20 : 80, Rows = Setup2 & 64 ? 5 : 24;
    TColorTTY Tty;
    Tty.SetBufferSize(Setup2 & 8 ? 819 : 30, Cols);
    Tty.SetVisibleSize(Cols, Rows);
    Tty.Clear();
    Tty.MoveCursor(0, Tty.Rows - Rows);
    TCountingListener Listener;
    TManualLine Line;
    auto Owned = std::make_unique<TManualPlatform>();
    TManualPlatform &Platform = *Owned;
    TSession Session(TSessionStores{Host, Prefs, Filter}, Tty, Listener, Line.Factory(), std::move(Owned));
    Session.SetScreenSize(uint8_t(Cols), uint8_t(Rows));
    size_t Sent = 0;
    Line.OnSend = [&](const uint8_t *Buf, size_t Count) {
        for (size_t i = 0; i < Count; ++i)
            Sent += Buf[i];
    };
    Session.Connect();
    Line.Connected();

    TCLientStateMachine &Engine = Session.CLientMachine();
    const TOffLineEdit &Edit = Session.OffLineEdit();
    size_t Pos = 0;
    while (Pos < Size) {
        const uint8_t Op = Data[Pos++];
        switch (Op & 7) {
        case 4: // a typed character
            if (Pos < Size) Session.KeyPress(Data[Pos++]);
            break;
        case 5: // a key
            Session.KeyDown(Keys[(Op >> 3) & 7], static_cast<TShiftState>(Op >> 6));
            break;
        case 6: // the line drops (or the user disconnects), then comes back; a draft is restored;
                // the window is resized
            if ((Op >> 3) == 3 && Pos < Size) {
                Session.SetScreenSize(uint8_t(Data[Pos]), uint8_t(Data[Pos] >> 3));
                ++Pos;
                break;
            }
            if ((Op >> 3) == 0) {
                Line.Close(TCloseKind::Lost);
            } else if ((Op >> 3) == 1) {
                Session.Disconnect();
            } else if ((Op >> 3) == 2) {
                Session.RestoreDraft();
                break;
            }
            Platform.Advance(1000);
            Session.Connect();
            Line.Connected();
            break;
        default: { // a read of up to 31 bytes, or a long one of repeated input
            size_t n = Op >> 3;
            if ((Op & 7) == 7 && Pos < Size) n = size_t(Data[Pos++]) * 256;
            if (n > Size - Pos) n = Size - Pos;
            Line.Receive(Data + Pos, n);
            Pos += n;
            break;
        }
        }
        Platform.RunPosted();
        // The engine and the editor agree on whether an edit is open, and every open
        // notification but a reopen by a text block is matched by a close.
        if (Engine.EditMode() != Edit.IsOpen()) abort();
        if (Listener.Opened < 0) abort();
        if (Engine.SentCount() < 0) abort();
        if (Session.State() != TSessionState::Connected) abort();
    }
    Session.Disconnect();
    Platform.RunPosted();
    if (Engine.EditMode()) abort();
    return Sent + Listener.Touched == 0xFFFFFFFF ? 1 : 0;
}
