// The demo BBS listening on ::1, reached by the client socket at "[::1]".
#include "TransportTestUtil.h"

#include "net/dWinsock.h"

#include <gtest/gtest.h>

TEST(IPv6, TheDemoBbsOnLoopbackAnswersTheClientSocket)
{
    QProcess bbs;
    bbs.start(DEMOBBS_BIN, {"--listen", "::1", "--port", "0", "--sysop-delay", "0"});
    ASSERT_TRUE(bbs.waitForReadyRead(10000));
    const QString line = QString::fromLatin1(bbs.readLine()).trimmed(); // "listening on [::1]:PORT"
    ASSERT_TRUE(line.startsWith("listening on [::1]:")) << line.toStdString();

    TBasicClientSocket c;
    std::string got;
    bool connected = false;
    c.OnConnect = [&](TSockCtrl *, TSocketBase *s) { connected = s->LastError() == 0; };
    c.OnRead = [&](TSockCtrl *, TSocketBase *s) {
        char buf[4096];
        got.append(buf, std::size_t(s->Recv(buf, sizeof buf)));
    };
    c.SetAddress("[::1]");
    c.SetPort(line.section(':', -1).toStdString());
    c.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return connected; }, Patience));
    c.SendAll("\xFF\xA0", 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.find("Demo BBS") != std::string::npos; }, Patience));
    c.Close();
    bbs.terminate();
    bbs.waitForFinished(5000);
}
