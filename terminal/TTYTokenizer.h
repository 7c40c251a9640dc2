// The one reader of escape sequences that both output interpreters share: where it stands
// between two bytes, and the parameters of the sequence it is inside, kept from one write
// to the next. Classic reads the parameters as text (at most nine characters), ANSI-BBS as
// numbers; what a sequence means is the interpreter's business.
#pragma once

#include "terminal/ColourAttr.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Where the output interpreter stands between two bytes.
enum TEscState : uint8_t {
    esText = 0,            // ordinary text
    esColourCode = 1,      // after 0x01: the letter follows
    esEscape = 2,          // after ESC
    esControlSequence = 3, // inside ESC [: parameters until the final byte
    esCursorAddress = 4,   // inside ESC Y: row and column bytes
    // ANSI-BBS only (terminal/CtermSequences.cpp)
    esMusic = 5,     // inside an ANSI music string, up to its 0x0E
    esSauceMark = 6, // after 0x1A: a SAUCE record or its comments may follow
    esSauce = 7,     // inside a SAUCE record (or its comments): nothing is shown
    esSauceEsc = 8,  // an ESC inside a SAUCE record: '[' ends the record
    esLiteral = 9,   // after NUL in doorway mode: the next byte is a glyph
};

// How Write reads the bytes.
enum TTTYEmulation : uint8_t {
    teClassic = 0, // colour codes, control characters, the VT52 and ANSI subsets of the CLient BBSs
    teAnsiBbs = 1, // what today's Telnet BBSs and their ANSI art expect (code page 437 all the way down)
};

// Marks of a control sequence besides its digits and ';' (none: a sequence to act on).
enum TEscMark : uint8_t {
    emPrivate = 1,      // '?' among the parameter bytes
    emOtherPrivate = 2, // '<', '=', '>' or ':'
    emIntermediate = 4, // a byte 0x20-0x2F
};

// Numeric parameters of an ANSI-BBS control sequence, read as they arrive (art sends
// longer lists than the nine characters of the Classic reading).
struct TAnsiParams
{
    static constexpr int Max = 16;
    uint16_t Value[Max] = {}; // beyond 9999 they stay 9999; an empty one is 0
    uint8_t Count = 0;        // values begun (0: no parameter byte yet)
    uint8_t Private = 0;      // the first of '<', '=', '>', '?' (0: none)
    uint8_t Intermediate = 0; // the last byte 0x20-0x2F (0: none)
};

// What the output interpreter carries from one Write to the next: the attributes, an
// unfinished sequence and the last character acted on. Whoever draws into the terminal
// between a host's writes sets it aside and gives it back (the offline editor).
struct TTTYInterpreterState
{
    TColourAttr Attr = caCleared;
    TColourAttr SavedAttr = 0;
    TEscState EscState = esText;
    char EscParams[10] = {}; // NUL-terminated, at most 9 characters
    int EscParamsLen = 0;
    uint8_t EscMarks = 0; // TEscMark bits of the unfinished control sequence
    TAnsiParams AnsiParams;
    uint8_t LastChar = 0;
    bool WrapPending = false;
    TTTYEmulation Emulation = teClassic;
};

// Bytes that keep a control sequence going: parameter bytes 0x30-0x3F and intermediate
// bytes 0x20-0x2F. Any other byte ends it (only 0x40-0x7E as a command).
inline bool InSequence(uint8_t c)
{
    return unsigned(c - 0x20) <= 0x1F;
}

// The mark that a byte of a sequence other than a digit or ';' gives it.
inline uint8_t MarkOf(uint8_t c)
{
    return c == '?' ? emPrivate : c >= 0x30 ? emOtherPrivate : emIntermediate;
}

inline bool IsParamByte(uint8_t c)
{
    return unsigned(c - '0') <= 9 || c == ';';
}

class TTTYTokenizer
{
public:
    TEscState State() const { return FState; }
    void SetState(TEscState state) { FState = state; }
    // Drops an unfinished sequence: the next bytes start afresh.
    void Cancel()
    {
        FState = esText;
        EndSequence();
    }
    // The sequence was acted on (or dropped): its parameters and marks go.
    void EndSequence()
    {
        FLen = 0;
        FParams[0] = 0;
        FMarks = 0;
        FAnsi = {};
    }
    uint8_t Marks() const { return FMarks; }
    // Parameter value of an escape sequence: empty gives 1, not a number gives 0.
    static int ParamInt(const char *s, int len)
    {
        if (len <= 0) return 1;
        long long v = 0;
        for (int i = 0; i < len; ++i) {
            if (s[i] < '0' || s[i] > '9') return 0;
            v = v * 10 + (s[i] - '0');
            if (v > 1000000000) // far beyond any buffer; keeps arithmetic in range
                v = 1000000000;
        }
        return int(v);
    }

    // --- The Classic reading: digits and ';' as text, beyond the ninth dropped.
    const char *Params() const { return FParams; }
    int ParamsLen() const { return FLen; }
    void SetParams(const uint8_t *p, int len)
    {
        len = std::clamp(len, 0, 9);
        std::memcpy(FParams, p, size_t(len));
        FParams[len] = 0;
        FLen = len;
    }
    // Any byte (the row and column of ESC Y).
    void AppendParam(uint8_t c)
    {
        if (FLen >= 9) return;
        FParams[FLen++] = char(c);
        FParams[FLen] = 0;
    }
    // Inside ESC [ from p[i]: digits and ';' collect, the other bytes of a sequence mark it.
    // Returns the index of the byte that ends it, or `count` when the rest comes later.
    size_t ReadClassic(const uint8_t *p, size_t i, size_t count)
    {
        int len = FLen; // a local: stores through char pointers would force reloads
        uint8_t marks = FMarks;
        for (; i < count && InSequence(p[i]); ++i) {
            if (IsParamByte(p[i])) {
                if (len < 9) FParams[len++] = char(p[i]);
            } else {
                marks |= MarkOf(p[i]);
            }
        }
        FParams[len] = 0;
        FLen = len;
        FMarks = marks;
        return i;
    }

    // --- The ANSI-BBS reading: numbers as they arrive.
    // Inside ESC [ from p[i]; returns as ReadClassic does.
    size_t ReadAnsi(const uint8_t *p, size_t i, size_t count)
    {
        TAnsiParams &a = FAnsi;
        unsigned n = a.Count; // values begun; Max + 1 once they overflowed
        uint8_t marks = FMarks;
        for (; i < count; ++i) {
            const uint8_t c = p[i];
            const unsigned d = unsigned(c) - '0';
            if (d <= 9) {
                if (n == 0) n = 1;
                if (n <= TAnsiParams::Max) {
                    const unsigned v = a.Value[n - 1] * 10u + d;
                    a.Value[n - 1] = uint16_t(std::min(v, 9999u));
                }
            } else if (c == ';') {
                n = std::min<unsigned>(std::max(n, 1u) + 1, TAnsiParams::Max + 1);
            } else if (InSequence(c)) {
                marks |= MarkOf(c);
                if (c < 0x30)
                    a.Intermediate = c;
                else if (c >= '<' && !a.Private)
                    a.Private = c;
            } else {
                break;
            }
        }
        a.Count = uint8_t(n);
        FMarks = marks;
        return i;
    }
    // Values read (at most TAnsiParams::Max), and value k or `dflt` when it is 0 or missing.
    int Count() const { return std::min<int>(FAnsi.Count, TAnsiParams::Max); }
    int Value(int k) const { return FAnsi.Value[k]; }
    // The sequence's first private byte and its last intermediate one (0: none).
    uint8_t Private() const { return FAnsi.Private; }
    uint8_t Intermediate() const { return FAnsi.Intermediate; }
    int Param(int k, int dflt) const
    {
        const int v = k < Count() ? FAnsi.Value[k] : 0;
        return v ? v : dflt;
    }

    // --- Set aside and given back with the rest of the interpreter's state.
    void Save(TTTYInterpreterState &s) const
    {
        s.EscState = FState;
        std::memcpy(s.EscParams, FParams, sizeof FParams);
        s.EscParamsLen = FLen;
        s.EscMarks = FMarks;
        s.AnsiParams = FAnsi;
    }
    void Restore(const TTTYInterpreterState &s)
    {
        static_assert(sizeof s.EscParams == sizeof FParams);
        FState = s.EscState <= esLiteral ? s.EscState : esText;
        FLen = std::clamp(s.EscParamsLen, 0, 9);
        std::memcpy(FParams, s.EscParams, size_t(FLen));
        FParams[FLen] = 0;
        FMarks = s.EscMarks;
        FAnsi = s.AnsiParams;
        FAnsi.Count = std::min<uint8_t>(FAnsi.Count, TAnsiParams::Max);
    }

private:
    TEscState FState = esText;
    char FParams[10] = {}; // NUL-terminated, at most 9 characters
    int FLen = 0;
    uint8_t FMarks = 0;
    TAnsiParams FAnsi;
};
