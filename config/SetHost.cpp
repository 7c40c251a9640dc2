#include "config/SetHost.h"

#include "config/HostLink.h"
#include "config/IniFields.h"
#include "config/TextEncoding.h"

#include <algorithm>
#include <array>

namespace {

const char *const Hosts = "Hosts";
const char *const AddressKey = "Address";

std::string HostKey(int i)
{
    return "Host" + std::to_string(i);
}

std::string LastKey(int i)
{
    return "Last" + std::to_string(i);
}

// The keys of a host: in its own section, and for the current host in "Hosts", which
// adds its name. One group: a host is never stored half old, half new.
std::vector<TIniField<THostSettings>> MakeHostFields(bool named)
{
    using T = THostSettings;
    std::vector<TIniField<T>> f;
    if (named) f.push_back(Field("Host", &T::Name, nullptr, 1));
    f.push_back(Field(AddressKey, &T::Address, nullptr, 1));
    f.push_back(Field("Port", &T::Port, nullptr, 1));
    f.push_back(Field("Mode", &T::Mode, nullptr, 1));
    f.push_back(Field("AutoLogin", &T::AutoLogin, nullptr, 1));
    f.push_back(Field("Login Name", &T::LoginName, nullptr, 1));
    f.push_back(Field("Password", &T::Password, nullptr, 1));
    // Files of older versions have none of these: written once a host leaves the
    // plain TCP, classic terminal defaults.
    f.push_back(Field("Transport", &T::Transport, "tcp", 1));
    f.push_back(Field("Terminal", &T::Terminal, "classic", 1));
    f.push_back(Field("iCE Colours", &T::IceColours, "0", 1));
    f.push_back(Field("LF Expand", &T::LfExpand, "0", 1));
    f.push_back(Field("Hide SAUCE", &T::HideSauce, "1", 1));
    return f;
}

// A host's own section.
std::span<const TIniField<THostSettings>> HostFields()
{
    static const std::vector<TIniField<THostSettings>> fields = MakeHostFields(false);
    return fields;
}

// The current host in "Hosts".
std::span<const TIniField<THostSettings>> CurrentHostFields()
{
    static const std::vector<TIniField<THostSettings>> fields = MakeHostFields(true);
    return fields;
}

// Missing keys keep what host holds.
void ReadHost(const TIniDocument &doc, const std::string &name, THostSettings &host)
{
    ReadFields(doc, name, HostFields(), host);
}

void WriteHost(TIniDocument &doc, const std::string &name, const THostSettings &host)
{
    std::vector<std::string> all;
    WriteFields(doc, name, HostFields(), host, all);
}

// What SelectHost reads for a key that is missing: an empty port too.
THostSettings StoreDefaults()
{
    THostSettings s;
    s.Port.clear();
    return s;
}

bool HasAddress(const TIniDocument &doc, const std::string &name)
{
    return !IsReservedHostName(name) && !doc.ReadString(name, AddressKey, "").empty();
}

// Index of the first empty "Host"i, i >= 1.
int FirstFreeHostIndex(const TIniDocument &doc)
{
    int i = 1;
    while (!doc.ReadString(Hosts, HostKey(i), "").empty())
        ++i;
    return i;
}

// The host list's spelling of name (sections match without regard to case); empty
// when the list does not hold it.
std::string ListedName(const TIniDocument &doc, const std::string &name)
{
    for (int i = 1;; ++i) {
        std::string entry = doc.ReadString(Hosts, HostKey(i), "");
        if (entry.empty() || SameIniName(entry, name)) return entry;
    }
}

bool InHostList(const TIniDocument &doc, const std::string &name)
{
    return !ListedName(doc, name).empty();
}

// A host joins the list when its section has no address yet. A name already
// listed is not added twice (saving an address-less host again would).
void AddToHostList(TIniDocument &doc, const std::string &name)
{
    if (!HasAddress(doc, name) && !InHostList(doc, name))
        doc.WriteString(Hosts, HostKey(FirstFreeHostIndex(doc)), name);
}

// Section names must survive a round trip through the file.
bool UsableHostName(const std::string &name)
{
    return !name.empty() && name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos &&
           name.find_first_not_of(" \t") != std::string::npos;
}

using TRecent = THostInfo::TRecent;

void Promote(TRecent &recent, const std::string &name)
{
    if (recent[0] == name) return;
    size_t k = 4; // not in the list: the oldest entry drops out
    for (size_t i = 1; i < 5; ++i)
        if (recent[i] == name) {
            k = i;
            break;
        }
    for (size_t i = k; i >= 1; --i)
        recent[i] = recent[i - 1];
    recent[0] = name;
}

} // namespace

bool IsReservedHostName(std::string_view name)
{
    const std::string trimmed = TrimBlanks(name);
    for (const char *own : {"Hosts", "Preferences", "Friends", "Enemies", "ColourPalette", "Redirect"})
        if (SameIniName(trimmed, own)) return true;
    return false;
}

THostInfo::THostInfo(std::string iniFileName, const std::vector<std::string> &args,
                     THostTerminal linkTerminal)
    : FIni(std::move(iniFileName))
{
    LoadHosts();
    if (!args.empty()) ApplyCommandLine(args.front(), linkTerminal);
}

THostInfo::~THostInfo()
{
    if (FModified) SaveHosts();
}

const std::string &THostInfo::Last(int i) const
{
    return FRecent[size_t(std::clamp(i, 1, 5) - 1)];
}

void THostInfo::LoadHosts()
{
    const TIniDocument doc = FIni.Load();
    FModified = false;
    FTransient = false;
    FCurrent = THostSettings();
    ReadFields(doc, Hosts, CurrentHostFields(), FCurrent);
    if (FCurrent.Mode > hmISCA) FCurrent.Mode = hmORVO;
    for (int i = 1; i <= 5; ++i)
        FRecent[size_t(i - 1)] = doc.ReadString(Hosts, LastKey(i), "");
    FSaved = FieldTexts(CurrentHostFields(), FCurrent);
}

void THostInfo::ApplyCommandLine(const std::string &arg, THostTerminal linkTerminal)
{
    if (IsHostLink(arg)) {
        ApplyLink(arg, linkTerminal);
    } else if (arg.rfind("/c=", 0) == 0) {
        SelectHost(TextFromStored(arg.substr(3)));
        FModified = true;
    }
}

void THostInfo::ApplyLink(const std::string &arg, THostTerminal linkTerminal)
{
    const std::optional<THostLink> link = ParseHostLink(arg, &FCommandLineError);
    if (!link) return;
    THostSettings host; // no login and no password: they belong to the hosts the user saved
    host.Name = "unknown";
    host.Address = link->Address;
    host.Port = link->Port;
    host.Mode = hmTelnet;
    host.Transport = link->Transport;
    host.LoginName = link->User;
    host.Terminal = linkTerminal;

    // The link's name, or the first "NAME (n)" that is free or already this very host.
    std::string name;
    bool known = false;
    if (!link->Name.empty()) {
        const TIniDocument doc = FIni.Load();
        for (int n = 1; n <= 1000 && name.empty(); ++n) {
            const std::string candidate = n == 1 ? link->Name : link->Name + " (" + std::to_string(n) + ")";
            if (IsReservedHostName(candidate)) continue;
            if (!HasAddress(doc, candidate)) {
                name = candidate;
                break;
            }
            THostSettings saved = StoreDefaults();
            ReadHost(doc, candidate, saved);
            if (SameIniName(TrimBlanks(saved.Address), host.Address) && TrimBlanks(saved.Port) == host.Port &&
                saved.Transport == host.Transport && (link->User.empty() || saved.LoginName == link->User)) {
                const std::string listed = ListedName(doc, candidate);
                name = listed.empty() ? candidate : listed;
                known = true;
            }
        }
    }
    if (known) {
        SelectHost(name);
    } else {
        if (!name.empty()) host.Name = name;
        FCurrent = host;
        FTransient = name.empty();
        if (!name.empty()) RegisterHost();
    }
    FModified = true;
}

void THostInfo::SelectHost(const std::string &name)
{
    THostSettings host = StoreDefaults();
    // Taken as stored: a host with an unknown mode is still a CLient host.
    if (!IsReservedHostName(name)) ReadHost(FIni.Load(), name, host);
    host.Name = name;
    FCurrent = host;
    FTransient = false;
    FModified = true;
}

void THostInfo::UseHost(const std::string &name, const THostSettings &host)
{
    FCurrent = host;
    FCurrent.Name = name;
    FTransient = false;
    FModified = true;
}

bool THostInfo::RefreshCurrentHost()
{
    if (FTransient) return false;
    const TIniDocument doc = FIni.Load();
    if (!HasAddress(doc, FCurrent.Name)) return false;
    THostSettings host = StoreDefaults();
    host.Name = FCurrent.Name;
    ReadHost(doc, host.Name, host);
    if (host == FCurrent) return false;
    FCurrent = host;
    FModified = true;
    return true;
}

bool THostInfo::RegisterHost()
{
    const std::string &name = FCurrent.Name;
    if (!UsableHostName(name) || IsReservedHostName(name)) return false;
    return FIni.Update([&](TIniDocument &doc) {
        AddToHostList(doc, name);
        WriteHost(doc, name, FCurrent);
    });
}

bool THostInfo::SaveHosts()
{
    // The host's own section is newer where Setup Hosts changed it while it was connected.
    RefreshCurrentHost();
    std::vector<std::string> saved = FSaved;
    const bool written = FIni.Update(
        [&](TIniDocument &doc) { WriteFields(doc, Hosts, CurrentHostFields(), FCurrent, saved); });
    if (written) FSaved = saved;
    return FlushPromotions() && written;
}

bool THostInfo::FlushPromotions()
{
    if (FPromoted.empty()) return true;
    TRecent merged;
    const bool written = FIni.Update([&](TIniDocument &doc) {
        for (int i = 1; i <= 5; ++i)
            merged[size_t(i - 1)] = doc.ReadString(Hosts, LastKey(i), "");
        const TRecent onDisk = merged;
        for (const std::string &name : FPromoted)
            Promote(merged, name);
        for (int i = 1; i <= 5; ++i)
            if (merged[size_t(i - 1)] != onDisk[size_t(i - 1)])
                doc.WriteString(Hosts, LastKey(i), merged[size_t(i - 1)]);
    });
    if (!written) return false;
    FRecent = merged;
    FPromoted.clear();
    return true;
}

bool THostInfo::PromoteCurrentHost()
{
    if (FTransient || !IsSavedHost(FCurrent.Name)) return false;
    const TRecent before = FRecent;
    FPromoted.push_back(FCurrent.Name);
    if (!FlushPromotions()) // kept for the exit; the menu shows it now
        Promote(FRecent, FCurrent.Name);
    const bool changed = before != FRecent;
    if (changed) FModified = true;
    return changed;
}

bool THostInfo::IsSavedHost(const std::string &name) const
{
    if (!UsableHostName(name) || IsReservedHostName(name)) return false;
    const TIniDocument doc = FIni.Load();
    return HasAddress(doc, name) || InHostList(doc, name);
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
    if (!HasAddress(doc, name)) return false;
    ReadHost(doc, name, out);
    out.Name = name;
    if (out.Mode > hmISCA) out.Mode = hmORVO;
    return true;
}

bool THostInfo::StoreHost(const std::string &name, const THostSettings &host)
{
    if (!UsableHostName(name) || IsReservedHostName(name)) return false;
    THostSettings trimmed = host;
    trimmed.Address = TrimBlanks(host.Address);
    trimmed.Port = TrimBlanks(host.Port);
    return FIni.Update([&](TIniDocument &doc) {
        AddToHostList(doc, name);
        WriteHost(doc, name, trimmed);
    });
}

bool THostInfo::StoreNewHosts(const std::vector<TNewHost> &hosts)
{
    return FIni.Update([&](TIniDocument &doc) {
        for (const TNewHost &h : hosts) {
            if (!UsableHostName(h.Name) || IsReservedHostName(h.Name) || HasAddress(doc, h.Name) ||
                InHostList(doc, h.Name))
                continue;
            AddToHostList(doc, h.Name);
            WriteHost(doc, h.Name, h.Host);
            for (const auto &[key, value] : h.Extra)
                doc.WriteString(h.Name, key, value);
        }
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
        // A listed name that is one of the program's own sections leaves the list only.
        if (!IsReservedHostName(name)) doc.EraseSection(name);
    });
    return found && written;
}

// Kept apart from the host's settings: the dialog never shows it, so its OK cannot undo it.
const char *const ScreenLinesKey = "Screen Lines";

int THostInfo::ScreenLines(const std::string &name) const
{
    if (!UsableHostName(name) || IsReservedHostName(name)) return 0;
    const std::optional<int> lines = ParseIniInteger(FIni.Load().ReadString(name, ScreenLinesKey, ""));
    return lines && *lines >= 5 && *lines <= 100 ? *lines : 0;
}

bool THostInfo::SetScreenLines(const std::string &name, int lines)
{
    if (!IsSavedHost(name) || ScreenLines(name) == lines) return false;
    return FIni.Update(
        [&](TIniDocument &doc) { doc.WriteString(name, ScreenLinesKey, std::to_string(lines)); });
}

std::string SuggestedPort(const std::string &port, THostMode mode, THostTransport transport)
{
    const std::string usual[] = {"1976", "23", "992", "22"};
    if (std::find(std::begin(usual), std::end(usual), port) == std::end(usual)) return port;
    if (transport != THostTransport::Tcp) return DefaultLinkPort(transport);
    return mode == hmORVO ? "1976" : "23";
}

int SelectionAfterDelete(int removedIndex, int remaining)
{
    if (remaining <= 0) return -1;
    return removedIndex <= 0 ? 0 : std::min(removedIndex - 1, remaining - 1);
}
