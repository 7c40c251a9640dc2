// A host's session as the program runs it, over a transport the input drives. The first
// two bytes choose the host's mode (Telnet or CLient) and terminal, the screen, the filter,
// auto-login and one of two checks:
// - operations: received bytes in reads of any size, typed characters, keys, window sizes
//   and the line dropping and coming back, so negotiations are cut anywhere and edits open,
//   take keys, close, get cut off and are offered back in every order; the engine and the
//   offline editor must agree on whether an edit is open throughout.
// - split: the same received bytes fed in one read and cut into reads at chosen points must
//   leave the same cells, attributes, cursor, bytes sent, edit notices and who list: nothing
//   the user sees or the host receives may depend on how the network split the stream.

#include "colouredit/OffLine.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "session/ManualPlatform.h"
#include "session/ManualTransport.h"
#include "session/Session.h"
#include "terminal/ColorTTY.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TOutcome
{
    std::string Cells;   // characters and attributes of every row, then the cursor
    std::string Sent;    // bytes to the connection
    std::string Notices; // edit notices in posting order
    std::vector<std::string> Who;
    // Escape sequences (or, in ANSI-BBS, a form feed) reached the terminal while an edit was
    // open. Cursor addressing and screen erases address the screen, which the edit scrolls
    // below the output after every read: where they land depends on the reads by design, so
    // cells are not compared then.
    bool ScreenAddressedInEdit = false;
    bool LoneByte = false; // a lone backspace or '*' in an edit waits for the next read by design
    // A SAUCE record's mark without the 0x1A before it (as ENiGMA sends one) is looked for in
    // each read: cut in two, it is shown.
    bool MarkCut = false;
};

class TRecorder : public TSessionListener
{
public:
    void SessionStateChanged(TSessionState) override {}
    void SessionStatus(const std::string &) override {}
    void SessionError(const std::string &) override {}
    void SessionEditState(bool open) override
    {
        Out.Notices += open ? '1' : '0';
        Opened += open ? 1 : -1;
    }
    void SessionOutput(const char *text) override
    {
        if (Edit && Edit->IsOpen() && (std::strchr(text, 0x1B) || (AnsiBbs && std::strchr(text, 0x0C))))
            Out.ScreenAddressedInEdit = true;
    }
    TOutcome Out;
    long Opened = 0;
    const TOffLineEdit *Edit = nullptr;
    bool AnsiBbs = false;
};

// The stores read a settings file that does not exist: defaults, nothing written.
TSessionStores Stores(uint8_t Setup, uint8_t Setup2, THostSettings &Host)
{
    static TClientPrefs Prefs("/nonexistent/wm_fuzz_session.ini");
    static TUserFilter Filter("/nonexistent/wm_fuzz_session.ini");
    Host.Mode = static_cast<THostMode>(Setup % 3);
    Host.Terminal = Setup2 & 16 ? THostTerminal::AnsiBbs : THostTerminal::Classic;
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
    return {Prefs, Filter};
}

struct TRig
{
    const int Cols, Rows;
    TColorTTY Tty;
    TRecorder Listener;
    TManualLine Line;
    TManualPlatform *Platform = new TManualPlatform; // owned by the session
    THostSettings Host;
    TSession Session;

    TRig(uint8_t Setup, uint8_t Setup2)
        : Cols(Setup2 & 32 ? 20 : 80), Rows(Setup2 & 64 ? 5 : 24),
          Session(Stores(Setup, Setup2, Host), Tty, Listener, Line.Factory(),
                  std::unique_ptr<TManualPlatform>(Platform))
    {
        Tty.SetBufferSize(Setup2 & 8 ? 819 : 30, Cols);
        Tty.SetVisibleSize(Cols, Rows);
        Tty.Clear();
        Tty.MoveCursor(0, Tty.Rows - Rows);
        Listener.Edit = &Session.OffLineEdit();
        Listener.AnsiBbs = (Setup2 & 16) != 0;
        Session.SetScreenSize(uint8_t(Cols), uint8_t(Rows));
        Line.OnSend = [this](const uint8_t *Buf, size_t Count) {
            Listener.Out.Sent.append(reinterpret_cast<const char *>(Buf), Count);
        };
        Session.Connect(Host);
        Line.Connected();
        Platform->RunPosted();
    }
};

const uint16_t Keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_BACK, VK_DELETE};

// Each operation is an opcode and its operands.
void Operate(TRig &r, const uint8_t *Data, size_t Size)
{
    TCLientStateMachine &Engine = r.Session.CLientMachine();
    size_t Pos = 0;
    while (Pos < Size) {
        const uint8_t Op = Data[Pos++];
        switch (Op & 7) {
        case 4: // a typed character
            if (Pos < Size) r.Session.KeyPress(Data[Pos++]);
            break;
        case 5: // a key
            r.Session.KeyDown(Keys[(Op >> 3) & 7], static_cast<TShiftState>(Op >> 6));
            break;
        case 6: // the window is resized; a draft is restored; the line drops or the user
                // disconnects, then it comes back
            if ((Op >> 3) == 3 && Pos < Size) {
                r.Session.SetScreenSize(uint8_t(Data[Pos]), uint8_t(Data[Pos] >> 3));
                ++Pos;
                break;
            }
            if ((Op >> 3) == 2) {
                r.Session.RestoreDraft();
                break;
            }
            if ((Op >> 3) == 0) r.Line.Close(TCloseKind::Lost);
            if ((Op >> 3) == 1) r.Session.Disconnect();
            r.Platform->Advance(1000);
            r.Session.Connect(r.Host);
            r.Line.Connected();
            break;
        default: { // a read of up to 31 bytes, or a long one of repeated input
            size_t n = Op >> 3;
            if ((Op & 7) == 7 && Pos < Size) n = size_t(Data[Pos++]) * 256;
            n = std::min(n, Size - Pos);
            r.Line.Receive(Data + Pos, n);
            Pos += n;
            break;
        }
        }
        r.Platform->RunPosted();
        // Every open notification but a reopen by a text block is matched by a close.
        if (Engine.EditMode() != r.Session.OffLineEdit().IsOpen() || r.Listener.Opened < 0 ||
            Engine.SentCount() < 0 || r.Session.State() != TSessionState::Connected)
            abort();
    }
    r.Session.Disconnect();
    r.Platform->RunPosted();
    if (Engine.EditMode()) abort();
}

TOutcome Split(uint8_t Setup, uint8_t Setup2, const std::string &Stream, const std::vector<size_t> &Cuts)
{
    TRig r(Setup, Setup2);
    size_t From = 0;
    for (size_t k = 0; k <= Cuts.size(); ++k) {
        const size_t To = k < Cuts.size() ? Cuts[k] : Stream.size();
        if (To <= From) continue;
        if (To - From == 1 && (Stream[From] == '\b' || Stream[From] == '*')) r.Listener.Out.LoneByte = true;
        for (const char *mark : {"SAUCE00", "COMNT"}) {
            const size_t length = std::strlen(mark);
            for (size_t at = Stream.find(mark); at != std::string::npos; at = Stream.find(mark, at + 1))
                if (at < To && To < at + length) r.Listener.Out.MarkCut = true;
        }
        r.Line.Receive(reinterpret_cast<const uint8_t *>(Stream.data()) + From, To - From);
        r.Platform->RunPosted();
        From = To;
    }
    TOutcome Out = r.Listener.Out;
    for (int y = 0; y < r.Tty.Rows; ++y) {
        Out.Cells.append(reinterpret_cast<const char *>(r.Tty.Screen().RowChars(y)), size_t(r.Tty.Cols));
        Out.Cells.append(reinterpret_cast<const char *>(r.Tty.Screen().RowAttrs(y)), size_t(r.Tty.Cols));
    }
    Out.Cells += std::to_string(r.Tty.CursorX) + "," + std::to_string(r.Tty.CursorY);
    Out.Who = r.Session.WhoList().Names;
    return Out;
}

void Fail(const char *What)
{
    std::fprintf(stderr, "split changes the %s\n", What);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size < 2) return 0;
    const uint8_t Setup = Data[0], Setup2 = Data[1];
    if (!(Setup2 & 128)) {
        TRig r(Setup, Setup2);
        Operate(r, Data + 2, Size - 2);
        return 0;
    }
    FuzzedDataProvider In(Data + 2, Size - 2);
    std::vector<size_t> Cuts(In.ConsumeIntegralInRange<size_t>(1, 8));
    for (size_t &c : Cuts)
        c = In.ConsumeIntegral<uint16_t>();
    const std::string Stream = In.ConsumeRemainingBytesAsString();
    if (Stream.empty() || Stream.size() > 30000) return 0;
    for (size_t &c : Cuts)
        c %= Stream.size() + 1;
    std::sort(Cuts.begin(), Cuts.end());

    const TOutcome Whole = Split(Setup, Setup2, Stream, {}), Cut = Split(Setup, Setup2, Stream, Cuts);
    if (Cut.LoneByte) return 0;
    if (Whole.Sent != Cut.Sent) Fail("bytes sent");
    if (Whole.Notices != Cut.Notices) Fail("edit notices");
    if (Whole.Who != Cut.Who) Fail("who list");
    if (Whole.ScreenAddressedInEdit || Cut.ScreenAddressedInEdit || Cut.MarkCut) return 0;
    if (Whole.Cells != Cut.Cells) Fail("cells or cursor");
    return 0;
}
