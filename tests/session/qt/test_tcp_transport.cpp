// The TCP transport let go by its session at awkward moments: while the socket layer waits
// for a host name in a nested event loop, and from inside its own listener calls.
#include "session/qt/TcpTransport.h"
#include "tests/common/Patience.h"
#include "tests/net/NetTestUtil.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct Recorder : TTransportListener
{
    std::vector<std::string> Calls;
    std::function<void()> OnStep, OnConnected;
    void TransportStep(TTransportStep s) override
    {
        Calls.push_back("step " + std::to_string(int(s)));
        if (OnStep) OnStep();
    }
    void TransportConnected() override
    {
        Calls.push_back("connected");
        if (OnConnected) OnConnected();
    }
    void TransportReceived(const uint8_t *, size_t) override { Calls.push_back("received"); }
    void TransportClosed(TCloseKind, const std::string &) override { Calls.push_back("closed"); }
    void TransportFailed(const std::string &m) override { Calls.push_back("failed " + m); }
    void TransportAskTrust(const TTrustQuestion &, std::function<void(bool)>) override {}
    void TransportAskPassword(const std::string &, const std::string &,
                              std::function<void(std::optional<std::string>)>) override
    {
    }
};

TEST(TcpTransport, LetGoDuringTheLookupOrInsideItsOwnCallTellsNothingMore)
{
    for (const bool inLookup : {true, false}) {
        LoopbackServer server;
        Recorder r;
        auto t = std::make_unique<TTcpTransport>();
        size_t callsWhenLetGo = 0;
        auto letGo = [&] {
            callsWhenLetGo = r.Calls.size();
            t.reset();
        };
        if (inLookup) // from the lookup's nested event loop
            r.OnStep = [&] { QTimer::singleShot(0, letGo); };
        else // from inside the transport's own call
            r.OnConnected = letGo;
        TEndpoint e;
        e.Host = inLookup ? "nonexistent.invalid" : "127.0.0.1";
        e.Port = server.Port;
        t->Open(e, r);
        EXPECT_TRUE(r.Calls.empty()) << "nothing from inside Open";
        ASSERT_TRUE(QTest::qWaitFor([&] { return !t; }, Patience));
        QCoreApplication::processEvents(); // what the socket layer still had queued
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(r.Calls.size(), callsWhenLetGo) << r.Calls.back();
    }
}

} // namespace
