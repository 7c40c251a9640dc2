// Painting cost of the terminal widget: a full repaint of an 80 x 50 screen of coloured
// text into an offscreen image, and a flood of 8 MB of BBS-style output through the
// model with the widget shown (offscreen) and the event loop running between socket-sized
// reads, against the same flood through the model alone.

#include "terminal/qt/ColorTTYWidget.h"

#include "bench/Lcg.h"
#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr size_t FloodSize = 8u << 20;
constexpr size_t ReadSize = 32768;

constexpr uint32_t Seed = 20261206;

const char *const Words[] = {"the",   "board", "message", "from",    "user", "posted", "reply",
                             "forum", "read",  "new",     "express", "who",  "online", "Lobby"};
const char ColourLetters[] = "drgybpcwfaDRGBCY";

// One line of `width` visible characters with a colour code about every `every` of them.
std::string ColouredLine(Lcg &r, size_t width, size_t every)
{
    std::string line;
    size_t visible = 0, since = 0;
    while (visible < width) {
        if (since >= every) {
            since = 0;
            line += '\x01';
            line += ColourLetters[r.Next(sizeof ColourLetters - 1)];
        }
        const char *w = Words[r.Next(sizeof Words / sizeof *Words)];
        for (const char *p = w; *p && visible < width; ++p, ++visible, ++since)
            line += *p;
        if (visible < width) {
            line += ' ';
            ++visible;
            ++since;
        }
    }
    return line;
}

const std::string &Flood()
{
    static const std::string text = [] {
        Lcg r(Seed);
        std::string s;
        s.reserve(FloodSize + 256);
        while (s.size() < FloodSize)
            s += ColouredLine(r, 20 + r.Next(58), 8) + "\r\n";
        return s;
    }();
    return text;
}

size_t Lines(const std::string &s)
{
    size_t n = 0;
    for (char c : s)
        n += c == '\n';
    return n;
}

void SetUpWidget(TColorTTYWidget &w, int rows)
{
    w.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 9));
    w.SetOptions(OptionBit(coAutoTracking) | OptionBit(coFulltimeCursor) | OptionBit(coLazyWrite) |
                 OptionBit(coColors) | OptionBit(coFlashing));
    w.Tty().SetRows(819);
    w.resize(80 * w.CharWidth() + w.verticalScrollBar()->sizeHint().width(), rows * w.CharHeight());
}

void BM_FullRepaint80x50(benchmark::State &state)
{
    TColorTTYWidget w;
    SetUpWidget(w, 50);
    w.RecalcLayout();
    TColorTTY &t = w.Tty();
    t.MoveCursor(0, t.ScreenTop());
    Lcg r(Seed);
    for (int y = 0; y < 50; ++y) {
        // 80 visible characters, a colour change every 10: 8 a line.
        const std::string line = ColouredLine(r, 80, 10);
        t.Write(line.c_str());
        if (y < 49) t.Write("\r\n");
    }
    t.ScrollTo(0, t.MaxTop);
    const QRect all(0, 0, 80 * w.CharWidth(), 50 * w.CharHeight());
    QImage img(all.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&img);
        w.PaintCells(p, all);
        p.end();
        benchmark::DoNotOptimize(img.constBits());
    }
}

// The model alone, no view: the reference for the flood below.
void BM_FloodModelOnly(benchmark::State &state)
{
    const std::string &text = Flood();
    for (auto _ : state) {
        TColorTTY t;
        t.SetBufferSize(819, 80);
        t.SetVisibleSize(80, 25);
        t.MoveCursor(0, t.ScreenTop());
        for (size_t i = 0; i < text.size(); i += ReadSize)
            t.Write(text.data() + i, std::min(ReadSize, text.size() - i));
        benchmark::DoNotOptimize(t.CursorY);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * text.size()));
}

// The widget shown: every read is followed by a turn of the event loop (posted scrolls
// and tracking, paints), as socket reads arrive in the program.
void FloodShownWidget(benchmark::State &state, bool announced)
{
    const std::string &text = Flood();
    int paints = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto w = std::make_unique<TColorTTYWidget>();
        // A screen reader starts listening: the terminal's announcer follows the output.
        if (announced) QAccessible::setActive(true);
        SetUpWidget(*w, 25);
        w->show();
        w->Tty().MoveCursor(0, w->Tty().ScreenTop());
        QCoreApplication::processEvents();
        const int before = w->PaintCount();
        state.ResumeTiming();
        for (size_t i = 0; i < text.size(); i += ReadSize) {
            w->Tty().Write(text.data() + i, std::min(ReadSize, text.size() - i));
            QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        state.PauseTiming();
        paints += w->PaintCount() - before;
        w.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * text.size()));
    state.counters["paints"] = benchmark::Counter(double(paints) / double(state.iterations()));
    state.counters["lines"] = benchmark::Counter(double(Lines(text)));
}

void BM_FloodShownWidget(benchmark::State &state)
{
    FloodShownWidget(state, false);
}

// The same while a screen reader listens (within 10 % of the run above).
void BM_FloodShownWidgetAnnounced(benchmark::State &state)
{
    FloodShownWidget(state, true);
}

} // namespace

BENCHMARK(BM_FullRepaint80x50)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloodModelOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloodShownWidget)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloodShownWidgetAnnounced)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
