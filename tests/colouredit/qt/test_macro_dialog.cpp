#include "colouredit/qt/MacroDlg.h"
#include "config/IniFile.h"
#include "tests/config/qt/DialogTestUtil.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

struct MacroDialogTest : ::testing::Test
{
    TMacroTable Table;
    QWidget Owner;
    TMacrosDlg Dlg{Table, QFont(QStringLiteral("DejaVu Sans Mono"), 10), &Owner};

    void Type(const char *text) { QTest::keyClicks(Dlg.MacroText, QString::fromLatin1(text)); }
    std::vector<bool> F1F10Enabled() const { return {Dlg.rbF[0]->isEnabled(), Dlg.rbF[9]->isEnabled()}; }
};

TEST_F(MacroDialogTest, F1AndF10AreMacrosOnlyWithShiftOrControl)
{
    EXPECT_EQ(Dlg.CurrentSlot(), 1);
    EXPECT_TRUE(Dlg.rbF[1]->isChecked());
    EXPECT_EQ(F1F10Enabled(), (std::vector<bool>{false, false}));
    Dlg.cbShift->click();
    EXPECT_EQ(F1F10Enabled(), (std::vector<bool>{true, true}));
    EXPECT_EQ(Dlg.CurrentSlot(), 13);
    Dlg.rbF[0]->click();
    Type("sf1");
    Dlg.cbControl->click();
    EXPECT_EQ(Dlg.CurrentSlot(), 36);
    Dlg.cbShift->click();
    EXPECT_EQ(Dlg.CurrentSlot(), 24);
    // Neither held any more: F1 gives way to F2, and the Shift+F1 text stays stored.
    Dlg.cbControl->click();
    EXPECT_EQ(F1F10Enabled(), (std::vector<bool>{false, false}));
    EXPECT_TRUE(Dlg.rbF[1]->isChecked());
    EXPECT_EQ(Dlg.CurrentSlot(), 1);
    EXPECT_EQ(Dlg.WorkingText(12), "sf1");
    EXPECT_EQ(Dlg.MacroText->Text(), "");
    // The text is bounded by the slot's size.
    Type(std::string(MacroMaxLength + 5, 'q').c_str());
    Dlg.rbF[3]->click();
    EXPECT_EQ(Dlg.WorkingText(1), std::string(MacroMaxLength, 'q'));
}

TEST_F(MacroDialogTest, OkWithoutEditsStillMarksChangedAndCancelWritesNothing)
{
    Type("two");
    Dlg.rbF[2]->click();
    Type("three");
    Dlg.CancelBtn->click();
    EXPECT_EQ(Dlg.result(), QDialog::Rejected);
    EXPECT_EQ(Table.FileBytes(), std::string(MacroCount, '\0'));
    EXPECT_FALSE(Table.MacrosChanged);

    TMacrosDlg again(Table, QFont(), &Owner);
    again.OKBtn->click();
    EXPECT_TRUE(Table.MacrosChanged);
    ExpectEveryControlNamed(again);
}

TEST(MacroDialog, OkSavesMergedWithAnotherCopysMacrosAndReportsAFailure)
{
    TTempFolder tmp;
    const std::string file = tmp / "w.MAC";
    TMacroTable mine, other; // two copies of the program on one file
    mine.LoadMacros(file);
    other.LoadMacros(file);
    other.SetText(5, "theirs");
    other.MacrosChanged = true;
    ASSERT_TRUE(other.SaveMacros());

    TMacrosDlg dlg(mine, QFont(), nullptr);
    dlg.cbControl->click();
    dlg.rbF[4]->click(); // Control+F5
    QTest::keyClicks(dlg.MacroText, QStringLiteral("abc"));
    QTest::keyClick(dlg.MacroText, Qt::Key_Return);
    QTest::keyClicks(dlg.MacroText, QStringLiteral("def"));
    EXPECT_EQ(dlg.result(), 0); // Enter stayed in the memo
    dlg.OKBtn->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    TMacroTable again;
    again.LoadMacros(file);
    EXPECT_EQ(std::string(again.View(28)) + " " + std::string(again.View(5)), "abc\ndef theirs");
    EXPECT_EQ(mine.View(5), "theirs"); // the table holds the merge
    EXPECT_FALSE(mine.MacrosChanged);

    TMacrosDlg failing(mine, QFont(), nullptr);
    QTest::keyClicks(failing.MacroText, QStringLiteral("x"));
    SetAtomicWriteHook([] { return false; }); // the disk is full
    const std::string message = ClickClosingMessageBox(failing, "OKBtn");
    SetAtomicWriteHook({});
    EXPECT_NE(message.find("could not be written"), std::string::npos) << message;
}
