#include "protocol/Telnet.h"

#include <cstring>

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
        OPT_STATUS, [this](const uint8_t *Buf, uint16_t Length) { StatusReply(Buf, Length); }, nullptr);
    RegisterOption(OPT_TIMING_MARK, nullptr, nullptr);
    RegisterOption(
        OPT_TERMINAL_TYPE, [this](const uint8_t *Buf, uint16_t Length) { TerminalTypeReply(Buf, Length); },
        nullptr);
    RegisterOption(OPT_NAWS, nullptr, [this] { SendSizeReport(); });
}

TTelnetStateMachine::~TTelnetStateMachine() = default;

void TTelnetStateMachine::DoSocketOut(const uint8_t *Buf, int32_t BufCount)
{
    if (OnSocketOut) OnSocketOut(this, Buf, BufCount);
}

void TTelnetStateMachine::DoTerminalOut(const char *Buf)
{
    if (OnTerminalOut) OnTerminalOut(this, Buf);
}

void TTelnetStateMachine::DoDebug(const std::string &DebugStr)
{
    if (OnDebug) OnDebug(this, DebugStr);
}

void TTelnetStateMachine::SetMode(TParserMode NewMode)
{
    static const char *const Traces[] = {"\nMode: Data", "\nMode: IAC", " DO", " DONT",
                                         " WILL",        " WONT",       " SUB"};
    ParserMode = NewMode;
    if (OnDebug) DoDebug(Traces[NewMode]);
}

void TTelnetStateMachine::Reset()
{
    ParserMode = pmData;
    for (auto &f : OptionFlags)
        f &= static_cast<uint8_t>(~ofActive);
    SubLength = 0;
}

void TTelnetStateMachine::RegisterOption(uint8_t Option, TSubHandler SubHandler, TEnableHandler EnableHandler)
{
    if (OptionFlags[Option] != 0) return;
    OptionFlags[Option] = ofSupported;
    SubHandlers[Option] = std::move(SubHandler);
    EnableHandlers[Option] = std::move(EnableHandler);
}

std::string TTelnetStateMachine::OptionName(uint8_t Option)
{
    switch (Option) {
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
        return " " + std::to_string(Option);
    }
}

void TTelnetStateMachine::SendCommand(uint8_t Command, uint8_t Option)
{
    const uint8_t Bytes[3] = {IAC, Command, Option};
    DoSocketOut(Bytes, 3);
    const char *Verb = nullptr;
    switch (Command) {
    case WILL:
        Verb = " (IAC WILL";
        break;
    case WONT:
        Verb = " (IAC WONT";
        break;
    case DO:
        Verb = " (IAC DO";
        break;
    case DONT:
        Verb = " (IAC DONT";
        break;
    default:
        return;
    }
    if (OnDebug) DoDebug(Verb + OptionName(Option) + ")");
}

int TTelnetStateMachine::WindowSizeReport(uint8_t Cols, uint8_t Rows, uint8_t *Out)
{
    int n = 0;
    Out[n++] = IAC;
    Out[n++] = SB;
    Out[n++] = OPT_NAWS;
    for (uint8_t v : {Cols, Rows}) {
        Out[n++] = 0;
        Out[n++] = v;
        if (v == IAC) // a data byte 255 inside a subnegotiation must be doubled
            Out[n++] = IAC;
    }
    Out[n++] = IAC;
    Out[n++] = SE;
    return n;
}

void TTelnetStateMachine::SendSizeReport()
{
    uint8_t Bytes[11];
    DoSocketOut(Bytes, WindowSizeReport(Cols, Rows, Bytes));
    DoDebug(" (IAC SUB NAWS ... IAC SE)");
}

void TTelnetStateMachine::SendWindowSize()
{
    if (OptionActive(OPT_NAWS)) SendSizeReport();
}

void TTelnetStateMachine::StatusReply(const uint8_t *Buf, uint16_t Length)
{
    if (Length < 2 || Buf[1] != 1) // only SEND is answered
        return;
    static const uint8_t Reply[] = {IAC, SB, OPT_STATUS, 0, IAC, SE};
    DoSocketOut(Reply, sizeof Reply);
    DoDebug(" (IAC SUB Status IS IAC SE)");
}

void TTelnetStateMachine::TerminalTypeReply(const uint8_t *, uint16_t)
{
    static const uint8_t Reply[] = {IAC, SB, OPT_TERMINAL_TYPE, 0, 'a', 'n', 's', 'i', IAC, SE};
    DoSocketOut(Reply, sizeof Reply);
    DoDebug(" (IAC SUB Terminal_Type ANSI IAC SE)");
}

uint8_t TTelnetStateMachine::CursorKeyFinal(uint16_t Key)
{
    switch (Key) {
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

void TTelnetStateMachine::SendKey(uint16_t Key, TShiftState)
{
    const uint8_t Final = CursorKeyFinal(Key);
    if (!Final) return;
    const char Seq[4] = {27, '[', static_cast<char>(Final), 0};
    DoSocketOut(reinterpret_cast<const uint8_t *>(Seq), 3);
    if (!OptionActive(OPT_ECHO)) DoTerminalOut(Seq);
}

void TTelnetStateMachine::SendChar(uint8_t Ch)
{
    DoSocketOut(&Ch, 1);
    if (!OptionActive(OPT_ECHO)) {
        const char Text[2] = {static_cast<char>(Ch), 0};
        DoTerminalOut(Text);
    }
}

void TTelnetStateMachine::AnswerOption(TParserMode State, uint8_t Option)
{
    uint8_t &Flag = OptionFlags[Option];
    switch (State) {
    case pmDo:
    case pmWill:
        if (Flag != 0) {
            SendCommand(State == pmDo ? WILL : DO, Option);
            Flag |= ofActive;
            if (EnableHandlers[Option]) EnableHandlers[Option]();
        } else {
            SendCommand(State == pmDo ? WONT : DONT, Option);
        }
        break;
    case pmDont:
    case pmWont:
        if (Flag & ofActive) {
            SendCommand(State == pmDont ? WONT : DONT, Option);
            Flag &= static_cast<uint8_t>(~ofActive);
        }
        break;
    default:
        break;
    }
}

void TTelnetStateMachine::CollectSub(uint8_t c)
{
    // Past the buffer the excess is dropped; collection goes on until SE, so the
    // handler sees the first SubBufferSize bytes.
    if (SubLength < SubBufferSize) SubBuffer[SubLength++] = c;
}

void TTelnetStateMachine::FinishSub()
{
    // An SE without collected bytes (stray, or repeated) has no option to answer.
    if (SubLength == 0) return;
    const uint16_t Length = SubLength;
    SubLength = 0;
    if (const TSubHandler &Handler = SubHandlers[SubBuffer[0]]) Handler(SubBuffer.data(), Length);
}

size_t TTelnetStateMachine::TextRun(const uint8_t *Buf, size_t Limit)
{
    size_t n = 0;
#if defined(__SSE2__)
    const __m128i Zero = _mm_setzero_si128();
    const __m128i Ones = _mm_set1_epi8(static_cast<char>(0xFF));
    auto Hits = [&](size_t At) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(Buf + At));
        return _mm_or_si128(_mm_cmpeq_epi8(v, Zero), _mm_cmpeq_epi8(v, Ones));
    };
    // Long text runs are the common case: test 64 bytes at a time, then find the byte.
    while (n + 64 <= Limit) {
        const __m128i h =
            _mm_or_si128(_mm_or_si128(Hits(n), Hits(n + 16)), _mm_or_si128(Hits(n + 32), Hits(n + 48)));
        if (_mm_movemask_epi8(h) != 0) break;
        n += 64;
    }
    while (n + 16 <= Limit) {
        const int Mask = _mm_movemask_epi8(Hits(n));
        if (Mask != 0) return n + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(Mask)));
        n += 16;
    }
#endif
    while (n < Limit && Buf[n] != 0 && Buf[n] != IAC)
        ++n;
    return n;
}

bool TTelnetStateMachine::DeliverText(uint8_t *Buf, size_t &i, size_t Count)
{
    const size_t End = i + TextRun(Buf + i, Count - i);
    const bool AtIac = End < Count && Buf[End] == IAC;
    if (AtIac) Buf[End] = 0;
    DoTerminalOut(reinterpret_cast<const char *>(Buf + i));
    // At a NUL (or the end) the caller's increment steps over it.
    i = End;
    return AtIac;
}

void TTelnetStateMachine::ProcessInput(uint8_t *Buf, uint16_t Count)
{
    // The index is wider than Count: a 16-bit one would wrap after a full 65535-byte read.
    for (size_t i = 0; i < Count; ++i) {
        const uint8_t c = Buf[i];
        if (c == IAC) {
            SetMode(pmIAC);
            continue;
        }
        switch (ParserMode) {
        case pmData:
            if (DeliverText(Buf, i, Count)) SetMode(pmIAC);
            break;
        case pmIAC:
            switch (c) {
            case SE:
                DoDebug(SubLength ? " SE" + OptionName(SubBuffer[0]) : std::string(" SE"));
                FinishSub();
                SetMode(pmData);
                break;
            case SB:
                SetMode(pmSub);
                SubLength = 0;
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
            AnswerOption(ParserMode, c);
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
