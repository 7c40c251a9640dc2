// A whole CLient session in ORVO and ISCA modes and a Telnet BBS's start: every byte on
// the wire per step, the texts for the terminal, the who list and the edit notifications;
// then the same session with each received read split at every byte boundary, and byte by
// byte: the engines and the terminal keep their state between reads.

#include "tests/protocol/ClientHarness.h"

#include <gtest/gtest.h>

namespace {

struct TStep
{
    enum TKind { Recv, Type, Key, Reset } Kind;
    std::string Bytes;
    uint16_t KeyCode = 0;
    std::string Wire; // expected on the wire during this step
};

struct TOutcome
{
    std::vector<std::string> Wire; // per step
    std::string Screen;
    std::vector<std::string> Who;
    std::vector<std::pair<size_t, int>> EditStates; // step, wParam
    std::string Visible;
    std::string Cells; // the screen and ten rows above it, with attributes; the cursor
    bool operator==(const TOutcome &) const = default;
};

std::string Count(int n)
{
    return B({0, 0, n});
}

struct TScenario
{
    std::vector<TStep> Steps;
    std::string Screen; // expected texts for the terminal, joined
    std::vector<std::string> Who;
};

TScenario MakeSession(THostMode M)
{
    const bool Isca = M == hmISCA;
    TScenario s;
    int Sent = 0;
    auto Recv = [&](std::string Bytes, std::string Wire = "") {
        s.Steps.push_back({TStep::Recv, std::move(Bytes), 0, std::move(Wire)});
    };
    auto Type = [&](std::string Bytes, std::string Wire = "") {
        s.Steps.push_back({TStep::Type, std::move(Bytes), 0, std::move(Wire)});
    };

    Recv("Welcome to the BBS\r\n" + B({0xFF, 0xA0}), B({0xFF, 0xA0}));
    // Count reset, client options (four bytes skipped), a skip of three, commands that
    // mean nothing, a doubled IAC and a NUL in text.
    Recv(B({0xFF, 0xAC, 0xFF, 0xAE, 0x01, 0xFE, 0x41, 0x42}) + "ok" + B({0xFF, 0xB6}) + "abcx" + "a" +
             B({0xFF, 0xFF}) + "b" + B({0xFF, 0xA1, 0xFF, 0xB9, 0xFF, 0x41}) + "c" + B({0, 'd'}) + "!\r\n",
         (Isca ? B({0xFF, 0xAF}) : "") + B({0xFF, 0xA1, 0x0A}));
    Sent = 2;
    // Login and password prompts, answered by auto-login.
    Recv("Name: " + B({0xFF, 0xA2, 0x14}) + Count(Sent), "\xFF\xA1guest\n");
    Sent += 6;
    Recv("Password: " + B({0xFF, 0xA2, 0xF8}) + Count(Sent), Isca ? "\xFF\xA1pw\ny" : "\xFF\xA1pw\n");
    Sent += Isca ? 4 : 3;
    // An express message from an enemy: AB lets text through and resumes discarding, so
    // does a negotiation; a stray SE after it changes nothing, nor does an AB
    // with nothing left to resume.
    Recv(B({0xFF, 0xA7}) + Header(M, "bob") + "You are a fool.\r\n" + B({0xFF, 0xAB}) + "shown" +
             B({0xFF, 0xAB}) + "x" + B({0xFF, 0xFD, 0x03}) + "y" + B({0xFF, 0xA8, 0xFF, 0xF0, 0xFF, 0xAB}) +
             "Back at the prompt.\r\n",
         B({0xFF, 0xFB, 0x03}));
    // One from someone else, with negotiation inside its header.
    const std::string Alice = Header(M, "alice");
    Recv(B({0xFF, 0xA7}) + Alice.substr(0, 5) + B({0xFF, 0xFD, 0x1F}) + Alice.substr(5, 10) +
             B({0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0}) + Alice.substr(15) + "Hi there!\r\n" + B({0xFF, 0xA8}),
         B({0xFF, 0xFB, 0x1F, 0xFF, 0xFA, 0x1F, 0, 80, 0, 24, 0xFF, 0xF0, 0xFF, 0xFA, 0x18, 0}) + "ansi" +
             B({0xFF, 0xF0}));
    // The who list.
    const std::string WhoLines = "\x01nalice\x01N   Lobby\r\n\x01ncarol\x01N   Lobby\r\n";
    Recv(B({0xFF, 0xB7}) + WhoLines + B({0xFF, 0xB8}));
    // A post edit ended with Ctrl+D.
    Recv("Message: " + B({0xFF, 0xA4, 0x00}) + Count(Sent));
    Type("hi\x04", B({0xFF, 0xA1, 'h', 'i', 0x0A, 0x00}));
    Sent += 4;
    // Type-ahead: typed before the prompt, replayed into it.
    Type("ab", "ab");
    Recv("Choice: " + B({0xFF, 0xA2, 0x14}) + Count(Sent));
    Type("c\r", "\xFF\xA1"
                "abc\n");
    Sent += 4;
    // The text block, with negotiation inside (a subnegotiation cut by a second SB),
    // edited and saved.
    Recv(B({0xFF, 0xB3}) + "Old" + B({0xFF, 0xFE, 0x1F}) + " te" +
             B({0xFF, 0xFA, 0x05, 0xFF, 0xFA, 0x05, 1}) + B({0xFF, 0xF0}) + "xt\n" +
             B({0xFF, 0xB4, 0xFF, 0xB5}),
         B({0xFF, 0xFC, 0x1F, 0xFF, 0xFA, 0x05, 0, 0xFF, 0xF0}));
    Type("\x04");
    Type("s", "\xFF\xA1Old text\n" + std::string(1, '\0'));
    Sent += 10;
    // A long edit cut short by a disconnect.
    Recv("Enter post:\r\n" + B({0xFF, 0xA5, 0x00}) + Count(Sent));
    Type("draft");
    s.Steps.push_back({TStep::Key, "", VK_LEFT, ""});
    Type("X");
    // Host output over the open edit: going on where it stopped, back at a row's start, a
    // full row.
    const std::string Output = "abc" + std::string("def\r\nab\r") + std::string(80, 'x') + "\r\nnext";
    Recv(Output);
    s.Steps.push_back({TStep::Reset, "", 0, "\377\241drafXt"});
    Recv("Bye\r\n");

    s.Screen = "Welcome to the BBS\r\n\n\n\1a\1f\1wTo configure the client use the \1rOptions \1wMenu!\n"
               "okxabcd!\r\nName: Password: " +
               KillNotice("bob") + "shownBack at the prompt.\r\n" + Header(M, "alice") + "Hi there!\r\n" +
               WhoLines + "Message: Choice: Enter post:\r\n" + Output + "Bye\r\n";
    s.Who = Isca ? std::vector<std::string>{"alice"} : std::vector<std::string>{"alice", "carol"};
    return s;
}

// A Telnet BBS's start: negotiation, colours in both notations, cursor addressing, NULs,
// commands between text, a long line that wraps, scrolling. No line is exactly as wide as
// the screen and then ended by a control byte: where such a line ends depends on whether
// its CR LF came in the same write, by the terminal's design.
TScenario TelnetSession()
{
    std::string In =
        B({0xFF, 0xFD, 0x18, 0xFF, 0xFD, 0x1F, 0xFF, 0xFB, 0x01, 0xFF, 0xFD, 0x03, 0xFF, 0xFD, 0x27});
    In += "\x1b[2J\x1b[H\x1b[1;33mWelcome\x1b[0m to \1cthe \1fBBS\1a!\r\n";
    In += B({0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0}) + "Line with a NUL" + B({0}) + "inside\r\n";
    In += "IAC commands: a" + B({0xFF, 0xF1}) + "b" + B({0xFF, 0xF6}) + "c" + B({0xFF, 0xFF}) + "xd\r\n";
    In += std::string(95, 'w') + "\r\n";
    In += "\x1b[5;10HThere\x1b[K\x1bY\x22\x25vt52\x1b[s\x1b[1A\x1b[u\tTab\x08\x08X\r\n";
    In += B({0xFF, 0xFA, 0x05, 0x01, 0xFF, 0xF0, 0xFF, 0xFD, 0x05, 0xFF, 0xFA, 0x05, 0x01, 0xFF, 0xF0});
    In += "\x1b[7m\1Rinverse\x1b[31;44m\1e blink\x1b[m\r\n";
    In += B({0xFF, 0xFE, 0x01, 0xFF, 0xFC, 0x01, 0xFF, 0xFE, 0x1F});
    for (int i = 0; i < 30; ++i)
        In += "scroll " + std::to_string(i) + "\r\n";
    In += "\1gend\x1b[";
    // Answers in order: terminal type, window size, echo, go-ahead, 39 refused, the type,
    // status (asked twice), then echo and window size off.
    const std::string Wire =
        B({0xFF, 0xFB, 0x18, 0xFF, 0xFB, 0x1F, 0xFF, 0xFA, 0x1F, 0,    80,   0,    24,   0xFF,
           0xF0, 0xFF, 0xFD, 0x01, 0xFF, 0xFB, 0x03, 0xFF, 0xFC, 0x27, 0xFF, 0xFA, 0x18, 0}) +
        "ansi" + B({0xFF, 0xF0, 0xFF, 0xFA, 0x05, 0,    0xFF, 0xF0, 0xFF, 0xFB, 0x05, 0xFF,
                    0xFA, 0x05, 0,    0xFF, 0xF0, 0xFF, 0xFC, 0x01, 0xFF, 0xFC, 0x1F});
    return {{{TStep::Recv, In, 0, Wire}}, "", {}};
}

// Runs the session; Split gives, per step, the read sizes for its received bytes
// (empty: one read).
TOutcome RunSession(THostMode M, const TScenario &s, const std::vector<std::vector<size_t>> &Split)
{
    TClientRig r(M, [](THostSettings &h) { h.AutoLogin = true, h.LoginName = "guest", h.Password = "pw"; });
    r.Filter.ExpressFilter = 1;
    r.Filter.Enemies.Add("Bob");
    TOutcome o;
    for (size_t i = 0; i < s.Steps.size(); ++i) {
        const TStep &st = s.Steps[i];
        switch (st.Kind) {
        case TStep::Recv: {
            size_t Pos = 0;
            if (i < Split.size())
                for (size_t n : Split[i]) {
                    r.Recv(st.Bytes.substr(Pos, n));
                    Pos += n;
                }
            if (Pos < st.Bytes.size()) r.Recv(st.Bytes.substr(Pos));
            break;
        }
        case TStep::Type:
            r.Type(st.Bytes);
            break;
        case TStep::Key:
            r.Key(st.KeyCode);
            break;
        case TStep::Reset:
            r.Reset();
            break;
        }
        o.Wire.push_back(r.TakeWire());
        for (int e : r.EditStates)
            o.EditStates.push_back({i, e});
        r.EditStates.clear();
    }
    o.Screen = r.Screen;
    o.Who = r.Who.Names;
    o.Visible = r.VisibleText();
    for (int y = r.Tty.ScreenTop() - 10; y < r.Tty.Rows; ++y) {
        o.Cells.append(reinterpret_cast<const char *>(r.Tty.Screen().RowChars(y)), size_t(r.Tty.Cols));
        o.Cells.append(reinterpret_cast<const char *>(r.Tty.Screen().RowAttrs(y)), size_t(r.Tty.Cols));
    }
    o.Cells += std::to_string(r.Tty.CursorX) + "," + std::to_string(r.Tty.CursorY) + "," +
               std::to_string(r.Tty.Attr);
    return o;
}

class CLientSession : public ::testing::TestWithParam<THostMode>
{
};
class ReadBoundaries : public CLientSession
{
};

std::string ModeName(const ::testing::TestParamInfo<THostMode> &p)
{
    return p.param == hmISCA ? "ISCA" : p.param == hmORVO ? "ORVO" : "Telnet";
}

} // namespace

TEST_P(CLientSession, WholeSessionByteForByte)
{
    const THostMode M = GetParam();
    const TScenario s = MakeSession(M);
    const TOutcome o = RunSession(M, s, {});
    EXPECT_EQ(o.Screen, s.Screen);
    EXPECT_EQ(o.Who, s.Who);

    // Each edit opens in the step that asked for it and closes in the one that ended it.
    const std::vector<std::pair<size_t, int>> Edits = {{2, 1},  {2, 0},  {3, 1},  {3, 0},  {7, 1},  {8, 0},
                                                       {10, 1}, {11, 0}, {12, 1}, {14, 0}, {15, 1}, {20, 0}};
    EXPECT_EQ(o.EditStates, Edits);

    // Replayed and auto-login text stays where the prompt left the cursor.
    EXPECT_NE(o.Visible.find("\nName: guestPassword: .. Message from bob"), std::string::npos) << o.Visible;
    EXPECT_NE(o.Visible.find("\nChoice: abc"), std::string::npos) << o.Visible;
}

TEST_P(ReadBoundaries, SameBytesOnTheWireAndSameOutcomeWhereverTheReadsEnd)
{
    const THostMode M = GetParam();
    const TScenario s = M == hmTelnet ? TelnetSession() : MakeSession(M);
    const TOutcome Whole = RunSession(M, s, {});
    ASSERT_EQ(Whole.Wire.size(), s.Steps.size());
    for (size_t i = 0; i < s.Steps.size(); ++i)
        EXPECT_EQ(Hex(Whole.Wire[i]), Hex(s.Steps[i].Wire)) << "step " << i;

    std::vector<std::vector<size_t>> Bytewise(s.Steps.size());
    for (size_t i = 0; i < s.Steps.size(); ++i)
        if (s.Steps[i].Kind == TStep::Recv) Bytewise[i].assign(s.Steps[i].Bytes.size(), 1);
    EXPECT_EQ(RunSession(M, s, Bytewise), Whole) << "byte by byte";

    for (size_t i = 0; i < s.Steps.size(); ++i) {
        if (s.Steps[i].Kind != TStep::Recv) continue;
        for (size_t k = 1; k < s.Steps[i].Bytes.size(); ++k) {
            std::vector<std::vector<size_t>> Split(s.Steps.size());
            Split[i] = {k};
            const TOutcome o = RunSession(M, s, Split);
            ASSERT_EQ(o, Whole) << "step " << i << " split at " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, CLientSession, ::testing::Values(hmORVO, hmISCA), ModeName);
INSTANTIATE_TEST_SUITE_P(Modes, ReadBoundaries, ::testing::Values(hmORVO, hmISCA, hmTelnet), ModeName);
