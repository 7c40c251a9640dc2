#include "tools/demobbs/Screens.h"

#include <algorithm>

namespace demobbs {

namespace {

std::string Repeat(char c, size_t n)
{
    return std::string(n, c);
}

// One line inside the box: text padded to the inner width.
std::string BoxLine(std::string_view text, size_t inner)
{
    const size_t vis = VisibleLength(text);
    std::string line = "\x01" "f\x01" "c\xba\x01" "a";
    line += text;
    if (vis < inner) line += Repeat(' ', inner - vis);
    line += "\x01" "f\x01" "c\xba\x01" "a\r\n";
    return line;
}

std::string Centred(std::string_view text, size_t inner)
{
    const size_t vis = VisibleLength(text);
    const size_t left = vis < inner ? (inner - vis) / 2 : 0;
    return Repeat(' ', left) + std::string(text);
}

} // namespace

size_t VisibleLength(std::string_view text)
{
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\x01')
            ++i;
        else if (text[i] == '\x1b') {
            while (i < text.size() && !(text[i] >= '@' && text[i] <= '~' && text[i] != '['))
                ++i;
        } else
            ++n;
    }
    return n;
}

std::string WelcomeScreen(int cols)
{
    const size_t inner = size_t(std::clamp(cols, 42, 80) - 2);
    std::string s = "\r\n\x01" "f\x01" "c\xc9" + Repeat('\xcd', inner) + "\xbb\x01" "a\r\n";
    s += BoxLine(Centred("\x01" "f\x01ywinMarlet \x01wDemo BBS", inner), inner);
    s += "\x01" "f\x01" "c\xc7" + Repeat('\xc4', inner) + "\xb6\x01" "a\r\n";
    s += BoxLine(" \x01gWho is online, express messages, posts and profiles.", inner);
    s += BoxLine(" \x01gEverything lives in memory; the \x01" "f\x01wSysop\x01" "a\x01g answers you.", inner);
    s += BoxLine(" \x01gA new name makes a new account.", inner);
    s += "\x01" "f\x01" "c\xc8" + Repeat('\xcd', inner) + "\xbc\x01" "a\r\n";
    s += " \x01y\xb0\xb1\xb2\xdb\x01" "a Since 1976 on 127.0.0.1 \x01y\xdb\xb2\xb1\xb0\x01" "a\r\n\r\n";
    return s;
}

std::string MenuText()
{
    return "\r\n\x01" "f\x01w[W]\x01" "a\x01gho is online   \x01" "f\x01w[X]\x01" "a\x01g express message   "
           "\x01" "f\x01w[R]\x01" "a\x01gead posts\r\n"
           "\x01" "f\x01w[E]\x01" "a\x01gnter a post     \x01" "f\x01w[P]\x01" "a\x01grofile            "
           "\x01" "f\x01w[?]\x01" "a\x01g this menu   \x01" "f\x01w[Q]\x01" "a\x01guit\x01" "a\r\n";
}

std::string MenuPrompt()
{
    return "\r\n\x01" "f\x01yLobby>\x01" "a ";
}

std::string MorePrompt()
{
    return "\x01" "f\x01r-- MORE --\x01" "a\x01g (any key, Q stops)\x01" "a";
}

std::string Clock(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M", &tm);
    return buf;
}

std::string DateTime(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
    return buf;
}

std::string ExpressHeader(TProto proto, int number, std::string_view from, std::time_t when)
{
    const std::string head = "\r\n\x01" "f\x01y*** Message (#" + std::to_string(number) + ") from ";
    if (proto == prIsca) // the name ends at " at "; the escape before it is skipped
        return head + "\x1b[36m" + std::string(from) + " at " + Clock(when) + " ***\x01" "a\r\n";
    return head + "\x01" "c\x01n" + std::string(from) + "\x01N\x01y at " + Clock(when) + " ***\x01" "a\r\n";
}

std::string PostHeader(TProto proto, int id, std::string_view author, std::time_t when)
{
    const std::string head = "\r\n\x01" "f\x01g[Post " + std::to_string(id) + "] from ";
    if (proto == prIsca) return head + "\x1b[36m" + std::string(author) + " at " + DateTime(when) + "\x01" "a\r\n";
    return head + "\x01" "c\x01n" + std::string(author) + "\x01N\x01g at " + DateTime(when) + "\x01" "a\r\n";
}

std::string WhoLine(TProto proto, std::string_view name, std::string_view status)
{
    std::string padded(name);
    if (padded.size() < 21) padded.resize(21, ' ');
    if (proto == prOrvo)
        return "  \x01" "f\x01" "c\x01n" + std::string(name) + "\x01N" + padded.substr(name.size()) + "\x01" "a\x01g" +
               std::string(status) + "\x01" "a\r\n";
    return "  \x01" "f\x01" "c" + padded + "\x01" "a\x01g" + std::string(status) + "\x01" "a\r\n";
}

} // namespace demobbs
