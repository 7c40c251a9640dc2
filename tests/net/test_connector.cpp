// The connector: both address families, Happy Eyeballs, keepalive.
#include "NetTestUtil.h"

#include "net/Connector.h"

#include <netinet/tcp.h>

namespace {

// What the connector reported: a connected socket, or a failure.
struct Outcome
{
    bool Done = false, Lookup = false;
    int Fd = -1, Error = 0;
    std::string Address;
    explicit Outcome(TConnector &c)
    {
        c.OnConnected = [this](int fd, const std::string &address) {
            Done = true;
            Fd = fd;
            Address = address;
        };
        c.OnFailed = [this](int error, bool lookup) {
            Done = true;
            Error = error;
            Lookup = lookup;
        };
    }
    ~Outcome()
    {
        if (Fd >= 0) ::close(Fd);
    }
};

int Option(int fd, int level, int name)
{
    int v = 0;
    socklen_t len = sizeof v;
    ::getsockopt(fd, level, name, &v, &len);
    return v;
}

} // namespace

// Which address wins when a name gives both families and only some of them answer; a
// cancelled attempt reports nothing.
TEST(Connector, FirstAddressToAnswerWins)
{
    LoopbackServer both4, only4, refused(false);
    LoopbackServer both6(true, AF_INET6, both4.Port);
    // An IPv6 listener whose queue is full: an attempt there neither connects nor fails.
    LoopbackServer stalled6(false, AF_INET6);
    LoopbackServer stalled4(true, AF_INET, stalled6.Port);
    ::listen(stalled6.Fd, 0);
    std::vector<int> fillers;
    for (int i = 0; i < 8; ++i) {
        int f = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in6 a{AF_INET6, htons(stalled6.Port), 0, in6addr_loopback, 0};
        ::connect(f, reinterpret_cast<sockaddr *>(&a), sizeof a);
        fillers.push_back(f);
    }
    ASSERT_EQ(both6.Port, both4.Port);
    ASSERT_EQ(stalled4.Port, stalled6.Port);

    const struct
    {
        const char *Name;
        uint16_t Port;
        const char *Winner; // empty: fails with 10061
    } cases[] = {
        {"both listen: IPv6 goes first", both4.Port, "::1"},
        {"IPv6 refused: IPv4 at once", only4.Port, "127.0.0.1"},
        {"IPv6 silent: IPv4 after the delay", stalled6.Port, "127.0.0.1"},
        {"nothing listens", refused.Port, ""},
    };
    for (const auto &k : cases) {
        TConnector c;
        Outcome o(c);
        c.StartWith({"127.0.0.1", "::1"}, k.Port);
        ASSERT_TRUE(QTest::qWaitFor([&] { return o.Done; }, Patience)) << k.Name;
        if (!*k.Winner) {
            EXPECT_EQ(o.Error, WSAECONNREFUSED) << k.Name;
            EXPECT_FALSE(o.Lookup) << k.Name;
            continue;
        }
        EXPECT_EQ(o.Address, k.Winner) << k.Name;
        ASSERT_GE(o.Fd, 0) << k.Name;
        EXPECT_EQ(Option(o.Fd, SOL_SOCKET, SO_KEEPALIVE), 1) << k.Name;
        EXPECT_EQ(Option(o.Fd, IPPROTO_TCP, TCP_KEEPIDLE), TConnector::KeepAliveIdleSeconds);
        EXPECT_EQ(Option(o.Fd, IPPROTO_TCP, TCP_KEEPINTVL), TConnector::KeepAliveIntervalSeconds);
        EXPECT_EQ(Option(o.Fd, IPPROTO_TCP, TCP_KEEPCNT), TConnector::KeepAliveProbes);
    }
    for (int f : fillers)
        ::close(f);

    // Cancelled, at once or during the lookup: nothing follows.
    TConnector c;
    Outcome o(c);
    EXPECT_TRUE(c.Start("127.0.0.1", both4.Port));
    c.Cancel();
    EXPECT_FALSE(c.Start("localhost", both4.Port));
    c.Cancel();
    Drain();
    EXPECT_FALSE(o.Done);
}
