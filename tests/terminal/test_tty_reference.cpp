// The output interpreter against a plain one written straight from its rules (one byte at a
// time, on the model's public operations): random streams of text, controls, colour codes and
// escape sequences, cut into random pieces, must leave the same cells, cursor, attribute and
// requests to the view.
#include "terminal/ColorTTY.h"
#include "tests/terminal/FakeTTYView.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>

namespace {

// The cell operations cell by cell.
class PlainCellsTTY : public TColorTTY
{
public:
    void WriteCells(int x, int y, int count, const char *source) override
    {
        if (x < 0 || y < 0 || x >= Cols || y >= Rows) return;
        for (int k = 0; k < count && x + k < Cols; ++k)
            Screen().PutCells(x + k, y, 1, source + k, Attr);
    }
    void EraseCells(int x, int y, int count) override
    {
        if (y < 0) return;
        for (x = std::clamp(x, 0, Cols); count > 0; ++x) {
            if (x == Cols) {
                x = 0;
                ++y;
            }
            if (y >= Rows) return;
            Screen().BlankCells(x, y, 1, 0);
            --count;
        }
    }
};

// Keeps its own escape state, saved attribute and cursor and last character; acts on the
// model only through its public operations.
class ReferenceInterpreter
{
public:
    explicit ReferenceInterpreter(TColorTTY &tty) : T(tty) {}

    void Write(const char *s, size_t count)
    {
        size_t seg = 0;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t c = uint8_t(s[i]);
            switch (State) {
            case sText:
                if (c != 0x01 && c != 0x1B) continue;
                if (seg < i) PutText(s + seg, i - seg, false);
                WrapPending = false;
                State = c == 0x01 ? sCode : sEscape;
                break;
            case sCode:
                State = sText;
                T.SetAttr(ApplyColourCode(T.Attr, c));
                break;
            case sEscape:
                State = sText;
                Escape(c);
                break;
            case sCsi:
                if ((c >= '0' && c <= '9') || c == ';') {
                    Append(c);
                } else if (c >= 0x20 && c <= 0x3F) {
                    Marked = true; // private or intermediate: consumed, never acted on
                } else {
                    State = sText;
                    if (!Marked) Csi(c);
                    Marked = false;
                    Params.clear();
                }
                break;
            case sRowCol:
                Append(c);
                if (Params.size() == 2) {
                    const int r = uint8_t(Params[0]), col = uint8_t(Params[1]);
                    Params.clear();
                    State = sText;
                    T.MoveCursor(col - 32, r - 32 + T.Rows - T.VisibleRows);
                }
                break;
            }
            seg = i + 1;
        }
        if (seg < count && State == sText) PutText(s + seg, count - seg, true);
    }

private:
    TColorTTY &T;
    enum { sText, sCode, sEscape, sCsi, sRowCol } State = sText;
    std::string Params; // at most 9 characters
    bool Marked = false;
    TColourAttr SavedAttr = 0;
    TCellPoint SavedCursor;
    uint8_t LastChar = 0;
    bool WrapPending = false; // a row filled at the very end of a text wraps before the next

    void Append(uint8_t c)
    {
        if (Params.size() < 9) Params += char(c);
    }

    void PutText(const char *p, size_t count, bool endOfText)
    {
        int dl = T.CursorX, dr = T.CursorX;
        auto lineFull = [&] {
            T.InvalidateCells(dl, dr);
            T.PlaceCursor(0, T.CursorY);
            dl = dr = 0;
            T.NewLine();
        };
        if (WrapPending && T.CursorX >= T.Cols) lineFull();
        WrapPending = false;
        size_t i = 0;
        while (i < count) {
            if (T.CursorX >= T.Cols && uint8_t(p[i]) >= 0x20) lineFull();
            const size_t n = std::min(size_t(std::max(0, T.Cols - T.CursorX)), count - i);
            size_t run = 0;
            while (run < n && uint8_t(p[i + run]) >= 0x20)
                ++run;
            if (run > 0) {
                T.WriteCells(T.CursorX, T.CursorY, int(run), p + i);
                LastChar = uint8_t(p[i + run - 1]);
                T.PlaceCursor(T.CursorX + int(run), T.CursorY);
                dr = std::max(dr, T.CursorX);
                i += run;
                if (run == n && i < count) lineFull();
                if (run == n && i == count && endOfText) WrapPending = true;
                continue;
            }
            switch (p[i]) {
            case 7:
                if (T.HasWindow()) T.View()->Beep();
                LastChar = 7;
                break;
            case 8:
                if (T.CursorX > 0) {
                    T.PlaceCursor(T.CursorX - 1, T.CursorY);
                    dl = std::min(dl, T.CursorX);
                    LastChar = 8;
                }
                break;
            case 9:
                T.InvalidateCells(dl, dr);
                T.PlaceCursor(std::min(T.Cols, (T.CursorX + 15) / 16 * 16), T.CursorY);
                LastChar = 9;
                break;
            case 10:
                T.InvalidateCells(dl, dr);
                if (LastChar != 13) T.PlaceCursor(dl = dr = 0, T.CursorY);
                T.NewLine();
                dl = dr = T.CursorX;
                LastChar = 10;
                break;
            case 13:
                T.InvalidateCells(dl, dr);
                T.PlaceCursor(dl = dr = 0, T.CursorY);
                LastChar = 13;
                break;
            }
            ++i;
        }
        T.InvalidateCells(dl, dr);
        // the view shows the last page
        if (T.HasOption(coAutoTracking) && T.Top == T.MaxTop) T.TrackCursor();
    }

    void Escape(uint8_t c)
    {
        const int dx = (c == 'C') - (c == 'D'), dy = (c == 'B') - (c == 'A' || c == 'I');
        if (dx || dy) return T.MoveCursor(T.CursorX + dx, T.CursorY + dy);
        switch (c) {
        case 'H':
            return T.MoveCursor(0, T.Rows - T.VisibleRows);
        case 'J':
            return T.ClearScreen();
        case 'K':
            return T.EraseToEndOfLine();
        case 'Y':
            State = sRowCol;
            return;
        case 'Z':
            return Write("Esc-Z", 5);
        case '7':
            SavedAttr = T.Attr;
            return;
        case '8':
            T.SetAttr(SavedAttr);
            return;
        case '[':
            State = sCsi;
            return;
        }
    }

    void Csi(uint8_t final)
    {
        const std::string &s = Params;
        const int n = TTTYTokenizer::ParamInt(s.data(), int(s.size()));
        const int dx = (final == 'C') - (final == 'D'), dy = (final == 'B') - (final == 'A');
        if (dx || dy) return T.MoveCursor(T.CursorX + dx * n, T.CursorY + dy * n);
        switch (final) {
        case 'H':
        case 'f': {
            const size_t semi = s.find(';');
            int r = n, c = 1;
            if (semi != std::string::npos) {
                const std::string col = s.substr(semi + 1, 10);
                r = TTTYTokenizer::ParamInt(s.data(), int(semi));
                c = TTTYTokenizer::ParamInt(col.data(), int(col.size()));
            }
            return T.MoveCursor(c - 1, r + T.Rows - T.VisibleRows - 1);
        }
        case 'J':
            if (s.empty() || s[0] == '0') T.EraseToEndOfScreen();
            if (s[0] == '2') T.ClearScreen();
            return;
        case 'K':
            if (s.empty() || s[0] == '0') T.EraseToEndOfLine();
            if (s[0] == '1') T.EraseToStartOfLine();
            if (s[0] == '2') T.EraseLine();
            return;
        case 'm':
            for (size_t from = 0;;) {
                const size_t to = std::min(s.find(';', from), s.size());
                Sgr(to > from ? std::stoi(s.substr(from, to - from)) : 0);
                if (to == s.size()) return;
                from = to + 1;
            }
        case 's':
            SavedCursor = {T.CursorX, T.CursorY};
            return;
        case 'u':
            return T.MoveCursor(SavedCursor.x, SavedCursor.y);
        }
    }

    void Sgr(int v)
    {
        TColourAttr a = T.Attr;
        if (v == 0) a = 7;
        if (v == 1) a |= 0x08;
        if (v == 5) a |= 0x80;
        if (v == 7) a = TColourAttr(((a & 0x0F) << 4) + (a >> 4));
        if (v >= 30 && v <= 37) a = TColourAttr((a & ~0x07) | (v - 30));
        if (v >= 40 && v <= 47) a = TColourAttr((a & ~0x70) | ((v - 40) << 4));
        T.SetAttr(a);
    }
};

// Pieces of the output language, weighted towards what BBSs send.
std::string RandomStream(std::mt19937 &rng, int cols)
{
    static const std::string Bytes = "\x1b\x01;01mHKJAYZ78suIBCD\r\n\t\b\x07\x0cri \xff";
    // clang-format off
    static const char *const Sequences[] = {
        "\x1b[", "\r\n", "word ", "\x1b[0m", "\x01g", "\x01a", "\x1b[1;31;44m", "\x1b[K", "\x1b[2J", "\x1b[J",
        "\x1b[1K", "\x1b[5;10H", "\x1b[H", "\x1b[7m", "\x1b[;;1m", "\x1bY", "\x1b[12;3f", "\x1b[3A", "\x1b[2C",
        "\x1b[x", "\x1bZ", "\0337", "\0338", "\x1b[s", "\x1b[u", "\x1b[1;37;44;5;7;0;32m", "\x1b[00000000000031m",
        "\x1b[?33l", "\x1b[?25h", "\x1b[=7h", "\x1b[0 q", "\x1b[1:2m", "\x1b[?"};
    // clang-format on
    auto below = [&](size_t n) { return size_t(rng() % n); };
    std::string s;
    for (size_t k = below(40); k > 0; --k) {
        const size_t kind = below(10);
        if (kind < 3) {
            s += Bytes[below(Bytes.size())];
        } else if (kind < 6) {
            s += Sequences[below(std::size(Sequences))];
        } else if (kind < 8) { // text around the width of a line
            s.append(below(3) == 0 ? size_t(cols) : below(size_t(cols) * 2 + 20), char('a' + below(26)));
        } else if (kind < 9) { // parameters of any length before any byte
            s += "\x1b[";
            for (size_t n = below(14); n > 0; --n)
                s += "0123456789;0123456789;? :=>!"[below(28)];
            s += "mHfJKABCDsu\x01\x1b\r"[below(15)];
        } else {
            for (size_t n = below(12); n > 0; --n)
                s += char(below(256));
        }
    }
    return s;
}

// Every cell, the cursor, the view and the attribute, and what the model asked of its view.
void ExpectSame(const TColorTTY &a, const TColorTTY &b, const FakeTTYView &va, const FakeTTYView &vb)
{
    for (int y = 0; y < a.Rows; ++y) {
        ASSERT_EQ(RowText(a, y), RowText(b, y)) << "row " << y;
        ASSERT_EQ(std::memcmp(a.Screen().RowAttrs(y), b.Screen().RowAttrs(y), size_t(a.Cols)), 0)
            << "attributes of row " << y;
    }
    ASSERT_EQ(std::tuple(a.CursorX, a.CursorY, a.Left, a.Top, a.Attr, a.ScrolledBack),
              std::tuple(b.CursorX, b.CursorY, b.Left, b.Top, b.Attr, b.ScrolledBack));
    ASSERT_EQ(std::tuple(va.Invalidated, va.Moves, va.InvalidatedAll, va.Renumbered, va.Frames,
                         a.Viewport().ScrollWaiting(), a.Viewport().TrackWaiting(), va.Beeps, va.Carets),
              std::tuple(vb.Invalidated, vb.Moves, vb.InvalidatedAll, vb.Renumbered, vb.Frames,
                         b.Viewport().ScrollWaiting(), b.Viewport().TrackWaiting(), vb.Beeps, vb.Carets));
}

TEST(InterpreterReference, RandomStreamsInRandomPiecesMatchTheRules)
{
    for (unsigned seed = 0; seed < 400; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        TColorTTY tty;
        PlainCellsTTY ref;
        FakeTTYView vt, vr;
        // narrow, and wide enough for runs of many 16-byte moves
        const int cols = seed % 4 == 0 ? 60 + int(rng() % 70) : 1 + int(rng() % 30);
        const int rows = 1 + int(rng() % 40);
        const int visibleCols = int(rng() % uint32_t(cols + 3)),
                  visibleRows = int(rng() % uint32_t(rows + 3));
        // without a window, with a lazy one and with one painted at once
        const bool window = seed % 5 != 0;
        const TColorTTYOptions options =
            seed % 3 == 0 ? DefaultTTYOptions & ~OptionBit(coLazyWrite) : DefaultTTYOptions;
        for (auto [t, v] : {std::pair<TColorTTY *, FakeTTYView *>{&tty, &vt}, {&ref, &vr}}) {
            if (window) t->SetView(v);
            t->SetOptions(options | (seed % 2 ? OptionBit(coFulltimeCursor) : 0));
            t->Viewport().SetFocused(true);
            SetUpTTY(*t, cols, rows, visibleCols, visibleRows);
            t->MoveCursor(0, t->ScreenTop());
            v->Forget();
        }
        ReferenceInterpreter interp(ref);
        for (int writes = 0; writes < 30; ++writes) {
            const std::string s = RandomStream(rng, cols);
            for (size_t pos = 0; pos < s.size();) {
                const size_t n = rng() % 3 == 0 ? s.size() - pos : 1 + rng() % (s.size() - pos);
                if (rng() % 2 && std::memchr(s.data() + pos, 0, n) == nullptr)
                    tty.Write(std::string(s, pos, n).c_str());
                else
                    tty.Write(s.data() + pos, n);
                interp.Write(s.data() + pos, n);
                pos += n;
            }
            if (rng() % 4 == 0) { // the posted requests arrive
                tty.SettleView();
                ref.SettleView();
            }
            ExpectSame(tty, ref, vt, vr);
            if (HasFatalFailure()) return;
        }
        tty.SetView(nullptr);
        ref.SetView(nullptr);
    }
}

} // namespace

namespace {

// ANSI-BBS has no reference of its own (ansilove is its table): the same streams cut into
// pieces must leave what they leave in one piece, answers to queries included.
TEST(InterpreterReference, AnsiBbsDoesNotDependOnHowTheTextIsCut)
{
    // clang-format off
    static const char *const More[] = {"\x1b[6n", "\x1b[2;5r", "\x1b[3L", "\x1b[2M", "\x1b[4@", "\x1b[P", "\x1b[5X",
        "\x1b[2S", "\x1b[T", "\x1b[?7l", "\x1b[?7h", "\x0c", "\x1b[0;1;5;33;44;7m", "\x1b[12G", "\x1b[3d", "\x1bM",
        "\0337", "\0338", "\x01\x02\x1a"};
    // clang-format on
    for (unsigned seed = 0; seed < 200; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        TColorTTY whole, cut;
        std::string sentWhole, sentCut;
        for (auto [t, sent] : {std::pair{&whole, &sentWhole}, {&cut, &sentCut}}) {
            // a window narrower than the text, whose origin follows the cursor
            SetUpTTY(*t, 20 + int(seed % 70), 60, 8 + int(seed % 61), 5 + int(seed % 20));
            t->SetEmulation(teAnsiBbs);
            t->AnsiBbs().ResetModes();
            t->AnsiBbs().SetAnswerHandler([sent](const char *b, size_t n) { sent->append(b, n); });
        }
        FakeTTYView vw, vc;
        std::string s;
        for (int k = 0; k < 20; ++k)
            s += RandomStream(rng, whole.Cols) + More[rng() % std::size(More)];
        whole.Write(s.data(), s.size());
        for (size_t pos = 0; pos < s.size();) {
            const size_t n = 1 + rng() % std::min<size_t>(s.size() - pos, 9);
            cut.Write(s.data() + pos, n);
            pos += n;
        }
        ExpectSame(whole, cut, vw, vc);
        ASSERT_EQ(sentWhole, sentCut);
        if (HasFatalFailure()) return;
    }
}

} // namespace
