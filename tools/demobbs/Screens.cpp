#include "tools/demobbs/Screens.h"

#include <algorithm>
#include <cctype>
#include <iterator>

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
    std::string line = "^f^c\xba^a"_c;
    line += text;
    if (vis < inner) line += Repeat(' ', inner - vis);
    line += "^f^c\xba^a\r\n"_c;
    return line;
}

std::string Centred(std::string_view text, size_t inner)
{
    const size_t vis = VisibleLength(text);
    const size_t left = vis < inner ? (inner - vis) / 2 : 0;
    return Repeat(' ', left) + std::string(text);
}

} // namespace

std::string operator""_c(const char *text, size_t length)
{
    std::string out(text, length);
    for (char &c : out)
        if (c == '^') c = '\x01';
    return out;
}

std::string CleanText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t c = uint8_t(text[i]);
        if (c == 1 && i + 1 < text.size() && std::isalpha(uint8_t(text[i + 1]))) {
            out.append(text.substr(i, 2));
            ++i;
        } else if (c == '\n' || (c >= 32 && c != 127 && c != 255)) {
            out += char(c);
        }
    }
    return out;
}

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
    std::string s = "\r\n^f^c\xc9"_c + Repeat('\xcd', inner) + "\xbb^a\r\n"_c;
    s += BoxLine(Centred("^f^ywinMarlet ^wDemo BBS"_c, inner), inner);
    s += "^f^c\xc7"_c + Repeat('\xc4', inner) + "\xb6^a\r\n"_c;
    s += BoxLine(" ^gWho is online, express messages, posts and profiles."_c, inner);
    s += BoxLine(" ^gEverything lives in memory; the ^f^wSysop^a^g answers you."_c, inner);
    s += BoxLine(" ^gA new name makes a new account."_c, inner);
    s += "^f^c\xc8"_c + Repeat('\xcd', inner) + "\xbc^a\r\n"_c;
    s += " ^y\xb0\xb1\xb2\xdb^a Since 1976 on 127.0.0.1 ^y\xdb\xb2\xb1\xb0^a\r\n\r\n"_c;
    return s;
}

std::string MenuText(int cols)
{
    const std::string items[] = {"^f^w[W]^a^gho is online"_c, "^f^w[X]^a^g express message"_c,
                                 "^f^w[R]^a^gead posts"_c,    "^f^w[E]^a^gnter a post"_c,
                                 "^f^w[P]^a^grofile"_c,       "^f^w[F]^a^giles (D, U)"_c,
                                 "^f^w[?]^a^g this menu"_c,   "^f^w[Q]^a^guit"_c};
    // Columns of 20 characters, as many as the window takes.
    const size_t perLine = std::max<size_t>(1, size_t(std::max(cols - 1, 20)) / 20);
    std::string s = "\r\n";
    for (size_t i = 0; i < std::size(items); ++i) {
        std::string item = items[i];
        const bool last = (i + 1) % perLine == 0 || i + 1 == std::size(items);
        if (!last) item += std::string(20 - VisibleLength(item), ' ');
        s += item + (last ? "^a\r\n"_c : "");
    }
    return s;
}

std::string WordWrap(std::string_view text, int cols)
{
    const size_t width = size_t(std::max(cols - 1, 20));
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        // Greedy by words; a word longer than the width is cut.
        size_t used = 0;
        size_t i = 0;
        while (i < line.size()) {
            size_t j = line.find(' ', i);
            if (j == std::string_view::npos) j = line.size();
            std::string_view word = line.substr(i, j - i);
            const size_t len = VisibleLength(word);
            if (used > 0 && used + 1 + len > width) {
                out += "\r\n";
                used = 0;
            } else if (used > 0) {
                out += ' ';
                ++used;
            }
            while (VisibleLength(word) > width) {
                out.append(word.substr(0, width));
                out += "\r\n";
                word.remove_prefix(width);
            }
            out.append(word);
            used += VisibleLength(word);
            i = j + 1;
        }
        if (end < text.size()) out += "\r\n";
        start = end + 1;
    }
    return out;
}

std::string MenuPrompt()
{
    return "\r\n^f^yLobby>^a "_c;
}

std::string MorePrompt()
{
    return "^f^r-- MORE --^a^g (any key, Q stops)^a"_c;
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
    const std::string head = "\r\n^f^y*** Message (#"_c + std::to_string(number) + ") from ";
    if (proto == prIsca) // the name ends at " at "; the escape before it is skipped
        return head + "\x1b[36m" + std::string(from) + " at " + Clock(when) + " ***^a\r\n"_c;
    return head + "^c^n"_c + std::string(from) + "^N^y at "_c + Clock(when) + " ***^a\r\n"_c;
}

std::string PostHeader(TProto proto, int id, std::string_view author, std::time_t when)
{
    const std::string head = "\r\n^f^g[Post "_c + std::to_string(id) + "] from ";
    if (proto == prIsca)
        return head + "\x1b[36m" + std::string(author) + " at " + DateTime(when) + "^a\r\n"_c;
    return head + "^c^n"_c + std::string(author) + "^N^g at "_c + DateTime(when) + "^a\r\n"_c;
}

std::string WhoLine(TProto proto, std::string_view name, std::string_view status)
{
    std::string padded(name);
    if (padded.size() < 21) padded.resize(21, ' ');
    if (proto == prOrvo)
        return "  ^f^c^n"_c + std::string(name) + "^N"_c + padded.substr(name.size()) + "^a^g"_c +
               std::string(status) + "^a\r\n"_c;
    return "  ^f^c"_c + padded + "^a^g"_c + std::string(status) + "^a\r\n"_c;
}

} // namespace demobbs
