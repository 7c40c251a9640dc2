// Temporary folders, raw file access and child processes for the settings-store tests.
#pragma once

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// A private temporary folder, removed with its contents.
struct TTempFolder : QTemporaryDir
{
    std::string Path() const { return path().toStdString(); }
    std::string operator/(const std::string &name) const { return Path() + "/" + name; }
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

inline unsigned ModeOf(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}

// Names in a folder, sorted.
inline std::vector<std::string> FilesIn(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs body in a child process, which exits with 0 when it returns true, else 1.
inline pid_t StartChild(const std::function<bool()> &body)
{
    pid_t child = ::fork();
    if (child == 0) ::_exit(body() ? 0 : 1);
    return child;
}

// The child's exit status, or minus the signal that killed it.
inline int WaitChild(pid_t child)
{
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1000;
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}
