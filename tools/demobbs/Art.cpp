#include "tools/demobbs/Art.h"

#include "tools/demobbs/TelnetCodec.h"

#include <array>
#include <cstring>
#include <vector>

namespace demobbs {

namespace {

constexpr int Width = 80;

// Attributes: bits 0-2 the colour (black red green yellow blue magenta cyan white), 3 bright,
// 4-6 the background, 7 the bright background (iCE colours).
constexpr uint8_t Edge = 0x0C;   // bright blue on black: the band's rounded edges
constexpr uint8_t Band = 0xC0;   // on bright blue
constexpr uint8_t Top = 0xCB;    // the letters: bright yellow on bright blue, fading to
constexpr uint8_t Bottom = 0xC3; // yellow
constexpr uint8_t Shadow = 0xC4; // a blue shade on bright blue
constexpr uint8_t Title = 0x0F;  // bright white on black
constexpr uint8_t Fade = 0x0E;   // bright cyan
constexpr uint8_t Line = 0x06;   // cyan
constexpr uint8_t Text = 0x07;   // grey
constexpr uint8_t Mark = 0x0B;   // bright yellow
constexpr uint8_t Signed = 0x08; // dark grey

// The letters of the logo, five cells wide, drawn with full blocks.
struct TLetter
{
    char Name;
    const char *Rows[5];
};
const TLetter Font[] = {
    {'W', {"#   #", "#   #", "# # #", "## ##", "#   #"}},
    {'I', {"#####", "  #  ", "  #  ", "  #  ", "#####"}},
    {'N', {"#   #", "##  #", "# # #", "#  ##", "#   #"}},
    {'M', {"#   #", "## ##", "# # #", "#   #", "#   #"}},
    {'A', {" ### ", "#   #", "#####", "#   #", "#   #"}},
    {'R', {"#### ", "#   #", "#### ", "#  # ", "#   #"}},
    {'L', {"#    ", "#    ", "#    ", "#    ", "#####"}},
    {'E', {"#####", "#    ", "#### ", "#    ", "#####"}},
    {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  "}},
};

struct TCell
{
    char Ch = ' ';
    uint8_t Attr = 0x07;
};
using TRow = std::array<TCell, Width>;

void Put(TRow &row, int col, std::string_view text, uint8_t attr)
{
    for (char c : text) {
        if (col >= 0 && col < Width) row[size_t(col)] = {c, attr};
        ++col;
    }
}

std::vector<TRow> Picture()
{
    std::vector<TRow> rows(16);
    for (int c = 0; c < Width; ++c) {
        rows[0][size_t(c)] = {'\xdc', Edge};
        rows[8][size_t(c)] = {'\xdf', Edge};
        for (int r = 1; r <= 7; ++r)
            rows[size_t(r)][size_t(c)] = {' ', Band};
    }
    const char *const Logo = "WINMARLET";
    const int left = (Width - (int(std::strlen(Logo)) * 6 - 1)) / 2;
    for (int k = 0; Logo[k]; ++k)
        for (const TLetter &l : Font)
            if (l.Name == Logo[k])
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < 5; ++x)
                        if (l.Rows[y][x] == '#')
                            rows[size_t(2 + y)][size_t(left + k * 6 + x)] = {'\xdb', y < 3 ? Top : Bottom};
    // a shade below and to the right of every block, where the band shows
    for (int r = 7; r >= 3; --r)
        for (int c = Width - 1; c >= 1; --c)
            if (rows[size_t(r - 1)][size_t(c - 1)].Ch == '\xdb' && rows[size_t(r)][size_t(c)].Ch == ' ')
                rows[size_t(r)][size_t(c)] = {'\xb1', Shadow};

    const std::string title = "  D E M O   B B S  ";
    const int t = (Width - int(title.size()) - 8) / 2;
    Put(rows[10], t, "\xb0\xb1\xb2\xdb", Fade);
    Put(rows[10], t + 4, title, Title);
    Put(rows[10], t + 4 + int(title.size()), "\xdb\xb2\xb1\xb0", Fade);

    Put(rows[12], 10, "\xda" + std::string(58, '\xc4') + "\xbf", Line);
    Put(rows[15], 10, "\xc0" + std::string(58, '\xc4') + "\xd9", Line);
    for (int r : {13, 14}) {
        Put(rows[size_t(r)], 10, "\xb3", Line);
        Put(rows[size_t(r)], 69, "\xb3", Line);
    }
    const std::string about = "Telnet, ANSI-BBS, iCE colours and code page 437";
    const std::string where = "On 127.0.0.1 since 1976; the Sysop answers you.";
    Put(rows[13], 13, about, Text);
    Put(rows[13], 13 + int(about.find("ANSI-BBS")), "ANSI-BBS", Mark);
    Put(rows[14], 13, where, Text);
    Put(rows[14], 13 + int(where.find("Sysop")), "Sysop", Mark);
    return rows;
}

// The attribute restated in full, as the DOS editors wrote it.
std::string Sgr(uint8_t a)
{
    std::string s = "\x1b[0;";
    if (a & 0x08) s += "1;";
    if (a & 0x80) s += "5;";
    return s + "3" + char('0' + (a & 7)) + ";4" + char('0' + ((a >> 4) & 7)) + "m";
}

} // namespace

std::string AnsiWelcome()
{
    std::string out = "\x1b[0m\x1b[2J\x1b[?33h";
    uint8_t cur = 0x07;
    for (const TRow &row : Picture()) {
        auto blank = [&row](int c) { return row[size_t(c)].Ch == ' ' && (row[size_t(c)].Attr & 0xF0) == 0; };
        int last = Width - 1;
        while (last >= 0 && blank(last))
            --last;
        for (int c = 0; c <= last;) {
            if (blank(c)) { // blanks on black: skipped, not written
                int n = 1;
                while (blank(c + n))
                    ++n;
                out += "\x1b[" + std::to_string(n) + "C";
                c += n;
                continue;
            }
            if (row[size_t(c)].Attr != cur) out += Sgr(cur = row[size_t(c)].Attr);
            out += row[size_t(c)].Ch;
            ++c;
        }
        if (last < Width - 1) out += "\r\n"; // a full row has wrapped already
    }
    out += "\x1b[18;63H" + Sgr(Signed) + "art: winMarlet";
    out += "\x1b[0m\x1b[19;1H";
    return out;
}

std::string PlainTelnetText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t c = uint8_t(text[i]);
        if (c == 0x01) {
            ++i; // a colour code
        } else if (c < 0x80) {
            out += char(c);
        } else if (c == 0xB3 || c == 0xBA) {
            out += '|';
        } else if (c == 0xC4 || c == 0xCD) {
            out += '-';
        } else if ((c >= 0xB0 && c <= 0xB2) || c == 0xDB) {
            out += '#';
        } else if (c >= 0xB3 && c <= 0xDA) {
            out += '+'; // corners and joints
        } else {
            out += '?';
        }
    }
    return out;
}

} // namespace demobbs
