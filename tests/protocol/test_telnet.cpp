#include "protocol/Telnet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Hex(const uint8_t *Buf, int Count)
{
    std::string s;
    for (int i = 0; i < Count; ++i) {
        char h[4];
        std::snprintf(h, sizeof h, i ? " %02X" : "%02X", Buf[i]);
        s += h;
    }
    return s;
}

// Records every event in one ordered log: "S:FF FB 1F", "T:text", "D:trace".
struct Recorder
{
    TTelnetStateMachine Engine;
    std::vector<std::string> Log;

    Recorder()
    {
        Engine.Cols = 80;
        Engine.Rows = 25;
        Engine.OnSocketOut = [this](TTelnetStateMachine *Sender, const uint8_t *Buf, int32_t Count) {
            EXPECT_EQ(Sender, &Engine);
            Log.push_back("S:" + Hex(Buf, Count));
        };
        Engine.OnTerminalOut = [this](TTelnetStateMachine *Sender, const char *Buf) {
            EXPECT_EQ(Sender, &Engine);
            Log.push_back(std::string("T:") + Buf);
        };
        Engine.OnDebug = [this](TTelnetStateMachine *Sender, const std::string &s) {
            EXPECT_EQ(Sender, &Engine);
            Log.push_back("D:" + s);
        };
    }

    // Feeds one read; the buffer carries the NUL the engine relies on.
    void Recv(std::vector<uint8_t> Bytes)
    {
        const auto n = static_cast<uint16_t>(Bytes.size());
        Bytes.push_back(0);
        Engine.ProcessInput(Bytes.data(), n);
    }

    std::vector<std::string> Only(char Kind) const
    {
        std::vector<std::string> r;
        for (const auto &e : Log)
            if (e[0] == Kind) r.push_back(e.substr(2));
        return r;
    }
    std::vector<std::string> Sent() const { return Only('S'); }
    std::string Text() const
    {
        std::string s;
        for (const auto &t : Only('T'))
            s += t;
        return s;
    }
};

using Strings = std::vector<std::string>;

TEST(TelnetEngine, TerminalTypeIsAnsweredWhateverTheSubnegotiationSays)
{
    Recorder r;
    r.Recv({0xFF, 0xFD, 0x18});
    EXPECT_EQ(r.Sent(), Strings{"FF FB 18"});
    r.Log.clear();
    r.Recv({0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0});
    EXPECT_EQ(r.Sent(), Strings{"FF FA 18 00 61 6E 73 69 FF F0"});
    EXPECT_EQ(r.Only('D'), (Strings{"\nMode: IAC", " SUB", "\nMode: IAC", " SE Terminal Type",
                                    " (IAC SUB Terminal_Type ANSI IAC SE)", "\nMode: Data"}));
    r.Log.clear();
    r.Recv({0xFF, 0xFA, 0x18, 0x00, 0xFF, 0xF0});
    EXPECT_EQ(r.Sent(), Strings{"FF FA 18 00 61 6E 73 69 FF F0"});
}

TEST(TelnetEngine, StatusAnswersOnlySend)
{
    Recorder r;
    r.Recv({0xFF, 0xFD, 0x05});
    r.Recv({0xFF, 0xFA, 0x05, 0x01, 0xFF, 0xF0});
    r.Recv({0xFF, 0xFA, 0x05, 0x00, 0xFF, 0xF0});
    r.Recv({0xFF, 0xFA, 0x05, 0xFF, 0xF0}); // too short to hold a SEND
    EXPECT_EQ(r.Sent(), (Strings{"FF FB 05", "FF FA 05 00 FF F0"}));
    const Strings Debug = r.Only('D');
    EXPECT_EQ(std::count(Debug.begin(), Debug.end(), " (IAC SUB Status IS IAC SE)"), 1);
}

TEST(TelnetEngine, DoNawsSendsSizeReportWithTracesInOrder)
{
    Recorder r;
    r.Recv({0xFF, 0xFD, 0x1F});
    EXPECT_EQ(r.Log,
              (Strings{"D:\nMode: IAC", "D: DO", "D: NAWS", "S:FF FB 1F", "D: (IAC WILL NAWS)",
                       "S:FF FA 1F 00 50 00 19 FF F0", "D: (IAC SUB NAWS ... IAC SE)", "D:\nMode: Data"}));
    EXPECT_TRUE(r.Engine.OptionActive(telnet::OPT_NAWS));

    // Sent again after a resize while active; nothing once the server said DONT.
    r.Log.clear();
    r.Engine.Cols = 132;
    r.Engine.Rows = 50;
    r.Engine.SendWindowSize();
    EXPECT_EQ(r.Sent(), Strings{"FF FA 1F 00 84 00 32 FF F0"});
    r.Log.clear();
    r.Recv({0xFF, 0xFE, 0x1F});
    r.Engine.SendWindowSize();
    EXPECT_EQ(r.Sent(), Strings{"FF FC 1F"});
}

TEST(TelnetEngine, SizeByte255IsDoubled)
{
    Recorder r;
    r.Engine.Cols = 255;
    r.Engine.Rows = 255;
    r.Recv({0xFF, 0xFD, 0x1F});
    EXPECT_EQ(r.Sent(), (Strings{"FF FB 1F", "FF FA 1F 00 FF FF 00 FF FF FF F0"}));
}

TEST(TelnetEngine, UnsupportedOptionsAreRefusedWithTheirNames)
{
    Recorder r;
    r.Recv({0xFF, 0xFD, 0x22});
    EXPECT_EQ(r.Sent(), Strings{"FF FC 22"});
    EXPECT_EQ(r.Only('D')[2], " Linemode");
    EXPECT_EQ(r.Only('D')[3], " (IAC WONT Linemode)");
    r.Log.clear();
    r.Recv({0xFF, 0xFB, 0x22});
    EXPECT_EQ(r.Sent(), Strings{"FF FE 22"});
    r.Log.clear();
    r.Recv({0xFF, 0xFD, 0x27});
    EXPECT_EQ(r.Sent(), Strings{"FF FC 27"});
    EXPECT_EQ(r.Only('D')[2], " 39");
    EXPECT_EQ(TTelnetStateMachine::OptionName(0), " 0");
    EXPECT_EQ(TTelnetStateMachine::OptionName(255), " 255");
}

TEST(TelnetEngine, EchoNegotiationControlsLocalEcho)
{
    Recorder r;
    r.Recv({0xFF, 0xFE, 0x01}); // DONT ECHO while inactive: no answer
    EXPECT_TRUE(r.Sent().empty());
    r.Engine.SendChar('a');
    EXPECT_EQ(r.Log.back(), "T:a");

    r.Log.clear();
    r.Recv({0xFF, 0xFB, 0x01});
    EXPECT_EQ(r.Sent(), Strings{"FF FD 01"});
    r.Log.clear();
    r.Engine.SendChar('b');
    r.Engine.SendKey(VK_UP, 0);
    EXPECT_EQ(r.Log, (Strings{"S:62", "S:1B 5B 41"}));

    r.Log.clear();
    r.Recv({0xFF, 0xFC, 0x01});
    EXPECT_EQ(r.Sent(), Strings{"FF FE 01"});
    r.Log.clear();
    r.Engine.SendChar('c');
    EXPECT_EQ(r.Log, (Strings{"S:63", "T:c"}));

    // DO ECHO also silences local echo (one flag for both directions), and is
    // acknowledged each time it arrives.
    r.Log.clear();
    r.Recv({0xFF, 0xFD, 0x01, 0xFF, 0xFD, 0x01});
    EXPECT_EQ(r.Sent(), (Strings{"FF FB 01", "FF FB 01"}));
    r.Log.clear();
    r.Engine.SendChar('d');
    EXPECT_EQ(r.Log, Strings{"S:64"});
}

TEST(TelnetEngine, OtherCommandsProduceNothingAndTextAroundIsDelivered)
{
    Recorder r;
    r.Recv({'a', 0xFF, 0xF1, 'b', 0xFF, 0xF6, 'c'});
    EXPECT_TRUE(r.Sent().empty());
    EXPECT_EQ(r.Text(), "abc");
    EXPECT_EQ(r.Engine.Mode(), pmData);
}

TEST(TelnetEngine, DoubledIacDeliversNoDataByte)
{
    Recorder r;
    r.Recv({0xFF, 0xFF, 0x61, 0x62});
    EXPECT_EQ(r.Text(), "b");
    EXPECT_TRUE(r.Sent().empty());
}

TEST(TelnetEngine, NulInDataSplitsTextAndIsDropped)
{
    Recorder r;
    r.Recv({0x61, 0x62, 0x00, 0x63, 0x64});
    EXPECT_EQ(r.Only('T'), (Strings{"ab", "cd"}));
}

TEST(TelnetEngine, IacInTextIsOverwrittenInCallersBuffer)
{
    Recorder r;
    uint8_t Buf[] = {'x', 'y', 0xFF, 0xF1, 'z', 0};
    r.Engine.ProcessInput(Buf, 5);
    EXPECT_EQ(Buf[2], 0);
    EXPECT_EQ(r.Only('T'), (Strings{"xy", "z"}));
}

TEST(TelnetEngine, CommandSplitAcrossReads)
{
    Recorder whole, split;
    whole.Recv({0xFF, 0xFD, 0x1F});
    split.Recv({0xFF});
    split.Recv({0xFD, 0x1F});
    EXPECT_EQ(whole.Log, split.Log);
    EXPECT_EQ(split.Sent().size(), 2u);
}

TEST(TelnetEngine, KeysAndChars)
{
    Recorder r;
    r.Engine.SendChar(255);
    r.Engine.SendChar(13);
    EXPECT_EQ(r.Sent(), (Strings{"FF", "0D"}));
    r.Log.clear();
    r.Engine.SendKey(VK_LEFT, ssShift);
    r.Engine.SendKey(VK_UP, 0);
    r.Engine.SendKey(VK_RIGHT, ssCtrl);
    r.Engine.SendKey(VK_DOWN, 0);
    EXPECT_EQ(r.Log, (Strings{"S:1B 5B 44", "T:\x1b[D", "S:1B 5B 41", "T:\x1b[A", "S:1B 5B 43", "T:\x1b[C",
                              "S:1B 5B 42", "T:\x1b[B"}));
    r.Log.clear();
    for (uint16_t k : {VK_HOME, VK_END, VK_DELETE, VK_PRIOR, uint16_t(65)})
        r.Engine.SendKey(k, 0);
    EXPECT_TRUE(r.Log.empty());
}

TEST(TelnetEngine, EmptyReadDoesNothing)
{
    Recorder r;
    r.Recv({});
    EXPECT_TRUE(r.Log.empty());
    r.Engine.ProcessInput(nullptr, 0);
    EXPECT_TRUE(r.Log.empty());
}

TEST(TelnetEngine, ResetForgetsActiveOptionsAndState)
{
    Recorder r;
    r.Recv({0xFF, 0xFB, 0x01, 0xFF, 0xFD, 0x1F, 0xFF, 0xFA, 0x18});
    EXPECT_EQ(r.Engine.Mode(), pmSub);
    r.Log.clear();
    r.Engine.Reset();
    EXPECT_TRUE(r.Log.empty()); // no trace
    EXPECT_EQ(r.Engine.Mode(), pmData);
    EXPECT_FALSE(r.Engine.OptionActive(telnet::OPT_ECHO));
    EXPECT_EQ(r.Engine.OptionFlag(telnet::OPT_ECHO), TTelnetStateMachine::ofSupported);
    r.Engine.SendWindowSize();
    EXPECT_TRUE(r.Sent().empty());
    // The half-collected subnegotiation is gone: a stray SE answers nothing.
    r.Recv({'q', 0xFF, 0xF0});
    EXPECT_TRUE(r.Sent().empty());
    EXPECT_EQ(r.Text(), "q");
    // DONT for an option made inactive by Reset gets no answer.
    r.Recv({0xFF, 0xFE, 0x1F});
    EXPECT_TRUE(r.Sent().empty());
}

TEST(TelnetEngine, RepeatedSeDoesNotReplayTheLastSubnegotiation)
{
    Recorder r;
    r.Recv({0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0, 0xFF, 0xF0});
    EXPECT_EQ(r.Sent().size(), 1u);
    r.Log.clear();
    r.Recv({0xFF, 0xFA, 0xFF, 0xF0}); // empty subnegotiation
    EXPECT_TRUE(r.Sent().empty());
    EXPECT_EQ(r.Only('D')[3], " SE");
}

TEST(TelnetEngine, IacInsideSubnegotiationEndsCollection)
{
    Recorder r;
    // IAC IAC inside the data is not an escaped byte here: the second IAC keeps the
    // IAC state, and the SE after it completes the subnegotiation.
    r.Recv({0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xFF, 0xF0, 'k'});
    EXPECT_EQ(r.Sent(), Strings{"FF FA 18 00 61 6E 73 69 FF F0"});
    EXPECT_EQ(r.Text(), "k");
}

TEST(TelnetEngine, OverlongSubnegotiationStaysInsideBuffer)
{
    uint16_t Seen = 0;
    uint8_t Last = 0;
    struct Probe : TTelnetStateMachine
    {
        void Add(std::function<void(const uint8_t *, uint16_t)> h)
        {
            RegisterOption(200, std::move(h), nullptr);
        }
    };
    Probe p;
    p.Add([&](const uint8_t *Buf, uint16_t Length) {
        Seen = Length;
        Last = Buf[Length - 1];
    });
    std::vector<uint8_t> Bytes = {0xFF, 0xFA, 200};
    for (int i = 0; i < 10000; ++i)
        Bytes.push_back(static_cast<uint8_t>(i % 200 + 1));
    Bytes.insert(Bytes.end(), {0xFF, 0xF0, 'o', 'k'});
    std::string Text;
    p.OnTerminalOut = [&](TTelnetStateMachine *, const char *s) { Text += s; };
    const auto n = static_cast<uint16_t>(Bytes.size());
    Bytes.push_back(0);
    p.ProcessInput(Bytes.data(), n);
    EXPECT_EQ(Seen, TTelnetStateMachine::SubBufferSize);
    EXPECT_EQ(Last, static_cast<uint8_t>((TTelnetStateMachine::SubBufferSize - 2) % 200 + 1));
    EXPECT_EQ(Text, "ok");
}

TEST(TelnetEngine, FirstRegistrationWins)
{
    struct Probe : TTelnetStateMachine
    {
        int Calls = 0;
        void Register()
        {
            RegisterOption(telnet::OPT_NAWS, nullptr, [this] { ++Calls; });
        }
    };
    Probe p;
    p.Register();
    std::vector<std::string> Sent;
    p.OnSocketOut = [&](TTelnetStateMachine *, const uint8_t *b, int32_t n) { Sent.push_back(Hex(b, n)); };
    uint8_t Buf[] = {0xFF, 0xFD, 0x1F, 0};
    p.ProcessInput(Buf, 3);
    EXPECT_EQ(p.Calls, 0);
    EXPECT_EQ(Sent.size(), 2u); // WILL NAWS and the size report of the built-in handler
}

TEST(TelnetEngine, UnassignedEventsAreSkipped)
{
    TTelnetStateMachine e;
    std::vector<uint8_t> Bytes = {'h',  'i',  0xFF, 0xFD, 0x1F, 0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0,
                                  0xFF, 0xFD, 0x05, 0xFF, 0xFA, 0x05, 0x01, 0xFF, 0xF0, 0};
    e.ProcessInput(Bytes.data(), static_cast<uint16_t>(Bytes.size() - 1));
    e.SendChar('x');
    e.SendKey(VK_LEFT, 0);
    e.SendWindowSize();
    EXPECT_TRUE(e.OptionActive(telnet::OPT_NAWS));
    EXPECT_TRUE(e.OptionActive(telnet::OPT_STATUS));
    EXPECT_EQ(e.Mode(), pmData);

    // Only the socket assigned: the same bytes go out as with every event bound.
    Recorder full;
    std::vector<std::string> Sent;
    TTelnetStateMachine s;
    s.Cols = 80;
    s.Rows = 25;
    s.OnSocketOut = [&](TTelnetStateMachine *, const uint8_t *b, int32_t n) { Sent.push_back(Hex(b, n)); };
    std::vector<uint8_t> Copy = Bytes;
    s.ProcessInput(Copy.data(), static_cast<uint16_t>(Copy.size() - 1));
    full.Recv(std::vector<uint8_t>(Bytes.begin(), Bytes.end() - 1));
    EXPECT_EQ(Sent, full.Sent());
}

TEST(TelnetEngine, TextRunsEndAtIacOrNulWherever)
{
    // Runs are scanned in blocks; an IAC or NUL at any offset must end the run there.
    for (size_t Before = 0; Before < 150; ++Before)
        for (uint8_t Stop : {uint8_t(0xFF), uint8_t(0x00)}) {
            Recorder r;
            std::vector<uint8_t> Bytes(Before, 'a');
            Bytes.push_back(Stop);
            if (Stop == 0xFF) Bytes.push_back(0xF1);
            Bytes.insert(Bytes.end(), 70, 'b');
            r.Recv(Bytes);
            const Strings t = r.Only('T');
            // An IAC as the very first byte leaves no text before it to deliver.
            const Strings Expected = Before == 0 && Stop == 0xFF
                                         ? Strings{std::string(70, 'b')}
                                         : Strings{std::string(Before, 'a'), std::string(70, 'b')};
            ASSERT_EQ(t, Expected) << Before;
        }
}

TEST(TelnetEngine, FullSizeReadEnds)
{
    // 65535 bytes is the largest read: the parser must stop at its end.
    Recorder r;
    std::vector<uint8_t> Bytes(65535, 'x');
    r.Recv(Bytes);
    EXPECT_EQ(r.Text().size(), 65535u);
}

} // namespace
