#pragma once
// Just enough ZMODEM to stand beside lrzsz: spotting a transfer's start in text meant for
// the terminal, and following a sender's stream (which file, how far) while passing it on
// byte for byte, with the file names it offers rewritten when asked.

#include "protocol/SenderStream.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace zmodem {
constexpr uint8_t ZPAD = '*';
constexpr uint8_t ZDLE = 0x18; // also CAN
constexpr uint8_t ZBIN = 'A';
constexpr uint8_t ZHEX = 'B';
constexpr uint8_t ZBIN32 = 'C';
constexpr uint8_t ZBINR32 = 'D';

enum TFrameType : uint8_t {
    ZRQINIT = 0,
    ZRINIT = 1,
    ZSINIT = 2,
    ZACK = 3,
    ZFILE = 4,
    ZSKIP = 5,
    ZNAK = 6,
    ZABORT = 7,
    ZFIN = 8,
    ZRPOS = 9,
    ZDATA = 10,
    ZEOF = 11,
    ZCOMMAND = 18,
};

// The start of the header by which a sender offers files ("rz" is what it expects).
constexpr char RequestInit[] = "**\x18"
                               "B00";
// Eight CAN and eight BS: what ends a ZMODEM (and X/YMODEM) transfer from either side.
constexpr uint8_t Abort[16] = {24, 24, 24, 24, 24, 24, 24, 24, 8, 8, 8, 8, 8, 8, 8, 8};

uint16_t Crc16(uint16_t crc, const uint8_t *buf, size_t count);
uint32_t Crc32(uint32_t crc, const uint8_t *buf, size_t count); // pass and get the raw register
} // namespace zmodem

// What the spotter found in the terminal text, told to callbacks its owner sets.
struct TZmodemSpotterSink
{
    std::function<void(const uint8_t *text, size_t count)> Show;
    // A sender offers files. Rest is what followed the header's type (the transfer's bytes);
    // Scan returns right after this call.
    std::function<void(const uint8_t *rest, size_t count)> SendOffered;
    // A receiver waits for files (the BBS ran rz); its header is not shown.
    std::function<void()> ReceiveReady;
};

// Finds "*" CAN "B00" (ZRQINIT) and "*" CAN "B01" (ZRINIT) in text on its way to the
// terminal. A partial header at the end of a text is held back once its CAN arrived, so
// a header split across reads is found and not shown.
class TZmodemSpotter
{
public:
    void Scan(const uint8_t *text, size_t count, const TZmodemSpotterSink &sink);
    // Gives back what is held (the stream ended or changed hands).
    void Flush(const TZmodemSpotterSink &sink);

private:
    enum TState : uint8_t { stNone, stPad, stDle, stHex, stType };
    TState FState = stNone;
    std::string FHeld; // header bytes of earlier texts, not shown yet
    int FSwallow = 0;  // bytes of a ZRINIT header still to hide
};

// Follows a ZMODEM sender: headers, file offers (ZFILE) and the data position (ZDATA
// and its subpackets). The offer's subpacket is encoded again, with its CRC, when it is
// renamed; it is the only thing ever held back. Over after ZFIN and the sender's "OO".
class TZmodemScanner : public TSenderStream
{
public:
    explicit TZmodemScanner(TEmit pass, TRename rename = nullptr);
    size_t Feed(const uint8_t *buf, size_t count) override;

private:
    enum TState : uint8_t {
        stHunt,   // between frames
        stPad,    // ZPAD seen
        stDle,    // ZPAD ZDLE seen
        stHeader, // binary header bytes
        stHex,    // hex header digits
        stData,   // a data subpacket, passed on
        stCrc,    // its CRC bytes
    };
    void Step(uint8_t c);
    bool Decode(uint8_t c, int &out); // ZDLE decoding; false while incomplete
    void HeaderDone();
    void OfferDone();
    void StartHold();       // from the current byte on
    void Release();         // what is held goes on, and the current byte with it
    void Resync(uint8_t c); // not what it looked like: back to the hunt, c looked at again

    TState FState = stHunt;
    bool FEscape = false; // a ZDLE seen inside a binary field
    uint8_t FKind = 0;    // ZBIN, ZHEX, ZBIN32 of the current header
    uint8_t FHeader[9]{}; // type, four bytes, CRC (up to four)
    int FHeaderLength = 0;
    int FCrcLeft = 0;
    bool FCrc32Data = false; // data subpackets of the current frame carry CRC-32
    bool FHolding = false;   // bytes are kept in FHold until we know what they are
    bool FOfferData = false; // the subpacket is a file offer's
    bool FCountData = false; // the subpacket is file data
    bool FSawData = false;   // file data came since the last offer
    std::string FHold;       // raw bytes held back
    size_t FHeaderEnd = 0;   // of the offer's header in FHold
    std::string FSubpacket;  // decoded bytes of a file offer
    uint8_t FFrameEnd = 0;
    const uint8_t *FRun = nullptr; // first byte of the current Feed not passed on or held
    const uint8_t *FCur = nullptr; // the byte being looked at

    bool FFinished = false; // ZFIN came; "OO" ends it
    int FOs = 0;
    bool FBoardsText = false; // it ended at a byte that was not the "OO"
};
