#include "protocol/Telnet.h"

#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace telnet;

TTelnetStateMachine::TTelnetStateMachine()
{
    SetMode(pmData);
    RegisterOption(OPT_ECHO, nullptr, nullptr);
    RegisterOption(OPT_SGA, nullptr, nullptr);
    RegisterOption(
        OPT_STATUS, [this](const uint8_t *buf, uint16_t length) { StatusReply(buf, length); }, nullptr);
    RegisterOption(OPT_TIMING_MARK, nullptr, nullptr);
    RegisterOption(
        OPT_TERMINAL_TYPE, [this](const uint8_t *buf, uint16_t length) { TerminalTypeReply(buf, length); },
        nullptr);
    RegisterOption(OPT_NAWS, nullptr, [this] { SendSizeReport(); });
}

TTelnetStateMachine::~TTelnetStateMachine() = default;

void TTelnetStateMachine::DoSocketOut(const uint8_t *buf, int32_t bufCount)
{
    if (OnSocketOut) OnSocketOut(this, buf, bufCount);
}

void TTelnetStateMachine::DoTerminalOut(const char *buf)
{
    if (OnTerminalOut) OnTerminalOut(this, buf);
}

void TTelnetStateMachine::DoDebug(const std::string &debugStr)
{
    if (OnDebug) OnDebug(this, debugStr);
}

void TTelnetStateMachine::SetMode(TParserMode newMode)
{
    static const char *const traces[] = {"\nMode: Data", "\nMode: IAC", " DO", " DONT",
                                         " WILL",        " WONT",       " SUB"};
    FParserMode = newMode;
    if (OnDebug) DoDebug(traces[newMode]);
}

void TTelnetStateMachine::Reset()
{
    FParserMode = pmData;
    for (auto &f : FOptionFlags)
        f &= static_cast<uint8_t>(~ofActive);
    FSubLength = 0;
    FDataSink = nullptr; // a transfer does not outlive its connection
    FBinaryUs = FBinaryHim = TBinary::Off;
}

void TTelnetStateMachine::RegisterOption(uint8_t option, TSubHandler subHandler, TEnableHandler enableHandler)
{
    if (FOptionFlags[option] != 0) return;
    FOptionFlags[option] = ofSupported;
    FSubHandlers[option] = std::move(subHandler);
    FEnableHandlers[option] = std::move(enableHandler);
}

std::string TTelnetStateMachine::OptionName(uint8_t option)
{
    switch (option) {
    case OPT_ECHO:
        return " Echo";
    case OPT_SGA:
        return " SGA";
    case OPT_STATUS:
        return " Status";
    case OPT_TIMING_MARK:
        return " Timing Mark";
    case OPT_TERMINAL_TYPE:
        return " Terminal Type";
    case OPT_NAWS:
        return " NAWS";
    case OPT_LINEMODE:
        return " Linemode";
    default:
        return " " + std::to_string(option);
    }
}

void TTelnetStateMachine::SendCommand(uint8_t command, uint8_t option)
{
    if (FFraming == TFraming::Raw) return;
    const uint8_t bytes[3] = {IAC, command, option};
    DoSocketOut(bytes, 3);
    const char *verb = nullptr;
    switch (command) {
    case WILL:
        verb = " (IAC WILL";
        break;
    case WONT:
        verb = " (IAC WONT";
        break;
    case DO:
        verb = " (IAC DO";
        break;
    case DONT:
        verb = " (IAC DONT";
        break;
    default:
        return;
    }
    if (OnDebug) DoDebug(verb + OptionName(option) + ")");
}

int TTelnetStateMachine::WindowSizeReport(uint8_t cols, uint8_t rows, uint8_t *out)
{
    int n = 0;
    out[n++] = IAC;
    out[n++] = SB;
    out[n++] = OPT_NAWS;
    for (uint8_t v : {cols, rows}) {
        out[n++] = 0;
        out[n++] = v;
        if (v == IAC) // a data byte 255 inside a subnegotiation must be doubled
            out[n++] = IAC;
    }
    out[n++] = IAC;
    out[n++] = SE;
    return n;
}

void TTelnetStateMachine::SendSizeReport()
{
    uint8_t bytes[11];
    DoSocketOut(bytes, WindowSizeReport(Cols, Rows, bytes));
    DoDebug(" (IAC SUB NAWS ... IAC SE)");
}

void TTelnetStateMachine::SendWindowSize()
{
    if (OptionActive(OPT_NAWS)) SendSizeReport();
}

void TTelnetStateMachine::StatusReply(const uint8_t *buf, uint16_t length)
{
    if (length < 2 || buf[1] != 1) // only SEND is answered
        return;
    static const uint8_t reply[] = {IAC, SB, OPT_STATUS, 0, IAC, SE};
    DoSocketOut(reply, sizeof reply);
    DoDebug(" (IAC SUB Status IS IAC SE)");
}

void TTelnetStateMachine::TerminalTypeReply(const uint8_t *, uint16_t)
{
    uint8_t reply[16] = {IAC, SB, OPT_TERMINAL_TYPE, 0};
    const size_t n = std::strlen(TerminalType);
    std::memcpy(reply + 4, TerminalType, n);
    reply[4 + n] = IAC;
    reply[5 + n] = SE;
    DoSocketOut(reply, static_cast<int32_t>(n + 6));
    DoDebug(" (IAC SUB Terminal_Type ANSI IAC SE)");
}

uint8_t TTelnetStateMachine::CursorKeyFinal(uint16_t key)
{
    switch (key) {
    case VK_LEFT:
        return 'D';
    case VK_UP:
        return 'A';
    case VK_RIGHT:
        return 'C';
    case VK_DOWN:
        return 'B';
    default:
        return 0;
    }
}

void TTelnetStateMachine::SendKey(uint16_t key, TShiftState)
{
    const uint8_t final = CursorKeyFinal(key);
    if (!final) return;
    const char seq[4] = {27, '[', static_cast<char>(final), 0};
    DoSocketOut(reinterpret_cast<const uint8_t *>(seq), 3);
    if (LocalEcho()) DoTerminalOut(seq);
}

void TTelnetStateMachine::SendChar(uint8_t ch)
{
    DoSocketOut(&ch, 1);
    if (LocalEcho()) {
        const char text[2] = {static_cast<char>(ch), 0};
        DoTerminalOut(text);
    }
}

void TTelnetStateMachine::AnswerOption(TParserMode state, uint8_t option)
{
    if (option == OPT_BINARY && AnswerBinary(state)) return;
    uint8_t &flag = FOptionFlags[option];
    switch (state) {
    case pmDo:
    case pmWill:
        if (flag != 0) {
            SendCommand(state == pmDo ? WILL : DO, option);
            flag |= ofActive;
            if (FEnableHandlers[option]) FEnableHandlers[option]();
        } else {
            SendCommand(state == pmDo ? WONT : DONT, option);
        }
        break;
    case pmDont:
    case pmWont:
        if (flag & ofActive) {
            SendCommand(state == pmDont ? WONT : DONT, option);
            flag &= static_cast<uint8_t>(~ofActive);
        }
        break;
    default:
        break;
    }
}

// Binary mode is ours only while a transfer runs; outside one the option is refused as
// any unsupported one. A request we made is not answered again when it is granted, so
// the negotiation cannot loop.
bool TTelnetStateMachine::AnswerBinary(TParserMode state)
{
    const bool ours = state == pmDo || state == pmDont; // DO and DONT are about what we send
    TBinary &side = ours ? FBinaryUs : FBinaryHim;
    if (state == pmDo || state == pmWill) {
        if (!FDataSink) return false;
        if (side == TBinary::Off) SendCommand(ours ? WILL : DO, OPT_BINARY);
        side = TBinary::On;
        return true;
    }
    if (side == TBinary::On) SendCommand(ours ? WONT : DONT, OPT_BINARY);
    side = TBinary::Off;
    return true;
}

void TTelnetStateMachine::BeginBinary(TDataOutEvent sink)
{
    FDataSink = std::move(sink);
    if (FBinaryUs == TBinary::Off) {
        FBinaryUs = TBinary::Asked;
        SendCommand(WILL, OPT_BINARY);
    }
    if (FBinaryHim == TBinary::Off) {
        FBinaryHim = TBinary::Asked;
        SendCommand(DO, OPT_BINARY);
    }
}

void TTelnetStateMachine::EndBinary()
{
    FDataSink = nullptr;
    // Also a request still unanswered is withdrawn: its late grant is then refused.
    if (FBinaryUs != TBinary::Off) SendCommand(WONT, OPT_BINARY);
    if (FBinaryHim != TBinary::Off) SendCommand(DONT, OPT_BINARY);
    FBinaryUs = FBinaryHim = TBinary::Off;
}

void TTelnetStateMachine::SendData(const uint8_t *buf, size_t count)
{
    if (FFraming == TFraming::Raw) {
        if (count > 0) DoSocketOut(buf, static_cast<int32_t>(count));
        return;
    }
    // One write: pieces split at each IAC would each wait for the peer's delayed ACK.
    std::vector<uint8_t> out;
    out.reserve(count + count / 64 + 8);
    for (size_t i = 0; i < count; ++i) {
        out.push_back(buf[i]);
        if (buf[i] == IAC) out.push_back(IAC);
    }
    if (!out.empty()) DoSocketOut(out.data(), static_cast<int32_t>(out.size()));
}

void TTelnetStateMachine::CollectSub(uint8_t c)
{
    // Past the buffer the excess is dropped; collection goes on until SE, so the
    // handler sees the first SubBufferSize bytes.
    if (FSubLength < SubBufferSize) FSubBuffer[FSubLength++] = c;
}

void TTelnetStateMachine::FinishSub()
{
    // An SE without collected bytes (stray, or repeated) has no option to answer.
    if (FSubLength == 0) return;
    const uint16_t length = FSubLength;
    FSubLength = 0;
    if (const TSubHandler &Handler = FSubHandlers[FSubBuffer[0]]) Handler(FSubBuffer.data(), length);
}

size_t TTelnetStateMachine::TextRun(const uint8_t *buf, size_t limit)
{
    size_t n = 0;
#if defined(__SSE2__)
    const __m128i Zero = _mm_setzero_si128();
    const __m128i Ones = _mm_set1_epi8(static_cast<char>(0xFF));
    auto hits = [&](size_t at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(buf + at));
        return _mm_or_si128(_mm_cmpeq_epi8(v, Zero), _mm_cmpeq_epi8(v, Ones));
    };
    // Long text runs are the common case: test 64 bytes at a time, then find the byte.
    while (n + 64 <= limit) {
        const __m128i h =
            _mm_or_si128(_mm_or_si128(hits(n), hits(n + 16)), _mm_or_si128(hits(n + 32), hits(n + 48)));
        if (_mm_movemask_epi8(h) != 0) break;
        n += 64;
    }
    while (n + 16 <= limit) {
        const int mask = _mm_movemask_epi8(hits(n));
        if (mask != 0) return n + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        n += 16;
    }
#endif
    while (n < limit && buf[n] != 0 && buf[n] != IAC)
        ++n;
    return n;
}

bool TTelnetStateMachine::DeliverText(uint8_t *buf, size_t &i, size_t count)
{
    const size_t end = i + TextRun(buf + i, count - i);
    const bool atIac = end < count && buf[end] == IAC;
    if (atIac) buf[end] = 0;
    DoTerminalOut(reinterpret_cast<const char *>(buf + i));
    // At a NUL (or the end) the caller's increment steps over it; a transfer that took
    // over during the text gets that NUL as data.
    i = end;
    if (!atIac && end < count && FDataSink) --i;
    return atIac;
}

bool TTelnetStateMachine::DeliverData(uint8_t *buf, size_t &i, size_t count)
{
    // Doubled IACs are made single in place, so a run reaches the sink in one piece.
    size_t in = i, out = i;
    for (;;) {
        const void *iac = std::memchr(buf + in, IAC, count - in);
        const size_t at = iac ? static_cast<size_t>(static_cast<const uint8_t *>(iac) - buf) : count;
        if (out != in) std::memmove(buf + out, buf + in, at - in);
        out += at - in;
        in = at;
        if (at + 1 >= count || buf[at + 1] != IAC) break;
        buf[out++] = IAC;
        in = at + 2;
    }
    if (out > i) {
        const TDataOutEvent sink = FDataSink; // the sink may end the binary path
        sink(this, buf + i, out - i);
    }
    i = in; // the caller's increment steps over the IAC
    return in < count;
}

void TTelnetStateMachine::DeliverByte(uint8_t c)
{
    if (FDataSink) {
        const TDataOutEvent sink = FDataSink;
        sink(this, &c, 1);
        return;
    }
    const char text[2] = {static_cast<char>(c), 0};
    DoTerminalOut(text);
}

void TTelnetStateMachine::DeliverRaw(uint8_t *buf, size_t count)
{
    for (size_t i = 0; i < count;) {
        if (FDataSink) {
            const TDataOutEvent sink = FDataSink;
            sink(this, buf + i, count - i);
            return;
        }
        const size_t n = strnlen(reinterpret_cast<const char *>(buf + i), count - i);
        DoTerminalOut(reinterpret_cast<const char *>(buf + i));
        i += n;
        // A NUL is nothing on the screen, but a transfer begun by the text takes it as data.
        if (i < count && !FDataSink) ++i;
    }
}

void TTelnetStateMachine::ProcessInput(uint8_t *buf, uint16_t count)
{
    if (FFraming == TFraming::Raw) {
        DeliverRaw(buf, count);
        return;
    }
    // The index is wider than Count: a 16-bit one would wrap after a full 65535-byte read.
    for (size_t i = 0; i < count; ++i) {
        const uint8_t c = buf[i];
        if (c == IAC) {
            if (FParserMode == pmIAC) { // doubled: one data byte 255
                if (FIacInSub) {
                    CollectSub(c);
                    SetMode(pmSub);
                } else {
                    SetMode(pmData);
                    DeliverByte(c);
                }
                continue;
            }
            FIacInSub = FParserMode == pmSub;
            SetMode(pmIAC);
            continue;
        }
        switch (FParserMode) {
        case pmData:
            if (FDataSink ? DeliverData(buf, i, count) : DeliverText(buf, i, count)) {
                FIacInSub = false;
                SetMode(pmIAC);
            }
            break;
        case pmIAC:
            switch (c) {
            case SE:
                DoDebug(FSubLength ? " SE" + OptionName(FSubBuffer[0]) : std::string(" SE"));
                FinishSub();
                SetMode(pmData);
                break;
            case SB:
                SetMode(pmSub);
                FSubLength = 0;
                break;
            case WILL:
                SetMode(pmWill);
                break;
            case WONT:
                SetMode(pmWont);
                break;
            case DO:
                SetMode(pmDo);
                break;
            case DONT:
                SetMode(pmDont);
                break;
            default: // other commands are ignored
                SetMode(pmData);
                break;
            }
            break;
        case pmDo:
        case pmDont:
        case pmWill:
        case pmWont:
            if (OnDebug) DoDebug(OptionName(c));
            AnswerOption(FParserMode, c);
            SetMode(pmData);
            break;
        case pmSub:
            CollectSub(c);
            break;
        default:
            break;
        }
    }
}
