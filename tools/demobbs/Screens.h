#pragma once
// The texts the demo BBS shows: welcome screen, menu, message and post headers,
// who-list lines. Colours are written as colour codes (0x01 and a letter) and
// translated for Telnet terminals on output; the headers a CLient engine parses
// carry the marks of their mode.

#include <ctime>
#include <string>
#include <string_view>

namespace demobbs {

enum TProto : uint8_t { prUnknown, prTelnet, prOrvo, prIsca };

constexpr char SysopName[] = "Sysop";

// Colour codes written as '^' and the letter: "^f^yLobby>"_c is 01 66 01 79 and the text.
std::string operator""_c(const char *text, size_t length);

// A box of code page 437 double lines, as wide as the terminal allows.
std::string WelcomeScreen(int cols);
// The commands in as many columns as the terminal is wide.
std::string MenuText(int cols);
// Lines broken at blanks to fit the terminal, line feeds turned into CR LF.
std::string WordWrap(std::string_view text, int cols);
std::string MenuPrompt();
std::string MorePrompt();

// "HH:MM" and "YYYY-MM-DD HH:MM", local time.
std::string Clock(std::time_t t);
std::string DateTime(std::time_t t);

// Header line of an express message (ended by CR LF). ORVO marks the name between
// the codes n and N; ISCA writes " from NAME at TIME".
std::string ExpressHeader(TProto proto, int number, std::string_view from, std::time_t when);
std::string PostHeader(TProto proto, int id, std::string_view author, std::time_t when);
// One who-list line (ended by CR LF), the name marked in ORVO mode.
std::string WhoLine(TProto proto, std::string_view name, std::string_view status);

// A user's text as others may see it: line feeds, colour codes and printable
// characters stay; other control bytes (an escape sequence, say) go.
std::string CleanText(std::string_view text);

// Characters a terminal shows of a text with colour codes.
size_t VisibleLength(std::string_view text);

} // namespace demobbs
