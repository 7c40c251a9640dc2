// Key presses in the offline editor holding a long text: typing at the end (the usual
// case, redraw from the caret on) and at the start (every key redraws the whole text).
#include "colouredit/OffLine.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

std::string LongText()
{
    std::string text;
    while (text.size() < 30000)
        text += "\x01rsome \x01gcoloured words\x01w on a line of its own\n";
    return text;
}

void Typing(benchmark::State &state, bool atStart)
{
    TColorTTY tty;
    tty.SetBufferSize(819, 80);
    tty.SetVisibleSize(80, 25);
    tty.MoveCursor(0, 818);
    TWhoList who;
    TOffLineEdit edit(tty, who);
    const std::string text = LongText();
    edit.Open(13, 0);
    edit.SetText(text.c_str());
    edit.KeyDown(atStart ? VK_HOME : VK_END, ssCtrl);
    for (auto _ : state) {
        edit.KeyPress('x');
        edit.KeyDown(VK_BACK, 0);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

void BM_TypeAtEndOfLongText(benchmark::State &state)
{
    Typing(state, false);
}
void BM_TypeAtStartOfLongText(benchmark::State &state)
{
    Typing(state, true);
}

} // namespace

BENCHMARK(BM_TypeAtEndOfLongText);
BENCHMARK(BM_TypeAtStartOfLongText);
BENCHMARK_MAIN();
