#include "TransferHarness.h"

#include <gtest/gtest.h>

#include <QFile>

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
    ASSERT_TRUE(Client.WaitReturned()) << Client.Screen << Client.StartError;
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

TEST_F(Transfers, BatchOfThreeAndUploadSurviveTelnetEscaping)
{
    const std::string text = "plain text\r\n", ffs = Bytes(300000, 2, true);
    WriteAll(Offered("a.txt"), text);
    WriteAll(Offered("ff.bin"), ffs);
    WriteAll(Offered("empty"), "");
    Client.Type("D");
    ASSERT_TRUE(Client.See("File name:"));
    Client.Type("a.txt ff.bin empty\r");
    ASSERT_TRUE(Client.WaitReturned()) << Client.Screen;
    EXPECT_EQ(Client.Result->Files.size(), 3u) << Client.Result->Message;
    EXPECT_EQ(Downloaded("a.txt"), text);
    EXPECT_TRUE(Downloaded("ff.bin") == ffs);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(Client.Folder + "/empty")));
    EXPECT_EQ(Client.Progress.back().FileNumber, 3);
    EXPECT_EQ(Client.Progress.back().FileCount, 3);

    // The BBS's rz waits; its offer to receive is not shown, and our sz answers it.
    const std::string upload = Bytes(400000, 3, true);
    const QString path = QString::fromStdString(Client.Folder + "/up.bin");
    WriteAll(path, upload);
    ASSERT_TRUE(Client.See("Transfer complete"));
    Client.Type("U");
    ASSERT_TRUE(Client.WaitFor([&] { return Client.ReadyHeaders > 0; })) << Client.Screen;
    std::string error;
    ASSERT_TRUE(Client.NewTransfer().Send(TTransferProtocol::Zmodem, {path.toStdString()}, error)) << error;
    ASSERT_TRUE(Client.WaitReturned());
    EXPECT_EQ(Client.Result->End, TTransferEnd::Done) << Client.Result->Message;
    EXPECT_TRUE(ReadAll(Offered("up.bin")) == upload);
    EXPECT_TRUE(Client.See("Transfer complete"));
    EXPECT_EQ(Client.Screen.find("\x18"), std::string::npos);
}

TEST_F(Transfers, CancelKeepsAPartFileAndTheSessionGoesOn)
{
    const std::string big = Bytes(40 << 20, 4);
    WriteAll(Offered("big.bin"), big);
    Client.Type("D");
    ASSERT_TRUE(Client.See("File name:"));
    Client.Type("big.bin\r");
    ASSERT_TRUE(Client.WaitFor([&] { return !Client.Progress.empty() && Client.Progress.back().Done > 0; }));
    Client.Transfer->Cancel();
    ASSERT_TRUE(Client.WaitReturned());
    EXPECT_EQ(Client.Result->End, TTransferEnd::Cancelled);
    const std::string part = Downloaded("big.bin.part");
    EXPECT_GT(part.size(), 0u);
    EXPECT_LT(part.size(), big.size());
    EXPECT_TRUE(big.compare(0, part.size(), part) == 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Client.Folder + "/big.bin")));
    EXPECT_NE(Client.Result->Message.find("big.bin.part"), std::string::npos) << Client.Result->Message;
    // The menu answers again.
    Client.Screen.clear();
    Client.Type("?");
    EXPECT_TRUE(Client.See("Lobby>")) << Client.Screen;
}

TEST_F(Transfers, ABbsThatDiesMidTransferLeavesAPartFileAndSaysSo)
{
    WriteAll(Offered("big.bin"), Bytes(40 << 20, 5));
    Client.Type("D");
    ASSERT_TRUE(Client.See("File name:"));
    Client.Type("big.bin\r");
    ASSERT_TRUE(Client.WaitFor([&] { return !Client.Progress.empty() && Client.Progress.back().Done > 0; }));
    Bbs.Process.kill();
    ASSERT_TRUE(Client.WaitReturned());
    EXPECT_EQ(Client.Result->End, TTransferEnd::Lost);
    EXPECT_GT(ReadAll(QString::fromStdString(Client.Folder + "/big.bin.part")).size(), 0u);
    EXPECT_NE(Client.Result->Message.find("Connection lost"), std::string::npos);
    EXPECT_NE(Client.Result->Message.find("big.bin.part ("), std::string::npos) << Client.Result->Message;
}

// Offered names cannot leave the download folder, hide, carry control bytes or replace a file.
TEST(TransferNames, OfferedNamesStayInsideTheFolderAndReplaceNothing)
{
    QTemporaryDir remote;
    QDir().mkpath(remote.filePath("a/b"));
    const QString ctl = QString::fromLatin1("x\x01y");
    WriteAll(remote.filePath("evil"), "evil");
    WriteAll(remote.filePath(".hidden"), "hidden");
    WriteAll(remote.filePath(ctl), "ctl");
    TBareSender sender;
    ASSERT_TRUE(sender.Listen(remote.filePath("a/b"), {"--full-path", "../../evil", "../../.hidden", "../../" + ctl}));
    TClient client;
    WriteAll(client.Downloads.filePath("evil"), "mine");
    ASSERT_TRUE(client.Connect(sender.Server.serverPort()));
    ASSERT_TRUE(client.WaitReturned());
    EXPECT_EQ(client.Result->End, TTransferEnd::Done) << client.Result->Message << client.Screen;
    QStringList names = QDir(client.Downloads.path()).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    EXPECT_EQ(names, (QStringList{"evil", "evil (1)", "hidden", "xy"}));
    EXPECT_EQ(ReadAll(client.Downloads.filePath("evil")), "mine");
    EXPECT_EQ(ReadAll(client.Downloads.filePath("evil (1)")), "evil");
    EXPECT_TRUE(QDir(remote.path()).entryList(QDir::Files | QDir::Hidden).size() == 3); // nothing landed there
}

// YMODEM and XMODEM start when the user says so; names follow the same rules.
TEST(TransferNames, YmodemAndXmodemReceiveWhereTheUserSays)
{
    QTemporaryDir remote;
    QDir().mkpath(remote.filePath("a/b"));
    const std::string data = Bytes(70000, 6, true);
    WriteAll(remote.filePath("evil"), data);
    const struct
    {
        TTransferProtocol Protocol;
        QString Program;
        QStringList Args;
        std::string Name, Landed;
    } Cases[] = {
        {TTransferProtocol::Ymodem, "sb", {"--full-path", "../../evil"}, "", "evil"},
        {TTransferProtocol::Xmodem, "sx", {"../../evil"}, "../.report", "report"},
    };
    for (const auto &c : Cases) {
        TBareSender sender;
        ASSERT_TRUE(sender.Listen(remote.filePath("a/b"), c.Args, c.Program));
        TClient client;
        ASSERT_TRUE(client.Connect(sender.Server.serverPort()));
        std::string error;
        ASSERT_TRUE(client.NewTransfer().Receive(c.Protocol, client.Folder, c.Name, nullptr, 0, error));
        ASSERT_TRUE(client.WaitReturned());
        EXPECT_EQ(client.Result->End, TTransferEnd::Done) << client.Result->Message;
        EXPECT_EQ(QDir(client.Downloads.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QString::fromStdString(c.Landed)});
        // XMODEM pads the last block; YMODEM knows the size.
        const std::string got = ReadAll(client.Downloads.filePath(QString::fromStdString(c.Landed)));
        EXPECT_TRUE(got.compare(0, data.size(), data) == 0);
        EXPECT_EQ(got.size(), c.Protocol == TTransferProtocol::Ymodem ? data.size() : (data.size() + 127) / 128 * 128);
        EXPECT_EQ(client.Progress.back().Done, int64_t(got.size()));
    }
}

} // namespace
