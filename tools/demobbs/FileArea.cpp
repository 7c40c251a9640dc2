#include "tools/demobbs/FileArea.h"

#include "tools/demobbs/Session.h"
#include "tools/demobbs/TelnetCodec.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace demobbs {

namespace {

constexpr size_t MaxOutputQueued = 256 * 1024; // the tool waits while the client catches up
constexpr size_t GatherBytes = 64 * 1024;      // a transfer's output goes once it is this long
constexpr double GatherWait = 0.001;           // or this long after its first byte

bool Listed(const std::string &folder, const std::string &name)
{
    if (name.empty() || name[0] == '.' || name.find('/') != std::string::npos) return false;
    struct stat st
    {
    };
    return ::stat((folder + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

TFileArea::~TFileArea()
{
    Stop();
}

std::string TFileArea::Listing() const
{
    std::vector<std::pair<std::string, long long>> files;
    if (DIR *dir = ::opendir(FFolder.c_str())) {
        while (const dirent *e = ::readdir(dir)) {
            struct stat st
            {
            };
            if (e->d_name[0] != '.' && ::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
                files.emplace_back(e->d_name, static_cast<long long>(st.st_size));
        }
        ::closedir(dir);
    }
    std::sort(files.begin(), files.end());
    std::string s;
    for (const auto &[name, size] : files)
        s += name + std::string(name.size() < 30 ? 30 - name.size() : 1, ' ') + std::to_string(size) + "\r\n";
    return s.empty() ? "No files yet.\r\n" : s;
}

bool TFileArea::Send(const std::string &names, std::string &why)
{
    std::vector<std::string> args{"sz", "--binary", "--quiet", "--"};
    if (Listed(FFolder, names)) {
        args.push_back(names);
    } else {
        size_t at = 0;
        while (at < names.size()) {
            const size_t blank = std::min(names.find(' ', at), names.size());
            const std::string name = names.substr(at, blank - at);
            at = blank + 1;
            if (name.empty()) continue;
            if (!Listed(FFolder, name)) {
                why = "No file " + name + ".";
                return false;
            }
            args.push_back(name);
        }
    }
    return Spawn(args, why);
}

bool TFileArea::Receive(std::string &why)
{
    // Restricted: only plain names, into this folder; a name taken gets another.
    return Spawn({"rz", "--binary", "--quiet", "--restricted", "--rename"}, why);
}

bool TFileArea::Spawn(const std::vector<std::string> &args, std::string &why)
{
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        why = std::strerror(errno);
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(devnull, 2);
        std::signal(SIGPIPE, SIG_DFL);
        if (::chdir(FFolder.c_str()) == 0) ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (pid < 0) {
        why = std::strerror(errno);
        ::close(in[1]);
        ::close(out[0]);
        return false;
    }
    FPid = pid;
    FIn = in[1];
    FOut = out[0];
    ::fcntl(FIn, F_SETFL, O_NONBLOCK);
    ::fcntl(FOut, F_SETFL, O_NONBLOCK);
    ::fcntl(FOut, F_SETPIPE_SZ, 1 << 20); // what the tool writes while its output is held
    FPending.clear();
    return true;
}

void TFileArea::Input(uint8_t c)
{
    if (FIn >= 0 && FPending.size() < MaxInput) FPending.push_back(static_cast<char>(c));
}

void TFileArea::AddPollFds(std::vector<pollfd> &fds, bool room)
{
    FPolled = FPid > 0;
    if (!FPolled) return;
    FPollAt = fds.size();
    fds.push_back({FIn >= 0 && !FPending.empty() ? FIn : -1, POLLOUT, 0});
    fds.push_back({room ? FOut : -1, POLLIN, 0});
}

bool TFileArea::Service(const std::vector<pollfd> &fds, std::string &out, bool &ok)
{
    if (!FPolled || FPid <= 0) return false;
    FPolled = false;
    if (FIn >= 0 && !FPending.empty() && (fds[FPollAt].revents & (POLLOUT | POLLERR))) {
        const ssize_t n = ::write(FIn, FPending.data(), FPending.size());
        if (n > 0)
            FPending.erase(0, size_t(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            FPending.clear(); // the tool has gone
    }
    bool ended = false;
    // As much as the client's queue takes, not one pipe's worth per turn of the loop.
    for (int round = 0; !ended && round < 8 && (fds[FPollAt + 1].revents & (POLLIN | POLLHUP | POLLERR));
         ++round) {
        char buf[65536];
        const ssize_t n = ::read(FOut, buf, sizeof buf);
        for (ssize_t i = 0; i < n;) { // Telnet: a data 0xFF goes twice
            const void *iac = std::memchr(buf + i, tn::IAC, size_t(n - i));
            const ssize_t stop = iac ? static_cast<const char *>(iac) - buf + 1 : n;
            out.append(buf + i, size_t(stop - i));
            if (iac) out.push_back(char(tn::IAC));
            i = stop;
        }
        ended = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
        if (n < 0 || out.size() >= MaxOutputQueued) break;
    }
    if (!ended) return false;
    // Its output is closed: it is ending.
    int status = 0;
    CloseAll();
    ::waitpid(FPid, &status, 0);
    FPid = -1;
    ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return true;
}

void TFileArea::CloseAll()
{
    if (FIn >= 0) ::close(FIn);
    if (FOut >= 0) ::close(FOut);
    FIn = FOut = -1;
    FPending.clear();
}

void TFileArea::Stop()
{
    if (FPid <= 0) return;
    CloseAll();
    ::kill(FPid, SIGTERM);
    ::waitpid(FPid, nullptr, 0);
    FPid = -1;
}

std::string TFileArea::BinaryAnswer(uint8_t verb)
{
    // WILL and WONT are about what the client sends, DO and DONT about what we send; a
    // request that changes nothing gets no answer, so negotiation cannot loop.
    const bool on = verb == tn::WILL || verb == tn::DO;
    bool &state = verb == tn::WILL || verb == tn::WONT ? FBinaryIn : FBinaryOut;
    if (state == on) return {};
    state = on;
    const uint8_t answer = verb == tn::WILL   ? tn::DO
                           : verb == tn::WONT ? tn::DONT
                           : verb == tn::DO   ? tn::WILL
                                              : tn::WONT;
    return std::string{char(tn::IAC), char(answer), 0};
}

// --- The session's side: the menu's F, D and U.

void TSession::FileKey(uint8_t c)
{
    if (!FFiles.Exists()) {
        Say("This BBS has no file area.\r\n");
        EnterMenu(false);
        return;
    }
    if (c == 'f') {
        Say("^f^wFiles:^a\r\n"_c + FFiles.Listing());
        EnterMenu(false);
        return;
    }
    if (FProto != prTelnet) {
        Say("^rFile transfers need a Telnet connection.^a\r\n"_c);
        EnterMenu(false);
        return;
    }
    if (c == 'd') {
        FState = ssFileName;
        Say("^f^gFile name: ^a"_c);
        StartLine(60, false);
        return;
    }
    Say("Start your ZMODEM upload now.\r\n");
    std::string why;
    if (FFiles.Receive(why))
        FState = ssTransfer;
    else
        TransferDone(false, why);
}

void TSession::AnswerFileName(const std::string &name)
{
    if (name.empty()) {
        EnterMenu(false);
        return;
    }
    std::string why;
    if (!FFiles.Send(name, why)) {
        TransferDone(false, why);
        return;
    }
    Say("Sending " + name + " with ZMODEM.\r\n");
    FState = ssTransfer;
}

void TSession::TransferDone(bool ok, const std::string &why)
{
    Say(ok ? "\r\n^gTransfer complete.^a\r\n"_c : "\r\n^rTransfer failed. "_c + why + "^a\r\n"_c);
    EnterMenu(false);
}

void TSession::AddPollFds(std::vector<pollfd> &fds)
{
    // While output is held the tool's pipe fills meanwhile, and is read once at the end.
    FFiles.AddPollFds(fds, FOut.size() < MaxOutputQueued && FHoldUntil < 0);
}

void TSession::ServicePoll(const std::vector<pollfd> &fds, double now)
{
    bool ok = false;
    if (FFiles.Service(fds, FOut, ok) && FState == ssTransfer) TransferDone(ok, {});
    if (FState != ssTransfer || FOut.empty() || FOut.size() >= GatherBytes)
        FHoldUntil = -1;
    else if (FHoldUntil < 0)
        FHoldUntil = now + GatherWait;
    else if (now >= FHoldUntil)
        FHoldUntil = -1; // sent now, whatever its length
}

} // namespace demobbs
