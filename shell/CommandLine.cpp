#include "shell/CommandLine.h"

#include "config/HostImport.h"
#include "config/IniFile.h"
#include "config/Redirect.h"
#include "config/SetHost.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#ifndef WM_VERSION
#define WM_VERSION "unknown"
#endif

namespace {

const char Help[] = "Usage: winmarlet [OPTION]... [ADDRESS]\n"
                    "A client for text bulletin-board systems (BBSs): Telnet and the ORVO CLient and\n"
                    "ISCA Client protocols in a colour terminal with an offline editor.\n"
                    "\n"
                    "ADDRESS connects at once:\n"
                    "  telnet://HOST[:PORT][/NAME]  HOST in Telnet mode (port 23 unless PORT is given);\n"
                    "                               NAME, with _ for blanks, is saved as a host\n"
                    "  /c=NAME                      the saved host NAME\n"
                    "\n"
                    "      --add-host NAME ADDRESS PORT MODE [LOGIN PASSWORD]\n"
                    "                 add a host to the settings unless NAME is set up already;\n"
                    "                 MODE is orvo, telnet or isca; LOGIN and PASSWORD turn on\n"
                    "                 auto-login\n"
                    "      --import-hosts FILE [--with-passwords]\n"
                    "                 add the boards of a SyncTERM syncterm.lst, an IcyTERM\n"
                    "                 phonebook.toml or a list of host[:port] or links, one a\n"
                    "                 line; a saved host is never changed, a taken name becomes\n"
                    "                 NAME (2); passwords only with --with-passwords\n"
                    "      --settings-file  print where the settings are kept and exit\n"
                    "      --help     display this help and exit\n"
                    "      --version  output version information and exit\n"
                    "\n"
                    "Qt's own options (-platform NAME, -display DISPLAY, ...) are accepted as well.\n"
                    "The settings are kept in $XDG_CONFIG_HOME/winmarlet/winmarlet.INI (or\n"
                    "~/.config/winmarlet/) for an installed copy; see winmarlet(1) for the rules.\n";

const char Version[] = "winmarlet (winMarlet) " WM_VERSION "\n"
                       "Written by the winMarlet developers.\n";

bool ModeByName(const std::string &text, THostMode &mode)
{
    const char *const names[] = {"orvo", "telnet", "isca"};
    for (int m = hmORVO; m <= hmISCA; ++m)
        if (text == names[m] || text == std::to_string(m)) {
            mode = THostMode(m);
            return true;
        }
    return false;
}

bool PortNumber(const std::string &text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 1 && value <= 65535;
}

} // namespace

int AddHostTo(const std::string &file, const std::vector<std::string> &a, std::FILE *out, std::FILE *err)
{
    THostSettings host;
    if ((a.size() != 4 && a.size() != 6) || a[0].empty() || a[1].empty() || !PortNumber(a[2]) ||
        !ModeByName(a[3], host.Mode)) {
        std::fputs("winmarlet: --add-host takes NAME ADDRESS PORT (1-65535) MODE (orvo, telnet or isca)"
                   " [LOGIN PASSWORD]\n",
                   err);
        return 2;
    }
    host.Address = a[1];
    host.Port = a[2];
    if (a.size() == 6) {
        host.AutoLogin = true;
        host.LoginName = a[4];
        host.Password = a[5];
    }
    THostInfo hosts(file);
    THostSettings existing;
    if (hosts.LookupHost(a[0], existing)) {
        std::fprintf(out, "winmarlet: the host \"%s\" is set up already in %s; left as it is\n", a[0].c_str(),
                     file.c_str());
        return 0;
    }
    if (!hosts.StoreHost(a[0], host)) {
        std::fprintf(err, "winmarlet: cannot add the host \"%s\" to %s\n", a[0].c_str(), file.c_str());
        return 1;
    }
    std::fprintf(out, "winmarlet: added the host \"%s\" to %s\n", a[0].c_str(), file.c_str());
    return 0;
}

int ImportHostsTo(const std::string &file, const std::vector<std::string> &a, std::FILE *out, std::FILE *err)
{
    const bool withPasswords = a.size() == 2 && a[1] == "--with-passwords";
    if (a.empty() || a[0].empty() || (a.size() > 1 && !withPasswords)) {
        std::fputs("winmarlet: --import-hosts takes FILE [--with-passwords]\n", err);
        return 2;
    }
    const std::optional<std::string> bytes = ReadWholeFile(a[0]);
    if (!bytes) {
        std::fprintf(err, "winmarlet: cannot read %s: %s\n", a[0].c_str(), std::strerror(errno));
        return 1;
    }
    const TImportFile read = ReadHostFile(a[0], *bytes);
    if (!read.Error.empty()) {
        std::fprintf(err, "winmarlet: %s: %s Nothing was imported.\n", a[0].c_str(), read.Error.c_str());
        return 1;
    }
    THostInfo hosts(file);
    const std::vector<TImportPlan> plan = PlanImport(hosts, read.Entries);
    if (!ApplyImport(hosts, read.Entries, plan, withPasswords)) {
        std::fprintf(err, "winmarlet: cannot write %s; nothing was imported\n", file.c_str());
        return 1;
    }
    for (const TImportPlan &p : plan) {
        const TImportEntry &e = read.Entries[p.Entry];
        const std::string label = e.Name.empty() ? e.Host.Address : e.Name;
        if (p.SaveAs.empty())
            std::fprintf(out, "line %d: skipped \"%s\": %s\n", e.Line, label.c_str(), p.Skipped.c_str());
        else
            std::fprintf(out, "line %d: added as \"%s\"%s%s\n", e.Line, p.SaveAs.c_str(),
                         e.Note.empty() ? "" : " (", e.Note.empty() ? "" : (e.Note + ")").c_str());
    }
    return 0;
}

int HandleInfoOptions(int argc, const char *const *argv, std::FILE *out, std::FILE *err)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        int rc = -1;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "--version") == 0) {
            std::fputs(argv[i][2] == 'h' ? Help : Version, out);
            rc = 0;
        } else if (std::strcmp(argv[i], "--settings-file") == 0) {
            std::fprintf(out, "%s\n", ResolveIniFileName(TConfigEnvironment::FromProcess()).c_str());
            rc = 0;
        } else if (std::strcmp(argv[i], "--add-host") == 0) {
            rc = AddHostTo(ResolveIniFileName(TConfigEnvironment::FromProcess()),
                           std::vector<std::string>(argv + i + 1, argv + argc), out, err);
        } else if (std::strcmp(argv[i], "--import-hosts") == 0) {
            rc = ImportHostsTo(ResolveIniFileName(TConfigEnvironment::FromProcess()),
                               std::vector<std::string>(argv + i + 1, argv + argc), out, err);
        }
        if (rc >= 0) return std::fflush(out) == 0 ? rc : 1;
    }
    return -1;
}
