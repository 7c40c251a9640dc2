// How a host is spoken to: the byte stored as a host's "Mode", the pipe it is reached
// through ("Transport") and the terminal it expects ("Terminal").
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The host's "Mode", stored as its number.
enum THostMode : uint8_t {
    hmORVO = 0,   // ORVO CLient protocol
    hmTelnet = 1, // plain Telnet
    hmISCA = 2,   // ISCA Client protocol
};

// The mode a stored number stands for; nullopt for a number that is none.
constexpr std::optional<THostMode> HostModeOf(long number)
{
    return number >= hmORVO && number <= hmISCA ? std::optional<THostMode>(THostMode(number)) : std::nullopt;
}

// The host's "Transport" key: tcp (also when missing), tls or ssh.
enum class THostTransport : uint8_t { Tcp, Tls, Ssh };
// The host's "Terminal" key: classic (also when missing) or ansi.
enum class THostTerminal : uint8_t { Classic, AnsiBbs };

constexpr std::string_view TransportKey(THostTransport t)
{
    return t == THostTransport::Tls ? "tls" : t == THostTransport::Ssh ? "ssh" : "tcp";
}
constexpr std::optional<THostTransport> TransportFromKey(std::string_view s)
{
    if (s == "tcp") return THostTransport::Tcp;
    if (s == "tls") return THostTransport::Tls;
    if (s == "ssh") return THostTransport::Ssh;
    return std::nullopt;
}
constexpr std::string_view TerminalKey(THostTerminal t)
{
    return t == THostTerminal::AnsiBbs ? "ansi" : "classic";
}
constexpr std::optional<THostTerminal> TerminalFromKey(std::string_view s)
{
    if (s == "classic") return THostTerminal::Classic;
    if (s == "ansi") return THostTerminal::AnsiBbs;
    return std::nullopt;
}
