#include "terminal/AnsiArt.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t SauceSize = 128;
constexpr size_t CommentSize = 64;
constexpr TColourAttr Plain = 7;

std::string Field(std::string_view record, size_t at, size_t size)
{
    std::string s(record.substr(at, size));
    s.resize(std::strlen(s.c_str())); // some writers pad with NULs
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

uint16_t Word(std::string_view s, size_t at)
{
    return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8);
}

// The interpreter's state between bytes.
struct TPen
{
    int X = 0, Y = 0, SavedX = 0, SavedY = 0;
    TColourAttr Attr = Plain;
    bool Reverse = false;
};

TColourAttr Shown(const TPen &p)
{
    if (!p.Reverse) return p.Attr;
    // Reverse video exchanges the colours; brightness and blinking stay where they were.
    return TColourAttr((p.Attr & 0x88) | (p.Attr & 7) << 4 | (p.Attr >> 4 & 7));
}

void Sgr(TPen &p, const std::vector<int> &params)
{
    for (int v : params) {
        if (v == 0) {
            p.Attr = Plain;
            p.Reverse = false;
        } else if (v == 1) {
            p.Attr |= caBright; // a second SGR 1 changes nothing
        } else if (v == 5 || v == 6) {
            p.Attr |= caFlash;
        } else if (v == 7 || v == 27) {
            p.Reverse = v == 7;
        } else if (v == 22) {
            p.Attr &= TColourAttr(~caBright);
        } else if (v == 25) {
            p.Attr &= TColourAttr(~caFlash);
        } else if (v >= 30 && v <= 37) {
            p.Attr = TColourAttr((p.Attr & 0xF8) | (v - 30));
        } else if (v == 39) {
            p.Attr = TColourAttr((p.Attr & 0xF8) | 7);
        } else if (v >= 40 && v <= 47) {
            p.Attr = TColourAttr((p.Attr & 0x8F) | (v - 40) << 4);
        } else if (v == 49) {
            p.Attr &= 0x8F;
        } else if (v >= 90 && v <= 97) {
            p.Attr = TColourAttr((p.Attr & 0xF0) | caBright | (v - 90));
        } else if (v >= 100 && v <= 107) {
            p.Attr = TColourAttr((p.Attr & 0x0F) | caFlash | (v - 100) << 4);
        }
    }
}

int Param(const std::vector<int> &ps, size_t k, int dflt)
{
    return k < ps.size() && ps[k] > 0 ? ps[k] : dflt;
}

} // namespace

size_t ReadSauce(std::string_view file, TSauce &sauce, std::vector<std::string> &notes)
{
    sauce = TSauce{};
    size_t end = file.size();
    const size_t at = file.size() >= SauceSize ? file.size() - SauceSize : 0;
    const size_t mark = file.rfind("SAUCE", file.size());
    if (file.size() < SauceSize || file.compare(at, 5, "SAUCE") != 0) {
        if (mark != std::string_view::npos && mark + SauceSize > file.size() && mark + 7 <= file.size() &&
            file.compare(mark, 7, "SAUCE00") == 0)
            notes.push_back("The SAUCE record at the end of the file is cut short: it is ignored.");
    } else if (file.compare(at + 5, 2, "00") != 0) {
        notes.push_back("The SAUCE record has an unknown version: it is ignored.");
    } else {
        const std::string_view r = file.substr(at);
        sauce.Present = true;
        sauce.Title = Field(r, 7, 35);
        sauce.Author = Field(r, 42, 20);
        sauce.Group = Field(r, 62, 20);
        sauce.Date = Field(r, 82, 8);
        sauce.DataType = uint8_t(r[94]);
        sauce.FileType = uint8_t(r[95]);
        sauce.Width = Word(r, 96);
        sauce.Height = Word(r, 98);
        sauce.Flags = uint8_t(r[105]);
        sauce.Font = Field(r, 106, 22);
        end = at;
        const size_t count = uint8_t(r[104]);
        const size_t block = 5 + count * CommentSize;
        if (count > 0 && (block > at || file.compare(at - block, 5, "COMNT") != 0)) {
            notes.push_back("The SAUCE record's comments are missing or damaged: they are ignored.");
        } else if (count > 0) {
            end = at - block;
            for (size_t i = 0; i < count; ++i)
                sauce.Comments.push_back(Field(file, end + 5 + i * CommentSize, CommentSize));
        }
    }
    if (end > 0 && file[end - 1] == '\x1a') --end;
    return end;
}

TArtCanvas::TArtCanvas(int width) : FWidth(std::clamp(width, 1, MaxWidth))
{
}

bool TArtCanvas::Reach(int y)
{
    if (y < FRows) return true;
    const size_t cells = (size_t(y) + 1) * size_t(FWidth);
    if (cells > MaxCells) return false;
    if (cells > FChars.capacity()) {
        const size_t room = std::min(MaxCells, std::max(cells, FChars.capacity() * 2));
        FChars.reserve(room);
        FAttrs.reserve(room);
    }
    FChars.resize(cells, ' ');
    FAttrs.resize(cells, Plain);
    FRows = y + 1;
    return true;
}

void TArtCanvas::Put(int x, int y, uint8_t c, TColourAttr a)
{
    FChars[Index(x, y)] = c;
    FAttrs[Index(x, y)] = a;
}

void TArtCanvas::Clear()
{
    FChars.clear();
    FAttrs.clear();
    FRows = 0;
}

TArtFile ReadArt(std::string_view file, int width)
{
    TArtFile art;
    const size_t end = std::min(ReadSauce(file, art.Sauce, art.Notes), file.find('\x1a'));
    // Character art (data type 1) other than ANSI animations and RIP names its width.
    if (art.Sauce.Present && art.Sauce.DataType == 1 && art.Sauce.FileType != 2 && art.Sauce.FileType != 3 &&
        art.Sauce.Width > 0)
        width = art.Sauce.Width;
    if (width > TArtCanvas::MaxWidth) art.Notes.push_back("The picture is wider than the viewer draws: cut.");
    art.Canvas = TArtCanvas(width);
    art.IceColours = art.Sauce.IceColours();
    TArtCanvas &c = art.Canvas;
    const int w = c.Width();
    TPen p;
    std::vector<int> params;
    bool full = false;
    for (size_t i = 0; i < end && !full; ++i) {
        // Past the last column the next byte, whatever it is, starts on a new line: a full
        // line then CR LF leaves an empty line, as the viewers draw it.
        while (p.X >= w) {
            p.X -= w;
            ++p.Y;
        }
        const uint8_t b = uint8_t(file[i]);
        if (b == '\n') {
            p.X = 0;
            ++p.Y;
        } else if (b == '\r') {
        } else if (b == '\t') {
            p.X += 8;
        } else if (b == 0x1b && i + 1 < end && file[i + 1] == '[') {
            // A control sequence: parameters, then its final byte.
            params.assign(1, 0);
            size_t j = i + 2;
            bool priv = false;
            for (; j < end; ++j) {
                const uint8_t d = uint8_t(file[j]);
                if (d >= '0' && d <= '9')
                    params.back() = std::min(params.back() * 10 + (d - '0'), 9999);
                else if (d == ';')
                    params.push_back(0);
                else if (d == '?' || d == '=' || d == '<' || d == '>')
                    priv = true;
                else if (d >= 0x20 && d <= 0x2f) {
                } else
                    break;
                if (params.size() > 64) params.resize(64);
            }
            if (j >= end) {
                art.Notes.push_back("The file ends inside an escape sequence.");
                break;
            }
            i = j;
            if (priv) continue;
            const char f = file[j];
            const int n = Param(params, 0, 1);
            switch (f) {
            case 'H':
            case 'f':
                p.Y = Param(params, 0, 1) - 1;
                p.X = std::min(Param(params, 1, 1) - 1, w - 1);
                break;
            case 'A':
                p.Y = std::max(0, p.Y - n);
                break;
            case 'B':
                p.Y += n;
                break;
            case 'C':
                p.X += n;
                break; // passing the last column wraps, as the viewers do
            case 'D':
                p.X = std::max(0, p.X - n);
                break;
            case 's':
                p.SavedX = p.X;
                p.SavedY = p.Y;
                break;
            case 'u':
                p.X = p.SavedX;
                p.Y = p.SavedY;
                break;
            case 'J':
                if (params[0] == 2) {
                    c.Clear();
                    p.X = p.Y = 0;
                }
                break;
            case 'm':
                Sgr(p, params);
                break;
            default:
                break;
            }
        } else {
            if (!c.Reach(p.Y)) {
                full = true;
                break;
            }
            c.Put(p.X, p.Y, b == 0 ? ' ' : b, Shown(p));
            ++p.X;
        }
    }
    if (full)
        art.Notes.push_back("The picture is too large: only its first " + std::to_string(c.Rows()) +
                            " lines are shown.");
    if (art.Sauce.Present && art.Sauce.DataType == 1 && art.Sauce.FileType == 1 && !art.Sauce.Font.empty() &&
        art.Sauce.Font.rfind("IBM VGA", 0) != 0 && art.Sauce.Font != "Default")
        art.Notes.push_back("It was drawn for the font \"" + art.Sauce.Font + "\"; it is shown in IBM VGA.");
    return art;
}

std::string CellsToAnsi(const uint8_t *chars, const uint8_t *attrs, int width, int rows, bool ice,
                        const std::string &title)
{
    std::string out = "\x1b[0m";
    TColourAttr attr = Plain;
    for (int y = 0; y < rows; ++y) {
        const uint8_t *c = chars + size_t(y) * size_t(width);
        const uint8_t *a = attrs + size_t(y) * size_t(width);
        int n = width;
        while (n > 0 && c[n - 1] == ' ' && (a[n - 1] & 0x70) == 0 && !(ice && (a[n - 1] & caFlash)))
            --n;
        for (int x = 0; x < n; ++x) {
            uint8_t ch = c[x];
            // Bytes the viewers act on are shown as their nearest blanks.
            if (ch == 0 || ch == '\n' || ch == '\r' || ch == '\t' || ch == 0x1a || ch == 0x1b) ch = ' ';
            if (a[x] != attr) {
                out += "\x1b[0";
                if (a[x] & caBright) out += ";1";
                if (a[x] & caFlash) out += ";5";
                out += ";3";
                out += char('0' + (a[x] & 7));
                out += ";4";
                out += char('0' + (a[x] >> 4 & 7));
                out += 'm';
                attr = a[x];
            }
            out += char(ch);
        }
        if (n < width) out += "\r\n"; // a full row goes on to the next by itself
    }
    out += "\x1b[0m\x1a";
    // The SAUCE record: character art, ANSi, width and lines, iCE colours, IBM VGA.
    std::string r(SauceSize, ' ');
    std::memcpy(r.data(), "SAUCE00", 7);
    std::memcpy(r.data() + 7, title.data(), std::min<size_t>(title.size(), 35));
    std::memset(r.data() + 90, 0, 38 - 22);
    const uint32_t size = uint32_t(out.size() - 1);
    for (int k = 0; k < 4; ++k)
        r[size_t(90 + k)] = char(size >> (8 * k) & 0xff);
    r[94] = 1;
    r[95] = 1;
    r[96] = char(width & 0xff);
    r[97] = char(width >> 8 & 0xff);
    r[98] = char(rows & 0xff);
    r[99] = char(rows >> 8 & 0xff);
    r[105] = ice ? 1 : 0;
    std::memset(r.data() + 106, 0, 22);
    std::memcpy(r.data() + 106, "IBM VGA", 7);
    return out + r;
}
