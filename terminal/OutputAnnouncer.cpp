#include "terminal/OutputAnnouncer.h"

#include "terminal/TerminalText.h"

#include <algorithm>
#include <cstring>

namespace {

// What one settle time may collect: a flood beyond this (megabytes a second) is cut short
// with a count rather than held whole.
constexpr size_t MaxPendingBytes = size_t(256) << 10;
constexpr size_t MaxEcho = 256;

} // namespace

TOutputAnnouncer::TOutputAnnouncer(TColorTTY &tty) : Tty(tty)
{
    Reset();
}

void TOutputAnnouncer::Reset()
{
    Forget();
    Pending.clear();
    PendingText.clear();
    Dropped = 0;
    Echo.clear();
}

void TOutputAnnouncer::Forget()
{
    KnownRows = std::max(1, Tty.Rows);
    KnownCols = std::max(1, Tty.Cols);
    KnownText.assign(size_t(KnownRows) * size_t(KnownCols), ' ');
    KnownLength.assign(size_t(KnownRows), 0);
    FirstSlot = 0;
    Written.clear();
    LastWritten = FreshRow = -1;
    Tty.ObserveRowsAgain();
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

void TOutputAnnouncer::Remember(int y)
{
    const size_t slot = Slot(y);
    if (KnownLength[slot] != Implicit) return;
    const int length = RowTextLength(Tty, y);
    std::memcpy(&KnownText[slot * size_t(KnownCols)], Tty.RowChars(y), size_t(length));
    KnownLength[slot] = length;
}

void TOutputAnnouncer::RowWritten(int y)
{
    if (Tty.Rows != KnownRows || Tty.Cols != KnownCols) Forget();
    Remember(y); // told as it stands until now: about to change
    if (!Listening || Tty.IsLocalDrawing()) return;
    const int64_t row = y + ScrollCount;
    if (row == LastWritten) return;
    // the row before stays unfinished (cursor addressing): looked at once output settles
    if (LastWritten >= 0) Written.push_back(LastWritten);
    LastWritten = row;
    Activity();
}

void TOutputAnnouncer::LineFeed(int y, TLineFeed kind)
{
    if (Tty.Rows != KnownRows || Tty.Cols != KnownCols) Forget();
    const int64_t row = y + ScrollCount;
    const bool listening = Listening && !Tty.IsLocalDrawing();
    if (listening && row == LastWritten && row == FreshRow && Written.empty() && Echo.empty()) {
        // The usual line: written into a row that came in blank, straight through; it is
        // remembered as it stands.
        LastWritten = FreshRow = -1;
        KnownLength[Slot(y)] = Implicit;
        if (Dropped > 0) {
            ++Dropped; // this settle time is full already: counted, not looked at
        } else {
            const char *cells = reinterpret_cast<const char *>(Tty.RowChars(y));
            const int length = RowTextLength(Tty, y);
            Add(row, 0, std::string_view(cells, size_t(length)), true, length == Tty.Cols && RowRunsOn(Tty, y));
        }
        Activity();
    } else {
        // A row the host wrote is told when its line ends, whoever ends it (the editor ends
        // the prompt's line after an answer).
        bool written = row == LastWritten;
        if (written)
            LastWritten = -1;
        else
            for (size_t i = Written.size(); i-- > 0;)
                if (Written[i] == row) {
                    Written.erase(Written.begin() + ptrdiff_t(i));
                    written = true;
                    break;
                }
        if (listening || written) {
            Fresh(y, true);
            Echo.clear();
            Activity();
        }
    }
    if (kind == lfScrollRing) {
        // the ring drops its oldest row; the new last row takes its slot, blank
        ++ScrollCount;
        FirstSlot = FirstSlot + 1 == KnownRows ? 0 : FirstSlot + 1;
        KnownLength[Slot(KnownRows - 1)] = 0;
        FreshRow = ScrollCount + Tty.Rows - 1;
    } else if (kind == lfScrollRegion) {
        // the region's rows move up (what was told of the rows above no longer fits them)
        // and the row comes back blank: a new line there is new
        KnownLength[Slot(y)] = 0;
    }
}

void TOutputAnnouncer::Fresh(int y, bool line)
{
    const int64_t row = y + ScrollCount;
    Remember(y);
    const char *text = reinterpret_cast<const char *>(Tty.RowChars(y));
    const int length = RowTextLength(Tty, y);
    const size_t slot = Slot(y);
    char *told = &KnownText[slot * size_t(KnownCols)];
    int &toldLength = KnownLength[slot];
    // trailing blanks differ with the cursor's place alone (a prompt's blank after it)
    int toldEnd = toldLength, textEnd = length;
    while (toldEnd > 0 && told[toldEnd - 1] == ' ')
        --toldEnd;
    while (textEnd > 0 && text[textEnd - 1] == ' ')
        --textEnd;
    const bool changed = textEnd != toldEnd || std::memcmp(text, told, size_t(textEnd)) != 0;
    const int from = toldEnd > 0 && textEnd >= toldEnd && std::memcmp(text, told, size_t(toldEnd)) == 0 ? toldEnd : 0;
    std::memcpy(told, text, size_t(length));
    toldLength = length;
    if (row == FreshRow) FreshRow = -1;
    // a row told as it stands is a redraw (or the rest of a prompt that never came)
    if (!changed && !(line && length == 0)) return;
    const std::string_view fresh(text + from, size_t(length - from));
    if (!Echo.empty()) {
        const size_t b = fresh.find_first_not_of(' ');
        const std::string_view typed = b == std::string_view::npos ? std::string_view() : fresh.substr(b);
        if (!typed.empty() && std::string_view(Echo).substr(0, typed.size()) == typed) {
            Echo.erase(0, typed.size());
            return;
        }
        Echo.clear();
    }
    Add(row, from, fresh, line, line && RowRunsOn(Tty, y));
}

void TOutputAnnouncer::Add(int64_t row, int column, std::string_view text, bool line, bool runsOn)
{
    // once one is dropped, the rest of the settle time is too: what is told stays in order
    if (Dropped > 0 || PendingText.size() + text.size() > MaxPendingBytes) {
        ++Dropped;
        return;
    }
    const size_t start = PendingText.size();
    PendingText += text;
    if (line && !runsOn) PendingText += '\n';
    // the next row, or the same one again when a scrolling region moved the last one up
    const bool follows = !Pending.empty() && (Pending.back().Complete
                                                  ? (row == Pending.back().LastRow + 1 || row == Pending.back().LastRow) &&
                                                        column == 0
                                                  : row == Pending.back().LastRow && column == Pending.back().LastEnd);
    if (!follows) Pending.push_back({row, row, column, column, false, start, start, 0});
    Piece &p = Pending.back();
    p.LastRow = row;
    p.LastEnd = column + int(text.size());
    p.Complete = line;
    p.End = PendingText.size();
    if (line) ++p.Lines;
}

bool TOutputAnnouncer::DiscardPendingFrom(const std::string &marker)
{
    const size_t at = PendingText.rfind(marker);
    if (at == std::string::npos) return false;
    size_t k = Pending.size() - 1;
    while (k > 0 && Pending[k].Start > at)
        --k;
    // from the start of the line that holds it, within its piece
    const size_t feed = at == 0 ? std::string::npos : PendingText.rfind('\n', at - 1);
    const size_t cut = std::max(feed == std::string::npos ? 0 : feed + 1, Pending[k].Start);
    Pending.resize(k + 1);
    Piece &p = Pending.back();
    if (cut == p.Start) {
        Pending.pop_back();
    } else {
        const int kept = int(std::count(PendingText.begin() + ptrdiff_t(p.Start), PendingText.begin() + ptrdiff_t(cut), '\n'));
        p.End = cut;
        p.LastRow = p.FirstRow + std::max(kept, 1) - 1;
        p.Lines = kept;
        p.Complete = true;
    }
    PendingText.resize(cut);
    return true;
}

void TOutputAnnouncer::CollectWritten()
{
    if (LastWritten >= 0) Written.push_back(LastWritten);
    LastWritten = -1;
    std::sort(Written.begin(), Written.end());
    Written.erase(std::unique(Written.begin(), Written.end()), Written.end());
    for (const int64_t row : Written) {
        const int64_t y = row - ScrollCount;
        if (y < 0 || y >= Tty.Rows) continue;
        Fresh(int(y), int(y) != Tty.CursorY);
    }
    Written.clear();
    Tty.ObserveRowsAgain();
}

std::vector<TAnnouncement> TOutputAnnouncer::Merge()
{
    std::vector<TAnnouncement> out;
    for (const Piece &p : Pending)
        out.push_back({p.FirstRow, p.Column, {}, p.Lines});
    if (out.size() == 1 && Pending[0].Start == 0 && Pending[0].End == PendingText.size())
        out[0].Text = std::move(PendingText); // all of it in one: no copy
    else
        for (size_t i = 0; i < out.size(); ++i)
            out[i].Text.assign(PendingText, Pending[i].Start, Pending[i].End - Pending[i].Start);
    if (Dropped > 0)
        out.push_back({ScrollCount + Tty.CursorY, 0, "(" + std::to_string(Dropped) + " more lines not read)", 0});
    Pending.clear();
    PendingText.clear();
    Dropped = 0;
    return out;
}

std::vector<TAnnouncement> TOutputAnnouncer::Flush()
{
    if (!Written.empty() || LastWritten >= 0) CollectWritten();
    PendingSince = -1;
    return Merge();
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
    const bool written = !Written.empty() || LastWritten >= 0;
    if (quiet && written) CollectWritten();
    std::vector<TAnnouncement> out;
    if ((!Pending.empty() || Dropped > 0) && (quiet || nowMs - PendingSince >= SettleMs)) {
        out = Merge();
        PendingSince = -1;
    }
    int64_t due = -1;
    if (!Pending.empty() || Dropped > 0)
        due = std::min(LastOutput, PendingSince < 0 ? nowMs : PendingSince) + SettleMs;
    else if (!Written.empty() || LastWritten >= 0)
        due = LastOutput + SettleMs;
    nextMs = due < 0 ? -1 : int(std::max<int64_t>(0, due - nowMs));
    TickWanted = nextMs >= 0;
    return out;
}
