#include "tools/replay/Script.h"

#include <cctype>
#include <cstring>
#include <sstream>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Reads a quoted string starting at Text[i] == '"'; leaves i after the closing quote.
void ParseQuoted(const std::string &Text, size_t &i, int Line, std::vector<uint8_t> &Out)
{
    ++i;
    while (true) {
        if (i >= Text.size()) throw EScriptError(Line, "unterminated string");
        char c = Text[i++];
        if (c == '"') return;
        if (c != '\\') {
            Out.push_back(static_cast<uint8_t>(c));
            continue;
        }
        if (i >= Text.size()) throw EScriptError(Line, "unterminated string");
        c = Text[i++];
        switch (c) {
        case 'a':
            Out.push_back(7);
            break;
        case 'b':
            Out.push_back(8);
            break;
        case 'e':
            Out.push_back(27);
            break;
        case 'f':
            Out.push_back(12);
            break;
        case 'n':
            Out.push_back(10);
            break;
        case 'r':
            Out.push_back(13);
            break;
        case 't':
            Out.push_back(9);
            break;
        case 'v':
            Out.push_back(11);
            break;
        case '\\':
        case '"':
        case '\'':
        case '?':
            Out.push_back(static_cast<uint8_t>(c));
            break;
        case 'x': {
            int v = 0, n = 0;
            while (n < 2 && i < Text.size() && HexValue(Text[i]) >= 0) {
                v = v * 16 + HexValue(Text[i++]);
                ++n;
            }
            if (n == 0) throw EScriptError(Line, "\\x without hex digits");
            Out.push_back(static_cast<uint8_t>(v));
            break;
        }
        default:
            if (c >= '0' && c <= '7') {
                int v = c - '0', n = 1;
                while (n < 3 && i < Text.size() && Text[i] >= '0' && Text[i] <= '7') {
                    v = v * 8 + (Text[i++] - '0');
                    ++n;
                }
                if (v > 255) throw EScriptError(Line, "octal escape above \\377");
                Out.push_back(static_cast<uint8_t>(v));
            } else {
                throw EScriptError(Line, std::string("unknown escape \\") + c);
            }
        }
    }
}

} // namespace

std::vector<uint8_t> ParseByteList(const std::string &Text, int Line)
{
    std::vector<uint8_t> Out;
    size_t i = 0;
    while (true) {
        while (i < Text.size() && IsBlank(Text[i]))
            ++i;
        if (i >= Text.size()) return Out;
        if (Text[i] == '"') {
            ParseQuoted(Text, i, Line, Out);
        } else {
            size_t End = i;
            while (End < Text.size() && !IsBlank(Text[End]))
                ++End;
            const std::string Token = Text.substr(i, End - i);
            if (Token.size() != 2 || HexValue(Token[0]) < 0 || HexValue(Token[1]) < 0)
                throw EScriptError(Line, "bad byte '" + Token + "' (two hex digits or a quoted string)");
            Out.push_back(static_cast<uint8_t>(HexValue(Token[0]) * 16 + HexValue(Token[1])));
            i = End;
        }
        if (i < Text.size() && !IsBlank(Text[i])) throw EScriptError(Line, "blank expected after a string");
    }
}

uint16_t KeyCodeByName(const std::string &Name)
{
    static const struct
    {
        const char *Name;
        uint16_t Code;
    } Keys[] = {{"left", VK_LEFT},     {"up", VK_UP},        {"right", VK_RIGHT},   {"down", VK_DOWN},
                {"home", VK_HOME},     {"end", VK_END},      {"delete", VK_DELETE}, {"backspace", VK_BACK},
                {"insert", VK_INSERT}, {"pageup", VK_PRIOR}, {"pagedown", VK_NEXT}};
    const std::string n = Lower(Name);
    for (const auto &k : Keys)
        if (n == k.Name) return k.Code;
    return 0;
}

TScript ParseScript(std::istream &In)
{
    TScript Script;
    std::string Text;
    int Line = 0;
    while (std::getline(In, Text)) {
        ++Line;
        if (!Text.empty() && Text.back() == '\r') Text.pop_back();
        size_t i = 0;
        while (i < Text.size() && IsBlank(Text[i]))
            ++i;
        if (i >= Text.size() || Text[i] == '#') continue;
        size_t End = i;
        while (End < Text.size() && !IsBlank(Text[End]))
            ++End;
        const std::string Command = Text.substr(i, End - i);
        const std::string Rest = Text.substr(End);

        TScriptStep Step;
        Step.Line = Line;
        if (Command == "recv" || Command == "type") {
            Step.Kind = Command == "recv" ? TScriptStep::skRecv : TScriptStep::skType;
            if (Rest.find_first_not_of(" \t") == std::string::npos)
                throw EScriptError(Line, Command + " needs bytes");
            Step.Bytes = ParseByteList(Rest, Line);
        } else if (Command == "key") {
            Step.Kind = TScriptStep::skKey;
            std::istringstream Words(Rest);
            std::string Word;
            if (!(Words >> Word)) throw EScriptError(Line, "key needs a name");
            Step.Key = KeyCodeByName(Word);
            if (Step.Key == 0) throw EScriptError(Line, "unknown key '" + Word + "'");
            while (Words >> Word) {
                const std::string m = Lower(Word);
                if (m == "shift")
                    Step.Shift |= ssShift;
                else if (m == "ctrl")
                    Step.Shift |= ssCtrl;
                else if (m == "alt")
                    Step.Shift |= ssAlt;
                else
                    throw EScriptError(Line, "unknown modifier '" + Word + "'");
            }
        } else if (Command == "reset") {
            Step.Kind = TScriptStep::skReset;
            if (Rest.find_first_not_of(" \t") != std::string::npos)
                throw EScriptError(Line, "reset takes no arguments");
        } else {
            throw EScriptError(Line, "unknown command '" + Command + "'");
        }
        Script.push_back(std::move(Step));
    }
    return Script;
}
