// The main window's Edit menu, mouse and Options commands: copy and cut between terminal
// and offline editor, addresses on the terminal opened, preferences applied at once, and F1
// in every dialog.
#include "colouredit/qt/Colours.h"
#include "shell/HelpSystem.h"
#include "shell/HelpWindow.h"
#include "terminal/PsfFont.h"
#include "tests/shell/ShellTestUtil.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QScrollBar>
#include <QWindow>

namespace {

// Runs `act` on the next modal dialog once it is up; `done` ends the watch.
struct ModalDriver
{
    QTimer Timer;
    explicit ModalDriver(std::function<bool(QWidget *)> act)
    {
        QObject::connect(&Timer, &QTimer::timeout, [this, act] {
            if (QWidget *w = QApplication::activeModalWidget(); w && act(w)) Timer.stop();
        });
        Timer.start(5);
    }
};

struct EditShell : Shell
{
    QWidget *Viewport() const { return Form->ColourTTY()->viewport(); }
    // The middle of a cell of the terminal, in viewport pixels.
    QPoint Pixel(int x, int y) const
    {
        const TColorTTYWidget *w = Form->ColourTTY();
        const TColorTTY &t = w->Tty();
        return QPoint((x - t.Left) * w->CharWidth() + w->CharWidth() / 2,
                      (y - t.Top) * w->CharHeight() + w->CharHeight() / 2);
    }
    void Drag(int x1, int x2, int y)
    {
        QTest::mousePress(Viewport(), Qt::LeftButton, {}, Pixel(x1, y));
        QTest::mouseMove(Viewport(), Pixel(x2, y));
        QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, Pixel(x2, y));
    }
    std::string EditText() const
    {
        char buf[256];
        Form->OffLineEdit().GetText(buf, sizeof buf);
        return buf;
    }
};

TEST_F(EditShell, AnEditBringsThePaletteAndCopyBeforeItTakesTheTerminalsText)
{
    LoopbackServer server;
    Host("C", hmORVO, server.Port);
    Open();
    Connect(server);
    server.Write("Name: " + Bytes({0xFF, 0xA2, 0x14, 0, 0, 0}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Enabled(TMenuItem::EditCut); }, Patience)); // the edit is open
    EXPECT_TRUE(Form->ColourPalette()->isVisible()); // wanted, so it comes up with the edit
    QTest::keyClicks(Form->ColourTTY(), "hello");
    const int row = Form->OffLineEdit().StartY();
    ASSERT_EQ(Form->OffLineEdit().StartX(), 6);

    Drag(0, 4, row); // "Name", before the edit: the terminal's text, the edit untouched
    Form->Item(TMenuItem::EditCopy)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Name"));
    EXPECT_EQ(EditText(), "hello");
}

TEST_F(EditShell, DoubleClickedAddressesAreOpened)
{
    Open();
    const struct
    {
        const char *Word;
        const char *Opened; // nullptr: nothing is opened
        bool Asked;         // the whole address was shown and the user agreed first
    } cases[] = {
        {"(ftp://host.example)", "ftp://host.example)", true},
        {"<<http://bbs.example/x", "http://bbs.example/x", false},
    };
    BoxAnswerer yes(QMessageBox::Yes);
    for (const auto &c : cases) {
        Opened.clear();
        yes.Texts.clear();
        Form->ColourTTY()->Write((std::string("see ") + c.Word + " now\r\n").c_str());
        const TColorTTY &t = Form->ColourTTY()->Tty();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return t.CursorY - 1 < t.Top + t.VisibleRows; }, Patience)); // in view
        // As the desktop delivers it: a click, then the double click.
        const QPoint at = Pixel(6, t.CursorY - 1);
        QTest::mouseClick(Viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(Opened, c.Opened ? QStringList{c.Opened} : QStringList{}) << c.Word;
        EXPECT_EQ(yes.Texts.size() == 1 && yes.Texts[0].endsWith(QString::fromLatin1(c.Opened)), c.Asked)
            << c.Word;
    }
}

// Preferences apply at once; the VGA font chosen in Font... draws the terminal at once and
// is the font of the next start.
TEST_F(EditShell, PreferencesAndFontApplyAtOnce)
{
    WriteIni("[Preferences]\nDisable Colours=1\n");
    Open();
    ASSERT_FALSE(Form->ColourTTY()->Options() & OptionBit(coColors));
    ASSERT_EQ(Form->ColourTTY()->Tty().VisibleRows, 24);
    ModalDriver driver([](QWidget *w) {
        w->findChild<QLineEdit *>("edLines")->setText("30");
        w->findChild<QCheckBox *>("cbColours")->setChecked(false);
        w->findChild<QPushButton *>("OKBtn")->click();
        return true;
    });
    Form->Item(TMenuItem::OptionsPreferences)->trigger();
    const TColorTTYWidget *tty = Form->ColourTTY();
    EXPECT_TRUE(tty->Options() & OptionBit(coColors));
    EXPECT_EQ(tty->Tty().VisibleRows, 30);
    EXPECT_EQ(tty->viewport()->height(), 30 * tty->CharHeight());
    EXPECT_EQ(tty->viewport()->width(), 80 * tty->CharWidth());

    if (!VgaFont()) GTEST_SKIP() << "no VGA console font installed (console-data)";
    ModalDriver font([](QWidget *w) {
        w->findChild<QCheckBox *>("cbVga")->setChecked(true);
        w->findChild<QPushButton *>("OKBtn")->click();
        return true;
    });
    Form->Item(TMenuItem::OptionsFont)->trigger();
    ASSERT_TRUE(Form->ColourTTY()->UsesBitmapFont());
    EXPECT_EQ(Form->ColourTTY()->viewport()->width(), 80 * Form->ColourTTY()->CharWidth());
    Form.reset();
    Open();
    EXPECT_TRUE(Form->ColourTTY()->UsesBitmapFont());
}

TEST_F(EditShell, F1InEachDialogOpensItsTopic)
{
    Open();
    const struct
    {
        TMenuItem Item;
        const char *Page;
    } cases[] = {
        {TMenuItem::FileSetHost, "hosts.html"},
        {TMenuItem::OptionsPreferences, "preferences.html#dialog"},
        {TMenuItem::OptionsFont, "preferences.html#font"},
        {TMenuItem::OptionsMacros, "macros.html"},
        {TMenuItem::OptionsUserFilter, "userfilter.html"},
    };
    for (const auto &c : cases) {
        QString shown;
        ModalDriver driver([&](QWidget *w) {
            if (shown.isEmpty()) {
                QWidget *focus = QApplication::focusWidget(); // may still be the main window's
                QTest::keyClick(focus && w->isAncestorOf(focus) ? focus : w, Qt::Key_F1);
                THelpWindow *help = Form->Help().Window();
                if (!help || (shown = help->Source().toString()).isEmpty()) return false;
                // The help window stays usable beside the modal dialog.
                EXPECT_TRUE(
                    w->windowHandle()->isAncestorOf(help->windowHandle(), QWindow::IncludeTransients));
            }
            static_cast<QDialog *>(w)->reject();
            return true;
        });
        Form->Item(c.Item)->trigger();
        EXPECT_TRUE(shown.endsWith(QString::fromLatin1(c.Page)))
            << int(c.Item) << " showed " << shown.toStdString();
        Form->Help().Quit();
    }
}

} // namespace
