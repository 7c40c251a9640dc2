// One connection's life without a window or a socket: the session over a line the test
// drives, with a platform turned by hand. What the user would see is read from the
// listener's record.
#include "colouredit/OffLine.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "session/ManualPlatform.h"
#include "session/ManualTransport.h"
#include "session/Session.h"
#include "terminal/ColorTTY.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

const char NoFile[] = "/nonexistent/wm_session_test.ini";

struct Rig : TSessionListener
{
    THostInfo Host{NoFile};
    TClientPrefs Prefs{NoFile};
    TUserFilter Filter{NoFile};
    TColorTTY Tty;
    TManualLine Line;
    TManualPlatform *Platform = nullptr;
    std::unique_ptr<TSession> S;
    std::vector<std::string> Log; // state changes, statuses, errors, edit notices, in order

    explicit Rig(THostMode mode = hmTelnet)
    {
        Host.Mode = mode;
        Host.BBSName = "Moss";
        Host.Address = "bbs.example";
        Host.Port = "23";
        Tty.SetBufferSize(40, 80);
        Tty.SetVisibleSize(80, 24);
        Tty.Clear();
        auto p = std::make_unique<TManualPlatform>();
        Platform = p.get();
        S = std::make_unique<TSession>(TSessionStores{Host, Prefs, Filter}, Tty, *this, Line.Factory(), std::move(p));
    }
    void Up()
    {
        S->Connect();
        Line.Step(TTransportStep::Connecting);
        Line.Connected();
        Platform->RunPosted();
        Line.Sent.clear();
        Log.clear();
    }
    void Recv(const std::string &b)
    {
        Line.Receive(b);
        Platform->RunPosted();
    }
    bool Logged(const std::string &what) const { return std::find(Log.begin(), Log.end(), what) != Log.end(); }
    std::string Row(int y) const
    {
        std::string r(reinterpret_cast<const char *>(Tty.RowChars(y)), size_t(Tty.Cols));
        return r.erase(r.find_last_not_of(' ') + 1);
    }

    void SessionStateChanged(TSessionState s) override { Log.push_back("state " + std::to_string(int(s))); }
    void SessionStatus(const std::string &t) override { Log.push_back("status" + t); }
    void SessionError(const std::string &m) override { Log.push_back("error " + m); }
    void SessionEditState(bool open) override { Log.push_back(open ? "edit 1" : "edit 0"); }
};

std::vector<std::string> Rows(const Rig &r)
{
    std::vector<std::string> rows;
    for (int y = 0; y < r.Tty.Rows; ++y)
        rows.push_back(r.Row(y));
    return rows;
}

std::string State(TSessionState s)
{
    return "state " + std::to_string(int(s));
}

const std::string Prompt = "Post: \xff\xa5\x00\x00\x00\x06"s; // a long edit opens

TEST(Session, AttemptsEndAsTheUserAndTheLineSay)
{
    // Abort while the name is looked up: aborted, no error, the transport let go at once.
    Rig a;
    a.S->Connect();
    a.Line.Step(TTransportStep::LookingUp);
    EXPECT_EQ(a.Log.back(), "status Looking up bbs.example.");
    a.S->Abort();
    a.Platform->RunPosted();
    EXPECT_EQ(a.Log.back(), "status Aborted connection to bbs.example.");
    EXPECT_EQ(a.Line.LetGo, 'a');
    EXPECT_EQ(a.S->State(), TSessionState::Idle);
    EXPECT_FALSE(std::any_of(a.Log.begin(), a.Log.end(), [](auto &l) { return l.starts_with("error"); }));

    // A refused connection: the disconnect handling first, the error after it, from the
    // event loop; the next connection is not touched by it.
    Rig f;
    f.S->Connect();
    f.Line.Fail("Error 10061 (Connection refused) connecting");
    EXPECT_EQ(f.Log.back(), State(TSessionState::Idle));
    EXPECT_TRUE(f.Logged("status Disconnected from bbs.example."));
    EXPECT_FALSE(f.Logged("error Error 10061 (Connection refused) connecting"));
    f.S->Connect();
    f.Platform->RunPosted();
    EXPECT_EQ(f.Log.back(), "error Error 10061 (Connection refused) connecting");
    EXPECT_EQ(f.S->State(), TSessionState::Connecting);
    EXPECT_TRUE(f.Line.InUse());
}

TEST(Session, KeysGoOutOnlyWhileConnectedAndNeverAsIac)
{
    Rig r;
    r.S->KeyPress('a');
    r.S->KeyDown(VK_LEFT, 0);
    r.S->TypeChar('\r');
    EXPECT_EQ(r.Line.Sent, "");
    EXPECT_EQ(r.Row(0), "") << "nothing echoed while not connected";
    r.Up();
    r.S->KeyPress(0xFF); // AltGr+Space, code page 437's non-breaking space
    r.S->TypeChar('\r');
    EXPECT_EQ(r.Line.Sent, " \r\n");
    r.S->Disconnect();
    EXPECT_EQ(r.Line.LetGo, 'c');
    r.S->KeyPress('b');
    EXPECT_EQ(r.Line.Sent, " \r\n");

    // A CLient BBS takes Return as a CR alone.
    Rig c(hmORVO);
    c.Up();
    c.S->TypeChar('\r');
    EXPECT_EQ(c.Line.Sent, "\r");
}

TEST(Session, ReconnectingTellsACleanCloseFromALostLine)
{
    Rig r;
    r.Up();
    r.Line.Close(TCloseKind::Clean);
    EXPECT_TRUE(r.S->ReconnectOffered());
    EXPECT_EQ(r.S->LastClose(), TCloseKind::Clean);
    EXPECT_FALSE(r.S->ReconnectKey(false)); // any other key only withdraws the offer
    EXPECT_FALSE(r.S->ReconnectOffered());

    r.Prefs.ReconnectAutomatically = true;
    r.Up();
    r.Line.Close(TCloseKind::Lost, "Error 10054 (Connection reset by peer) recieving");
    EXPECT_EQ(r.S->LastClose(), TCloseKind::Lost);
    EXPECT_EQ(r.S->State(), TSessionState::WaitingToReconnect);
    r.Platform->RunPosted();
    EXPECT_EQ(r.Log.back(), "error Error 10054 (Connection reset by peer) recieving");
    r.Platform->Advance(r.S->ReconnectDelay()); // the countdown runs out: a new attempt
    EXPECT_EQ(r.Line.Opens, 3);
    r.Line.Fail("refused"); // an automatic attempt fails quietly and waits again
    r.Platform->RunPosted();
    EXPECT_FALSE(r.Logged("error refused"));
    EXPECT_EQ(r.S->State(), TSessionState::WaitingToReconnect);

    // The user's Connect during the countdown ends it, and its failure is the user's to read.
    r.S->Connect();
    r.Line.Fail("refused");
    r.Platform->RunPosted();
    EXPECT_TRUE(r.Logged("error refused"));
    EXPECT_EQ(r.S->State(), TSessionState::Idle);

    // A key stops a countdown and is used up by it.
    r.Up();
    r.Line.Close(TCloseKind::Lost);
    ASSERT_TRUE(r.S->ReconnectWaiting());
    EXPECT_TRUE(r.S->ReconnectKey(false));
    EXPECT_EQ(r.S->State(), TSessionState::Idle);
    EXPECT_FALSE(r.S->ReconnectKey(false));
}

TEST(Session, TextOfAnEditCutOffIsOfferedBackInTheNextOfItsKind)
{
    Rig r(hmORVO);
    r.Up();
    r.Recv(Prompt);
    ASSERT_TRUE(r.S->EditOpen());
    // A lone '*' in an edit (the BBS may be echoing) waits for the next read.
    r.Recv("*");
    EXPECT_EQ(r.Log.back(), "statusExpress message received.");
    r.Recv("z\r\n");
    const std::vector<std::string> rows = Rows(r);
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](auto &row) { return row.find("*z") != row.npos; }));
    for (char c : std::string("half a post"))
        r.S->KeyPress(uint8_t(c));
    r.Line.Close(TCloseKind::Lost);
    r.Platform->RunPosted();
    ASSERT_NE(r.S->Draft(), nullptr);
    EXPECT_EQ(r.S->Draft()->Text, "half a post");
    EXPECT_EQ(r.Line.Sent.find("half"), std::string::npos) << "nothing uploaded to a closed line";

    r.Up();
    r.Recv("Name: \xff\xa3\x00\x00\x00\x00"s); // a name edit: another kind
    EXPECT_FALSE(r.S->DraftFits());
    r.S->KeyPress('x');
    r.S->KeyPress('\r');
    r.Platform->RunPosted();
    r.Recv(Prompt);
    EXPECT_TRUE(r.S->DraftFits());
    EXPECT_EQ(r.Log.back(), "status The text you were writing when the connection ended is kept: Ctrl+Shift+R.");
    ASSERT_TRUE(r.S->RestoreDraft());
    char text[64] = {};
    r.S->OffLineEdit().GetText(text, sizeof text - 1);
    EXPECT_STREQ(text, "half a post");
    EXPECT_EQ(r.S->Draft(), nullptr);

    // A masked edit (a password) is never kept.
    r.S->KeyPress(0x04);
    r.S->KeyPress('s');
    r.Recv("\xff\xa2\xf8\x00\x00\x00"s);
    ASSERT_TRUE(r.S->InEditMode());
    r.S->KeyPress('p');
    r.Line.Close(TCloseKind::Clean);
    EXPECT_EQ(r.S->Draft(), nullptr);
}

} // namespace
