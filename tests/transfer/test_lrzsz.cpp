#include "TransferHarness.h"

namespace {

class Transfers : public ::testing::Test
{
protected:
    TDemoBbs Bbs;
    TClient Client;
    void SetUp() override
    {
        ASSERT_TRUE(Bbs.Start());
        ASSERT_TRUE(Client.Connect(Bbs.Port));
        ASSERT_TRUE(Client.Login()) << Client.Screen;
    }
    QString Offered(const char *name) { return Bbs.Files + "/" + name; }
    std::string Downloaded(const std::string &name) { return ReadAll(QString::fromStdString(Client.Folder + "/" + name)); }
};

TEST_F(Transfers, DownloadArrivesWholeWithProgressAndTheTerminalGetsTheConnectionBack)
{
    const std::string big = Bytes(5 << 20, 1);
    WriteAll(Offered("big.bin"), big);
    Client.Type("D");
    ASSERT_TRUE(Client.See("File name:"));
    Client.Type("big.bin\r");
    ASSERT_TRUE(Client.WaitReturned()) << Client.Screen;
    ASSERT_TRUE(Client.Result);
    EXPECT_EQ(Client.Result->End, TTransferEnd::Done) << Client.Result->Message;
    EXPECT_TRUE(Downloaded("big.bin") == big);
    // Progress named the file and its size and moved on the way.
    ASSERT_FALSE(Client.Progress.empty());
    EXPECT_EQ(Client.Progress.back().FileName, "big.bin");
    EXPECT_EQ(Client.Progress.back().FileSize, int64_t(big.size()));
    EXPECT_TRUE(std::any_of(Client.Progress.begin(), Client.Progress.end(),
                            [&](const TTransferProgress &p) { return p.Done > 0 && p.Done < int64_t(big.size()); }));
    // The BBS's next words reach the screen; none of the transfer's bytes did.
    EXPECT_TRUE(Client.See("Transfer complete"));
    EXPECT_EQ(Client.Screen.find("\x18"), std::string::npos);
}

} // namespace
