// The host store: the current host, the recent hosts, the host list with one
// section per host, and the command line that can name a host to connect to.
#pragma once

#include "config/HostMode.h"
#include "config/IniFile.h"

#include <array>
#include <string>
#include <vector>

// What the Setup Hosts dialog shows and stores for one host section.
struct THostSettings
{
    std::string Address;
    std::string Port = "1976";
    THostMode Mode = hmORVO;
    bool AutoLogin = false;
    std::string LoginName;
    std::string Password;
    THostTransport Transport = THostTransport::Tcp;
    THostTerminal Terminal = THostTerminal::Classic;
    bool IceColours = false;
};

class THostInfo
{
public:
    // Loads the "Hosts" section; then applies the first of args (the program's
    // arguments without its own name), if any.
    explicit THostInfo(std::string iniFileName, const std::vector<std::string> &args = {});
    // Saves the "Hosts" section when Modified.
    ~THostInfo();
    THostInfo(const THostInfo &) = delete;
    THostInfo &operator=(const THostInfo &) = delete;

    bool Modified = false;
    std::string BBSName;
    std::string Address;
    std::string Port;
    THostMode Mode = hmORVO;
    bool AutoLogin = false;
    std::string LoginName;
    std::string Password;
    THostTransport Transport = THostTransport::Tcp;
    THostTerminal Terminal = THostTerminal::Classic;
    bool IceColours = false;
    std::string Last1, Last2, Last3, Last4, Last5;

    // Recent name i (1..5), most recent first.
    std::string &Last(int i);
    const std::string &Last(int i) const;

    const std::string &IniFileName() const { return FIni.FileName(); }
    TIniFile &Ini() { return FIni; }

    void LoadHosts();
    // "telnet://address[:port][/name]" or "/c=name"; anything else is ignored.
    void ApplyCommandLine(const std::string &arg);
    // Makes the named host current from its own section; sets Modified.
    void SelectHost(const std::string &name);
    // Adds the current host to the host list (unless its section has an address)
    // and writes its address, port and mode into its section.
    bool RegisterHost();
    bool SaveHosts();
    // Moves BBSName to the front of the recent list; returns whether anything changed.
    bool PromoteCurrentHost();

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
    // address, then writes the section.
    bool StoreHost(const std::string &name, const THostSettings &host);
    // Setup Hosts Delete: closes the gap in the host list and erases the section.
    // Returns false when name is not in the list (nothing changed then).
    bool DeleteHost(const std::string &name);

private:
    TIniFile FIni;
};

// The port rule of the mode radio buttons: Telnet and ISCA turn "1976" into "23",
// ORVO turns "23" into "1976", anything else stays.
std::string PortForMode(const std::string &port, THostMode mode);

// The name box entry to select after the one at removedIndex (-1: none was
// selected) was deleted from a list now holding remaining entries; -1 when empty.
int SelectionAfterDelete(int removedIndex, int remaining);

