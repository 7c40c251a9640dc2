// The real main window, offscreen, against servers started as child processes on 127.0.0.1.
#pragma once

#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/Setmacro.h"
#include "config/UserFilt.h"
#include "shell/Ttywin.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

// Generous: the CI machine is small and busy; waits end as soon as their condition holds.
constexpr int Patience = 30000;

// Answers every message box that comes up, and keeps their texts.
struct TBoxAnswerer
{
    QStringList Texts;
    QTimer Timer;
    explicit TBoxAnswerer(QMessageBox::StandardButton answer)
    {
        QObject::connect(&Timer, &QTimer::timeout, [this, answer] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) return;
            Texts << box->text();
            if (QAbstractButton *b = box->button(answer)) b->click();
        });
        Timer.start(5);
    }
};

inline std::string ReadFile(const QString &path)
{
    std::ifstream f(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A port nobody listens on right now.
inline uint16_t FreePort()
{
    QTcpServer s;
    return s.listen(QHostAddress::LocalHost, 0) ? s.serverPort() : 0;
}

// A child process, stopped with SIGTERM at the end.
struct TChild
{
    QProcess Process;
    ~TChild()
    {
        if (Process.state() == QProcess::NotRunning) return;
        Process.terminate();
        if (!Process.waitForFinished(Patience)) Process.kill();
    }
};

// The stores in a temporary folder and the main window on them.
class TE2eWindow : public ::testing::Test
{
protected:
    QTemporaryDir Dir;
    std::string Ini = Dir.filePath("winmarlet.INI").toStdString();
    std::unique_ptr<THostInfo> Hosts;
    std::unique_ptr<TClientPrefs> Prefs;
    std::unique_ptr<TUserFilter> Filter;
    TMacroTable Macros;
    std::unique_ptr<TTTYForm> Form;

    // The settings file, then the window on it.
    void Open(const std::string &ini)
    {
        std::ofstream(Ini) << ini;
        Hosts = std::make_unique<THostInfo>(Ini, std::vector<std::string>{});
        Prefs = std::make_unique<TClientPrefs>(Ini);
        Filter = std::make_unique<TUserFilter>(Ini);
        TShellPlatform p;
        p.StartProgram = [](const QString &, const QStringList &) { return false; };
        p.OpenAddress = [](const QString &) {};
        Form = std::make_unique<TTTYForm>(TAppStores{*Hosts, *Prefs, *Filter, Macros, false}, p);
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        Form->ColourTTY()->setFocus();
    }
    static std::string HostIni(THostMode mode, uint16_t port)
    {
        return "[Hosts]\nHost=E2E\nAddress=127.0.0.1\nPort=" + std::to_string(port) +
               "\nMode=" + std::to_string(mode) + "\n";
    }
    // The whole terminal buffer, scrollback included, one line a row.
    std::string Screen() const
    {
        const TColorTTY &t = Form->ColourTTY()->Tty();
        std::string s;
        for (int y = 0; y < t.Rows; ++y) {
            std::string row(reinterpret_cast<const char *>(t.RowChars(y)), size_t(t.Cols));
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
