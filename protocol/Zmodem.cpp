#include "protocol/Zmodem.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <vector>

using namespace zmodem;

namespace {

constexpr uint8_t ZCRCE = 'h', ZCRCW = 'k', ZRUB0 = 'l', ZRUB1 = 'm';
constexpr int FrameEnd = 0x100; // Decode: ZDLE and a frame end, or'ed with it
constexpr int Cancel = 0x200;   // ZDLE ZDLE: the other side cancels
constexpr int Bad = 0x300;
constexpr size_t MaxHold = 8192;

constexpr std::array<uint16_t, 256> Crc16Table = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i << 8);
        for (int k = 0; k < 8; ++k)
            c = static_cast<uint16_t>(c & 0x8000 ? (c << 1) ^ 0x1021 : c << 1);
        t[i] = c;
    }
    return t;
}();

constexpr std::array<uint32_t, 256> Crc32Table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}();

int HexValue(uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsXonXoff(uint8_t c)
{
    return (c & 0x7F) == 0x11 || (c & 0x7F) == 0x13;
}

// ZDLE escaping, generous: every control byte, DEL and their high-bit twins.
void Escape(uint8_t c, std::string &out)
{
    if (c == 0x7F || c == 0xFF) {
        out += char(ZDLE);
        out += char(c == 0x7F ? ZRUB0 : ZRUB1);
    } else if ((c & 0x60) == 0) {
        out += char(ZDLE);
        out += char(c ^ 0x40);
    } else {
        out += char(c);
    }
}

} // namespace

uint16_t zmodem::Crc16(uint16_t crc, const uint8_t *buf, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        crc = static_cast<uint16_t>(Crc16Table[((crc >> 8) ^ buf[i]) & 0xFF] ^ (crc << 8));
    return crc;
}

uint32_t zmodem::Crc32(uint32_t crc, const uint8_t *buf, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        crc = Crc32Table[(crc ^ buf[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

// --- The spotter.

void TZmodemSpotter::Scan(const uint8_t *text, size_t count, const TZmodemSpotterSink &sink)
{
    size_t shown = 0; // text before this was shown (or hidden)
    size_t start = 0; // where the header being matched began in this text
    for (size_t i = 0; i < count; ++i) {
        const uint8_t c = text[i];
        if (FSwallow > 0) {
            const bool tail = HexValue(c) >= 0 || c == '\r' || c == '\n' || c == 0x8A || c == 0x11;
            if (tail) {
                if (i > shown) sink.Show(text + shown, i - shown);
                shown = i + 1;
                --FSwallow;
                continue;
            }
            FSwallow = 0;
        }
        if (FState == stNone) {
            const void *pad = std::memchr(text + i, ZPAD, count - i);
            if (!pad) break;
            i = static_cast<size_t>(static_cast<const uint8_t *>(pad) - text);
            FState = stPad;
            start = i;
            continue;
        }
        TState next = stNone;
        switch (FState) {
        case stPad:
            next = c == ZPAD ? stPad : c == ZDLE ? stDle : stNone;
            break;
        case stDle:
            next = c == ZHEX ? stHex : stNone;
            break;
        case stHex:
            next = c == '0' ? stType : stNone;
            break;
        case stType:
            if (c == '0' || c == '1') {
                if (start > shown) sink.Show(text + shown, start - shown);
                FHeld.clear();
                FState = stNone;
                if (c == '0') {
                    sink.SendOffered(text + i + 1, count - i - 1);
                    return;
                }
                sink.ReceiveReady();
                FSwallow = 12 + 3; // the rest of the hex digits, CR, LF, XON
                shown = i + 1;
                continue;
            }
            break;
        case stNone:
            break;
        }
        if (next == stNone) {
            // Not a header: what was held is text after all, and c may begin a new one.
            if (!FHeld.empty()) {
                sink.Show(reinterpret_cast<const uint8_t *>(FHeld.data()), FHeld.size());
                FHeld.clear();
            }
            FState = stNone;
            --i;
            continue;
        }
        FState = next;
    }
    if (FState >= stDle) { // the CAN arrived: keep the partial header back
        const size_t from = std::max(start, shown);
        if (from > shown) sink.Show(text + shown, from - shown);
        FHeld.append(reinterpret_cast<const char *>(text + from), count - from);
        return;
    }
    if (count > shown) sink.Show(text + shown, count - shown);
}

void TZmodemSpotter::Flush(const TZmodemSpotterSink &sink)
{
    if (!FHeld.empty()) sink.Show(reinterpret_cast<const uint8_t *>(FHeld.data()), FHeld.size());
    FHeld.clear();
    FState = stNone;
    FSwallow = 0;
}

// --- The scanner.

TZmodemScanner::TZmodemScanner(TEmit pass, TRename rename) : TSenderStream(std::move(pass), std::move(rename))
{
}

size_t TZmodemScanner::Feed(const uint8_t *buf, size_t count)
{
    if (FOver) return 0;
    const uint8_t *end = buf + count;
    FRun = buf;
    for (const uint8_t *p = buf; p < end; ++p) {
        if (FState == stData && !FEscape && !FOfferData) {
            // File data: only a ZDLE matters, and one before an escaped byte is stepped over.
            for (;;) {
                const void *z = std::memchr(p, ZDLE, static_cast<size_t>(end - p));
                const uint8_t *stop = z ? static_cast<const uint8_t *>(z) : end;
                if (FCountData) FPosition += stop - p;
                p = stop;
                if (end - p < 2) break;
                const uint8_t e = p[1];
                if ((e & 0x60) != 0x40 && e != ZRUB0 && e != ZRUB1) break; // a frame end, or a cancel
                if (FCountData) ++FPosition;
                p += 2;
            }
            if (p == end) break;
        }
        FCur = p;
        if (FHolding) FHold.push_back(static_cast<char>(*p));
        Step(*p);
        if (FOver) end = FBoardsText ? p : p + 1; // what follows the sender's "OO" is not the transfer's
    }
    if (!FHolding) Pass(FRun, static_cast<size_t>(end - FRun));
    FRun = FCur = nullptr;
    return static_cast<size_t>(end - buf);
}

bool TZmodemScanner::Decode(uint8_t c, int &out)
{
    if (FEscape) {
        FEscape = false;
        if (c == ZDLE)
            out = Cancel;
        else if (c >= ZCRCE && c <= ZCRCW)
            out = FrameEnd | c;
        else if (c == ZRUB0 || c == ZRUB1)
            out = c == ZRUB0 ? 0x7F : 0xFF;
        else if ((c & 0x60) == 0x40)
            out = c ^ 0x40;
        else
            out = Bad;
        return true;
    }
    if (c == ZDLE) {
        FEscape = true;
        return false;
    }
    if (IsXonXoff(c)) return false; // flow control, not data
    out = c;
    return true;
}

void TZmodemScanner::StartHold()
{
    Pass(FRun, static_cast<size_t>(FCur - FRun));
    FHolding = true;
    FHold.assign(1, static_cast<char>(*FCur));
}

void TZmodemScanner::Release()
{
    if (!FHolding) return;
    Pass(reinterpret_cast<const uint8_t *>(FHold.data()), FHold.size());
    FHold.clear();
    FHolding = false;
    FRun = FCur + 1;
}

void TZmodemScanner::Resync(uint8_t c)
{
    FState = stHunt;
    FEscape = false;
    FOfferData = false;
    if (FHolding) { // c itself is looked at again
        Pass(reinterpret_cast<const uint8_t *>(FHold.data()), FHold.size() - 1);
        FHold.clear();
        FHolding = false;
        FRun = FCur;
    }
    Step(c);
}

void TZmodemScanner::Step(uint8_t c)
{
    int v = 0;
    switch (FState) {
    case stHunt:
        if (c == ZPAD) {
            FState = stPad;
            if (FRename) StartHold();
        } else if (FFinished) {
            if (c == 'O') {
                FOver = ++FOs == 2;
            } else if (FOs > 0 || (c != '\r' && c != '\n' && c != 0x8A && c != 0x11)) {
                // Not the "OO" (a sender behind a pty may lose it): the BBS speaks again, and
                // this byte is already its text.
                FOver = FBoardsText = true;
            }
        }
        break;
    case stPad:
        if (c == ZDLE)
            FState = stDle;
        else if (c != ZPAD)
            Resync(c);
        break;
    case stDle:
        FKind = c;
        FHeaderLength = 0;
        FEscape = false;
        if (c == ZBIN || c == ZBIN32 || c == ZBINR32)
            FState = stHeader;
        else if (c == ZHEX)
            FState = stHex;
        else
            Resync(c);
        break;
    case stHeader:
        if (!Decode(c, v)) break;
        if (v > 0xFF) {
            Resync(c);
            break;
        }
        FHeader[FHeaderLength++] = static_cast<uint8_t>(v);
        if (FHeaderLength == (FKind == ZBIN ? 7 : 9)) HeaderDone();
        break;
    case stHex: {
        const int h = HexValue(c);
        if (h < 0) {
            Resync(c);
            break;
        }
        const int n = FHeaderLength / 2;
        FHeader[n] = static_cast<uint8_t>(FHeaderLength % 2 ? FHeader[n] | h : h << 4);
        if (++FHeaderLength == 14) {
            FHeaderLength = 7;
            HeaderDone();
        }
        break;
    }
    case stData:
        if (!Decode(c, v)) break;
        if (v == Cancel || v == Bad) {
            Resync(c);
        } else if (v & FrameEnd) {
            FFrameEnd = static_cast<uint8_t>(v);
            FCrcLeft = FCrc32Data ? 4 : 2;
            FState = stCrc;
        } else if (FOfferData) {
            FSubpacket.push_back(static_cast<char>(v));
            if (FHold.size() > MaxHold) { // no offer is that long: pass it on as it is
                Release();
                FOfferData = false;
            }
        } else if (FCountData) {
            ++FPosition;
        }
        break;
    case stCrc:
        if (!Decode(c, v)) break;
        if (v > 0xFF) {
            Resync(c);
            break;
        }
        if (--FCrcLeft > 0) break;
        if (FOfferData) OfferDone();
        FState = FFrameEnd == ZCRCE || FFrameEnd == ZCRCW ? stHunt : stData;
        break;
    }
}

void TZmodemScanner::HeaderDone()
{
    const uint8_t *h = FHeader;
    bool good = false;
    if (FKind == ZBIN || FKind == ZHEX) {
        good = Crc16(0, h, 5) == static_cast<uint16_t>(h[5] << 8 | h[6]);
    } else {
        const uint32_t crc = ~Crc32(0xFFFFFFFFu, h, 5);
        good = crc == (uint32_t(h[5]) | uint32_t(h[6]) << 8 | uint32_t(h[7]) << 16 | uint32_t(h[8]) << 24);
    }
    FState = stHunt;
    FOfferData = FCountData = false;
    if (!good) { // not a header after all
        Release();
        return;
    }
    const int64_t position = int64_t(h[1]) | int64_t(h[2]) << 8 | int64_t(h[3]) << 16 | int64_t(h[4]) << 24;
    FCrc32Data = FKind != ZBIN && FKind != ZHEX;
    switch (h[0]) {
    case ZFILE:
        FState = stData;
        FSubpacket.clear();
        FOfferData = FKind != ZBINR32; // run-length data is not ours to read
        FHeaderEnd = FHold.size();
        if (!FOfferData) Release();
        return;
    case ZDATA:
        FPosition = position;
        FSawData = true;
        FCountData = true;
        FState = stData;
        break;
    case ZSINIT:
    case ZCOMMAND:
        FState = stData;
        break;
    case ZEOF:
        FPosition = position;
        break;
    case ZFIN:
        FFinished = FEnding = true;
        break;
    default:
        break;
    }
    Release();
}

void TZmodemScanner::OfferDone()
{
    FOfferData = false;
    TFileOffer offer;
    const size_t nul = FSubpacket.find('\0');
    offer.Name = FSubpacket.substr(0, nul);
    std::vector<std::string> fields;
    if (nul != std::string::npos) {
        std::string info = FSubpacket.substr(nul + 1);
        info = info.substr(0, info.find('\0'));
        size_t at = 0;
        while (at < info.size()) {
            const size_t blank = info.find(' ', at);
            const size_t stop = blank == std::string::npos ? info.size() : blank;
            if (stop > at) fields.push_back(info.substr(at, stop - at));
            at = stop + 1;
        }
    }
    auto number = [&](size_t k, int base, auto &out) {
        if (k < fields.size())
            std::from_chars(fields[k].data(), fields[k].data() + fields[k].size(), out, base);
    };
    number(0, 10, offer.Size);
    number(1, 8, offer.ModTime);
    number(4, 10, offer.FilesLeft);
    number(5, 10, offer.BytesLeft);
    if (FOffers == 0 || FSawData || offer.Name != FOffer.Name) ++FOffers;
    FOffer = offer;
    FSawData = false;
    FPosition = 0;
    if (!FHolding) return;

    // Encoded again with the name we give it and a plain file's mode.
    std::string data = FRename(offer);
    data += '\0';
    if (fields.size() > 2) fields[2] = "100644"; // never the sender's bits
    for (size_t k = 0; k < fields.size(); ++k)
        data += (k ? " " : "") + fields[k];
    if (nul != std::string::npos) data += '\0';
    std::string out = FHold.substr(0, FHeaderEnd);
    for (char ch : data)
        Escape(static_cast<uint8_t>(ch), out);
    out += char(ZDLE);
    out += char(FFrameEnd);
    const auto *bytes = reinterpret_cast<const uint8_t *>(data.data());
    if (FCrc32Data) {
        const uint32_t crc = ~Crc32(Crc32(0xFFFFFFFFu, bytes, data.size()), &FFrameEnd, 1);
        for (int k = 0; k < 4; ++k)
            Escape(static_cast<uint8_t>(crc >> (8 * k)), out);
    } else {
        const uint16_t crc = Crc16(Crc16(0, bytes, data.size()), &FFrameEnd, 1);
        Escape(static_cast<uint8_t>(crc >> 8), out);
        Escape(static_cast<uint8_t>(crc), out);
    }
    FHold = std::move(out);
    Release();
}
