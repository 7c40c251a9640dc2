// Leaving the application during a lookup wait ends the wait with 10060. Its own program:
// once the application has been told to quit, no further nested wait can run in it.
#include "NetTestUtil.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QTimer>
#include <gtest/gtest.h>

TEST(SockLookupWait, ApplicationQuitEndsTheWaitWithTimedOut)
{
    TBasicClientSocket c;
    Recorder rec;
    rec.Attach(c);
    c.OnInfo = [&](TSockCtrl *, TSockInfo code, TSocketBase *) {
        rec.Log.push_back(InfoName(code));
        if (code == siLookUp) QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    };
    c.SetAddress("localhost");
    c.SetPort("23");
    EXPECT_EQ(Message([&] { c.Open(); }), "Error 10060 (Connection timed out) finding address for host");
    EXPECT_EQ(rec.Log, (Log{"siLookUp"}));
    EXPECT_EQ(SockWaitDepth(), 0);
    // Let the resolver wind down before the process ends: a lookup started now gets its answer.
    QObject context;
    bool answered = false;
    QHostInfo::lookupHost(QStringLiteral("localhost"), &context, [&](const QHostInfo &) { answered = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, Patience));
}
