// The client socket component against small servers on 127.0.0.1: what the owner sees,
// in order, for each way a connection starts and ends.
#include "NetTestUtil.h"

#include <QEventLoop>

namespace {

// Waits, without running the event loop, until the client has n bytes to read.
void WaitPending(TBasicClientSocket &c, int n)
{
    for (int i = 0; i < 5000 && c.Socket()->BytesPending() < n; ++i)
        usleep(1000);
    ASSERT_GE(c.Socket()->BytesPending(), n);
}

// The log with each run of reads ("OnRead", "siRecv", ...) folded into one "reads": how
// many passes the data takes depends on when the peer's FIN is seen.
Log FoldReads(const Log &log)
{
    Log out;
    for (const std::string &e : log) {
        const std::string f = e == "OnRead" || e == "siRecv" ? "reads" : e;
        if (f != "reads" || out.empty() || out.back() != "reads") out.push_back(f);
    }
    return out;
}

// Each case has a listening server and a client component whose events are recorded.
struct ClientSocket : ::testing::Test
{
    LoopbackServer server;
    TBasicClientSocket c;
    Recorder rec;
    ClientSocket() { rec.Attach(c); }
};

} // namespace

TEST_F(ClientSocket, AModalDialogOpenedDuringTheLookupDoesNotHoldUpTheConnection)
{
    bool insideDialog = false, connectedInside = false;
    QObject context;
    c.OnInfo = [&](TSockCtrl *, TSockInfo code, TSocketBase *) {
        rec.Log.push_back(InfoName(code));
        if (code != siLookUp) return;
        // A dialog the user opens now (from an input or timer event) runs its own loop.
        QTimer::singleShot(1, &context, [&] {
            QEventLoop dialog;
            insideDialog = true;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
                if (rec.Has("OnConnect 0")) dialog.quit();
            });
            poll.start(5);
            QTimer::singleShot(10000, &dialog, &QEventLoop::quit);
            dialog.exec();
            connectedInside = rec.Has("OnConnect 0");
            insideDialog = false;
        });
    };
    c.SetAddress("localhost");
    c.SetPort(server.PortText());
    c.Open();
    EXPECT_EQ(rec.Log, (Log{"siLookUp"})); // Open returns while the name is looked up
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return connectedInside || (!insideDialog && rec.Has("OnConnect 0")); }, 15000));
    EXPECT_TRUE(connectedInside);
    EXPECT_EQ(rec.Log, (Log{"siLookUp", "siConnect", "siConnected", "OnConnect 0"}));
    EXPECT_EQ(c.IPAddress(), "127.0.0.1");
}

TEST_F(ClientSocket, DottedAddressSuccessSequence)
{
    c.SetAddress("127.0.0.1");
    c.SetPort(server.PortText());
    c.Open();
    EXPECT_EQ(rec.Log, (Log{"siLookUp", "siConnect"})); // Open returns before the connection
    ASSERT_TRUE(rec.WaitFor("OnConnect 0"));
    EXPECT_EQ(rec.Log, (Log{"siLookUp", "siConnect", "siConnected", "OnConnect 0"}));
    EXPECT_TRUE(c.Socket()->IsConnected());
    ASSERT_TRUE(server.Accept());

    server.Write("hello");
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.Data == "hello"; }, Patience));
    EXPECT_EQ(rec.Log, (Log{"siLookUp", "siConnect", "siConnected", "OnConnect 0", "OnRead", "siRecv"}));

    rec.Log.clear();
    EXPECT_EQ(c.Socket()->SendString("abc"), 3);
    EXPECT_EQ(c.Socket()->LastSent(), 3);
    EXPECT_EQ(rec.Log, (Log{"siSend"}));
    std::string got;
    EXPECT_TRUE(QTest::qWaitFor([&] { return (got += server.ReadSome(16)) == "abc"; }, Patience));

    EXPECT_EQ(Message([&] { c.Open(); }), "Socket Already opened");
}

TEST_F(ClientSocket, ConnectionRefusedReachesOnConnect)
{
    LoopbackServer closedPort(false);
    c.SetAddress("127.0.0.1");
    c.SetPort(closedPort.PortText());
    c.Open();
    ASSERT_TRUE(rec.WaitFor("OnConnect 10061"));
    EXPECT_EQ(rec.Log, (Log{"siLookUp", "siConnect", "OnConnect 10061"}));
    EXPECT_EQ(SockErrorMessage(c.Socket()->LastError(), sckConnecting),
              "Error 10061 (Connection refused) connecting");
    EXPECT_NE(c.Socket()->SocketHandle(), -1); // kept until Close

    rec.Log.clear();
    c.Close();
    EXPECT_EQ(rec.Log, (Log{"siClosed"}));
    EXPECT_EQ(c.Socket()->SocketHandle(), -1);
}

TEST_F(ClientSocket, CloseEndsALookupQuietlyAndAFailedOneReportsHostNotFoundAfterOpenReturned)
{
    std::string error;
    c.OnError = [&](TSockCtrl *, const ESockError &e) { error = e.what(); };
    c.SetAddress("localhost");
    c.SetPort(server.PortText());
    c.Open();
    c.Close();
    Drain();
    EXPECT_EQ(rec.Log, (Log{"siLookUp", "siClosed"}));
    EXPECT_EQ(error, "");
    EXPECT_TRUE(c.Aborted());

    rec.Log.clear();
    c.SetAddress("no-such-bbs.invalid");
    c.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !error.empty(); }, Patience));
    EXPECT_EQ(error, "Error 11001 (Host not found) finding address for host");
    EXPECT_EQ(rec.Log, (Log{"siLookUp"}));
}

TEST_F(ClientSocket, PeerCloseDrainsPendingDataThroughOnReadAndAResetSaysSo)
{
    ConnectTo(c, server, rec);
    rec.Log.clear();
    rec.ReadChunk = 4;
    server.Write("hello world");
    server.ClosePeer();
    WaitPending(c, 11);
    ASSERT_TRUE(rec.WaitFor("siClosed"));
    EXPECT_EQ(FoldReads(rec.Log), (Log{"reads", "siDisconnected", "OnDisconnect 0", "reads", "siClosed"}));
    EXPECT_EQ(rec.Data, "hello world");
    EXPECT_EQ(c.Socket()->SocketHandle(), -1);
    EXPECT_TRUE(c.Socket()->ClosedInOrder());
    Drain();
    EXPECT_EQ(rec.Log.back(), "siClosed");

    // An abortive close carries the reset.
    rec.Log.clear();
    ConnectTo(c, server, rec);
    server.ResetPeer();
    ASSERT_TRUE(rec.WaitFor("siClosed"));
    EXPECT_TRUE(rec.Has("OnDisconnect 10054"));
}

TEST_F(ClientSocket, OnDisconnectThatClosesAndReconnectsKeepsTheNewConnection)
{
    ConnectTo(c, server, rec);
    c.OnDisconnect = [&](TSockCtrl *, TSocketBase *) {
        rec.Log.push_back("OnDisconnect " + std::to_string(c.Socket()->LastError()));
        c.Close();
        c.Open();
    };
    rec.Log.clear();
    server.Write("xy");
    server.ClosePeer();
    ASSERT_TRUE(rec.WaitFor("OnConnect 0"));
    Drain();
    EXPECT_EQ(rec.Log, (Log{"OnRead", "siRecv", "siDisconnected", "OnDisconnect 0", "siClosed", "siLookUp",
                            "siConnect", "siConnected", "OnConnect 0"}));
    EXPECT_EQ(rec.Data, "xy");
    EXPECT_TRUE(c.Socket()->IsConnected());
}

// A local close hands OnRead what was pending and no OnDisconnect follows; it stops when
// OnRead reads nothing, and a flooding peer must not keep it (and the GUI thread) going.
TEST_F(ClientSocket, LocalCloseDrainsOnlyWhatWasPending)
{
    ConnectTo(c, server, rec);
    server.Write("abc");
    WaitPending(c, 3);
    rec.Log.clear();
    c.Close();
    EXPECT_EQ(rec.Log, (Log{"OnRead", "siRecv", "siClosed"}));
    EXPECT_EQ(rec.Data, "abc");
    c.Close(); // the second does nothing visible
    Drain();
    EXPECT_EQ(rec.Log, (Log{"OnRead", "siRecv", "siClosed"}));

    for (const bool flood : {false, true}) {
        server.ClosePeer();
        rec.Log.clear();
        ConnectTo(c, server, rec);
        server.Write(std::string(8192, 'a'));
        WaitPending(c, 8192);
        std::size_t calls = 0, got = 0, sent = 0;
        const std::string more(4096, 'b');
        c.OnRead = [&](TSockCtrl *, TSocketBase *s) {
            ++calls;
            if (!flood) return; // reads nothing
            char buf[1024];
            got += static_cast<std::size_t>(s->Recv(buf, sizeof buf));
            if (sent < (1u << 20)) // bounded, so a failing run still ends
                sent += static_cast<std::size_t>(std::max<ssize_t>(
                    0, ::send(server.Peer, more.data(), more.size(), MSG_DONTWAIT | MSG_NOSIGNAL)));
        };
        c.Close();
        EXPECT_EQ(flood ? got : calls, flood ? 8192u : 1u) << flood;
        EXPECT_EQ(c.Socket()->SocketHandle(), -1);
    }
}

TEST_F(ClientSocket, FailuresOutsideAConnection)
{
    char buf[8] = "x";
    EXPECT_EQ(c.Socket()->Send(buf, 1), 0);
    EXPECT_EQ(c.SendAll(buf, 1), 0);
    EXPECT_EQ(Message([&] { c.Socket()->Recv(buf, sizeof buf); }), "Socket not open");
    EXPECT_EQ(rec.Log, (Log{"siSend", "siSend", "siRecv"}));

    c.SetAddress("");
    EXPECT_EQ(Message([&] { c.Open(); }), "No address specified");
    c.SetAddress("127.0.0.1");
    SockCleanup();
    EXPECT_EQ(Message([&] { c.Open(); }), "Successful WSASTARTUP not yet performed");
    SockStartup();
    EXPECT_EQ(Message([&] { c.Open(nullptr); }), "No Socket Class Defined");
}

// Disconnect right after a large upload: every byte reaches the BBS complete and in order,
// and what the BBS answers meanwhile does not turn the close into a reset.
TEST_F(ClientSocket, FourMegabytesReachASlowReaderCompleteAndInOrderThroughTheClose)
{
    int small = 16384; // a small window, so the sender meets back-pressure
    ::setsockopt(server.Fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ConnectTo(c, server, rec);
    auto *s = dynamic_cast<TStreamSocket *>(c.Socket());
    ASSERT_NE(s, nullptr);

    std::string data(4 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    const int chunk = 65536;
    std::size_t maxQueued = 0;
    bool sendHeldBack = false;
    for (std::size_t off = 0; off < data.size(); off += chunk) {
        ASSERT_EQ(c.SendAll(data.data() + off, chunk), chunk);
        maxQueued = std::max(maxQueued, s->QueuedBytes());
        if (s->QueuedBytes() > 0 && !sendHeldBack) {
            // A plain Send may not overtake queued bytes.
            char extra = 'x';
            EXPECT_EQ(s->Send(&extra, 1), 0);
            EXPECT_EQ(s->LastError(), WSAEWOULDBLOCK);
            sendHeldBack = true;
        }
    }
    EXPECT_GT(maxQueued, 0u);
    c.Close();
    server.Write(std::string(64 << 10, 'r')); // the BBS's answer, never read by the client

    std::string got;
    bool eof = false, reset = false;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            char buf[65536];
            for (ssize_t n; (n = ::recv(server.Peer, buf, sizeof buf, MSG_DONTWAIT)) > 0;)
                got.append(buf, std::size_t(n));
            const ssize_t n = ::recv(server.Peer, buf, 1, MSG_DONTWAIT | MSG_PEEK);
            eof = n == 0;
            reset = n < 0 && errno == ECONNRESET;
            return eof || reset;
        },
        60000));
    EXPECT_FALSE(reset);
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

TEST_F(ClientSocket, UrgentDataStaysInTheStream)
{
    ConnectTo(c, server, rec);
    server.Write("\xff");
    ::send(server.Peer, "\xf2", 1, MSG_OOB); // Telnet Synch: IAC, then Data Mark as urgent data
    server.Write("after");
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.Data.size() >= 7; }, Patience));
    EXPECT_EQ(rec.Data, "\xff\xf2"
                        "after");
}
