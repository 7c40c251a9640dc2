#include "protocol/CLient.h"

#include "colouredit/OffLine.h"
#include "config/SetHost.h"
#include "protocol/UserFilt.h"

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
size_t RunToIac(const uint8_t *Buf, size_t Count)
{
    const void *Iac = std::memchr(Buf, IAC, Count);
    return Iac ? size_t(static_cast<const uint8_t *>(Iac) - Buf) : Count;
}

// The Telnet engine's name of a negotiation state.
TParserMode TelnetState(TCLientMode Mode)
{
    switch (Mode) {
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

TCLientStateMachine::TCLientStateMachine(THostInfo &HostInfo, TUserFilter &UserFilter,
                                         TOffLineEdit &OffLineEdit, TWhoList &WhoList, TEngineOwner *Owner)
    : HostInfo(HostInfo), UserFilter(UserFilter), OffLineEdit(OffLineEdit), WhoList(WhoList), Owner(Owner)
{
    // Echo counts as agreed from the start: this engine never echoes locally.
    OptionFlags[OPT_ECHO] |= ofActive;
}

TCLientStateMachine::~TCLientStateMachine() = default;

void TCLientStateMachine::SetMode(TCLientMode NewMode)
{
    ClientMode = NewMode;
}

void TCLientStateMachine::Reset()
{
    TTelnetStateMachine::Reset();
    ClientMode = cmData;
    OptionFlags[OPT_ECHO] |= ofActive;
    // A connection that broke right after an IAC or inside an AB pair must not
    // steer the next one.
    IacPending = false;
    SavedMode = cmData;
    ResumeMode = cmData;
    if (FEditMode) LeaveEditor();
    FSentCount = 0;
    FEditCount = 0;
}

void TCLientStateMachine::SendKey(uint16_t Key, TShiftState Shift)
{
    if (FEditMode) {
        OffLineEdit.KeyDown(Key, Shift);
        return;
    }
    // Cursor keys as the Telnet engine sends them, but never echoed, whatever the
    // server said about Echo.
    const uint8_t Echo = OptionFlags[OPT_ECHO];
    OptionFlags[OPT_ECHO] |= ofActive;
    TTelnetStateMachine::SendKey(Key, Shift);
    OptionFlags[OPT_ECHO] = Echo;
}

void TCLientStateMachine::SendChar(uint8_t Ch)
{
    if (FEditMode) {
        if (OffLineEdit.KeyPress(Ch)) LeaveEditor();
        return;
    }
    // Straight to the connection, never echoed; counted and logged for type-ahead.
    DoSocketOut(&Ch, 1);
    ++FSentCount;
    FSendLog.Add(Ch);
}

void TCLientStateMachine::PostEditState(uintptr_t Open)
{
    if (Owner) Owner->Post(WM_EDITSTATE, Open, 0);
}

void TCLientStateMachine::SetIacPending()
{
    IacPending = true;
    if (OnDebug) DoDebug(IacTrace);
}

void TCLientStateMachine::EnterNegotiation(TCLientMode State)
{
    // A negotiation nested inside another returns to the collection around both,
    // never to the inner negotiation (which would swallow the text that follows).
    if (ClientMode < cmDo || ClientMode > cmSub) SavedMode = ClientMode;
    SetMode(State);
}

void TCLientStateMachine::Command(uint8_t c)
{
    switch (c) {
    case HELLO: {
        static const uint8_t Hello[2] = {IAC, HELLO};
        DoSocketOut(Hello, 2);
        break;
    }
    case EDIT_LINE:
    case EDIT_NAME:
    case EDIT_SHORT:
    case EDIT_LONG:
    case EDIT_WRAP_LINE:
        SetMode(static_cast<TCLientMode>(cmEditLine + (c - EDIT_LINE)));
        CollectLength = 0;
        break;
    case EXPRESS:
        SetMode(cmExpressHeader);
        CollectLength = 0;
        break;
    case POST:
        SetMode(cmPostHeader);
        CollectLength = 0;
        break;
    case EXPRESS_END:
    case POST_END:
    case TEXT_BLOCK_END:
    case WHO_LIST_END:
        if (c == TEXT_BLOCK_END) TextBuffer[TextLength] = 0;
        // the list's last line may come without its line feed
        if (c == WHO_LIST_END && ClientMode == cmWhoList && CollectLength > 0) FinishWhoLine();
        SetMode(cmData);
        break;
    case INTERRUPT:
        if (ClientMode != cmData) {
            ResumeMode = ClientMode;
            SetMode(cmData);
        } else {
            SetMode(ResumeMode);
            ResumeMode = cmData;
        }
        break;
    case COUNT_RESET:
        FSentCount = 1;
        if (HostInfo.Mode == hmISCA) {
            static const uint8_t Ack[2] = {IAC, COUNT_ACK};
            DoSocketOut(Ack, 2);
        }
        break;
    case OPTIONS: {
        DoTerminalOut(OptionsNotice);
        static const uint8_t Answer[3] = {IAC, UPLOAD, '\n'};
        DoSocketOut(Answer, 3);
        ++FSentCount;
        SetMode(cmSkip4);
        CollectLength = 0;
        break;
    }
    case TEXT_BLOCK:
        SetMode(cmTextBlock);
        TextLength = 0;
        break;
    case EDIT_TEXT_BLOCK:
        EditTextBlock();
        break;
    case SKIP3:
        SetMode(cmSkip3);
        CollectLength = 0;
        break;
    case WHO_LIST:
        if (HostInfo.Mode == hmORVO) {
            SetMode(cmWhoList);
            CollectLength = 0;
            WhoList.Clear();
        }
        break;
    case SE:
        // Only a subnegotiation is ended. A stray SE would otherwise send the parser
        // back to whatever state an old negotiation interrupted (a discard, say).
        if (ClientMode == cmSub) {
            FinishSub();
            SetMode(SavedMode);
        }
        break;
    case SB:
        EnterNegotiation(cmSub);
        SubLength = 0;
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

void TCLientStateMachine::ProcessInput(uint8_t *Buf, uint16_t Count)
{
    if (Count == 0) return;
    if (FEditMode) OffLineEdit.BeginOutput();
    for (size_t i = 0; i < Count; ++i) {
        if (IacPending) {
            IacPending = false;
            Command(Buf[i]);
            if (JustOpened) BracketOpenedEdit();
            continue;
        }
        if (ClientMode == cmData) {
            if (DeliverText(Buf, i, Count)) SetIacPending();
            continue;
        }
        const uint8_t c = Buf[i];
        if (c == IAC) {
            SetIacPending();
            continue;
        }
        switch (ClientMode) {
        case cmDo:
        case cmDont:
        case cmWill:
        case cmWont:
            AnswerOption(TelnetState(ClientMode), c);
            SetMode(SavedMode);
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
                const char Text[2] = {static_cast<char>(c), 0};
                DoTerminalOut(Text);
            } else {
                if (CollectLength < 4) CollectBuffer[CollectLength++] = c;
                if (CollectLength >= 4) {
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
            if (++CollectLength >= (ClientMode == cmSkip3 ? 3 : 4)) {
                SetMode(cmData);
                CollectLength = 0;
            }
            break;
        case cmWhoList:
            CollectWhoLine(c);
            break;
        case cmTextBlock: {
            // The whole run up to the next IAC at once; past the buffer it is dropped.
            const size_t n = RunToIac(Buf + i, Count - i);
            const size_t Take = std::min<size_t>(n, TextMax - TextLength);
            std::memcpy(TextBuffer.data() + TextLength, Buf + i, Take);
            TextLength = static_cast<uint16_t>(TextLength + Take);
            i += n - 1;
            break;
        }
        default: // discard (and any state without a meaning): drop up to the next IAC
            i += RunToIac(Buf + i, Count - i) - 1;
            break;
        }
    }
    if (FEditMode) OffLineEdit.EndOutput();
}

// ---------------------------------------------------------------------------
// Edits

void TCLientStateMachine::BracketOpenedEdit()
{
    // The rest of this read is host output while an edit is open: like every such
    // output it goes between BeginOutput and EndOutput, also when the edit has just
    // drawn replayed or auto-login text.
    JustOpened = false;
    if (FEditMode) OffLineEdit.BeginOutput();
}

void TCLientStateMachine::OpenEditor()
{
    // An edit opened over an open one: the host's output so far is settled first, as at
    // the end of a read, so where the new edit starts does not depend on how reads are cut.
    if (FEditMode) OffLineEdit.EndOutput();
    FEditMode = true;
    JustOpened = true;
    ++FEditCount;
    const int64_t N = (int64_t(CollectBuffer[1]) << 16) | (int64_t(CollectBuffer[2]) << 8) | CollectBuffer[3];
    const int64_t Ahead = int64_t(FSentCount) - N;
    int A = 0;
    if (Ahead >= 0 && Ahead <= 256) {
        A = int(Ahead % 256);
        FSentCount = int32_t(N);
    }
    OffLineEdit.SetHostMode(HostInfo.Mode);
    OffLineEdit.Open(ClientMode, CollectBuffer[0]);
    PostEditState(1);
    // A word carried over from the last edit can fill a short line at once: the edit
    // is then finished before anyone typed, and goes up as any finished edit does.
    if (!OffLineEdit.IsOpen()) LeaveEditor();

    // Take the characters out of the log before replaying: a replayed Enter may end
    // the edit, and what follows then goes out as typing and is logged again.
    uint8_t Replay[256];
    for (int k = A - 1, j = 0; k >= 0; --k, ++j)
        Replay[j] = FSendLog.Get(uint8_t(k));
    for (int j = 0; j < A; ++j)
        SendChar(Replay[j]);

    if (HostInfo.AutoLogin) {
        const std::string *Answer = nullptr;
        if (FEditCount == 1)
            Answer = &HostInfo.LoginName;
        else if (FEditCount == 2)
            Answer = &HostInfo.Password;
        if (Answer && !Answer->empty()) {
            const std::string Text = *Answer; // SendChar may reach code that changes the store
            for (char ch : Text)
                SendChar(static_cast<uint8_t>(ch));
            SendChar('\r');
        }
    }
}

void TCLientStateMachine::LeaveEditor()
{
    FEditMode = false;
    int Length = OffLineEdit.GetText(reinterpret_cast<char *>(CollectBuffer.data()), MaxUpload);
    if (Length < 0) Length = 0;
    if (Length > MaxUpload) Length = MaxUpload;
    OffLineEdit.Close();
    // The state is settled and the close posted before the upload: a socket-output
    // handler that fails (and unwinds) leaves no edit half closed.
    SetMode(cmData);
    CollectLength = 0;
    PostEditState(0);
    if (OnSocketOut) {
        static const uint8_t Prefix[2] = {IAC, UPLOAD};
        DoSocketOut(Prefix, 2);
        DoSocketOut(CollectBuffer.data(), Length);
    }
    FSentCount += Length;
    if (FEditCount == 2 && HostInfo.Mode == hmISCA) SendChar('y');
}

void TCLientStateMachine::EditTextBlock()
{
    SetMode(cmEditLong);
    CollectBuffer[0] = TEXT_BLOCK_PARAM;
    CollectBuffer[1] = uint8_t(FSentCount >> 16);
    CollectBuffer[2] = uint8_t(FSentCount >> 8);
    CollectBuffer[3] = uint8_t(FSentCount);
    CollectLength = 4;
    // A block whose B4 never came is still a text: end it where it stops.
    TextBuffer[TextLength] = 0;
    OpenEditor();
    OffLineEdit.SetText(reinterpret_cast<const char *>(TextBuffer.data()));
}

// ---------------------------------------------------------------------------
// Headers and the who list

void TCLientStateMachine::CollectHeader(uint8_t c)
{
    if (CollectLength < LineMax) CollectBuffer[CollectLength++] = c;
    // A line break within the first ten bytes is part of the line. A line that
    // fills the buffer is taken as complete, so nothing is lost or overrun.
    if (((c == '\n' || c == '\r') && CollectLength > 10) || CollectLength >= LineMax) FinishHeader();
}

void TCLientStateMachine::FinishHeader()
{
    CollectBuffer[CollectLength] = 0;
    const char *Line = reinterpret_cast<const char *>(CollectBuffer.data());
    std::string Name = HostInfo.Mode == hmISCA ? ExtractFromName(Line) : ExtractMarkedName(Line);
    if (Name.size() > MaxNameLength) Name.resize(MaxNameLength);
    if (!Name.empty() && !UserFilter.Accepts(Name, ClientMode)) {
        SetMode(cmDiscard);
        DoTerminalOut(KillNotice1);
        DoTerminalOut(Name.c_str());
        DoTerminalOut(KillNotice3);
        CollectLength = 0;
        return;
    }
    DoTerminalOut(Line);
    if (ClientMode == cmExpressHeader && !Name.empty() && WhoList.Find(Name) < 0) WhoList.Add(Name);
    SetMode(cmData);
    CollectLength = 0;
}

void TCLientStateMachine::CollectWhoLine(uint8_t c)
{
    if (CollectLength < LineMax) CollectBuffer[CollectLength++] = c;
    if (c == '\n' || CollectLength >= LineMax) FinishWhoLine();
}

void TCLientStateMachine::FinishWhoLine()
{
    CollectBuffer[CollectLength] = 0;
    const char *Line = reinterpret_cast<const char *>(CollectBuffer.data());
    DoTerminalOut(Line);
    std::string Name = ExtractMarkedName(Line);
    if (Name.size() > MaxNameLength) Name.resize(MaxNameLength);
    if (!Name.empty() && WhoList.Find(Name) < 0) WhoList.Add(Name);
    CollectLength = 0;
}

namespace {

// A name as shown by the host, made fit for the filter and the who list: colour codes
// (01 and a letter) and ANSI sequences (ESC [ ... final) inside it are dropped, it ends at
// the first other control byte, and blanks at its end go.
std::string CleanName(std::string_view Raw)
{
    std::string Name;
    for (size_t i = 0; i < Raw.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(Raw[i]);
        if (c == 0x01) {
            ++i;
            continue;
        }
        if (c == 0x1B && i + 1 < Raw.size() && Raw[i + 1] == '[') {
            i += 2;
            while (i < Raw.size() &&
                   (static_cast<uint8_t>(Raw[i]) < 0x40 || static_cast<uint8_t>(Raw[i]) > 0x7E))
                ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F) break;
        Name += static_cast<char>(c);
    }
    while (!Name.empty() && Name.back() == ' ')
        Name.pop_back();
    return Name;
}

} // namespace

std::string TCLientStateMachine::ExtractMarkedName(const char *Line)
{
    if (const char *Mark = std::strstr(Line, "\x01n")) {
        const char *Start = Mark + 2;
        const size_t Len = strnlen(Start, 22);
        const std::string_view Copy(Start, Len);
        const size_t End = Copy.find("\x01N");
        return End == std::string_view::npos ? std::string() : CleanName(Copy.substr(0, End));
    }
    const char *Mark = std::strchr(Line, '\x04');
    if (!Mark) Mark = std::strchr(Line, '\r');
    if (!Mark) return {};
    return CleanName(std::string_view(Mark + 1, strnlen(Mark + 1, MaxNameLength)));
}

std::string TCLientStateMachine::ExtractFromName(const char *Line)
{
    const std::string_view Text(Line);
    const size_t From = Text.find(" from ");
    if (From == std::string_view::npos) return {};
    size_t Start = From + 6;
    if (Start < Text.size() && Text[Start] == '\x1b') Start = std::min(Start + 5, Text.size());
    size_t End = Text.find(" at ", Start);
    if (End == std::string_view::npos) End = Text.find("\x1b[", Start);
    if (End == std::string_view::npos) {
        if (Text.size() < 2) return {};
        End = Text.size() - 2;
    }
    if (End <= Start) return {};
    return CleanName(Text.substr(Start, End - Start));
}
