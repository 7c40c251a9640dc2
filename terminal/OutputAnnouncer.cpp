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
    if (!Listening || Tty.IsLocalDrawing()) return;
    if (Tty.Rows != KnownRows || Tty.Cols != KnownCols) Forget();
    const int64_t row = y + ScrollCount;
    if (Written.empty() || Written.back() != row) Written.push_back(row);
    Activity();
}

void TOutputAnnouncer::LineFeed(int y)
{
    if (Tty.Rows != KnownRows || Tty.Cols != KnownCols) Forget();
    // A row the host wrote is told when its line ends, whoever ends it (the editor ends
    // the prompt's line after an answer).
    const int64_t row = y + ScrollCount;
    bool written = false;
    for (size_t i = Written.size(); i-- > 0;)
        if (Written[i] == row) {
            Written.erase(Written.begin() + ptrdiff_t(i));
            written = true;
            break;
        }
    if ((Listening && !Tty.IsLocalDrawing()) || written) {
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
    // trailing blanks differ with the cursor's place alone (a prompt's blank after it)
    const size_t toldEnd = told.find_last_not_of(' ') + 1, textEnd = text.find_last_not_of(' ') + 1;
    const bool changed = text.compare(0, textEnd, told, 0, toldEnd) != 0;
    const size_t from = toldEnd > 0 && text.compare(0, toldEnd, told, 0, toldEnd) == 0 ? toldEnd : 0;
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

bool TOutputAnnouncer::DiscardPendingFrom(const std::string &marker)
{
    for (size_t i = Pending.size(); i-- > 0;) {
        if (Pending[i].Text.find(marker) == std::string::npos) continue;
        for (size_t k = i; k < Pending.size(); ++k)
            PendingBytes -= Pending[k].Text.size() + 1;
        Pending.erase(Pending.begin() + ptrdiff_t(i), Pending.end());
        return true;
    }
    return false;
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
    const bool waiting = !Pending.empty() || Dropped > 0;
    if (waiting && PendingSince < 0) PendingSince = nowMs;
    // Lines wait for the output to settle, so they go out with the prompt after them and
    // end where the cursor stands; in a flood they go out once per settle time.
    const bool quiet = nowMs - LastOutput >= SettleMs;
    if (quiet && !Written.empty()) CollectWritten();
    std::vector<TAnnouncement> out;
    if ((!Pending.empty() || Dropped > 0) && (quiet || nowMs - PendingSince >= SettleMs)) {
        out = Merge();
        PendingSince = -1;
    }
    int64_t due = -1;
    if (!Pending.empty() || Dropped > 0)
        due = std::min(LastOutput, PendingSince < 0 ? nowMs : PendingSince) + SettleMs;
    else if (!Written.empty())
        due = LastOutput + SettleMs;
    nextMs = due < 0 ? -1 : int(std::max<int64_t>(0, due - nowMs));
    TickWanted = nextMs >= 0;
    return out;
}
