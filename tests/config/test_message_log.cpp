#include "config/MessageLog.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

TEST(MessageLog, KeepsEachHostsLastThousandWithAnyTextAndSkipsForeignLines)
{
    TTempFolder tmp;
    const std::string path = MessageLogFileName(tmp / "winmarlet.INI");
    TMessageLog log(path, 10);
    const TLoggedMessage odd{7, "a\tb\\", "two\nlines\r\\n", true};
    ASSERT_TRUE(log.Append("Other", odd));
    std::ofstream(path, std::ios::app) << "garbage line\nMoss\tnot a time\t<\tx\ty\n";
    for (int i = 0; i < 15; ++i)
        ASSERT_TRUE(log.Append("Moss", {i, "ann", std::to_string(i)}));

    const std::vector<TLoggedMessage> moss = log.Load("Moss");
    ASSERT_EQ(moss.size(), 10u);
    EXPECT_EQ(moss.front().Text, "5");
    EXPECT_EQ(moss.back().When, 14);
    const std::vector<TLoggedMessage> other = log.Load("Other");
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].Peer, odd.Peer);
    EXPECT_EQ(other[0].Text, odd.Text);
    EXPECT_TRUE(other[0].Outgoing);
    EXPECT_NE(GetFile(path).find("garbage line\n"), std::string::npos); // what it cannot read stays
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_TRUE(TMessageLog(tmp / "missing.MSG").Load("Moss").empty());
}
