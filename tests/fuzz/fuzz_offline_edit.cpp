// Drives the offline editor and the colour text model with arbitrary operations: keys,
// host output, pastes, selections and texts. Memory errors, a broken code structure or
// text past the buffer abort.
#include "colouredit/OffLine.h"
#include "tests/colouredit/FakeClipboard.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

void Check(const TAbstractColourEdit &edit)
{
    const char *t = edit.TextPtr();
    int len = edit.TextLength();
    if (len < 0 || len > edit.Capacity() || t[len] != 0) abort();
    if (edit.Caret() > len || edit.SelStart() > edit.SelEnd() || edit.SelEnd() > len) abort();
    for (int i = 0; i < len; ++i)
        if (t[i] == 1) {
            if (i + 1 >= len || t[i + 1] <= 32 || t[i + 1] >= 127) abort();
            ++i;
        }
}

constexpr uint16_t Keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_BACK, VK_DELETE, VK_F1};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    auto Byte = [&in] { return in.ConsumeIntegral<uint8_t>(); };
    TColorTTY tty;
    tty.SetBufferSize(30, 40);
    tty.SetVisibleSize(40, 12);
    TWhoList who;
    for (const char *name : {"Alice", "Alan", "Bob"})
        who.Add(name);
    TOffLineEdit edit(tty, who);
    TFakeClipboard clip;
    clip.HasPlain = true;
    edit.SetClipboard(&clip);
    TAbstractColourEdit memo(200);
    memo.SetClipboard(&clip);
    memo.SetMultiLine(true);

    auto open = [&] { edit.Open(10 + Byte() % 5, Byte()); };
    const std::function<void()> ops[] = {
        [&] { edit.KeyPress(Byte()) ? open() : void(); },
        [&] { edit.KeyDown(Keys[Byte() % 9], Byte() & 7); },
        open,
        [&] {
            const std::string out = in.ConsumeBytesAsString(Byte() % 64);
            edit.BeginOutput();
            tty.Write(out.data(), out.size());
            edit.EndOutput();
        },
        [&] {
            const uint8_t n = Byte();
            clip.HasColoured = n & 1;
            (n & 2 ? clip.Coloured : clip.Plain) = in.ConsumeBytesAsString(n % 100);
            edit.PasteFromClipboard();
        },
        [&] {
            TCellPoint a{Byte() % 45 - 2, Byte() % 35 - 2}, b{Byte() % 45 - 2, Byte() % 35 - 2};
            if (b.y < a.y || (b.y == a.y && b.x < a.x)) std::swap(a, b);
            edit.SetSelectionFrom(a, b, Byte() & 1);
        },
        [&] { edit.SelectAll(); },
        [&] { edit.CopyToClipboard(); },
        [&] { edit.CutToClipboard(); },
        [&] { edit.SetText(in.ConsumeBytesAsString(Byte() % 128).c_str()); },
        [&] { edit.SetHostMode(THostMode(Byte() % 3)); },
        [&] {
            std::vector<char> buf(Byte() % 40 + 1);
            const int n = edit.GetText(buf.data(), static_cast<int>(buf.size()));
            if (n < 0 || n > static_cast<int>(buf.size())) abort();
        },
        [&] { // the plain model beside it
            const uint8_t m = Byte();
            if (m < 64)
                memo.EditKeyDown(Keys[m % 9], (m >> 3) & 7);
            else if (m < 72)
                memo.SetWrapColumn(Byte() % 30);
            else if (m < 76)
                memo.SetMaxLength(Byte());
            else if (m < 80)
                memo.SetCaret(Byte(), Byte());
            else
                memo.EditKeyPress(Byte());
            Check(memo);
        },
    };
    open();
    while (in.remaining_bytes() > 0) {
        ops[Byte() % std::size(ops)]();
        Check(edit);
    }
    edit.Close();
    return 0;
}
