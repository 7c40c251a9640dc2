// winmarlet-replay: runs a session script (or a raw capture) through the program's session,
// its protocol engine and the terminal model and prints what was sent and what the screen
// shows.

#include "terminal/AnsiArt.h"
#include "terminal/Cp437.h"
#include "tools/replay/Args.h"
#include "tools/replay/Cells.h"
#include "tools/replay/Script.h"
#include "tools/replay/Session.h"
#include "tools/replay/Show.h"

#include <fstream>
#include <iostream>

namespace {

// --view-art: the art viewer's canvas of a file, as cells or as text with its description.
int ViewArt(const TReplayOptions &Options)
{
    std::vector<uint8_t> Bytes;
    try {
        Bytes = ReadCaptureFile(Options.Path);
    } catch (const std::exception &e) {
        std::cerr << "winmarlet-replay: " << e.what() << '\n';
        return 2;
    }
    const TArtFile Art =
        ReadArt(std::string_view(reinterpret_cast<const char *>(Bytes.data()), Bytes.size()));
    if (Options.Cells) {
        PrintCells(Art.Canvas, std::cout);
    } else {
        const TSauce &S = Art.Sauce;
        if (S.Present)
            std::cout << "Title: " << cp437::ToUtf8(S.Title) << "\nAuthor: " << cp437::ToUtf8(S.Author)
                      << "\nGroup: " << cp437::ToUtf8(S.Group) << "\nFont: " << cp437::ToUtf8(S.Font) << '\n';
        std::cout << "Width: " << Art.Canvas.Width() << "\nLines: " << Art.Canvas.Rows()
                  << "\niCE colours: " << (Art.IceColours ? "yes" : "no") << '\n';
        for (const std::string &Note : Art.Notes)
            std::cout << "Note: " << Note << '\n';
        for (int y = 0; y < Art.Canvas.Rows(); ++y) {
            std::string Row(reinterpret_cast<const char *>(Art.Canvas.RowChars(y)),
                            size_t(Art.Canvas.Width()));
            Row.erase(Row.find_last_not_of(' ') + 1);
            for (char &C : Row) // control bytes are glyphs in the picture, but not in text
                if (uint8_t(C) < 0x20) C = ' ';
            std::cout << cp437::ToUtf8(Row) << '\n';
        }
    }
    std::cout.flush();
    return 0;
}

} // namespace

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
    if (Options.ViewArt) return ViewArt(Options);
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
