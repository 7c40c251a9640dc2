// The whole program as a user meets it, in one run:
//  - start-up: `winmarlet telnet://127.0.0.1:PORT` started until its window is up and its
//    connection reaches a loopback server (the connect is queued behind the window's
//    showing), the median of several starts;
//  - memory: its resident set once the 819-line scrollback is full;
//  - drain: the main window in this process receiving an 8 MB BBS-style stream that a
//    loopback server sends as fast as the socket takes it, until the last byte is painted.
// Targets: start-up under 150 ms, memory under 40 MB, drain at 100 MB/s or more.

#include "bench/BbsStream.h"
#include "bench/ConnectTimes.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/Setmacro.h"
#include "config/UserFilt.h"
#include "shell/Ttywin.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

int Listen(uint16_t &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    port = ntohs(a.sin_port);
    ::listen(fd, 4);
    return fd;
}

int AcceptWithin(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return -1;
    return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
}

bool SendAll(int fd, const std::string &s)
{
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Telnet's timing mark: the client answers it once it has handled every byte before it.
const std::string TimingMark = "\xff\xfd\x06";
const std::string TimingMarkAnswer = "\xff\xfb\x06";

bool AwaitTimingMark(int fd, int ms)
{
    std::string got;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) != 1) continue;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        got.append(buf, size_t(n));
        if (got.find(TimingMarkAnswer) != std::string::npos) return true;
    }
    return false;
}

long ResidentKb(qint64 pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Start-up and memory of the real program, run from a folder of its own so that the
// settings it writes stay there.
void MeasureProgram(const QString &program, const std::string &scrollback)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("winmarlet"));
    if (!QFile::copy(program, copy)) {
        std::printf("start-up: cannot copy %s\n", qPrintable(program));
        return;
    }
    QFile::setPermissions(copy, QFile::ExeOwner | QFile::ReadOwner);
    std::vector<double> starts;
    long rssKb = -1;
    for (int run = 0; run < 7; ++run) {
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
        return;
    }
    std::sort(starts.begin(), starts.end());
    std::printf("start-up to window shown and connected: median %.1f ms (min %.1f, max %.1f, %zu runs)"
                "  [target < 150 ms]\n",
                starts[starts.size() / 2], starts.front(), starts.back(), starts.size());
    std::printf("resident memory with the 819-line scrollback full: %.1f MB  [target < 40 MB]\n",
                rssKb / 1024.0);
}

// The main window in this process drains a flood from a loopback server.
void MeasureDrain(const std::string &stream)
{
    QTemporaryDir dir;
    const std::string ini = dir.filePath(QStringLiteral("winmarlet.INI")).toStdString();
    uint16_t port = 0;
    const int listener = Listen(port);
    std::ofstream(ini) << "[Hosts]\nHost=Flood\nAddress=127.0.0.1\nPort=" << port << "\nMode=1\n";
    THostInfo hosts(ini);
    TClientPrefs prefs(ini);
    TUserFilter filter(ini);
    TMacroTable macros;
    TTTYForm form(TAppStores{hosts, prefs, filter, macros, false});
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) std::printf("drain: the window was not shown\n");
    // Plain event loops: QTest's waits sleep between their turns and would be measured.
    QEventLoop loop;

    std::atomic<bool> done{false};
    std::atomic<int64_t> sendStart{0};
    std::thread server([&] {
        const int peer = AcceptWithin(listener, 10000);
        if (peer < 0) return;
        sendStart = Clock::now().time_since_epoch().count();
        if (SendAll(peer, stream + TimingMark)) AwaitTimingMark(peer, 60000);
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        ::shutdown(peer, SHUT_WR);
        ::close(peer);
    });
    form.FileConnectItemClick();
    if (!done) loop.exec();
    // The last byte is handled; it counts once it is on the screen.
    const int paints = form.ColourTTY()->PaintCount();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (form.ColourTTY()->PaintCount() > paints) loop.quit();
    });
    poll.start(0);
    loop.exec();
    const auto end = Clock::now();
    server.join();
    ::close(listener);
    const double ms = Ms(end - Clock::time_point(Clock::duration(sendStart.load())));
    std::printf("drain of %.1f MB through the main window until painted: %.1f ms, %.0f MB/s, %d paints"
                "  [target >= 100 MB/s]\n",
                stream.size() / 1e6, ms, stream.size() / 1e3 / ms, form.ColourTTY()->PaintCount());
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(WM_WINMARLET_PATH);
    // More lines than the scrollback holds, then the flood itself (MB = 10^6 bytes).
    MeasureProgram(program, MakeBbsStream(120000, 7).Ours);
    MeasureDrain(MakeBbsStream(8000000, 20240611).Ours);
    MeasureConnectTimes(WM_DEMOBBS_PATH);
    std::fflush(stdout);
    return 0;
}
