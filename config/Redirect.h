// Where the settings file lives.
#pragma once

#include <functional>
#include <string>

// What the location depends on, so that tests can set it.
struct TConfigEnvironment
{
    std::string ExecutablePath; // full path of the running program
    std::string XdgConfigHome;  // $XDG_CONFIG_HOME (used only when absolute)
    std::string Home;           // $HOME
    // Whether the program's folder takes new files; unset asks the file system.
    std::function<bool(const std::string &folder)> FolderWritable;
    // An installed copy (bin/ beside share/applications/winmarlet.desktop) never writes
    // into its own folder, even when it could (root, or a prefix in the home folder).
    bool Installed = false;
    // The running program's values (/proc/self/exe, the environment, the password database).
    static TConfigEnvironment FromProcess();
};

constexpr const char *ProgramFolderName = "winmarlet";

// The path with the extension of its file-name part replaced by ext (or ext appended).
std::string ReplaceExtension(const std::string &path, const std::string &ext);

// The per-user folder that stands in for the Windows directory:
// $XDG_CONFIG_HOME/winmarlet or ~/.config/winmarlet; empty when there is no home.
std::string ConfigDirectory(const TConfigEnvironment &env);

// The home settings file: the program's own path with the extension ".INI".
std::string HomeIniFileName(const TConfigEnvironment &env);

// The settings file to use: the home file, or where its "Redirect" section points,
// or the per-user folder (asked for by "WindowsDir", or forced when the program's
// folder is not writable or the program is installed). A home file is copied, without its "Redirect" section,
// to a new location that holds no file yet.
std::string ResolveIniFileName(const TConfigEnvironment &env);
