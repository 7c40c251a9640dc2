// Floods through the main window: a loopback server sends a BBS stream and an end mark the
// window answers once it has handled every byte before it (Telnet's timing mark, or on any
// transport a cursor position request to an ANSI terminal), and the time runs from the first
// byte sent to the first paint that shows the text as the last byte left it. One connection
// per window carries every flood, so a window filled with history keeps it from one flood to
// the next (each new line drops the oldest). The same rig runs over TLS (socat in front of
// the server) and SSH (OpenSSH's server running socat as its forced command), with the
// growth of the resident set during each flood.
#include "bench/AppBench.h"
#include "bench/BbsStream.h"
#include "bench/BenchNet.h"
#include "bench/ConnectTimes.h"
#include "bench/HighlightRules.h"
#include "config/Highlights.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <thread>

namespace {

// The peak resident set in kB since the last ResetPeak(), -1 when it cannot be read.
long PeakKb()
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// What ends a flood: the window answers it once it has handled every byte before it.
enum class TEndMark { TimingMark, CursorRequest };

// The server behind the window's connection. Every connection it accepts is sent the end
// mark first: the one that answers is the window's (a relay's connection left over from
// another client is dropped).
class FloodServer
{
public:
    explicit FloodServer(TEndMark mark = TEndMark::TimingMark) : Mark(mark), Listener(Listen(Port)) {}
    ~FloodServer()
    {
        if (Peer >= 0) ::close(Peer);
        ::close(Listener);
    }
    uint16_t Port = 0;

    bool AcceptWindow(int ms)
    {
        const auto end = BenchClock::now() + std::chrono::milliseconds(ms);
        while (BenchClock::now() < end) {
            const int fd = AcceptWithin(Listener, int(Ms(end - BenchClock::now())) + 1);
            if (fd < 0) return false;
            if (SendAll(fd, EndMark()) && AwaitEnd(fd, 5000)) {
                if (Peer >= 0) ::close(Peer);
                Peer = fd;
                return true;
            }
            ::close(fd);
        }
        return false;
    }
    // Sends `stream` and the end mark; returns when the answer came (false: it did not).
    bool Flood(const std::string &stream, BenchClock::time_point &started, int timeoutMs = 120000)
    {
        started = BenchClock::now();
        const auto end = started + std::chrono::milliseconds(timeoutMs);
        if (!SendWithin(stream, end) || !SendWithin(EndMark(), end)) return false;
        const int left = int(std::max<double>(0, Ms(end - BenchClock::now())));
        if (!AwaitEnd(Peer, left)) {
            Why = std::string("no answer to the ") +
                  (Mark == TEndMark::TimingMark ? "timing mark" : "cursor position request") + " within " +
                  std::to_string(timeoutMs / 1000) + " s";
            return false;
        }
        return true;
    }
    std::string Why;
    // Ends the window's connection from this side (after a flood that failed).
    void Drop()
    {
        if (Peer >= 0) ::close(Peer);
        Peer = -1;
    }

private:
    // Sends all of `data` unless `end` comes first (a peer that stopped reading).
    bool SendWithin(const std::string &data, BenchClock::time_point end)
    {
        for (size_t done = 0; done < data.size();) {
            pollfd p{Peer, POLLOUT, 0};
            const int left = int(std::max<double>(0, Ms(end - BenchClock::now())));
            if (::poll(&p, 1, left) != 1) {
                Why = "the window stopped taking the stream (nothing sent for the rest of the time)";
                return false;
            }
            const ssize_t n =
                ::send(Peer, data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) {
                Why = std::string("sending failed: ") + std::strerror(errno);
                return false;
            }
            done += size_t(n);
        }
        return true;
    }

    const std::string &EndMark() const { return Mark == TEndMark::TimingMark ? TimingMark : CursorRequest; }
    bool AwaitEnd(int fd, int ms) const
    {
        return Mark == TEndMark::TimingMark ? AwaitTimingMark(fd, ms) : AwaitCursorReport(fd, ms);
    }

    TEndMark Mark;
    int Listener = -1;
    int Peer = -1;
};

// Runs `f` on a thread while this one handles events until it is done.
template <typename F> void WhileServing(F f)
{
    QEventLoop loop;
    std::thread t([&] {
        f();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    t.join();
}

struct DrainFigures
{
    double MbPerS = -1;
    double GrowthMb = -1;
};

// One flood into a connected window; the growth is counted from `baseKb` (the resident set
// when it connected, so what a first flood leaves allocated counts in every flood after).
DrainFigures Drain(TTTYForm &form, FloodServer &server, const std::string &stream, long baseKb = -1,
                   int timeoutMs = 120000)
{
    TColorTTYWidget *view = form.ColourTTY();
    unsigned paintedGeneration = view->TextGeneration();
    BenchClock::time_point paintedAt, started;
    view->OnPainted = [&](const QRect &) {
        if (paintedGeneration == view->TextGeneration()) return;
        paintedGeneration = view->TextGeneration();
        paintedAt = BenchClock::now();
    };
    const long before = baseKb >= 0 ? baseKb : ResidentKb(::getpid());
    ResetPeak();
    bool answered = false;
    WhileServing([&] { answered = server.Flood(stream, started, timeoutMs); });
    // The last byte is handled; it counts once it is on the screen.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (paintedGeneration == view->TextGeneration()) loop.quit();
    });
    poll.start(0);
    if (paintedGeneration != view->TextGeneration()) loop.exec();
    view->OnPainted = nullptr;
    DrainFigures f;
    if (!answered) return f;
    f.MbPerS = stream.size() / 1e3 / Ms(paintedAt - started);
    f.GrowthMb = (PeakKb() - before) / 1024.0;
    return f;
}

bool Connect(TTTYForm &form, FloodServer &server)
{
    form.Command(TMenuItem::FileConnect);
    bool ok = false;
    WhileServing([&] { ok = server.AcceptWindow(30000); });
    return ok && QTest::qWaitFor([&] { return form.IsConnected(); }, 10000);
}

double Median(std::vector<double> v)
{
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Floods two connected windows in turns, so a busy spell of the machine falls on both
// alike, the one that goes first changing from run to run. Rates of the first, of the
// second, and the runs' ratios of second to first.
struct TurnFigures
{
    std::vector<double> A, B, Ratio;
};

TurnFigures InTurns(BenchWindow &a, FloodServer &sa, BenchWindow &b, FloodServer &sb,
                    const std::string &flood, int runs)
{
    TurnFigures f;
    for (int run = 0; run < runs; ++run) {
        double x = 0, y = 0;
        if (run % 2 == 0) {
            x = Drain(a.Form, sa, flood).MbPerS;
            y = Drain(b.Form, sb, flood).MbPerS;
        } else {
            y = Drain(b.Form, sb, flood).MbPerS;
            x = Drain(a.Form, sa, flood).MbPerS;
        }
        if (x <= 0 || y <= 0) continue;
        f.A.push_back(x);
        f.B.push_back(y);
        f.Ratio.push_back(y / x);
    }
    return f;
}

void Shown(const char *part, std::initializer_list<BenchWindow *> windows)
{
    for (BenchWindow *w : windows)
        if (!QTest::qWaitForWindowExposed(&w->Form)) std::printf("%s: the window was not shown\n", part);
}

// Turns a window's feature (its history, its rules) on or off.
using TFeature = std::function<void(BenchWindow &, bool on)>;

// The same flood with a feature and without it, in two connected windows. Two windows of one
// process, set alike, differ by up to a seventh from each other (where their memory lies,
// from start to start), which is as much as the features cost: so each window has the
// feature for half the runs and goes without it for the other half. Rates without (A) and
// with (B); each ratio is the geometric mean of a run of each half, so that both windows
// count in it alike. False, said, when the figures could not be taken.
bool CrossedFloods(const char *part, BenchWindow &a, FloodServer &sa, BenchWindow &b, FloodServer &sb,
                   const std::string &flood, int runs, const TFeature &feature, TurnFigures &f)
{
    if (!Connect(a.Form, sa) || !Connect(b.Form, sb)) {
        std::printf("%s: the window did not connect\n", part);
        return false;
    }
    runs += runs % 2; // as many runs with either window first
    feature(a, false);
    feature(b, true);
    const TurnFigures first = InTurns(a, sa, b, sb, flood, runs);
    feature(b, false);
    feature(a, true);
    const TurnFigures second = InTurns(b, sb, a, sa, flood, runs);
    f = {};
    for (const TurnFigures *half : {&first, &second}) {
        f.A.insert(f.A.end(), half->A.begin(), half->A.end());
        f.B.insert(f.B.end(), half->B.begin(), half->B.end());
    }
    for (size_t i = 0; i < std::min(first.Ratio.size(), second.Ratio.size()); ++i)
        f.Ratio.push_back(std::sqrt(first.Ratio[i] * second.Ratio[i]));
    if (f.Ratio.empty()) std::printf("%s: no flood was answered\n", part);
    return !f.Ratio.empty();
}

} // namespace

void MeasureFlood(int runs)
{
    const std::string flood = MakeBbsStream(8000000, 20240611).Ours;
    FloodServer serverA, serverB;
    BenchWindow a(serverA.Port), b(serverB.Port);
    Shown("flood", {&a, &b});
    const TFeature history = [](BenchWindow &w, bool on) {
        TColorTTY &t = w.Form.ColourTTY()->Tty();
        t.SetHistoryLimit(on ? 1000000 : 0);
        if (on) FillHistory(w.Form, 1000000, "");
    };
    TurnFigures f;
    if (!CrossedFloods("flood", a, serverA, b, serverB, flood, runs, history, f)) return;
    Figure("flood_mb_s", Median(f.A), "MB/s",
           "8 MB drained through the main window until painted, no history");
    Figure("flood_history_mb_s", Median(f.B), "MB/s", "the same with 1,000,000 lines of history");
    Figure("flood_history_ratio", Median(f.Ratio), "x",
           "median of the runs' ratios, each window with and without [target >= 0.80]");
}

void MeasureRulesFlood(int runs)
{
    const std::string flood = MakeBbsStream(8000000, 20240611).Ours;
    // 45 texts and 5 expressions that match few lines, in the settings file as a user's.
    std::string section = "[Highlights]\n";
    int k = 0;
    for (const THighlightRule &r : FiftyRules(false))
        section += "Rule" + std::to_string(++k) + "=" + FormatHighlightRule(r) + "\n";
    FloodServer serverA, serverB;
    BenchWindow a(serverA.Port), b(serverB.Port, "tcp", "classic", section);
    const std::vector<THighlightRule> fifty = THighlightStore(b.Ini).Rules;
    if (fifty.size() != size_t(k)) std::printf("rules: not all rules were read\n");
    Shown("rules", {&a, &b});
    for (BenchWindow *w : {&a, &b})
        w->Form.ColourTTY()->Tty().SetHistoryLimit(0);
    const TFeature rules = [&fifty](BenchWindow &w, bool on) {
        w.Form.Session().SetHighlightRules(on ? fifty : std::vector<THighlightRule>{});
    };
    TurnFigures f;
    if (!CrossedFloods("rules", a, serverA, b, serverB, flood, runs, rules, f)) return;
    Figure("flood_plain_mb_s", Median(f.A), "MB/s", "8 MB through the main window until painted, no rules");
    Figure("flood_rules_mb_s", Median(f.B), "MB/s", "the same with 50 highlight rules that match few lines");
    Figure("flood_rules_ratio", Median(f.Ratio), "x",
           "median of the runs' ratios, each window with and without [target >= 0.90]");
}

void MeasureTransportFloods(int runs)
{
    // An ANSI-BBS host with the stream's colours as SGR: over SSH the host's bytes come raw,
    // and what the terminal answers on every transport is its cursor position report.
    const std::string flood = MakeBbsStream(16000000, 20240612).VTerm;
    for (const char *kind : {"tcp", "tls", "ssh"}) {
        FloodServer server(TEndMark::CursorRequest);
        TSecureRelay relay;
        const std::string name(kind);
        uint16_t port = server.Port;
        if (name != "tcp") {
            port = name == "tls" ? relay.StartTls(server.Port) : relay.StartSsh(server.Port);
            if (port == 0) {
                std::printf("flood over %s: the server did not start here\n", kind);
                continue;
            }
        }
        BenchWindow w(port, name, "ansi");
        w.Form.ColourTTY()->Tty().SetHistoryLimit(0); // what grows is the transport's, not the history
        if (name != "tcp" && !relay.Trust(w.Dir.path(), port)) {
            std::printf("flood over %s: the first connection failed\n", kind);
            continue;
        }
        if (!QTest::qWaitForWindowExposed(&w.Form) || !Connect(w.Form, server)) {
            std::printf("flood over %s: the window did not connect\n", kind);
            continue;
        }
        std::vector<double> rate, growth;
        const long base = ResidentKb(::getpid());
        // A flood that fails is named, and tried again (twice at most) on a new connection.
        for (int run = 0, failures = 0; int(rate.size()) < runs && failures <= 2; ++run) {
            // 16 MB take a second or two over any of them: a flood still going after 30 s
            // has stalled
            const DrainFigures f = Drain(w.Form, server, flood, base, 30000);
            if (f.MbPerS > 0) {
                rate.push_back(f.MbPerS);
                growth.push_back(f.GrowthMb);
                continue;
            }
            ++failures;
            std::printf("flood over %s: flood %d failed: %s; the window says \"%s\"\n", kind, run + 1,
                        server.Why.c_str(), qPrintable(w.Form.StatusText().trimmed()));
            // a new connection: the old one may be stuck
            server.Drop();
            (void)QTest::qWaitFor([&] { return !w.Form.IsConnected(); }, 10000);
            if (w.Form.IsConnected() || !Connect(w.Form, server)) break;
        }
        if (rate.empty()) {
            std::printf("flood over %s: no flood was answered\n", kind);
            continue;
        }
        Figure(("flood_" + name + "_mb_s").c_str(), Median(rate), "MB/s",
               "16 MB through the window until painted");
        Figure(("flood_" + name + "_growth_mb").c_str(), Median(growth), "MB",
               "the resident set's peak during a flood, above where it was once connected");
    }
}
