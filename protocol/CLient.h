#pragma once
// The CLient engine for ORVO CLient and ISCA Client hosts: Telnet framing plus the
// one-byte commands (A0 to B8 after IAC) by which the BBS marks express messages,
// posts, who lists and text blocks, and asks for local edits that are uploaded in
// one piece. The stores it consults are passed in; nothing here is global.

#include "colouredit/EditKind.h"
#include "config/UserFilt.h"
#include "protocol/Telnet.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

struct THostSettings;
class TUserFilter;
class TOffLineEdit;
class TWhoList;

// Whoever owns the engine (the session) hears of its edits opening (true) and closing
// through this. The call must only queue: the change is handled after the engine call
// that made it has returned, in order.
using TEditStateChanged = std::function<void(bool open)>;

// Ring of the last 256 characters typed outside edits; repairs type-ahead.
class TSendLog
{
public:
    void Add(uint8_t ch)
    {
        ++Position; // wraps at 256
        Ring[Position] = ch;
    }
    // The character Back steps before the most recent one (0: the most recent).
    uint8_t Get(uint8_t back) const { return Ring[static_cast<uint8_t>(Position - back)]; }

    std::array<uint8_t, 256> Ring{};
    uint8_t Position = 0;
};

// Parser states of the CLient engine: the Telnet negotiation states keep their numbers,
// the edit kinds (10 to 14) and message kinds (15, 16) are what the offline editor and the
// user filter are given.
enum TCLientMode : uint8_t {
    cmData = 0,
    cmDo = 2,
    cmDont = 3,
    cmWill = 4,
    cmWont = 5,
    cmSub = 6,
    cmEditLine = ekLine,         // A2: one line, P = signed maximum length
    cmEditName = ekName,         // A3: name entry
    cmEditShort = ekShort,       // A4: short multi-line text
    cmEditLong = ekLong,         // A5, B5: long multi-line text
    cmEditWrapLine = ekWrapLine, // A6: one line, last word carried over
    cmExpressHeader = ufExpress,
    cmPostHeader = ufPost,
    cmSkip3 = 17,
    cmWhoList = 18,
    cmSkip4 = 19,
    cmTextBlock = 20,
    cmDiscard = 21,
};

// The edit kind of an editor-parameter state, and what a header state announces.
constexpr TEditKind EditKindOf(TCLientMode m)
{
    return TEditKind(m);
}
constexpr TMessageKind MessageKindOf(TCLientMode m)
{
    return m == cmPostHeader ? ufPost : ufExpress;
}

// The protocol's command bytes (after IAC).
namespace client {
constexpr uint8_t HELLO = 0xA0;
constexpr uint8_t UPLOAD = 0xA1;
constexpr uint8_t EDIT_LINE = 0xA2;
constexpr uint8_t EDIT_NAME = 0xA3;
constexpr uint8_t EDIT_SHORT = 0xA4;
constexpr uint8_t EDIT_LONG = 0xA5;
constexpr uint8_t EDIT_WRAP_LINE = 0xA6;
constexpr uint8_t EXPRESS = 0xA7;
constexpr uint8_t EXPRESS_END = 0xA8;
constexpr uint8_t POST = 0xA9;
constexpr uint8_t POST_END = 0xAA;
constexpr uint8_t INTERRUPT = 0xAB;
constexpr uint8_t COUNT_RESET = 0xAC;
constexpr uint8_t OPTIONS = 0xAE;
constexpr uint8_t COUNT_ACK = 0xAF; // ISCA answer to COUNT_RESET
constexpr uint8_t ISCA_HELLO = 0xB0;
constexpr uint8_t TEXT_BLOCK = 0xB3;
constexpr uint8_t TEXT_BLOCK_END = 0xB4;
constexpr uint8_t EDIT_TEXT_BLOCK = 0xB5;
constexpr uint8_t SKIP3 = 0xB6;
constexpr uint8_t WHO_LIST = 0xB7;
constexpr uint8_t WHO_LIST_END = 0xB8;
constexpr uint8_t TEXT_BLOCK_PARAM = 0xF7; // editor parameter of a B5 edit
} // namespace client

// The open-editor commands A2 to A6 select the states 10 to 14 by their distance from A2.
static_assert(client::EDIT_WRAP_LINE - client::EDIT_LINE == cmEditWrapLine - cmEditLine && cmEditLine == 10 &&
              EditKindOf(cmEditLong) == ekLong && MessageKindOf(cmExpressHeader) == ufExpress);

class TCLientStateMachine : public TTelnetStateMachine
{
public:
    static constexpr int CollectBufferSize = 32768;
    static constexpr int TextBufferSize = 32768;
    static constexpr int MaxUpload = 32766;
    static constexpr size_t MaxNameLength = 20;

    TCLientStateMachine(const THostSettings &host, TUserFilter &userFilter, TOffLineEdit &offLineEdit,
                        TWhoList &whoList, TEditStateChanged editStateChanged = nullptr);
    ~TCLientStateMachine() override;

    // Stores the state; this engine traces no state changes.
    void SetMode(TCLientMode newMode);
    TCLientMode Mode() const { return FClientMode; }
    // Closes an open edit (its upload goes out through OnSocketOut, which the owner
    // drops when not connected), then clears the per-connection counters.
    void Reset() override;
    // Inside an edit keys go to the offline editor; outside, cursor keys go out as
    // ESC [ A..D. Never echoed locally.
    void SendKey(uint16_t key, TShiftState shift) override;
    // Inside an edit to the offline editor; outside to the connection, counted and
    // logged, never echoed locally.
    void SendChar(uint8_t ch) override;
    // Buf[Count] must be a NUL byte; the engine writes into Buf.
    void ProcessInput(uint8_t *buf, uint16_t count) override;

    void SetEditStateChanged(TEditStateChanged changed) { FEditStateChanged = std::move(changed); }

    // An express message the user filter let through has ended (A8): its author (empty
    // when the header named none) and the text after the header line, as the terminal got
    // it, at most MaxExpressText bytes. Killed messages never come here.
    std::function<void(const std::string &Author, const std::string &Text)> OnExpressMessage;
    static constexpr size_t MaxExpressText = 4096;

    // Author name of a header or who-list line: between the colour codes n and N, or
    // after byte 04 (else 0D). Empty when none is found.
    static std::string ExtractMarkedName(const char *line);
    // ISCA headers: the text after " from ", up to " at ", an ESC [ or the last two bytes.
    // Either name loses the colour codes and ANSI sequences inside it, ends at its first
    // other control byte and loses its trailing blanks.
    static std::string ExtractFromName(const char *line);

    bool EditMode() const { return FEditMode; }
    int32_t SentCount() const { return FSentCount; }
    int32_t EditCount() const { return FEditCount; }
    const TSendLog &SendLog() const { return FSendLog; }
    // The text block received between B3 and B4 (NUL-terminated once B4 or B5 came).
    const uint8_t *TextBlock() const { return FTextBuffer.data(); }
    uint16_t TextBlockLength() const { return FTextLength; }

protected:
    void Command(uint8_t c);
    void SetIacPending();
    void OpenEditor();
    void LeaveEditor();
    void EditTextBlock();
    void BracketOpenedEdit();
    void CollectHeader(uint8_t c);
    void FinishHeader();
    void CollectWhoLine(uint8_t c);
    void FinishWhoLine();
    void PostEditState(bool open);
    // Remembers the state to return to after a negotiation.
    void EnterNegotiation(TCLientMode state);

    const THostSettings &FHost; // the host of the connection
    TUserFilter &FUserFilter;
    TOffLineEdit &FOffLineEdit;
    TWhoList &FWhoList;
    TEditStateChanged FEditStateChanged;

    int32_t FSentCount = 0;
    TSendLog FSendLog;
    bool FIacPending = false;
    TCLientMode FClientMode = cmData;
    TCLientMode FSavedMode = cmData;
    TCLientMode FResumeMode = cmData;
    std::array<uint8_t, CollectBufferSize> FCollectBuffer{};
    uint16_t FCollectLength = 0;
    std::array<uint8_t, TextBufferSize> FTextBuffer{};
    uint16_t FTextLength = 0;
    bool FEditMode = false;
    int32_t FEditCount = 0;
    bool FJustOpened = false;  // an edit opened during the current command
    bool FExpressOpen = false; // an accepted express message is being shown
    std::string FExpressAuthor, FExpressText;
};
