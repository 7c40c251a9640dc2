// The CLient engine's commands, negotiation inside collections, headers and the
// filter, the who list, edits, type-ahead and auto-login, and its buffer bounds. The
// whole-session test covers the ordinary path of each; these are the edges.

#include "tests/protocol/ClientHarness.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A one-line prompt with the given count of characters received.
std::string Prompt(int Sent, int Command = 0xA2, int P = 0x14)
{
    return B({0xFF, Command, P, 0, 0, Sent});
}

} // namespace

// ---------------------------------------------------------------------------
// Commands

TEST(CLientCommands, TypingNeverEchoesWhateverTheServerSays)
{
    TClientRig r;
    r.Recv(B({0xFF, 0xFC, 0x01})); // WONT ECHO: answered, since Echo counts as agreed
    EXPECT_EQ(Hex(r.TakeWire()), "FF FE 01");
    r.Type("a\xFF\r");
    r.Key(VK_UP);
    r.Key(VK_HOME);
    EXPECT_EQ(Hex(r.TakeWire()), "61 FF 0D 1B 5B 41");
    EXPECT_EQ(r.TakeScreen(), "");
    EXPECT_EQ(r.Engine.SentCount(), 3); // cursor keys are not counted
    r.Reset();
    EXPECT_EQ(r.Engine.SentCount(), 0);
    r.Recv(B({0xFF, 0xFE, 0x01})); // Echo is agreed again after Reset
    EXPECT_EQ(Hex(r.TakeWire()), "FF FC 01");
}

// ---------------------------------------------------------------------------
// Headers, the filter and the who list

TEST(CLientHeaders, KillNoticeInThreeTextsAndEachAuthorOnceInTheWhoList)
{
    TClientRig r;
    r.Filter.ExpressFilter = 1;
    r.Filter.Enemies.Add("Bob");
    std::vector<std::string> Texts;
    r.Engine.OnTerminalOut = [&](TTelnetStateMachine *, const char *t) {
        if (*t) Texts.push_back(t);
    };
    const std::string Ann = B({0xFF, 0xA7}) + Header(hmORVO, "ann") + B({0xFF, 0xA8});
    r.Recv(B({0xFF, 0xA7}) + Header(hmORVO, "bob") + "secret" + B({0xFF, 0xA8}) + Ann + Ann +
           B({0xFF, 0xA9}) + Header(hmORVO, "carol") + "post" + B({0xFF, 0xAA}));
    ASSERT_EQ(Texts.size(), 9u);
    EXPECT_EQ(Texts[0] + Texts[1] + Texts[2], KillNotice("bob"));
    EXPECT_EQ(Texts[1], "bob");
    EXPECT_EQ(Texts[7] + Texts[8], Header(hmORVO, "carol") + "post");
    // Posts never add their author.
    EXPECT_EQ(r.Who.Names, std::vector<std::string>{"ann"});
    // The filter keeps names as UTF-8; the BBS sends code page 437 (0x94 is an o umlaut).
    r.Filter.Enemies.Add("J\xC3\xB6rg");
    Texts.clear();
    r.Recv(B({0xFF, 0xA7}) + Header(hmORVO, "J\x94rg") + "x" + B({0xFF, 0xA8}));
    EXPECT_EQ(Texts.size(), 3u);
}

TEST(CLientHeaders, EarlyLineBreakSplitReadsAndLongNames)
{
    TClientRig r;
    r.Filter.ExpressFilter = 2; // only friends: any found author is rejected
    // The CR LF at bytes 3 and 4 is part of the line; the line ends at the next break.
    const std::string Line = "**\r\n\x01nzed\x01N here\r\n";
    r.Recv(B({0xFF, 0xA7}) + Line.substr(0, 5));
    r.Recv(Line.substr(5) + "gone" + B({0xFF, 0xA8}) + "!");
    EXPECT_EQ(r.TakeScreen(), KillNotice("zed") + "!");
    // No name found: shown unfiltered.
    r.Recv(B({0xFF, 0xA7}) + "*** broadcast message ***\n" + "text" + B({0xFF, 0xA8}));
    EXPECT_EQ(r.TakeScreen(), "*** broadcast message ***\ntext");

    TClientRig Isca(hmISCA);
    Isca.Filter.ExpressFilter = 1;
    Isca.Filter.Enemies.Add("abcdefghijklmnopqrst");
    Isca.Recv(B({0xFF, 0xA7}) + "Message from abcdefghijklmnopqrstuvwxyz at 10:00\r" + "t" + B({0xFF, 0xA8}));
    EXPECT_EQ(Isca.TakeScreen(), KillNotice("abcdefghijklmnopqrst"));
}

TEST(CLientHeaders, NameExtraction)
{
    using E = TCLientStateMachine;
    const std::pair<const char *, const char *> Marked[] = {
        {"xx\x01nbob\x01N yy\r", "bob"},
        {"\x01nabcdefghijklmnopqrst\x01N", "abcdefghijklmnopqrst"},
        {"\x01nabcdefghijklmnopqrstu\x01N", ""}, // the closing marker is not within 22 bytes
        {"\x01nbob no marker\r", ""},
        {"Msg\x04joe                 \r", "joe"},
        {"From\rjoe  \n", "joe"}, // ends at a control byte, blanks trimmed
        {"Msg\x04joe\r\n", "joe"},
        {"\x01nbo\x01rb\x01N", "bob"}, // colour codes inside are dropped
        {"plain line\n", ""},
    };
    for (auto [Line, Name] : Marked)
        EXPECT_EQ(E::ExtractMarkedName(Line), Name) << Line;
    const std::pair<const char *, const char *> From[] = {
        {"Message from bob at 10:00\r", "bob"},
        {"Message from \x1b[32mbob at 1\r", "bob"},
        {"Message from \x1b[32mbob\x1b[0m at 1\r", "bob"}, // " at " first, then the escape goes
        {"Message from b\x1b[1mo\x01gb  at 1\r", "bob"},
        {"Message from bob:\r", "bob"},
        {"Message from \x1b[3", ""},
        {"Message from \r", ""},
        {"Message by bob\r", ""},
    };
    for (auto [Line, Name] : From)
        EXPECT_EQ(E::ExtractFromName(Line), Name) << Line;
}

TEST(CLientWhoList, LinesEndAtLineFeedsAndTheListIsClearedFirst)
{
    TClientRig r;
    r.Who.Add("old");
    const std::string List =
        "\x01nann\x01N  idle\r\n" + std::string("\x01nbo\rb\x01N\n") + "\x01nann\x01N again\n";
    r.Recv(B({0xFF, 0xB7}) + List + "\x01ncid\x01N" + B({0xFF, 0xB8}) + "after");
    EXPECT_EQ(r.TakeScreen(), List + "\x01ncid\x01N" + "after"); // the last line needs no LF
    EXPECT_EQ(r.Who.Names, (std::vector<std::string>{"ann", "bo", "cid"}));
}

TEST(CLientBounds, OverlongCollectionsEndEarlyWithoutLoss)
{
    TClientRig r;
    // A header line without a break, longer than the buffer: taken as complete when
    // the buffer is full, the rest shown as ordinary text.
    const std::string Long(40000, 'h');
    r.Recv(B({0xFF, 0xA7}) + Long.substr(0, 30000));
    r.Recv(Long.substr(30000) + "\r\n" + B({0xFF, 0xA8}));
    EXPECT_EQ(r.TakeScreen(), Long + "\r\n");
    // A who-list line likewise; its marked name still counts.
    const std::string WhoLine = "\x01nw\x01N" + std::string(40000, 'w') + "\n";
    r.Recv(B({0xFF, 0xB7}) + WhoLine.substr(0, 32000));
    r.Recv(WhoLine.substr(32000) + B({0xFF, 0xB8}));
    EXPECT_EQ(r.TakeScreen(), WhoLine);
    EXPECT_EQ(r.Who.Names, std::vector<std::string>{"w"});
    // A name is found only when its whole mark fits in the line's buffer: at the edge
    // exactly, the who list gets it and an enemy's header is killed; one byte further,
    // neither.
    r.Filter.ExpressFilter = 1;
    r.Filter.Enemies.Add("zed");
    const size_t Room = TCLientStateMachine::CollectBufferSize - 1;
    for (const size_t Over : {0, 1}) {
        const std::string Line = std::string(Room - 7 + Over, 'f') + "\x01nzed\x01N\r\n";
        r.Who.Clear();
        r.Recv(B({0xFF, 0xB7}) + Line + B({0xFF, 0xB8}));
        EXPECT_EQ(r.Who.Names, Over ? std::vector<std::string>{} : std::vector<std::string>{"zed"});
        EXPECT_EQ(r.TakeScreen(), Line);
        r.Recv(B({0xFF, 0xA7}) + Line + "text" + B({0xFF, 0xA8}));
        EXPECT_EQ(r.TakeScreen(), Over ? Line + "text" : KillNotice("zed")) << Over;
    }
    // A text block keeps its first 32767 bytes, a subnegotiation its first 4096.
    r.Recv(B({0xFF, 0xB3}) + std::string(32000, 't'));
    r.Recv(std::string(32000, 'u') + B({0xFF, 0xB4}));
    EXPECT_EQ(r.Engine.TextBlockLength(), 32767);
    r.Recv(B({0xFF, 0xFA, 0x18}) + std::string(9000, 's') + B({0xFF, 0xF0}) + "z");
    EXPECT_EQ(r.TakeScreen(), "z");
}

std::string ExpressHeader(const std::string &name)
{
    return "\r\n*** Message from \x01n" + name + "\x01N at 12:00 ***\r\n";
}

// The engine's express-message event: accepted messages only, with author and text.
TEST(CLientHeaders, ExpressEventForAcceptedMessagesOnlyWithTheirText)
{
    TClientRig r;
    r.Filter.ExpressFilter = 1;
    r.Filter.Enemies.Add("bob");
    std::vector<std::pair<std::string, std::string>> got;
    r.Engine.OnExpressMessage = [&](const std::string &a, const std::string &t) { got.emplace_back(a, t); };
    const std::string screenBefore = [&] {
        TClientRig plain;
        plain.Recv(B({0xFF, 0xA7}) + ExpressHeader("ann") + "hi there\r\nline 2" + B({0xFF, 0xA8}));
        return plain.TakeScreen();
    }();
    // Split reads, a killed message, a post and a message cut short by a reset.
    r.Recv(B({0xFF, 0xA7}) + ExpressHeader("ann") + "hi th");
    r.Recv("ere\r\nline 2" + B({0xFF, 0xA8}));
    EXPECT_EQ(r.TakeScreen(), screenBefore); // the terminal sees the same bytes as without a listener
    r.Recv(B({0xFF, 0xA7}) + ExpressHeader("bob") + "go away" + B({0xFF, 0xA8}));
    r.Recv(B({0xFF, 0xA9}) + ExpressHeader("carol") + "a post" + B({0xFF, 0xAA}));
    r.Recv(B({0xFF, 0xA7}) + ExpressHeader("dan") + "lost");
    r.Reset();
    r.Recv(B({0xFF, 0xA8}) + B({0xFF, 0xA7}) + "*** an unsigned notice ***\nx" + B({0xFF, 0xA8}));
    // The header line ends at its CR; the LF after it is the first byte of the text.
    const std::vector<std::pair<std::string, std::string>> want = {{"ann", "\nhi there\r\nline 2"},
                                                                   {"", "x"}};
    EXPECT_EQ(got, want);
}

// ---------------------------------------------------------------------------
// The send log, edits, type-ahead and auto-login

TEST(CLientEdits, TypeAheadWindow)
{
    struct TCase
    {
        int Typed, N;
        const char *Replayed;
        int SentAfter;
    };
    for (TCase c : {TCase{10, 8, "ij", 8}, TCase{200, 198, "qr", 198}, TCase{10, 10, "", 10},
                    TCase{10, 11, "", 10}, TCase{300, 10, "", 300}, TCase{266, 10, "", 10}}) {
        TClientRig r;
        for (int i = 0; i < c.Typed; ++i)
            r.Type(std::string(1, char('a' + i % 26)));
        r.Recv(Prompt(c.N));
        EXPECT_EQ(r.Edit.Text(), c.Replayed) << c.Typed << " " << c.N;
        EXPECT_EQ(r.Engine.SentCount(), c.SentAfter) << c.Typed << " " << c.N;
    }
}

TEST(CLientEdits, ReplayThatEndsTheEditSendsTheRestAsTyping)
{
    TClientRig r;
    r.Type("ab\rcd");
    r.TakeWire();
    r.Recv(Prompt(0));
    // a, b and Enter finish the prompt; c and d, in their order, go out as typing.
    EXPECT_EQ(Hex(r.TakeWire()), "FF A1 61 62 0A 63 64");
    EXPECT_FALSE(r.Engine.EditMode());
    EXPECT_EQ(r.Engine.SentCount(), 5);
    EXPECT_EQ(r.EditStates, (std::vector<int>{1, 0}));
}

TEST(CLientEdits, AutoLoginAnswersFromTheHostOfTheConnection)
{
    for (const bool autoLogin : {true, false}) {
        TClientRig r(hmORVO, [&](THostSettings &h) { h.AutoLogin = autoLogin, h.Password = "pw"; });
        r.Recv(Prompt(0));
        EXPECT_EQ(r.Edit.Text(), ""); // no login name: the first edit is left to the user
        r.Type("me\r");
        r.Recv(Prompt(3));
        EXPECT_EQ(r.Engine.EditMode(), !autoLogin); // without AutoLogin no password
        EXPECT_EQ(Hex(r.TakeWire()), autoLogin ? "FF A1 6D 65 0A FF A1 70 77 0A" : "FF A1 6D 65 0A");
    }
}

TEST(CLientEdits, TextBlockWithoutItsEndIsEditedAsFarAsItCame)
{
    TClientRig r;
    r.Recv(B({0xFF, 0xB3}) + "a much longer old block" + B({0xFF, 0xB4}));
    r.Recv(B({0xFF, 0xB3}) + "new" + B({0xFF, 0xB5}));
    EXPECT_EQ(r.Edit.Text(), "new");
}

TEST(CLientEdits, ServerTextDuringAnEditAndANestedOpenCommand)
{
    TClientRig r;
    r.Recv(Prompt(0));
    r.Type("ok");
    // Text reaches the terminal; a second open command while editing shows its bytes.
    r.Recv("news" + B({0xFF, 0xA3, 0x41, 0x42, 0x43, 0x44, 0xFF, 0xA8}) + "!");
    EXPECT_EQ(r.TakeScreen(), "newsABCD!");
    r.Type("\r");
    EXPECT_EQ(Hex(r.TakeWire()), "FF A1 6F 6B 0A");
    EXPECT_EQ(r.EditStates, (std::vector<int>{1, 0}));
}

TEST(CLientEdits, ATextBlockOverAnOpenEditLooksTheSameWhereverTheReadEnds)
{
    const std::string Output = "xy" + B({0xFF, 0xB3}) + "t" + B({0xFF, 0xB4, 0xFF, 0xB5}) + "z";
    std::string Whole;
    for (size_t Cut = 0; Cut <= Output.size(); ++Cut) {
        TClientRig r;
        r.Recv("Name: " + Prompt(0));
        r.Type("ok");
        r.Recv(Output.substr(0, Cut));
        r.Recv(Output.substr(Cut));
        const std::string Seen =
            r.VisibleText() + std::to_string(r.Tty.CursorX) + "," + std::to_string(r.Tty.CursorY);
        EXPECT_EQ(Seen, Cut ? Whole : Seen) << Cut;
        Whole = Cut ? Whole : Seen;
    }
}

TEST(CLientEdits, ResetUploadsAnEmptyEditInTwoWritesAndForgetsAPendingIac)
{
    TClientRig r;
    r.Recv(Prompt(0, 0xA5, 0));
    r.Recv(B({0xFF}));
    r.Writes.clear();
    r.Reset();
    EXPECT_EQ(r.Writes, (std::vector<std::string>{"\xFF\xA1", ""}));
    EXPECT_FALSE(r.Engine.EditMode());
    EXPECT_EQ(r.Engine.EditCount(), 0);
    // The IAC left pending by the broken connection does not reach the next one.
    r.Recv("A");
    EXPECT_EQ(r.TakeScreen(), "A");
}

TEST(CLientEdits, FailingSocketOutputLeavesNoEditHalfClosed)
{
    TClientRig r;
    r.Recv(Prompt(0));
    r.Type("a");
    r.Engine.OnSocketOut = [](TTelnetStateMachine *, const uint8_t *, int32_t) {
        throw std::runtime_error("connection lost");
    };
    EXPECT_THROW(r.Engine.SendChar('\r'), std::runtime_error);
    r.Deliver();
    EXPECT_FALSE(r.Engine.EditMode());
    EXPECT_EQ(r.Engine.Mode(), cmData);
    EXPECT_EQ(r.EditStates, (std::vector<int>{1, 0}));
}

TEST(CLientEdits, EditFinishedByItsCarriedWordIsUploaded)
{
    TClientRig r;
    r.Recv(Prompt(0, 0xA6, 0x10));
    r.Type("one two three fo");
    ASSERT_FALSE(r.Engine.EditMode()); // the full line went up, "fo" carried
    r.TakeWire();
    r.Recv(Prompt(r.Engine.SentCount(), 0xA6, 0x01));
    EXPECT_EQ(r.Engine.EditMode(), r.Edit.IsOpen());
    EXPECT_EQ(r.TakeWire().substr(0, 2), "\xFF\xA1");
    EXPECT_EQ(r.EditStates, (std::vector<int>{1, 0, 1, 0}));
}
