// Reading a busy board in the main window: highlight rules made in their dialog (a bad
// expression refused with the reason) acting on a live connection and stored in their
// section; "Highlight This..." from a selection; the art viewer with its SAUCE
// description, a damaged file, and its exports; the terminal saved as .ans.
#include "config/Highlights.h"
#include "shell/ArtViewer.h"
#include "shell/HighlightsDialog.h"
#include "terminal/AnsiArt.h"
#include "terminal/qt/TerminalSpeech.h"
#include "tests/shell/ShellTestUtil.h"

#include <QCheckBox>

#include <QImage>
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
    Form->Command(TMenuItem::OptionsHighlights);
    EXPECT_EQ(refusal, QStringLiteral("Not taken: Missing )."));
    EXPECT_EQ(THighlightStore(Ini).Rules.size(), 3u);

    Connect(Server);
    Server.Write("the sys0p is in\r\nbuy spam\r\nyou got a page\r\nend\r\n");
    ASSERT_TRUE(WaitShown("end"));
    EXPECT_FALSE(Shows("spam"));
    const TColorTTY &t = Form->ColourTTY()->Tty();
    const int row = t.CursorY - 3;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(t.Screen().RowChars(row)), 15), "the sys0p is in");
    EXPECT_EQ(t.Screen().AttrAt(4, row), 0x0B);
    EXPECT_NE(t.Screen().AttrAt(3, row), 0x0B);
    ASSERT_EQ(Form->Highlights().MarkedRows().size(), 1u);
    EXPECT_TRUE(Form->Highlights().ReviewMark(-1));
    EXPECT_EQ(t.Screen().RowNumber(Form->ColourTTY()->Speech().ReviewRow()),
              Form->Highlights().MarkedRows()[0]);
    EXPECT_FALSE(Form->Highlights().ReviewMark(-1));
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
    Form->Highlights().HighlightSelection();
    EXPECT_EQ(proposed, QStringLiteral("Bob"));
    EXPECT_TRUE(THighlightStore(Ini).Rules.empty()); // cancelled: nothing written
}

TEST_F(Reading, ArtViewerDescribesDrawsAndExportsAFile)
{
    Open();
    // 40 columns and iCE colours by SAUCE, a comment; then the same without its last bytes.
    std::string art =
        std::string("\x1b[0;5;44mA\x1b[0;1;32mB\nC") + '\0' + "D\x1b[2C" + '\0' + "E\x1b[35CF\r\n";
    std::string sauce = "COMNT" + std::string("a comment") + std::string(55, ' ') + "SAUCE00" +
                        std::string("Title <b>here</b>") + std::string(18, ' ') + "Author" +
                        std::string(14, ' ') + "Group" + std::string(15, ' ') + "20261207" +
                        std::string(38, '\0');
    sauce[5 + 64 + 94] = 1;
    sauce[5 + 64 + 95] = 1;
    sauce[5 + 64 + 96] = 40;
    sauce[5 + 64 + 104] = 1;
    sauce[5 + 64 + 105] = 1;
    const QString path = Dir.filePath(QStringLiteral("t.ans")), cut = Dir.filePath(QStringLiteral("cut.ans"));
    std::ofstream(path.toStdString(), std::ios::binary) << art << '\x1a' << sauce;
    std::ofstream(cut.toStdString(), std::ios::binary) << art << "\x1b[1;3" << '\x1a' << sauce.substr(0, 100);

    TArtViewer *v = OpenArt(Form.get(), path);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->Description(),
              QStringLiteral("Title <b>here</b> by Author / Group\n40 columns, 3 lines, iCE "
                             "colours\na comment"));
    const TArtCanvas &c = v->Art().Canvas;
    // NUL is a blank cell, a lone LF a new line, a move past the last column wraps.
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(c.RowChars(1)), 8), "C D   E ");
    EXPECT_EQ(c.CharAt(2, 2), 'F');
    EXPECT_EQ(c.AttrAt(0, 0), 0xC7);
    EXPECT_EQ(c.AttrAt(1, 0), 0x0A);

    QString error;
    ASSERT_TRUE(v->ExportPng(Dir.filePath(QStringLiteral("t.png")), &error)) << error.toStdString();
    const QImage png(Dir.filePath(QStringLiteral("t.png")));
    EXPECT_EQ(png.size(), QSize(40 * 8, 3 * 16));
    EXPECT_EQ(png.pixel(0, 0), 0xFF000000u | TerminalPalette(12)); // the bright blue background of iCE
    v->Canvas()->Choose(1, 1);
    ASSERT_TRUE(v->ExportAnsi(Dir.filePath(QStringLiteral("row.ans")), &error));
    TArtViewer *row = OpenArt(Form.get(), Dir.filePath(QStringLiteral("row.ans")));
    ASSERT_TRUE(row);
    ASSERT_EQ(row->Art().Canvas.Rows(), 1);
    EXPECT_EQ(0, std::memcmp(row->Art().Canvas.RowChars(0), c.RowChars(1), 40));
    EXPECT_EQ(0, std::memcmp(row->Art().Canvas.RowAttrs(0), c.RowAttrs(1), 40));

    TArtViewer *damaged = OpenArt(Form.get(), cut);
    ASSERT_TRUE(damaged);
    EXPECT_TRUE(damaged->Description().contains(QStringLiteral("cut short")));
    EXPECT_TRUE(damaged->Description().contains(QStringLiteral("ends inside an escape sequence")));
    EXPECT_EQ(damaged->Art().Canvas.Width(), 80); // without its SAUCE record
    EXPECT_EQ(damaged->Art().Canvas.Rows(), 2);

    BoxAnswerer ok;
    EXPECT_FALSE(OpenArt(Form.get(), Dir.filePath(QStringLiteral("missing.ans"))));
    EXPECT_EQ(ok.Texts.size(), 1);
}

TEST_F(Reading, TheTerminalSavedAsAnsiReadsBackAsItsCells)
{
    Open();
    TColorTTY &t = Form->ColourTTY()->Tty();
    t.Write("\x1b[1;33mgold\x01B on blue\r\n\x01a\x01wplain\r\n");
    QString error;
    ASSERT_TRUE(SaveAnsi(Form->ColourTTY()->Tty(), Form->Session().Host().Name,
                         Dir.filePath(QStringLiteral("s.ans")), &error))
        << error.toStdString();
    const TArtFile back = ReadArt(*ReadWholeFile(Dir.filePath(QStringLiteral("s.ans")).toStdString()));
    ASSERT_EQ(back.Canvas.Width(), t.Cols);
    int first = 0;
    while (first < t.Rows && t.Screen().RowChars(first)[0] != 'g')
        ++first;
    ASSERT_GE(back.Canvas.Rows(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < t.Cols; ++x) {
            if (t.Screen().CharAt(x, first + y) == ' ' && !(t.Screen().AttrAt(x, first + y) & 0x70))
                continue; // blanks are dropped
            EXPECT_EQ(back.Canvas.CharAt(x, y), t.Screen().CharAt(x, first + y)) << x << "," << y;
            EXPECT_EQ(back.Canvas.AttrAt(x, y), t.Screen().AttrAt(x, first + y)) << x << "," << y;
        }
}

} // namespace
