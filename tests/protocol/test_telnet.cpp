#include "protocol/Telnet.h"
#include "tests/protocol/ClientHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
using namespace std::string_literals;

const std::string Ansi = "FF FA 18 00 61 6E 73 69 FF F0";

// Records every event in one ordered log: "S:FF FB 1F", "T:text", "D:trace".
struct Recorder
{
    TTelnetStateMachine Engine;
    Strings Log;

    Recorder()
    {
        Engine.Cols = 80;
        Engine.Rows = 25;
        Engine.OnSocketOut = [this](TTelnetStateMachine *Sender, const uint8_t *Buf, int32_t Count) {
            EXPECT_EQ(Sender, &Engine);
            Log.push_back("S:" + Hex(std::string(reinterpret_cast<const char *>(Buf), size_t(Count))));
        };
        Engine.OnTerminalOut = [this](TTelnetStateMachine *, const char *Buf) {
            Log.push_back(std::string("T:") + Buf);
        };
        Engine.OnDebug = [this](TTelnetStateMachine *, const std::string &s) { Log.push_back("D:" + s); };
    }
    // One read, with the NUL the engine relies on after it.
    void Recv(const std::string &Bytes)
    {
        std::vector<uint8_t> Buf(Bytes.begin(), Bytes.end());
        Buf.push_back(0);
        Engine.ProcessInput(Buf.data(), static_cast<uint16_t>(Bytes.size()));
    }
    Strings Only(char Kind) const
    {
        Strings r;
        for (const auto &e : Log)
            if (e[0] == Kind) r.push_back(e.substr(2));
        return r;
    }
};

struct TCase
{
    const char *Name;
    Strings Reads;
    Strings Sent, Texts;
};

TEST(TelnetEngine, AnswersAndTexts)
{
    // Reads split anywhere: the session tests' read boundaries.
    const TCase Cases[] = {
        {"terminal type, whatever the subnegotiation says",
         {"\xFF\xFD\x18", "\xFF\xFA\x18\x01\xFF\xF0", "\xFF\xFA\x18\x00\xFF\xF0"s},
         {"FF FB 18", Ansi, Ansi},
         {}},
        {"status answers SEND only",
         {"\xFF\xFD\x05", "\xFF\xFA\x05\x00\xFF\xF0"s, "\xFF\xFA\x05\x01\xFF\xF0", "\xFF\xFA\x05\xFF\xF0"},
         {"FF FB 05", "FF FA 05 00 FF F0"},
         {}},
        {"unsupported options refused",
         {"\xFF\xFD\x22\xFF\xFB\x22", "\xFF\xFD\x27"},
         {"FF FC 22", "FF FE 22", "FF FC 27"},
         {}},
        {"DO acknowledged each time", {"\xFF\xFD\x01\xFF\xFD\x01"}, {"FF FB 01", "FF FB 01"}, {}},
        {"DONT and WONT for inactive options unanswered", {"\xFF\xFE\x01\xFF\xFC\x1F"}, {}, {}},
        {"NOP and AYT", {"a\xFF\xF1\x62\xFF\xF6\x63"}, {}, {"a", "b", "c"}},
        {"doubled IAC is one data byte", {"\xFF\xFF\x61\x62"}, {}, {"\xFF", "ab"}},
        {"NUL splits the text and is dropped", {"ab\0cd"s}, {}, {"ab", "cd"}},
        {"repeated or empty SE replays nothing",
         {"\xFF\xFA\x18\x01\xFF\xF0\xFF\xF0", "\xFF\xFA\xFF\xF0"},
         {Ansi},
         {}},
        {"doubled IAC inside a subnegotiation is one of its bytes",
         {"\xFF\xFA\x18\x01\xFF\xFF\xF0k", "\xFF\xF0z"},
         {Ansi},
         {"z"}},
        {"empty read", {""}, {}, {}},
    };
    for (const TCase &c : Cases) {
        Recorder r;
        for (const auto &Read : c.Reads)
            r.Recv(Read);
        EXPECT_EQ(r.Only('S'), c.Sent) << c.Name;
        EXPECT_EQ(r.Only('T'), c.Texts) << c.Name;
        EXPECT_EQ(r.Engine.Mode(), pmData) << c.Name;
    }
}

TEST(TelnetEngine, NawsAndTracesInOrder)
{
    Recorder r;
    r.Recv("\xFF\xFD\x1F");
    EXPECT_EQ(r.Log,
              (Strings{"D:\nMode: IAC", "D: DO", "D: NAWS", "S:FF FB 1F", "D: (IAC WILL NAWS)",
                       "S:FF FA 1F 00 50 00 19 FF F0", "D: (IAC SUB NAWS ... IAC SE)", "D:\nMode: Data"}));
    // Sent again after a resize while active, a size of 255 doubled; nothing after DONT.
    r.Log.clear();
    r.Engine.Cols = 255;
    r.Engine.Rows = 50;
    r.Engine.SendWindowSize();
    r.Recv("\xFF\xFE\x1F");
    r.Engine.SendWindowSize();
    EXPECT_EQ(r.Only('S'), (Strings{"FF FA 1F 00 FF FF 00 32 FF F0", "FF FC 1F"}));
    r.Log.clear();
    r.Recv("\xFF\xFD\x27"); // an option without a name is traced by its number
    EXPECT_EQ(r.Only('D'), (Strings{"\nMode: IAC", " DO", " 39", " (IAC WONT 39)", "\nMode: Data"}));
}

TEST(TelnetEngine, EchoNegotiationControlsLocalEchoOfCharsAndKeys)
{
    Recorder r;
    r.Engine.SendChar(0xFF);
    r.Engine.SendChar('\r');
    for (uint16_t k : {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_HOME, VK_DELETE, uint16_t(65)})
        r.Engine.SendKey(k, ssShift);
    EXPECT_EQ(r.Log, (Strings{"S:FF", "T:\xFF", "S:0D", "T:\r", "S:1B 5B 44", "T:\x1b[D", "S:1B 5B 41",
                              "T:\x1b[A", "S:1B 5B 43", "T:\x1b[C", "S:1B 5B 42", "T:\x1b[B"}));
    // WILL and DO ECHO both silence it (one flag for both directions); WONT brings it back.
    for (const char *Agree : {"\xFF\xFB\x01", "\xFF\xFD\x01"}) {
        r.Recv(Agree);
        r.Log.clear();
        r.Engine.SendChar('b');
        r.Engine.SendKey(VK_UP, 0);
        EXPECT_EQ(r.Log, (Strings{"S:62", "S:1B 5B 41"}));
        r.Recv("\xFF\xFC\x01");
        r.Log.clear();
        r.Engine.SendChar('c');
        EXPECT_EQ(r.Log, (Strings{"S:63", "T:c"}));
    }
}

TEST(TelnetEngine, ResetForgetsActiveOptionsAndState)
{
    Recorder r;
    r.Recv("\xFF\xFB\x01\xFF\xFD\x1F\xFF\xFA\x18");
    r.Log.clear();
    r.Engine.Reset();
    EXPECT_TRUE(r.Log.empty()); // no trace
    EXPECT_EQ(r.Engine.OptionFlag(telnet::OPT_ECHO), TTelnetStateMachine::ofSupported);
    r.Engine.SendWindowSize();
    // The half-collected subnegotiation is gone: a stray SE answers nothing; DONT for an
    // option made inactive gets no answer.
    r.Recv("q\xFF\xF0\xFF\xFE\x1F");
    EXPECT_EQ(r.Only('S'), Strings{});
    EXPECT_EQ(r.Only('T'), Strings{"q"});
}

TEST(TelnetEngine, HandlersFirstRegistrationWinsAndOverlongSubnegotiationStaysInside)
{
    struct Probe : TTelnetStateMachine
    {
        int NawsCalls = 0;
        uint16_t Seen = 0;
        uint8_t Last = 0;
        Probe()
        {
            RegisterOption(telnet::OPT_NAWS, nullptr, [this] { ++NawsCalls; });
            RegisterOption(
                200,
                [this](const uint8_t *Buf, uint16_t Length) {
                    Seen = Length;
                    Last = Buf[Length - 1];
                },
                nullptr);
        }
    } p;
    std::string Text;
    p.OnTerminalOut = [&](TTelnetStateMachine *, const char *s) { Text += s; };
    std::vector<uint8_t> Bytes = {0xFF, 0xFD, 0x1F, 0xFF, 0xFA, 200};
    for (int i = 0; i < 10000; ++i)
        Bytes.push_back(static_cast<uint8_t>(i % 200 + 1));
    Bytes.insert(Bytes.end(), {0xFF, 0xF0, 'o', 'k', 0});
    p.ProcessInput(Bytes.data(), static_cast<uint16_t>(Bytes.size() - 1));
    EXPECT_EQ(p.NawsCalls, 0);
    EXPECT_EQ(p.Seen, TTelnetStateMachine::SubBufferSize);
    EXPECT_EQ(p.Last, static_cast<uint8_t>((TTelnetStateMachine::SubBufferSize - 2) % 200 + 1));
    EXPECT_EQ(Text, "ok");
}

TEST(TelnetEngine, BinaryPathCarriesEveryDataByteAndNegotiatesOnce)
{
    Recorder r;
    std::string Data;
    // A transfer takes over in the middle of a read, where the text run ended at a NUL.
    r.Engine.OnTerminalOut = [&](TTelnetStateMachine *, const char *t) {
        r.Log.push_back(std::string("T:") + t);
        if (std::string(t) == "go")
            r.Engine.BeginBinary([&](TTelnetStateMachine *, const uint8_t *b, size_t n) {
                Data.append(reinterpret_cast<const char *>(b), n);
            });
    };
    r.Recv("go\0x\xFF\xFFy"s);
    // Granted requests are not answered again; other options are negotiated as ever.
    r.Recv("\xFF\xFD\x00\xFF\xFB\x00\0\r\xFF\xFD\x1F\xFF\xFF\0"s);
    EXPECT_EQ(Data, "\0x\xFFy\0\r\xFF\0"s);
    EXPECT_EQ(r.Only('T'), Strings{"go"});
    EXPECT_EQ(r.Only('S'), (Strings{"FF FB 00", "FF FD 00", "FF FB 1F", "FF FA 1F 00 50 00 19 FF F0"}));
    r.Log.clear();
    const uint8_t Out[] = {1, 0xFF, 0xFF, 2, 0xFF};
    r.Engine.SendData(Out, sizeof Out);
    r.Engine.EndBinary();
    r.Recv("\xFF\xFE\0\xFF\xFC\0back"s);
    // The data in one write (pieces would each wait for the peer's delayed ACK).
    EXPECT_EQ(r.Only('S'), (Strings{"01 FF FF FF FF 02 FF FF", "FF FC 00", "FF FE 00"}));
    EXPECT_EQ(r.Only('T'), Strings{"back"});
    // Outside a transfer binary mode is refused like any unknown option.
    r.Log.clear();
    r.Recv("\xFF\xFD\x00"s);
    EXPECT_EQ(r.Only('S'), Strings{"FF FC 00"});
}

TEST(TelnetEngine, UnassignedEventsAreSkipped)
{
    auto Drive = [](Recorder &r) {
        r.Recv("hi\xFF\xFD\x1F\xFF\xFA\x18\x01\xFF\xF0\xFF\xFD\x05\xFF\xFA\x05\x01\xFF\xF0");
        r.Engine.SendChar('x');
        r.Engine.SendKey(VK_LEFT, 0);
        r.Engine.SendWindowSize();
    };
    Recorder Full, Bare;
    Bare.Engine.OnTerminalOut = nullptr;
    Bare.Engine.OnDebug = nullptr;
    Drive(Full);
    Drive(Bare);
    EXPECT_EQ(Bare.Only('S'), Full.Only('S')); // the same bytes as with every event bound
    Bare.Engine.OnSocketOut = nullptr;
    Drive(Bare);
}

TEST(TelnetEngine, TextRunsEndAtIacOrNulWhereverTheyAre)
{
    // Runs are scanned in blocks; an IAC or NUL at any offset must end the run there.
    for (size_t Before = 0; Before < 150; ++Before)
        for (const std::string &Stop : {std::string("\xFF\xF1"), "\0"s}) {
            Recorder r;
            r.Recv(std::string(Before, 'a') + Stop + std::string(70, 'b'));
            // An IAC as the very first byte leaves no text before it to deliver.
            const Strings Expected = Before == 0 && Stop[0]
                                         ? Strings{std::string(70, 'b')}
                                         : Strings{std::string(Before, 'a'), std::string(70, 'b')};
            ASSERT_EQ(r.Only('T'), Expected) << Before;
        }
    // The largest read ends: a 16-bit index would wrap after it.
    Recorder r;
    r.Recv(std::string(65535, 'x'));
    EXPECT_EQ(r.Only('T'), Strings{std::string(65535, 'x')});
}

} // namespace
