// A key typed until its echo is painted: the key goes through the window, the engine and a
// loopback socket to a server that echoes it, and comes back through the socket, the
// engine and the terminal to the end of the paint that shows it.
#include "bench/AppBench.h"
#include "bench/BenchNet.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

void MeasureKeyLatency(int keys)
{
    uint16_t port = 0;
    const int listener = Listen(port);
    std::atomic<bool> stop{false};
    std::atomic<int64_t> echoedAt{0}; // when the server sent the last echo
    std::thread server([&] {
        const int peer = AcceptWithin(listener, 10000);
        if (peer < 0) return;
        SendAll(peer, "\xff\xfb\x01"); // WILL ECHO: the client leaves the echo to us
        TelnetEchoFilter filter;
        while (!stop) {
            pollfd p{peer, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1) continue;
            char buf[512];
            const ssize_t n = ::recv(peer, buf, sizeof buf, 0);
            if (n <= 0) break;
            const std::string echo = filter.Take(buf, size_t(n));
            if (!echo.empty() && !SendAll(peer, echo)) break;
            if (!echo.empty()) echoedAt = BenchClock::now().time_since_epoch().count();
        }
        ::close(peer);
    });
    BenchWindow window(port);
    TTTYForm &form = window.Form;
    if (!QTest::qWaitForWindowExposed(&form)) std::printf("the window was not shown\n");
    TColorTTYWidget *w = form.ColourTTY();
    TColorTTY &t = w->Tty();
    form.Command(TMenuItem::FileConnect);
    if (!QTest::qWaitFor([&] { return form.IsConnected(); }, 10000))
        std::printf("key_latency: not connected\n");
    QTest::qWait(300); // the echo negotiated
    w->setFocus();

    std::vector<double> lat, afterEcho;
    QEventLoop loop;
    QRect want;
    BenchClock::time_point sent;
    w->OnPainted = [&](const QRect &area) {
        if (!want.isNull() && area.contains(want) && t.CursorX != 0 &&
            t.Screen().CharAt(t.CursorX - 1, t.CursorY) != ' ') {
            const auto now = BenchClock::now();
            lat.push_back(Ms(now - sent));
            afterEcho.push_back(Ms(now - BenchClock::time_point(BenchClock::duration(echoedAt.load()))));
            want = {};
            loop.quit();
        }
    };
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (int i = 0; i < keys; ++i) {
        if (t.CursorX >= t.Cols - 1) t.Write("\r\n"); // a fresh row, as if the BBS broke the line
        QTest::qWait(20);                             // a fast typist: about 50 keys a second
        want = QRect((t.CursorX - t.Left) * w->CharWidth(), (t.CursorY - t.Top) * w->CharHeight(),
                     w->CharWidth(), w->CharHeight());
        sent = BenchClock::now();
        QTest::keyClick(w, char('a' + i % 26));
        giveUp.start(2000);
        if (!want.isNull()) loop.exec();
        giveUp.stop();
        want = {};
    }
    w->OnPainted = nullptr;
    stop = true;
    server.join();
    ::close(listener);
    if (lat.size() < size_t(keys) * 9 / 10) {
        std::printf("key_latency: only %zu of %d echoes were painted\n", lat.size(), keys);
        return;
    }
    std::sort(lat.begin(), lat.end());
    Figure("key_latency_p50_ms", lat[lat.size() / 2], "ms", "key typed to its echo painted");
    Figure("key_latency_p99_ms", lat[lat.size() * 99 / 100], "ms", "[target <= 2 ms]");
    Figure("key_latency_max_ms", lat.back(), "ms", "");
    // The program's own part: from the echo leaving the server to the paint that shows it
    // (the rest is the server's thread waiting for a core).
    std::sort(afterEcho.begin(), afterEcho.end());
    Figure("key_latency_after_echo_p50_ms", afterEcho[afterEcho.size() / 2], "ms",
           "the echo sent to its paint");
    Figure("key_latency_after_echo_p99_ms", afterEcho[afterEcho.size() * 99 / 100], "ms", "");
}
