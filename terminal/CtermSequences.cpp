// What today's BBS software (Synchronet, Mystic, ENiGMA) sends beyond ANSI.SYS, in the
// dialect of SyncTERM's CTerm: font selection, doorway mode, the mouse and bracketed
// paste, ANSI music (consumed, never played), the attributes query, and SAUCE records
// that leak into the stream after an art file.
#include "terminal/AnsiBbsInterpreter.h"
#include "terminal/CellOps.h"
#include "terminal/ColorTTY.h"
#include "terminal/PsfFont.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr uint8_t ESC = 0x1B;
constexpr char SauceMark[] = "SAUCE00"; // a SAUCE record: 128 bytes from its mark
constexpr char CommentMark[] = "COMNT"; // comment lines of 64 bytes before the record
constexpr size_t MarkLength(const char *mark)
{
    return mark[0] == 'S' ? sizeof SauceMark - 1 : sizeof CommentMark - 1;
}
constexpr uint16_t SauceSize = 128;
constexpr uint16_t MostComments = 255 * 64;

// The letters an ANSI music string is made of.
bool MusicByte(uint8_t c)
{
    static constexpr std::string_view Allowed = "aAbBcCdDeEfFgGlLmMnNoOpPsStT0123456789.-+#<> ";
    return c != 0 && Allowed.find(char(c)) != std::string_view::npos;
}

} // namespace

void TAnsiBbsInterpreter::CtermResetModes()
{
    const bool lf = FCterm.LfExpand, sauce = FCterm.HideSauce;
    if (FCterm.Font != 0) FTty.InvalidateAll();
    FCterm = {};
    FCterm.LfExpand = lf;
    FCterm.HideSauce = sauce;
}

// A sequence with a private or an intermediate byte (those of ESC[? h and l aside).
void TAnsiBbsInterpreter::CtermCsi(uint8_t final)
{
    const uint8_t priv = FTok.Private(), inter = FTok.Intermediate();
    const bool many = FTok.Count() > 1;
    if (priv == '<' && final == 'c' && !inter && AnsiParam(0, 0) == 0) {
        // what we have of CTerm's list: bright backgrounds, font selection, the mouse
        static const char answer[] = "\x1b[<0;2;5;7c";
        if (FAnswer) FAnswer(answer, sizeof answer - 1);
    } else if (priv == '=' && !inter && (final == 'h' || final == 'l') && !many) {
        if (AnsiParam(0, 0) == 255) FCterm.Doorway = final == 'h';
    } else if (priv == '=' && !inter && final == 'M' && !many) {
        FCterm.MusicFrom = uint8_t(std::min(AnsiParam(0, 0), 2));
    } else if (!priv && inter == ' ' && final == 'D') {
        // font selection: slot 0 is the normal text (slots 1-3 need alternate character
        // sets); a font we do not have leaves the current one
        const int font = AnsiParam(1, 0);
        if (AnsiParam(0, 0) == 0 && font != FCterm.Font && (font == 0 || CtermFont(font))) {
            FCterm.Font = uint16_t(font);
            FTty.InvalidateAll();
        }
    }
}

bool TAnsiBbsInterpreter::CtermMode(int value, bool set)
{
    switch (value) {
    case 9:
    case 1000:
    case 1002:
    case 1003: {
        const TMouseTracking mode = value == 9      ? TMouseTracking::Press
                                    : value == 1000 ? TMouseTracking::PressRelease
                                    : value == 1002 ? TMouseTracking::Drag
                                                    : TMouseTracking::Any;
        if (set)
            FCterm.Mouse = mode;
        else if (FCterm.Mouse == mode)
            FCterm.Mouse = TMouseTracking::Off;
        return true;
    }
    case 1006:
        FCterm.MouseSgr = set;
        return true;
    case 2004:
        FCterm.BracketedPaste = set;
        return true;
    default:
        return false;
    }
}

// ESC[| always begins a music string; ESC[N and a bare ESC[M only as the host chose.
bool TAnsiBbsInterpreter::CtermMusicStarts(uint8_t final)
{
    const bool music = final == '|' || (final == 'N' && FCterm.MusicFrom >= 1) ||
                       (final == 'M' && FCterm.MusicFrom >= 2 && FTok.Count() == 0);
    if (music) FTok.SetState(esMusic);
    return music;
}

// The string runs to its 0x0E; any other byte ends it and is read as usual.
size_t TAnsiBbsInterpreter::CtermMusic(const uint8_t *p, size_t i, size_t count)
{
    for (; i < count; ++i) {
        if (p[i] == 0x0E) {
            FTok.SetState(esText);
            return i + 1;
        }
        if (!MusicByte(p[i])) {
            FTok.SetState(esText);
            return i;
        }
    }
    return i;
}

// After 0x1A: a record's mark (or its comments') hides them; anything else shows the 0x1A
// and what matched as glyphs, and goes on as text.
size_t TAnsiBbsInterpreter::CtermSauceMark(const uint8_t *p, size_t i, size_t count)
{
    TCtermModes &m = FCterm;
    for (; i < count; ++i) {
        const uint8_t c = p[i];
        if (m.SauceMatched == 0) m.SauceComments = c == 'C';
        const char *mark = m.SauceComments ? CommentMark : SauceMark;
        if (c != uint8_t(mark[m.SauceMatched])) {
            AnsiGlyph(0x1A);
            for (int k = 0; k < m.SauceMatched; ++k)
                AnsiGlyph(uint8_t(mark[k]));
            m.SauceMatched = 0;
            FTok.SetState(esText);
            return i;
        }
        if (++m.SauceMatched == MarkLength(mark)) {
            m.SauceLeft = uint16_t(m.SauceComments ? MostComments : SauceSize - m.SauceMatched);
            m.SauceMatched = 0;
            FTok.SetState(esSauce);
            return i + 1;
        }
    }
    return i;
}

// Hides the rest of the record; comment lines up to the record's mark, then the record. A
// control sequence ends it early: some boards send records cut short.
size_t TAnsiBbsInterpreter::CtermSauce(const uint8_t *p, size_t i, size_t count)
{
    TCtermModes &m = FCterm;
    for (; i < count && m.SauceLeft > 0; ++i) {
        const uint8_t c = p[i];
        if (c == ESC) {
            FTok.SetState(esSauceEsc);
            return i + 1;
        }
        if (m.SauceComments) {
            m.SauceMatched = uint8_t(c == uint8_t(SauceMark[m.SauceMatched]) ? m.SauceMatched + 1 : c == 'S');
            if (m.SauceMatched == MarkLength(SauceMark)) {
                m.SauceComments = false;
                m.SauceMatched = 0;
                m.SauceLeft = SauceSize - uint16_t(MarkLength(SauceMark)) + 1;
            }
        }
        --m.SauceLeft;
    }
    if (m.SauceLeft == 0) FTok.SetState(esText);
    return i;
}

size_t TAnsiBbsInterpreter::CtermState(const uint8_t *p, size_t i, size_t count)
{
    switch (FTok.State()) {
    case esMusic:
        return CtermMusic(p, i, count);
    case esSauceMark:
        return CtermSauceMark(p, i, count);
    case esSauce:
        return CtermSauce(p, i, count);
    case esSauceEsc:
        if (p[i] == '[') {
            FCterm.SauceLeft = 0;
            FTok.EndSequence();
            FTok.SetState(esControlSequence);
            return i + 1;
        }
        --FCterm.SauceLeft; // the ESC was the record's
        FTok.SetState(FCterm.SauceLeft > 0 ? esSauce : esText);
        return i;
    case esLiteral:
        FTok.SetState(esText);
        AnsiGlyph(p[i] ? p[i] : ' ');
        return i + 1;
    default:
        FTok.SetState(esText);
        return i;
    }
}

bool TAnsiBbsInterpreter::ReportMouse(TMouseAction action, int button, int col, int screenRow,
                                      TShiftState mods)
{
    const TMouseTracking mode = FCterm.Mouse;
    if (FTty.Emulation() != teAnsiBbs || mode == TMouseTracking::Off || !FAnswer) return false;
    if (col < 0 || col >= FTty.Cols || screenRow < 0 || screenRow >= AnsiScreenRows()) return false;
    const bool x10 = mode == TMouseTracking::Press;
    int code = std::clamp(button, 0, 3);
    switch (action) {
    case TMouseAction::Press:
        if (code == 3) return false;
        break;
    case TMouseAction::Release:
        if (x10) return false;
        if (!FCterm.MouseSgr) code = 3;
        break;
    case TMouseAction::Move:
        if (mode != TMouseTracking::Any && (mode != TMouseTracking::Drag || code == 3)) return false;
        code += 32;
        break;
    case TMouseAction::WheelUp:
    case TMouseAction::WheelDown:
        if (x10) return false;
        code = action == TMouseAction::WheelUp ? 64 : 65;
        break;
    }
    if (!x10) code += (mods & ssShift ? 4 : 0) + (mods & ssAlt ? 8 : 0) + (mods & ssCtrl ? 16 : 0);
    char s[32];
    int len;
    if (FCterm.MouseSgr) {
        len = std::snprintf(s, sizeof s, "\x1b[<%d;%d;%d%c", code, col + 1, screenRow + 1,
                            action == TMouseAction::Release ? 'm' : 'M');
    } else {
        if (col + 33 > 255 || screenRow + 33 > 255) return false; // beyond what a byte holds
        len =
            std::snprintf(s, sizeof s, "\x1b[M%c%c%c", char(32 + code), char(33 + col), char(33 + screenRow));
    }
    FAnswer(s, size_t(len));
    return true;
}
