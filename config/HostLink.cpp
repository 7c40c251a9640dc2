#include "config/HostLink.h"

#include "config/TextEncoding.h"

#include <algorithm>
#include <cctype>

namespace {

struct TScheme
{
    std::string_view Prefix;
    THostTransport Transport;
};
constexpr TScheme Schemes[] = {
    {"telnet://", THostTransport::Tcp}, {"telnets://", THostTransport::Tls}, {"ssh://", THostTransport::Ssh}};

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX decoded (a '%' without two hex digits stays), then read as UTF-8 or else Latin-1.
std::string PercentDecoded(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out += char(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return TextFromStored(out);
}

bool HasControlBytes(std::string_view s)
{
    return std::any_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7F; });
}

// Host names are letters, digits, '-', '.' and '_' (non-ASCII letters of a UTF-8 name too).
bool ValidHostName(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        const unsigned char u = (unsigned char)c;
        return u >= 0x80 || std::isalnum(u) || c == '-' || c == '.' || c == '_';
    });
}

bool ValidIpv6(std::string_view s)
{
    // Hex groups and colons, an IPv4 tail, and a zone after '%'.
    const size_t zone = s.find('%');
    const std::string_view address = s.substr(0, zone);
    if (address.find(':') == std::string_view::npos) return false;
    if (!std::all_of(address.begin(), address.end(),
                     [](char c) { return HexValue(c) >= 0 || c == ':' || c == '.'; }))
        return false;
    return zone == std::string_view::npos || ValidHostName(s.substr(zone + 1));
}

std::nullopt_t Fail(std::string *error, const char *why)
{
    if (error) *error = why;
    return std::nullopt;
}

} // namespace

std::string TrimBlanks(std::string_view s)
{
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

bool ValidPort(std::string_view port)
{
    const std::string p = TrimBlanks(port);
    if (p.empty() || p.size() > 5 ||
        !std::all_of(p.begin(), p.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int n = std::stoi(p);
    return n >= 1 && n <= 65535;
}

std::string DefaultLinkPort(THostTransport transport)
{
    return transport == THostTransport::Tls ? "992" : transport == THostTransport::Ssh ? "22" : "23";
}

bool IsHostLink(std::string_view arg)
{
    return std::any_of(std::begin(Schemes), std::end(Schemes),
                       [&](const TScheme &s) { return arg.substr(0, s.Prefix.size()) == s.Prefix; });
}

std::optional<THostLink> ParseHostLink(std::string_view arg, std::string *error)
{
    THostLink link;
    std::string_view rest;
    for (const TScheme &s : Schemes)
        if (arg.substr(0, s.Prefix.size()) == s.Prefix) {
            link.Transport = s.Transport;
            rest = arg.substr(s.Prefix.size());
        }
    if (!IsHostLink(arg)) return Fail(error, "not a link");
    if (HasControlBytes(arg)) return Fail(error, "The link holds control characters.");

    const size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    if (slash != std::string_view::npos) {
        std::string_view path = rest.substr(slash + 1);
        if (!path.empty() && path.back() == '/') path.remove_suffix(1);
        std::string name = PercentDecoded(path);
        std::replace(name.begin(), name.end(), '_', ' ');
        // A name the settings file cannot hold is no name: the host is used, not saved.
        if (name.find_first_not_of(" \t") != std::string::npos && !HasControlBytes(name)) link.Name = name;
    }
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
        // telnet:// may carry a user and password too (RFC 4248); only ssh:// uses the user.
        if (link.Transport == THostTransport::Ssh) {
            std::string_view user = authority.substr(0, at);
            link.User =
                PercentDecoded(user.substr(0, user.find_first_of(";:"))); // no password, no parameters
            if (HasControlBytes(link.User)) return Fail(error, "The link's user name is not valid.");
        }
        authority.remove_prefix(at + 1);
    }

    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos || !ValidIpv6(authority.substr(1, close - 1)))
            return Fail(error, "The link's IPv6 address is not valid.");
        link.Address = std::string(authority.substr(1, close - 1));
        std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') return Fail(error, "The link's address is not valid.");
        if (!after.empty()) port = after.substr(1);
    } else {
        const size_t colon = authority.find(':');
        link.Address = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) port = authority.substr(colon + 1);
        if (!ValidHostName(link.Address)) return Fail(error, "The link's address is not valid.");
    }
    if (port.empty()) {
        link.Port = DefaultLinkPort(link.Transport);
    } else if (ValidPort(port) && port.find_first_of(" \t") == std::string_view::npos) {
        link.Port = std::string(port);
    } else {
        return Fail(error, "The link's port is not a number from 1 to 65535.");
    }
    return link;
}
