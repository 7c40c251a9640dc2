// The whole program as a user meets it, in one run:
//  - start-up: `winmarlet telnet://127.0.0.1:PORT` started until its window is up and its
//    connection reaches a loopback server (the connect is queued behind the window's
//    showing), the median of several starts;
//  - memory: its resident set once the 819-line scrollback is full, against a bare Qt
//    window with a menu bar, a status bar and one painted child (what Qt itself costs);
//  - flood: the main window in this process receiving an 8 MB BBS-style stream that a
//    loopback server sends as fast as the socket takes it, until the last byte is painted,
//    with no history and with 1,000,000 lines of it (AppFlood.cpp); and 16 MB over TCP,
//    TLS and SSH with the growth of the resident set;
//  - history: bytes per line of 1,000,000 lines, and the find bar searching them;
//  - latency: a key typed until its echo from a loopback server is painted.
// bench/peers.sh runs this beside the same work through xterm and libvterm.

#include "bench/AppBench.h"
#include "bench/BbsStream.h"
#include "bench/BenchNet.h"
#include "bench/ConnectTimes.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = BenchClock;

// Start-up and memory of the real program, run from a folder of its own so that the
// settings it writes stay there. Returns the resident set in MB.
double MeasureProgram(const QString &program, const std::string &scrollback, int runs)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("winmarlet"));
    if (!QFile::copy(program, copy)) {
        std::printf("start-up: cannot copy %s\n", qPrintable(program));
        return -1;
    }
    QFile::setPermissions(copy, QFile::ExeOwner | QFile::ReadOwner);
    std::vector<double> starts;
    long rssKb = -1;
    for (int run = 0; run < runs; ++run) {
        uint16_t port = 0;
        const int listener = Listen(port);
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const auto t0 = Clock::now();
        p.start(copy, {QStringLiteral("telnet://127.0.0.1:%1").arg(port)});
        const int peer = AcceptWithin(listener, 10000);
        const auto t1 = Clock::now();
        if (peer >= 0) {
            starts.push_back(Ms(t1 - t0));
            if (run == 0 && SendAll(peer, scrollback + TimingMark) && AwaitTimingMark(peer, 20000)) {
                // A few turns of its event loop for the paints that follow.
                SendAll(peer, TimingMark);
                AwaitTimingMark(peer, 20000);
                rssKb = ResidentKb(p.processId());
            }
            ::close(peer);
        }
        p.kill();
        p.waitForFinished(5000);
        ::close(listener);
    }
    if (starts.empty()) {
        std::printf("start-up: the program never connected\n");
        return -1;
    }
    std::sort(starts.begin(), starts.end());
    Figure("startup_connected_ms", starts[starts.size() / 2], "ms",
           "start-up to the window shown and connected, the median of the starts");
    Figure("memory_full_ring_mb", rssKb / 1024.0, "MB", "resident, the 819-line scrollback full, no history");
    return rssKb / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // bench_app [--only PART,...] [--runs N] [--keys N] [WINMARLET]: the parts are history,
    // program, flood, rules, search, latency, connect and transports; all of them without --only.
    // --runs: starts of the program and floods of each kind (default 5); --keys: keys typed
    // for the latency (default 1000).
    QStringList args = app.arguments().mid(1), only;
    int runs = 5, keys = 1000;
    while (args.size() >= 2 && args[0].startsWith(QStringLiteral("--"))) {
        if (args[0] == QStringLiteral("--only"))
            only = args[1].split(QLatin1Char(','));
        else if (args[0] == QStringLiteral("--runs"))
            runs = std::max(1, args[1].toInt());
        else if (args[0] == QStringLiteral("--keys"))
            keys = std::max(100, args[1].toInt());
        else
            break;
        args = args.mid(2);
    }
    auto part = [&only](const char *name) { return only.isEmpty() || only.contains(QLatin1String(name)); };
    const QString program = args.isEmpty() ? QStringLiteral(WM_WINMARLET_PATH) : args[0];
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
    if (part("history")) MeasureHistoryMemory();
    if (part("program")) {
        // More lines than the scrollback holds (MB = 10^6 bytes).
        const double rss = MeasureProgram(program, MakeBbsStream(120000, 7).Ours, runs);
        const double floor = MeasureBareWindow(QStringLiteral(WM_QT_WINDOW_PATH));
        if (rss > 0 && floor > 0) Figure("memory_ratio_to_bare_qt", rss / floor, "x", "[target <= 1.10]");
    }
    if (part("flood")) MeasureFlood(runs);
    if (part("rules")) MeasureRulesFlood(runs);
    if (part("search")) MeasureSearch();
    if (part("latency")) MeasureKeyLatency(keys);
    if (part("connect")) MeasureConnectTimes(WM_DEMOBBS_PATH);
    if (part("transports")) MeasureTransportFloods(runs);
    std::fflush(stdout);
    return 0;
}
