#include "terminal/ColourAttr.h"

namespace {

// For every letter: the bits it keeps and the bits it sets; 'i' is marked by a zero keep mask
// with a set mask of 0xFF (no letter sets all bits otherwise).
struct TCodeEffect
{
    uint8_t Keep = 0xFF;
    uint8_t Set = 0x00;
};

struct TCodeTable
{
    TCodeEffect Effect[256];
    constexpr TCodeTable()
    {
        Effect[uint8_t('a')] = {0x00, caReset};
        Effect[uint8_t('f')] = {0xFF, caBright};
        Effect[uint8_t('e')] = {0xFF, caFlash};
        Effect[uint8_t('i')] = {0x00, 0xFF};
        for (int i = 0; i < 8; ++i) {
            Effect[uint8_t(ForegroundLetters[i])] = {uint8_t(~0x07), uint8_t(i)};
            Effect[uint8_t(BackgroundLetters[i])] = {uint8_t(~0x70), uint8_t(i << 4)};
        }
    }
};

constexpr TCodeTable CodeTable;

} // namespace

TColourAttr ApplyColourCode(TColourAttr attr, uint8_t letter)
{
    const TCodeEffect e = CodeTable.Effect[letter];
    if (e.Keep == 0x00 && e.Set == 0xFF) // 'i': exchange the colours, keep bright and flash
        return TColourAttr((attr & 0x88) | ((attr & 0x07) << 4) | ((attr & 0x70) >> 4));
    return TColourAttr((attr & e.Keep) | e.Set);
}

int ColourCodesBetween(TColourAttr from, TColourAttr to, char *buf)
{
    int n = 0;
    auto emit = [&](char letter) {
        buf[n++] = ColourCodeByte;
        buf[n++] = letter;
    };
    if (from != to) {
        TColourAttr cur = from;
        if ((cur ^ to) & caBright) {
            if (cur & caBright) {
                emit('a');
                cur = caReset;
            } else {
                emit('f');
            }
        }
        if ((cur ^ to) & caFlash) {
            if (cur & caFlash) {
                emit('a');
                if (to & caBright) {
                    emit('f');
                    cur = caCleared;
                } else {
                    cur = caReset;
                }
            } else {
                emit('e');
            }
        }
        if ((cur ^ to) & 0x07) emit(ForegroundLetters[to & 0x07]);
        if ((cur ^ to) & 0x70) emit(BackgroundLetters[(to >> 4) & 0x07]);
    }
    buf[n] = 0;
    return n;
}

std::string ColourCodesBetween(TColourAttr from, TColourAttr to)
{
    char buf[MaxColourCodesLength + 1];
    int n = ColourCodesBetween(from, to, buf);
    return std::string(buf, size_t(n));
}

std::string StripColourCodes(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ColourCodeByte)
            ++i; // skip the letter too
        else
            out += text[i];
    }
    return out;
}

size_t StripColourCodes(const char *src, char *dest)
{
    size_t n = 0;
    while (*src) {
        if (*src == ColourCodeByte) {
            ++src;
            if (*src) // a code cut off by the terminator keeps the terminator
                ++src;
        } else {
            dest[n++] = *src++;
        }
    }
    dest[n] = 0;
    return n;
}

namespace {
constexpr uint32_t TerminalColours[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                          0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                          0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
}

uint32_t TerminalPalette(int index)
{
    return index >= 0 && index < 16 ? TerminalColours[index] : 0;
}

uint32_t EditPalette(int index)
{
    if (index == 7) return 0x808080;
    if (index == 8) return 0xC0C0C0;
    return TerminalPalette(index);
}
