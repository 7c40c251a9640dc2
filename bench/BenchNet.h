#pragma once
// Loopback servers, clocks and process figures shared by the benchmark programs.

#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using BenchClock = std::chrono::steady_clock;

inline double Ms(BenchClock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// A listening socket on 127.0.0.1 and a free port.
inline int Listen(uint16_t &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    port = ntohs(a.sin_port);
    ::listen(fd, 4);
    return fd;
}

inline int AcceptWithin(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return -1;
    return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
}

inline bool SendAll(int fd, const std::string &s)
{
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Reads until `done(all read so far)` holds (true) or `ms` have passed.
template <typename Done> bool AwaitAnswerThat(int fd, Done done, int ms)
{
    std::string got;
    const auto end = BenchClock::now() + std::chrono::milliseconds(ms);
    while (BenchClock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) != 1) continue;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        got.append(buf, size_t(n));
        if (done(got)) return true;
    }
    return false;
}

// Reads until `answer` has come (true) or `ms` have passed.
inline bool AwaitAnswer(int fd, const std::string &answer, int ms)
{
    return AwaitAnswerThat(
        fd, [&](const std::string &got) { return got.find(answer) != std::string::npos; }, ms);
}

// Telnet's timing mark: the client answers it once it has handled every byte before it.
inline const std::string TimingMark = "\xff\xfd\x06";
inline const std::string TimingMarkAnswer = "\xff\xfb\x06";

inline bool AwaitTimingMark(int fd, int ms)
{
    return AwaitAnswer(fd, TimingMarkAnswer, ms);
}

// A cursor position request: an ANSI terminal answers ESC [ row ; col R once it has handled
// every byte before it, over Telnet and over a raw stream (SSH) alike.
inline const std::string CursorRequest = "\x1b[6n";

inline bool HasCursorReport(const std::string &s)
{
    for (size_t at = s.find("\x1b["); at != std::string::npos; at = s.find("\x1b[", at + 1)) {
        size_t i = at + 2, digits = 0, semis = 0;
        for (; i < s.size() && (std::isdigit(uint8_t(s[i])) || s[i] == ';'); ++i)
            (s[i] == ';' ? semis : digits)++;
        if (i < s.size() && s[i] == 'R' && semis == 1 && digits >= 2) return true;
    }
    return false;
}

inline bool AwaitCursorReport(int fd, int ms)
{
    return AwaitAnswerThat(fd, HasCursorReport, ms);
}

// Resident set of a process in kB, -1 when it cannot be read.
inline long ResidentKb(long pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// The bytes a Telnet echo server gives back: what the client typed, its commands left out.
class TelnetEchoFilter
{
public:
    std::string Take(const char *data, size_t n)
    {
        std::string out;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t c = uint8_t(data[i]);
            switch (FState) {
            case 0:
                if (c == 0xFF)
                    FState = 1;
                else
                    out += char(c);
                break;
            case 1: // after IAC
                FState = c == 0xFA ? 3 : (c >= 0xFB && c <= 0xFE) ? 2 : 0;
                if (c == 0xFF) out += char(c), FState = 0;
                break;
            case 2: // the option of WILL, WONT, DO, DONT
                FState = 0;
                break;
            case 3: // inside a subnegotiation until IAC SE
                if (c == 0xFF) FState = 4;
                break;
            default:
                FState = c == 0xF0 ? 0 : 3;
                break;
            }
        }
        return out;
    }

private:
    int FState = 0;
};
