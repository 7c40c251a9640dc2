// The main window logged in to the demo BBS over SSH (OpenSSH's server, the BBS as its
// ForceCommand): the auto-login goes through and the status line says what protects the line.
#include "tests/e2e/E2eUtil.h"
#include "tests/transports/SshServer.h"

TEST_F(Shell, OrvoSessionOverSsh)
{
    TSshServer sshd;
    if (!sshd.Start(DEMOBBS_BIN " --stdio --sysop-delay 0.3 --data " +
                    Dir.filePath("board.txt").toStdString()))
        GTEST_SKIP() << "sshd did not start";
    // The key was accepted before; the BBS login is the SSH user's.
    WriteAll(Dir.filePath("known_hosts"), sshd.KnownHostsLine());
    OpenWith(HostIni(hmORVO, sshd.Port) + "Transport=ssh\nAutoLogin=1\nLogin Name=root\nPassword=pw\n");
    Form->Command(TMenuItem::FileConnect);
    ASSERT_TRUE(WaitShown("Welcome, Root!"));
    EXPECT_EQ(Form->StatusText().toStdString(), " Connected to 127.0.0.1 (SSH, ed25519).");
    EXPECT_TRUE(WaitShown("Welcome to the demo BBS, Root!"));
}

TEST_F(Shell, RefusedSshLoginSaysSo)
{
    TSshServer sshd;
    if (!sshd.Start("true")) GTEST_SKIP() << "sshd did not start";
    WriteAll(Dir.filePath("known_hosts"), sshd.KnownHostsLine());
    OpenWith(HostIni(hmORVO, sshd.Port) +
             "Transport=ssh\nAutoLogin=1\nLogin Name=nobody-here\nPassword=pw\n");
    BoxAnswerer boxes(QMessageBox::Ok);
    Form->Command(TMenuItem::FileConnect);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts.isEmpty(); }, Patience));
    EXPECT_EQ(boxes.Texts.front().toStdString(),
              "Authentication failed for nobody-here. The BBS said: Members only.");
    EXPECT_EQ(Form->StatusText().toStdString(),
              " Authentication failed for nobody-here. The BBS said: Members only.");
    EXPECT_EQ(Form->Session().State(), TSessionState::Idle);
}
