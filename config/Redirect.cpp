#include "config/Redirect.h"

#include "config/IniFile.h"

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool FileExists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

TConfigEnvironment TConfigEnvironment::FromProcess()
{
    TConfigEnvironment env;
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) env.ExecutablePath.assign(buf, size_t(n));
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME")) env.XdgConfigHome = xdg;
    if (const char *home = std::getenv("HOME")) env.Home = home;
    const std::string folder = FolderOf(env.ExecutablePath);
    env.Installed = FileNameOf(folder) == "bin" &&
                    FileExists(FolderOf(folder) + "/share/applications/" + ProgramFolderName + ".desktop");
    if (env.Home.empty()) {
        struct passwd pw, *found = nullptr;
        char pwbuf[4096];
        if (::getpwuid_r(::getuid(), &pw, pwbuf, sizeof pwbuf, &found) == 0 && found && found->pw_dir)
            env.Home = found->pw_dir;
    }
    return env;
}

std::string ReplaceExtension(const std::string &path, const std::string &ext)
{
    size_t slash = path.rfind('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot <= start) return path + ext;
    return path.substr(0, dot) + ext;
}

std::string ConfigDirectory(const TConfigEnvironment &env)
{
    std::string base;
    if (!env.XdgConfigHome.empty() && env.XdgConfigHome.front() == '/')
        base = env.XdgConfigHome;
    else if (!env.Home.empty())
        base = env.Home + "/.config";
    else
        return {};
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/" + ProgramFolderName;
}

std::string HomeIniFileName(const TConfigEnvironment &env)
{
    return ReplaceExtension(env.ExecutablePath, ".INI");
}

std::string ResolveIniFileName(const TConfigEnvironment &env)
{
    const std::string home = HomeIniFileName(env);
    const TIniDocument homeDoc = TIniFile(home).Load();

    std::string ini = homeDoc.ReadString("Redirect", "Redirect", home);
    if (ini.empty())
        ini = home;
    else if (ini.front() != '/')
        ini = FolderOf(home) + "/" + ini; // relative to the home file, not to wherever we were started

    bool userFolder = homeDoc.ReadBool("Redirect", "WindowsDir", false);
    // An installed copy cannot keep its settings beside itself.
    const std::string homeFolder = FolderOf(home);
    bool writable =
        env.FolderWritable ? env.FolderWritable(homeFolder) : ::access(homeFolder.c_str(), W_OK) == 0;
    if (!userFolder && ini == home && (!writable || env.Installed)) userFolder = true;
    if (userFolder) {
        std::string dir = ConfigDirectory(env);
        if (!dir.empty()) ini = dir + "/" + FileNameOf(ini);
    }

    if (ini != home && FileExists(home) && !FileExists(ini)) {
        if (std::optional<std::string> bytes = ReadWholeFile(home)) {
            TIniDocument copy = TIniDocument::Parse(*bytes);
            copy.EraseSection("Redirect");
            WriteFileAtomically(ini, copy.Text(), 0600);
        }
    }
    return ini;
}
