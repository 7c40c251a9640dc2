// Reading a busy board in the main window: highlight rules made in their dialog (a bad
// expression refused with the reason) acting on a live connection and stored in their
// section; "Highlight This..." from a selection.
#include "config/Highlights.h"
#include "shell/HighlightsDialog.h"
#include "terminal/qt/TerminalSpeech.h"
#include "tests/shell/ShellTestUtil.h"

#include <QCheckBox>

#include <QLineEdit>

namespace {

struct Reading : Shell
{
    LoopbackServer Server;
    QTimer Driver;
    // Runs `act` on the Highlights dialog once it is up.
    void OnDialog(std::function<void(THighlightsDialog &)> act)
    {
        QObject::connect(&Driver, &QTimer::timeout, [this, act] {
            if (auto *d = qobject_cast<THighlightsDialog *>(QApplication::activeModalWidget())) {
                Driver.stop();
                Driver.disconnect();
                act(*d);
            }
        });
        Driver.start(5);
    }
};

TEST_F(Reading, RulesFromTheDialogColourGagAndMarkLinesAndAreStored)
{
    WriteIni(HostIni(hmTelnet, Server.Port, "Moss"));
    Open();
    QString refusal;
    OnDialog([&](THighlightsDialog &d) {
        d.RegexBox()->setChecked(true);
        d.PatternBox()->setText(QStringLiteral("(sysop"));
        EXPECT_FALSE(d.AddRule(false));
        refusal = d.Refusal();
        d.PatternBox()->setText(QStringLiteral("sys[o0]p"));
        EXPECT_TRUE(d.AddRule(false));
        THighlightRule gag, mark;
        gag.Pattern = "spam";
        gag.Actions = haGag;
        mark.Pattern = "page";
        mark.Actions = haMark;
        for (const THighlightRule &r : {gag, mark}) {
            d.Propose(r);
            EXPECT_TRUE(d.AddRule(false));
        }
        d.accept();
    });
    Form->OptionsHighlightsItemClick();
    EXPECT_EQ(refusal, QStringLiteral("Not taken: Missing )."));
    EXPECT_EQ(THighlightStore(Ini).Rules.size(), 3u);

    Connect(Server);
    Server.Write("the sys0p is in\r\nbuy spam\r\nyou got a page\r\nend\r\n");
    ASSERT_TRUE(WaitShown("end"));
    EXPECT_FALSE(Shows("spam"));
    const TColorTTY &t = Form->ColourTTY()->Tty();
    const int row = t.CursorY - 3;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(t.RowChars(row)), 15), "the sys0p is in");
    EXPECT_EQ(t.AttrAt(4, row), 0x0E);
    EXPECT_NE(t.AttrAt(3, row), 0x0E);
    ASSERT_EQ(Form->MarkedRows().size(), 1u);
    EXPECT_TRUE(Form->ReviewMark(-1));
    EXPECT_EQ(t.RowNumber(Form->ColourTTY()->Speech().ReviewRow()), Form->MarkedRows()[0]);
    EXPECT_FALSE(Form->ReviewMark(-1));
}

TEST_F(Reading, HighlightThisProposesTheSelection)
{
    Open();
    TColorTTY &t = Form->ColourTTY()->Tty();
    t.Write("  Message from Bob  \r\n");
    const int y = t.CursorY - 1;
    t.SetSelection({15, y}, {20, y});
    QString proposed;
    OnDialog([&](THighlightsDialog &d) {
        proposed = d.PatternBox()->text();
        d.reject();
    });
    Form->HighlightSelection();
    EXPECT_EQ(proposed, QStringLiteral("Bob"));
    EXPECT_TRUE(THighlightStore(Ini).Rules.empty()); // cancelled: nothing written
}

} // namespace
