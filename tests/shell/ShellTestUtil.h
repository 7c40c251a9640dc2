// The main window under test: its stores in a temporary folder, a recording launcher,
// loopback servers and message boxes answered as they come up.
#pragma once

#include "colouredit/OffLine.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/Setmacro.h"
#include "config/UserFilt.h"
#include "shell/Conlight.h"
#include "shell/Ttywin.h"
#include "terminal/qt/ColorTTYWidget.h"
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

// Generous: the build machine is small and busy; waits end as soon as their condition holds.
inline constexpr int Patience = 30000;

// Answers every message box that comes up, and keeps their texts.
struct BoxAnswerer
{
    QStringList Texts;
    QMessageBox::StandardButton Answer;
    QTimer Timer;
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : Answer(answer)
    {
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) return;
            Texts << box->text();
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
    std::unique_ptr<TTTYForm> Form;

    void WriteIni(const std::string &text) { std::ofstream(Ini) << text; }
    // A fixture's own settings for the window about to be built (its stores exist by then).
    virtual void Configure(TShellPlatform &) {}

    void Open(const std::vector<std::string> &args = {})
    {
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
        Configure(p);
        Form = std::make_unique<TTTYForm>(TAppStores{*Hosts, *Prefs, *Filter, Macros, !args.empty()}, p);
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    }
    // The current host pointing at a loopback port.
    void Host(const char *name, THostMode mode, uint16_t port)
    {
        WriteIni("[Hosts]\nHost=" + std::string(name) + "\nAddress=127.0.0.1\nPort=" + std::to_string(port) +
                 "\nMode=" + std::to_string(mode) + "\n");
    }
    bool Shown(TMenuItem item) const { return Form->Item(item)->isVisible(); }
    bool Enabled(TMenuItem item) const { return Form->Item(item)->isEnabled(); }
    // Connects and accepts; the bytes the window sent first are read into Got.
    void Connect(LoopbackServer &s)
    {
        Form->FileConnectItemClick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Form->IsConnected(); }, Patience));
        ASSERT_TRUE(s.Accept());
    }
    std::string Got;
    bool Receive(LoopbackServer &s, size_t n)
    {
        return QTest::qWaitFor([&] { return (Got += s.ReadSome(65536)).size() >= n; }, Patience);
    }
};

inline std::string Naws(int cols, int rows)
{
    return Bytes({0xFF, 0xFA, 0x1F, 0, cols, 0, rows, 0xFF, 0xF0});
}
