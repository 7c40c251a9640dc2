#include "tools/demobbs/Server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace demobbs {

namespace {

bool SetNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

double MonotonicNow()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

TServer::TServer(TBoard &board, TOptions options) : FBoard(board), FOptions(options)
{
}

TServer::~TServer()
{
    for (TConn &c : FConns)
        CloseConn(c);
    if (FListenFd >= 0) ::close(FListenFd);
}

void TServer::CloseConn(TConn &c)
{
    ::close(c.Fd);
    if (c.OutFd != c.Fd) ::close(c.OutFd);
    c.Fd = c.OutFd = -1;
}

std::string TServer::Endpoint() const
{
    const bool v6 = FOptions.Address.find(':') != std::string::npos;
    return (v6 ? "[" + FOptions.Address + "]" : FOptions.Address) + ":" + std::to_string(FPort);
}

void TServer::ServeOne(int inFd, int outFd)
{
    termios raw{};
    if (::tcgetattr(inFd, &raw) == 0) { // a terminal (an SSH session with a pty): bytes as they come
        ::cfmakeraw(&raw);
        ::tcsetattr(inFd, TCSANOW, &raw);
    }
    SetNonBlocking(inFd);
    SetNonBlocking(outFd);
    FSingle = true;
    FConns.push_back({inFd, outFd, std::make_unique<TSession>(*this, MonotonicNow())});
}

bool TServer::Listen(std::string &error)
{
    sockaddr_storage addr{};
    socklen_t len = 0;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&addr);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&addr);
    if (::inet_pton(AF_INET, FOptions.Address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(FOptions.Port);
        len = sizeof *v4;
    } else if (::inet_pton(AF_INET6, FOptions.Address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(FOptions.Port);
        len = sizeof *v6;
    } else {
        error = "not an address: " + FOptions.Address;
        return false;
    }
    FListenFd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FListenFd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(FListenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (addr.ss_family == AF_INET6) ::setsockopt(FListenFd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    FPort = FOptions.Port;
    if (::bind(FListenFd, reinterpret_cast<sockaddr *>(&addr), len) != 0 || ::listen(FListenFd, 64) != 0 ||
        !SetNonBlocking(FListenFd)) {
        error = Endpoint() + ": " + std::strerror(errno);
        return false;
    }
    ::getsockname(FListenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    FPort = ntohs(addr.ss_family == AF_INET6 ? v6->sin6_port : v4->sin_port);
    return true;
}

void TServer::Run(const volatile std::sig_atomic_t &stop, int wakeFd)
{
    std::vector<pollfd> fds;
    const auto held = [](const TConn &c, double at) { return at < c.Session->HoldUntil(); };
    while (!stop) {
        const double now = MonotonicNow();
        double next = -1;
        for (const TTimer &t : FTimers)
            next = next < 0 ? t.When : std::min(next, t.When);
        for (const TConn &c : FConns) {
            if (c.Session->Deadline() >= 0)
                next = next < 0 ? c.Session->Deadline() : std::min(next, c.Session->Deadline());
            if (c.Session->HoldUntil() >= 0)
                next = next < 0 ? c.Session->HoldUntil() : std::min(next, c.Session->HoldUntil());
        }
        if (FAcceptPausedUntil > now)
            next = next < 0 ? FAcceptPausedUntil : std::min(next, FAcceptPausedUntil);
        if (FSaveRetryAt > now) next = next < 0 ? FSaveRetryAt : std::min(next, FSaveRetryAt);
        const int timeout = next < 0 ? -1 : int(std::clamp((next - now) * 1000.0 + 1, 0.0, 60000.0));

        fds.clear();
        fds.push_back({wakeFd, POLLIN, 0});
        fds.push_back({FAcceptPausedUntil > now ? -1 : FListenFd, POLLIN, 0});
        for (const TConn &c : FConns)
            fds.push_back({c.Fd, POLLIN, 0});
        for (const TConn &c : FConns) // each connection's output side, after all the inputs
            fds.push_back({c.Session->Output().empty() || held(c, now) ? -1 : c.OutFd, POLLOUT, 0});
        for (const TConn &c : FConns) // a file transfer's tool, after those
            c.Session->AddPollFds(fds);
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            std::cerr << "winmarlet-demobbs: poll: " << std::strerror(errno) << "\n";
            break;
        }
        if (stop) break;
        const double t = MonotonicNow();
        // Connections accepted now are not in fds yet: only the old ones are polled.
        const size_t polled = FConns.size();
        for (size_t i = 0; i < polled; ++i) {
            const short ev = fds[i + 2].revents;
            if (ev & (POLLIN | POLLHUP | POLLERR)) ReadFrom(FConns[i], t);
        }
        for (size_t i = 0; i < polled; ++i)
            FConns[i].Session->ServicePoll(fds, t);
        if (fds[1].revents & POLLIN) Accept(t);
        for (TConn &c : FConns)
            c.Session->Tick(t);
        RunTimers(t);
        for (TConn &c : FConns)
            if (!c.Session->Output().empty() && !held(c, t) && !WriteTo(c) && !c.Session->Broken())
                c.Session->Shutdown(); // the peer is gone; Broken() comes below
        CloseFinished();
        Save();
        if (FSingle && FConns.empty()) break;
    }
    // A last word to everyone, as far as their sockets take it at once.
    for (TConn &c : FConns) {
        c.Session->Shutdown();
        WriteTo(c);
        CloseConn(c);
    }
    FConns.clear();
    FSaveRetryAt = 0;
    Save();
}

void TServer::Accept(double now)
{
    for (;;) {
        const int fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                FAcceptPausedUntil = now + 1.0;
            return;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        FConns.push_back({fd, fd, std::make_unique<TSession>(*this, now)});
    }
}

void TServer::ReadFrom(TConn &conn, double now)
{
    uint8_t buf[4096];
    for (int round = 0; round < 16; ++round) { // others get their turn after 64 KB
        const ssize_t n = ::read(conn.Fd, buf, sizeof buf);
        if (n > 0) {
            conn.Session->Receive(buf, size_t(n), now);
            if (conn.Session->Broken() || conn.Session->Finished()) return;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        // Closed or failed: the user vanished, maybe in the middle of an edit.
        conn.Session->Shutdown();
        conn.Session->Output().clear();
        return;
    }
}

bool TServer::WriteTo(TConn &conn)
{
    std::string &out = conn.Session->Output();
    while (!out.empty()) {
        const ssize_t n = ::write(conn.OutFd, out.data(), out.size());
        if (n > 0) {
            out.erase(0, size_t(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
        out.clear();
        return false;
    }
    return true;
}

void TServer::CloseFinished()
{
    for (size_t i = 0; i < FConns.size();) {
        TSession &s = *FConns[i].Session;
        if (s.Broken() || (s.Finished() && s.Output().empty())) {
            if (s.Broken())
                std::cerr << "winmarlet-demobbs: dropped a connection: " << s.BrokenReason() << "\n";
            CloseConn(FConns[i]);
            FConns.erase(FConns.begin() + long(i));
        } else {
            ++i;
        }
    }
}

void TServer::Save()
{
    const double now = MonotonicNow();
    if (FSaveRetryAt > now) return;
    if (!FBoard.SaveIfChanged()) {
        std::cerr << "winmarlet-demobbs: cannot write " << FBoard.DataFile() << ": " << std::strerror(errno)
                  << " (trying again)\n";
        FSaveRetryAt = now + 5.0;
    }
}

std::vector<std::string> TServer::OnlineNames() const
{
    std::vector<std::string> names{SysopName};
    for (const TConn &c : FConns) {
        const TSession &s = *c.Session;
        if (!s.LoggedIn() || s.Finished() || s.Broken()) continue;
        if (std::none_of(names.begin(), names.end(), [&](const std::string &n) { return n == s.Name(); }))
            names.push_back(s.Name());
    }
    return names;
}

std::string TServer::OnlineName(std::string_view name) const
{
    for (const std::string &n : OnlineNames())
        if (SameName(n, name)) return n;
    return {};
}

void TServer::SendExpress(const std::string &from, const std::string &to, const std::string &text)
{
    const std::time_t when = std::time(nullptr);
    FBoard.AddMessage(from, to, text, when);
    if (to == SysopName) {
        if (from != SysopName) Schedule(tkAnswerMessage, from);
        return;
    }
    for (TConn &c : FConns)
        if (c.Session->LoggedIn() && c.Session->Name() == to) c.Session->ReceiveExpress(from, text, when);
}

void TServer::LoggedIn(const std::string &name)
{
    Schedule(tkGreet, name);
}

void TServer::PostAdded(const TPost &post)
{
    if (post.Author != SysopName) Schedule(tkAnswerPost, post.Author, post.Id);
}

void TServer::Schedule(TTimerKind kind, const std::string &name, int postId)
{
    // Bounded: a flood of posts or messages to the Sysop gets fewer answers.
    if (FTimers.size() >= 100) return;
    FTimers.push_back({MonotonicNow() + FOptions.SysopDelay, kind, name, postId});
}

void TServer::RunTimers(double now)
{
    std::vector<TTimer> due;
    for (size_t i = 0; i < FTimers.size();) {
        if (FTimers[i].When <= now) {
            due.push_back(FTimers[i]);
            FTimers.erase(FTimers.begin() + long(i));
        } else {
            ++i;
        }
    }
    for (const TTimer &t : due) {
        const bool online = !OnlineName(t.Name).empty();
        switch (t.Kind) {
        case tkGreet:
            if (online)
                SendExpress(SysopName, t.Name,
                            "Welcome to the demo BBS, " + t.Name + "! Press X to write to me, E to post.");
            break;
        case tkAnswerMessage:
            if (online)
                SendExpress(SysopName, t.Name,
                            "Thank you for your message, " + t.Name +
                                ". I read them all, but I am only a demo.");
            break;
        case tkAnswerPost: {
            const TPost &reply = FBoard.AddPost(SysopName,
                                                "Re: post " + std::to_string(t.PostId) + " by " + t.Name +
                                                    "\n\nThank you for writing, " + t.Name +
                                                    "! Everyone who reads the posts sees it.",
                                                std::time(nullptr));
            if (online)
                SendExpress(SysopName, t.Name,
                            "I have answered your post " + std::to_string(t.PostId) + " in post " +
                                std::to_string(reply.Id) + ".");
            break;
        }
        }
    }
}

} // namespace demobbs
