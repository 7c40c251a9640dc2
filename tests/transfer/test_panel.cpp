#include "session/Transfer.h"
#include "session/qt/TransferPanel.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString Texts(const TTransferPanel &panel)
{
    QStringList all;
    for (const QLabel *l : panel.findChildren<QLabel *>())
        all << l->text();
    return all.join('|');
}

TEST(TransferPanel, ShowsWhatMovesAndWhatBecameOfIt)
{
    TTransferPanel panel;
    QSignalSpy cancel(&panel, &TTransferPanel::CancelClicked), close(&panel, &TTransferPanel::CloseClicked);
    TTransferProgress p;
    p.FileName = "<b>big</b>.bin";
    p.FileNumber = 2;
    p.FileCount = 3;
    p.FileSize = 5 << 20;
    p.Done = 1 << 20;
    p.Rate = 2 << 20;
    p.SecondsLeft = 65;
    panel.ShowProgress(p);
    const QString shown = Texts(panel);
    for (const char *want :
         {"Receiving files", "<b>big</b>.bin  (file 2 of 3)", "1.0 MB of 5.0 MB", "2.0 MB/s, 1:05 left"})
        EXPECT_TRUE(shown.contains(want)) << want << " in " << shown.toStdString();
    for (const QLabel *l : panel.findChildren<QLabel *>())
        EXPECT_EQ(l->textFormat(), Qt::PlainText); // a name from the BBS is never markup
    EXPECT_EQ(panel.findChild<QProgressBar *>()->value(), 200);
    QPushButton *button = panel.findChild<QPushButton *>();
    button->click();
    QTest::keyClick(&panel, Qt::Key_Escape);
    EXPECT_EQ(cancel.count(), 2);

    TTransferResult r;
    r.End = TTransferEnd::Cancelled;
    r.Message = "Transfer cancelled. Kept as partial: big.bin.part (1048576 of 5242880 bytes).";
    r.Details = "rz: <b>file-1</b> removed..";
    panel.ShowResult(r);
    EXPECT_TRUE(Texts(panel).contains("big.bin.part"));
    EXPECT_TRUE(Texts(panel).contains("|Details: rz: <b>file-1</b> removed..|")); // a line of its own
    button->click();
    EXPECT_EQ(close.count(), 1);
    EXPECT_EQ(cancel.count(), 2);
    // An unknown size keeps the bar busy instead of at a made-up share.
    p.FileSize = -1;
    panel.ShowProgress(p);
    EXPECT_EQ(panel.findChild<QProgressBar *>()->maximum(), 0);
    EXPECT_EQ(TTransferPanel::Duration(3723), "1:02:03");
}

} // namespace
