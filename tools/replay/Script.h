#pragma once
// Session scripts of winmarlet-replay: one step a line, '#' starts a comment line.
//   recv BYTES            bytes from the BBS, one read
//   type BYTES            characters typed, one SendChar each
//   key NAME [shift] [ctrl] [alt]
//   reset
// BYTES are blank-separated tokens: two hex digits, or a double-quoted string with
// C escapes (\xHH takes at most two hex digits, so "\x01a" is 01 61).

#include "terminal/Keys.h"

#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

struct TScriptStep
{
    enum TKind { skRecv, skType, skKey, skReset };
    TKind Kind = skRecv;
    std::vector<uint8_t> Bytes; // recv, type
    uint16_t Key = 0;           // key
    TShiftState Shift = 0;      // key
    int Line = 0;               // 1-based line in the script
};

using TScript = std::vector<TScriptStep>;

// A malformed line: what is wrong and where.
class EScriptError : public std::runtime_error
{
public:
    EScriptError(int Line, const std::string &Message) : std::runtime_error(Message), Line(Line) {}
    int Line;
};

// Parses a byte list; throws EScriptError (with the given line) when a token is bad.
std::vector<uint8_t> ParseByteList(const std::string &Text, int Line);
// Parses a whole script; throws EScriptError at the first malformed line.
TScript ParseScript(std::istream &In);
// The virtual-key code of a key name (Left, PageUp, ...), case-insensitive; 0 if unknown.
uint16_t KeyCodeByName(const std::string &Name);
