#include "terminal/ScrollbackSearch.h"

#include "terminal/ColorTTY.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

const std::array<char, 256> FoldTable = [] {
    std::array<char, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[size_t(c)] = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return t;
}();

bool Blank(char c)
{
    return c == ' ' || c == 0;
}

// Row y's characters as they are searched: Cols of them, or fewer for a history row whose
// trailing spaces the store left out.
std::string_view RowText(const TColorTTY &t, int y)
{
    if (y >= 0) return {reinterpret_cast<const char *>(t.RowChars(y)), size_t(t.Cols)};
    const std::string_view s = t.HistoryStore().Text(y + t.HistoryRows());
    return s.substr(0, size_t(t.Cols));
}

// The text of row y runs on into the next row: it reached the last cell.
bool Joined(const TColorTTY &t, int y, std::string_view chars)
{
    return y + 1 < t.Rows && chars.size() == size_t(t.Cols) && !Blank(chars.back());
}

// Number of the row where the line holding the ring's first row begins: hits from there on
// may change with the ring.
int64_t RingLineStart(const TColorTTY &t)
{
    int y = 0;
    while (y > t.FirstRow() && y > -TScrollbackSearch::MaxLineRows && Joined(t, y - 1, RowText(t, y - 1)))
        --y;
    return t.RowNumber(y);
}

uint64_t Key(int64_t row, int x)
{
    return uint64_t(row) << 16 | uint64_t(x);
}

} // namespace

void TScrollbackSearch::Start(const TColorTTY &tty, std::string_view needle, bool matchCase)
{
    Stop();
    Needle = needle.substr(0, MaxNeedle);
    MatchCase = matchCase;
    if (!MatchCase)
        for (char &c : Needle)
            c = FoldTable[uint8_t(c)];
    Cols = tty.Cols;
    DownAt = tty.RowNumber(tty.Rows);
    DownActive = !Needle.empty();
    Frozen = RingLineStart(tty);
}

void TScrollbackSearch::Stop()
{
    Needle.clear();
    Hits.clear();
    UpActive = DownActive = Capped = false;
}

void TScrollbackSearch::Refresh(const TColorTTY &tty)
{
    if (Needle.empty()) return;
    if (tty.Cols != Cols) {
        // Every row number now means other cells.
        const std::string needle = Needle;
        Start(tty, needle, MatchCase);
        return;
    }
    DropTrimmed(tty);
    // The first row whose hits may be out of date or that is not searched yet.
    const int64_t from = UpActive ? std::min(UpAt, Frozen) : Frozen;
    while (!Hits.empty() && int64_t(Hits.back() >> 16) >= from)
        Hits.pop_back();
    if (DownActive && DownAt > from) DownAt = from;
    UpAt = from;
    UpActive = true;
    Frozen = std::max(RingLineStart(tty), from);
}

void TScrollbackSearch::DropTrimmed(const TColorTTY &tty)
{
    const int64_t oldest = tty.RowNumber(tty.FirstRow());
    while (!Hits.empty() && int64_t(Hits.front() >> 16) < oldest)
        Hits.pop_front();
    if (UpActive && UpAt < oldest) UpAt = oldest;
}

bool TScrollbackSearch::Step(const TColorTTY &tty, int rows)
{
    if (Needle.empty()) return true;
    if (tty.Cols != Cols) Refresh(tty);
    DropTrimmed(tty);
    const int64_t oldest = tty.RowNumber(tty.FirstRow());
    const int64_t end = tty.RowNumber(tty.Rows);
    rows = std::max(rows, 1);
    if (UpActive) {
        if (UpAt >= end) {
            UpActive = false;
        } else {
            // Whole lines: on while the last row runs on into the next (a line longer than
            // MaxLineRows is searched in pieces).
            int64_t last = std::min(end, UpAt + rows) - 1;
            const int64_t most = last + MaxLineRows;
            for (int y = tty.RowOfNumber(last);
                 last + 1 < end && last < most && Joined(tty, y, RowText(tty, y)); ++y)
                ++last;
            SearchRows(tty, UpAt, last + 1, false);
            UpAt = last + 1;
            return false;
        }
    }
    if (DownActive) {
        DownAt = std::min(DownAt, end);
        if (DownAt <= oldest || Capped) {
            DownActive = false;
        } else {
            // Whole lines: back while the row before runs on into the first.
            int64_t first = std::max(oldest, DownAt - rows);
            const int64_t most = first - MaxLineRows;
            for (int y = tty.RowOfNumber(first) - 1;
                 first > oldest && first > most && Joined(tty, y, RowText(tty, y)); --y)
                --first;
            SearchRows(tty, first, DownAt, true);
            DownAt = first;
        }
    }
    return Done();
}

void TScrollbackSearch::SearchRows(const TColorTTY &tty, int64_t first, int64_t end, bool front)
{
    // The rows as one text: a row that runs on is joined to the next, other rows end in a
    // line break that no needle holds.
    Text.clear();
    RowStart.clear();
    for (int y = tty.RowOfNumber(first), stop = tty.RowOfNumber(end); y < stop; ++y) {
        std::string_view row = RowText(tty, y);
        RowStart.push_back(uint32_t(Text.size()));
        if (Joined(tty, y, row)) {
            Text.append(row);
            continue;
        }
        while (!row.empty() && Blank(row.back()))
            row.remove_suffix(1);
        Text.append(row);
        Text += '\n';
    }
    if (!MatchCase)
        for (char &c : Text) // branch-free, so the compiler can do many at once
            c = char(uint8_t(c) + (uint8_t(uint8_t(c) - 'A') < 26 ? 32 : 0));
    Found.clear();
    const size_t n = Needle.size();
    size_t k = 0;
    for (size_t at = 0; at + n <= Text.size();) {
        const void *p = memmem(Text.data() + at, Text.size() - at, Needle.data(), n);
        if (!p) break;
        const size_t pos = size_t(static_cast<const char *>(p) - Text.data());
        while (k + 1 < RowStart.size() && RowStart[k + 1] <= pos)
            ++k;
        Found.push_back(Key(first + int64_t(k), int(pos - RowStart[k])));
        at = pos + n;
    }
    if (front) {
        size_t room = MaxHits - std::min(MaxHits, Hits.size());
        for (auto it = Found.rbegin(); it != Found.rend(); ++it) {
            if (room-- == 0) {
                Capped = true;
                break;
            }
            Hits.push_front(*it);
        }
    } else {
        Hits.insert(Hits.end(), Found.begin(), Found.end());
        while (Hits.size() > MaxHits) {
            Hits.pop_front();
            Capped = true;
        }
    }
}

TSearchHit TScrollbackSearch::Hit(size_t i) const
{
    const uint64_t k = Hits[i];
    return {int64_t(k >> 16), int(k & 0xFFFF), int(Needle.size())};
}

size_t TScrollbackSearch::IndexAt(int64_t row, int x) const
{
    return size_t(std::lower_bound(Hits.begin(), Hits.end(), Key(row, std::clamp(x, 0, 0xFFFF))) -
                  Hits.begin());
}

std::vector<TCellSpan> TScrollbackSearch::Spans(const TColorTTY &tty, const TSearchHit &hit) const
{
    std::vector<TCellSpan> spans;
    int y = tty.RowOfNumber(hit.Row), x = hit.X;
    for (int left = hit.Len; left > 0 && y < tty.Rows && x < tty.Cols; ++y, x = 0) {
        const int n = std::min(left, tty.Cols - x);
        if (y >= tty.FirstRow()) spans.push_back({y, x, x + n});
        left -= n;
    }
    return spans;
}

void TScrollbackSearch::SpansOnRows(const TColorTTY &tty, int y0, int y1, std::vector<TCellSpan> &out) const
{
    if (Hits.empty() || tty.Cols <= 0) return;
    // A hit may start this many rows above the first row and still reach it.
    const int64_t reach = int64_t(Needle.size()) / tty.Cols + 1;
    const int64_t end = tty.RowNumber(y1);
    for (size_t i = IndexAt(tty.RowNumber(y0) - reach, 0); i < Hits.size(); ++i) {
        const TSearchHit h = Hit(i);
        if (h.Row >= end) break;
        for (const TCellSpan &s : Spans(tty, h))
            if (s.Row >= y0 && s.Row < y1) out.push_back(s);
    }
}
