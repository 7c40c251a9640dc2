#pragma once
// The parts of bench_app, each a function of its own; main() runs them in one process.

#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/Setmacro.h"
#include "config/UserFilt.h"
#include "shell/Ttywin.h"

#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>

// One figure as `name: value unit  note`; bench/peers.sh reads them by name.
inline void Figure(const char *name, double value, const char *unit, const char *note = "")
{
    std::printf("%s: %.2f %s  %s\n", name, value, unit, note);
    std::fflush(stdout);
}

// The main window, its settings in a temporary folder, its one host "Flood" a Telnet host
// at 127.0.0.1:port over `transport` (tcp, tls or ssh, as root) with the terminal
// `terminal` (classic or ansi), and `more` sections of the settings file; shown.
struct BenchWindow
{
    explicit BenchWindow(uint16_t port, const std::string &transport = "tcp",
                         const std::string &terminal = "classic", const std::string &more = "")
        : Ini(WriteIni(Dir, port, transport, terminal, more)), Hosts(Ini), Prefs(Ini), Filter(Ini),
          Form(TAppStores{Hosts, Prefs, Filter, Macros, false})
    {
        Form.show();
    }
    static std::string WriteIni(const QTemporaryDir &dir, uint16_t port, const std::string &transport,
                                const std::string &terminal, const std::string &more)
    {
        const std::string ini = dir.filePath(QStringLiteral("winmarlet.INI")).toStdString();
        std::ofstream(ini) << "[Hosts]\nHost=Flood\nAddress=127.0.0.1\nPort=" << port
                           << "\nMode=1\nTransport=" << transport << "\nTerminal=" << terminal
                           << "\nLogin Name=root\n"
                           << more;
        return ini;
    }
    QTemporaryDir Dir;
    std::string Ini;
    THostInfo Hosts;
    TClientPrefs Prefs;
    TUserFilter Filter;
    TMacroTable Macros;
    TTTYForm Form;
};

// Writes BBS text into the window's terminal until its history holds `lines` rows; the
// first text row written is `first`.
void FillHistory(TTTYForm &form, int lines, const std::string &first);

// Resident memory in MB of a bare Qt Widgets window with a menu bar, a status bar and one
// painted child (the program qt_window), shown and painted.
double MeasureBareWindow(const QString &program);
// Bytes a line of history costs (first, while the heap is fresh).
void MeasureHistoryMemory();
// The find bar on 1,000,000 lines.
void MeasureSearch();
// A key typed to its echo painted, through a loopback echo server, `keys` times.
void MeasureKeyLatency(int keys);
// 8 MB floods through a window without history and one with 1,000,000 lines, in turns.
void MeasureFlood(int runs);
// 8 MB floods through a window without highlight rules and one with 50, in turns.
void MeasureRulesFlood(int runs);
// 16 MB floods over TCP, TLS and SSH: rate and growth of the resident set.
void MeasureTransportFloods(int runs);
