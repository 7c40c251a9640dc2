#include "terminal/PsfFont.h"

#include "terminal/Cp437.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <map>

namespace {

constexpr size_t MaxFontBytes = 4u << 20; // far beyond any console font

// The bytes of a gzip stream, or an empty text when they are not one (or are too many).
std::string Gunzip(std::string_view in, std::string &error)
{
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
        error = "cannot decompress";
        return {};
    }
    std::string out;
    char buf[16384];
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    z.avail_in = uInt(in.size());
    int rc = Z_OK;
    while (rc == Z_OK && out.size() <= MaxFontBytes) {
        z.next_out = reinterpret_cast<Bytef *>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
        if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) rc = Z_DATA_ERROR; // cut short
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END || out.size() > MaxFontBytes) {
        error = "damaged compressed data";
        return {};
    }
    return out;
}

uint32_t Le32(std::string_view d, size_t at)
{
    return uint32_t(uint8_t(d[at])) | uint32_t(uint8_t(d[at + 1])) << 8 | uint32_t(uint8_t(d[at + 2])) << 16 |
           uint32_t(uint8_t(d[at + 3])) << 24;
}

// One code point from UTF-8 at d[i] (advancing i), or -1 for a malformed one.
long NextUtf8(std::string_view d, size_t &i)
{
    const uint8_t b = uint8_t(d[i++]);
    const int more = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    if (more < 0) return -1;
    long cp = more == 0 ? b : b & (0x3F >> more);
    for (int k = 0; k < more; ++k) {
        if (i >= d.size() || (uint8_t(d[i]) & 0xC0) != 0x80) return -1;
        cp = cp << 6 | (uint8_t(d[i++]) & 0x3F);
    }
    return cp;
}

} // namespace

std::string TCp437BitmapFont::Parse(std::string_view data, bool ownOrder)
{
    std::string error, unzipped;
    if (data.size() >= 2 && uint8_t(data[0]) == 0x1F && uint8_t(data[1]) == 0x8B) {
        unzipped = Gunzip(data, error);
        if (!error.empty()) return error;
        data = unzipped;
    }
    size_t glyphs = 0, glyphBytes = 0, offset = 0;
    int width = 8, height = 0;
    bool psf2 = false, table = false;
    if (data.size() >= 4 && uint8_t(data[0]) == 0x36 && uint8_t(data[1]) == 0x04) {
        const uint8_t mode = uint8_t(data[2]);
        glyphs = mode & 1 ? 512 : 256;
        height = uint8_t(data[3]);
        glyphBytes = size_t(height);
        offset = 4;
        table = (mode & 6) != 0;
    } else if (data.size() >= 32 && Le32(data, 0) == 0x864AB572) {
        psf2 = true;
        offset = Le32(data, 8);
        table = Le32(data, 12) & 1;
        glyphs = Le32(data, 16);
        glyphBytes = Le32(data, 20);
        height = int(std::min<uint32_t>(Le32(data, 24), 1024));
        width = int(std::min<uint32_t>(Le32(data, 28), 1024));
    } else {
        return "not a console font";
    }
    const int rowBytes = (width + 7) / 8;
    if (width < 1 || width > 64 || height < 1 || height > 128 || glyphs == 0 || glyphs > 65536 ||
        glyphBytes != size_t(height) * size_t(rowBytes) || offset < (psf2 ? 32u : 4u) ||
        offset > data.size() || (data.size() - offset) / glyphBytes < glyphs)
        return "damaged console font";

    // Code point -> glyph, from the table that follows the glyphs.
    std::map<long, size_t> index;
    if (table) {
        const std::string_view t = data.substr(offset + glyphs * glyphBytes);
        size_t g = 0, i = 0;
        bool sequence = false; // after the sequence mark, up to the glyph's end: combined forms
        while (g < glyphs && i < t.size()) {
            long cp;
            if (psf2) {
                if (uint8_t(t[i]) == 0xFF || uint8_t(t[i]) == 0xFE) {
                    cp = uint8_t(t[i]) == 0xFF ? 0xFFFF : 0xFFFE;
                    ++i;
                } else {
                    cp = NextUtf8(t, i);
                }
            } else {
                if (i + 1 >= t.size()) break;
                cp = long(uint8_t(t[i])) | long(uint8_t(t[i + 1])) << 8;
                i += 2;
            }
            if (cp == 0xFFFF) {
                ++g;
                sequence = false;
            } else if (cp == 0xFFFE) {
                sequence = true;
            } else if (cp >= 0 && !sequence) {
                index.emplace(cp, g);
            }
        }
    }
    auto glyphOf = [&](uint8_t b) -> long {
        if (!table || ownOrder) return b < glyphs ? long(b) : -1;
        for (char32_t cp : {cp437::ToUnicode(b), char32_t(uint8_t(cp437::AsciiFallback(b)))}) {
            const auto it = index.find(long(cp));
            if (it != index.end()) return long(it->second);
        }
        return -1;
    };
    std::vector<uint8_t> bits(256 * glyphBytes, 0);
    for (int b = 0; b < 256; ++b) {
        const long g = b == 0 || b == ' ' ? -1 : glyphOf(uint8_t(b));
        if (g < 0) continue; // blank
        const char *from = data.data() + offset + size_t(g) * glyphBytes;
        std::copy(from, from + glyphBytes, bits.begin() + long(size_t(b) * glyphBytes));
    }
    FWidth = width;
    FHeight = height;
    FRowBytes = rowBytes;
    FBits = std::move(bits);
    return {};
}

std::string TCp437BitmapFont::Load(const std::string &path, bool ownOrder)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot open " + path;
    std::string data;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        data.append(buf, size_t(in.gcount()));
        if (data.size() > MaxFontBytes) return path + ": too big for a console font";
    }
    const std::string error = Parse(data, ownOrder);
    return error.empty() ? error : path + ": " + error;
}

const std::vector<std::string> &VgaFontPaths()
{
    static const std::vector<std::string> paths = {
        "/usr/share/consolefonts/default8x16.psf.gz",
        "/usr/share/kbd/consolefonts/default8x16.psfu.gz",
        "/usr/share/consolefonts/Uni2-VGA16.psf.gz",
        "/usr/share/consolefonts/Lat15-VGA16.psf.gz",
    };
    return paths;
}

std::shared_ptr<const TCp437BitmapFont> VgaFont()
{
    static const std::shared_ptr<const TCp437BitmapFont> font = [] {
        auto f = std::make_shared<TCp437BitmapFont>();
        for (const std::string &path : VgaFontPaths())
            if (f->Load(path).empty()) return std::shared_ptr<const TCp437BitmapFont>(f);
        return std::shared_ptr<const TCp437BitmapFont>();
    }();
    return font;
}

std::shared_ptr<const TCp437BitmapFont> CtermFont(int number)
{
    // CTerm's numbers with the console-data fonts of the same code page, each in that
    // code page's order (1251, haik8, 1131 and the home computers' fonts have none).
    static const std::map<int, const char *> files = {
        {2, "koi8-8x16"},   {3, "iso02.f16"},   {4, "iso04.f16"},   {5, "cp866-8x16"},  {6, "iso09.f16"},
        {8, "iso08.f16"},   {9, "koi8u_8x16"},  {10, "lat9w-16"},   {11, "iso04.f16"},  {12, "koi8b-8x16"},
        {13, "iso04.f16"},  {14, "iso05.f16"},  {16, "lat9w-16"},   {17, "cp850-8x16"}, {18, "cp850-8x16"},
        {19, "cp865-8x16"}, {21, "iso07.f16"},  {22, "koi8c-8x16"}, {23, "iso04.f16"},  {24, "iso01.f16"},
        {25, "cp866-8x16"}, {27, "cp866-8x16"}, {28, "cp865-8x16"}, {30, "iso01.f16"},
    };
    if (number == 0 || number == 26) return VgaFont(); // 26: its thin form
    const auto it = files.find(number);
    if (it == files.end()) return nullptr;
    static std::map<std::string, std::shared_ptr<const TCp437BitmapFont>> loaded;
    const auto [at, first] = loaded.try_emplace(it->second);
    if (first) {
        auto f = std::make_shared<TCp437BitmapFont>();
        if (f->Load(std::string("/usr/share/consolefonts/") + it->second + ".psf.gz", true).empty())
            at->second = std::move(f);
    }
    return at->second;
}
