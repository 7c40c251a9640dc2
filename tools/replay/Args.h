#pragma once
// Command line of winmarlet-replay.

#include <string>
#include <vector>

struct TReplayOptions
{
    std::string Mode = "telnet"; // telnet, orvo or isca
    // The current host's login (either sets AutoLogin) and the user filter; CLient modes.
    std::string Login;
    std::string Password;
    bool AutoLogin = false;
    std::vector<std::string> Enemies;
    std::vector<std::string> Friends;
    int ExpressFilter = 0;
    int PostFilter = 0;
    int Cols = 80;
    int Rows = 24;
    bool Attrs = false;
    bool AnsiBbs = false; // --emulation ansi: the terminal reads ANSI-BBS
    bool Cells = false;   // print every cell in hex instead of the screen
    bool Raw = false;     // Path is a raw capture: the whole file is received bytes
    bool Show = false;    // open a window with the terminal widget afterwards
    bool ViewArt = false; // Path is an art file, drawn as the art viewer draws it
    std::string Path;     // script or capture; empty: the script comes from stdin
    bool Help = false;
};

extern const char *const ReplayUsage;

// Parses the arguments after the program name. Returns an empty string on success,
// else what is wrong (the caller prints it with the usage and exits with status 2).
std::string ParseReplayArgs(const std::vector<std::string> &Args, TReplayOptions &Options);
