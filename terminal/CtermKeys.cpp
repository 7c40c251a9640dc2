#include "terminal/CtermKeys.h"

#include <iterator>

namespace {

struct TKeyCodes
{
    uint16_t Key;
    const char *Plain; // its sequence, or nullptr
    uint8_t Scan;      // the PC's scan code in doorway mode
    uint8_t CtrlScan;  // with Control held (0: none)
};

constexpr TKeyCodes EditingKeys[] = {
    {VK_UP, "\x1b[A", 0x48, 0x8D},    {VK_DOWN, "\x1b[B", 0x50, 0x91}, {VK_RIGHT, "\x1b[C", 0x4D, 0x74},
    {VK_LEFT, "\x1b[D", 0x4B, 0x73},  {VK_HOME, "\x1b[H", 0x47, 0x77}, {VK_END, "\x1b[K", 0x4F, 0x75},
    {VK_PRIOR, "\x1b[V", 0x49, 0x84}, {VK_NEXT, "\x1b[U", 0x51, 0x76}, {VK_INSERT, "\x1b[@", 0x52, 0x92},
    {VK_DELETE, "\x7f", 0x53, 0x93},
};

// ESC[n~ numbers of F1..F12 (VT220's, with its gaps).
constexpr int FunctionNumbers[] = {11, 12, 13, 14, 15, 17, 18, 19, 20, 21, 23, 24};

std::string Scan(uint8_t code)
{
    return code ? std::string(1, '\0') + char(code) : std::string();
}

} // namespace

std::string AnsiBbsKeyBytes(uint16_t key, TShiftState shift, bool doorway)
{
    const bool ctrl = shift & ssCtrl, alt = shift & ssAlt, shifted = shift & ssShift;
    if (key >= VK_F1 && key <= VK_F12) {
        const int n = key - VK_F1;
        if (doorway) { // F11 and F12 came later, with codes of their own
            if (n < 10) return Scan(uint8_t((alt ? 0x68 : ctrl ? 0x5E : shifted ? 0x54 : 0x3B) + n));
            return Scan(uint8_t((alt ? 0x8B : ctrl ? 0x89 : shifted ? 0x87 : 0x85) + n - 10));
        }
        const int mods = (shifted ? 1 : 0) + (alt ? 2 : 0) + (ctrl ? 4 : 0);
        std::string s = "\x1b[" + std::to_string(FunctionNumbers[n]);
        if (mods) s += ";" + std::to_string(1 + mods);
        return s + "~";
    }
    for (const TKeyCodes &k : EditingKeys) {
        if (k.Key != key) continue;
        if (doorway && !alt && !shifted) return Scan(ctrl ? k.CtrlScan : k.Scan);
        // modified keys stay the program's (Control with the arrows and Home/End scrolls)
        return shift ? std::string() : std::string(k.Plain);
    }
    return {};
}
