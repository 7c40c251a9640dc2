// The same received bytes fed in one read and cut into reads at chosen points, through the
// program's session with the Telnet engine or the CLient engine and the offline editor,
// must leave the same cells, attributes, cursor, bytes sent, edit notices and who list:
// nothing the user sees or the host receives may depend on how the network split the
// stream.

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

const char NoFile[] = "/nonexistent/wm_fuzz_split.ini";

struct TOutcome
{
    std::string Cells; // characters and attributes of every row
    int CursorX = 0, CursorY = 0;
    std::string Sent;    // bytes to the connection
    std::string Notices; // WM_EDITSTATE parameters in posting order
    std::vector<std::string> Who;
    // Escape sequences (or, in ANSI-BBS, a form feed) reached the terminal while an edit was
    // open. Cursor addressing and screen erases address the screen, which the edit scrolls
    // below the output after every read: where they land depends on the reads by design, so
    // cells are not compared then.
    bool ScreenAddressedInEdit = false;
    bool LoneByte = false;
};

class TRecorder : public TSessionListener
{
public:
    explicit TRecorder(TOutcome &out) : Out(out) {}
    void SessionStateChanged(TSessionState) override {}
    void SessionStatus(const std::string &) override {}
    void SessionError(const std::string &) override {}
    void SessionEditState(bool open) override { Out.Notices += open ? '1' : '0'; }
    void SessionOutput(const char *text) override
    {
        // ANSI-BBS: a form feed clears the screen
        if (Edit && Edit->IsOpen() && (std::strchr(text, 0x1B) || (AnsiBbs && std::strchr(text, 0x0C))))
            Out.ScreenAddressedInEdit = true;
    }
    TOutcome &Out;
    const TOffLineEdit *Edit = nullptr;
    bool AnsiBbs = false;
};

struct TSetup
{
    bool Client;
    THostMode Mode;
    int Cols;
    bool AutoLogin;
    bool AnsiBbs;
};

TOutcome Run(const TSetup &setup, const std::string &stream, const std::vector<size_t> &cuts)
{
    static THostInfo Host(NoFile);
    static TClientPrefs Prefs(NoFile);
    static TUserFilter Filter(NoFile);
    Host.Mode = setup.Client ? setup.Mode : hmTelnet;
    Host.Terminal = setup.AnsiBbs ? THostTerminal::AnsiBbs : THostTerminal::Classic;
    Host.AutoLogin = setup.AutoLogin;
    Host.LoginName = "guest";
    Host.Password = "pw";
    Filter.ExpressFilter = 0;
    Filter.PostFilter = 0;
    Filter.Friends.Clear();
    Filter.Enemies.Clear();
    Filter.Enemies.Add("bob");

    TOutcome out;
    TColorTTY tty;
    tty.SetBufferSize(40, setup.Cols);
    tty.SetVisibleSize(setup.Cols, 24);
    tty.Clear();
    tty.MoveCursor(0, tty.Rows - 24);
    TRecorder recorder(out);
    TManualLine line;
    auto owned = std::make_unique<TManualPlatform>();
    TManualPlatform &platform = *owned;
    TSession session(TSessionStores{Host, Prefs, Filter}, tty, recorder, line.Factory(), std::move(owned));
    recorder.Edit = &session.OffLineEdit();
    recorder.AnsiBbs = setup.AnsiBbs;
    session.SetScreenSize(uint8_t(setup.Cols), 24);
    session.Connect();
    line.Connected();
    platform.RunPosted();
    line.OnSend = [&](const uint8_t *buf, size_t count) {
        out.Sent.append(reinterpret_cast<const char *>(buf), count);
    };

    size_t from = 0;
    for (size_t k = 0; k <= cuts.size(); ++k) {
        const size_t to = k < cuts.size() ? cuts[k] : stream.size();
        if (to <= from) continue;
        // A lone backspace or '*' in an edit waits for the next read by design.
        if (to - from == 1 && (stream[from] == '\b' || stream[from] == '*')) out.LoneByte = true;
        line.Receive(reinterpret_cast<const uint8_t *>(stream.data()) + from, to - from);
        platform.RunPosted();
        from = to;
    }

    for (int y = 0; y < tty.Rows; ++y) {
        out.Cells.append(reinterpret_cast<const char *>(tty.RowChars(y)), size_t(tty.Cols));
        out.Cells.append(reinterpret_cast<const char *>(tty.RowAttrs(y)), size_t(tty.Cols));
    }
    out.CursorX = tty.CursorX;
    out.CursorY = tty.CursorY;
    out.Who = session.WhoList().Names;
    return out;
}

void Fail(const char *what)
{
    std::fprintf(stderr, "split changes the %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const uint8_t s = in.ConsumeIntegral<uint8_t>();
    const TSetup setup{(s & 1) != 0, THostMode((s >> 1) & 1 ? hmISCA : hmORVO), (s & 4) ? 20 : 80,
                       (s & 8) != 0, (s & 16) != 0};
    std::vector<size_t> cuts(in.ConsumeIntegralInRange<size_t>(1, 8));
    for (size_t &c : cuts)
        c = in.ConsumeIntegral<uint16_t>();
    const std::string stream = in.ConsumeRemainingBytesAsString();
    if (stream.empty() || stream.size() > 30000) return 0;
    for (size_t &c : cuts)
        c %= stream.size() + 1;
    std::sort(cuts.begin(), cuts.end());

    const TOutcome whole = Run(setup, stream, {});
    const TOutcome split = Run(setup, stream, cuts);
    if (split.LoneByte) return 0;
    if (whole.Sent != split.Sent) Fail("bytes sent");
    if (whole.Notices != split.Notices) Fail("edit notices");
    if (whole.Who != split.Who) Fail("who list");
    if (whole.ScreenAddressedInEdit || split.ScreenAddressedInEdit) return 0;
    if (whole.Cells != split.Cells) Fail("cells");
    if (whole.CursorX != split.CursorX || whole.CursorY != split.CursorY) Fail("cursor");
    return 0;
}
