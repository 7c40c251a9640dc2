#include "config/SetHost.h"

#include <algorithm>


namespace {

const char *const Hosts = "Hosts";

std::string HostKey(int i)
{
    return "Host" + std::to_string(i);
}

// Index of the first empty "Host"i, i >= 1.
int FirstFreeHostIndex(const TIniDocument &doc)
{
    int i = 1;
    while (!doc.ReadString(Hosts, HostKey(i), "").empty())
        ++i;
    return i;
}

bool InHostList(const TIniDocument &doc, const std::string &name)
{
    for (int i = 1;; ++i) {
        std::string entry = doc.ReadString(Hosts, HostKey(i), "");
        if (entry.empty()) return false;
        if (SameIniName(entry, name)) return true;
    }
}

// A host joins the list when its section has no address yet. A name already
// listed is not added twice (saving an address-less host again would).
void AddToHostList(TIniDocument &doc, const std::string &name)
{
    if (doc.ReadString(name, "Address", "").empty() && !InHostList(doc, name))
        doc.WriteString(Hosts, HostKey(FirstFreeHostIndex(doc)), name);
}

// Section names must survive a round trip through the file.
bool UsableHostName(const std::string &name)
{
    return !name.empty() && name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos &&
           name.find_first_not_of(" \t") != std::string::npos;
}

// The connection and terminal keys of a section; missing or unknown values read as the
// plain TCP, classic terminal defaults.
void ReadLink(const TIniDocument &doc, const std::string &section, THostTransport &transport,
              THostTerminal &terminal, bool &ice)
{
    transport = TransportFromKey(doc.ReadString(section, "Transport", "tcp")).value_or(THostTransport::Tcp);
    terminal =
        TerminalFromKey(doc.ReadString(section, "Terminal", "classic")).value_or(THostTerminal::Classic);
    ice = doc.ReadBool(section, "iCE Colours", false);
}

// Files of older versions have none of these keys: they are written only once a host
// leaves the defaults, so such a file is not changed by saving a plain host.
void WriteLink(TIniDocument &doc, const std::string &section, THostTransport transport,
               THostTerminal terminal, bool ice)
{
    const auto put = [&](const char *key, std::string_view value, bool isDefault) {
        if (!isDefault || doc.ValueExists(section, key)) doc.WriteString(section, key, value);
    };
    put("Transport", TransportKey(transport), transport == THostTransport::Tcp);
    put("Terminal", TerminalKey(terminal), terminal == THostTerminal::Classic);
    put("iCE Colours", ice ? "1" : "0", !ice);
}

bool StartsWith(const std::string &s, const char *prefix)
{
    return s.rfind(prefix, 0) == 0;
}

} // namespace

THostInfo::THostInfo(std::string iniFileName, const std::vector<std::string> &args)
    : FIni(std::move(iniFileName))
{
    LoadHosts();
    if (!args.empty()) ApplyCommandLine(args.front());
}

THostInfo::~THostInfo()
{
    if (Modified) SaveHosts();
}

std::string &THostInfo::Last(int i)
{
    std::string *last[] = {&Last1, &Last2, &Last3, &Last4, &Last5};
    return *last[std::clamp(i, 1, 5) - 1];
}

const std::string &THostInfo::Last(int i) const
{
    return const_cast<THostInfo *>(this)->Last(i);
}

void THostInfo::LoadHosts()
{
    const TIniDocument doc = FIni.Load();
    Modified = false;
    BBSName = doc.ReadString(Hosts, "Host", "");
    Address = doc.ReadString(Hosts, "Address", "");
    Port = doc.ReadString(Hosts, "Port", "1976");
    int mode = doc.ReadInteger(Hosts, "Mode", hmORVO);
    Mode = mode >= hmORVO && mode <= hmISCA ? THostMode(mode) : hmORVO;
    AutoLogin = doc.ReadBool(Hosts, "AutoLogin", false);
    LoginName = doc.ReadString(Hosts, "Login Name", "");
    Password = doc.ReadString(Hosts, "Password", "");
    ReadLink(doc, Hosts, Transport, Terminal, IceColours);
    for (int i = 1; i <= 5; ++i)
        Last(i) = doc.ReadString(Hosts, "Last" + std::to_string(i), "");
}

void THostInfo::ApplyCommandLine(const std::string &arg)
{
    if (StartsWith(arg, "telnet://")) {
        const std::string rest = arg.substr(9);
        Mode = hmTelnet;
        // A host name cannot hold ':' or '/', so whichever comes first ends it.
        size_t addressEnd = rest.find_first_of(":/");
        Address = rest.substr(0, addressEnd);
        Port = "23";
        size_t slash = addressEnd;
        if (addressEnd != std::string::npos && rest[addressEnd] == ':') {
            slash = rest.find('/', addressEnd + 1);
            std::string port = rest.substr(
                addressEnd + 1, slash == std::string::npos ? std::string::npos : slash - addressEnd - 1);
            if (!port.empty()) Port = port;
        }
        std::string name;
        if (slash != std::string::npos) name = rest.substr(slash + 1);
        std::replace(name.begin(), name.end(), '_', ' ');
        if (UsableHostName(name)) {
            BBSName = name;
            RegisterHost();
        } else {
            BBSName = "unknown";
        }
        Modified = true;
    } else if (StartsWith(arg, "/c=")) {
        SelectHost(arg.substr(3));
        Modified = true;
    }
}

void THostInfo::SelectHost(const std::string &name)
{
    const TIniDocument doc = FIni.Load();
    BBSName = name;
    Address = doc.ReadString(name, "Address", "");
    Port = doc.ReadString(name, "Port", "");
    // Taken as stored: a host with an unknown mode is still a CLient host.
    Mode = THostMode(doc.ReadInteger(name, "Mode", hmORVO));
    AutoLogin = doc.ReadBool(name, "AutoLogin", false);
    LoginName = doc.ReadString(name, "Login Name", "");
    Password = doc.ReadString(name, "Password", "");
    ReadLink(doc, name, Transport, Terminal, IceColours);
    Modified = true;
}

bool THostInfo::RegisterHost()
{
    if (!UsableHostName(BBSName)) return false;
    return FIni.Update([&](TIniDocument &doc) {
        AddToHostList(doc, BBSName);
        doc.WriteString(BBSName, "Address", Address);
        doc.WriteString(BBSName, "Port", Port);
        doc.WriteInteger(BBSName, "Mode", Mode);
    });
}

bool THostInfo::SaveHosts()
{
    return FIni.Update([&](TIniDocument &doc) {
        doc.WriteString(Hosts, "Host", BBSName);
        doc.WriteString(Hosts, "Address", Address);
        doc.WriteString(Hosts, "Port", Port);
        doc.WriteInteger(Hosts, "Mode", Mode);
        doc.WriteBool(Hosts, "AutoLogin", AutoLogin);
        doc.WriteString(Hosts, "Login Name", LoginName);
        doc.WriteString(Hosts, "Password", Password);
        WriteLink(doc, Hosts, Transport, Terminal, IceColours);
        for (int i = 1; i <= 5; ++i)
            doc.WriteString(Hosts, "Last" + std::to_string(i), Last(i));
    });
}

bool THostInfo::PromoteCurrentHost()
{
    if (BBSName == Last1) return false;
    int k = 5; // not in the list: the oldest entry drops out
    for (int i = 2; i <= 5; ++i) {
        if (Last(i) == BBSName) {
            k = i;
            break;
        }
    }
    for (int i = k; i >= 2; --i)
        Last(i) = Last(i - 1);
    Last1 = BBSName;
    Modified = true;
    return true;
}

std::vector<std::string> THostInfo::HostList() const
{
    const TIniDocument doc = FIni.Load();
    std::vector<std::string> names;
    for (int i = 1;; ++i) {
        std::string name = doc.ReadString(Hosts, HostKey(i), "");
        if (name.empty()) return names;
        names.push_back(std::move(name));
    }
}

std::vector<std::string> THostInfo::HostMenuNames() const
{
    std::vector<std::string> names = HostList();
    std::sort(names.begin(), names.end());
    return names;
}

bool THostInfo::LookupHost(const std::string &name, THostSettings &out) const
{
    out = THostSettings();
    if (!UsableHostName(name)) return false;
    const TIniDocument doc = FIni.Load();
    std::string address = doc.ReadString(name, "Address", "");
    if (address.empty()) return false;
    out.Address = address;
    out.Port = doc.ReadString(name, "Port", "1976");
    int mode = doc.ReadInteger(name, "Mode", hmORVO);
    out.Mode = mode >= hmORVO && mode <= hmISCA ? THostMode(mode) : hmORVO;
    out.AutoLogin = doc.ReadBool(name, "AutoLogin", false);
    out.LoginName = doc.ReadString(name, "Login Name", "");
    out.Password = doc.ReadString(name, "Password", "");
    ReadLink(doc, name, out.Transport, out.Terminal, out.IceColours);
    return true;
}

bool THostInfo::StoreHost(const std::string &name, const THostSettings &host)
{
    if (!UsableHostName(name)) return false;
    return FIni.Update([&](TIniDocument &doc) {
        AddToHostList(doc, name);
        doc.WriteString(name, "Address", host.Address);
        doc.WriteString(name, "Port", host.Port);
        doc.WriteInteger(name, "Mode", host.Mode);
        doc.WriteBool(name, "AutoLogin", host.AutoLogin);
        doc.WriteString(name, "Login Name", host.LoginName);
        doc.WriteString(name, "Password", host.Password);
        WriteLink(doc, name, host.Transport, host.Terminal, host.IceColours);
    });
}

bool THostInfo::DeleteHost(const std::string &name)
{
    bool found = false;
    bool written = FIni.Update([&](TIniDocument &doc) {
        int i = 1;
        for (;; ++i) {
            std::string entry = doc.ReadString(Hosts, HostKey(i), "");
            if (entry.empty()) return;
            if (entry == name) break;
        }
        found = true;
        // Close the gap; the last entry becomes an empty value.
        for (int j = i + 1;; ++j) {
            std::string next = doc.ReadString(Hosts, HostKey(j), "");
            doc.WriteString(Hosts, HostKey(j - 1), next);
            if (next.empty()) break;
        }
        doc.EraseSection(name);
    });
    return found && written;
}

std::string PortForMode(const std::string &port, THostMode mode)
{
    if ((mode == hmTelnet || mode == hmISCA) && port == "1976") return "23";
    if (mode == hmORVO && port == "23") return "1976";
    return port;
}

int SelectionAfterDelete(int removedIndex, int remaining)
{
    if (remaining <= 0) return -1;
    return removedIndex <= 0 ? 0 : std::min(removedIndex - 1, remaining - 1);
}
