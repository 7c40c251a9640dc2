// winmarlet-replay: runs a session script (or a raw capture) through the program's session,
// its protocol engine and the terminal model and prints what was sent and what the screen
// shows.

#include "tools/replay/Args.h"
#include "tools/replay/Cells.h"
#include "tools/replay/Script.h"
#include "tools/replay/Session.h"
#include "tools/replay/Show.h"

#include <fstream>
#include <iostream>

int main(int argc, char **argv)
{
    TReplayOptions Options;
    const std::string Error = ParseReplayArgs(std::vector<std::string>(argv + 1, argv + argc), Options);
    if (!Error.empty()) {
        std::cerr << "winmarlet-replay: " << Error << '\n' << ReplayUsage;
        return 2;
    }
    if (Options.Help) {
        std::cout << ReplayUsage;
        return 0;
    }
    const std::string Name = Options.Path.empty() || Options.Path == "-" ? "stdin" : Options.Path;
    try {
        TScript Script;
        std::vector<uint8_t> Raw;
        if (Options.Raw) {
            Raw = ReadCaptureFile(Options.Path);
        } else if (Name == "stdin") {
            Script = ParseScript(std::cin);
        } else {
            std::ifstream In(Options.Path, std::ios::binary);
            if (!In) {
                std::cerr << "winmarlet-replay: cannot open " << Options.Path << '\n';
                return 2;
            }
            Script = ParseScript(In);
        }
        // The program's own session; posted edit notifications are printed when delivered.
        TReplaySession Session(Options.Cols, Options.Rows, std::cout, Options);
        if (Options.Raw)
            Session.Receive(Raw.data(), Raw.size());
        else
            Session.Run(Script);
        if (Options.Cells)
            PrintCells(Session.Terminal(), std::cout);
        else
            Session.PrintScreen(Options.Attrs);
        Session.PrintWho();
        if (Options.Show) {
            std::cout.flush();
            return ShowTerminal(Session.Terminal(), argc, argv);
        }
    } catch (const EScriptError &e) {
        std::cerr << "winmarlet-replay: " << Name << ":" << e.Line << ": " << e.what() << '\n';
        return 2;
    } catch (const std::exception &e) {
        std::cerr << "winmarlet-replay: " << e.what() << '\n';
        return 2;
    }
    std::cout.flush();
    return 0;
}
