// Stale handles, handler exceptions and the time-out chain.
#include "NetTestUtil.h"

#include <optional>

namespace {

intptr_t Word(int kind, int error)
{
    return kind | (error << 16);
}

struct Connected
{
    LoopbackServer Server;
    TBasicClientSocket C;
    Recorder Rec;

    Connected()
    {
        C.SetOptions({csoRead}); // no write notices in the way
        Rec.Attach(C);
        C.OnRead = [this](TSockCtrl *, TSocketBase *s) {
            Rec.Log.push_back("OnRead " + std::to_string(s->LastError()));
        };
        ConnectTo(C, Server, Rec);
        Rec.Log.clear();
    }
    int Handle() { return C.Socket()->SocketHandle(); }
};

} // namespace

TEST(SockNotices, NoticeForAStaleHandleIsIgnoredAndHandlerExceptionsAreReported)
{
    Connected k;
    const int old = k.Handle();
    k.C.Close();
    k.C.Open();
    ASSERT_TRUE(k.Rec.WaitFor("OnConnect 0"));
    ASSERT_NE(k.Handle(), old); // handles are never reused, even when the fd is
    k.Rec.Log.clear();
    k.C.PostNotice(WM_SOCKETEVENT, old, Word(seRead, 0));
    k.C.PostNotice(WM_SOCKETEVENT, old, Word(seClose, 0));
    Drain();
    EXPECT_TRUE(k.Rec.Log.empty());
    k.C.PostNotice(WM_SOCKETEVENT, k.Handle(), Word(seRead, 0));
    EXPECT_TRUE(k.Rec.WaitFor("OnRead 0"));

    // A handler's exception is reported and processing goes on.
    std::vector<std::string> reported;
    SetSockExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception &x) {
            reported.push_back(x.what());
        }
    });
    k.C.OnRead = [&](TSockCtrl *, TSocketBase *s) {
        k.Rec.Log.push_back("OnRead " + std::to_string(s->LastError()));
        RaiseSockError(0, sckNotOpen);
    };
    k.C.PostNotice(WM_SOCKETEVENT, k.Handle(), Word(seRead, 1));
    k.C.PostNotice(WM_SOCKETEVENT, k.Handle(), Word(seRead, 2));
    ASSERT_TRUE(k.Rec.WaitFor("OnRead 2"));
    EXPECT_EQ(reported, (std::vector<std::string>{"Socket not open", "Socket not open"}));
    SetSockExceptionHandler(nullptr);
}

// The time-out chain fires OnTimeOut after siTimedOut; a component destroyed before leaves
// nothing behind to fire.
TEST(SockTimeOut, ChainFiresOnTimeOutAfterTimedOutAndNothingForADestroyedComponent)
{
    auto k = std::make_unique<Connected>();
    k->Server.Write("data the socket will never read");
    k->C.PostNotice(WM_SOCKETEVENT, k->Handle(), Word(seRead, 0));
    k->C.SetTimeOut(1);
    k->C.OnTimeOut = [](TSockCtrl *, TSocketBase *) { ADD_FAILURE() << "time-out after destruction"; };
    k->C.StartTimeOut();
    k.reset(); // notifiers, posted notices and the countdown go with it

    TBasicClientSocket c;
    Recorder rec;
    rec.Attach(c);
    c.SetTimeOut(3);
    c.StartTimeOut(); // no OnTimeOut: no countdown at all
    EXPECT_FALSE(c.InTimeOutChain());

    c.OnTimeOut = [&](TSockCtrl *, TSocketBase *) { rec.Log.push_back("OnTimeOut"); };
    TBasicClientSocket other;
    other.SetTimeOut(1);
    other.OnTimeOut = [&](TSockCtrl *, TSocketBase *) { rec.Log.push_back("other OnTimeOut"); };
    other.StartTimeOut();
    other.StopTimeOut(); // leaves the chain without firing

    // One destroyed mid-count leaves the chain whole, even when a new one takes its memory.
    std::optional<TBasicClientSocket> place(std::in_place);
    place->SetTimeOut(60);
    place->OnTimeOut = [](TSockCtrl *, TSocketBase *) {};
    c.StartTimeOut(); // ends after the tick that would have fired the destroyed one
    place->StartTimeOut();
    place.reset();
    place.emplace();
    EXPECT_TRUE(c.InTimeOutChain());
    EXPECT_EQ(c.TimeLeft(), 3);
    ASSERT_TRUE(rec.WaitFor("OnTimeOut", 6000));
    EXPECT_EQ(rec.Log, (Log{"siTimedOut", "OnTimeOut"}));
    EXPECT_TRUE(c.Aborted());
    EXPECT_FALSE(c.InTimeOutChain());
}
