// winmarlet-demobbs: a small multi-user BBS on 127.0.0.1 (or another address, or over
// standard input and output) that speaks plain Telnet and both CLient protocols, for
// trying the client and for end-to-end tests.
#include "tools/demobbs/Board.h"
#include "tools/demobbs/Server.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t Stop = 0;
int WakePipe[2] = {-1, -1};

void OnSignal(int)
{
    Stop = 1;
    const char b = 0;
    [[maybe_unused]] ssize_t n = ::write(WakePipe[1], &b, 1);
}

#ifndef WM_VERSION
#define WM_VERSION "unknown"
#endif

const char Usage[] =
    "Usage: winmarlet-demobbs [--listen ADDRESS] [--port N] [--stdio] [--data FILE]\n"
    "                         [--files DIR] [--sysop-delay SECONDS]\n"
    "A small multi-user BBS on 127.0.0.1 for trying winMarlet: plain Telnet and the\n"
    "ORVO CLient and ISCA Client protocols.\n"
    "\n"
    "  --listen ADDRESS     listen on this IPv4 or IPv6 address (default 127.0.0.1)\n"
    "  --port N             listen on port N (default 1976; 0 picks a free port)\n"
    "  --stdio              serve one session over standard input and output and exit\n"
    "                       when it ends (for an SSH server's ForceCommand)\n"
    "  --data FILE          keep users, posts, messages and profiles in FILE\n"
    "  --files DIR          the file area: F lists DIR, D sends from it, U receives into it\n"
    "  --sysop-delay S      seconds before the Sysop greets or answers (default 3)\n"
    "  --help               display this help and exit\n"
    "  --version            output version information and exit\n"
    "\n"
    "Prints one line \"listening on ADDRESS:PORT\" when ready; SIGINT or SIGTERM stops it.\n";

const char Version[] = "winmarlet-demobbs (winMarlet) " WM_VERSION "\n"
                       "Written by the winMarlet developers.\n";

int Fail(const std::string &what)
{
    std::fprintf(stderr, "winmarlet-demobbs: %s\n", what.c_str());
    return 2;
}

bool ParseNumber(const char *text, double max, double &out)
{
    char *end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return errno == 0 && end != text && *end == 0 && out >= 0 && out <= max;
}

} // namespace

int main(int argc, char **argv)
{
    demobbs::TServer::TOptions options;
    std::string dataFile;
    bool stdio = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs(Version, stdout);
            return 0;
        }
        if (arg == "--stdio") {
            stdio = true;
            continue;
        }
        if (i + 1 >= argc || (arg != "--port" && arg != "--data" && arg != "--files" &&
                              arg != "--sysop-delay" && arg != "--listen")) {
            return Fail("bad option: " + arg + "\nTry 'winmarlet-demobbs --help' for more information.");
        }
        const char *value = argv[++i];
        double n = 0;
        if (arg == "--port") {
            if (!ParseNumber(value, 65535, n) || n != double(int(n)))
                return Fail("bad port: " + std::string(value));
            options.Port = uint16_t(n);
        } else if (arg == "--listen") {
            options.Address = value;
        } else if (arg == "--sysop-delay") {
            if (!ParseNumber(value, 86400, n)) return Fail("bad delay: " + std::string(value));
            options.SysopDelay = n;
        } else if (arg == "--files") {
            options.Files = value;
        } else {
            dataFile = value;
        }
    }

    demobbs::TBoard board(dataFile);
    std::string error;
    if (!board.Load(error)) return Fail(error);
    demobbs::TServer server(board, options);
    if (stdio)
        server.ServeOne(STDIN_FILENO, STDOUT_FILENO);
    else if (!server.Listen(error))
        return Fail(error);

    if (::pipe2(WakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return Fail("pipe: " + std::string(std::strerror(errno)));
    struct sigaction sa
    {
    };
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!stdio) {
        std::printf("listening on %s\n", server.Endpoint().c_str());
        std::fflush(stdout);
    }
    server.Run(Stop, WakePipe[0]);
    if (!board.SaveIfChanged()) return Fail("cannot write " + dataFile);
    return 0;
}
