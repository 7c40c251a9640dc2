// The main window under test, for the shell's and the end-to-end tests: its stores in a
// temporary folder, a recording launcher, message boxes answered as they come up, the
// terminal read back as text and keys typed as the user types them.
#pragma once

#include "colouredit/OffLine.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/Setmacro.h"
#include "config/UserFilt.h"
#include "shell/ArtFiles.h"
#include "shell/CaptureControl.h"
#include "shell/Conlight.h"
#include "shell/HighlightMarks.h"
#include "shell/MessagesControl.h"
#include "shell/Ttywin.h"
#include "terminal/qt/ColorTTYWidget.h"
#include "tests/common/Patience.h"
#include "tests/net/NetTestUtil.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>

// Answers every message box that comes up, and keeps their texts.
struct BoxAnswerer
{
    QStringList Texts;
    QList<Qt::TextFormat> Formats;
    QMessageBox::StandardButton Answer;
    QTimer Timer;
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : Answer(answer)
    {
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) return;
            Texts << box->text();
            Formats << box->textFormat();
            if (QAbstractButton *b = box->button(Answer)) b->click();
        });
        Timer.start(5);
    }
};

inline std::string Bytes(std::initializer_list<int> b)
{
    std::string s;
    for (int c : b)
        s += char(c);
    return s;
}

inline std::string Naws(int cols, int rows)
{
    return Bytes({0xFF, 0xFA, 0x1F, 0, cols, 0, rows, 0xFF, 0xF0});
}

struct Shell : ::testing::Test
{
    QTemporaryDir Dir;
    std::string Ini = Dir.filePath("winmarlet.INI").toStdString();
    std::unique_ptr<THostInfo> Hosts;
    std::unique_ptr<TClientPrefs> Prefs;
    std::unique_ptr<TUserFilter> Filter;
    TMacroTable Macros;
    std::vector<QStringList> Launched;
    QStringList Opened;
    QStringList FilesToSend; // what Send Files... picks
    std::unique_ptr<TTTYForm> Form;

    void WriteIni(const std::string &text) { std::ofstream(Ini) << text; }
    // A fixture's own settings for the window about to be built (its stores exist by then).
    virtual void Configure(TShellPlatform &) {}

    void Open(const std::vector<std::string> &args = {})
    {
        Form.reset();
        Hosts = std::make_unique<THostInfo>(Ini, args);
        Prefs = std::make_unique<TClientPrefs>(Ini);
        Filter = std::make_unique<TUserFilter>(Ini);
        TShellPlatform p;
        p.ProgramPath = QStringLiteral("/opt/winmarlet");
        p.StartProgram = [this](const QString &prog, const QStringList &a) {
            Launched.push_back(QStringList{prog} + a);
            return !prog.startsWith(QLatin1String("/nonexistent"));
        };
        p.OpenAddress = [this](const QString &a) { Opened << a; };
        p.ChooseFilesToSend = [this](QWidget *, const QString &, bool) { return FilesToSend; };
        Configure(p);
        Form = std::make_unique<TTTYForm>(TAppStores{*Hosts, *Prefs, *Filter, Macros, !args.empty()}, p);
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        Form->ColourTTY()->setFocus();
    }
    // The settings file, then the window on it.
    void OpenWith(const std::string &ini)
    {
        WriteIni(ini);
        Open();
    }
    static std::string HostIni(THostMode mode, uint16_t port, const char *name = "E2E")
    {
        return "[Hosts]\nHost=" + std::string(name) + "\nAddress=127.0.0.1\nPort=" + std::to_string(port) +
               "\nMode=" + std::to_string(mode) + "\n";
    }
    // The current host pointing at a loopback port.
    void Host(const char *name, THostMode mode, uint16_t port) { WriteIni(HostIni(mode, port, name)); }
    bool Shown(TMenuItem item) const { return Form->Item(item)->isVisible(); }
    bool Enabled(TMenuItem item) const { return Form->Item(item)->isEnabled(); }
    // Connects and accepts; the bytes the window sent first are read into Got.
    void Connect(LoopbackServer &s)
    {
        Form->Command(TMenuItem::FileConnect);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Form->IsConnected(); }, Patience));
        ASSERT_TRUE(s.Accept());
    }
    std::string Got;
    bool Receive(LoopbackServer &s, size_t n)
    {
        return QTest::qWaitFor([&] { return (Got += s.ReadSome(65536)).size() >= n; }, Patience);
    }

    // The whole terminal buffer, scrollback included, one line a row.
    std::string Screen(const TColorTTYWidget *w = nullptr) const
    {
        const TColorTTY &t = (w ? w : Form->ColourTTY())->Tty();
        std::string s;
        for (int y = 0; y < t.Rows; ++y) {
            std::string row(reinterpret_cast<const char *>(t.Screen().RowChars(y)), size_t(t.Cols));
            row.erase(row.find_last_not_of(' ') + 1);
            s += row + '\n';
        }
        return s;
    }
    bool Shows(const std::string &text) const { return Screen().find(text) != std::string::npos; }
    [[nodiscard]] bool WaitShown(const std::string &text)
    {
        if (QTest::qWaitFor([&] { return Shows(text); }, Patience)) return true;
        const std::string s = Screen();
        ADD_FAILURE() << "never shown: " << text << "\n"
                      << s.substr(std::min(s.size(), s.find_first_not_of('\n')));
        return false;
    }
    // Keys as the user types them into the terminal.
    void Type(const char *text) { QTest::keyClicks(Form->ColourTTY(), QString::fromLatin1(text)); }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(Form->ColourTTY(), key, mods);
    }
};
