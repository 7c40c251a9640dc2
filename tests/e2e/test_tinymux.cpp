// A Telnet server nobody here wrote: Debian's TinyMUX, run from a private copy of its
// stock game on a free loopback port. The main window logs in, talks, and hangs up.
#include "tests/e2e/E2eUtil.h"

#include <QDir>
#include <QFile>

namespace {

const QString StockGame = QStringLiteral("/usr/share/tinymux/game");
const QString StockBin = QStringLiteral("/usr/lib/tinymux/game/bin");

class TinyMux : public Shell
{
protected:
    TChild Mux;
    uint16_t Port = UnusedPort();
    QString Game = Dir.filePath("game");

    std::string Log() const
    {
        const QStringList logs = QDir(Game).entryList({"*.log"}, QDir::Files);
        return logs.isEmpty() ? std::string() : ReadAll(Game + "/" + logs.first());
    }
    // The stock game on our port; true once it listens.
    [[nodiscard]] bool StartMux()
    {
        if (QProcess::execute("cp", {"-r", StockGame, Game}) != 0) return false;
        if (!QFile::link(StockBin, Game + "/bin")) return false;
        // A later setting wins over the stock one.
        std::ofstream(QString(Game + "/netmux.conf").toStdString(), std::ios::app)
            << "port " << Port << "\nip_address 127.0.0.1\n";
        Mux.Process.setWorkingDirectory(Game);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_LIBRARY_PATH", "./bin");
        Mux.Process.setProcessEnvironment(env);
        return Mux.StartOn(Game + "/bin/netmux", {"-c", "netmux.conf", "-p", "netmux.pid", "-e", "."}, Port);
    }
};

TEST_F(TinyMux, TelnetLoginSayAndDisconnect)
{
    if (!QFile::exists(StockGame + "/netmux.conf") || !QFile::exists(StockBin + "/netmux"))
        GTEST_SKIP() << "tinymux is not installed (scripts/setup installs it)";
    ASSERT_NE(Port, 0);
    ASSERT_TRUE(StartMux()) << Log();
    OpenWith(HostIni(hmTelnet, Port));
    Form->Command(TMenuItem::FileConnect);
    ASSERT_TRUE(WaitShown("Welcome to TinyMUX"));
    Type("connect wizard potrzebie");
    Key(Qt::Key_Return);
    ASSERT_TRUE(WaitShown("MAIL:")) << Log();
    Type("say hello from winMarlet");
    Key(Qt::Key_Return);
    ASSERT_TRUE(WaitShown("You say, \"hello from winMarlet\""));

    BoxAnswerer boxes(QMessageBox::Ok);
    Form->Item(TMenuItem::FileDisconnect)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->IsConnected(); }, Patience));
    EXPECT_EQ(boxes.Texts, QStringList{"Are you sure you want to disconnect?"});
    // The server saw the wizard log in and the connection end.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Log().find("Logout by Wizard(#1)") != std::string::npos; }, Patience))
        << Log();
    EXPECT_NE(Log().find("Connected to Wizard(#1)"), std::string::npos);
}

} // namespace
