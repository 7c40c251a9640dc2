#include "TransferHarness.h"
#include "tests/transports/SshServer.h"

#include <gtest/gtest.h>

#include "terminal/SessionCapture.h"

#include <QDirIterator>
#include <QFile>

#include <csignal>
#include <sys/resource.h>
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

struct TFileSizeLimit
{
    explicit TFileSizeLimit(rlim_t bytes)
    {
        if (!bytes) return;
        ::getrlimit(RLIMIT_FSIZE, &FOld);
        rlimit lower = FOld;
        lower.rlim_cur = bytes;
        FSet = ::setrlimit(RLIMIT_FSIZE, &lower) == 0;
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~TFileSizeLimit()
    {
        if (!FSet) return;
        ::setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    rlimit FOld{};
    bool FSet = false;
    void (*FOldHandler)(int) = SIG_DFL;
};

// How a transfer ended, in the user's words, with the tool's own on the details line; what
// arrived is kept as a part file, and after a cancel the terminal has the connection again.
TEST(TransferEnds, EachCauseIsToldAndWhatArrivedIsKept)
{
    QTemporaryDir remote;
    const std::string big = Bytes(40 << 20, 4);
    WriteAll(remote.filePath("big.bin"), big);
    const struct
    {
        TTransferEnd End;
        std::string Says;
    } cases[] = {
        {TTransferEnd::Cancelled, "You cancelled the transfer after "},
        {TTransferEnd::Lost, "The connection was lost after "},
        {TTransferEnd::Stopped, "The BBS stopped after "},
        {TTransferEnd::DiskError, "The file could not be written to the disk after "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Says);
        // A file size limit stands in for a full disk: rz inherits it and, with SIGXFSZ
        // ignored, its writes fail with "File too large".
        TFileSizeLimit limit(c.End == TTransferEnd::DiskError ? 3 << 20 : 0);
        TBareTool sender;
        ASSERT_TRUE(sender.Listen(remote.path(), {"--binary", "big.bin"}));
        TClient client;
        ASSERT_TRUE(client.Connect(sender.Server.serverPort()));
        ASSERT_TRUE(
            client.WaitFor([&] { return !client.Progress.empty() && client.Progress.back().Done > 0; }));
        if (c.End == TTransferEnd::Cancelled) client.Transfers().Cancel();
        if (c.End == TTransferEnd::Lost) sender.Peer->abort();
        if (c.End == TTransferEnd::Stopped) { // as a BBS's sz does when it gives up
            sender.Sz.kill();
            sender.Sz.waitForFinished();
            sender.Peer->write(reinterpret_cast<const char *>(zmodem::Abort), sizeof zmodem::Abort);
        }
        ASSERT_TRUE(client.WaitReturned());
        const TTransferResult &r = *client.Result;
        EXPECT_EQ(r.End, c.End) << r.Message;
        EXPECT_EQ(r.Message.rfind(c.Says, 0), 0u) << r.Message;
        EXPECT_FALSE(QFile::exists(client.Downloads.filePath("big.bin")));
        if (c.End == TTransferEnd::DiskError) { // rz deletes what it could not close
            EXPECT_NE(r.Message.find("; nothing of big.bin was kept."), std::string::npos) << r.Message;
            EXPECT_NE(r.Details.find("File too large"), std::string::npos) << r.Details;
            continue;
        }
        const std::string part = ReadAll(client.Downloads.filePath("big.bin.part"));
        EXPECT_TRUE(!part.empty() && part.size() < big.size() && big.compare(0, part.size(), part) == 0);
        EXPECT_NE(r.Message.find(" " + SizeText(int64_t(part.size())) +
                                 " of 40.0 MB; what arrived is kept as big.bin.part."),
                  std::string::npos)
            << r.Message;
        if (c.End != TTransferEnd::Cancelled) continue;
        sender.Peer->write("Lobby>");
        EXPECT_TRUE(client.See("Lobby>")) << client.Screen;
    }
}

// Every byte value, with runs of 0xFF, both ways in each protocol: over SSH, a raw pty with no
// Telnet in it, and over TLS, Telnet with its escaping.
TEST(TransferStreams, EveryByteBothWaysOverSshAndTls)
{
    std::string data;
    for (int i = 0; i < 256; ++i)
        data += std::string(i == 255 ? 700 : 3, char(i));
    data += Bytes(20000, 9, true) + Bytes(20000, 10);
    TSshServer sshd;
    const QString area = sshd.Path("area"), run = sshd.Path("run");
    QDir().mkpath(area + "/up");
    WriteAll(area + "/every.bin", data);
    if (!sshd.Start("stty raw -echo\necho ready\n. " + run.toStdString() + "\nexec cat >/dev/null"))
        GTEST_SKIP();
    const char *const tools[3][2] = {
        {"sz every.bin", "rz"}, {"sb every.bin", "rb"}, {"sx every.bin", "rx -c every.bin"}};
    for (const bool ssh : {true, false})
        for (int p = 0; p < 3; ++p)
            for (const bool up : {false, true}) {
                SCOPED_TRACE(std::string(ssh ? "SSH " : "TLS ") + tools[p][up]);
                QDir(area + "/up").removeRecursively();
                QDir().mkpath(area + "/up");
                QStringList args = QString(tools[p][up]).split(' ');
                const QString program = args.takeFirst();
                args.prepend("--binary");
                TBareTool tool;
                TChild terminator;
                uint16_t port = sshd.Port;
                if (ssh) {
                    // A receiver starts at our first byte. lrzsz flushes its tty as it ends, its last
                    // words with it: the tools get pipes.
                    WriteAll(run, "cd " + area.toStdString() + (up ? "/up && head -c1 >/dev/null" : "") +
                                      " && cat | " + program.toStdString() + " --quiet " +
                                      args.join(' ').toStdString() + " | cat\n");
                } else {
                    ASSERT_TRUE(tool.Listen(area + (up ? "/up" : ""), args, program));
                    ASSERT_TRUE(TlsTerminator(terminator, sshd.Dir, tool.Server.serverPort()));
                    port = terminator.Port;
                }
                TClient client;
                ASSERT_TRUE(client.Connect(port, ssh ? "ssh" : "tls")) << client.Error;
                ASSERT_TRUE(!ssh || client.See("ready")); // the pty is raw: our bytes stay ours
                std::string error;
                auto go = [&] { client.Session->SendRaw(reinterpret_cast<const uint8_t *>("\r"), 1); };
                if (up && ssh && p == 0) go();
                if (up && p == 0) {
                    ASSERT_TRUE(client.WaitFor([&] { return client.ReadyHeaders > 0; }));
                }
                if (up) {
                    ASSERT_TRUE(client.Transfers().Send(TTransferProtocol(p),
                                                        {(area + "/every.bin").toStdString()}, error));
                }
                if (up && ssh && p > 0) go();
                if (!up && p > 0) {
                    ASSERT_TRUE(client.Transfers().Receive(TTransferProtocol(p), "every.bin", error));
                }
                ASSERT_TRUE(client.WaitReturned()) << client.Screen;
                EXPECT_EQ(client.Result->End, TTransferEnd::Done)
                    << client.Result->Message << client.Result->Details;
                const QString got = up ? area + "/up/every.bin" : client.Downloads.filePath("every.bin");
                // XMODEM pads the last block.
                const size_t size = p == 2 ? (data.size() + 127) / 128 * 128 : data.size();
                EXPECT_TRUE(client.WaitFor([&] { return ReadAll(got).size() == size; }) &&
                            ReadAll(got).compare(0, data.size(), data) == 0);
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
    // Large enough to fill the kernel's buffers on every hop (a TLS terminator adds two).
    const std::string big = Bytes(64 << 20, 8);
    WriteAll(remote.filePath("big.bin"), big);
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "TCP");
        TBareTool sender;
        ASSERT_TRUE(sender.Listen(remote.path(), {"--binary", "big.bin"}));
        uint16_t port = sender.Server.serverPort();
        TChild terminator;
        if (tls) {
            ASSERT_TRUE(TlsTerminator(terminator, remote, port));
            port = terminator.Port;
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

// YMODEM and XMODEM downloads start when the user says so; names follow the same rules.
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
}

} // namespace
