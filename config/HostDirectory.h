// The Directory window's view of the host list: each host with what the program remembers
// of it besides its settings (a comment, the last connection, the number of calls, the last
// Check), and the list written out for other terminals.
#pragma once

#include "config/SetHost.h"

#include <string>
#include <vector>

struct THostRecord
{
    std::string Name;
    THostSettings Host;
    std::string Comment;
    std::string LastConnected; // "YYYY-MM-DD HH:MM", local time; empty: never
    int Calls = 0;
    std::string LastCheck;   // what the last Check found
    std::string LastChecked; // when, as LastConnected
};

// Every host of the list, in list order.
std::vector<THostRecord> ReadHostDirectory(const THostInfo &hosts);
// A connection to name was made at `when`: one call more.
bool RecordCall(THostInfo &hosts, const std::string &name, const std::string &when);
// The result of a Check of name at `when`.
bool RecordCheck(THostInfo &hosts, const std::string &name, const std::string &when,
                 const std::string &result);
// The user's comment on name; written only when it changed.
bool StoreComment(THostInfo &hosts, const std::string &name, const std::string &comment);

// Now as "YYYY-MM-DD HH:MM", local time.
std::string DirectoryTimeNow();

// A syncterm.lst of the hosts; passwords only when withPasswords. The CLient modes go as
// Telnet, the nearest SyncTERM has.
std::string ExportSyncTermList(const std::vector<THostRecord> &hosts, bool withPasswords);
// One telnet://, telnets:// or ssh:// link a line, the name in the path ('_' for blanks).
// Links carry no password.
std::string ExportHostLinks(const std::vector<THostRecord> &hosts);
// A host's link.
std::string HostLinkOf(const std::string &name, const THostSettings &host);
