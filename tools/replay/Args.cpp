#include "tools/replay/Args.h"

#include <cstdlib>

const char *const ReplayUsage =
    "usage: winmarlet-replay [--mode telnet|orvo|isca] [--size COLSxROWS] [--emulation classic|ansi]\n"
    "           [--attrs | --cells] [--show] [SCRIPT]\n"
    "       winmarlet-replay --raw FILE [--size COLSxROWS] [--emulation classic|ansi] [--attrs | --cells] "
    "[--show]\n"
    "       winmarlet-replay --view-art FILE [--cells]\n"
    "CLient modes (orvo, isca) also take: [--login NAME] [--password PW] [--enemy NAME]...\n"
    "       [--friend NAME]... [--express-filter N] [--post-filter N]\n"
    "SCRIPT defaults to stdin; --size defaults to 80x24 (each 1-255).\n"
    "--show opens a window with the terminal as replayed.\n"
    "--cells prints the rows that hold anything (and the cursor's): character codes, a blank,\n"
    "       attributes, each cell as two hex digits.\n"
    "--view-art draws an ANSI art file as the art viewer does (every row of its canvas, at\n"
    "       the file's width) and prints its SAUCE description and notes, or with --cells\n"
    "       its cells.\n";

namespace {

bool ParseSize(const std::string &Text, int &Cols, int &Rows)
{
    const size_t x = Text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= Text.size()) return false;
    const std::string c = Text.substr(0, x), r = Text.substr(x + 1);
    if (c.find_first_not_of("0123456789") != std::string::npos ||
        r.find_first_not_of("0123456789") != std::string::npos || c.size() > 3 || r.size() > 3)
        return false;
    Cols = std::atoi(c.c_str());
    Rows = std::atoi(r.c_str());
    return Cols >= 1 && Cols <= 255 && Rows >= 1 && Rows <= 255;
}

bool ParseInt(const std::string &Text, int &Value)
{
    const size_t Digits = Text.size() - (Text.rfind('-', 0) == 0 ? 1 : 0);
    if (Digits == 0 || Digits > 9 ||
        Text.find_first_not_of("0123456789", Text.size() - Digits) != std::string::npos)
        return false;
    Value = std::atoi(Text.c_str());
    return true;
}

} // namespace

std::string ParseReplayArgs(const std::vector<std::string> &Args, TReplayOptions &Options)
{
    bool HavePath = false;
    for (size_t i = 0; i < Args.size(); ++i) {
        std::string Arg = Args[i], Value;
        const bool Long = Arg.rfind("--", 0) == 0;
        const size_t Eq = Arg.find('=');
        bool Inline = false;
        if (Long && Eq != std::string::npos) {
            Value = Arg.substr(Eq + 1);
            Arg = Arg.substr(0, Eq);
            Inline = true;
        }
        auto TakeValue = [&](std::string &Out) -> bool {
            if (Inline) {
                Out = Value;
                return true;
            }
            if (i + 1 >= Args.size()) return false;
            Out = Args[++i];
            return true;
        };
        if (Arg == "--help" || Arg == "-h") {
            Options.Help = true;
        } else if (Arg == "--attrs") {
            Options.Attrs = true;
        } else if (Arg == "--show") {
            Options.Show = true;
        } else if (Arg == "--cells") {
            Options.Cells = true;
        } else if (Arg == "--emulation") {
            if (!TakeValue(Value)) return "--emulation needs a value";
            if (Value != "classic" && Value != "ansi") return "unknown emulation '" + Value + "'";
            Options.AnsiBbs = Value == "ansi";
        } else if (Arg == "--mode") {
            if (!TakeValue(Value)) return "--mode needs a value";
            if (Value != "telnet" && Value != "orvo" && Value != "isca")
                return "unknown mode '" + Value + "'";
            Options.Mode = Value;
        } else if (Arg == "--login" || Arg == "--password") {
            if (!TakeValue(Value)) return Arg + " needs a value";
            (Arg == "--login" ? Options.Login : Options.Password) = Value;
            Options.AutoLogin = true;
        } else if (Arg == "--enemy" || Arg == "--friend") {
            if (!TakeValue(Value) || Value.empty()) return Arg + " needs a name";
            (Arg == "--enemy" ? Options.Enemies : Options.Friends).push_back(Value);
        } else if (Arg == "--express-filter" || Arg == "--post-filter") {
            if (!TakeValue(Value)) return Arg + " needs a value";
            if (!ParseInt(Value, Arg == "--express-filter" ? Options.ExpressFilter : Options.PostFilter))
                return "bad number '" + Value + "' for " + Arg;
        } else if (Arg == "--size") {
            if (!TakeValue(Value)) return "--size needs a value";
            if (!ParseSize(Value, Options.Cols, Options.Rows))
                return "bad size '" + Value + "' (COLSxROWS, each 1-255)";
        } else if (Arg == "--view-art") {
            if (!TakeValue(Value)) return "--view-art needs a file";
            if (HavePath) return "more than one input file";
            Options.ViewArt = true;
            Options.Path = Value;
            HavePath = true;
        } else if (Arg == "--raw") {
            if (!TakeValue(Value)) return "--raw needs a file";
            if (HavePath) return "more than one input file";
            Options.Raw = true;
            Options.Path = Value;
            HavePath = true;
        } else if (Long || (Arg.size() > 1 && Arg[0] == '-')) {
            return "unknown option '" + Args[i] + "'";
        } else {
            if (HavePath) return "more than one input file";
            Options.Path = Arg;
            HavePath = true;
        }
    }
    return {};
}
