#include "protocol/CLient.h"

#include "colouredit/OffLine.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "terminal/Cp437.h"

#include <algorithm>
#include <cstring>
#include <string_view>

using namespace telnet;
using namespace client;

namespace {

// Shown for AE: how to reach the client's own options.
const char OptionsNotice[] = "\n\n\x01"
                             "a\x01"
                             "f\x01"
                             "wTo configure the client use the \x01"
                             "rOptions \x01"
                             "wMenu!\n";

const char KillNotice1[] = "\x01"
                           "a\x01"
                           "g Message from \x01"
                           "f\x01"
                           "y";
const char KillNotice3[] = "\x01"
                           "a\x01"
                           "g was \x01"
                           "f\x01"
                           "rkilled\x01"
                           "a\x01"
                           "g.\x01"
                           "f\r\n";

const char IacTrace[] = "\nMode: IAC";

// Bytes from Buf up to the next IAC (all Count when there is none).
size_t RunToIac(const uint8_t *buf, size_t count)
{
    const void *iac = std::memchr(buf, IAC, count);
    return iac ? size_t(static_cast<const uint8_t *>(iac) - buf) : count;
}

// The Telnet engine's name of a negotiation state.
TParserMode TelnetState(TCLientMode mode)
{
    switch (mode) {
    case cmDo:
        return pmDo;
    case cmDont:
        return pmDont;
    case cmWill:
        return pmWill;
    case cmWont:
        return pmWont;
    default:
        return pmData;
    }
}

// Both line buffers keep one byte for the NUL that ends the collected line.
constexpr uint16_t LineMax = TCLientStateMachine::CollectBufferSize - 1;
constexpr uint16_t TextMax = TCLientStateMachine::TextBufferSize - 1;

} // namespace

TCLientStateMachine::TCLientStateMachine(const THostSettings &host, TUserFilter &userFilter,
                                         TOffLineEdit &offLineEdit, TWhoList &whoList,
                                         TEditStateChanged editStateChanged)
    : FHost(host), FUserFilter(userFilter), FOffLineEdit(offLineEdit), FWhoList(whoList),
      FEditStateChanged(std::move(editStateChanged))
{
    // Echo counts as agreed from the start: this engine never echoes locally.
    FOptionFlags[OPT_ECHO] |= ofActive;
}

TCLientStateMachine::~TCLientStateMachine() = default;

void TCLientStateMachine::SetMode(TCLientMode newMode)
{
    FClientMode = newMode;
}

void TCLientStateMachine::Reset()
{
    TTelnetStateMachine::Reset();
    FClientMode = cmData;
    FOptionFlags[OPT_ECHO] |= ofActive;
    // A connection that broke right after an IAC or inside an AB pair must not
    // steer the next one.
    FIacPending = false;
    FSavedMode = cmData;
    FResumeMode = cmData;
    if (FEditMode) LeaveEditor();
    FExpressOpen = false;
    FSentCount = 0;
    FEditCount = 0;
}

void TCLientStateMachine::SendKey(uint16_t key, TShiftState shift)
{
    if (FEditMode) {
        FOffLineEdit.KeyDown(key, shift);
        return;
    }
    // Cursor keys as the Telnet engine sends them, but never echoed, whatever the
    // server said about Echo.
    const uint8_t echo = FOptionFlags[OPT_ECHO];
    FOptionFlags[OPT_ECHO] |= ofActive;
    TTelnetStateMachine::SendKey(key, shift);
    FOptionFlags[OPT_ECHO] = echo;
}

void TCLientStateMachine::SendChar(uint8_t ch)
{
    if (FEditMode) {
        if (FOffLineEdit.KeyPress(ch)) LeaveEditor();
        return;
    }
    // Straight to the connection, never echoed; counted and logged for type-ahead.
    DoSocketOut(&ch, 1);
    ++FSentCount;
    FSendLog.Add(ch);
}

void TCLientStateMachine::PostEditState(bool open)
{
    if (FEditStateChanged) FEditStateChanged(open);
}

void TCLientStateMachine::SetIacPending()
{
    FIacPending = true;
    if (OnDebug) DoDebug(IacTrace);
}

void TCLientStateMachine::EnterNegotiation(TCLientMode state)
{
    // A negotiation nested inside another returns to the collection around both,
    // never to the inner negotiation (which would swallow the text that follows).
    if (FClientMode < cmDo || FClientMode > cmSub) FSavedMode = FClientMode;
    SetMode(state);
}

void TCLientStateMachine::Command(uint8_t c)
{
    switch (c) {
    case HELLO: {
        static const uint8_t hello[2] = {IAC, HELLO};
        DoSocketOut(hello, 2);
        break;
    }
    case EDIT_LINE:
    case EDIT_NAME:
    case EDIT_SHORT:
    case EDIT_LONG:
    case EDIT_WRAP_LINE:
        SetMode(static_cast<TCLientMode>(cmEditLine + (c - EDIT_LINE)));
        FCollectLength = 0;
        break;
    case EXPRESS:
        SetMode(cmExpressHeader);
        FCollectLength = 0;
        break;
    case POST:
        SetMode(cmPostHeader);
        FCollectLength = 0;
        break;
    case EXPRESS_END:
    case POST_END:
    case TEXT_BLOCK_END:
    case WHO_LIST_END:
        if (c == TEXT_BLOCK_END) FTextBuffer[FTextLength] = 0;
        // the list's last line may come without its line feed
        if (c == WHO_LIST_END && FClientMode == cmWhoList && FCollectLength > 0) FinishWhoLine();
        if (c == EXPRESS_END && FExpressOpen) {
            FExpressOpen = false;
            if (OnExpressMessage) OnExpressMessage(FExpressAuthor, FExpressText);
        }
        SetMode(cmData);
        break;
    case INTERRUPT:
        if (FClientMode != cmData) {
            FResumeMode = FClientMode;
            SetMode(cmData);
        } else {
            SetMode(FResumeMode);
            FResumeMode = cmData;
        }
        break;
    case COUNT_RESET:
        FSentCount = 1;
        if (FHost.Mode == hmISCA) {
            static const uint8_t ack[2] = {IAC, COUNT_ACK};
            DoSocketOut(ack, 2);
        }
        break;
    case OPTIONS: {
        DoTerminalOut(OptionsNotice);
        static const uint8_t answer[3] = {IAC, UPLOAD, '\n'};
        DoSocketOut(answer, 3);
        ++FSentCount;
        SetMode(cmSkip4);
        FCollectLength = 0;
        break;
    }
    case TEXT_BLOCK:
        SetMode(cmTextBlock);
        FTextLength = 0;
        break;
    case EDIT_TEXT_BLOCK:
        EditTextBlock();
        break;
    case SKIP3:
        SetMode(cmSkip3);
        FCollectLength = 0;
        break;
    case WHO_LIST:
        if (FHost.Mode == hmORVO) {
            SetMode(cmWhoList);
            FCollectLength = 0;
            FWhoList.Clear();
        }
        break;
    case SE:
        // Only a subnegotiation is ended. A stray SE would otherwise send the parser
        // back to whatever state an old negotiation interrupted (a discard, say).
        if (FClientMode == cmSub) {
            FinishSub();
            SetMode(FSavedMode);
        }
        break;
    case SB:
        EnterNegotiation(cmSub);
        FSubLength = 0;
        break;
    case WILL:
        EnterNegotiation(cmWill);
        break;
    case WONT:
        EnterNegotiation(cmWont);
        break;
    case DO:
        EnterNegotiation(cmDo);
        break;
    case DONT:
        EnterNegotiation(cmDont);
        break;
    default: // everything else, a doubled IAC included, is ignored
        break;
    }
}

void TCLientStateMachine::ProcessInput(uint8_t *buf, uint16_t count)
{
    if (count == 0) return;
    if (FEditMode) FOffLineEdit.BeginOutput();
    for (size_t i = 0; i < count; ++i) {
        if (FIacPending) {
            FIacPending = false;
            Command(buf[i]);
            if (FJustOpened) BracketOpenedEdit();
            continue;
        }
        if (FClientMode == cmData) {
            const size_t from = i;
            const bool atIac = DeliverText(buf, i, count);
            if (FExpressOpen && FExpressText.size() < MaxExpressText)
                FExpressText.append(reinterpret_cast<const char *>(buf + from),
                                    std::min(i - from, MaxExpressText - FExpressText.size()));
            if (atIac) SetIacPending();
            continue;
        }
        const uint8_t c = buf[i];
        if (c == IAC) {
            SetIacPending();
            continue;
        }
        switch (FClientMode) {
        case cmDo:
        case cmDont:
        case cmWill:
        case cmWont:
            AnswerOption(TelnetState(FClientMode), c);
            SetMode(FSavedMode);
            break;
        case cmSub:
            CollectSub(c);
            break;
        case cmEditLine:
        case cmEditName:
        case cmEditShort:
        case cmEditLong:
        case cmEditWrapLine:
            if (FEditMode) {
                const char text[2] = {static_cast<char>(c), 0};
                DoTerminalOut(text);
            } else {
                if (FCollectLength < 4) FCollectBuffer[FCollectLength++] = c;
                if (FCollectLength >= 4) {
                    OpenEditor();
                    BracketOpenedEdit();
                }
            }
            break;
        case cmExpressHeader:
        case cmPostHeader:
            CollectHeader(c);
            break;
        case cmSkip3:
        case cmSkip4: // counted, not kept
            if (++FCollectLength >= (FClientMode == cmSkip3 ? 3 : 4)) {
                SetMode(cmData);
                FCollectLength = 0;
            }
            break;
        case cmWhoList:
            CollectWhoLine(c);
            break;
        case cmTextBlock: {
            // The whole run up to the next IAC at once; past the buffer it is dropped.
            const size_t n = RunToIac(buf + i, count - i);
            const size_t take = std::min<size_t>(n, TextMax - FTextLength);
            std::memcpy(FTextBuffer.data() + FTextLength, buf + i, take);
            FTextLength = static_cast<uint16_t>(FTextLength + take);
            i += n - 1;
            break;
        }
        default: // discard (and any state without a meaning): drop up to the next IAC
            i += RunToIac(buf + i, count - i) - 1;
            break;
        }
    }
    if (FEditMode) FOffLineEdit.EndOutput();
}

// ---------------------------------------------------------------------------
// Edits

void TCLientStateMachine::BracketOpenedEdit()
{
    // The rest of this read is host output while an edit is open: like every such
    // output it goes between BeginOutput and EndOutput, also when the edit has just
    // drawn replayed or auto-login text.
    FJustOpened = false;
    if (FEditMode) FOffLineEdit.BeginOutput();
}

void TCLientStateMachine::OpenEditor()
{
    // An edit opened over an open one: the host's output so far is settled first, as at
    // the end of a read, so where the new edit starts does not depend on how reads are cut.
    if (FEditMode) FOffLineEdit.EndOutput();
    FEditMode = true;
    FJustOpened = true;
    ++FEditCount;
    const int64_t n =
        (int64_t(FCollectBuffer[1]) << 16) | (int64_t(FCollectBuffer[2]) << 8) | FCollectBuffer[3];
    const int64_t ahead = int64_t(FSentCount) - n;
    int a = 0;
    if (ahead >= 0 && ahead <= 256) {
        a = int(ahead % 256);
        FSentCount = int32_t(n);
    }
    FOffLineEdit.SetHostMode(FHost.Mode);
    FOffLineEdit.Open(EditKindOf(FClientMode), FCollectBuffer[0]);
    PostEditState(true);
    // A word carried over from the last edit can fill a short line at once: the edit
    // is then finished before anyone typed, and goes up as any finished edit does.
    if (!FOffLineEdit.IsOpen()) LeaveEditor();

    // Take the characters out of the log before replaying: a replayed Enter may end
    // the edit, and what follows then goes out as typing and is logged again.
    uint8_t replay[256];
    for (int k = a - 1, j = 0; k >= 0; --k, ++j)
        replay[j] = FSendLog.Get(uint8_t(k));
    for (int j = 0; j < a; ++j)
        SendChar(replay[j]);

    if (FHost.AutoLogin) {
        const std::string *answer = nullptr;
        if (FEditCount == 1)
            answer = &FHost.LoginName;
        else if (FEditCount == 2)
            answer = &FHost.Password;
        if (answer && !answer->empty()) {
            const std::string text = *answer; // SendChar may reach code that changes the store
            for (char ch : text)
                SendChar(static_cast<uint8_t>(ch));
            SendChar('\r');
        }
    }
}

void TCLientStateMachine::LeaveEditor()
{
    FEditMode = false;
    int length = FOffLineEdit.GetText(reinterpret_cast<char *>(FCollectBuffer.data()), MaxUpload);
    if (length < 0) length = 0;
    if (length > MaxUpload) length = MaxUpload;
    FOffLineEdit.Close();
    // The state is settled and the close posted before the upload: a socket-output
    // handler that fails (and unwinds) leaves no edit half closed.
    SetMode(cmData);
    FCollectLength = 0;
    PostEditState(false);
    if (OnSocketOut) {
        static const uint8_t prefix[2] = {IAC, UPLOAD};
        DoSocketOut(prefix, 2);
        DoSocketOut(FCollectBuffer.data(), length);
    }
    FSentCount += length;
    if (FEditCount == 2 && FHost.Mode == hmISCA) SendChar('y');
}

void TCLientStateMachine::EditTextBlock()
{
    SetMode(cmEditLong);
    FCollectBuffer[0] = TEXT_BLOCK_PARAM;
    FCollectBuffer[1] = uint8_t(FSentCount >> 16);
    FCollectBuffer[2] = uint8_t(FSentCount >> 8);
    FCollectBuffer[3] = uint8_t(FSentCount);
    FCollectLength = 4;
    // A block whose B4 never came is still a text: end it where it stops.
    FTextBuffer[FTextLength] = 0;
    OpenEditor();
    FOffLineEdit.SetText(reinterpret_cast<const char *>(FTextBuffer.data()));
}

// ---------------------------------------------------------------------------
// Headers and the who list

void TCLientStateMachine::CollectHeader(uint8_t c)
{
    if (FCollectLength < LineMax) FCollectBuffer[FCollectLength++] = c;
    // A line break within the first ten bytes is part of the line. A line that
    // fills the buffer is taken as complete, so nothing is lost or overrun.
    if (((c == '\n' || c == '\r') && FCollectLength > 10) || FCollectLength >= LineMax) FinishHeader();
}

void TCLientStateMachine::FinishHeader()
{
    FCollectBuffer[FCollectLength] = 0;
    const char *line = reinterpret_cast<const char *>(FCollectBuffer.data());
    std::string name = FHost.Mode == hmISCA ? ExtractFromName(line) : ExtractMarkedName(line);
    if (name.size() > MaxNameLength) name.resize(MaxNameLength);
    // The filter keeps names as UTF-8; the BBS sends code page 437.
    if (!name.empty() && !FUserFilter.Accepts(cp437::ToUtf8(name), MessageKindOf(FClientMode))) {
        SetMode(cmDiscard);
        DoTerminalOut(KillNotice1);
        DoTerminalOut(name.c_str());
        DoTerminalOut(KillNotice3);
        FCollectLength = 0;
        return;
    }
    DoTerminalOut(line);
    if (FClientMode == cmExpressHeader && !name.empty() && FWhoList.Find(name) < 0) FWhoList.Add(name);
    if (FClientMode == cmExpressHeader) {
        FExpressOpen = true;
        FExpressAuthor = name;
        FExpressText.clear();
    }
    SetMode(cmData);
    FCollectLength = 0;
}

void TCLientStateMachine::CollectWhoLine(uint8_t c)
{
    if (FCollectLength < LineMax) FCollectBuffer[FCollectLength++] = c;
    if (c == '\n' || FCollectLength >= LineMax) FinishWhoLine();
}

void TCLientStateMachine::FinishWhoLine()
{
    FCollectBuffer[FCollectLength] = 0;
    const char *line = reinterpret_cast<const char *>(FCollectBuffer.data());
    DoTerminalOut(line);
    std::string name = ExtractMarkedName(line);
    if (name.size() > MaxNameLength) name.resize(MaxNameLength);
    if (!name.empty() && FWhoList.Find(name) < 0) FWhoList.Add(name);
    FCollectLength = 0;
}

namespace {

// A name as shown by the host, made fit for the filter and the who list: colour codes
// (01 and a letter) and ANSI sequences (ESC [ ... final) inside it are dropped, it ends at
// the first other control byte, and blanks at its end go.
std::string CleanName(std::string_view raw)
{
    std::string name;
    for (size_t i = 0; i < raw.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(raw[i]);
        if (c == 0x01) {
            ++i;
            continue;
        }
        if (c == 0x1B && i + 1 < raw.size() && raw[i + 1] == '[') {
            i += 2;
            while (i < raw.size() &&
                   (static_cast<uint8_t>(raw[i]) < 0x40 || static_cast<uint8_t>(raw[i]) > 0x7E))
                ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F) break;
        name += static_cast<char>(c);
    }
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

} // namespace

std::string TCLientStateMachine::ExtractMarkedName(const char *line)
{
    if (const char *mark = std::strstr(line, "\x01n")) {
        const char *start = mark + 2;
        const size_t len = strnlen(start, 22);
        const std::string_view copy(start, len);
        const size_t end = copy.find("\x01N");
        return end == std::string_view::npos ? std::string() : CleanName(copy.substr(0, end));
    }
    const char *mark = std::strchr(line, '\x04');
    if (!mark) mark = std::strchr(line, '\r');
    if (!mark) return {};
    return CleanName(std::string_view(mark + 1, strnlen(mark + 1, MaxNameLength)));
}

std::string TCLientStateMachine::ExtractFromName(const char *line)
{
    const std::string_view text(line);
    const size_t from = text.find(" from ");
    if (from == std::string_view::npos) return {};
    size_t start = from + 6;
    if (start < text.size() && text[start] == '\x1b') start = std::min(start + 5, text.size());
    size_t end = text.find(" at ", start);
    if (end == std::string_view::npos) end = text.find("\x1b[", start);
    if (end == std::string_view::npos) {
        if (text.size() < 2) return {};
        end = text.size() - 2;
    }
    if (end <= start) return {};
    return CleanName(text.substr(start, end - start));
}
