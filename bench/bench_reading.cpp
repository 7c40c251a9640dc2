// The reading features' costs, each in interleaved rounds (median, with the spread and the
// machine's load):
// - highlights: the 8 MB BBS-style stream of BbsStream.h written in 32 KB reads into the
//   terminal model (rates by the thread's processor time) with no rules, and with 50 rules (40 names and
//   words that never occur, five words of the stream coloured where they match, five regular expressions) run
//   on every completed line; the rate with rules against the rate without;
// - art: a 2 MB art pack (colour changes, blocks, cursor moves, a SAUCE record) from the
//   file to the first paint of the viewer window;
// - screen: the rules' screen alone on the flood's rows (ns a byte of rows).
//
// bench_reading [--only highlights|screen|art] [--rounds N]

#include "bench/BbsStream.h"
#include "bench/HighlightRules.h"
#include "bench/Lcg.h"
#include "config/IniFile.h"
#include "session/HighlightTap.h"
#include "shell/ArtViewer.h"
#include "terminal/ColorTTY.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

struct TStats
{
    double Median, Low, High;
};

TStats Stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

std::string Load()
{
    std::ifstream in("/proc/loadavg");
    std::string a;
    in >> a;
    return a;
}

// The thread's processor time: the model's own cost, whatever else the machine runs.
double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double Drain(const std::string &stream, const std::vector<THighlightRule> *rules, size_t &events)
{
    TColorTTY tty;
    tty.SetBufferSize(819, 80);
    tty.SetVisibleSize(80, 24);
    THighlightTap tap(tty);
    if (rules) tap.SetMatcher(std::make_unique<THighlightMatcher>(*rules, "Flood"));
    std::vector<THighlightEvent> told;
    const double t0 = CpuMs();
    for (size_t i = 0; i < stream.size(); i += 32768) {
        tap.BeforeWrite();
        tty.Write(stream.data() + i, std::min<size_t>(32768, stream.size() - i));
        tap.AfterWrite(told);
        events += told.size();
        told.clear();
    }
    return double(stream.size()) / 1e6 / ((CpuMs() - t0) / 1000.0);
}

void Highlights(int rounds)
{
    const std::string stream = MakeBbsStream(8000000, 20240611).Ours;
    // No rules; 50 texts that match few lines; 45 texts and five expressions that match few
    // lines; the same with five words of the stream among the texts (most lines match).
    const std::vector<THighlightRule> sets[] = {
        {}, FiftyRules(false, false), FiftyRules(false), FiftyRules(true)};
    const char *const names[] = {"no rules", "50 texts matching few lines",
                                 "45 texts and 5 expressions matching few lines",
                                 "50 rules of which five match most lines"};
    std::vector<double> rate[4], ratio[4], cost[4];
    size_t events = 0;
    for (int k = 0; k < rounds; ++k) {
        double r[4] = {};
        for (int j = 0; j < 4; ++j) { // in turns, each round starting with another
            const int which = (j + k) % 4;
            r[which] = Drain(stream, which == 0 ? nullptr : &sets[which], events);
        }
        for (int w = 0; w < 4; ++w) {
            rate[w].push_back(r[w]);
            ratio[w].push_back(r[w] / r[0]);
            cost[w].push_back(1e3 / r[w] - 1e3 / r[0]); // ns a byte of the stream
        }
    }
    std::printf("highlights, %d rounds, load %s [target ratio >= 0.90]:\n", rounds, Load().c_str());
    for (int w = 0; w < 4; ++w) {
        const TStats a = Stats(rate[w]), q = Stats(ratio[w]), c = Stats(cost[w]);
        std::printf("  %s: %.0f MB/s (%.0f-%.0f), ratio %.3f (%.3f-%.3f), the rules' own %.3f ns a byte "
                    "(%.3f-%.3f)\n",
                    names[w], a.Median, a.Low, a.High, q.Median, q.Low, q.High, c.Median, c.Low, c.High);
    }
    (void)events;
}

// The screen alone: the flood's rows as the terminal holds them (80 bytes each), screened
// 650 at a time (about what one read of the window completes) by each kind of tables the
// processor has; the first pass lets strings move, the median of the rest is taken.
void Screen(int rounds)
{
    const std::string stream = MakeBbsStream(8000000, 20240611).Ours;
    TColorTTY tty;
    tty.SetBufferSize(819, 80);
    tty.SetVisibleSize(80, 24);
    std::string rows;
    for (size_t i = 0; i < stream.size(); i += 32768) {
        const int64_t from = tty.Screen().RowNumber(tty.CursorY);
        tty.Write(stream.data() + i, std::min<size_t>(32768, stream.size() - i));
        for (int64_t n = from; n < tty.Screen().RowNumber(tty.CursorY); ++n)
            if (const int y = tty.Screen().RowOfNumber(n); y >= 0)
                rows.append(reinterpret_cast<const char *>(tty.Screen().RowChars(y)), 80);
    }
    const int count = int(rows.size() / 80), chunk = 650;
    std::printf("screen, %d rounds, load %s:\n", rounds, Load().c_str());
    for (auto vector : {THighlightScreen::TVector::Avx2, THighlightScreen::TVector::Avx512}) {
        if (vector > THighlightScreen::Best()) continue;
        const THighlightMatcher m(FiftyRules(false), "Flood", vector);
        for (const int span : {chunk, count}) { // in cache, and all the rows
            std::vector<double> ns;
            std::vector<int> passed;
            for (int k = 0; k <= rounds; ++k) {
                passed.clear();
                const double t0 = CpuMs();
                for (int reps = 0; reps < count / span; ++reps)
                    for (int from = 0; from < span; from += chunk)
                        m.Candidates(reinterpret_cast<const uint8_t *>(rows.data()) + size_t(from) * 80,
                                     std::min(chunk, span - from), 80, from, passed);
                if (k > 0) ns.push_back((CpuMs() - t0) * 1e6 / (double(count / span) * span * 80));
            }
            const TStats t = Stats(ns);
            std::printf("  %s tables, %d rows: %.3f ns a byte of rows (%.3f-%.3f), %zu rows passed\n",
                        vector == THighlightScreen::TVector::Avx512 ? "AVX-512" : "AVX2", span, t.Median,
                        t.Low, t.High, passed.size());
        }
    }
}

std::string ArtPack(size_t size)
{
    Lcg r(7);
    static const char *const sgr[] = {"\x1b[0;1;34m", "\x1b[0;36;44m", "\x1b[1;33;41m", "\x1b[0;35m",
                                      "\x1b[0;1;5;37;40m"};
    std::string s;
    while (s.size() < size) {
        for (int x = 0; x < 80;) {
            if (r.Next(6) == 0) s += sgr[r.Next(5)];
            if (r.Next(20) == 0) {
                const int n = 1 + int(r.Next(6));
                s += "\x1b[" + std::to_string(n) + "C";
                x += n;
                continue;
            }
            s += char("\xdb\xdc\xdf\xb0\xb1\xb2 abc"[r.Next(10)]);
            ++x;
        }
        s += "\r\n";
    }
    // A SAUCE record: character art, ANSi, 80 columns, iCE colours.
    std::string sauce = "SAUCE00" + std::string(121, '\0');
    sauce[94] = 1;
    sauce[95] = 1;
    sauce[96] = 80;
    sauce[105] = 1;
    return s + "\x1a" + sauce;
}

void Art(int rounds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pack.ans"));
    const std::string pack = ArtPack(2u << 20);
    WriteFileAtomically(path.toStdString(), pack);
    std::vector<double> open;
    int lines = 0;
    for (int k = 0; k < rounds; ++k) {
        const auto t0 = Clock::now();
        auto *viewer = new TArtViewer(path);
        viewer->show();
        const QPixmap shot = viewer->Canvas()->grab(QRect(0, 0, viewer->Canvas()->width(), 50 * 16));
        const auto t1 = Clock::now();
        lines = viewer->Art().Canvas.Rows();
        open.push_back(Ms(t0, t1));
        delete viewer;
        QApplication::processEvents();
    }
    const TStats o = Stats(open);
    std::printf("art: a %.1f MB pack of %d lines to the first paint %.1f ms (%.1f-%.1f), %d rounds, load %s "
                "[target < 200 ms]\n",
                double(pack.size()) / (1 << 20), lines, o.Median, o.Low, o.High, rounds, Load().c_str());
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::string only;
    int rounds = 9;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--only") only = argv[i + 1];
        if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    if (only.empty() || only == "highlights") Highlights(rounds);
    if (only.empty() || only == "screen") Screen(rounds);
    if (only.empty() || only == "art") Art(rounds);
    return 0;
}
