#include "session/TransferFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string SafeFileName(std::string_view offered)
{
    const size_t slash = offered.find_last_of("/\\");
    if (slash != std::string_view::npos) offered.remove_prefix(slash + 1);
    std::string name;
    for (const char ch : offered) {
        const auto c = static_cast<uint8_t>(ch);
        if (c < 0x20 || c == 0x7F) continue;
        if (c == '.' && name.empty()) continue;
        name += ch;
    }
    if (name.size() > 200) {
        // Keep the extension that tells what the file is.
        const size_t dot = name.rfind('.');
        const std::string ext = dot != std::string::npos && name.size() - dot <= 16 ? name.substr(dot) : "";
        name = name.substr(0, 200 - ext.size()) + ext;
    }
    return name.empty() ? "download" : name;
}

std::string NumberedName(const std::string &name, int n)
{
    const size_t dot = name.rfind('.');
    const size_t at = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, at) + " (" + std::to_string(n) + ")" + name.substr(at);
}

bool MakeFolder(const std::string &folder, std::string &error)
{
    struct stat st
    {
    };
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        error = folder + ": not a folder";
        return false;
    }
    const size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolder(folder.substr(0, slash), error)) return false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string MakeStagingFolder(const std::string &folder, std::string &error)
{
    if (!MakeFolder(folder, error)) return {};
    std::string path = folder + "/.winmarlet-transfer-XXXXXX";
    if (!::mkdtemp(path.data())) {
        error = folder + ": " + std::strerror(errno);
        return {};
    }
    return path;
}

std::vector<std::string> FilesIn(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent *e = ::readdir(dir)) {
        struct stat st
        {
        };
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    return names;
}

int64_t FileSize(const std::string &path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

namespace {

// Renames without replacing; where the file system cannot, a hard link does the same.
int MoveNoReplace(const char *from, const char *to)
{
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (::link(from, to) != 0) return -1;
    ::unlink(from);
    return 0;
}

} // namespace

std::string PlaceFile(const std::string &from, const std::string &folder, const std::string &name,
                      std::string &error)
{
    for (int n = 0; n < 10000; ++n) {
        const std::string to = folder + "/" + (n ? NumberedName(name, n) : name);
        if (MoveNoReplace(from.c_str(), to.c_str()) == 0) return to;
        if (errno != EEXIST) {
            error = to + ": " + std::strerror(errno);
            return {};
        }
    }
    error = folder + "/" + name + ": too many files of that name";
    return {};
}
