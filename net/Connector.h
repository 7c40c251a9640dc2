// Opens one TCP connection to a host name or address without blocking the event loop.
//
// The name is looked up off the GUI thread and the answer posted back; nothing waits in a
// nested event loop. Every address of the answer is tried the Happy Eyeballs way (RFC 8305):
// IPv6 and IPv4 alternate, IPv6 first; each next attempt starts when the one before fails
// or after a short delay, whichever comes first; the first to connect wins and the others
// are closed. The winner has TCP keepalive on, so a dead peer is noticed.
//
// Every callback comes from the event loop, never from inside Start or Cancel, and none
// comes after Cancel or the connector's destruction.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TConnectorImpl;

class TConnector
{
public:
    // Time before the next address is tried while the one before is still under way.
    static constexpr int AttemptDelayMs = 250;
    // Keepalive: the first probe after this much silence, then probes this far apart; the
    // connection is given up after this many unanswered probes.
    static constexpr int KeepAliveIdleSeconds = 60;
    static constexpr int KeepAliveIntervalSeconds = 10;
    static constexpr int KeepAliveProbes = 3;

    TConnector();
    ~TConnector();
    TConnector(const TConnector &) = delete;
    TConnector &operator=(const TConnector &) = delete;

    // The lookup answered and the first attempt is under way (only after a name lookup).
    std::function<void(const std::string &firstAddress)> OnConnecting;
    // Connected: the descriptor (non-blocking, close-on-exec, keepalive on) is the caller's
    // to keep and close; `address` is the text of the address it reached.
    std::function<void(int fd, const std::string &address)> OnConnected;
    // Failed, with an error in the WinSock numbering: the lookup's (`lookup` true) or the
    // last attempt's.
    std::function<void(int error, bool lookup)> OnFailed;

    // Starts; host is a name, a dotted IPv4 address or an IPv6 address (with or without
    // brackets). Returns true when host was an address, so attempts are already under way
    // and no lookup (and no OnConnecting) follows.
    bool Start(const std::string &host, uint16_t port);
    // Starts with these address literals, as a lookup would have answered them.
    void StartWith(const std::vector<std::string> &addresses, uint16_t port);
    // Stops everything and closes every descriptor it still holds; no callback follows.
    void Cancel();

    // An address literal without its brackets, or empty when text is not one.
    static std::string AddressLiteral(const std::string &text);
    // Turns keepalive on for a connected TCP socket, with the times above.
    static void SetConnectionOptions(int fd);

private:
    std::unique_ptr<TConnectorImpl> FImpl;
};

// Ends a connection in order without holding anyone up: `queued` goes out, the write side
// is shut, and what the peer still sends is read and dropped until it closes too (or a
// few seconds pass); then the descriptor is closed. Closing with unread bytes would reset
// the connection and could destroy what was sent last before the peer read it.
void CloseInOrder(int fd, std::string queued = {});
