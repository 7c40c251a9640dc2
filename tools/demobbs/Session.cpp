#include "tools/demobbs/Session.h"

#include "tools/demobbs/Art.h"

#include <algorithm>

namespace demobbs {

namespace {

constexpr uint8_t CL_HELLO = 0xA0;
constexpr uint8_t CL_UPLOAD = 0xA1;
constexpr uint8_t CL_COUNT_RESET = 0xAC;
constexpr uint8_t CL_ISCA_HELLO = 0xB0;

} // namespace

TSession::TSession(TBbsHost &host, double now)
    : FHost(host), FDeadline(now + GreetingWait), FLoginBy(now + LoginWait), FNow(now),
      FFiles(host.FileFolder())
{
}

void TSession::Receive(const uint8_t *data, size_t count, double now)
{
    FNow = now;
    for (size_t i = 0; i < count && !FBroken && FState != ssGone; ++i) {
        if (FUploading)
            OnUploadByte(data[i]);
        else
            OnEvent(FDecoder.Feed(data[i]));
    }
    // The greeting and the window size the client sends behind it usually come in
    // one read: the welcome screen waits for both.
    if (FStartPending && !FBroken) {
        FStartPending = false;
        StartLogin();
    }
}

void TSession::Tick(double now)
{
    FNow = now;
    if (FBroken) return;
    if (!FLoggedIn && FState != ssGone && now >= FLoginBy) {
        Leave("\r\n^rLogin timed out.^a\r\n"_c);
        return;
    }
    if (FDeadline < 0 || now < FDeadline) return;
    FDeadline = -1;
    switch (FState) {
    case ssGreeting: // nothing CLient-like arrived: a Telnet client that waits for us
        Choose(prTelnet);
        break;
    case ssNegotiating: // a client that does not answer gets the defaults
        StartLogin();
        break;
    case ssDetecting: // no ANSI terminal: plain text from now on
        FDetected = true;
        StartLogin();
        break;
    case ssGone:
        Break("did not take its last output");
        break;
    default:
        break;
    }
}

double TSession::Deadline() const
{
    if (FLoggedIn || FState == ssGone) return FDeadline;
    return FDeadline < 0 ? FLoginBy : std::min(FDeadline, FLoginBy);
}

void TSession::Break(const std::string &reason)
{
    FBroken = true;
    FBrokenReason = reason;
}

void TSession::Choose(TProto proto)
{
    FProto = proto;
    FDeadline = -1;
    if (proto == prTelnet)
        StartNegotiation();
    else
        FStartPending = true;
}

void TSession::OnEvent(const TTelnetEvent &ev)
{
    if (FState == ssGreeting && FProto == prUnknown && ev.Kind != TTelnetEvent::evNone) {
        if (ev.Kind == TTelnetEvent::evCommand && ev.Byte == CL_HELLO) {
            Choose(prOrvo);
            return;
        }
        if (ev.Kind == TTelnetEvent::evCommand && ev.Byte == CL_ISCA_HELLO) {
            Choose(prIsca);
            return;
        }
        Choose(prTelnet); // and the event counts as Telnet input
    }
    switch (ev.Kind) {
    case TTelnetEvent::evNone:
        break;
    case TTelnetEvent::evData:
        OnData(ev.Byte);
        break;
    case TTelnetEvent::evCommand:
        if (ev.Byte == CL_UPLOAD && FProto != prTelnet) {
            FUploading = true;
            FUpload.clear();
        }
        break; // the client's answers (A0, AF) and Telnet commands need nothing
    case TTelnetEvent::evOption:
        OnOption(ev.Byte, ev.Option);
        break;
    case TTelnetEvent::evSub:
        OnSub(ev.Option, ev.Sub);
        break;
    }
}

void TSession::OnOption(uint8_t verb, uint8_t option)
{
    using namespace tn;
    const uint8_t before = FAwaited;
    switch (option) {
    case ECHO: // we echo; the client must not
        if (verb == DO || verb == DONT) FAwaited &= uint8_t(~waEcho);
        if (verb == WILL) AnswerOnce(DONT, option);
        break;
    case SGA: // no go-aheads in either direction
        if (verb == DO || verb == DONT) FAwaited &= uint8_t(~waSga);
        if (verb == WILL) AnswerOnce(DO, option);
        break;
    case NAWS:
        if (FAwaited & waNaws) {
            FAwaited &= uint8_t(~waNaws);
            if (verb == WILL) FAwaited |= waSize;
        }
        break;
    case TTYPE:
        if (FAwaited & waTtype) {
            FAwaited &= uint8_t(~waTtype);
            if (verb == WILL) {
                SendRaw({IAC, SB, TTYPE, TTYPE_SEND, IAC, SE});
                FAwaited |= waTermName;
            }
        }
        break;
    case 0: // TRANSMIT-BINARY, asked for around file transfers
        FOut += FFiles.BinaryAnswer(verb);
        break;
    default: // refused
        if (verb == DO) AnswerOnce(WONT, option);
        if (verb == WILL) AnswerOnce(DONT, option);
        break;
    }
    if (FState == ssNegotiating && before != FAwaited && FAwaited == 0) StartLogin();
}

// Each option is answered once: a peer repeating a request (or flooding them)
// gets no second answer, so negotiation can never loop.
void TSession::AnswerOnce(uint8_t verb, uint8_t option)
{
    if (FAnswered[option]) return;
    FAnswered[option] = true;
    SendRaw({tn::IAC, verb, option});
}

void TSession::OnSub(uint8_t option, std::string_view sub)
{
    if (option == tn::NAWS && sub.size() >= 4) {
        const int cols = (uint8_t(sub[0]) << 8) | uint8_t(sub[1]);
        const int rows = (uint8_t(sub[2]) << 8) | uint8_t(sub[3]);
        if (cols > 0) FCols = cols;
        if (rows > 0) FRows = rows;
        FAwaited &= uint8_t(~waSize);
    } else if (option == tn::TTYPE && !sub.empty() && uint8_t(sub[0]) == tn::TTYPE_IS) {
        FAwaited &= uint8_t(~waTermName);
    } else {
        return;
    }
    if (FState == ssNegotiating && FAwaited == 0) StartLogin();
}

// ESC [ and a final byte: cursor keys, which the CLient engine does not count and
// the menu ignores. True while c belongs to such a sequence; lone is set when an
// ESC before c began none (it was a typed key).
bool TSession::SkipEscape(uint8_t c, bool &lone)
{
    lone = false;
    switch (FEscape) {
    case 0:
        if (c != 0x1b) return false;
        FEscape = 1;
        return true;
    case 1:
        if (c == '[') {
            FEscape = 2;
            return true;
        }
        FEscape = 0;
        lone = true;
        return false;
    default:
        if (c < 0x30 || c > 0x3f) FEscape = 0; // the final byte ends it
        return true;
    }
}

void TSession::OnData(uint8_t c)
{
    if (FState == ssTransfer) {
        FFiles.Input(c);
        return;
    }
    if (FProto == prTelnet) {
        OnTelnetChar(c);
        return;
    }
    if (FExpectY) { // sent by the client after its second edit, counted already
        FExpectY = false;
        return;
    }
    bool lone = false;
    if (SkipEscape(c, lone)) return;
    // Typed ahead of an edit sent with our count: the client replays it into the
    // edit and takes it off its count. A B5 edit carries no count: what was typed
    // before it stays counted, and is no command.
    if (FEditPending && FEditReplays) return;
    FCount += lone ? 2 : 1; // a lone ESC before c was typed too
    if (!FEditPending) OnKey(c);
}

void TSession::OnUploadByte(uint8_t c)
{
    FUpload.push_back(char(c));
    bool end = false;
    switch (FFrame) {
    case frLine:
        end = c == '\n';
        break;
    case frNul:
        end = c == 0;
        break;
    case frPost: // the text, then 04 and the answer to the save question
        end = FUpload.size() >= 2 && FUpload[FUpload.size() - 2] == '\x04';
        break;
    case frUnasked:
        end = c == '\n' || c == 0;
        break;
    }
    if (end)
        FinishUpload();
    else if (FUpload.size() >= MaxUpload)
        Break("upload too long");
}

void TSession::FinishUpload()
{
    FUploading = false;
    FCount += int32_t(FUpload.size());
    const bool asked = FEditPending;
    FEditPending = false;
    const TFrame frame = FFrame;
    FFrame = frUnasked;
    if (FProto == prIsca && asked && FEditsOpened == 2) {
        FExpectY = true;
        ++FCount;
    }
    if (!asked) return;

    TAnswer answer;
    std::string &text = answer.Text;
    text = FUpload;
    if (frame == frPost) {
        const char choice = char(text.back() | 0x20);
        text.resize(text.size() - 2);
        answer.Aborted = choice != 's';
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0'))
        text.pop_back();
    if (frame == frNul && (text == "ABORT" || text.empty())) answer.Aborted = true;
    OnAnswer(answer);
}

// Telnet: keys, or a line edited here and echoed, since the server does the echo.
void TSession::OnTelnetChar(uint8_t c)
{
    if (FState == ssDetecting) return OnDetectByte(c);
    if (FState == ssGreeting || FState == ssNegotiating) return;
    bool lone = false;
    if (SkipEscape(c, lone)) return;
    const bool afterCr = FAfterCr;
    FAfterCr = c == '\r';
    if (afterCr && (c == '\n' || c == 0)) return; // the second half of CR LF or CR NUL
    if (c == '\n') c = '\r';
    if (FInput == inKey) {
        OnKey(c);
        return;
    }
    if (c == '\r') {
        Say("\r\n");
        const std::string line = FLine;
        FLine.clear();
        if (FInput == inLine) {
            FInput = inKey;
            OnAnswer({line, false});
            return;
        }
        // A text: an empty line (or a full one) ends it.
        if (!line.empty()) FText += line + "\n";
        if (line.empty() || FText.size() >= TBoard::MaxText ||
            std::count(FText.begin(), FText.end(), '\n') >= 50) {
            FInput = inKey;
            std::string text = FText;
            while (!text.empty() && text.back() == '\n')
                text.pop_back();
            OnAnswer({text, text.empty()});
        } else {
            Say("^f^c>^a "_c);
        }
        return;
    }
    if (c == 8 || c == 127) {
        if (!FLine.empty()) {
            FLine.pop_back();
            Say("\b \b");
        }
        return;
    }
    if (c < 32 || c == tn::IAC || FLine.size() >= FLineMax) return;
    FLine.push_back(char(c));
    const char echo[2] = {FMasked ? '*' : char(c), 0};
    Say(echo);
}

void TSession::Say(std::string_view text)
{
    if (FBroken) return;
    if (FProto != prTelnet)
        FOut += ClientText(text);
    else
        FOut += FAnsi ? TelnetText(text) : PlainTelnetText(text);
    if (FOut.size() > MaxOutput) Break("not reading its output");
}

void TSession::SendRaw(std::initializer_list<uint8_t> bytes)
{
    if (FBroken) return;
    for (uint8_t b : bytes)
        FOut.push_back(char(b));
    if (FOut.size() > MaxOutput) Break("not reading its output");
}

// A CLient edit. Its parameters are read raw by the client, which takes a 0xFF among
// them for an IAC: a count that would contain one is reset first.
void TSession::OpenEdit(uint8_t command, uint8_t p, TFrame frame)
{
    const auto hasFF = [](int32_t n) {
        return (n & 0xFF) == 0xFF || ((n >> 8) & 0xFF) == 0xFF || ((n >> 16) & 0xFF) == 0xFF;
    };
    if (FCount < 0 || FCount > 0xFFFFFF || hasFF(FCount)) {
        SendRaw({tn::IAC, CL_COUNT_RESET});
        FCount = 1;
    }
    SendRaw({tn::IAC, command, p, uint8_t(FCount >> 16), uint8_t(FCount >> 8), uint8_t(FCount)});
    FEditPending = true;
    FEditReplays = true;
    FFrame = frame;
    ++FEditsOpened;
}

void TSession::StartLine(size_t max, bool masked)
{
    FInput = inLine;
    FLine.clear();
    FLineMax = max;
    FMasked = masked;
}

void TSession::AskName(std::string_view prompt)
{
    Say(prompt);
    if (FProto == prTelnet)
        StartLine(20, false);
    else
        OpenEdit(0xA3, 0, frLine);
}

void TSession::AskPassword()
{
    Say("^f^gPassword: ^a"_c);
    if (FProto == prTelnet)
        StartLine(16, true);
    else
        OpenEdit(0xA2, 0xF0, frLine); // -16: sixteen characters, masked
}

void TSession::AskText(bool longText, std::string_view prompt)
{
    Say(prompt);
    if (FProto != prTelnet) {
        OpenEdit(longText ? 0xA5 : 0xA4, 0, longText ? frPost : frNul);
        return;
    }
    Say("^g(an empty line ends the text)^a\r\n^f^c>^a "_c);
    FText.clear();
    FInput = inText;
    FLine.clear();
    FLineMax = 78;
    FMasked = false;
}

void TSession::AskProfile()
{
    TUser *user = FHost.Board().FindUser(FName);
    const std::string old = user ? user->Profile : std::string();
    if (FProto == prTelnet) {
        Say("^g"_c
            "Your profile now:^a\r\n"_c +
            Body(old.empty() ? "(empty)" : old) + "\r\n");
        AskText(false, "^f^wYour new profile:^a\r\n"_c);
        return;
    }
    // The client edits the text block; it takes the count from its own side.
    Say("^f^wEdit your profile:^a\r\n"_c);
    FOut += std::string("\xff\xb3") + ClientText(old) + "\xff\xb4\xff\xb5";
    FEditPending = true;
    FEditReplays = false;
    FFrame = frNul;
    ++FEditsOpened;
}

} // namespace demobbs
