// Reading the dialing directories of other BBS terminals: SyncTERM's syncterm.lst (INI, one
// section per board), IcyTERM's phonebook.toml ([[addresses]] tables) and a plain list of
// host[:port] or telnet://, telnets://, ssh:// links, one a line. Then adding what was read to
// the host list under the links rule: a saved host is never overwritten, a taken name becomes
// "NAME (2)", "NAME (3)", ...
#pragma once

#include "config/SetHost.h"

#include <string>
#include <string_view>
#include <vector>

enum class TImportFormat : uint8_t { SyncTerm, IcyTerm, PlainList };

// One board as the file gives it.
struct TImportEntry
{
    std::string Name;
    THostSettings Host;  // Telnet mode; AutoLogin set when a password came with it
    std::string Comment; // the file's comment, one line
    int Line = 0;        // where the entry starts (1-based)
    std::string Skip;    // why it cannot be used; empty when it can
    std::string Note;    // what was read otherwise than the file meant, for the user
};

struct TImportFile
{
    TImportFormat Format = TImportFormat::PlainList;
    std::vector<TImportEntry> Entries;
    std::string Error; // the file as a whole cannot be read: names the line; no entries then
};

// Guesses the format from the name (syncterm.lst, *.toml) and, failing that, the text.
TImportFormat GuessImportFormat(std::string_view fileName, std::string_view bytes);
TImportFile ReadSyncTermList(std::string_view bytes);
TImportFile ReadIcyTermPhonebook(std::string_view bytes);
TImportFile ReadPlainHostList(std::string_view bytes);
TImportFile ReadHostFile(std::string_view fileName, std::string_view bytes);
const char *ImportFormatName(TImportFormat format);

// What becomes of one entry.
struct TImportPlan
{
    size_t Entry = 0;    // index into the file's entries
    std::string SaveAs;  // the name it is saved under; empty when skipped
    std::string Skipped; // why not (the entry's own fault, or "already saved as NAME")
};

// Plans every entry against the hosts saved now. wanted[i], when given and not empty, is the
// name the user chose for entry i instead of the file's. Names are unique in the plan too.
std::vector<TImportPlan> PlanImport(const THostInfo &hosts, const std::vector<TImportEntry> &entries,
                                    const std::vector<std::string> &wanted = {});

// Writes the planned entries (those with an index in `chosen`, or all when it is empty) in one
// write; passwords only when withPasswords. False when the file could not be written: then
// nothing was.
bool ApplyImport(THostInfo &hosts, const std::vector<TImportEntry> &entries,
                 const std::vector<TImportPlan> &plan, bool withPasswords,
                 const std::vector<size_t> &chosen = {});
