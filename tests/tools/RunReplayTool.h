#pragma once
// Runs the built winmarlet-replay (REPLAY_BIN) with a shell argument string; returns
// its exit status and what it wrote to stdout and stderr (kept in files of Dir).

#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

inline int RunTool(const std::string &Args, std::string &Out, std::string &Err, const QTemporaryDir &Dir)
{
    const std::string o = Dir.filePath("out").toStdString(), e = Dir.filePath("err").toStdString();
    const int Status = std::system((std::string(REPLAY_BIN) + " " + Args + " >" + o + " 2>" + e).c_str());
    auto Slurp = [](const std::string &p) {
        std::ifstream f(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    };
    Out = Slurp(o);
    Err = Slurp(e);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}
