#include "tools/replay/Session.h"

#include "colouredit/OffLine.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {
// Never created: the stores keep their defaults and the options fill them in.
const char NoSettingsFile[] = "/nonexistent/winmarlet-replay.ini";
} // namespace

TReplaySession::TReplaySession(int Cols, int Rows, std::ostream &FOut, const TReplayOptions &Options)
    : FOut(FOut), FClient(Options.Mode != "telnet"), FPrefs(NoSettingsFile), FFilter(NoSettingsFile)
{
    // As the main window starts it: the scrollback full of blank lines, the cursor on
    // the first row of the bottom screen. A wide screen gets fewer scrollback rows: the
    // buffer holds at most MaxTTYCells cells.
    FTerminal.SetBufferSize(ScrollbackRows, Cols);
    FTerminal.SetVisibleSize(Cols, Rows);
    FTerminal.Clear();
    FTerminal.MoveCursor(0, FTerminal.ScreenTop());
    FTerminal.ScrollTo(0, FTerminal.ScreenTop());
    FTerminal.SetAttr(caCleared);

    FHost.Mode = Options.Mode == "isca" ? hmISCA : Options.Mode == "orvo" ? hmORVO : hmTelnet;
    // The session reads the host's output in its emulation from the connect on; the
    // terminal's answers to the host's queries go out (and are printed) as the engine's do.
    FHost.Terminal = Options.AnsiBbs ? THostTerminal::AnsiBbs : THostTerminal::Classic;
    FHost.Name = "replay";
    FHost.Address = "replay";
    FHost.LoginName = Options.Login;
    FHost.Password = Options.Password;
    FHost.AutoLogin = Options.AutoLogin;
    FFilter.ExpressFilter = Options.ExpressFilter;
    FFilter.PostFilter = Options.PostFilter;
    for (const std::string &n : Options.Friends)
        FFilter.Friends.Add(n);
    for (const std::string &n : Options.Enemies)
        FFilter.Enemies.Add(n);

    auto platform = std::make_unique<TManualPlatform>();
    FPlatform = platform.get();
    FSession = std::make_unique<TSession>(TSessionStores{FPrefs, FFilter}, FTerminal,
                                          static_cast<TSessionListener &>(*this), FLine.Factory(),
                                          std::move(platform));
    FSession->SetScreenSize(uint8_t(Cols), uint8_t(Rows));
    FSession->Connect(FHost);
    FLine.Connected();
    FPlatform->RunPosted();
    FLine.OnSend = [this](const uint8_t *Buf, size_t Count) {
        std::string Text = ">";
        for (size_t i = 0; i < Count; ++i) {
            char h[4];
            std::snprintf(h, sizeof h, " %02X", Buf[i]);
            Text += h;
        }
        this->FOut << Text << '\n';
    };
}

TReplaySession::~TReplaySession() = default;

void TReplaySession::SessionEditState(bool Open)
{
    FOut << "edit: " << (Open ? 1 : 0) << '\n';
}

void TReplaySession::Receive(const uint8_t *Bytes, size_t Count)
{
    FLine.Receive(Bytes, Count);
    FPlatform->RunPosted();
}

void TReplaySession::Step(const TScriptStep &Step)
{
    switch (Step.Kind) {
    case TScriptStep::skRecv:
        FLine.Receive(Step.Bytes.data(), Step.Bytes.size());
        break;
    case TScriptStep::skType:
        for (uint8_t c : Step.Bytes)
            FSession->KeyPress(c);
        break;
    case TScriptStep::skKey:
        FSession->KeyDown(Step.Key, Step.Shift);
        break;
    case TScriptStep::skReset:
        FSession->StateMachine().Reset();
        break;
    }
    FPlatform->RunPosted();
}

void TReplaySession::Run(const TScript &Script)
{
    for (const TScriptStep &s : Script)
        Step(s);
}

void TReplaySession::PrintScreen(bool Attrs)
{
    const TColorTTY &t = FTerminal;
    const int First = t.ScreenTop();
    FOut << "screen:\n";
    for (int y = First; y < t.Rows; ++y) {
        const uint8_t *c = t.Screen().RowChars(y);
        int End = t.Cols;
        while (End > 0 && c[End - 1] == ' ')
            --End;
        std::string Row(static_cast<size_t>(End), ' ');
        for (int x = 0; x < End; ++x)
            Row[static_cast<size_t>(x)] = c[x] >= 0x20 && c[x] <= 0x7E ? static_cast<char>(c[x]) : '.';
        FOut << Row << '\n';
        if (Attrs) {
            const uint8_t *a = t.Screen().RowAttrs(y);
            std::string FLine = "  ";
            for (int x = 0; x < t.Cols; ++x) {
                char h[3];
                std::snprintf(h, sizeof h, "%02X", a[x]);
                FLine += h;
            }
            FOut << FLine << '\n';
        }
    }
    FOut << "cursor: " << t.CursorX << ' ' << t.CursorY - First << '\n';
}

void TReplaySession::PrintWho()
{
    if (FClient)
        for (const std::string &n : FSession->WhoList().Names)
            FOut << "who: " << n << '\n';
}

std::vector<uint8_t> ReadCaptureFile(const std::string &Path)
{
    std::ifstream In(Path, std::ios::binary);
    if (!In) throw std::runtime_error("cannot open " + Path);
    std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    if (In.bad()) throw std::runtime_error("cannot read " + Path);
    return Bytes;
}
