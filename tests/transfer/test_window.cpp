// The main window against the demo BBS: a ZMODEM download that starts by itself shows the
// panel; Send Files... uploads the files picked.
#include "session/qt/TransferPanel.h"
#include "tests/e2e/E2eUtil.h"
#include "tests/transfer/TransferHarness.h"

#include <QLabel>
#include <QLineEdit>

namespace {

class TransferWindow : public Shell
{
protected:
    QString PanelText() const
    {
        QStringList all;
        for (const QLabel *l : Form->TransferPanel()->findChildren<QLabel *>())
            all << l->text();
        return all.join('|');
    }
};

TEST_F(TransferWindow, DownloadShowsThePanelAndSendFilesUploads)
{
    TDemoBbs bbs;
    ASSERT_TRUE(bbs.Start());
    QTemporaryDir downloads;
    const std::string big = Bytes(5 << 20, 11);
    WriteAll(bbs.Files + "/big.bin", big);
    OpenWith(HostIni(hmTelnet, bbs.Port) +
             "[Preferences]\nDownload folder=" + downloads.path().toStdString() + "\n");
    EXPECT_FALSE(Form->Item(TMenuItem::FileSendFiles)->isEnabled()); // not connected yet
    Form->Command(TMenuItem::FileConnect);
    ASSERT_TRUE(WaitShown("Name:"));
    Type("Tester");
    Key(Qt::Key_Return);
    ASSERT_TRUE(WaitShown("Password:"));
    Type("secret");
    Key(Qt::Key_Return);
    ASSERT_TRUE(WaitShown("Lobby>"));
    EXPECT_TRUE(Form->Item(TMenuItem::FileSendFiles)->isEnabled());

    Type("d");
    ASSERT_TRUE(WaitShown("File name:"));
    Type("big.bin");
    Key(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Form->TransferPanel()->isVisible() && PanelText().contains("big.bin"); }, Patience));
    EXPECT_TRUE(PanelText().contains("of 5.0 MB")) << PanelText().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->TransferPanel()->Finished(); }, Patience));
    EXPECT_TRUE(ReadAll(downloads.filePath("big.bin")) == big);
    EXPECT_TRUE(Form->StatusText().contains("Received big.bin")) << Form->StatusText().toStdString();
    ASSERT_TRUE(WaitShown("Transfer complete."));

    // The BBS's receiver waits; the files picked go up.
    const std::string up = Bytes(300000, 12, true);
    WriteAll(downloads.filePath("up.bin"), up);
    Type("u");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->StatusText().contains("waits for files"); }, Patience));
    FilesToSend = {downloads.filePath("up.bin")};
    Form->Item(TMenuItem::FileSendFiles)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReadAll(bbs.Files + "/up.bin") == up; }, Patience));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Form->StatusText().contains("Sent up.bin"); }, Patience));
}

} // namespace
