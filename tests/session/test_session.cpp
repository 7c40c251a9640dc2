// One connection's life without a window or a socket: the session over a line the test
// drives, with a platform turned by hand. What the user would see is read from the
// listener's record.
#include "tests/session/SessionRig.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

using Rig = TSessionRig;

std::string State(TSessionState s)
{
    return "state " + std::to_string(int(s));
}

const std::string Prompt = "Post: \xff\xa5\x00\x00\x00\x06"s; // a long edit opens

TEST(SessionState, EveryEventInEveryState)
{
    // Per state, where each event leads: I idle, L looking up, C connecting, O open,
    // X closing, W waiting to reconnect.
    using E = TSessionEvent;
    const E events[] = {E::Connect, E::LookUp, E::Progress, E::Opened, E::Failed,
                        E::Abort,   E::Close,  E::Closed,   E::Wait};
    const std::string letters = "ILCOXW";
    const char *const table[] = {"CIIIIIIIW", "LLCOXILLL", "CLCOXICCC",
                                 "OOOOOOXOO", "XXXXXXXIX", "CWWWWIWWW"};
    for (size_t from = 0; from < letters.size(); ++from)
        for (size_t e = 0; e < std::size(events); ++e)
            EXPECT_EQ(letters[size_t(Transition(TSessionState(from), events[e]))], table[from][e])
                << "from " << letters[from] << ", event " << e;
}

TEST(Session, AnAbortWhileTheNameIsLookedUpLetsTheLineGoWithoutAnError)
{
    Rig a;
    a->Connect(a.Host);
    a.Line.Step(TTransportStep::LookingUp);
    EXPECT_EQ(a.Log.back(), "status Looking up bbs.example.");
    a->Abort();
    a.Platform->RunPosted();
    EXPECT_EQ(a.Log.back(), "status Aborted connection to bbs.example.");
    EXPECT_EQ(a.Line.LetGo, 'a');
    EXPECT_EQ(a->State(), TSessionState::Idle);
    EXPECT_FALSE(std::any_of(a.Log.begin(), a.Log.end(), [](auto &l) { return l.starts_with("error"); }));
}

// The disconnect handling first, the error after it, from the event loop; the next
// connection is not touched by it.
TEST(Session, ARefusedConnectionIsReportedAfterItsHandling)
{
    Rig f;
    f->Connect(f.Host);
    f.Line.Fail("Error 10061 (Connection refused) connecting");
    EXPECT_EQ(f.Log.back(), State(TSessionState::Idle));
    EXPECT_TRUE(f.Logged("status Disconnected from bbs.example."));
    EXPECT_FALSE(f.Logged("error Error 10061 (Connection refused) connecting"));
    f->Connect(f.Host);
    f.Platform->RunPosted();
    EXPECT_EQ(f.Log.back(), "error Error 10061 (Connection refused) connecting");
    EXPECT_EQ(f->State(), TSessionState::Connecting);
    EXPECT_TRUE(f.Line.InUse());
}

TEST(Session, KeysAndTheGreetingGoOutOnlyWhileConnectedAndNeverAsALoneIac)
{
    Rig r;
    r->KeyPress('a');
    r->KeyDown(VK_LEFT, 0);
    r->TypeChar('\r');
    EXPECT_EQ(r.Line.Sent, "");
    EXPECT_EQ(r.Screen, "") << "nothing echoed while not connected";
    r.Tty.SetBufferSize(Rig::Scrollback, 255); // the greeting's window size doubles a 255
    r.Tty.SetVisibleSize(255, Rig::Rows);
    r->Connect(r.Host);
    r.Line.Connected();
    r.Deliver();
    EXPECT_EQ(r.Line.Sent, "\xff\xfa\x1f\x00\xff\xff\x00\x18\xff\xf0"s);
    r.Line.Sent.clear();
    r->KeyPress(0xFF); // AltGr+Space, code page 437's non-breaking space
    r->TypeChar('\r');
    EXPECT_EQ(r.Line.Sent, " \r\n");
    r->Disconnect();
    EXPECT_EQ(r.Line.LetGo, 'c');
    r->KeyPress('b');
    EXPECT_EQ(r.Line.Sent, " \r\n");
}

// A Telnet host over SSH gets the BBS's bytes as they are: no greeting, no option answer, no
// local echo, 0xFF shown and typed as itself, Return a CR alone. Telnet over TLS keeps Telnet;
// a CLient host keeps its engine (and takes Return as a CR alone).
TEST(Session, ATelnetHostOverSshIsAByteStream)
{
    const std::string naws = "\xff\xfa\x1f\x00\x50\x00\x18\xff\xf0"s;
    const struct
    {
        THostMode Mode;
        THostTransport Over;
        std::string Greeting, Typed, Answer, Row;
    } cases[] = {
        {hmTelnet, THostTransport::Ssh, "", "\xff\r", "", "a\xff\xff\xff\xfb b"},
        {hmTelnet, THostTransport::Tls, naws, " \r\n", "\xff\xfe\x20",
         "a\xff"
         "b"},
        {hmORVO, THostTransport::Ssh, "\xff\xa0" + naws, " \r", "", ""},
    };
    for (const auto &c : cases) {
        Rig r(c.Mode);
        r.Host.Transport = c.Over;
        r->Connect(r.Host);
        r.Line.Connected();
        EXPECT_EQ(r.Line.Sent, c.Greeting);
        r.Line.Sent.clear();
        r->KeyPress(0xFF);
        r->TypeChar('\r');
        EXPECT_EQ(r.Line.Sent, c.Typed);
        if (c.Mode != hmTelnet) continue;
        EXPECT_EQ(r.Screen.empty(), c.Greeting.empty()) << "a pty echoes, not we";
        r.Line.Sent.clear();
        r.Recv("a\xff\xff\xff\xfb\x20"
               "b");
        EXPECT_EQ(r.Line.Sent, c.Answer);
        EXPECT_EQ(RowTrimmed(r.Tty, r.Tty.CursorY), c.Row);
    }
}

// An ANSI-BBS host gets SyncTERM's keys and, when it asks, bracketed pastes; a classic
// Telnet host keeps the cursor keys alone.
TEST(Session, AnsiBbsHostsGetTheKeysBbsEditorsRead)
{
    Rig a, c;
    a.Host.Terminal = THostTerminal::AnsiBbs;
    a.Up();
    c.Up();
    // what each host got of Home, F5 and Left, then of Up in doorway mode and of a paste
    for (Rig *r : {&a, &c}) {
        const bool sent = (*r)->KeyDown(VK_HOME, 0) && (*r)->KeyDown(VK_F1 + 4, 0);
        (*r)->KeyDown(VK_LEFT, 0);
        EXPECT_EQ(sent, r == &a);
        r->Recv("\x1b[=255h\x1b[?2004h");
        (*r)->KeyDown(VK_UP, 0);
        (*r)->TypeText("a\r\n\x1b\nb");
    }
    EXPECT_EQ(a.Line.Sent, "\x1b[H\x1b[15~\x1b[D\0H\x1b[200~a\r\rb\x1b[201~"s);
    EXPECT_EQ(c.Line.Sent, "\x1b[D\x1b[Aa\r\n\x1b\r\nb");
}

TEST(Session, ACleanCloseOffersAReconnectThatAnyOtherKeyWithdraws)
{
    Rig r;
    r.Up();
    r.Line.Close(TCloseKind::Clean);
    EXPECT_TRUE(r->ReconnectOffered());
    EXPECT_EQ(r->LastClose(), TCloseKind::Clean);
    EXPECT_FALSE(r->ReconnectKey(false));
    EXPECT_FALSE(r->ReconnectOffered());
}

// A lost line: the error is shown, the countdown runs out into a new attempt, and an
// automatic attempt that fails waits again without a word.
TEST(Session, ALostLineCountsDownAndRetriesQuietly)
{
    Rig r;
    r.Prefs.ReconnectAutomatically = true;
    r.Up();
    r.Line.Close(TCloseKind::Lost, "Error 10054 (Connection reset by peer) recieving");
    EXPECT_EQ(r->LastClose(), TCloseKind::Lost);
    EXPECT_EQ(r->State(), TSessionState::WaitingToReconnect);
    r.Platform->RunPosted();
    EXPECT_EQ(r.Log.back(), "error Error 10054 (Connection reset by peer) recieving");
    r.Log.clear();
    r.Platform->Advance(1000); // each second of the countdown is told
    EXPECT_EQ(r.Log, std::vector<std::string>{State(TSessionState::WaitingToReconnect)});
    r.Platform->Advance(r->ReconnectDelay());
    EXPECT_EQ(r.Line.Opens, 2);
    r.Line.Fail("refused");
    r.Platform->RunPosted();
    EXPECT_FALSE(r.Logged("error refused"));
    EXPECT_EQ(r->State(), TSessionState::WaitingToReconnect);

    // The user's Connect during the countdown ends it, and its failure is the user's to read.
    r->Connect(r.Host);
    r.Line.Fail("refused");
    r.Platform->RunPosted();
    EXPECT_TRUE(r.Logged("error refused"));
    EXPECT_EQ(r->State(), TSessionState::Idle);
}

// A lone '*' in an edit (the BBS may be echoing) waits for the next read.
TEST(Session, ALoneStarInAnEditWaitsForTheNextRead)
{
    Rig r(hmORVO);
    r.Up();
    r.Recv(Prompt);
    ASSERT_TRUE(r->EditOpen());
    r.Recv("*");
    EXPECT_EQ(r.Log.back(), "statusExpress message received.");
    r.Recv("z\r\n");
    EXPECT_NE(r.Screen.find("*z"), std::string::npos);
}

TEST(Session, TextOfAnEditCutOffIsOfferedBackInTheNextOfItsKind)
{
    Rig r(hmORVO);
    r.Up();
    r.Recv(Prompt);
    ASSERT_TRUE(r->EditOpen());
    for (char c : std::string("half a post"))
        r->KeyPress(uint8_t(c));
    r.Line.Close(TCloseKind::Lost);
    r.Platform->RunPosted();
    ASSERT_NE(r->Draft(), nullptr);
    EXPECT_EQ(r->Draft()->Text, "half a post");
    EXPECT_EQ(r.Line.Sent.find("half"), std::string::npos) << "nothing uploaded to a closed line";

    r.Up();
    r.Recv("Name: \xff\xa3\x00\x00\x00\x00"s); // a name edit: another kind
    EXPECT_FALSE(r->DraftFits());
    r->KeyPress('x');
    r->KeyPress('\r');
    r.Platform->RunPosted();
    r.Recv(Prompt);
    EXPECT_TRUE(r->DraftFits());
    EXPECT_EQ(r.Log.back(),
              "status The text you were writing when the connection ended is kept: Ctrl+Shift+R.");
    ASSERT_TRUE(r->RestoreDraft());
    char text[64] = {};
    r->OffLineEdit().GetText(text, sizeof text - 1);
    EXPECT_STREQ(text, "half a post");
    EXPECT_EQ(r->Draft(), nullptr);
}

TEST(Session, AMaskedEditIsNeverKept)
{
    Rig r(hmORVO);
    r.Up();
    r.Recv("\xff\xa2\xf8\x00\x00\x00"s); // a password
    ASSERT_TRUE(r->InEditMode());
    r->KeyPress('p');
    r.Line.Close(TCloseKind::Clean);
    EXPECT_EQ(r->Draft(), nullptr);
}

} // namespace
