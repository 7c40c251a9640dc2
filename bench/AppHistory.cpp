// The history: what a line of BBS text costs in it, and the find bar searching 1,000,000
// lines while the window keeps answering.
#include "bench/AppBench.h"
#include "bench/BbsStream.h"
#include "bench/BenchNet.h"
#include "shell/FindBar.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <unistd.h>

namespace {

const std::string &Text()
{
    static const std::string s = MakeBbsStream(4000000, 99).Ours;
    return s;
}

// Writes BBS text into `t` until its history holds `lines` rows (or all it may keep).
void Fill(TColorTTY &t, int lines, const std::string &first)
{
    lines = std::min(lines, t.Screen().HistoryStore().Limit());
    if (!first.empty()) t.Write((first + "\r\n").c_str());
    const std::string &text = Text();
    while (t.Screen().HistoryRows() + 60000 < lines)
        t.Write(text.data(), text.size());
    // the last stretch a line at a time, so the first line is not pushed out
    for (size_t at = 0; t.Screen().HistoryRows() < lines;) {
        const size_t end = text.find('\n', at);
        t.Write(text.data() + at, end + 1 - at);
        at = end + 1 < text.size() ? end + 1 : 0;
    }
}

struct SearchFigures
{
    double First = -1, All = -1, LongestStall = 0;
    size_t Count = 0;
};

// Types `word` into the find bar at once and runs the event loop until the search is done.
SearchFigures TimeSearch(TTTYForm &form, const QString &word)
{
    TFindBar *bar = form.FindBar();
    bar->TextBox()->clear();
    QApplication::processEvents();
    SearchFigures f;
    QElapsedTimer clock, sinceTurn;
    QEventLoop loop;
    QTimer turn; // runs between the event loop's other work: the gaps are its stalls
    QObject::connect(&turn, &QTimer::timeout, &loop, [&] {
        f.LongestStall = std::max(f.LongestStall, sinceTurn.nsecsElapsed() / 1e6);
        sinceTurn.restart();
        if (f.First < 0 && bar->MatchCount() > 0) f.First = clock.nsecsElapsed() / 1e6;
        if (bar->IsSearchDone()) loop.quit();
    });
    clock.start();
    sinceTurn.start();
    bar->TextBox()->setText(word); // the first slice runs here, inside the typing
    f.LongestStall = clock.nsecsElapsed() / 1e6;
    if (bar->MatchCount() > 0) f.First = f.LongestStall;
    turn.start(0);
    if (!bar->IsSearchDone()) loop.exec();
    f.All = clock.nsecsElapsed() / 1e6;
    f.Count = size_t(bar->MatchCount());
    return f;
}

} // namespace

void FillHistory(TTTYForm &form, int lines, const std::string &first)
{
    Fill(form.ColourTTY()->Tty(), lines, first);
    QApplication::processEvents();
}

void MeasureHistoryMemory()
{
    TColorTTY t;
    t.SetBufferSize(819, 80);
    t.SetVisibleSize(80, 25);
    t.MoveCursor(0, 819 - 25);
    t.SetHistoryLimit(1000000);
    Text(); // made before, so only the history counts
    const long before = ResidentKb(getpid());
    Fill(t, 1000000, "");
    const long after = ResidentKb(getpid());
    const double bytes = double(t.Screen().HistoryStore().Bytes());
    Figure("history_mb", bytes / 1e6, "MB", "1,000,000 lines of the BBS stream  [target <= 100 MB]");
    Figure("history_bytes_per_line", bytes / 1e6, "B", "");
    Figure("history_resident_growth_mb", (after - before) / 1024.0, "MB",
           "the process's resident set grew by");
}

void MeasureSearch()
{
    uint16_t port = 0;
    const int listener = Listen(port);
    BenchWindow window(port);
    TTTYForm &form = window.Form;
    if (!QTest::qWaitForWindowExposed(&form)) std::printf("the window was not shown\n");
    form.ColourTTY()->Tty().SetHistoryLimit(1000000);
    FillHistory(form, 1000000, "zyxwvut, a word written once, before a million lines");
    form.Command(TMenuItem::EditFind);
    const SearchFigures rare = TimeSearch(form, QStringLiteral("zyxwvut"));
    Figure("search_rare_first_ms", rare.First, "ms",
           "a word on the oldest line, 1,000,000 lines  [target < 150 ms]");
    Figure("search_rare_all_ms", rare.All, "ms", "  [target < 1000 ms]");
    const SearchFigures common = TimeSearch(form, QStringLiteral("sysop"));
    Figure("search_common_first_ms", common.First, "ms", "");
    Figure("search_common_all_ms", common.All, "ms", "counting every hit  [target < 1000 ms]");
    Figure("search_common_hits", double(common.Count), "hits", "");
    Figure("search_longest_stall_ms", std::max(rare.LongestStall, common.LongestStall), "ms",
           "the longest the window went without handling events while searching");
    form.FindBar()->Close();
    ::close(listener);
}
