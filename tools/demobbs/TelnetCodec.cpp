#include "tools/demobbs/TelnetCodec.h"

namespace demobbs {

TTelnetEvent TTelnetDecoder::Feed(uint8_t c)
{
    TTelnetEvent ev;
    switch (FState) {
    case dsData:
        if (c == tn::IAC) {
            FState = dsIac;
        } else {
            ev.Kind = TTelnetEvent::evData;
            ev.Byte = c;
        }
        break;
    case dsIac:
        if (c == tn::IAC) { // doubled IAC: a data byte 255
            FState = dsData;
            ev.Kind = TTelnetEvent::evData;
            ev.Byte = c;
        } else if (c >= tn::WILL && c <= tn::DONT) {
            FVerb = c;
            FState = dsVerb;
        } else if (c == tn::SB) {
            FSubBuf.clear();
            FState = dsSub;
        } else {
            FState = dsData;
            ev.Kind = TTelnetEvent::evCommand;
            ev.Byte = c;
        }
        break;
    case dsVerb:
        FState = dsData;
        ev.Kind = TTelnetEvent::evOption;
        ev.Byte = FVerb;
        ev.Option = c;
        break;
    case dsSub:
        if (c == tn::IAC)
            FState = dsSubIac;
        else if (FSubBuf.size() < MaxSub)
            FSubBuf.push_back(char(c));
        break;
    case dsSubIac:
        if (c == tn::IAC) {
            if (FSubBuf.size() < MaxSub) FSubBuf.push_back(char(c));
            FState = dsSub;
        } else if (c == tn::SE) {
            FState = dsData;
            if (!FSubBuf.empty()) {
                ev.Kind = TTelnetEvent::evSub;
                ev.Option = uint8_t(FSubBuf[0]);
                ev.Sub = std::string_view(FSubBuf).substr(1);
            }
        } else {
            // IAC and a command inside a subnegotiation: the subnegotiation was
            // broken off; the command counts on its own.
            FState = dsIac;
            return Feed(c);
        }
        break;
    }
    return ev;
}

namespace {

const char FgDigits[] = "drgybpcw";
const char BgDigits[] = "DRGYBPCW";

std::string Sgr(char letter)
{
    if (letter == 'a') return "\x1b[0m";
    if (letter == 'f') return "\x1b[1m";
    if (letter == 'e') return "\x1b[5m";
    if (letter == 'i') return "\x1b[7m";
    for (int i = 0; i < 8; ++i) {
        if (FgDigits[i] == letter) return "\x1b[3" + std::to_string(i) + "m";
        if (BgDigits[i] == letter) return "\x1b[4" + std::to_string(i) + "m";
    }
    return {}; // name marks and unknown letters show nothing
}

} // namespace

std::string TelnetText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\x01') {
            if (i + 1 < text.size()) out += Sgr(text[++i]);
        } else if (uint8_t(c) == tn::IAC) {
            out += "\xff\xff";
        } else {
            out += c;
        }
    }
    return out;
}

std::string ClientText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (uint8_t(c) != tn::IAC) out += c;
    return out;
}

std::string Crlf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

} // namespace demobbs
