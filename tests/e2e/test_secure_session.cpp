// The main window logged in to the demo BBS over SSH (OpenSSH's server, the BBS as its
// ForceCommand): the status line says what protects the line, and an express message and a
// post reach the BBS as they do over TCP.
#include "tests/e2e/E2eUtil.h"
#include "tests/transports/SshServer.h"

TEST_F(Shell, OrvoSessionOverSsh)
{
    TSshServer sshd;
    const QString data = Dir.filePath("board.txt");
    if (!sshd.Start(DEMOBBS_BIN " --stdio --sysop-delay 0.3 --data " + data.toStdString()))
        GTEST_SKIP() << "sshd did not start";
    // The key was accepted before; the BBS login is the SSH user's.
    WriteText(Dir.filePath("known_hosts"), sshd.KnownHostsLine());
    OpenWith(HostIni(hmORVO, sshd.Port) + "Transport=ssh\nAutoLogin=1\nLogin Name=root\nPassword=pw\n");
    Form->FileConnectItemClick();
    ASSERT_TRUE(WaitShown("Welcome, Root!"));
    EXPECT_EQ(Form->StatusText().toStdString(), " Connected to 127.0.0.1 (SSH, ed25519).");
    ASSERT_TRUE(WaitShown("Welcome to the demo BBS, Root!"));

    Type("x");
    ASSERT_TRUE(WaitShown("To whom?"));
    Type("Sysop");
    Key(Qt::Key_Return);
    ASSERT_TRUE(WaitShown("Message to Sysop:"));
    Type("Hello over SSH");
    Key(Qt::Key_Return);
    Key(Qt::Key_Return);
    ASSERT_TRUE(WaitShown("Message sent to Sysop."));

    Type("e");
    ASSERT_TRUE(WaitShown("Your post:"));
    Type("Posted over SSH.");
    Key(Qt::Key_D, Qt::ControlModifier);
    Type("s");
    ASSERT_TRUE(WaitShown("Post 1 saved."));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReadFile(data).find("|Posted over SSH.\n") != std::string::npos; },
                                Patience));
    EXPECT_NE(ReadFile(data).find("\tRoot\tSysop\n|Hello over SSH\n"), std::string::npos) << ReadFile(data);
}

TEST_F(Shell, RefusedSshLoginSaysSo)
{
    TSshServer sshd;
    if (!sshd.Start("true")) GTEST_SKIP() << "sshd did not start";
    WriteText(Dir.filePath("known_hosts"), sshd.KnownHostsLine());
    OpenWith(HostIni(hmORVO, sshd.Port) + "Transport=ssh\nAutoLogin=1\nLogin Name=nobody-here\nPassword=pw\n");
    BoxAnswerer boxes(QMessageBox::Ok);
    Form->FileConnectItemClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts.isEmpty(); }, Patience));
    EXPECT_EQ(boxes.Texts.front().toStdString(), "Authentication failed for nobody-here.");
    EXPECT_EQ(Form->StatusText().toStdString(), " Authentication failed for nobody-here.");
    EXPECT_EQ(Form->Session().State(), TSessionState::Idle);
}
