// Throughput of the received-data road: socket reads of 32 KB through
// TTelnetStateMachine::ProcessInput into the terminal model, against libvterm with
// its screen layer on the equivalent stream. Two streams: BBS-style (colour changes
// every few characters, 0x01 colour codes, an occasional ESC [K) and plain text.
// The BBS stream as a CLient host sends it (express-message headers every few hundred
// lines) also goes through TCLientStateMachine, beside the Telnet path.
// The ANSI-BBS emulation reads the BBS stream in its SGR form, the plain stream and an
// ANSI-art stream (code page 437 blocks, long SGR lists, ESC[nC over blanks, full rows
// that wrap), each beside the Classic emulation on the same bytes.

#include "colouredit/OffLine.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "protocol/CLient.h"
#include "protocol/Telnet.h"
#include "terminal/ColorTTY.h"
#include "terminal/OutputAnnouncer.h"

#include "bench/BbsStream.h"
#include "bench/Lcg.h"

#include <benchmark/benchmark.h>
#include <vterm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace {

constexpr size_t StreamSize = 16u << 20;
constexpr size_t ReadSize = 32768;

constexpr uint32_t Seed = 20240611;

std::string MakePlainStream()
{
    Lcg r(Seed);
    std::string s;
    s.reserve(StreamSize + 128);
    while (s.size() < StreamSize) {
        const size_t Width = 20 + r.Next(58);
        size_t Start = s.size();
        while (s.size() - Start < Width) {
            if (s.size() > Start) s += ' ';
            s += Words[r.Next(sizeof Words / sizeof *Words)];
        }
        s.resize(Start + Width);
        s += "\r\n";
    }
    return s;
}

const Streams &Bbs()
{
    static const Streams s = MakeBbsStream(StreamSize, Seed);
    return s;
}

// The BBS stream with an express message (IAC A7, header line, two or three lines of
// text, IAC A8) between lines every 200 to 400 lines; every author is accepted, so the
// terminal shows as much as on the Telnet path.
std::string MakeClientStream()
{
    static const char *const Names[] = {"alice", "bob", "carol", "dave", "eve", "frank"};
    Lcg r(Seed);
    const std::string &In = Bbs().Ours;
    std::string s;
    s.reserve(In.size() + In.size() / 16);
    size_t Pos = 0, Count = 0;
    while (Pos < In.size()) {
        size_t End = In.find('\n', Pos);
        End = End == std::string::npos ? In.size() : End + 1;
        s.append(In, Pos, End - Pos);
        Pos = End;
        if (Count-- == 0) {
            Count = 200 + r.Next(200);
            s += "\xFF\xA7\x01g*** Message (#" + std::to_string(r.Next(1000)) + ") from \x01n";
            s += Names[r.Next(6)];
            s += "\x01N at 10:" + std::to_string(10 + r.Next(50)) + " ***\r\n";
            for (uint32_t k = 2 + r.Next(2); k > 0; --k)
                s += "\x01cHow are you doing today? See you in the Lobby later.\r\n";
            s += "\xFF\xA8";
        }
    }
    return s;
}

const std::string &ClientStream()
{
    static const std::string s = MakeClientStream();
    return s;
}

// Rows of ANSI art as DOS editors save them: blocks and shades in runs, a colour change
// before each run (often a long SGR list), blanks skipped with ESC[nC, and rows that
// either fill all 80 columns (the wrap ends them) or end early with CR LF.
std::string MakeArtStream()
{
    static const char Blocks[] = "\xb0\xb1\xb2\xdb\xdc\xdd\xde\xdf\xc4\xcd\xba\xb3";
    Lcg r(Seed + 1);
    std::string s;
    s.reserve(StreamSize + 256);
    while (s.size() < StreamSize) {
        const bool Full = r.Next(3) != 0;
        const int Width = Full ? 80 : 20 + int(r.Next(58));
        for (int x = 0; x < Width;) {
            const int Run = std::min(Width - x, 1 + int(r.Next(12)));
            if (r.Next(4) == 0 && x + Run < Width) { // blanks: a cursor move
                s += "\x1b[" + std::to_string(Run) + "C";
            } else {
                s += "\x1b[" + std::string(r.Next(2) ? "0;1;" : "0;") + std::to_string(30 + r.Next(8)) + ";" +
                     std::to_string(40 + r.Next(8)) + "m";
                const char b = Blocks[r.Next(sizeof Blocks - 1)];
                s.append(size_t(Run), b);
            }
            x += Run;
        }
        if (!Full) s += "\x1b[0m\r\n";
    }
    return s;
}

const std::string &Art()
{
    static const std::string s = MakeArtStream();
    return s;
}

const std::string &Plain()
{
    static const std::string s = MakePlainStream();
    return s;
}

// A window that does nothing but note that a frame is wanted; the view is settled between
// reads, as the widget's frame does at most once a frame.
class QuietView : public TTTYView
{
public:
    void InvalidateCells(int, int, int, bool) override {}
    void InvalidateAll(bool) override {}
    void ViewMoved(int, int, int, int) override {}
    void FrameWanted() override { Wanted = true; }
    void Beep() override {}
    void UpdateCaret() override {}
    bool Wanted = false;
};

// Reads of ReadSize bytes through an engine into a fresh terminal per iteration.
// Make(Tty) gives the engine, keeping alive whatever the engine needs. With `Announce`, a
// screen reader listens: the announcer follows the output and is ticked after every read,
// the reads taken to come a millisecond apart.
template <class TMake>
void RunRoad(benchmark::State &State, const std::string &Stream, TMake Make,
             TTTYEmulation Emulation = teClassic, int HistoryLines = 0, bool Announce = false)
{
    std::vector<uint8_t> Buf(ReadSize + 1);
    size_t Told = 0;
    for (auto _ : State) {
        TColorTTY Tty;
        QuietView View;
        Tty.SetView(&View);
        Tty.SetBufferSize(819, 80);
        Tty.SetVisibleSize(80, 25);
        Tty.Clear();
        Tty.MoveCursor(0, 819 - 25);
        Tty.SetHistoryLimit(HistoryLines);
        Tty.SetEmulation(Emulation);
        if (Emulation == teAnsiBbs) {
            Tty.AnsiBbs().SetHideSauce(true); // as ANSI-BBS hosts have it unless the user clears it
            Tty.AnsiBbs().ResetModes();
        }
        TOutputAnnouncer Announcer(Tty);
        if (Announce) {
            Announcer.SetListening(true);
            Tty.Screen().SetOutputObserver(&Announcer);
        }
        int64_t Now = 0;
        const std::shared_ptr<TTelnetStateMachine> Engine = Make(Tty);
        Engine->OnTerminalOut = [&Tty](TTelnetStateMachine *, const char *Text) { Tty.Write(Text); };
        for (size_t Pos = 0; Pos < Stream.size(); Pos += ReadSize) {
            const size_t n = std::min(ReadSize, Stream.size() - Pos);
            std::memcpy(Buf.data(), Stream.data() + Pos, n);
            Buf[n] = 0;
            Engine->ProcessInput(Buf.data(), static_cast<uint16_t>(n));
            if (View.Wanted) {
                View.Wanted = false;
                Tty.SettleView();
            }
            if (Announce) {
                int Next = 0;
                for (const TAnnouncement &A : Announcer.Tick(++Now, Next))
                    Told += A.Text.size();
            }
        }
        benchmark::DoNotOptimize(Tty.Screen().RowChars(0));
        Tty.SetView(nullptr);
    }
    benchmark::DoNotOptimize(Told);
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Stream.size()));
}

void RunOurs(benchmark::State &State, const std::string &Stream, TTTYEmulation Emulation = teClassic,
             int HistoryLines = 0, bool Announce = false)
{
    RunRoad(
        State, Stream, [](TColorTTY &) { return std::make_shared<TTelnetStateMachine>(); }, Emulation,
        HistoryLines, Announce);
}

// The CLient engine of an ORVO host, with the offline editor and the stores wired as
// the main window wires them.
struct ClientRoad
{
    ClientRoad(TColorTTY &Tty, const THostSettings &Host, TUserFilter &Filter)
        : Edit(Tty, Who), Engine(Host, Filter, Edit, Who)
    {
    }
    TWhoList Who;
    TOffLineEdit Edit;
    TCLientStateMachine Engine;
};

void RunClient(benchmark::State &State, const std::string &Stream)
{
    static THostSettings Host;
    static TUserFilter Filter("/nonexistent/bench_stream.ini");
    Host.Mode = hmORVO;
    Filter.ExpressFilter = 1;
    Filter.Enemies.Add("mallory");
    RunRoad(State, Stream, [](TColorTTY &Tty) {
        auto Road = std::make_shared<ClientRoad>(Tty, Host, Filter);
        return std::shared_ptr<TTelnetStateMachine>(Road, &Road->Engine);
    });
}

int PushLine(int, const VTermScreenCell *, void *User)
{
    ++*static_cast<long *>(User);
    return 1;
}

void RunVTerm(benchmark::State &State, const std::string &Stream)
{
    VTermScreenCallbacks Callbacks{};
    Callbacks.sb_pushline = PushLine;
    long Pushed = 0;
    for (auto _ : State) {
        VTerm *vt = vterm_new(25, 80);
        vterm_set_utf8(vt, 0);
        VTermScreen *Screen = vterm_obtain_screen(vt);
        vterm_screen_set_callbacks(Screen, &Callbacks, &Pushed);
        vterm_screen_reset(Screen, 1);
        for (size_t Pos = 0; Pos < Stream.size(); Pos += ReadSize)
            vterm_input_write(vt, Stream.data() + Pos, std::min(ReadSize, Stream.size() - Pos));
        vterm_free(vt);
    }
    benchmark::DoNotOptimize(Pushed);
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Stream.size()));
}

void BM_BbsStream_winMarlet(benchmark::State &s)
{
    RunOurs(s, Bbs().Ours);
}
// Every line that leaves the scrollback kept in a history of 1,000,000 lines.
void BM_BbsStream_winMarlet_History(benchmark::State &s)
{
    RunOurs(s, Bbs().Ours, teClassic, 1000000);
}
// The same into a history already full, as in a long session: every new line drops the
// oldest, whose storage the new one takes over.
void BM_BbsStream_winMarlet_FullHistory(benchmark::State &State)
{
    const std::string &Stream = Bbs().Ours;
    TColorTTY Tty;
    QuietView View;
    Tty.SetView(&View);
    Tty.SetBufferSize(819, 80);
    Tty.SetVisibleSize(80, 25);
    Tty.Clear();
    Tty.SetHistoryLimit(1000000);
    TTelnetStateMachine Engine;
    Engine.OnTerminalOut = [&Tty](TTelnetStateMachine *, const char *Text) { Tty.Write(Text); };
    std::vector<uint8_t> Buf(ReadSize + 1);
    auto Feed = [&] {
        for (size_t Pos = 0; Pos < Stream.size(); Pos += ReadSize) {
            const size_t n = std::min(ReadSize, Stream.size() - Pos);
            std::memcpy(Buf.data(), Stream.data() + Pos, n);
            Buf[n] = 0;
            Engine.ProcessInput(Buf.data(), static_cast<uint16_t>(n));
            if (View.Wanted) {
                View.Wanted = false;
                Tty.SettleView();
            }
        }
    };
    while (Tty.Screen().HistoryRows() < 1000000)
        Feed();
    for (auto _ : State)
        Feed();
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Stream.size()));
    Tty.SetView(nullptr);
}
void BM_BbsStream_libvterm(benchmark::State &s)
{
    RunVTerm(s, Bbs().VTerm);
}
void BM_ClientStream_winMarlet(benchmark::State &s)
{
    RunClient(s, ClientStream());
}
void BM_PlainStream_winMarlet(benchmark::State &s)
{
    RunOurs(s, Plain());
}
void BM_PlainStream_libvterm(benchmark::State &s)
{
    RunVTerm(s, Plain());
}

// The emulations side by side on the same bytes.
// The same with a screen reader listening (within 10 % of the runs above).
void BM_BbsStream_winMarlet_Announced(benchmark::State &s)
{
    RunOurs(s, Bbs().Ours, teClassic, 0, true);
}
void BM_PlainStream_winMarlet_Announced(benchmark::State &s)
{
    RunOurs(s, Plain(), teClassic, 0, true);
}
void BM_SgrStream_Classic(benchmark::State &s)
{
    RunOurs(s, Bbs().VTerm);
}
void BM_SgrStream_AnsiBbs(benchmark::State &s)
{
    RunOurs(s, Bbs().VTerm, teAnsiBbs);
}
void BM_PlainStream_AnsiBbs(benchmark::State &s)
{
    RunOurs(s, Plain(), teAnsiBbs);
}
void BM_ArtStream_Classic(benchmark::State &s)
{
    RunOurs(s, Art());
}
void BM_ArtStream_AnsiBbs(benchmark::State &s)
{
    RunOurs(s, Art(), teAnsiBbs);
}

BENCHMARK(BM_BbsStream_winMarlet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BbsStream_winMarlet_History)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BbsStream_winMarlet_FullHistory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BbsStream_libvterm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientStream_winMarlet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainStream_winMarlet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainStream_libvterm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BbsStream_winMarlet_Announced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainStream_winMarlet_Announced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SgrStream_Classic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SgrStream_AnsiBbs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainStream_AnsiBbs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArtStream_Classic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArtStream_AnsiBbs)->Unit(benchmark::kMillisecond);

// Console output plus a summary in MB/s (10^6 bytes; the best of repetitions) and the
// ratio to libvterm.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &Runs) override
    {
        ConsoleReporter::ReportRuns(Runs);
        for (const Run &r : Runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end() && r.run_type == Run::RT_Iteration) {
                double &Best = FRates[r.benchmark_name()]; // the best of repetitions
                Best = std::max(Best, it->second.value / 1e6);
            }
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nMB/s (10^6 bytes per second):\n");
        for (const auto &[Name, Rate] : FRates)
            std::printf("  %-28s %9.1f\n", Name.c_str(), Rate);
        for (const char *Kind : {"Bbs", "Plain"}) {
            const std::string Ours = std::string("BM_") + Kind + "Stream_winMarlet";
            const std::string Theirs = std::string("BM_") + Kind + "Stream_libvterm";
            if (FRates.count(Ours) && FRates.count(Theirs) && FRates[Theirs] > 0)
                std::printf("  %s stream: %.1f times libvterm\n", Kind, FRates[Ours] / FRates[Theirs]);
        }
        for (const auto &[Kind, Classic] :
             {std::pair<const char *, const char *>{"Sgr", "BM_SgrStream_Classic"},
              {"Plain", "BM_PlainStream_winMarlet"},
              {"Art", "BM_ArtStream_Classic"}}) {
            const std::string Ansi = std::string("BM_") + Kind + "Stream_AnsiBbs";
            if (FRates.count(Ansi) && FRates.count(Classic) && FRates[Classic] > 0)
                std::printf("  ANSI-BBS on the %s stream: %.2f times Classic\n", Kind,
                            FRates[Ansi] / FRates[Classic]);
        }
        if (FRates.count("BM_ClientStream_winMarlet") && FRates["BM_BbsStream_winMarlet"] > 0)
            std::printf("  CLient path: %.2f times the Telnet path (BBS stream)\n",
                        FRates["BM_ClientStream_winMarlet"] / FRates["BM_BbsStream_winMarlet"]);
        std::fflush(stdout);
    }

private:
    std::map<std::string, double> FRates;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("streams: BBS %zu bytes (SGR form %zu, CLient form %zu), plain %zu bytes, art %zu bytes, "
                "reads of %zu bytes\n",
                Bbs().Ours.size(), Bbs().VTerm.size(), ClientStream().size(), Plain().size(), Art().size(),
                ReadSize);
    SummaryReporter Reporter;
    benchmark::RunSpecifiedBenchmarks(&Reporter);
    benchmark::Shutdown();
    return 0;
}
