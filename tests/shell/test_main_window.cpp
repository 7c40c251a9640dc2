// The main window against loopback servers: what goes on the wire, the menu states, the
// recent hosts, keys and macros, and the ways a connection ends.
#include "session/secure/qt/TrustDialogs.h"
#include "tests/shell/ShellTestUtil.h"

#include <QLabel>

namespace {

TEST_F(Shell, ConnectGreetsAndDisconnectRestoresTheIdleForm)
{
    struct Case
    {
        THostMode Mode;
        std::string Hello;
        const char *CopyAfter; // Copy's shortcut once the BBS has closed
    } cases[] = {{hmORVO, Bytes({0xFF, 0xA0}), "Ctrl+Ins"},
                 {hmISCA, Bytes({0xFF, 0xB0}), "Ctrl+Ins"},
                 {hmTelnet, "", "Ctrl+C"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.Mode));
        LoopbackServer server;
        Host("Moss", c.Mode, server.Port);
        Open();
        Form->Command(TMenuItem::FileConnect);
        EXPECT_TRUE(Shown(TMenuItem::FileAbort) && Enabled(TMenuItem::FileAbort));
        EXPECT_FALSE(Shown(TMenuItem::FileConnect) || Enabled(TMenuItem::FileConnect));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Form->IsConnected(); }, Patience));
        ASSERT_TRUE(server.Accept());
        EXPECT_TRUE(Shown(TMenuItem::FileDisconnect) && !Shown(TMenuItem::FileAbort));
        EXPECT_TRUE(Form->ConnectionLight()->Connected());
        EXPECT_EQ(Form->windowTitle(), QStringLiteral("ORVO winMarlet \"Moss\""));
        EXPECT_EQ(Form->StatusText(), QStringLiteral(" Connected to 127.0.0.1."));
        EXPECT_EQ(Form->Item(TMenuItem::EditCopy)->shortcut().toString(), QStringLiteral("Ctrl+C"));
        const int rows = Form->ColourTTY()->Tty().VisibleRows;
        const std::string expected = c.Hello + Naws(80, rows);
        Got.clear();
        ASSERT_TRUE(Receive(server, expected.size()));
        EXPECT_EQ(Got, expected);

        server.ClosePeer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->IsConnected(); }, Patience));
        EXPECT_EQ(Form->StatusText(), QStringLiteral(" Disconnected from 127.0.0.1."));
        EXPECT_EQ(Form->windowTitle(), QStringLiteral("ORVO winMarlet"));
        EXPECT_FALSE(Form->ConnectionLight()->Connected());
        EXPECT_TRUE(Shown(TMenuItem::FileConnect) && !Shown(TMenuItem::FileDisconnect));
        EXPECT_EQ(Form->Item(TMenuItem::EditCopy)->shortcut().toString(), QString::fromLatin1(c.CopyAfter));
        Form.reset();
    }
}

TEST_F(Shell, RecentHostsArePromotedByMenuPicks)
{
    LoopbackServer refusing(false);
    std::string ini =
        "[Hosts]\nHost=P\nHost1=P\nHost2=Q\nHost3=U\nLast1=P\nLast2=Q\nLast3=R\nLast4=S\nLast5=T\n";
    for (const char *h : {"P", "Q", "U"})
        ini += "[" + std::string(h) + "]\nAddress=127.0.0.1\nPort=" + std::to_string(refusing.Port) + "\n";
    WriteIni(ini);
    Open();
    EXPECT_EQ(Form->Item(TMenuItem::FileLast1)->text(), QStringLiteral("&1 P")); // at start already
    BoxAnswerer boxes;
    auto recent = [&] {
        std::string s;
        for (int i = 1; i <= 5; ++i)
            s += Hosts->Last(i) + (Shown(RecentItem(i)) ? "" : "-") + " ";
        return s;
    };
    auto pick = [&](QAction *a) {
        a->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Enabled(TMenuItem::FileConnect); }, Patience));
    };
    QList<QAction *> hosts = Form->HostsMenu()->actions();
    ASSERT_EQ(hosts.size(), 3);
    pick(hosts[2]); // U
    EXPECT_EQ(recent(), "U P Q R S ");
    EXPECT_EQ(Form->Item(TMenuItem::FileLast1)->text(), QStringLiteral("&1 U"));
    pick(Form->Item(TMenuItem::FileLast3)); // Q
    EXPECT_EQ(recent(), "Q U P R S ");
    EXPECT_EQ(Hosts->BBSName(), "Q");
}

TEST_F(Shell, PickWhileConnectedStartsASecondInstanceAndAMissingHelperIsReported)
{
    LoopbackServer server;
    // Host names are UTF-8 in the settings file, in the menus and on the second copy's line.
    WriteIni("[Hosts]\nHost=P\nAddress=127.0.0.1\nPort=" + std::to_string(server.Port) +
             "\nHost1=Мой Board\nLast1=P\nLast2=Мой Board\n[Мой Board]\nAddress=10.0.0.1\n");
    Open();
    Connect(server);
    EXPECT_EQ(Form->HostsMenu()->actions()[0]->text(), QStringLiteral("Мой Board"));
    EXPECT_EQ(Form->Item(TMenuItem::FileLast2)->text(), QStringLiteral("&2 Мой Board"));
    Form->HostsMenu()->actions()[0]->trigger();
    Form->Item(TMenuItem::FileLast2)->trigger();
    ASSERT_EQ(Launched.size(), 2u);
    EXPECT_EQ(Launched[0], (QStringList{"/opt/winmarlet", QStringLiteral("/c=Мой Board")}));
    EXPECT_EQ(Launched[1], Launched[0]);
    EXPECT_TRUE(Form->IsConnected());
    EXPECT_EQ(Hosts->BBSName(), "P");

    BoxAnswerer boxes; // a helper that is not there
    EXPECT_FALSE(Form->LaunchHelper(QStringLiteral("/nonexistent/winmarlet"), {}));
    EXPECT_EQ(boxes.Texts, QStringList{"Program Not Found: Helper application failed."});
    EXPECT_EQ(Form->StatusText(), QStringLiteral(" The helper application failed to launch."));
}

TEST_F(Shell, ClosingWhileConnectedAsksFirst)
{
    LoopbackServer server;
    Host("C", hmTelnet, server.Port);
    Open();
    Connect(server);
    {
        BoxAnswerer cancel(QMessageBox::Cancel);
        Form->close();
        EXPECT_EQ(cancel.Texts, QStringList{"Are you sure you want to disconnect?"});
    }
    EXPECT_TRUE(Form->isVisible() && Form->IsConnected());
    BoxAnswerer ok(QMessageBox::Ok);
    Form->close();
    EXPECT_FALSE(Form->isVisible() || Form->IsConnected());
}

TEST_F(Shell, ConnectionLossMidUploadLeavesTheFormIdle)
{
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset);
        LoopbackServer server;
        Host("C", hmTelnet, server.Port);
        Open();
        Connect(server);
        BoxAnswerer boxes;
        // An upload larger than the socket takes at once: the rest waits in the send queue.
        const std::string upload(8 << 20, 'a');
        Form->Session().SendRaw(reinterpret_cast<const uint8_t *>(upload.data()), upload.size());
        reset ? server.ResetPeer() : server.ClosePeer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->IsConnected() && Enabled(TMenuItem::FileConnect); },
                                    Patience));
        const std::string before = Screen();
        Form->Session().KeyPress('q'); // goes nowhere and is not echoed
        EXPECT_EQ(Screen(), before);
        Form.reset();
    }
}

TEST_F(Shell, ScreenLinesDebugPaneCommandLineHostsAndExitOnDisconnect)
{
    for (auto [lines, expected] : {std::pair{3, 5}, {500, 100}, {30, 30}}) {
        WriteIni("[Preferences]\nScreen Lines=" + std::to_string(lines) + "\n");
        Open();
        EXPECT_EQ(Form->ColourTTY()->Tty().VisibleRows, expected);
        Form.reset();
    }
    // The debug pane: only in debug mode, three lines high, greeting first.
    for (const bool debug : {false, true}) {
        WriteIni(debug ? "[Preferences]\nDebug=1\n" : "");
        Open();
        const TColorTTYWidget *pane = Form->DebugTTY();
        ASSERT_EQ(pane != nullptr, debug);
        if (pane) {
            EXPECT_EQ(pane->isVisible() ? pane->height() : 0, 3 * pane->CharHeight());
            const std::string text = Screen(pane);
            EXPECT_EQ(text.find_first_not_of(" \n"), text.find("winMarlet ready. Debug mode engaged."));
        }
        Form.reset();
    }
    // A malformed link says what was wrong with it.
    BoxAnswerer ok;
    Open({"telnet://bbs.example:99999"});
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !ok.Texts.filter("port is not a number from 1 to 65535").empty(); }, Patience));
    Form.reset();
    // A password asked for shows the user's name as it is.
    AskPasswordDialog(nullptr, "a&b", "bbs.example", [](auto) {});
    auto *ask = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    ASSERT_TRUE(ask);
    const QLabel *label = ask->findChild<QLabel *>();
    EXPECT_TRUE(label->textFormat() == Qt::PlainText && label->text() == "Password for a&b on bbs.example:");
    ask->reject();
    // A host named on the command line is connected at once; Exit on Disconnect then ends the program.
    LoopbackServer server;
    WriteIni("[Preferences]\nExit on Disconnect=1\n[Named]\nAddress=127.0.0.1\nPort=" +
             std::to_string(server.Port) + "\nMode=1\n");
    Open({"/c=Named"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->IsConnected(); }, Patience));
    ASSERT_TRUE(server.Accept());
    server.ClosePeer();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Form->isVisible(); }, Patience));
}

} // namespace

// The host's terminal chosen at connect: an ANSI-BBS host answers the BBS's query for
// the cursor position through the connection, a Classic one leaves it unanswered.
TEST_F(Shell, AnsiBbsHostAnswersTheTerminalQuery)
{
    for (const bool ansi : {true, false}) {
        SCOPED_TRACE(ansi);
        LoopbackServer server;
        Host("T", hmTelnet, server.Port);
        if (ansi) std::ofstream(Ini, std::ios::app) << "Terminal=ansi\n"; // the current host's
        Open();
        Got.clear();
        Connect(server);
        ASSERT_TRUE(Receive(server, 9)); // the window size: boards draw 25 rows
        EXPECT_EQ(Got, Naws(80, ansi ? 25 : 24));
        Got.clear();
        server.Write("AB\x1b[6n");
        if (ansi) {
            ASSERT_TRUE(Receive(server, 6));
            EXPECT_EQ(Got, "\x1b[1;3R");
        }
        server.Write("\x01r");
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return Form->ColourTTY()->Tty().CursorX == (ansi ? 4 : 2); }, Patience));
        EXPECT_EQ(Got + server.ReadSome(64), ansi ? "\x1b[1;3R" : "");
        Form.reset();
    }
}

// The rows the user gives the window while connected to an ANSI-BBS host are that host's
// from then on; sizes while idle are nobody's.
TEST_F(Shell, AnsiBbsHostKeepsTheSizeTheUserGaveIt)
{
    LoopbackServer server;
    const std::string section =
        "Address=127.0.0.1\nPort=" + std::to_string(server.Port) + "\nMode=1\nTerminal=ansi\n";
    WriteIni(HostIni(hmTelnet, server.Port, "Art") + "Terminal=ansi\nHost1=Art\n[Art]\n" + section);
    Open();
    Connect(server);
    const TColorTTY &t = Form->ColourTTY()->Tty();
    EXPECT_EQ(t.VisibleRows, 25);
    const int rowH = Form->ColourTTY()->CharHeight();
    Form->resize(Form->width(), Form->height() + 5 * rowH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Hosts->ScreenLines("Art") == 30; }, Patience));
    server.ClosePeer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->IsConnected(); }, Patience));
    Form->resize(Form->width(), Form->height() - 10 * rowH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return t.VisibleRows == 20; }, Patience));
    Connect(server);
    EXPECT_EQ(t.VisibleRows, 30);
    EXPECT_EQ(Hosts->ScreenLines("Art"), 30);
}
