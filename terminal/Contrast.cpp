#include "terminal/Contrast.h"

#include <array>
#include <cmath>
#include <initializer_list>

namespace {

double Linear(uint32_t c)
{
    const double v = double(c & 0xFF) / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double Luminance(uint32_t rgb)
{
    return 0.2126 * Linear(rgb >> 16) + 0.7152 * Linear(rgb >> 8) + 0.0722 * Linear(rgb);
}

// `a` moved a fraction t of the way to `b`, per component.
uint32_t Mix(uint32_t a, uint32_t b, double t)
{
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double ca = double((a >> shift) & 0xFF), cb = double((b >> shift) & 0xFF);
        out |= uint32_t(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return out;
}

// Light on dark for text, dark for backgrounds; hues as the usual palette, the bright
// half lighter than the dark half.
constexpr uint32_t TextColours[16] = {
    0x000000, 0xE85050, 0x30B830, 0xC8A800, 0x7080FF, 0xD050D0, 0x00B0B0, 0xC8C8C8,
    0x989898, 0xFF8080, 0x60FF60, 0xFFFF50, 0xA8B4FF, 0xFF80FF, 0x50FFFF, 0xFFFFFF,
};
constexpr uint32_t BackgroundColours[16] = {
    0x000000, 0x600000, 0x004000, 0x403800, 0x000070, 0x500050, 0x003C3C, 0x383838,
    0x202020, 0x800000, 0x005800, 0x585000, 0x0000A0, 0x700070, 0x005858, 0x505050,
};

} // namespace

double ContrastRatio(uint32_t a, uint32_t b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

uint32_t WithContrast(uint32_t fg, uint32_t bg, double ratio)
{
    if (ContrastRatio(fg, bg) >= ratio) return fg;
    // Toward white and toward black, the least step that reaches the ratio; white or black
    // reach 4.58 against any colour, so one of the two always does.
    uint32_t best = ContrastRatio(0xFFFFFF, bg) >= ContrastRatio(0x000000, bg) ? 0xFFFFFF : 0x000000;
    double bestT = 2;
    for (const uint32_t end : {0xFFFFFFu, 0x000000u}) {
        if (ContrastRatio(end, bg) < ratio) continue;
        double lo = 0, hi = 1;
        for (int i = 0; i < 20; ++i) {
            const double mid = (lo + hi) / 2;
            (ContrastRatio(Mix(fg, end, mid), bg) >= ratio ? hi : lo) = mid;
        }
        if (hi < bestT) {
            bestT = hi;
            best = Mix(fg, end, hi);
        }
    }
    return best;
}

uint32_t HighContrastText(int index)
{
    return TextColours[index & 15];
}

uint32_t HighContrastBackground(int index)
{
    return BackgroundColours[index & 15];
}

uint32_t HighContrastCellText(int fg, int bg)
{
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (int f = 0; f < 16; ++f)
            for (int b = 0; b < 16; ++b)
                t[size_t(f * 16 + b)] = WithContrast(HighContrastText(f), HighContrastBackground(b));
        return t;
    }();
    return table[size_t((fg & 15) * 16 + (bg & 15))];
}
