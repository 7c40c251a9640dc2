// Temporary folders and raw file access for the settings-store tests.
#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class TTempFolder
{
public:
    TTempFolder()
    {
        char pattern[] = "/tmp/wm-config-XXXXXX";
        FPath = ::mkdtemp(pattern);
    }
    ~TTempFolder()
    {
        ::chmod(FPath.c_str(), 0700);
        std::system(("chmod -R u+rwx '" + FPath + "'; rm -rf '" + FPath + "'").c_str());
    }
    const std::string &Path() const { return FPath; }
    std::string operator/(const std::string &name) const { return FPath + "/" + name; }

private:
    std::string FPath;
};

inline void PutFile(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string GetFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

inline unsigned ModeOf(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}
