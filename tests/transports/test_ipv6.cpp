// The demo BBS listening on ::1, reached by the client socket at "[::1]".
#include "TransportTestUtil.h"

#include "net/dWinsock.h"

#include <gtest/gtest.h>

TEST(IPv6, TheDemoBbsOnLoopbackAnswersTheClientSocket)
{
    TChild bbs;
    ASSERT_TRUE(bbs.StartServer(DEMOBBS_BIN, {"--listen", "::1", "--port", "0", "--sysop-delay", "0"}));
    ASSERT_TRUE(bbs.Line.startsWith("listening on [::1]:")) << bbs.Line.toStdString();

    TBasicClientSocket c;
    Recorder rec;
    rec.Attach(c);
    c.SetAddress("[::1]");
    c.SetPort(std::to_string(bbs.Port));
    c.Open();
    ASSERT_TRUE(rec.WaitFor("OnConnect 0"));
    c.SendAll("\xFF\xA0", 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rec.Data.find("Demo BBS") != std::string::npos; }, Patience));
    c.Close();
}
