// The output interpreter under random text, random call splits, a random view size and
// random options, mixed with the operations other parts call directly. Every state the
// model reaches must keep its cursor, origin and ring inside the buffer, and every request
// it makes of the view must name cells that exist.

#include "terminal/ColorTTY.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

void Check(bool ok)
{
    if (!ok) __builtin_trap();
}

struct CheckingView : TTTYView
{
    const TColorTTY *Tty = nullptr;

    void InvalidateCells(int x1, int x2, int y, bool) override
    {
        Check(0 <= x1 && x1 < x2 && x2 <= Tty->Cols && 0 <= y && y < Tty->Rows);
    }
    void InvalidateAll(bool) override {}
    void ViewMoved(int, int, int newLeft, int newTop) override
    {
        Check(newLeft == Tty->Left && newTop == Tty->Top);
        Check(0 <= newLeft && newLeft <= Tty->MaxLeft && 0 <= newTop && newTop <= Tty->MaxTop);
    }
    void FrameWanted() override {}
    void Beep() override {}
    void UpdateCaret() override { Check(Tty->CursorX <= Tty->Cols && Tty->CursorY < Tty->Rows); }
};

void CheckModel(const TColorTTY &t)
{
    Check(t.Cols >= 1 && t.Rows >= 1 && t.Cols * t.Rows <= MaxTTYCells);
    Check(0 <= t.CursorX && t.CursorX <= t.Cols && 0 <= t.CursorY && t.CursorY < t.Rows);
    Check(0 <= t.Left && t.Left <= t.MaxLeft && 0 <= t.Top && t.Top <= t.MaxTop);
    Check(t.MaxLeft == std::max(0, t.Cols - t.VisibleCols) &&
          t.MaxTop == std::max(0, t.Rows - t.VisibleRows));
    const TTTYInterpreterState s = t.InterpreterState();
    Check(0 <= s.EscParamsLen && s.EscParamsLen <= 9 && s.EscParams[s.EscParamsLen] == 0);
    Check(s.EscState <= esLiteral && s.AnsiParams.Count <= TAnsiParams::Max + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    TColorTTY t;
    CheckingView view;
    view.Tty = &t;

    const int cols = in.ConsumeIntegralInRange(1, 300);
    const int rows = in.ConsumeIntegralInRange(1, std::min(900, MaxTTYCells / cols));
    t.SetBufferSize(rows, cols);
    t.SetVisibleSize(in.ConsumeIntegralInRange(0, cols + 5), in.ConsumeIntegralInRange(0, rows + 5));
    t.SetOptions(in.ConsumeIntegral<uint8_t>());
    t.Viewport().SetFocused(in.ConsumeBool());
    if (in.ConsumeBool()) t.SetView(&view);
    t.Clear();
    t.MoveCursor(0, t.Rows - t.VisibleRows);
    std::string answers;
    t.AnsiBbs().SetAnswerHandler([&answers](const char *b, size_t n) { answers.assign(b, n); });
    if (in.ConsumeBool()) t.SetEmulation(teAnsiBbs);

    std::vector<char> chunk;
    while (in.remaining_bytes() > 0) {
        const uint8_t op = in.ConsumeIntegral<uint8_t>();
        if (op < 200) { // mostly output, in pieces of random length
            const size_t n = in.ConsumeIntegralInRange<size_t>(0, op < 100 ? 8 : 300);
            std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(n);
            chunk.assign(bytes.begin(), bytes.end());
            if (op >= 100 && op < 150) {
                // bytes as tokens of the output language, so sequences are common
                static const char *const tokens[] = {
                    "\x1b[", "\x1b", "\x01", ";",    "0", "1", "2", "5", "7", "9", "3",    "4",  "m",  "H",
                    "f",     "J",    "K",    "A",    "B", "C", "D", "s", "u", "Y", "Z",    "7",  "8",  "\r",
                    "\n",    "\t",   "\b",   "\x07", "r", "i", "x", " ", "?", "L", "M",    "@",  "P",  "X",
                    "S",     "T",    "n",    "c",    "G", "d", "E", "F", "h", "l", "\x0c", "33", "25", "255"};
                chunk.clear();
                for (uint8_t b : bytes) {
                    const size_t k = b % (sizeof tokens / sizeof *tokens);
                    if (b >= 0xF0)
                        chunk.insert(chunk.end(), size_t(b - 0xEF) * 10, 'w'); // long lines
                    else
                        for (const char *q = tokens[k]; *q; ++q)
                            chunk.push_back(*q);
                }
            }
            if (op & 1) {
                t.Write(chunk.data(), chunk.size());
            } else {
                chunk.push_back(0);
                t.Write(chunk.data());
            }
        } else {
            const int a = in.ConsumeIntegralInRange(-70000, 70000);
            const int b = in.ConsumeIntegralInRange(-70000, 70000);
            const int c = in.ConsumeIntegralInRange(-70000, 70000);
            static const char text[400] = {'x'};
            const TTTYEmulation other = t.Emulation() == teClassic ? teAnsiBbs : teClassic;
            const std::function<void()> calls[] = {
                [&] { t.SettleView(); },
                [&] { t.SetVisibleSize(a % 400, b % 1000); },
                [&] { t.ScrollTo(a, b); },
                [&] { t.ScrollBy(a % 100, b % 100); },
                [&] { t.MoveCursor(a, b); },
                [&] { t.EraseCells(a % 400, b % 1000, c); },
                [&] { t.WriteCells(a % 400, b % 1000, c % 400, text); },
                [&] { t.SetOptions(uint8_t(a)); },
                [&] { t.SetView(in.ConsumeBool() ? &view : nullptr); },
                [&] { t.SetBufferSize(a % 1000, b % 400); },
                [&] { t.Clear(); },
                [&] { t.MakeCursorVisible(); },
                [&] { t.EraseToStartOfLine(), t.EraseToEndOfScreen(); },
                [&] { a % 3 == 0 ? t.SetEmulation(other) : t.WriteChar(char(a)); },
                [&] { t.NewLine(); },
            };
            calls[op % std::size(calls)]();
        }
        CheckModel(t);
    }
    return 0;
}
