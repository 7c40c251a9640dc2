#include "config/TextEncoding.h"

namespace {

// The code point at the front of s (UTF-8), or -1 when the bytes there are no valid sequence.
long NextUtf8(std::string_view &s)
{
    const auto byte = [&](size_t i) { return (unsigned char)s[i]; };
    const unsigned char b0 = byte(0);
    size_t length;
    long cp, min;
    if (b0 < 0x80) {
        s.remove_prefix(1);
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return -1;
    }
    if (s.size() < length) return -1;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond Unicode are no valid text.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    s.remove_prefix(length);
    return cp;
}

char32_t FoldCase(char32_t c)
{
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c < 0xE0) return c;
    if (c <= 0xFE) return c == 0xF7 ? c : c - 0x20; // Latin-1
    if (c == 0xFF) return 0x178;
    if (c <= 0x17F) { // Latin Extended-A: pairs of capital and small letter
        const bool evenCapital =
            (c >= 0x100 && c <= 0x137 && c != 0x130 && c != 0x131) || (c >= 0x14A && c <= 0x177);
        const bool oddCapital = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (evenCapital) return c & ~char32_t(1);
        if (oddCapital && c % 2 == 0) return c - 1;
        return c;
    }
    if (c == 0x3C2) return 0x3A3; // final sigma
    if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

std::u32string FoldedCodePoints(std::string_view name)
{
    std::u32string out;
    out.reserve(name.size());
    if (IsValidUtf8(name)) {
        while (!name.empty())
            out.push_back(FoldCase(char32_t(NextUtf8(name))));
    } else {
        for (unsigned char c : name)
            out.push_back(FoldCase(c));
    }
    return out;
}

} // namespace

bool IsValidUtf8(std::string_view bytes)
{
    while (!bytes.empty())
        if (NextUtf8(bytes) < 0) return false;
    return true;
}

std::string TextFromStored(std::string_view bytes)
{
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int CompareFoldedNames(std::string_view a, std::string_view b)
{
    // Plain ASCII names are the rule: compared without building strings.
    const auto ascii = [](std::string_view s) {
        for (unsigned char c : s)
            if (c >= 0x80) return false;
        return true;
    };
    if (ascii(a) && ascii(b)) {
        for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
            const int d = int(FoldCase((unsigned char)a[i])) - int(FoldCase((unsigned char)b[i]));
            if (d != 0) return d;
        }
        return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
    }
    const std::u32string fa = FoldedCodePoints(a), fb = FoldedCodePoints(b);
    return fa.compare(fb) < 0 ? -1 : fa == fb ? 0 : 1;
}
