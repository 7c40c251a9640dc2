#include "TransferHarness.h"

#include <gtest/gtest.h>

#include "terminal/SessionCapture.h"

#include <QDirIterator>
#include <QFile>

#include <csignal>
#include <unistd.h>

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
    std::string Downloaded(const std::string &name)
    {
        return ReadAll(QString::fromStdString(Client.Folder + "/" + name));
    }
};

TEST_F(Transfers, DownloadArrivesWholeWithProgressAndTheTerminalGetsTheConnectionBack)
{
    const std::string big = Bytes(5 << 20, 1);
    WriteAll(Offered("big.bin"), big);
    const std::string raw = Client.Folder + "/../capture.raw";
    Client.Session->StartCapture(
        std::make_unique<TSessionCapture>(std::make_unique<TFileCaptureSink>(raw), cfRaw));
    Client.Type("D");
    ASSERT_TRUE(Client.See("File name:"));
    Client.Type("big.bin\r");
    ASSERT_TRUE(Client.WaitReturned()) << Client.Screen << Client.Error;
    ASSERT_TRUE(Client.Result);
    EXPECT_EQ(Client.Result->End, TTransferEnd::Done) << Client.Result->Message;
    EXPECT_TRUE(Downloaded("big.bin") == big);
    // Progress named the file and its size as it began, and ended with all of it.
    const auto named = std::find_if(Client.Progress.begin(), Client.Progress.end(),
                                    [](const TTransferProgress &p) { return p.FileName == "big.bin"; });
    ASSERT_NE(named, Client.Progress.end());
    EXPECT_EQ(named->FileSize, int64_t(big.size()));
    EXPECT_LT(named->Done, int64_t(big.size()));
    EXPECT_EQ(Client.Progress.back().Done, int64_t(big.size()));
    // The BBS's next words reach the screen; none of the transfer's bytes did, nor the capture.
    EXPECT_TRUE(Client.See("Transfer complete"));
    EXPECT_EQ(Client.Screen.find("\x18"), std::string::npos);
    Client.Session->TakeCapture()->Finish();
    const std::string captured = ReadAll(QString::fromStdString(raw));
    EXPECT_LT(captured.size(), 100000u);
    EXPECT_NE(captured.find("Transfer complete"), std::string::npos);
    QFile::remove(QString::fromStdString(raw));
}

TEST_F(Transfers, BatchOfThreeSurvivesTelnetEscaping)
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
}

// The transfer ended by the user or by the BBS's death: a part file is kept and named; after
// a cancel the session goes on.
TEST(TransferEnds, CancelOrALostBbsKeepsAPartFile)
{
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel);
        TDemoBbs bbs;
        ASSERT_TRUE(bbs.Start());
        TClient client;
        ASSERT_TRUE(client.Connect(bbs.Port) && client.Login()) << client.Screen;
        const std::string big = Bytes(40 << 20, 4);
        WriteAll(bbs.Files + "/big.bin", big);
        client.Type("D");
        ASSERT_TRUE(client.See("File name:"));
        client.Type("big.bin\r");
        ASSERT_TRUE(
            client.WaitFor([&] { return !client.Progress.empty() && client.Progress.back().Done > 0; }));
        cancel ? client.Transfers().Cancel() : bbs.Process.kill();
        ASSERT_TRUE(client.WaitReturned());
        EXPECT_EQ(client.Result->End, cancel ? TTransferEnd::Cancelled : TTransferEnd::Lost);
        const std::string says = cancel ? "Transfer cancelled." : "Connection lost";
        EXPECT_EQ(client.Result->Message.rfind(says, 0), 0u) << client.Result->Message;
        EXPECT_NE(client.Result->Message.find("big.bin.part ("), std::string::npos) << client.Result->Message;
        const std::string part = ReadAll(QString::fromStdString(client.Folder + "/big.bin.part"));
        EXPECT_GT(part.size(), 0u);
        EXPECT_LT(part.size(), big.size());
        EXPECT_TRUE(big.compare(0, part.size(), part) == 0);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(client.Folder + "/big.bin")));
        if (!cancel) continue;
        client.Screen.clear();
        client.Type("?");
        EXPECT_TRUE(client.See("Lobby>")) << client.Screen;
    }
}

// An upload cut off in its last file: the file before it is whole, that one is not.
TEST(TransferEnds, ABatchCutOffInItsLastFileIsNotWhole)
{
    QTemporaryDir here, far;
    const std::vector<std::string> files{here.filePath("small").toStdString(),
                                         here.filePath("big").toStdString()};
    WriteAll(here.filePath("small"), "small\r\n");
    WriteAll(here.filePath("big"), Bytes(40 << 20, 7));
    TBareTool receiver;
    ASSERT_TRUE(receiver.Listen(far.path(), {}, "rz"));
    TClient client;
    ASSERT_TRUE(client.Connect(receiver.Server.serverPort()));
    std::string error;
    ASSERT_TRUE(client.Transfers().Send(TTransferProtocol::Zmodem, files, error)) << error;
    ASSERT_TRUE(
        client.WaitFor([&] { return !client.Progress.empty() && client.Progress.back().FileNumber == 2; }));
    ::kill(pid_t(receiver.Sz.processId()), SIGSTOP); // it takes no more, and never says it has it all
    receiver.Peer->abort();
    ASSERT_TRUE(client.WaitReturned());
    ASSERT_EQ(client.Result->Files.size(), 2u);
    EXPECT_TRUE(client.Result->Files[0].Complete && !client.Result->Files[1].Complete);
}

// A receiving tool that stops taking its input holds the connection (plain and through a
// TLS terminator): what waits for it stays bounded while the sender's side backs up, and
// nothing is lost when it goes on.
TEST(TransferEnds, AStalledToolHoldsTheConnection)
{
    struct TWatched : TChildProcess
    {
        std::unique_ptr<TChildProcess> Inner = TQtChildProcess::Factory()();
        size_t *Most;
        explicit TWatched(size_t *most) : Most(most) {}
        void Start(const std::string &program, const std::vector<std::string> &args,
                   const std::string &folder, TChildListener &listener) override
        {
            Inner->Start(program, args, folder, listener);
        }
        void Write(const uint8_t *data, size_t count) override
        {
            Inner->Write(data, count);
            *Most = std::max(*Most, Inner->Queued());
        }
        void CloseInput() override { Inner->CloseInput(); }
        void Stop() override { Inner->Stop(); }
        size_t Queued() const override { return Inner->Queued(); }
    };
    // Our child rz, found by its parent.
    auto rz = [] {
        for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
            const QByteArray stat = ReadAll(QStringLiteral("/proc/%1/stat").arg(pid)).c_str();
            if (stat.contains(" (rz) ") && stat.split(' ').value(3).toLong() == long(::getpid()))
                return pid.toInt();
        }
        return 0;
    };
    QTemporaryDir remote;
    const std::string big = Bytes(32 << 20, 8);
    WriteAll(remote.filePath("big.bin"), big);
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "TCP");
        TBareTool sender;
        ASSERT_TRUE(sender.Listen(remote.path(), {"--binary", "big.bin"}));
        uint16_t port = sender.Server.serverPort();
        TChild terminator;
        if (tls) {
            const QString cert = remote.filePath("cert.pem"), key = remote.filePath("key.pem");
            ASSERT_EQ(QProcess::execute("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                                    "ec_paramgen_curve:P-256", "-nodes", "-days", "1",
                                                    "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert}),
                      0);
            port = UnusedPort();
            ASSERT_TRUE(terminator.StartOn(
                "socat",
                {QString("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork,verify=0,cert=%2,key=%3")
                     .arg(port)
                     .arg(cert, key),
                 QString("TCP:127.0.0.1:%1").arg(sender.Server.serverPort())},
                port));
        }
        TClient client;
        size_t most = 0;
        client.Tools = [&most] { return std::make_unique<TWatched>(&most); };
        ASSERT_TRUE(client.Connect(port, tls ? "tls" : "tcp")) << client.Error;
        // Stopped once the file is coming (before, sz would only wait for its greeting).
        auto landed = [&] {
            qint64 bytes = 0;
            for (QDirIterator it(client.Downloads.path(), QDir::Files | QDir::Hidden,
                                 QDirIterator::Subdirectories);
                 it.hasNext();)
                bytes += QFileInfo(it.next()).size();
            return bytes;
        };
        ASSERT_TRUE(client.WaitFor([&] { return landed() > (1 << 20); }));
        const int pid = rz();
        ASSERT_NE(pid, 0);
        ::kill(pid, SIGSTOP);
        ASSERT_TRUE(client.WaitFor([&] { return sender.Peer && sender.Peer->bytesToWrite() > (8 << 20); }))
            << "the connection was still read: " << most << " bytes waited for the tool";
        EXPECT_LT(most, size_t(6) << 20);
        ::kill(pid, SIGCONT);
        ASSERT_TRUE(client.WaitReturned());
        EXPECT_EQ(client.Result->End, TTransferEnd::Done) << client.Result->Message;
        EXPECT_TRUE(ReadAll(client.Downloads.filePath("big.bin")) == big);
    }
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
    TBareTool sender;
    ASSERT_TRUE(sender.Listen(remote.filePath("a/b"),
                              {"--full-path", "../../evil", "../../.hidden", "../../" + ctl}));
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
    EXPECT_TRUE(QDir(remote.path()).entryList(QDir::Files | QDir::Hidden).size() ==
                3); // nothing landed there
}

// YMODEM and XMODEM start when the user says so; names follow the same rules.
TEST(TransferNames, YmodemAndXmodemWhereTheUserSays)
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
        TBareTool sender;
        ASSERT_TRUE(sender.Listen(remote.filePath("a/b"), c.Args, c.Program));
        TClient client;
        ASSERT_TRUE(client.Connect(sender.Server.serverPort()));
        std::string error;
        ASSERT_TRUE(client.Transfers().Receive(c.Protocol, c.Name, error)) << error;
        ASSERT_TRUE(client.WaitReturned());
        EXPECT_EQ(client.Result->End, TTransferEnd::Done) << client.Result->Message;
        EXPECT_EQ(QDir(client.Downloads.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QString::fromStdString(c.Landed)});
        // XMODEM pads the last block; YMODEM knows the size.
        const std::string got = ReadAll(client.Downloads.filePath(QString::fromStdString(c.Landed)));
        EXPECT_TRUE(got.compare(0, data.size(), data) == 0);
        EXPECT_EQ(got.size(),
                  c.Protocol == TTransferProtocol::Ymodem ? data.size() : (data.size() + 127) / 128 * 128);
        EXPECT_EQ(client.Progress.back().Done, int64_t(got.size()));
    }
    // And the other way: into rb and rx.
    for (const auto protocol : {TTransferProtocol::Ymodem, TTransferProtocol::Xmodem}) {
        QTemporaryDir far;
        const bool y = protocol == TTransferProtocol::Ymodem;
        TBareTool receiver;
        ASSERT_TRUE(receiver.Listen(far.path(), y ? QStringList{} : QStringList{"--with-crc", "got"},
                                    y ? "rb" : "rx"));
        TClient client;
        ASSERT_TRUE(client.Connect(receiver.Server.serverPort()));
        std::string error;
        ASSERT_TRUE(client.Transfers().Send(protocol, {remote.filePath("evil").toStdString()}, error))
            << error;
        ASSERT_TRUE(client.WaitReturned());
        EXPECT_EQ(client.Result->End, TTransferEnd::Done) << client.Result->Message;
        EXPECT_TRUE(ReadAll(far.filePath(y ? "evil" : "got")).compare(0, data.size(), data) == 0);
    }
}

} // namespace
