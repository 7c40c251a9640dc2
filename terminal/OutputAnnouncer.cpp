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

TOutputAnnouncer::TOutputAnnouncer(TColorTTY &tty) : FTty(tty)
{
    Reset();
}

void TOutputAnnouncer::Reset()
{
    Forget();
    FPending.clear();
    FPendingText.clear();
    FDropped = 0;
    FEcho.clear();
}

void TOutputAnnouncer::Forget()
{
    FKnownRows = std::max(1, FTty.Rows);
    FKnownCols = std::max(1, FTty.Cols);
    FKnownText.assign(size_t(FKnownRows) * size_t(FKnownCols), ' ');
    FKnownLength.assign(size_t(FKnownRows), 0);
    FFirstSlot = 0;
    FWritten.clear();
    FLastWritten = FFreshRow = -1;
    FTty.Screen().ObserveRowsAgain();
}

void TOutputAnnouncer::Typed(char c)
{
    if (c == 8) {
        if (!FEcho.empty()) FEcho.pop_back();
    } else if (uint8_t(c) >= 0x20) {
        if (FEcho.size() >= MaxEcho) FEcho.erase(0, 1);
        FEcho += c;
    }
}

void TOutputAnnouncer::Remember(int y)
{
    const size_t slot = Slot(y);
    if (FKnownLength[slot] != Implicit) return;
    const int length = RowTextLength(FTty, y);
    std::memcpy(&FKnownText[slot * size_t(FKnownCols)], FTty.Screen().RowChars(y), size_t(length));
    FKnownLength[slot] = length;
}

void TOutputAnnouncer::RowWritten(int y)
{
    if (FTty.Rows != FKnownRows || FTty.Cols != FKnownCols) Forget();
    Remember(y); // told as it stands until now: about to change
    if (!FListening || FTty.Screen().IsLocalDrawing()) return;
    const int64_t row = y + FScrollCount;
    if (row == FLastWritten) return;
    // the row before stays unfinished (cursor addressing): looked at once output settles
    if (FLastWritten >= 0) FWritten.push_back(FLastWritten);
    FLastWritten = row;
    Activity();
}

void TOutputAnnouncer::LineFeed(int y, TLineFeed kind)
{
    if (FTty.Rows != FKnownRows || FTty.Cols != FKnownCols) Forget();
    const int64_t row = y + FScrollCount;
    const bool listening = FListening && !FTty.Screen().IsLocalDrawing();
    if (listening && row == FLastWritten && row == FFreshRow && FWritten.empty() && FEcho.empty()) {
        // The usual line: written into a row that came in blank, straight through; it is
        // remembered as it stands.
        FLastWritten = FFreshRow = -1;
        FKnownLength[Slot(y)] = Implicit;
        if (FDropped > 0) {
            ++FDropped; // this settle time is full already: counted, not looked at
        } else {
            const char *cells = reinterpret_cast<const char *>(FTty.Screen().RowChars(y));
            const int length = RowTextLength(FTty, y);
            Add(row, 0, std::string_view(cells, size_t(length)), true,
                length == FTty.Cols && RowRunsOn(FTty, y));
        }
        Activity();
    } else {
        // A row the host wrote is told when its line ends, whoever ends it (the editor ends
        // the prompt's line after an answer).
        bool written = row == FLastWritten;
        if (written)
            FLastWritten = -1;
        else
            for (size_t i = FWritten.size(); i-- > 0;)
                if (FWritten[i] == row) {
                    FWritten.erase(FWritten.begin() + ptrdiff_t(i));
                    written = true;
                    break;
                }
        if (listening || written) {
            Fresh(y, true);
            FEcho.clear();
            Activity();
        }
    }
    if (kind == lfScrollRing) {
        // the ring drops its oldest row; the new last row takes its slot, blank
        ++FScrollCount;
        FFirstSlot = FFirstSlot + 1 == FKnownRows ? 0 : FFirstSlot + 1;
        FKnownLength[Slot(FKnownRows - 1)] = 0;
        FFreshRow = FScrollCount + FTty.Rows - 1;
    } else if (kind == lfScrollRegion) {
        // the region's rows move up (what was told of the rows above no longer fits them)
        // and the row comes back blank: a new line there is new
        FKnownLength[Slot(y)] = 0;
    }
}

void TOutputAnnouncer::Fresh(int y, bool line)
{
    const int64_t row = y + FScrollCount;
    Remember(y);
    const char *text = reinterpret_cast<const char *>(FTty.Screen().RowChars(y));
    const int length = RowTextLength(FTty, y);
    const size_t slot = Slot(y);
    char *told = &FKnownText[slot * size_t(FKnownCols)];
    int &toldLength = FKnownLength[slot];
    // trailing blanks differ with the cursor's place alone (a prompt's blank after it)
    int toldEnd = toldLength, textEnd = length;
    while (toldEnd > 0 && told[toldEnd - 1] == ' ')
        --toldEnd;
    while (textEnd > 0 && text[textEnd - 1] == ' ')
        --textEnd;
    const bool changed = textEnd != toldEnd || std::memcmp(text, told, size_t(textEnd)) != 0;
    const int from =
        toldEnd > 0 && textEnd >= toldEnd && std::memcmp(text, told, size_t(toldEnd)) == 0 ? toldEnd : 0;
    std::memcpy(told, text, size_t(length));
    toldLength = length;
    if (row == FFreshRow) FFreshRow = -1;
    // a row told as it stands is a redraw (or the rest of a prompt that never came)
    if (!changed && !(line && length == 0)) return;
    const std::string_view fresh(text + from, size_t(length - from));
    if (!FEcho.empty()) {
        const size_t b = fresh.find_first_not_of(' ');
        const std::string_view typed = b == std::string_view::npos ? std::string_view() : fresh.substr(b);
        if (!typed.empty() && std::string_view(FEcho).substr(0, typed.size()) == typed) {
            FEcho.erase(0, typed.size());
            return;
        }
        FEcho.clear();
    }
    Add(row, from, fresh, line, line && RowRunsOn(FTty, y));
}

void TOutputAnnouncer::Add(int64_t row, int column, std::string_view text, bool line, bool runsOn)
{
    // once one is dropped, the rest of the settle time is too: what is told stays in order
    if (FDropped > 0 || FPendingText.size() + text.size() > MaxPendingBytes) {
        ++FDropped;
        return;
    }
    const size_t start = FPendingText.size();
    FPendingText += text;
    if (line && !runsOn) FPendingText += '\n';
    // the next row, or the same one again when a scrolling region moved the last one up
    const bool follows =
        !FPending.empty() &&
        (FPending.back().Complete
             ? (row == FPending.back().LastRow + 1 || row == FPending.back().LastRow) && column == 0
             : row == FPending.back().LastRow && column == FPending.back().LastEnd);
    if (!follows) FPending.push_back({row, row, column, column, false, start, start, 0});
    Piece &p = FPending.back();
    p.LastRow = row;
    p.LastEnd = column + int(text.size());
    p.Complete = line;
    p.End = FPendingText.size();
    if (line) ++p.Lines;
}

bool TOutputAnnouncer::DiscardPendingFrom(const std::string &marker)
{
    const size_t at = FPendingText.rfind(marker);
    if (at == std::string::npos) return false;
    size_t k = FPending.size() - 1;
    while (k > 0 && FPending[k].Start > at)
        --k;
    // from the start of the line that holds it, within its piece
    const size_t feed = at == 0 ? std::string::npos : FPendingText.rfind('\n', at - 1);
    const size_t cut = std::max(feed == std::string::npos ? 0 : feed + 1, FPending[k].Start);
    FPending.resize(k + 1);
    Piece &p = FPending.back();
    if (cut == p.Start) {
        FPending.pop_back();
    } else {
        const int kept = int(std::count(FPendingText.begin() + ptrdiff_t(p.Start),
                                        FPendingText.begin() + ptrdiff_t(cut), '\n'));
        p.End = cut;
        p.LastRow = p.FirstRow + std::max(kept, 1) - 1;
        p.Lines = kept;
        p.Complete = true;
    }
    FPendingText.resize(cut);
    return true;
}

void TOutputAnnouncer::CollectWritten()
{
    if (FLastWritten >= 0) FWritten.push_back(FLastWritten);
    FLastWritten = -1;
    std::sort(FWritten.begin(), FWritten.end());
    FWritten.erase(std::unique(FWritten.begin(), FWritten.end()), FWritten.end());
    for (const int64_t row : FWritten) {
        const int64_t y = row - FScrollCount;
        if (y < 0 || y >= FTty.Rows) continue;
        Fresh(int(y), int(y) != FTty.CursorY);
    }
    FWritten.clear();
    FTty.Screen().ObserveRowsAgain();
}

std::vector<TAnnouncement> TOutputAnnouncer::Merge()
{
    std::vector<TAnnouncement> out;
    for (const Piece &p : FPending)
        out.push_back({p.FirstRow, p.Column, {}, p.Lines});
    if (out.size() == 1 && FPending[0].Start == 0 && FPending[0].End == FPendingText.size())
        out[0].Text = std::move(FPendingText); // all of it in one: no copy
    else
        for (size_t i = 0; i < out.size(); ++i)
            out[i].Text.assign(FPendingText, FPending[i].Start, FPending[i].End - FPending[i].Start);
    if (FDropped > 0)
        out.push_back(
            {FScrollCount + FTty.CursorY, 0, "(" + std::to_string(FDropped) + " more lines not read)", 0});
    FPending.clear();
    FPendingText.clear();
    FDropped = 0;
    return out;
}

std::vector<TAnnouncement> TOutputAnnouncer::Flush()
{
    if (!FWritten.empty() || FLastWritten >= 0) CollectWritten();
    FPendingSince = -1;
    return Merge();
}

std::vector<TAnnouncement> TOutputAnnouncer::Tick(int64_t nowMs, int &nextMs)
{
    if (FTty.Rows != FKnownRows || FTty.Cols != FKnownCols) Forget();
    if (FActive) {
        FLastOutput = nowMs;
        FActive = false;
    }
    const bool waiting = !FPending.empty() || FDropped > 0;
    if (waiting && FPendingSince < 0) FPendingSince = nowMs;
    // Lines wait for the output to settle, so they go out with the prompt after them and
    // end where the cursor stands; in a flood they go out once per settle time.
    const bool quiet = nowMs - FLastOutput >= SettleMs;
    const bool written = !FWritten.empty() || FLastWritten >= 0;
    if (quiet && written) CollectWritten();
    std::vector<TAnnouncement> out;
    if ((!FPending.empty() || FDropped > 0) && (quiet || nowMs - FPendingSince >= SettleMs)) {
        out = Merge();
        FPendingSince = -1;
    }
    int64_t due = -1;
    if (!FPending.empty() || FDropped > 0)
        due = std::min(FLastOutput, FPendingSince < 0 ? nowMs : FPendingSince) + SettleMs;
    else if (!FWritten.empty() || FLastWritten >= 0)
        due = FLastOutput + SettleMs;
    nextMs = due < 0 ? -1 : int(std::max<int64_t>(0, due - nowMs));
    FTickWanted = nextMs >= 0;
    return out;
}
