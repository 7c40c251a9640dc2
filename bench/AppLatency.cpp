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

namespace {

// The steps from an echo's arrival to its paint, each the first event of its kind after the
// key: the socket's notifier woken, the socket's notice handled (the read), the repaint's
// timer, Qt's update request, the paint's start and its end.
enum TStep { stWoken, stRead, stTimer, stUpdate, stPaint, stPainted, stSteps };
const char *const StepNames[stSteps] = {"woken", "read", "timer", "update", "paint", "painted"};

class StepWatch : public QObject
{
public:
    explicit StepWatch(QAbstractScrollArea *view) : View(view) {}
    void Reset()
    {
        for (auto &t : At)
            t = {};
    }
    void Mark(TStep s)
    {
        // only in order: each step after the one before it
        if (At[s] == BenchClock::time_point{} && (s == stWoken || At[s - 1] != BenchClock::time_point{}))
            At[s] = BenchClock::now();
    }
    bool eventFilter(QObject *o, QEvent *e) override
    {
        const int t = e->type();
        if (t == QEvent::SockAct)
            Mark(stWoken);
        else if (t >= QEvent::User && t <= QEvent::MaxUser)
            Mark(stRead);
        else if (t == QEvent::Timer && o == View)
            Mark(stTimer);
        else if (t == QEvent::UpdateRequest)
            Mark(stUpdate);
        else if (t == QEvent::Paint && o == View->viewport())
            Mark(stPaint);
        return false;
    }
    QAbstractScrollArea *View;
    BenchClock::time_point At[stSteps];
};

double Percentile(std::vector<double> v, int p)
{
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() * size_t(p) / 100];
}

} // namespace

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
            // stamped before the send: the echo may be painted before this thread runs again
            if (!echo.empty()) echoedAt = BenchClock::now().time_since_epoch().count();
            if (!echo.empty() && !SendAll(peer, echo)) break;
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

    std::vector<double> lat, afterEcho, beforeEcho, keyHandled;
    std::vector<double> steps[stSteps]; // each step's time since the one before (the first: since the echo)
    StepWatch watch(w);
    qApp->installEventFilter(&watch);
    QEventLoop loop;
    QRect want;
    BenchClock::time_point sent;
    w->OnPainted = [&](const QRect &area) {
        if (!want.isNull() && area.contains(want) && t.CursorX != 0 &&
            t.Screen().CharAt(t.CursorX - 1, t.CursorY) != ' ') {
            const auto now = BenchClock::now();
            lat.push_back(Ms(now - sent));
            const BenchClock::time_point echoed(BenchClock::duration(echoedAt.load()));
            afterEcho.push_back(Ms(now - echoed));
            beforeEcho.push_back(Ms(echoed - sent));
            watch.Mark(stPainted);
            BenchClock::time_point before = echoed;
            bool whole = true;
            for (const auto &at : watch.At)
                whole = whole && at != BenchClock::time_point{};
            for (int k = 0; whole && k < stSteps; ++k) {
                steps[k].push_back(Ms(watch.At[k] - before));
                before = watch.At[k];
            }
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
        watch.Reset();
        sent = BenchClock::now();
        QTest::keyClick(w, char('a' + i % 26));
        keyHandled.push_back(Ms(BenchClock::now() - sent));
        giveUp.start(2000);
        if (!want.isNull()) loop.exec();
        giveUp.stop();
        want = {};
    }
    w->OnPainted = nullptr;
    qApp->removeEventFilter(&watch);
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
    // Where the time goes: the key handled in the window (the key press and release), the
    // key to its echo leaving the server, and for the keys that went through every step, the
    // time each step took since the one before (the first since the echo left).
    std::printf("key_latency: %-8s p50 %.3f ms  p99 %.3f ms\n", "key", Percentile(keyHandled, 50),
                Percentile(keyHandled, 99));
    std::printf("key_latency: %-8s p50 %.3f ms  p99 %.3f ms\n", "echoed", Percentile(beforeEcho, 50),
                Percentile(beforeEcho, 99));
    for (int k = 0; k < stSteps; ++k)
        std::printf("key_latency: %-8s p50 %.3f ms  p99 %.3f ms  (%zu keys)\n", StepNames[k],
                    Percentile(steps[k], 50), Percentile(steps[k], 99), steps[k].size());
}
