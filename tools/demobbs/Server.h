#pragma once
// The demo BBS's event loop: one thread, poll() over a listening socket (or one
// session over standard input and output) and non-blocking connections, each driven by a TSession; the
// simulated Sysop acts through timers.

#include "tools/demobbs/Board.h"
#include "tools/demobbs/Session.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace demobbs {

class TServer : public TBbsHost
{
public:
    struct TOptions
    {
        uint16_t Port = 1976;              // 0 picks a free one
        std::string Address = "127.0.0.1"; // an IPv4 or IPv6 address to listen on
        double SysopDelay = 3.0;
        std::string Files; // the file area's folder; empty: none
    };

    TServer(TBoard &board, TOptions options);
    ~TServer() override;
    TServer(const TServer &) = delete;
    TServer &operator=(const TServer &) = delete;

    bool Listen(std::string &error);
    uint16_t Port() const { return FPort; }
    // "ADDRESS:PORT", the IPv6 address in brackets.
    std::string Endpoint() const;
    // One session over these descriptors (a terminal is made raw) instead of listening;
    // Run returns when it ends.
    void ServeOne(int inFd, int outFd);
    // Serves until stop is set; wakeFd (may be -1) becomes readable to interrupt poll.
    // Then every user gets a last word and the board is saved.
    void Run(const volatile std::sig_atomic_t &stop, int wakeFd);

    TBoard &Board() override { return FBoard; }
    std::vector<std::string> OnlineNames() const override;
    std::string OnlineName(std::string_view name) const override;
    void SendExpress(const std::string &from, const std::string &to, const std::string &text) override;
    void LoggedIn(const std::string &name) override;
    void PostAdded(const TPost &post) override;
    std::string FileFolder() const override { return FOptions.Files; }

private:
    struct TConn
    {
        int Fd = -1;
        int OutFd = -1; // Fd unless the session reads and writes different descriptors
        std::unique_ptr<TSession> Session;
    };
    enum TTimerKind : uint8_t { tkGreet, tkAnswerMessage, tkAnswerPost };
    struct TTimer
    {
        double When = 0;
        TTimerKind Kind = tkGreet;
        std::string Name; // whom the Sysop acts for
        int PostId = 0;
    };

    void Accept(double now);
    void ReadFrom(TConn &conn, double now);
    bool WriteTo(TConn &conn);
    void RunTimers(double now);
    void Schedule(TTimerKind kind, const std::string &name, int postId = 0);
    void Save();
    void CloseFinished();
    static void CloseConn(TConn &conn);

    TBoard &FBoard;
    TOptions FOptions;
    int FListenFd = -1;
    uint16_t FPort = 0;
    std::vector<TConn> FConns;
    std::vector<TTimer> FTimers;
    double FAcceptPausedUntil = 0; // out of descriptors: stop accepting for a moment
    double FSaveRetryAt = 0;
    bool FSingle = false; // serving one session over standard input and output
};

// Monotonic seconds.
double MonotonicNow();

} // namespace demobbs
