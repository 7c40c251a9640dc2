#pragma once
// The BBS-style stream of the benchmarks: colour changes every few characters, 0x01 colour
// codes, an occasional ESC [K, lines shorter than the screen.

#include "bench/Lcg.h"

#include <cstring>
#include <string>

inline const char *const Words[] = {"the",   "board",  "message", "from", "user",    "posted",
                                    "reply", "forum",  "read",    "new",  "express", "who",
                                    "is",    "online", "Lobby",   "and",  "today",   "sysop",
                                    "quote", "next",   "room",    "mail", "[Enter]", "<More>"};

// The SGR that has the effect of a colour code letter.
inline std::string SgrOfLetter(char l)
{
    static const char Fg[] = "drgybpcw", Bg[] = "DRGYBPCW";
    if (l == 'a') return "\x1b[0m";
    if (l == 'f') return "\x1b[1m";
    if (l == 'e') return "\x1b[5m";
    if (const char *p = std::strchr(Fg, l)) return "\x1b[3" + std::to_string(p - Fg) + "m";
    if (const char *p = std::strchr(Bg, l)) return "\x1b[4" + std::to_string(p - Bg) + "m";
    return "";
}

// Ours carries 0x01 colour codes; the libvterm stream has the same codes as SGR.
struct Streams
{
    std::string Ours, VTerm;
};

inline Streams MakeBbsStream(size_t StreamSize, uint32_t Seed)
{
    static const char Letters[] = "drgybpcwfaDRGBCe";
    static const char *const Sgr[] = {"\x1b[1;32m", "\x1b[0;36m", "\x1b[33m",   "\x1b[1;37;44m",
                                      "\x1b[0m",    "\x1b[31m",   "\x1b[1;35m", "\x1b[0;1;34m"};
    Lcg r(Seed);
    Streams s;
    s.Ours.reserve(StreamSize + 256);
    s.VTerm.reserve(StreamSize + StreamSize / 4);
    while (s.Ours.size() < StreamSize) {
        const size_t Width = 20 + r.Next(58); // visible characters, always less than a line
        size_t Visible = 0, SinceColour = 0;
        while (Visible < Width) {
            // An ANSI colour change about every 8 characters, and a colour code before
            // about one word in four.
            if (SinceColour >= 8) {
                SinceColour = 0;
                const char *e = Sgr[r.Next(8)];
                s.Ours += e;
                s.VTerm += e;
            }
            if (r.Next(4) == 0) {
                const char l = Letters[r.Next(sizeof Letters - 1)];
                s.Ours += '\x01';
                s.Ours += l;
                s.VTerm += SgrOfLetter(l);
            }
            std::string w = Words[r.Next(sizeof Words / sizeof *Words)];
            if (Visible) w.insert(w.begin(), ' ');
            if (Visible + w.size() > Width) w.resize(Width - Visible);
            s.Ours += w;
            s.VTerm += w;
            Visible += w.size();
            SinceColour += w.size();
        }
        if (r.Next(12) == 0) {
            s.Ours += "\x1b[K";
            s.VTerm += "\x1b[K";
        }
        s.Ours += "\r\n";
        s.VTerm += "\r\n";
    }
    return s;
}
