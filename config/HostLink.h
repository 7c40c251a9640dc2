// Links that name a BBS: telnet://HOST[:PORT][/NAME], telnets://HOST[:PORT][/NAME] and
// ssh://[USER@]HOST[:PORT][/NAME]; HOST may be an IPv6 address in brackets.
#pragma once

#include "config/HostMode.h"

#include <optional>
#include <string>
#include <string_view>

struct THostLink
{
    THostTransport Transport = THostTransport::Tcp;
    std::string Address; // an IPv6 address without its brackets
    std::string Port;    // the scheme's port (23, 992, 22) when the link gives none
    std::string Name;    // '_' read as a blank, %XX decoded, UTF-8; empty when there is none
    std::string User;    // ssh:// only: the login name
};

// Whether arg starts with one of the schemes (case-sensitive, as links have always been read).
bool IsHostLink(std::string_view arg);

// The link's parts; std::nullopt for a malformed link, with the reason in error.
std::optional<THostLink> ParseHostLink(std::string_view arg, std::string *error = nullptr);

// The port a link's scheme defaults to.
std::string DefaultLinkPort(THostTransport transport);

// A port as the user may give it: decimal, 1 to 65535, blanks around allowed.
bool ValidPort(std::string_view port);

// Trims blanks (space, tab) at both ends.
std::string TrimBlanks(std::string_view s);
