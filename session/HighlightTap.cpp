#include "session/HighlightTap.h"

#include "terminal/ColorTTY.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr uint8_t Told = haSound | haNotice | haMark;

int TrimmedLength(const uint8_t *chars, int n)
{
    uint64_t eight;
    while (n >= 8 && (std::memcpy(&eight, chars + n - 8, 8), eight == 0x2020202020202020u))
        n -= 8;
    while (n > 0 && (chars[n - 1] == ' ' || chars[n - 1] == 0))
        --n;
    return n;
}

// Copies row `from` to row `to` cell for cell (the terminal writes runs of one attribute).
void CopyRow(TColorTTY &t, int from, int to)
{
    const std::string chars(reinterpret_cast<const char *>(t.Screen().RowChars(from)), size_t(t.Cols));
    const std::string attrs(reinterpret_cast<const char *>(t.Screen().RowAttrs(from)), size_t(t.Cols));
    for (int x = 0; x < t.Cols;) {
        int e = x + 1;
        while (e < t.Cols && attrs[size_t(e)] == attrs[size_t(x)])
            ++e;
        t.SetAttr(uint8_t(attrs[size_t(x)]));
        t.WriteCells(x, to, e - x, chars.data() + x);
        x = e;
    }
}

} // namespace

void THighlightTap::SetMatcher(std::unique_ptr<THighlightMatcher> matcher)
{
    FMatcher = matcher && !matcher->Empty() ? std::move(matcher) : nullptr;
    FPromptRow = -1;
}

void THighlightTap::BeforeWrite()
{
    if (FMatcher) FFrom = FTty.Screen().RowNumber(FTty.CursorY);
}

void THighlightTap::AfterWrite(std::vector<THighlightEvent> &events)
{
    if (!FMatcher) return;
    const int64_t to = FTty.Screen().RowNumber(FTty.CursorY);
    // Lines the ring and the history have both dropped are gone.
    const int64_t from = std::max(FFrom, FTty.Screen().RowNumber(FTty.Screen().FirstRow()));
    FGagged.clear();
    TRowScratch scratch;
    FCandidates.clear();
    if (FMatcher->Screens()) {
        // The rows as they lie: runs of the ring's rows stored one after another at once.
        const TTTYScreen &screen = FTty.Screen();
        for (int64_t n = from; n < to;) {
            const int y = screen.RowOfNumber(n);
            const uint8_t *chars = screen.RowAt(y, scratch).Chars;
            int run = 1;
            if (y >= 0) {
                // The ring's rows lie one after another but for one break at its end at most:
                // row k follows on from row y up to the break and not after it.
                auto follows = [&](int k) {
                    return screen.RowChars(y + k) == chars + size_t(k) * size_t(FTty.Cols);
                };
                int good = 0, bad = int(to - n);
                if (!follows(bad - 1))
                    for (bad = bad - 1; good + 1 < bad;) {
                        const int mid = (good + bad) / 2;
                        (follows(mid) ? good : bad) = mid;
                    }
                run = bad;
            }
            FMatcher->Candidates(chars, run, FTty.Cols, int(n - from), FCandidates);
            n += run;
        }
    } else {
        // Most writes hold no line that any rule matches: one pass over them all tells.
        FLines.clear();
        for (int64_t n = from; n < to; ++n) {
            const TRowView row = FTty.Screen().RowAt(FTty.Screen().RowOfNumber(n), scratch);
            FLines.append(reinterpret_cast<const char *>(row.Chars),
                          size_t(TrimmedLength(row.Chars, FTty.Cols)));
            FLines += '\n';
        }
        if (FLines.empty() || !FMatcher->MayMatch(FLines)) return;
        for (int k = 0; k < int(to - from); ++k)
            FCandidates.push_back(k);
    }
    for (int k : FCandidates) {
        const int y = FTty.Screen().RowOfNumber(from + k);
        const TRowView row = FTty.Screen().RowAt(y, scratch);
        if (Line(y, TrimmedLength(row.Chars, FTty.Cols), false, events) && y >= 0) FGagged.push_back(y);
    }
    if (!FGagged.empty()) TakeOut(FGagged);
}

void THighlightTap::Paused(std::vector<THighlightEvent> &events)
{
    if (!FMatcher) return;
    const int y = FTty.CursorY;
    const int length = TrimmedLength(FTty.Screen().RowChars(y), std::min(FTty.CursorX, FTty.Cols));
    if (length == 0) return;
    const std::string_view text(reinterpret_cast<const char *>(FTty.Screen().RowChars(y)), size_t(length));
    if (FTty.Screen().RowNumber(y) == FPromptRow && text == FPromptText) return;
    Line(y, length, true, events);
}

bool THighlightTap::Line(int y, int length, bool prompt, std::vector<THighlightEvent> &events)
{
    TRowScratch scratch;
    const TRowView row = FTty.Screen().RowAt(y, scratch);
    const std::string_view text(reinterpret_cast<const char *>(row.Chars), size_t(length));
    if (!FMatcher->Match(text, FResult)) return false;
    const int64_t number = FTty.Screen().RowNumber(y);
    uint8_t tell = FResult.Actions & Told;
    if (prompt) {
        FPromptRow = number;
        FPromptText = std::string(text);
    } else if (number == FPromptRow && text.substr(0, FPromptText.size()) == FPromptText) {
        tell &= uint8_t(~(haSound | haNotice)); // heard when it was a prompt
    }
    if (tell) events.push_back({tell, std::string(text), number});
    const bool gag = (FResult.Actions & haGag) && !prompt;
    if (gag || y < 0) return gag; // history rows are read, not written
    if (FResult.LineColour >= 0) Recolour(y, 0, length, uint8_t(FResult.LineColour));
    for (const THighlightSpan &s : FResult.Spans)
        Recolour(y, s.Start, s.End, s.Colour);
    if ((FResult.LineColour >= 0 || !FResult.Spans.empty()) && FTty.HasWindow())
        FTty.View()->InvalidateCells(0, FTty.Cols, y, false);
    return false;
}

void THighlightTap::Recolour(int y, int from, int to, uint8_t colour)
{
    const std::string chars(reinterpret_cast<const char *>(FTty.Screen().RowChars(y)) + from,
                            size_t(to - from));
    const uint8_t attr = FTty.Attr;
    FTty.SetAttr(colour);
    FTty.WriteCells(from, y, to - from, chars.data());
    FTty.SetAttr(attr);
}

void THighlightTap::TakeOut(const std::vector<int> &rows)
{
    // The rows after each gagged one move up over it, the cursor's row included.
    const uint8_t attr = FTty.Attr;
    int to = rows.front();
    size_t next = 0;
    for (int from = rows.front(); from <= FTty.CursorY; ++from) {
        if (next < rows.size() && rows[next] == from) {
            ++next;
            continue;
        }
        if (from != to) CopyRow(FTty, from, to);
        ++to;
    }
    for (int y = to; y <= FTty.CursorY; ++y)
        FTty.EraseCells(0, y, FTty.Cols);
    FTty.SetAttr(attr);
    FTty.PlaceCursor(FTty.CursorX, FTty.CursorY - int(rows.size()));
    FTty.InvalidateAll();
}
