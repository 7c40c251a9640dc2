#include "shell/CommandLine.h"

#include <cstring>

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
                    "      --help     display this help and exit\n"
                    "      --version  output version information and exit\n"
                    "\n"
                    "Qt's own options (-platform NAME, -display DISPLAY, ...) are accepted as well.\n"
                    "The settings are kept in $XDG_CONFIG_HOME/winmarlet/winmarlet.INI (or\n"
                    "~/.config/winmarlet/) for an installed copy; see winmarlet(1) for the rules.\n";

const char Version[] = "winmarlet (winMarlet) " WM_VERSION "\n"
                       "Written by the winMarlet developers.\n";

} // namespace

int HandleInfoOptions(int argc, const char *const *argv, std::FILE *out)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        const bool help = std::strcmp(argv[i], "--help") == 0;
        if (help || std::strcmp(argv[i], "--version") == 0) {
            std::fputs(help ? Help : Version, out);
            return std::fflush(out) == 0 ? 0 : 1;
        }
    }
    return -1;
}
