#include "terminal/OutputAnnouncer.h"

#include "terminal/TerminalText.h"

#include <algorithm>

namespace {

// What one settle time may collect: a flood beyond this (megabytes a second) is cut short
// with a count rather than held whole.
constexpr size_t MaxPendingBytes = size_t(1) << 20;
constexpr size_t MaxEcho = 256;

} // namespace

TOutputAnnouncer::TOutputAnnouncer(const TColorTTY &tty) : Tty(tty)
{
    Reset();
}

void TOutputAnnouncer::Reset()
{
    Forget();
    Pending.clear();
    PendingBytes = 0;
    Dropped = 0;
    Echo.clear();
}

void TOutputAnnouncer::Forget()
{
    KnownRows = Tty.Rows;
    KnownCols = Tty.Cols;
    Known.assign(size_t(std::max(1, Tty.Rows)), std::string());
    Written.clear();
}

void TOutputAnnouncer::Typed(char c)
{
    if (c == 8) {
        if (!Echo.empty()) Echo.pop_back();
    } else if (uint8_t(c) >= 0x20) {
        if (Echo.size() >= MaxEcho) Echo.erase(0, 1);
        Echo += c;
    }
}

void TOutputAnnouncer::Activity()
{
    Active = true;
    if (TickWanted) return;
    TickWanted = true;
    if (OnActivity) OnActivity();
}

void TOutputAnnouncer::RowWritten(int y)
{
    if (!Listening) return;
    if (Tty.Rows != KnownRows || Tty.Cols != KnownCols) Forget();
    const int64_t row = y + ScrollCount;
    if (Written.empty() || Written.back() != row) Written.push_back(row);
    Activity();
}

void TOutputAnnouncer::LineFeed(int y)
{
    if (Tty.Rows != KnownRows || Tty.Cols != KnownCols) Forget();
    if (Listening) {
        const int64_t row = y + ScrollCount;
        for (size_t i = Written.size(); i-- > 0;)
            if (Written[i] == row) {
                Written.erase(Written.begin() + ptrdiff_t(i));
                break;
            }
        Piece piece;
        if (Fresh(y, true, piece)) Add(std::move(piece));
        Echo.clear();
        Activity();
    }
    if (y == Tty.Rows - 1) {
        ++ScrollCount;
        Told(ScrollCount + Tty.Rows - 1).clear(); // the new last row takes the dropped row's place
    }
}

bool TOutputAnnouncer::Fresh(int y, bool line, Piece &piece)
{
    const int64_t row = y + ScrollCount;
    std::string text = RowText(Tty, y);
    std::string &told = Told(row);
    const size_t from = !told.empty() && text.compare(0, told.size(), told) == 0 ? told.size() : 0;
    const bool changed = text != told;
    told = text;
    // a row told as it stands is a redraw (or the rest of a prompt that never came)
    if (!changed && !(line && text.empty())) return false;
    piece = {row, int(from), text.substr(from), line, line && RowRunsOn(Tty, y)};
    if (!Echo.empty()) {
        const size_t b = piece.Text.find_first_not_of(' ');
        const size_t n = b == std::string::npos ? 0 : piece.Text.size() - b;
        if (n > 0 && Echo.compare(0, n, piece.Text, b, n) == 0) {
            Echo.erase(0, n);
            return false;
        }
        Echo.clear();
    }
    return true;
}

void TOutputAnnouncer::Add(Piece &&piece)
{
    if (PendingBytes + piece.Text.size() > MaxPendingBytes) {
        ++Dropped;
        return;
    }
    PendingBytes += piece.Text.size() + 1;
    Pending.push_back(std::move(piece));
}

void TOutputAnnouncer::CollectWritten()
{
    std::sort(Written.begin(), Written.end());
    Written.erase(std::unique(Written.begin(), Written.end()), Written.end());
    for (const int64_t row : Written) {
        const int64_t y = row - ScrollCount;
        if (y < 0 || y >= Tty.Rows) continue;
        Piece piece;
        if (Fresh(int(y), int(y) != Tty.CursorY, piece)) Add(std::move(piece));
    }
    Written.clear();
}

std::vector<TAnnouncement> TOutputAnnouncer::Merge()
{
    std::vector<TAnnouncement> out;
    const Piece *prev = nullptr;
    for (const Piece &p : Pending) {
        const bool follows = prev && (prev->Line ? p.Row == prev->Row + 1 && p.Column == 0
                                                 : p.Row == prev->Row &&
                                                       p.Column == prev->Column + int(prev->Text.size()));
        if (!follows) out.push_back({p.Row, p.Column, {}, 0});
        out.back().Text += p.Text;
        if (p.Line && !p.RunsOn) out.back().Text += '\n';
        if (p.Line) ++out.back().Lines;
        prev = &p;
    }
    if (Dropped > 0)
        out.push_back({ScrollCount + Tty.CursorY, 0, "(" + std::to_string(Dropped) + " more lines not read)", 0});
    Pending.clear();
    PendingBytes = 0;
    Dropped = 0;
    return out;
}

std::vector<TAnnouncement> TOutputAnnouncer::Tick(int64_t nowMs, int &nextMs)
{
    if (Tty.Rows != KnownRows || Tty.Cols != KnownCols) Forget();
    if (Active) {
        LastOutput = nowMs;
        Active = false;
    }
    const bool quiet = nowMs - LastOutput >= SettleMs;
    if (quiet && !Written.empty()) CollectWritten();
    std::vector<TAnnouncement> out;
    if ((!Pending.empty() || Dropped > 0) && (!ToldOnce || nowMs - LastTold >= SettleMs)) {
        out = Merge();
        LastTold = nowMs;
        ToldOnce = true;
    }
    if (!Pending.empty() || Dropped > 0)
        nextMs = int(LastTold + SettleMs - nowMs);
    else if (!Written.empty())
        nextMs = int(std::max<int64_t>(0, LastOutput + SettleMs - nowMs));
    else
        nextMs = -1;
    TickWanted = nextMs >= 0;
    return out;
}
