// The TCP transport let go by its session at awkward moments: while the socket layer waits
// for a host name in a nested event loop, and from inside its own listener calls.
#include "session/qt/TcpTransport.h"
#include "tests/transports/TransportTestUtil.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(TcpTransport, LetGoDuringTheLookupOrInsideItsOwnCallTellsNothingMore)
{
    for (const bool inLookup : {true, false}) {
        LoopbackServer server;
        Listener r;
        auto t = std::make_unique<TTcpTransport>();
        size_t callsWhenLetGo = 0;
        auto letGo = [&] {
            callsWhenLetGo = r.Heard();
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
        EXPECT_EQ(r.Heard(), 0u) << "nothing from inside Open";
        ASSERT_TRUE(QTest::qWaitFor([&] { return !t; }, Patience));
        QCoreApplication::processEvents(); // what the socket layer still had queued
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(r.Heard(), callsWhenLetGo);
    }
}

} // namespace
