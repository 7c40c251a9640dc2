#include "terminal/Cp437.h"

#include <algorithm>
#include <array>
#include <utility>

namespace cp437 {
namespace {

// Code points of bytes 0x00..0x1F (PC glyphs), then 0x7F..0xFF.
constexpr char16_t kLow[32] = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
    0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
};

constexpr char16_t kHigh[129] = {
    0x2302,                                                         // 7F
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0, // F8
};

// ASCII stand-ins for 0x80..0xFF.
constexpr char kFallbackHigh[129] = "CueaaaaceeeiiiAA"  // 80
                                    "EaAooouuyOUcLYPf"  // 90
                                    "aiounNao?--%%!<>"  // A0
                                    "###|++++++|+++++"  // B0
                                    "++++-++++++++=++"  // C0
                                    "+++++++++++#####"  // D0
                                    "aBGpSsutPTOd8pen"  // E0
                                    "=+><()/~o..vn2# "; // F0

// ASCII stand-ins for the PC glyphs of 0x00..0x1F.
constexpr char kFallbackLow[33] = " ooooooo*oo**!!*><|!PS_|^v><L-^v";

using Pair = std::pair<char32_t, unsigned char>;

// Reverse table, sorted by code point, for the bytes 0x80..0xFF and 0x7F.
const std::array<Pair, 129> &Reverse()
{
    static const std::array<Pair, 129> table = [] {
        std::array<Pair, 129> t{};
        for (int i = 0; i < 129; ++i)
            t[i] = {kHigh[i], static_cast<unsigned char>(0x7F + i)};
        std::sort(t.begin(), t.end());
        return t;
    }();
    return table;
}

void AppendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

char32_t ToUnicode(unsigned char b)
{
    if (b < 0x20) return kLow[b];
    if (b < 0x7F) return b;
    return kHigh[b - 0x7F];
}

int FromUnicode(char32_t cp)
{
    if (cp < 0x7F) return static_cast<int>(cp);
    if (cp == 0x7F) return 0x7F;
    const auto &t = Reverse();
    auto it = std::lower_bound(t.begin(), t.end(), Pair{cp, 0},
                               [](const Pair &a, const Pair &b) { return a.first < b.first; });
    if (it != t.end() && it->first == cp) return it->second;
    return -1;
}

char AsciiFallback(unsigned char b)
{
    if (b < 0x20) return kFallbackLow[b];
    if (b < 0x7F) return static_cast<char>(b);
    if (b == 0x7F) return '^';
    return kFallbackHigh[b - 0x80];
}

std::string ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, b < 0x20 ? char32_t(b) : ToUnicode(b));
    }
    return out;
}

std::string FromUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        char32_t cp = 0;
        size_t len = 0;
        char32_t min = 0;
        if (b < 0x80) {
            cp = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            len = 2;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            len = 3;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            len = 4;
            min = 0x10000;
        }
        bool ok = len > 0 && i + len <= s.size();
        for (size_t k = 1; ok && k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (c & 0x3F);
        }
        if (ok && len > 1 && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        int mapped = FromUnicode(cp);
        out += mapped < 0 ? '?' : static_cast<char>(mapped);
        i += len;
    }
    return out;
}

} // namespace cp437
