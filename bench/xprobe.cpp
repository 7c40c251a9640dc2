// Measures a terminal program on an X display from the outside, the same way whichever
// program it is, so that winMarlet and xterm can be set side by side:
//
//   xprobe startup RUNS -- CMD...          start to the window mapped, and to its first paint
//   xprobe flood telnet|ansi [MB] -- CMD...
//                                          a BBS stream (8 MB unless given) from a loopback
//                                          server until the program has handled it and its
//                                          last paint
//   xprobe latency telnet|ansi KEYS -- CMD...
//                                          keys typed with xdotool until their echo from a
//                                          loopback server is painted, and each key split where
//                                          its byte reaches the server
//
// `%PORT%` in CMD becomes the loopback server's port. The program speaks Telnet (telnet:
// the stream ends in a timing mark, the echo server offers to echo) or is a terminal running
// a plain TCP client (ansi: the stream has SGR for the colour codes and ends in a cursor
// position request). Paints are seen through the DAMAGE extension, keys through the
// KeyPress events the window gets. Figures are printed as `name: value unit`.
#include "bench/BbsStream.h"
#include "bench/BenchNet.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using Clock = BenchClock;

int IgnoreXErrors(Display *, XErrorEvent *)
{
    return 0; // windows come and go while we watch them
}

struct Watcher
{
    Display *D = nullptr;
    int DamageEvent = 0;
    Window Target = 0;
    std::vector<Damage> Damages;
    std::vector<Window> Created;
    Clock::time_point Mapped, FirstPaint, LastPaint;
    bool HasPaint = false;
    int Paints = 0;
    std::deque<Clock::time_point> Keys; // keys seen, their echo not painted yet
    std::vector<double> KeyLatency;
    std::vector<Clock::time_point> KeyTimes, GlyphTimes; // every key seen, every key's glyph
    bool WatchKeys = false;

    // An X server refuses connections while it resets after its last client left (and
    // while it is still starting): tried again until it answers, for up to 10 s.
    bool Open()
    {
        const auto end = Clock::now() + std::chrono::seconds(10);
        int tries = 0;
        while (!(D = XOpenDisplay(nullptr)) && Clock::now() < end) {
            ++tries;
            ::poll(nullptr, 0, 20);
        }
        if (!D) {
            std::fprintf(stderr, "xprobe: cannot open the X display %s (%d tries in 10 s)\n",
                         XDisplayName(nullptr), tries + 1);
            return false;
        }
        int error = 0;
        if (!XDamageQueryExtension(D, &DamageEvent, &error)) {
            std::fprintf(stderr, "xprobe: the X display %s has no DAMAGE extension\n", XDisplayName(nullptr));
            XCloseDisplay(D);
            D = nullptr;
            return false;
        }
        if (tries > 0) std::fprintf(stderr, "xprobe: the X display answered after %d refusals\n", tries);
        XSetErrorHandler(IgnoreXErrors);
        XSelectInput(D, DefaultRootWindow(D), SubstructureNotifyMask);
        XSync(D, False);
        return true;
    }

    // Damage and, for the latency, key presses on a window and everything inside it.
    void WatchTree(Window w)
    {
        Damages.push_back(XDamageCreate(D, w, XDamageReportNonEmpty));
        if (WatchKeys) XSelectInput(D, w, KeyPressMask);
        Window root, parent, *children = nullptr;
        unsigned n = 0;
        if (XQueryTree(D, w, &root, &parent, &children, &n)) {
            for (unsigned i = 0; i < n; ++i)
                WatchTree(children[i]);
            if (children) XFree(children);
        }
    }

    void Handle(const XEvent &e)
    {
        const auto now = Clock::now();
        if (e.type == CreateNotify && e.xcreatewindow.parent == DefaultRootWindow(D)) {
            // Watched from its creation, so its first paint is not missed.
            Created.push_back(e.xcreatewindow.window);
            Damages.push_back(XDamageCreate(D, e.xcreatewindow.window, XDamageReportNonEmpty));
        } else if (e.type == MapNotify && !Target &&
                   std::find(Created.begin(), Created.end(), e.xmap.window) != Created.end()) {
            XWindowAttributes a;
            if (XGetWindowAttributes(D, e.xmap.window, &a) && a.width > 50 && a.height > 50) {
                Target = e.xmap.window;
                Mapped = now;
                Window root, parent, *children = nullptr;
                unsigned n = 0;
                if (XQueryTree(D, Target, &root, &parent, &children, &n)) {
                    for (unsigned i = 0; i < n; ++i)
                        WatchTree(children[i]);
                    if (children) XFree(children);
                }
                if (WatchKeys) XSelectInput(D, Target, KeyPressMask);
            }
        } else if (e.type == DamageEvent + XDamageNotify) {
            const auto &d = reinterpret_cast<const XDamageNotifyEvent &>(e);
            XDamageSubtract(D, d.damage, None, None); // report the next change too
            if (!Target) return;
            if (!HasPaint) FirstPaint = now;
            HasPaint = true;
            LastPaint = now;
            ++Paints;
            // A pixel alone is no glyph: winMarlet paints one again after an echo, once idle
            // (see "Key to glyph" in README.md); late under load, it must not end the next key's wait.
            if (!Keys.empty() && d.area.width * d.area.height > 1) {
                KeyLatency.push_back(Ms(now - Keys.front()));
                GlyphTimes.push_back(now);
                Keys.pop_front();
            }
        } else if (e.type == KeyPress) {
            Keys.push_back(now);
            KeyTimes.push_back(now);
        }
    }

    // Handles events for up to `ms`, or until `until()` holds.
    template <class F> void Run(int ms, F until)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!until()) {
            while (XPending(D)) {
                XEvent e;
                XNextEvent(D, &e);
                Handle(e);
                if (until()) return;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) return;
            pollfd p{ConnectionNumber(D), POLLIN, 0};
            ::poll(&p, 1, int(std::min<long>(left, 5)));
        }
    }

    // Handles events until none came for `quietMs`.
    void Settle(int quietMs, int mostMs)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(mostMs);
        auto last = Clock::now();
        int seen = Paints;
        Run(mostMs, [&] {
            if (Paints != seen) {
                seen = Paints;
                last = Clock::now();
            }
            return Clock::now() - last > std::chrono::milliseconds(quietMs) || Clock::now() > end;
        });
    }
};

std::vector<std::string> WithPort(std::vector<std::string> cmd, uint16_t port)
{
    for (std::string &a : cmd)
        for (size_t at; (at = a.find("%PORT%")) != std::string::npos;)
            a.replace(at, 6, std::to_string(port));
    return cmd;
}

pid_t Spawn(const std::vector<std::string> &cmd)
{
    std::vector<char *> argv;
    for (const std::string &a : cmd)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP); // its own group, stopped as one
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), environ) != 0) pid = -1;
    posix_spawnattr_destroy(&attr);
    return pid;
}

void Stop(pid_t pid)
{
    if (pid <= 0) return;
    ::kill(-pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        ::usleep(20000);
    }
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

void Print(const std::string &name, double value, const char *unit)
{
    std::printf("%s: %.2f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

// NAME_p50_ms and NAME_p99_ms of the times in v.
void PrintPercentiles(const std::string &name, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    Print(name + "_p50_ms", v[v.size() / 2], "ms");
    Print(name + "_p99_ms", v[v.size() * 99 / 100], "ms");
}

double Median(std::vector<double> v)
{
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int Startup(int runs, const std::vector<std::string> &cmd)
{
    std::vector<double> mapped, painted;
    for (int i = 0; i < runs; ++i) {
        Watcher w;
        if (!w.Open()) return 2;
        const auto t0 = Clock::now();
        const pid_t pid = Spawn(cmd);
        w.Run(20000, [&] { return w.HasPaint; });
        if (w.HasPaint) {
            mapped.push_back(Ms(w.Mapped - t0));
            painted.push_back(Ms(w.FirstPaint - t0));
        }
        Stop(pid);
        XCloseDisplay(w.D);
        if (!w.HasPaint) {
            std::fprintf(stderr, "xprobe: start %d of %s: no window painted within 20 s\n", i + 1,
                         cmd[0].c_str());
            return 1;
        }
    }
    Print("startup_mapped_ms", Median(mapped), "ms");
    Print("startup_painted_ms", Median(painted), "ms");
    return 0;
}

// The program started, connected to our loopback server and showing its window.
struct Session
{
    Watcher W;
    int Listener = -1, Peer = -1;
    pid_t Pid = -1;

    bool Start(const std::vector<std::string> &cmd, bool keys)
    {
        uint16_t port = 0;
        Listener = Listen(port);
        W.WatchKeys = keys;
        if (!W.Open()) return false;
        Pid = Spawn(WithPort(cmd, port));
        Peer = AcceptWithin(Listener, 20000);
        W.Run(20000, [&] { return W.HasPaint; });
        W.Settle(300, 3000);
        return Peer >= 0 && W.HasPaint;
    }
    ~Session()
    {
        if (Peer >= 0) ::close(Peer);
        if (Listener >= 0) ::close(Listener);
        Stop(Pid);
        if (W.D) XCloseDisplay(W.D);
    }
};

int Flood(bool telnet, int megabytes, const std::vector<std::string> &cmd)
{
    const Streams s = MakeBbsStream(size_t(megabytes) * 1000000, 20240611);
    const std::string stream = telnet ? s.Ours + TimingMark : s.VTerm + "\x1b[6n";
    Session run;
    if (!run.Start(cmd, false)) {
        std::fprintf(stderr, "flood: the program did not start, connect and paint\n");
        return 1;
    }
    const auto t0 = Clock::now();
    std::thread sender([&] { SendAll(run.Peer, stream); });
    std::string got;
    bool answered = false;
    Clock::time_point handled;
    run.W.Run(600000, [&] {
        pollfd p{run.Peer, POLLIN, 0};
        if (::poll(&p, 1, 0) == 1) {
            char buf[256];
            const ssize_t n = ::recv(run.Peer, buf, sizeof buf, 0);
            if (n > 0) got.append(buf, size_t(n));
            answered = telnet ? got.find(TimingMarkAnswer) != std::string::npos
                              : got.find('R', got.find("\x1b[")) != std::string::npos;
            if (answered) handled = Clock::now();
        }
        return answered;
    });
    sender.join();
    if (!answered) {
        std::fprintf(stderr, "flood: no answer after the stream\n");
        return 1;
    }
    run.W.Settle(300, 10000); // the paints that follow the last byte
    const auto end = std::max(handled, run.W.LastPaint);
    Print("flood_ms", Ms(end - t0), "ms");
    Print("flood_mb_s", stream.size() / 1e3 / Ms(end - t0), "MB/s");
    Print("memory_after_flood_mb", ResidentKb(run.Pid) / 1024.0, "MB");
    return 0;
}

int Latency(bool telnet, int keys, const std::vector<std::string> &cmd)
{
    Session run;
    if (!run.Start(cmd, true)) {
        std::fprintf(stderr, "latency: the program did not start, connect and paint\n");
        return 1;
    }
    std::atomic<bool> stop{false};
    std::mutex echoed;
    std::vector<Clock::time_point> echoTimes; // each typed byte's arrival at the server
    std::thread echo([&] {
        if (telnet) SendAll(run.Peer, "\xff\xfb\x01"); // WILL ECHO: the echo is ours
        TelnetEchoFilter filter;
        while (!stop) {
            pollfd p{run.Peer, POLLIN, 0};
            if (::poll(&p, 1, 20) != 1) continue;
            char buf[512];
            const ssize_t n = ::recv(run.Peer, buf, sizeof buf, 0);
            if (n <= 0) break;
            const auto now = Clock::now();
            const std::string back = telnet ? filter.Take(buf, size_t(n)) : std::string(buf, size_t(n));
            if (!back.empty()) SendAll(run.Peer, back);
            std::lock_guard<std::mutex> lock(echoed);
            echoTimes.insert(echoTimes.end(), back.size(), now);
        }
    });
    run.W.Settle(300, 3000);
    const std::string id = std::to_string(run.W.Target);
    const pid_t focus = Spawn({"xdotool", "windowfocus", "--sync", id});
    ::waitpid(focus, nullptr, 0);
    run.W.Settle(200, 2000);
    run.W.KeyLatency.clear();
    run.W.Keys.clear();
    run.W.KeyTimes.clear();
    run.W.GlyphTimes.clear();
    {
        std::lock_guard<std::mutex> lock(echoed);
        echoTimes.clear();
    }
    std::string text;
    for (int i = 0; i < keys; ++i)
        text += char('a' + i % 26);
    const pid_t typist = Spawn({"xdotool", "type", "--delay", "20", text});
    bool typed = false;
    run.W.Run(keys * 200 + 10000, [&] {
        typed = typed || ::waitpid(typist, nullptr, WNOHANG) == typist;
        return typed;
    });
    run.W.Settle(300, 3000);
    stop = true;
    echo.join();
    const std::vector<double> &l = run.W.KeyLatency;
    if (l.size() < size_t(keys) / 2) {
        std::fprintf(stderr, "latency: only %zu of %d keys were seen painted\n", l.size(), keys);
        return 1;
    }
    PrintPercentiles("key_latency", l);
    Print("key_latency_keys", double(l.size()), "keys");
    // Where the time went, when every key has its byte and its glyph: to the server, and back.
    const auto &k = run.W.KeyTimes, &g = run.W.GlyphTimes;
    if (k.size() == echoTimes.size() && k.size() == g.size()) {
        std::vector<double> out, back;
        for (size_t i = 0; i < k.size(); ++i) {
            out.push_back(Ms(echoTimes[i] - k[i]));
            back.push_back(Ms(g[i] - echoTimes[i]));
        }
        PrintPercentiles("key_to_server", out);
        PrintPercentiles("server_to_glyph", back);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto dash = std::find(args.begin(), args.end(), "--");
    if (args.empty() || dash == args.end() || dash + 1 == args.end()) {
        std::fprintf(
            stderr,
            "usage: xprobe startup RUNS | flood telnet|ansi [MB] | latency telnet|ansi KEYS -- CMD...\n");
        return 2;
    }
    const std::vector<std::string> cmd(dash + 1, args.end());
    const std::string mode = args[0];
    const bool telnet = args.size() > 1 && args[1] == "telnet";
    if (mode == "startup" && args.size() > 1) return Startup(std::max(1, std::atoi(args[1].c_str())), cmd);
    if (mode == "flood")
        return Flood(telnet, args.size() > 2 && args[2] != "--" ? std::max(1, std::atoi(args[2].c_str())) : 8,
                     cmd);
    if (mode == "latency" && args.size() > 2)
        return Latency(telnet, std::max(1, std::atoi(args[2].c_str())), cmd);
    std::fprintf(stderr, "xprobe: unknown mode %s\n", mode.c_str());
    return 2;
}
