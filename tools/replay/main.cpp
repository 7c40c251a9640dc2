// winmarlet-replay: runs a session script (or a raw capture) through the protocol
// engine and the terminal model and prints what was sent and what the screen shows.

#include "tools/replay/Args.h"
#include "tools/replay/Cells.h"
#include "tools/replay/ClientReplay.h"
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
        TReplaySession Session(Options.Cols, Options.Rows, std::cout);
        // A CLient host: the CLient engine with its stores and the offline editor on the
        // session's terminal; posted edit notifications are printed when delivered.
        std::unique_ptr<TClientReplay> Client;
        if (Options.Mode != "telnet") {
            Client = std::make_unique<TClientReplay>(Session.Terminal(), Options);
            Session.SetEngine(Client->MakeEngine());
            Session.AfterStep = [&Client] { Client->Deliver(std::cout); };
        }
        if (Options.AnsiBbs) {
            // answers to the host's queries go out as the engine's own writes
            TColorTTY &Tty = Session.Terminal();
            Tty.SetEmulation(teAnsiBbs);
            Tty.ResetModes();
            Tty.SetAnswerHandler([&Session](const char *Bytes, size_t Count) {
                TTelnetStateMachine &Engine = Session.Engine();
                if (Engine.OnSocketOut)
                    Engine.OnSocketOut(&Engine, reinterpret_cast<const uint8_t *>(Bytes), int32_t(Count));
            });
        }
        if (Options.Raw) {
            Session.Receive(Raw.data(), Raw.size());
            if (Client) Client->Deliver(std::cout);
        } else {
            Session.Run(Script);
        }
        if (Options.Cells)
            PrintCells(Session.Terminal(), std::cout);
        else
            Session.PrintScreen(Options.Attrs);
        if (Client) Client->PrintWho(std::cout);
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
