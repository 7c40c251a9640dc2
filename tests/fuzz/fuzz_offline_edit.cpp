// Drives the offline editor and the colour text model with arbitrary operations: keys,
// host output, pastes, selections and texts. Memory errors, a broken code structure or
// text past the buffer abort.
#include "colouredit/OffLine.h"
#include "tests/colouredit/FakeClipboard.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct TReader
{
    const uint8_t *Data;
    size_t Size, Pos = 0;
    bool More() const { return Pos < Size; }
    uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
    std::string Bytes(size_t n)
    {
        n = std::min(n, Size - Pos);
        std::string s(reinterpret_cast<const char *>(Data + Pos), n);
        Pos += n;
        return s;
    }
};

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
    TReader in{data, size};
    TColorTTY tty;
    tty.SetBufferSize(30, 40);
    tty.SetVisibleSize(40, 12);
    TWhoList who;
    who.Add("Alice");
    who.Add("Alan");
    who.Add("Bob");
    TOffLineEdit edit(tty, who);
    TFakeClipboard clip;
    clip.HasPlain = true;
    edit.SetClipboard(&clip);
    TAbstractColourEdit memo(200);
    memo.SetClipboard(&clip);
    memo.SetMultiLine(true);

    edit.Open(10 + in.Byte() % 5, in.Byte());
    while (in.More()) {
        uint8_t op = in.Byte();
        switch (op % 12) {
        case 0:
        case 1:
            if (edit.KeyPress(in.Byte())) edit.Open(10 + in.Byte() % 5, in.Byte());
            break;
        case 2:
            edit.KeyDown(Keys[in.Byte() % 9], in.Byte() & 7);
            break;
        case 3:
            edit.Open(10 + in.Byte() % 5, in.Byte());
            break;
        case 4: {
            std::string out = in.Bytes(in.Byte() % 64);
            edit.BeginOutput();
            tty.Write(out.data(), out.size());
            edit.EndOutput();
            break;
        }
        case 5: {
            uint8_t n = in.Byte();
            clip.HasColoured = n & 1;
            (n & 2 ? clip.Coloured : clip.Plain) = in.Bytes(n % 100);
            edit.PasteFromClipboard();
            break;
        }
        case 6: {
            TCellPoint a{in.Byte() % 45 - 2, in.Byte() % 35 - 2}, b{in.Byte() % 45 - 2, in.Byte() % 35 - 2};
            if (b.y < a.y || (b.y == a.y && b.x < a.x)) std::swap(a, b);
            edit.SetSelectionFrom(a, b, in.Byte() & 1);
            break;
        }
        case 7:
            switch (in.Byte() % 3) {
            case 0:
                edit.SelectAll();
                break;
            case 1:
                edit.CopyToClipboard();
                break;
            default:
                edit.CutToClipboard();
                break;
            }
            break;
        case 8:
            edit.SetText(in.Bytes(in.Byte() % 128).c_str());
            break;
        case 9:
            edit.SetHostMode(in.Byte() % 3);
            break;
        case 10: {
            std::vector<char> buf(in.Byte() % 40 + 1);
            int n = edit.GetText(buf.data(), static_cast<int>(buf.size()));
            if (n < 0 || n > static_cast<int>(buf.size())) abort();
            break;
        }
        default: { // the plain model beside it
            uint8_t m = in.Byte();
            if (m < 64)
                memo.EditKeyDown(Keys[m % 9], (m >> 3) & 7);
            else if (m < 72)
                memo.SetWrapColumn(in.Byte() % 30);
            else if (m < 76)
                memo.SetMaxLength(in.Byte());
            else if (m < 80)
                memo.SetCaret(in.Byte(), in.Byte());
            else
                memo.EditKeyPress(in.Byte());
            Check(memo);
            break;
        }
        }
        Check(edit);
        if (edit.Caret() > edit.TextLength()) abort();
    }
    edit.Close();
    return 0;
}
