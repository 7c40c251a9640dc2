#include "tools/replay/ClientReplay.h"

#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "terminal/Cp437.h"

namespace {
// Never created: the stores keep their defaults and the options fill them in.
const char NoSettingsFile[] = "/nonexistent/winmarlet-replay.ini";
} // namespace

TClientReplay::TClientReplay(TColorTTY &Terminal, const TReplayOptions &Options)
    : Host(std::make_unique<THostInfo>(NoSettingsFile)),
      Filter(std::make_unique<TUserFilter>(NoSettingsFile)), Edit(Terminal, Who)
{
    THostInfo &Host = *this->Host;
    TUserFilter &Filter = *this->Filter;
    Host.Mode = Options.Mode == "isca" ? hmISCA : hmORVO;
    Host.BBSName = "replay";
    Host.LoginName = Options.Login;
    Host.Password = Options.Password;
    Host.AutoLogin = Options.AutoLogin;
    Filter.ExpressFilter = Options.ExpressFilter;
    Filter.PostFilter = Options.PostFilter;
    for (const std::string &n : Options.Friends)
        Filter.Friends.Add(n);
    for (const std::string &n : Options.Enemies)
        Filter.Enemies.Add(n);
    // As the main window prepares an ISCA connection: the who list starts as the friends.
    if (Host.Mode == hmISCA)
        for (const std::string &n : Filter.Friends.Items())
            Who.Add(cp437::FromUtf8(n)); // the filter keeps UTF-8, the BBS code page 437
    Edit.SetHostMode(Host.Mode);
}

TClientReplay::~TClientReplay() = default;

std::unique_ptr<TCLientStateMachine> TClientReplay::MakeEngine()
{
    return std::make_unique<TCLientStateMachine>(*Host, *Filter, Edit, Who, this);
}

void TClientReplay::Post(uint32_t Msg, uintptr_t WParam, intptr_t)
{
    if (Msg == WM_EDITSTATE) Queue.push_back(WParam);
}

void TClientReplay::Deliver(std::ostream &Out)
{
    for (uintptr_t w : Queue)
        Out << "edit: " << w << '\n';
    Queue.clear();
}

void TClientReplay::PrintWho(std::ostream &Out) const
{
    for (const std::string &n : Who.Names)
        Out << "who: " << n << '\n';
}
