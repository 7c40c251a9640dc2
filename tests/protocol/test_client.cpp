// The CLient engine's commands, negotiation inside collections, headers and the
// filter, the who list, edits, type-ahead and auto-login, and its buffer bounds.

#include "tests/protocol/ClientHarness.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const std::string OptionsNotice = "\n\n\x01"
                                  "a\x01"
                                  "f\x01"
                                  "wTo configure the client use the \x01"
                                  "rOptions \x01"
                                  "wMenu!\n";

// An ORVO header line naming Name between the colour codes n and N.
std::string MarkedHeader(const std::string &Name)
{
    return "\x01"
           "c*** Message (#1) from \x01n" +
           Name + "\x01N at 10:00 ***\r\n";
}

const std::string NawsReport = B({0xFF, 0xFA, 0x1F, 0x00, 80, 0x00, 24, 0xFF, 0xF0});

} // namespace

// ---------------------------------------------------------------------------
// Commands

TEST(CLientCommands, OptionsNoticeSkipAndIgnoredBytes)
{
    TClientRig r;
    r.Recv(B({0xFF, 0xAE, 0x01, 0xFE, 0x41, 0x42}) + "ok");
    EXPECT_EQ(r.TakeScreen(), OptionsNotice + "ok");
    EXPECT_EQ(Hex(r.TakeWire()), "FF A1 0A");
    EXPECT_EQ(r.Engine.SentCount(), 1);

    r.Recv(B({0xFF, 0xB6}) + "abcx");
    EXPECT_EQ(r.TakeScreen(), "x");

    // Unknown commands and a doubled IAC yield nothing; the byte after the IAC is
    // always the command, whatever it is.
    r.Recv("a" + B({0xFF, 0xFF}) + "b" + B({0xFF, 0xA1, 0xFF, 0xB9, 0xFF, 0x41}) + "c");
    EXPECT_EQ(r.TakeScreen(), "abc");
    EXPECT_EQ(r.TakeWire(), "");
    EXPECT_EQ(r.Engine.Mode(), pmData);

    // A NUL inside text is dropped, the text around it delivered.
    r.Recv(std::string("ab\0cd", 5));
    EXPECT_EQ(r.TakeScreen(), "abcd");
}

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

TEST(CLientCommands, NegotiationInsideCollectionsReturnsToThem)
{
    TClientRig r;
    // DO NAWS and a terminal-type subnegotiation in the middle of a header line.
    r.Recv(B({0xFF, 0xA7}) + "\x01nal" + B({0xFF, 0xFD, 0x1F}) + "ice\x01N says" +
           B({0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0}) + " hi\r\n" + "text");
    EXPECT_EQ(Hex(r.TakeWire()), Hex(B({0xFF, 0xFB, 0x1F}) + NawsReport +
                                     B({0xFF, 0xFA, 0x18, 0x00, 'a', 'n', 's', 'i', 0xFF, 0xF0})));
    EXPECT_EQ(r.TakeScreen(), "\x01nalice\x01N says hi\r\ntext");
    ASSERT_EQ(r.Who.Count(), 1);
    EXPECT_EQ(r.Who.Names[0], "alice");

    // Inside a text block, and a subnegotiation interrupted by a second SB: the
    // engine still comes back to the block, not to the inner negotiation.
    r.Recv(B({0xFF, 0xB3}) + "ab" + B({0xFF, 0xFE, 0x1F}) + "c" +
           B({0xFF, 0xFA, 0x05, 0xFF, 0xFA, 0x05, 0x01}) + B({0xFF, 0xF0}) + "d" + B({0xFF, 0xB4}) + "shown");
    EXPECT_EQ(Hex(r.TakeWire()), "FF FC 1F FF FA 05 00 FF F0");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(r.Engine.TextBlock())), "abcd");
    EXPECT_EQ(r.TakeScreen(), "shown");
}

TEST(CLientCommands, TracesOnlyIacsAndAnswers)
{
    TClientRig r;
    std::vector<std::string> Trace;
    r.Engine.OnDebug = [&](TTelnetStateMachine *, const std::string &t) { Trace.push_back(t); };
    r.Recv("a" + B({0xFF, 0xA0, 0xFF, 0xFD, 0x1F, 0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0}) + "b");
    EXPECT_EQ(Trace, (std::vector<std::string>{"\nMode: IAC", "\nMode: IAC", " (IAC WILL NAWS)",
                                               " (IAC SUB NAWS ... IAC SE)", "\nMode: IAC", "\nMode: IAC",
                                               " (IAC SUB Terminal_Type ANSI IAC SE)"}));
    EXPECT_EQ(r.TakeScreen(), "ab");
}

TEST(CLientCommands, StraySeChangesNothing)
{
    TClientRig r;
    r.Filter.PostFilter = 1;
    r.Filter.Enemies.Add("bob");
    // A negotiation while a rejected post is discarded returns to discarding ...
    r.Recv(B({0xFF, 0xA9}) + MarkedHeader("bob") + "x" + B({0xFF, 0xFD, 0x03}) + "y" + B({0xFF, 0xAA}) +
           "shown");
    EXPECT_EQ(Hex(r.TakeWire()), "FF FB 03");
    // ... but an SE without a subnegotiation does not go back there.
    r.Recv(B({0xFF, 0xF0}) + "more");
    EXPECT_EQ(r.TakeScreen(), KillNotice("bob") + "shown" + "more");
}

TEST(CLientCommands, InterruptLetsTextThroughAndResumes)
{
    TClientRig r;
    r.Filter.PostFilter = 1;
    r.Filter.Enemies.Add("bob");
    r.Recv(B({0xFF, 0xA9}) + MarkedHeader("bob") + "hidden" + B({0xFF, 0xAB}) + "shown" + B({0xFF, 0xAB}) +
           "hidden too" + B({0xFF, 0xAA}) + "after");
    EXPECT_EQ(r.TakeScreen(), KillNotice("bob") + "shown" + "after");

    // In Data, AB without a remembered state stays in Data.
    r.Recv(B({0xFF, 0xAB}) + "x" + B({0xFF, 0xFF}) + "y");
    EXPECT_EQ(r.TakeScreen(), "xy");
}

// ---------------------------------------------------------------------------
// Headers and the filter

TEST(CLientHeaders, RejectedAuthorGetsTheKillNoticeOnly)
{
    TClientRig r;
    r.Filter.ExpressFilter = 1;
    r.Filter.Enemies.Add("Bob");
    r.Recv(B({0xFF, 0xA7}) + MarkedHeader("bob") + "secret text\r\n" + B({0xFF, 0xA8}) + "hi");
    EXPECT_EQ(r.TakeScreen(), KillNotice("bob") + "hi");
    EXPECT_EQ(r.Who.Count(), 0);

    // The notice arrives in three separate texts, the name alone in the middle one.
    std::vector<std::string> Texts;
    r.Engine.OnTerminalOut = [&](TTelnetStateMachine *, const char *t) {
        if (*t) Texts.push_back(t);
    };
    r.Recv(B({0xFF, 0xA7}) + MarkedHeader("bob") + B({0xFF, 0xA8}));
    ASSERT_EQ(Texts.size(), 3u);
    EXPECT_EQ(Texts[1], "bob");
}

TEST(CLientHeaders, AcceptedExpressAddsAuthorOncePostsNever)
{
    TClientRig r;
    const std::string Msg = B({0xFF, 0xA7}) + MarkedHeader("bob") + "hello\r\n" + B({0xFF, 0xA8});
    r.Recv(Msg + Msg);
    EXPECT_EQ(r.TakeScreen(), MarkedHeader("bob") + "hello\r\n" + MarkedHeader("bob") + "hello\r\n");
    ASSERT_EQ(r.Who.Count(), 1);
    EXPECT_EQ(r.Who.Names[0], "bob");

    r.Recv(B({0xFF, 0xA9}) + MarkedHeader("carol") + "post" + B({0xFF, 0xAA}));
    EXPECT_EQ(r.Who.Count(), 1);
    EXPECT_EQ(r.TakeScreen(), MarkedHeader("carol") + "post");
}

TEST(CLientHeaders, EarlyLineBreakAndHeaderSplitAcrossReads)
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
}

TEST(CLientHeaders, IscaHeadersNameTheAuthorAfterFrom)
{
    TClientRig r(hmISCA);
    r.Filter.ExpressFilter = 1;
    r.Filter.Enemies.Add("bob");
    r.Recv(B({0xFF, 0xA7}) + "*** Message (#2) from bob at 10:02 ***\r\n" + "x" + B({0xFF, 0xA8}));
    EXPECT_EQ(r.TakeScreen(), KillNotice("bob"));
    r.Recv(B({0xFF, 0xA7}) + "Message from \x1b[32mann\x1b[0m:\r\n" + B({0xFF, 0xA8}));
    ASSERT_EQ(r.Who.Count(), 1);
    EXPECT_EQ(r.Who.Names[0], "ann");
    r.TakeScreen();
    // The marked form means nothing on an ISCA host.
    r.Recv(B({0xFF, 0xA7}) + "\x01nbob\x01N says hi\r\n" + B({0xFF, 0xA8}));
    EXPECT_EQ(r.TakeScreen(), "\x01nbob\x01N says hi\r\n");
    EXPECT_EQ(r.Who.Count(), 1);
}

TEST(CLientHeaders, NameExtraction)
{
    using E = TCLientStateMachine;
    EXPECT_EQ(E::ExtractMarkedName("xx\x01nbob\x01N yy\r"), "bob");
    EXPECT_EQ(E::ExtractMarkedName("\x01n"
                                   "abcdefghijklmnopqrst\x01N"),
              "abcdefghijklmnopqrst");
    EXPECT_EQ(E::ExtractMarkedName("\x01n"
                                   "abcdefghijklmnopqrstu\x01N"),
              ""); // the closing marker is not within 22 bytes
    EXPECT_EQ(E::ExtractMarkedName("\x01nbob no marker\r"), "");
    EXPECT_EQ(E::ExtractMarkedName("Msg\x04joe                 \r"), "joe");
    EXPECT_EQ(E::ExtractMarkedName("From\rjoe  \n"), "joe  \n"); // only blanks are trimmed
    EXPECT_EQ(E::ExtractMarkedName("plain line\n"), "");
    EXPECT_EQ(E::ExtractMarkedName(""), "");

    EXPECT_EQ(E::ExtractFromName("Message from bob at 10:00\r"), "bob");
    EXPECT_EQ(E::ExtractFromName("Message from \x1b[32mbob at 1\r"), "bob");
    EXPECT_EQ(E::ExtractFromName("Message from \x1b[32mbob\x1b[0m at 1\r"), "bob\x1b[0m"); // " at " first
    EXPECT_EQ(E::ExtractFromName("Message from bob:\r"), "bob");
    EXPECT_EQ(E::ExtractFromName("Message from \x1b[3"), "");
    EXPECT_EQ(E::ExtractFromName("Message from \r"), "");
    EXPECT_EQ(E::ExtractFromName("Message by bob\r"), "");
    EXPECT_EQ(E::ExtractFromName(" from "), "");
}

TEST(CLientHeaders, LongNamesAreCutToTwenty)
{
    TClientRig r(hmISCA);
    r.Filter.ExpressFilter = 1;
    r.Filter.Enemies.Add("abcdefghijklmnopqrst");
    r.Recv(B({0xFF, 0xA7}) + "Message from abcdefghijklmnopqrstuvwxyz at 10:00\r" + "t" + B({0xFF, 0xA8}));
    EXPECT_EQ(r.TakeScreen(), KillNotice("abcdefghijklmnopqrst"));
}

// ---------------------------------------------------------------------------
// The who list

TEST(CLientWhoList, CollectsMarkedNamesInOrvoMode)
{
    TClientRig r;
    r.Who.Add("old");
    const std::string List =
        "\x01nann\x01N  idle\r\n" + std::string("\x01nbo\rb\x01N\n") + "\x01nann\x01N again\n";
    r.Recv(B({0xFF, 0xB7}) + List + "tail" + B({0xFF, 0xB8}) + "after");
    EXPECT_EQ(r.TakeScreen(), List + "after"); // the unterminated "tail" is not a line
    ASSERT_EQ(r.Who.Count(), 2);
    EXPECT_EQ(r.Who.Names[0], "ann");
    EXPECT_EQ(r.Who.Names[1], "bo\rb");

    r.Recv(B({0xFF, 0xB7, 0xFF, 0xB8}));
    EXPECT_EQ(r.Who.Count(), 0);
}

TEST(CLientWhoList, IgnoredInIscaMode)
{
    TClientRig r(hmISCA);
    r.Who.Add("friend");
    r.Recv(B({0xFF, 0xB7}) + "\x01nann\x01N\n" + B({0xFF, 0xB8}));
    EXPECT_EQ(r.TakeScreen(), "\x01nann\x01N\n");
    ASSERT_EQ(r.Who.Count(), 1);
    EXPECT_EQ(r.Who.Names[0], "friend");
}

// ---------------------------------------------------------------------------
// Buffers never overflow

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
    ASSERT_EQ(r.Who.Count(), 1);
    EXPECT_EQ(r.Who.Names[0], "w");

    // A text block keeps its first 32767 bytes, a subnegotiation its first 4096.
    r.Recv(B({0xFF, 0xB3}) + std::string(32000, 't'));
    r.Recv(std::string(32000, 'u') + B({0xFF, 0xB4}));
    EXPECT_EQ(r.Engine.TextBlockLength(), 32767);
    r.Recv(B({0xFF, 0xFA, 0x18}) + std::string(9000, 's') + B({0xFF, 0xF0}) + "z");
    EXPECT_EQ(r.TakeScreen(), "z");
}

// ---------------------------------------------------------------------------
// The send log, edits, type-ahead and auto-login

TEST(CLientSendLog, RingKeepsTheLast256)
{
    TSendLog Log;
    for (int i = 1; i <= 257; ++i)
        Log.Add(uint8_t(i));
    EXPECT_EQ(Log.Get(0), uint8_t(257));
    EXPECT_EQ(Log.Get(1), uint8_t(256));
    EXPECT_EQ(Log.Get(255), uint8_t(2)); // the first has been overwritten
    TSendLog Fresh;
    Fresh.Add('a');
    EXPECT_EQ(Fresh.Position, 1);
    EXPECT_EQ(Fresh.Ring[1], 'a');
}

TEST(CLientEdits, TypeAheadIsReplayedOldestFirst)
{
    TClientRig r;
    r.Type("abcdefghij");
    r.TakeWire();
    r.Recv(B({0xFF, 0xA2, 0x05, 0x00, 0x00, 0x08}));
    EXPECT_TRUE(r.Engine.EditMode());
    EXPECT_EQ(r.Engine.SentCount(), 8);
    EXPECT_EQ(r.Edit.Text(), "ij");
    EXPECT_EQ(r.TakeWire(), "");
    r.Type("\r");
    EXPECT_EQ(Hex(r.TakeWire()), "FF A1 69 6A 0A");
    EXPECT_EQ(r.Engine.SentCount(), 11);
    EXPECT_EQ(r.EditStates, (std::vector<int>{1, 0}));
}

TEST(CLientEdits, TypeAheadOutsideTheWindowIsNotReplayed)
{
    struct TCase
    {
        int Typed, N, SentAfter;
    };
    for (TCase c : {TCase{10, 10, 10}, TCase{10, 11, 10}, TCase{300, 10, 300}, TCase{266, 10, 10}}) {
        TClientRig r;
        r.Type(std::string(size_t(c.Typed), 'q'));
        r.Recv(B({0xFF, 0xA2, 0x14, 0x00, 0x00, c.N}));
        EXPECT_EQ(r.Edit.Text(), "") << c.Typed << " " << c.N;
        EXPECT_EQ(r.Engine.SentCount(), c.SentAfter) << c.Typed << " " << c.N;
    }
}

TEST(CLientEdits, ReplayThatEndsTheEditSendsTheRestAsTyping)
{
    TClientRig r;
    r.Type("ab\rcd");
    r.TakeWire();
    r.Recv(B({0xFF, 0xA2, 0x14, 0x00, 0x00, 0x00}));
    // a, b and Enter finish the prompt; c and d, in their order, go out as typing.
    EXPECT_EQ(Hex(r.TakeWire()), "FF A1 61 62 0A 63 64");
    EXPECT_FALSE(r.Engine.EditMode());
    EXPECT_EQ(r.Engine.SentCount(), 5);
    EXPECT_EQ(r.EditStates, (std::vector<int>{1, 0}));
}

TEST(CLientEdits, AutoLoginReadsTheHostWhenTheEditOpens)
{
    TClientRig r;
    r.Host.AutoLogin = true; // no login name: the first edit is left to the user
    r.Host.Password = "pw";
    r.Recv(B({0xFF, 0xA2, 0x14, 0x00, 0x00, 0x00}));
    EXPECT_EQ(r.Edit.Text(), "");
    r.Host.AutoLogin = false;
    r.Type("me\r");
    r.Recv(B({0xFF, 0xA2, 0x14, 0x00, 0x00, 0x03}));
    EXPECT_TRUE(r.Engine.EditMode()); // AutoLogin cleared meanwhile: no password
    EXPECT_EQ(Hex(r.TakeWire()), "FF A1 6D 65 0A");
}

TEST(CLientEdits, TextBlockEdit)
{
    TClientRig r;
    r.Type("xyz");
    r.TakeWire();
    r.Recv(B({0xFF, 0xB3}) + "old text" + B({0xFF, 0xB4, 0xFF, 0xB5}));
    EXPECT_TRUE(r.Engine.EditMode());
    EXPECT_EQ(r.Edit.Kind(), 13);
    EXPECT_EQ(r.Edit.P(), 0xF7);
    EXPECT_EQ(r.Edit.Text(), "old text");
    EXPECT_EQ(r.Engine.SentCount(), 3); // N equals the count: nothing replayed
    r.Type("\x04"
           "a"); // no Abort offered for a text block
    EXPECT_TRUE(r.Engine.EditMode());
    r.Type("s");
    EXPECT_EQ(Hex(r.TakeWire()), Hex("\xFF\xA1old text\n" + std::string(1, '\0')));
    EXPECT_EQ(r.Engine.SentCount(), 13);
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
    r.Recv(B({0xFF, 0xA2, 0x14, 0x00, 0x00, 0x00}));
    r.Type("ok");
    // Text reaches the terminal; a second open command while editing shows its bytes.
    r.Recv("news" + B({0xFF, 0xA3, 0x41, 0x42, 0x43, 0x44, 0xFF, 0xA8}) + "!");
    EXPECT_EQ(r.TakeScreen(), "newsABCD!");
    EXPECT_EQ(r.EditStates, (std::vector<int>{1}));
    r.Type("\r");
    EXPECT_EQ(Hex(r.TakeWire()), "FF A1 6F 6B 0A");
}

TEST(CLientEdits, ResetClosesAnOpenEdit)
{
    TClientRig r;
    r.Recv(B({0xFF, 0xA5, 0x00, 0x00, 0x00, 0x00}));
    r.Type("unfinished");
    r.Reset();
    EXPECT_EQ(Hex(r.TakeWire()), Hex("\xFF\xA1unfinished"));
    EXPECT_FALSE(r.Engine.EditMode());
    EXPECT_EQ(r.Engine.SentCount(), 0);
    EXPECT_EQ(r.Engine.EditCount(), 0);
    EXPECT_EQ(r.EditStates, (std::vector<int>{1, 0}));
    // An IAC left pending by the broken connection does not reach the next one.
    r.Recv(B({0xFF}));
    r.Reset();
    r.Recv("A");
    EXPECT_EQ(r.TakeScreen(), "A");
}

TEST(CLientEdits, FailingSocketOutputLeavesNoEditHalfClosed)
{
    TClientRig r;
    r.Recv(B({0xFF, 0xA2, 0x14, 0x00, 0x00, 0x00}));
    r.Type("a");
    r.Engine.OnSocketOut = [](TTelnetStateMachine *, const uint8_t *, int32_t) {
        throw std::runtime_error("connection lost");
    };
    EXPECT_THROW(r.Engine.SendChar('\r'), std::runtime_error);
    r.Deliver();
    EXPECT_FALSE(r.Engine.EditMode());
    EXPECT_EQ(r.Engine.Mode(), pmData);
    EXPECT_EQ(r.EditStates, (std::vector<int>{1, 0}));
}

TEST(CLientEdits, EditFinishedByItsCarriedWordIsUploaded)
{
    TClientRig r;
    r.Recv(B({0xFF, 0xA6, 0x10, 0x00, 0x00, 0x00}));
    r.Type("one two three fo");
    ASSERT_FALSE(r.Engine.EditMode()); // the full line went up, "fo" carried
    r.TakeWire();
    r.Recv(B({0xFF, 0xA6, 0x01, 0x00, 0x00, uint8_t(r.Engine.SentCount())}));
    EXPECT_EQ(r.Engine.EditMode(), r.Edit.IsOpen());
    EXPECT_EQ(r.TakeWire().substr(0, 2), "\xFF\xA1");
    EXPECT_EQ(r.EditStates, (std::vector<int>{1, 0, 1, 0}));
}

TEST(CLientEdits, EmptyUploadIsTwoWrites)
{
    TClientRig r;
    r.Recv(B({0xFF, 0xA5, 0x00, 0x00, 0x00, 0x00}));
    r.Writes.clear();
    r.Reset();
    ASSERT_EQ(r.Writes.size(), 2u);
    EXPECT_EQ(Hex(r.Writes[0]), "FF A1");
    EXPECT_EQ(r.Writes[1], "");
}
