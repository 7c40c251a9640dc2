// Text search over the whole text of a terminal: its history and its ring.
//
// Rows are joined into logical lines before searching, so a word the terminal wrapped
// onto the next row is still found. The model does not record where it wrapped, so the
// rule is: a row whose last cell holds a non-blank character continues on the next row
// (text that filled the row to its last column wrapped there). Other rows end their line,
// trailing blanks dropped.
//
// A long history is searched in slices, newest rows first, so the caller stays responsive:
// Step() searches about as many rows as it is given and returns. Hits are kept by row
// number (TColorTTY::RowNumber), so they stay with their text while the ring scrolls, and
// Refresh() after new output searches again only what may have changed since: the ring
// and the rows that left it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

class TColorTTY;

// Columns X1 .. X2-1 of logical row Row.
struct TCellSpan
{
    int Row = 0;
    int X1 = 0;
    int X2 = 0;
    bool operator==(const TCellSpan &) const = default;
};

// One hit: Len cells from column X of the row numbered Row, running on into the next rows
// where the text wrapped.
struct TSearchHit
{
    int64_t Row = 0;
    int X = 0;
    int Len = 0;
};

class TScrollbackSearch
{
public:
    // Longest text searched for, in bytes; the rest of a longer one is ignored.
    static constexpr size_t MaxNeedle = 255;
    // Most hits kept; a search that finds more stops at the newest this many.
    static constexpr size_t MaxHits = size_t(1) << 22;
    // Rows joined into one line at most: text that never breaks is searched in pieces of
    // this many rows (a hit across two pieces is missed), so a step stays short.
    static constexpr int MaxLineRows = 1024;

    // A new search for `needle` (code page 437 bytes), with the letters A-Z and a-z the same
    // unless `matchCase`. Nothing is searched until Step().
    void Start(const TColorTTY &tty, std::string_view needle, bool matchCase);
    // Forgets the search.
    void Stop();
    // After new output: what may have changed is searched again by the coming steps.
    void Refresh(const TColorTTY &tty);
    // Searches about `rows` more rows; true once the whole text is searched.
    bool Step(const TColorTTY &tty, int rows);
    bool Done() const { return !FUpActive && !FDownActive; }
    // More hits than MaxHits: the oldest are left out.
    bool IsCapped() const { return FCapped; }
    bool IsActive() const { return !FNeedle.empty(); }

    // The hits so far, in reading order.
    size_t Count() const { return FHits.size(); }
    TSearchHit Hit(size_t i) const;
    // Index of the first hit at or after column x of row number `row`; Count() if none.
    size_t IndexAt(int64_t row, int x) const;
    // The cells of a hit on the logical rows of `tty` that still hold it, in order.
    std::vector<TCellSpan> Spans(const TColorTTY &tty, const TSearchHit &hit) const;
    // The cells of every hit on logical rows y0 .. y1-1, appended in order.
    void SpansOnRows(const TColorTTY &tty, int y0, int y1, std::vector<TCellSpan> &out) const;

private:
    // Searches rows first .. end-1 (whole lines); their hits go in front or at the back.
    void SearchRows(const TColorTTY &tty, int64_t first, int64_t end, bool front);
    void DropTrimmed(const TColorTTY &tty);

    std::string FNeedle; // folded unless FMatchCase
    bool FMatchCase = false;
    int FCols = 0;
    // Hits as row number << 16 | column, in reading order.
    std::deque<uint64_t> FHits;
    // Rows still to search, by number: from FUpAt to the end, oldest first; then below
    // FDownAt down to the oldest row, newest first. Rows from FFrozen on were in the ring when
    // searched, and their hits may be out of date after new output.
    bool FUpActive = false;
    int64_t FUpAt = 0;
    bool FDownActive = false;
    int64_t FDownAt = 0;
    int64_t FFrozen = 0;
    bool FCapped = false;
    // Reused by SearchRows: the rows' text, where each row starts in it, the hits.
    std::string FText;
    std::vector<uint32_t> FRowStart;
    std::vector<uint64_t> FFound;
};
