// The host store: the current host, the recent hosts, the host list with one
// section per host, and the command line that can name a host to connect to.
#pragma once

#include "config/HostMode.h"
#include "config/IniFile.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One host: what the Setup Hosts dialog shows and stores for one host section, under its
// name (the section's; "unknown" for a nameless link).
struct THostSettings
{
    std::string Address{};
    std::string Port = "1976";
    THostMode Mode = hmORVO;
    bool AutoLogin = false;
    std::string LoginName{};
    std::string Password{};
    THostTransport Transport = THostTransport::Tcp;
    THostTerminal Terminal = THostTerminal::Classic;
    bool IceColours = false;
    bool LfExpand = false; // ANSI-BBS: LF also returns the carriage
    bool HideSauce = true; // ANSI-BBS: SAUCE records in the stream are not shown
    std::string Name{};    // last: the section's name is no key of its own
    bool operator==(const THostSettings &) const = default;
};

// A host an import adds: its settings and further keys of its own section (a comment).
struct TNewHost
{
    std::string Name;
    THostSettings Host;
    std::vector<std::pair<std::string, std::string>> Extra;
};

// The program's own sections, which no host may take (compared without regard to case).
bool IsReservedHostName(std::string_view name);

class THostInfo
{
public:
    // Loads the "Hosts" section; then applies the first of args (the program's
    // arguments without its own name), if any. A host made from a telnet:// or telnets://
    // link gets linkTerminal (the preference "Emulation for links").
    explicit THostInfo(std::string iniFileName, const std::vector<std::string> &args = {},
                       THostTerminal linkTerminal = THostTerminal::AnsiBbs);
    // Saves the "Hosts" section when Modified.
    ~THostInfo();
    THostInfo(const THostInfo &) = delete;
    THostInfo &operator=(const THostInfo &) = delete;

    // The current host.
    const THostSettings &Current() const { return FCurrent; }
    const std::string &BBSName() const { return FCurrent.Name; }
    // The recent names, most recent first (the keys "Last1".."Last5").
    using TRecent = std::array<std::string, 5>;
    const TRecent &Recent() const { return FRecent; }
    // Recent name i (1..5).
    const std::string &Last(int i) const;
    // The current host changed since it was loaded: the destructor saves it.
    bool Modified() const { return FModified; }
    void SetModified(bool modified) { FModified = modified; }

    const std::string &IniFileName() const { return FIni.FileName(); }
    TIniFile &Ini() { return FIni; }
    const TIniFile &Ini() const { return FIni; }

    void LoadHosts();
    // A link or "/c=name"; anything else is ignored. A link never changes a saved host:
    // when its name is taken by a host with another address, port or connection (or by
    // one of the program's own sections), the link's host is saved as "NAME (2)",
    // "NAME (3)", ...; a link's host carries no stored password. A malformed link is
    // ignored and CommandLineError() says why.
    void ApplyCommandLine(const std::string &arg, THostTerminal linkTerminal = THostTerminal::AnsiBbs);
    const std::string &CommandLineError() const { return FCommandLineError; }
    // Makes the named host current from its own section; sets Modified.
    void SelectHost(const std::string &name);
    // Setup Hosts OK while idle: the host the dialog stored under name becomes current.
    void UseHost(const std::string &name, const THostSettings &host);
    // Re-reads the current host from its own section, where Setup Hosts may have changed
    // it while it was connected: call at Connect. True when something changed.
    bool RefreshCurrentHost();
    // The current host to connect to, so refreshed.
    const THostSettings &HostToConnect()
    {
        RefreshCurrentHost();
        return FCurrent;
    }
    // Adds the current host to the host list (unless its section has an address)
    // and writes its settings into its section.
    bool RegisterHost();
    // Writes the current host (when it changed since it was loaded or saved) and any
    // recent-list change that could not be written at once.
    bool SaveHosts();
    // Moves BBSName() to the front of the recent list, merged into the list as the file
    // holds it now, and writes it. A name that is no saved host (an unknown "/c=" name,
    // a nameless link) is refused. Returns whether the list in memory changed.
    bool PromoteCurrentHost();

    // Whether name is a host of the list or a section with an address (not one of the
    // program's own sections).
    bool IsSavedHost(const std::string &name) const;
    // "Host1", "Host2", ... up to the first empty one, in list order.
    std::vector<std::string> HostList() const;
    // The Hosts submenu captions, ascending by byte order. Empty when "Host1" is
    // empty: the submenu is then left as it is.
    std::vector<std::string> HostMenuNames() const;

    // Setup Hosts dialog: what the boxes show for a typed or chosen name. Returns
    // false (and the dialog's defaults) when the section has no address. A mode
    // above 2 comes back as hmORVO, as the radio buttons show it.
    bool LookupHost(const std::string &name, THostSettings &out) const;
    // Setup Hosts OK: adds name to the host list unless its section has an
    // address, then writes the section (address and port trimmed). Refuses the
    // program's own section names.
    bool StoreHost(const std::string &name, const THostSettings &host);
    // Adds hosts in one write, each only where its name is free (never over a saved host).
    bool StoreNewHosts(const std::vector<TNewHost> &hosts);
    // Setup Hosts Delete: closes the gap in the host list and erases the section (never
    // one of the program's own). Returns false when name is not in the list.
    bool DeleteHost(const std::string &name);

    // The rows the user sized the window to for a saved host (0: never sized for it).
    int ScreenLines(const std::string &name) const;
    // Stores them in the host's own section, only when they differ; false when the host is
    // not a saved one or the file could not be written.
    bool SetScreenLines(const std::string &name, int lines);

private:
    TIniFile FIni;
    THostSettings FCurrent;
    TRecent FRecent;
    bool FModified = false;
    std::vector<std::string> FSaved;    // the current host's texts as loaded or last written
    std::vector<std::string> FPromoted; // recent-list promotions not yet in the file
    bool FTransient = false;            // the current host came from a nameless link
    std::string FCommandLineError;

    void ApplyLink(const std::string &arg, THostTerminal linkTerminal);
    bool FlushPromotions();
};

// The port rule of the mode and connection choices: a port that is one of the usual
// ones (1976, 23, 992, 22) becomes the usual one of the new choice: 1976 for ORVO
// CLient and 23 for Telnet and ISCA Client over TCP, 992 over TLS, 22 over SSH. Any
// other port stays.
std::string SuggestedPort(const std::string &port, THostMode mode, THostTransport transport);

// The name box entry to select after the one at removedIndex (-1: none was
// selected) was deleted from a list now holding remaining entries; -1 when empty.
int SelectionAfterDelete(int removedIndex, int remaining);
