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
    if (y >= 0) return {reinterpret_cast<const char *>(t.Screen().RowChars(y)), size_t(t.Cols)};
    const std::string_view s = t.Screen().HistoryStore().Text(y + t.Screen().HistoryRows());
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
    while (y > t.Screen().FirstRow() && y > -TScrollbackSearch::MaxLineRows &&
           Joined(t, y - 1, RowText(t, y - 1)))
        --y;
    return t.Screen().RowNumber(y);
}

uint64_t Key(int64_t row, int x)
{
    return uint64_t(row) << 16 | uint64_t(x);
}

} // namespace

void TScrollbackSearch::Start(const TColorTTY &tty, std::string_view needle, bool matchCase)
{
    Stop();
    FNeedle = needle.substr(0, MaxNeedle);
    FMatchCase = matchCase;
    if (!FMatchCase)
        for (char &c : FNeedle)
            c = FoldTable[uint8_t(c)];
    FCols = tty.Cols;
    FDownAt = tty.Screen().RowNumber(tty.Rows);
    FDownActive = !FNeedle.empty();
    FFrozen = RingLineStart(tty);
}

void TScrollbackSearch::Stop()
{
    FNeedle.clear();
    FHits.clear();
    FUpActive = FDownActive = FCapped = false;
}

void TScrollbackSearch::Refresh(const TColorTTY &tty)
{
    if (FNeedle.empty()) return;
    if (tty.Cols != FCols) {
        // Every row number now means other cells.
        const std::string needle = FNeedle;
        Start(tty, needle, FMatchCase);
        return;
    }
    DropTrimmed(tty);
    // The first row whose hits may be out of date or that is not searched yet.
    const int64_t from = FUpActive ? std::min(FUpAt, FFrozen) : FFrozen;
    while (!FHits.empty() && int64_t(FHits.back() >> 16) >= from)
        FHits.pop_back();
    if (FDownActive && FDownAt > from) FDownAt = from;
    FUpAt = from;
    FUpActive = true;
    FFrozen = std::max(RingLineStart(tty), from);
}

void TScrollbackSearch::DropTrimmed(const TColorTTY &tty)
{
    const int64_t oldest = tty.Screen().RowNumber(tty.Screen().FirstRow());
    while (!FHits.empty() && int64_t(FHits.front() >> 16) < oldest)
        FHits.pop_front();
    if (FUpActive && FUpAt < oldest) FUpAt = oldest;
}

bool TScrollbackSearch::Step(const TColorTTY &tty, int rows)
{
    if (FNeedle.empty()) return true;
    if (tty.Cols != FCols) Refresh(tty);
    DropTrimmed(tty);
    const int64_t oldest = tty.Screen().RowNumber(tty.Screen().FirstRow());
    const int64_t end = tty.Screen().RowNumber(tty.Rows);
    rows = std::max(rows, 1);
    if (FUpActive) {
        if (FUpAt >= end) {
            FUpActive = false;
        } else {
            // Whole lines: on while the last row runs on into the next (a line longer than
            // MaxLineRows is searched in pieces).
            int64_t last = std::min(end, FUpAt + rows) - 1;
            const int64_t most = last + MaxLineRows;
            for (int y = tty.Screen().RowOfNumber(last);
                 last + 1 < end && last < most && Joined(tty, y, RowText(tty, y)); ++y)
                ++last;
            SearchRows(tty, FUpAt, last + 1, false);
            FUpAt = last + 1;
            return false;
        }
    }
    if (FDownActive) {
        FDownAt = std::min(FDownAt, end);
        if (FDownAt <= oldest || FCapped) {
            FDownActive = false;
        } else {
            // Whole lines: back while the row before runs on into the first.
            int64_t first = std::max(oldest, FDownAt - rows);
            const int64_t most = first - MaxLineRows;
            for (int y = tty.Screen().RowOfNumber(first) - 1;
                 first > oldest && first > most && Joined(tty, y, RowText(tty, y)); --y)
                --first;
            SearchRows(tty, first, FDownAt, true);
            FDownAt = first;
        }
    }
    return Done();
}

void TScrollbackSearch::SearchRows(const TColorTTY &tty, int64_t first, int64_t end, bool front)
{
    // The rows as one text: a row that runs on is joined to the next, other rows end in a
    // line break that no needle holds.
    FText.clear();
    FRowStart.clear();
    for (int y = tty.Screen().RowOfNumber(first), stop = tty.Screen().RowOfNumber(end); y < stop; ++y) {
        std::string_view row = RowText(tty, y);
        FRowStart.push_back(uint32_t(FText.size()));
        if (Joined(tty, y, row)) {
            FText.append(row);
            continue;
        }
        while (!row.empty() && Blank(row.back()))
            row.remove_suffix(1);
        FText.append(row);
        FText += '\n';
    }
    if (!FMatchCase)
        for (char &c : FText) // branch-free, so the compiler can do many at once
            c = char(uint8_t(c) + (uint8_t(uint8_t(c) - 'A') < 26 ? 32 : 0));
    FFound.clear();
    const size_t n = FNeedle.size();
    size_t k = 0;
    for (size_t at = 0; at + n <= FText.size();) {
        const void *p = memmem(FText.data() + at, FText.size() - at, FNeedle.data(), n);
        if (!p) break;
        const size_t pos = size_t(static_cast<const char *>(p) - FText.data());
        while (k + 1 < FRowStart.size() && FRowStart[k + 1] <= pos)
            ++k;
        FFound.push_back(Key(first + int64_t(k), int(pos - FRowStart[k])));
        at = pos + n;
    }
    if (front) {
        size_t room = MaxHits - std::min(MaxHits, FHits.size());
        for (auto it = FFound.rbegin(); it != FFound.rend(); ++it) {
            if (room-- == 0) {
                FCapped = true;
                break;
            }
            FHits.push_front(*it);
        }
    } else {
        FHits.insert(FHits.end(), FFound.begin(), FFound.end());
        while (FHits.size() > MaxHits) {
            FHits.pop_front();
            FCapped = true;
        }
    }
}

TSearchHit TScrollbackSearch::Hit(size_t i) const
{
    const uint64_t k = FHits[i];
    return {int64_t(k >> 16), int(k & 0xFFFF), int(FNeedle.size())};
}

size_t TScrollbackSearch::IndexAt(int64_t row, int x) const
{
    return size_t(std::lower_bound(FHits.begin(), FHits.end(), Key(row, std::clamp(x, 0, 0xFFFF))) -
                  FHits.begin());
}

std::vector<TCellSpan> TScrollbackSearch::Spans(const TColorTTY &tty, const TSearchHit &hit) const
{
    std::vector<TCellSpan> spans;
    int y = tty.Screen().RowOfNumber(hit.Row), x = hit.X;
    for (int left = hit.Len; left > 0 && y < tty.Rows && x < tty.Cols; ++y, x = 0) {
        const int n = std::min(left, tty.Cols - x);
        if (y >= tty.Screen().FirstRow()) spans.push_back({y, x, x + n});
        left -= n;
    }
    return spans;
}

void TScrollbackSearch::SpansOnRows(const TColorTTY &tty, int y0, int y1, std::vector<TCellSpan> &out) const
{
    if (FHits.empty() || tty.Cols <= 0) return;
    // A hit may start this many rows above the first row and still reach it.
    const int64_t reach = int64_t(FNeedle.size()) / tty.Cols + 1;
    const int64_t end = tty.Screen().RowNumber(y1);
    for (size_t i = IndexAt(tty.Screen().RowNumber(y0) - reach, 0); i < FHits.size(); ++i) {
        const TSearchHit h = Hit(i);
        if (h.Row >= end) break;
        for (const TCellSpan &s : Spans(tty, h))
            if (s.Row >= y0 && s.Row < y1) out.push_back(s);
    }
}
